#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fwu {

class Log;

// One HID report as it travels on the link: the report ID (always 0 here)
// followed by the 64-byte bootloader packet.
constexpr std::size_t hid_report_size = 65;

// The error number logged for a transfer asked of a device that is not open.
#ifdef _WIN32
constexpr int hid_error_not_open = 6; // ERROR_INVALID_HANDLE
#else
constexpr int hid_error_not_open = EBADF;
#endif

enum class HidStatus {
    ok,      // the transfer completed
    failed,  // the transfer could not be started or completed
    timeout, // the transfer did not complete within the time-out
};

// An open HID interface. Every call blocks for at most its time-out.
class HidDevice {
public:
    virtual ~HidDevice() = default;

    // Vendor and product ID of the open interface; false when they cannot be read.
    virtual bool attributes(std::uint16_t& vendor_id, std::uint16_t& product_id) = 0;

    // Sends one output report of hid_report_size bytes, report ID first.
    virtual HidStatus write(const std::uint8_t* report, int timeout_ms) = 0;

    // Receives one input report into a buffer of hid_report_size bytes, report
    // ID first. On ok, count is the number of bytes of the report (a complete
    // report has hid_report_size).
    virtual HidStatus read(std::uint8_t* report, std::size_t& count, int timeout_ms) = 0;

    // Abandons whatever is still in flight: an answer that arrives after a
    // failed exchange must never be taken as the answer to a later request.
    virtual void cancel() = 0;

    // Called before each request of an exchange is written. A device whose
    // transfers run asynchronously starts receiving the answer here, so that
    // the read is under way before the request goes out, and read() then waits
    // for that transfer; others need nothing.
    virtual HidStatus begin_read() { return HidStatus::ok; }

    // The system's number for the last failure of a transfer, for the log:
    // errno, or GetLastError() on Windows; 0 before any failure.
    virtual int error_number() const { return 0; }

    // The system's description of that failure, for diagnostics (as hidapi's
    // hid_error gives it); empty before any failure.
    virtual std::string last_error() const { return {}; }
};

// Access to the present HID interfaces.
class HidBackend {
public:
    virtual ~HidBackend() = default;

    // Paths of the present HID interfaces in a stable enumeration order, or
    // nothing when the list cannot be had. Failures along the way go to the log.
    virtual std::optional<std::vector<std::string>> enumerate(const Log& log) = 0;

    // Opens an interface for reading and writing; null when it cannot be opened.
    virtual std::unique_ptr<HidDevice> open(const std::string& path) = 0;

    // Opens an interface only to read its attributes; by default as open().
    virtual std::unique_ptr<HidDevice> probe(const std::string& path) { return open(path); }

    // True when the last enumerate() stopped early at an interface whose
    // details could not be had: the list holds the interfaces before it, and
    // the failure is in the log.
    virtual bool enumeration_cut() const { return false; }

    // Paths of the present interfaces with this identity that this user is not
    // allowed to open. Used only to explain why a device was not found.
    virtual std::vector<std::string> inaccessible(std::uint16_t vendor_id, std::uint16_t product_id,
                                                  const Log& log) {
        (void)vendor_id;
        (void)product_id;
        (void)log;
        return {};
    }
};

// A new backend of the platform: hidapi (hidraw), or SetupAPI and HID.DLL on
// Windows. A session uses one unless it is given another.
std::shared_ptr<HidBackend> platform_hid_backend();

// The backend that fw_update() runs on (see fw_update.h): the one installed here
// (the simulated bootloader, in tests and demos), or the platform's when none
// is or null was installed. Installed between runs.
void set_hid_backend(std::shared_ptr<HidBackend> backend);

} // namespace fwu
