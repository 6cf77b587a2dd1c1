// The Windows device-setup layer under Wine: the text of properties and values as the layer decodes it,
// the registry through keys this test writes under HKLM\SYSTEM\CurrentControlSet\Enum\USB (and removes),
// and SetupAPI's list of present USB devices, which under Wine is empty.

#include "link/device_setup.h"
#include "link/setupapi_text.h"
#include "link/usb_discovery.h"

#include <gtest/gtest.h>

#include <string_view>

#include <windows.h>

using namespace DADOV;
using namespace Qt::StringLiterals;
using namespace std::string_view_literals;
using setupapi_text::multiTextFromBytes;
using setupapi_text::Terminator;
using setupapi_text::textFromBytes;

namespace {

// UTF-16 little-endian bytes, as Windows stores text.
QByteArray utf16le(std::u16string_view text) {
    QByteArray bytes;
    for (const char16_t unit : text) {
        bytes.append(char(unit & 0xff));
        bytes.append(char(unit >> 8));
    }
    return bytes;
}

} // namespace

TEST(SetupApiText, ARegSzReadsUpToItsFirstNulWhichSetupApiAlwaysGives) {
    EXPECT_EQ(textFromBytes(utf16le(u"USB Serial Device (COM7)\0"sv), Terminator::Required),
              u"USB Serial Device (COM7)"_s);
    EXPECT_EQ(textFromBytes(utf16le(u"COM7\0junk\0"sv), Terminator::Required), u"COM7"_s);
    EXPECT_EQ(textFromBytes(utf16le(u"\0"sv), Terminator::Required), u""_s);
    // Little-endian units, all 16 bits of them.
    EXPECT_EQ(textFromBytes(QByteArray("\xe9\x00\x00\x41\x3d\xd8\x00\xde\x00\x00", 10), Terminator::Required),
              u"\u00e9\u4100\U0001f600"_s);

    EXPECT_EQ(textFromBytes(utf16le(u"COM7"sv), Terminator::Optional), u"COM7"_s);
    EXPECT_EQ(textFromBytes(utf16le(u"COM7"sv), Terminator::Required), std::nullopt);
    EXPECT_EQ(textFromBytes({}, Terminator::Optional), u""_s);
    EXPECT_EQ(textFromBytes({}, Terminator::Required), std::nullopt);
}

TEST(SetupApiText, ARegMultiSzReadsItsStringsUpToTheEmptyOneAndNeedsItsLastNul) {
    using List = std::optional<QStringList>;
    EXPECT_EQ(multiTextFromBytes(utf16le(u"USB\\VID_12BF&PID_F010&REV_0100\0USB\\VID_12BF&PID_F010\0\0"sv)),
              List(QStringList{u"USB\\VID_12BF&PID_F010&REV_0100"_s, u"USB\\VID_12BF&PID_F010"_s}));
    EXPECT_EQ(multiTextFromBytes(utf16le(u"A\0B\0"sv)), List(QStringList{u"A"_s, u"B"_s})); // no closing NUL
    EXPECT_EQ(multiTextFromBytes(utf16le(u"A\0\0B\0\0"sv)), List(QStringList{u"A"_s}));
    EXPECT_EQ(multiTextFromBytes(utf16le(u"\0"sv)), List(QStringList()));
    EXPECT_EQ(multiTextFromBytes(utf16le(u"\0A\0\0"sv)), List(QStringList()));

    EXPECT_EQ(multiTextFromBytes(utf16le(u"A\0B"sv)), std::nullopt);
    EXPECT_EQ(multiTextFromBytes({}), std::nullopt);
}

