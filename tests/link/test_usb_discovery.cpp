// Discovery of the controller's port: the logic over a scripted device-setup
// layer (Windows-style names), and the Linux layer over fake sysfs trees.

#include "link/device_setup.h"
#include "link/usb_discovery.h"
#include "support/fake_sysfs.h"

#include <gmock/gmock.h>

#include <QDir>
#include <QFile>

#include <map>
#include <new>

using namespace DADOV;
using testsupport::FakeSysfs;

namespace {

const QString kUsbEnum = QStringLiteral("SYSTEM\\CurrentControlSet\\Enum\\USB\\");
const QString kControllerKey = kUsbEnum + QStringLiteral("VID_12BF&PID_F010");

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
    return {{QStringLiteral("USB\\VID_12BF&PID_F010&REV_0100"), QStringLiteral("USB\\VID_12BF&PID_F010")},
            friendlyName,
            container};
}

ScriptedSetup::Key instance(const QUuid& container, const QString& friendlyName) {
    return {
        {},
        {{QStringLiteral("ContainerID"), RegistryValue::ofText(ContainerIDGUIDToString(container).toUpper())},
         {QStringLiteral("FriendlyName"), RegistryValue::ofText(friendlyName)}}};
}

} // namespace

TEST(ContainerIdText, IsTheRegistryFormInLowerCase) {
    EXPECT_EQ(ContainerIDGUIDToString(kContainerA), "{8c7ed206-3f8a-4827-b3ab-ae9e1faefc6c}");
    EXPECT_EQ(ContainerIDGUIDToString(QUuid(0x1, 0x2, 0x3, 0, 0x4, 5, 6, 7, 8, 9, 0xa)),
              "{00000001-0002-0003-0004-05060708090a}");
}

TEST(UsbDiscovery, MatchesTheFirstHardwareIdOnlyInAnyCase) {
    ScriptedSetup setup;
    // The identity only in a later entry: not the controller.
    setup.devices.push_back(
        {{QStringLiteral("USB\\VID_0403&PID_6001&REV_0600"), QStringLiteral("USB\\VID_12BF&PID_F010")},
         QStringLiteral("Other (COM3)"),
         std::nullopt});
    setup.devices.push_back({{QStringLiteral("usb\\vid_12bf&pid_f010&rev_0100")},
                             QStringLiteral("USB Serial Device (COM12)"),
                             {}});
    EXPECT_EQ(controllerPort(setup), "COM12");
    EXPECT_EQ(setup.friendlyNameReads, (std::vector<int>{0, 1}));
}

TEST(UsbDiscovery, NothingPresentOrNoListGivesTheEmptyText) {
    ScriptedSetup setup;
    EXPECT_EQ(controllerPort(setup), "");
    setup.devices.push_back(
        {{QStringLiteral("USB\\VID_046D&PID_C52B&REV_1211")}, QStringLiteral("Receiver (COM1)"), {}});
    EXPECT_EQ(controllerPort(setup), "");
    setup.devices.push_back(controller(QStringLiteral("USB Serial Device (COM7)")));
    setup.listFails = true;
    EXPECT_EQ(controllerPort(setup), "");
    setup.listFails = false;
    setup.throwOnFriendlyName = true;
    EXPECT_EQ(controllerPort(setup), "");
}

TEST(UsbDiscovery, ExtractsFromTheFirstPrefixToTheFirstParenthesis) {
    EXPECT_EQ(extract_port_name(QStringLiteral("USB Serial Device (COM7)"), QStringLiteral("COM")), "COM7");
    EXPECT_EQ(extract_port_name(QStringLiteral("COMM Port (COM4)"), QStringLiteral("COM")),
              "COMM Port (COM4");
    EXPECT_EQ(extract_port_name(QStringLiteral("Port (A) (COM3)"), QStringLiteral("COM")), "");
    EXPECT_EQ(extract_port_name(QStringLiteral("q5 Controller (ttyACM0)"), QStringLiteral("tty")), "ttyACM0");
}

