#pragma once

// The service record: one row for every engine run from the window (an update of either MCU, an ID read,
// an ID write), so that a workshop knows which unit got which firmware. A CSV file in the user's data folder,
// written only by appending whole rows, each synced to the disk: a crash or a full disk never leaves a
// half row followed by more rows, and never loses earlier ones. A last line cut short by an earlier crash
// stays as it is, is reported when the record is read, and the next row starts on a line of its own.

#include <QList>
#include <QString>
#include <QStringList>

namespace DADOV {

struct ServiceEntry {
    QString time;           // ISO 8601 with the UTC offset: "2026-12-07T14:05:09+01:00"
    QString unitId;         // eight digits, or empty when no ID is known
    QString mcu;            // "main" or "supervisory"
    QString controllerType; // as the page's list names it
    QString action;         // "update", "id_read" or "id_write"
    QString file;           // the file's name, without its folder
    QString sha256;         // of that file, in lower-case hexadecimal
    QString result;         // "completed" or "failed"
    QString detail;         // on failure, the engine's last error line
    QString toolVersion;
};

// The header row, without its line end.
extern const QString service_record_header;

// The entry's fields in the record's column order.
QStringList service_record_fields(const ServiceEntry& entry);

// The entry as one CSV row, without its line end: fields that hold a comma or a quote quoted, line ends
// turned into spaces.
QString service_record_row(const ServiceEntry& entry);

// service-record.csv in the user's data folder.
QString service_record_path();

// Appends the row, with the header first when the file is new or empty. Empty on success, else why not.
QString append_service_entry(const QString& path, const ServiceEntry& entry);

struct ServiceRecord {
    QList<ServiceEntry> entries; // in the file's order
    QStringList problems;        // lines that are not whole rows, each named ("line 7 is cut short")
};

// The record's rows; a missing file has none.
ServiceRecord read_service_record(const QString& path);

} // namespace DADOV
