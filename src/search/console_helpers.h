// Console helpers of the verification display: the cursor column, the indentation of a finding,
// highlighting, and the display width of Shift-JIS text.
#pragma once

#include <string_view>

namespace nagare {

// True when the console cursor is in column 0.
bool atLineStart();

// When the cursor is in column 0: two tabs and one ideographic space, and `column` (the caller's
// column counter) becomes 0. Otherwise nothing.
void indentIfAtLineStart(int& column);

// The same indentation when in column 0, then "終了" and a line break.
void printEnd();

// Highlighted findings: yellow on black, then back to light grey on black.
void highlightOn();
void highlightOff();

// Columns the text takes: 2 for each double-byte character (a lead byte with its trail byte), 1 for
// every other byte.
int displayWidth(std::string_view text);

}  // namespace nagare
