#include "search/console_helpers.h"

#include "platform/console.h"

namespace nagare {

namespace {

// Two tabs and an ideographic space (code page 932 bytes 0x81 0x40).
constexpr std::string_view FINDING_INDENT = "\t\t\x81\x40";

constexpr int SINGLE_WIDTH = 1;
constexpr int DOUBLE_WIDTH = 2;

}  // namespace

bool atLineStart() {
    return platform::consoleAtLineStart();
}

void indentIfAtLineStart(int& column) {
    if (!atLineStart()) return;
    platform::consoleWrite(FINDING_INDENT);
    column = 0;
}

void printEnd() {
    int column = 0;
    indentIfAtLineStart(column);
    platform::consoleWrite("終了\n");
}

void highlightOn() {
    platform::consoleSetAttribute(platform::ATTRIBUTE_HIGHLIGHT);
}
void highlightOff() {
    platform::consoleSetAttribute(platform::ATTRIBUTE_NORMAL);
}

int displayWidth(std::string_view text) {
    int width = 0;
    size_t i = 0;
    while (i < text.size()) {
        // A lead byte with nothing after it is a lone byte, one column wide.
        if (platform::isShiftJisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
            width += DOUBLE_WIDTH;
            i += 2;
        } else {
            width += SINGLE_WIDTH;
            ++i;
        }
    }
    return width;
}

}  // namespace nagare
