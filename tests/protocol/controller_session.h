#pragma once

// A window attached to the simulated controller: the controller's pseudo-terminal is published in a fake
// /dev and found through a fake sysfs tree, and the window's real timer attaches it, offscreen.

#include "app/form1.h"
#include "app/text_box.h"
#include "link/device_setup.h"
#include "pages/strip_chart.h"
#include "sim/controller/sim_controller.h"
#include "support/fake_sysfs.h"
#include "support/pty_pair.h"
#include "support/window_fixture.h"

#include <QLabel>
#include <QLineSeries>
#include <QTabWidget>
#include <QTest>

#include <gmock/gmock.h>

#include <memory>
#include <vector>

namespace testsupport {

class ControllerSession : public WindowTest {
protected:
    void SetUp() override {
        sim = std::make_unique<DADOV::SimController>(dev.path());
        sysfs.addDevice(0x12BF, 0xF010, 0x0100, QStringLiteral("q5 Controller"), {QStringLiteral("ttyACM0")});
        form = std::make_unique<DADOV::Form1>(std::make_unique<DADOV::SysfsDeviceSetup>(sysfs.root()),
                                              dev.path());
        // The streaming pauses are recorded, not waited.
        form->streamingPause = [this](int ms) { pauses.push_back(ms); };
        form->show();
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->serialPort1.isOpen(); }, 3000)) << "not attached";
    }

    void TearDown() override {
        form.reset();
        sim.reset();
    }

    QString box(const char* name) { return widget<DADOV::TextBox>(name)->text(); }

    // Runs the event loop until the simulated controller has received `bytes` in all.
    bool wire_reads(const QByteArray& bytes, int timeoutMs = 3000) {
        return QTest::qWaitFor([&] { return sim->received().size() >= bytes.size(); }, timeoutMs) &&
               sim->received() == bytes;
    }

    // The readings drawn on the chart (after the next flush).
    static QList<int> drawn(const QLineSeries* series) {
        QList<int> out;
        for (const QPointF& p : series->points())
            out.append(static_cast<int>(p.y()));
        return out;
    }

    void select_page(int index) { widget<QTabWidget>("TabControl1")->setCurrentIndex(index); }

    FakeSysfs sysfs;
    FakeDevRoot dev;
    std::unique_ptr<DADOV::SimController> sim;
    std::vector<int> pauses; // ms
};

} // namespace testsupport
