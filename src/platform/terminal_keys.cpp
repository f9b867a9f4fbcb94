#include "platform/terminal_keys.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <mutex>

#include "platform/terminal_mode.h"

namespace nagare::platform {

namespace {

// How long the bytes that follow ESC in one key's escape sequence may take to arrive. A lone ESC
// waits this long before it counts as the ESC key.
constexpr int SEQUENCE_BYTE_WAIT_MS = 30;
// Longest escape sequence read before giving up on its final byte.
constexpr int MAX_SEQUENCE_BYTES = 16;
// Final bytes of a control sequence lie in this range.
constexpr int SEQUENCE_FINAL_FIRST = 0x40;
constexpr int SEQUENCE_FINAL_LAST = 0x7e;
// ESC O k and ESC O m: plus and minus of the keypad in application mode.
constexpr int SS3_INTRODUCER = 'O';
constexpr int CSI_INTRODUCER = '[';
constexpr int SS3_KEYPAD_PLUS = 'k';
constexpr int SS3_KEYPAD_MINUS = 'm';
constexpr unsigned char FIRST_NON_ASCII = 0x80;

// UTF-8 characters a user may type for plus and minus with a Japanese input method.
struct WideKey {
    std::array<unsigned char, 3> bytes;
    int key;
};
constexpr std::array<WideKey, 3> WIDE_KEYS = {{
    {{0xef, 0xbc, 0x8b}, '+'},  // FULLWIDTH PLUS SIGN
    {{0xef, 0xbc, 0x8d}, '-'},  // FULLWIDTH HYPHEN-MINUS
    {{0xe2, 0x88, 0x92}, '-'},  // MINUS SIGN
}};

// Everything else belongs to whoever holds the gate. The key poller holds it while it waits for a
// key, so a pause that wants the terminal wakes the poller first (pauseWanted and the wake pipe).
struct PollerState {
    std::mutex gate;
    bool polling = false;
    int pauseDepth = 0;
    int pendingByte = -1;  // a byte that followed a lone ESC: the next key
};

// Never destroyed: the poller thread may still be waiting while the process exits.
PollerState& state() {
    static PollerState* instance = new PollerState;
    return *instance;
}

std::atomic<int> pauseWanted{0};

// A pipe whose read end the poller watches beside standard input: one byte written wakes it.
struct WakePipe {
    int readFd = -1;
    int writeFd = -1;
    WakePipe() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
            readFd = fds[0];
            writeFd = fds[1];
        }
    }
};

WakePipe& wakePipe() {
    static WakePipe* instance = new WakePipe;
    return *instance;
}

void drainWakePipe() {
    std::array<char, 64> sink;
    while (read(wakePipe().readFd, sink.data(), sink.size()) > 0) {
    }
}

// --- reading keys ---

// One byte of standard input when one arrives within waitMs; -1 otherwise.
int readByteWithin(int waitMs) {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (poll(&input, 1, waitMs) <= 0 || (input.revents & POLLIN) == 0) return -1;
    unsigned char byte = 0;
    return read(STDIN_FILENO, &byte, 1) == 1 ? byte : -1;
}

// The rest of an escape sequence after ESC and its introducer.
int decodeSequence(int introducer) {
    if (introducer == SS3_INTRODUCER) {
        const int final = readByteWithin(SEQUENCE_BYTE_WAIT_MS);
        if (final == SS3_KEYPAD_PLUS) return '+';
        if (final == SS3_KEYPAD_MINUS) return '-';
        return NO_KEY;
    }
    for (int i = 0; i < MAX_SEQUENCE_BYTES; ++i) {
        const int b = readByteWithin(SEQUENCE_BYTE_WAIT_MS);
        if (b < 0 || (b >= SEQUENCE_FINAL_FIRST && b <= SEQUENCE_FINAL_LAST)) break;
    }
    return NO_KEY;
}

