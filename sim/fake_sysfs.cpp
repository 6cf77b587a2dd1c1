#include "sim/fake_sysfs.h"

#include <QDir>
#include <QFile>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace sim {

namespace fs = std::filesystem;

namespace {

fs::path to_path(const QString& s) {
    return fs::path(s.toStdString());
}

void write_file(const fs::path& path, const QByteArray& contents) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(contents) != contents.size())
        throw std::runtime_error("cannot write " + path.string());
}

QByteArray hex4(quint16 v) {
    return QByteArray::number(v, 16).rightJustified(4, '0') + '\n';
}

} // namespace

FakeSysfs::FakeSysfs(const QString& folder)
    : m_dir(folder.isEmpty() ? QDir::tempPath() + QStringLiteral("/q5-sysfs-XXXXXX")
                             : folder + QStringLiteral("/sysfs-XXXXXX")) {
    if (!m_dir.isValid())
        throw std::runtime_error("cannot create a temporary sysfs folder");
    const fs::path root = to_path(m_dir.path());
    fs::create_directories(root / "bus/usb/devices");
    fs::create_directories(root / "class/tty");
    fs::create_directories(to_path(hubPath()));
    write_file(to_path(hubPath()) / "idVendor", "1d6b\n");
    write_file(to_path(hubPath()) / "idProduct", "0002\n");
    write_file(to_path(hubPath()) / "bcdDevice", "0601\n");
    write_file(to_path(hubPath()) / "product", "xHCI Host Controller\n");
    write_file(to_path(hubPath()) / "uevent",
               "MAJOR=189\nMINOR=0\nDEVNAME=bus/usb/001/001\nDEVTYPE=usb_device\nDRIVER=usb\n"
               "PRODUCT=1d6b/2/601\nTYPE=9/0/1\nBUSNUM=001\nDEVNUM=001\n");
    fs::create_directory_symlink("../../../devices/pci0000:00/0000:00:14.0/usb1",
                                 root / "bus/usb/devices/usb1");
}

FakeSysfs::~FakeSysfs() = default;

QString FakeSysfs::root() const {
    return m_dir.path();
}

QString FakeSysfs::hubPath() const {
    return m_dir.path() + QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1");
}

QString FakeSysfs::busLink(const QString& name) const {
    return m_dir.path() + QStringLiteral("/bus/usb/devices/") + name;
}

QString FakeSysfs::devicePath(const QString& name) const {
    // Interfaces live in their device's folder; a device "1-1.2" is the
    // child of hub "1-1" in the kernel, but here every device hangs off the
    // root hub.
    const qsizetype colon = name.indexOf(QLatin1Char(':'));
    if (colon > 0)
        return devicePath(name.left(colon)) + QLatin1Char('/') + name;
    return hubPath() + QLatin1Char('/') + name;
}

void FakeSysfs::addNode(const QString& name, const QString& folder) {
    const fs::path link = to_path(busLink(name));
    const fs::path target = fs::relative(to_path(folder), link.parent_path());
    fs::create_directory_symlink(target, link);
}

