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

// The simulated device's options.
const std::string v2_main = " -vid 0x04d8 -pid 0xff01";

class FwUpdateProgram : public ::testing::Test {
protected:
    testsupport::ScratchDir dir;
    std::string sim = (dir.path() / "device").string();

    void SetUp() override { std::filesystem::create_directory(sim); }

    ProgramRun run(const std::string& command_line) { return run_fw_update(words(command_line), sim); }
    // Runs once so that the simulator creates its memory files, and returns flash.
    std::vector<std::uint8_t> blank_flash() {
        run("-r -m id -d" + v2_main);
        return memory("flash");
    }
    std::vector<std::uint8_t> memory(const std::string& name) { return read_file(sim + "/" + name + ".bin"); }
};

// Two images compared without printing them whole: their sizes and the first difference.
template <typename Bytes>::testing::AssertionResult same_bytes(const Bytes& actual, const Bytes& expected) {
    const auto diff = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    if (diff.first == actual.end() && diff.second == expected.end())
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << actual.size() << " bytes where " << expected.size()
           << " are expected, first difference at offset 0x" << std::hex << (diff.first - actual.begin());
}

TEST_F(FwUpdateProgram, HelpPrintsUsageOnlyAndSucceeds) {
    const ProgramRun help = run("-h -w");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out, "USAGE:\n"
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
    EXPECT_EQ(help.err, "");
}

TEST_F(FwUpdateProgram, UpdateVectorProgramsAndVerifiesFirmware) {
    std::vector<std::uint8_t> expected = blank_flash();
    const Image firmware = firmware_image();
    for (const auto& [address, byte] : firmware)
        expected.at(address) = byte;
    dir.write("q5_mainV2.vmk", hex_text(firmware));

    const ProgramRun update = run("-e -w -v -t NO -ix q5_mainV2.vmk" + v2_main);
    EXPECT_EQ(update.status, 0);
    EXPECT_EQ(update.err, "");
    EXPECT_THAT(update.out, StartsWith("\rRVLN flash erasing: 0%\rRVLN flash erasing: DONE.\n"
                                       "\rRVLN flash programming: 0%\rRVLN flash programming: 0%"));
    EXPECT_THAT(update.out, HasSubstr("\rRVLN flash programming: 99%\rRVLN flash programming: 100%"
                                      "\rRVLN flash programming: DONE.\n\rRVLN flash verifying: 0%"));
    EXPECT_THAT(update.out, EndsWith("\rRVLN flash verifying: 100%\rRVLN flash verifying: DONE.\n"
                                     "Operation successfully completed.\n" +
                                     close_hint));
    EXPECT_THAT(update.out, Not(HasSubstr("RESET")));
    // The bootloader's area as it was, the firmware above it, erased flash after it.
    EXPECT_TRUE(same_bytes(memory("flash"), expected));
}

TEST_F(FwUpdateProgram, ResetIsSentUnlessDisabled) {
    dir.write("fw.vmk", hex_text(firmware_image(0x800, 0x840)));
    const ProgramRun update = run("-w -ix fw.vmk" + v2_main);
    EXPECT_EQ(update.status, 0);
    EXPECT_EQ(update.out,
              "\rRVLN flash programming: 0%\rRVLN flash programming: 50%\rRVLN flash programming: 100%"
              "\rRVLN flash programming: DONE.\nRESET Device\nOperation successfully completed.\n" +
                  close_hint);
}

