#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace fwu {

// Ids of the engine's commands and options.
enum ArgumentId : int {
    ARG_WRITE = 1,
    ARG_READ,
    ARG_VERIFY,
    ARG_ERASE,
    ARG_VERSION,
    ARG_HELP,
    ARG_MEMORY,
    ARG_VENDORID,
    ARG_PRODUCTID,
    ARG_RESET,
    ARG_DATA,
    ARG_SIZE,
    ARG_ADDRESS,
    ARG_IMAGE_HEX_IN,
    ARG_IMAGE_BIN_IN,
    ARG_IMAGE_HEX_OUT,
    ARG_IMAGE_BIN_OUT
};

// One command or option of the command line.
struct ArgumentDescriptor {
    std::int32_t id;
    std::string shortName;
    std::string longName;
    std::int32_t valueKind; // 0 no value, 1 optional value, 2 required value (help text only)
    std::string valueName;
    std::string description;  // "\n\t" continues on an indented line
    std::int32_t isOption;    // 0 command, 1 option
    std::string defaultValue; // empty: no default
};

// Two argument names are equal when they have the same length and agree
// character by character after upper-casing; there is no prefix matching.
bool same_name(const std::string& a, const std::string& b);

// The table of commands and options, in registration order.
class Usage {
public:
    Usage() = default;
    Usage(const Usage&) = default;
    Usage& operator=(const Usage&) = default;
    virtual ~Usage();

    void add(const ArgumentDescriptor& descriptor);

    // The descriptor with this id; an unknown id is a programming error and
    // throws std::invalid_argument "Invalid descriptor ID".
    const ArgumentDescriptor& get(int id) const;

    // The first descriptor whose short or long name equals the name (ignoring
    // case); throws EBadArgument with the name when there is none.
    const ArgumentDescriptor& find(const std::string& name) const;

    // Writes the "COMMANDS:" and "OPTIONS:" sections of the help text to os.
    void print(std::ostream& os) const;

    const std::vector<ArgumentDescriptor>& descriptors() const { return _descriptors; }

private:
    std::vector<ArgumentDescriptor> _descriptors;
};

// The fw_update table.
class FUUsage : public Usage {
public:
    FUUsage();
};

} // namespace fwu
