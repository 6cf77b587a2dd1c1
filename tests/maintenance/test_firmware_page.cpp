// The firmware page end to end: the real widgets of Form1 on the offscreen platform, the real engine,
// and the simulated bootloader in memory. The engine entry is wrapped to record every vector it receives.
// The settings are those of the test run (tests/support/window_main.cpp), emptied around each test.

#include "app/form1.h"
#include "fw_update/fw_update.h"
#include "fw_update/image/intel_hex_record.h"
#include "fw_update/log.h"
#include "link/device_setup.h"
#include "maintenance/console_window.h"
#include "maintenance/file_locations.h"
#include "maintenance/firmware_check.h"
#include "maintenance/firmware_page.h"
#include "maintenance/service_record.h"
#include "maintenance/working_files.h"
#include "pages/desktop_shell.h"
#include "sim/bootloader/sim_bootloader.h"
#include "sim/sample_firmware.h"
#include "support/expected_warning.h"
#include "support/fake_sysfs.h"
#include "support/scratch_dir.h"
#include "support/window_fixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

using namespace DADOV;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using Vector = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

const QString main_done = "reflash of main MCU complete - recalibrate device";
const QString super_done = "reflash of supervisory MCU complete - recalibrate device";
const QString failed = "update failed - check controller type and file type match, check USB connection";
constexpr std::size_t image_length = 600;

struct EngineRun {
    Vector args;
    int attached;      // DeviceAttachedState during the run
    bool ticking;      // timer1 active during the run
    bool consoleShown; // the console window is up
};

class FirmwarePageTest : public testsupport::WindowTest {
protected:
    FirmwarePageTest() {
        clear_settings();
        fs::create_directory(work());
        fs::create_directory(samples());
        sim::write_sample_firmware(samples() / "q5_mainV2.vmk", 1, image_length);
        sim::write_sample_firmware(samples() / "q5_superV2.vmk", 2, image_length);
        sim::write_sample_firmware(samples() / "q5_main.vmk", 3, image_length);
        main = bootloader->add_device(0x04d8, 0xff01);
        open_window();
    }

    ~FirmwarePageTest() override {
        form.reset();
        clear_settings();
    }

    static void clear_settings() { QSettings(QStringLiteral("q5tool"), QStringLiteral("q5tool")).clear(); }

    // The window of a new run of the tool, on its firmware page.
    void open_window() {
        form.reset();
        form = std::make_unique<Form1>(testsupport::device_setup_of(no_devices));
        page = &form->firmwarePage();
        page->workingFolder = QString::fromStdString(work().generic_string());
        page->serviceRecordFile =
            QString::fromStdString((scratch.path() / "service-record.csv").generic_string());
        page->chooseFile = [this](QWidget*, const QString& folder) {
            folders.push_back(folder);
            return chosen;
        };
        page->wait = [this](int ms) {
            waits.push_back(ms);
            runs_before_wait.push_back(runs.size());
        };
        page->hidBackend = bootloader;
        page->engine = [this](fwu::Session& session, int argc, const char* const* argv) {
            EngineRun run{Vector(argv, argv + argc), form->monitor().DeviceAttachedState(),
                          form->timer1().isActive(), page->console->isVisible()};
            if (before_run)
                before_run(runs.size());
            const fwu::RunResult result = fwu::run(session, argc, argv);
            runs.push_back(run);
            return result;
        };
        widget<QTabWidget>("TabControl1")->setCurrentIndex(3);
    }

    fs::path work() const { return scratch.path() / "work"; }
    fs::path samples() const { return scratch.path() / "samples"; }
    std::string in_work(const char* name) const { return (work() / name).generic_string(); }
    // A path as the page shows it to the technician: with the system's own separators.
    static std::string shown(const std::string& path) {
        return QDir::toNativeSeparators(QString::fromStdString(path)).toStdString();
    }

    void click(const char* name) { widget<QPushButton>(name)->click(); }
    QString text(const char* name) { return widget<QLineEdit>(name)->text(); }
    QString console() { return page->console->text(); }

    void browse(const char* button, const fs::path& file) {
        chosen = QString::fromStdString(file.generic_string());
        click(button);
    }

    Vector update_vector(const char* pid, const std::string& file, bool verify = true) {
        Vector v{"fw_update", "-e", "-w"};
        if (verify)
            v.push_back("-v");
        v.insert(v.end(), {"-t", "NO", "-vid", "0x04d8", "-pid", pid, "-ix", file});
        return v;
    }
    static Vector id_read(const char* pid) {
        return {"fw_update", "-r", "-m", "id", "-d", "-t", "NO", "-vid", "0x04d8", "-pid", pid};
    }

