// The attachment monitor end to end: a real pseudo-terminal published in a fake /dev, found through a
// fake sysfs tree, watched by the window's real 30 ms timer on the offscreen platform.

#include "maintenance/console_window.h"
#include "maintenance/firmware_page.h"
#include "pages/page_fixture.h"
#include "pages/strip_chart.h"
#include "protocol/modes.h"
#include "widgets/text_box.h"

#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace DADOV;
using testsupport::PtyPair;

namespace {

const QString not_attached = "Status: Unknown or Not Attached";
const QString broken =
    "Status: Attached but broken.  Please unplug device, wait a few seconds, and re-attach device.";
const QString disconnect_first = "Disconnect USB Before Exiting";

class AttachmentMonitor : public pagetest::PageTest {
protected:
    TextBox* box(const char* name) { return widget<TextBox>(name); }

    void plug(const QString& tty = "ttyACM0") {
        device = sysfs.addDevice(0x12BF, 0xF010, 0x0100, "q5 Controller", {tty});
    }

    void connect_controller() {
        pty = std::make_unique<PtyPair>(dev, "ttyACM0");
        plug();
        next_tick();
        ASSERT_EQ(text("label18"), "Status: Connected on ttyACM0");
    }

    void unplug() {
        sysfs.removeDevice(device);
        if (pty)
            pty->hangUp();
    }

