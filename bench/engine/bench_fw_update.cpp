// A whole firmware update (erase, write and verify of a full 30 KiB image)
// through the engine against the simulated bootloader: 2 + 960 + 960 = 1922
// exchanges.
//
//   FwUpdate/NoLatency  engine CPU per exchange (the simulator answers at once)
//   FwUpdate/Latency1ms wall time when every exchange takes 1 ms, as USB
//                       full-speed HID frames do; ideally 1922 ms

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fw_update/console.h"
#include "fw_update/fw_update.h"
#include "fw_update/image/intel_hex_record.h"
#include "sim/bootloader/sim_bootloader.h"

namespace {

constexpr double exchanges = 2 + 960 + 960;

// Firmware from 0x0800 to the end of flash, in 16-byte records.
std::filesystem::path firmware_file(const std::filesystem::path& folder) {
    using fwu::IntelHexRecord;
    const std::uint8_t page[] = {0, 0};
    std::string text = IntelHexRecord::line(IntelHexRecord::extended_linear_address, 0, page);
    for (unsigned a = 0x800; a < 0x8000; a += 16) {
        std::vector<std::uint8_t> data;
        for (unsigned i = 0; i < 16; ++i)
            data.push_back(static_cast<std::uint8_t>((a + i) * 13));
        text += IntelHexRecord::line(IntelHexRecord::data, static_cast<std::uint16_t>(a), data);
    }
    text += IntelHexRecord::line(IntelHexRecord::end_of_file, 0, {});
    const auto path = folder / "firmware.vmk";
    std::ofstream(path) << text;
    return path;
}

void run_update(benchmark::State& state, std::chrono::microseconds latency) {
    const auto folder = std::filesystem::temp_directory_path() / "q5-bench-fw-update";
    std::filesystem::create_directories(folder);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder); // log.txt, if anything is logged
    const std::string file = firmware_file(folder).string();

    auto backend = std::make_shared<sim::SimBootloader>();
    sim::SimDevice device = backend->add_device(0x04d8, 0xff01);
    device.set_latency(latency);
    fwu::set_hid_backend(backend);
    std::ostringstream out;
    std::ostringstream err;
    fwu::ConsoleStreams console(out, err);
    const char* argv[] = {"fw_update", "-e",     "-w",   "-v",     "-t",  "NO",
                          "-vid",      "0x04d8", "-pid", "0xff01", "-ix", file.c_str()};

    for (auto _ : state) {
        out.str("");
        const int result = fwu::fw_update(12, argv);
        if (result != 0 || !fwu::success) {
            state.SkipWithError("update failed");
            break;
        }
    }
    state.counters["exchanges"] = exchanges;
    state.counters["per_exchange"] = benchmark::Counter(
        exchanges * double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    fwu::set_hid_backend(nullptr);
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
}

void FwUpdate_NoLatency(benchmark::State& state) {
    run_update(state, std::chrono::microseconds(0));
}
void FwUpdate_Latency1ms(benchmark::State& state) {
    run_update(state, std::chrono::milliseconds(1));
}

} // namespace

BENCHMARK(FwUpdate_NoLatency)->Unit(benchmark::kMillisecond);
BENCHMARK(FwUpdate_Latency1ms)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