    void expect_programmed(sim::SimDevice& device, unsigned variant) {
        const std::vector<std::uint8_t> image = sim::sample_firmware(variant, image_length);
        const std::vector<std::uint8_t> flash(device.flash().begin() + sim::application_start,
                                              device.flash().begin() + sim::application_start + image_length);
        EXPECT_EQ(flash, image);
    }

    testsupport::ScratchDir scratch;
    testsupport::FakeSysfs no_devices; // no controller: the firmware page works without one
    std::shared_ptr<sim::SimBootloader> bootloader = std::make_shared<sim::SimBootloader>();
    sim::SimDevice main{nullptr};
    DADOV::FirmwarePage* page = nullptr;
    QString chosen;
    QStringList folders;
    std::vector<int> waits;
    std::vector<std::size_t> runs_before_wait; // how many runs had ended at each wait
    std::vector<EngineRun> runs;
    std::function<void(std::size_t)> before_run;
};

TEST_F(FirmwarePageTest, MainUpdateReadsTheIdProgramsTheFlashAndRemovesTheWorkingFiles) {
    main.id() = {1, 0, 2, 9, 0, 3, 8, 7};
    browse("button2", samples() / "q5_mainV2.vmk");
    // Working files of the other types go too.
    for (const char* name : {"q5_main.vmk", "q5_mainD.vmk", "q5_superV2.vmk"})
        std::ofstream(in_work(name)) << "x";

    click("button4");

    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].attached, 0);
    EXPECT_FALSE(runs[1].ticking);
    EXPECT_TRUE(runs[1].consoleShown);
    EXPECT_EQ(text("textBox15"), "10290387");
    EXPECT_EQ(text("textBox5"), main_done);
    expect_programmed(main, 1);
    for (const char* name : {"q5_mainV2.vmk", "q5_main.vmk", "q5_mainD.vmk"})
        EXPECT_FALSE(fs::exists(in_work(name))) << name;
    EXPECT_TRUE(fs::exists(in_work("q5_superV2.vmk")));
    EXPECT_THAT(waits, ElementsAre(2000));
    EXPECT_TRUE(form->timer1().isActive());
    // The console stays up with the outcome, and names no log after runs that succeeded.
    EXPECT_TRUE(page->console->isVisible());
    EXPECT_THAT(console().toStdString(), HasSubstr("Operation successfully completed.\n"));
    EXPECT_THAT(console().toStdString(), Not(HasSubstr("Diagnostic log")));
}

// While the engine runs, the window does not close and no handler starts another run. A V1 (dual mode)
// unit; the other types' working files cannot be deleted, so the failures tell the order they go in.
TEST_F(FirmwarePageTest, SupervisoryUpdateReadsNoIdNothingElseRunsMeanwhileAndTheWorkingFilesGoInOrder) {
    sim::SimDevice dual = bootloader->add_device(0x04d8, 0xff07);
    form->show();
    bool closed = true;
    bool first = true;
    before_run = [&](std::size_t) {
        if (!std::exchange(first, false))
            return;
        closed = form->close();
        click("button20");
        click("button4");
        EXPECT_EQ(page->run_fw_update({"fw_update", "-h"}).code, fwu::result_unknown_error);
    };
    widget<QComboBox>("comboBox1")->setCurrentIndex(1);
    sim::write_sample_firmware(samples() / "q5_superD.vmk", 2, image_length);
    fs::create_directories(work() / "q5_superV2.vmk" / "x");
    fs::create_directories(work() / "q5_super.vmk" / "x");
    browse("button16", samples() / "q5_superD.vmk");
    widget<QCheckBox>("checkBox9")->setChecked(false);
    click("button15");

    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].args, update_vector("0xff07", in_work("q5_superD.vmk"), false));
    EXPECT_FALSE(closed);
    EXPECT_EQ(text("textBox10"),
              super_done + QString::fromStdString("; Failed to delete " + shown(in_work("q5_superV2.vmk")) +
                                                  ": Is a directory; Failed to delete " +
                                                  shown(in_work("q5_super.vmk")) + ": Is a directory"));
    EXPECT_EQ(text("textBox15"), "");
    expect_programmed(dual, 2);
    EXPECT_FALSE(fs::exists(in_work("q5_superD.vmk")));
    EXPECT_TRUE(waits.empty());
}

