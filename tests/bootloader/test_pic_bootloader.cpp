// The bootloader client over the simulated bootloader: packets byte for byte,
// progress lines, log entries, and every failure of the link.

#include "bootloader/bootloader_fixture.h"
#include "bootloader/fw_update_harness.h"
#include "fw_update/errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

using namespace fwu;
using fwtest::BootloaderTest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes(std::initializer_list<std::uint8_t> head, std::size_t fill_count, std::uint8_t fill) {
    Bytes v(head);
    v.insert(v.end(), fill_count, fill);
    return v;
}

TEST_F(BootloaderTest, ErasePacketsAndProgress) {
    device.flash()[0x900] = 0x12;
    device.flash()[0x7FFF] = 0x34;
    for (const char* nothing : {"id", "eeprom", "all"}) // no erase command for these
        bl.erase(nothing);
    EXPECT_TRUE(device.written().empty());
    EXPECT_EQ(console_out.str(), "");
    EXPECT_THROW(bl.erase("Flash"), DEBadValue); // names are case-sensitive

    bl.erase("flash");
    ASSERT_EQ(device.written().size(), 2u);
    EXPECT_EQ(sent(0), bytes({0x00, 0x03, 0x01, 0x00, 0x08, 0x00, 0xE0}, 58, 0x00));
    EXPECT_EQ(sent(1), bytes({0x00, 0x03, 0x02, 0x00, 0x40, 0x00, 0x00}, 58, 0x00));
    EXPECT_EQ(console_out.str(), "\rRVLN flash erasing: 0%\rRVLN flash erasing: DONE.\n");
    EXPECT_EQ(device.flash()[0x900], 0xFF);
    EXPECT_EQ(device.flash()[0x7FFF], 0xFF);
    EXPECT_EQ(device.flash()[0x7FF], sim::bootloader_pattern(0x7FF));
    EXPECT_EQ(device.counters().opens, device.counters().closes) << "closed after the operation";
}

// Version and reset carry echo 0 and leave the counter alone.
TEST_F(BootloaderTest, VersionIdReadAndResetPackets) {
    device.version() = sim::Version{3, 1, 7};
    device.id() = {9, 8, 7, 6, 5, 4, 3, 2};
    Packet answer;
    bl.version(answer);
    EXPECT_EQ(Bytes(answer.begin() + 2, answer.begin() + 5), (Bytes{3, 1, 7}));
    EXPECT_EQ(console_out.str(),
              "\rRVLN BootLoader Version reading: 0%\rRVLN BootLoader Version reading: 100%"
              "\rRVLN BootLoader Version reading: DONE.\n");
    window(0, 8);
    bl.read(it, "id");
    EXPECT_EQ(Bytes(buffer.data(), buffer.data() + 8), (Bytes{9, 8, 7, 6, 5, 4, 3, 2}));
    bl.reset();
    ASSERT_EQ(device.written().size(), 3u);
    EXPECT_EQ(sent(0), bytes({0x00, 0x04, 0x00}, 62, 0x00));
    EXPECT_EQ(sent(1), bytes({0x00, 0x06, 0x01, 0x00, 0x00, 0xFF, 0x08}, 58, 0xFF));
    EXPECT_EQ(sent(2), bytes({0x00, 0x05, 0x00}, 62, 0x00));
    EXPECT_EQ(device.counters().resets, 1u);
}

TEST_F(BootloaderTest, FlashWriteSkipsTheBootloaderAndProgramsFromItsEnd) {
    Bytes data(0x840);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i * 3);
    buffer.write(data.data(), static_cast<std::uint32_t>(data.size()), 0);
    window(0, 0x840);
    bl.write(it, "flash");

    ASSERT_EQ(device.written().size(), 2u);
    Bytes first{0x00, 0x02, 0x01, 0x00, 0x08, 0xFF, 0x20};
    first.insert(first.end(), data.begin() + 0x800, data.begin() + 0x820);
    first.insert(first.end(), 26, 0xFF);
    EXPECT_EQ(sent(0), first);
    EXPECT_EQ(sent(1)[2], 0x02) << "echo counts on";
    EXPECT_EQ(device.flash()[0x83F], data[0x83F]);
    EXPECT_EQ(device.flash()[0x7FF], sim::bootloader_pattern(0x7FF));

    const std::vector<std::string> log = log_messages();
    ASSERT_EQ(log.size(), 64u) << "one entry per chunk below the bootloader's end";
    EXPECT_EQ(log.front(), "address = 0 memory = flash");
    EXPECT_EQ(log.back(), "address = 2016 memory = flash");
    EXPECT_THAT(console_out.str(),
                HasSubstr("\rRVLN flash programming: 100%\rRVLN flash programming: DONE.\n"));
}

