#pragma once

#include <cstddef>
#include <string>

namespace fwu {

// The engine's diagnostic log: "log.txt" in the current folder, unless a program
// that embeds the engine names another file. Every entry is one line,
// "[dd/mm/yyyy hh:mm:ss] !!! Err: <message>  File: <source>, Line: <n>",
// appended by opening and closing the file. An entry that cannot be written is
// dropped without a report; logging never changes the engine's flow.

// Longest message and longest place ("  File: ..., Line: ...") of an entry; longer
// ones are cut.
constexpr std::size_t log_piece_limit = 1023;

// The file entries are appended to. An empty path means "log.txt" in the current
// folder, which is where the fw_update program keeps it; the window puts it beside
// its working files.
void set_log_file(std::string path);
const std::string& log_file();

// Appends one entry with the given message. The source file name is written
// relative to the source tree when it lies inside it.
void log_write(const std::string& message, const char* file, int line);

// Appends an error entry whose message is formatted like printf.
void log_error(const char* file, int line, const char* format, ...) __attribute__((format(printf, 3, 4)));

// Appends the entry "Assertion: <condition>". Call sites test the condition
// themselves and call this only when it does not hold; the caller goes on.
void log_assertion(const char* condition, const char* file, int line);

} // namespace fwu

#define FWU_LOG_ERROR(...) ::fwu::log_error(__FILE__, __LINE__, __VA_ARGS__)
#define FWU_ASSERT(cond)                                                                                     \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            ::fwu::log_assertion(#cond, __FILE__, __LINE__);                                                 \
    } while (0)
