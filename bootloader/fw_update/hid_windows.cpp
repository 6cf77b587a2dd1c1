#include "fw_update/hid_windows.h"

#include "fw_update/log.h"

#include <algorithm>
#include <cstring>
#include <new>

// MinGW's hidsdi.h declares HID.DLL's functions without C linkage.
extern "C" {
#include <hidsdi.h>
}
#include <setupapi.h>

namespace fwu {

void WinHandle::reset(HANDLE handle) {
    if (valid())
        CloseHandle(_handle);
    _handle = handle;
}

namespace {

// Both opens ask for reading and writing and let others do the same.
constexpr DWORD device_access = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD device_sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;

WinHandle open_path(const std::string& path, DWORD access, DWORD flags) {
    return WinHandle(
        CreateFileA(path.c_str(), access, device_sharing, nullptr, OPEN_EXISTING, flags, nullptr));
}

bool read_attributes(HANDLE device, std::uint16_t& vendor_id, std::uint16_t& product_id) {
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!HidD_GetAttributes(device, &attributes))
        return false;
    vendor_id = attributes.VendorID;
    product_id = attributes.ProductID;
    return true;
}

// A handle opened only to read the interface's identity: it moves no reports.
class WinHidProbe : public HidDevice {
public:
    explicit WinHidProbe(WinHandle device) : _device(std::move(device)) {}

    bool attributes(std::uint16_t& vendor_id, std::uint16_t& product_id) override {
        return read_attributes(_device.get(), vendor_id, product_id);
    }
    HidStatus write(const std::uint8_t*, int) override { return HidStatus::failed; }
    HidStatus read(std::uint8_t*, std::size_t& count, int) override {
        count = 0;
        return HidStatus::failed;
    }
    void cancel() override {}

private:
    WinHandle _device;
};

struct DeviceInfoListCloser {
    void operator()(void* list) const { SetupDiDestroyDeviceInfoList(list); }
};
using DeviceInfoList = std::unique_ptr<void, DeviceInfoListCloser>;

} // namespace

// ---------------------------------------------------------------------------
// Transfers

WinHidDevice::WinHidDevice(WinHandle device)
    : _device(std::move(device)), _read(std::make_unique<Transfer>()), _write(std::make_unique<Transfer>()) {}

WinHidDevice::~WinHidDevice() {
    cancel();
}

bool WinHidDevice::attributes(std::uint16_t& vendor_id, std::uint16_t& product_id) {
    return read_attributes(_device.get(), vendor_id, product_id);
}

// Starts a transfer of one report with a fresh event; false when it could not
// be started (the error is kept).
bool WinHidDevice::start(Transfer& t, bool reading) {
    t.overlapped = OVERLAPPED{};
    t.event.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!t.event.valid()) {
        _error = GetLastError();
        t.event.reset();
        return false;
    }
    t.overlapped.hEvent = t.event.get();
    const DWORD size = static_cast<DWORD>(hid_report_size);
    const BOOL done = reading ? ReadFile(_device.get(), t.buffer.data(), size, nullptr, &t.overlapped)
                              : WriteFile(_device.get(), t.buffer.data(), size, nullptr, &t.overlapped);
    if (!done) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            _error = error;
            t.event.reset();
            return false;
        }
    }
    // Started, whether it has already finished or not: its event tells.
    t.pending = true;
    return true;
}

// The transfer has ended: its event goes.
void WinHidDevice::end(Transfer& t) {
    t.pending = false;
    t.event.reset();
}

// Ends a transfer that the system has let go of; one it still holds stays
// pending, for cancel().
void WinHidDevice::settle(Transfer& t) {
    if (t.pending && HasOverlappedIoCompleted(&t.overlapped))
        end(t);
}

std::string WinHidDevice::last_error() const {
    if (_error == 0)
        return {};
    std::array<char, 512> text{};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                   _error, 0, text.data(), static_cast<DWORD>(text.size()), nullptr);
    std::string message(text.data(), n);
    // Without the line end that system messages come with.
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(_error) : message;
}

HidStatus WinHidDevice::begin_read() {
    settle(*_read);
    if (_read->pending)
        return HidStatus::ok; // the read of the last begin_read() is still the one to wait for
    return start(*_read, true) ? HidStatus::ok : HidStatus::failed;
}

