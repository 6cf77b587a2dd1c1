#pragma once

// The console of fw_update.exe. The engine ends its lines with "\n" on every
// platform; on Windows, standard output and standard error turn each into
// "\r\n", as Windows consoles and the files that a console program's output is
// redirected into expect. A "\n" that already follows a "\r" (the engine's own
// "\r\n" around a verify retry) is left as it is, so that the output equals the
// Linux build's apart from line ends. A lone "\r" still takes the cursor back to
// the start of the line, so that a progress line overwrites itself.

#include <cstdio>
#include <streambuf>

namespace fwu {

// A stream buffer that writes to a C stream, "\n" as "\r\n" unless a "\r" came
// just before it.
class CrlfBuffer : public std::streambuf {
public:
    explicit CrlfBuffer(std::FILE* file) : _file(file) {}

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

private:
    bool put(char c);

    std::FILE* _file;
    char _last = '\0';
};

// For the lifetime of the object: standard output and standard error in binary
// mode behind CrlfBuffers on std::cout and std::cerr. Flushes and puts the
// previous buffers back afterwards.
class WindowsConsole {
public:
    WindowsConsole();
    ~WindowsConsole();
    WindowsConsole(const WindowsConsole&) = delete;
    WindowsConsole& operator=(const WindowsConsole&) = delete;

private:
    CrlfBuffer _out;
    CrlfBuffer _err;
    std::streambuf* _previous_out;
    std::streambuf* _previous_err;
};

} // namespace fwu
