#include "fw_update/udev_advice.h"

namespace fwu {

std::string udev_rules_advice(const std::string& what) {
    return "Install the udev rules 70-q5-controller.rules (from the package in /usr/lib/udev/rules.d, or "
           "from "
           "packaging/linux in the source tree) into /etc/udev/rules.d, run \"sudo udevadm control "
           "--reload-rules && sudo udevadm trigger\" and plug the " +
           what + " in again.";
}

} // namespace fwu