TEST_F(FwUpdateProgram, IdReadIsDumped) {
    blank_flash();
    dir.write("id.hex", hex_record(4, 0, {0x00, 0x20}) +
                            hex_record(0, 0, {1, 2, 3, 4, 0xA5, 0xB6, 0xC7, 0xD8}) + ":00000001FF\n");
    ASSERT_EQ(run("-w -m id -t NO -ix id.hex" + v2_main).status, 0);
    EXPECT_EQ(memory("id"), (std::vector<std::uint8_t>{1, 2, 3, 4, 0xA5, 0xB6, 0xC7, 0xD8}));

    const ProgramRun read = run("-r -m id -t NO -d" + v2_main);
    EXPECT_EQ(read.status, 0);
    EXPECT_EQ(read.out, "\rRVLN id reading: 0%\rRVLN id reading: 100%\rRVLN id reading: DONE.\n"
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

    const ProgramRun write = run("-w -v -m all -a 0x1000 -t NO -ix all.hex" + v2_main);
    EXPECT_EQ(write.status, 0) << write.out;
    EXPECT_EQ(write.err, "WARNING: argument \"a\" ignored for memory type = all\n");
    EXPECT_THAT(write.out, HasSubstr("\rRVLN flash programming: DONE.\n\rRVLN id programming: 0%"));
    EXPECT_THAT(write.out, HasSubstr("\rRVLN id programming: DONE.\n\rRVLN eeprom programming: 0%"));
    EXPECT_THAT(write.out, HasSubstr("\rRVLN eeprom verifying: DONE.\nOperation successfully completed.\n"));
    // Each byte in the memory its image address belongs to.
    const auto flash = memory("flash");
    const auto id = memory("id");
    const auto eeprom = memory("eeprom");
    for (const auto& [a, byte] : image)
        ASSERT_EQ(a >= 0x00F00000   ? eeprom.at(a - 0x00F00000)
                  : a >= 0x00200000 ? id.at(a - 0x00200000)
                                    : flash.at(a),
                  byte)
            << std::hex << a;
    EXPECT_EQ(flash.at(0x900), 0xFF);

    // Read everything back into one HEX file: each memory at its own address.
    const ProgramRun back = run("-r -m all -t NO -ox back.hex" + v2_main);
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

TEST_F(FwUpdateProgram, BinaryReadWritesBackToTheSameFlash) {
    dir.write("fw.vmk", hex_text(firmware_image()));
    ASSERT_EQ(run("-e -w -t NO -ix fw.vmk" + v2_main).status, 0);
    const std::vector<std::uint8_t> programmed = memory("flash");
    const auto flash_text = [&](std::uint32_t begin, std::uint32_t end) {
        return std::string(programmed.begin() + begin, programmed.begin() + end);
    };

    // The file holds flash from address 0; the bootloader's part is not read and stays erased.
    ASSERT_EQ(run("-r -t NO -ob unit.bin" + v2_main).status, 0);
    const std::string unit = dir.read("unit.bin");
    EXPECT_TRUE(same_bytes(unit, std::string(0x800, '\xFF') + flash_text(0x800, 0x8000)));

    // Written back to an erased unit and read again: the same flash, the same file.
    ASSERT_EQ(run("-e -t NO" + v2_main).status, 0);
    ASSERT_EQ(run("-w -v -t NO -ib unit.bin" + v2_main).status, 0);
    EXPECT_TRUE(same_bytes(memory("flash"), programmed));
    ASSERT_EQ(run("-r -t NO -ob again.bin" + v2_main).status, 0);
    EXPECT_TRUE(same_bytes(dir.read("again.bin"), unit));

    // A part of flash stands at its own address as well.
    ASSERT_EQ(run("-r -t NO -a 0x1000 -s 0x10 -ob part.bin" + v2_main).status, 0);
    EXPECT_TRUE(same_bytes(dir.read("part.bin"), std::string(0x1000, '\xFF') + flash_text(0x1000, 0x1010)));

    // id and eeprom are written from offset 0 of a binary file, so they are read to it from there.
    const std::string id("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
    ASSERT_EQ(run("-w -m id -t NO -d 0102030405060708" + v2_main).status, 0);
    ASSERT_EQ(run("-w -v -m eeprom -t NO -d 01202040ac" + v2_main).status, 0);
    ASSERT_EQ(run("-r -m id -t NO -ob id.bin" + v2_main).status, 0);
    EXPECT_EQ(dir.read("id.bin"), id);
    // All memories in one binary file: what was read of each, one after the other in the order flash, id,
    // eeprom (the file does not write back; a HEX file does).
    ASSERT_EQ(run("-r -m all -t NO -ob all.bin" + v2_main).status, 0);
    const std::string all = dir.read("all.bin");
    ASSERT_EQ(all.size(), 0x7800u + 8 + 256);
    EXPECT_TRUE(same_bytes(all.substr(0, 0x7800), flash_text(0x800, 0x8000)));
    EXPECT_EQ(all.substr(0x7800, 8), id);
    EXPECT_EQ(all.substr(0x7808, 6), "\x01\x20\x20\x40\xAC\xFF");
}

// Runs that end early. None of them may change the device.
struct FailedRun {
    const char* name;
    std::string command_line;
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
    const ProgramRun failed = run(c.command_line);
    EXPECT_EQ(failed.status, c.status);
    EXPECT_EQ(failed.out, c.out);
    EXPECT_EQ(failed.err, c.err);
    EXPECT_EQ(memory("flash"), before) << "the device must not be changed";
}

const FailedRun failed_runs[] = {
    {"no_command", "", 1, "At least one command must be specified.\n" + close_hint, ""},
    {"no_vid", "-w -ix fw.vmk -pid 0xff01", 2,
     "Argument \"vid \" is required for the selected operation.\n" + aborted, ""},
    {"no_pid", "-w -ix fw.vmk -vid 0x04d8", 2,
     "Argument \"pid \" is required for the selected operation.\n" + aborted, ""},
    {"two_inputs", "-r -d -ix fw.vmk" + v2_main, 2,
     "Argument \"input image\" provided more then once.\n" + aborted, ""},
    {"two_outputs", "-r -ob a.bin -ox a.hex" + v2_main, 2,
     "Argument \"output image\" provided more then once.\n" + aborted, ""},
    {"binary_to_all", "-w -m all -ib fw.bin" + v2_main, 2, "Wrong argument - \"ib\".\n" + aborted,
     "Write to memory type ALL supported on HEX images only.\n"},
    {"memory_in_capitals", "-w -m ALL -ix fw.vmk" + v2_main, 2,
     "Bad value provided for \"m\" argument.\nValid values for this argument are:\n\tflash\n\t"
     "eeprom\n\tid\n\tall\n" +
         aborted,
     ""},
    {"data_not_hex", "-w -m id -d 01zz" + v2_main, 2, "Bad value provided for \"d\" argument.\n" + aborted,
     ""},
    {"address_past_the_data", "-w -ix fw.vmk -a 0x8000" + v2_main, 2,
     "Bad value provided for \"a\" argument.\nValue must be in range from 0 to 2112.\n" + aborted, ""},
    {"missing_file", "-w -ix missing.vmk" + v2_main, 2,
     "Failed to open file \"missing.vmk\"  for reading.\n" + aborted, ""},
    // Firmware that cannot be read never gets as far as the erase.
    {"empty_firmware", "-e -w -v -t NO -ix empty.vmk" + v2_main, 2, "Failed to read image file.\n" + aborted,
     "WARNING: No data for memory type = flash\n"},
    {"garbage_firmware", "-e -w -v -t NO -ix garbage.vmk" + v2_main, 2,
     "Invalid HEX file format.\n" + aborted, ""},
    {"no_image", "-w -r" + v2_main, 2, "Image file has to be provided for current operation.\n" + aborted,
     ""},
    // Nothing is read from the device when there is nowhere to put it.
    {"read_to_nowhere", "-r -m all" + v2_main, 2,
     "Image file has to be provided for current operation.\n" + aborted, ""},
    {"absent_device", "-r -m id -d -vid 0x04d8 -pid 0xff04", 2,
     "\rRVLN id reading: 0%\rRVLN id reading: FAILED.\nDevice is not found.\n" + aborted, ""},
    // An error in the options ends the run without "Operation aborted." (the parser's messages:
    // test_parser.cpp).
    {"unknown_option", "-x", 3, "Wrong argument - \"x\".\n" + close_hint, ""},
    {"bad_reset_value", "-t maybe", 3, "Bad value provided for \"t\" argument.\n" + close_hint, ""},
    {"vid_too_large", "-w -ix fw.vmk -vid 0x10000 -pid 1", 3,
     "\rRVLN flash programming: 0%\rRVLN flash programming: FAILED.\n"
     "Bad value provided for \"vid\" argument.\nValue must be in range from 0 to 65535.\n" +
         close_hint,
     ""},
    {"record_past_the_flash", "-e -w -t NO -ix over.vmk" + v2_main, 4, "Unknown exception.\n" + close_hint,
     ""},
};

INSTANTIATE_TEST_SUITE_P(Cases, FwUpdateFailedRuns, ::testing::ValuesIn(failed_runs),
                         [](const auto& test) { return std::string(test.param.name); });

// Damaged copies of a real firmware file: each is refused before the device is touched, so a unit that
// holds firmware keeps it whole. Data that all lies in the bootloader's own flash is no data to program.
// (Which damage makes a line no record: test_intel_hex_record.cpp and test_intel_hex_image.cpp.)
TEST_F(FwUpdateProgram, RefusedDamagedFirmwareLeavesTheUnitsFirmwareWhole) {
    const std::string good = hex_text(firmware_image(0x800, 0x1000));
    dir.write("fw.vmk", good);
    ASSERT_EQ(run("-e -w -v -t NO -ix fw.vmk" + v2_main).status, 0);
    const std::vector<std::uint8_t> programmed = memory("flash");

    const std::string::size_type second_record = good.find('\n') + 1;
    std::string unknown_type = good;
    unknown_type.replace(second_record + 7, 2, "07");
    const struct {
        const char* name;
        std::string text;
        std::string out;
        std::string err;
    } mutants[] = {
        {"cut mid-record", good.substr(0, second_record + 20), "Invalid HEX file format.\n", ""},
        {"record type", unknown_type, "Failed to read image file.\n", ""},
        {"bootloader area only", hex_text(firmware_image(0x000, 0x100)), "Failed to read image file.\n",
         "WARNING: No data for memory type = flash\n"},
    };
    for (const auto& mutant : mutants) {
        SCOPED_TRACE(mutant.name);
        dir.write("bad.vmk", mutant.text);
        const ProgramRun refused = run("-e -w -v -t NO -ix bad.vmk" + v2_main);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.out, mutant.out + aborted);
        EXPECT_EQ(refused.err, mutant.err);
        EXPECT_TRUE(same_bytes(memory("flash"), programmed));
    }

    // Without an erase, data in the bootloader's area alone leaves flash as it is, with the warning.
    const ProgramRun write_only = run("-w -t NO -ix bad.vmk" + v2_main);
    EXPECT_EQ(write_only.status, 0);
    EXPECT_EQ(write_only.err, "WARNING: No data for memory type = flash\n");
    EXPECT_TRUE(same_bytes(memory("flash"), programmed));
}

// Data that runs past the end of its memory ends the run with "Unknown exception."; the log says where.
TEST_F(FwUpdateProgram, DataPastTheEndOfItsMemoryIsLoggedWithItsAddress) {
    dir.write("over.vmk", hex_record(0, 0x7FF8, std::vector<std::uint8_t>(16, 0x42)) + ":00000001FF\n");
    for (const auto& [command_line, logged] : {
             std::pair{"-w -t NO -ix over.vmk",
                       "Data from 0x00007FF8 to 0x00008007 runs past the end of flash "
                       "(0x00000000 to 0x00007FFF)"},
             std::pair{
                 "-w -m id -t NO -d 010203040506070809",
                 "Data from 0x00200000 to 0x00200008 runs past the end of id (0x00200000 to 0x00200007)"},
         }) {
        SCOPED_TRACE(command_line);
        std::filesystem::remove(dir.path() / "log.txt");
        const ProgramRun failed = run(command_line + v2_main);
        EXPECT_EQ(failed.status, 4);
        EXPECT_EQ(failed.out, "Unknown exception.\n" + close_hint);
        EXPECT_THAT(dir.read("log.txt"), ::testing::HasSubstr(logged));
    }
}

#ifdef _WIN32
// Without the simulator the program looks for the device through SetupAPI and
// HID.DLL: under Wine, through Wine's own HID stack. The interface list is had
// (no log entry) and holds no bootloader.
TEST_F(FwUpdateProgram, WindowsHidStackHasNoBootloader) {
    const ProgramRun run = run_fw_update(words("-r -m id -d -vid 0x04d8 -pid 0xff04"), "");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "\rRVLN id reading: 0%\rRVLN id reading: FAILED.\nDevice is not found.\n" + aborted);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(dir.read("log.txt"), "");
}
#endif

} // namespace
