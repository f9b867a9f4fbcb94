// The console: the program's text is Shift-JIS; the terminal gets UTF-8 unless the locale's own
// codeset is Shift-JIS. The writer keeps the cursor column itself.
#pragma once

#include <string>
#include <string_view>

namespace nagare::platform {

// Writes Shift-JIS text to standard output. Safe to call from the search and the monitor thread.
void consoleWrite(std::string_view sjis);
// True when nothing has been written on the current line.
bool consoleAtLineStart();
// An answer typed on the terminal has ended with its echoed line end: the cursor is at the start of
// a line again.
void consoleInputLineEnded();
// Where the console's text goes: standard output, or standard error for a tool whose standard output
// is data.
enum class ConsoleStream { STANDARD_OUTPUT, STANDARD_ERROR };
void consoleUseStream(ConsoleStream stream);
// Console text attribute 14 (yellow) and 7 (normal); escape codes only when the console's stream is a
// terminal.
void consoleSetAttribute(int attribute);
constexpr int ATTRIBUTE_HIGHLIGHT = 14;
constexpr int ATTRIBUTE_NORMAL = 7;

// The first byte of a two-byte Shift-JIS (code page 932) character.
constexpr bool isShiftJisLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
}

// Converts Shift-JIS text to UTF-8; bytes that are not valid Shift-JIS become '?'.
std::string sjisToUtf8(std::string_view sjis);
// The bytes consoleWrite would put on standard output for this text: the text itself when the
// terminal reads Shift-JIS, otherwise its UTF-8 form. For writers that cannot go through
// consoleWrite, such as a signal handler.
std::string toConsoleEncoding(std::string_view sjis);

}  // namespace nagare::platform