TEST(UsbDiscovery, AFriendlyNameThatNamesAPortEndsTheSearchEvenWhenItsExtractionIsEmpty) {
    ScriptedSetup setup;
    setup.devices.push_back(controller(QStringLiteral("Port (A) (COM3)"), kContainerA));
    setup.devices.push_back(controller(QStringLiteral("USB Serial Device (COM9)")));
    setup.keys[kControllerKey] = {{QStringLiteral("0001")}, {}};
    setup.keys[kControllerKey + QStringLiteral("\\0001")] =
        instance(kContainerA, QStringLiteral("USB Serial Device (COM5)"));
    EXPECT_EQ(controllerPort(setup), "");
    EXPECT_TRUE(setup.openedKeys.isEmpty()); // no fallback

    setup.devices.front().friendlyName = QStringLiteral("COMM Port (COM4)");
    EXPECT_EQ(controllerPort(setup), "COMM Port (COM4");
}

TEST(UsbDiscovery, FallsBackToTheRegistryInstanceWithTheSameContainerId) {
    ScriptedSetup setup;
    setup.devices.push_back(controller(QStringLiteral("q5 Controller"), kContainerA));
    setup.keys[kControllerKey] = {
        {QStringLiteral("5&1a2b3c&0&1"), QStringLiteral("gone"), QStringLiteral("5&1a2b3c&0&2")}, {}};
    setup.keys[kControllerKey + QStringLiteral("\\5&1a2b3c&0&1")] =
        instance(kContainerB, QStringLiteral("USB Serial Device (COM8)"));
    setup.keys[kControllerKey + QStringLiteral("\\5&1a2b3c&0&2")] =
        instance(kContainerA, QStringLiteral("USB Serial Device (COM5)"));
    EXPECT_EQ(controllerPort(setup), "COM5"); // container IDs compared without regard to case
    EXPECT_THAT(setup.openedKeys,
                testing::ElementsAre(kControllerKey, kControllerKey + "\\5&1a2b3c&0&1",
                                     kControllerKey + "\\gone", kControllerKey + "\\5&1a2b3c&0&2"));

    // An instance name whose extraction is empty ends the search all the same.
    setup.devices.push_back(controller(QStringLiteral("USB Serial Device (COM9)")));
    setup.keys[kControllerKey + QStringLiteral("\\5&1a2b3c&0&2")] =
        instance(kContainerA, QStringLiteral("Port (A) (COM3)"));
    EXPECT_EQ(controllerPort(setup), "");
}

TEST(UsbDiscovery, ADeviceWithoutAPortGivesItsPlaceToTheNextMatchingDevice) {
    ScriptedSetup setup;
    setup.devices.push_back(
        controller(QStringLiteral("q5 Controller"), kContainerA)); // no registry key at all
    setup.devices.push_back(
        controller(QStringLiteral("q5 Controller"), kContainerB)); // key, no matching instance
    setup.devices.push_back(controller(QStringLiteral("USB Serial Device (COM6)")));
    setup.devices.push_back(controller(QStringLiteral("USB Serial Device (COM7)")));
    EXPECT_EQ(controllerPort(setup), "COM6");
    setup.keys[kControllerKey] = {{QStringLiteral("1")}, {}};
    setup.keys[kControllerKey + QStringLiteral("\\1")] =
        instance(kContainerA, QStringLiteral("USB Serial Device (COM2)"));
    EXPECT_EQ(controllerPort(setup), "COM2");
    // Position 1: the first is passed over, the second has no port and gives
    // its place to the third.
    EXPECT_EQ(controllerPort(setup, 1), "COM6");
}

TEST(UsbDiscovery, AnInstanceWithoutContainerIdEndsTheFallbackForThatDevice) {
    ScriptedSetup setup;
    setup.devices.push_back(controller(QStringLiteral("q5 Controller"), kContainerA));
    setup.keys[kControllerKey] = {{QStringLiteral("1"), QStringLiteral("2")}, {}};
    setup.keys[kControllerKey + QStringLiteral("\\1")] = {
        {}, {{QStringLiteral("FriendlyName"), RegistryValue::ofText(QStringLiteral("X (COM1)"))}}};
    setup.keys[kControllerKey + QStringLiteral("\\2")] =
        instance(kContainerA, QStringLiteral("USB Serial Device (COM5)"));
    EXPECT_EQ(controllerPort(setup), "");

    // A container ID of another type, or a friendly name that is not text, fails the same way.
    setup.keys[kControllerKey + QStringLiteral("\\1")].values[QStringLiteral("ContainerID")] =
        RegistryValue::other();
    EXPECT_EQ(controllerPort(setup), "");
    setup.keys[kControllerKey + QStringLiteral("\\1")] = instance(kContainerA, {});
    setup.keys[kControllerKey + QStringLiteral("\\1")].values[QStringLiteral("FriendlyName")] =
        RegistryValue::other();
    EXPECT_EQ(controllerPort(setup), "");
    // A missing friendly name reads as empty: the next instance is tried.
    setup.keys[kControllerKey + QStringLiteral("\\1")].values.erase(QStringLiteral("FriendlyName"));
    EXPECT_EQ(controllerPort(setup), "COM5");
}

