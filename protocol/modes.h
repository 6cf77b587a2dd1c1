#pragma once

// The reply parser's modes: what a line that is not a keyword means. The mode is held by one ParserMode
// of the window; page actions set it before they write a command, the parser's keywords set it as the
// controller leads.

namespace DADOV {

inline constexpr int MODE_IDLE = 0;      // data lines are ignored
inline constexpr int MODE_TPS1 = 1;      // each data line is a TPS1 reading
inline constexpr int MODE_TPS2 = 2;      // each data line is a TPS2 reading and updates the displays
inline constexpr int MODE_DIAG_TEXT = 3; // data lines are diagnostic text for textBox2
inline constexpr int MODE_SETTINGS = 4;  // data lines are settings or report text for textBox6 and textBox1
inline constexpr int MODE_HERTZ = 5;     // data lines set label41 (the controller's loop rate)
inline constexpr int MODE_AMPS = 6;      // the next data line is the motor-current sense voltage, then idle

// The reply parser's mode, x: one per window, handed to the reply parser and to the pages whose commands
// set the mode the answer is read in.
class ParserMode {
public:
    int x() const { return _x; }
    void set_mode(int mode) { _x = mode; }

private:
    int _x = MODE_IDLE;
};

} // namespace DADOV
