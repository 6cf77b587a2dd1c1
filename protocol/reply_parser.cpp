// The reply parser: every line the controller sends.

#include "app/form1.h"

namespace DADOV {

// Reply parser: handles one line received from the controller.
void Form1::GetInstruction(const QString& line) {
    Q_UNUSED(line);
}

} // namespace DADOV
