#include "fw_update/image/intel_hex_image.h"

#include "fw_update/errors.h"
#include "fw_update/log.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace fwu {

namespace {
constexpr std::size_t read_ahead = 64 * 1024;
constexpr std::uint32_t size_pass_chunk = 256;

// The line without the DOS end-of-file characters, NUL bytes and blanks at its end.
std::string_view without_padding(std::string_view line) {
    while (!line.empty() && (line.back() == '\x1A' || line.back() == '\0' ||
                             IntelHexRecord::blank(line.substr(line.size() - 1))))
        line.remove_suffix(1);
    return line;
}
} // namespace

IntelHexImage::IntelHexImage(const std::string& file, const Log& log) : _file_name(file), _log(log) {}

IntelHexImage::~IntelHexImage() {
    if (_file)
        _log.assertion("_file == NULL", __FILE__, __LINE__);
}

void IntelHexImage::rewind() {
    _record.clear();
    _record_position = 0;
    _extended_base = 0;
    _write_address = 0;
    _remembered_base = 1;
    _chunk_pos = 0;
    _chunk_len = 0;
    _at_eof = false;
    _line.clear();
    _line_number = 0;
    _line_complete = true;
    _after_end = false;
}

void IntelHexImage::open(Mode mode) {
    _file.reset();
    _reading = mode == Mode::read;
    _size = 0;
    // Read in binary mode: the records' parser takes either line end, and a
    // stray Ctrl-Z is a malformed line on every platform instead of the silent
    // end of the file that Windows' text mode makes of it. Written in text
    // mode: lines end as the platform's text files do ("\r\n" on Windows).
    _file.reset(std::fopen(_file_name.c_str(), _reading ? "rb" : "w"));
    if (!_file)
        throw DEFileOpenFailed(_file_name, _reading);
    rewind();
    if (!_reading)
        return;

    _chunk.resize(read_ahead);
    try {
        // A full pass to find the end address of the data.
        std::uint64_t end = 0;
        std::array<std::uint8_t, size_pass_chunk> data;
        std::uint32_t address = 0;
        while (std::uint32_t n = read(data.data(), size_pass_chunk, address))
            end = std::max<std::uint64_t>(end, static_cast<std::uint64_t>(address) + n);
        _size = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(end, std::numeric_limits<std::uint32_t>::max()));
        if (std::fseek(_file.get(), 0, SEEK_SET) != 0)
            throw DEFileReadFailed();
    } catch (...) {
        // A file that cannot be read to its end is not left open.
        _file.reset();
        throw;
    }
    std::clearerr(_file.get());
    rewind();
}

void IntelHexImage::close() {
    if (!_file)
        return;
    if (!_reading) {
        IntelHexRecord end;
        end.set_end_of_file();
        try {
            write_record(end);
        } catch (...) {
            _file.reset();
            throw;
        }
    }
    // The stream is gone after fclose whatever its result.
    if (std::fclose(_file.release()) != 0)
        throw DEFileCloseFailed(_file_name);
}

std::uint32_t IntelHexImage::size() {
    return _size;
}

bool IntelHexImage::next_line() {
    _line.clear();
    for (;;) {
        if (_chunk_pos == _chunk_len) {
            if (_at_eof)
                return !_line.empty();
            _chunk_len = std::fread(_chunk.data(), 1, _chunk.size(), _file.get());
            _chunk_pos = 0;
            if (_chunk_len < _chunk.size()) {
                if (std::ferror(_file.get()))
                    throw DEFileReadFailed();
                _at_eof = true;
            }
            continue;
        }
        const char* begin = _chunk.data() + _chunk_pos;
        const std::size_t room = max_piece - _line.size();
        const std::size_t available = std::min(room, _chunk_len - _chunk_pos);
        const void* newline = std::memchr(begin, '\n', available);
        const std::size_t take = newline != nullptr
                                     ? static_cast<std::size_t>(static_cast<const char*>(newline) - begin) + 1
                                     : available;
        _line.append(begin, take);
        _chunk_pos += take;
        if (newline != nullptr || _line.size() == max_piece)
            return true;
    }
}

