#pragma once

// Helpers shared by the engine's tests: firmware files shaped like the real
// ones, running the fw_update program, HEX text, the message of a thrown error.

#include "fw_update/errors.h"
#include "fw_update/image/image.h"

#include <cstdint>
#include <map>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace fwtest {

// The message of the error E that f throws, or "(nothing thrown)". Any other
// exception passes on and fails the test.
template <typename E, typename F> std::string error_of(F&& f) {
    try {
        f();
    } catch (const E& e) {
        if constexpr (std::is_base_of_v<fwu::DException, E>)
            return e.message();
        else
            return e.what();
    }
    return "(nothing thrown)";
}

// The console's last lines: every run ends with the hint, an aborted one with both.
inline const std::string close_hint = "\n You may close this window. \n";
inline const std::string aborted = "Operation aborted.\n" + close_hint;

// f(argc, argv) for a command line of "fw_update" and the given arguments.
template <typename F> auto with_argv(const std::vector<std::string>& args, F&& f) {
    std::vector<const char*> argv{"fw_update"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    return f(static_cast<int>(argv.size()), argv.data());
}

// What an image delivers from one read: the address and the bytes.
using Chunk = std::pair<std::uint32_t, std::vector<std::uint8_t>>;

// Every chunk an open image delivers, read at most max bytes at a time until a
// read delivers none. Each read must set the address itself.
std::vector<Chunk> read_chunks(fwu::Image& image, std::uint32_t max);

// Bytes of a firmware image: offset -> byte.
using Image = std::map<std::uint32_t, std::uint8_t>;

// A firmware image as the controller's firmware files hold it: code from
// 0x0800 up to (not including) end, in a recognisable pattern.
Image firmware_image(std::uint32_t begin = 0x0800, std::uint32_t end = 0x7C00, std::uint8_t seed = 0x5A);

// Intel HEX text of an image: an extended linear address record for every 64
// KiB page used, data records of 16 bytes, and the end-of-file record.
std::string hex_text(const Image& image);

// One HEX record line (with "\n").
std::string hex_record(std::uint8_t type, std::uint16_t address, const std::vector<std::uint8_t>& data);

// The words of a command line (no quoting: no argument of the tests holds a space).
std::vector<std::string> words(const std::string& command_line);

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the fw_update program with the given arguments (without the program
// name), in the current folder, with FW_UPDATE_SIMULATOR set to simulator
// when not empty. No standard input.
//
// On Windows the program is fw_update.exe beside the test program, and out and
// err are its output through program_text(): a test compares them with the
// Linux texts and so checks the Windows bytes exactly.
ProgramRun run_fw_update(const std::vector<std::string>& args, const std::string& simulator);

std::vector<std::uint8_t> read_file(const std::string& path);

// Text that the engine wrote (its output, a HEX file) as the Linux build writes
// it. The Windows build ends lines with "\r\n": there every "\n" must follow a
// "\r" (else this throws, naming what) and the pair becomes "\n".
std::string program_text(const std::string& raw, const std::string& what);

} // namespace fwtest
