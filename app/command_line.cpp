#include "app/command_line.h"

#include "maintenance/service_record.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace DADOV {

namespace {

const QString program = QStringLiteral("q5tool");

// The parser names the program by its path as started, or not at all without an application object:
// the usage line always says q5tool.
QString usage(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    const qsizetype end = text.indexOf(QLatin1String(" [options]"));
    if (text.startsWith(QLatin1String("Usage: ")) && end > 0)
        text.replace(0, end, QStringLiteral("Usage: ") + program);
    return text;
}

CommandLine refuse(const QCommandLineParser& parser, const QString& reason) {
    CommandLine line;
    line.status = command_line_error;
    line.errors = program + QStringLiteral(": ") + reason + QStringLiteral("\n\n") + usage(parser);
    return line;
}

} // namespace

CommandLine read_command_line(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Service tool for the q5 dual electronic throttle controller."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Print this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Print the version and exit."));
    const QCommandLineOption simulate(QStringLiteral("simulate"),
                                      QStringLiteral("Run against a simulated controller and simulated "
                                                     "bootloaders; no hardware needed."));
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("Record the Diagnostics readings to FILE (CSV) from the "
                                                   "start."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption serviceRecord(QStringLiteral("service-record"),
                                           QStringLiteral("Print the service record's path and its rows, and "
                                                          "exit."));
    const QCommandLineOption profile(
        QStringLiteral("profile"),
        QStringLiteral("Set the Tuning and zIdudo pages from the settings profile "
                       "FILE at start; nothing is sent."),
        QStringLiteral("FILE"));
    parser.addOptions({help, version, simulate, record, profile, serviceRecord});

    if (!parser.parse(arguments))
        return refuse(parser, parser.errorText());
    // A stray argument is refused whatever else was asked (also beside --help and --version).
    if (!parser.positionalArguments().isEmpty())
        return refuse(parser,
                      QStringLiteral("Unexpected argument: %1.").arg(parser.positionalArguments().first()));
    if (parser.isSet(help)) {
        CommandLine line;
        line.output = usage(parser);
        return line;
    }
    if (parser.isSet(version)) {
        CommandLine line;
        line.output = program + QLatin1Char(' ') + QStringLiteral(Q5_VERSION) + QLatin1Char('\n');
        return line;
    }
    if (parser.isSet(serviceRecord)) {
        CommandLine line;
        const QString path = service_record_path();
        line.output = QDir::toNativeSeparators(path) + QLatin1Char('\n');
        QFile file(path);
        if (file.open(QIODevice::ReadOnly))
            line.output += QString::fromUtf8(file.readAll());
        if (!line.output.endsWith(QLatin1Char('\n')))
            line.output += QLatin1Char('\n');
        for (const QString& problem : read_service_record(path).problems)
            line.errors += program + QStringLiteral(": service record: ") + problem + QLatin1Char('\n');
        return line;
    }
    CommandLine line;
    line.run = true;
    line.options.simulate = parser.isSet(simulate);
    if (parser.isSet(record)) {
        const QStringList files = parser.values(record);
        if (files.size() > 1)
            return refuse(parser, QStringLiteral("--record given more than once."));
        const QString& file = files.first();
        if (file.isEmpty())
            return refuse(parser, QStringLiteral("--record needs a file name."));
        line.options.recordFile = QFileInfo(file).absoluteFilePath();
    }
    if (parser.isSet(profile)) {
        const QStringList files = parser.values(profile);
        if (files.size() > 1)
            return refuse(parser, QStringLiteral("--profile given more than once."));
        if (files.first().isEmpty())
            return refuse(parser, QStringLiteral("--profile needs a file name."));
        line.options.profileFile = QFileInfo(files.first()).absoluteFilePath();
    }
    return line;
}

} // namespace DADOV