// A character of more than one byte: the full-width plus and minus count, the rest is dropped.
int decodeWide(int lead) {
    std::array<unsigned char, 3> bytes{static_cast<unsigned char>(lead), 0, 0};
    int length = 1;
    while (length < static_cast<int>(bytes.size())) {
        const int b = readByteWithin(SEQUENCE_BYTE_WAIT_MS);
        if (b < 0) break;
        bytes[length++] = static_cast<unsigned char>(b);
        if ((b & 0xc0) != 0x80) break;  // not a continuation byte: some other encoding
    }
    for (const WideKey& w : WIDE_KEYS)
        if (length == static_cast<int>(w.bytes.size()) && bytes == w.bytes) return w.key;
    return NO_KEY;
}

int decodeLocked(int first) {
    PollerState& s = state();
    if (first == KEY_ESCAPE) {
        const int next = readByteWithin(SEQUENCE_BYTE_WAIT_MS);
        if (next < 0) return KEY_ESCAPE;
        if (next == CSI_INTRODUCER || next == SS3_INTRODUCER) return decodeSequence(next);
        // ESC and then an ordinary key (Alt with a key sends this): both count.
        s.pendingByte = next;
        return KEY_ESCAPE;
    }
    if (first >= FIRST_NON_ASCII) return decodeWide(first);
    return first;
}

}  // namespace

bool beginKeyPolling() {
    if (isatty(STDIN_FILENO) != 1) return false;
    wakePipe();
    PollerState& s = state();
    std::lock_guard<std::mutex> lock(s.gate);
    s.polling = true;
    s.pendingByte = -1;
    if (s.pauseDepth == 0) enterRawMode(RawSignals::KEEP);
    return true;
}

void endKeyPolling() {
    PollerState& s = state();
    std::lock_guard<std::mutex> lock(s.gate);
    s.polling = false;
    leaveRawMode();
}

int pollKey(int timeoutMs) {
    PollerState& s = state();
    std::unique_lock<std::mutex> lock(s.gate);
    bool reading = s.polling && s.pauseDepth == 0 && pauseWanted.load(std::memory_order_relaxed) == 0;
    if (reading) {
        // Back in the foreground after a stop, raw mode comes back; in the background nothing is read,
        // since a read there would stop the process.
        reading = terminalInForeground() && enterRawMode(RawSignals::KEEP);
    }
    if (!reading) {
        lock.unlock();
        idleKeyPoller(timeoutMs);
        return NO_KEY;
    }
    if (s.pendingByte >= 0) {
        const int pending = s.pendingByte;
        s.pendingByte = -1;
        return decodeLocked(pending);
    }
    std::array<pollfd, 2> watched = {{{STDIN_FILENO, POLLIN, 0}, {wakePipe().readFd, POLLIN, 0}}};
    if (poll(watched.data(), watched.size(), timeoutMs) <= 0) return NO_KEY;
    if (watched[1].revents != 0) drainWakePipe();
    if ((watched[0].revents & POLLIN) == 0) {
        // The terminal has gone (hung up): stop reading rather than wake up for it again and again.
        if ((watched[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) s.polling = false;
        return NO_KEY;
    }
    unsigned char byte = 0;
    const ssize_t n = read(STDIN_FILENO, &byte, 1);
    if (n == 0) s.polling = false;  // end of input
    if (n != 1) return NO_KEY;
    return decodeLocked(byte);
}

void idleKeyPoller(int timeoutMs) {
    pollfd wake{wakePipe().readFd, POLLIN, 0};
    if (poll(&wake, 1, timeoutMs) > 0) drainWakePipe();
}

void wakeKeyPoller() {
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing is lost when this write fails.
    [[maybe_unused]] ssize_t n = write(wakePipe().writeFd, &byte, 1);
}

KeyPollingPause::KeyPollingPause() {
    PollerState& s = state();
    pauseWanted.fetch_add(1, std::memory_order_relaxed);
    wakeKeyPoller();
    std::lock_guard<std::mutex> lock(s.gate);
    if (s.pauseDepth++ == 0) leaveRawMode();
    pauseWanted.fetch_sub(1, std::memory_order_relaxed);
}

KeyPollingPause::~KeyPollingPause() {
    PollerState& s = state();
    std::lock_guard<std::mutex> lock(s.gate);
    if (--s.pauseDepth == 0 && s.polling) enterRawMode(RawSignals::KEEP);
}

}  // namespace nagare::platform
