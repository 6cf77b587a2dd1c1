#pragma once

// The device-setup layer that discovery of the controller's serial port runs
// over: the list of present USB devices with their properties, and the device
// registry with one key per device instance. The discovery logic
// (usb_discovery.h) sees only these operations; SysfsDeviceSetup provides them
// on Linux, SetupApiDeviceSetup on Windows, tests provide scripted ones.

#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>
#include <optional>
#include <string>

namespace DADOV {

// A snapshot of the present USB devices, walked by index in enumeration order.
// Released (with everything it holds) when the object is destroyed.
class DeviceList {
public:
    virtual ~DeviceList();

    // True when there is a device at index n; false at the end of the list or
    // when the device cannot be reached.
    virtual bool hasDevice(quint32 n) = 0;
    // The device's hardware IDs, most specific first; empty when they cannot
    // be read.
    virtual QStringList hardwareIds(quint32 n) = 0;
    // The device's friendly name; empty when it cannot be read.
    virtual QString friendlyName(quint32 n) = 0;
    // The device's container ID; nothing when it cannot be read.
    virtual std::optional<QUuid> containerId(quint32 n) = 0;
};

// The hardware IDs a USB device gets from its identity, most specific first:
// "USB\VID_12BF&PID_F010&REV_0100", then "USB\VID_12BF&PID_F010" (only that one
// when the revision is unknown).
QStringList usb_hardware_ids(quint16 vendorId, quint16 productId, std::optional<quint16> revision);

// The name the serial driver gives a port it serves: "USB Serial Device (COM9)".
// Fixed text and the port, nothing the device chose (a product string may hold
// ")" or "tty", which would mislead the port-name rules).
QString serial_port_friendly_name(const QString& port);

// One value of a registry key.
struct RegistryValue {
    enum class Type { Missing, Text, Other };
    Type type = Type::Missing;
    QString text; // set for Type::Text

    static RegistryValue missing() { return {}; }
    static RegistryValue ofText(const QString& t) { return {Type::Text, t}; }
    static RegistryValue other() { return {Type::Other, {}}; }
};

// An open registry key; closed when the object is destroyed.
class RegistryKey {
public:
    virtual ~RegistryKey();

    // Names of the key's subkeys in the registry's order; nothing on a
    // registry error.
    virtual std::optional<QStringList> subKeyNames() = 0;
    // The value `name` (value names are compared without regard to case).
    virtual RegistryValue value(const QString& name) = 0;
};

class DeviceSetup {
public:
    virtual ~DeviceSetup();

    // The present USB devices; null when the list cannot be obtained.
    virtual std::unique_ptr<DeviceList> presentUsbDevices() = 0;
    // The key at `path` below the local-machine root (components separated
    // by "\", compared without regard to case), opened for reading; null
    // when it does not exist.
    virtual std::unique_ptr<RegistryKey> openLocalMachineKey(const QString& path) = 0;
    // What stands before the number in a serial port's name ("COM" on
    // Windows, "tty" on Linux).
    virtual QString portPrefix() const;
};

#ifdef Q_OS_WIN

// The device-setup layer of Windows, over SetupAPI and the registry:
// - present devices: the present devices with a GUID_DEVINTERFACE_USB_DEVICE
//   interface, in SetupAPI's order; there is a device at an index when both
//   its interface and its device information are there;
// - hardware IDs: the device's SPDRP_HARDWAREID list, friendly name: its
//   SPDRP_FRIENDLYNAME, container ID: its DEVPKEY_Device_ContainerId GUID;
// - registry keys: the keys below HKEY_LOCAL_MACHINE, opened for reading. A
//   REG_SZ value reads as its text up to the first NUL; a missing value as
//   Missing; a value of any other type as Other, REG_EXPAND_SZ included (the
//   values the discovery reads are plain REG_SZ, and one to expand would be a
//   stranger's), as is a value that cannot be read.
// A property or value larger than 64 KiB, of an odd byte count or (a device
// property) without its terminating NUL cannot be read. The port prefix is
// "COM". Every list and key is released with its object; nothing is cached
// between queries.
class SetupApiDeviceSetup : public DeviceSetup {
public:
    std::unique_ptr<DeviceList> presentUsbDevices() override;
    std::unique_ptr<RegistryKey> openLocalMachineKey(const QString& path) override;
    QString portPrefix() const override;
};

#else

// The device-setup layer of Linux, read from a sysfs tree laid out as the
// kernel lays it out (bus/usb/devices, class/tty and their links into
// devices/):
// - present devices: the entries of bus/usb/devices that have an idVendor
//   (devices, not interfaces), in name order;
// - hardware IDs: "USB\VID_12BF&PID_F010&REV_0100" from idVendor, idProduct
//   and bcdDevice, then "USB\VID_12BF&PID_F010";
// - friendly name: "USB Serial Device (<tty name>)" for a device with one
//   tty-bearing interface, "USB Composite Device" for one with several, none
//   otherwise; never the product string, which the device chooses;
// - container ID: a name-based UUID of the device's resolved path below the
//   root, so the same device keeps its ID;
// - the registry key SYSTEM\CurrentControlSet\Enum\USB\VID_xxxx&PID_xxxx
//   (optionally &MI_nn for one interface number) exists while a device of
//   that identity is present; it has one subkey per tty-bearing interface of
//   those devices, named after the interface ("1-2:1.0"), with the text
//   values "ContainerID" (its device's) and "FriendlyName"
//   "USB Serial Device (<tty name>)".
// The port prefix is "tty". Registry keys opened while a device list is held
// read the devices as that list saw them. A strange tree (missing files,
// dangling links, loops, special files) reads as devices or keys that are not
// there.
//
// Asked at every tick, a query may reuse what the previous one read while the
// entries of bus/usb/devices and class/tty (names and inodes) are the same:
// the kernel makes a device, interface or tty anew, with a new inode, when it
// comes, and never changes the attributes read here while it lives. That
// holds for the kernel's tree, not for a tree edited in place, so it is asked
// for (Reuse::WhileUnchanged); by default every query reads the tree afresh.
class SysfsDeviceSetup : public DeviceSetup {
public:
    enum class Reuse { Never, WhileUnchanged };

    // An empty root means "/sys".
    explicit SysfsDeviceSetup(QString root = {}, Reuse reuse = Reuse::Never);

    const QString& root() const { return m_root; }

    std::unique_ptr<DeviceList> presentUsbDevices() override;
    std::unique_ptr<RegistryKey> openLocalMachineKey(const QString& path) override;
    QString portPrefix() const override;

    struct Snapshot;

private:
    QString m_root;
    std::string m_rootPath; // m_root as the system calls take it, converted once
    Reuse m_reuse = Reuse::Never;
    std::weak_ptr<Snapshot> m_live;   // the devices of the query under way, if any
    std::shared_ptr<Snapshot> m_last; // the previous query's, while it may be reused
};

#endif // Q_OS_WIN

} // namespace DADOV

#include "link/usb_discovery.h"
