#include "sim/bootloader/sim_bootloader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <deque>
#include <fstream>
#include <iterator>
#include <span>
#include <sstream>
#include <system_error>
#include <thread>

namespace sim {

namespace fs = std::filesystem;

namespace {

// The command codes and packet layout are written out here rather than taken from the engine
// (fw_update/pic_bootloader.h): the simulator is an independent check of the client.
//
// Packet layout, offsets within the 64-byte packet that follows the report ID.
constexpr std::size_t packet_size = fwu::hid_report_size - 1;
constexpr std::size_t header_size = 6;
constexpr std::size_t data_capacity = packet_size - header_size;

enum Command : std::uint8_t {
    read_flash = 1,
    write_flash = 2,
    erase_flash = 3,
    get_version = 4,
    reset_device = 5,
    read_id = 6,
    write_id = 7,
    read_eeprom = 8,
    write_eeprom = 9,
};

// Memories changed by a command, as bits.
constexpr unsigned changed_flash = 1;
constexpr unsigned changed_id = 2;
constexpr unsigned changed_eeprom = 4;

Flash fresh_flash() {
    Flash flash;
    flash.fill(0xFF);
    for (std::size_t i = 0; i < bootloader_end; ++i)
        flash[i] = bootloader_pattern(i);
    return flash;
}

template <std::size_t N> std::array<std::uint8_t, N> erased() {
    std::array<std::uint8_t, N> memory;
    memory.fill(0xFF);
    return memory;
}

// Sleeps until the time has come. A single sleep_until may wake a little early
// (under Windows it is one sleep of the time left, on a coarser clock).
void wait_until(std::chrono::steady_clock::time_point t) {
    while (std::chrono::steady_clock::now() < t)
        std::this_thread::sleep_until(t);
}

std::string quoted(const fs::path& file) {
    return "\"" + file.string() + "\"";
}

// Writes a file whole, or not at all: into a temporary file beside it, then
// renamed over it.
void store_file(const fs::path& file, const std::uint8_t* data, std::size_t size) {
    fs::path temporary = file;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (out)
            out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (out)
            out.close();
        if (!out) {
            std::error_code ignored;
            fs::remove(temporary, ignored);
            throw SimError("cannot write " + quoted(temporary));
        }
    }
    std::error_code ec;
    fs::rename(temporary, file, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(temporary, ignored);
        throw SimError("cannot replace " + quoted(file) + ": " + ec.message());
    }
}

std::string read_text(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        throw SimError(quoted(file) + " is not a readable file");
    std::ifstream in(file, std::ios::binary);
    std::ostringstream contents;
    if (in)
        contents << in.rdbuf();
    if (!in)
        throw SimError("cannot read " + quoted(file));
    return contents.str();
}

bool file_exists(const fs::path& file) {
    std::error_code ec;
    bool present = fs::exists(fs::symlink_status(file, ec));
    if (ec && ec != std::errc::no_such_file_or_directory)
        throw SimError("cannot look at " + quoted(file) + ": " + ec.message());
    return present;
}

// Loads a memory from its file, or creates the file from the initial contents.
template <std::size_t N>
void load_memory(const fs::path& file, std::array<std::uint8_t, N>& memory,
                 const std::array<std::uint8_t, N>& initial) {
    if (!file_exists(file)) {
        memory = initial;
        store_file(file, memory.data(), memory.size());
        return;
    }
    std::string contents = read_text(file);
    if (contents.size() != N)
        throw SimError(quoted(file) + " holds " + std::to_string(contents.size()) + " bytes, expected " +
                       std::to_string(N));
    std::copy(contents.begin(), contents.end(), memory.begin());
}

std::string trim(std::string_view text) {
    auto is_space = [](unsigned char c) { return std::isspace(c) != 0; };
    auto begin = std::find_if_not(text.begin(), text.end(), is_space);
    auto end = std::find_if_not(text.rbegin(), std::make_reverse_iterator(begin), is_space).base();
    return std::string(begin, end);
}

// A 16-bit number of 1 to 4 hexadecimal digits.
std::optional<std::uint16_t> parse_hex16(std::string_view text) {
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    std::uint16_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::pair<std::uint16_t, std::uint16_t> load_usb_id(const fs::path& file) {
    if (!file_exists(file)) {
        static constexpr std::string_view initial = "04d8:ff01\n";
        store_file(file, reinterpret_cast<const std::uint8_t*>(initial.data()), initial.size());
    }
    std::string text = trim(read_text(file));
    auto colon = text.find(':');
    std::optional<std::uint16_t> vendor, product;
    if (colon != std::string::npos) {
        vendor = parse_hex16(std::string_view(text).substr(0, colon));
        product = parse_hex16(std::string_view(text).substr(colon + 1));
    }
    if (!vendor || !product)
        throw SimError(quoted(file) + " must hold the vendor and product ID as \"vvvv:pppp\" in hexadecimal");
    return {*vendor, *product};
}

// A decimal or 0x-hexadecimal number without sign.
std::optional<std::uint64_t> parse_number(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<bool> parse_flag(std::string_view text) {
    if (text == "1" || text == "yes" || text == "true")
        return true;
    if (text == "0" || text == "no" || text == "false")
        return false;
    return std::nullopt;
}

std::optional<Version> parse_version(std::string_view text) {
    Version version;
    std::uint8_t* parts[] = {&version.major, &version.minor, &version.patch};
    for (std::size_t i = 0; i < 3; ++i) {
        auto dot = i < 2 ? text.find('.') : text.size();
        if (dot == std::string_view::npos)
            return std::nullopt;
        auto part = text.substr(0, dot);
        auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), *parts[i]);
        if (part.empty() || ec != std::errc() || end != part.data() + part.size())
            return std::nullopt;
        text.remove_prefix(i < 2 ? dot + 1 : dot);
    }
    return version;
}

} // namespace

