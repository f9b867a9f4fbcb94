#include "search/monitor.h"

#include <cctype>
#include <string>

#include "platform/console.h"
#include "platform/stopwatch.h"
#include "platform/terminal_keys.h"
#include "platform/threads.h"
#include "search/console_text.h"

namespace nagare {

namespace {

// How long the monitor waits for a key before it looks at monitorRunning again. A stop wakes it
// at once; this only bounds how late it notices a flag cleared without a wake-up.
constexpr int MONITOR_POLL_MS = 50;
constexpr int SHALLOWEST_MONITOR_DEPTH = 1;
// How long a search waits at most for its monitor to take the keys typed before it started.
constexpr double MONITOR_START_WAIT_SECONDS = 1.0;

// A short message of the monitor thread on a line of its own.
void announce(const std::string& text) {
    std::string out;
    if (!platform::consoleAtLineStart()) out += "\n";
    out += text;
    out += "\n";
    platform::consoleWrite(out);
}

}  // namespace

void handleMonitorKey(SearchContext& ctx, int key) {
    const int upper = key >= 0 && key < 128 ? std::toupper(key) : key;
    const int depth = ctx.monitorDepth.load(std::memory_order_relaxed);
    switch (upper) {
        case 'D':
            ctx.lineRequest.store(true, std::memory_order_relaxed);
            break;
        case 'M':
            if (!ctx.monitorOn.load(std::memory_order_relaxed)) {
                announce(concat("モニタ開始：", depth, "手"));
                ctx.monitorOn.store(true, std::memory_order_relaxed);
            } else {
                announce("モニタ停止");
                ctx.monitorOn.store(false, std::memory_order_relaxed);
            }
            break;
        case '+':
            if (depth < ctx.statedLength) {
                ctx.monitorDepth.store(static_cast<int16_t>(depth + 1), std::memory_order_relaxed);
                ctx.monitorOn.store(true, std::memory_order_relaxed);
                announce(concat("モニタ深度：", depth + 1, "手"));
            }
            break;
        case '-':
            if (depth > SHALLOWEST_MONITOR_DEPTH) {
                ctx.monitorDepth.store(static_cast<int16_t>(depth - 1), std::memory_order_relaxed);
                ctx.monitorOn.store(true, std::memory_order_relaxed);
                announce(concat("モニタ深度：", depth - 1, "手"));
            } else if (depth == SHALLOWEST_MONITOR_DEPTH) {
                // The display goes off; the depth stays at one ply.
                announce("モニタ停止");
                ctx.monitorOn.store(false, std::memory_order_relaxed);
            }
            break;
        case platform::KEY_ESCAPE:
            ctx.interruptRequest.store(true, std::memory_order_relaxed);
            break;
        default:
            break;
    }
}

void monitorThread(SearchContext& ctx) {
    const bool keys = platform::beginKeyPolling();
    // Keys typed while no search was running (after a question's answer, between two searches) are
    // taken before the search starts, so that an ESC typed ahead stops it at its first node.
    while (keys && !ctx.interruptRequest.load(std::memory_order_relaxed)) {
        const int key = platform::pollKey(0);
        if (key == platform::NO_KEY) break;
        handleMonitorKey(ctx, key);
    }
    ctx.monitorListening.store(true, std::memory_order_release);
    while (ctx.monitorRunning.load(std::memory_order_relaxed)) {
        // After ESC, keys are left alone until the search has asked whether to stop: what the user
        // types next is the answer.
        if (!keys || ctx.interruptRequest.load(std::memory_order_relaxed)) {
            platform::idleKeyPoller(MONITOR_POLL_MS);
            continue;
        }
        const int key = platform::pollKey(MONITOR_POLL_MS);
        if (key != platform::NO_KEY) handleMonitorKey(ctx, key);
    }
    if (keys) platform::endKeyPolling();
}

void startMonitor(SearchContext& ctx) {
    ctx.monitorWorker.join();  // a thread that ended on a confirmed stop
    ctx.monitorListening.store(false, std::memory_order_relaxed);
    ctx.monitorRunning.store(true, std::memory_order_relaxed);
    // Without a thread the search runs unwatched; stopMonitor still clears the flag.
    if (!ctx.monitorWorker.start([&ctx] { monitorThread(ctx); })) return;
    const platform::Stopwatch waited;
    while (!ctx.monitorListening.load(std::memory_order_acquire) &&
           waited.elapsed() < MONITOR_START_WAIT_SECONDS)
        platform::yieldThread();
}

void stopMonitor(SearchContext& ctx) {
    ctx.monitorRunning.store(false, std::memory_order_relaxed);
    platform::wakeKeyPoller();
    ctx.monitorWorker.join();
}

}  // namespace nagare
