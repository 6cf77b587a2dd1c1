// The serial link over a real pseudo-terminal: the test plays the controller.

#include "link/serial_link.h"
#include "support/expected_warning.h"
#include "support/pty_pair.h"

#include <gmock/gmock.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <stdexcept>

using namespace DADOV;
using testsupport::FakeDevRoot;
using testsupport::PtyPair;

namespace {

class SerialLinkTest : public ::testing::Test {
protected:
    SerialLinkTest() : pty(devRoot), link(devRoot.path()) { connect_lines(link); }

    void connect_lines(SerialLink& l) {
        QObject::connect(&l, &SerialLink::lineReceived, &l, [this](const QString& line) { lines << line; });
    }

    void openLink() {
        ASSERT_TRUE(link.setPortName(QStringLiteral("ttyACM0")));
        ASSERT_TRUE(link.open());
    }

    // Lets the window thread run until `count` lines have come (or 2 s).
    bool waitForLines(qsizetype count) {
        return QTest::qWaitFor([&] { return lines.size() >= count; }, 2000);
    }

    FakeDevRoot devRoot;
    PtyPair pty;
    SerialLink link;
    QStringList lines;
};

} // namespace

TEST_F(SerialLinkTest, OpensByNameUnderTheDeviceRootAt9600With8N1) {
    EXPECT_FALSE(link.isOpen());
    openLink();
    EXPECT_EQ(link.portName(), "ttyACM0");
    EXPECT_EQ(link.portPath(), devRoot.path() + "/ttyACM0");
    EXPECT_FALSE(link.setPortName(QStringLiteral("ttyACM1"))); // only while closed
    EXPECT_FALSE(link.open());                                 // already open
    EXPECT_TRUE(link.isOpen());

    const std::optional<termios> tio = pty.slaveSettings();
    ASSERT_TRUE(tio);
    EXPECT_EQ(cfgetospeed(&*tio), speed_t(B9600));
    EXPECT_EQ(tio->c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(tio->c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
    EXPECT_EQ(tio->c_iflag & (IXON | IXOFF | ICRNL), tcflag_t(0));

    link.close();
    link.close(); // closing a closed link does nothing
    EXPECT_FALSE(link.isOpen());
    EXPECT_TRUE(link.setPortName(QStringLiteral("ttyACM0")));
    EXPECT_TRUE(link.open()); // and it opens again

    // Without a device root of its own, names are ports in /dev.
    SerialLink system;
    ASSERT_TRUE(system.setPortName(QStringLiteral("ttyACM0")));
    EXPECT_EQ(system.portPath(), "/dev/ttyACM0");
}

TEST_F(SerialLinkTest, OpeningAPortThatCannotBeOpenedFailsAndLeavesTheLinkClosed) {
    EXPECT_FALSE(link.open()); // no name
    EXPECT_FALSE(link.setPortName({}));
    EXPECT_FALSE(link.setPortName(QStringLiteral("tty/../ttyACM0"))); // would leave the device folder
    ASSERT_TRUE(link.setPortName(QStringLiteral("ttyACM9")));
    EXPECT_FALSE(link.open());
    EXPECT_FALSE(link.isOpen());

    // Not a terminal.
    QFile plain(devRoot.path() + "/ttyS0");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    ASSERT_TRUE(link.setPortName(QStringLiteral("ttyS0")));
    EXPECT_FALSE(link.open());
    EXPECT_FALSE(link.isOpen());

    // In use by another link.
    openLink();
    SerialLink second;
    ASSERT_TRUE(second.setPortName(pty.linkPath()));
    EXPECT_FALSE(second.open());
    EXPECT_FALSE(second.isOpen());
    link.close();
    EXPECT_TRUE(second.open());
}

TEST_F(SerialLinkTest, WritesExactlyTheBytesGivenAndAtOnce) {
    EXPECT_FALSE(link.write(QStringLiteral("91"))); // closed: nothing is sent
    EXPECT_FALSE(link.write(QByteArray("\x05", 1)));
    EXPECT_FALSE(link.discardBuffers());
    openLink();

    // The peer reads without the window thread's event loop running.
    EXPECT_TRUE(link.write(QStringLiteral("91")));
    EXPECT_TRUE(link.write(QStringLiteral("6000")));
    EXPECT_EQ(pty.read(6), "916000");
    EXPECT_TRUE(link.write(QByteArray("\x00\x7f\x0a\x80\xff", 5)));
    EXPECT_EQ(pty.read(5), QByteArray("\x00\x7f\x0a\x80\xff", 5));
    EXPECT_TRUE(link.write(QString::fromUtf8("S\u00e9N\U0001F600")));
    EXPECT_EQ(pty.read(4), "S?N?");
    EXPECT_TRUE(link.write(QString()));
    EXPECT_EQ(pty.readAll(), "");
}

TEST_F(SerialLinkTest, ALargeWriteArrivesWholeWhileThePeerIsSlow) {
    openLink();
    const QByteArray bulk(256 * 1024, 'w'); // far more than the terminal buffers
    EXPECT_TRUE(link.write(bulk));
    for (int i = 0; i < 3; ++i) // the rest waits in the link while the peer reads nothing
        QCoreApplication::processEvents();
    EXPECT_TRUE(link.isOpen());
    QByteArray got;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            got += pty.read(bulk.size() - got.size(), 10);
            return got.size() == bulk.size();
        },
        5000));
    EXPECT_EQ(got, bulk);
    EXPECT_TRUE(link.isOpen());
}