TEST(SetupApiText, OddAndOversizedBytesAreUnreadable) {
    // The odd byte would be the low half of a unit; the text before it is not taken either.
    EXPECT_EQ(textFromBytes(utf16le(u"COM7\0"sv) + 'x', Terminator::Optional), std::nullopt);
    EXPECT_EQ(multiTextFromBytes(utf16le(u"A\0\0"sv) + '\0'), std::nullopt);

    QByteArray largest(setupapi_text::kMaxBytes, 'a');
    largest[largest.size() - 2] = '\0';
    largest[largest.size() - 1] = '\0';
    EXPECT_EQ(textFromBytes(largest, Terminator::Required).value_or(QString()).size(),
              setupapi_text::kMaxBytes / 2 - 1);
    EXPECT_EQ(multiTextFromBytes(largest).value_or(QStringList()).size(), 1);
    EXPECT_EQ(textFromBytes(largest + QByteArray(2, '\0'), Terminator::Required), std::nullopt);
    EXPECT_EQ(multiTextFromBytes(largest + QByteArray(2, '\0')), std::nullopt);
}

namespace {

const QString kUsbEnum = u"SYSTEM\\CurrentControlSet\\Enum\\USB"_s;
const QString kContainer = u"{8c7ed206-3f8a-4827-b3ab-ae9e1faefc6c}"_s;
const QString kOtherContainer = u"{0f4b1c9e-52d7-4a36-8e21-6b9d0c3a7f15}"_s;

const wchar_t* wide(const QString& text) {
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

// Writes keys and values below HKEY_LOCAL_MACHINE and closes what it opened.
class WrittenKey {
public:
    explicit WrittenKey(const QString& path, DWORD* disposition = nullptr) {
        m_status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, wide(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_ALL_ACCESS, nullptr, &m_key, disposition);
    }
    ~WrittenKey() {
        if (m_status == ERROR_SUCCESS)
            RegCloseKey(m_key);
    }
    WrittenKey(const WrittenKey&) = delete;
    WrittenKey& operator=(const WrittenKey&) = delete;

    LSTATUS status() const { return m_status; }

    LSTATUS set(const QString& name, DWORD type, const QByteArray& bytes) {
        return RegSetValueExW(m_key, wide(name), 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                              DWORD(bytes.size()));
    }
    LSTATUS setText(const QString& name, const QString& text) {
        return set(name, REG_SZ,
                   utf16le(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                               size_t(text.size()) + 1)));
    }

private:
    HKEY m_key = nullptr;
    LSTATUS m_status = ERROR_INVALID_HANDLE;
};

// A device key of its own for each run (VID_12BF&PID_F0C0 to F0FF by the process ID), with two instances
// written out of name order; removed with everything below it at the end.
class WindowsRegistry : public ::testing::Test {
protected:
    static constexpr quint16 kVendorId = 0x12BF;
    const quint16 productId = quint16(0xF0C0 | (GetCurrentProcessId() & 0x3F));
    const QString deviceKey = kUsbEnum + u"\\VID_12BF&PID_"_s + QString::number(productId, 16).toUpper();
    const QString first = deviceKey + u"\\7&2f0c91&0&3"_s;
    const QString second = deviceKey + u"\\5&1a2b3c&0&1"_s;

    void SetUp() override {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, wide(deviceKey)); // left over by a run that was killed
        DWORD disposition = 0;
        ASSERT_EQ(WrittenKey(kUsbEnum, &disposition).status(), ERROR_SUCCESS);
        createdUsbEnum = disposition == REG_CREATED_NEW_KEY;

        WrittenKey instance(first);
        ASSERT_EQ(instance.status(), ERROR_SUCCESS) << "HKLM cannot be written";
        ASSERT_EQ(instance.setText(u"ContainerID"_s, kOtherContainer), ERROR_SUCCESS);
        ASSERT_EQ(instance.setText(u"FriendlyName"_s, u"USB Serial Device (COM3)"_s), ERROR_SUCCESS);

