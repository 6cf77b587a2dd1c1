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

// Points the engine's log at "log.txt" in the working folder for the length of one engine run, and puts
// back what was there before. When no folder can hold working files the engine keeps its own default.
class EngineLogScope {
public:
    explicit EngineLogScope(Form1::FirmwarePage& page);
    ~EngineLogScope();
    EngineLogScope(const EngineLogScope&) = delete;
    EngineLogScope& operator=(const EngineLogScope&) = delete;

    // After the run: when it failed and wrote to the log, the console's last line names the log file by
    // its full path. A failure the engine does not log (no device found, say) names none: the log may not
    // even exist, or hold only what earlier runs wrote.
    void report(ConsoleWindow& console) const;

private:
    std::string _previous;
    qint64 _logSizeBefore = -1; // -1: no log file when the run began
};

// The console line that names the log file.
QString log_file_line(const QString& logFile);

// The folder Browse opens in: the one remembered, when it is still there, else the home folder.
QString remembered_firmware_folder();
// Browse opens in the folder of this file from now on, in this run and, unless the page keeps its
// folders to itself (simulate mode), in the next ones.
void remember_firmware_folder(Form1::FirmwarePage& page, const QString& chosenFile);

} // namespace DADOV
