#include "maintenance/working_files.h"

#include <QDir>
#include <QFile>

#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace DADOV {

namespace fs = std::filesystem;

namespace {

fs::path to_path(const QString& s) {
    return fs::path(QFile::encodeName(s).toStdString());
}

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

} // namespace

QString working_path(Form1::FirmwarePage& page, const QString& name) {
    if (page.workingFolder.isEmpty()) {
        page.workingFolder = choose_working_folder(page.workingFolderCandidates);
        if (page.workingFolder.isEmpty())
            throw std::runtime_error("no folder for the working files");
    }
    return QDir(page.workingFolder).filePath(name);
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
