// A controller that floods the window with long lines in its text modes (a fault, a wrong baud rate, a noisy
// cable): the text boxes keep their bounded history, nothing of the latest lines is lost, and the window
// stays small.

#include "pages/page_fixture.h"
#include "protocol/text_history.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define Q5_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define Q5_UNDER_ASAN 1
#endif

namespace {

using DADOV::TextHistory;

#ifdef Q5_UNDER_ASAN
constexpr bool under_address_sanitizer = true;
#else
constexpr bool under_address_sanitizer = false;
#endif

// The resident memory of this process in bytes, from /proc.
qint64 resident_bytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("VmRSS:\\s+(\\d+) kB"))
                                          .match(QString::fromLatin1(status.readAll()));
    return m.hasMatch() ? m.captured(1).toLongLong() * 1024 : -1;
}

// Runs the window's event loop until `done` holds (QTest::qWaitFor sleeps between turns, which would slow
// the window down to the test's pace).
template <typename F> bool run_until(F done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

class HostileController : public pagetest::PageTest {
protected:
    // Sends the stream as fast as the terminal takes it, letting the window run meanwhile.
    void flood(const QByteArray& stream) {
        qsizetype sent = 0;
        ASSERT_TRUE(run_until(
            [&] {
                sent += pty->writeSome(QByteArrayView(stream).sliced(sent));
                return sent == stream.size();
            },
            120000));
    }
    // 4,000-character lines numbered from `first`, as many as make `bytes`.
    static QByteArray long_lines(int first, qsizetype bytes, int& next) {
        QByteArray stream;
        for (next = first; stream.size() < bytes; ++next)
            stream += QByteArray::number(next).rightJustified(8, '0') + ' ' + QByteArray(3989, 'x') + "\r\n";
        return stream;
    }
    // The box holds the last whole lines sent, up to `last`, within the bounds. (Each line's "\r" stays in
    // the line, and the box ends it with "\r\n".)
    void expect_last_lines(const char* name, int last) {
        const QString text = box(name);
        SCOPED_TRACE(name);
        EXPECT_LE(text.size(), TextHistory::kMaxChars);
        const QStringList lines = text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_LE(lines.size(), TextHistory::kMaxLines);
        EXPECT_GT(text.size(), TextHistory::kMaxChars - 8000) << "more was dropped than the bound asks";
        const int first = lines.first().left(8).toInt();
        for (qsizetype i = 0; i < lines.size(); ++i)
            ASSERT_EQ(lines[i].left(8).toInt(), first + i) << "a line is missing or out of order";
        EXPECT_EQ(first + lines.size() - 1, last);
    }
};

TEST_F(HostileController, TwentyMebibytesOfTextLeaveTheBoxesWithinTheirBounds) {
    connect_controller();
    const qint64 before = resident_bytes();
    ASSERT_GT(before, 0);

    int next = 0;
    flood("DTC\n" + long_lines(0, 10 << 20, next));
    const int last_settings = next - 1;
    flood("3\n" + long_lines(next, 10 << 20, next));
    const int last_diagnostic = next - 1;
    ASSERT_TRUE(run_until(
        [&] {
            return box("textBox2")
                .endsWith(QByteArray::number(last_diagnostic).rightJustified(8, '0') + ' ' +
                          QByteArray(3989, 'x') + "\r\r\n");
        },
        30000));

    expect_last_lines("textBox6", last_settings);
    expect_last_lines("textBox1", last_settings);
    expect_last_lines("textBox2", last_diagnostic);
    const qint64 after = resident_bytes();
    if (under_address_sanitizer)
        GTEST_SKIP() << "the address sanitizer keeps freed memory; the bound on memory is the normal build's";
    EXPECT_LT(after - before, 60 << 20)
        << "resident memory grew from " << before / (1 << 20) << " MB to " << after / (1 << 20) << " MB";
}

} // namespace
