#include "maintenance/service_record.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <optional>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace DADOV {

const QString service_record_header =
    QStringLiteral("time,unit_id,mcu,controller_type,action,file,sha256,result,detail,tool_version");

namespace {

constexpr int kFields = 10;

// A field as CSV has it: quoted when it holds a comma or a quote (quotes doubled); line ends become
// spaces, so that every row is one line.
QString csv_field(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return text;
    text.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// The fields of one line; nothing when its quotes do not close.
std::optional<QStringList> csv_fields(const QString& line) {
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < line.size() && line[i + 1] == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            fields << field;
            field.clear();
        } else {
            field += c;
        }
    }
    if (quoted)
        return std::nullopt;
    fields << field;
    return fields;
}

int sync(int fd) {
#ifdef _WIN32
    return ::_commit(fd);
#else
    return ::fsync(fd);
#endif
}

} // namespace

QStringList service_record_fields(const ServiceEntry& e) {
    return {e.time, e.unitId, e.mcu,    e.controllerType, e.action,
            e.file, e.sha256, e.result, e.detail,         e.toolVersion};
}

QString service_record_row(const ServiceEntry& e) {
    QStringList cells;
    for (const QString& field : service_record_fields(e))
        cells << csv_field(field);
    return cells.join(QLatin1Char(','));
}

QString service_record_path() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("service-record.csv"));
}

QString append_service_entry(const QString& path, const ServiceEntry& e) {
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return QStringLiteral("cannot create the folder of %1").arg(QDir::toNativeSeparators(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        return QStringLiteral("cannot open %1: %2").arg(QDir::toNativeSeparators(path), file.errorString());
    QByteArray row;
    const qint64 size = file.size();
    if (size == 0) {
        row += service_record_header.toUtf8() + '\n';
    } else {
        // A line cut short by an earlier crash is left as it is; this row starts on a line of its own.
        char last = '\n';
        if (!file.seek(size - 1) || file.read(&last, 1) != 1)
            return QStringLiteral("cannot read %1: %2")
                .arg(QDir::toNativeSeparators(path), file.errorString());
        if (last != '\n')
            row += '\n';
    }
    row += service_record_row(e).toUtf8() + '\n';
    // One write of the whole row, then to the disk.
    if (file.write(row) != row.size() || !file.flush() || sync(file.handle()) != 0) {
        const QString reason = file.errorString();
        // What the write left of the row goes again: the file ends where it ended before.
        file.resize(size);
        return QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(path), reason);
    }
    return {};
}

ServiceRecord read_service_record(const QString& path) {
    ServiceRecord record;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return record;
    const QByteArray all = file.readAll();
    const QList<QByteArray> lines = all.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const bool last = i == lines.size() - 1;
        QString line = QString::fromUtf8(lines[i]);
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.isEmpty() && last)
            break; // after the last line end
        if (i == 0 && line == service_record_header)
            continue;
        const std::optional<QStringList> fields = csv_fields(line);
        if (last || !fields || fields->size() != kFields) {
            record.problems << QStringLiteral("line %1 is %2")
                                   .arg(i + 1)
                                   .arg(last ? QStringLiteral("cut short")
                                             : QStringLiteral("not a row of the record"));
            continue;
        }
        const QStringList& f = *fields;
        record.entries.push_back({f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9]});
    }
    return record;
}

} // namespace DADOV
