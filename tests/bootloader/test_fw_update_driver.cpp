// The engine run in-process through the fw_update adapter, as the window runs it: its console,
// result codes, the success flag and the captured ID bytes.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>

#include "bootloader/fw_update_harness.h"
#include "fw_update/console.h"
#include "fw_update/fw_update.h"
#include "sim/bootloader/sim_bootloader.h"
#include "support/scratch_dir.h"

using fwtest::aborted;
using fwtest::close_hint;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

const std::string device_options = " -vid 0x04d8 -pid 0xff04";

class DriverTest : public ::testing::Test {
protected:
    testsupport::ScratchDir dir;
    std::ostringstream out;
    std::ostringstream err;
    fwu::ConsoleStreams console{out, err};
    std::shared_ptr<sim::SimBootloader> backend = std::make_shared<sim::SimBootloader>();
    sim::SimDevice device = backend->add_device(0x04d8, 0xff04);

    void SetUp() override { fwu::set_hid_backend(backend); }
    void TearDown() override { fwu::set_hid_backend(nullptr); }

    int run(const std::string& command_line) {
        out.str("");
        err.str("");
        return fwtest::with_argv(fwtest::words(command_line), fwu::fw_update);
    }
    int read_id() { return run("-r -m id -d -t NO" + device_options); }
    int update(const std::string& file) { return run("-e -w -v -t NO -ix " + file + device_options); }
};

