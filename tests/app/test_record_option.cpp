// q5tool --record FILE as an unattended capture: the program itself, offscreen, records the controller's
// stream from the start and, ended by a signal, leaves the file complete, with every pair it received.

#ifdef Q5TOOL_PROGRAM

#include "sim/controller/sim_controller.h"
#include "support/fake_sysfs.h"
#include "support/file_lines.h"
#include "support/pty_pair.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gmock/gmock.h>

#include <csignal>
#include <functional>

namespace {

using testsupport::lines_of;

class RecordOption : public ::testing::Test {
protected:
    RecordOption() {
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("HOME", home.path());
        environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
        environment.insert("XDG_DATA_HOME", home.filePath("data"));
    }

    // Runs q5tool with the arguments (--record capture.csv, relative to the folder it starts in) until the
    // capture holds 10 rows, then sends it the signal. The rows of the capture, after checking the file.
    QStringList capture(const QStringList& arguments, int signal) {
        QProcess tool;
        tool.setProcessEnvironment(environment);
        tool.setWorkingDirectory(home.path());
        tool.start(Q5TOOL_PROGRAM, arguments + QStringList{"--record", "capture.csv"});
        EXPECT_TRUE(tool.waitForStarted());
        const QString capture = home.filePath("capture.csv");
        EXPECT_TRUE(QTest::qWaitFor([&] { return lines_of(capture).size() > 10; }, 30000))
            << tool.readAllStandardError().toStdString();
        // A tool that already ended has no process: kill(0) would hit this test's own process group.
        if (tool.processId() > 0)
            ::kill(static_cast<pid_t>(tool.processId()), signal);
        else
            ADD_FAILURE() << "q5tool ended early: " << tool.readAllStandardError().toStdString();
        EXPECT_TRUE(tool.waitForFinished(10000));
        // It ends by the signal, as its sender expects, once everything is written and released.
        EXPECT_EQ(tool.exitStatus(), QProcess::CrashExit);
        errors = QString::fromLocal8Bit(tool.readAllStandardError());

        const QStringList lines = lines_of(capture);
        if (lines.isEmpty())
            return {};
        EXPECT_EQ(lines.first(), "time_s,pair,tps1_mv,tps2_mv,sum_mv,amps");
        const QRegularExpression row("^\\d+\\.\\d{3},B,\\d+,\\d+,\\d+,(\\d+(\\.\\d+)?)?$");
        for (const QString& line : lines.mid(1))
            EXPECT_TRUE(row.match(line).hasMatch()) << line.toStdString();
        return lines.mid(1);
    }

    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QString errors;
};

TEST_F(RecordOption, SimulatedCaptureEndsCompleteOnSigterm) {
    const QStringList rows = capture({"--simulate"}, SIGTERM);
    const QRegularExpressionMatch sent =
        QRegularExpression("q5tool: the simulated controller sent (\\d+) reading pairs\n").match(errors);
    ASSERT_TRUE(sent.hasMatch()) << errors.toStdString();
    // Every pair received is in the file; one on its way as the tool ends may not have been read.
    EXPECT_LE(rows.size(), sent.captured(1).toLongLong());
    EXPECT_GE(rows.size(), sent.captured(1).toLongLong() - 1);
}

// A signal ends the program while the controller is attached, which closing the window would not.
TEST_F(RecordOption, CaptureOfAnAttachedControllerEndsCompleteOnCtrlC) {
    testsupport::FakeSysfs sysfs;
    testsupport::FakeDevRoot dev;
    DADOV::SimController controller(dev.path());
    controller.setStreamRate(200);
    sysfs.addDevice(0x12BF, 0xF010, 0x0100, QStringLiteral("q5 Controller"), {QStringLiteral("ttyACM0")});
    environment.insert("Q5_SYSFS_ROOT", sysfs.root());
    environment.insert("Q5_DEV_ROOT", dev.path());

    const QStringList rows = capture({}, SIGINT);
    // The controller goes on streaming into the closed port: what it sent is an upper bound only.
    EXPECT_GT(rows.size(), 10);
    EXPECT_LE(rows.size(), controller.pairsSent());
}

// An unattended capture does not run on without its file: the program ends at start, before any window
// opens, with the reason and status 2.
TEST_F(RecordOption, FileThatCannotBeCreatedEndsTheProgramAtStart) {
    QProcess tool;
    tool.setProcessEnvironment(environment);
    const QString file = home.filePath("missing/capture.csv");
    tool.start(Q5TOOL_PROGRAM, {"--simulate", "--record", file});
    ASSERT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(tool.exitCode(), 2);
    EXPECT_THAT(QString::fromLocal8Bit(tool.readAllStandardError()).toStdString(),
                ::testing::HasSubstr("q5tool: Cannot record to " + file.toStdString() +
                                     ": No such file or directory.\n"));
}

} // namespace

#endif
