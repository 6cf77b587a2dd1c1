#pragma once

// A sysfs tree that the discovery layer reads like the kernel's: simulate mode publishes the simulated
// controller in one, and the tests build the cases they need.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace sim {

// A sysfs tree in a temporary folder, laid out as the kernel lays it out:
//   devices/pci0000:00/0000:00:14.0/usb1                 root hub (1d6b:0002)
//   devices/pci0000:00/0000:00:14.0/usb1/1-3             a device
//   devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0     its interfaces
//   .../1-3:1.0/tty/ttyACM0                            CDC ACM port
//   .../1-3:1.0/ttyUSB0/tty/ttyUSB0                    USB serial converter port
//   bus/usb/devices/{usb1,1-3,1-3:1.0,...} -> ../../../devices/...
//   class/tty/ttyACM0 -> ../../devices/.../tty/ttyACM0
// Each device gets one interface pair per tty (1.0 with the tty and 1.1
// without, then 1.2 and 1.3, ...); a tty named ttyUSB* gets the USB serial
// layout, any other the CDC ACM one. The folder is removed on destruction.
class FakeSysfs {
public:
    // The tree goes into a new folder in `folder`, or in the system's temporary folder.
    explicit FakeSysfs(const QString& folder = {});
    ~FakeSysfs();
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    QString root() const;

    // Adds a device below the root hub and returns its name: `name` if given
    // (such as "1-4" or "1-1.2"), else the next free "1-N". A null product
    // leaves out the product file.
    QString addDevice(quint16 vendorId, quint16 productId, quint16 bcdDevice, const QString& product,
                      const QStringList& ttys = {}, const QString& name = {});
    // Takes the device out, with its interfaces and their ttys.
    void removeDevice(const QString& name);

    // The real folder of a device (or interface) below devices/.
    QString devicePath(const QString& name) const;

    // Ways to break the tree.
    void removeAttribute(const QString& name, const QString& attribute);
    void writeAttribute(const QString& name, const QString& attribute, const QByteArray& contents);
    void removeTtyClassLink(const QString& tty);
    // Any file or link below the root; `relative` is a path such as
    // "bus/usb/devices/1-9".
    void makeSymlink(const QString& relative, const QString& target);
    void makeDirectory(const QString& relative);
    void makeFifo(const QString& relative);
    void removePath(const QString& relative);

private:
    QString busLink(const QString& name) const;
    QString hubPath() const;
    void addNode(const QString& name, const QString& folder);

    QTemporaryDir m_dir;
    int m_nextPort = 1;
};

} // namespace sim
