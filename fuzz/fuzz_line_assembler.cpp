// Feeds arbitrary bytes to the serial link's line assembly in chunks of random sizes (empty ones too),
// and checks the lines against the stream split whole: every line that ends in "\n" and is at most
// LineAssembler::kMaxLineLength bytes long comes out, in order, with bytes above 0x7F as '?'; longer lines
// and the unfinished tail do not. A reset in the middle starts a fresh stream.
//
// The input's first byte seeds the chunk sizes. In the rest, 0x01 n c stands for the byte c repeated
// kMaxLineLength - 128 + n times, so that short inputs reach lines on both sides of the cap; the stream ends
// at four times the cap or its 256th line, so that each input costs about the same and the fuzzer's time goes
// to new inputs rather than to long ones.
#include "link/line_assembler.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>

namespace {

using DADOV::LineAssembler;

void check(bool ok) {
    if (!ok)
        std::abort();
}

constexpr qsizetype max_stream = 4 * LineAssembler::kMaxLineLength;
constexpr qsizetype max_lines = 256;

QByteArray expand(const std::uint8_t* data, std::size_t size) {
    QByteArray stream;
    qsizetype lines = 0;
    for (std::size_t i = 0; i < size && stream.size() < max_stream && lines < max_lines; ++i) {
        if (data[i] == 0x01 && i + 2 < size) {
            const char c = static_cast<char>(data[i + 2]);
            // A run of line feeds counts as the lines it makes.
            const qsizetype n = c == '\n'
                                    ? std::min<qsizetype>(max_lines - lines,
                                                          LineAssembler::kMaxLineLength - 128 + data[i + 1])
                                    : LineAssembler::kMaxLineLength - 128 + data[i + 1];
            stream.append(n, c);
            lines += c == '\n' ? n : 0;
            i += 2;
        } else {
            stream.append(static_cast<char>(data[i]));
            lines += data[i] == '\n' ? 1 : 0;
        }
    }
    return stream;
}

// The stream split whole.
QStringList reference_lines(const QByteArray& stream) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype lf = stream.indexOf('\n'); lf >= 0; lf = stream.indexOf('\n', start)) {
        if (lf - start <= LineAssembler::kMaxLineLength) {
            QByteArray line = stream.mid(start, lf - start);
            for (char& c : line) {
                if (static_cast<uchar>(c) >= 0x80)
                    c = '?';
            }
            lines.append(QString::fromLatin1(line));
        }
        start = lf + 1;
    }
    return lines;
}

QStringList assembled(LineAssembler& assembler, const QByteArray& stream, std::minstd_rand& random) {
    QStringList lines;
    qsizetype at = 0;
    while (at < stream.size()) {
        // Mostly short chunks, now and then one beyond the cap.
        const qsizetype wanted =
            random() % 4 == 0 ? random() % (2 * LineAssembler::kMaxLineLength) : random() % 65;
        const qsizetype n = std::min(wanted, stream.size() - at);
        lines += assembler.take(QByteArrayView(stream.constData() + at, n));
        at += n;
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    std::minstd_rand random(data[0] + 1u);
    const QByteArray stream = expand(data + 1, size - 1);

    LineAssembler assembler;
    const QStringList lines = assembled(assembler, stream, random);
    check(lines == reference_lines(stream));

    // After a reset, the second half is a stream of its own.
    const qsizetype half = stream.size() / 2;
    LineAssembler again;
    (void)assembled(again, stream.left(half), random);
    again.reset();
    check(assembled(again, stream.mid(half), random) == reference_lines(stream.mid(half)));
    return 0;
}
