// Members of Form1 that belong to the pages and to the reply parser, which are not built yet. Each
// definition moves to its own file (pages/, protocol/) when that is written, and leaves this file.

#include "app/form1.h"

namespace DADOV {

// Tuning page refresh: the tuning variables and read-outs from the sliders.
void Form1::tuning_page_refresh() {}

// Diagnostics page refresh: the countdown steps and the "V2 Unit" selection.
void Form1::diagnostics_page_refresh() {}

// zIdudo page refresh: the bypass variables and read-outs from the sliders.
void Form1::zIdudo_page_refresh() {}

// Entry of the Diagnostics page: reset its displays, select the B signals, start streaming.
void Form1::diagnostics_page_entry() {}

// Reply parser: handles one line received from the controller.
void Form1::GetInstruction(const QString& line) {
    Q_UNUSED(line);
}

} // namespace DADOV
