#include "platform/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>

namespace nagare {
namespace {

constexpr int DEEPEST_PLY = 2999;
constexpr size_t FRAME_BYTES = 16 * 1024;

// One frame per ply with a sizeable local, like the search: about 48 MB of stack in all, far beyond
// the usual 8 MB.
int recurse(int ply) {
    volatile char frame[FRAME_BYTES];
    frame[0] = static_cast<char>(ply);
    frame[FRAME_BYTES - 1] = 1;
    int below = ply < DEEPEST_PLY ? recurse(ply + 1) : 0;
    return below + frame[FRAME_BYTES - 1];
}

TEST(RunWithLargeStack, HoldsOneFramePerPlyOfTheDeepestSearch) {
    int frames = 0;
    EXPECT_TRUE(platform::runWithLargeStack([&] { frames = recurse(0); }));
    EXPECT_EQ(frames, DEEPEST_PLY + 1);
}

// The nice value of the calling thread, from the kernel's own record of it.
int currentThreadNice() {
    std::ifstream stat("/proc/thread-self/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the command name in parentheses: state is field 3, nice field 19.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    constexpr int NICE_FIELD_AFTER_NAME = 17;
    for (int i = 0; i < NICE_FIELD_AFTER_NAME; ++i) fields >> field;
    return std::stoi(field);
}

TEST(BackgroundThread, RunsBelowTheCallersPriorityAndJoins) {
    platform::BackgroundThread thread;
    std::atomic<int> niceInThread{-100};
    ASSERT_TRUE(thread.start([&] { niceInThread = currentThreadNice(); }));
    EXPECT_TRUE(thread.started());
    EXPECT_FALSE(thread.start([] {}));
    thread.join();
    EXPECT_FALSE(thread.started());
    EXPECT_GT(niceInThread.load(), currentThreadNice());
    thread.join();  // nothing to wait for
}

TEST(BackgroundThread, JoinedWhenItsOwnerEnds) {
    std::atomic<bool> ran{false};
    {
        platform::BackgroundThread thread;
        thread.start([&] { ran = true; });
    }
    EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace nagare
