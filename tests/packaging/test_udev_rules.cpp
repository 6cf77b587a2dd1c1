// The shipped udev rules: every line is a well-formed rule, and the rules give
// the seat's user access to the controller's serial port and every bootloader,
// and keep ModemManager away from the serial port.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

struct Assignment {
    std::string key;
    std::string op;
    std::string value;
};
using Rule = std::vector<Assignment>;

std::vector<Rule> parse_rules(const std::string& path) {
    std::ifstream in(path);
    EXPECT_TRUE(in) << path;
    static const std::set<std::string> match_keys = {"ACTION", "SUBSYSTEM", "ATTR", "ATTRS",
                                                     "ENV",    "KERNEL",    "TAG"};
    static const std::set<std::string> assign_keys = {"ENV", "TAG", "GOTO", "LABEL", "MODE", "GROUP"};
    const std::regex assignment(
        R"re(^\s*([A-Z_]+)(\{([A-Za-z_0-9]+)\})?\s*(==|!=|\+=|-=|:=|=)\s*"([^"]*)"\s*(,|$))re");
    std::vector<Rule> rules;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.find_first_not_of(" \t") == std::string::npos || line[line.find_first_not_of(" \t")] == '#')
            continue;
        Rule rule;
        std::string rest = line;
        std::smatch m;
        while (!rest.empty() && std::regex_search(rest, m, assignment)) {
            const std::string key = m[3].matched ? m[1].str() + "{" + m[3].str() + "}" : m[1].str();
            const std::string op = m[4];
            const bool match = op == "==" || op == "!=";
            EXPECT_TRUE((match ? match_keys : assign_keys).count(m[1].str()))
                << "line " << number << ": " << m[1] << " " << op;
            EXPECT_EQ(m[3].matched, m[1] == "ATTR" || m[1] == "ATTRS" || m[1] == "ENV") << "line " << number;
            rule.push_back({key, op, m[5]});
            rest = m.suffix();
        }
        EXPECT_TRUE(rest.find_first_not_of(" \t") == std::string::npos) << "line " << number << ": " << line;
        rules.push_back(rule);
    }
    return rules;
}

bool has(const Rule& rule, const std::string& key, const std::string& op, const std::string& value) {
    for (const Assignment& a : rule)
        if (a.key == key && a.op == op && a.value == value)
            return true;
    return false;
}

TEST(UdevRules, EveryLineIsARuleAndEveryDeviceIsCovered) {
    const std::vector<Rule> rules = parse_rules(Q5_SOURCE_DIR "/packaging/linux/70-q5-controller.rules");
    ASSERT_FALSE(rules.empty());

    std::set<std::string> gotos, labels;
    for (const Rule& r : rules)
        for (const Assignment& a : r) {
            if (a.key == "GOTO")
                gotos.insert(a.value);
            if (a.key == "LABEL")
                labels.insert(a.value);
        }
    EXPECT_EQ(gotos, labels) << "every GOTO has its LABEL";

    const auto covered = [&](const std::string& subsystem, const std::string& vendor,
                             const std::string& product, const std::string& key, const std::string& op,
                             const std::string& value) {
        for (const Rule& r : rules)
            if (has(r, "SUBSYSTEM", "==", subsystem) && has(r, "ATTRS{idVendor}", "==", vendor) &&
                has(r, "ATTRS{idProduct}", "==", product) && has(r, key, op, value))
                return true;
        return false;
    };
    EXPECT_TRUE(covered("tty", "12bf", "f010", "TAG", "+=", "uaccess"));
    EXPECT_TRUE(covered("tty", "12bf", "f010", "ENV{ID_MM_DEVICE_IGNORE}", "=", "1"));
    for (const char* product : {"ff01", "ff03", "ff04", "ff05", "ff06", "ff07"})
        EXPECT_TRUE(covered("hidraw", "04d8", product, "TAG", "+=", "uaccess")) << product;
}

} // namespace
