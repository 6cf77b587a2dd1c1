#include "fw_update/parser.h"

#include "fw_update/errors.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <utility>

namespace fwu {

Argument::Argument(std::int32_t id, std::string value, std::string name)
    : _id(id), _value(std::move(value)), _name(std::move(name)) {}

std::string Argument::asString() const {
    if (_value.empty())
        throw EValueAbsent(_name);
    return _value;
}

std::uint32_t Argument::asUInt32() const {
    constexpr std::uint32_t max = std::numeric_limits<std::uint32_t>::max();
    if (_value.empty())
        throw EValueAbsent(_name);

    // The C conversion in automatic base, with the 32-bit result of an
    // unsigned long of that width: a minus sign negates modulo 2^32 and a
    // magnitude above 32 bits is a range error, whatever the host's long is.
    const char* text = _value.c_str();
    char* end = nullptr;
    errno = 0;
    unsigned long long number = std::strtoull(text, &end, 0);
    const bool range_error = errno == ERANGE;
    if (end != text + _value.size() || end == text || range_error)
        throw EBadValue(_name, 0, max);

    const char* first = text;
    while (std::isspace(static_cast<unsigned char>(*first)))
        ++first;
    if (*first == '-') {
        unsigned long long magnitude = 0ULL - number;
        if (magnitude > max)
            throw EBadValue(_name, 0, max);
        return static_cast<std::uint32_t>(0U - static_cast<std::uint32_t>(magnitude));
    }
    if (number > max)
        throw EBadValue(_name, 0, max);
    return static_cast<std::uint32_t>(number);
}

std::uint16_t Argument::asUInt16() const {
    std::uint32_t number = asUInt32();
    if (number > std::numeric_limits<std::uint16_t>::max())
        throw EBadValue(_name, 0, std::numeric_limits<std::uint16_t>::max());
    return static_cast<std::uint16_t>(number);
}

bool Argument::asBool() const {
    if (_value.empty())
        throw EValueAbsent(_name);
    for (const char* yes : {"yes", "y", "true", "enable"}) {
        if (same_name(_value, yes))
            return true;
    }
    for (const char* no : {"no", "n", "false", "disable"}) {
        if (same_name(_value, no))
            return false;
    }
    throw EBadValue(_name);
}

Parameters::Parameters(const Usage& usage) : _usage(usage) {}
Parameters::~Parameters() = default;

void Parameters::add(const std::string& name, const std::string& value) {
    const ArgumentDescriptor& d = _usage.find(name);
    for (const auto& a : _arguments) {
        if (a.id() == d.id)
            throw EArgumentMultipleUsage(name);
    }
    _arguments.emplace_back(d.id, value.empty() ? d.defaultValue : value, name);
}

bool Parameters::has(int id) const {
    for (const auto& a : _arguments) {
        if (a.id() == id)
            return true;
    }
    return !_usage.get(id).defaultValue.empty();
}

Argument Parameters::get(int id) const {
    for (const auto& a : _arguments) {
        if (a.id() == id)
            return a;
    }
    const ArgumentDescriptor& d = _usage.get(id);
    if (!d.defaultValue.empty())
        return Argument(id, d.defaultValue, d.longName);
    throw EArgumentAbsent(d.longName.empty() ? d.shortName : d.longName);
}

Parameters Parameters::without(std::initializer_list<int> ids) const {
    Parameters copy(*this);
    std::erase_if(copy._arguments,
                  [&](const Argument& a) { return std::find(ids.begin(), ids.end(), a.id()) != ids.end(); });
    return copy;
}

Parser::Parser(const Usage& usage) : _usage(usage) {}
Parser::~Parser() = default;

void Parser::parse(int argc, const char* const* argv, Parameters& parameters) {
    if (argv == nullptr)
        return;
    for (int i = 1; i < argc; ++i) {
        const std::string token = argv[i] != nullptr ? argv[i] : "";
        if (token.empty() || token[0] != '-')
            throw EBadArgument(token);

        std::string name;
        std::string value;
        const std::size_t equals = token.find('=');
        if (equals != std::string::npos) {
            name = token.substr(1, equals - 1);
            value = token.substr(equals + 1);
        } else {
            name = token.substr(1);
            if (i + 1 < argc && argv[i + 1] != nullptr && argv[i + 1][0] != '-') {
                value = argv[i + 1];
                ++i;
            }
        }
        parameters.add(name, value);
    }
}

} // namespace fwu
