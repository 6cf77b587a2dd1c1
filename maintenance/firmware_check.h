#pragma once

// The check of a firmware file before it reaches a unit, by the engine's own HEX reader: what the file
// holds (data bytes, their addresses, records, the first 12 digits of its SHA-256 for comparing with a
// release note) and what the engine would take without a word but a technician should be asked about.

#include <QString>
#include <QStringList>

#include <cstdint>

namespace DADOV {

// The MCUs' program memory as the bootloader writes it: below is the bootloader's own area, above is no
// flash.
constexpr std::uint32_t program_start = 0x0800;
constexpr std::uint32_t program_end = 0x7FFF;

struct FirmwareCheck {
    // What the file holds: "24576 data bytes at 0x0800-0x67FF in 1538 records; SHA-256 3f2a9c01b4e7".
    QString facts;
    // What is wrong, each as a phrase ("no end-of-file record"); empty for a sound file.
    QStringList problems;

    // The facts, then what is wrong, each after "; ".
    QString summary() const {
        QString line = facts;
        for (const QString& problem : problems)
            line += (line.isEmpty() ? QString() : QStringLiteral("; ")) + problem;
        return line;
    }
};

// The one problem of a file that cannot be opened or read.
inline const QString cannot_be_read = QStringLiteral("the file cannot be read");

FirmwareCheck check_firmware_file(const QString& path);

} // namespace DADOV
