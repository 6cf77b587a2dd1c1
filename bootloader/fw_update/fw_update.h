#pragma once

namespace fwu {

// Result of the last engine run: false at the start of every run, true only
// after all requested commands (and the optional reset) completed.
extern bool success;

// Result codes of fw_update.
constexpr int result_completed = 0; // the requested commands completed (check success)
constexpr int result_help_or_version = 0;
constexpr int result_no_command = 1;
constexpr int result_device_error = 2;
constexpr int result_argument_error = 3;
constexpr int result_unknown_error = 4;

// One run of the firmware-update engine over an argument vector whose first
// element is the program name ("fw_update"). Prints to the engine's console
// (console.h) and returns one of the result codes above.
int fw_update(int argc, const char* const* argv);

} // namespace fwu
