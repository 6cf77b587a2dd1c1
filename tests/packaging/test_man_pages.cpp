// The fw_update manual page against the program's own help text: every command
// and option of "fw_update -h" has an entry in the same section and order, with
// the same names, value and text, so that the two cannot drift apart.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "bootloader/fw_update_harness.h"
#include "support/man_page.h"

using ::testing::StartsWith;

namespace {

struct HelpEntry {
    std::string tag;  // "-m, -memory MEMMORY TYPE", as the manual page writes it
    std::string text; // the description and default lines, joined by blanks
};

// The entries under one heading ("COMMANDS:" or "OPTIONS:") of fw_update -h. An entry's line is its names,
// then its value in <> (required) or [] (optional): "-m -memory  <MEMMORY TYPE>"; its text lines follow,
// each indented by a tab.
std::vector<HelpEntry> help_entries(const std::string& help, const std::string& heading) {
    static const std::regex names_and_value(R"(-(\S+) (?:-(\S+) )? *(?:<(.+)>|\[(.+)\])?)");
    std::vector<HelpEntry> entries;
    bool inSection = false;
    std::istringstream in(help);
    std::smatch m;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == ':') {
            inSection = line == heading;
        } else if (inSection && std::regex_match(line, m, names_and_value)) {
            std::string tag = "-" + m[1].str() + (m[2].matched ? ", -" + m[2].str() : "");
            tag += m[3].matched ? " " + m[3].str() : m[4].matched ? " [" + m[4].str() + "]" : "";
            entries.push_back({tag, {}});
        } else if (inSection && line.rfind('\t', 0) == 0 && !entries.empty()) {
            std::string& text = entries.back().text;
            text += (text.empty() ? "" : " ") + line.substr(1);
        }
    }
    return entries;
}

TEST(ManPages, FwUpdatePageListsEveryCommandAndOptionOfTheHelp) {
    const std::string page = std::string(Q5_SOURCE_DIR) + "/packaging/linux/fw_update.1";
    const fwtest::ProgramRun help = fwtest::run_fw_update({"-h"}, "");
    ASSERT_EQ(help.status, 0);
    for (const std::string section : {"COMMANDS", "OPTIONS"}) {
        const std::vector<HelpEntry> expected = help_entries(help.out, section + ":");
        const std::vector<testsupport::ManEntry> entries = testsupport::man_entries(page, section);
        ASSERT_EQ(expected.size(), section == "COMMANDS" ? 6u : 11u);
        ASSERT_EQ(entries.size(), expected.size()) << section;
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(entries[i].tag, expected[i].tag) << section << " entry " << i;
            EXPECT_THAT(entries[i].text, StartsWith(expected[i].text)) << expected[i].tag;
        }
    }
}

// Each exit status the page describes is the one the program gives for an example of what it names.
TEST(ManPages, FwUpdatePageGivesTheProgramsExitStatuses) {
    const std::string page = std::string(Q5_SOURCE_DIR) + "/packaging/linux/fw_update.1";
    const std::vector<testsupport::ManEntry> statuses = testsupport::man_entries(page, "EXIT STATUS");
    ASSERT_EQ(statuses.size(), 5u);
    const std::vector<std::string> device{"-vid", "0x04d8", "-pid", "0xff01"};
    const struct {
        int status;
        std::vector<std::string> args;
        const char* named; // what the page's entry for that status says of it
    } examples[] = {
        {1, {}, "No command"},
        {2, {"-r", "-d", "-m", "bogus"}, "memory type"},
        {2, {"-w", "-m", "id", "-d", "zz"}, "immediate data"},
        {3, {"-r", "-d", "-a", "zz"}, "number"},
        {3, {"-r", "-d", "-t", "maybe"}, "reset value"},
        {3, {"-x"}, "unknown argument"},
    };
    for (const auto& e : examples) {
        std::vector<std::string> args = e.args;
        if (!args.empty())
            args.insert(args.end(), device.begin(), device.end());
        EXPECT_EQ(fwtest::run_fw_update(args, "").status, e.status) << e.named;
        EXPECT_EQ(statuses[static_cast<std::size_t>(e.status)].tag, ".B " + std::to_string(e.status));
        EXPECT_THAT(statuses[static_cast<std::size_t>(e.status)].text, ::testing::HasSubstr(e.named))
            << e.status;
    }
}

} // namespace
