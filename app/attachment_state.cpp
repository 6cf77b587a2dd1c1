#include "app/attachment_state.h"

namespace DADOV {

int DeviceAttachedState = 0;
int OldDeviceAttachedState = 0;

} // namespace DADOV
