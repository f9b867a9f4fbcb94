#include "platform/large_memory.h"

#include <sys/mman.h>

namespace nagare::platform {

void* allocateLargeBlock(size_t bytes) {
    if (bytes == 0) return nullptr;
    void* block =
        mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (block == MAP_FAILED) return nullptr;
#ifdef MADV_HUGEPAGE
    madvise(block, bytes, MADV_HUGEPAGE);  // advice only: without huge pages the block works the same
#endif
    return block;
}

void releaseLargeBlock(void* block, size_t bytes) {
    if (block != nullptr) munmap(block, bytes);
}

}  // namespace nagare::platform
