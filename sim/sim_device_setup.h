#pragma once

// A device-setup layer with no system under it: the USB devices that simulate mode plugs in, held in
// memory. Simulate mode uses it where there is no sysfs tree to fake (Windows); each serial device is
// named after its port as the serial driver names it ("USB Serial Device (COM9)") and has no registry
// key, so discovery finds its port by its friendly name.

#include "link/device_setup.h"

#include <QString>
#include <QUuid>

#include <memory>
#include <mutex>
#include <vector>

namespace sim {

// The plugged devices, shared by simulate mode (which plugs and unplugs them) and every device setup
// made over them (the window's discovery); safe across threads.
class SimUsbDevices {
public:
    struct Device {
        quint16 vendorId = 0;
        quint16 productId = 0;
        quint16 bcdDevice = 0;
        QString port; // the port it serves ("COM9"); empty for none
        QUuid containerId;
    };

    // Plugs a device in at the end of the list; returns its handle for unplug().
    int plug(const Device& device);
    void unplug(int handle);
    std::vector<Device> present() const;

private:
    mutable std::mutex _m;
    std::vector<std::pair<int, Device>> _devices;
    int _next = 1;
};

class SimDeviceSetup : public DADOV::DeviceSetup {
public:
    SimDeviceSetup(std::shared_ptr<const SimUsbDevices> devices, QString portPrefix);

    std::unique_ptr<DADOV::DeviceList> presentUsbDevices() override;
    std::unique_ptr<DADOV::RegistryKey> openLocalMachineKey(const QString& path) override;
    QString portPrefix() const override;

private:
    std::shared_ptr<const SimUsbDevices> _devices;
    QString _portPrefix;
};

} // namespace sim