TEST(UsbDiscovery, PositionOnePassesOverTheFirstMatchWithoutReadingItsName) {
    ScriptedSetup setup;
    setup.devices.push_back(controller(QStringLiteral("USB Serial Device (COM3)")));
    setup.devices.push_back({{QStringLiteral("USB\\VID_0403&PID_6001")}, QStringLiteral("FTDI (COM4)"), {}});
    setup.devices.push_back(controller(QStringLiteral("USB Serial Device (COM5)")));
    EXPECT_EQ(controllerPort(setup, 1), "COM5");
    EXPECT_EQ(setup.friendlyNameReads, (std::vector<int>{0, 0, 1}));
    EXPECT_EQ(controllerPort(setup, 2), "");
}

TEST(UsbDiscovery, TheInterfaceNumberNamesTheRegistryKeyOnly) {
    ScriptedSetup setup;
    setup.devices.push_back(controller(QStringLiteral("Composite"), kContainerA));
    const QString key = kUsbEnum + QStringLiteral("VID_12BF&PID_F010&MI_02");
    setup.keys[key] = {{QStringLiteral("1")}, {}};
    setup.keys[key + QStringLiteral("\\1")] =
        instance(kContainerA, QStringLiteral("USB Serial Device (COM11)"));
    EXPECT_EQ(usb_check_if_present_and_get_com_string(setup, 0x12bf, 0xf010, 0, true, 2), "COM11");
    EXPECT_EQ(setup.openedKeys.front(), key);
    EXPECT_EQ(usb_check_if_present_and_get_com_string(setup, 0x12bf, 0xf010, 0, false, 2), "");
}

// ---- The Linux layer over fake sysfs trees ----

TEST(SysfsDiscovery, FindsTheControllersTtyThroughItsInstance) {
    FakeSysfs sysfs;
    sysfs.addDevice(0x046d, 0xc52b, 0x1211, QStringLiteral("USB Receiver"));
    sysfs.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("q5 Controller"), {QStringLiteral("ttyACM0")});
    SysfsDeviceSetup setup(sysfs.root());
    EXPECT_EQ(controllerPort(setup), "ttyACM0");

    // A USB serial converter's layout.
    FakeSysfs other;
    other.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("q5 Controller"), {QStringLiteral("ttyUSB3")});
    SysfsDeviceSetup otherSetup(other.root());
    EXPECT_EQ(controllerPort(otherSetup), "ttyUSB3");
}

TEST(SysfsDiscovery, DescribesDevicesAndInstancesAsTheLogicExpects) {
    FakeSysfs sysfs;
    const QString hub = QStringLiteral("usb1");
    const QString dev = sysfs.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("q5 Controller"),
                                        {QStringLiteral("ttyACM1"), QStringLiteral("ttyACM0")});
    SysfsDeviceSetup setup(sysfs.root());
    EXPECT_EQ(setup.portPrefix(), "tty");

    auto list = setup.presentUsbDevices();
    ASSERT_TRUE(list);
    ASSERT_TRUE(list->hasDevice(1));
    EXPECT_FALSE(list->hasDevice(2)); // interfaces are not devices
    EXPECT_EQ(list->hardwareIds(0).value(0), "USB\\VID_12BF&PID_F010&REV_0100");
    EXPECT_EQ(list->friendlyName(0), "q5 Controller");
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
    EXPECT_EQ(inst->value(QStringLiteral("ContainerID")).text, ContainerIDGUIDToString(*container));
    EXPECT_EQ(inst->value(QStringLiteral("friendlyname")).text, "q5 Controller (ttyACM0)");
    EXPECT_EQ(inst->value(QStringLiteral("Other")).type, RegistryValue::Type::Missing);

    // One interface number only.
    auto mi = setup.openLocalMachineKey(kControllerKey + "&MI_02");
    ASSERT_TRUE(mi);
    EXPECT_EQ(mi->subKeyNames(), (QStringList{dev + ":1.2"}));
    EXPECT_EQ(setup.openLocalMachineKey(kControllerKey + "&MI_01")->subKeyNames(), QStringList{});
    EXPECT_EQ(usb_check_if_present_and_get_com_string(setup, 0x12bf, 0xf010, 0, true, 2), "ttyACM0");

    // Keys that are not there.
    EXPECT_FALSE(setup.openLocalMachineKey(kUsbEnum + "VID_12BF&PID_F011"));
    EXPECT_FALSE(setup.openLocalMachineKey(kControllerKey + "\\" + dev + ":1.1"));
    EXPECT_FALSE(setup.openLocalMachineKey(kControllerKey + "\\" + hub + ":1.0"));
    EXPECT_FALSE(setup.openLocalMachineKey(QStringLiteral("SOFTWARE\\Classes")));
    EXPECT_FALSE(setup.openLocalMachineKey(kControllerKey + "\\..\\1-1"));
}

