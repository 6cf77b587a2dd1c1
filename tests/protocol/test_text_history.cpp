// The bounded history of the text boxes that the controller's lines reach.

#include "protocol/text_history.h"

#include <gmock/gmock.h>

#include <QString>

using DADOV::TextHistory;

namespace {

QString numbered_lines(int from, int to, const QString& end = QStringLiteral("\r\n")) {
    QString text;
    for (int i = from; i <= to; ++i)
        text += QString::number(i) + end;
    return text;
}

} // namespace

TEST(TextHistory, KeepsTheLastLinesUpToEitherBound) {
    TextHistory history;
    qsizetype dropped = 0;
    for (int i = 1; i <= TextHistory::kMaxLines + 7; ++i)
        dropped += history.append(QString::number(i) + QStringLiteral("\r\n"));
    EXPECT_EQ(dropped, 7);
    EXPECT_EQ(history.lineCount(), TextHistory::kMaxLines);
    EXPECT_EQ(history.text(), numbered_lines(8, TextHistory::kMaxLines + 7));

    // Long lines reach the size bound first; whole lines go, the newest stays last.
    const QString long_line = QString(3998, QLatin1Char('x')) + QStringLiteral("\r\n");
    for (int i = 0; i < 300; ++i)
        history.append(long_line);
    history.append(QStringLiteral("last\r\n"));
    EXPECT_LE(history.size(), TextHistory::kMaxChars);
    EXPECT_GT(history.size(), TextHistory::kMaxChars - long_line.size());
    EXPECT_TRUE(history.text().startsWith(long_line));
    EXPECT_TRUE(history.text().endsWith(long_line + QStringLiteral("last\r\n")));
    EXPECT_EQ(history.lineCount(), 1 + (history.size() - 6) / long_line.size());

    // A text set at once is bounded too, and counts what it dropped.
    EXPECT_EQ(history.set(numbered_lines(1, TextHistory::kMaxLines + 2, QStringLiteral("\n"))), 2);
    EXPECT_TRUE(history.text().startsWith(QStringLiteral("3\n4\n")));
}

TEST(TextHistory, CountsEveryKindOfLineEndAsTheScreenDoes) {
    TextHistory history(3, 1000);
    history.set(QStringLiteral("a\rb\nc\r"));
    EXPECT_EQ(history.lineCount(), 3);
    EXPECT_TRUE(history.endsWithCr());
    // "\r" at the end and "\n" at the start of the next text are one line end, not an empty line.
    EXPECT_EQ(history.append(QStringLiteral("\nd")), 1);
    EXPECT_EQ(history.text(), QStringLiteral("b\nc\r\nd"));
    EXPECT_EQ(history.append(QStringLiteral("e\r\n")), 0);
    EXPECT_EQ(history.lineCount(), 3);
    // Text after the last line end is a line of its own.
    EXPECT_EQ(history.append(QStringLiteral("f")), 1);
    EXPECT_EQ(history.text(), QStringLiteral("c\r\nde\r\nf"));
    EXPECT_EQ(history.lineCount(), 3);

    // A last line without its end stays whatever its length; complete lines before it go.
    TextHistory small(10, 8);
    small.set(QStringLiteral("ab\r\n"));
    EXPECT_EQ(small.append(QString(20, QLatin1Char('y'))), 1);
    EXPECT_EQ(small.text(), QString(20, QLatin1Char('y')));
    EXPECT_FALSE(small.endsWithCr());
}
