#include "link/device_setup.h"

namespace DADOV {

DeviceList::~DeviceList() = default;
RegistryKey::~RegistryKey() = default;
DeviceSetup::~DeviceSetup() = default;

QString DeviceSetup::portPrefix() const {
    return QStringLiteral("COM");
}

} // namespace DADOV
