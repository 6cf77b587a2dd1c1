#include "fw_update/fw_update.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "fw_update/buffer/buffer.h"
#include "fw_update/buffer/iterator.h"
#include "fw_update/errors.h"
#include "fw_update/image/argument_image.h"
#include "fw_update/image/binimage.h"
#include "fw_update/image/cout_image.h"
#include "fw_update/image/intel_hex_image.h"
#include "fw_update/parser.h"
#include "fw_update/pic_bootloader.h"
#include "fw_update/session.h"
#include "fw_update/usage.h"

namespace fwu {

namespace {

const char* const engine_version = "0.2.0";
const char* const close_hint = "\n You may close this window. \n";

// Data commands as bit flags.
constexpr unsigned cmd_write = 0x02;
constexpr unsigned cmd_read = 0x04;
constexpr unsigned cmd_verify = 0x08;
constexpr unsigned cmd_erase = 0x10;

const int region_codes[] = {memory_flash, memory_id, memory_eeprom};

// What the data commands of one run share: the session, the options, the
// memories chosen, the device and what the run found out.
struct Job {
    Session& session;
    RunResult& result;
    const Parameters& parameters;
    // The options that place a window in a memory: with memory type all, the
    // address and size options take no part in any window.
    const Parameters& range_params;
    int mask;
    bool all;
    PicBootloader& bootloader;

