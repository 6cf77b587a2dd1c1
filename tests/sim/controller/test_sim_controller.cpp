// The simulated controller seen from the tool's side of its terminal, with plain reads and writes.

#include "sim/controller/sim_controller.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gmock/gmock.h>

#include <chrono>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

using namespace DADOV;
using namespace std::chrono_literals;

namespace {

// The tool's end of the port, opened by its published name.
class Port {
public:
    explicit Port(const QString& path) : _fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY)) {
        termios tio{};
        if (_fd >= 0 && ::tcgetattr(_fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(_fd, TCSANOW, &tio);
        }
    }
    ~Port() {
        if (_fd >= 0)
            ::close(_fd);
    }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    bool isOpen() const { return _fd >= 0; }
    void write(const QByteArray& bytes) {
        ASSERT_EQ(::write(_fd, bytes.constData(), bytes.size()), bytes.size());
    }
    // Everything that arrives until `until` is in it or the time-out passes.
    QByteArray readUntil(const QByteArray& until, int timeoutMs = 2000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!_in.contains(until) && std::chrono::steady_clock::now() < deadline) {
            pollfd p{_fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                char buffer[4096];
                const ssize_t n = ::read(_fd, buffer, sizeof buffer);
                if (n > 0)
                    _in.append(buffer, n);
            }
        }
        return _in;
    }
    void forget() { _in.clear(); }

private:
    int _fd;
    QByteArray _in;
};

class SimControllerTest : public ::testing::Test {
protected:
    QTemporaryDir dev;
    SimController sim{dev.path()};
    Port port{sim.portPath()};
};

TEST_F(SimControllerTest, PublishesItsTerminalUnderThePortName) {
    EXPECT_EQ(sim.portPath(), QDir(dev.path()).filePath("ttyACM0"));
    EXPECT_EQ(QFileInfo(sim.portPath()).symLinkTarget(), sim.terminalPath());
    EXPECT_TRUE(port.isOpen());
    EXPECT_THROW(SimController(dev.path()), std::runtime_error); // the name is taken
    EXPECT_THROW(SimController(dev.path(), "a/b"), std::runtime_error);
}

TEST_F(SimControllerTest, ListingAndFaultReport) {
    sim.setSettingsListing({"PID= 6000 10 20"});
    sim.setFaultReport({"TPS1A Out Of Range", "Overcurrent"});
    port.write("SETDTC");
    EXPECT_EQ(port.readUntil("end\nDTC\nTPS1A Out Of Range\nOvercurrent\nend\n"),
              "newPID\nPID= 6000 10 20\nend\nDTC\nTPS1A Out Of Range\nOvercurrent\nend\n");
    EXPECT_EQ(sim.received(), "SETDTC");
}

TEST_F(SimControllerTest, AsksForEachValueAndReadsItsUnterminatedAnswer) {
    port.write("91");
    EXPECT_EQ(port.readUntil("4\n"), "4\n");
    port.write("6123");
    EXPECT_EQ(port.readUntil("5\n"), "4\n5\n");
    port.write("15");
    EXPECT_EQ(port.readUntil("6\n"), "4\n5\n6\n");
    port.write("0");
    EXPECT_EQ(port.readUntil("end\n"),
              "4\n5\n6\nProportional Gain= 6123\nIntegral Gain= 15\nDerivative Gain= 0\nend\n");
    EXPECT_EQ(sim.settings().P, 6123);
    EXPECT_EQ(sim.valuesReceived(), QStringList({"P=6123", "I=15", "D=0"}));

    // The failsafe mask is one raw byte, even one that looks like a digit; a command right after a value
    // ends it.
    port.forget();
    port.write("FAI");
    port.readUntil("fails\n");
    port.write(QByteArray("5BOO", 4));
    port.readUntil("boost\n");
    port.write("50");
    EXPECT_EQ(port.readUntil("%\nend\n"),
              "fails\nFailsafes Disabled= 0x35\nend\nboost\nInitial Bypass Position= 50 %\nend\n");
    EXPECT_EQ(sim.settings().failsafes, 0x35);
    EXPECT_EQ(sim.settings().boostLimit, 50);
}

