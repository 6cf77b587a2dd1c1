// Discovery of the controller's port: the logic over a scripted device-setup
// layer (Windows-style names), and the Linux layer over fake sysfs trees.

#include "link/device_setup.h"
#include "link/usb_discovery.h"
#include "support/expected_warning.h"
#include "support/fake_sysfs.h"

#include <gmock/gmock.h>

#include <map>
#include <new>

using namespace DADOV;
using namespace Qt::StringLiterals;
using testsupport::FakeSysfs;

namespace {

const QString kUsbEnum = u"SYSTEM\\CurrentControlSet\\Enum\\USB\\"_s;
const QString kControllerKey = kUsbEnum + u"VID_12BF&PID_F010"_s;

QString controllerPort(DeviceSetup& setup, quint32 position = 0) {
    return usb_check_if_present_and_get_com_string(setup, 0x12BF, 0xF010, position, false, 0);
}

// A device-setup layer that plays back a scripted set of devices and keys,
// and counts what the logic reads.
class ScriptedSetup : public DeviceSetup {
public:
    struct Device {
        QStringList hardwareIds;
        QString friendlyName;
        std::optional<QUuid> containerId;
    };
    struct Key {
        QStringList subKeys;
        std::map<QString, RegistryValue> values;
    };

    std::vector<Device> devices;
    std::map<QString, Key> keys;
    bool listFails = false;
    bool throwOnFriendlyName = false;
    std::vector<int> friendlyNameReads;
    QStringList openedKeys;

    std::unique_ptr<DeviceList> presentUsbDevices() override {
        if (listFails)
            return nullptr;
        friendlyNameReads.assign(devices.size(), 0);
        return std::make_unique<List>(*this);
    }

    std::unique_ptr<RegistryKey> openLocalMachineKey(const QString& path) override {
        openedKeys.push_back(path);
        const auto it = keys.find(path);
        return it == keys.end() ? nullptr : std::make_unique<OpenKey>(it->second);
    }

    // The controller's instance keys under its registry key.
    Key& instanceKey(const QString& name) { return keys[kControllerKey + "\\" + name]; }

private:
    struct List : DeviceList {
        explicit List(ScriptedSetup& s) : setup(s) {}
        bool hasDevice(quint32 n) override { return n < setup.devices.size(); }
        QStringList hardwareIds(quint32 n) override { return setup.devices.at(n).hardwareIds; }
        QString friendlyName(quint32 n) override {
            if (setup.throwOnFriendlyName)
                throw std::bad_alloc();
            ++setup.friendlyNameReads.at(n);
            return setup.devices.at(n).friendlyName;
        }
        std::optional<QUuid> containerId(quint32 n) override { return setup.devices.at(n).containerId; }
        ScriptedSetup& setup;
    };
    struct OpenKey : RegistryKey {
        explicit OpenKey(const Key& k) : key(k) {}
        std::optional<QStringList> subKeyNames() override { return key.subKeys; }
        RegistryValue value(const QString& name) override {
            const auto it = key.values.find(name);
            return it == key.values.end() ? RegistryValue::missing() : it->second;
        }
        const Key& key;
    };
};

const QUuid kContainerA("{8c7ed206-3f8a-4827-b3ab-ae9e1faefc6c}");
const QUuid kContainerB("{0b5c1e8a-77d2-4f61-9e0c-5a4f3d2b1c00}");

ScriptedSetup::Device controller(const QString& friendlyName, std::optional<QUuid> container = std::nullopt) {
    return {{u"USB\\VID_12BF&PID_F010&REV_0100"_s, u"USB\\VID_12BF&PID_F010"_s}, friendlyName, container};
}

ScriptedSetup::Key instance(const QUuid& container, const QString& friendlyName) {
    return {{},
            {{u"ContainerID"_s, RegistryValue::ofText(ContainerIDGUIDToString(container).toUpper())},
             {u"FriendlyName"_s, RegistryValue::ofText(friendlyName)}}};
}

} // namespace

