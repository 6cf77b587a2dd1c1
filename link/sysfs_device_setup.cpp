// The Linux device-setup layer: present USB devices and the device "registry"
// read from a sysfs tree. Every file is read with plain system calls (the
// discovery runs at every tick of the window's timer), opened without
// blocking and only when it is a regular file, so FIFOs, device nodes, loops
// and dangling links in a strange tree read as missing.

#include "link/device_setup.h"

#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DADOV {

namespace {

// sysfs attributes never exceed one page; anything longer is cut there.
constexpr size_t kMaxAttributeSize = 4096;

// Namespace of the name-based container IDs of USB devices.
const QUuid kContainerNamespace(0x6f1d8a52, 0x3c47, 0x4e0b, 0x9a, 0x6d, 0x2b, 0x7e, 0x91, 0xc4, 0xd0, 0x38);

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

class Dir {
public:
    explicit Dir(const std::string& path) : m_dir(::opendir(path.c_str())) {}
    ~Dir() {
        if (m_dir)
            ::closedir(m_dir);
    }
    Dir(const Dir&) = delete;
    Dir& operator=(const Dir&) = delete;
    DIR* get() const { return m_dir; }

private:
    DIR* m_dir;
};

// The contents of a file without its final line feed; nothing when it is
// missing or unreadable. Opened without blocking and read up to one page, so
// a FIFO or a device node in a strange tree cannot hold the reader.
// `path` is relative to the folder `dir` unless it is absolute.
std::optional<std::string> read_attribute(int dir, const std::string& path) {
    const Fd fd(::openat(dir, path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return std::nullopt;
    char text[kMaxAttributeSize];
    size_t filled = 0;
    while (filled < sizeof text) {
        const ssize_t got = ::read(fd.get(), text + filled, sizeof text - filled);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                break;
            return std::nullopt;
        }
        if (got == 0)
            break;
        const bool shortRead = size_t(got) < sizeof text - filled;
        filled += size_t(got);
        if (shortRead)
            break; // a file (and a sysfs attribute) reads short only at its end
    }
    if (filled > 0 && text[filled - 1] == '\n')
        --filled;
    return std::string(text, filled);
}

// Entry names of a directory in name order; nothing when it cannot be read.
std::optional<std::vector<std::string>> list_dir(const std::string& path) {
    const Dir dir(path);
    if (!dir.get())
        return std::nullopt;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A directory's entries as it lists them: their names (each ended by a NUL) and inode numbers, in the
// directory's own order. A kernel object made anew gets a new inode, so the same listing twice is the
// same objects (a listing in another order only costs a fresh reading).
struct Listing {
    std::string names;
    std::vector<ino_t> inodes;
    bool operator==(const Listing&) const = default;

    // The names in name order.
    std::vector<std::string> sorted() const {
        std::vector<std::string> out;
        out.reserve(inodes.size());
        for (size_t at = 0; at < names.size();) {
            const size_t end = names.find('\0', at);
            out.emplace_back(names, at, end - at);
            at = end + 1;
        }
        std::sort(out.begin(), out.end());
        return out;
    }
};

std::optional<Listing> read_listing(const std::string& path) {
    const Dir dir(path);
    if (!dir.get())
        return std::nullopt;
    Listing listing;
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        listing.names.append(name).push_back('\0');
        listing.inodes.push_back(entry->d_ino);
    }
    return listing;
}

bool is_dir(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A path with "." and ".." components and doubled slashes taken out, as
// text (no link is followed); ".." at the top stays.
std::string normalized(const std::string& path) {
    const bool absolute = !path.empty() && path.front() == '/';
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty() && parts.back() != "..")
                parts.pop_back();
            else if (!absolute)
                parts.push_back(part);
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < parts.size(); ++i)
        out += (i ? "/" : "") + parts[i];
    return out;
}

// A hexadecimal attribute such as idVendor ("12bf"): 1 to 4 digits.
std::optional<quint16> parse_hex16(const std::optional<std::string>& text) {
    if (!text || text->empty() || text->size() > 4)
        return std::nullopt;
    quint16 value = 0;
    for (const char c : *text) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return std::nullopt;
        value = quint16(value * 16 + digit);
    }
    return value;
}

// The paths of one sysfs tree.
struct Tree {
    std::string root;
    int busDir = AT_FDCWD; // bus/usb/devices, when held open