std::uint8_t bootloader_pattern(std::size_t offset) {
    // Never 0xFF, never equal for neighbouring offsets, and a period (251) that
    // no page or block size divides, so a shifted copy does not pass for it.
    return static_cast<std::uint8_t>(offset % 251);
}

struct DeviceState {
    std::string path;
    std::uint16_t vendor_id = 0;
    std::uint16_t product_id = 0;
    Flash flash = fresh_flash();
    IdMemory id = erased<id_size>();
    Eeprom eeprom = erased<eeprom_size>();
    Faults faults;
    Version version;
    std::chrono::microseconds latency{0};
    // Start of the link's frame clock: with a latency, answers go out on frame
    // boundaries, as an interrupt endpoint is polled once per frame.
    std::optional<std::chrono::steady_clock::time_point> frame_origin;
    std::vector<Report> written;
    Counters counters;
    bool unplugged = false;
    std::uint64_t readback_differences = 0;
    std::optional<fs::path> folder;
    std::string store_error;

    bool is_unplugged() {
        if (!unplugged && faults.unplug_after && counters.requests >= *faults.unplug_after)
            unplugged = true;
        return unplugged;
    }

    bool present() { return !faults.absent && !is_unplugged(); }

    bool transfer_faults_apply() const { return counters.requests >= faults.transfer_faults_after; }

    // Carries out one request packet; the answer, or nothing for a command that
    // is not answered. Sets the bits of the memories it changed.
    std::optional<Report> carry_out(const std::uint8_t* packet, unsigned& changed);
    // The readback_difference fault: inverts its byte in the answer to a flash
    // read of size bytes from address that covers it, until it heals.
    void mark_readback_difference(std::size_t address, std::size_t size, std::uint8_t* answer_data);
    // Erases size blocks (0 standing for 256) from address, clipped to flash
    // and sparing the bootloader; false when nothing was left to erase.
    bool erase(std::size_t address, std::size_t size);

    void store(unsigned changed) const;
};