TEST_F(SimControllerTest, SwappedTriggerAndAMissingValue) {
    sim.setValueGap(10ms);
    sim.setValueTimeout(100ms);
    port.write("BYP");
    port.readUntil("bypas\n");
    port.write("2300");
    port.readUntil("sectrig\n");
    port.write("12");
    port.readUntil("ramp\n");
    port.write("700");
    port.readUntil("filter\n");
    // No answer: the controller gives the value up after its time-out and goes on.
    EXPECT_THAT(port.readUntil("end\n", 3000).toStdString(), ::testing::HasSubstr("Filter Sample Size= 1\n"));
    const SimController::Settings s = sim.settings();
    EXPECT_TRUE(s.swapInputs);
    EXPECT_EQ(s.bypassTrigger, 300);
    EXPECT_EQ(s.rampEnd, 700);
    EXPECT_EQ(sim.valuesReceived().last(), "filter=<none>");
}

TEST_F(SimControllerTest, StreamsPairsAtItsRateUntilStopped) {
    sim.setReadings(512, 100);
    sim.setAmps("2.5", 2);
    sim.setStreamRate(500);
    port.write("96");
    EXPECT_EQ(port.readUntil("sec\n"), "sec\n");
    port.forget();
    port.write("85");
    QByteArray in = port.readUntil("amps\n2.5\n");
    EXPECT_THAT(in.toStdString(),
                ::testing::StartsWith("tpsone\n512\ntpstwo\n100\ntpsone\n512\ntpstwo\n100\namps\n2.5\n"));
    // At 500 pairs a second, 100 pairs take at least about 0.2 s.
    const auto streamStart = std::chrono::steady_clock::now();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.pairsSent() >= 100; }, 2000));
    EXPECT_GE(std::chrono::steady_clock::now() - streamStart, 180ms);
    port.write("65");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sim.streaming(); }, 1000));
    const long long sent = sim.pairsSent();
    port.forget();
    port.write("96"); // the marker: a later command answered
    port.readUntil("sec\n");
    EXPECT_EQ(sim.pairsSent(), sent);

    // Pair A: no motor current.
    port.forget();
    port.write("93");
    port.write("85");
    in = port.readUntil("tpstwo\n100\ntpsone", 1000);
    port.write("65");
    EXPECT_THAT(in.toStdString(), ::testing::StartsWith("prim\ntpsone\n512\ntpstwo\n100\n"));
    EXPECT_THAT(in.toStdString(), ::testing::Not(::testing::HasSubstr("amps")));
}

TEST_F(SimControllerTest, TimedCaptureSendsStarThenDataForItsDuration) {
    sim.setCaptureDuration(100ms);
    sim.setReadings(300, 301);
    const auto start = std::chrono::steady_clock::now();
    port.write("99");
    EXPECT_THAT(port.readUntil("tpstwo\n301\n").toStdString(), ::testing::StartsWith("star\ntpsone\n300\n"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sim.capturing(); }, 2000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
    const long long sent = sim.pairsSent();
    EXPECT_GT(sent, 0);
    port.forget();
    port.write("96"); // the marker: a later command answered
    port.readUntil("sec\n");
    EXPECT_EQ(sim.pairsSent(), sent);
}

TEST_F(SimControllerTest, RecordsEveryByteWithItsArrival) {
    port.write("65");
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.received() == "65"; }, 1000));
    std::this_thread::sleep_for(50ms); // a gap between the two arrivals, which is what is recorded
    port.write("xyz93");
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.received() == "65xyz93"; }, 1000));
    const std::vector<SimController::Arrival> arrivals = sim.arrivals();
    ASSERT_EQ(arrivals.size(), 2u);
    EXPECT_EQ(arrivals[0].bytes, "65");
    EXPECT_GE(arrivals[1].at - arrivals[0].at, 50ms);
    EXPECT_EQ(port.readUntil("prim\n"), "prim\n"); // stray bytes skipped, the command found
}

TEST_F(SimControllerTest, HangUpRemovesThePort) {
    sim.hangUp();
    EXPECT_FALSE(QFileInfo::exists(sim.portPath()));
    EXPECT_FALSE(QFileInfo(sim.portPath()).isSymLink());
}

} // namespace