    std::optional<std::string> read(const std::string& name, const char* attr) const {
        if (busDir == AT_FDCWD)
            return read_attribute(AT_FDCWD, attribute(name, attr));
        return read_attribute(busDir, name + "/" + attr);
    }

    std::string devices() const { return root + "/bus/usb/devices"; }
    std::string device(const std::string& name) const { return devices() + "/" + name; }
    std::string attribute(const std::string& name, const char* attr) const {
        return device(name) + "/" + attr;
    }
    std::string ttyClass(const std::string& tty) const { return root + "/class/tty/" + tty; }

    // Where an entry of bus/usb/devices leads, relative to the root when it
    // stays below it ("devices/pci0000:00/.../usb1/1-3"): the target of its
    // link, or the entry itself when it is no link. Nothing when it cannot
    // be read.
    std::optional<std::string> resolved(const std::string& name) const {
        const std::string here = "bus/usb/devices/" + name;
        char target[4096];
        const ssize_t n = busDir == AT_FDCWD ? ::readlink(device(name).c_str(), target, sizeof target)
                                             : ::readlinkat(busDir, name.c_str(), target, sizeof target);
        if (n < 0)
            return errno == EINVAL ? std::optional<std::string>(here) : std::nullopt;
        if (size_t(n) >= sizeof target)
            return std::nullopt;
        const std::string link(target, size_t(n));
        if (!link.empty() && link.front() == '/') {
            const std::string top = normalized(root);
            std::string absolute = normalized(link);
            if (absolute.compare(0, top.size() + 1, top + "/") == 0)
                absolute.erase(0, top.size() + 1);
            return absolute;
        }
        return normalized("bus/usb/devices/" + link);
    }

    // A name-based UUID of the device's resolved path.
    std::optional<QUuid> containerId(const std::string& name) const {
        const std::optional<std::string> path = resolved(name);
        if (!path)
            return std::nullopt;
        return QUuid::createUuidV5(kContainerNamespace,
                                   QString::fromUtf8(path->data(), qsizetype(path->size())));
    }

    // The tty names below an interface, in name order: "<iface>/tty/<name>"
    // (CDC ACM) or "<iface>/<port>/tty/<name>" (USB serial converters), each
    // confirmed by the same directory under class/tty.
    std::vector<std::string> ttysOf(const std::string& iface) const {
        std::vector<std::string> found;
        const std::string base = device(iface);
        const std::optional<std::vector<std::string>> entries = list_dir(base);
        if (!entries)
            return found;
        auto collect = [&](const std::string& ttyDir) {
            const std::optional<std::vector<std::string>> ttys = list_dir(ttyDir);
            if (!ttys)
                return;
            for (const std::string& tty : *ttys) {
                struct stat here {};
                struct stat inClass {};
                if (::stat((ttyDir + "/" + tty).c_str(), &here) == 0 && S_ISDIR(here.st_mode) &&
                    ::stat(ttyClass(tty).c_str(), &inClass) == 0 && here.st_dev == inClass.st_dev &&
                    here.st_ino == inClass.st_ino)
                    found.push_back(tty);
            }
        };
        for (const std::string& entry : *entries) {
            if (entry == "tty")
                collect(base + "/tty");
            else if (entry.compare(0, 3, "tty") == 0 && is_dir(base + "/" + entry + "/tty"))
                collect(base + "/" + entry + "/tty");
        }
        std::sort(found.begin(), found.end());
        return found;
    }
};

// One "registry" instance: a tty-bearing interface of a device.
struct Instance {
    QString name;
    QString port; // its first tty
    std::optional<QString> containerId;
};

struct Identity {
    quint16 vendorId = 0;
    quint16 productId = 0;
    std::optional<quint8> interfaceNumber;
};

