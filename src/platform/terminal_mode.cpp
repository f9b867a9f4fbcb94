#include "platform/terminal_mode.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>

namespace nagare::platform {

namespace {

// The mode the terminal had before raw mode, and whether raw mode is on. Signal handlers and the exit
// handler read both without a lock: rawActive is set (with release order) only after ownMode is
// written, and a handler reads ownMode only after seeing it set.
termios ownMode{};
std::atomic<bool> rawActive{false};
std::atomic<bool> exiting{false};

// Taken by whoever switches the mode; never by a handler.
std::mutex& modeGate() {
    static std::mutex* instance = new std::mutex;  // never destroyed: an exit handler may run late
    return *instance;
}

// --- signals and exit ---

constexpr std::array<int, 8> FATAL_SIGNALS = {SIGTERM, SIGHUP, SIGQUIT, SIGABRT,
                                              SIGSEGV, SIGBUS, SIGFPE,  SIGILL};
std::array<struct sigaction, NSIG> previousActions{};
bool handlersInstalled = false;

// A fault raised by an instruction happens again when the handler returns, now under the previous
// action; the others are raised again, and arrive once the handler has returned.
bool raisedByInstruction(int signal) {
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE || signal == SIGILL;
}

extern "C" void onFatalSignal(int signal) {
    const int savedErrno = errno;
    restoreTerminalForSignal();
    sigaction(signal, &previousActions[signal], nullptr);
    if (!raisedByInstruction(signal)) raise(signal);
    errno = savedErrno;
}

// Ctrl-Z: the shell gets its terminal back in its own mode; the key poller puts raw mode back once
// the process is in the foreground again.
extern "C" void onStopSignal(int signal) {
    const int savedErrno = errno;
    restoreTerminalForSignal();
    struct sigaction stop {};
    stop.sa_handler = SIG_DFL;
    sigemptyset(&stop.sa_mask);
    sigaction(signal, &stop, nullptr);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    sigaddset(&unblocked, signal);
    sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
    raise(signal);  // the process stops here until it is continued
    struct sigaction again {};
    again.sa_handler = onStopSignal;
    sigemptyset(&again.sa_mask);
    again.sa_flags = SA_RESTART;
    sigaction(signal, &again, nullptr);
    errno = savedErrno;
}

extern "C" void restoreAtExit() {
    exiting.store(true, std::memory_order_relaxed);
    restoreTerminalForSignal();
}

void installHandlersLocked() {
    if (handlersInstalled) return;
    handlersInstalled = true;
    std::atexit(restoreAtExit);
    for (int signal : FATAL_SIGNALS) {
        struct sigaction previous {};
        if (sigaction(signal, nullptr, &previous) != 0) continue;
        // A signal the process was told to ignore stays ignored.
        if (previous.sa_handler == SIG_IGN) continue;
        previousActions[signal] = previous;
        struct sigaction action {};
        action.sa_handler = onFatalSignal;
        sigemptyset(&action.sa_mask);
        // On the thread's own signal stack where it has one: an overflowed stack has no room left.
        action.sa_flags = SA_ONSTACK;
        sigaction(signal, &action, nullptr);
    }
    struct sigaction previousStop {};
    if (sigaction(SIGTSTP, nullptr, &previousStop) == 0 && previousStop.sa_handler == SIG_DFL) {
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGTSTP, &action, nullptr);
    }
}

}  // namespace

bool enterRawMode(RawSignals signals) {
    std::lock_guard<std::mutex> lock(modeGate());
    if (rawActive.load(std::memory_order_acquire)) return true;
    if (isatty(STDIN_FILENO) != 1) return false;
    // A process in the background that changed the terminal's mode would be stopped for it.
    if (exiting.load(std::memory_order_relaxed) || !terminalInForeground()) return false;
    installHandlersLocked();
    termios mode{};
    if (tcgetattr(STDIN_FILENO, &mode) != 0) return false;
    ownMode = mode;
    termios raw = mode;
    tcflag_t off = ICANON | ECHO;
    if (signals == RawSignals::AS_KEYS) off |= ISIG;
    raw.c_lflag &= ~off;
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    // Marked before the switch: a signal that comes between the two restores a mode that is still
    // the terminal's own, which does no harm.
    rawActive.store(true, std::memory_order_release);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
        rawActive.store(false, std::memory_order_release);
        return false;
    }
    return true;
}

void leaveRawMode() {
    std::lock_guard<std::mutex> lock(modeGate());
    if (!rawActive.load(std::memory_order_acquire)) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &ownMode);
    rawActive.store(false, std::memory_order_release);
}

bool terminalInForeground() {
    const pid_t foreground = tcgetpgrp(STDIN_FILENO);
    return foreground != -1 && foreground == getpgrp();
}

bool rawModeActive() {
    return rawActive.load(std::memory_order_acquire);
}

void restoreTerminalForSignal() {
    if (!rawActive.load(std::memory_order_acquire)) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &ownMode);
    rawActive.store(false, std::memory_order_release);
}

SignalStack::SignalStack() : memory_(new char[BYTES]) {
    stack_t stack{};
    stack.ss_sp = memory_.get();
    stack.ss_size = BYTES;
    stack_t previous{};
    installed_ = sigaltstack(&stack, &previous) == 0;
    previousBase_ = previous.ss_sp;
    previousSize_ = previous.ss_size;
    previousFlags_ = previous.ss_flags & SS_DISABLE;
}

SignalStack::~SignalStack() {
    if (!installed_) return;
    stack_t previous{};
    previous.ss_sp = previousBase_;
    previous.ss_size = previousSize_;
    previous.ss_flags = previousFlags_;
    sigaltstack(&previous, nullptr);
}

}  // namespace nagare::platform
