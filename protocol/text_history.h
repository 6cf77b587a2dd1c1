#pragma once

// The text of a box that the controller's lines reach, with a bounded history: at most kMaxLines lines and
// kMaxChars characters, whichever is reached first; the oldest whole lines go, each with its line end.
// The recording file keeps the complete history; a box only shows the latest part of it.
//
// A line ends at "\r\n", "\n" or "\r" alone, and a "\r" that ends one appended text and a "\n" that starts
// the next are one line end, as on screen, where each line end starts a new line. Qt Core only, so that the
// receive path can be checked and fuzzed without widgets.

#include <QString>
#include <QtGlobal>

#include <deque>

namespace DADOV {

class TextHistory {
public:
    static constexpr qsizetype kMaxLines = 5000;
    static constexpr qsizetype kMaxChars = qsizetype(1) << 20;

    explicit TextHistory(qsizetype maxLines = kMaxLines, qsizetype maxChars = kMaxChars);

    // The text kept, line ends as they came.
    QString text() const;
    qsizetype size() const { return m_text.size() - m_head; }
    bool isEmpty() const { return size() == 0; }
    // Lines kept: every line end closes one, and text after the last line end is one more.
    qsizetype lineCount() const;
    bool endsWithCr() const { return !isEmpty() && m_text.endsWith(QLatin1Char('\r')); }

    // Replaces the text, then applies the bound. Returns the number of whole lines dropped from the front.
    qsizetype set(const QString& text);
    // Appends the text, then applies the bound. Returns the number of whole lines dropped from the front
    // (of the text as it stands with the new text appended).
    qsizetype append(const QString& text);

private:
    void find_line_ends(qsizetype from);
    qsizetype trim();
    void compact();

    qsizetype m_maxLines;
    qsizetype m_maxChars;
    QString m_text;               // from m_head on: the text kept
    qsizetype m_head = 0;         // characters already dropped at the front of m_text
    std::deque<qsizetype> m_ends; // offsets in m_text just after each line end, in order
};

} // namespace DADOV