std::optional<Report> DeviceState::carry_out(const std::uint8_t* packet, unsigned& changed) {
    Report answer{};
    std::copy_n(packet, header_size, answer.begin() + 1);
    std::uint8_t* answer_data = answer.data() + 1 + header_size;

    const std::uint8_t cmd = packet[0];
    const std::size_t address = packet[2] | (std::size_t{packet[3]} << 8);
    const std::size_t size = packet[5];
    const std::uint8_t* data = packet + header_size;
    auto inside = [&](std::span<const std::uint8_t> memory) {
        return size <= data_capacity && address + size <= memory.size();
    };
    auto read = [&](std::span<const std::uint8_t> memory) {
        if (!inside(memory))
            return false;
        std::copy_n(memory.data() + address, size, answer_data);
        return true;
    };
    auto write = [&](std::span<std::uint8_t> memory, unsigned bit) {
        if (inside(memory)) {
            std::copy_n(data, size, memory.data() + address);
            changed |= bit;
        }
    };

    switch (cmd) {
    case read_flash:
        if (read(flash))
            mark_readback_difference(address, size, answer_data);
        break;
    case write_flash:
        if (address >= bootloader_end)
            write(flash, changed_flash);
        break;
    case erase_flash:
        if (erase(address, size))
            changed |= changed_flash;
        break;
    case get_version:
        answer[1 + 2] = version.major;
        answer[1 + 3] = version.minor;
        answer[1 + 4] = version.patch;
        break;
    case reset_device:
        ++counters.resets;
        return std::nullopt;
    case read_id:
        read(id);
        break;
    case write_id:
        write(id, changed_id);
        break;
    case read_eeprom:
        read(eeprom);
        break;
    case write_eeprom:
        write(eeprom, changed_eeprom);
        break;
    } // other commands: the header alone
    return answer;
}

void DeviceState::mark_readback_difference(std::size_t address, std::size_t size, std::uint8_t* answer_data) {
    if (!faults.readback_difference)
        return;
    const std::size_t offset = *faults.readback_difference;
    const bool covered = offset >= address && offset < address + size;
    const bool healed = faults.readback_heals_after && readback_differences >= *faults.readback_heals_after;
    if (covered && !healed) {
        answer_data[offset - address] ^= 0xFF;
        ++readback_differences;
    }
}

bool DeviceState::erase(std::size_t address, std::size_t size) {
    const std::size_t blocks = size == 0 ? 256 : size;
    const std::size_t begin = std::max(address, bootloader_end);
    const std::size_t end = std::min(address + blocks * erase_block_size, flash_size);
    if (begin >= end)
        return false;
    std::fill(flash.begin() + begin, flash.begin() + end, 0xFF);
    return true;
}

void DeviceState::store(unsigned changed) const {
    if (!folder)
        return;
    if (changed & changed_flash)
        store_file(*folder / "flash.bin", flash.data(), flash.size());
    if (changed & changed_id)
        store_file(*folder / "id.bin", id.data(), id.size());
    if (changed & changed_eeprom)
        store_file(*folder / "eeprom.bin", eeprom.data(), eeprom.size());
}

namespace {

// One open handle of a simulated device. Answers queue per handle, as input
// reports do per open hidraw file: a fresh open starts with none.
class SimHandle : public fwu::HidDevice {
public:
    explicit SimHandle(std::shared_ptr<DeviceState> state) : _state(std::move(state)) {}
    ~SimHandle() override { ++_state->counters.closes; }
    SimHandle(const SimHandle&) = delete;
    SimHandle& operator=(const SimHandle&) = delete;

    bool attributes(std::uint16_t& vendor_id, std::uint16_t& product_id) override {
        if (_state->is_unplugged() || _state->faults.attributes_fail)
            return false;
        vendor_id = _state->vendor_id;
        product_id = _state->product_id;
        return true;
    }

