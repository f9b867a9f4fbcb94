// The terminal's mode while the program reads single keys, and putting the terminal's own mode back
// however the process ends: at exit, on a stop (Ctrl-Z) and when a fatal signal ends it.
#pragma once

#include <cstddef>
#include <memory>

namespace nagare::platform {

// What Ctrl-C, Ctrl-Z and Ctrl-\ do in raw mode: the key poller keeps their signals, the pause takes
// them as keys.
enum class RawSignals { KEEP, AS_KEYS };

// Puts standard input, a terminal, into raw mode: no line editing and no echo, keys one at a time;
// the output side is left alone, so line ends still return the carriage. The first call installs the
// handlers that put the terminal's own mode back. True when raw mode is on (also when it already
// was); false when standard input is no terminal, the process is in the background (changing the mode
// would stop it) or the process is exiting.
bool enterRawMode(RawSignals signals);
// Puts the terminal's own mode back, if raw mode is on.
void leaveRawMode();
bool rawModeActive();
// Whether this process is the terminal's foreground job, the one whose reads the terminal answers.
bool terminalInForeground();

// Puts the terminal's own mode back from a signal handler that is about to end the process.
// Async-signal-safe.
void restoreTerminalForSignal();

// A stack of its own for the signal handlers of the thread that holds it, so that a handler still
// runs (and the terminal is still put back) when the thread's stack has overflowed. Lives on the
// thread it is made on, for as long as the thread runs its work.
class SignalStack {
  public:
    SignalStack();
    ~SignalStack();
    SignalStack(const SignalStack&) = delete;
    SignalStack& operator=(const SignalStack&) = delete;

  private:
    static constexpr size_t BYTES = size_t{64} << 10;
    std::unique_ptr<char[]> memory_;
    bool installed_ = false;
    // The thread's stack for handlers before this one (a sanitizer's, say), put back at the end.
    void* previousBase_ = nullptr;
    size_t previousSize_ = 0;
    int previousFlags_ = 0;
};

}  // namespace nagare::platform