        WrittenKey other(second);
        ASSERT_EQ(other.status(), ERROR_SUCCESS);
        ASSERT_EQ(other.setText(u"ContainerID"_s, kContainer), ERROR_SUCCESS);
        ASSERT_EQ(other.setText(u"FriendlyName"_s, u"USB Serial Device (COM7)"_s), ERROR_SUCCESS);
        ASSERT_EQ(other.set(u"Capabilities"_s, REG_DWORD, QByteArray("\x84\0\0\0", 4)), ERROR_SUCCESS);
        ASSERT_EQ(other.setText(u"Empty"_s, QString()), ERROR_SUCCESS);
        ASSERT_EQ(other.set(u"NoBytes"_s, REG_SZ, QByteArray()), ERROR_SUCCESS);
        ASSERT_EQ(other.set(u"Unterminated"_s, REG_SZ, utf16le(u"COM9"sv)), ERROR_SUCCESS);
        ASSERT_EQ(other.set(u"TwoStrings"_s, REG_SZ, utf16le(u"COM7\0junk\0"sv)), ERROR_SUCCESS);
        ASSERT_EQ(other.set(u"OddSize"_s, REG_SZ, utf16le(u"COM7\0"sv) + 'x'), ERROR_SUCCESS);
        ASSERT_EQ(other.set(u"Oversized"_s, REG_SZ, QByteArray(setupapi_text::kMaxBytes + 2, 'a')),
                  ERROR_SUCCESS);
        ASSERT_EQ(other.set(u"Expandable"_s, REG_EXPAND_SZ, utf16le(u"%SystemRoot%\0"sv)), ERROR_SUCCESS);
        ASSERT_EQ(other.set(u"List"_s, REG_MULTI_SZ, utf16le(u"COM7\0\0"sv)), ERROR_SUCCESS);
    }

    void TearDown() override {
        EXPECT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, wide(deviceKey)), ERROR_SUCCESS);
        EXPECT_EQ(setup.openLocalMachineKey(deviceKey), nullptr); // the device key went with its instances
        // Fails, as it should, while another run has keys there.
        if (createdUsbEnum)
            RegDeleteKeyW(HKEY_LOCAL_MACHINE, wide(kUsbEnum));
    }

    SetupApiDeviceSetup setup;
    bool createdUsbEnum = false;
};

void expectText(const RegistryValue& value, const QString& text) {
    EXPECT_EQ(value.type, RegistryValue::Type::Text);
    EXPECT_EQ(value.text, text);
}

} // namespace

TEST_F(WindowsRegistry, OpensTheKeysThatExistAndListsTheirSubkeysInTheRegistrysOrder) {
    EXPECT_EQ(setup.openLocalMachineKey(deviceKey + u"_0"_s), nullptr);
    EXPECT_EQ(setup.openLocalMachineKey(deviceKey + u"\\missing"_s), nullptr);
    // Not the device key, which is where the path would end for the registry.
    EXPECT_EQ(setup.openLocalMachineKey(deviceKey + QChar(0) + u"\\5&1a2b3c&0&1"_s), nullptr);

    const std::unique_ptr<RegistryKey> device = setup.openLocalMachineKey(deviceKey);
    ASSERT_NE(device, nullptr);
    // The registry keeps subkeys sorted by name, whatever the order they were written in.
    EXPECT_EQ(device->subKeyNames(), (QStringList{u"5&1a2b3c&0&1"_s, u"7&2f0c91&0&3"_s}));
    EXPECT_EQ(device->value(u"ContainerID"_s).type, RegistryValue::Type::Missing);

    const std::unique_ptr<RegistryKey> instance = setup.openLocalMachineKey(second.toLower());
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->subKeyNames(), QStringList());
}

