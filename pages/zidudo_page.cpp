// The zIdudo bypass-valve page.

#include "app/form1.h"

namespace DADOV {

void Form1::connect_zidudo_page() {}

// zIdudo page refresh: the bypass variables and read-outs from the sliders.
void Form1::zIdudo_page_refresh() {}

} // namespace DADOV
