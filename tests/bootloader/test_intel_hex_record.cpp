#include "fw_update/image/intel_hex_record.h"
#include "fw_update/log.h"

#include "bootloader/bootloader_fixture.h"
#include "fw_update/errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using fwu::IntelHexRecord;
using ::testing::HasSubstr;
using Verdict = IntelHexRecord::Verdict;

namespace {

class IntelHexRecordTest : public fwtest::ScratchLogTest {
protected:
    IntelHexRecord r;
};

TEST_F(IntelHexRecordTest, ParseVerdicts) {
    EXPECT_EQ(r.parse_line(":0400100001020304E2\r\n"), Verdict::valid);
    EXPECT_EQ(r.m_Size, 4);
    EXPECT_EQ(r.m_Address, 0x0010);
    EXPECT_EQ(r.m_Type, 0);
    EXPECT_EQ(r.m_Data[3], 4);
    EXPECT_TRUE(r.parse("  :03fff800abcdef9f \t\n"));
    EXPECT_EQ(r.m_Data[2], 0xEF);

    EXPECT_EQ(r.parse_line(":0400000001020304FF"), Verdict::bad_checksum);
    EXPECT_FALSE(r.parse(":0400000001020304FF"));
    EXPECT_EQ(r.m_Data[3], 4); // taken as parsed

    // No malformed line leaves its data behind (the last declares 255 bytes and carries 4).
    for (const char* bad :
         {"", "0400000001020304F2", ":00000001F", ":0400000001020304", ":0400000001020304F2F2",
          ":04000000010203G4F2", ":0X00000001020304F2", ":FF000000", "; comment line", ":FF00000005060708F2"})
        EXPECT_EQ(r.parse_line(bad), Verdict::malformed) << bad;
    EXPECT_EQ(r.m_Data[0], 1);

    EXPECT_TRUE(IntelHexRecord::blank(" \t\r\n"));
    EXPECT_FALSE(IntelHexRecord::blank(" x "));
}

TEST_F(IntelHexRecordTest, ExtendedAddresses) {
    ASSERT_TRUE(r.parse(":020000021000EC"));
    EXPECT_EQ(r.extended_address(log), 0x10000u);
    r.set_extended_linear_address(0x0020);
    EXPECT_EQ(r.text(), ":020000040020DA\n");
    EXPECT_EQ(r.extended_address(log), 0x00200000u);
    ASSERT_TRUE(r.parse(":020000040800F2"));
    EXPECT_EQ(r.extended_address(log), 0x08000000u);
    EXPECT_EQ(dir.read("log.txt"), "");

    ASSERT_TRUE(r.parse(":0400000001020304F2"));
    EXPECT_THROW(r.extended_address(log), fwu::DEFileInvalidHexFormat);
    EXPECT_THAT(dir.read("log.txt"), HasSubstr("!!! Err: m_Type = 0  File: "));

    // A short record: an assertion, and no stale bytes from the record before.
    ASSERT_EQ(r.parse_line(":0100000412E9"), Verdict::valid);
    EXPECT_EQ(r.extended_address(log), 0x12u << 24);
    EXPECT_THAT(dir.read("log.txt"), HasSubstr("Assertion: m_Size == 2"));
}

TEST_F(IntelHexRecordTest, LinesCarryTheirFieldsAndChecksumInUpperCase) {
    const std::uint8_t data[] = {0x01, 0x02, 0x03, 0xAB};
    EXPECT_EQ(IntelHexRecord::line(IntelHexRecord::data, 0x0010, data), ":04001000010203AB3B\n");
    EXPECT_EQ(IntelHexRecord::line(IntelHexRecord::end_of_file, 0, {}), ":00000001FF\n");

    r.set_data(4, 0x10, nullptr, log);
    EXPECT_EQ(r.text(), ":00001000F0\n");
    EXPECT_THAT(dir.read("log.txt"), HasSubstr("!!! Err: Assertion: pData  File: "));
}

} // namespace
