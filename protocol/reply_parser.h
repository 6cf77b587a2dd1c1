#pragma once

// The reply parser's rules: the keywords, the number parsing and the arithmetic and number texts of the
// readings. Qt Core only, apart from the window, so that they can be checked (and fuzzed) on their own.
// Form1::GetInstruction (pages/reply_handler.cpp) applies them to the controls.

#include <QString>
#include <QStringView>

#include <optional>

namespace DADOV {

// The keywords the controller sends, in the order the parser tests them.
enum class Keyword {
    End,
    TpsOne,
    Dummy,
    Prim,
    TpsTwo,
    Amps,
    Sec,
    Hertz,
    Three,
    Four,
    Five,
    Six,
    Curr,
    Accel,
    Integ,
    Bypas,
    Sectrig,
    Filter,
    Ramp,
    Boost,
    Sens,
    Fails,
    Delay,
    NewPid,
    Dtc,
    Star,
};

// The keyword the line is, compared exactly and case-sensitively; none for a data line.
std::optional<Keyword> keyword_of(QStringView line);

// The parser's mode after the keyword, from the mode before it: a keyword that announces data sets the
// mode its lines are read in, "end", "prim" and "sec" make the parser idle, a settings request or "DTC"
// means settings text follows, and the gain requests ("4", "5", "6"), "dummy" and "star" change nothing.
int mode_after(Keyword keyword, int mode);

// A reading: an optionally signed decimal integer that fits 32 bits, with blanks (space, tab, CR, LF,
// VT, FF) allowed around it and nothing else.
std::optional<int> parse_integer_reading(QStringView line);

// An ADC count of the 10-bit converter in millivolts: (count x 5000) shifted right by 10, a floor
// division by 1024. The product never wraps around (it is worked out in 64 bits), so a garbled count
// cannot turn into a plausible reading; none when the result does not fit 32 bits.
std::optional<int> count_to_millivolts(int count);

// The motor-current sense voltage: a decimal number with a point, with blanks around it. None for
// anything else, infinities and NaN included.
std::optional<double> parse_sense_voltage(QStringView line);

// The motor current in amps for a sense voltage: x 1.69 on a V2 unit, / 0.162 on a V1 unit, then
// truncated toward zero to hundredths. None when the result is not a finite number.
std::optional<double> motor_current(double sense_volts, bool v2_unit);

// The general decimal text of a current: at most 15 significant digits, no trailing zeros (3.25, 3.2, 3).
QString current_text(double amps);

} // namespace DADOV