TEST(ContainerIdText, IsTheRegistryFormInLowerCase) {
    EXPECT_EQ(ContainerIDGUIDToString(kContainerA), "{8c7ed206-3f8a-4827-b3ab-ae9e1faefc6c}");
    EXPECT_EQ(ContainerIDGUIDToString(QUuid(0x1, 0x2, 0x3, 0, 0x4, 5, 6, 7, 8, 9, 0xa)),
              "{00000001-0002-0003-0004-05060708090a}");
}

TEST(UsbDiscovery, ExtractsFromTheFirstPrefixToTheFirstParenthesis) {
    const char* const cases[][3] = {{"USB Serial Device (COM7)", "COM", "COM7"},
                                    {"COMM Port (COM4)", "COM", "COMM Port (COM4"},
                                    {"Port (A) (COM3)", "COM", ""},
                                    {"q5 Controller (ttyACM0)", "tty", "ttyACM0"}};
    for (const auto& [name, prefix, port] : cases)
        EXPECT_EQ(extract_port_name(QString::fromLatin1(name), QString::fromLatin1(prefix)), port) << name;
}

TEST(UsbDiscovery, MatchesTheFirstHardwareIdOnlyInAnyCase) {
    ScriptedSetup setup;
    EXPECT_EQ(controllerPort(setup), ""); // nothing present
    // The identity only in a later entry: not the controller.
    setup.devices.push_back({{u"USB\\VID_0403&PID_6001&REV_0600"_s, u"USB\\VID_12BF&PID_F010"_s},
                             u"Other (COM3)"_s,
                             std::nullopt});
    EXPECT_EQ(controllerPort(setup), "");
    setup.devices.push_back({{u"usb\\vid_12bf&pid_f010&rev_0100"_s}, u"USB Serial Device (COM12)"_s, {}});
    EXPECT_EQ(controllerPort(setup), "COM12");
    EXPECT_EQ(setup.friendlyNameReads, (std::vector<int>{0, 1}));

    // No device list, or a failure while reading it, gives the empty text.
    setup.listFails = true;
    EXPECT_EQ(controllerPort(setup), "");
    setup.listFails = false;
    setup.throwOnFriendlyName = true;
    const testsupport::ExpectedWarning logged(
        "q5.link", QStringLiteral("usb_check_if_present_and_get_com_string: std::bad_alloc"));
    EXPECT_EQ(controllerPort(setup), "");
}

TEST(UsbDiscovery, AFriendlyNameThatNamesAPortEndsTheSearchEvenWhenItsExtractionIsEmpty) {
    ScriptedSetup setup;
    setup.devices.push_back(controller(u"Port (A) (COM3)"_s, kContainerA));
    setup.devices.push_back(controller(u"USB Serial Device (COM9)"_s));
    setup.keys[kControllerKey] = {{u"0001"_s}, {}};
    setup.instanceKey(u"0001"_s) = instance(kContainerA, u"USB Serial Device (COM5)"_s);
    EXPECT_EQ(controllerPort(setup), "");
    EXPECT_TRUE(setup.openedKeys.isEmpty()); // no fallback
}

TEST(UsbDiscovery, FallsBackToTheRegistryInstanceWithTheSameContainerId) {
    ScriptedSetup setup;
    setup.devices.push_back(controller(u"q5 Controller"_s, kContainerA));
    setup.keys[kControllerKey] = {{u"5&1a2b3c&0&1"_s, u"gone"_s, u"5&1a2b3c&0&2"_s}, {}};
    setup.instanceKey(u"5&1a2b3c&0&1"_s) = instance(kContainerB, u"USB Serial Device (COM8)"_s);
    setup.instanceKey(u"5&1a2b3c&0&2"_s) = instance(kContainerA, u"USB Serial Device (COM5)"_s);
    EXPECT_EQ(controllerPort(setup), "COM5"); // container IDs compared without regard to case
    EXPECT_THAT(setup.openedKeys,
                testing::ElementsAre(kControllerKey, kControllerKey + "\\5&1a2b3c&0&1",
                                     kControllerKey + "\\gone", kControllerKey + "\\5&1a2b3c&0&2"));

    // An instance name whose extraction is empty ends the search all the same.
    setup.devices.push_back(controller(u"USB Serial Device (COM9)"_s));
    setup.instanceKey(u"5&1a2b3c&0&2"_s) = instance(kContainerA, u"Port (A) (COM3)"_s);
    EXPECT_EQ(controllerPort(setup), "");
}

