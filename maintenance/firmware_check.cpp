#include "maintenance/firmware_check.h"

#include "fw_update/errors.h"
#include "fw_update/image/hex_report.h"

#include <QCryptographicHash>
#include <QFile>

namespace DADOV {

namespace {

QString hex_address(std::uint32_t address) {
    return QStringLiteral("0x") + QString::number(address, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

// The first 12 hexadecimal digits of the file's SHA-256; empty when it cannot be read.
QString sha256_start(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex().left(12));
}

QString plural(std::uint64_t n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

} // namespace

FirmwareCheck check_firmware_file(const QString& path) {
    FirmwareCheck check;
    fwu::HexReport report;
    try {
        report = fwu::inspect_hex_file(QFile::encodeName(path).toStdString(), program_start, program_end);
    } catch (...) { // the engine's own errors, and any other
        check.problems << cannot_be_read;
        return check;
    }

    if (report.data_bytes == 0)
        check.facts = QStringLiteral("no data bytes in %1").arg(plural(report.records, "record", "records"));
    else
        check.facts =
            QStringLiteral("%1 at %2-%3 in %4")
                .arg(plural(report.data_bytes, "data byte", "data bytes"), hex_address(report.lowest),
                     hex_address(report.highest), plural(report.records, "record", "records"));
    if (const QString sha = sha256_start(path); !sha.isEmpty())
        check.facts += QStringLiteral("; SHA-256 ") + sha;

    if (report.not_a_record_line != 0)
        check.problems << QStringLiteral("line %1 is not a HEX record").arg(report.not_a_record_line);
    if (report.bad_checksums != 0)
        check.problems << QStringLiteral("%1 with a wrong checksum (the first in line %2)")
                              .arg(plural(report.bad_checksums, "record", "records"))
                              .arg(report.first_bad_checksum_line);
    if (!report.end_of_file && report.not_a_record_line == 0)
        check.problems << QStringLiteral("no end-of-file record");
    if (report.outside_window != 0)
        check.problems << QStringLiteral("%1 outside the program memory %2-%3")
                              .arg(plural(report.outside_window, "data byte", "data bytes"),
                                   hex_address(program_start), hex_address(program_end));
    return check;
}

} // namespace DADOV
