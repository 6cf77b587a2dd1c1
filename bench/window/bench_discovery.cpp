// The discovery query as the window's timer runs it (every 30 ms), over a fake
// sysfs tree of 64 USB devices. Target: at most 1 ms per query.

#include "link/device_setup.h"
#include "support/fake_sysfs.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// 63 other devices from a few makers, some with serial ports of their own,
// and the controller last in name order, so every device is looked at.
void fill(testsupport::FakeSysfs& sysfs, bool withController) {
    static const quint16 vendors[] = {0x046d, 0x0403, 0x8087, 0x0bda, 0x1a40, 0x12bf};
    for (int i = 1; i <= 63; ++i) {
        const quint16 vendor = vendors[i % 6];
        QStringList ttys;
        if (vendor == 0x0403)
            ttys << QStringLiteral("ttyUSB%1").arg(i);
        sysfs.addDevice(vendor, quint16(0x1000 + i), 0x0100, QStringLiteral("Device %1").arg(i), ttys,
                        QStringLiteral("1-%1").arg(i, 2, 10, QLatin1Char('0')));
    }
    if (withController)
        sysfs.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("q5 Controller"), {QStringLiteral("ttyACM0")},
                        QStringLiteral("1-99"));
}

// One tree of each kind for the whole run: building one takes far longer than
// the queries measured.
testsupport::FakeSysfs& tree(bool withController) {
    static testsupport::FakeSysfs present, absent;
    static const bool filled = (fill(present, true), fill(absent, false), true);
    (void)filled;
    return withController ? present : absent;
}

// reuse:1 as the window asks it of the system's tree: the previous query's reading holds while the
// tree's devices and ttys are the same.
DADOV::SysfsDeviceSetup::Reuse reuse_of(const benchmark::State& state) {
    return state.range(0) != 0 ? DADOV::SysfsDeviceSetup::Reuse::WhileUnchanged
                               : DADOV::SysfsDeviceSetup::Reuse::Never;
}

void BM_DiscoveryControllerPresent(benchmark::State& state) {
    DADOV::SysfsDeviceSetup setup(tree(true).root(), reuse_of(state));
    if (DADOV::usb_check_if_present_and_get_com_string(setup, 0x12BF, 0xF010, 0, false, 0) != "ttyACM0") {
        state.SkipWithError("the controller was not found");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(
            DADOV::usb_check_if_present_and_get_com_string(setup, 0x12BF, 0xF010, 0, false, 0));
}
BENCHMARK(BM_DiscoveryControllerPresent)->ArgName("reuse")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_DiscoveryControllerAbsent(benchmark::State& state) {
    DADOV::SysfsDeviceSetup setup(tree(false).root(), reuse_of(state));
    for (auto _ : state)
        benchmark::DoNotOptimize(
            DADOV::usb_check_if_present_and_get_com_string(setup, 0x12BF, 0xF010, 0, false, 0));
}
BENCHMARK(BM_DiscoveryControllerAbsent)->ArgName("reuse")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// For scale: one attribute read (open, read, close) on the same tree. A query
// over 64 devices reads three per device (idVendor, idProduct, bcdDevice).
void BM_OneAttributeRead(benchmark::State& state) {
    const QByteArray path =
        (tree(true).root() + QStringLiteral("/bus/usb/devices/1-01/idVendor")).toLocal8Bit();
    char text[4096];
    for (auto _ : state) {
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        benchmark::DoNotOptimize(::read(fd, text, sizeof text));
        ::close(fd);
    }
}
BENCHMARK(BM_OneAttributeRead)->Unit(benchmark::kMicrosecond);

} // namespace
