// A pseudo-terminal for tests of keyboard handling: a child process runs with the terminal as its
// controlling terminal and its standard input, output and error; the test types into it, reads what
// it prints and looks at the terminal's mode.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/stopwatch.h"

namespace nagare::test {

class PseudoTerminal {
  public:
    PseudoTerminal() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        const char* name = ptsname(master_);
        // The test keeps the terminal's other end open too, so that its mode can still be read after
        // the child has gone.
        if (name != nullptr) slave_ = open(name, O_RDWR | O_NOCTTY);
    }
    ~PseudoTerminal() {
        if (running()) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool usable() const { return master_ >= 0 && slave_ >= 0; }

    // Runs `body` in a child process on the terminal; its result is the child's exit code.
    bool spawn(const std::function<int()>& body) {
        if (!usable()) return false;
        child_ = fork();
        if (child_ < 0) return false;
        if (child_ == 0) {
            attachChild();
            _exit(body());
        }
        return true;
    }

    // Runs a program on the terminal, with LC_ALL=C.UTF-8 so that it prints UTF-8.
    bool spawnProgram(const std::vector<std::string>& arguments) {
        return spawn([&] {
            std::vector<char*> argv;
            for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            setenv("LC_ALL", "C.UTF-8", 1);
            execv(argv[0], argv.data());
            return 127;
        });
    }

    // Types bytes into the terminal.
    void send(std::string_view bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }

    // Reads until `text` appears after the end of the previous match; false after `seconds`.
    bool waitFor(std::string_view text, double seconds) {
        return waitUntil(seconds, [&] {
            size_t at = output_.find(text, cursor_);
            if (at == std::string::npos) return false;
            cursor_ = at + text.size();
            return true;
        });
    }

    // Reads output until the terminal's mode satisfies `wanted`; false after `seconds`.
    bool waitForMode(const std::function<bool(const termios&)>& wanted, double seconds) {
        return waitUntil(seconds, [&] { return wanted(mode()); });
    }

    // Reads output until the child has ended; its wait status, or nothing after `seconds`.
    std::optional<int> waitExit(double seconds) {
        int status = 0;
        bool ended = waitUntil(seconds, [&] {
            if (waitpid(child_, &status, WNOHANG) != child_) return false;
            child_ = -1;
            return true;
        });
        drain();
        if (!ended) return std::nullopt;
        return status;
    }

    termios mode() const {
        termios t{};
        tcgetattr(slave_, &t);
        return t;
    }

    pid_t child() const { return child_; }
    const std::string& output() const { return output_; }
    // What came after the last match.
    std::string rest() const { return output_.substr(cursor_); }

  private:
    static constexpr int READ_WAIT_MS = 20;

    bool running() const { return child_ > 0; }

    void attachChild() {
        setsid();
        ioctl(slave_, TIOCSCTTY, 0);
        dup2(slave_, STDIN_FILENO);
        dup2(slave_, STDOUT_FILENO);
        dup2(slave_, STDERR_FILENO);
        close(master_);
        if (slave_ > STDERR_FILENO) close(slave_);
        signal(SIGINT, SIG_DFL);
    }

    // Reads what the child printed, waiting up to READ_WAIT_MS for the first byte.
    void readSome() {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, READ_WAIT_MS) <= 0 || (p.revents & POLLIN) == 0) return;
        char buffer[4096];
        ssize_t n = read(master_, buffer, sizeof buffer);
        if (n > 0) output_.append(buffer, static_cast<size_t>(n));
    }

    void drain() {
        for (int i = 0; i < 5; ++i) readSome();
    }

    bool waitUntil(double seconds, const std::function<bool()>& done) {
        const platform::Stopwatch watch;
        while (!done()) {
            if (watch.elapsed() > seconds) return false;
            readSome();
        }
        return true;
    }

    int master_ = -1;
    int slave_ = -1;
    pid_t child_ = -1;
    std::string output_;
    size_t cursor_ = 0;
};

// The local modes the key poller switches: raw means neither line editing nor echo.
inline bool isRaw(const termios& t) {
    return (t.c_lflag & (ICANON | ECHO)) == 0;
}
inline bool isCooked(const termios& t) {
    return (t.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
}

}  // namespace nagare::test