TEST_F(BootloaderTest, EchoCounterWrapsAndRunsAcrossOperations) {
    buffer.write(Bytes(256, 0x5A).data(), 256, 0);
    for (int round = 0; round < 9; ++round) { // 9 x 32 eeprom packets = 288 packets
        window(0, 256);
        bl.write(it, "eeprom");
    }
    ASSERT_EQ(device.written().size(), 288u);
    for (std::size_t i = 0; i < device.written().size(); ++i)
        ASSERT_EQ(device.written()[i][2], static_cast<std::uint8_t>(i + 1)) << i;
    EXPECT_EQ(device.eeprom()[255], 0x5A);
}

TEST_F(BootloaderTest, EmptyWindowSendsNothingAndAllHasNoDeviceWindow) {
    window(0x1000, 0x1000);
    bl.write(it, "flash");
    EXPECT_TRUE(device.written().empty());
    EXPECT_EQ(console_out.str(), "\rRVLN flash programming: 0%\rRVLN flash programming: DONE.\n");

    console_out.str("");
    const auto opens = device.counters().opens;
    EXPECT_EQ(fwtest::error_of<DEBadMemoryType>([&] { bl.read(it, "all"); }),
              "Memory type \"all\" is not supported by \"BootLoader\" device.\nPlease use "
              "\"rvprog -h:BootLoader\" to see the list of memory types supported by current "
              "device.");
    EXPECT_EQ(console_out.str(), "");
    EXPECT_EQ(device.counters().opens, opens);
}

TEST_F(BootloaderTest, LastingVerifyDifferenceFailsAfterFiveAttempts) {
    device.faults().readback_difference = 0x820;
    window(0x800, 0x900);
    EXPECT_THROW(bl.verify(it, "flash"), DEVerificationFailed);
    EXPECT_THAT(
        console_out.str(),
        HasSubstr("\r\nretry = 0\r\n\r\nretry = 1\r\n\r\nretry = 2\r\n\r\nretry = 3\r\n\r\nretry = 4\r\n"
                  "\rRVLN flash verifying: FAILED.\n"));
    // One good chunk, then the same packet five times with the same echo.
    ASSERT_EQ(device.written().size(), 6u);
    for (std::size_t i = 2; i < 6; ++i)
        EXPECT_EQ(sent(i), sent(1));
    EXPECT_EQ(sent(1), bytes({0x00, 0x01, 0x02, 0x20, 0x08, 0xFF, 0x20}, 58, 0xFF));
    EXPECT_EQ(device.counters().opens, device.counters().closes);
    // The log names the first byte that differs; the console does not.
    EXPECT_THAT(log_messages(),
                ::testing::Contains("Verification failed at 0x00000820 (flash): expected 0xFF, read 0x00"));
}

TEST_F(BootloaderTest, FirstUsableMatchingInterfaceIsUsed) {
    auto fresh = std::make_shared<sim::SimBootloader>();
    std::vector<sim::SimDevice> devs;
    for (std::uint16_t pid : {0xff01, 0xff01, 0xff03, 0xff01, 0xff01})
        devs.push_back(fresh->add_device(0x04d8, pid));
    devs[0].faults().open_fails = true;
    devs[1].faults().attributes_fail = true;
    Session on_fresh(console_out, console_err, "log.txt", fresh);
    PicBootloader(on_fresh, main_mcu()).reset();
    for (std::size_t i = 0; i < devs.size(); ++i)
        EXPECT_EQ(devs[i].written().size(), i == 3 ? 1u : 0u) << i;
    EXPECT_EQ(devs[3].counters().resets, 1u);
}

TEST_F(BootloaderTest, NoInterfaceListFailsTheTransfers) {
    backend->set_enumerate_fails(true);
    Packet answer;
    EXPECT_THROW(bl.version(answer), DEHidReadFailed);
    EXPECT_THROW(bl.reset(), DEHidWriteFailed);
    const auto log = log_messages();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "INVALID_HANDLE_VALUE");
}

// A backend whose interface list broke off (an interface's details could not
// be had) before any match: no verdict on the device, which stays closed, and
// the first transfer fails.
class CutEnumeration : public sim::SimBootloader {
public:
    bool enumeration_cut() const override { return true; }
};

TEST_F(BootloaderTest, BrokenOffInterfaceListIsNoAbsentDevice) {
    auto cut = std::make_shared<CutEnumeration>();
    cut->add_device(0x04d8, 0xff03);
    Session on_cut(console_out, console_err, "log.txt", cut);
    PicBootloader cut_bl(on_cut, main_mcu());
    Packet answer;
    EXPECT_THROW(cut_bl.version(answer), DEHidReadFailed);
    EXPECT_THROW(cut_bl.reset(), DEHidWriteFailed);
    EXPECT_THAT(log_messages(), ElementsAre("LastError = " + std::to_string(hid_error_not_open),
                                            "Assertion: m_hDevice != INVALID_HANDLE_VALUE",
                                            "LastError = " + std::to_string(hid_error_not_open)));
}

// Transfer failures: each ends the operation with its error, a FAILED line,
// a closed device and nothing left in flight. The driver passes them on as
// they are (test_fw_update_driver.cpp ends a whole run with one of them).
struct TransferFault {
    const char* name;
    void (*inject)(sim::Faults&);
    const char* message;
    std::vector<std::string> log;
};

