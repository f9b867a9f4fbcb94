#include "platform/terminal_keys.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "../support/pseudo_terminal.h"
#include "platform/dialogue.h"

namespace nagare {
namespace {

using test::isCooked;
using test::isRaw;
using test::PseudoTerminal;

constexpr double PATIENCE_SECONDS = 30;
constexpr int POLL_MS = 20;

// Children print with write(2): the test's own buffered standard output must not be flushed twice.
void say(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(STDOUT_FILENO, text.data() + done, text.size() - done);
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

void sayKey(int key) {
    say("key " + std::to_string(key) + "\n");
}

// Polls keys and prints each until `last` comes.
void echoKeysUntil(int last) {
    for (;;) {
        const int key = platform::pollKey(POLL_MS);
        if (key == platform::NO_KEY) continue;
        sayKey(key);
        if (key == last) return;
    }
}

// Starts polling in the child and says so; the parent then waits for raw mode.
int startPolling(PseudoTerminal& pty) {
    if (!pty.waitFor("ready", PATIENCE_SECONDS)) return 1;
    return pty.waitForMode(isRaw, PATIENCE_SECONDS) ? 0 : 2;
}

bool beginAndSayReady() {
    if (!platform::beginKeyPolling()) return false;
    say("ready\n");
    return true;
}

TEST(TerminalKeys, ReadsSingleKeysRawAndPutsTheTerminalBack) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.usable());
    const termios before = pty.mode();
    ASSERT_TRUE(isCooked(before));
    ASSERT_TRUE(pty.spawn([] {
        if (!beginAndSayReady()) return 3;
        echoKeysUntil('q');
        platform::endKeyPolling();
        return 0;
    }));
    ASSERT_EQ(startPolling(pty), 0);
    // Ctrl-C still raises SIGINT; the output side is untouched.
    EXPECT_NE(pty.mode().c_lflag & ISIG, 0u);
    EXPECT_EQ(pty.mode().c_oflag, before.c_oflag);

    struct Typed {
        const char* bytes;
        const char* printed;
    };
    const Typed typed[] = {
        {"d", "key 100\n"},
        {"\x1b[A+", "key 43\n"},         // an arrow key is dropped, not taken for ESC
        {"\x1bOk", "key 43\n"},          // keypad plus
        {"\x1bOm", "key 45\n"},          // keypad minus
        {"\x1b", "key 27\n"},            // ESC alone
        {"\xef\xbc\x8b", "key 43\n"},    // full-width plus
        {"\xe2\x88\x92", "key 45\n"},    // minus sign
        {"\x1bm", "key 27\nkey 109\n"},  // ESC with a key at once: both
        {"q", "key 113\n"},
    };
    for (const Typed& t : typed) {
        pty.send(t.bytes);
        // Without echo the key is not printed back: only the child's own line comes.
        std::string printed = t.printed;
        size_t pos = 0;
        while ((pos = printed.find('\n', pos)) != std::string::npos) {
            printed.replace(pos, 1, "\r\n");
            pos += 2;
        }
        EXPECT_TRUE(pty.waitFor(printed, PATIENCE_SECONDS)) << "after " << t.bytes << ": " << pty.rest();
    }
    std::optional<int> status = pty.waitExit(PATIENCE_SECONDS);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    EXPECT_EQ(pty.mode().c_lflag, before.c_lflag);
}

TEST(TerminalKeys, AQuestionTakesItsAnswerAsAnEchoedLineWhileThePollerWaits) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.usable());
    ASSERT_TRUE(pty.spawn([] {
        if (!beginAndSayReady()) return 3;
        std::atomic<bool> ask{false};
        std::atomic<bool> done{false};
        std::thread poller([&] {
            while (!done.load()) {
                const int key = platform::pollKey(POLL_MS);
                if (key == platform::NO_KEY) continue;
                sayKey(key);
                if (key == '?') ask = true;
                if (key == 'e') done = true;
            }
        });
        while (!ask.load()) poll(nullptr, 0, POLL_MS);
        say("question\n");
        const bool yes = platform::askYes('Y');
        say(yes ? "answer yes\n" : "answer no\n");
        poller.join();
        platform::endKeyPolling();
        return 0;
    }));
    ASSERT_EQ(startPolling(pty), 0);
    pty.send("?");
    ASSERT_TRUE(pty.waitFor("key 63", PATIENCE_SECONDS));
    ASSERT_TRUE(pty.waitFor("question", PATIENCE_SECONDS));
    // The question has the terminal in its own mode: the answer is echoed and read as a line.
    ASSERT_TRUE(pty.waitForMode(isCooked, PATIENCE_SECONDS));
    pty.send("y\r");
    ASSERT_TRUE(pty.waitFor("y\r\n", PATIENCE_SECONDS));
    ASSERT_TRUE(pty.waitFor("answer yes", PATIENCE_SECONDS));
    EXPECT_EQ(pty.output().find("key 121"), std::string::npos) << "the poller took the answer";
    // Afterwards the poller has its keys again.
    ASSERT_TRUE(pty.waitForMode(isRaw, PATIENCE_SECONDS));
    pty.send("e");
    EXPECT_TRUE(pty.waitFor("key 101", PATIENCE_SECONDS));
    std::optional<int> status = pty.waitExit(PATIENCE_SECONDS);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    EXPECT_TRUE(isCooked(pty.mode()));
}

