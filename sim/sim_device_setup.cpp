#include "sim/sim_device_setup.h"

namespace sim {

namespace {

// The devices as they were when the list was asked for.
class SimDeviceList : public DADOV::DeviceList {
public:
    explicit SimDeviceList(std::vector<SimUsbDevices::Device> devices) : _devices(std::move(devices)) {}

    bool hasDevice(quint32 n) override { return n < _devices.size(); }

    QStringList hardwareIds(quint32 n) override {
        if (n >= _devices.size())
            return {};
        const SimUsbDevices::Device& d = _devices[n];
        return DADOV::usb_hardware_ids(d.vendorId, d.productId, d.bcdDevice);
    }

    QString friendlyName(quint32 n) override {
        if (n >= _devices.size() || _devices[n].port.isEmpty())
            return {};
        return DADOV::serial_port_friendly_name(_devices[n].port);
    }

    std::optional<QUuid> containerId(quint32 n) override {
        if (n >= _devices.size())
            return std::nullopt;
        return _devices[n].containerId;
    }

private:
    std::vector<SimUsbDevices::Device> _devices;
};

} // namespace

int SimUsbDevices::plug(const Device& device) {
    std::lock_guard lock(_m);
    _devices.emplace_back(_next, device);
    return _next++;
}

void SimUsbDevices::unplug(int handle) {
    std::lock_guard lock(_m);
    std::erase_if(_devices, [handle](const auto& entry) { return entry.first == handle; });
}

std::vector<SimUsbDevices::Device> SimUsbDevices::present() const {
    std::lock_guard lock(_m);
    std::vector<Device> devices;
    devices.reserve(_devices.size());
    for (const auto& entry : _devices)
        devices.push_back(entry.second);
    return devices;
}

SimDeviceSetup::SimDeviceSetup(std::shared_ptr<const SimUsbDevices> devices, QString portPrefix)
    : _devices(std::move(devices)), _portPrefix(std::move(portPrefix)) {}

std::unique_ptr<DADOV::DeviceList> SimDeviceSetup::presentUsbDevices() {
    return std::make_unique<SimDeviceList>(_devices->present());
}

std::unique_ptr<DADOV::RegistryKey> SimDeviceSetup::openLocalMachineKey(const QString&) {
    return nullptr; // no registry: every simulated port is named by its device's friendly name
}

QString SimDeviceSetup::portPrefix() const {
    return _portPrefix;
}

} // namespace sim
