#pragma once

// The simulated HID bootloader: a HID backend whose devices behave like the
// bootloader of the controller's MCUs in update mode, with real memories, the
// full command set and injectable faults, so that the engine can be exercised
// and demonstrated without hardware.
//
// Usage in a test:
//
//     auto sim = std::make_shared<sim::SimBootloader>();
//     sim::SimDevice dev = sim->add_device(0x04d8, 0xff04);
//     dev.faults().read_timeout = true;          // inject a fault
//     fwu::set_hid_backend(sim);                 // the engine now talks to it
//     ... run the engine ...
//     dev.flash()[0x800];                        // inspect memories
//     dev.written();                             // every report written, 65 bytes each
//     fwu::set_hid_backend(nullptr);
//
// Devices and their handles are meant for one thread (the engine's); nothing
// here locks.
//
// The device answers each request report (report ID 0, then the 64-byte packet
// cmd, echo, address low, address high, reserved, size, data[58]) with one
// answer report that starts with the request's six header bytes:
//
//   cmd 1 / 6 / 8  read flash / id / eeprom: the answer's data holds `size`
//                  bytes of the memory from `address`;
//   cmd 2 / 7 / 9  write flash / id / eeprom: `size` bytes of data are stored
//                  at `address`;
//   cmd 3          erase flash: `size` 64-byte blocks (0 standing for 256) from
//                  `address` are set to 0xFF, clipped to the memory;
//   cmd 4          version: answer bytes 2, 3 and 4 hold the version;
//   cmd 5          reset: no answer;
//   other codes    the header alone.
//
// A read or write whose bytes do not all lie inside the memory (or exceed the
// 58-byte data field) touches nothing and is answered with the header alone.
// The flash below 0x0800 holds the bootloader itself: a write that touches it
// is refused as a whole (header-only answer) and an erase leaves it alone.
// Bytes of an answer that carry nothing are 0x00.
//
// A failed transfer leaves an errno value in error_number() and says what failed
// in last_error(): ENODEV once the device is unplugged, EIO for the write_fails
// fault and for a memory file that cannot be stored, EINVAL for a report that is
// not the device's.
//
// File-backed devices (SimBootloader::from_folder) keep their state in a folder:
//
//   flash.bin   32768 bytes    created when missing: 0xFF, except the bootloader
//   id.bin      8 bytes        pattern below 0x0800
//   eeprom.bin  256 bytes
//   usb_id      text "vvvv:pppp", vendor and product ID in hexadecimal; created
//               as "04d8:ff01" when missing
//   faults      optional, read only: one fault per line, "name value", '#'
//               starts a comment. Names are the fields of Faults below, plus
//               "latency_us" (the per-exchange latency in microseconds) and
//               "version" ("2.4.1"). Flags take 1/0, yes/no or true/false;
//               numbers are decimal or 0x-hexadecimal; answer_delay is in
//               milliseconds; readback_heals_after also takes "never". Example:
//                   # the verify of flash offset 0x0900 fails twice, then passes
//                   readback_difference 0x0900
//                   readback_heals_after 2
//                   unplug_after 500
//
// After every command that changes a memory its file is written anew (into a
// temporary file that is then renamed over it), so that runs of the fw_update
// program one after the other see the same device. A file that cannot be read,
// has the wrong size or is malformed throws SimError naming the file.

#include "fw_update/hid.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {

inline constexpr std::size_t flash_size = 0x8000;
inline constexpr std::size_t id_size = 8;
inline constexpr std::size_t eeprom_size = 256;
// The flash below this offset holds the bootloader.
inline constexpr std::size_t bootloader_end = 0x0800;
inline constexpr std::size_t erase_block_size = 64;

using Flash = std::array<std::uint8_t, flash_size>;
using IdMemory = std::array<std::uint8_t, id_size>;
using Eeprom = std::array<std::uint8_t, eeprom_size>;
using Report = std::array<std::uint8_t, fwu::hid_report_size>;

// The byte of the bootloader's own code at a flash offset below bootloader_end:
// a pattern that differs from erased flash and from one offset to the next, so
// that a dump shows it and a test can tell it was left alone.
std::uint8_t bootloader_pattern(std::size_t offset);

// A simulated device's memory files are missing, unreadable or malformed, or its
// folder cannot be used. The message names the file.
class SimError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Version {
    std::uint8_t major = 2;
    std::uint8_t minor = 4;
    std::uint8_t patch = 1;
};

