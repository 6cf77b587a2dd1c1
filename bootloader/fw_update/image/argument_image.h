#pragma once

#include "fw_update/image/image.h"
#include "fw_update/parser.h"

#include <cstdint>
#include <vector>

namespace fwu {

// Bytes given on the command line as hexadecimal digit pairs ("01202040ac"),
// delivered from address 0.
class ArgumentImage : public Image {
public:
    // Takes the value of the option with this id. Throws the parser's errors
    // when it is absent or empty, and DEBadValue (under the name it was given
    // by) when it is not an even number of hexadecimal digits.
    ArgumentImage(int id, const Parameters& parameters);
    ~ArgumentImage() override;

    void open(Mode mode) override;
    void close() override;
    std::uint32_t size() override;
    std::uint32_t read(std::uint8_t* dst, std::uint32_t max, std::uint32_t& address) override;
    void write(const std::uint8_t* src, std::uint32_t n) override;
    void set_address(std::uint32_t a) override;

private:
    std::vector<std::uint8_t> _bytes;
    std::uint32_t _count = 0;
    std::uint32_t _position = 0;
    Parameters _parameters;
};

} // namespace fwu
