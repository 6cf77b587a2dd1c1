#pragma once

#include "fw_update/image/image.h"

#include <array>
#include <cstdint>
#include <ostream>

namespace fwu {

class Log;

// A hexadecimal dump on a console stream: lines of 16 bytes, each headed by
// its address ("\n0x%08X: "), positions before the first byte shown as "na ".
// Output only.
class CoutImage : public Image {
public:
    // Prints to out and logs to log. What it prints is captured as a unit's ID
    // is after an id read: the first eight bytes in serial, and how many bytes
    // it has printed in serial_index, which starts at 0 here.
    CoutImage(std::ostream& out, const Log& log, std::array<std::uint8_t, 8>& serial,
              std::uint32_t& serial_index);

    // For reading: DEImageAbsent.
    void open(Mode mode) override;
    // Ends the dump with "\n".
    void close() override;
    // Not known for the console: logs and gives 0.
    std::uint32_t size() override;
    // DEImageAbsent.
    std::uint32_t read(std::uint8_t* dst, std::uint32_t max, std::uint32_t& address) override;
    void write(const std::uint8_t* src, std::uint32_t n) override;
    void set_address(std::uint32_t a) override;

private:
    std::ostream& _out;
    const Log& _log;
    std::array<std::uint8_t, 8>& _serial;
    std::uint32_t& _serial_index;
    std::uint32_t _address = 0;
    std::uint32_t _line_base = 1; // not a multiple of 16: no line begun
};

} // namespace fwu
