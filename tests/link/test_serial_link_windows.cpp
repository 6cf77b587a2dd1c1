// The serial link on Windows, over COM5, which the Wine prefix maps to a pseudo-terminal with an echoing
// peer on its far side (tests/windows/com_peer.py): what the link writes comes back as lines.

#include "link/serial_link.h"

#include <QCoreApplication>
#include <QtCore/qtestsupport_core.h>

#include <gtest/gtest.h>

using namespace DADOV;

namespace {

class WindowsSerialLink : public ::testing::Test {
protected:
    WindowsSerialLink() {
        QObject::connect(&link, &SerialLink::lineReceived, [this](const QString& line) { lines << line; });
    }

    void openLink() {
        ASSERT_TRUE(link.setPortName(QStringLiteral("COM5")));
        ASSERT_TRUE(link.open()) << "COM5 does not open";
    }

    bool waitForLines(qsizetype count) {
        return QTest::qWaitFor([&] { return lines.size() >= count; }, 10000);
    }

    SerialLink link;
    QStringList lines;
};

} // namespace

// (A second opener of an open port is refused by Windows' serial drivers; Wine does not refuse it, so it
// is not tried here.)
TEST_F(WindowsSerialLink, OpensTheComPortByItsName) {
    SerialLink missing;
    ASSERT_TRUE(missing.setPortName(QStringLiteral("COM9")));
    EXPECT_FALSE(missing.open());
    EXPECT_FALSE(missing.isOpen());

    ASSERT_TRUE(link.setPortName(QStringLiteral("COM5")));
    EXPECT_EQ(link.portPath(), "COM5");
    EXPECT_TRUE(link.open());
    EXPECT_TRUE(link.isOpen());
    EXPECT_FALSE(link.open()); // already open
    link.close();
    EXPECT_FALSE(link.isOpen());
    EXPECT_TRUE(link.open()); // and it opens again
}

TEST_F(WindowsSerialLink, WhatIsWrittenComesBackAsLinesInOrder) {
    openLink();
    EXPECT_TRUE(link.write(QStringLiteral("91\n")));
    EXPECT_TRUE(link.write(QByteArray("6000\nS\xe9N\n", 9)));
    ASSERT_TRUE(waitForLines(3)) << lines.join('|').toStdString();
    EXPECT_EQ(lines, QStringList({"91", "6000", "S?N"})); // a byte outside ASCII reads as '?'
}

TEST_F(WindowsSerialLink, ABurstArrivesWholeAndInOrder) {
    openLink();
    EXPECT_TRUE(link.write(QStringLiteral("!burst 3000\n")));
    ASSERT_TRUE(waitForLines(3000)) << lines.size();
    QStringList expected;
    for (int i = 1; i <= 3000; ++i)
        expected << QStringLiteral("line %1").arg(i);
    EXPECT_EQ(lines, expected);
}

TEST_F(WindowsSerialLink, AHangUpEndsTheLink) {
    openLink();
    EXPECT_TRUE(link.write(QStringLiteral("before\n")));
    ASSERT_TRUE(waitForLines(1));
    EXPECT_TRUE(link.write(QStringLiteral("!hangup\n")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !link.isOpen(); }, 10000)) << "still open after the hang-up";
    EXPECT_FALSE(link.write(QStringLiteral("after\n")));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
