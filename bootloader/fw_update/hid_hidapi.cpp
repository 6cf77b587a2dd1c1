#include "fw_update/hid_hidapi.h"

#include <hidapi.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

namespace fwu {

// hid_init once for the process; hid_exit when the last user is gone.
class HidapiLibrary {
public:
    HidapiLibrary() : _ok(hid_init() == 0) {}
    ~HidapiLibrary() { hid_exit(); }
    HidapiLibrary(const HidapiLibrary&) = delete;
    HidapiLibrary& operator=(const HidapiLibrary&) = delete;

    bool ok() const { return _ok; }

    static std::shared_ptr<HidapiLibrary> acquire() {
        static std::mutex mutex;
        static std::weak_ptr<HidapiLibrary> current;
        std::lock_guard lock(mutex);
        auto library = current.lock();
        if (!library) {
            library = std::make_shared<HidapiLibrary>();
            current = library;
        }
        return library;
    }

private:
    bool _ok;
};

namespace {

// The largest input report hidraw can deliver; reading into a buffer this big
// means an oversized report is seen whole and not silently cut to our size.
constexpr std::size_t hidraw_max_report = 16384;

// Reads queued input reports without waiting, at most this many per cancel():
// a device that keeps sending must not keep cancel() busy for ever.
constexpr int max_discarded_reports = 1024;

struct HidCloser {
    void operator()(hid_device* device) const { hid_close(device); }
};
using HidHandle = std::unique_ptr<hid_device, HidCloser>;

class HidapiDevice : public HidDevice {
public:
    HidapiDevice(std::shared_ptr<HidapiLibrary> library, HidHandle device,
                 std::optional<std::pair<std::uint16_t, std::uint16_t>> enumerated)
        : _library(std::move(library)), _device(std::move(device)), _enumerated(enumerated),
          _input(hidraw_max_report) {}

    bool attributes(std::uint16_t& vendor_id, std::uint16_t& product_id) override {
        if (const hid_device_info* info = hid_get_device_info(_device.get())) {
            vendor_id = info->vendor_id;
            product_id = info->product_id;
            return true;
        }
        if (_enumerated) {
            vendor_id = _enumerated->first;
            product_id = _enumerated->second;
            return true;
        }
        return false;
    }

    HidStatus write(const std::uint8_t* report, int /*timeout_ms*/) override {
        if (!report)
            return HidStatus::failed;
        errno = 0;
        const int written = hid_write(_device.get(), report, hid_report_size);
        const int error = errno;
        const HidStatus status = hidraw_write_status(written, error);
        if (status != HidStatus::ok)
            _error = error;
        return status;
    }

    HidStatus read(std::uint8_t* report, std::size_t& count, int timeout_ms) override {
        count = 0;
        if (!report)
            return HidStatus::failed;
        using clock = std::chrono::steady_clock;
        const auto deadline = clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
        for (;;) {
            auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
            errno = 0;
            int n = hid_read_timeout(_device.get(), _input.data(), _input.size(),
                                     static_cast<int>(std::max<decltype(left)>(left, 0)));
            if (n > 0) {
                count = report_from_hidraw(_input.data(), static_cast<std::size_t>(n), report);
                return HidStatus::ok;
            }
            if (n == 0)
                return HidStatus::timeout;
            const int error = errno;
            // A signal cut the wait short: wait on for what is left of the time-out.
            if (error == EINTR && clock::now() < deadline)
                continue;
            _error = error;
            return HidStatus::failed;
        }
    }

    void cancel() override {
        for (int i = 0; i < max_discarded_reports; ++i) {
            if (hid_read_timeout(_device.get(), _input.data(), _input.size(), 0) <= 0)
                break;
        }
    }

    int error_number() const override { return _error; }
    std::string last_error() const override { return _error == 0 ? std::string() : std::strerror(_error); }

private:
    std::shared_ptr<HidapiLibrary> _library; // outlives _device
    HidHandle _device;
    std::optional<std::pair<std::uint16_t, std::uint16_t>> _enumerated;
    std::vector<std::uint8_t> _input;
    int _error = 0; // errno of the last failed transfer
};

struct EnumerationFree {
    void operator()(hid_device_info* list) const { hid_free_enumeration(list); }
};

} // namespace

std::size_t report_from_hidraw(const std::uint8_t* data, std::size_t n, std::uint8_t* report) {
    report[0] = 0;
    std::size_t stored = std::min(n, hid_report_size - 1);
    if (stored > 0)
        std::memcpy(report + 1, data, stored);
    return n + 1;
}

HidStatus hidraw_write_status(int written, int error) {
    if (written == static_cast<int>(hid_report_size))
        return HidStatus::ok;
    // The USB stack ended the transfer on its time-out, or the device did not take the report in time.
    if (written < 0 && (error == ETIMEDOUT || error == EAGAIN))
        return HidStatus::timeout;
    return HidStatus::failed;
}

HidapiBackend::HidapiBackend() : _library(HidapiLibrary::acquire()) {}

HidapiBackend::~HidapiBackend() = default;

std::optional<std::vector<std::string>> HidapiBackend::enumerate(const Log&) {
    if (!_library->ok())
        return std::nullopt;
    // An empty list comes back as null: no HID interface is present.
    std::unique_ptr<hid_device_info, EnumerationFree> list(hid_enumerate(0, 0));
    _enumerated.clear();
    for (const hid_device_info* info = list.get(); info; info = info->next) {
        if (info->path)
            _enumerated.emplace(info->path, std::make_pair(info->vendor_id, info->product_id));
    }
    return paths_in_order(list.get());
}

std::vector<std::string> paths_in_order(const hid_device_info* list) {
    std::vector<std::string> paths;
    for (const hid_device_info* info = list; info; info = info->next) {
        if (info->path)
            paths.emplace_back(info->path);
    }
    std::sort(paths.begin(), paths.end());
    paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    return paths;
}

std::unique_ptr<HidDevice> HidapiBackend::open(const std::string& path) {
    if (!_library->ok())
        return nullptr;
    HidHandle device(hid_open_path(path.c_str()));
    if (!device)
        return nullptr;
    std::optional<std::pair<std::uint16_t, std::uint16_t>> enumerated;
    if (auto it = _enumerated.find(path); it != _enumerated.end())
        enumerated = it->second;
    return std::make_unique<HidapiDevice>(_library, std::move(device), enumerated);
}

std::vector<std::string> HidapiBackend::inaccessible(std::uint16_t vendor_id, std::uint16_t product_id,
                                                     const Log&) {
    std::vector<std::string> paths;
    if (!_library->ok())
        return paths;
    std::unique_ptr<hid_device_info, EnumerationFree> list(hid_enumerate(vendor_id, product_id));
    for (const hid_device_info* info = list.get(); info; info = info->next)
        if (info->path && ::access(info->path, R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
            paths.emplace_back(info->path);
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace fwu
