#include "fw_update/image/intel_hex_record.h"

#include "fw_update/errors.h"
#include "fw_update/log.h"

#include <algorithm>

namespace fwu {

namespace {

// Value of a hexadecimal digit of either case, or -1.
constexpr std::array<std::int8_t, 256> make_digits() {
    std::array<std::int8_t, 256> digits{};
    for (auto& d : digits)
        d = -1;
    for (std::size_t c = '0'; c <= '9'; ++c)
        digits[c] = static_cast<std::int8_t>(c - '0');
    for (std::size_t c = 'a'; c <= 'f'; ++c)
        digits[c] = static_cast<std::int8_t>(c - 'a' + 10);
    for (std::size_t c = 'A'; c <= 'F'; ++c)
        digits[c] = static_cast<std::int8_t>(c - 'A' + 10);
    return digits;
}

constexpr std::array<std::int8_t, 256> hex_digits = make_digits();
constexpr char upper_digits[] = "0123456789ABCDEF";

// The byte written as two digits at pos; false when they are not hexadecimal.
bool hex_byte(std::string_view text, std::size_t pos, std::uint8_t& value) {
    const int high = hex_digits[static_cast<unsigned char>(text[pos])];
    const int low = hex_digits[static_cast<unsigned char>(text[pos + 1])];
    if (high < 0 || low < 0)
        return false;
    value = static_cast<std::uint8_t>(high << 4 | low);
    return true;
}

bool is_blank_char(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trimmed(std::string_view line) {
    while (!line.empty() && is_blank_char(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && is_blank_char(line.back()))
        line.remove_suffix(1);
    return line;
}

void append_byte(std::string& s, std::uint8_t b) {
    s += upper_digits[b >> 4];
    s += upper_digits[b & 0x0F];
}

} // namespace

bool IntelHexRecord::blank(std::string_view line) {
    return trimmed(line).empty();
}

IntelHexRecord::Verdict IntelHexRecord::parse_line(std::string_view line) {
    line = trimmed(line);
    if (line.size() < 10 || line[0] != ':')
        return Verdict::malformed;

    std::uint8_t size = 0;
    if (!hex_byte(line, 1, size))
        return Verdict::malformed;
    m_Size = size;
    if (line.size() != 11 + 2 * static_cast<std::size_t>(size))
        return Verdict::malformed;

    std::uint8_t high = 0;
    std::uint8_t low = 0;
    if (!hex_byte(line, 3, high) || !hex_byte(line, 5, low))
        return Verdict::malformed;
    m_Address = static_cast<std::uint16_t>(high << 8 | low);

    std::uint8_t type = 0;
    if (!hex_byte(line, 7, type))
        return Verdict::malformed;
    m_Type = type;

    for (std::size_t i = 0; i < size; ++i) {
        if (!hex_byte(line, 9 + 2 * i, m_Data[i]))
            return Verdict::malformed;
    }

    std::uint8_t stated = 0;
    if (!hex_byte(line, 9 + 2 * static_cast<std::size_t>(size), stated))
        return Verdict::malformed;
    return stated == checksum() ? Verdict::valid : Verdict::bad_checksum;
}

std::uint8_t IntelHexRecord::checksum() const {
    const unsigned address = m_Address;
    unsigned sum = m_Size + (address >> 8) + (address & 0xFF) + m_Type;
    for (std::size_t i = 0; i < m_Size; ++i)
        sum += m_Data[i];
    return static_cast<std::uint8_t>(0x100 - (sum & 0xFF));
}

std::string IntelHexRecord::text() const {
    std::string s;
    s.reserve(12 + 2 * static_cast<std::size_t>(m_Size));
    s += ':';
    append_byte(s, m_Size);
    append_byte(s, static_cast<std::uint8_t>(m_Address >> 8));
    append_byte(s, static_cast<std::uint8_t>(m_Address & 0xFF));
    append_byte(s, m_Type);
    for (std::size_t i = 0; i < m_Size; ++i)
        append_byte(s, m_Data[i]);
    append_byte(s, checksum());
    s += '\n';
    return s;
}

std::string IntelHexRecord::line(std::uint8_t type, std::uint16_t address,
                                 std::span<const std::uint8_t> data) {
    IntelHexRecord record;
    record.m_Type = type;
    record.m_Address = address;
    record.m_Size = static_cast<std::uint8_t>(std::min(data.size(), record.m_Data.size()));
    std::copy_n(data.begin(), record.m_Size, record.m_Data.begin());
    return record.text();
}

void IntelHexRecord::set_data(std::uint8_t size, std::uint16_t address, const std::uint8_t* pData,
                              const Log& log) {
    m_Type = data;
    m_Address = address;
    m_Size = size;
    if (pData == nullptr) {
        log.assertion("pData", __FILE__, __LINE__);
        m_Size = 0;
        return;
    }
    for (std::size_t i = 0; i < size; ++i)
        m_Data[i] = pData[i];
}

void IntelHexRecord::set_end_of_file() {
    m_Type = end_of_file;
    m_Size = 0;
    m_Address = 0;
}

void IntelHexRecord::set_extended_linear_address(std::uint16_t upper) {
    m_Type = extended_linear_address;
    m_Address = 0;
    m_Size = 2;
    m_Data[0] = static_cast<std::uint8_t>(upper >> 8);
    m_Data[1] = static_cast<std::uint8_t>(upper & 0xFF);
}

std::uint32_t IntelHexRecord::extended_address(const Log& log) const {
    if (m_Type != extended_segment_address && m_Type != extended_linear_address) {
        FWU_LOG_ERROR(log, "m_Type = %d", m_Type);
        throw DEFileInvalidHexFormat();
    }
    FWU_ASSERT(log, m_Size == 2);
    // A record shorter than two bytes has no upper half of its own: the
    // missing bytes count as 0 rather than whatever an earlier record left.
    const std::uint32_t high = m_Size > 0 ? m_Data[0] : 0;
    const std::uint32_t low = m_Size > 1 ? m_Data[1] : 0;
    const std::uint32_t value = high << 8 | low;
    return m_Type == extended_segment_address ? value * 16 : value * 65536;
}

void IntelHexRecord::clear() {
    m_Size = 0;
    m_Address = 0;
    m_Type = data;
    m_Data.fill(0);
}

} // namespace fwu
