// q5tool --simulate --record FILE as an unattended capture: the program itself, offscreen, records the
// simulated controller's stream from the start and, ended by SIGTERM, leaves the file complete.

#ifdef Q5TOOL_PROGRAM

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gmock/gmock.h>

#include <csignal>

namespace {

QStringList lines_of(const QString& path) {
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

TEST(RecordOption, SimulatedCaptureFromTheStartEndsCompleteOnSigterm) {
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("XDG_DATA_HOME", home.filePath("data"));
    QProcess tool;
    tool.setProcessEnvironment(environment);
    tool.setWorkingDirectory(home.path());
    tool.start(Q5TOOL_PROGRAM, {"--simulate", "--record", "capture.csv"}); // relative to where it starts
    ASSERT_TRUE(tool.waitForStarted());
    const QString capture = home.filePath("capture.csv");
    // 50 pairs a second; rows reach the file within a second.
    EXPECT_TRUE(QTest::qWaitFor([&] { return lines_of(capture).size() > 40; }, 30000))
        << tool.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(tool.processId()), SIGTERM);
    ASSERT_TRUE(tool.waitForFinished(10000));
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 0);

    const QString errors = QString::fromLocal8Bit(tool.readAllStandardError());
    const QRegularExpressionMatch sent =
        QRegularExpression("q5tool: the simulated controller sent (\\d+) reading pairs\n").match(errors);
    ASSERT_TRUE(sent.hasMatch()) << errors.toStdString();
    const QStringList lines = lines_of(capture);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), "time_s,pair,tps1_mv,tps2_mv,sum_mv,amps");
    const QRegularExpression row("^\\d+\\.\\d{3},B,\\d+,\\d+,\\d+,(\\d+(\\.\\d+)?)?$");
    for (const QString& line : lines.mid(1))
        ASSERT_TRUE(row.match(line).hasMatch()) << line.toStdString();
    // Every pair received is in the file; one sent as the tool quit may not have been read.
    const qsizetype rows = lines.size() - 1;
    EXPECT_LE(rows, sent.captured(1).toLongLong());
    EXPECT_GE(rows, sent.captured(1).toLongLong() - 1);
}

} // namespace

#endif
