// Large blocks of memory, such as the position table: backed by huge pages where the system allows,
// which spares the processor most of its address-translation misses on random access.
#pragma once

#include <cstddef>

namespace nagare::platform {

// A zero-filled block of `bytes`, or null when the memory cannot be had.
void* allocateLargeBlock(size_t bytes);
void releaseLargeBlock(void* block, size_t bytes);

}  // namespace nagare::platform
