#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "fw_update/hid.h"
#include "fw_update/log.h"

namespace fwu {

// Result codes of a run (the fw_update program's exit status).
constexpr int result_completed = 0; // the requested commands completed (check success)
constexpr int result_help_or_version = 0;
constexpr int result_no_command = 1;
constexpr int result_device_error = 2;
constexpr int result_argument_error = 3;
constexpr int result_unknown_error = 4;

// What one engine run works with: the HID backend it finds the device
// through, the output and error streams its console lines go to, and the log
// its diagnostics are appended to. Nothing of a run passes through the
// process: two sessions side by side share nothing but what they were given.
// The streams must outlive the session.
class Session {
public:
    // A session on these streams and the log file at log_file (empty: "log.txt"
    // in the current folder), with the HID backend given, or the platform's
    // (made when the session first needs it) when it is null.
    Session(std::ostream& out, std::ostream& err, std::string log_file = {},
            std::shared_ptr<HidBackend> backend = nullptr);

    std::ostream& out() const { return _out; }
    std::ostream& err() const { return _err; }
    const Log& log() const { return _log; }
    HidBackend& hid();

    // Whether a progress line stands open on the output, to be rewritten in place; a line written to
    // the error stream meanwhile starts on a line of its own.
    bool progress_line_open() const { return _progressLineOpen; }
    void set_progress_line_open(bool open) { _progressLineOpen = open; }

private:
    std::ostream& _out;
    std::ostream& _err;
    Log _log;
    std::shared_ptr<HidBackend> _backend;
    bool _progressLineOpen = false;
};

// The outcome of a run.
struct RunResult {
    // One of the result codes above.
    int code = result_unknown_error;
    // True only when all requested commands (and the optional reset) completed;
    // false for help, version and every failure.
    bool success = false;
    // The ID bytes read: the first eight bytes the run's console dump printed
    // (an id read with -d), and how many it printed; 0 when it printed none.
    std::array<std::uint8_t, 8> serial{};
    std::uint32_t serial_index = 0;
};

// One run of the firmware-update engine in a session, over an argument vector
// whose first element is the program name ("fw_update"): the commands and
// options of `fw_update -h`, with their console text, log entries and result.
RunResult run(Session& session, int argc, const char* const* argv);

} // namespace fwu
