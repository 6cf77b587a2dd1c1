#pragma once

// The attachment monitor: a 30 ms timer, timer1, whose tick first runs the refresh of the page shown,
// then looks for the controller's port, opens the serial link when the port appears and closes it when it
// goes away. It alone keeps the attachment state. Everything runs on the window thread; the first tick
// comes once the event loop runs.

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

namespace DADOV {

class DeviceSetup;
class SerialLink;

class AttachmentMonitor : public QObject {
    Q_OBJECT

public:
    // What a tick does beyond the link, supplied by the window.
    struct Hooks {
        std::function<void()> refreshPage;                              // 1: the shown page's refresh
        std::function<void()> notAttached;                              // every tick that finds no port
        std::function<void(const QString& text)> showStatus;            // the status labels' text
        std::function<void(const QString& hint)> showStatusHint;        // their tool tip
        std::function<QString(const QString& portPath)> permissionHint; // why this user may not open it
        std::function<void()> attached; // the page actions, after every attach attempt
    };

    AttachmentMonitor(DeviceSetup& setup, SerialLink& link, Hooks hooks, QObject* parent = nullptr);
    ~AttachmentMonitor() override;

    // The port name of the present device with this USB identity, or the empty text.
    QString USB_CheckIfPresentAndGetCOMString(quint16 vendorId, quint16 productId, quint32 position,
                                              bool interfaceFlag, quint8 interfaceNumber);

    // One tick: presence, attach and detach. A failing refresh or query is logged and the next tick starts
    // afresh.
    void timer1_Tick();

    // 1 when the last tick found the controller's port and the link is open; 0 otherwise (also right after
    // a failed open, and from a firmware update until the next tick).
    int DeviceAttachedState() const { return _deviceAttachedState; }
    // DeviceAttachedState as it stood at the end of the previous tick.
    int OldDeviceAttachedState() const { return _oldDeviceAttachedState; }
    // A firmware update holds the timer and takes the controller's USB connection to its bootloader: the
    // window no longer counts the controller as attached (it may close) until a tick finds it again.
    void forget_attachment() { _deviceAttachedState = 0; }

    QTimer timer1;

private:
    DeviceSetup& _setup;
    SerialLink& _link;
    Hooks _hooks;
    int _deviceAttachedState = 0;
    int _oldDeviceAttachedState = 0;
};

} // namespace DADOV