// Each controller type reads the ID from and updates the bootloaders of its own MCUs. With none of them
// attached, each attempt ends with the engine's message, which is not logged.
TEST_F(FirmwarePageTest, EachTypeAddressesTheBootloadersOfItsOwnMcus) {
    main.faults().absent = true;
    const struct {
        int item; // comboBox1 index
        const char* pid[2];
        const char* file[2];
    } types[] = {
        {0, {"0xff01", "0xff03"}, {"q5_mainV2.vmk", "q5_superV2.vmk"}},
        {2, {"0xff04", "0xff06"}, {"q5_main.vmk", "q5_super.vmk"}},
        {1, {"0xff05", "0xff07"}, {"q5_mainD.vmk", "q5_superD.vmk"}},
    };
    for (const auto& t : types) {
        SCOPED_TRACE(t.item);
        widget<QComboBox>("comboBox1")->setCurrentIndex(t.item);
        for (const char* file : t.file)
            sim::write_sample_firmware(work() / file, 4, 16);
        runs.clear();
        click("button4");
        EXPECT_EQ(console().count("Device is not found.\nOperation aborted.\n"), 3)
            << console().toStdString();
        click("button15");
        ASSERT_EQ(runs.size(), 5u);
        EXPECT_EQ(runs[0].args, id_read(t.pid[0]));
        EXPECT_EQ(runs[1].args, update_vector(t.pid[0], in_work(t.file[0])));
        EXPECT_EQ(runs[3].args, update_vector(t.pid[1], in_work(t.file[1])));
        EXPECT_EQ(text("textBox5"), failed);
        EXPECT_EQ(text("textBox10"), failed);
    }
    EXPECT_FALSE(fs::exists(in_work("log.txt")));
}

// Get ID shows each byte of the ID signed; a failed read shows no stale ID.
TEST_F(FirmwarePageTest, AFailedAttemptIsRetriedOnceASecondLaterAndTwoFailuresKeepTheWorkingFile) {
    click("button20"); // an unprogrammed unit
    EXPECT_EQ(text("textBox15"), "-1-1-1-1-1-1-1-1");
    browse("button2", samples() / "q5_mainV2.vmk");
    main.faults().absent = true;
    click("button4");

    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[3].args, runs[2].args);
    // Two seconds after each ID read, one second between the failed attempt and the retry.
    EXPECT_THAT(waits, ElementsAre(2000, 2000, 1000));
    EXPECT_THAT(runs_before_wait, ElementsAre(1u, 2u, 3u));
    EXPECT_EQ(text("textBox15"), "Failed to retrieve ID");
    EXPECT_TRUE(fs::exists(in_work("q5_mainV2.vmk")));

    // Pressed again without browsing, the kept file is used; only its first attempt fails.
    before_run = [this](std::size_t n) { main.faults().absent = n == 5; };
    click("button4");
    ASSERT_EQ(runs.size(), 7u);
    EXPECT_EQ(runs[6].args, runs[2].args);
    EXPECT_EQ(text("textBox5"), main_done);
    expect_programmed(main, 1);
    // Each press starts with an empty console; the retry keeps what the failed attempt printed.
    EXPECT_EQ(console().count("Device is not found."), 1);
}

// A failed transfer is logged beside the working files and the console names the log; a later failure
// that the engine does not log (no device) names no log, though the file is there from before.
TEST_F(FirmwarePageTest, AFailedRunNamesTheLogOnlyWhenItWroteToIt) {
    browse("button2", samples() / "q5_mainV2.vmk");
    main.faults().write_fails = true;
    click("button4");
    ASSERT_EQ(runs.size(), 3u);
    const QString log_line = "Diagnostic log: " + QString::fromStdString(shown(in_work("log.txt")));
    EXPECT_EQ(console().split('\n', Qt::SkipEmptyParts).last(), log_line);
    std::ifstream log(in_work("log.txt"));
    const std::string logged((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    EXPECT_THAT(logged, HasSubstr("LastError = "));
    EXPECT_EQ(fwu::log_file(), "log.txt"); // the engine's own default again after the run

    main.faults() = {};
    main.faults().absent = true;
    click("button4");
    EXPECT_EQ(runs.size(), 6u);
    EXPECT_THAT(console().toStdString(), Not(HasSubstr("Diagnostic log")));
}

// A file is accepted for the chosen type, shown and copied to its working file, or refused, in the box of
// its MCU.
TEST_F(FirmwarePageTest, ChoosingATypeClearsTheFileBoxesKeepsTheWorkingFilesAndTypedTextAddsNoType) {
    browse("button2", samples() / "q5_mainV2.vmk");
    browse("button16", samples() / "q5_superV2.vmk");
    EXPECT_EQ(text("textBox10"),
              QString::fromStdString(shown((samples() / "q5_superV2.vmk").generic_string())));
    auto* list = widget<QComboBox>("comboBox1");
    list->setCurrentIndex(1);
    EXPECT_EQ(text("textBox5"), "");
    EXPECT_EQ(text("textBox10"), "");
    EXPECT_TRUE(fs::exists(in_work("q5_mainV2.vmk")));
    EXPECT_TRUE(fs::exists(in_work("q5_superV2.vmk")));
    browse("button2", samples() / "q5_mainV2.vmk");
    EXPECT_EQ(text("textBox5"), "Selected file does not match selected controller type - Digital/Analog dual "
                                "mode, Primary");
    EXPECT_FALSE(fs::exists(in_work("q5_mainD.vmk")));

    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), "V3 Digital");
    QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(list->currentIndex(), 1);
    EXPECT_EQ(page->type(), 2);
}