TEST(UsbDiscovery, ADeviceWithoutAPortGivesItsPlaceToTheNextMatchingDevice) {
    ScriptedSetup setup;
    setup.devices.push_back(controller(u"q5 Controller"_s, kContainerA));           // no registry key at all
    setup.devices.push_back({{u"USB\\VID_0403&PID_6001"_s}, u"FTDI (COM4)"_s, {}}); // not a controller
    setup.devices.push_back(controller(u"q5 Controller"_s, kContainerB)); // key, no matching instance
    setup.devices.push_back(controller(u"USB Serial Device (COM6)"_s));
    setup.devices.push_back(controller(u"USB Serial Device (COM7)"_s));
    EXPECT_EQ(controllerPort(setup), "COM6");
    setup.keys[kControllerKey] = {{u"1"_s}, {}};
    setup.instanceKey(u"1"_s) = instance(kContainerA, u"USB Serial Device (COM2)"_s);
    EXPECT_EQ(controllerPort(setup), "COM2");
    // Position 1: the first is passed over without reading its name, the second has no port and gives
    // its place to the third.
    EXPECT_EQ(controllerPort(setup, 1), "COM6");
    EXPECT_EQ(setup.friendlyNameReads, (std::vector<int>{0, 0, 1, 1, 0}));
    EXPECT_EQ(controllerPort(setup, 3), "COM7");
    EXPECT_EQ(controllerPort(setup, 4), "");
}

TEST(UsbDiscovery, AnInstanceWithoutContainerIdEndsTheFallbackForThatDevice) {
    ScriptedSetup setup;
    setup.devices.push_back(controller(u"q5 Controller"_s, kContainerA));
    setup.keys[kControllerKey] = {{u"1"_s, u"2"_s}, {}};
    ScriptedSetup::Key& first = setup.instanceKey(u"1"_s);
    first = {{}, {{u"FriendlyName"_s, RegistryValue::ofText(u"X (COM1)"_s)}}};
    setup.instanceKey(u"2"_s) = instance(kContainerA, u"USB Serial Device (COM5)"_s);
    EXPECT_EQ(controllerPort(setup), "");

    // A container ID of another type, or a friendly name that is not text, fails the same way.
    first.values[u"ContainerID"_s] = RegistryValue::other();
    EXPECT_EQ(controllerPort(setup), "");
    first = instance(kContainerA, {});
    first.values[u"FriendlyName"_s] = RegistryValue::other();
    EXPECT_EQ(controllerPort(setup), "");
    // A missing friendly name reads as empty: the next instance is tried.
    first.values.erase(u"FriendlyName"_s);
    EXPECT_EQ(controllerPort(setup), "COM5");
}

TEST(UsbDiscovery, TheInterfaceNumberNamesTheRegistryKeyOnly) {
    ScriptedSetup setup;
    setup.devices.push_back(controller(u"Composite"_s, kContainerA));
    const QString key = kControllerKey + u"&MI_02"_s;
    setup.keys[key] = {{u"1"_s}, {}};
    setup.keys[key + u"\\1"_s] = instance(kContainerA, u"USB Serial Device (COM11)"_s);
    EXPECT_EQ(usb_check_if_present_and_get_com_string(setup, 0x12bf, 0xf010, 0, true, 2), "COM11");
    EXPECT_EQ(setup.openedKeys.front(), key);
    EXPECT_EQ(usb_check_if_present_and_get_com_string(setup, 0x12bf, 0xf010, 0, false, 2), "");
}

// ---- The Linux layer over fake sysfs trees ----

namespace {

QString addController(FakeSysfs& sysfs, const QString& product, const QStringList& ttys,
                      const QString& at = {}) {
    return sysfs.addDevice(0x12bf, 0xf010, 0x0100, product, ttys, at);
}

} // namespace

