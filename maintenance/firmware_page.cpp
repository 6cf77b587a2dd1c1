// The q5 Firmware Update page: firmware files, reflashing and the device ID.

#include "app/form1.h"

namespace DADOV {

void Form1::connect_maintenance_page() {}

} // namespace DADOV
