// The Windows device-setup layer: the present USB devices from SetupAPI and
// the device registry under HKEY_LOCAL_MACHINE. Both are read at every tick
// of the window's timer. Every text is read by asking for its size first and
// taking no more than that; one that does not fit the rules of
// setupapi_text.h reads as one that cannot be read.

#include "link/device_setup.h"
#include "link/setupapi_text.h"

#include <QByteArray>

#include <iterator>

// windows.h first; initguid.h makes this file the one that defines the
// GUID_DEVINTERFACE_USB_DEVICE and DEVPKEY_Device_ContainerId it uses.
// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <initguid.h>
#include <devpkey.h>
#include <usbiodef.h>
// clang-format on

namespace DADOV {

namespace {

using setupapi_text::kMaxBytes;

// A property or value that changes size between the size query and the read
// is asked for again, this many times in all.
constexpr int kReadAttempts = 3;

const wchar_t* wide(const QString& text) {
    return reinterpret_cast<const wchar_t*>(text.utf16());
}

class SetupApiDeviceList : public DeviceList {
public:
    explicit SetupApiDeviceList(HDEVINFO set) : m_set(set) {}
    ~SetupApiDeviceList() override { SetupDiDestroyDeviceInfoList(m_set); }
    SetupApiDeviceList(const SetupApiDeviceList&) = delete;
    SetupApiDeviceList& operator=(const SetupApiDeviceList&) = delete;

    bool hasDevice(quint32 n) override {
        SP_DEVICE_INTERFACE_DATA iface{};
        iface.cbSize = sizeof iface;
        if (!SetupDiEnumDeviceInterfaces(m_set, nullptr, &GUID_DEVINTERFACE_USB_DEVICE, n, &iface))
            return false;
        return deviceInfo(n).has_value();
    }

    QStringList hardwareIds(quint32 n) override {
        const std::optional<QByteArray> bytes = registryProperty(n, SPDRP_HARDWAREID, REG_MULTI_SZ);
        if (!bytes)
            return {};
        return setupapi_text::multiTextFromBytes(*bytes).value_or(QStringList());
    }

    QString friendlyName(quint32 n) override {
        const std::optional<QByteArray> bytes = registryProperty(n, SPDRP_FRIENDLYNAME, REG_SZ);
        if (!bytes)
            return {};
        return setupapi_text::textFromBytes(*bytes, setupapi_text::Terminator::Required).value_or(QString());
    }

    std::optional<QUuid> containerId(quint32 n) override {
        std::optional<SP_DEVINFO_DATA> device = deviceInfo(n);
        if (!device)
            return std::nullopt;
        GUID id{};
        DEVPROPTYPE type = DEVPROP_TYPE_EMPTY;
        DWORD size = 0;
        if (!SetupDiGetDevicePropertyW(m_set, &*device, &DEVPKEY_Device_ContainerId, &type,
                                       reinterpret_cast<PBYTE>(&id), sizeof id, &size, 0) ||
            type != DEVPROP_TYPE_GUID || size != sizeof id)
            return std::nullopt;
        return QUuid(id);
    }

private:
    std::optional<SP_DEVINFO_DATA> deviceInfo(quint32 n) const {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        if (!SetupDiEnumDeviceInfo(m_set, n, &device))
            return std::nullopt;
        return device;
    }

    // The bytes of a device's registry property of the given type; nothing
    // when it is missing, of another type, empty or too large.
    std::optional<QByteArray> registryProperty(quint32 n, DWORD property, DWORD expectedType) const {
        std::optional<SP_DEVINFO_DATA> device = deviceInfo(n);
        if (!device)
            return std::nullopt;
        DWORD type = 0;
        DWORD size = 0;
        if (SetupDiGetDeviceRegistryPropertyW(m_set, &*device, property, &type, nullptr, 0, &size) ||
            GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return std::nullopt; // an empty property reads without a buffer: nothing to decode
        for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
            if (size == 0 || size > DWORD(kMaxBytes))
                return std::nullopt;
            QByteArray bytes(qsizetype(size), Qt::Uninitialized);
            DWORD got = size;
            if (SetupDiGetDeviceRegistryPropertyW(m_set, &*device, property, &type,
                                                  reinterpret_cast<PBYTE>(bytes.data()), size, &got)) {
                if (type != expectedType || got > size)
                    return std::nullopt;
                bytes.truncate(qsizetype(got));
                return bytes;
            }
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
                return std::nullopt;
            size = got; // it grew since the size query
        }
        return std::nullopt;
    }

    HDEVINFO m_set;
};

class WindowsRegistryKey : public RegistryKey {
public:
    explicit WindowsRegistryKey(HKEY key) : m_key(key) {}
    ~WindowsRegistryKey() override { RegCloseKey(m_key); }
    WindowsRegistryKey(const WindowsRegistryKey&) = delete;
    WindowsRegistryKey& operator=(const WindowsRegistryKey&) = delete;

    std::optional<QStringList> subKeyNames() override {
        QStringList names;
        for (DWORD index = 0;; ++index) {
            wchar_t name[256]; // a key name has at most 255 characters
            DWORD length = DWORD(std::size(name));
            const LSTATUS status =
                RegEnumKeyExW(m_key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (status == ERROR_NO_MORE_ITEMS)
                return names;
            if (status != ERROR_SUCCESS || length >= DWORD(std::size(name)))
                return std::nullopt;
            names.push_back(QString::fromWCharArray(name, qsizetype(length)));
        }
    }

    RegistryValue value(const QString& name) override {
        if (name.contains(QChar(0)))
            return RegistryValue::missing(); // no value name holds a NUL
        DWORD type = 0;
        DWORD size = 0;
        LSTATUS status = RegQueryValueExW(m_key, wide(name), nullptr, &type, nullptr, &size);
        for (int attempt = 0; status == ERROR_SUCCESS && attempt < kReadAttempts; ++attempt) {
            if (type != REG_SZ || size > DWORD(kMaxBytes))
                return RegistryValue::other();
            QByteArray bytes(qsizetype(size), Qt::Uninitialized);
            DWORD got = size;
            status = RegQueryValueExW(m_key, wide(name), nullptr, &type,
                                      reinterpret_cast<LPBYTE>(bytes.data()), &got);
            if (status == ERROR_SUCCESS) {
                if (type != REG_SZ || got > size)
                    return RegistryValue::other();
                bytes.truncate(qsizetype(got));
                const std::optional<QString> text =
                    setupapi_text::textFromBytes(bytes, setupapi_text::Terminator::Optional);
                return text ? RegistryValue::ofText(*text) : RegistryValue::other();
            }
            if (status == ERROR_MORE_DATA) {
                size = got; // it grew since the size query
                status = ERROR_SUCCESS;
            }
        }
        return status == ERROR_FILE_NOT_FOUND ? RegistryValue::missing() : RegistryValue::other();
    }

private:
    HKEY m_key;
};

} // namespace

std::unique_ptr<DeviceList> SetupApiDeviceSetup::presentUsbDevices() {
    const HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVINTERFACE_USB_DEVICE, nullptr, nullptr,
                                              DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<SetupApiDeviceList>(set);
}

std::unique_ptr<RegistryKey> SetupApiDeviceSetup::openLocalMachineKey(const QString& path) {
    if (path.contains(QChar(0)))
        return nullptr; // the registry would open the path up to the NUL
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(path), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return nullptr;
    return std::make_unique<WindowsRegistryKey>(key);
}

QString SetupApiDeviceSetup::portPrefix() const {
    return QStringLiteral("COM");
}

} // namespace DADOV
