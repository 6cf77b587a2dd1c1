#pragma once

#include "fw_update/image/image.h"

#include <array>
#include <cstdint>

namespace fwu {

// The bytes printed by the last console dump (the first eight of them), and
// how many bytes that dump has printed. The window takes a unit's ID from here
// after an id read.
extern std::array<std::uint8_t, 8> serial;
extern std::uint32_t serial_index;

// A hexadecimal dump on the engine's console: lines of 16 bytes, each headed
// by its address ("\n0x%08X: "), positions before the first byte shown as
// "na ". Output only.
class CoutImage : public Image {
public:
    // Starts a new capture: serial_index becomes 0.
    CoutImage();

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
    std::uint32_t _address = 0;
    std::uint32_t _line_base = 1; // not a multiple of 16: no line begun
};

} // namespace fwu
