#include "platform/keyboard.h"

#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <optional>

#include "platform/console.h"
#include "platform/terminal_keys.h"
#include "platform/terminal_mode.h"

namespace nagare::platform {

namespace {

// A question reads the terminal itself: the monitor's key poller reads nothing meanwhile, and the
// echoed line end of the answer puts the cursor at the start of a line.
class TerminalQuestion {
  public:
    explicit TerminalQuestion(std::FILE* in) {
        if (in == stdin) pause_.emplace();
        echoed_ = in == stdin && isatty(STDIN_FILENO) == 1;
    }
    ~TerminalQuestion() {
        if (echoed_) consoleInputLineEnded();
    }

  private:
    std::optional<KeyPollingPause> pause_;
    bool echoed_ = false;
};

}  // namespace

bool readInputLine(std::string& line, std::FILE* in) {
    TerminalQuestion question(in);
    line.clear();
    int c = std::getc(in);
    if (c == EOF) return false;
    while (c != EOF && c != '\n') {
        line.push_back(static_cast<char>(c));
        c = std::getc(in);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

std::optional<char> readAnswerCharacter(std::FILE* in) {
    TerminalQuestion question(in);
    int c = std::getc(in);
    while (c != EOF && std::isspace(c)) c = std::getc(in);
    if (c == EOF) return std::nullopt;
    // The answer is the first character; whatever else was typed on the line goes with it.
    int rest = c;
    while (rest != '\n' && rest != EOF) rest = std::getc(in);
    return static_cast<char>(c);
}

namespace {

// Reads one byte from the terminal, retrying when a signal interrupts the wait.
void readOneByte() {
    unsigned char byte = 0;
    ssize_t n;
    do {
        n = read(STDIN_FILENO, &byte, 1);
    } while (n < 0 && errno == EINTR);
}

}  // namespace

void waitForKey() {
    // The key poller must neither take this key nor leave its raw mode to be saved and put back here.
    const KeyPollingPause pause;
    std::fflush(stdout);
    // No line editing, no echo, and Ctrl-C is just a key here. The terminal's own mode comes back
    // however the process ends meanwhile (a SIGTERM, a hang-up).
    if (!enterRawMode(RawSignals::AS_KEYS)) {
        std::getc(stdin);
        return;
    }
    readOneByte();
    // A key that sends several bytes (an arrow, a function key) is still one key.
    tcflush(STDIN_FILENO, TCIFLUSH);
    leaveRawMode();
}

}  // namespace nagare::platform
