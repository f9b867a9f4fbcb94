#include "platform/terminal_mode.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>

#include "../support/pseudo_terminal.h"
#include "platform/keyboard.h"
#include "platform/terminal_keys.h"
#include "platform/threads.h"

namespace nagare {
namespace {

using test::isRaw;
using test::PseudoTerminal;

constexpr double PATIENCE_SECONDS = 30;
constexpr int POLL_MS = 20;

void say(const std::string& text) {
    [[maybe_unused]] ssize_t n = write(STDOUT_FILENO, text.data(), text.size());
}

// The pause takes Ctrl-C as a key, so its raw mode has no signals either.
bool isPauseRaw(const termios& t) {
    return isRaw(t) && (t.c_lflag & ISIG) == 0;
}

// A signal that ends the process during the pause before the run ends (when no search has run yet)
// puts the terminal back in its own mode.
TEST(TerminalMode, SignalDuringThePauseLeavesTheTerminalInItsOwnMode) {
    for (int signal : {SIGTERM, SIGHUP}) {
        PseudoTerminal pty;
        ASSERT_TRUE(pty.usable());
        const termios before = pty.mode();
        ASSERT_TRUE(pty.spawn([] {
            say("ready\n");
            platform::waitForKey();
            return 0;
        }));
        ASSERT_TRUE(pty.waitFor("ready", PATIENCE_SECONDS));
        ASSERT_TRUE(pty.waitForMode(isPauseRaw, PATIENCE_SECONDS));
        kill(pty.child(), signal);
        std::optional<int> status = pty.waitExit(PATIENCE_SECONDS);
        ASSERT_TRUE(status.has_value());
        EXPECT_TRUE(WIFSIGNALED(*status) && WTERMSIG(*status) == signal) << signal;
        EXPECT_EQ(pty.mode().c_lflag, before.c_lflag) << signal;
    }
}

volatile int deepest = -1;  // never reached: keeps the recursion from being seen as endless

int recurse(int depth) {
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    if (depth == deepest) return 0;
    return recurse(depth + 1) + frame[0];
}

// The overflow of a thread's stack raises SIGSEGV on that thread, where no room is left: the handler
// that puts the terminal back runs on the thread's own signal stack.
TEST(TerminalMode, StackOverflowLeavesTheTerminalInItsOwnMode) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.usable());
    const termios before = pty.mode();
    ASSERT_TRUE(pty.spawn([] {
        if (!platform::beginKeyPolling()) return 3;
        say("ready\n");
        while (platform::pollKey(POLL_MS) != 'g') {
        }
        platform::runWithLargeStack([] { recurse(0); }, size_t{1} << 20);
        return 0;
    }));
    ASSERT_TRUE(pty.waitFor("ready", PATIENCE_SECONDS));
    ASSERT_TRUE(pty.waitForMode(isRaw, PATIENCE_SECONDS));
    pty.send("g");
    std::optional<int> status = pty.waitExit(PATIENCE_SECONDS);
    ASSERT_TRUE(status.has_value());
    EXPECT_FALSE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    EXPECT_EQ(pty.mode().c_lflag, before.c_lflag);
}

}  // namespace
}  // namespace nagare
