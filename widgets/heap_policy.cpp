#include "widgets/heap_policy.h"

#include <QElapsedTimer>

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

void return_freed_memory_now_and_then() {
#if defined(__GLIBC__)
    static QElapsedTimer since;
    if (since.isValid() && !since.hasExpired(1000))
        return;
    since.start();
    malloc_trim(0);
#endif
}

} // namespace DADOV
