// Single keys for the monitor of a running search, read from the terminal while the search goes on,
// and the hand-over of the terminal to a question that waits for its answer. The terminal's mode and
// its return however the process ends are terminal_mode.h's.
#pragma once

namespace nagare::platform {

constexpr int NO_KEY = -1;
constexpr int KEY_ESCAPE = 27;

// Starts reading single keys. When standard input is a terminal, it goes into raw mode while this
// process is in the foreground: keys arrive one at a time, without echo and without waiting for a
// line end, and Ctrl-C still raises SIGINT. The terminal's own mode comes back with endKeyPolling,
// while a KeyPollingPause lives, at exit, on a stop (Ctrl-Z) and when a fatal signal ends the
// process. False when no key will be read: standard input is not a terminal.
bool beginKeyPolling();
void endKeyPolling();

// Waits up to timeoutMs milliseconds for one key and returns its code: ESC as KEY_ESCAPE, the
// keypad's plus and minus and the full-width plus and minus signs as '+' and '-'; other escape
// sequences and other multi-byte characters give NO_KEY. While keys are not being read (polling
// off, paused, or the process in the background) it only waits. Returns NO_KEY early after
// wakeKeyPoller.
int pollKey(int timeoutMs);

// Waits up to timeoutMs milliseconds without reading a key; returns early after wakeKeyPoller.
void idleKeyPoller(int timeoutMs);

// Makes a waiting pollKey or idleKeyPoller return at once. Callable from any thread.
void wakeKeyPoller();

// While one lives, pollKey reads nothing and the terminal is in its own mode, so that a question
// reads its answer as an echoed line and the key poller cannot take it. Pauses nest, and may be
// taken on any thread.
class KeyPollingPause {
  public:
    KeyPollingPause();
    ~KeyPollingPause();
    KeyPollingPause(const KeyPollingPause&) = delete;
    KeyPollingPause& operator=(const KeyPollingPause&) = delete;
};

}  // namespace nagare::platform
