#include "fw_update/buffer/iterator.h"

#include "fw_update/log.h"

#include <algorithm>
#include <stdexcept>

namespace fwu {

Iterator::Iterator(Buffer& buffer)
    : _step(0), _address(0), _buffer(&buffer), _begin(0), _end(buffer.size()) {}

void Iterator::check() const {
    FWU_ASSERT(_buffer->log(), _address >= _begin);
    FWU_ASSERT(_buffer->log(), _address <= _end);
}

std::uint32_t Iterator::address() const {
    check();
    return _address;
}

void Iterator::set_begin(std::uint32_t offset) {
    if (offset > _buffer->size())
        throw std::out_of_range("Begin address exceeds buffer size.");
    _begin = offset;
    _address = offset;
}

void Iterator::set_end(std::uint32_t offset) {
    if (offset > _buffer->size())
        throw std::out_of_range("End address exceeds buffer size.");
    _end = offset;
}

std::uint32_t Iterator::chunk_length() const {
    check();
    if (_address >= _end)
        return 0;
    std::uint64_t limit = _end;
    if (_step != 0) {
        const std::uint64_t boundary = (static_cast<std::uint64_t>(_address) / _step + 1) * _step;
        limit = std::min(limit, boundary);
    }
    return static_cast<std::uint32_t>(limit - _address);
}

std::uint32_t Iterator::read(std::uint8_t* dst, std::uint32_t max, std::uint32_t& offset) {
    if (_address >= _end) {
        check();
        return 0;
    }
    const std::uint32_t n = std::min(chunk_length(), max);
    if (n == 0)
        return 0;
    const std::uint32_t copied = _buffer->read(dst, n, _address);
    offset = _address;
    const std::uint64_t next = static_cast<std::uint64_t>(_address) + copied;
    if (next < _begin || next > _end)
        throw std::out_of_range("Address doesn't fit boundaries.");
    _address = static_cast<std::uint32_t>(next);
    return copied;
}

void Iterator::write(const std::uint8_t* src, std::uint32_t n) {
    check();
    const std::uint64_t next = static_cast<std::uint64_t>(_address) + n;
    if (next > _end)
        throw std::out_of_range("Buffer is full.");
    _buffer->write(src, n, _address);
    if (next < _begin)
        throw std::out_of_range("Address doesn't fit boundaries.");
    _address = static_cast<std::uint32_t>(next);
}

std::uint32_t Iterator::progress() const {
    check();
    if (_end == _begin) {
        FWU_LOG_ERROR(_buffer->log(), "begin = %d, end = %d", static_cast<int>(_begin),
                      static_cast<int>(_end));
        return 100;
    }
    // In 64 bits, so that windows of any size give the right figure; a
    // position outside the window (already logged above) is clamped.
    if (_address <= _begin || _end < _begin)
        return 0;
    const std::uint64_t passed = std::min(_address, _end) - _begin;
    return static_cast<std::uint32_t>(passed * 100 / (_end - _begin));
}

} // namespace fwu
