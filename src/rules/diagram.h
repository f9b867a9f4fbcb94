// The board diagram, printed in the layout the problem reader reads.
#pragma once

#include <string>

#include "rules/position.h"

namespace nagare {

// The diagram as Shift-JIS text: an empty line, the second player's hand, the file numbers, the
// bordered board with the rank numerals, the first player's hand.
std::string formatDiagram(const Position& position);

// Prints the diagram on the console when `path` is empty; otherwise appends it to the file at `path`.
// A file that cannot be opened loses the text without complaint.
void drawDiagram(const Position& position, const std::string& path);

}  // namespace nagare
