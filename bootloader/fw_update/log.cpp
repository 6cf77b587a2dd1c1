#include "fw_update/log.h"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string_view>
#include <utility>

namespace fwu {

namespace {

#ifdef Q5_SOURCE_ROOT
constexpr std::string_view source_root = Q5_SOURCE_ROOT;
#else
constexpr std::string_view source_root;
#endif

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string_view relative_source(const char* file) {
    if (file == nullptr)
        return {};
    std::string_view name(file);
    if (!source_root.empty() && name.substr(0, source_root.size()) == source_root)
        name.remove_prefix(source_root.size());
    return name;
}

std::string time_stamp() {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        local = std::tm{};
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "[%02d/%02d/%04d %02d:%02d:%02d] ", local.tm_mday,
                  local.tm_mon + 1, local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec);
    return text.data();
}

std::string cut(std::string text) {
    if (text.size() > log_piece_limit)
        text.resize(log_piece_limit);
    return text;
}

} // namespace

Log::Log(std::string path) : _file(path.empty() ? std::string("log.txt") : std::move(path)) {}

void Log::write(const std::string& message, const char* file, int line) const {
    std::string place = "  File: ";
    place += relative_source(file);
    place += ", Line: " + std::to_string(line);

    std::string entry = time_stamp();
    entry += "!!! Err: ";
    entry += cut(message);
    entry += cut(std::move(place));
    entry += "\n";

    // Appending: the file is created when missing and its contents are kept.
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(_file.c_str(), "ab"));
    if (!out)
        return;
    std::fwrite(entry.data(), 1, entry.size(), out.get());
}

void Log::error(const char* file, int line, const char* format, ...) const {
    std::array<char, log_piece_limit + 1> message{};
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(message.data(), message.size(), format, args);
        va_end(args);
    }
    write(message.data(), file, line);
}

void Log::assertion(const char* condition, const char* file, int line) const {
    write(std::string("Assertion: ") + (condition != nullptr ? condition : ""), file, line);
}

} // namespace fwu