    // Calls f with the code of each chosen memory, in the fixed order.
    template <typename F> void for_each_memory(F f) const {
        for (int code : region_codes)
            if (mask & code)
                f(code);
    }
};

// The window [start, end) of a memory of the given size that the options ask for.
void memory_window(const Job& job, int code, std::uint32_t size, std::uint32_t& start, std::uint32_t& end) {
    std::uint32_t length = size;
    address_range(code, size, start, end, length, job.range_params);
}

// The contents to program into (or verify against) one memory, taken from the
// input image.
struct RegionData {
    int code = 0;
    std::unique_ptr<Buffer> buffer;
    std::uint32_t length = 0; // end offset of the data, rounded up to 8; 0: no data
    std::uint32_t start = 0;  // the window to program and verify
    std::uint32_t end = 0;
};

std::unique_ptr<Image> input_image(const Parameters& parameters, const Log& log) {
    if (parameters.has(ARG_IMAGE_BIN_IN))
        return std::make_unique<BinImage>(parameters.get(ARG_IMAGE_BIN_IN).asString(), log);
    if (parameters.has(ARG_DATA))
        return std::make_unique<ArgumentImage>(ARG_DATA, parameters);
    if (parameters.has(ARG_IMAGE_HEX_IN))
        return std::make_unique<IntelHexImage>(parameters.get(ARG_IMAGE_HEX_IN).asString(), log);
    throw DEImageAbsent();
}

// The immediate-data option as an output is the console dump, whose bytes the
// run's result keeps.
std::unique_ptr<Image> output_image(const Job& job) {
    const Parameters& parameters = job.parameters;
    const Log& log = job.session.log();
    if (parameters.has(ARG_IMAGE_BIN_OUT))
        return std::make_unique<BinImage>(parameters.get(ARG_IMAGE_BIN_OUT).asString(), log);
    if (parameters.has(ARG_DATA))
        return std::make_unique<CoutImage>(job.session.out(), log, job.result.serial,
                                           job.result.serial_index);
    if (parameters.has(ARG_IMAGE_HEX_OUT))
        return std::make_unique<IntelHexImage>(parameters.get(ARG_IMAGE_HEX_OUT).asString(), log);
    throw DEImageAbsent();
}

// Loads the input image's bytes that fall into a memory's window into a
// buffer of the memory's size filled with 0xFF.
RegionData load_region(int code, const Parameters& parameters, const Log& log) {
    std::uint32_t base = 0;
    std::uint32_t size = 0;
    memory_range(code, base, size);
    RegionData region;
    region.code = code;
    region.buffer = std::make_unique<Buffer>(size, 0xFF, log);

    // HEX images carry absolute addresses; binary files and immediate data carry offsets.
    const bool absolute = parameters.has(ARG_IMAGE_HEX_IN);
    const std::uint32_t window_base = absolute ? base : 0;

    std::unique_ptr<Image> image = input_image(parameters, log);
    image->open(Image::Mode::read);
    std::uint8_t chunk[256];
    std::uint32_t length = 0;
    for (;;) {
        std::uint32_t address = 0;
        const std::uint32_t n = image->read(chunk, sizeof chunk, address);
        if (n == 0)
            break;
        if (address < window_base || address - window_base >= size)
            continue;
        const std::uint32_t offset = address - window_base;
        if (std::uint64_t{offset} + n > size)
            FWU_LOG_ERROR(log, "Data from 0x%08X to 0x%08X runs past the end of %s (0x%08X to 0x%08X)",
                          static_cast<unsigned>(base + offset), static_cast<unsigned>(base + offset + n - 1),
                          memory_name(code).c_str(), static_cast<unsigned>(base),
                          static_cast<unsigned>(base + size - 1));
        region.buffer->write(chunk, n, offset); // throws when the data does not fit
        // The data reaches as far as its highest byte, whatever the order of the records.
        if (offset + n > length)
            length = offset + n;
    }
    image->close();
    region.length = round_up_8(length);
    return region;
}

void warn_no_data(Session& session, int code) {
    session.err() << "WARNING: No data for memory type = " << memory_name(code) << std::endl;
}

int print_help(Session& session, const FUUsage& usage) {
    std::ostream& o = session.out();
    o << "USAGE:\n"
      << "fw_update <COMMAND> [OPTIONS...]\n";
    usage.print(o);
    o.flush();
    return result_help_or_version;
}

int print_version(Session& session, const Parameters& parameters) {
    std::ostream& o = session.out();
    o << "fw_update Version: " << engine_version << std::endl;
    PicBootloader bootloader(session, device_identity(parameters));
    Packet answer{};
    bootloader.version(answer);
    o << "BootLoader Version"
      << ": " << unsigned(answer[2]) << "." << unsigned(answer[3]) << "." << unsigned(answer[4]) << std::endl;
    return result_help_or_version;
}

unsigned requested_commands(const Parameters& parameters) {
    unsigned commands = 0;
    if (parameters.has(ARG_WRITE))
        commands |= cmd_write;
    if (parameters.has(ARG_READ))
        commands |= cmd_read;
    if (parameters.has(ARG_VERIFY))
        commands |= cmd_verify;
    if (parameters.has(ARG_ERASE))
        commands |= cmd_erase;
    return commands;
}

// The device's identity is given, and at most one input and one output image.
void check_arguments(const Parameters& parameters, const FUUsage& usage) {
    if (!parameters.has(ARG_VENDORID))
        throw DEArgumentAbsent(usage.get(ARG_VENDORID).shortName);
    if (!parameters.has(ARG_PRODUCTID))
        throw DEArgumentAbsent(usage.get(ARG_PRODUCTID).shortName);

    const int inputs = int(parameters.has(ARG_IMAGE_BIN_IN)) + int(parameters.has(ARG_DATA)) +
                       int(parameters.has(ARG_IMAGE_HEX_IN));
    if (inputs > 1)
        throw DEArgumentMultipleUsage("input image");
    const int outputs = int(parameters.has(ARG_IMAGE_BIN_OUT)) + int(parameters.has(ARG_DATA)) +
                        int(parameters.has(ARG_IMAGE_HEX_OUT));
    if (outputs > 1)
        throw DEArgumentMultipleUsage("output image");
}

// Memory type all: the address and size options are ignored, and only a HEX
// image can be written.
void check_memory_all(Session& session, const Parameters& parameters, unsigned commands) {
    for (int id : {ARG_ADDRESS, ARG_SIZE})
        if (parameters.has(id))
            session.err() << "WARNING: argument \"" << parameters.get(id).name()
                          << "\" ignored for memory type = all" << std::endl;
    if ((commands & cmd_write) && !parameters.has(ARG_IMAGE_HEX_IN)) {
        std::string name;
        if (parameters.has(ARG_IMAGE_BIN_IN))
            name = parameters.get(ARG_IMAGE_BIN_IN).name();
        else if (parameters.has(ARG_DATA))
            name = parameters.get(ARG_DATA).name();
        session.err() << "Write to memory type ALL supported on HEX images only." << std::endl;
        throw DEBadArgument(name);
    }
}

// The input image is loaded, and its windows checked, before the device is
// touched: a missing, unreadable or misplaced firmware image must never leave
// a unit erased.
std::vector<RegionData> load_inputs(const Job& job, unsigned commands) {
    std::vector<RegionData> regions;
    bool any_data = false;
    job.for_each_memory([&](int code) {
        RegionData region = load_region(code, job.parameters, job.session.log());
        // Data that all lies below the default start (the bootloader's own flash) is no data for the
        // window to program, not a size that was never given.
        if (region.length != 0 && region.length <= default_start(code) &&
            !job.range_params.has(ARG_ADDRESS) && !job.range_params.has(ARG_SIZE))
            region.length = 0;
        if (region.length != 0) {
            std::uint32_t length = region.buffer->size();
            address_range(code, region.length, region.start, region.end, length, job.range_params);
            any_data = true;
        }
        regions.push_back(std::move(region));
    });
    if ((commands & cmd_erase) && (commands & cmd_write) && !any_data) {
        // Nothing to program: erasing now would wipe the unit and report success.
        // Without an erase the memories are left as they are, each with its warning.
        for (const RegionData& region : regions)
            warn_no_data(job.session, region.code);
        throw DEFileReadFailed();
    }
    return regions;
}

// One memory as read from the device.
struct ReadRegion {
    std::uint32_t base;
    std::unique_ptr<Buffer> buffer;
    std::unique_ptr<Iterator> iterator;
};

ReadRegion read_region(const Job& job, int code) {
    std::uint32_t base = 0;
    std::uint32_t size = 0;
    memory_range(code, base, size);
    ReadRegion region{base, std::make_unique<Buffer>(size, 0xFF, job.session.log()), nullptr};
    std::uint32_t start = 0;
    std::uint32_t end = 0;
    memory_window(job, code, size, start, end);
    region.iterator = std::make_unique<Iterator>(*region.buffer);
    region.iterator->set_begin(start);
    region.iterator->set_end(end);
    job.bootloader.read(*region.iterator, memory_name(code));
    region.iterator->set_begin(start);
    region.iterator->set_end(end);
    return region;
}

// Reads every chosen memory, then writes them all to the output image.
void read_memories(const Job& job) {
    // The output is chosen first: a read with nowhere to put what it reads is refused before the device
    // is asked. (It is opened once everything is read.)
    std::unique_ptr<Image> image = output_image(job);
    std::vector<ReadRegion> regions;
    job.for_each_memory([&](int code) { regions.push_back(read_region(job, code)); });
    // A binary file of one memory holds it from its offset 0, as a binary input is loaded, so that it
    // writes back; one of memory type all holds what was read of each memory, one after the other.
    const bool binary = job.parameters.has(ARG_IMAGE_BIN_OUT);
    image->open(Image::Mode::write);
    for (ReadRegion& region : regions) {
        if (!binary)
            image->set_address(region.base + region.iterator->begin());
        else if (!job.all)
            image->set_address(region.iterator->begin());
        std::uint8_t chunk[256];
        for (;;) {
            std::uint32_t offset = 0;
            const std::uint32_t n = region.iterator->read(chunk, sizeof chunk, offset);
            if (n == 0)
                break;
            image->write(chunk, n);
        }
    }
    image->close();
}

void erase_memories(const Job& job) {
    job.for_each_memory([&](int code) {
        if (code == memory_flash) {
            job.bootloader.erase(memory_name(code));
            return;
        }
        // id and eeprom are erased by programming 0xFF from the window's start.
        std::uint32_t base = 0;
        std::uint32_t size = 0;
        memory_range(code, base, size);
        std::uint32_t start = 0;
        std::uint32_t end = 0;
        memory_window(job, code, size, start, end);
        Buffer buffer(size, 0xFF, job.session.log());
        Iterator iterator(buffer);
        iterator.set_begin(start);
        iterator.set_end(size);
        job.bootloader.write(iterator, memory_name(code));
    });
}

// Programs (or verifies) the input image's data in each memory's window.
void program_memories(const Job& job, std::vector<RegionData>& regions, bool writing) {
    for (RegionData& region : regions) {
        if (region.length == 0) {
            warn_no_data(job.session, region.code);
            continue;
        }
        Iterator iterator(*region.buffer);
        iterator.set_begin(region.start);
        iterator.set_end(region.end);
        if (writing)
            job.bootloader.write(iterator, memory_name(region.code));
        else
            job.bootloader.verify(iterator, memory_name(region.code));
    }
}

// The data commands in their fixed order, whatever the order of the command line.
void run_commands(const Job& job, unsigned commands) {
    std::vector<RegionData> inputs;
    if (commands & (cmd_write | cmd_verify))
        inputs = load_inputs(job, commands);
    if (commands & cmd_read)
        read_memories(job);
    if (commands & cmd_erase)
        erase_memories(job);
    if (commands & cmd_write)
        program_memories(job, inputs, true);
    if (commands & cmd_verify)
        program_memories(job, inputs, false);
}

// The run up to its result code; the errors that end it early pass on.
int execute(Session& session, RunResult& result, int argc, const char* const* argv) {
    FUUsage usage;
    Parser parser(usage);
    Parameters parameters(usage);
    parser.parse(argc, argv, parameters);

    if (parameters.has(ARG_HELP))
        return print_help(session, usage);
    if (parameters.has(ARG_VERSION))
        return print_version(session, parameters);

    const unsigned commands = requested_commands(parameters);
    bool reset = true;
    if (parameters.has(ARG_RESET))
        reset = parameters.get(ARG_RESET).asBool();

    std::ostream& o = session.out();
    if (commands == 0) {
        o << "At least one command must be specified.\n" << close_hint;
        o.flush();
        return result_no_command;
    }
    check_arguments(parameters, usage);

    PicBootloader bootloader(session, device_identity(parameters));
    const int mask = memory_type_of(parameters);
    const bool all = mask == memory_all;
    const Parameters without_options = parameters.without({ARG_ADDRESS, ARG_SIZE});
    if (all)
        check_memory_all(session, parameters, commands);
    run_commands(Job{session, result, parameters, all ? without_options : parameters, mask, all, bootloader},
                 commands);

    if (reset) {
        o << "RESET Device" << std::endl;
        bootloader.reset();
    }
    o << "Operation successfully completed.\n";
    result.success = true;
    o << close_hint;
    o.flush();
    return result_completed;
}

} // namespace

RunResult run(Session& session, int argc, const char* const* argv) {
    RunResult result;
    std::ostream& o = session.out();
    try {
        result.code = execute(session, result, argc, argv);
        return result;
    } catch (const DException& e) {
        o << e.message() << std::endl << "Operation aborted.\n" << close_hint;
        result.code = result_device_error;
    } catch (const EParserException& e) {
        o << e.what() << std::endl << close_hint;
        result.code = result_argument_error;
    } catch (...) {
        o << "Unknown exception.\n" << close_hint;
        result.code = result_unknown_error;
    }
    o.flush();
    result.success = false;
    return result;
}

} // namespace fwu
