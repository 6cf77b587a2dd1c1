#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace fwu {

class Log;

// One line of an Intel HEX file: ":" size, address, type, data, checksum, all
// as hexadecimal digit pairs.
class IntelHexRecord {
public:
    enum Type : std::uint8_t {
        data = 0,
        end_of_file = 1,
        extended_segment_address = 2,
        start_segment_address = 3,
        extended_linear_address = 4,
    };

    // The result of parsing a line.
    enum class Verdict {
        valid,        // well formed, correct checksum
        bad_checksum, // well formed; only the checksum disagrees
        malformed,    // not a record; nothing of it may be used
    };

    IntelHexRecord() { clear(); }

    // Parses one line (line end, leading and trailing blanks are dropped).
    // Fields are stored as they are parsed; data is taken only once the line's
    // length agrees with its declared size.
    Verdict parse_line(std::string_view line);
    // True when the line is a well-formed record with a correct checksum.
    bool parse(std::string_view line) { return parse_line(line) == Verdict::valid; }

    // Whether the line is empty once line end and blanks are dropped.
    static bool blank(std::string_view line);

    // The Intel HEX checksum of the record's fields.
    std::uint8_t checksum() const;
    // The record line in upper-case hexadecimal, ending in "\n".
    std::string text() const;
    // The line of a record with these fields, as text() writes it (at most 255
    // bytes of data are taken). The tools and tests that make HEX files use it.
    static std::string line(std::uint8_t type, std::uint16_t address, std::span<const std::uint8_t> data);

    // A data record; a null pData is noted in the log and leaves the record empty.
    void set_data(std::uint8_t size, std::uint16_t address, const std::uint8_t* pData, const Log& log);
    void set_end_of_file();
    void set_extended_linear_address(std::uint16_t upper);
    // Base address given by a type 2 or type 4 record; other types log and
    // throw DEFileInvalidHexFormat.
    std::uint32_t extended_address(const Log& log) const;

    // An empty record: no data.
    void clear();

    std::uint8_t m_Size;
    std::uint16_t m_Address;
    std::uint8_t m_Type;
    std::array<std::uint8_t, 255> m_Data;
};

} // namespace fwu
