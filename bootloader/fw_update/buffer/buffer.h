#pragma once

#include <cstdint>
#include <vector>

namespace fwu {

class Log;

// The contents of one device memory as a flat byte array indexed by offset
// within that memory. Every byte exists; bytes nothing was written to keep the
// fill value (0xFF, erased memory, in the driver). Broken expectations of its
// callers go to the log of the session it serves.
class Buffer {
public:
    Buffer(std::uint32_t size, std::uint8_t fill, const Log& log);

    // Copies up to size bytes from addr on; returns the count copied, which
    // is lower when the buffer ends first (0 from its end on).
    std::uint32_t read(std::uint8_t* dst, std::uint32_t size, std::uint32_t addr) const;

    // Copies buf_size bytes to addr. Throws std::out_of_range "Buffer is full."
    // and copies nothing when they do not fit.
    void write(const std::uint8_t* buf, std::uint32_t buf_size, std::uint32_t addr);

    std::uint32_t size() const { return _size; }
    // The bytes; null when the size is 0.
    const std::uint8_t* data() const { return _size == 0 ? nullptr : _data.data(); }

    // The log of its session, which the buffer's iterators write to as well.
    const Log& log() const { return *_log; }

private:
    std::vector<std::uint8_t> _data;
    std::uint32_t _size;
    const Log* _log;
};

} // namespace fwu