TEST_F(WindowsRegistry, ReadsARegSzAsItsTextAndTellsMissingValuesFromOtherOnes) {
    const std::unique_ptr<RegistryKey> key = setup.openLocalMachineKey(second);
    ASSERT_NE(key, nullptr);
    expectText(key->value(u"ContainerID"_s), kContainer);
    expectText(key->value(u"containerid"_s), kContainer);
    expectText(key->value(u"FriendlyName"_s), u"USB Serial Device (COM7)"_s);
    expectText(key->value(u"Empty"_s), u""_s);
    expectText(key->value(u"NoBytes"_s), u""_s);
    expectText(key->value(u"Unterminated"_s), u"COM9"_s);
    expectText(key->value(u"TwoStrings"_s), u"COM7"_s);
    EXPECT_EQ(key->value(u"Missing"_s).type, RegistryValue::Type::Missing);
    EXPECT_EQ(key->value(u"FriendlyName"_s + QChar(0) + u"x"_s).type, RegistryValue::Type::Missing);
    for (const QString& name :
         {u"Capabilities"_s, u"OddSize"_s, u"Oversized"_s, u"Expandable"_s, u"List"_s}) {
        const RegistryValue value = key->value(name);
        EXPECT_EQ(value.type, RegistryValue::Type::Other) << name.toStdString();
        EXPECT_EQ(value.text, QString()) << name.toStdString();
    }

    const std::unique_ptr<RegistryKey> firstKey = setup.openLocalMachineKey(first);
    ASSERT_NE(firstKey, nullptr);
    expectText(firstKey->value(u"FriendlyName"_s), u"USB Serial Device (COM3)"_s);
}

namespace {

// One present device, a composite one whose ports only the registry names; the registry of Windows.
class OneDeviceOverTheRegistry : public DeviceSetup {
public:
    QStringList hardwareIds;
    QUuid container;

    std::unique_ptr<DeviceList> presentUsbDevices() override { return std::make_unique<List>(*this); }
    std::unique_ptr<RegistryKey> openLocalMachineKey(const QString& path) override {
        return registry.openLocalMachineKey(path);
    }
    QString portPrefix() const override { return registry.portPrefix(); }

private:
    class List : public DeviceList {
    public:
        explicit List(const OneDeviceOverTheRegistry& device) : m_device(device) {}
        bool hasDevice(quint32 n) override { return n == 0; }
        QStringList hardwareIds(quint32) override { return m_device.hardwareIds; }
        QString friendlyName(quint32) override { return u"USB Composite Device"_s; }
        std::optional<QUuid> containerId(quint32) override { return m_device.container; }

    private:
        const OneDeviceOverTheRegistry& m_device;
    };

    SetupApiDeviceSetup registry;
};

} // namespace

TEST_F(WindowsRegistry, DiscoveryFindsAPortByContainerIdAmongTheRegistrysInstances) {
    const QString ids = u"USB\\VID_12BF&PID_"_s + QString::number(productId, 16).toUpper();
    OneDeviceOverTheRegistry device;
    device.hardwareIds = {ids + u"&REV_0100"_s, ids};
    device.container = QUuid(kContainer);
    EXPECT_EQ(usb_check_if_present_and_get_com_string(device, kVendorId, productId, 0, false, 0), u"COM7"_s);
    device.container = QUuid(kOtherContainer);
    EXPECT_EQ(usb_check_if_present_and_get_com_string(device, kVendorId, productId, 0, false, 0), u"COM3"_s);
    // The key of one interface (&MI_01) is not written: nothing is found there.
    EXPECT_EQ(usb_check_if_present_and_get_com_string(device, kVendorId, productId, 0, true, 1), u""_s);
}

TEST(SetupApiDevices, WineHasNoPresentUsbDevice) {
    SetupApiDeviceSetup setup;
    EXPECT_EQ(setup.portPrefix(), u"COM"_s);

    const std::unique_ptr<DeviceList> list = setup.presentUsbDevices();
    ASSERT_NE(list, nullptr); // an empty list, not a failure
    EXPECT_FALSE(list->hasDevice(0));
    EXPECT_EQ(list->hardwareIds(0), QStringList());
    EXPECT_EQ(list->friendlyName(0), QString());
    EXPECT_EQ(list->containerId(0), std::nullopt);
    EXPECT_FALSE(list->hasDevice(0xFFFFFFFFu));

    EXPECT_EQ(usb_check_if_present_and_get_com_string(setup, 0x12BF, 0xF010, 0, false, 0), u""_s);
    EXPECT_EQ(usb_check_if_present_and_get_com_string(setup, 0x12BF, 0xF010, 3, true, 2), u""_s);
}
