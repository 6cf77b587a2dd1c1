#include "fw_update/image/cout_image.h"

#include "fw_update/errors.h"
#include "fw_update/log.h"

#include <cstdint>
#include <cstdio>
#include <ostream>

namespace fwu {

CoutImage::CoutImage(std::ostream& out, const Log& log, std::array<std::uint8_t, 8>& serial,
                     std::uint32_t& serial_index)
    : _out(out), _log(log), _serial(serial), _serial_index(serial_index) {
    _serial_index = 0;
}

void CoutImage::open(Mode mode) {
    if (mode == Mode::read)
        throw DEImageAbsent();
}

void CoutImage::close() {
    _out << '\n';
}

std::uint32_t CoutImage::size() {
    FWU_LOG_ERROR(_log, "getSize in CoutImage");
    return 0;
}

std::uint32_t CoutImage::read(std::uint8_t*, std::uint32_t, std::uint32_t&) {
    throw DEImageAbsent();
}

void CoutImage::write(const std::uint8_t* src, std::uint32_t n) {
    std::ostream& os = _out;
    std::array<char, 32> text{};
    for (std::uint32_t i = 0; i < n; ++i) {
        const std::uint32_t line = _address & ~0xFu;
        if (_line_base % 16 != 0 || _line_base != line) {
            std::snprintf(text.data(), text.size(), "\n0x%08X: ", static_cast<unsigned>(line));
            os << text.data();
            for (std::uint32_t k = 0; k < _address % 16; ++k)
                os << "na ";
            _line_base = line;
        }
        std::snprintf(text.data(), text.size(), "%02X ", static_cast<unsigned>(src[i]));
        os << text.data();
        if (_serial_index < _serial.size())
            _serial[_serial_index] = src[i];
        if (_serial_index < UINT32_MAX)
            ++_serial_index;
        ++_address;
    }
}

void CoutImage::set_address(std::uint32_t a) {
    _address = a;
}

} // namespace fwu
