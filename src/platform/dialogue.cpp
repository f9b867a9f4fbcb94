#include "platform/dialogue.h"

#include <cctype>

#include "platform/console.h"
#include "platform/interrupt.h"
#include "platform/keyboard.h"

namespace nagare::platform {

void pause() {
    consoleWrite("何かキーを押してください...");
    waitForKey();
}

bool askYes(char letter, std::FILE* in) {
    std::optional<char> answer = readAnswerCharacter(in);
    if (!answer) return false;
    auto upper = [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); };
    return upper(*answer) == upper(letter);
}

void installInterruptHandler() {
    installOneShotInterrupt(ctrlCPressed, "本プログラムの終了には Ctrl-C ではなく ESC を使ってください\n");
}

}  // namespace nagare::platform