    QString device;
};

TEST_F(AttachmentMonitor, PluggingInConnectsWithinOneTickAndSendsNothing) {
    pty = std::make_unique<PtyPair>(dev, "ttyACM0");
    next_tick();
    EXPECT_EQ(text("label18"), not_attached);
    EXPECT_FALSE(form->serialPort1().isOpen());

    plug();
    next_tick();
    EXPECT_EQ(text("label18"), "Status: Connected on ttyACM0");
    EXPECT_EQ(text("COMStatus_lbl"), "Status: Connected on ttyACM0");
    EXPECT_EQ(form->monitor().DeviceAttachedState(), 1);
    EXPECT_EQ(form->monitor().OldDeviceAttachedState(), 1);
    ASSERT_TRUE(form->serialPort1().isOpen());

    // The tick itself sends nothing.
    next_tick();
    EXPECT_EQ(pty->readAll(100), QByteArray());
}

TEST_F(AttachmentMonitor, UnpluggingResetsTheDisplaysAndClosesTheLink) {
    connect_controller();

    // Displays as a stream leaves them; nothing is reset while the controller is there.
    const char* const labels[] = {"label3", "label4", "label9", "label41", "label45", "label46"};
    const char* const bars[] = {"progressBar1", "progressBar2", "progressBar3"};
    const char* const text_boxes[] = {"textBox1", "textBox2", "textBox6"};
    for (const char* label : labels)
        widget<QLabel>(label)->setText("1190 mv");
    for (const char* bar : bars)
        widget<QProgressBar>(bar)->setValue(2390);
    for (const char* name : text_boxes)
        box(name)->setText("Current Device Settings \r\n");
    widget<QLabel>("label15")->setText("1190 mv (rounded down to 10mV)");
    form->GetInstruction("amps"); // a current of 4.22 A, its peak, then TPS2 readings
    form->GetInstruction("2.5");
    form->GetInstruction("tpstwo");
    widget<QRadioButton>("radioButton2")->setChecked(true);
    form->diagnostics().stripChart().append(StripChart::TPS1, 1200);
    form->diagnostics().stripChart().append(StripChart::TPS2, 1190);
    form->diagnostics().stripChart().flush();
    next_tick();
    EXPECT_EQ(box("textBox6")->text(), "Current Device Settings \r\n");
    EXPECT_EQ(widget<QProgressBar>("progressBar3")->value(), 2390);
    EXPECT_EQ(form->parserMode().x(), 2);

    unplug();
    next_tick();
    EXPECT_EQ(text("label18"), not_attached);
    EXPECT_EQ(text("COMStatus_lbl"), not_attached);
    EXPECT_FALSE(form->serialPort1().isOpen());
    EXPECT_EQ(form->monitor().DeviceAttachedState(), 0);
    for (const char* label : labels)
        EXPECT_EQ(text(label), "") << label;
    for (const char* bar : bars)
        EXPECT_EQ(widget<QProgressBar>(bar)->value(), 0) << bar;
    for (const char* name : text_boxes)
        EXPECT_EQ(box(name)->text(), "") << name;
    EXPECT_EQ(text("label15"), "No Convergence");
    EXPECT_TRUE(form->diagnostics().stripChart().drawnPoints(StripChart::TPS1).isEmpty());
    EXPECT_TRUE(form->diagnostics().stripChart().drawnPoints(StripChart::TPS2).isEmpty());
    EXPECT_TRUE(widget<QRadioButton>("radioButton1")->isChecked());
    EXPECT_EQ(form->parserMode().x(), 0);
    EXPECT_EQ(form->diagnostics().peak_curr(), 0.0);
    EXPECT_EQ(form->diagnostics().current(), 0.0);
    EXPECT_EQ(form->diagnostics().current_volts(), 0.0);

    // While the controller stays away, every tick empties the message boxes again.
    box("textBox6")->setText("Default values selected \r\n");
    next_tick();
    EXPECT_EQ(box("textBox6")->text(), "");
}

// Back on another port after a tick saw it gone, or on the same port between two ticks (the link hung up
// and closed itself): attached anew either way.
TEST_F(AttachmentMonitor, ControllerThatComesBackIsAttachedAnew) {
    connect_controller();
    unplug();
    next_tick();
    pty = std::make_unique<PtyPair>(dev, "ttyACM1");
    plug("ttyACM1");
    next_tick();
    EXPECT_EQ(text("label18"), "Status: Connected on ttyACM1");
    ASSERT_TRUE(form->serialPort1().isOpen());
    EXPECT_TRUE(form->serialPort1().write(QStringLiteral("DTC")));
    EXPECT_EQ(pty->read(3), QByteArray("DTC"));

    form->timer1().stop();
    pty->hangUp();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->serialPort1().isOpen(); }, 2000));
    pty = std::make_unique<PtyPair>(dev, "ttyACM1");
    form->timer1().start();
    next_tick();
    ASSERT_TRUE(form->serialPort1().isOpen());
    EXPECT_EQ(form->monitor().DeviceAttachedState(), 1);
    ASSERT_TRUE(pty->write("after\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return box("textBox16")->text() == "after"; }, 2000))
        << box("textBox16")->text().toStdString();
}

TEST_F(AttachmentMonitor, PortThatWillNotOpenIsBrokenAndRetriedAtEveryTick) {
    plug("ttyACM5"); // listed, but nothing to open in the device folder
    next_tick();
    EXPECT_EQ(text("label18"), broken);
    EXPECT_EQ(text("COMStatus_lbl"), broken);
    EXPECT_FALSE(form->serialPort1().isOpen());
    EXPECT_EQ(form->monitor().DeviceAttachedState(), 0);

    // Each retry runs the page actions again, which reset the parser mode.
    form->GetInstruction("3");
    next_tick();
    EXPECT_EQ(form->parserMode().x(), 0);
    EXPECT_EQ(text("label18"), broken);

    // Closing is allowed while broken.
    EXPECT_TRUE(form->close());
    form->show();

    PtyPair late(dev, "ttyACM5");
    next_tick();
    EXPECT_EQ(text("label18"), "Status: Connected on ttyACM5");
    EXPECT_TRUE(form->serialPort1().isOpen());
    EXPECT_EQ(form->monitor().DeviceAttachedState(), 1);
}

TEST_F(AttachmentMonitor, LinesThatComeWhileTheEngineRunsAreHandledAfterItInOrder) {
    connect_controller();
    ASSERT_EQ(form->tuning().P(), 6000); // the Tuning page's refresh at the tick
    tabs->setCurrentIndex(3);
    QTemporaryDir work;
    FirmwarePage& page = form->firmwarePage();
    page.workingFolder = work.path();
    page.wait = [](int) {};
    QStringList delivered;
    QObject::connect(&form->serialPort1(), &SerialLink::lineReceived, form.get(),
                     [&](const QString& line) { delivered << line; });

    const QByteArray burst = "tpsone\n512\ntpstwo\n510\n4\nend\n";
    int runs = 0;
    page.engine = [&](fwu::Session&, int, const char* const*) {
        ConsoleWindow& console = *page.console;
        if (runs++ == 0) {
            EXPECT_TRUE(pty->writeQueued(burst));
            // The console's turns of the event loop let the link take the bytes in.
            for (int turn = 0; turn < 1000 && pty->unreadByTool() > 0; ++turn)
                console.out() << "RVLN flash erasing\n";
            EXPECT_EQ(pty->unreadByTool(), 0);
        }
        for (int turn = 0; turn < 3; ++turn)
            console.out() << "RVLN flash programming\n";
        // Nothing has reached the parser, and nothing was answered.
        EXPECT_EQ(box("textBox16")->text(), "") << "run " << runs;
        EXPECT_EQ(form->parserMode().x(), 0) << "run " << runs;
        EXPECT_EQ(form->diagnostics().volts1(), 0) << "run " << runs;
        EXPECT_EQ(pty->readAll(0), QByteArray()) << "run " << runs;
        return fwu::RunResult{}; // failed
    };
    widget<QPushButton>("button4")->click(); // the ID read, then two failing attempts
    EXPECT_EQ(runs, 3);
    EXPECT_TRUE(delivered.isEmpty());

    // Once the handler has returned, every line is handled, in order.
    ASSERT_TRUE(QTest::qWaitFor([&] { return delivered.size() >= 6; }, 2000))
        << delivered.join('|').toStdString();
    EXPECT_EQ(delivered, QStringList({"tpsone", "512", "tpstwo", "510", "4", "end"}));
    EXPECT_EQ(box("textBox16")->text(), "end");
    EXPECT_EQ(form->diagnostics().volts1(), 2500);
    EXPECT_EQ(form->diagnostics().volts2(), 2490);
    EXPECT_EQ(pty->read(4), "6000");
}

TEST_F(AttachmentMonitor, ClosingIsRefusedWhileAttachedAndEachAttemptRewritesTheMessageBoxes) {
    connect_controller();
    auto* stop = widget<QPushButton>("button25");
    QSignalSpy stops(stop, &QAbstractButton::clicked);

    // Controller Tuning shown: refused, the boxes rewritten, no stop pressed.
    EXPECT_FALSE(form->close());
    EXPECT_TRUE(form->isVisible());
    for (const char* name : {"textBox1", "textBox2", "textBox6"})
        EXPECT_EQ(box(name)->text(), disconnect_first) << name;
    EXPECT_EQ(stops.count(), 0);

    box("textBox6")->setText("Fault list\r\n");
    EXPECT_FALSE(form->close());
    EXPECT_EQ(box("textBox6")->text(), disconnect_first);
    EXPECT_EQ(stops.count(), 0);

    // Diagnostics shown: each refused attempt also presses "Stop Data Streaming".
    tabs->setCurrentIndex(1);
    EXPECT_FALSE(form->close());
    EXPECT_EQ(stops.count(), 1);
    EXPECT_FALSE(form->close());
    EXPECT_EQ(stops.count(), 2);
    EXPECT_TRUE(form->isVisible());

    // Unplugged and seen gone by a tick: the window closes.
    unplug();
    next_tick();
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->isVisible());
}

