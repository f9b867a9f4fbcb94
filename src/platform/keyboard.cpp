#include "platform/keyboard.h"

#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <optional>

#include "platform/console.h"
#include "platform/terminal_keys.h"

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
    if (isatty(STDIN_FILENO) != 1) {
        std::getc(stdin);
        return;
    }
    std::fflush(stdout);
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) {
        std::getc(stdin);
        return;
    }
    termios raw = saved;
    // No line editing, no echo, and Ctrl-C is just a key here: a signal that ended the process now
    // would leave the terminal without echo.
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    readOneByte();
    // A key that sends several bytes (an arrow, a function key) is still one key.
    tcflush(STDIN_FILENO, TCIFLUSH);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

}  // namespace nagare::platform