TEST(SysfsDiscovery, FollowsTheLogicsNameRulesWithTtyNames) {
    FakeSysfs sysfs;
    const QString first = sysfs.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("Port (A) (ttyS3)"),
                                          {QStringLiteral("ttyACM0")});
    SysfsDeviceSetup setup(sysfs.root());
    EXPECT_EQ(controllerPort(setup), ""); // the product names a port: no fallback

    sysfs.writeAttribute(first, QStringLiteral("product"), "Serial (ttyS3)\n");
    EXPECT_EQ(controllerPort(setup), "ttyS3");

    // Position 1: the second controller, found through its instance.
    sysfs.writeAttribute(first, QStringLiteral("product"), "q5 Controller\n");
    sysfs.addDevice(0x12BF, 0xF010, 0x0100, QStringLiteral("q5 Controller"), {QStringLiteral("ttyACM1")});
    EXPECT_EQ(controllerPort(setup), "ttyACM0");
    EXPECT_EQ(controllerPort(setup, 1), "ttyACM1");
    EXPECT_EQ(controllerPort(setup, 2), "");

    // Unplugged: no longer present.
    sysfs.removeDevice(first);
    EXPECT_EQ(controllerPort(setup), "ttyACM1");
    EXPECT_EQ(controllerPort(setup, 1), "");
}

TEST(SysfsDiscovery, AControllerWithoutTtyGivesItsPlaceToTheNext) {
    FakeSysfs sysfs;
    sysfs.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("q5 Controller"), {}, QStringLiteral("1-1"));
    sysfs.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("q5 Controller"), {QStringLiteral("ttyACM0")},
                    QStringLiteral("1-2"));
    SysfsDeviceSetup setup(sysfs.root());
    EXPECT_EQ(controllerPort(setup), "ttyACM0");
    // Without its class link the tty does not count.
    sysfs.removeTtyClassLink(QStringLiteral("ttyACM0"));
    EXPECT_EQ(controllerPort(setup), "");
}

TEST(SysfsDiscovery, TheRootComesFromTheEnvironmentByDefault) {
    FakeSysfs sysfs;
    sysfs.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("q5 Controller"), {QStringLiteral("ttyACM0")});
    {
        testsupport::ScopedEnvironmentVariable unset("Q5_SYSFS_ROOT", {});
        EXPECT_EQ(SysfsDeviceSetup().root(), "/sys");
    }
    sysfs.setAsDefault();
    SysfsDeviceSetup setup;
    EXPECT_EQ(setup.root(), sysfs.root());
    EXPECT_EQ(controllerPort(setup), "ttyACM0");
}

