#include "fw_update/log.h"

#include "bootloader/bootloader_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

namespace {

const std::string stamp = R"(\[\d{2}/\d{2}/\d{4} \d{2}:\d{2}:\d{2}\] )";
const std::string here = "tests/bootloader/test_log.cpp";

using LogTest = fwtest::ScratchLogTest;

TEST_F(LogTest, EntriesAreAppendedWithTimeStampMessageAndPlace) {
    dir.write("log.txt", "earlier run\n");
    const int line = __LINE__ + 1;
    FWU_LOG_ERROR(log, "begin = %d, end = %d", 16, 16);
    FWU_ASSERT(log, 1 + 1 == 3);
    FWU_ASSERT(log, 2 > 1); // holds: no entry
    log.assertion("m_hDevice != INVALID_HANDLE_VALUE", "/elsewhere/hid.cpp", 7);
    const std::string at = "  File: " + here + ", Line: ";
    const std::string expected =
        "earlier run\n" + stamp + "!!! Err: begin = 16, end = 16" + at + std::to_string(line) + "\n" + stamp +
        "!!! Err: Assertion: 1 \\+ 1 == 3" + at + std::to_string(line + 1) + "\n" + stamp +
        "!!! Err: Assertion: m_hDevice != INVALID_HANDLE_VALUE  File: /elsewhere/hid.cpp, Line: 7\n";
    EXPECT_TRUE(std::regex_match(dir.read("log.txt"), std::regex(expected))) << dir.read("log.txt");
}

TEST_F(LogTest, LongMessagesAreCut) {
    log.error("f.cpp", 3, "%s", std::string(3000, 'a').c_str());
    log.write(std::string(3000, 'b'), "g.cpp", 4);
    const std::string text = dir.read("log.txt");
    EXPECT_NE(text.find("!!! Err: " + std::string(fwu::log_piece_limit, 'a') + "  File: f.cpp, Line: 3\n"),
              std::string::npos);
    EXPECT_NE(text.find("!!! Err: " + std::string(fwu::log_piece_limit, 'b') + "  File: g.cpp, Line: 4\n"),
              std::string::npos);
}

TEST_F(LogTest, UnwritableLogIsDroppedSilently) {
    std::filesystem::create_directory(dir.file("log.txt"));
    EXPECT_NO_THROW(FWU_LOG_ERROR(log, "lost %s", "entry"));
    EXPECT_NO_THROW(log.assertion("x", nullptr, 0));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("log.txt")));
}

} // namespace
