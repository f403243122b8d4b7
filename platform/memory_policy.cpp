#include "platform/memory_policy.h"

#include <malloc.h>

namespace platform {

void ReturnLargeBlocksToTheSystem() {
    // A fixed threshold also ends the library's habit of raising it to the
    // size of each large block given back.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
}

void GrowHeapsInLargeSteps() {
    mallopt(M_TOP_PAD, 2 * 1024 * 1024);
}

void GiveFreeHeapSpaceBack() {
    malloc_trim(0);
}

}  // namespace platform
