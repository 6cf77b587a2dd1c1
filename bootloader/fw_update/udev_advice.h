#pragma once

#include <string>

namespace fwu {

// What a Linux user who may not open the controller's devices is to do, ending "and plug the <what> in
// again." The one text for the engine's HINT line (the bootloader) and the window's status hint (the
// serial port).
std::string udev_rules_advice(const std::string& what);

} // namespace fwu