TEST_F(FirmwarePageTest, ACopyThatFailsIsShownInTheMcusBox) {
    fs::create_directories(work() / "q5_superV2.vmk" / "x"); // copying over a folder fails
    browse("button16", samples() / "q5_superV2.vmk");
    EXPECT_EQ(text("textBox10"),
              QString::fromStdString("Failed to copy " +
                                     shown((samples() / "q5_superV2.vmk").generic_string()) + " to " +
                                     shown(in_work("q5_superV2.vmk")) + ": Is a directory"));
}

// The working files go to the first candidate folder that can hold files, made when missing. When none
// can, Browse says so and accepts nothing.
TEST_F(FirmwarePageTest, BrowseUsesTheFirstFolderThatCanHoldTheWorkingFilesOrSaysThereIsNone) {
    // Neither candidate can hold files: a file stands where the first folder would be.
    const std::string blocked = (scratch.path() / "a-file").generic_string();
    std::ofstream(blocked) << "x";
    page->workingFolder.clear();
    page->workingFolderCandidates = {QString::fromStdString(blocked),
                                     QString::fromStdString(blocked + "/sub")};
    browse("button2", samples() / "q5_mainV2.vmk");
    EXPECT_EQ(text("textBox5"),
              QString::fromStdString("No folder can hold the working files (tried " + shown(blocked) + ", " +
                                     shown(blocked + "/sub") + ")"));
    EXPECT_TRUE(folders.isEmpty()); // nothing to choose a file for
    EXPECT_TRUE(fs::is_empty(work()));

    page->workingFolderCandidates << QString::fromStdString((work() / "data").generic_string())
                                  << QString::fromStdString(work().generic_string());
    browse("button2", samples() / "q5_mainV2.vmk");
    EXPECT_TRUE(fs::exists(work() / "data" / "q5_mainV2.vmk"));
    EXPECT_FALSE(fs::exists(in_work("q5_mainV2.vmk")));
}

TEST_F(FirmwarePageTest, BrowseOpensWhereTheLastFirmwareFileWasChosenInTheRunsAfter) {
    browse("button16", samples() / "q5_superV2.vmk");
    browse("button16", work() / "q5_main.vmk"); // rejected for the type, but its folder counts
    open_window();
    browse("button16", samples() / "q5_superV2.vmk");
    // Simulate mode keeps its temporary folders out of the settings.
    page->rememberFolder = false;
    browse("button16", scratch.path() / "q5_superV2.vmk");

    const QString in_samples = QString::fromStdString(samples().generic_string());
    EXPECT_THAT(folders, ElementsAre(QDir::homePath(), in_samples,
                                     QString::fromStdString(work().generic_string()), in_samples));
    EXPECT_EQ(remembered_firmware_folder(), in_samples);
    fs::remove_all(samples());
    EXPECT_EQ(remembered_firmware_folder(), QDir::homePath()); // gone: home again
}

TEST_F(FirmwarePageTest, WriteIdProgramsTheShownDigitsAppendingToAnIdFileLeftBehind) {
    const std::string left_behind = ":020000040020DA\r\n:080000000101010101010101F0\r\n:00000001FF\r\n";
    std::ofstream(in_work("id.txt"), std::ios::binary) << left_behind;
    std::string file_seen;
    before_run = [&](std::size_t) {
        std::ifstream in(in_work("id.txt"), std::ios::binary);
        file_seen.assign(std::istreambuf_iterator<char>(in), {});
    };
    widget<QComboBox>("comboBox1")->setCurrentIndex(2); // the ID is written to 0xff01 whatever the type
    click("button27");

    ASSERT_EQ(runs.size(), 1u);
    const std::string id_file = in_work("id.txt");
    EXPECT_EQ(runs[0].args, (Vector{"fw_update", "-w", "-m", "id", "-t", "no", "-vid", "0x04d8", "-pid",
                                    "0xff01", "-ix", id_file}));
    const QString shown = text("textBox15");
    ASSERT_TRUE(shown.endsWith("\r\n")) << shown.toStdString();
    const QString digits = shown.chopped(2);
    const std::optional<QString> record = id_data_record(digits);
    ASSERT_TRUE(record) << shown.toStdString();
    EXPECT_EQ(file_seen, left_behind + ":020000040020DA\r\n" + record->toStdString() + "\r\n:00000001FF\r\n");
    // The later record wins.
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(main.id()[i], digits[i].unicode() - '0') << i;
    EXPECT_EQ(text("textBox5"), "New S/N hex line is " + *record + "\r\n");
    EXPECT_FALSE(fs::exists(id_file));
}

