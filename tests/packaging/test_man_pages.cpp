// The fw_update manual page against the program's own help text: every command
// and option of "fw_update -h" has an entry in the same section and order, with
// the same names, value and text, so that the two cannot drift apart.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

// The entries under one heading ("COMMANDS:" or "OPTIONS:") of fw_update -h.
std::vector<HelpEntry> help_entries(const std::string& help, const std::string& heading) {
    std::vector<HelpEntry> entries;
    bool inSection = false;
    std::size_t start = 0;
    while (start < help.size()) {
        std::size_t end = help.find('\n', start);
        if (end == std::string::npos)
            end = help.size();
        const std::string line = help.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == ':') {
            inSection = line == heading;
        } else if (inSection && line.rfind('-', 0) == 0) {
            // "-m -memory  <MEMMORY TYPE>": the names, then the value in <> (required) or [] (optional).
            HelpEntry entry;
            const std::size_t value = line.find_first_of("<[");
            std::string names = line.substr(0, value);
            for (std::size_t blank; (blank = names.find(' ')) != std::string::npos;) {
                if (blank > 0) {
                    entry.tag += (entry.tag.empty() ? "" : ", ") + names.substr(0, blank);
                }
                names.erase(0, blank + 1);
            }
            if (value != std::string::npos) {
                const std::string name = line.substr(value + 1, line.size() - value - 2);
                entry.tag += line[value] == '<' ? " " + name : " [" + name + "]";
            }
            entries.push_back(entry);
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

} // namespace