HidStatus WinHidDevice::write(const std::uint8_t* report, int timeout_ms) {
    settle(*_write);
    if (!report || _write->pending)
        return HidStatus::failed;
    std::memcpy(_write->buffer.data(), report, hid_report_size);
    if (!start(*_write, false))
        return HidStatus::failed;
    if (WaitForSingleObject(_write->event.get(), static_cast<DWORD>(std::max(timeout_ms, 0))) == WAIT_TIMEOUT)
        return HidStatus::timeout; // still pending: cancel() abandons it
    // Any other outcome of the wait counts as a finished write.
    settle(*_write);
    return HidStatus::ok;
}

HidStatus WinHidDevice::read(std::uint8_t* report, std::size_t& count, int timeout_ms) {
    count = 0;
    if (!report)
        return HidStatus::failed;
    if (!_read->pending && !start(*_read, true))
        return HidStatus::failed;
    if (WaitForSingleObject(_read->event.get(), static_cast<DWORD>(std::max(timeout_ms, 0))) == WAIT_TIMEOUT)
        return HidStatus::timeout; // still pending: cancel() abandons it
    DWORD n = 0;
    if (!GetOverlappedResult(_device.get(), &_read->overlapped, &n, FALSE)) {
        _error = GetLastError();
        count = n;
        settle(*_read);
        return HidStatus::failed;
    }
    count = n;
    std::memcpy(report, _read->buffer.data(), std::min<std::size_t>(n, hid_report_size));
    end(*_read);
    return HidStatus::ok;
}

void WinHidDevice::cancel() {
    if (!_read->pending && !_write->pending)
        return;
    CancelIo(_device.get());
    for (Transfer* t : {_read.get(), _write.get()}) {
        if (!t->pending)
            continue;
        // Ends with ERROR_OPERATION_ABORTED, or with the transfer's own result
        // when it finished before the cancellation reached it.
        DWORD ignored = 0;
        GetOverlappedResult(_device.get(), &t->overlapped, &ignored, TRUE);
        end(*t);
    }
}

// ---------------------------------------------------------------------------
// Enumeration

std::optional<std::vector<std::string>> WinHidBackend::enumerate(const Log& log) {
    _cut = false;
    GUID hid_guid;
    HidD_GetHidGuid(&hid_guid);
    const HDEVINFO handle =
        SetupDiGetClassDevsA(&hid_guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const DeviceInfoList list(handle);

    std::vector<std::string> paths;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interface_data{};
        interface_data.cbSize = sizeof interface_data;
        if (!SetupDiEnumDeviceInterfaces(list.get(), nullptr, &hid_guid, index, &interface_data))
            break; // none left

        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailA(list.get(), &interface_data, nullptr, 0, &required, nullptr);
        std::vector<std::uint8_t> record;
        try {
            record.resize(std::max<std::size_t>(required, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)));
        } catch (const std::bad_alloc&) {
            log.error(__FILE__, __LINE__, "Couldn't allocate memory for device interface detail data");
            _cut = true;
            break;
        }
        // The size of the record's fixed part in this build's layout (8 in a
        // 64-bit program, 5 in a 32-bit one).
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(record.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(list.get(), &interface_data, detail,
                                              static_cast<DWORD>(record.size()), nullptr, nullptr)) {
            log.error(__FILE__, __LINE__, "SetupDiGetDeviceInterfaceDetail failed");
            _cut = true;
            break;
        }
        paths.emplace_back(detail->DevicePath);
    }
    return paths;
}

std::unique_ptr<HidDevice> WinHidBackend::probe(const std::string& path) {
    WinHandle device = open_path(path, device_access, 0);
    if (!device.valid())
        return nullptr;
    return std::make_unique<WinHidProbe>(std::move(device));
}

std::unique_ptr<HidDevice> WinHidBackend::open(const std::string& path) {
    WinHandle device = open_path(path, device_access, FILE_FLAG_OVERLAPPED);
    if (!device.valid())
        return nullptr;
    return std::make_unique<WinHidDevice>(std::move(device));
}

std::vector<std::string> WinHidBackend::inaccessible(std::uint16_t vendor_id, std::uint16_t product_id,
                                                     const Log& log) {
    std::vector<std::string> found;
    const std::optional<std::vector<std::string>> paths = enumerate(log);
    if (!paths)
        return found;
    for (const std::string& path : *paths) {
        const WinHandle device = open_path(path, device_access, 0);
        if (device.valid())
            continue;
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            continue;
        // Opened for no access at all, a HID interface still tells its identity.
        const WinHandle query = open_path(path, 0, 0);
        std::uint16_t vid = 0;
        std::uint16_t pid = 0;
        if (query.valid() && read_attributes(query.get(), vid, pid) && vid == vendor_id && pid == product_id)
            found.push_back(path);
    }
    return found;
}

} // namespace fwu
