// Simulate mode as q5tool --simulate builds it: the window finds the simulated controller through the
// fake tree, and reflashes and reads the ID of the simulated V2 bootloaders from the sample files.

#include "app/form1.h"
#include "maintenance/firmware_page.h"
#include "maintenance/service_record.h"
#include "sim/sample_firmware.h"
#include "sim/simulate_mode.h"
#include "support/scratch_dir.h"

#include <QDir>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gmock/gmock.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

using namespace DADOV;
namespace fs = std::filesystem;

namespace {

// The ID of a process that has ended.
pid_t gone_process() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

// A simulate folder as a run leaves it behind when it is killed.
void leave_simulate_folder(const fs::path& folder, pid_t owner) {
    fs::create_directories(folder / "work");
    std::ofstream(folder / "owner") << owner << "\n"
                                    << fs::read_symlink("/proc/self/ns/pid").string() << "\n";
}

// The demo's two TPS readings cross in small steps, so the crossover read-out shows where they meet.
TEST(SimulateMode, TheDemoStreamsReadingsThatMeetInTheCrossoverReadOut) {
    sim::SimulateMode simulation;
    Form1 form(simulation.deviceSetup(), simulation.deviceRoot());
    simulation.apply(form, form.firmwarePage());
    form.show();
    form.findChild<QTabWidget*>("TabControl1")->setCurrentIndex(1);
    const auto crossover = [&] { return form.findChild<QLabel*>("label15")->text(); };
    EXPECT_TRUE(QTest::qWaitFor([&] { return crossover().endsWith(" mv (rounded down to 10mV)"); }, 30000))
        << crossover().toStdString();
    simulation.unplugController();
}

// Closing the window afterwards pulls the simulated cable first, as the window asks, and then closes it.
TEST(SimulateMode, TheToolAttachesReflashesAndReadsTheIdWithNoHardwareAndClosingUnplugsFirst) {
    sim::SimulateMode simulation;
    Form1 form(simulation.deviceSetup(), simulation.deviceRoot());
    simulation.apply(form, form.firmwarePage());
    form.show();
    form.firmwarePage().wait = [](int) {};
    // The USB frame pace of the demo is not the subject: the reflash runs at the simulator's own speed.
    simulation.mainMcu().set_latency(std::chrono::microseconds(0));
    QString offered;
    form.firmwarePage().chooseFile = [&](QWidget*, const QString& folder) {
        offered = folder;
        return folder + "/q5_mainV2.vmk";
    };
    const auto status = [&] { return form.findChild<QLabel*>("label18")->text(); };
    ASSERT_TRUE(QTest::qWaitFor([&] { return status() == "Status: Connected on ttyACM0"; }, 2000))
        << status().toStdString();

    form.findChild<QTabWidget*>("TabControl1")->setCurrentIndex(3);
    form.findChild<QPushButton*>("button2")->click();
    EXPECT_EQ(offered, simulation.samplesFolder());
    form.findChild<QPushButton*>("button4")->click();
    EXPECT_EQ(form.findChild<QLineEdit*>("textBox15")->text(), "04271936");
    const std::vector<std::uint8_t> image = sim::sample_firmware(1, 24 * 1024);
    const sim::Flash& flash = simulation.mainMcu().flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + sim::application_start));
    EXPECT_TRUE(QDir(simulation.workingFolder()).isEmpty());
    // The runs are in the simulation's own service record, not the user's.
    const DADOV::ServiceRecord record = DADOV::read_service_record(form.firmwarePage().serviceRecordFile);
    ASSERT_EQ(record.entries.size(), 2);
    EXPECT_EQ(record.entries[1].unitId, "04271936");
    EXPECT_EQ(record.entries[1].result, "completed");
    EXPECT_TRUE(
        form.firmwarePage().serviceRecordFile.startsWith(QFileInfo(simulation.workingFolder()).path()));
    EXPECT_FALSE(QFile::exists(DADOV::service_record_path()));

    // The reflash forgot the attachment: the next tick finds the controller again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.monitor().DeviceAttachedState() != 0; }, 2000));
    EXPECT_FALSE(form.close());
    EXPECT_FALSE(simulation.controllerPlugged());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 3000));
    EXPECT_EQ(status(), "Status: Unknown or Not Attached");
}

