#pragma once

// The USB devices the window under test finds. On Linux a fake sysfs tree, which lives with the simulator
// (simulate mode uses it at run time); on Windows the devices held in memory that simulate mode uses there,
// each serial device named after its port ("USB Serial Device (COM3)").

#include "link/device_setup.h"

#include <memory>

#ifdef Q_OS_WIN
#include "sim/sim_device_setup.h"

#include <QHash>
#include <QStringList>
#else
#include "sim/fake_sysfs.h"
#endif

namespace testsupport {

#ifdef Q_OS_WIN
class FakeSysfs {
public:
    // Plugs a device in serving the first of `ports`, and returns its name ("1-1", "1-2", ...) for
    // removeDevice(). The product string is not part of what Windows' discovery reads.
    QString addDevice(quint16 vendorId, quint16 productId, quint16 bcdDevice, const QString& product,
                      const QStringList& ports = {}, const QString& name = {}) {
        (void)product;
        const QString given = name.isEmpty() ? QStringLiteral("1-%1").arg(++m_count) : name;
        m_handles.insert(given, m_devices->plug({vendorId, productId, bcdDevice, ports.value(0),
                                                 QUuid::createUuidV5(QUuid(), given)}));
        return given;
    }
    void removeDevice(const QString& name) { m_devices->unplug(m_handles.take(name)); }

    std::unique_ptr<DADOV::DeviceSetup> deviceSetup() const {
        return std::make_unique<sim::SimDeviceSetup>(m_devices, QStringLiteral("COM"));
    }

private:
    std::shared_ptr<sim::SimUsbDevices> m_devices = std::make_shared<sim::SimUsbDevices>();
    QHash<QString, int> m_handles;
    int m_count = 0;
};
#else
using sim::FakeSysfs;
#endif

// Discovery over the devices of `sysfs`.
inline std::unique_ptr<DADOV::DeviceSetup> device_setup_of(const FakeSysfs& sysfs) {
#ifdef Q_OS_WIN
    return sysfs.deviceSetup();
#else
    return std::make_unique<DADOV::SysfsDeviceSetup>(sysfs.root());
#endif
}

} // namespace testsupport
