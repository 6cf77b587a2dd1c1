#include "sim/simulate_mode.h"

#include "logging/guarded.h"
#include "maintenance/controller_types.h"
#include "maintenance/firmware_page.h"
#include "sim/sample_firmware.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QScopeGuard>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#ifdef Q_OS_WIN
#include <QDirIterator>

#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace sim {

namespace fs = std::filesystem;

namespace {

// The V2 controller's MCUs, as the firmware page looks for them.
constexpr std::uint16_t v2_main_product_id = DADOV::controller_types[0].main_pid;
constexpr std::uint16_t v2_supervisory_product_id = DADOV::controller_types[0].super_pid;
// Firmware images of 24 KiB: a reflash takes a few seconds at 1 ms per exchange, long enough to watch.
constexpr std::size_t sample_length = 24 * 1024;

// The window refuses to close while the controller is attached and asks for the cable to be pulled: in
// simulate mode the close request pulls it, and the window is closed again once the tick has seen it go.
class UnplugOnClose : public QObject {
public:
    UnplugOnClose(QWidget& window, SimulateMode& simulation)
        : QObject(&window), _form(window), _simulation(simulation) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &_form && event->type() == QEvent::Close && _simulation.controllerPlugged()) {
            // When the cable cannot be pulled, the window's own closing handler decides.
            if (!DADOV::run_guarded(lcLink(), "unplugController", [this] { _simulation.unplugController(); }))
                return false;
            QTimer::singleShot(std::chrono::milliseconds(150), &_form, [form = &_form] { form->close(); });
        }
        return false;
    }

private:
    QWidget& _form;
    SimulateMode& _simulation;
};

constexpr char folder_prefix[] = "q5tool-simulate-";
constexpr char owner_file[] = "owner";

#ifdef Q_OS_WIN
// When a process started, in 100 ns units; 0 when it cannot be asked. Windows soon gives a gone process's ID
// to another: the ID with its start time names one process.
unsigned long long started_at(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!::GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// Windows has one process namespace: the line holds this process's start time instead.
std::string own_pid_namespace() {
    return "windows " + std::to_string(started_at(::GetCurrentProcess()));
}

long long own_pid() {
    return static_cast<long long>(::GetCurrentProcessId());
}
#else
// This process's PID namespace as the kernel names it ("pid:[4026531836]"); empty when unknown.
std::string own_pid_namespace() {
    std::error_code ec;
    const fs::path link = fs::read_symlink("/proc/self/ns/pid", ec);
    return ec ? std::string() : link.string();
}

long long own_pid() {
    return static_cast<long long>(::getpid());
}
#endif

// The owner file: this process's ID and PID namespace, one a line.
void record_owner(const QString& folder) {
    const std::string text = std::to_string(own_pid()) + "\n" + own_pid_namespace() + "\n";
    QFile file(QDir(folder).filePath(QLatin1String(owner_file)));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(text.data(), qint64(text.size())) != qint64(text.size()))
        throw std::runtime_error("cannot write the owner of the simulate mode folder");
}

#ifdef Q_OS_WIN
struct Owner {
    unsigned long pid;
    std::string pidNamespace;
};

// The owner a simulate folder records; nothing when its file is missing, is no plain file, or does not
// hold a process ID and a namespace.
std::optional<Owner> recorded_owner(const QString& folder) {
    QFile file(QDir(folder).filePath(QLatin1String(owner_file)));
    const QFileInfo info(file);
    if (info.isSymLink() || !info.isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> lines = file.read(256).split('\n');
    if (lines.size() < 3)
        return std::nullopt;
    bool ok = false;
    const unsigned long pid = lines[0].toULong(&ok);
    if (!ok || pid == 0 || lines[0].size() > 10)
        return std::nullopt;
    return Owner{pid, lines[1].toStdString()};
}

// Whether the process that recorded itself as "windows <start time>" is gone: there is no process of that
// ID, the one there now started at another time, or it has ended. A process this user may not ask about
// is not judged gone.
bool process_gone(unsigned long pid, const std::string& recorded) {
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr)
        return ::GetLastError() != ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool ended = (::GetExitCodeProcess(process, &code) && code != STILL_ACTIVE) ||
                       "windows " + std::to_string(started_at(process)) != recorded;
    ::CloseHandle(process);
    return ended;
}

} // namespace

