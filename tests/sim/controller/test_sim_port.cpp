// The simulated controller's port as the tool's serial link sees it: a pseudo-terminal on Linux, a named
// pipe on Windows, opened by its name in the device root like the real port.

#include "link/serial_link.h"
#include "sim/controller/sim_controller.h"
#include "support/dev_root.h"

#include <QTest>

#include <gmock/gmock.h>

#include <chrono>

using namespace DADOV;
using namespace std::chrono_literals;
using testsupport::controller_port;

namespace {

class SimulatedPort : public ::testing::Test {
protected:
    SimulatedPort() {
        QObject::connect(&link, &SerialLink::lineReceived, [this](const QString& line) { lines << line; });
        link.setPortName(controller_port);
    }

    bool waitForLines(qsizetype count) {
        return QTest::qWaitFor([&] { return lines.size() >= count; }, 5000);
    }

    testsupport::FakeDevRoot dev;
    SimController controller{dev.path(), controller_port};
    SerialLink link{dev.path()};
    QStringList lines;
};

} // namespace

TEST_F(SimulatedPort, CarriesBytesBothWaysExactly) {
    ASSERT_TRUE(link.open()) << link.portPath().toStdString();
    EXPECT_TRUE(link.write(QByteArray("SET", 3)));
    EXPECT_TRUE(controller.waitForReceived("SET", 5s)) << controller.received().toStdString();
    ASSERT_TRUE(waitForLines(2)) << lines.join('|').toStdString(); // the settings listing, then "end"
    EXPECT_EQ(lines.first(), "newPID");
    EXPECT_TRUE(QTest::qWaitFor([&] { return lines.contains("end"); }, 5000));
}

TEST_F(SimulatedPort, IsHeldByOneOpenerAndOpensAgainOnceClosed) {
    ASSERT_TRUE(link.open());
    SerialLink second(dev.path());
    second.setPortName(controller_port);
    EXPECT_FALSE(second.open()); // in use

    link.close();
    ASSERT_TRUE(link.open()); // free again, for the same or another opener
    controller.clearReceived();
    EXPECT_TRUE(link.write(QByteArray("DTC", 3)));
    EXPECT_TRUE(controller.waitForReceived("DTC", 5s)) << controller.received().toStdString();
    ASSERT_TRUE(waitForLines(1));
    EXPECT_EQ(lines.first(), "DTC");
}

TEST_F(SimulatedPort, AHangUpEndsTheOpenLinkAndTheNameGoes) {
    ASSERT_TRUE(link.open());
    controller.hangUp();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !link.isOpen(); }, 5000));
    EXPECT_FALSE(link.open());
}