TEST_F(SerialLinkTest, DeliversEveryCompleteLineOfABurstInOrder) {
    openLink();
    ASSERT_TRUE(pty.writeQueued(QByteArray("4\n5\r\n\n\xff\x80"
                                           "A\x00"
                                           "B\nsta",
                                           15)));
    ASSERT_TRUE(waitForLines(4));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pty.unreadByTool() == 0; }, 2000)); // "sta" read, held back

    ASSERT_TRUE(pty.writeQueued("r"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pty.unreadByTool() == 0; }, 2000));
    ASSERT_TRUE(pty.write("t\n"));
    ASSERT_TRUE(waitForLines(5));
    // Only "\n" is taken off; bytes above 7F read as "?"; the line that came in three reads is one.
    EXPECT_EQ(lines, (QStringList{"4", "5\r", "", QString::fromLatin1("??A\0B", 5), "start"}));
}

TEST_F(SerialLinkTest, AnOverlongLineIsDroppedUpToItsLineFeed) {
    openLink();
    ASSERT_TRUE(pty.write(QByteArray(5000, 'x')));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pty.unreadByTool() == 0; }, 2000));
    ASSERT_TRUE(pty.write(QByteArray(3000, 'y') + "\nnext\n"));
    ASSERT_TRUE(waitForLines(1));
    EXPECT_EQ(lines, QStringList{"next"}); // lines come in order: a kept long line would be first

    // The longest line that is kept, and one byte more in a single burst.
    lines.clear();
    const QByteArray longest(SerialLink::kMaxLineLength, 'z');
    ASSERT_TRUE(pty.write(longest + "\n" + longest + "z\nafter\n"));
    ASSERT_TRUE(waitForLines(2));
    EXPECT_EQ(lines, (QStringList{QString::fromLatin1(longest), "after"}));
}

TEST_F(SerialLinkTest, LinesStayInOrderWhenAHandlerRunsTheEventLoop) {
    openLink();
    QObject::connect(&link, &SerialLink::lineReceived, &link, [this](const QString& line) {
        if (line == "a") {
            EXPECT_TRUE(pty.writeQueued("c\n"));
            // A nested loop: more bytes are read meanwhile.
            EXPECT_TRUE(QTest::qWaitFor([&] { return pty.unreadByTool() == 0; }, 2000));
        }
    });
    ASSERT_TRUE(pty.write("a\nb\n"));
    ASSERT_TRUE(waitForLines(3));
    EXPECT_EQ(lines, (QStringList{"a", "b", "c"}));
}

TEST_F(SerialLinkTest, AFailingHandlerCostsOnlyItsLine) {
    openLink();
    QObject::connect(&link, &SerialLink::lineReceived, &link, [](const QString& line) {
        if (line == "bad")
            throw std::runtime_error("parser failure");
    });
    const testsupport::ExpectedWarning logged("q5.link", QStringLiteral("lineReceived: parser failure"));
    ASSERT_TRUE(pty.write("bad\ngood\n"));
    ASSERT_TRUE(waitForLines(2));
    EXPECT_EQ(lines, (QStringList{"bad", "good"}));
}

TEST_F(SerialLinkTest, ClosingOrDiscardingDropsWhatIsNotYetDelivered) {
    openLink();
    QObject::connect(&link, &SerialLink::lineReceived, &link, [this](const QString& line) {
        if (line == "stop")
            link.close();
    });
    ASSERT_TRUE(pty.write("one\nstop\nlost\n"));
    ASSERT_TRUE(waitForLines(2));
    QCoreApplication::processEvents(); // a delivery still posted would hand "lost" on now
    EXPECT_EQ(lines, (QStringList{"one", "stop"}));
    EXPECT_FALSE(link.isOpen());

    lines.clear();
    ASSERT_TRUE(link.open());
    ASSERT_TRUE(pty.writeQueued("partial"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pty.unreadByTool() == 0; }, 2000));
    EXPECT_TRUE(link.discardBuffers());
    ASSERT_TRUE(pty.write("end\n"));
    ASSERT_TRUE(waitForLines(1));
    EXPECT_EQ(lines, QStringList{"end"});
}

