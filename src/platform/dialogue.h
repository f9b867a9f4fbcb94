// The console dialogue: the pause before the run ends, the one-key answers and the Ctrl-C hint.
#pragma once

#include <atomic>
#include <cstdio>

namespace nagare::platform {

// Set by the Ctrl-C handler. The search reads and clears it, then installs the handler again.
inline std::atomic<bool> ctrlCPressed{false};

// Prints "何かキーを押してください..." and waits for one key. Returns at once at the end of input.
void pause();

// Reads one answer to a question already printed: true when its first character is `letter`, in
// either case. The end of input answers no.
bool askYes(char letter, std::FILE* in = stdin);

// Arms the Ctrl-C handler: the next Ctrl-C sets ctrlCPressed and prints a hint to use ESC instead;
// the one after it ends the process unless the handler has been installed again.
void installInterruptHandler();

}  // namespace nagare::platform
