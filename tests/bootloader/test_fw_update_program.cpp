// Whole runs of the fw_update console program against the simulated
// bootloader whose memories live in a folder (FW_UPDATE_SIMULATOR).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "bootloader/fw_update_harness.h"
#include "support/scratch_dir.h"

using namespace fwtest;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

const std::string close_hint = "\n You may close this window. \n";
const std::vector<std::string> v2_main = {"-vid", "0x04d8", "-pid", "0xff01"};

std::vector<std::string> with_device(std::vector<std::string> args) {
    args.insert(args.end(), v2_main.begin(), v2_main.end());
    return args;
}

class FwUpdateProgram : public ::testing::Test {
protected:
    testsupport::ScratchDir dir;
    std::string sim = (dir.path() / "device").string();

    void SetUp() override { std::filesystem::create_directory(sim); }

    // Runs once so that the simulator creates its memory files, and returns flash.
    std::vector<std::uint8_t> blank_flash() {
        run_fw_update(with_device({"-r", "-m", "id", "-d"}), sim);
        return read_file(sim + "/flash.bin");
    }
    std::vector<std::uint8_t> memory(const std::string& name) { return read_file(sim + "/" + name + ".bin"); }
};

TEST_F(FwUpdateProgram, HelpPrintsUsageOnlyAndSucceeds) {
    const ProgramRun run = run_fw_update({"-h", "-w"}, sim);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "USAGE:\n"
                       "fw_update <COMMAND> [OPTIONS...]\n"
                       "COMMANDS:\n"
                       "-w -write \n\tWrite data to device.\n"
                       "-r -read \n\tRead data from device.\n"
                       "-v -verify \n\tVerify device memory.\n"
                       "-e -erase \n\tErase device memory.\n"
                       "-ver -version \n\tDisplay versions of fw_update and BootLoader if present.\n"
                       "-h -help \n\tPrint this message.\n"
                       "OPTIONS:\n"
                       "-m -memory  <MEMMORY TYPE>\n"
                       "\tMemory type for read, write and verify operations.\n"
                       "\tPossible values: flash, eeprom, id, all.\n"
                       "\tDefault: flash\n"
                       "-vid -vendorid  <VID>\n\tDevice vendor ID.\n"
                       "-pid -productid  <PID>\n\tDevice product ID.\n"
                       "-t -reset  <YES | NO>\n\tReset device after operation is finished.\n\tDefault: YES\n"
                       "-s -size  <SIZE>\n\tThe data size for read, write and verify operations.\n"
                       "-a -address  <ADDR>\n"
                       "\tThe start address for read, write and verify operations.\n"
                       "\tDefault: 0x800 for flash, 0x00 for other memory types.\n"
                       "-ix -image_hex_in  <FILE_NAME>\n"
                       "\tImage file in Intel Hex Format for write and verify operations.\n"
                       "-ib -image_bin_in  <FILE_NAME>\n"
                       "\tImage file in Binary Format for write and verify operations.\n"
                       "-ox -image_hex_out  <FILE_NAME>\n"
                       "\tImage file in Intel Hex Format for read operation to save data.\n"
                       "-ob -image_bin_out  <FILE_NAME>\n"
                       "\tImage file in Binary Format for read operation to save data.\n"
                       "-d -data  [DATA]\n"
                       "\tImmediate mode - actual byte(s) specified in the command line.\n"
                       "\tData for write and verify operations must be provided\n"
                       "\tas string of two hex digits per byte (like 01202040ac).\n"
                       "\tFor read operation data is printed on screen.\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(FwUpdateProgram, UpdateVectorProgramsAndVerifiesFirmware) {
    const std::vector<std::uint8_t> before = blank_flash();
    ASSERT_EQ(before.size(), 0x8000u);
    const Image firmware = firmware_image();
    dir.write("q5_mainV2.vmk", hex_text(firmware));

    const ProgramRun run =
        run_fw_update(with_device({"-e", "-w", "-v", "-t", "NO", "-ix", "q5_mainV2.vmk"}), sim);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_THAT(run.out, StartsWith("\rRVLN flash erasing: 0%\rRVLN flash erasing: DONE.\n"
                                    "\rRVLN flash programming: 0%\rRVLN flash programming: 0%"));
    EXPECT_THAT(run.out, HasSubstr("\rRVLN flash programming: 99%\rRVLN flash programming: 100%"
                                   "\rRVLN flash programming: DONE.\n\rRVLN flash verifying: 0%"));
    EXPECT_THAT(run.out, EndsWith("\rRVLN flash verifying: 100%\rRVLN flash verifying: DONE.\n"
                                  "Operation successfully completed.\n" +
                                  close_hint));
    EXPECT_THAT(run.out, Not(HasSubstr("RESET")));

    const std::vector<std::uint8_t> flash = memory("flash");
    ASSERT_EQ(flash.size(), 0x8000u);
    for (std::uint32_t a = 0; a < 0x800; ++a)
        ASSERT_EQ(flash[a], before[a]) << "bootloader area changed at " << a;
    for (std::uint32_t a = 0x800; a < 0x8000; ++a) {
        const auto it = firmware.find(a);
        ASSERT_EQ(flash[a], it == firmware.end() ? 0xFF : it->second) << "at " << a;
    }
}