// "VID_12BF&PID_F010" or "VID_12BF&PID_F010&MI_00", in any case.
std::optional<Identity> parse_device_key(const QString& key) {
    const QString k = key.toUpper();
    auto hexAt = [&](qsizetype at) -> std::optional<quint16> {
        if (k.size() < at + 4)
            return std::nullopt;
        return parse_hex16(k.mid(at, 4).toStdString());
    };
    if (!k.startsWith(QLatin1String("VID_")) || k.mid(8, 5) != QLatin1String("&PID_"))
        return std::nullopt;
    const std::optional<quint16> vid = hexAt(4);
    const std::optional<quint16> pid = hexAt(13);
    if (!vid || !pid)
        return std::nullopt;
    Identity id{*vid, *pid, std::nullopt};
    if (k.size() == 17)
        return id;
    if (k.mid(17, 4) != QLatin1String("&MI_"))
        return std::nullopt;
    const QString digits = k.mid(21);
    if (digits.size() < 2 || digits.size() > 3)
        return std::nullopt;
    bool ok = false;
    const uint number = digits.toUInt(&ok, 10);
    if (!ok || number > 255 ||
        !std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    id.interfaceNumber = quint8(number);
    return id;
}

// The instance of interface `iface` of device `dev`, if it bears a tty and
// matches the interface number asked for; its values only when asked for.
std::optional<Instance> instance_of(const Tree& tree, const std::string& dev, const std::string& iface,
                                    const Identity& id, bool withValues) {
    if (id.interfaceNumber) {
        const std::optional<quint16> number = parse_hex16(tree.read(iface, "bInterfaceNumber"));
        if (!number || *number != *id.interfaceNumber)
            return std::nullopt;
    }
    // An interface lives in its device's folder.
    const std::optional<std::string> devPath = tree.resolved(dev);
    const std::optional<std::string> ifacePath = tree.resolved(iface);
    if (!devPath || !ifacePath || *ifacePath != *devPath + "/" + iface)
        return std::nullopt;
    const std::vector<std::string> ttys = tree.ttysOf(iface);
    if (ttys.empty())
        return std::nullopt;
    Instance instance;
    instance.name = QString::fromUtf8(iface.data(), qsizetype(iface.size()));
    instance.port = QString::fromUtf8(ttys.front().data(), qsizetype(ttys.front().size()));
    if (!withValues)
        return instance;
    if (const std::optional<QUuid> container = tree.containerId(dev))
        instance.containerId = ContainerIDGUIDToString(*container);
    return instance;
}

std::string device_of_interface(const std::string& iface) {
    const size_t colon = iface.find(':');
    return colon == std::string::npos || colon == 0 ? std::string() : iface.substr(0, colon);
}

} // namespace

// The USB devices of bus/usb/devices as one query sees them: taken when the
// device list is opened, read lazily, and shared with the registry keys opened
// while the list is held (the registry of the same moment), so no attribute
// is read twice in one query. Dropped with the list: nothing outlives a query.
struct SysfsDeviceSetup::Snapshot {
    struct Device {
        std::string name;
        std::string vendor; // idVendor, read when listing
        bool productRead = false;
        std::optional<std::string> product; // idProduct
        bool revisionRead = false;
        std::optional<std::string> revision; // bcdDevice
    };

    Tree tree;
    std::unique_ptr<Fd> busDir;
    std::vector<std::string> names; // every entry, in name order
    std::vector<Device> devices;    // the entries that have an idVendor

    // What the devices' folder and the tty class list now (names and inodes): while neither changes, no
    // device, interface, link or tty came or went, and the previous snapshot still holds.
    Listing entries;
    Listing ttyEntries;
    // Instances already worked out, by device and interface number (-1: any).
    std::map<std::pair<std::string, int>, std::vector<Instance>> instances;