// Only folders this tool made, of this user, whose recorded owner is gone, are removed; nothing they
// link to.
TEST(SimulateModeCleanup, RemovesOnlyTheFoldersOfDeadRunsOfThisUser) {
    testsupport::ScratchDir tmp;
    const pid_t dead = gone_process();
    const fs::path target = tmp.path() / "elsewhere";
    leave_simulate_folder(target, dead); // the target of a link below
    for (const char* name : {"q5tool-simulate-dead01", "q5tool-simulate-dead02", "q5tool-simulate-alive1",
                             "q5tool-simulate-others", "q5tool-simulate-linked", "q5tool-simulate-noownr",
                             "q5tool-simulate-garbag", "q5tool-simulate-oldnms", "someone-else-dead01"})
        leave_simulate_folder(tmp.path() / name, dead);
    leave_simulate_folder(tmp.path() / "q5tool-simulate-alive1", ::getpid());
    fs::remove_all(tmp.path() / "q5tool-simulate-linked");
    fs::create_directory_symlink(target, tmp.path() / "q5tool-simulate-linked");
    fs::remove(tmp.path() / "q5tool-simulate-noownr" / "owner");
    std::ofstream(tmp.path() / "q5tool-simulate-garbag" / "owner") << "12ab\n";
    std::ofstream(tmp.path() / "q5tool-simulate-oldnms" / "owner")
        << dead << "\npid:[1]\n"; // another PID namespace
    ASSERT_EQ(::chown((tmp.path() / "q5tool-simulate-others").c_str(), 12345, 12345), 0);
    // A file in the way of the first's work folder is removed with it.
    std::ofstream(tmp.path() / "q5tool-simulate-dead01" / "work" / "q5_mainV2.vmk") << "x";

    const QStringList removed =
        sim::remove_stale_simulate_folders(QString::fromStdString(tmp.path().string()));
    EXPECT_EQ(removed.size(), 2);
    std::vector<std::string> left;
    for (const fs::directory_entry& entry : fs::directory_iterator(tmp.path()))
        left.push_back(entry.path().filename().string());
    EXPECT_THAT(left, ::testing::UnorderedElementsAre("elsewhere", "q5tool-simulate-alive1",
                                                      "q5tool-simulate-others", "q5tool-simulate-linked",
                                                      "q5tool-simulate-noownr", "q5tool-simulate-garbag",
                                                      "q5tool-simulate-oldnms", "someone-else-dead01"));
    EXPECT_TRUE(fs::exists(target / "owner"));
}

// q5tool --simulate ended by a signal removes its temporary folder (with the simulated devices' tree in it),
// and at start it removes the folders of earlier runs that were killed outright.
TEST(SimulateModeProgram, EndedBySignalItLeavesNoTemporaryFolderAndClearsDeadRunsFolders) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        testsupport::ScratchDir tmp;
        const fs::path stale = tmp.path() / "q5tool-simulate-Ab12Cd";
        leave_simulate_folder(stale, gone_process());
        fs::create_directory(tmp.path() / "run");
        fs::permissions(tmp.path() / "run", fs::perms::owner_all, fs::perm_options::replace);

        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", QString::fromStdString(tmp.path().string()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString((tmp.path() / "run").string()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        tool.setProcessEnvironment(env);
        tool.setChildProcessModifier([] {
            for (const int s : {SIGTERM, SIGINT, SIGHUP})
                std::signal(s, SIG_DFL); // as from a terminal, whatever this test runs under
        });
        tool.start(Q5TOOL_PROGRAM, {"--simulate"});
        ASSERT_TRUE(tool.waitForStarted());
        // Up once the simulated controller's port is published.
        const auto port_published = [&] {
            QDirIterator it(QString::fromStdString(tmp.path().string()), {"ttyACM0"},
                            QDir::System | QDir::Files, QDirIterator::Subdirectories);
            return it.hasNext();
        };
        ASSERT_TRUE(QTest::qWaitFor(port_published, 20000));
        EXPECT_FALSE(fs::exists(stale));

        // A tool that already ended has no process: kill(0) would hit this test's own process group.
        if (tool.processId() > 0)
            ::kill(static_cast<pid_t>(tool.processId()), signal);
        else
            ADD_FAILURE() << "q5tool ended early: " << tool.readAllStandardError().toStdString();
        ASSERT_TRUE(tool.waitForFinished(20000));
        EXPECT_EQ(tool.exitStatus(), QProcess::CrashExit); // ended by the signal, as the caller expects
        std::vector<std::string> left;
        for (const fs::directory_entry& entry : fs::directory_iterator(tmp.path()))
            left.push_back(entry.path().filename().string());
        EXPECT_THAT(left, ::testing::ElementsAre("run"));
    }
}

} // namespace
