#include "maintenance/working_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include <unistd.h>

namespace DADOV {

namespace fs = std::filesystem;

namespace {

fs::path to_path(const QString& s) {
#ifdef Q_OS_WIN
    return fs::path(s.toStdWString()); // Windows' own file names: UTF-16
#else
    return fs::path(QFile::encodeName(s).toStdString());
#endif
}

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

bool system_location(const QString& dir) {
    const QFileInfo folder(dir);
    const QString path = folder.canonicalFilePath().isEmpty() ? QDir::cleanPath(folder.absoluteFilePath())
                                                              : folder.canonicalFilePath();
    for (const char* system : {"/usr", "/bin", "/sbin", "/lib", "/lib32", "/lib64", "/libx32", "/opt"}) {
        const QString top = QString::fromLatin1(system);
        if (path == top || path.startsWith(top + QLatin1Char('/')))
            return true;
    }
#ifdef Q_OS_WIN
    // The program folders and Windows' own, which a user's programs do not write.
    for (const char* variable : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432", "SystemRoot"}) {
        const QString top = QDir::fromNativeSeparators(qEnvironmentVariable(variable));
        if (!top.isEmpty() && (path.compare(top, Qt::CaseInsensitive) == 0 ||
                               path.startsWith(top + QLatin1Char('/'), Qt::CaseInsensitive)))
            return true;
    }
#else
    if (folder.exists() && folder.ownerId() != ::geteuid())
        return true;
#endif
    return false;
}

QStringList working_folder_candidates(const QString& programFolder, const QString& dataFolder) {
    QStringList candidates;
    if (!system_location(programFolder))
        candidates << programFolder;
    candidates << dataFolder;
    return candidates;
}

std::optional<QString> find_working_path(FirmwarePage& page, const QString& name) {
    if (page.workingFolder.isEmpty())
        page.workingFolder = choose_working_folder(page.workingFolderCandidates);
    if (page.workingFolder.isEmpty())
        return std::nullopt;
    return QDir(page.workingFolder).filePath(name);
}

QString working_path(FirmwarePage& page, const QString& name) {
    std::optional<QString> path = find_working_path(page, name);
    if (!path)
        throw std::runtime_error(no_working_folder_message(page).toStdString());
    return *path;
}

QString no_working_folder_message(const FirmwarePage& page) {
    QStringList tried;
    for (const QString& dir : page.workingFolderCandidates)
        tried << native(dir);
    return QStringLiteral("No folder can hold the working files (tried %1)")
        .arg(tried.join(QStringLiteral(", ")));
}

QString copy_working_file(const QString& source, const QString& destination) {
    std::error_code ec;
    const fs::path from = to_path(source);
    const fs::path to = to_path(destination);
    // The working file itself chosen again: it is already in place.
    if (fs::equivalent(from, to, ec))
        return {};
    ec.clear();
    if (fs::is_directory(to, ec)) {
        ec = std::make_error_code(std::errc::is_a_directory);
    } else {
        ec.clear();
        fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    }
    if (!ec)
        return {};
    return QStringLiteral("Failed to copy %1 to %2: %3")
        .arg(native(source), native(destination), QString::fromLocal8Bit(ec.message()));
}

QString delete_working_file(const QString& path) {
    std::error_code ec;
    const fs::path p = to_path(path);
    const fs::file_status status = fs::symlink_status(p, ec);
    if (status.type() == fs::file_type::not_found)
        return {};
    if (!ec && status.type() == fs::file_type::directory)
        ec = std::make_error_code(std::errc::is_a_directory);
    else if (!ec)
        fs::remove(p, ec);
    if (!ec)
        return {};
    return QStringLiteral("Failed to delete %1: %2").arg(native(path), QString::fromLocal8Bit(ec.message()));
}

} // namespace DADOV
