#include "fw_update/pic_bootloader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#include "fw_update/errors.h"
#include "fw_update/log.h"
#include "fw_update/rvln_fw_update.h"
#include "fw_update/session.h"
#include "fw_update/udev_advice.h"
#include "fw_update/usage.h"

namespace fwu {

namespace {

const std::vector<std::string> memory_names = {"flash", "eeprom", "id", "all"};

struct MemoryInfo {
    int code;
    const char* name;
    std::uint32_t size;
    std::uint32_t base;
    std::uint32_t first; // device window
    std::uint32_t end;
    std::uint8_t read_cmd;
    std::uint8_t write_cmd;
};

// The memories with a device window.
constexpr MemoryInfo memories[] = {
    {memory_flash, "flash", 0x8000, 0x00000000, 0x0800, 0x8000, command::read_flash, command::write_flash},
    {memory_id, "id", 8, 0x00200000, 0x0000, 0x0008, command::read_id, command::write_id},
    {memory_eeprom, "eeprom", 256, 0x00F00000, 0x0000, 0x0100, command::read_eeprom, command::write_eeprom},
};

const MemoryInfo* memory_info(int code) {
    for (const MemoryInfo& m : memories)
        if (m.code == code)
            return &m;
    return nullptr;
}

void set_address(Packet& p, std::uint32_t offset) {
    p[packet::address_low] = static_cast<std::uint8_t>(offset & 0xFF);
    p[packet::address_high] = static_cast<std::uint8_t>((offset >> 8) & 0xFF);
}

// The name under which an option was given, or its long name.
std::string option_name(const Parameters& parameters, int id, const char* fallback) {
    return parameters.has(id) ? parameters.get(id).name() : std::string(fallback);
}

// Explains an absent device that is there but out of this user's reach.
void hint_inaccessible(Session& session, std::uint16_t vendor_id, std::uint16_t product_id) {
    for (const std::string& path : session.hid().inaccessible(vendor_id, product_id, session.log())) {
        char identity[16];
        std::snprintf(identity, sizeof identity, "%04x:%04x", unsigned(vendor_id), unsigned(product_id));
        if (session.progress_line_open())
            session.err() << '\n';
#ifdef _WIN32
        session.err()
            << "HINT: the device " << identity << " is present at " << path
            << " but Windows does not let this program open it. Close every other program that may be "
               "using it (another fw_update or the service tool), then unplug the device and plug it in "
               "again."
            << std::endl;
#else
        session.err() << "HINT: the device " << identity << " is present at " << path
                      << " but this user may not open it. " << udev_rules_advice("device") << std::endl;
#endif
    }
}

const char* const action_erasing = "erasing";
const char* const action_reading = "reading";
const char* const action_programming = "programming";
const char* const action_verifying = "verifying";

} // namespace

int memory_type(const std::string& name) {
    if (name == "flash")
        return memory_flash;
    if (name == "eeprom")
        return memory_eeprom;
    if (name == "id")
        return memory_id;
    if (name == "all")
        return memory_all;
    throw DEBadValue(name, memory_names);
}

std::string memory_name(int code) {
    switch (code) {
    case memory_flash:
        return "flash";
    case memory_id:
        return "id";
    case memory_eeprom:
        return "eeprom";
    case memory_all:
        return "all";
    default:
        return std::string();
    }
}

int memory_type_of(const Parameters& parameters) {
    if (!parameters.has(ARG_MEMORY))
        return memory_flash;
    const Argument memory = parameters.get(ARG_MEMORY);
    const std::string& value = memory.value();
    for (const std::string& name : memory_names)
        if (value == name)
            return memory_type(name);
    throw DEBadValue(memory.name(), memory_names);
}

void memory_range(int code, std::uint32_t& base, std::uint32_t& size) {
    const MemoryInfo* m = memory_info(code);
    base = m ? m->base : 0;
    size = m ? m->size : 0;
}

std::uint32_t default_start(int code) {
    return code == memory_flash ? 0x800 : 0;
}

void address_range(int code, std::uint32_t memory_size, std::uint32_t& address, std::uint32_t& end,
                   std::uint32_t& size, const Parameters& parameters) {
    address = default_start(code);
    end = memory_size;
    if (code != memory_all) {
        if (parameters.has(ARG_ADDRESS)) {
            const Argument a = parameters.get(ARG_ADDRESS);
            const std::uint32_t value = a.asUInt32();
            if (value >= memory_size)
                throw DEBadValue(a.name(), 0, memory_size);
            address = value & ~7u;
        }
        if (parameters.has(ARG_SIZE)) {
            const Argument s = parameters.get(ARG_SIZE);
            const std::uint32_t value = s.asUInt32();
            if (value == 0)
                throw DEBadValue(s.name(), 8, memory_size);
            // A size near the 32-bit limit stays at the limit instead of wrapping to 0.
            size = value > 0xFFFFFFF8u ? 0xFFFFFFF8u : round_up_8(value);
        }
    }
    const std::uint64_t wanted = std::uint64_t(address) + size;
    end = static_cast<std::uint32_t>(std::min<std::uint64_t>(wanted, memory_size));
    if (end <= address) {
        // With no data above the start address there is no room at all: the
        // range reads 0 to 0 rather than a wrapped-around bound.
        const std::uint32_t room = memory_size > address ? memory_size - address : 0;
        throw DEBadValue(option_name(parameters, ARG_SIZE, "size"), 0, room);
    }
}

std::uint32_t round_up_8(std::uint32_t n) {
    return n % 8 == 0 ? n : (n | 7u) + 1;
}

std::uint32_t page_size(int code) {
    return code == memory_flash ? 32 : 8;
}

// The command, device window and packet size of one read, write or verify.
struct PicBootloader::Transfer {
    std::uint8_t cmd;
    std::uint32_t first;
    std::uint32_t end;
    std::uint32_t page;
};

DeviceIdentity device_identity(const Parameters& parameters) {
    DeviceIdentity device;
    try {
        device.vendor_id = parameters.get(ARG_VENDORID).asUInt16();
        device.product_id = parameters.get(ARG_PRODUCTID).asUInt16();
    } catch (...) {
        device.error = std::current_exception();
    }
    return device;
}

PicBootloader::PicBootloader(Session& session, DeviceIdentity device)
    : _session(session), _device(std::move(device)) {}

PicBootloader::~PicBootloader() {
    if (m_hDevice) {
        log().assertion("m_hDevice == INVALID_HANDLE_VALUE", __FILE__, __LINE__);
        m_hDevice.reset();
    }
}

std::string PicBootloader::name() const {
    return "RVLN";
}

const Log& PicBootloader::log() const {
    return _session.log();
}

// The transfer for a memory by name, with the packets blanked and the iterator stepping a packet at a
// time. Throws DEBadValue for an unknown name and DEBadMemoryType for "all".
PicBootloader::Transfer PicBootloader::prepare(const std::string& memory, bool for_write, Iterator& iterator,
                                               Packet& request, Packet& answer) const {
    const int mem = memory_type(memory);
    const MemoryInfo* m = memory_info(mem);
    if (!m)
        throw DEBadMemoryType("BootLoader", memory);
    request.fill(0xFF);
    answer.fill(0xFF);
    const std::uint32_t page = page_size(mem);
    iterator.set_step(page);
    return Transfer{for_write ? m->write_cmd : m->read_cmd, m->first, m->end, page};
}

void PicBootloader::erase(const std::string& memory) {
    const int mem = memory_type(memory);
    if (mem != memory_flash)
        return; // id and eeprom are erased by programming 0xFF

    Packet request{};
    Packet answer{};
    request[packet::cmd] = command::erase_flash;
    // 0x0800 to 0x3FFF in 224 blocks of 64 bytes, then 0x4000 to 0x7FFF in 256 (0 stands for 256).
    const std::pair<std::uint32_t, std::uint8_t> blocks[] = {{0x0800, 0xE0}, {0x4000, 0x00}};
    // A failed erase leaves the device open: the destructor notes and closes it.
    framed(action_erasing, memory, OnFailure::leave_open, [&] {
        for (const auto& [address, count] : blocks) {
            request[packet::echo] = next_echo();
            set_address(request, address);
            request[packet::size] = count;
            exchange(request, answer);
        }
    });
}

// One operation on the device: the progress line from 0 % to DONE, the device opened around the work
// and closed after it; any failure finishes the line with FAILED, deals with the device as on_failure
// says and passes on.
template <typename Work>
void PicBootloader::framed(const char* action, const std::string& memory, OnFailure on_failure, Work work) {
    show_progress(_session, action, name(), memory, 0);
    try {
        open();
        work();
        close();
        show_progress(_session, action, name(), memory, progress_done);
    } catch (...) {
        show_progress(_session, action, name(), memory, progress_failed);
        if (on_failure == OnFailure::close || (on_failure == OnFailure::close_if_open && is_open()))
            close();
        throw;
    }
}

// Chunks outside the device window are not sent: those below it (the bootloader's own flash) are
// logged, those at or beyond its end skipped.
bool PicBootloader::outside_window(std::uint32_t offset, const Transfer& t, const std::string& memory) const {
    if (offset < t.first) {
        log().error(__FILE__, __LINE__, "address = %d memory = %s", static_cast<int>(offset), memory.c_str());
        return true;
    }
    return offset >= t.end;
}

// The header of a read, write or verify packet; each packet takes the next echo.
void PicBootloader::set_header(Packet& request, std::uint8_t cmd, std::uint32_t offset, std::uint32_t size) {
    request[packet::cmd] = cmd;
    request[packet::echo] = next_echo();
    set_address(request, offset);
    request[packet::size] = static_cast<std::uint8_t>(size);
}

// The size asked of the device for a chunk of n bytes: whole multiples of 8, within the answer's data field.
std::uint32_t PicBootloader::read_size(std::uint32_t n, std::uint32_t page) const {
    n = round_up_8(n);
    if (n > page)
        log().assertion("size <= page_size(mem)", __FILE__, __LINE__);
    return std::min<std::uint32_t>(n, packet::data_size);
}

void PicBootloader::write(Iterator& iterator, const std::string& memory) {
    Packet request;
    Packet answer;
    const Transfer t = prepare(memory, true, iterator, request, answer);
    framed(action_programming, memory, OnFailure::close_if_open, [&] {
        for (;;) {
            std::uint32_t offset = 0;
            const std::uint32_t n = iterator.read(request.data() + packet::data, t.page, offset);
            if (n == 0)
                break;
            if (!outside_window(offset, t, memory)) {
                set_header(request, t.cmd, offset, n);
                if (n % 8 != 0)
                    log().assertion("size % 8 == 0", __FILE__, __LINE__);
                exchange(request, answer);
                show_progress(_session, action_programming, name(), memory, iterator.progress());
            }
            request.fill(0xFF);
        }
    });
}

void PicBootloader::read(Iterator& iterator, const std::string& memory) {
    Packet request;
    Packet answer;
    const Transfer t = prepare(memory, false, iterator, request, answer);
    framed(action_reading, memory, OnFailure::close_if_open, [&] {
        for (;;) {
            const std::uint32_t chunk = iterator.chunk_length();
            if (chunk == 0)
                break;
            const std::uint32_t n = read_size(chunk, t.page);
            set_header(request, t.cmd, iterator.address(), n);
            exchange(request, answer);
            iterator.write(answer.data() + packet::data, n);
            show_progress(_session, action_reading, name(), memory, iterator.progress());
            answer.fill(0xFF);
        }
    });
}

// The first byte that differs, for the log: where it is (its image address, as in a HEX file) and both
// values.
void PicBootloader::log_difference(const std::string& memory, std::uint32_t offset,
                                   const std::uint8_t* expected, const std::uint8_t* read,
                                   std::uint32_t n) const {
    std::uint32_t i = 0;
    while (i + 1 < n && expected[i] == read[i])
        ++i;
    std::uint32_t base = 0;
    std::uint32_t size = 0;
    memory_range(memory_type(memory), base, size);
    FWU_LOG_ERROR(log(), "Verification failed at 0x%08X (%s): expected 0x%02X, read 0x%02X",
                  static_cast<unsigned>(base + offset + i), memory.c_str(),
                  static_cast<unsigned>(expected[i]), static_cast<unsigned>(read[i]));
}

void PicBootloader::verify(Iterator& iterator, const std::string& memory) {
    Packet expected;
    expected.fill(0xFF);
    Packet request;
    Packet answer;
    const Transfer t = prepare(memory, false, iterator, request, answer);
    framed(action_verifying, memory, OnFailure::close_if_open, [&] {
        for (;;) {
            std::uint32_t offset = 0;
            const std::uint32_t chunk = iterator.read(expected.data() + packet::data, t.page, offset);
            if (chunk == 0)
                break;
            if (outside_window(offset, t, memory)) {
                expected.fill(0xFF);
                continue;
            }
            const std::uint32_t n = read_size(chunk, t.page);
            set_header(request, t.cmd, offset, n);
            // A difference is asked again with the same packet, five times in all.
            for (int attempt = 0;; ++attempt) {
                exchange(request, answer);
                if (std::memcmp(answer.data() + packet::data, expected.data() + packet::data, n) == 0)
                    break;
                _session.out() << "\r\nretry = " << attempt << "\r\n";
                _session.out().flush();
                if (attempt == 4) {
                    log_difference(memory, offset, expected.data() + packet::data,
                                   answer.data() + packet::data, n);
                    throw DEVerificationFailed();
                }
            }
            show_progress(_session, action_verifying, name(), memory, iterator.progress());
            expected.fill(0xFF);
        }
    });
}

void PicBootloader::version(Packet& answer) {
    Packet request{};
    request[packet::cmd] = command::version;
    answer.fill(0x00);
    const std::string memory = "BootLoader Version";
    // A failed version request closes the device whether it was opened or not.
    framed(action_reading, memory, OnFailure::close, [&] {
        exchange(request, answer);
        show_progress(_session, action_reading, name(), memory, 100);
    });
}

void PicBootloader::reset() {
    Packet request{};
    request[packet::cmd] = command::reset;
    open();
    send(request);
    close();
}

// ---------------------------------------------------------------------------
// HID link

void PicBootloader::open() {
    if (m_hDevice)
        log().assertion("m_hDevice == INVALID_HANDLE_VALUE", __FILE__, __LINE__);

    // An identity that could not be read is reported before any device is
    // touched, as such and never as an absent device.
    if (_device.error)
        std::rethrow_exception(_device.error);
    const std::uint16_t vendor_id = _device.vendor_id;
    const std::uint16_t product_id = _device.product_id;

    HidBackend& backend = _session.hid();
    const std::optional<std::vector<std::string>> paths = backend.enumerate(log());
    if (!paths) {
        log().error(__FILE__, __LINE__, "INVALID_HANDLE_VALUE");
        return;
    }
    for (const std::string& path : *paths) {
        std::uint16_t vid = 0;
        std::uint16_t pid = 0;
        {
            std::unique_ptr<HidDevice> probe = backend.probe(path);
            if (!probe)
                continue;
            if (!probe->attributes(vid, pid))
                continue;
        }
        if (vid != vendor_id || pid != product_id)
            continue;
        // The first matching interface in enumeration order is the device.
        m_hDevice = backend.open(path);
        if (!m_hDevice)
            throw DEDeviceAbsent();
        return;
    }
    // An interface whose details could not be had ends the search without a
    // verdict: the failure is in the log and the device stays closed.
    if (backend.enumeration_cut())
        return;
    if (!m_hDevice) {
        hint_inaccessible(_session, vendor_id, product_id);
        throw DEDeviceAbsent();
    }
}

void PicBootloader::exchange(const Packet& request, Packet& answer) {
    try {
        if (!m_hDevice) {
            log().error(__FILE__, __LINE__, "LastError = %d", hid_error_not_open);
            throw DEHidReadFailed();
        }
        // The answer's transfer is under way before the request goes out.
        if (m_hDevice->begin_read() != HidStatus::ok) {
            log().error(__FILE__, __LINE__, "LastError = %d", m_hDevice->error_number());
            throw DEHidReadFailed();
        }
        write_request(request);
        read_answer(request, answer);
    } catch (...) {
        if (m_hDevice)
            m_hDevice->cancel();
        throw;
    }
}

void PicBootloader::send(const Packet& request) {
    try {
        if (!m_hDevice) {
            log().error(__FILE__, __LINE__, "LastError = %d", hid_error_not_open);
            throw DEHidWriteFailed();
        }
        write_request(request);
    } catch (...) {
        if (m_hDevice)
            m_hDevice->cancel();
        throw;
    }
}

// The request as one output report: report ID 0, then the packet.
void PicBootloader::write_request(const Packet& request) {
    std::array<std::uint8_t, hid_report_size> report{};
    std::copy(request.begin(), request.end(), report.begin() + 1);
    switch (m_hDevice->write(report.data(), hid_write_timeout_ms)) {
    case HidStatus::ok:
        return;
    case HidStatus::timeout:
        log().error(__FILE__, __LINE__, "Write timeout");
        throw DEHidWriteTimeout();
    case HidStatus::failed:
        log().error(__FILE__, __LINE__, "LastError = %d", m_hDevice->error_number());
        throw DEHidWriteFailed();
    }
}

// The answer to a request: one whole input report whose packet repeats the request's command and echo.
void PicBootloader::read_answer(const Packet& request, Packet& answer) {
    std::array<std::uint8_t, hid_report_size> input{};
    std::size_t count = 0;
    switch (m_hDevice->read(input.data(), count, hid_read_timeout_ms)) {
    case HidStatus::ok:
        break;
    case HidStatus::timeout:
        throw DEHidReadTimeout();
    case HidStatus::failed:
        log().error(__FILE__, __LINE__, "LastError = %d, readed = %d", m_hDevice->error_number(),
                    static_cast<int>(count));
        throw DEHidReadFailed();
    }
    if (count != hid_report_size) {
        log().error(__FILE__, __LINE__, "LastError = %d, readed = %d", 0, static_cast<int>(count));
        throw DEHidReadFailed();
    }
    std::copy(input.begin() + 1, input.end(), answer.begin());

    if (answer[packet::cmd] != request[packet::cmd] || answer[packet::echo] != request[packet::echo]) {
        log().error(__FILE__, __LINE__, "pOut->header.cmd = %d,  pIn->header.cmd = %d", request[packet::cmd],
                    answer[packet::cmd]);
        log().error(__FILE__, __LINE__, "pOut->header.echo = %d,  pIn->header.echo = %d",
                    request[packet::echo], answer[packet::echo]);
        throw DEHidResponseIdMismatch();
    }
}

void PicBootloader::close() {
    if (!m_hDevice)
        log().assertion("m_hDevice != INVALID_HANDLE_VALUE", __FILE__, __LINE__);
    m_hDevice.reset();
}

} // namespace fwu
