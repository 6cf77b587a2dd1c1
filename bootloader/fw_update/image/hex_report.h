#pragma once

#include <cstdint>
#include <string>

namespace fwu {

// What a reading of an Intel HEX file took: its records, the extent of its data, and what the reader
// accepted silently (a record whose only fault is its checksum, a file without an end-of-file record) or
// stopped at (a line that is not a record). Filled by IntelHexImage while it reads (set_report).
struct HexReport {
    // Data bytes outside [window_start, window_end] are counted apart (set before the reading).
    std::uint32_t window_start = 0;
    std::uint32_t window_end = 0xFFFFFFFFu;

    std::uint32_t records = 0; // every record read, of any type, whatever its checksum
    std::uint64_t data_bytes = 0;
    std::uint32_t lowest = 0; // lowest and highest address of a data byte, when there is one
    std::uint32_t highest = 0;
    std::uint64_t outside_window = 0;
    std::uint32_t bad_checksums = 0;
    std::uint32_t first_bad_checksum_line = 0; // line numbers count from 1; 0: none
    bool end_of_file = false;
    std::uint32_t not_a_record_line = 0; // the reading stopped at this line; 0: it did not
};

// Reads the whole file as the engine reads it, writing no log. Throws as IntelHexImage::open does for a file
// that cannot be opened or read; a line that is not a record ends the reading and is reported, not thrown.
HexReport inspect_hex_file(const std::string& file, std::uint32_t window_start, std::uint32_t window_end);

} // namespace fwu