TEST_F(SerialLinkTest, APeerHangUpClosesTheLinkAtOnce) {
    openLink();
    ASSERT_TRUE(pty.write("last\n"));
    ASSERT_TRUE(waitForLines(1));
    pty.hangUp();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !link.isOpen(); }, 2000));
    EXPECT_FALSE(link.write(QStringLiteral("91")));
    EXPECT_FALSE(link.open()); // the port has vanished
    EXPECT_EQ(lines, QStringList{"last"});

    // The device comes back under the same name.
    PtyPair again(devRoot);
    EXPECT_TRUE(link.open());
    ASSERT_TRUE(again.write("back\n"));
    ASSERT_TRUE(waitForLines(2));
    EXPECT_EQ(lines.last(), "back");
}

TEST_F(SerialLinkTest, DestroyingTheLinkInsideAHandlerIsSafe) {
    auto owned = std::make_unique<SerialLink>(devRoot.path());
    connect_lines(*owned);
    QObject::connect(owned.get(), &SerialLink::lineReceived, owned.get(),
                     [&owned](const QString&) { owned.reset(); });
    ASSERT_TRUE(owned->setPortName(QStringLiteral("ttyACM0")));
    ASSERT_TRUE(owned->open());
    ASSERT_TRUE(pty.write("x\ny\n"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !owned; }, 2000));
    EXPECT_EQ(lines, QStringList{"x"});
}

// A flood is handed on in slices with a turn of the event loop between two, so a timer gets its turn while
// the lines keep their order.
TEST_F(SerialLinkTest, AFloodOfLinesLeavesTheEventLoopItsTurns) {
    openLink();
    constexpr int count = 50;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(1);
    qsizetype lines_at_tick = -1;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (lines_at_tick < 0)
            lines_at_tick = lines.size();
    });
    QObject::connect(&link, &SerialLink::lineReceived, &link, [&](const QString&) {
        timer.start(); // due during the first slice
        QElapsedTimer busy;
        busy.start();
        while (!busy.hasExpired(2)) {
        }
    });
    QByteArray flood;
    QStringList expected;
    for (int i = 0; i < count; ++i) {
        flood += "slow " + QByteArray::number(i) + '\n';
        expected << QStringLiteral("slow %1").arg(i);
    }
    ASSERT_TRUE(pty.writeQueued(flood));
    ASSERT_TRUE(waitForLines(count));
    EXPECT_EQ(lines, expected);
    EXPECT_GT(lines_at_tick, 0);
    EXPECT_LT(lines_at_tick, count) << "the timer waited for the whole flood";
}

// While the window is behind (here: delivery held), the link reads up to its bound and no further: the
// rest waits in the terminal and the sender is held back. Nothing is lost or reordered.
TEST_F(SerialLinkTest, AWindowThatIsBehindHoldsTheSenderBackAndLosesNothing) {
    openLink();
    QByteArray stream;
    for (int i = 0; stream.size() < 1024 * 1024; ++i)
        stream += "reading " + QByteArray::number(i) + '\n';
    const qsizetype total = stream.count('\n');
    qsizetype sent = 0;
    const auto feed = [&] {
        const qsizetype n = pty.writeSome(QByteArrayView(stream).sliced(sent));
        sent += n;
        return n;
    };

    link.holdDelivery();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return feed() == 0 && link.queuedBytes() >= SerialLink::kMaxQueuedBytes; }, 5000));
    EXPECT_LE(link.queuedBytes(), SerialLink::kMaxQueuedBytes + SerialLink::kPortBufferBytes);
    EXPECT_GT(pty.unreadByTool(), 0) << "the link read past its bound";
    EXPECT_LT(sent, stream.size());
    EXPECT_TRUE(lines.isEmpty());

    link.releaseDelivery();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            feed();
            return lines.size() == total;
        },
        20000));
    EXPECT_EQ(lines.first(), "reading 0");
    EXPECT_EQ(lines.last(), QStringLiteral("reading %1").arg(total - 1));
    EXPECT_EQ(lines.join('\n') + '\n', QString::fromLatin1(stream));
}
