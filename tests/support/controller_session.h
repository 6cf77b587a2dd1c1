#pragma once

// A window attached to the simulated controller: the controller's port is published in the fake device
// root (a pseudo-terminal, or a named pipe on Windows) and found among the fake USB devices, and the
// window's real timer attaches it, offscreen.

#include "pages/page_fixture.h"
#include "pages/strip_chart.h"
#include "sim/controller/sim_controller.h"

namespace testsupport {

class ControllerSession : public pagetest::PageTest {
protected:
    void SetUp() override {
        sim = std::make_unique<DADOV::SimController>(dev.path(), controller_port);
        sysfs.addDevice(0x12BF, 0xF010, 0x0100, QStringLiteral("q5 Controller"), {controller_port});
        form->diagnostics().streamingPause = [](int) {}; // the streaming pauses are not waited
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->serialPort1().isOpen(); }, 3000)) << "not attached";
    }

    void TearDown() override {
        form.reset();
        sim.reset();
    }

    // Runs the event loop until the simulated controller has received `bytes` in all.
    bool wire_reads(const QByteArray& bytes, int timeoutMs = 3000) {
        return QTest::qWaitFor([&] { return sim->received().size() >= bytes.size(); }, timeoutMs) &&
               sim->received() == bytes;
    }

    // The readings the chart draws now.
    QList<int> drawn(DADOV::StripChart::Series series) {
        return form->diagnostics().stripChart().drawnPoints(series);
    }

    std::unique_ptr<DADOV::SimController> sim;
};

} // namespace testsupport
