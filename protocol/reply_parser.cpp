// The reply parser's rules: which line is a keyword, and what the numbers of a data line are.

#include "protocol/reply_parser.h"

#include "protocol/modes.h"

#include <QLatin1String>
#include <QLocale>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace DADOV {

namespace {

constexpr std::array<std::pair<const char*, Keyword>, 26> keywords{{
    {"end", Keyword::End},     {"tpsone", Keyword::TpsOne},   {"dummy", Keyword::Dummy},
    {"prim", Keyword::Prim},   {"tpstwo", Keyword::TpsTwo},   {"amps", Keyword::Amps},
    {"sec", Keyword::Sec},     {"hertz", Keyword::Hertz},     {"3", Keyword::Three},
    {"4", Keyword::Four},      {"5", Keyword::Five},          {"6", Keyword::Six},
    {"curr", Keyword::Curr},   {"accel", Keyword::Accel},     {"integ", Keyword::Integ},
    {"bypas", Keyword::Bypas}, {"sectrig", Keyword::Sectrig}, {"filter", Keyword::Filter},
    {"ramp", Keyword::Ramp},   {"boost", Keyword::Boost},     {"sens", Keyword::Sens},
    {"fails", Keyword::Fails}, {"delay", Keyword::Delay},     {"newPID", Keyword::NewPid},
    {"DTC", Keyword::Dtc},     {"star", Keyword::Star},
}};

bool is_blank(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

QStringView without_blanks(QStringView text) {
    while (!text.isEmpty() && is_blank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && is_blank(text.back()))
        text.chop(1);
    return text;
}

} // namespace

std::optional<Keyword> keyword_of(QStringView line) {
    // No keyword is longer than seven characters; readings and text lines mostly are.
    if (line.size() > 7)
        return std::nullopt;
    for (const auto& [text, keyword] : keywords) {
        if (line == QLatin1String(text))
            return keyword;
    }
    return std::nullopt;
}

int mode_after(Keyword keyword, int mode) {
    switch (keyword) {
    case Keyword::End:
    case Keyword::Prim:
    case Keyword::Sec:
        return MODE_IDLE;
    case Keyword::TpsOne:
        return MODE_TPS1;
    case Keyword::TpsTwo:
        return MODE_TPS2;
    case Keyword::Amps:
        return MODE_AMPS;
    case Keyword::Hertz:
        return MODE_HERTZ;
    case Keyword::Three:
        return MODE_DIAG_TEXT;
    case Keyword::Four:
    case Keyword::Five:
    case Keyword::Six:
    case Keyword::Dummy:
    case Keyword::Star:
        return mode;
    default: // the settings requests, "newPID" and "DTC"
        return MODE_SETTINGS;
    }
}

std::optional<int> parse_integer_reading(QStringView line) {
    QStringView text = without_blanks(line);
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    std::int64_t value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > std::int64_t{std::numeric_limits<int>::max()} + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<int> count_to_millivolts(int count) {
    const std::int64_t mv = (std::int64_t{count} * 5000) >> 10;
    if (mv < std::numeric_limits<int>::min() || mv > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(mv);
}

std::optional<double> parse_sense_voltage(QStringView line) {
    const QStringView text = without_blanks(line);
    if (text.isEmpty())
        return std::nullopt;
    QLocale c = QLocale::c();
    c.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = c.toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> motor_current(double sense_volts, bool v2_unit) {
    const double amps = v2_unit ? sense_volts * 1.69 : sense_volts / 0.162;
    const double truncated = std::trunc(amps * 100) / 100;
    if (!std::isfinite(truncated))
        return std::nullopt;
    return truncated == 0 ? 0.0 : truncated; // no "-0"
}

QString current_text(double amps) {
    return QString::number(amps, 'g', 15);
}

} // namespace DADOV
