// Reads arbitrary bytes as a line from the controller (as UTF-8 and as Latin-1) through the reply parser's
// rules, and the first four bytes as an ADC count. Keyword matching and the integer readings are checked
// against plain reference versions of their rules; the count's millivolts against the floor division they
// stand for; a sense voltage must be finite, its current within a hundredth of the exact product and
// truncated toward zero, and the current's text must read back as the current.
#include "protocol/reply_parser.h"

#include <QString>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

namespace {

using DADOV::Keyword;

void check(bool ok) {
    if (!ok)
        std::abort();
}

constexpr std::array<const char*, 26> keyword_texts{
    "end",  "tpsone", "dummy", "prim",  "tpstwo", "amps",   "sec",   "hertz",   "3",
    "4",    "5",      "6",     "curr",  "accel",  "integ",  "bypas", "sectrig", "filter",
    "ramp", "boost",  "sens",  "fails", "delay",  "newPID", "DTC",   "star"};

void check_keyword(const QString& line) {
    bool listed = false;
    for (const char* text : keyword_texts)
        listed = listed || line == QLatin1String(text);
    check(DADOV::keyword_of(line).has_value() == listed);
}

// The rule of a reading, written plainly: ASCII blanks around an optional sign and decimal digits that fit
// 32 bits.
std::optional<int> reference_integer(const QString& line) {
    std::string text;
    for (const QChar c : line) {
        if (c.unicode() >= 0x80)
            return std::nullopt;
        text += static_cast<char>(c.unicode());
    }
    const char* const blanks = " \t\n\v\f\r";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
        return std::nullopt;
    text = text.substr(first, text.find_last_not_of(blanks) - first + 1);
    if (text[0] == '+') {
        text.erase(0, 1);
        if (text.empty() || text[0] == '-')
            return std::nullopt;
    }
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

void check_integer(const QString& line) {
    const std::optional<int> reading = DADOV::parse_integer_reading(line);
    check(reading == reference_integer(line));
    if (reading)
        check(DADOV::parse_integer_reading(QString::number(*reading)) == reading);
}

void check_count(int count) {
    const std::int64_t product = std::int64_t{count} * 5000;
    std::int64_t floor = product / 1024;
    if (product % 1024 != 0 && product < 0)
        --floor;
    const std::optional<int> mv = DADOV::count_to_millivolts(count);
    if (floor < std::numeric_limits<int>::min() || floor > std::numeric_limits<int>::max())
        check(!mv);
    else
        check(mv == static_cast<int>(floor));
}

void check_current(const QString& line) {
    const std::optional<double> volts = DADOV::parse_sense_voltage(line);
    // Blanks around the number change nothing.
    check(DADOV::parse_sense_voltage(QStringLiteral(" \t") + line + QStringLiteral("\r\n")) == volts);
    if (!volts)
        return;
    check(std::isfinite(*volts));
    for (const bool v2_unit : {true, false}) {
        const std::optional<double> amps = DADOV::motor_current(*volts, v2_unit);
        if (!amps)
            continue;
        const double exact = v2_unit ? *volts * 1.69 : *volts / 0.162;
        check(std::isfinite(*amps));
        check(!(*amps == 0 && std::signbit(*amps))); // never "-0"
        check(*amps * exact >= 0);                   // truncated toward zero, never past it
        check(std::fabs(*amps) <= std::fabs(exact) * (1 + 1e-12));
        check(std::fabs(exact - *amps) <= 0.01 + 1e-12 * std::fabs(exact));
        bool ok = false;
        const double shown = DADOV::current_text(*amps).toDouble(&ok);
        check(ok && std::fabs(shown - *amps) <= 1e-14 * std::fabs(*amps));
    }
}

void check_line(const QString& line) {
    check_keyword(line);
    check_integer(line);
    check_current(line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* const bytes = reinterpret_cast<const char*>(data);
    const auto length = static_cast<qsizetype>(size);
    check_line(QString::fromUtf8(bytes, length));
    check_line(QString::fromLatin1(bytes, length));
    if (size >= sizeof(int)) {
        int count = 0;
        std::memcpy(&count, data, sizeof count);
        check_count(count);
    }
    return 0;
}