    fwu::HidStatus write(const std::uint8_t* report, int /*timeout_ms*/) override {
        DeviceState& s = *_state;
        ++s.counters.writes;
        if (!report)
            return fail(EINVAL, "no report");
        Report copy;
        std::copy_n(report, copy.size(), copy.begin());
        s.written.push_back(copy);
        if (s.is_unplugged())
            return fail(ENODEV, "the device was unplugged");
        // The device has no numbered reports: anything but report ID 0 does not go out.
        if (report[0] != 0)
            return fail(EINVAL, "report ID " + std::to_string(report[0]) + " is not the device's");

        const bool faulty = s.transfer_faults_apply();
        if (faulty && s.faults.write_fails)
            return fail(EIO, "write_fails fault");
        if (faulty && s.faults.write_timeout)
            return fwu::HidStatus::timeout;
        if (s.latency.count() > 0) {
            // The answer is due at the first frame boundary after the request
            // arrived. Boundaries are absolute, so a late wake-up in one
            // exchange does not add up over a run.
            const auto now = std::chrono::steady_clock::now();
            if (!s.frame_origin)
                s.frame_origin = now;
            const auto frames = (now - *s.frame_origin) / s.latency + 1;
            wait_until(*s.frame_origin + frames * s.latency);
        }

        ++s.counters.requests;
        unsigned changed = 0;
        std::optional<Report> answer = s.carry_out(report + 1, changed);
        try {
            s.store(changed);
        } catch (const SimError& e) {
            s.store_error = e.what();
            return fail(EIO, e.what());
        }
        if (answer && !(faulty && s.faults.read_timeout)) {
            Answer queued{*answer, fwu::hid_report_size, faulty && s.faults.late_answer, std::nullopt};
            if (faulty && s.faults.answer_delay)
                queued.due = std::chrono::steady_clock::now() + *s.faults.answer_delay;
            if (faulty && s.faults.wrong_echo)
                ++queued.report[2];
            if (faulty && s.faults.short_read)
                queued.count = std::min(*s.faults.short_read, fwu::hid_report_size);
            _answers.push_back(queued);
        }
        return fwu::HidStatus::ok;
    }

    fwu::HidStatus read(std::uint8_t* report, std::size_t& count, int timeout_ms) override {
        DeviceState& s = *_state;
        ++s.counters.reads;
        count = 0;
        if (!report)
            return fail(EINVAL, "no report");
        // Time-outs are reported at once; only a delayed answer (answer_delay) is waited for.
        if (_answers.empty())
            return s.is_unplugged() ? fail(ENODEV, "the device was unplugged") : fwu::HidStatus::timeout;
        Answer& next = _answers.front();
        if (next.late) {
            next.late = false;
            return fwu::HidStatus::timeout;
        }
        if (next.due) {
            // In real time, and no longer than the time-out.
            const auto deadline =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
            if (*next.due > deadline) {
                wait_until(deadline);
                return fwu::HidStatus::timeout;
            }
            wait_until(*next.due);
        }
        std::copy_n(next.report.begin(), next.count, report);
        count = next.count;
        _answers.pop_front();
        ++s.counters.answers;
        return fwu::HidStatus::ok;
    }

    void cancel() override {
        ++_state->counters.cancels;
        _answers.clear();
    }

    int error_number() const override { return _error; }
    std::string last_error() const override { return _error_text; }

private:
    // A failed transfer: an errno value for the log, and what failed.
    fwu::HidStatus fail(int error, std::string text) {
        _error = error;
        _error_text = std::generic_category().message(error) + ": " + text;
        return fwu::HidStatus::failed;
    }

    struct Answer {
        Report report;
        std::size_t count;
        bool late;
        std::optional<std::chrono::steady_clock::time_point> due; // when a delayed answer can be read
    };

    std::shared_ptr<DeviceState> _state;
    std::deque<Answer> _answers;
    int _error = 0;
    std::string _error_text;
};

// The value of one line of a faults file, read as its fault wants it. A value
// that does not fit throws SimError naming the file and line.
class FaultValue {
public:
    FaultValue(const fs::path& file, int line, std::string text)
        : _file(file), _line(line), _text(std::move(text)) {}

    const std::string& text() const { return _text; }

    [[noreturn]] void fail(const std::string& what) const {
        throw SimError(quoted(_file) + " line " + std::to_string(_line) + ": " + what);
    }

    bool flag() const {
        const std::optional<bool> parsed = parse_flag(_text);
        if (!parsed)
            fail("\"" + _text + "\" is not 1, 0, yes, no, true or false");
        return *parsed;
    }

