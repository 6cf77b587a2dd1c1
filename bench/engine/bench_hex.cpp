// Reading a firmware HEX file as the driver does: open (which measures the
// size in a full pass) and one full read pass in 256-byte chunks. The figure
// is bytes of HEX text per second.
#include "fw_update/image/intel_hex_image.h"
#include "fw_update/image/intel_hex_record.h"
#include "fw_update/log.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

// A 32 KiB firmware image: an extended linear address record, 16-byte data
// records from 0x800 to 0x7FFF, and the end-of-file record.
std::string firmware_hex() {
    using fwu::IntelHexRecord;
    const std::uint8_t page[] = {0, 0};
    std::string text = IntelHexRecord::line(IntelHexRecord::extended_linear_address, 0, page);
    for (unsigned address = 0x800; address < 0x8000; address += 16) {
        std::uint8_t data[16];
        for (unsigned i = 0; i < 16; ++i)
            data[i] = static_cast<std::uint8_t>(address * 31 + i * 7);
        text += IntelHexRecord::line(IntelHexRecord::data, static_cast<std::uint16_t>(address), data);
    }
    return text + IntelHexRecord::line(IntelHexRecord::end_of_file, 0, {});
}

void BM_ReadFirmwareHex(benchmark::State& state) {
    const auto path = std::filesystem::temp_directory_path() / "bench_hex_firmware.vmk";
    const std::string text = firmware_hex();
    std::ofstream(path, std::ios::binary) << text;

    std::uint8_t chunk[256];
    const fwu::Log log; // log.txt in the current folder, should anything be logged
    for (auto _ : state) {
        fwu::IntelHexImage image(path.string(), log);
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
