// Reading a firmware HEX file as the driver does: open (which measures the
// size in a full pass) and one full read pass in 256-byte chunks. The figure
// is bytes of HEX text per second.
#include "fw_update/image/intel_hex_image.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A 32 KiB firmware image: an extended linear address record, 16-byte data
// records from 0x800 to 0x7FFF, and the end-of-file record.
std::string firmware_hex() {
    std::string text = ":020000040000FA\n";
    char line[64];
    for (unsigned address = 0x800; address < 0x8000; address += 16) {
        unsigned sum = 16 + (address >> 8) + (address & 0xFF);
        int n = std::snprintf(line, sizeof line, ":10%04X00", address);
        for (unsigned i = 0; i < 16; ++i) {
            const unsigned byte = (address * 31 + i * 7) & 0xFF;
            sum += byte;
            n += std::snprintf(line + n, sizeof line - n, "%02X", byte);
        }
        std::snprintf(line + n, sizeof line - n, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    return text + ":00000001FF\n";
}

void BM_ReadFirmwareHex(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() / "bench_hex_firmware.vmk";
    const std::string text = firmware_hex();
    std::ofstream(path, std::ios::binary) << text;

    std::uint8_t chunk[256];
    for (auto _ : state) {
        fwu::IntelHexImage image(path.string());
        image.open(fwu::Image::Mode::read);
        std::uint32_t address = 0;
        std::uint32_t total = 0;
        while (std::uint32_t n = image.read(chunk, sizeof chunk, address))
            total += n;
        image.close();
        if (image.size() != 0x8000 || total != 0x7800)
            state.SkipWithError("unexpected image contents");
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(text.size()));
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReadFirmwareHex)->Unit(benchmark::kMicrosecond);

} // namespace