    // The number, limited to at most limit.
    std::uint64_t number(std::uint64_t limit = UINT64_MAX) const {
        const std::optional<std::uint64_t> parsed = parse_number(_text);
        if (!parsed)
            fail("\"" + _text + "\" is not a number");
        return std::min(*parsed, limit);
    }

private:
    const fs::path& _file;
    int _line;
    std::string _text;
};

using FaultSetter = void (*)(DeviceState&, const FaultValue&);

// What each name of a faults file sets.
const std::pair<std::string_view, FaultSetter> fault_setters[] = {
    {"absent", [](DeviceState& d, const FaultValue& v) { d.faults.absent = v.flag(); }},
    {"open_fails", [](DeviceState& d, const FaultValue& v) { d.faults.open_fails = v.flag(); }},
    {"permission_denied", [](DeviceState& d, const FaultValue& v) { d.faults.permission_denied = v.flag(); }},
    {"attributes_fail", [](DeviceState& d, const FaultValue& v) { d.faults.attributes_fail = v.flag(); }},
    {"write_fails", [](DeviceState& d, const FaultValue& v) { d.faults.write_fails = v.flag(); }},
    {"write_timeout", [](DeviceState& d, const FaultValue& v) { d.faults.write_timeout = v.flag(); }},
    {"read_timeout", [](DeviceState& d, const FaultValue& v) { d.faults.read_timeout = v.flag(); }},
    {"late_answer", [](DeviceState& d, const FaultValue& v) { d.faults.late_answer = v.flag(); }},
    {"answer_delay",
     [](DeviceState& d, const FaultValue& v) {
         d.faults.answer_delay = std::chrono::milliseconds(v.number(600'000));
     }},
    {"wrong_echo", [](DeviceState& d, const FaultValue& v) { d.faults.wrong_echo = v.flag(); }},
    {"short_read",
     [](DeviceState& d, const FaultValue& v) {
         d.faults.short_read = static_cast<std::size_t>(v.number(fwu::hid_report_size));
     }},
    {"transfer_faults_after",
     [](DeviceState& d, const FaultValue& v) { d.faults.transfer_faults_after = v.number(); }},
    {"readback_difference",
     [](DeviceState& d, const FaultValue& v) {
         d.faults.readback_difference = static_cast<std::size_t>(v.number(flash_size));
     }},
    {"readback_heals_after",
     [](DeviceState& d, const FaultValue& v) {
         if (v.text() == "never")
             d.faults.readback_heals_after.reset();
         else
             d.faults.readback_heals_after = v.number();
     }},
    {"unplug_after", [](DeviceState& d, const FaultValue& v) { d.faults.unplug_after = v.number(); }},
    {"latency_us", [](DeviceState& d,
                      const FaultValue& v) { d.latency = std::chrono::microseconds(v.number(10'000'000)); }},
    {"version",
     [](DeviceState& d, const FaultValue& v) {
         const std::optional<Version> parsed = parse_version(v.text());
         if (!parsed)
             v.fail("\"" + v.text() + "\" is not a version such as 2.4.1");
         d.version = *parsed;
     }},
};

// Applies the lines of a faults file to a device.
void load_faults(const fs::path& file, DeviceState& state) {
    std::istringstream lines(read_text(file));
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        if (auto hash = line.find('#'); hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::string name, value, extra;
        if (!(words >> name))
            continue;
        const bool one_value = (words >> value) && !(words >> extra);
        const FaultValue fault_value(file, number, value);
        if (!one_value)
            fault_value.fail("expected \"name value\"");
        const auto setter = std::find_if(std::begin(fault_setters), std::end(fault_setters),
                                         [&](const auto& entry) { return entry.first == name; });
        if (setter == std::end(fault_setters))
            fault_value.fail("unknown fault \"" + name + "\"");
        setter->second(state, fault_value);
    }
}

} // namespace

SimDevice::SimDevice(std::shared_ptr<DeviceState> state) : _state(std::move(state)) {}

const std::string& SimDevice::path() const {
    return _state->path;
}
std::uint16_t SimDevice::vendor_id() const {
    return _state->vendor_id;
}
std::uint16_t SimDevice::product_id() const {
    return _state->product_id;
}
Flash& SimDevice::flash() {
    return _state->flash;
}
IdMemory& SimDevice::id() {
    return _state->id;
}
Eeprom& SimDevice::eeprom() {
    return _state->eeprom;
}
Faults& SimDevice::faults() {
    return _state->faults;
}
Version& SimDevice::version() {
    return _state->version;
}
void SimDevice::set_latency(std::chrono::microseconds latency) {
    _state->latency = latency;
    _state->frame_origin.reset();
}
const std::vector<Report>& SimDevice::written() const {
    return _state->written;
}
void SimDevice::clear_written() {
    _state->written.clear();
}
const Counters& SimDevice::counters() const {
    return _state->counters;
}
bool SimDevice::unplugged() const {
    return _state->is_unplugged();
}
const std::string& SimDevice::store_error() const {
    return _state->store_error;
}

SimBootloader::SimBootloader() = default;
SimBootloader::~SimBootloader() = default;

SimDevice SimBootloader::add_device(std::uint16_t vendor_id, std::uint16_t product_id, std::string path) {
    auto state = std::make_shared<DeviceState>();
    state->path = path.empty() ? "sim:" + std::to_string(_devices.size()) : std::move(path);
    state->vendor_id = vendor_id;
    state->product_id = product_id;
    _devices.push_back(state);
    return SimDevice(std::move(state));
}

std::size_t SimBootloader::device_count() const {
    return _devices.size();
}

SimDevice SimBootloader::device(std::size_t index) const {
    return SimDevice(_devices.at(index));
}

void SimBootloader::set_enumerate_fails(bool fails) {
    _enumerate_fails = fails;
}

std::optional<std::vector<std::string>> SimBootloader::enumerate(const fwu::Log&) {
    if (_enumerate_fails)
        return std::nullopt;
    std::vector<std::string> paths;
    for (const auto& device : _devices) {
        if (device->present())
            paths.push_back(device->path);
    }
    return paths;
}

std::unique_ptr<fwu::HidDevice> SimBootloader::open(const std::string& path) {
    for (const auto& device : _devices) {
        if (device->path != path)
            continue;
        if (!device->present() || device->faults.open_fails || device->faults.permission_denied)
            return nullptr;
        ++device->counters.opens;
        return std::make_unique<SimHandle>(device);
    }
    return nullptr;
}

std::vector<std::string> SimBootloader::inaccessible(std::uint16_t vendor_id, std::uint16_t product_id,
                                                     const fwu::Log&) {
    std::vector<std::string> paths;
    for (const auto& device : _devices)
        if (device->present() && device->faults.permission_denied && device->vendor_id == vendor_id &&
            device->product_id == product_id)
            paths.push_back(device->path);
    return paths;
}

std::shared_ptr<SimBootloader> SimBootloader::from_folder(const fs::path& folder) {
    std::error_code ec;
    if (!file_exists(folder)) {
        fs::create_directories(folder, ec);
        if (ec)
            throw SimError("cannot create the folder " + quoted(folder) + ": " + ec.message());
    } else if (!fs::is_directory(folder, ec)) {
        throw SimError(quoted(folder) + " is not a folder");
    }

    auto [vendor_id, product_id] = load_usb_id(folder / "usb_id");
    auto backend = std::make_shared<SimBootloader>();
    // Kept absolute: the process may change its current folder between commands.
    fs::path absolute = fs::absolute(folder, ec);
    if (ec)
        absolute = folder;
    backend->add_device(vendor_id, product_id, "sim:" + absolute.string());
    DeviceState& state = *backend->_devices.back();
    load_memory(folder / "flash.bin", state.flash, fresh_flash());
    load_memory(folder / "id.bin", state.id, erased<id_size>());
    load_memory(folder / "eeprom.bin", state.eeprom, erased<eeprom_size>());
    if (file_exists(folder / "faults"))
        load_faults(folder / "faults", state);
    state.folder = absolute;
    return backend;
}

} // namespace sim
