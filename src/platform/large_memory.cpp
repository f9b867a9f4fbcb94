#include "platform/large_memory.h"

#include <sys/mman.h>

namespace nagare::platform {

void* allocateLargeBlock(size_t bytes) {
    if (bytes == 0) return nullptr;
    void* block =
        mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED) return nullptr;
    // No huge-page advice: where the kernel compacts memory on a fault to find huge pages, filling a
    // 2 GB table cost 15 s of system time per run, far more than the translation misses it saves.
    return block;
}

bool populateLargeBlock(void* start, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    return madvise(start, bytes, MADV_POPULATE_WRITE) == 0;
#else
    (void)start;
    (void)bytes;
    return false;
#endif
}

void releaseLargeBlock(void* block, size_t bytes) {
    if (block != nullptr) munmap(block, bytes);
}

}  // namespace nagare::platform