TEST_F(DriverTest, EveryRunSetsSuccessAnewAndEachIdReadFillsSerial) {
    device.id() = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    EXPECT_EQ(read_id(), 0);
    EXPECT_TRUE(fwu::success);
    EXPECT_EQ(fwu::serial, (std::array<std::uint8_t, 8>{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}));
    EXPECT_EQ(run("-h"), 0);
    EXPECT_FALSE(fwu::success) << "help leaves success false";

    device.id() = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(read_id(), 0);
    EXPECT_EQ(fwu::serial, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(run("-ver" + device_options), 0);
    EXPECT_FALSE(fwu::success) << "version leaves success false";
    EXPECT_EQ(out.str(), "fw_update Version: 0.2.0\n\rRVLN BootLoader Version reading: 0%"
                         "\rRVLN BootLoader Version reading: 100%\rRVLN BootLoader Version reading: DONE.\n"
                         "BootLoader Version: 2.4.1\n");
    EXPECT_EQ(read_id(), 0);
    EXPECT_EQ(run(""), 1);
    EXPECT_FALSE(fwu::success);
}

TEST_F(DriverTest, LogFileSetForTheRunsTakesTheirEntries) {
    const std::string named = dir.file("named.txt").string();
    device.faults().wrong_echo = true;
    fwu::set_log_file(named);
    EXPECT_EQ(fwu::log_file(), named);
    EXPECT_EQ(read_id(), 2);
    fwu::set_log_file("");
    EXPECT_EQ(fwu::log_file(), "log.txt");
    EXPECT_THAT(dir.read("named.txt"), HasSubstr("!!! Err: pOut->header.cmd = 6,  pIn->header.cmd = 6"));
    EXPECT_EQ(dir.read("log.txt"), "");
}

TEST_F(DriverTest, CommandsRunInFixedOrderWhateverTheVector) {
    dir.write("fw.vmk", fwtest::hex_text(fwtest::firmware_image(0x800, 0x880)));
    EXPECT_EQ(run("-v -w -e -r -t NO -ix fw.vmk -ob before.bin" + device_options), 0) << out.str();
    const std::string o = out.str();
    const auto reading = o.find("reading: DONE.");
    const auto erasing = o.find("erasing: DONE.");
    const auto programming = o.find("programming: DONE.");
    const auto verifying = o.find("verifying: DONE.");
    ASSERT_NE(verifying, std::string::npos);
    EXPECT_LT(reading, erasing);
    EXPECT_LT(erasing, programming);
    EXPECT_LT(programming, verifying);
    EXPECT_EQ(dir.read("before.bin"), std::string(0x8000, '\xFF')) << "the read came before the write";
}

TEST_F(DriverTest, EraseOfIdAndEepromProgramsErasedBytes) {
    device.id() = {1, 2, 3, 4, 5, 6, 7, 8};
    device.eeprom().fill(0x00);
    EXPECT_EQ(run("-e -m all -t NO" + device_options), 0) << out.str();
    EXPECT_EQ(device.id(), (sim::IdMemory{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(device.eeprom()[0], 0xFF);
    EXPECT_EQ(device.eeprom()[255], 0xFF);
    EXPECT_THAT(out.str(),
                StartsWith("\rRVLN flash erasing: 0%\rRVLN flash erasing: DONE.\n\rRVLN id programming: 0%"));
}

TEST_F(DriverTest, HexWithoutEepromDataWarnsAndProgramsTheRest) {
    fwtest::Image image = fwtest::firmware_image(0x800, 0x820);
    for (std::uint32_t i = 0; i < 8; ++i)
        image[0x00200000 + i] = 0x30 + i;
    dir.write("fw.vmk", fwtest::hex_text(image));
    EXPECT_EQ(run("-w -m all -t NO -ix fw.vmk" + device_options), 0);
    EXPECT_EQ(err.str(), "WARNING: No data for memory type = eeprom\n");
    EXPECT_EQ(device.id()[7], 0x37);
    EXPECT_TRUE(fwu::success);
}

TEST_F(DriverTest, FileWithoutDataForTheMemoryIsRefusedOnlyWhenAnEraseWouldRun) {
    dir.write("fw.vmk", fwtest::hex_text(fwtest::firmware_image(0x800, 0x840))); // flash data only
    device.eeprom().fill(0x42);
    const std::string eeprom = " -m eeprom -t NO -ix fw.vmk" + device_options;

    // Nothing to program or verify: each command warns and the run completes.
    EXPECT_EQ(run("-w -v" + eeprom), 0);
    EXPECT_TRUE(fwu::success);
    EXPECT_EQ(err.str(),
              "WARNING: No data for memory type = eeprom\nWARNING: No data for memory type = eeprom\n");
    EXPECT_EQ(out.str(), "Operation successfully completed.\n" + close_hint);

    // An erase would leave the memory blank: refused before the device is touched.
    EXPECT_EQ(run("-e -w -v" + eeprom), 2);
    EXPECT_FALSE(fwu::success);
    EXPECT_EQ(err.str(), "WARNING: No data for memory type = eeprom\n");
    EXPECT_EQ(out.str(), "Failed to read image file.\n" + aborted);
    EXPECT_EQ(device.eeprom()[0], 0x42);
    EXPECT_EQ(device.counters().opens, 0u);
}

struct RunFault {
    const char* name;
    void (*inject)(sim::Faults&);
    const char* message;
};

void PrintTo(const RunFault& fault, std::ostream* os) {
    *os << fault.name;
}

class DriverFaults : public DriverTest, public ::testing::WithParamInterface<RunFault> {};

TEST_P(DriverFaults, EndWithMessageFailedLineAndResultTwo) {
    dir.write("fw.vmk", fwtest::hex_text(fwtest::firmware_image()));
    GetParam().inject(device.faults());
    EXPECT_EQ(update("fw.vmk"), 2);
    EXPECT_FALSE(fwu::success);
    EXPECT_THAT(out.str(), EndsWith(std::string(": FAILED.\n") + GetParam().message + "\n" + aborted));
    EXPECT_EQ(device.counters().opens, device.counters().closes) << "every handle is released";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DriverFaults,
    ::testing::Values(
        RunFault{"verify", [](sim::Faults& f) { f.readback_difference = 0x4000; }, "Verification failed."},
        // One link failure in the middle of the programming; every link failure and its message:
        // TransferFaults in test_pic_bootloader.cpp.
        RunFault{"unplugged", [](sim::Faults& f) { f.unplug_after = 700; }, "Failed to send HID buffer."}),
    [](const auto& test) { return std::string(test.param.name); });

// The two tests of the link's real time-out: the device's answer takes real time here.
TEST_F(DriverTest, AnswerLaterThanTheReadTimeOutEndsTheRunAfterIt) {
    device.faults().answer_delay = std::chrono::milliseconds(4000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read_id(), 2);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // Given up at the time-out, not when the late answer came: no bound tighter than that, which a
    // loaded machine could miss.
    EXPECT_GE(elapsed, std::chrono::milliseconds(2500));
    EXPECT_LT(elapsed, std::chrono::milliseconds(4000));
    EXPECT_EQ(out.str(),
              "\rRVLN id reading: 0%\rRVLN id reading: FAILED.\nHID buffer read timeout.\n" + aborted);
    EXPECT_EQ(device.counters().answers, 0u);
    EXPECT_EQ(device.counters().cancels, 1u) << "the pending answer is abandoned";
    EXPECT_EQ(device.counters().opens, device.counters().closes) << "every handle is released";
}

TEST_F(DriverTest, AnswerWithinTheReadTimeOutIsWaitedFor) {
    device.faults().answer_delay = std::chrono::milliseconds(300);
    device.id() = {1, 2, 3, 4, 5, 6, 7, 8};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read_id(), 0) << out.str();
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_EQ(fwu::serial, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(device.counters().cancels, 0u);
}

TEST_F(DriverTest, VerifyDifferenceThatHealsCompletes) {
    dir.write("fw.vmk", fwtest::hex_text(fwtest::firmware_image()));
    device.faults().readback_difference = 0x4000;
    device.faults().readback_heals_after = 3;
    EXPECT_EQ(update("fw.vmk"), 0);
    EXPECT_TRUE(fwu::success);
    EXPECT_THAT(out.str(), HasSubstr("\r\nretry = 2\r\n"));
}

TEST_F(DriverTest, DeviceOutOfReachIsExplained) {
    device.faults().permission_denied = true;
    EXPECT_EQ(read_id(), 2);
    EXPECT_THAT(out.str(), EndsWith("Device is not found.\n" + aborted));
#ifdef _WIN32
    // The hint starts on a line of its own, below the progress line it interrupts.
    EXPECT_EQ(
        err.str(),
        "\nHINT: the device 04d8:ff04 is present at sim:0 but Windows does not let this program open it. "
        "Close every other program that may be using it (another fw_update or the service tool), then "
        "unplug the device and plug it in again.\n");
#else
    EXPECT_EQ(err.str(),
              "\nHINT: the device 04d8:ff04 is present at sim:0 but this user may not open it. Install "
              "the udev rules 70-q5-controller.rules (from the package in /usr/lib/udev/rules.d, or "
              "from packaging/linux in the source tree) into /etc/udev/rules.d, run \"sudo udevadm "
              "control --reload-rules && sudo udevadm trigger\" and plug the device in again.\n");
#endif

    device.faults().permission_denied = false;
    device.faults().absent = true;
    EXPECT_EQ(read_id(), 2);
    EXPECT_EQ(err.str(), "") << "an absent device needs no hint";
}

} // namespace
