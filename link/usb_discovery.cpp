#include "link/usb_discovery.h"

#include "link/device_setup.h"
#include "logging/guarded.h"

#include <exception>

namespace DADOV {

namespace {

constexpr quint32 kMaxDevicesWalked = 10'000'000;

QString hex4(quint16 v) {
    return QStringLiteral("%1").arg(uint(v), 4, 16, QLatin1Char('0'));
}

// What the registry fallback came to for one device.
struct FallbackResult {
    bool reached = false; // a friendly name that names a port was found
    QString port;         // its extraction, possibly empty
};

bool names_port(const QString& friendlyName, const QString& prefix) {
    return friendlyName.contains(QLatin1Char('(') + prefix) && friendlyName.contains(QLatin1Char(')'));
}

// Looks for the device's port among the registry instances of its identity,
// matched by container ID. Any failure ends the search with nothing.
FallbackResult registry_fallback(DeviceSetup& setup, DeviceList& list, quint32 n,
                                 const QString& registryPath) {
    const QString prefix = setup.portPrefix();
    const std::optional<QUuid> container = list.containerId(n);
    const QString containerText = container ? ContainerIDGUIDToString(*container) : QString();

    std::optional<QStringList> instances;
    {
        const std::unique_ptr<RegistryKey> key = setup.openLocalMachineKey(registryPath);
        if (!key)
            return {};
        instances = key->subKeyNames();
    }
    if (!instances)
        return {};

    for (const QString& name : *instances) {
        const std::unique_ptr<RegistryKey> instance =
            setup.openLocalMachineKey(registryPath + QLatin1Char('\\') + name);
        if (!instance)
            continue;
        const RegistryValue id = instance->value(QStringLiteral("ContainerID"));
        if (id.type != RegistryValue::Type::Text)
            return {}; // a missing or odd value ends the search for this device
        if (id.text.compare(containerText, Qt::CaseInsensitive) != 0)
            continue;
        const RegistryValue friendly = instance->value(QStringLiteral("FriendlyName"));
        if (friendly.type == RegistryValue::Type::Other)
            return {};
        const QString friendlyName = friendly.type == RegistryValue::Type::Text ? friendly.text : QString();
        if (!friendlyName.isEmpty() && names_port(friendlyName, prefix))
            return {true, extract_port_name(friendlyName, prefix)};
    }
    return {};
}

QString query(DeviceSetup& setup, quint16 vendorId, quint16 productId, quint32 position, bool interfaceFlag,
              quint8 interfaceNumber) {
    // Asked at every tick: with no USB device present, nothing else is worked out.
    const std::unique_ptr<DeviceList> list = setup.presentUsbDevices();
    if (!list || !list->hasDevice(0))
        return {};

    QString deviceKey = QStringLiteral("Vid_") + hex4(vendorId) + QStringLiteral("&Pid_") + hex4(productId);
    const QString matchText = deviceKey.toLower();
    if (interfaceFlag)
        deviceKey += QStringLiteral("&MI_%1").arg(uint(interfaceNumber), 2, 10, QLatin1Char('0'));
    const QString registryPath =
        QStringLiteral("SYSTEM\\CurrentControlSet\\Enum\\USB\\") + deviceKey.toUpper();
    const QString prefix = setup.portPrefix();

    quint32 passedOver = 0;
    for (quint32 n = 0; n < kMaxDevicesWalked; ++n) {
        if (!list->hasDevice(n))
            return {};
        const QStringList ids = list->hardwareIds(n);
        if (ids.isEmpty() || !ids.first().toLower().contains(matchText))
            continue;
        if (passedOver != position) {
            ++passedOver;
            continue;
        }
        const QString friendlyName = list->friendlyName(n);
        if (names_port(friendlyName, prefix))
            return extract_port_name(friendlyName, prefix);
        const FallbackResult fallback = registry_fallback(setup, *list, n, registryPath);
        if (fallback.reached)
            return fallback.port;
        // Nothing found for this device: the next matching device takes its place.
    }
    return {};
}

} // namespace

QString ContainerIDGUIDToString(const QUuid& id) {
    QString text = QStringLiteral("{%1-%2-%3-")
                       .arg(id.data1, 8, 16, QLatin1Char('0'))
                       .arg(uint(id.data2), 4, 16, QLatin1Char('0'))
                       .arg(uint(id.data3), 4, 16, QLatin1Char('0'));
    for (int i = 0; i < 8; ++i) {
        if (i == 2)
            text += QLatin1Char('-');
        text += QStringLiteral("%1").arg(uint(id.data4[i]), 2, 16, QLatin1Char('0'));
    }
    text += QLatin1Char('}');
    return text;
}

QString extract_port_name(const QString& friendlyName, const QString& prefix) {
    const qsizetype i = friendlyName.indexOf(prefix);
    const qsizetype j = friendlyName.indexOf(QLatin1Char(')'));
    if (i < 0 || j <= i)
        return {};
    return friendlyName.mid(i, j - i);
}

QString usb_check_if_present_and_get_com_string(DeviceSetup& setup, quint16 vendorId, quint16 productId,
                                                quint32 position, bool interfaceFlag,
                                                quint8 interfaceNumber) {
    try {
        return query(setup, vendorId, productId, position, interfaceFlag, interfaceNumber);
    } catch (...) {
        // A query that fails finds no port; the caller asks again at its next tick.
        log_failure(lcLink(), "usb_check_if_present_and_get_com_string");
        return {};
    }
}

} // namespace DADOV