TEST_F(FirmwarePageTest, WriteIdThatCannotWriteItsFileSaysSo) {
    fs::create_directories(work() / "id.txt" / "x");
    const testsupport::ExpectedWarning logged("q5.maintenance", QStringLiteral("write_serial: ID file"));
    click("button27");
    EXPECT_TRUE(runs.empty());
    EXPECT_EQ(text("textBox15"), "An Error Occurred");
    EXPECT_THAT(text("textBox5").toStdString(), HasSubstr("Failed to write " + shown(in_work("id.txt"))));
}

// Which file names each controller type (the page's `type`) and MCU take, and how a refusal names them.
// Working files never go into a system folder: run as root from the installed package, the program's
// folder (/usr/bin) is writable, but the firmware copied there would outlive the package.
#ifdef Q_OS_WIN
// On Windows the program folders and Windows' own are the system's.
TEST(WorkingFolder, TheProgramsFolderServesOnlyWhenItIsNotTheSystems) {
    const QString data = "C:/Users/tech/AppData/Local/q5tool";
    const QString programs = QDir::fromNativeSeparators(qEnvironmentVariable("ProgramFiles"));
    const QString windows = QDir::fromNativeSeparators(qEnvironmentVariable("SystemRoot"));
    ASSERT_FALSE(programs.isEmpty());
    ASSERT_FALSE(windows.isEmpty());
    for (const QString& system :
         {programs + "/q5tool", programs.toLower() + "/q5tool", windows + "/System32"}) {
        EXPECT_TRUE(system_location(system)) << system.toStdString();
        EXPECT_EQ(working_folder_candidates(system, data), QStringList{data}) << system.toStdString();
    }
    testsupport::ScratchDir scratch;
    const QString mine = QDir::fromNativeSeparators(QString::fromStdWString(scratch.path().wstring()));
    EXPECT_FALSE(system_location(mine));
    EXPECT_FALSE(system_location(programs + " Tools/q5")); // a name that merely starts like one
    EXPECT_EQ(working_folder_candidates(mine, data), QStringList({mine, data}));
}
#else
TEST(WorkingFolder, TheProgramsFolderServesOnlyWhenItIsNotTheSystems) {
    const QString data = "/home/tech/.local/share/q5tool";
    for (const char* system : {"/usr/bin", "/usr/local/bin", "/opt/q5tool", "/usr", "/sbin", "/lib/q5"}) {
        EXPECT_TRUE(system_location(system)) << system;
        EXPECT_EQ(working_folder_candidates(system, data), QStringList{data}) << system;
    }
    testsupport::ScratchDir scratch;
    const QString mine = QString::fromStdString(scratch.path().generic_string());
    EXPECT_FALSE(system_location(mine));
    EXPECT_FALSE(system_location("/usrlocal/q5")); // a name that merely starts like one
    EXPECT_EQ(working_folder_candidates(mine, data), QStringList({mine, data}));

    // A link into a system folder is that folder; a folder of another user is not this user's.
    const fs::path link = scratch.path() / "bin";
    fs::create_directory_symlink("/usr/bin", link);
    EXPECT_TRUE(system_location(QString::fromStdString(link.generic_string())));
    if (::geteuid() == 0) {
        const fs::path theirs = scratch.path() / "theirs";
        fs::create_directory(theirs);
        ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
        EXPECT_TRUE(system_location(QString::fromStdString(theirs.generic_string())));
    }
}
#endif

