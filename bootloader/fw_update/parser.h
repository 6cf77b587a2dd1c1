#pragma once

#include "fw_update/usage.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace fwu {

// One argument as given on the command line (or defaulted), with typed
// conversions that throw the parser family of errors.
class Argument {
public:
    Argument(std::int32_t id, std::string value, std::string name);

    std::int32_t id() const { return _id; }
    const std::string& value() const { return _value; }
    // The name as typed (for a defaulted argument, the long name).
    const std::string& name() const { return _name; }

    // The value; EValueAbsent when empty.
    std::string asString() const;
    // The value as a number in C notation (0x.. hexadecimal, 0.. octal,
    // otherwise decimal); EValueAbsent when empty, EBadValue when it is not a
    // whole number or out of range.
    std::uint32_t asUInt32() const;
    std::uint16_t asUInt16() const;
    // yes/y/true/enable or no/n/false/disable, in any case; EBadValue otherwise.
    bool asBool() const;

private:
    std::int32_t _id;
    std::string _value;
    std::string _name;
};

// The arguments of one command line, queried by id. Arguments that were not
// given count as present with their default value when the table has one.
class Parameters {
public:
    explicit Parameters(const Usage& usage);
    Parameters(const Parameters&) = default;
    Parameters& operator=(const Parameters&) = default;
    virtual ~Parameters();

    // Records an argument by name (either name, any case). Throws EBadArgument
    // for an unknown name and EArgumentMultipleUsage when it was given before.
    // An empty value takes the default.
    void add(const std::string& name, const std::string& value);

    bool has(int id) const;
    // Throws EArgumentAbsent when the argument was neither given nor has a default.
    Argument get(int id) const;

    // Copy without the given ids (the driver drops address and size for memory type all).
    Parameters without(std::initializer_list<int> ids) const;

    // The recorded arguments in command-line order.
    const std::vector<Argument>& arguments() const { return _arguments; }

private:
    Usage _usage;
    std::vector<Argument> _arguments;
};

// Walks an argument vector: every element is "-name", "-name=value" or
// "-name" followed by a value element that does not start with a dash.
class Parser {
public:
    explicit Parser(const Usage& usage);
    virtual ~Parser();

    // Element 0 (the program name) is skipped.
    void parse(int argc, const char* const* argv, Parameters& parameters);

private:
    Usage _usage;
};

} // namespace fwu
