#include "sim/simulate_mode.h"

#include "app/form1.h"
#include "maintenance/firmware_page.h"
#include "sim/sample_firmware.h"

#include <QDir>
#include <QEvent>
#include <QTimer>

#include <chrono>
#include <stdexcept>

namespace sim {

namespace {

constexpr std::uint16_t bootloader_vendor_id = 0x04d8;
constexpr std::uint16_t v2_main_product_id = 0xff01;
constexpr std::uint16_t v2_supervisory_product_id = 0xff03;
// Firmware images of 24 KiB: a reflash takes a few seconds at 1 ms per exchange, long enough to watch.
constexpr std::size_t sample_length = 24 * 1024;

// The window refuses to close while the controller is attached and asks for the cable to be pulled: in
// simulate mode the close request pulls it, and the window is closed again once the tick has seen it go.
class UnplugOnClose : public QObject {
public:
    UnplugOnClose(DADOV::Form1& form, SimulateMode& simulation)
        : QObject(&form), _form(form), _simulation(simulation) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &_form && event->type() == QEvent::Close && _simulation.controllerPlugged()) {
            try {
                _simulation.unplugController();
            } catch (...) {
                return false; // the window's own closing handler decides
            }
            QTimer::singleShot(std::chrono::milliseconds(150), &_form, [form = &_form] { form->close(); });
        }
        return false;
    }

private:
    DADOV::Form1& _form;
    SimulateMode& _simulation;
};

} // namespace

SimulateMode::SimulateMode() {
    if (!_dir.isValid())
        throw std::runtime_error("cannot create a temporary folder for simulate mode");
    const QDir root(_dir.path());
    for (const char* folder : {"dev", "samples", "work"})
        if (!root.mkpath(QString::fromLatin1(folder)))
            throw std::runtime_error(std::string("cannot create the simulate mode folder ") + folder);

    // The controller in normal mode: its port under a device root of our own, found through the fake tree.
    const QString dev = root.filePath(QStringLiteral("dev"));
    _devRoot.emplace("Q5_DEV_ROOT", dev);
    _controller = std::make_unique<DADOV::SimController>(dev, QStringLiteral("ttyACM0"));
    _controllerDevice = _sysfs.addDevice(0x12BF, 0xF010, 0x0100, QStringLiteral("q5 Controller"),
                                         {QStringLiteral("ttyACM0")});
    _sysfs.setAsDefault();

    // The two MCUs of a V2 controller in update mode.
    _bootloader = std::make_shared<SimBootloader>();
    SimDevice main = _bootloader->add_device(bootloader_vendor_id, v2_main_product_id);
    SimDevice supervisory = _bootloader->add_device(bootloader_vendor_id, v2_supervisory_product_id);
    main.id() = {0, 4, 2, 7, 1, 9, 3, 6};
    for (SimDevice* device : {&main, &supervisory})
        device->set_latency(std::chrono::milliseconds(1));
    fwu::set_hid_backend(_bootloader);

    write_sample_firmware((root.filePath(QStringLiteral("samples/q5_mainV2.vmk"))).toStdString(), 1,
                          sample_length);
    write_sample_firmware((root.filePath(QStringLiteral("samples/q5_superV2.vmk"))).toStdString(), 2,
                          sample_length);
}

SimulateMode::~SimulateMode() {
    fwu::set_hid_backend(nullptr);
}

std::unique_ptr<DADOV::DeviceSetup> SimulateMode::deviceSetup() const {
    return std::make_unique<DADOV::SysfsDeviceSetup>(_sysfs.root());
}

void SimulateMode::apply(DADOV::Form1& form) {
    form.firmwarePage->firmwareFolder = samplesFolder();
    form.firmwarePage->rememberFolder = false; // a temporary folder: not for the user's settings
    form.firmwarePage->workingFolder = workingFolder();
    form.installEventFilter(new UnplugOnClose(form, *this));
}

void SimulateMode::unplugController() {
    if (_controllerDevice.isEmpty())
        return;
    _sysfs.removeDevice(_controllerDevice);
    _controller->hangUp();
    _controllerDevice.clear();
}

QString SimulateMode::samplesFolder() const {
    return QDir(_dir.path()).filePath(QStringLiteral("samples"));
}

QString SimulateMode::workingFolder() const {
    return QDir(_dir.path()).filePath(QStringLiteral("work"));
}

} // namespace sim