TEST(FirmwareFileName, MustFitTheControllerTypeAndMcu) {
    const struct {
        int type;
        bool super;
        const char* name;
        const char* rejected; // how the message names the type and MCU; empty: accepted
    } cases[] = {
        {1, false, "q5_main_old.vmk", "Analog, Primary"},
        {1, false, "q5_mainD.vmk", "Analog, Primary"},
        {1, false, "q5_main.vmk", ""},
        {1, false, "q5_mainV2.vmk", ""},
        {1, true, "q5_superD.vmk", "Analog, Supervisory"},
        {2, false, "q5_maind.vmk", ""},
        {2, true, "q5_super.vmk", "Digital/Analog dual mode, Supervisory"},
        {0, false, "Q5_MAINV2.VMK", "V2 Digital/Analog(after 7/23) dual mode, Primary"},
        {0, true, "q5_superv2.vmk", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(file_name_accepted(c.type, c.super, c.name), !*c.rejected);
        if (*c.rejected) {
            EXPECT_EQ(rejection_message(c.type, c.super),
                      QString("Selected file does not match selected controller type - ") + c.rejected);
        }
    }
}

TEST(IdDataRecord, DigitBytesWithAChecksumThatZeroesTheSum) {
    EXPECT_EQ(id_data_record("12345678"), ":080000000102030405060708D4");
    EXPECT_EQ(id_data_record("99999999"), ":080000000909090909090909B0");
    EXPECT_EQ(id_data_record("1234567"), std::nullopt);
    EXPECT_EQ(id_data_record("1234567x"), std::nullopt);
}

} // namespace

namespace {

// A HEX file of data records at the given addresses (16 bytes each, 0..15), optionally with a wrong
// checksum in some and without the end-of-file record.
std::string hex_file(const std::vector<std::uint16_t>& addresses, const std::vector<std::size_t>& bad = {},
                     bool end = true) {
    std::string text;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        std::vector<std::uint8_t> data(16);
        for (std::uint8_t b = 0; b < 16; ++b)
            data[b] = b;
        std::string line = fwu::IntelHexRecord::line(fwu::IntelHexRecord::data, addresses[i], data);
        if (std::find(bad.begin(), bad.end(), i) != bad.end())
            line[line.size() - 2] = line[line.size() - 2] == '0' ? '1' : '0';
        text += line;
    }
    return end ? text + ":00000001FF\n" : text;
}

QString sha12(const fs::path& file) {
    QFile f(QString::fromStdString(file.generic_string()));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QString::fromLatin1(
        QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex().left(12));
}

} // namespace

// The engine's reader says what a file holds and what it would accept without a word.
TEST(FirmwareCheck, SummarisesTheFileAndNamesEachFault) {
    testsupport::ScratchDir dir;
    auto check = [&](const std::string& contents) {
        dir.write("f.hex", contents);
        const FirmwareCheck c =
            check_firmware_file(QString::fromStdString(dir.file("f.hex").generic_string()));
        const QString sha = "; SHA-256 " + sha12(dir.file("f.hex"));
        EXPECT_TRUE(c.facts.endsWith(sha)) << c.facts.toStdString();
        QString rest = c.summary();
        return rest.remove(sha);
    };
    EXPECT_EQ(check(hex_file({0x0800, 0x0810})), "32 data bytes at 0x0800-0x081F in 3 records");
    EXPECT_EQ(
        check(hex_file({0x0800, 0x0810, 0x0820}, {1, 2})),
        "48 data bytes at 0x0800-0x082F in 4 records; 2 records with a wrong checksum (the first in line 2)");
    EXPECT_EQ(check(hex_file({0x0800}, {}, false)),
              "16 data bytes at 0x0800-0x080F in 1 record; no end-of-file record");
    EXPECT_EQ(check(hex_file({0x07F8, 0x7FF8})), "32 data bytes at 0x07F8-0x8007 in 3 records; 16 data bytes "
                                                 "outside the program memory 0x0800-0x7FFF");
    EXPECT_EQ(check(hex_file({0x0800}) + "not a record\n"),
              "16 data bytes at 0x0800-0x080F in 2 records; line 3 is not a HEX record");
    EXPECT_EQ(
        check(hex_file({0x0000, 0x0800}, {0}, false)),
        "32 data bytes at 0x0000-0x080F in 2 records; 1 record with a wrong checksum (the first in line 1); "
        "no end-of-file record; 16 data bytes outside the program memory 0x0800-0x7FFF");
    EXPECT_EQ(check(""), "no data bytes in 0 records; no end-of-file record");

    const FirmwareCheck missing =
        check_firmware_file(QString::fromStdString(dir.file("none.hex").generic_string()));
    EXPECT_EQ(missing.summary(), "the file cannot be read");
    EXPECT_EQ(missing.problems, QStringList{cannot_be_read});
}

