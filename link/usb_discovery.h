#pragma once

// Discovery of a USB serial device's port by its USB identity.

#include <QString>
#include <QUuid>

namespace DADOV {

class DeviceSetup;

// The registry's text form of a GUID, in lower case:
// "{8c7ed206-3f8a-4827-b3ab-ae9e1faefc6c}".
QString ContainerIDGUIDToString(const QUuid& id);

// The port name that a friendly name such as "USB Serial Device (COM7)" names:
// from the first `prefix` up to the first ")"; empty when the ")" does not come
// after it.
QString extract_port_name(const QString& friendlyName, const QString& prefix);

// Is a device with this USB identity present, and what is its serial port?
// Walks the present USB devices in order; the one at `position` among those
// whose first hardware ID contains "vid_xxxx&pid_xxxx" (in any case) gives
// the port named in its friendly name or, failing that, in the friendly name
// of a registry instance with the same container ID. Returns the port name
// (such as COM5 or ttyACM0), or the empty text when no such device is present
// and for every failure. Keeps no state between calls.
QString usb_check_if_present_and_get_com_string(DeviceSetup& setup, quint16 vendorId, quint16 productId,
                                                quint32 position, bool interfaceFlag, quint8 interfaceNumber);

} // namespace DADOV
