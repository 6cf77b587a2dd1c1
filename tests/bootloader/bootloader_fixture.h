#pragma once

// Fixtures of the engine's tests: a scratch folder with the log, and the
// bootloader client on one simulated device (04d8:ff01) in a scratch folder
// with its session (console, log, backend) and a command line's options.

#include "bootloader/fw_update_harness.h"
#include "fw_update/buffer/buffer.h"
#include "fw_update/buffer/iterator.h"
#include "fw_update/log.h"
#include "fw_update/parser.h"
#include "fw_update/pic_bootloader.h"
#include "fw_update/session.h"
#include "fw_update/usage.h"
#include "sim/bootloader/sim_bootloader.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fwtest {

// A scratch folder as the current folder, and a log to log.txt in it.
class ScratchLogTest : public ::testing::Test {
protected:
    testsupport::ScratchDir dir;
    const fwu::Log log;
};

class BootloaderTest : public ::testing::Test {
protected:
    testsupport::ScratchDir dir;
    std::ostringstream console_out, console_err;
    std::shared_ptr<sim::SimBootloader> backend = std::make_shared<sim::SimBootloader>();
    sim::SimDevice device = backend->add_device(0x04d8, 0xff01);
    fwu::Session session{console_out, console_err, "log.txt", backend};
    fwu::FUUsage usage;
    fwu::Parameters params{usage};
    fwu::Buffer buffer{0x8000, 0xFF, session.log()};
    fwu::Iterator it{buffer};
    static fwu::DeviceIdentity main_mcu() { return {0x04d8, 0xff01, nullptr}; }
    fwu::PicBootloader bl{session, main_mcu()};

    void parse(const std::vector<std::string>& args) {
        params = fwu::Parameters(usage);
        with_argv(args,
                  [&](int argc, const char* const* argv) { fwu::Parser(usage).parse(argc, argv, params); });
    }

    void window(std::uint32_t begin, std::uint32_t end) {
        it.set_begin(begin);
        it.set_end(end);
    }

    // The i-th report written to the device.
    std::vector<std::uint8_t> sent(std::size_t i) const {
        return {device.written().at(i).begin(), device.written().at(i).end()};
    }

    // Log entries without their time stamp and place.
    std::vector<std::string> log_messages() const {
        std::vector<std::string> messages;
        std::istringstream in(dir.read("log.txt"));
        const std::regex entry(R"(^\[\d\d/\d\d/\d{4} \d\d:\d\d:\d\d\] !!! Err: (.*)  File: .*, Line: \d+$)");
        for (std::string line; std::getline(in, line);) {
            std::smatch m;
            EXPECT_TRUE(std::regex_match(line, m, entry)) << line;
            messages.push_back(m[1]);
        }
        return messages;
    }
};

} // namespace fwtest
