#include "fw_update/fw_update.h"

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "fw_update/buffer/buffer.h"
#include "fw_update/buffer/iterator.h"
#include "fw_update/console.h"
#include "fw_update/errors.h"
#include "fw_update/image/argument_image.h"
#include "fw_update/image/binimage.h"
#include "fw_update/image/cout_image.h"
#include "fw_update/image/intel_hex_image.h"
#include "fw_update/parser.h"
#include "fw_update/pic_bootloader.h"
#include "fw_update/usage.h"

namespace fwu {

bool success = false;

namespace {

const char* const engine_version = "0.2.0";
const char* const close_hint = "\n You may close this window. \n";

// Data commands as bit flags.
constexpr unsigned cmd_write = 0x02;
constexpr unsigned cmd_read = 0x04;
constexpr unsigned cmd_verify = 0x08;
constexpr unsigned cmd_erase = 0x10;

const int region_codes[] = {memory_flash, memory_id, memory_eeprom};

std::uint32_t round_up_8(std::uint32_t n) {
    return n % 8 == 0 ? n : (n | 7u) + 1;
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

// Loads the input image's bytes that fall into a memory's window into a
// buffer of the memory's size filled with 0xFF.
RegionData load_region(int code, const Parameters& parameters) {
    std::uint32_t base = 0;
    std::uint32_t size = 0;
    memory_range(code, base, size);
    RegionData region;
    region.code = code;
    region.buffer = std::make_unique<Buffer>(size, 0xFF);

    // HEX images carry absolute addresses; binary files and immediate data carry offsets.
    const bool absolute = parameters.has(ARG_IMAGE_HEX_IN);
    const std::uint32_t window_base = absolute ? base : 0;

    std::unique_ptr<Image> image;
    if (parameters.has(ARG_IMAGE_BIN_IN))
        image = std::make_unique<BinImage>(parameters.get(ARG_IMAGE_BIN_IN).asString());
    else if (parameters.has(ARG_DATA))
        image = std::make_unique<ArgumentImage>(ARG_DATA, parameters);
    else if (parameters.has(ARG_IMAGE_HEX_IN))
        image = std::make_unique<IntelHexImage>(parameters.get(ARG_IMAGE_HEX_IN).asString());
    else
        throw DEImageAbsent();

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
        region.buffer->write(chunk, n, offset);
        // The data reaches as far as its highest byte, whatever the order of the records.
        if (offset + n > length)
            length = offset + n;
    }
    image->close();
    region.length = round_up_8(length);
    return region;
}

void warn_no_data(int code) {
    err() << "WARNING: No data for memory type = " << memory_name(code) << std::endl;
}

int run(int argc, const char* const* argv) {
    FUUsage usage;
    Parser parser(usage);
    Parameters parameters(usage);
    parser.parse(argc, argv, parameters);

    std::ostream& o = out();
    if (parameters.has(ARG_HELP)) {
        o << "USAGE:\n"
          << "fw_update <COMMAND> [OPTIONS...]\n";
        usage.print();
        o.flush();
        return result_help_or_version;
    }
    if (parameters.has(ARG_VERSION)) {
        o << "fw_update Version: " << engine_version << std::endl;
        PicBootloader bootloader;
        Packet answer{};
        bootloader.version(answer, parameters);
        o << "BootLoader Version"
          << ": " << unsigned(answer[2]) << "." << unsigned(answer[3]) << "." << unsigned(answer[4])
          << std::endl;
        return result_help_or_version;
    }

    unsigned commands = 0;
    if (parameters.has(ARG_WRITE))
        commands |= cmd_write;
    if (parameters.has(ARG_READ))
        commands |= cmd_read;
    if (parameters.has(ARG_VERIFY))
        commands |= cmd_verify;
    if (parameters.has(ARG_ERASE))
        commands |= cmd_erase;

    bool reset = true;
    if (parameters.has(ARG_RESET))
        reset = parameters.get(ARG_RESET).asBool();

    if (commands == 0) {
        o << "At least one command must be specified.\n" << close_hint;
        o.flush();
        return result_no_command;
    }

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

    PicBootloader bootloader;
    const int mask = memory_type_of(parameters);
    const bool all = mask == memory_all;
    const Parameters without_options = parameters.without({ARG_ADDRESS, ARG_SIZE});
    // With memory type all the address and size options take no part in any window.
    const Parameters& range_params = all ? without_options : parameters;

    if (all) {
        if (parameters.has(ARG_ADDRESS))
            err() << "WARNING: argument \"" << parameters.get(ARG_ADDRESS).name()
                  << "\" ignored for memory type = all" << std::endl;
        if (parameters.has(ARG_SIZE))
            err() << "WARNING: argument \"" << parameters.get(ARG_SIZE).name()
                  << "\" ignored for memory type = all" << std::endl;
        if ((commands & cmd_write) && !parameters.has(ARG_IMAGE_HEX_IN)) {
            std::string name;
            if (parameters.has(ARG_IMAGE_BIN_IN))
                name = parameters.get(ARG_IMAGE_BIN_IN).name();
            else if (parameters.has(ARG_DATA))
                name = parameters.get(ARG_DATA).name();
            err() << "Write to memory type ALL supported on HEX images only." << std::endl;
            throw DEBadArgument(name);
        }
    }

    // The input image is loaded, and its windows checked, before the device is
    // touched: a missing, unreadable or misplaced firmware image must never
    // leave a unit erased.
    std::vector<RegionData> inputs_by_region;
    if (commands & (cmd_write | cmd_verify)) {
        bool any_data = false;
        for (int code : region_codes) {
            if (!(mask & code))
                continue;
            RegionData region = load_region(code, parameters);
            if (region.length != 0) {
                std::uint32_t length = region.buffer->size();
                address_range(code, region.length, region.start, region.end, length, range_params);
                any_data = true;
            }
            inputs_by_region.push_back(std::move(region));
        }
        if ((commands & cmd_erase) && (commands & cmd_write) && !any_data) {
            // Nothing to program: erasing now would wipe the unit and report success.
            // Without an erase the memories are left as they are, each with its warning.
            for (const RegionData& region : inputs_by_region)
                warn_no_data(region.code);
            throw DEFileReadFailed();
        }
    }

    if (commands & cmd_read) {
        struct ReadRegion {
            std::uint32_t base;
            std::unique_ptr<Buffer> buffer;
            std::unique_ptr<Iterator> iterator;
        };
        std::vector<ReadRegion> regions;
        for (int code : region_codes) {
            if (!(mask & code))
                continue;
            std::uint32_t base = 0;
            std::uint32_t size = 0;
            memory_range(code, base, size);
            ReadRegion region{base, std::make_unique<Buffer>(size, 0xFF), nullptr};
            std::uint32_t start = 0;
            std::uint32_t end = 0;
            std::uint32_t length = size;
            address_range(code, size, start, end, length, range_params);
            region.iterator = std::make_unique<Iterator>(*region.buffer);
            region.iterator->set_begin(start);
            region.iterator->set_end(end);
            bootloader.read(*region.iterator, memory_name(code), parameters);
            region.iterator->set_begin(start);
            region.iterator->set_end(end);
            regions.push_back(std::move(region));
        }
        std::unique_ptr<Image> image;
        if (parameters.has(ARG_IMAGE_BIN_OUT))
            image = std::make_unique<BinImage>(parameters.get(ARG_IMAGE_BIN_OUT).asString());
        else if (parameters.has(ARG_DATA))
            image = std::make_unique<CoutImage>();
        else if (parameters.has(ARG_IMAGE_HEX_OUT))
            image = std::make_unique<IntelHexImage>(parameters.get(ARG_IMAGE_HEX_OUT).asString());
        else
            throw DEImageAbsent();
        // A binary file holds one memory from its offset 0, as a binary input is
        // loaded; only the memories of type all keep their image addresses apart.
        const bool offsets = parameters.has(ARG_IMAGE_BIN_OUT) && !all;
        image->open(Image::Mode::write);
        for (ReadRegion& region : regions) {
            image->set_address((offsets ? 0 : region.base) + region.iterator->begin());
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

    if (commands & cmd_erase) {
        for (int code : region_codes) {
            if (!(mask & code))
                continue;
            if (code == memory_flash) {
                bootloader.erase(memory_name(code), parameters);
                continue;
            }
            // id and eeprom are erased by programming 0xFF.
            std::uint32_t base = 0;
            std::uint32_t size = 0;
            memory_range(code, base, size);
            std::uint32_t start = 0;
            std::uint32_t end = 0;
            std::uint32_t length = size;
            address_range(code, size, start, end, length, range_params);
            Buffer buffer(size, 0xFF);
            Iterator iterator(buffer);
            iterator.set_begin(start);
            iterator.set_end(size);
            bootloader.write(iterator, memory_name(code), parameters);
        }
    }

    const auto program = [&](bool writing) {
        for (RegionData& region : inputs_by_region) {
            if (region.length == 0) {
                warn_no_data(region.code);
                continue;
            }
            Iterator iterator(*region.buffer);
            iterator.set_begin(region.start);
            iterator.set_end(region.end);
            if (writing)
                bootloader.write(iterator, memory_name(region.code), parameters);
            else
                bootloader.verify(iterator, memory_name(region.code), parameters);
        }
    };
    if (commands & cmd_write)
        program(true);
    if (commands & cmd_verify)
        program(false);

    if (reset) {
        o << "RESET Device" << std::endl;
        bootloader.reset(parameters);
    }

    o << "Operation successfully completed.\n";
    success = true;
    o << close_hint;
    o.flush();
    return result_completed;
}

} // namespace

int fw_update(int argc, const char* const* argv) {
    success = false;
    std::ostream& o = out();
    try {
        return run(argc, argv);
    } catch (const DException& e) {
        o << e.message() << std::endl << "Operation aborted.\n" << close_hint;
    } catch (const EParserException& e) {
        o << e.what() << std::endl << close_hint;
        o.flush();
        success = false;
        return result_argument_error;
    } catch (...) {
        o << "Unknown exception.\n" << close_hint;
        o.flush();
        success = false;
        return result_unknown_error;
    }
    o.flush();
    success = false;
    return result_device_error;
}

} // namespace fwu
