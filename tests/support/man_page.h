#pragma once

// Reading the entries of a manual page's source (man macros), to hold it
// together with a program's own help text.

#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace testsupport {

// One ".TP" entry: its tag line and its body, both as plain text, the body's
// text lines joined by single blanks.
struct ManEntry {
    std::string tag;
    std::string text;
};

// A line of man source as it reads: font changes dropped, "\-" a dash.
inline std::string man_plain(const std::string& line) {
    static const std::regex font(R"(\\f.)"), dash(R"(\\-)");
    return std::regex_replace(std::regex_replace(line, font, ""), dash, "-");
}

// The ".TP" entries of one section (".SH name"), in order. An entry's body
// runs to the next ".TP", ".PP", ".SS" or ".SH"; other requests (".IP",
// ".br", ...) and their words are left out of it.
inline std::vector<ManEntry> man_entries(const std::string& path, const std::string& section) {
    std::ifstream in(path);
    std::vector<ManEntry> entries;
    bool inSection = false;
    bool tagNext = false;
    bool inEntry = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(".SH", 0) == 0) {
            const std::size_t name = line.find_first_not_of(' ', 3);
            inSection = name != std::string::npos && line.substr(name) == section;
            inEntry = tagNext = false;
            continue;
        }
        if (!inSection)
            continue;
        if (line.rfind(".TP", 0) == 0) {
            tagNext = true;
            continue;
        }
        if (line.rfind(".PP", 0) == 0 || line.rfind(".SS", 0) == 0) {
            inEntry = tagNext = false;
            continue;
        }
        if (tagNext) {
            entries.push_back({man_plain(line), {}});
            tagNext = false;
            inEntry = true;
            continue;
        }
        if (!inEntry || line.empty() || line[0] == '.' || line[0] == '\'')
            continue;
        std::string& text = entries.back().text;
        text += (text.empty() ? "" : " ") + man_plain(line);
    }
    return entries;
}

} // namespace testsupport