QStringList remove_stale_simulate_folders(const QString& tempFolder) {
    QStringList removed;
    const QDir base(tempFolder);
    const QStringList names = base.entryList({QLatin1String(folder_prefix) + QLatin1Char('*')},
                                             QDir::Dirs | QDir::NoSymLinks | QDir::Hidden);
    for (const QString& name : names) {
        const QString path = base.filePath(name);
        if (QFileInfo(path).isSymLink() || QFileInfo(path).isJunction())
            continue;
        const std::optional<Owner> owner = recorded_owner(path);
        if (!owner || owner->pidNamespace.rfind("windows ", 0) != 0 ||
            owner->pidNamespace == own_pid_namespace() || !process_gone(owner->pid, owner->pidNamespace))
            continue;
        std::error_code ec;
        fs::remove_all(fs::path(path.toStdWString()), ec);
        if (!ec)
            removed << path;
    }
    return removed;
}

#else
struct Owner {
    pid_t pid;
    std::string pidNamespace;
};

// The owner a simulate folder records; nothing when its file is missing, is no plain file of this user,
// or does not hold a process ID and a namespace.
std::optional<Owner> recorded_owner(int folder) {
    const int fd = ::openat(folder, owner_file, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    const auto closed = qScopeGuard([fd] { ::close(fd); });
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid())
        return std::nullopt;
    char text[256];
    const ssize_t n = ::read(fd, text, sizeof text);
    if (n <= 0)
        return std::nullopt;
    const std::string contents(text, std::size_t(n));
    const std::size_t end = contents.find('\n');
    const std::size_t nsEnd = end == std::string::npos ? end : contents.find('\n', end + 1);
    if (end == std::string::npos || end == 0 || end > 9 || nsEnd == std::string::npos)
        return std::nullopt;
    pid_t pid = 0;
    for (std::size_t i = 0; i < end; ++i) {
        if (contents[i] < '0' || contents[i] > '9')
            return std::nullopt;
        pid = pid * 10 + (contents[i] - '0');
    }
    if (pid <= 0)
        return std::nullopt;
    return Owner{pid, contents.substr(end + 1, nsEnd - end - 1)};
}

} // namespace

QStringList remove_stale_simulate_folders(const QString& tempFolder) {
    QStringList removed;
    const std::string base = QFile::encodeName(tempFolder).toStdString();
    const std::string ownNamespace = own_pid_namespace();
    if (ownNamespace.empty())
        return removed; // without it, no owner can be judged gone
    DIR* dir = ::opendir(base.c_str());
    if (dir == nullptr)
        return removed;
    const auto closed = qScopeGuard([dir] { ::closedir(dir); });
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.rfind(folder_prefix, 0) != 0)
            continue;
        // A folder, not a link to one, of this user.
        const int folder =
            ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder < 0)
            continue;
        const auto folderClosed = qScopeGuard([folder] { ::close(folder); });
        struct stat st {};
        if (::fstat(folder, &st) != 0 || st.st_uid != ::getuid())
            continue;
        const std::optional<Owner> owner = recorded_owner(folder);
        if (!owner || owner->pid == ::getpid() || owner->pidNamespace != ownNamespace)
            continue;
        if (::kill(owner->pid, 0) == 0 || errno != ESRCH)
            continue; // alive, or not ours to judge
        std::error_code ec;
        const fs::path path = fs::path(base) / name;
        fs::remove_all(path, ec); // links inside are removed, never followed
        if (!ec)
            removed << QFile::decodeName(QByteArray::fromStdString(path.string()));
    }
    return removed;
}

#endif

QString SimulateMode::make_folder_template() {
    remove_stale_simulate_folders(QDir::tempPath());
    return QDir::tempPath() + QLatin1Char('/') + QLatin1String(folder_prefix) + QStringLiteral("XXXXXX");
}

