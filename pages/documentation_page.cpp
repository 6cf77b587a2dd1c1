// The Documentation page.

#include "app/form1.h"

namespace DADOV {

void Form1::connect_documentation_page() {}

} // namespace DADOV
