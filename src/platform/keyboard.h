// Standard input for the dialogue: the file-name prompt, the one-key answers and the pause. At the
// end of input every read returns at once, so a run with no input never blocks.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace nagare::platform {

// Reads one line without its line end (a CR before the LF is dropped too). False at the end of
// input when nothing was read.
bool readInputLine(std::string& line, std::FILE* in = stdin);

// Reads one answer: the first character that is not white space, skipping blank lines; the rest of
// that line is discarded. Nothing at the end of input.
std::optional<char> readAnswerCharacter(std::FILE* in = stdin);

// Waits for one key. On a terminal: one keypress, read raw and without echo, the terminal restored
// afterwards. Otherwise: one character of input, or the end of input.
void waitForKey();

}  // namespace nagare::platform
