#include "app/heap_policy.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace DADOV {

void return_large_buffers_to_the_system() {
#if defined(__GLIBC__)
    // Setting the threshold at all turns its adjustment off.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
}

} // namespace DADOV
