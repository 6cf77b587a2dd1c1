#include "protocol/text_history.h"

namespace DADOV {

TextHistory::TextHistory(qsizetype maxLines, qsizetype maxChars)
    : m_maxLines(maxLines), m_maxChars(maxChars) {}

QString TextHistory::text() const {
    return m_head == 0 ? m_text : m_text.mid(m_head);
}

qsizetype TextHistory::lineCount() const {
    const qsizetype last_end = m_ends.empty() ? m_head : m_ends.back();
    return qsizetype(m_ends.size()) + (m_text.size() > last_end ? 1 : 0);
}

qsizetype TextHistory::set(const QString& text) {
    m_text = text;
    m_head = 0;
    m_ends.clear();
    find_line_ends(0);
    return trim();
}

qsizetype TextHistory::append(const QString& text) {
    const qsizetype from = m_text.size();
    m_text += text;
    find_line_ends(from);
    return trim();
}

void TextHistory::find_line_ends(qsizetype from) {
    const QChar* const data = m_text.constData();
    const qsizetype n = m_text.size();
    qsizetype i = from;
    // A "\r" kept at the end and a "\n" that starts the new text are one line end.
    if (i > m_head && i < n && data[i - 1] == QLatin1Char('\r') && data[i] == QLatin1Char('\n')) {
        m_ends.back() = i + 1;
        ++i;
    }
    for (; i < n; ++i) {
        const char16_t c = data[i].unicode();
        if (c == u'\n') {
            m_ends.push_back(i + 1);
        } else if (c == u'\r') {
            if (i + 1 < n && data[i + 1] == QLatin1Char('\n'))
                ++i;
            m_ends.push_back(i + 1);
        }
    }
}

// The oldest whole lines go while the text is over either bound. A last line without its line end stays,
// whatever its length.
qsizetype TextHistory::trim() {
    qsizetype dropped = 0;
    while (!m_ends.empty() && (lineCount() > m_maxLines || size() > m_maxChars)) {
        m_head = m_ends.front();
        m_ends.pop_front();
        ++dropped;
    }
    if (m_head > 0 && m_head >= m_text.size() / 2)
        compact();
    return dropped;
}

// The dropped front is given back once it is at least half of the text, so that each character is moved
// about once however the text is trimmed.
void TextHistory::compact() {
    m_text.remove(0, m_head);
    for (qsizetype& end : m_ends)
        end -= m_head;
    m_head = 0;
}

} // namespace DADOV
