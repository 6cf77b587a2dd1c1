// Where the window's files go: the engine's log beside the working files, named in the console after a
// failed run, and the folder Browse opens in, remembered across runs. The real engine runs against the
// simulated bootloader; the settings are those of the test run (tests/support/window_main.cpp).

#include "app/form1.h"
#include "fw_update/hid.h"
#include "fw_update/log.h"
#include "link/device_setup.h"
#include "maintenance/console_window.h"
#include "maintenance/file_locations.h"
#include "maintenance/firmware_page.h"
#include "sim/bootloader/sim_bootloader.h"
#include "sim/sample_firmware.h"
#include "support/scratch_dir.h"

#include <QDir>
#include <QPushButton>
#include <QSettings>

#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

using namespace DADOV;
namespace fs = std::filesystem;

namespace {

class FileLocations : public ::testing::Test {
protected:
    FileLocations() {
        QSettings(QStringLiteral("q5tool"), QStringLiteral("q5tool")).clear();
        fs::create_directory(scratch.file("work"));
        fs::create_directory(scratch.file("samples"));
        bootloader->add_device(0x04d8, 0xff03);
        fwu::set_hid_backend(bootloader);
        type = 0;
        retry = 0;
    }
    ~FileLocations() override {
        fwu::set_hid_backend(nullptr);
        QSettings(QStringLiteral("q5tool"), QStringLiteral("q5tool")).clear();
    }

    // A window of a new run whose Browse dialog answers `chosen`.
    std::unique_ptr<Form1> window() {
        auto form = std::make_unique<Form1>(
            std::make_unique<SysfsDeviceSetup>(QString::fromStdString(scratch.path().string())));
        form->firmwarePage->workingFolder = QString::fromStdString(scratch.file("work").string());
        form->firmwarePage->wait = [](int) {};
        form->firmwarePage->chooseFile = [this](QWidget*, const QString& folder) {
            offered << folder;
            return chosen;
        };
        return form;
    }
    void browse(Form1& form, const fs::path& file) {
        chosen = QString::fromStdString(file.string());
        form.findChild<QPushButton*>(QStringLiteral("button16"))->click();
    }
    QString last_console_line(Form1& form) {
        return form.firmwarePage->console->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts).last();
    }

    testsupport::ScratchDir scratch; // the current folder
    std::shared_ptr<sim::SimBootloader> bootloader = std::make_shared<sim::SimBootloader>();
    QString chosen;
    QStringList offered;
};

TEST_F(FileLocations, EngineRunsLogBesideTheWorkingFilesAndAFailedOneNamesTheLog) {
    std::ofstream(scratch.file("samples/q5_superV2.vmk")) << "not a HEX file\n";
    const auto form = window();
    browse(*form, scratch.file("samples/q5_superV2.vmk"));
    form->findChild<QPushButton*>(QStringLiteral("button15"))->click(); // "Update Supervisory MCU"

    const fs::path log = scratch.file("work/log.txt");
    EXPECT_THAT(scratch.read("work/log.txt"), ::testing::HasSubstr("!!! Err: Not a HEX record in line 1"));
    EXPECT_FALSE(fs::exists(scratch.file("log.txt")));
    EXPECT_EQ(last_console_line(*form), "Diagnostic log: " + QString::fromStdString(log.string()));
    EXPECT_EQ(fwu::log_file(), "log.txt"); // the engine's own default again after the run

    // A run that succeeds names no log.
    sim::write_sample_firmware(scratch.file("samples/q5_superV2.vmk"), 2, 600);
    browse(*form, scratch.file("samples/q5_superV2.vmk"));
    form->findChild<QPushButton*>(QStringLiteral("button15"))->click();
    EXPECT_NE(last_console_line(*form), "Diagnostic log: " + QString::fromStdString(log.string()));
    EXPECT_THAT(form->firmwarePage->console->text().toStdString(),
                ::testing::HasSubstr("Operation successfully completed."));
}

TEST_F(FileLocations, BrowseOpensWhereTheLastFirmwareFileWasChosenInTheRunsAfter) {
    {
        const auto first = window();
        browse(*first, scratch.file("samples/q5_superV2.vmk"));
        browse(*first, scratch.file("work/q5_main.vmk")); // rejected for the type, but its folder counts
    }
    {
        const auto next_run = window();
        browse(*next_run, scratch.file("samples/q5_superV2.vmk"));
        // Simulate mode keeps its temporary folders out of the settings.
        next_run->firmwarePage->rememberFolder = false;
        browse(*next_run, scratch.file("q5_superV2.vmk"));
    }
    const QString samples = QString::fromStdString(scratch.file("samples").string());
    const QString work = QString::fromStdString(scratch.file("work").string());
    EXPECT_THAT(offered, ::testing::ElementsAre(QDir::homePath(), samples, work, samples));
    EXPECT_EQ(remembered_firmware_folder(), samples);
    fs::remove_all(scratch.file("samples"));
    EXPECT_EQ(remembered_firmware_folder(), QDir::homePath()); // gone: home again
}

} // namespace
