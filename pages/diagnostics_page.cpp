// The Diagnostics page: live readings, the strip chart and timed captures.

#include "app/form1.h"

namespace DADOV {

void Form1::connect_diagnostics_page() {}

// Diagnostics page refresh: the countdown steps and the "V2 Unit" selection.
void Form1::diagnostics_page_refresh() {}

// Entry of the Diagnostics page: reset its displays, select the B signals, start streaming.
void Form1::diagnostics_page_entry() {}

} // namespace DADOV