TEST_F(AttachmentMonitor, PerformedClickRunsOnlyWhenTheUserCouldClick) {
    auto* stop = widget<QPushButton>("button25");
    QSignalSpy stops(stop, &QAbstractButton::clicked);
    EXPECT_FALSE(form->performClick(stop)); // its page is not shown
    tabs->setCurrentIndex(1);
    EXPECT_TRUE(form->performClick(stop));
    stop->setEnabled(false);
    EXPECT_FALSE(form->performClick(stop));
    stop->setEnabled(true);
    form->hide(); // nothing can be clicked on a window that is not shown
    EXPECT_FALSE(form->performClick(stop));
    EXPECT_FALSE(form->performClick(nullptr));
    EXPECT_EQ(stops.count(), 1);
}

TEST_F(AttachmentMonitor, PortOutOfTheUsersReachIsExplainedInTheStatusToolTip) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    pty = std::make_unique<PtyPair>(dev, "ttyACM0");
    // Everything readable by others but the port itself, as on a desktop without the udev rules.
    ::chmod(QFile::encodeName(sysfs.root()).constData(), 0755);
    ::chmod(QFile::encodeName(dev.path()).constData(), 0755);
    ::chmod(QFile::encodeName(pty->slavePath()).constData(), 0600);
    form->timer1().stop();
    plug();

    ::setfsuid(65534); // this thread's file access as an ordinary user
    form->timer1_Tick();
    ::setfsuid(0);
    EXPECT_EQ(text("label18"), broken);
    const QString hint =
        "This user may not open " + dev.path() +
        "/ttyACM0. Install the udev rules 70-q5-controller.rules (from the package in /usr/lib/udev/rules.d, "
        "or from packaging/linux in the source tree) into /etc/udev/rules.d, run \"sudo udevadm control "
        "--reload-rules && sudo udevadm trigger\" and plug the controller in again.";
    EXPECT_EQ(widget<QLabel>("label18")->toolTip(), hint);
    EXPECT_EQ(widget<QLabel>("COMStatus_lbl")->toolTip(), hint);

    form->timer1_Tick(); // allowed now: connected, and the hint goes
    EXPECT_EQ(text("label18"), "Status: Connected on ttyACM0");
    EXPECT_EQ(widget<QLabel>("label18")->toolTip(), QString());
}

} // namespace