TEST_F(FwUpdateProgram, ResetIsSentUnlessDisabled) {
    dir.write("fw.vmk", hex_text(firmware_image(0x800, 0x840)));
    const ProgramRun run = run_fw_update(with_device({"-w", "-ix", "fw.vmk"}), sim);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "\rRVLN flash programming: 0%\rRVLN flash programming: 50%\rRVLN flash programming: 100%"
              "\rRVLN flash programming: DONE.\nRESET Device\nOperation successfully completed.\n" +
                  close_hint);
}

TEST_F(FwUpdateProgram, IdReadIsDumped) {
    blank_flash();
    dir.write("id.hex", hex_record(4, 0, {0x00, 0x20}) +
                            hex_record(0, 0, {1, 2, 3, 4, 0xA5, 0xB6, 0xC7, 0xD8}) + ":00000001FF\n");
    ASSERT_EQ(run_fw_update(with_device({"-w", "-m", "id", "-t", "NO", "-ix", "id.hex"}), sim).status, 0);
    EXPECT_EQ(memory("id"), (std::vector<std::uint8_t>{1, 2, 3, 4, 0xA5, 0xB6, 0xC7, 0xD8}));

    const ProgramRun run = run_fw_update(with_device({"-r", "-m", "id", "-t", "NO", "-d"}), sim);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "\rRVLN id reading: 0%\rRVLN id reading: 100%\rRVLN id reading: DONE.\n"
                       "\n0x00200000: 01 02 03 04 A5 B6 C7 D8 \n"
                       "Operation successfully completed.\n" +
                           close_hint);
}

