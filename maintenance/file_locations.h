#pragma once

// Where the window keeps its files. The engine's diagnostic log goes beside the working files (the
// program's folder when it is writable, else the per-user data folder), never into the folder the tool
// happened to be started from. "Browse" opens in the folder of the last firmware file chosen, kept in the
// user's settings across runs; the home folder the first time.

#include "maintenance/firmware_page.h"

#include <QString>

#include <string>

namespace DADOV {

class ConsoleWindow;

// The engine's log for one run from the window: "log.txt" in the working folder. When no folder can hold
// working files, the engine's own default ("log.txt" in the current folder).
class EngineLog {
public:
    explicit EngineLog(FirmwarePage& page);

    // The file as the engine's session takes it; empty for the engine's default.
    const std::string& file() const { return _file; }
    // After the run: when it failed and wrote to the log, the console's last line names the log file by
    // its full path. A failure the engine does not log (no device found, say) names none: the log may not
    // even exist, or hold only what earlier runs wrote.
    void report(ConsoleWindow& console, bool succeeded) const;

private:
    QString path() const;
    qint64 size() const; // -1 when there is no log file

    std::string _file;
    qint64 _sizeBefore = -1;
};

// The console line that names the log file.
QString log_file_line(const QString& logFile);

// The folder Browse opens in: the one remembered, when it is still there, else the home folder.
QString remembered_firmware_folder();
// Browse opens in the folder of this file from now on, in this run and, unless the page keeps its
// folders to itself (simulate mode), in the next ones.
void remember_firmware_folder(FirmwarePage& page, const QString& chosenFile);

} // namespace DADOV
