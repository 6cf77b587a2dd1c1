#include "fw_update/image/argument_image.h"

#include "fw_update/errors.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

namespace fwu {

namespace {
int digit_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

ArgumentImage::ArgumentImage(int id, const Parameters& parameters) : _parameters(parameters) {
    const Argument argument = _parameters.get(id);
    const std::string text = argument.asString();
    if (text.size() % 2 != 0 || text.size() / 2 > std::numeric_limits<std::uint32_t>::max())
        throw DEBadValue(argument.name());
    _bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = digit_value(text[i]);
        const int low = digit_value(text[i + 1]);
        if (high < 0 || low < 0)
            throw DEBadValue(argument.name());
        _bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    _count = static_cast<std::uint32_t>(_bytes.size());
}

ArgumentImage::~ArgumentImage() = default;

void ArgumentImage::open(Mode) {}
void ArgumentImage::close() {}
std::uint32_t ArgumentImage::size() {
    return _count;
}

std::uint32_t ArgumentImage::read(std::uint8_t* dst, std::uint32_t max, std::uint32_t& address) {
    const std::uint32_t k = std::min(max, _count - _position);
    if (k == 0)
        return 0;
    std::memcpy(dst, _bytes.data() + _position, k);
    address = _position;
    _position += k;
    return k;
}

void ArgumentImage::write(const std::uint8_t*, std::uint32_t) {}
void ArgumentImage::set_address(std::uint32_t) {}

} // namespace fwu