TEST(SysfsDiscovery, StrangeTreesReadAsDevicesThatAreNotThere) {
    FakeSysfs sysfs;
    const QString noVendor =
        sysfs.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("q5 Controller"), {QStringLiteral("ttyACM5")});
    sysfs.removeAttribute(noVendor, QStringLiteral("uevent"));
    sysfs.removeAttribute(noVendor, QStringLiteral("idVendor"));
    const QString noProduct =
        sysfs.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("q5 Controller"), {QStringLiteral("ttyACM6")});
    sysfs.removeAttribute(noProduct, QStringLiteral("uevent"));
    sysfs.removeAttribute(noProduct, QStringLiteral("idProduct"));
    const QString garbage =
        sysfs.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("q5 Controller"), {QStringLiteral("ttyACM7")});
    sysfs.removeAttribute(garbage, QStringLiteral("uevent"));
    sysfs.writeAttribute(garbage, QStringLiteral("idVendor"), "12bfxyz\n");
    const QString fifo =
        sysfs.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("x"), {QStringLiteral("ttyACM8")});
    sysfs.removeAttribute(fifo, QStringLiteral("product"));
    sysfs.makeFifo(QStringLiteral("bus/usb/devices/") + fifo +
                   QStringLiteral("/product")); // would block a plain read
    sysfs.makeSymlink(QStringLiteral("bus/usb/devices/1-90"), QStringLiteral("../../../devices/nowhere"));
    sysfs.makeSymlink(QStringLiteral("bus/usb/devices/1-91"), QStringLiteral("1-91")); // a loop
    sysfs.makeSymlink(QStringLiteral("bus/usb/devices/1-92"), QStringLiteral("/dev/zero"));
    sysfs.makeDirectory(QStringLiteral("bus/usb/devices/1-93/idVendor")); // a folder where a file belongs
    sysfs.makeSymlink(QStringLiteral("class/tty/ttyACM9"), QStringLiteral("../../devices/gone/tty/ttyACM9"));
    SysfsDeviceSetup setup(sysfs.root());
    // The device behind the FIFO is found all the same: its friendly name
    // cannot be read, and its instance names the tty alone.
    EXPECT_EQ(controllerPort(setup), "ttyACM8");
    EXPECT_EQ(setup.openLocalMachineKey(kControllerKey + "\\" + fifo + ":1.0")
                  ->value(QStringLiteral("FriendlyName"))
                  .text,
              "(ttyACM8)");
    EXPECT_FALSE(setup.openLocalMachineKey(kControllerKey + "\\" + noVendor + ":1.0"));
    sysfs.removeTtyClassLink(QStringLiteral("ttyACM8"));
    EXPECT_EQ(controllerPort(setup), "");

    const QString sound = sysfs.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("q5 Controller"),
                                          {QStringLiteral("ttyACM1")}, QStringLiteral("1-99"));
    EXPECT_EQ(controllerPort(setup), "ttyACM1");

    // An interface whose port folder loops back to itself.
    sysfs.makeSymlink(QStringLiteral("bus/usb/devices/") + sound + QStringLiteral(":1.0/ttyLoop"),
                      QStringLiteral("."));
    EXPECT_EQ(controllerPort(setup), "ttyACM1");

    // No tree at all, or its device folder is a loop.
    EXPECT_EQ(controllerPort(*std::make_unique<SysfsDeviceSetup>(sysfs.root() + "/missing")), "");
    sysfs.removePath(QStringLiteral("bus/usb/devices"));
    sysfs.makeSymlink(QStringLiteral("bus/usb/devices"), QStringLiteral("devices"));
    EXPECT_EQ(controllerPort(setup), "");
    EXPECT_FALSE(setup.presentUsbDevices());
}

namespace {

TEST(SysfsDiscovery, IdentityComesFromTheKernelsUeventWhenThere) {
    FakeSysfs sysfs;
    const QString dev =
        sysfs.addDevice(0x12bf, 0xf010, 0x0100, QStringLiteral("q5 Controller"), {QStringLiteral("ttyACM0")});
    // The kernel's uevent names the same device in one line; its revision wins here to show it is read.
    sysfs.writeAttribute(dev, QStringLiteral("uevent"),
                         "MAJOR=189\nMINOR=3\nDEVNAME=bus/usb/001/004\nDEVTYPE=usb_device\n"
                         "PRODUCT=12bf/f010/200\nTYPE=2/0/0\nBUSNUM=001\n");
    SysfsDeviceSetup setup(sysfs.root());
    auto list = setup.presentUsbDevices();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->hardwareIds(0).value(0), "USB\\VID_12BF&PID_F010&REV_0200");
    EXPECT_EQ(usb_check_if_present_and_get_com_string(setup, 0x12bf, 0xf010, 0, false, 0), "ttyACM0");

    // A uevent without a usable PRODUCT line falls back to the attribute files.
    sysfs.writeAttribute(dev, QStringLiteral("uevent"), "DEVTYPE=usb_device\nPRODUCT=12bf/zz/1\n");
    EXPECT_EQ(SysfsDeviceSetup(sysfs.root()).presentUsbDevices()->hardwareIds(0).value(0),
              "USB\\VID_12BF&PID_F010&REV_0100");
}

} // namespace