// Names are built from fixed text and the port, as the serial driver names its ports: a product string
// that holds ")" or "tty" reaches no name rule.
TEST(SysfsDiscovery, FindsTheControllersTtyNamedFromThePortNotFromTheProductString) {
    for (const QString& product :
         {u"q5 (V2) Controller"_s, u"Pretty Controller"_s, u"Port (A) (ttyS3)"_s, QString()}) {
        for (const QString& tty :
             {u"ttyACM0"_s, u"ttyUSB3"_s}) { // a modem's and a USB serial converter's layout
            FakeSysfs sysfs;
            sysfs.addDevice(0x046d, 0xc52b, 0x1211, u"USB Receiver"_s);
            const QString dev = addController(sysfs, product, {tty});
            SysfsDeviceSetup setup(sysfs.root());
            const QString name = "USB Serial Device (" + tty + ")";
            EXPECT_EQ(controllerPort(setup), tty) << product.toStdString();
            EXPECT_EQ(setup.presentUsbDevices()->friendlyName(1), name);
            EXPECT_EQ(setup.openLocalMachineKey(kControllerKey + "\\" + dev + ":1.0")
                          ->value(u"FriendlyName"_s)
                          .text,
                      name);
        }
    }
}

TEST(SysfsDiscovery, DescribesDevicesAndInstancesAsTheLogicExpects) {
    FakeSysfs sysfs;
    const QString dev = addController(sysfs, u"q5 Controller"_s, {u"ttyACM1"_s, u"ttyACM0"_s});
    SysfsDeviceSetup setup(sysfs.root());
    EXPECT_EQ(setup.portPrefix(), "tty");
    EXPECT_EQ(SysfsDeviceSetup().root(), "/sys"); // without a root of its own, the system's tree
    EXPECT_EQ(SysfsDeviceSetup(QString()).root(), "/sys");

    auto list = setup.presentUsbDevices();
    ASSERT_TRUE(list);
    ASSERT_TRUE(list->hasDevice(1));
    EXPECT_FALSE(list->hasDevice(2)); // interfaces are not devices
    EXPECT_EQ(list->hardwareIds(0).value(0), "USB\\VID_12BF&PID_F010&REV_0100");
    EXPECT_EQ(list->friendlyName(0), "USB Composite Device"); // two ports, named by its interfaces
    EXPECT_EQ(list->friendlyName(1), "");                     // no port
    EXPECT_EQ(list->hardwareIds(1).value(0), "USB\\VID_1D6B&PID_0002&REV_0601"); // "usb1" sorts after "1-1"
    const std::optional<QUuid> container = list->containerId(0);
    ASSERT_TRUE(container);
    EXPECT_NE(container, list->containerId(1));
    EXPECT_EQ(SysfsDeviceSetup(sysfs.root()).presentUsbDevices()->containerId(0), container); // stable

    auto key = setup.openLocalMachineKey(kControllerKey.toLower());
    ASSERT_TRUE(key);
    EXPECT_EQ(key->subKeyNames(), (QStringList{dev + ":1.0", dev + ":1.2"}));
    auto inst = setup.openLocalMachineKey(kControllerKey + "\\" + dev + ":1.2");
    ASSERT_TRUE(inst);
    EXPECT_EQ(inst->value(u"ContainerID"_s).text, ContainerIDGUIDToString(*container));
    EXPECT_EQ(inst->value(u"friendlyname"_s).text, "USB Serial Device (ttyACM0)");
    EXPECT_EQ(inst->value(u"Other"_s).type, RegistryValue::Type::Missing);

    // One interface number only.
    EXPECT_EQ(setup.openLocalMachineKey(kControllerKey + "&MI_02")->subKeyNames(),
              (QStringList{dev + ":1.2"}));
    EXPECT_EQ(setup.openLocalMachineKey(kControllerKey + "&MI_01")->subKeyNames(), QStringList{});
    EXPECT_EQ(usb_check_if_present_and_get_com_string(setup, 0x12bf, 0xf010, 0, true, 2), "ttyACM0");

    // Keys that are not there.
    for (const QString& missing :
         {kUsbEnum + "VID_12BF&PID_F011", kControllerKey + "\\" + dev + ":1.1", kControllerKey + "\\usb1:1.0",
          u"SOFTWARE\\Classes"_s, kControllerKey + "\\..\\1-1"})
        EXPECT_FALSE(setup.openLocalMachineKey(missing)) << missing.toStdString();
}

