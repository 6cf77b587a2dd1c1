#pragma once

#include <cstdint>

namespace fwu {

// Memory contents entering or leaving the engine: a file, the command line or
// the console. An image is opened once in one direction, used, closed, and
// destroyed through this interface.
class Image {
public:
    enum class Mode { read, write };

    Image() = default;
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;
    virtual ~Image() = default;

    virtual void open(Mode mode) = 0;
    virtual void close() = 0;
    // Bytes up to the end of the data (for files read: end address of the data).
    virtual std::uint32_t size() = 0;
    // The next chunk of at most max bytes and its absolute address; 0 at the end.
    virtual std::uint32_t read(std::uint8_t* dst, std::uint32_t max, std::uint32_t& address) = 0;
    // Appends n bytes at the write address.
    virtual void write(const std::uint8_t* src, std::uint32_t n) = 0;
    // Absolute address of the next byte written.
    virtual void set_address(std::uint32_t a) = 0;
};

} // namespace fwu
