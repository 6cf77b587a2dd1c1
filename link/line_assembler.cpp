#include "link/line_assembler.h"

namespace DADOV {

namespace {

QString from_ascii(const QByteArray& bytes) {
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char b : bytes)
        *out++ = QChar(uchar(b) < 0x80 ? ushort(uchar(b)) : ushort('?'));
    return text;
}

} // namespace

QStringList LineAssembler::take(QByteArrayView bytes) {
    QStringList lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', start);
        const qsizetype end = lf < 0 ? bytes.size() : lf;
        if (!m_dropping)
            m_partial.append(bytes.data() + start, end - start);
        if (m_partial.size() > kMaxLineLength) {
            m_partial.clear();
            m_dropping = true;
        }
        if (lf < 0)
            break;
        if (!m_dropping)
            lines.append(from_ascii(m_partial));
        m_partial.clear();
        m_dropping = false;
        start = lf + 1;
    }
    return lines;
}

void LineAssembler::reset() {
    m_partial.clear();
    m_dropping = false;
}

} // namespace DADOV
