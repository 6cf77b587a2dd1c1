// The Controller Tuning page.

#include "app/form1.h"

namespace DADOV {

void Form1::connect_tuning_page() {}

// Tuning page refresh: the tuning variables and read-outs from the sliders.
void Form1::tuning_page_refresh() {}

} // namespace DADOV
