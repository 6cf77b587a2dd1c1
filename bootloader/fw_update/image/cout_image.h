#pragma once

#include "fw_update/image/image.h"

#include <array>
#include <cstdint>
#include <ostream>

namespace fwu {

class Log;

// What a console dump keeps of the bytes it prints: the first eight of them,
// and how many it has printed. A unit's ID is taken from here after an id read.
struct IdBytes {
    std::array<std::uint8_t, 8> bytes{};
    std::uint32_t count = 0;
};

// A hexadecimal dump on a console stream: lines of 16 bytes, each headed by
// its address ("\n0x%08X: "), positions before the first byte shown as "na ".
// Output only.
class CoutImage : public Image {
public:
    // Prints to out, logs to log, and keeps what it prints in id, starting a
    // new capture: id.count becomes 0.
    CoutImage(std::ostream& out, const Log& log, IdBytes& id);

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
    IdBytes& _id;
    std::uint32_t _address = 0;
    std::uint32_t _line_base = 1; // not a multiple of 16: no line begun
};

} // namespace fwu
