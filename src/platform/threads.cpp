#include "platform/threads.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/terminal_mode.h"

namespace nagare::platform {

namespace {

// How far below the normal priority a background thread runs, in nice steps.
constexpr int BELOW_NORMAL_NICE_STEPS = 5;

extern "C" void* runFunction(void* argument) {
    // A fatal signal (the overflow of this thread's stack above all) is handled on a stack of its own.
    const SignalStack signalStack;
    (*static_cast<std::function<void()>*>(argument))();
    return nullptr;
}

extern "C" void* runLowered(void* argument) {
    // On Linux the nice value belongs to the thread, so this lowers only the background thread.
    pid_t thread = gettid();
    errno = 0;
    int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(thread));
    if (errno == 0) setpriority(PRIO_PROCESS, static_cast<id_t>(thread), nice + BELOW_NORMAL_NICE_STEPS);
    return runFunction(argument);
}

}  // namespace

bool runWithLargeStack(const std::function<void()>& work, size_t stackBytes) {
    std::function<void()> task = work;
    pthread_attr_t attributes;
    bool made = false;
    pthread_t thread{};
    if (pthread_attr_init(&attributes) == 0) {
        if (pthread_attr_setstacksize(&attributes, stackBytes) == 0)
            made = pthread_create(&thread, &attributes, runFunction, &task) == 0;
        pthread_attr_destroy(&attributes);
    }
    if (!made) return false;
    pthread_join(thread, nullptr);
    return true;
}

void yieldThread() {
    sched_yield();
}

struct BackgroundThread::State {
    pthread_t thread{};
    bool running = false;
    std::function<void()> work;
};

BackgroundThread::BackgroundThread() : state_(std::make_unique<State>()) {}

BackgroundThread::~BackgroundThread() {
    join();
}

bool BackgroundThread::start(std::function<void()> work) {
    if (state_->running) return false;
    state_->work = std::move(work);
    state_->running = pthread_create(&state_->thread, nullptr, runLowered, &state_->work) == 0;
    return state_->running;
}

void BackgroundThread::join() {
    if (!state_->running) return;
    pthread_join(state_->thread, nullptr);
    state_->running = false;
}

bool BackgroundThread::started() const {
    return state_->running;
}

}  // namespace nagare::platform
