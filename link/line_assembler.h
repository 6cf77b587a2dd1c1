#pragma once

// The serial link's line assembly: the received byte stream, in chunks as they come, split into lines at
// "\n". A line goes out without its "\n" (a "\r" before it stays); the bytes after the last "\n" wait for
// the next chunk. A line longer than kMaxLineLength is dropped, up to and with its "\n". Bytes above 0x7F
// read as '?'. Qt Core only, apart from the port, so that it can be checked and fuzzed on its own.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace DADOV {

class LineAssembler {
public:
    // Longest line delivered.
    static constexpr qsizetype kMaxLineLength = 4096;

    // Takes the next chunk of the stream; returns the lines it completes, in order.
    QStringList take(QByteArrayView bytes);
    // Forgets the line being received: the stream starts afresh.
    void reset();

private:
    QByteArray m_partial;    // bytes of the line being received
    bool m_dropping = false; // inside an overlong line, until its "\n"
};

} // namespace DADOV
