// Memory status, wall-clock time and file deletion.
#pragma once

#include <cstdint>
#include <string>

namespace nagare::platform {

// Physical memory available to new allocations without swapping, in bytes; 0 when unknown.
uint64_t availablePhysicalMemory();

// Seconds since the epoch.
int64_t wallClockSeconds();

// Deletes a file; false when it could not be deleted.
bool deleteFile(const std::string& path);

}  // namespace nagare::platform
