#include "platform/console.h"

#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace nagare::platform {

namespace {

bool isShiftJisCodeset(const char* codeset) {
    const char* names[] = {"SHIFT_JIS", "SHIFT-JIS", "SJIS", "CP932", "WINDOWS-31J", "MS_KANJI"};
    for (const char* n : names)
        if (strcasecmp(codeset, n) == 0) return true;
    return false;
}

class Console {
  public:
    Console() {
        std::setlocale(LC_CTYPE, "");
        passThrough_ = isShiftJisCodeset(nl_langinfo(CODESET));
        terminal_ = isatty(STDOUT_FILENO) == 1;
    }

    void useStream(ConsoleStream stream) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::fflush(out_);
        const bool toError = stream == ConsoleStream::STANDARD_ERROR;
        out_ = toError ? stderr : stdout;
        terminal_ = isatty(toError ? STDERR_FILENO : STDOUT_FILENO) == 1;
    }

    void write(std::string_view text) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (char c : text) column_ = c == '\n' ? 0 : column_ + 1;
        std::string out;
        if (passThrough_) {
            out.assign(text);
        } else {
            // A lead byte left at the end of the previous write belongs to this one.
            std::string pending = std::move(pendingLead_);
            pendingLead_.clear();
            pending.append(text);
            size_t complete = pending.size();
            if (complete > 0 && endsWithLeadByte(pending)) {
                pendingLead_ = pending.substr(complete - 1);
                --complete;
            }
            out = sjisToUtf8(std::string_view(pending).substr(0, complete));
        }
        std::fwrite(out.data(), 1, out.size(), out_);
        std::fflush(out_);
    }

    std::string encode(std::string_view text) const {
        return passThrough_ ? std::string(text) : sjisToUtf8(text);
    }

    bool atLineStart() {
        std::lock_guard<std::mutex> lock(mutex_);
        return column_ == 0;
    }

    void startLine() {
        std::lock_guard<std::mutex> lock(mutex_);
        column_ = 0;
    }

    void setAttribute(int attribute) {
        if (!terminal_) return;
        std::lock_guard<std::mutex> lock(mutex_);
        // Attribute 14 is the bright yellow of the terminal's palette; 7 is the terminal's own colour.
        const char* code = attribute == ATTRIBUTE_HIGHLIGHT ? "\x1b[93m" : "\x1b[0m";
        std::fputs(code, out_);
        std::fflush(out_);
    }

  private:
    static bool endsWithLeadByte(const std::string& s) {
        // Walk from the start so that a trail byte in the lead-byte range is not mistaken for a lead.
        size_t i = 0;
        while (i < s.size()) {
            if (isShiftJisLeadByte(static_cast<unsigned char>(s[i]))) {
                if (i + 1 == s.size()) return true;
                i += 2;
            } else {
                ++i;
            }
        }
        return false;
    }

    std::mutex mutex_;
    std::FILE* out_ = stdout;
    bool passThrough_ = false;
    bool terminal_ = false;
    long column_ = 0;
    std::string pendingLead_;
};

Console& console() {
    static Console instance;
    return instance;
}

}  // namespace

std::string sjisToUtf8(std::string_view sjis) {
    std::string out;
    if (sjis.empty()) return out;
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(sjis);
    out.resize(sjis.size() * 3 + 4);
    char* in = const_cast<char*>(sjis.data());
    size_t inLeft = sjis.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) break;  // cannot happen: three output bytes per input byte suffice
        // An invalid or truncated sequence: show one '?' and go on with the next byte.
        *outPtr++ = '?';
        --outLeft;
        ++in;
        --inLeft;
    }
    out.resize(out.size() - outLeft);
    iconv_close(cd);
    return out;
}

void consoleWrite(std::string_view sjis) {
    console().write(sjis);
}
bool consoleAtLineStart() {
    return console().atLineStart();
}
void consoleInputLineEnded() {
    console().startLine();
}
void consoleUseStream(ConsoleStream stream) {
    console().useStream(stream);
}
void consoleSetAttribute(int attribute) {
    console().setAttribute(attribute);
}
std::string toConsoleEncoding(std::string_view sjis) {
    return console().encode(sjis);
}

}  // namespace nagare::platform
