#pragma once

// The fw_update adapter: engine runs over process-wide settings, for the
// callers that have no session of their own (the window's firmware page). Each
// fw_update() call runs a session (session.h) on
// - the streams that ConsoleStreams installed (console.h), standard output and
//   standard error by default,
// - the log file that set_log_file named, "log.txt" in the current folder by
//   default,
// - the HID backend that set_hid_backend installed (hid.h), the platform's by
//   default,
// and leaves its result in success and serial. The settings are changed
// between runs only.

#include <array>
#include <cstdint>
#include <string>

#include "fw_update/session.h"

namespace fwu {

// Result of the last run: false at the start of every run, true only after all
// requested commands (and the optional reset) completed.
extern bool success;

// The bytes printed by the last console dump (the first eight of them), and
// how many bytes that dump has printed. A run without a dump leaves them as
// they are. The window takes a unit's ID from here after an id read.
extern std::array<std::uint8_t, 8> serial;
extern std::uint32_t serial_index;

// One run over an argument vector whose first element is the program name
// ("fw_update"); returns one of the result codes of session.h.
int fw_update(int argc, const char* const* argv);

// The log file of the runs that follow; empty puts back "log.txt" in the
// current folder.
void set_log_file(std::string path);
const std::string& log_file();

} // namespace fwu
