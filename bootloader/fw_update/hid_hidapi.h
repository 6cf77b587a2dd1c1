#pragma once

#include "fw_update/hid.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct hid_device_info;

namespace fwu {

class HidapiLibrary;

// The HID backend of real hardware: hidapi over the kernel's hidraw interface.
//
// - enumerate() lists every present HID interface (hid_enumerate(0, 0)), sorted
//   by path so that the order is the same from one call to the next.
// - open() opens a path with hid_open_path.
// - The bootloader's reports carry no report ID of their own. Output reports
//   go out with report ID 0 first, which hidraw strips; input reports come
//   from hidraw as the bare 64 data bytes, and read() puts the report ID 0 back
//   in front so that callers see the report as it travels on the link.
// - read() waits at most its time-out (hid_read_timeout). A write on hidraw is
//   a blocking write to the device node that the kernel's USB stack ends on its
//   own time-out; hidraw offers no way to abandon it earlier, so write() cannot
//   bound it by its time-out argument. A write the kernel ends with ETIMEDOUT
//   or EAGAIN is HidStatus::timeout; any other failed or incomplete write is
//   HidStatus::failed.
//
// The hidapi library is initialised once, when the first backend is created,
// and released after the last backend and device are gone.
class HidapiBackend : public HidBackend {
public:
    HidapiBackend();
    ~HidapiBackend() override;
    HidapiBackend(const HidapiBackend&) = delete;
    HidapiBackend& operator=(const HidapiBackend&) = delete;

    std::optional<std::vector<std::string>> enumerate(const Log& log) override;
    std::unique_ptr<HidDevice> open(const std::string& path) override;
    // Interfaces of that identity whose device node this user may not read and write.
    std::vector<std::string> inaccessible(std::uint16_t vendor_id, std::uint16_t product_id,
                                          const Log& log) override;

private:
    std::shared_ptr<HidapiLibrary> _library;
    // Vendor and product IDs seen by the last enumeration, by path: the
    // attributes of a device whose own information cannot be had.
    std::map<std::string, std::pair<std::uint16_t, std::uint16_t>> _enumerated;
};

// Turns what hidraw delivered for one input report (n bytes at data, without a
// report ID) into the report as on the link: report ID 0, then the data. At most
// hid_report_size bytes are stored in report; the result is the length of the
// whole report (n + 1), so a report longer than the bootloader's shows as such.
std::size_t report_from_hidraw(const std::uint8_t* data, std::size_t n, std::uint8_t* report);

// The paths of hidapi's list of interfaces in enumeration order: sorted, each
// once, entries without a path left out.
std::vector<std::string> paths_in_order(const hid_device_info* list);

// The outcome of one hidraw write of a report: written is what hid_write gave,
// error the errno it left.
HidStatus hidraw_write_status(int written, int error);

} // namespace fwu
