#include "fw_update/usage.h"

#include "bootloader/fw_update_harness.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace fwu;

// The table's entries reach the user through the help text and the parser
// (test_fw_update_program.cpp, test_parser.cpp).
TEST(Usage, FindsNamesIgnoringCaseButNeverByPrefix) {
    FUUsage usage;
    EXPECT_EQ(usage.find("W").id, ARG_WRITE);
    EXPECT_EQ(usage.find("Write").id, ARG_WRITE);
    EXPECT_EQ(usage.find("IMAGE_HEX_IN").id, ARG_IMAGE_HEX_IN);
    EXPECT_EQ(usage.find("ver").id, ARG_VERSION);
    EXPECT_EQ(usage.find("v").id, ARG_VERIFY);
    EXPECT_THROW(usage.find("eeprom"), EBadArgument);
    EXPECT_THROW(usage.find("writ"), EBadArgument);
    EXPECT_EQ(fwtest::error_of<EBadArgument>([&] { usage.find(""); }), "Wrong argument - \"\".");
    // An unknown ID is a programming error.
    EXPECT_EQ(fwtest::error_of<std::invalid_argument>([&] { usage.get(18); }), "Invalid descriptor ID");
}