// The check of the chosen file shows under its box; a sound file is flashed without a question.
TEST_F(FirmwarePageTest, BrowseShowsTheChecksLineAndASoundFileIsFlashedWithoutAQuestion) {
    int asked = 0;
    form->desktopShell().show = [&](QMessageBox&) { ++asked; };
    browse("button2", samples() / "q5_mainV2.vmk");
    const QString line = widget<QLabel>("fileCheck5")->toolTip();
    EXPECT_TRUE(line.startsWith("600 data bytes at 0x0800-0x0A57 in ")) << line.toStdString();
    EXPECT_TRUE(line.endsWith("; SHA-256 " + sha12(samples() / "q5_mainV2.vmk"))) << line.toStdString();
    // Shown on one line, cut to the label's width where the font needs it (the tool tip has it all).
    const QLabel* label = widget<QLabel>("fileCheck5");
    const QString shown = label->text();
    EXPECT_TRUE(shown == line || (shown.endsWith(QChar(0x2026)) && line.startsWith(shown.chopped(1))))
        << shown.toStdString();
    EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(shown), label->width());
    EXPECT_EQ(widget<QLabel>("fileCheck10")->text(), "");
    click("button4");
    EXPECT_EQ(asked, 0);
    expect_programmed(main, 1);

    widget<QComboBox>("comboBox1")->setCurrentIndex(1); // another type: the lines go with the boxes
    EXPECT_EQ(widget<QLabel>("fileCheck5")->text(), "");
}

// A damaged file: the question names what is wrong; No leaves the unit and the working files as they were,
// Yes flashes it.
TEST_F(FirmwarePageTest, ADamagedFileIsFlashedOnlyWhenTheUserSaysYes) {
    std::string damaged = hex_file({0x0800, 0x0810}, {1}, false);
    std::ofstream(samples() / "q5_mainV2.vmk", std::ios::binary) << damaged;
    browse("button2", samples() / "q5_mainV2.vmk");
    const QLabel* check = widget<QLabel>("fileCheck5");
    EXPECT_TRUE(check->toolTip().endsWith(
        "; 1 record with a wrong checksum (the first in line 2); no end-of-file record"));
    // What is wrong is the label's second line, in the warning colour.
    EXPECT_TRUE(check->text().contains("<br><span style=\"color:#ff9f1a\">1 record with a wrong"))
        << check->text().toStdString();

    std::vector<QString> questions;
    QMessageBox::StandardButton answer = QMessageBox::No;
    form->desktopShell().show = [&](QMessageBox& box) {
        questions.push_back(box.windowTitle() + ": " + box.text());
        EXPECT_EQ(box.defaultButton(), box.button(QMessageBox::No));
        box.button(answer)->click();
    };
    const auto flash_before = main.flash();
    const auto id_before = main.id();
    click("button4");
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Firmware File: The firmware file for the main MCU may be damaged:\n"
                            "- 1 record with a wrong checksum (the first in line 2)\n"
                            "- no end-of-file record\n\nFlash it anyway?");
    EXPECT_TRUE(runs.empty());
    EXPECT_TRUE(main.flash() == flash_before);
    EXPECT_TRUE(main.id() == id_before);
    {
        std::ifstream kept(in_work("q5_mainV2.vmk"),
                           std::ios::binary); // closed again: Windows deletes no open file
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), damaged);
    }
    EXPECT_EQ(text("textBox5"),
              QString::fromStdString(shown((samples() / "q5_mainV2.vmk").generic_string())));

    answer = QMessageBox::Yes;
    click("button4");
    EXPECT_EQ(questions.size(), 2u);
    ASSERT_EQ(runs.size(), 2u); // the ID read, then the update
    EXPECT_EQ(text("textBox5"), main_done);
}

