#include "run/console_dialogue.h"

#include <cctype>

#include "platform/console.h"
#include "platform/interrupt.h"
#include "platform/keyboard.h"

namespace nagare {

void pause() {
    platform::consoleWrite("何かキーを押してください...");
    platform::waitForKey();
}

bool askYes(char letter, std::FILE* in) {
    std::optional<char> answer = platform::readAnswerCharacter(in);
    if (!answer) return false;
    auto upper = [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); };
    return upper(*answer) == upper(letter);
}

void installInterruptHandler() {
    platform::installOneShotInterrupt(ctrlCPressed,
                                      "本プログラムの終了には Ctrl-C ではなく ESC を使ってください\n");
}

}  // namespace nagare
