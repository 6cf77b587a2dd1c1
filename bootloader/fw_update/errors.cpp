#include "fw_update/errors.h"

#include <utility>

namespace fwu {

namespace {

std::string bad_value(const std::string& name) {
    return "Bad value provided for \"" + name + "\" argument.";
}

std::string bad_value_range(const std::string& name, std::uint32_t min, std::uint32_t max) {
    return bad_value(name) + "\nValue must be in range from " + std::to_string(min) + " to " +
           std::to_string(max) + ".";
}

std::string bad_value_list(const std::string& name, const std::vector<std::string>& valid_values) {
    std::string message = bad_value(name) + "\nValid values for this argument are:";
    for (const auto& value : valid_values) {
        message += "\n\t";
        message += value;
    }
    return message;
}

} // namespace

DException::DException(std::string message) : _message(std::move(message)) {}
DException::~DException() = default;

DEArgumentAbsent::DEArgumentAbsent(const std::string& name)
    : DException("Argument \"" + name + " \" is required for the selected operation.") {}
DEArgumentAbsent::~DEArgumentAbsent() = default;

DEArgumentMultipleUsage::DEArgumentMultipleUsage(const std::string& what)
    : DException("Argument \"" + what + "\" provided more then once.") {}
DEArgumentMultipleUsage::~DEArgumentMultipleUsage() = default;

DEBadArgument::DEBadArgument(const std::string& text) : DException("Wrong argument - \"" + text + "\".") {}
DEBadArgument::~DEBadArgument() = default;

DEImageAbsent::DEImageAbsent() : DException("Image file has to be provided for current operation.") {}
DEImageAbsent::~DEImageAbsent() = default;

DEBadMemoryType::DEBadMemoryType(const std::string& device, const std::string& memory)
    : DException("Memory type \"" + memory + "\" is not supported by \"" + device +
                 "\" device.\nPlease use \"rvprog -h:" + device +
                 "\" to see the list of memory types supported by current device.") {}
DEBadMemoryType::~DEBadMemoryType() = default;

DEBadValue::DEBadValue(const std::string& name) : DException(bad_value(name)) {}
DEBadValue::DEBadValue(const std::string& name, std::uint32_t min, std::uint32_t max)
    : DException(bad_value_range(name, min, max)) {}
DEBadValue::DEBadValue(const std::string& name, const std::vector<std::string>& valid_values)
    : DException(bad_value_list(name, valid_values)) {}
DEBadValue::~DEBadValue() = default;

DEDeviceAbsent::DEDeviceAbsent() : DException("Device is not found.") {}
DEDeviceAbsent::~DEDeviceAbsent() = default;

DEHidWriteFailed::DEHidWriteFailed() : DException("Failed to send HID buffer.") {}
DEHidWriteFailed::~DEHidWriteFailed() = default;

DEHidWriteTimeout::DEHidWriteTimeout() : DException("HID buffer write timeout.") {}
DEHidWriteTimeout::~DEHidWriteTimeout() = default;

DEHidReadFailed::DEHidReadFailed() : DException("Failed to read HID buffer.") {}
DEHidReadFailed::~DEHidReadFailed() = default;

DEHidReadTimeout::DEHidReadTimeout() : DException("HID buffer read timeout.") {}
DEHidReadTimeout::~DEHidReadTimeout() = default;

DEHidResponseIdMismatch::DEHidResponseIdMismatch()
    : DException("HID response ID doesn't correspond to command ID.") {}
DEHidResponseIdMismatch::~DEHidResponseIdMismatch() = default;

DEVerificationFailed::DEVerificationFailed() : DException("Verification failed.") {}
DEVerificationFailed::~DEVerificationFailed() = default;

DEFileOpenFailed::DEFileOpenFailed(const std::string& file, bool for_reading)
    : DException("Failed to open file \"" + file + "\"  for " + (for_reading ? "reading." : "writing.")) {}
DEFileOpenFailed::~DEFileOpenFailed() = default;

DEFileCloseFailed::DEFileCloseFailed(const std::string& file)
    : DException("Failed to close file \"" + file + "\".") {}
DEFileCloseFailed::~DEFileCloseFailed() = default;

DEFileReadFailed::DEFileReadFailed() : DException("Failed to read image file.") {}
DEFileReadFailed::~DEFileReadFailed() = default;

DEFileWriteFailed::DEFileWriteFailed() : DException("Failed to write image file.") {}
DEFileWriteFailed::~DEFileWriteFailed() = default;

DEFileInvalidHexFormat::DEFileInvalidHexFormat() : DException("Invalid HEX file format.") {}
DEFileInvalidHexFormat::~DEFileInvalidHexFormat() = default;

EParserException::EParserException(std::string message)
    : std::runtime_error(""), _message(std::move(message)) {}
EParserException::~EParserException() = default;
const char* EParserException::what() const noexcept {
    return _message.c_str();
}

EBadArgument::EBadArgument(const std::string& text)
    : EParserException("Wrong argument - \"" + text + "\".") {}
EBadArgument::~EBadArgument() = default;

EArgumentMultipleUsage::EArgumentMultipleUsage(const std::string& name)
    : EParserException("Argument \"" + name + "\" is provided more then once.") {}
EArgumentMultipleUsage::~EArgumentMultipleUsage() = default;

EArgumentAbsent::EArgumentAbsent(const std::string& name)
    : EParserException("Argument \"" + name + "\" is required for the selected operation.") {}
EArgumentAbsent::~EArgumentAbsent() = default;

EValueAbsent::EValueAbsent(const std::string& name)
    : EParserException("Value not provided for \"" + name + "\".") {}
EValueAbsent::~EValueAbsent() = default;

EBadValue::EBadValue(const std::string& name) : EParserException(bad_value(name)) {}
EBadValue::EBadValue(const std::string& name, std::uint32_t min, std::uint32_t max)
    : EParserException(bad_value_range(name, min, max)) {}
EBadValue::~EBadValue() = default;

} // namespace fwu
