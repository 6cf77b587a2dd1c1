#include "fw_update/usage.h"

#include "fw_update/console.h"
#include "fw_update/errors.h"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>

using namespace fwu;

TEST(Usage, PrintsTheWholeHelpText) {
    std::ostringstream out, err;
    ConsoleStreams console(out, err);
    FUUsage().print();
    EXPECT_EQ(out.str(),
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
    EXPECT_EQ(err.str(), "");
}

TEST(Usage, FindsNamesIgnoringCaseButNeverByPrefix) {
    FUUsage usage;
    EXPECT_EQ(usage.find("W").id, ARG_WRITE);
    EXPECT_EQ(usage.find("Write").id, ARG_WRITE);
    EXPECT_EQ(usage.find("IMAGE_HEX_IN").id, ARG_IMAGE_HEX_IN);
    EXPECT_EQ(usage.find("ver").id, ARG_VERSION);
    EXPECT_EQ(usage.find("v").id, ARG_VERIFY);
    EXPECT_THROW(usage.find("eeprom"), EBadArgument);
    EXPECT_THROW(usage.find("writ"), EBadArgument);
    try {
        usage.find("");
        FAIL() << "an empty name matches nothing";
    } catch (const EBadArgument& e) {
        EXPECT_STREQ(e.what(), "Wrong argument - \"\".");
    }
}

TEST(Usage, UnknownIdIsAProgrammingError) {
    FUUsage usage;
    EXPECT_EQ(usage.get(ARG_DATA).longName, "data");
    EXPECT_EQ(usage.get(ARG_IMAGE_BIN_OUT).shortName, "ob");
    try {
        usage.get(18);
        FAIL();
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Invalid descriptor ID");
    }
}
