#include "platform/system_services.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>

#include "../support/test_files.h"

namespace nagare {
namespace {

uint64_t memTotalBytes() {
    std::ifstream meminfo("/proc/meminfo");
    std::string name;
    uint64_t kibibytes = 0;
    while (meminfo >> name >> kibibytes) {
        if (name == "MemTotal:") return kibibytes * 1024;
        meminfo.ignore(64, '\n');
    }
    return 0;
}

TEST(SystemServices, AvailableMemoryIsSomeOfTheTotal) {
    uint64_t available = platform::availablePhysicalMemory();
    EXPECT_GT(available, 0u);
    EXPECT_LE(available, memTotalBytes());
}

TEST(SystemServices, WallClockSecondsSinceTheEpoch) {
    // The C library's clock; <chrono> does not compile under the CP932 execution character set.
    int64_t expected = static_cast<int64_t>(std::time(nullptr));
    EXPECT_NEAR(static_cast<double>(platform::wallClockSeconds()), static_cast<double>(expected), 2.0);
}

TEST(SystemServices, DeleteFile) {
    std::string path = test::writeTempFile("checkpoint.n1s", "x");
    EXPECT_TRUE(platform::deleteFile(path));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(platform::deleteFile(path));
}

}  // namespace
}  // namespace nagare
