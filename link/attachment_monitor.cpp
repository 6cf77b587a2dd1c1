#include "link/attachment_monitor.h"

#include "link/device_setup.h"
#include "link/serial_link.h"
#include "link/usb_discovery.h"
#include "logging/guarded.h"

namespace DADOV {

namespace {

constexpr quint16 controller_vendor_id = 0x12BF;
constexpr quint16 controller_product_id = 0xF010;
constexpr int tick_interval_ms = 30;

const QString status_not_attached = QStringLiteral("Status: Unknown or Not Attached");
const QString status_connected = QStringLiteral("Status: Connected on ");
const QString status_broken = QStringLiteral(
    "Status: Attached but broken.  Please unplug device, wait a few seconds, and re-attach device.");

} // namespace

AttachmentMonitor::AttachmentMonitor(DeviceSetup& setup, SerialLink& link, Hooks hooks, QObject* parent)
    : QObject(parent), _setup(setup), _link(link), _hooks(std::move(hooks)) {
    timer1.setTimerType(Qt::PreciseTimer);
    timer1.setInterval(tick_interval_ms);
    connect(&timer1, &QTimer::timeout, this, &AttachmentMonitor::timer1_Tick);
    timer1.start();
}

AttachmentMonitor::~AttachmentMonitor() {
    timer1.stop();
}

QString AttachmentMonitor::USB_CheckIfPresentAndGetCOMString(quint16 vendorId, quint16 productId,
                                                             quint32 position, bool interfaceFlag,
                                                             quint8 interfaceNumber) {
    return usb_check_if_present_and_get_com_string(_setup, vendorId, productId, position, interfaceFlag,
                                                   interfaceNumber);
}

void AttachmentMonitor::timer1_Tick() {
    run_guarded(lcLink(), "timer1_Tick", [this] {
        // 1. The refresh of the page shown.
        _hooks.refreshPage();

        // 2, 3. Is the controller's port there?
        const QString port =
            USB_CheckIfPresentAndGetCOMString(controller_vendor_id, controller_product_id, 0, false, 0);
        if (port.isEmpty()) {
            _deviceAttachedState = 0;
            _hooks.showStatus(status_not_attached);
            _hooks.notAttached();
        } else {
            _deviceAttachedState = 1;
            // A controller that was unplugged and came back between two ticks hung up the link,
            // which closed itself: it is attached anew, as after a tick that missed it.
            if (_oldDeviceAttachedState == 1 && !_link.isOpen())
                _oldDeviceAttachedState = 0;
        }

        // 4. Attach: open the link on the port found; a port that will not open is "broken" and is tried
        // again at the next tick.
        if (_deviceAttachedState != _oldDeviceAttachedState && _deviceAttachedState == 1) {
            if (_link.setPortName(port) && _link.open()) {
                _hooks.showStatus(status_connected + port);
                _hooks.showStatusHint(QString());
            } else {
                _oldDeviceAttachedState = 1;
                _deviceAttachedState = 0;
                const bool denied = _link.openDeniedPermission();
                const QString path = _link.portPath();
                _link.close();
                _hooks.showStatus(status_broken);
                _hooks.showStatusHint(denied ? _hooks.permissionHint(path) : QString());
            }
            _hooks.attached();
        }

        // 5. Detach (also right after a failed open).
        if (_deviceAttachedState != _oldDeviceAttachedState && _deviceAttachedState == 0) {
            _link.discardBuffers();
            _link.close();
        }

        // 6.
        _oldDeviceAttachedState = _deviceAttachedState;
    });
}

} // namespace DADOV
