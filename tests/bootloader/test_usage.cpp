#include "fw_update/usage.h"

#include "fw_update/errors.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace fwu;

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