std::uint32_t IntelHexImage::read(std::uint8_t* dst, std::uint32_t max, std::uint32_t& address) {
    if (!_file || !_reading)
        throw DEFileReadFailed();
    for (;;) {
        if (_record.m_Type == IntelHexRecord::data && _record_position < _record.m_Size) {
            const std::uint32_t k = std::min<std::uint32_t>(max, _record.m_Size - _record_position);
            if (k == 0)
                return 0;
            std::memcpy(dst, _record.m_Data.data() + _record_position, k);
            address = _extended_base + _record.m_Address + _record_position;
            _record_position += k;
            return k;
        }

        if (!next_line())
            return 0;
        if (_line_complete)
            ++_line_number;
        _line_complete = _line.back() == '\n';
        if (IntelHexRecord::blank(_line))
            continue;
        const std::string_view unpadded = without_padding(_line);
        if (_after_end && IntelHexRecord::blank(unpadded))
            continue;
        IntelHexRecord::Verdict verdict = _record.parse_line(_line);
        if (verdict == IntelHexRecord::Verdict::malformed && unpadded.size() != _line.size()) {
            // An end-of-file record with padding after it on the same line.
            verdict = _record.parse_line(unpadded);
            if (verdict != IntelHexRecord::Verdict::malformed &&
                _record.m_Type != IntelHexRecord::end_of_file)
                verdict = IntelHexRecord::Verdict::malformed;
        }
        if (verdict == IntelHexRecord::Verdict::malformed) {
            if (_report != nullptr)
                _report->not_a_record_line = _line_number;
            FWU_LOG_ERROR(_log, "Not a HEX record in line %u", static_cast<unsigned>(_line_number));
            _record.clear();
            throw DEFileInvalidHexFormat();
        }
        if (_report != nullptr)
            report_record(verdict);
        switch (_record.m_Type) {
        case IntelHexRecord::data:
            _record_position = 0;
            break;
        case IntelHexRecord::end_of_file:
            _record.clear();
            _after_end = true;
            break;
        case IntelHexRecord::extended_segment_address:
        case IntelHexRecord::extended_linear_address:
            _extended_base = _record.extended_address(_log);
            _record.clear();
            break;
        default:
            FWU_LOG_ERROR(_log, "_record.m_Type = %d", _record.m_Type);
            _record.clear();
            throw DEFileReadFailed();
        }
    }
}

void IntelHexImage::report_record(IntelHexRecord::Verdict verdict) {
    HexReport& r = *_report;
    ++r.records;
    if (verdict == IntelHexRecord::Verdict::bad_checksum && r.bad_checksums++ == 0)
        r.first_bad_checksum_line = _line_number;
    if (_record.m_Type == IntelHexRecord::end_of_file)
        r.end_of_file = true;
    if (_record.m_Type != IntelHexRecord::data || _record.m_Size == 0)
        return;
    const std::uint64_t first = static_cast<std::uint64_t>(_extended_base) + _record.m_Address;
    const std::uint64_t last = first + _record.m_Size - 1;
    const std::uint32_t first32 = static_cast<std::uint32_t>(std::min<std::uint64_t>(first, 0xFFFFFFFFu));
    const std::uint32_t last32 = static_cast<std::uint32_t>(std::min<std::uint64_t>(last, 0xFFFFFFFFu));
    r.lowest = r.data_bytes == 0 ? first32 : std::min(r.lowest, first32);
    r.highest = r.data_bytes == 0 ? last32 : std::max(r.highest, last32);
    r.data_bytes += _record.m_Size;
    // The bytes inside the window are those of [max(first, start), min(last, end)].
    const std::uint64_t from = std::max<std::uint64_t>(first, r.window_start);
    const std::uint64_t to = std::min<std::uint64_t>(last, r.window_end);
    const std::uint64_t inside = from <= to ? to - from + 1 : 0;
    r.outside_window += _record.m_Size - inside;
}

HexReport inspect_hex_file(const std::string& file, std::uint32_t window_start, std::uint32_t window_end) {
#ifdef _WIN32
    const Log discarded("NUL");
#else
    const Log discarded("/dev/null");
#endif
    HexReport report;
    report.window_start = window_start;
    report.window_end = window_end;
    IntelHexImage image(file, discarded);
    // Opening reads the file through once (to find its size), with the report taking it all in.
    image.set_report(&report);
    try {
        image.open(Image::Mode::read);
    } catch (const DEFileInvalidHexFormat&) {
        if (report.not_a_record_line == 0)
            throw;
        return report;
    }
    image.close();
    return report;
}

void IntelHexImage::write_record(const IntelHexRecord& record) {
    const int tmp = std::fputs(record.text().c_str(), _file.get());
    if (tmp < 0) {
        FWU_LOG_ERROR(_log, "tmp = %d", tmp);
        throw DEFileWriteFailed();
    }
}

void IntelHexImage::write(const std::uint8_t* src, std::uint32_t n) {
    if (!_file || _reading)
        throw DEFileWriteFailed();
    constexpr std::uint32_t page = 0x10000;
    IntelHexRecord record;
    for (std::uint32_t done = 0; done < n;) {
        const std::uint32_t address = _write_address + done;
        const std::uint32_t address_page = address & 0xFFFF0000u;
        // A new extended linear address record at the start, whenever the page
        // changes, and at every page boundary. The page remembered is that of
        // the record written, so that data written after a jump back into an
        // earlier page is never filed under a later one.
        const bool on_boundary = address != 0 && (address & 0xFFFF) == 0;
        if (_remembered_base % page != 0 || address_page != _remembered_base || on_boundary) {
            record.set_extended_linear_address(static_cast<std::uint16_t>(address >> 16));
            write_record(record);
            _remembered_base = address_page;
        }
        std::uint32_t count = std::min<std::uint32_t>(16, n - done);
        const std::uint32_t offset = address & 0xFFFF;
        if (offset + count > page)
            count = page - offset;
        record.set_data(static_cast<std::uint8_t>(count), static_cast<std::uint16_t>(offset), src + done,
                        _log);
        write_record(record);
        done += count;
    }
    _write_address += n;
}

void IntelHexImage::set_address(std::uint32_t a) {
    _write_address = a;
}

} // namespace fwu