// Faults of one device. All off by default; each can be changed at any time.
struct Faults {
    bool absent = false;            // not listed by enumerate(), and open() gives null
    bool open_fails = false;        // listed, but open() gives null
    bool attributes_fail = false;   // attributes() gives false
    bool permission_denied = false; // listed, but open() gives null and inaccessible() names it

    // Transfer faults. They hit the requests that come after the first
    // transfer_faults_after requests taken (0: from the first one on).
    bool write_fails = false;              // write() gives failed; the request is not taken
    bool write_timeout = false;            // write() gives timeout; the request is not taken
    bool read_timeout = false;             // the request is carried out but never answered
    bool late_answer = false;              // the answer misses the first read() after its request
                                           // (timeout) and stays queued for the next one
    bool wrong_echo = false;               // the answer's echo is the request's plus 1
    std::optional<std::size_t> short_read; // the answer is cut to this many bytes (fewer than 65)
    std::uint64_t transfer_faults_after = 0;
    // The answer is due this long after its request. Unlike the faults above it
    // takes real time: read() waits for the answer up to its own time-out, as
    // hidraw does, and gives timeout when the answer is not due by then; the
    // answer then stays queued until a cancel.
    std::optional<std::chrono::milliseconds> answer_delay;

    // A read of flash that covers this offset returns the byte inverted, for the
    // first readback_heals_after such reads (never healing when unset).
    std::optional<std::size_t> readback_difference;
    std::optional<std::uint64_t> readback_heals_after;

    // After this many exchanges (requests taken, whether answered or not) the
    // device is unplugged: the last answer can still be read, every other call
    // fails and the device is gone from enumerate().
    std::optional<std::uint64_t> unplug_after;
};

struct Counters {
    std::uint64_t opens = 0;    // successful open() calls
    std::uint64_t closes = 0;   // handles released
    std::uint64_t writes = 0;   // write() calls, whatever their outcome
    std::uint64_t reads = 0;    // read() calls, whatever their outcome
    std::uint64_t cancels = 0;  // cancel() calls
    std::uint64_t requests = 0; // requests taken and carried out (the exchanges)
    std::uint64_t answers = 0;  // answers delivered by read()
    std::uint64_t resets = 0;   // reset commands carried out
};

struct DeviceState;

// A reference to one simulated device, shared with the backend that holds it:
// its identity, memories, faults, counters and the record of written reports.
class SimDevice {
public:
    explicit SimDevice(std::shared_ptr<DeviceState> state);

    const std::string& path() const;
    std::uint16_t vendor_id() const;
    std::uint16_t product_id() const;

    Flash& flash();
    IdMemory& id();
    Eeprom& eeprom();

    Faults& faults();
    Version& version();
    // Time per exchange, modelling the link's frames: each answer goes out at the first
    // frame boundary (a multiple of the latency since the first exchange) after its request;
    // 0 (the default) answers at once.
    void set_latency(std::chrono::microseconds latency);

    // Every report handed to write() of any handle of this device, in order and
    // whatever the outcome.
    const std::vector<Report>& written() const;
    void clear_written();
    const Counters& counters() const;

    // True once the device was unplugged by the unplug_after fault.
    bool unplugged() const;
    // The last failure to store a memory file (empty when none); the write()
    // that carried the command out gave failed.
    const std::string& store_error() const;

private:
    std::shared_ptr<DeviceState> _state;
};

class SimBootloader : public fwu::HidBackend {
public:
    SimBootloader();
    ~SimBootloader() override;

    // A backend with one device whose state lives in a folder (created when
    // missing); see the file list above. Throws SimError.
    static std::shared_ptr<SimBootloader> from_folder(const std::filesystem::path& folder);

    // Adds a device with fresh memories (0xFF, bootloader pattern below 0x0800).
    // Devices are enumerated in the order they were added. The path defaults to
    // "sim:<n>", n counting from 0.
    SimDevice add_device(std::uint16_t vendor_id, std::uint16_t product_id, std::string path = {});
    std::size_t device_count() const;
    SimDevice device(std::size_t index) const; // std::out_of_range for a bad index

    // The interface list cannot be had: enumerate() gives nothing.
    void set_enumerate_fails(bool fails);

    std::optional<std::vector<std::string>> enumerate(const fwu::Log& log) override;
    std::unique_ptr<fwu::HidDevice> open(const std::string& path) override;
    std::vector<std::string> inaccessible(std::uint16_t vendor_id, std::uint16_t product_id,
                                          const fwu::Log& log) override;

private:
    std::vector<std::shared_ptr<DeviceState>> _devices;
    bool _enumerate_fails = false;
};

} // namespace sim
