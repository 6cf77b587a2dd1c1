#include "fw_update/usage.h"

#include "fw_update/errors.h"

#include <cctype>
#include <ostream>
#include <stdexcept>

namespace fwu {

bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

Usage::~Usage() = default;

void Usage::add(const ArgumentDescriptor& descriptor) {
    _descriptors.push_back(descriptor);
}

const ArgumentDescriptor& Usage::get(int id) const {
    for (const auto& d : _descriptors) {
        if (d.id == id)
            return d;
    }
    throw std::invalid_argument("Invalid descriptor ID");
}

const ArgumentDescriptor& Usage::find(const std::string& name) const {
    if (!name.empty()) {
        for (const auto& d : _descriptors) {
            if (same_name(d.shortName, name) || same_name(d.longName, name))
                return d;
        }
    }
    throw EBadArgument(name);
}

namespace {

void print_descriptor(std::ostream& os, const ArgumentDescriptor& d) {
    if (!d.shortName.empty())
        os << '-' << d.shortName << ' ';
    if (!d.longName.empty())
        os << '-' << d.longName << ' ';
    if (d.valueKind == 1)
        os << " [" << d.valueName << ']';
    else if (d.valueKind == 2)
        os << " <" << d.valueName << '>';
    os << "\n\t" << d.description << '\n';
    if (!d.defaultValue.empty())
        os << "\tDefault: " << d.defaultValue << '\n';
}

} // namespace

void Usage::print(std::ostream& os) const {
    os << "COMMANDS:\n";
    for (const auto& d : _descriptors) {
        if (d.isOption == 0)
            print_descriptor(os, d);
    }
    os << "OPTIONS:\n";
    for (const auto& d : _descriptors) {
        if (d.isOption == 1)
            print_descriptor(os, d);
    }
}

FUUsage::FUUsage() {
    const ArgumentDescriptor table[] = {
        {ARG_WRITE, "w", "write", 0, "", "Write data to device.", 0, ""},
        {ARG_READ, "r", "read", 0, "", "Read data from device.", 0, ""},
        {ARG_VERIFY, "v", "verify", 0, "", "Verify device memory.", 0, ""},
        {ARG_ERASE, "e", "erase", 0, "", "Erase device memory.", 0, ""},
        {ARG_VERSION, "ver", "version", 0, "", "Display versions of fw_update and BootLoader if present.", 0,
         ""},
        {ARG_HELP, "h", "help", 0, "", "Print this message.", 0, ""},
        {ARG_MEMORY, "m", "memory", 2, "MEMMORY TYPE",
         "Memory type for read, write and verify operations.\n\tPossible values: flash, eeprom, id, all.", 1,
         "flash"},
        {ARG_VENDORID, "vid", "vendorid", 2, "VID", "Device vendor ID.", 1, ""},
        {ARG_PRODUCTID, "pid", "productid", 2, "PID", "Device product ID.", 1, ""},
        {ARG_RESET, "t", "reset", 2, "YES | NO", "Reset device after operation is finished.", 1, "YES"},
        {ARG_SIZE, "s", "size", 2, "SIZE", "The data size for read, write and verify operations.", 1, ""},
        {ARG_ADDRESS, "a", "address", 2, "ADDR",
         "The start address for read, write and verify operations.\n\tDefault: 0x800 for flash, 0x00 for "
         "other "
         "memory types.",
         1, ""},
        {ARG_IMAGE_HEX_IN, "ix", "image_hex_in", 2, "FILE_NAME",
         "Image file in Intel Hex Format for write and verify operations.", 1, ""},
        {ARG_IMAGE_BIN_IN, "ib", "image_bin_in", 2, "FILE_NAME",
         "Image file in Binary Format for write and verify operations.", 1, ""},
        {ARG_IMAGE_HEX_OUT, "ox", "image_hex_out", 2, "FILE_NAME",
         "Image file in Intel Hex Format for read operation to save data.", 1, ""},
        {ARG_IMAGE_BIN_OUT, "ob", "image_bin_out", 2, "FILE_NAME",
         "Image file in Binary Format for read operation to save data.", 1, ""},
        {ARG_DATA, "d", "data", 1, "DATA",
         "Immediate mode - actual byte(s) specified in the command line.\n\tData for write and verify "
         "operations "
         "must be provided\n\tas string of two hex digits per byte (like 01202040ac).\n\tFor read operation "
         "data "
         "is printed on screen.",
         1, ""},
    };
    for (const auto& d : table)
        add(d);
}

} // namespace fwu
