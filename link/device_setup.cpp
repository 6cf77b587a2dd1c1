#include "link/device_setup.h"

namespace DADOV {

DeviceList::~DeviceList() = default;
RegistryKey::~RegistryKey() = default;
DeviceSetup::~DeviceSetup() = default;

namespace {

QString hex4_upper(quint16 v) {
    return QStringLiteral("%1").arg(uint(v), 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QStringList usb_hardware_ids(quint16 vendorId, quint16 productId, std::optional<quint16> revision) {
    const QString base =
        QStringLiteral("USB\\VID_") + hex4_upper(vendorId) + QStringLiteral("&PID_") + hex4_upper(productId);
    if (!revision)
        return {base};
    return {base + QStringLiteral("&REV_") + hex4_upper(*revision), base};
}

QString serial_port_friendly_name(const QString& port) {
    return QStringLiteral("USB Serial Device (") + port + QLatin1Char(')');
}

QString DeviceSetup::portPrefix() const {
    return QStringLiteral("COM");
}

} // namespace DADOV
