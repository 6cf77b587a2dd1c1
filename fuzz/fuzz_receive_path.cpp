// The whole receive path without widgets: arbitrary bytes in chunks of random sizes through the line
// assembly, each line through the reply parser's rules, and the text lines into bounded histories as the
// text boxes keep them. Checks that every history stays within its bounds and holds exactly the last whole
// lines of everything appended to it (compared with the complete text, split plainly), and that the
// number rules give in-range results.
//
// The input's first byte seeds the chunk sizes; an input is read up to its 256th line. Two histories take the
// text: one with the boxes' bounds and one small enough (16 lines, 8 KiB) that short inputs reach both of its
// bounds.
#include "link/line_assembler.h"
#include "protocol/modes.h"
#include "protocol/reply_parser.h"
#include "protocol/text_history.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <random>

namespace {

using namespace DADOV;

void check(bool ok) {
    if (!ok)
        std::abort();
}

// The lines taken from one input: enough to pass both bounds of the small history many times over, few
// enough that each input costs about the same.
constexpr qsizetype lines_per_input = 256;
constexpr qsizetype small_lines = 16;
constexpr qsizetype small_chars = 8192; // more than the longest line the assembly delivers, with its end

// The text split plainly into its lines, each with its line end.
QStringList split_lines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\r') && text[i] != QLatin1Char('\n'))
            continue;
        if (text[i] == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        lines.append(text.mid(start, i + 1 - start));
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

// The last whole lines of the complete text that keep within the bounds.
QString expected_kept(const QString& complete, qsizetype max_lines, qsizetype max_chars) {
    QStringList lines = split_lines(complete);
    qsizetype size = complete.size();
    const bool open_end =
        !complete.isEmpty() && !complete.endsWith(QLatin1Char('\r')) && !complete.endsWith(QLatin1Char('\n'));
    while (!lines.isEmpty() && (lines.size() > max_lines || size > max_chars) &&
           (lines.size() > 1 || !open_end)) {
        size -= lines.first().size();
        lines.removeFirst();
    }
    return lines.join(QString());
}

// A text box's history, with the complete text beside it for the check.
struct Box {
    TextHistory boxes;
    TextHistory small{small_lines, small_chars};
    QString complete;

    void clear() {
        boxes.set(QString());
        small.set(QString());
        complete.clear();
    }
    void append(const QString& text) {
        boxes.append(text);
        small.append(text);
        complete += text;
        check(boxes.size() <= TextHistory::kMaxChars && boxes.lineCount() <= TextHistory::kMaxLines);
        check(small.size() <= small_chars && small.lineCount() <= small_lines);
    }
    void check_kept() const {
        // An input's lines rarely reach the boxes' own bounds: then the box holds everything.
        if (complete.size() <= TextHistory::kMaxChars && boxes.lineCount() < TextHistory::kMaxLines)
            check(boxes.text() == complete);
        else
            check(boxes.text() == expected_kept(complete, TextHistory::kMaxLines, TextHistory::kMaxChars));
        check(small.text() == expected_kept(complete, small_lines, small_chars));
    }
};

// What a keyword does to the two boxes, beside the mode it leads to.
int take_keyword(Keyword keyword, int mode, Box& diagnostics, Box& settings) {
    const int next = mode_after(keyword, mode);
    if (keyword == Keyword::Three)
        diagnostics.clear();
    if (mode_after(keyword, MODE_IDLE) == MODE_SETTINGS) // a settings text follows
        settings.clear();
    if (keyword == Keyword::NewPid)
        settings.append(QStringLiteral("Current Device Settings \r\n\r\n"));
    return next;
}

void take_reading(const QString& line) {
    if (const std::optional<int> count = parse_integer_reading(line)) {
        if (const std::optional<int> mv = count_to_millivolts(*count))
            check(std::int64_t(*mv) == (std::int64_t(*count) * 5000) >> 10);
    }
}

void take_line(const QString& line, int& mode, Box& diagnostics, Box& settings) {
    if (const std::optional<Keyword> keyword = keyword_of(line)) {
        mode = take_keyword(*keyword, mode, diagnostics, settings);
        return;
    }
    const QString shown = line + QStringLiteral("\r\n");
    switch (mode) {
    case MODE_TPS1:
    case MODE_TPS2:
        take_reading(line);
        return;
    case MODE_DIAG_TEXT:
        diagnostics.append(shown);
        return;
    case MODE_SETTINGS:
        settings.append(shown);
        return;
    case MODE_AMPS:
        if (const std::optional<double> volts = parse_sense_voltage(line)) {
            check(std::isfinite(*volts));
            if (const std::optional<double> amps = motor_current(*volts, true))
                check(std::isfinite(*amps));
        }
        mode = MODE_IDLE;
        return;
    default:
        return;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    std::minstd_rand random(data[0] + 1u);
    LineAssembler assembler;
    Box diagnostics;
    Box settings;
    int mode = MODE_IDLE;
    std::size_t at = 1;
    qsizetype lines = 0;
    while (at < size && lines < lines_per_input) {
        const std::size_t n = std::min<std::size_t>(random() % 97, size - at);
        for (const QString& line :
             assembler.take(QByteArrayView(reinterpret_cast<const char*>(data) + at, qsizetype(n)))) {
            check(line.size() <= LineAssembler::kMaxLineLength && !line.contains(QLatin1Char('\n')));
            take_line(line, mode, diagnostics, settings);
            ++lines;
        }
        at += n;
    }
    diagnostics.check_kept();
    settings.check_kept();
    return 0;
}
