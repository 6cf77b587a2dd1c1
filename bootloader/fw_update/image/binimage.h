#pragma once

#include "fw_update/image/image.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace fwu {

class Log;

// A raw binary file: its bytes in order, starting at address 0. Read, byte n of
// the file has address n; written, each byte lands at the file offset equal to
// its address, so that a file written from a read is read back the same way.
// A file still open when the image goes is noted in the log it is given.
class BinImage : public Image {
public:
    BinImage(const std::string& file, const Log& log);
    ~BinImage() override;

    void open(Mode mode) override;
    void close() override;
    // The file's length (when opened for reading).
    std::uint32_t size() override;
    std::uint32_t read(std::uint8_t* dst, std::uint32_t max, std::uint32_t& address) override;
    void write(const std::uint8_t* src, std::uint32_t n) override;
    // The file offset of the next byte written. A gap beyond the end of the
    // file is filled with 0xFF, the value of erased memory.
    void set_address(std::uint32_t a) override;

private:
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };

    std::string _file_name;
    const Log& _log;
    std::unique_ptr<std::FILE, FileCloser> _file;
    std::uint32_t _size = 0;
    bool _reading = false;
    std::uint32_t _position = 0; // reading: bytes delivered; writing: offset of the next byte
    std::uint32_t _length = 0;   // writing: bytes in the file
};

} // namespace fwu
