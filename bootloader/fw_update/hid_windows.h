#pragma once

// The HID backend of Windows: SetupAPI lists the HID interfaces, HID.DLL reads
// their identity, and reports move through overlapped ReadFile and WriteFile
// so that each direction has its own time limit.

#include "fw_update/hid.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace fwu {

// A kernel object handle, closed once when its owner goes.
class WinHandle {
public:
    WinHandle() = default;
    explicit WinHandle(HANDLE handle) : _handle(handle) {}
    ~WinHandle() { reset(); }
    WinHandle(WinHandle&& other) noexcept : _handle(other.release()) {}
    WinHandle& operator=(WinHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    WinHandle(const WinHandle&) = delete;
    WinHandle& operator=(const WinHandle&) = delete;

    HANDLE get() const { return _handle; }
    // True for a handle that names an object (neither null nor INVALID_HANDLE_VALUE).
    bool valid() const { return _handle != nullptr && _handle != INVALID_HANDLE_VALUE; }
    HANDLE release() { return std::exchange(_handle, INVALID_HANDLE_VALUE); }
    void reset(HANDLE handle = INVALID_HANDLE_VALUE);

private:
    HANDLE _handle = INVALID_HANDLE_VALUE;
};

// An interface opened for overlapped transfers (FILE_FLAG_OVERLAPPED).
//
// - begin_read() starts the read of one input report (ReadFile of 65 bytes)
//   with a fresh completion event (manual reset, not signalled); read() starts
//   one itself when none is under way.
// - write() starts the write of one output report with its own event and
//   waits for that event at most timeout_ms: WAIT_TIMEOUT leaves the write
//   pending and is a timeout; any other outcome of the wait counts as a
//   finished write.
// - read() waits for the read's event at most timeout_ms (WAIT_TIMEOUT leaves
//   the read pending), then takes its byte count from GetOverlappedResult
//   without waiting.
// - A transfer whose start fails other than with ERROR_IO_PENDING, or whose
//   result cannot be had, is HidStatus::failed; error_number() is then
//   GetLastError() of that call.
// - cancel() abandons the pending transfers with CancelIo and waits until the
//   system has let go of them, since until then it may still write into their
//   records and buffers. Each transfer's event is closed as soon as the
//   transfer has ended, whichever way; a transfer the system still holds is
//   never started anew. CancelIo reaches only the transfers of the calling
//   thread: a device is used by one thread, as the engine does.
class WinHidDevice : public HidDevice {
public:
    explicit WinHidDevice(WinHandle device);
    ~WinHidDevice() override;
    WinHidDevice(const WinHidDevice&) = delete;
    WinHidDevice& operator=(const WinHidDevice&) = delete;

    bool attributes(std::uint16_t& vendor_id, std::uint16_t& product_id) override;
    HidStatus write(const std::uint8_t* report, int timeout_ms) override;
    HidStatus read(std::uint8_t* report, std::size_t& count, int timeout_ms) override;
    void cancel() override;
    HidStatus begin_read() override;
    int error_number() const override { return static_cast<int>(_error); }
    // The system's message for that error (FormatMessage).
    std::string last_error() const override;

private:
    // One direction's transfer: its record, its event and its report buffer.
    struct Transfer {
        OVERLAPPED overlapped{};
        WinHandle event;
        std::array<std::uint8_t, hid_report_size> buffer{};
        bool pending = false; // started and not yet ended
    };

    bool start(Transfer& t, bool reading);
    void settle(Transfer& t);
    void end(Transfer& t);

    WinHandle _device;
    // On the heap: their address must not change while the system holds them.
    std::unique_ptr<Transfer> _read;
    std::unique_ptr<Transfer> _write;
    DWORD _error = 0;
};

// The backend: HidD_GetHidGuid; SetupDiGetClassDevsA (present devices,
// interfaces); SetupDiEnumDeviceInterfaces by index from 0 and
// SetupDiGetDeviceInterfaceDetailA for each path; a probe opened with
// CreateFileA (no flags) for HidD_GetAttributes; the working handle opened
// again with FILE_FLAG_OVERLAPPED. Both opens ask for reading and writing and
// share both.
class WinHidBackend : public HidBackend {
public:
    std::optional<std::vector<std::string>> enumerate(const Log& log) override;
    std::unique_ptr<HidDevice> open(const std::string& path) override;
    std::unique_ptr<HidDevice> probe(const std::string& path) override;
    bool enumeration_cut() const override { return _cut; }
    // Interfaces of that identity that Windows refuses to open for reading and
    // writing (access denied, or held by another program without sharing),
    // found by opening them for their attributes only.
    std::vector<std::string> inaccessible(std::uint16_t vendor_id, std::uint16_t product_id,
                                          const Log& log) override;

private:
    bool _cut = false;
};

} // namespace fwu