TEST(SysfsDiscovery, FollowsTheLogicsPositionRuleWithTtyNames) {
    FakeSysfs sysfs;
    addController(sysfs, u"q5 Controller"_s, {}, u"1-1"_s); // no tty: gives its place to the next
    addController(sysfs, u"q5 Controller"_s, {u"ttyACM0"_s}, u"1-2"_s);
    SysfsDeviceSetup setup(sysfs.root());
    addController(sysfs, u"q5 Controller"_s, {u"ttyACM1"_s}, u"1-3"_s); // plugged in later
    EXPECT_EQ(controllerPort(setup), "ttyACM0");
    EXPECT_EQ(controllerPort(setup, 1), "ttyACM0");
    EXPECT_EQ(controllerPort(setup, 2), "ttyACM1");
    EXPECT_EQ(controllerPort(setup, 3), "");

    // Without its class link the tty does not count; unplugged, a device is no longer present.
    sysfs.removeTtyClassLink(u"ttyACM0"_s);
    EXPECT_EQ(controllerPort(setup), "ttyACM1");
    sysfs.removeDevice(u"1-3"_s);
    EXPECT_EQ(controllerPort(setup), "");
}

TEST(SysfsDiscovery, StrangeTreesReadAsDevicesThatAreNotThere) {
    FakeSysfs sysfs;
    // Identity files missing or unreadable.
    const char* const broken[][3] = {{"ttyACM5", "idVendor", nullptr},
                                     {"ttyACM6", "idProduct", nullptr},
                                     {"ttyACM7", "idVendor", "12bfxyz\n"}};
    QStringList devs;
    for (const auto& [tty, attribute, text] : broken) {
        const QString dev =
            devs.emplace_back(addController(sysfs, u"q5 Controller"_s, {QString::fromLatin1(tty)}));
        sysfs.removeAttribute(dev, u"uevent"_s);
        if (text)
            sysfs.writeAttribute(dev, QString::fromLatin1(attribute), text);
        else
            sysfs.removeAttribute(dev, QString::fromLatin1(attribute));
    }
    const QString fifo = addController(sysfs, u"x"_s, {u"ttyACM8"_s});
    sysfs.removeAttribute(fifo, u"product"_s);
    sysfs.makeFifo(u"bus/usb/devices/"_s + fifo + u"/product"_s); // would block a plain read
    sysfs.makeSymlink(u"bus/usb/devices/1-90"_s, u"../../../devices/nowhere"_s);
    sysfs.makeSymlink(u"bus/usb/devices/1-91"_s, u"1-91"_s); // a loop
    sysfs.makeSymlink(u"bus/usb/devices/1-92"_s, u"/dev/zero"_s);
    sysfs.makeDirectory(u"bus/usb/devices/1-93/idVendor"_s); // a folder where a file belongs
    sysfs.makeSymlink(u"class/tty/ttyACM9"_s, u"../../devices/gone/tty/ttyACM9"_s);
    SysfsDeviceSetup setup(sysfs.root());
    // The device behind the FIFO is found all the same: its product string is never read.
    EXPECT_EQ(controllerPort(setup), "ttyACM8");
    EXPECT_EQ(setup.openLocalMachineKey(kControllerKey + "\\" + fifo + ":1.0")->value(u"FriendlyName"_s).text,
              "USB Serial Device (ttyACM8)");
    EXPECT_FALSE(setup.openLocalMachineKey(kControllerKey + "\\" + devs[0] + ":1.0"));
    sysfs.removeTtyClassLink(u"ttyACM8"_s);
    EXPECT_EQ(controllerPort(setup), "");

    // An interface whose port folder loops back to itself.
    const QString sound = addController(sysfs, u"q5 Controller"_s, {u"ttyACM1"_s}, u"1-99"_s);
    sysfs.makeSymlink(u"bus/usb/devices/"_s + sound + u":1.0/ttyLoop"_s, u"."_s);
    EXPECT_EQ(controllerPort(setup), "ttyACM1");

    // No tree at all, or its device folder is a loop.
    EXPECT_EQ(controllerPort(*std::make_unique<SysfsDeviceSetup>(sysfs.root() + "/missing")), "");
    sysfs.removePath(u"bus/usb/devices"_s);
    sysfs.makeSymlink(u"bus/usb/devices"_s, u"devices"_s);
    EXPECT_EQ(controllerPort(setup), "");
    EXPECT_FALSE(setup.presentUsbDevices());
}

