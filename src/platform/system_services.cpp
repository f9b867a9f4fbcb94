#include "platform/system_services.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

namespace nagare::platform {

namespace {

constexpr uint64_t BYTES_PER_KIB = 1024;

}  // namespace

uint64_t availablePhysicalMemory() {
    // The kernel's own estimate of what can be allocated without swapping: free memory plus the
    // page cache and reclaimable memory it would give up.
    std::ifstream meminfo("/proc/meminfo");
    std::string line;
    while (std::getline(meminfo, line)) {
        std::istringstream fields(line);
        std::string name;
        uint64_t kibibytes = 0;
        if (fields >> name >> kibibytes && name == "MemAvailable:") return kibibytes * BYTES_PER_KIB;
    }
    // Kernels before 3.14 have no such line: fall back to the free pages alone.
    long pages = sysconf(_SC_AVPHYS_PAGES);
    long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

int64_t wallClockSeconds() {
    return static_cast<int64_t>(std::time(nullptr));
}

bool deleteFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

}  // namespace nagare::platform
