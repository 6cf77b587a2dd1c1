#pragma once

// Simulate mode (q5tool --simulate): the whole tool with no hardware. The simulated controller answers on a
// pseudo-terminal published as ttyACM0 behind a fake sysfs tree (on Windows, a named pipe that discovery
// finds as COM9 among devices held in memory); the main and supervisory MCUs of a V2
// controller answer as simulated HID bootloaders (1 ms per exchange); sample firmware files wait in a
// folder of their own, where the Browse dialog opens. Everything lives in one temporary folder that goes
// with the object; it records the process that made it, so that a later run can remove it when this one
// was killed before it could.

#include "link/device_setup.h"
#include "sim/bootloader/sim_bootloader.h"
#include "sim/controller/sim_controller.h"
#ifdef Q_OS_WIN
#include "sim/sim_device_setup.h"
#else
#include "sim/fake_sysfs.h"
#endif

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

class QWidget;

namespace DADOV {
class FirmwarePage;
}

namespace sim {

class SimulateMode {
public:
    // Builds the simulated devices and the sample files; throws std::runtime_error saying what failed.
    SimulateMode();
    ~SimulateMode();
    SimulateMode(const SimulateMode&) = delete;
    SimulateMode& operator=(const SimulateMode&) = delete;

    // Discovery over the fake tree that holds the simulated controller.
    std::unique_ptr<DADOV::DeviceSetup> deviceSetup() const;
    // The folder where the simulated controller's port is published.
    QString deviceRoot() const;
    // Points the window's firmware page at the sample folder, a working folder and a service record of its
    // own. Closing the window unplugs the simulated controller first, as the window asks, and then closes it.
    void apply(QWidget& window, DADOV::FirmwarePage& firmware);
    // The simulated controller's USB cable is pulled: its port and its entry in the tree go.
    void unplugController();
    bool controllerPlugged() const { return !_controllerDevice.isEmpty(); }

    QString samplesFolder() const;
    QString workingFolder() const;
    DADOV::SimController& controller() { return *_controller; }
    SimDevice mainMcu() const { return _bootloader->device(0); }
    SimDevice supervisoryMcu() const { return _bootloader->device(1); }

private:
    static QString make_folder_template();

    QTemporaryDir _dir;
#ifdef Q_OS_WIN
    std::shared_ptr<SimUsbDevices> _devices;
    int _controllerHandle = 0;
#else
    FakeSysfs _sysfs;
#endif
    std::unique_ptr<DADOV::SimController> _controller;
    std::shared_ptr<SimBootloader> _bootloader;
    QString _controllerDevice; // its name in the tree; empty once unplugged
};

// Removes what runs of simulate mode left behind when they were killed outright: the folders in
// `tempFolder` named "q5tool-simulate-..." (no links) that belong to this user and record, in their "owner"
// file, a process of this PID namespace that is gone. Returns the folders removed.
QStringList remove_stale_simulate_folders(const QString& tempFolder);

} // namespace sim
