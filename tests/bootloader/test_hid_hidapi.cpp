#include "fw_update/hid_hidapi.h"
#include "fw_update/log.h"
#include "fw_update/session.h"

#include <hidapi.h>

#include "sim/bootloader/sim_bootloader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <sstream>
#include <vector>

namespace {

using ::testing::ElementsAre;

TEST(HidapiBackend, EnumerationOrderIsByPathEachOnce) {
    // hidapi's list as it may come: in no order, an interface twice, one without a path.
    char first[] = "/dev/hidraw0", second[] = "/dev/hidraw1", tenth[] = "/dev/hidraw10";
    hid_device_info list[5]{};
    char* paths[] = {tenth, first, nullptr, second, tenth};
    for (std::size_t i = 0; i < 5; ++i) {
        list[i].path = paths[i];
        list[i].next = i + 1 < 5 ? &list[i + 1] : nullptr;
    }
    EXPECT_THAT(fwu::paths_in_order(list), ElementsAre("/dev/hidraw0", "/dev/hidraw1", "/dev/hidraw10"));
    EXPECT_TRUE(fwu::paths_in_order(nullptr).empty()) << "no HID interface at all";
    // On this machine, whatever it has.
    EXPECT_TRUE(fwu::HidapiBackend().enumerate(fwu::Log()).has_value());
}

TEST(HidapiBackend, OpeningAPathThatIsNoHidDeviceGivesNull) {
    fwu::HidapiBackend backend;
    EXPECT_EQ(backend.open("/dev/hidraw-none"), nullptr);
    EXPECT_EQ(backend.open(""), nullptr);
    EXPECT_EQ(backend.open("/"), nullptr);
}

TEST(HidapiBackend, InputReportGetsItsReportIdBack) {
    std::array<std::uint8_t, 64> data;
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i + 1);
    std::array<std::uint8_t, fwu::hid_report_size> report;
    report.fill(0xEE);

    EXPECT_EQ(fwu::report_from_hidraw(data.data(), 64, report.data()), 65u);
    EXPECT_EQ(report[0], 0x00);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), report.begin() + 1));

    // A short report is counted as such and fills only its part.
    report.fill(0xEE);
    EXPECT_EQ(fwu::report_from_hidraw(data.data(), 10, report.data()), 11u);
    EXPECT_EQ(report[10], 10);
    EXPECT_EQ(report[11], 0xEE);

    // A longer report never overruns the 65 bytes, and its count shows it is too long.
    std::vector<std::uint8_t> longer(200, 0x42);
    EXPECT_EQ(fwu::report_from_hidraw(longer.data(), longer.size(), report.data()), 201u);
    EXPECT_EQ(report[64], 0x42);
}

TEST(HidapiBackend, HidrawWriteThatTimedOutIsTheWriteTimeOut) {
    using fwu::HidStatus;
    const int whole = static_cast<int>(fwu::hid_report_size);
    EXPECT_EQ(fwu::hidraw_write_status(whole, 0), HidStatus::ok);
    // The USB stack gave up on the transfer, or the device would not take it now.
    EXPECT_EQ(fwu::hidraw_write_status(-1, ETIMEDOUT), HidStatus::timeout);
    EXPECT_EQ(fwu::hidraw_write_status(-1, EAGAIN), HidStatus::timeout);
    // Anything else is a failed write: the device is gone, broken or took part of the report.
    for (int error : {EIO, ENODEV, EPIPE, EINVAL, 0})
        EXPECT_EQ(fwu::hidraw_write_status(-1, error), HidStatus::failed) << error;
    EXPECT_EQ(fwu::hidraw_write_status(whole - 1, 0), HidStatus::failed);
}

// The engine's other tests run on a backend of their own.
TEST(HidBackendSelection, SessionWithoutABackendUsesHidapi) {
    std::ostringstream out, err;
    auto simulated = std::make_shared<sim::SimBootloader>();
    fwu::Session given(out, err, {}, simulated);
    EXPECT_EQ(&given.hid(), simulated.get());
    fwu::Session platform(out, err);
    EXPECT_NE(dynamic_cast<fwu::HidapiBackend*>(&platform.hid()), nullptr);
}

} // namespace
