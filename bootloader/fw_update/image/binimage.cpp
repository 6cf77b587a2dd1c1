#include "fw_update/image/binimage.h"

#include "fw_update/errors.h"
#include "fw_update/log.h"

#include <algorithm>
#include <array>
#include <limits>

namespace fwu {

BinImage::BinImage(const std::string& file, const Log& log) : _file_name(file), _log(log) {}

BinImage::~BinImage() {
    if (_file)
        _log.assertion("_file == NULL", __FILE__, __LINE__);
}

void BinImage::open(Mode mode) {
    _file.reset();
    _reading = mode == Mode::read;
    _size = 0;
    _position = 0;
    _length = 0;
    _file.reset(std::fopen(_file_name.c_str(), _reading ? "rb" : "wb"));
    if (!_file)
        throw DEFileOpenFailed(_file_name, _reading);
    if (!_reading)
        return;
    if (std::fseek(_file.get(), 0, SEEK_END) != 0) {
        _file.reset();
        throw DEFileReadFailed();
    }
    const long length = std::ftell(_file.get());
    if (length < 0 || static_cast<unsigned long>(length) > std::numeric_limits<std::uint32_t>::max() ||
        std::fseek(_file.get(), 0, SEEK_SET) != 0) {
        // No length (not a regular file) or more than an image can hold.
        _file.reset();
        throw DEFileReadFailed();
    }
    _size = static_cast<std::uint32_t>(length);
}

void BinImage::close() {
    if (!_file)
        return;
    if (std::fclose(_file.release()) != 0)
        throw DEFileCloseFailed(_file_name);
}

std::uint32_t BinImage::size() {
    return _size;
}

std::uint32_t BinImage::read(std::uint8_t* dst, std::uint32_t max, std::uint32_t& address) {
    if (!_file || !_reading)
        throw DEFileReadFailed();
    if (max == 0)
        return 0;
    const std::size_t n = std::fread(dst, 1, max, _file.get());
    if (n == 0 && (std::ferror(_file.get()) || !std::feof(_file.get())))
        throw DEFileReadFailed();
    address = _position;
    _position += static_cast<std::uint32_t>(n);
    return static_cast<std::uint32_t>(n);
}

void BinImage::write(const std::uint8_t* src, std::uint32_t n) {
    if (!_file || _reading)
        throw DEFileWriteFailed();
    if (n == 0)
        return;
    if (std::uint64_t(_position) + n > std::numeric_limits<std::uint32_t>::max() ||
        std::fwrite(src, 1, n, _file.get()) != n)
        throw DEFileWriteFailed();
    _position += n;
    _length = std::max(_length, _position);
}

void BinImage::set_address(std::uint32_t a) {
    if (!_file || _reading)
        return;
    if (a > _length) {
        if (std::fseek(_file.get(), 0, SEEK_END) != 0)
            throw DEFileWriteFailed();
        std::array<std::uint8_t, 4096> erased;
        erased.fill(0xFF);
        while (_length < a) {
            const std::size_t n = std::min<std::size_t>(erased.size(), a - _length);
            if (std::fwrite(erased.data(), 1, n, _file.get()) != n)
                throw DEFileWriteFailed();
            _length += static_cast<std::uint32_t>(n);
        }
    } else if (std::fseek(_file.get(), static_cast<long>(a), SEEK_SET) != 0) {
        throw DEFileWriteFailed();
    }
    _position = a;
}

} // namespace fwu
