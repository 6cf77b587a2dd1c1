// Simulate mode as q5tool --simulate builds it: the window finds the simulated controller through the
// fake tree, and reflashes and reads the ID of the simulated V2 bootloaders from the sample files.

#include "app/form1.h"
#include "maintenance/console_window.h"
#include "maintenance/firmware_page.h"
#include "sim/sample_firmware.h"
#include "sim/simulate_mode.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>

#include <gmock/gmock.h>

#include <memory>
#include <vector>

using namespace DADOV;

namespace {

TEST(SimulateMode, TheToolAttachesReflashesAndReadsTheIdWithNoHardware) {
    sim::SimulateMode simulation;
    Form1 form(simulation.deviceSetup(), simulation.deviceRoot());
    simulation.apply(form);
    form.firmwarePage->wait = [](int) {};
    QString offered;
    form.firmwarePage->chooseFile = [&](QWidget*, const QString& folder) {
        offered = folder;
        return folder + "/q5_mainV2.vmk";
    };

    QSignalSpy tick(&form.timer1, &QTimer::timeout);
    ASSERT_TRUE(tick.wait(2000));
    EXPECT_EQ(form.findChild<QLabel*>("label18")->text(), "Status: Connected on ttyACM0");

    form.findChild<QTabWidget*>("TabControl1")->setCurrentIndex(3);
    form.findChild<QPushButton*>("button2")->click();
    EXPECT_EQ(offered, simulation.samplesFolder());
    form.findChild<QPushButton*>("button4")->click();

    EXPECT_EQ(form.findChild<QLineEdit*>("textBox15")->text(), "04271936");
    EXPECT_EQ(form.findChild<QLineEdit*>("textBox5")->text(),
              "reflash of main MCU complete - recalibrate device");
    const std::vector<std::uint8_t> image = sim::sample_firmware(1, 24 * 1024);
    const sim::Flash& flash = simulation.mainMcu().flash();
    EXPECT_TRUE(std::equal(image.begin(), image.end(), flash.begin() + sim::application_start));
    EXPECT_TRUE(QDir(simulation.workingFolder()).isEmpty());
}

TEST(SimulateMode, ClosingTheWindowPullsTheSimulatedCableFirst) {
    sim::SimulateMode simulation;
    Form1 form(simulation.deviceSetup(), simulation.deviceRoot());
    simulation.apply(form);
    form.show();
    QSignalSpy tick(&form.timer1, &QTimer::timeout);
    ASSERT_TRUE(tick.wait(2000));
    ASSERT_EQ(form.findChild<QLabel*>("label18")->text(), "Status: Connected on ttyACM0");

    EXPECT_FALSE(form.close());
    EXPECT_FALSE(simulation.controllerPlugged());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }, 3000));
    EXPECT_EQ(form.findChild<QLabel*>("label18")->text(), "Status: Unknown or Not Attached");
}

} // namespace