// How a child that polls keys ends, and the terminal's mode afterwards.
struct EndingCase {
    const char* name;
    int signal;         // sent by the test; 0: none
    const char* typed;  // typed by the test after the child is ready
    int killedBy;       // the signal that ends the child; 0: it exits
};

class TerminalKeysEnding : public ::testing::TestWithParam<EndingCase> {};

TEST_P(TerminalKeysEnding, LeavesTheTerminalInItsOwnMode) {
    const EndingCase& c = GetParam();
    PseudoTerminal pty;
    ASSERT_TRUE(pty.usable());
    const termios before = pty.mode();
    ASSERT_TRUE(pty.spawn([] {
        platform::installInterruptHandler();
        if (!beginAndSayReady()) return 3;
        for (;;) {
            const int key = platform::pollKey(POLL_MS);
            if (key == 'x') std::exit(0);  // without ending the polling
            if (key == 'a') std::abort();
            if (key != platform::NO_KEY) sayKey(key);
        }
    }));
    ASSERT_EQ(startPolling(pty), 0);
    if (c.signal != 0) kill(pty.child(), c.signal);
    if (c.typed[0] == '\x03') {
        // The first Ctrl-C only prints the hint; nothing arms the handler again, so the second ends
        // the process.
        pty.send("\x03");
        ASSERT_TRUE(pty.waitFor("Ctrl-C", PATIENCE_SECONDS));
        ASSERT_TRUE(isRaw(pty.mode()));
    }
    pty.send(c.typed);
    std::optional<int> status = pty.waitExit(PATIENCE_SECONDS);
    ASSERT_TRUE(status.has_value());
    if (c.killedBy == 0) {
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    } else {
        ASSERT_TRUE(WIFSIGNALED(*status));
        EXPECT_EQ(WTERMSIG(*status), c.killedBy);
    }
    EXPECT_EQ(pty.mode().c_lflag, before.c_lflag);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TerminalKeysEnding,
    ::testing::Values(EndingCase{"Exit", 0, "x", 0}, EndingCase{"Terminate", SIGTERM, "", SIGTERM},
                      EndingCase{"HangUp", SIGHUP, "", SIGHUP}, EndingCase{"Abort", 0, "a", SIGABRT},
                      EndingCase{"SecondCtrlC", 0, "\x03", SIGINT}),
    [](const ::testing::TestParamInfo<EndingCase>& info) { return std::string(info.param.name); });

// Ctrl-Z stops only a job of a shell: here the child plays the shell and runs the polling in a
// grandchild, its foreground job. The shell reports the stop and continues the job on SIGUSR1.
int runAsForegroundJob(int (*job)()) {
    sigset_t usr1;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    sigprocmask(SIG_BLOCK, &usr1, nullptr);
    const pid_t worker = fork();
    if (worker < 0) return 10;
    if (worker == 0) {
        setpgid(0, 0);
        _exit(job());
    }
    setpgid(worker, worker);
    signal(SIGTTOU, SIG_IGN);  // the shell hands the terminal over from outside the foreground
    tcsetpgrp(STDIN_FILENO, worker);
    int status = 0;
    for (;;) {
        if (waitpid(worker, &status, WUNTRACED) != worker) return 11;
        if (!WIFSTOPPED(status)) break;
        say("stopped\n");
        int received = 0;
        sigwait(&usr1, &received);
        kill(worker, SIGCONT);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 12;
}

TEST(TerminalKeys, CtrlZGivesTheTerminalBackUntilTheJobGoesOn) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.usable());
    ASSERT_TRUE(pty.spawn([] {
        return runAsForegroundJob([] {
            if (!beginAndSayReady()) return 3;
            echoKeysUntil('q');
            platform::endKeyPolling();
            return 0;
        });
    }));
    ASSERT_EQ(startPolling(pty), 0);
    pty.send("\x1a");
    ASSERT_TRUE(pty.waitFor("stopped", PATIENCE_SECONDS));
    EXPECT_TRUE(isCooked(pty.mode()));
    kill(pty.child(), SIGUSR1);
    ASSERT_TRUE(pty.waitForMode(isRaw, PATIENCE_SECONDS));
    pty.send("q");
    EXPECT_TRUE(pty.waitFor("key 113", PATIENCE_SECONDS));
    std::optional<int> status = pty.waitExit(PATIENCE_SECONDS);
    ASSERT_TRUE(status.has_value());
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
    EXPECT_TRUE(isCooked(pty.mode()));
}

TEST(TerminalKeysDeathTest, WithoutATerminalNothingIsReadAndNothingWaits) {
    EXPECT_EXIT(
        {
            int fds[2];
            if (pipe(fds) != 0) std::exit(2);
            if (write(fds[1], "d", 1) != 1) std::exit(2);
            dup2(fds[0], STDIN_FILENO);
            if (platform::beginKeyPolling()) std::exit(3);
            if (platform::pollKey(POLL_MS) != platform::NO_KEY) std::exit(4);
            char left = 0;
            // The key is still there: nobody read it.
            std::exit(read(STDIN_FILENO, &left, 1) == 1 && left == 'd' ? 0 : 5);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(TerminalKeys, AWakeUpEndsTheWaitAtOnce) {
    platform::wakeKeyPoller();
    const platform::Stopwatch watch;
    platform::idleKeyPoller(10000);
    EXPECT_LT(watch.elapsed(), 5.0);
}

}  // namespace
}  // namespace nagare
