#pragma once

#include "fw_update/image/hex_report.h"
#include "fw_update/image/image.h"
#include "fw_update/image/intel_hex_record.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace fwu {

class Log;

// An Intel HEX file. Read, it delivers the data bytes of its records with their
// absolute addresses; written, it turns bytes at an address into data records
// of at most 16 bytes that never cross a 64 KiB page, extended linear address
// records where needed, and an end-of-file record on closing.
//
// Reading is strict about the lines it uses: blank lines are passed over, a
// record whose only fault is its checksum is taken as it stands, and any other
// line that is not a record throws DEFileInvalidHexFormat, so that a damaged
// file can never be programmed in part. DOS end-of-file characters (0x1A) and
// NUL bytes that follow an end-of-file record, on its line or on lines of
// their own, are padding left by editors and file transfers and count as blank.
// What it finds wrong goes to the log it is given.
class IntelHexImage : public Image {
public:
    IntelHexImage(const std::string& file, const Log& log);
    ~IntelHexImage() override;

    void open(Mode mode) override;
    void close() override;
    std::uint32_t size() override;
    std::uint32_t read(std::uint8_t* dst, std::uint32_t max, std::uint32_t& address) override;
    void write(const std::uint8_t* src, std::uint32_t n) override;
    void set_address(std::uint32_t a) override;

    // Reports what the readings that follow take (see hex_report.h): set before open(), whose pass through
    // the file takes in the whole file; null for none. Not owned.
    void set_report(HexReport* report) { _report = report; }

    // Longest piece of a line taken at once; a longer line is read as several.
    static constexpr std::size_t max_piece = 499;

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    // The next line or piece of a line into _line; false at the end of the file.
    bool next_line();
    void rewind();
    void write_record(const IntelHexRecord& record);

    std::string _file_name;
    const Log& _log;
    std::unique_ptr<std::FILE, FileCloser> _file;
    bool _reading = false;
    std::uint32_t _size = 0;
    IntelHexRecord _record;
    std::uint32_t _record_position = 0;
    std::uint32_t _extended_base = 0;
    std::uint32_t _write_address = 0;
    std::uint32_t _remembered_base = 1;

    // Read-ahead of the file, and the line being parsed.
    std::vector<char> _chunk;
    std::size_t _chunk_pos = 0;
    std::size_t _chunk_len = 0;
    bool _at_eof = false;
    std::string _line;
    std::uint32_t _line_number = 0;
    bool _line_complete = true;
    bool _after_end = false; // an end-of-file record was read
    HexReport* _report = nullptr;

    void report_record(IntelHexRecord::Verdict verdict);
};

} // namespace fwu
