// Large blocks of memory, such as the position table: anonymous pages that read as zero and are
// given by the kernel as they are first touched.
#pragma once

#include <cstddef>

namespace nagare::platform {

// A zero-filled block of `bytes`, or null when the memory cannot be had.
void* allocateLargeBlock(size_t bytes);
void releaseLargeBlock(void* block, size_t bytes);
// Gives the `bytes` at `start`, part of a large block, their memory now, as their first writes would,
// and leaves what they hold as it is. False when the system cannot do so.
bool populateLargeBlock(void* start, size_t bytes);

}  // namespace nagare::platform