QString FakeSysfs::addDevice(quint16 vendorId, quint16 productId, quint16 bcdDevice, const QString& product,
                             const QStringList& ttys, const QString& name) {
    QString dev = name;
    if (dev.isEmpty()) {
        while (fs::exists(fs::symlink_status(to_path(busLink(QStringLiteral("1-%1").arg(m_nextPort))))))
            ++m_nextPort;
        dev = QStringLiteral("1-%1").arg(m_nextPort++);
    }
    const fs::path folder = to_path(devicePath(dev));
    fs::create_directories(folder);
    write_file(folder / "idVendor", hex4(vendorId));
    write_file(folder / "idProduct", hex4(productId));
    write_file(folder / "bcdDevice", hex4(bcdDevice));
    // As the kernel writes it: the identity in hexadecimal without leading zeros.
    write_file(folder / "uevent",
               QStringLiteral("MAJOR=189\nMINOR=%4\nDEVNAME=bus/usb/001/%5\nDEVTYPE=usb_device\nDRIVER=usb\n"
                              "PRODUCT=%1/%2/%3\nTYPE=239/2/1\nBUSNUM=001\nDEVNUM=%5\n")
                   .arg(vendorId, 0, 16)
                   .arg(productId, 0, 16)
                   .arg(bcdDevice, 0, 16)
                   .arg(m_nextPort)
                   .arg(m_nextPort, 3, 10, QLatin1Char('0'))
                   .toUtf8());
    write_file(folder / "bNumInterfaces",
               QByteArray::number(qMax(1, int(ttys.size()) * 2)).rightJustified(2) + '\n');
    if (!product.isNull())
        write_file(folder / "product", product.toUtf8() + '\n');
    fs::create_directories(folder / "power");
    addNode(dev, devicePath(dev));

    const int interfaces = qMax(1, int(ttys.size()) * 2);
    for (int i = 0; i < interfaces; ++i) {
        const QString iface = QStringLiteral("%1:1.%2").arg(dev).arg(i);
        const fs::path ifaceFolder = to_path(devicePath(iface));
        fs::create_directories(ifaceFolder);
        write_file(ifaceFolder / "bInterfaceNumber", QByteArray::number(i, 16).rightJustified(2, '0') + '\n');
        write_file(ifaceFolder / "bInterfaceClass", i % 2 == 0 ? "02\n" : "0a\n");
        fs::create_directories(ifaceFolder / "power");
        addNode(iface, devicePath(iface));
        if (i % 2 != 0 || i / 2 >= ttys.size())
            continue;
        const QString tty = ttys.at(i / 2);
        const fs::path ttyFolder = tty.startsWith(QLatin1String("ttyUSB"))
                                       ? ifaceFolder / tty.toStdString() / "tty" / tty.toStdString()
                                       : ifaceFolder / "tty" / tty.toStdString();
        fs::create_directories(ttyFolder);
        write_file(ttyFolder / "dev", "166:0\n");
        const fs::path classLink = to_path(m_dir.path()) / "class/tty" / tty.toStdString();
        fs::create_directory_symlink(fs::relative(ttyFolder, classLink.parent_path()), classLink);
    }
    return dev;
}

void FakeSysfs::removeDevice(const QString& name) {
    const fs::path folder = to_path(devicePath(name));
    // Class links and bus links that point into the device go with it.
    const fs::path root = to_path(m_dir.path());
    std::error_code ec;
    const std::string f = fs::weakly_canonical(folder, ec).string();
    std::vector<fs::path> doomed;
    for (const char* dir : {"class/tty", "bus/usb/devices"}) {
        for (const fs::directory_entry& entry : fs::directory_iterator(root / dir)) {
            const std::string t = fs::weakly_canonical(entry.path(), ec).string();
            if (t == f || t.rfind(f + "/", 0) == 0)
                doomed.push_back(entry.path());
        }
    }
    for (const fs::path& p : doomed)
        fs::remove(p);
    fs::remove_all(folder);
}

void FakeSysfs::removeAttribute(const QString& name, const QString& attribute) {
    fs::remove(to_path(devicePath(name)) / attribute.toStdString());
}

void FakeSysfs::writeAttribute(const QString& name, const QString& attribute, const QByteArray& contents) {
    write_file(to_path(devicePath(name)) / attribute.toStdString(), contents);
}

void FakeSysfs::removeTtyClassLink(const QString& tty) {
    fs::remove(to_path(m_dir.path()) / "class/tty" / tty.toStdString());
}

void FakeSysfs::makeSymlink(const QString& relative, const QString& target) {
    const fs::path link = to_path(m_dir.path()) / relative.toStdString();
    fs::create_directories(link.parent_path());
    fs::create_symlink(target.toStdString(), link);
}

void FakeSysfs::makeDirectory(const QString& relative) {
    fs::create_directories(to_path(m_dir.path()) / relative.toStdString());
}

void FakeSysfs::makeFifo(const QString& relative) {
    const fs::path path = to_path(m_dir.path()) / relative.toStdString();
    fs::create_directories(path.parent_path());
    if (::mkfifo(path.c_str(), 0600) != 0)
        throw std::runtime_error("cannot make a FIFO at " + path.string());
}

void FakeSysfs::removePath(const QString& relative) {
    fs::remove_all(to_path(m_dir.path()) / relative.toStdString());
}

} // namespace sim
