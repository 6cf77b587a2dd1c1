#pragma once

// Attachment state of the controller's serial link, kept by the attachment monitor (Form1::timer1_Tick).
// Globals of the window thread.

namespace DADOV {

// 1 when the last tick found the controller's port and the link is open; 0 otherwise (also right after a
// failed open). The firmware update actions set it to 0 while they hold the timer.
extern int DeviceAttachedState;
// DeviceAttachedState as it stood at the end of the previous tick.
extern int OldDeviceAttachedState;

} // namespace DADOV
