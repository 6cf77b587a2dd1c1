#include "maintenance/file_locations.h"

#include "logging/guarded.h"
#include "maintenance/console_window.h"
#include "maintenance/working_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <ostream>
#include <stdexcept>

namespace DADOV {

namespace {

const QString folder_key = QStringLiteral("firmware/folder");

// The user's settings of the tool: ~/.config/q5tool/q5tool.conf.
QSettings user_settings() {
    return QSettings(QStringLiteral("q5tool"), QStringLiteral("q5tool"));
}

} // namespace

EngineLog::EngineLog(FirmwarePage& page) {
    try {
        _file = QFile::encodeName(working_path(page, QStringLiteral("log.txt"))).toStdString();
    } catch (const std::runtime_error&) {
        // No folder for working files: the engine's default it is. The page reports the missing folder
        // where it matters, so this is only noted.
        log_failure(lcMaintenance(), "engine log file", QtInfoMsg);
    }
    _sizeBefore = size();
}

QString EngineLog::path() const {
    return _file.empty() ? QStringLiteral("log.txt") : QFile::decodeName(_file.c_str());
}

qint64 EngineLog::size() const {
    const QFileInfo log(path());
    return log.exists() ? log.size() : -1;
}

void EngineLog::report(ConsoleWindow& console, bool succeeded) const {
    if (succeeded || size() <= _sizeBefore)
        return;
    const QString shown = console.text();
    if (!shown.isEmpty() && !shown.endsWith(QLatin1Char('\n')))
        console.out() << '\n';
    const QString file = QFileInfo(path()).absoluteFilePath();
    console.out() << log_file_line(file).toLocal8Bit().constData() << '\n';
    console.out().flush();
}

QString log_file_line(const QString& logFile) {
    return QStringLiteral("Diagnostic log: ") + QDir::toNativeSeparators(logFile);
}

QString remembered_firmware_folder() {
    const QString folder = user_settings().value(folder_key).toString();
    if (!folder.isEmpty() && QFileInfo(folder).isDir())
        return folder;
    return QDir::homePath();
}

void remember_firmware_folder(FirmwarePage& page, const QString& chosenFile) {
    page.firmwareFolder = QFileInfo(chosenFile).absolutePath();
    if (page.rememberFolder)
        user_settings().setValue(folder_key, page.firmwareFolder);
}

} // namespace DADOV
