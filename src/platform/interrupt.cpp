#include "platform/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/console.h"
#include "platform/terminal_mode.h"

namespace nagare::platform {

namespace {

constexpr size_t MESSAGE_CAPACITY = 512;

// Everything the handler touches is prepared before it is armed: a fixed buffer, its length and the
// flag's address, all readable without locks or allocation.
std::array<char, MESSAGE_CAPACITY> handlerMessage{};
std::atomic<size_t> handlerMessageLength{0};
std::atomic<std::atomic<bool>*> handlerFlag{nullptr};
// Cleared when the handler has run: the next Ctrl-C ends the process.
std::atomic<bool> handlerArmed{false};

static_assert(std::atomic<size_t>::is_always_lock_free);
static_assert(std::atomic<std::atomic<bool>*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onInterrupt(int signal) {
    int savedErrno = errno;
    if (!handlerArmed.load(std::memory_order_relaxed)) {
        // The default action, after the terminal has left the key poller's raw mode. The signal is
        // blocked while the handler runs, so it arrives once the handler has returned.
        restoreTerminalForSignal();
        struct sigaction byDefault {};
        byDefault.sa_handler = SIG_DFL;
        sigemptyset(&byDefault.sa_mask);
        sigaction(signal, &byDefault, nullptr);
        raise(signal);
        errno = savedErrno;
        return;
    }
    handlerArmed.store(false, std::memory_order_relaxed);
    if (std::atomic<bool>* flag = handlerFlag.load(std::memory_order_relaxed))
        flag->store(true, std::memory_order_relaxed);
    size_t length = handlerMessageLength.load(std::memory_order_relaxed);
    size_t written = 0;
    while (written < length) {
        ssize_t n = write(STDOUT_FILENO, handlerMessage.data() + written, length - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;
        }
    }
    errno = savedErrno;
}

}  // namespace

void installOneShotInterrupt(std::atomic<bool>& flag, std::string_view sjisMessage) {
    std::string encoded = toConsoleEncoding(sjisMessage);
    size_t length = std::min(encoded.size(), MESSAGE_CAPACITY);
    std::memcpy(handlerMessage.data(), encoded.data(), length);
    handlerMessageLength.store(length, std::memory_order_relaxed);
    handlerFlag.store(&flag, std::memory_order_relaxed);
    handlerArmed.store(true, std::memory_order_relaxed);

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    // The handler runs once: a second Ctrl-C before the next installation takes the default action
    // and ends the process (disarming inside the handler rather than by SA_RESETHAND lets it put the
    // terminal back first). SA_RESTART: a read waiting for an answer goes on waiting.
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

}  // namespace nagare::platform
