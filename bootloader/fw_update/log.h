#pragma once

#include <cstddef>
#include <string>

namespace fwu {

// The diagnostic log of an engine session: a file that entries are appended
// to. Every entry is one line,
// "[dd/mm/yyyy hh:mm:ss] !!! Err: <message>  File: <source>, Line: <n>",
// appended by opening and closing the file. An entry that cannot be written is
// dropped without a report; logging never changes the engine's flow.

// Longest message and longest place ("  File: ..., Line: ...") of an entry; longer
// ones are cut.
constexpr std::size_t log_piece_limit = 1023;

class Log {
public:
    // Entries go to the file at path; an empty path means "log.txt" in the
    // current folder, which is where the fw_update program keeps it.
    explicit Log(std::string path = {});

    // The file entries are appended to.
    const std::string& file() const { return _file; }

    // Appends one entry with the given message. The source file name is written
    // relative to the source tree when it lies inside it.
    void write(const std::string& message, const char* file, int line) const;

    // Appends an error entry whose message is formatted like printf.
    void error(const char* file, int line, const char* format, ...) const
        __attribute__((format(printf, 4, 5)));

    // Appends the entry "Assertion: <condition>". Call sites test the condition
    // themselves and call this only when it does not hold; the caller goes on.
    void assertion(const char* condition, const char* file, int line) const;

private:
    std::string _file;
};

} // namespace fwu

#define FWU_LOG_ERROR(log, ...) (log).error(__FILE__, __LINE__, __VA_ARGS__)
#define FWU_ASSERT(log, cond)                                                                                \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            (log).assertion(#cond, __FILE__, __LINE__);                                                      \
    } while (0)
