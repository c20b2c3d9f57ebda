#include "base/heap_policy.h"

#include <malloc.h>

namespace halv::base {

void returnLargeBlocksToSystem() {
    // A fixed threshold also stops the allocator from raising it after the first large free,
    // which would put every later large block back on the heap.
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kLargeBlockBytes));
}

} // namespace halv::base
