// Reads arbitrary bytes as an Intel HEX file. Reading may only end in one of
// the engine's own errors; it must never read out of bounds, crash, hang or
// deliver a chunk that breaks the image's contract. What is read is then
// written to a new HEX file and read back, and must come back unchanged. The
// inspection of the same file (hex_report.h) must agree with the reading: the
// bytes it counts, their extent and the line where reading stops.
#include "fw_update/errors.h"
#include "fw_update/image/intel_hex_image.h"
#include "fw_update/log.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<std::pair<std::uint32_t, std::uint8_t>>;

// Malformed lines are logged to log.txt in the current folder.
const fwu::Log log;

void check(bool ok) {
    if (!ok)
        std::abort();
}

std::string scratch_name(const char* what) {
    return (std::filesystem::temp_directory_path() / ("fuzz_hex_" + std::to_string(getpid()) + what))
        .string();
}

// Every byte delivered, in order, reading in chunks of at most max bytes.
Bytes read_all(const std::string& file, std::uint32_t max,
               std::vector<std::pair<std::uint32_t, std::uint32_t>>* chunks) {
    fwu::IntelHexImage image(file, log);
    image.open(fwu::Image::Mode::read);
    const std::uint64_t size = image.size();
    Bytes bytes;
    std::vector<std::uint8_t> data(max + 16, 0xA5);
    std::uint32_t address = 0;
    while (std::uint32_t n = image.read(data.data(), max, address)) {
        check(n <= max && n <= 255);
        check(data[max] == 0xA5); // nothing written past the maximum
        if (size < 0xFFFFFFFFu)
            check(static_cast<std::uint64_t>(address) + n <= size);
        if (chunks)
            chunks->emplace_back(address, n);
        for (std::uint32_t i = 0; i < n; ++i)
            bytes.emplace_back(address + i, data[i]);
    }
    image.close();
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size) {
    const std::string in = scratch_name(".in.hex");
    const std::string out = scratch_name(".out.hex");
    {
        std::FILE* f = std::fopen(in.c_str(), "wb");
        if (!f)
            return 0;
        std::fwrite(input, 1, size, f);
        std::fclose(f);
    }

    bool inspected = false;
    fwu::HexReport report;
    try {
        report = fwu::inspect_hex_file(in, 0x800, 0x7FFF);
        inspected = true;
    } catch (const fwu::DException&) {
    }

    std::vector<std::pair<std::uint32_t, std::uint32_t>> chunks;
    Bytes bytes;
    try {
        bytes = read_all(in, 256, &chunks);
        // Small chunks deliver the same bytes.
        check(read_all(in, 7, nullptr) == bytes);
    } catch (const fwu::DException&) {
        std::remove(in.c_str());
        return 0;
    }
    std::remove(in.c_str());

    // A file that reads to its end was inspected to its end, every byte counted where it lies (unless a
    // record runs past the top of the address space, where the reading's addresses wrap).
    check(inspected && report.not_a_record_line == 0 && report.data_bytes == bytes.size());
    bool wraps = false;
    for (const auto& [address, n] : chunks)
        wraps = wraps || static_cast<std::uint64_t>(address) + n > 0x100000000u;
    if (!wraps) {
        std::uint64_t outside = 0;
        for (const auto& [address, value] : bytes) {
            check(address >= report.lowest && address <= report.highest);
            outside += address < 0x800 || address > 0x7FFF;
        }
        check(report.outside_window == outside);
    }

    // Write what was read, chunk by chunk at its address, and read it back.
    {
        fwu::IntelHexImage image(out, log);
        image.open(fwu::Image::Mode::write);
        std::size_t k = 0;
        for (const auto& [address, n] : chunks) {
            std::vector<std::uint8_t> data;
            for (std::uint32_t i = 0; i < n; ++i)
                data.push_back(bytes[k++].second);
            image.set_address(address);
            image.write(data.data(), n);
        }
        image.close();
    }
    check(read_all(out, 256, nullptr) == bytes);
    std::remove(out.c_str());
    return 0;
}
