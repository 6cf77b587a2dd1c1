#pragma once

// The fake sysfs tree lives with the simulator (simulate mode uses it at run time); the tests know it
// under their own namespace.
#include "sim/fake_sysfs.h"

namespace testsupport {
using sim::FakeSysfs;
} // namespace testsupport
