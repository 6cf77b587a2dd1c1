#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "fw_update/buffer/iterator.h"
#include "fw_update/hid.h"
#include "fw_update/parser.h"

namespace fwu {

// Memory types: bit codes, "all" being the union of the three memories.
constexpr int memory_flash = 1;
constexpr int memory_id = 2;
constexpr int memory_eeprom = 4;
constexpr int memory_all = 7;

// One bootloader packet, request or answer.
using Packet = std::array<std::uint8_t, 64>;

// Packet layout: the header, then the data field.
namespace packet {
constexpr std::size_t cmd = 0;
constexpr std::size_t echo = 1;
constexpr std::size_t address_low = 2;
constexpr std::size_t address_high = 3;
constexpr std::size_t reserved = 4;
constexpr std::size_t size = 5;
constexpr std::size_t data = 6;
constexpr std::size_t data_size = 58;
} // namespace packet

// Bootloader command codes.
namespace command {
constexpr std::uint8_t read_flash = 1;
constexpr std::uint8_t write_flash = 2;
constexpr std::uint8_t erase_flash = 3;
constexpr std::uint8_t version = 4;
constexpr std::uint8_t reset = 5;
constexpr std::uint8_t read_id = 6;
constexpr std::uint8_t write_id = 7;
constexpr std::uint8_t read_eeprom = 8;
constexpr std::uint8_t write_eeprom = 9;
} // namespace command

// Time limits of one exchange with the bootloader.
constexpr int hid_write_timeout_ms = 100;
constexpr int hid_read_timeout_ms = 2500;

// "flash" 1, "id" 2, "eeprom" 4, "all" 7 (compared with case); any other text
// throws DEBadValue listing the valid names.
int memory_type(const std::string& name);
// The name of a code; the empty text for codes outside the table.
std::string memory_name(int code);
// The memory named by the memory option (flash when absent).
int memory_type_of(const Parameters& parameters);
// Image base address and size of a memory; 0 and 0 outside the table.
void memory_range(int code, std::uint32_t& base, std::uint32_t& size);
// Where a memory's window starts when no address is given: 0x800 for flash, past the bootloader's own
// flash, and 0 for the others.
std::uint32_t default_start(int code);
// The window [address, end) of a memory to work on, from the address and size
// options (ignored for "all"): address aligned down and size up to 8 bytes,
// end limited to memory_size. size is in-out: it stays as the caller set it
// when the size option is absent. Impossible values throw DEBadValue.
void address_range(int code, std::uint32_t memory_size, std::uint32_t& address, std::uint32_t& end,
                   std::uint32_t& size, const Parameters& parameters);
// n rounded up to a whole multiple of 8; values above 0xFFFFFFF8 wrap to 0.
std::uint32_t round_up_8(std::uint32_t n);
// Bytes per packet: 32 for flash, 8 for every other code.
std::uint32_t page_size(int code);

class Session;

// The identity of the device to work on, as the vendorid and productid options
// give it. When they cannot be read (absent, not a number, out of range), error
// holds the option's error, which ends the first operation that looks for the
// device, as a device that is not found does.
struct DeviceIdentity {
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    std::exception_ptr error;
};

// The device identity the options of a run name.
DeviceIdentity device_identity(const Parameters& parameters);

// The client of the HID bootloader of one microcontroller, in a session: its
// HID backend, its console and its log. Every operation finds and opens the
// device anew, exchanges its packets one at a time, reports its progress on
// one console line and closes the device again.
class PicBootloader final {
public:
    PicBootloader(Session& session, DeviceIdentity device);
    ~PicBootloader();
    PicBootloader(const PicBootloader&) = delete;
    PicBootloader& operator=(const PicBootloader&) = delete;

    void erase(const std::string& memory);
    void read(Iterator& iterator, const std::string& memory);
    void write(Iterator& iterator, const std::string& memory);
    void verify(Iterator& iterator, const std::string& memory);
    void version(Packet& answer);
    void reset();
    std::string name() const;

    // The HID link: find and open the device by its identity, exchange one
    // request for one answer, send a request that has no answer, close.
    void open();
    void exchange(const Packet& request, Packet& answer);
    void send(const Packet& request);
    void close();
    bool is_open() const { return m_hDevice != nullptr; }

private:
    struct Transfer;
    // What an operation does with the device when it fails.
    enum class OnFailure {
        close_if_open, // closes it when it was opened
        close,         // closes it, opened or not
        leave_open,    // leaves it as it is
    };
    Transfer prepare(const std::string& memory, bool for_write, Iterator& iterator, Packet& request,
                     Packet& answer) const;
    std::uint8_t next_echo() { return ++m_Echo; }
    template <typename Work>
    void framed(const char* action, const std::string& memory, OnFailure on_failure, Work work);
    void write_request(const Packet& request);
    void read_answer(const Packet& request, Packet& answer);
    void set_header(Packet& request, std::uint8_t cmd, std::uint32_t offset, std::uint32_t size);
    bool outside_window(std::uint32_t offset, const Transfer& t, const std::string& memory) const;
    std::uint32_t read_size(std::uint32_t n, std::uint32_t page) const;
    void log_difference(const std::string& memory, std::uint32_t offset, const std::uint8_t* expected,
                        const std::uint8_t* read, std::uint32_t n) const;
    const Log& log() const;

    Session& _session;
    DeviceIdentity _device;
    std::unique_ptr<HidDevice> m_hDevice;
    std::uint8_t m_Echo = 0;
};

} // namespace fwu
