// The fw_update adapter (fw_update.h): the process-wide settings of its runs
// and their results. The engine below it takes everything from the session it
// is given.
#include "fw_update/console.h"
#include "fw_update/fw_update.h"
#include "fw_update/hid.h"

#include <algorithm>
#include <iostream>
#include <mutex>
#include <utility>

namespace fwu {

bool success = false;
std::array<std::uint8_t, 8> serial{};
std::uint32_t serial_index = 0;

namespace {

// What the next run is given.
struct Settings {
    std::ostream* out = &std::cout;
    std::ostream* err = &std::cerr;
    std::string log_file; // empty: the default
    std::mutex backend_mutex;
    // The installed backend, or the platform's once a run needed it.
    std::shared_ptr<HidBackend> backend;
};

Settings& settings() {
    static Settings state;
    return state;
}

const std::string default_log_file = "log.txt";

std::shared_ptr<HidBackend> backend_for_run() {
    Settings& state = settings();
    std::lock_guard lock(state.backend_mutex);
    if (!state.backend)
        state.backend = platform_hid_backend();
    return state.backend;
}

} // namespace

int fw_update(int argc, const char* const* argv) {
    success = false;
    Settings& state = settings();
    Session session(*state.out, *state.err, state.log_file, backend_for_run());
    const RunResult result = run(session, argc, argv);
    success = result.success;
    // Only a run that printed a dump captured bytes; the others leave the last capture.
    if (result.serial_index > 0) {
        serial_index = result.serial_index;
        const std::size_t kept = std::min<std::size_t>(result.serial_index, serial.size());
        std::copy_n(result.serial.begin(), kept, serial.begin());
    }
    return result.code;
}

ConsoleStreams::ConsoleStreams(std::ostream& out, std::ostream& err)
    : _previous_out(settings().out), _previous_err(settings().err) {
    settings().out = &out;
    settings().err = &err;
}

ConsoleStreams::~ConsoleStreams() {
    settings().out = _previous_out;
    settings().err = _previous_err;
}

void set_log_file(std::string path) {
    settings().log_file = std::move(path);
}

const std::string& log_file() {
    const std::string& chosen = settings().log_file;
    return chosen.empty() ? default_log_file : chosen;
}

void set_hid_backend(std::shared_ptr<HidBackend> backend) {
    std::shared_ptr<HidBackend> previous;
    {
        Settings& state = settings();
        std::lock_guard lock(state.backend_mutex);
        previous = std::exchange(state.backend, std::move(backend));
    }
    // The previous backend is released here, outside the lock.
}

} // namespace fwu