// Every engine run of the page leaves a row in the service record: the ID read and the update, completed
// or failed, with the unit's ID, the file and its SHA-256, and the engine's last line on failure.
TEST_F(FirmwarePageTest, EachEngineRunLeavesARowInTheServiceRecord) {
    main.id() = {1, 0, 2, 9, 0, 3, 8, 7};
    browse("button2", samples() / "q5_mainV2.vmk");
    QFile flashed(QString::fromStdString(in_work("q5_mainV2.vmk")));
    ASSERT_TRUE(flashed.open(QIODevice::ReadOnly));
    const QString sha =
        QString::fromLatin1(QCryptographicHash::hash(flashed.readAll(), QCryptographicHash::Sha256).toHex());
    flashed.close();
    click("button4");
    main.faults().write_fails = true;
    browse("button2", samples() / "q5_mainV2.vmk");
    click("button4");

    const ServiceRecord record = read_service_record(page->serviceRecordFile);
    EXPECT_TRUE(record.problems.isEmpty());
    QStringList rows;
    for (const ServiceEntry& e : record.entries) {
        EXPECT_TRUE(QDateTime::fromString(e.time, Qt::ISODate).isValid()) << e.time.toStdString();
        EXPECT_TRUE(
            QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)").match(e.time).hasMatch())
            << e.time.toStdString();
        EXPECT_EQ(e.controllerType, "V2 Digital/Analog(after 7/23)");
        EXPECT_EQ(e.toolVersion, "4.22");
        EXPECT_EQ(e.sha256, e.file.isEmpty() ? QString() : sha);
        rows << QStringList{e.unitId, e.mcu, e.action, e.file, e.result, e.detail}.join('|');
    }
    EXPECT_THAT(rows, ElementsAre("10290387|main|id_read||completed|",
                                  "10290387|main|update|q5_mainV2.vmk|completed|",
                                  "10290387|main|id_read||failed|Failed to send HID buffer.",
                                  "10290387|main|update|q5_mainV2.vmk|failed|Failed to send HID buffer.",
                                  "10290387|main|update|q5_mainV2.vmk|failed|Failed to send HID buffer."));
}

// A record that cannot be written is said in the console; the update goes on.
TEST_F(FirmwarePageTest, AServiceRecordThatCannotBeWrittenIsSaidAndTheUpdateGoesOn) {
    fs::create_directories(scratch.path() / "service-record.csv"); // a folder where the file would be
    browse("button2", samples() / "q5_mainV2.vmk");
    click("button4");
    EXPECT_EQ(text("textBox5"), main_done);
    expect_programmed(main, 1);
    EXPECT_THAT(console().toStdString(), HasSubstr("The service record was not written: cannot open "));
}

// "Service Record...": the rows newest first, a filter by unit ID, and the rows shown exported.
TEST_F(FirmwarePageTest, TheServiceRecordDialogShowsTheRowsNewestFirstFiltersByUnitAndExportsThem) {
    auto row = [](const char* time, const char* unit) {
        return ServiceEntry{time,        unit, "main", "V2", "update", "q5_mainV2.vmk", "0123456789abcdef",
                            "completed", "",   "4.22"};
    };
    for (const ServiceEntry& e : {row("t1", "11112222"), row("t2", "33334444"), row("t3", "11112222")})
        ASSERT_EQ(append_service_entry(page->serviceRecordFile, e), "");
    std::ofstream(scratch.path() / "service-record.csv", std::ios::app) << "t4,1111"; // cut short by a crash
    const QString exported = QString::fromStdString((scratch.path() / "export.csv").generic_string());
    form->desktopShell().chooseSaveFile = [&](QWidget*, const QString&, const QString&, const QString&) {
        return exported;
    };

    bool shown = false;
    page->showDialog = [&](QDialog& dialog) {
        shown = true;
        EXPECT_EQ(dialog.windowTitle(), "Service Record");
        auto* table = dialog.findChild<QTableWidget*>("serviceRecordTable");
        auto* status = dialog.findChild<QLabel*>("serviceRecordStatus");
        ASSERT_TRUE(table && status);
        auto times = [&] {
            QStringList t;
            for (int r = 0; r < table->rowCount(); ++r)
                t << table->item(r, 0)->text() + "/" + table->item(r, 1)->text();
            return t;
        };
        EXPECT_EQ(table->horizontalHeaderItem(1)->text(), "unit_id");
        EXPECT_EQ(table->item(0, 6)->text(), "0123456789ab"); // as a release note gives it
        EXPECT_EQ(table->item(0, 6)->toolTip(), "0123456789abcdef");
        EXPECT_THAT(times(), ElementsAre("t3/11112222", "t2/33334444", "t1/11112222"));
        EXPECT_EQ(status->text(), "3 of 3 rows; line 5 is cut short");
        dialog.findChild<QLineEdit*>("unitIdFilter")->setText("1111");
        EXPECT_THAT(times(), ElementsAre("t3/11112222", "t1/11112222"));
        dialog.findChild<QPushButton*>("exportServiceRecord")->click();
        EXPECT_EQ(status->text(), "Exported 2 rows to " + QDir::toNativeSeparators(exported));
    };
    click("serviceRecordButton");
    EXPECT_TRUE(shown);
    QFile file(exported);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              "time,unit_id,mcu,controller_type,action,file,sha256,result,detail,tool_version\n"
              "t3,11112222,main,V2,update,q5_mainV2.vmk,0123456789abcdef,completed,,4.22\n"
              "t1,11112222,main,V2,update,q5_mainV2.vmk,0123456789abcdef,completed,,4.22\n");
}