TEST_F(FwUpdateProgram, MemoryAllFromOneHexFile) {
    Image image = firmware_image(0x800, 0x900);
    for (std::uint32_t i = 0; i < 8; ++i)
        image[0x00200000 + i] = static_cast<std::uint8_t>(0x10 + i);
    for (std::uint32_t i = 0; i < 256; ++i)
        image[0x00F00000 + i] = static_cast<std::uint8_t>(255 - i);
    dir.write("all.hex", hex_text(image));

    const ProgramRun run = run_fw_update(
        with_device({"-w", "-v", "-m", "all", "-a", "0x1000", "-t", "NO", "-ix", "all.hex"}), sim);
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(run.err, "WARNING: argument \"a\" ignored for memory type = all\n");
    EXPECT_THAT(run.out, HasSubstr("\rRVLN flash programming: DONE.\n\rRVLN id programming: 0%"));
    EXPECT_THAT(run.out, HasSubstr("\rRVLN id programming: DONE.\n\rRVLN eeprom programming: 0%"));
    EXPECT_THAT(run.out, HasSubstr("\rRVLN eeprom verifying: DONE.\nOperation successfully completed.\n"));
    const auto flash = memory("flash");
    const auto id = memory("id");
    const auto eeprom = memory("eeprom");
    ASSERT_EQ(flash.size(), 0x8000u);
    for (std::uint32_t a = 0x800; a < 0x900; ++a)
        ASSERT_EQ(flash[a], image[a]);
    EXPECT_EQ(flash[0x900], 0xFF);
    EXPECT_EQ(id, (std::vector<std::uint8_t>{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17}));
    ASSERT_EQ(eeprom.size(), 256u);
    for (std::uint32_t i = 0; i < 256; ++i)
        ASSERT_EQ(eeprom[i], 255 - i);

    // Read everything back into one HEX file: each memory at its own address.
    const ProgramRun back =
        run_fw_update(with_device({"-r", "-m", "all", "-t", "NO", "-ox", "back.hex"}), sim);
    EXPECT_EQ(back.status, 0) << back.out;
    const std::string text = program_text(dir.read("back.hex"), "back.hex");
    // Flash comes first from its default start; the 8-byte pages of id and
    // eeprom give records of 8 bytes.
    EXPECT_EQ(text.substr(0, 25), ":020000040000FA\n:10080000");
    EXPECT_NE(text.find(":020000040020DA\n:0800000010111213141516175C\n:0200000400F00A\n"
                        ":08000000FFFEFDFCFBFAF9F81C\n:08000800F7F6F5F4F3F2F1F054\n"),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 40), ":0800F8000706050403020100E4\n:00000001FF\n");
}

// Two images compared without printing them whole: their sizes and the first difference.
::testing::AssertionResult same_bytes(const std::string& actual, const std::string& expected) {
    const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    if (diff.first == actual.end() && diff.second == expected.end())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << actual.size() << " bytes where " << expected.size()
           << " are expected, first difference at offset 0x" << std::hex << (diff.first - actual.begin());
}

TEST_F(FwUpdateProgram, BinaryReadWritesBackToTheSameFlash) {
    dir.write("fw.vmk", hex_text(firmware_image()));
    ASSERT_EQ(run_fw_update(with_device({"-e", "-w", "-t", "NO", "-ix", "fw.vmk"}), sim).status, 0);
    const std::vector<std::uint8_t> programmed = memory("flash");
    const auto flash_text = [&](std::uint32_t begin, std::uint32_t end) {
        return std::string(programmed.begin() + begin, programmed.begin() + end);
    };

    // The file holds flash from address 0; the bootloader's part is not read and stays erased.
    ASSERT_EQ(run_fw_update(with_device({"-r", "-t", "NO", "-ob", "unit.bin"}), sim).status, 0);
    const std::string unit = dir.read("unit.bin");
    EXPECT_TRUE(same_bytes(unit, std::string(0x800, '\xFF') + flash_text(0x800, 0x8000)));

    // Written back to an erased unit and read again: the same flash, the same file.
    ASSERT_EQ(run_fw_update(with_device({"-e", "-t", "NO"}), sim).status, 0);
    ASSERT_EQ(run_fw_update(with_device({"-w", "-v", "-t", "NO", "-ib", "unit.bin"}), sim).status, 0);
    EXPECT_TRUE(memory("flash") == programmed);
    ASSERT_EQ(run_fw_update(with_device({"-r", "-t", "NO", "-ob", "again.bin"}), sim).status, 0);
    EXPECT_TRUE(same_bytes(dir.read("again.bin"), unit));

    // A part of flash stands at its own address as well.
    ASSERT_EQ(
        run_fw_update(with_device({"-r", "-t", "NO", "-a", "0x1000", "-s", "0x10", "-ob", "part.bin"}), sim)
            .status,
        0);
    EXPECT_TRUE(same_bytes(dir.read("part.bin"), std::string(0x1000, '\xFF') + flash_text(0x1000, 0x1010)));

    // id and eeprom are written from offset 0 of a binary file, so they are read to it from there.
    const std::string id("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    ASSERT_EQ(
        run_fw_update(with_device({"-w", "-m", "id", "-t", "NO", "-d", "0102030405060708"}), sim).status, 0);
    ASSERT_EQ(
        run_fw_update(with_device({"-w", "-v", "-m", "eeprom", "-t", "NO", "-d", "01202040ac"}), sim).status,
        0);
    ASSERT_EQ(run_fw_update(with_device({"-r", "-m", "id", "-t", "NO", "-ob", "id.bin"}), sim).status, 0);
    EXPECT_EQ(dir.read("id.bin"), id);
    // All memories in one binary file: each at its image address, erased bytes between them.
    ASSERT_EQ(run_fw_update(with_device({"-r", "-m", "all", "-t", "NO", "-ob", "all.bin"}), sim).status, 0);
    const std::string all = dir.read("all.bin");
    ASSERT_EQ(all.size(), 0x00F00100u);
    EXPECT_TRUE(same_bytes(all.substr(0, 0x8000), unit));
    EXPECT_EQ(all.find_first_not_of('\xFF', 0x8000), 0x00200000u);
    EXPECT_EQ(all.substr(0x00200000, 8), id);
    EXPECT_EQ(all.find_first_not_of('\xFF', 0x00200008), 0x00F00000u);
    EXPECT_EQ(all.substr(0x00F00000, 6), "\x01\x20\x20\x40\xAC\xFF");
}

