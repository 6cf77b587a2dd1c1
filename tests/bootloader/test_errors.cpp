#include "fw_update/errors.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace fwu;

// The device family's messages, each checked once here; the parser family's are
// checked where the parser throws them (test_parser.cpp).

TEST(DeviceErrors, MessagesAreComposedExactly) {
    const std::vector<std::pair<DException, std::string>> cases = {
        {DEArgumentAbsent("vid"), "Argument \"vid \" is required for the selected operation."},
        {DEArgumentMultipleUsage("image"), "Argument \"image\" provided more then once."},
        {DEBadArgument(""), "Wrong argument - \"\"."},
        {DEBadArgument("memory all"), "Wrong argument - \"memory all\"."},
        {DEImageAbsent(), "Image file has to be provided for current operation."},
        {DEBadMemoryType("PIC18", "eeprom"), "Memory type \"eeprom\" is not supported by \"PIC18\" "
                                             "device.\nPlease use \"rvprog -h:PIC18\" to see "
                                             "the list of memory types supported by current device."},
        {DEBadValue("d"), "Bad value provided for \"d\" argument."},
        {DEBadValue("address", 0, 4294967295u),
         "Bad value provided for \"address\" argument.\nValue must be in range from 0 to 4294967295."},
        {DEBadValue("memory", {"flash", "eeprom", "id", "all"}),
         "Bad value provided for \"memory\" argument.\nValid values for this argument "
         "are:\n\tflash\n\teeprom\n\tid\n\tall"},
        {DEBadValue("memory", std::vector<std::string>{}),
         "Bad value provided for \"memory\" argument.\nValid values for this argument are:"},
        {DEDeviceAbsent(), "Device is not found."},
        {DEHidWriteFailed(), "Failed to send HID buffer."},
        {DEHidWriteTimeout(), "HID buffer write timeout."},
        {DEHidReadFailed(), "Failed to read HID buffer."},
        {DEHidReadTimeout(), "HID buffer read timeout."},
        {DEHidResponseIdMismatch(), "HID response ID doesn't correspond to command ID."},
        {DEVerificationFailed(), "Verification failed."},
        {DEFileOpenFailed("a.hex", true), "Failed to open file \"a.hex\"  for reading."},
        {DEFileOpenFailed("out.bin", false), "Failed to open file \"out.bin\"  for writing."},
        {DEFileCloseFailed("a.hex"), "Failed to close file \"a.hex\"."},
        {DEFileReadFailed(), "Failed to read image file."},
        {DEFileWriteFailed(), "Failed to write image file."},
        {DEFileInvalidHexFormat(), "Invalid HEX file format."},
    };
    for (const auto& [error, expected] : cases)
        EXPECT_EQ(error.message(), expected);
}
