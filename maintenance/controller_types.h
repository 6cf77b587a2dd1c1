#pragma once

// The controller types the firmware page offers, with the USB identities of their two MCUs' bootloaders
// and the names of their firmware files. The one table for the update, the ID read and simulate mode.

#include <QString>

#include <cstdint>

namespace DADOV {

inline constexpr std::uint16_t bootloader_vendor_id = 0x04d8;

struct ControllerType {
    std::uint16_t main_pid;
    const char* main_file; // the working file's name
    std::uint16_t super_pid;
    const char* super_file;
    const char* rejection_name; // names the type in the rejection messages
};

// Indexed by the page's `type`: 0 V2 Digital/Analog, 1 Analog, 2 V1 Digital/Analog.
inline constexpr ControllerType controller_types[] = {
    {0xff01, "q5_mainV2.vmk", 0xff03, "q5_superV2.vmk", "V2 Digital/Analog(after 7/23) dual mode"},
    {0xff04, "q5_main.vmk", 0xff06, "q5_super.vmk", "Analog"},
    {0xff05, "q5_mainD.vmk", 0xff07, "q5_superD.vmk", "Digital/Analog dual mode"},
};

// The type of that index; throws std::out_of_range for any other.
const ControllerType& controller_type(int type);

// A vendor or product ID as the engine's -vid and -pid options take it: "0x04d8", "0xff01".
QString id_option(std::uint16_t id);

} // namespace DADOV
