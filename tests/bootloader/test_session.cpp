// Engine runs in sessions of their own: each run takes its streams, log and
// HID backend from its session and returns its outcome, apart from the
// process-wide settings and results of the fw_update adapter.

#include "fw_update/console.h"
#include "fw_update/fw_update.h"
#include "fw_update/session.h"

#include "bootloader/fw_update_harness.h"
#include "sim/bootloader/sim_bootloader.h"
#include "support/scratch_dir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using fwtest::close_hint;
using ::testing::EndsWith;
using ::testing::HasSubstr;

namespace {

// A session on streams, a log file and a simulated device of its own.
struct OwnSession {
    OwnSession(const std::string& log_file, std::uint16_t product_id)
        : device(backend->add_device(0x04d8, product_id)), session(out, err, log_file, backend) {}

    std::ostringstream out;
    std::ostringstream err;
    std::shared_ptr<sim::SimBootloader> backend = std::make_shared<sim::SimBootloader>();
    sim::SimDevice device;
    fwu::Session session;
};

fwu::RunResult run(fwu::Session& session, const std::string& command_line) {
    return fwtest::with_argv(fwtest::words(command_line), [&](int argc, const char* const* argv) {
        return fwu::run(session, argc, argv);
    });
}

class SessionRun : public ::testing::Test {
protected:
    testsupport::ScratchDir dir;
};

TEST_F(SessionRun, ReturnsItsOutcomeAndLeavesTheAdapterAlone) {
    // The adapter's results and console, as an earlier run may have left them.
    fwu::success = true;
    fwu::serial.fill(0xEE);
    fwu::serial_index = 5;
    std::ostringstream adapter_out, adapter_err;
    fwu::ConsoleStreams adapter_console(adapter_out, adapter_err);

    OwnSession own("log.txt", 0xff01);
    own.device.id() = {1, 2, 3, 4, 5, 6, 7, 8};
    const fwu::RunResult id = run(own.session, "-r -m id -d -t NO -vid 0x04d8 -pid 0xff01");
    EXPECT_EQ(id.code, fwu::result_completed);
    EXPECT_TRUE(id.success);
    EXPECT_EQ(id.serial, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(id.serial_index, 8u);
    EXPECT_EQ(own.out.str(), "\rRVLN id reading: 0%\rRVLN id reading: 100%\rRVLN id reading: DONE.\n"
                             "\n0x00200000: 01 02 03 04 05 06 07 08 \nOperation successfully completed.\n" +
                                 close_hint);

    const fwu::RunResult help = run(own.session, "-h");
    EXPECT_EQ(help.code, fwu::result_help_or_version);
    EXPECT_FALSE(help.success);
    EXPECT_EQ(help.serial_index, 0u) << "a run without a dump captures nothing";
    EXPECT_EQ(run(own.session, "-x").code, fwu::result_argument_error);

    EXPECT_TRUE(fwu::success);
    EXPECT_EQ(fwu::serial, (std::array<std::uint8_t, 8>{0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(fwu::serial_index, 5u);
    EXPECT_EQ(adapter_out.str(), "");
    EXPECT_EQ(adapter_err.str(), "");
    fwu::success = false;
    fwu::serial.fill(0);
    fwu::serial_index = 0;
}

TEST_F(SessionRun, SessionsSideBySideKeepTheirStreamsLogsAndDevicesApart) {
    std::filesystem::create_directory(dir.file("second"));
    OwnSession first(dir.file("first.txt").string(), 0xff01);
    OwnSession second(dir.file("second/log.txt").string(), 0xff03);
    first.device.id() = {1, 2, 3, 4, 5, 6, 7, 8};
    second.device.faults().wrong_echo = true;
    const std::string read_id = "-r -m id -d -t NO -vid 0x04d8 -pid ";

    const fwu::RunResult completed = run(first.session, read_id + "0xff01");
    const fwu::RunResult failed = run(second.session, read_id + "0xff03");
    // Each session sees only its own backend's device.
    const fwu::RunResult absent = run(first.session, read_id + "0xff03");

    EXPECT_TRUE(completed.success);
    EXPECT_EQ(completed.serial, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(failed.code, fwu::result_device_error);
    EXPECT_EQ(failed.serial_index, 0u);
    EXPECT_EQ(absent.code, fwu::result_device_error);

    EXPECT_THAT(first.out.str(), HasSubstr("\n0x00200000: 01 02 03 04 05 06 07 08 \n"));
    EXPECT_THAT(first.out.str(), EndsWith("Device is not found.\n" + fwtest::aborted));
    EXPECT_EQ(second.out.str(), "\rRVLN id reading: 0%\rRVLN id reading: FAILED.\n"
                                "HID response ID doesn't correspond to command ID.\n" +
                                    fwtest::aborted);
    EXPECT_EQ(first.err.str() + second.err.str(), "");

    EXPECT_EQ(dir.read("first.txt"), "") << "the first session's runs logged nothing";
    EXPECT_THAT(dir.read("second/log.txt"), HasSubstr("!!! Err: pOut->header.cmd = 6,  pIn->header.cmd = 6"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("log.txt")));
    EXPECT_EQ(first.device.written().size(), 1u) << "one request: the id read";
    EXPECT_EQ(second.device.written().size(), 1u) << "one request: the failed id read";
}

} // namespace