TEST(SysfsDiscovery, IdentityComesFromTheKernelsUeventWhenThere) {
    FakeSysfs sysfs;
    const QString dev = addController(sysfs, u"q5 Controller"_s, {u"ttyACM0"_s});
    // The kernel's uevent names the same device in one line; its revision wins here to show it is read.
    sysfs.writeAttribute(dev, u"uevent"_s,
                         "MAJOR=189\nMINOR=3\nDEVNAME=bus/usb/001/004\nDEVTYPE=usb_device\n"
                         "PRODUCT=12bf/f010/200\nTYPE=2/0/0\nBUSNUM=001\n");
    SysfsDeviceSetup setup(sysfs.root());
    EXPECT_EQ(setup.presentUsbDevices()->hardwareIds(0).value(0), "USB\\VID_12BF&PID_F010&REV_0200");
    EXPECT_EQ(controllerPort(setup), "ttyACM0");

    // A uevent without a usable PRODUCT line falls back to the attribute files.
    sysfs.writeAttribute(dev, u"uevent"_s, "DEVTYPE=usb_device\nPRODUCT=12bf/zz/1\n");
    EXPECT_EQ(SysfsDeviceSetup(sysfs.root()).presentUsbDevices()->hardwareIds(0).value(0),
              "USB\\VID_12BF&PID_F010&REV_0100");
}

// The window's discovery asks at every tick and reuses what it read while the tree's devices and ttys are
// the same objects: a device, interface or tty that comes or goes is seen at the next query all the same.
TEST(SysfsDiscovery, AQueryThatReusesTheLastReadingSeesEveryDeviceAndTtyComeAndGo) {
    FakeSysfs sysfs;
    SysfsDeviceSetup setup(sysfs.root(), SysfsDeviceSetup::Reuse::WhileUnchanged);
    EXPECT_EQ(controllerPort(setup), "");
    const QString dev = addController(sysfs, u"q5 Controller"_s, {u"ttyACM0"_s});
    EXPECT_EQ(controllerPort(setup), "ttyACM0");
    EXPECT_EQ(controllerPort(setup), "ttyACM0");

    // The serial driver lets go of the port (its tty goes; the device stays), then binds it again.
    sysfs.removeTtyClassLink(u"ttyACM0"_s);
    EXPECT_EQ(controllerPort(setup), "");
    sysfs.makeSymlink(u"class/tty/ttyACM0"_s, sysfs.devicePath(dev + ":1.0") + "/tty/ttyACM0");
    EXPECT_EQ(controllerPort(setup), "ttyACM0");

    // Unplugged, and another unit plugged in at the same place, with its port under another name.
    sysfs.removeDevice(dev);
    EXPECT_EQ(controllerPort(setup), "");
    addController(sysfs, u"q5 Controller"_s, {u"ttyACM1"_s}, dev);
    EXPECT_EQ(controllerPort(setup), "ttyACM1");
    EXPECT_EQ(setup.openLocalMachineKey(kControllerKey + "\\" + dev + ":1.0")->value(u"FriendlyName"_s).text,
              "USB Serial Device (ttyACM1)");
}