void PrintTo(const TransferFault& fault, std::ostream* os) {
    *os << fault.name;
}

class TransferFaults : public BootloaderTest, public ::testing::WithParamInterface<TransferFault> {};

TEST_P(TransferFaults, EndTheOperationCleanly) {
    const TransferFault& f = GetParam();
    f.inject(device.faults());
    buffer.write(Bytes(0x100, 0x11).data(), 0x100, 0x800);
    window(0x800, 0x900);
    EXPECT_EQ(fwtest::error_of<DException>([&] { bl.write(it, "flash"); }), f.message);
    EXPECT_THAT(console_out.str(), ::testing::StartsWith("\rRVLN flash programming: 0%\r"));
    EXPECT_THAT(console_out.str(), ::testing::EndsWith("\rRVLN flash programming: FAILED.\n"));
    EXPECT_EQ(device.counters().opens, device.counters().closes);
    EXPECT_EQ(log_messages(), f.log);
}

const TransferFault transfer_faults[] = {
    {"write_fails",
     [](sim::Faults& f) { f.write_fails = true; },
     "Failed to send HID buffer.",
     {"LastError = " + std::to_string(EIO)}},
    {"write_timeout",
     [](sim::Faults& f) { f.write_timeout = true; },
     "HID buffer write timeout.",
     {"Write timeout"}},
    {"read_timeout", [](sim::Faults& f) { f.read_timeout = true; }, "HID buffer read timeout.", {}},
    {"wrong_echo",
     [](sim::Faults& f) { f.wrong_echo = true; },
     "HID response ID doesn't correspond to command ID.",
     {"pOut->header.cmd = 2,  pIn->header.cmd = 2", "pOut->header.echo = 1,  pIn->header.echo = 2"}},
    {"short_read",
     [](sim::Faults& f) { f.short_read = 10; },
     "Failed to read HID buffer.",
     {"LastError = 0, readed = 10"}},
    {"unplugged",
     [](sim::Faults& f) { f.unplug_after = 3; },
     "Failed to send HID buffer.",
     {"LastError = " + std::to_string(ENODEV)}},
};

INSTANTIATE_TEST_SUITE_P(Link, TransferFaults, ::testing::ValuesIn(transfer_faults),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(BootloaderTest, LateAnswerIsNeverTakenForTheNextRequest) {
    device.faults().late_answer = true;
    Packet answer;
    EXPECT_THROW(bl.version(answer), DEHidReadTimeout);
    EXPECT_GE(device.counters().cancels, 1u);
    device.faults().late_answer = false;
    device.id() = {1, 2, 3, 4, 5, 6, 7, 8};
    window(0, 8);
    bl.read(it, "id");
    EXPECT_EQ(buffer.data()[7], 8);
}

TEST_F(BootloaderTest, EraseFailureLeavesTheDeviceForTheDestructor) {
    device.faults().write_timeout = true;
    {
        PicBootloader local(session, main_mcu());
        EXPECT_THROW(local.erase("flash"), DEHidWriteTimeout);
        EXPECT_EQ(console_out.str(), "\rRVLN flash erasing: 0%\rRVLN flash erasing: FAILED.\n");
    }
    EXPECT_THAT(log_messages(), ElementsAre("Write timeout", "Assertion: m_hDevice == INVALID_HANDLE_VALUE"));
    EXPECT_EQ(device.counters().opens, device.counters().closes);
}

TEST_F(BootloaderTest, AddressRange) {
    // (address, end, size) for the given options, or the error's message.
    const auto range = [&](std::vector<std::string> args, int code, std::uint32_t memory_size) {
        parse(std::move(args));
        std::uint32_t a = 0, e = 0, s = memory_size;
        try {
            address_range(code, memory_size, a, e, s, params);
        } catch (const DEBadValue& ex) {
            return ex.message();
        }
        return std::to_string(a) + "," + std::to_string(e) + "," + std::to_string(s);
    };
    EXPECT_EQ(range({}, 1, 0x8000), "2048,32768,32768");
    EXPECT_EQ(range({"-a", "0x7FF", "-s", "1"}, 1, 0x8000), "2040,2048,8");
    EXPECT_EQ(range({"-a", "0x7FF", "-s", "1"}, 7, 0x8000).substr(0, 8), "0,32768,"); // options ignored
    EXPECT_EQ(range({"-s", "0"}, 1, 0x8000),
              "Bad value provided for \"s\" argument.\nValue must be in range from 8 to 32768.");
    EXPECT_EQ(range({"-address", "256"}, 4, 256),
              "Bad value provided for \"address\" argument.\nValue must be in range from 0 to 256.");
    // Data that ends below the default flash start leaves no room at all.
    EXPECT_EQ(range({}, 1, 0x100),
              "Bad value provided for \"size\" argument.\nValue must be in range from 0 to 0.");
}

} // namespace
