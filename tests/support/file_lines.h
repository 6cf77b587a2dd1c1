#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

namespace testsupport {

// The lines of a text file without their line ends. A last line without its line end (a row cut short)
// comes as "<cut>"; a file that cannot be read gives none.
inline QStringList lines_of(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray all = f.readAll();
    QStringList lines = QString::fromUtf8(all).split(QLatin1Char('\n'));
    lines.removeLast(); // after the last line end: empty for a complete file
    if (!all.endsWith('\n'))
        lines << QStringLiteral("<cut>");
    return lines;
}

} // namespace testsupport
