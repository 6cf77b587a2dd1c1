#include "fw_update/buffer/buffer.h"

#include "fw_update/log.h"

#include <cstring>
#include <stdexcept>

namespace fwu {

Buffer::Buffer(std::uint32_t size, std::uint8_t fill, const Log& log)
    : _data(size, fill), _size(size), _log(&log) {}

std::uint32_t Buffer::read(std::uint8_t* dst, std::uint32_t size, std::uint32_t addr) const {
    if (_data.empty())
        _log->assertion("_data != NULL", __FILE__, __LINE__);
    if (addr >= _size) {
        _log->assertion("addr < _size", __FILE__, __LINE__);
        return 0;
    }
    std::uint32_t count = size;
    if (static_cast<std::uint64_t>(addr) + size > _size)
        count = _size - addr;
    if (count == 0)
        return 0;
    if (dst == nullptr) {
        _log->assertion("dst != NULL", __FILE__, __LINE__);
        return 0;
    }
    std::memcpy(dst, _data.data() + addr, count);
    return count;
}

void Buffer::write(const std::uint8_t* buf, std::uint32_t buf_size, std::uint32_t addr) {
    if (buf == nullptr)
        _log->assertion("buf != NULL", __FILE__, __LINE__);
    if (static_cast<std::uint64_t>(addr) + buf_size > _size) {
        _log->assertion("addr + buf_size <= _size", __FILE__, __LINE__);
        if (_data.empty())
            _log->assertion("_data != NULL", __FILE__, __LINE__);
        throw std::out_of_range("Buffer is full.");
    }
    if (_data.empty())
        _log->assertion("_data != NULL", __FILE__, __LINE__);
    if (buf == nullptr || buf_size == 0)
        return;
    std::memcpy(_data.data() + addr, buf, buf_size);
}

} // namespace fwu
