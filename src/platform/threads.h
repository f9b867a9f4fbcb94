// Threads: the search's thread with a stack deep enough for one frame per ply, and a background
// thread at lowered priority.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace nagare::platform {

// The search recurses one frame per ply, up to 2999 plies.
constexpr size_t LARGE_STACK_BYTES = size_t{512} << 20;

// Runs `work` on a new thread with a stack of `stackBytes` and returns when it has finished. When no
// such thread can be made, `work` does not run and the result is false: a deep search on a small stack
// would overflow it.
bool runWithLargeStack(const std::function<void()>& work, size_t stackBytes = LARGE_STACK_BYTES);

// Lets another thread run before this one goes on.
void yieldThread();

// A thread that runs below the normal priority, started and joined by its owner.
class BackgroundThread {
  public:
    BackgroundThread();
    ~BackgroundThread();  // joins a thread still running
    BackgroundThread(const BackgroundThread&) = delete;
    BackgroundThread& operator=(const BackgroundThread&) = delete;

    // Starts `work`; false when the thread could not be made or one is already running.
    bool start(std::function<void()> work);
    // Waits for the thread to finish; nothing happens when none was started.
    void join();
    bool started() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace nagare::platform