#ifdef Q_OS_WIN
SimulateMode::SimulateMode() : _dir(make_folder_template()), _devices(std::make_shared<SimUsbDevices>()) {
#else
SimulateMode::SimulateMode() : _dir(make_folder_template()), _sysfs(_dir.path()) {
#endif
    if (!_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder for simulate mode");
    record_owner(_dir.path());
    const QDir root(_dir.path());
    for (const char* folder : {"dev", "samples", "work"})
        if (!root.mkpath(QString::fromLatin1(folder)))
            throw std::runtime_error(std::string("cannot create the simulate mode folder ") + folder);

            // The controller in normal mode: its port under a device root of our own, found through the fake
            // tree (on Windows, the devices held in memory).
#ifdef Q_OS_WIN
    _controller = std::make_unique<DADOV::SimController>(deviceRoot(), QStringLiteral("COM9"));
    _controllerHandle = _devices->plug(
        {0x12BF, 0xF010, 0x0100, QStringLiteral("COM9"), QUuid::createUuidV5(QUuid(), deviceRoot())});
    _controllerDevice = QStringLiteral("COM9");
#else
    _controller = std::make_unique<DADOV::SimController>(deviceRoot(), QStringLiteral("ttyACM0"));
    _controllerDevice = _sysfs.addDevice(0x12BF, 0xF010, 0x0100, QStringLiteral("q5 Controller"),
                                         {QStringLiteral("ttyACM0")});
#endif

    // The two MCUs of a V2 controller in update mode.
    _bootloader = std::make_shared<SimBootloader>();
    SimDevice main = _bootloader->add_device(DADOV::bootloader_vendor_id, v2_main_product_id);
    SimDevice supervisory = _bootloader->add_device(DADOV::bootloader_vendor_id, v2_supervisory_product_id);
    main.id() = {0, 4, 2, 7, 1, 9, 3, 6};
    for (SimDevice* device : {&main, &supervisory})
        device->set_latency(std::chrono::milliseconds(1));

    write_sample_firmware((root.filePath(QStringLiteral("samples/q5_mainV2.vmk"))).toStdString(), 1,
                          sample_length);
    write_sample_firmware((root.filePath(QStringLiteral("samples/q5_superV2.vmk"))).toStdString(), 2,
                          sample_length);
}

SimulateMode::~SimulateMode() = default;

std::unique_ptr<DADOV::DeviceSetup> SimulateMode::deviceSetup() const {
#ifdef Q_OS_WIN
    return std::make_unique<SimDeviceSetup>(_devices, QStringLiteral("COM"));
#else
    // The tree only gains and loses whole devices, as the kernel's does.
    return std::make_unique<DADOV::SysfsDeviceSetup>(_sysfs.root(),
                                                     DADOV::SysfsDeviceSetup::Reuse::WhileUnchanged);
#endif
}

void SimulateMode::apply(QWidget& window, DADOV::FirmwarePage& firmware) {
    firmware.hidBackend = _bootloader;
    firmware.firmwareFolder = samplesFolder();
    firmware.rememberFolder = false; // a temporary folder: not for the user's settings
    firmware.workingFolder = workingFolder();
    // Simulated units stay out of the workshop's service record: the run keeps one of its own.
    firmware.serviceRecordFile = QDir(_dir.path()).filePath(QStringLiteral("service-record.csv"));
    window.installEventFilter(new UnplugOnClose(window, *this));
}

void SimulateMode::unplugController() {
    if (_controllerDevice.isEmpty())
        return;
#ifdef Q_OS_WIN
    _devices->unplug(_controllerHandle);
#else
    _sysfs.removeDevice(_controllerDevice);
#endif
    _controller->hangUp();
    _controllerDevice.clear();
}

QString SimulateMode::deviceRoot() const {
#ifdef Q_OS_WIN
    // Named pipes of this run: "\\.\pipe\q5tool-simulate-1234-COM9".
    return QStringLiteral("\\\\.\\pipe\\%1%2-").arg(QLatin1String(folder_prefix)).arg(own_pid());
#else
    return QDir(_dir.path()).filePath(QStringLiteral("dev"));
#endif
}

QString SimulateMode::samplesFolder() const {
    return QDir(_dir.path()).filePath(QStringLiteral("samples"));
}

QString SimulateMode::workingFolder() const {
    return QDir(_dir.path()).filePath(QStringLiteral("work"));
}

} // namespace sim