    // The devices now; `previous` itself when it may be reused and nothing changed since.
    static std::shared_ptr<Snapshot> take(const std::string& root, const std::shared_ptr<Snapshot>& previous,
                                          bool reuse) {
        auto snapshot = std::make_shared<Snapshot>();
        snapshot->tree.root = root;
        std::optional<Listing> entries = read_listing(snapshot->tree.devices());
        if (!entries)
            return nullptr;
        if (reuse) {
            std::optional<Listing> ttys = read_listing(root + "/class/tty");
            snapshot->ttyEntries = ttys ? std::move(*ttys) : Listing();
            if (previous && previous->tree.root == root && previous->entries == *entries &&
                previous->ttyEntries == snapshot->ttyEntries)
                return previous;
        }
        snapshot->entries = std::move(*entries);
        snapshot->names = snapshot->entries.sorted();
        snapshot->busDir =
            std::make_unique<Fd>(::open(snapshot->tree.devices().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (snapshot->busDir->get() >= 0)
            snapshot->tree.busDir = snapshot->busDir->get();
        for (const std::string& name : snapshot->names) {
            if (name.find(':') != std::string::npos)
                continue; // an interface ("1-3:1.0"), never a device
            // The kernel gives the whole identity in one read: PRODUCT=<vendor>/<product>/<bcdDevice>.
            if (std::optional<Device> device = from_uevent(name, snapshot->tree.read(name, "uevent"))) {
                snapshot->devices.push_back(std::move(*device));
                continue;
            }
            if (std::optional<std::string> vendor = snapshot->tree.read(name, "idVendor"))
                snapshot->devices.push_back(
                    {name, std::move(*vendor), false, std::nullopt, false, std::nullopt});
        }
        return snapshot;
    }

    // A device from the PRODUCT line of its uevent file; nothing when there is none.
    static std::optional<Device> from_uevent(const std::string& name,
                                             const std::optional<std::string>& uevent) {
        if (!uevent)
            return std::nullopt;
        static const std::string key = "PRODUCT=";
        size_t start = uevent->compare(0, key.size(), key) == 0 ? 0 : uevent->find("\n" + key);
        if (start == std::string::npos)
            return std::nullopt;
        start += start == 0 ? key.size() : key.size() + 1;
        const size_t end = uevent->find('\n', start);
        const std::string value =
            uevent->substr(start, end == std::string::npos ? std::string::npos : end - start);
        const size_t first = value.find('/');
        const size_t second = first == std::string::npos ? first : value.find('/', first + 1);
        if (second == std::string::npos)
            return std::nullopt;
        const std::string vendor = value.substr(0, first);
        const std::string product = value.substr(first + 1, second - first - 1);
        const std::string revision = value.substr(second + 1);
        if (!parse_hex16(vendor) || !parse_hex16(product) || !parse_hex16(revision))
            return std::nullopt;
        return Device{name, vendor, true, product, true, revision};
    }

    const std::optional<std::string>& revisionOf(Device& device) const {
        if (!device.revisionRead) {
            device.revision = tree.read(device.name, "bcdDevice");
            device.revisionRead = true;
        }
        return device.revision;
    }

    const std::optional<std::string>& productOf(Device& device) const {
        if (!device.productRead) {
            device.product = tree.read(device.name, "idProduct");
            device.productRead = true;
        }
        return device.product;
    }

    bool hasIdentity(Device& device, quint16 vendorId, quint16 productId) const {
        const std::optional<quint16> vid = parse_hex16(device.vendor);
        if (!vid || *vid != vendorId)
            return false;
        const std::optional<quint16> pid = parse_hex16(productOf(device));
        return pid && *pid == productId;
    }

    // The instances (tty-bearing interfaces) of a device, in interface name order.
    const std::vector<Instance>& instancesOf(const Device& device, const Identity& id) {
        const auto key = std::make_pair(device.name, id.interfaceNumber ? int(*id.interfaceNumber) : -1);
        if (const auto known = instances.find(key); known != instances.end())
            return known->second;
        std::vector<Instance>& found = instances[key];
        const std::string prefix = device.name + ":";
        const auto first = std::lower_bound(names.begin(), names.end(), prefix);
        for (auto it = first; it != names.end() && it->compare(0, prefix.size(), prefix) == 0; ++it) {
            if (std::optional<Instance> instance = instance_of(tree, device.name, *it, id, false))
                found.push_back(std::move(*instance));
        }
        return found;
    }

    Device* find(const std::string& name) {
        const auto it = std::lower_bound(devices.begin(), devices.end(), name,
                                         [](const Device& d, const std::string& n) { return d.name < n; });
        return it != devices.end() && it->name == name ? &*it : nullptr;
    }
};

namespace {

using Snapshot = SysfsDeviceSetup::Snapshot;

class SysfsDeviceList : public DeviceList {
public:
    explicit SysfsDeviceList(std::shared_ptr<Snapshot> snapshot) : m_snapshot(std::move(snapshot)) {}

    bool hasDevice(quint32 n) override { return n < m_snapshot->devices.size(); }

    QStringList hardwareIds(quint32 n) override {
        if (n >= m_snapshot->devices.size())
            return {};
        Snapshot::Device& device = m_snapshot->devices[n];
        const std::optional<quint16> vid = parse_hex16(device.vendor);
        const std::optional<quint16> pid = parse_hex16(m_snapshot->productOf(device));
        if (!vid || !pid)
            return {};
        return usb_hardware_ids(*vid, *pid, parse_hex16(m_snapshot->revisionOf(device)));
    }

    // A device that serves one port is named after it, as the serial driver names the device it serves;
    // one with several ports is a composite device whose ports are named by their interfaces' instances.
    QString friendlyName(quint32 n) override {
        if (n >= m_snapshot->devices.size())
            return {};
        const std::vector<Instance> instances = m_snapshot->instancesOf(m_snapshot->devices[n], Identity{});
        if (instances.size() > 1)
            return QStringLiteral("USB Composite Device");
        return instances.empty() ? QString() : serial_port_friendly_name(instances.front().port);
    }

    std::optional<QUuid> containerId(quint32 n) override {
        if (n >= m_snapshot->devices.size())
            return std::nullopt;
        return m_snapshot->tree.containerId(m_snapshot->devices[n].name);
    }

private:
    std::shared_ptr<Snapshot> m_snapshot;
};

class SysfsRegistryKey : public RegistryKey {
public:
    // A device key: its instances' names.
    explicit SysfsRegistryKey(QStringList subKeys) : m_subKeys(std::move(subKeys)) {}
    // An instance key: its values.
    explicit SysfsRegistryKey(Instance instance) : m_instance(std::move(instance)) {}

    std::optional<QStringList> subKeyNames() override { return m_subKeys; }

    RegistryValue value(const QString& name) override {
        if (!m_instance)
            return RegistryValue::missing();
        if (name.compare(QLatin1String("ContainerID"), Qt::CaseInsensitive) == 0)
            return m_instance->containerId ? RegistryValue::ofText(*m_instance->containerId)
                                           : RegistryValue::missing();
        if (name.compare(QLatin1String("FriendlyName"), Qt::CaseInsensitive) == 0)
            return RegistryValue::ofText(serial_port_friendly_name(m_instance->port));
        return RegistryValue::missing();
    }

private:
    QStringList m_subKeys;
    std::optional<Instance> m_instance;
};

} // namespace

SysfsDeviceSetup::SysfsDeviceSetup(QString root, Reuse reuse) : m_root(std::move(root)), m_reuse(reuse) {
    if (m_root.isEmpty())
        m_root = QStringLiteral("/sys");
    m_rootPath = m_root.toStdString();
}

QString SysfsDeviceSetup::portPrefix() const {
    return QStringLiteral("tty");
}

std::unique_ptr<DeviceList> SysfsDeviceSetup::presentUsbDevices() {
    std::shared_ptr<Snapshot> snapshot = Snapshot::take(m_rootPath, m_last, m_reuse == Reuse::WhileUnchanged);
    if (!snapshot)
        return nullptr;
    m_live = snapshot;
    if (m_reuse == Reuse::WhileUnchanged)
        m_last = snapshot;
    return std::make_unique<SysfsDeviceList>(std::move(snapshot));
}

std::unique_ptr<RegistryKey> SysfsDeviceSetup::openLocalMachineKey(const QString& path) {
    const QStringList parts = path.split(QLatin1Char('\\'));
    static const char* const kUsbEnum[] = {"SYSTEM", "CurrentControlSet", "Enum", "USB"};
    if (parts.size() != 5 && parts.size() != 6)
        return nullptr;
    for (int i = 0; i < 4; ++i) {
        if (parts[i].compare(QLatin1String(kUsbEnum[i]), Qt::CaseInsensitive) != 0)
            return nullptr;
    }
    const std::optional<Identity> id = parse_device_key(parts[4]);
    if (!id)
        return nullptr;
    std::shared_ptr<Snapshot> snapshot = m_live.lock();
    if (!snapshot || snapshot->tree.root != m_rootPath)
        snapshot = Snapshot::take(m_rootPath, nullptr, false);
    if (!snapshot)
        return nullptr;
    const Tree& tree = snapshot->tree;

    if (parts.size() == 6) {
        const std::string iface = parts[5].toStdString();
        Snapshot::Device* device = snapshot->find(device_of_interface(iface));
        if (!device || iface.find('/') != std::string::npos ||
            !snapshot->hasIdentity(*device, id->vendorId, id->productId))
            return nullptr;
        std::optional<Instance> instance = instance_of(tree, device->name, iface, *id, true);
        if (!instance)
            return nullptr;
        return std::make_unique<SysfsRegistryKey>(std::move(*instance));
    }

    bool present = false;
    QStringList subKeys;
    for (Snapshot::Device& device : snapshot->devices) {
        if (!snapshot->hasIdentity(device, id->vendorId, id->productId))
            continue;
        present = true;
        for (const Instance& instance : snapshot->instancesOf(device, *id))
            subKeys.push_back(instance.name);
    }
    if (!present)
        return nullptr;
    return std::make_unique<SysfsRegistryKey>(std::move(subKeys));
}

} // namespace DADOV