// Runs that end early. None of them may change the device.
struct FailedRun {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string err;
};

void PrintTo(const FailedRun& run, std::ostream* os) {
    *os << run.name;
}

class FwUpdateFailedRuns : public FwUpdateProgram, public ::testing::WithParamInterface<FailedRun> {};

TEST_P(FwUpdateFailedRuns, EndWithTheirMessageAndLeaveTheDevice) {
    dir.write("fw.vmk", hex_text(firmware_image(0x800, 0x840)));
    dir.write("fw.bin", std::string(16, '\x11'));
    dir.write("empty.vmk", "");
    dir.write("garbage.vmk", std::string("%PDF-1.4\n\x01\x02\x03 not a hex file\n\0 tail", 34));
    // 16 bytes from 8 below the end of flash: the chunk starts inside flash and ends outside.
    dir.write("over.vmk", hex_record(0, 0x7FF8, std::vector<std::uint8_t>(16, 0x42)) + ":00000001FF\n");
    const std::vector<std::uint8_t> before = blank_flash();
    const FailedRun& c = GetParam();
    const ProgramRun run = run_fw_update(c.args, sim);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(memory("flash"), before) << "the device must not be changed";
}

const std::string aborted = "Operation aborted.\n" + close_hint;

INSTANTIATE_TEST_SUITE_P(
    Cases, FwUpdateFailedRuns,
    ::testing::Values(
        FailedRun{"no_command", {}, 1, "At least one command must be specified.\n" + close_hint, ""},
        FailedRun{"no_vid",
                  {"-w", "-ix", "fw.vmk", "-pid", "0xff01"},
                  2,
                  "Argument \"vid \" is required for the selected operation.\n" + aborted,
                  ""},
        FailedRun{"no_pid",
                  {"-w", "-ix", "fw.vmk", "-vid", "0x04d8"},
                  2,
                  "Argument \"pid \" is required for the selected operation.\n" + aborted,
                  ""},
        FailedRun{"two_inputs", with_device({"-r", "-d", "-ix", "fw.vmk"}), 2,
                  "Argument \"input image\" provided more then once.\n" + aborted, ""},
        FailedRun{"two_outputs", with_device({"-r", "-ob", "a.bin", "-ox", "a.hex"}), 2,
                  "Argument \"output image\" provided more then once.\n" + aborted, ""},
        FailedRun{"binary_to_all", with_device({"-w", "-m", "all", "-ib", "fw.bin"}), 2,
                  "Wrong argument - \"ib\".\n" + aborted,
                  "Write to memory type ALL supported on HEX images only.\n"},
        FailedRun{"memory_in_capitals", with_device({"-w", "-m", "ALL", "-ix", "fw.vmk"}), 2,
                  "Bad value provided for \"m\" argument.\nValid values for this argument are:\n\tflash\n\t"
                  "eeprom\n\tid\n\tall\n" +
                      aborted,
                  ""},
        FailedRun{
            "address_past_the_data", with_device({"-w", "-ix", "fw.vmk", "-a", "0x8000"}), 2,
            "Bad value provided for \"a\" argument.\nValue must be in range from 0 to 2112.\n" + aborted, ""},
        FailedRun{"missing_file", with_device({"-w", "-ix", "missing.vmk"}), 2,
                  "Failed to open file \"missing.vmk\"  for reading.\n" + aborted, ""},
        // Firmware that cannot be read never gets as far as the erase.
        FailedRun{"empty_firmware", with_device({"-e", "-w", "-v", "-t", "NO", "-ix", "empty.vmk"}), 2,
                  "Failed to read image file.\n" + aborted, "WARNING: No data for memory type = flash\n"},
        FailedRun{"garbage_firmware", with_device({"-e", "-w", "-v", "-t", "NO", "-ix", "garbage.vmk"}), 2,
                  "Invalid HEX file format.\n" + aborted, ""},
        FailedRun{"no_image", with_device({"-w", "-r"}), 2,
                  "Image file has to be provided for current operation.\n" + aborted, ""},
        FailedRun{"absent_device",
                  {"-r", "-m", "id", "-d", "-vid", "0x04d8", "-pid", "0xff04"},
                  2,
                  "\rRVLN id reading: 0%\rRVLN id reading: FAILED.\nDevice is not found.\n" + aborted,
                  ""},
        FailedRun{"bad_reset_value",
                  {"-t", "maybe"},
                  3,
                  "Bad value provided for \"t\" argument.\n" + close_hint,
                  ""},
        FailedRun{"command_twice", with_device({"-w", "-w"}), 3,
                  "Argument \"w\" is provided more then once.\n" + close_hint, ""},
        FailedRun{"unknown_option", {"-x"}, 3, "Wrong argument - \"x\".\n" + close_hint, ""},
        FailedRun{"no_dash", {"write"}, 3, "Wrong argument - \"write\".\n" + close_hint, ""},
        FailedRun{"vid_too_large",
                  {"-w", "-ix", "fw.vmk", "-vid", "0x10000", "-pid", "1"},
                  3,
                  "\rRVLN flash programming: 0%\rRVLN flash programming: FAILED.\n"
                  "Bad value provided for \"vid\" argument.\nValue must be in range from 0 to 65535.\n" +
                      close_hint,
                  ""},
        FailedRun{"record_past_the_flash", with_device({"-e", "-w", "-t", "NO", "-ix", "over.vmk"}), 4,
                  "Unknown exception.\n" + close_hint, ""}),
    [](const auto& info) { return std::string(info.param.name); });

#ifdef _WIN32
// Without the simulator the program looks for the device through SetupAPI and
// HID.DLL: under Wine, through Wine's own HID stack. The interface list is had
// (no log entry) and holds no bootloader.
TEST_F(FwUpdateProgram, WindowsHidStackHasNoBootloader) {
    const ProgramRun run = run_fw_update({"-r", "-m", "id", "-d", "-vid", "0x04d8", "-pid", "0xff04"}, "");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "\rRVLN id reading: 0%\rRVLN id reading: FAILED.\nDevice is not found.\n" + aborted);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(dir.read("log.txt"), "");
}
#endif

} // namespace
