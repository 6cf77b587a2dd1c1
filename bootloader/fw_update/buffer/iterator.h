#pragma once

#include "fw_update/buffer/buffer.h"

#include <cstdint>

namespace fwu {

// Walks the window [begin, end) of a buffer in chunks that stop at page
// boundaries (multiples of the step; step 0: no boundaries), and reports how
// much of the window has been passed. It logs to its buffer's log.
class Iterator {
public:
    explicit Iterator(Buffer& buffer);

    void set_step(std::uint32_t step) { _step = step; }
    std::uint32_t step() const { return _step; }

    // The current offset.
    std::uint32_t address() const;
    std::uint32_t begin() const { return _begin; }
    std::uint32_t end() const { return _end; }

    // Sets the window's start and moves the position there; above the buffer's
    // size throws std::out_of_range "Begin address exceeds buffer size.".
    void set_begin(std::uint32_t offset);
    // Sets the window's end (the position stays); above the buffer's size
    // throws std::out_of_range "End address exceeds buffer size.".
    void set_end(std::uint32_t offset);

    // Bytes from the position to the nearer of the window's end and the next
    // page boundary; 0 at or past the end.
    std::uint32_t chunk_length() const;

    // Copies the next chunk (at most max bytes) to dst and advances; offset is
    // set to where it came from. Returns the count, 0 at the end.
    std::uint32_t read(std::uint8_t* dst, std::uint32_t max, std::uint32_t& offset);

    // Stores n bytes at the position and advances. Throws std::out_of_range
    // "Buffer is full." and stores nothing when they pass the window's end.
    void write(const std::uint8_t* src, std::uint32_t n);

    // The share of the window passed, in whole percent.
    std::uint32_t progress() const;

    std::uint32_t _step;

private:
    void check() const;

    std::uint32_t _address;
    Buffer* _buffer;
    std::uint32_t _begin;
    std::uint32_t _end;
};

} // namespace fwu
