#include "fw_update/console_windows.h"

#include <fcntl.h>
#include <io.h>

#include <iostream>

namespace fwu {

bool CrlfBuffer::put(char c) {
    if (c == '\n' && _last != '\r' && std::fputc('\r', _file) == EOF)
        return false;
    if (std::fputc(c, _file) == EOF)
        return false;
    _last = c;
    return true;
}

CrlfBuffer::int_type CrlfBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    return put(traits_type::to_char_type(c)) ? c : traits_type::eof();
}

std::streamsize CrlfBuffer::xsputn(const char* s, std::streamsize n) {
    std::streamsize done = 0;
    while (done < n && put(s[done]))
        ++done;
    return done;
}

int CrlfBuffer::sync() {
    return std::fflush(_file) == 0 ? 0 : -1;
}

WindowsConsole::WindowsConsole() : _out(stdout), _err(stderr) {
    std::fflush(stdout);
    std::fflush(stderr);
    // Binary mode: the C runtime's own "\n" translation would double the
    // engine's "\r\n".
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    _previous_out = std::cout.rdbuf(&_out);
    _previous_err = std::cerr.rdbuf(&_err);
}

WindowsConsole::~WindowsConsole() {
    std::cout.flush();
    std::cerr.flush();
    std::cout.rdbuf(_previous_out);
    std::cerr.rdbuf(_previous_err);
}

} // namespace fwu
