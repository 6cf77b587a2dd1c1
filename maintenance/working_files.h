#pragma once

// The working files of the firmware page: the firmware files copied to their fixed names and the ID file.
// They live in one folder (FirmwarePage::workingFolder) and the engine gets their full paths.

#include "maintenance/firmware_page.h"

#include <QString>

#include <optional>

namespace DADOV {

// Whether a folder belongs to the system rather than to the user running the tool: under /usr, /bin,
// /sbin, /lib or /opt (links resolved), or owned by another user. Working files never go there, even when
// it is writable (the program's folder of an installed package is, for root).
bool system_location(const QString& dir);
// Where working files may go, in order: the program's folder unless it is a system location, then the
// per-user data folder.
QStringList working_folder_candidates(const QString& programFolder, const QString& dataFolder);

// Full path of a working file, or nothing when no folder can hold working files.
std::optional<QString> find_working_path(FirmwarePage& page, const QString& name);
// The same; throws std::runtime_error when no folder can hold working files.
QString working_path(FirmwarePage& page, const QString& name);
// What the user is told when no folder can hold working files.
QString no_working_folder_message(const FirmwarePage& page);

// Copies a file over the working file. Empty on success, else what failed.
QString copy_working_file(const QString& source, const QString& destination);
// Deletes a working file; one that is not there is no failure. Empty on success, else what failed.
QString delete_working_file(const QString& path);

} // namespace DADOV
