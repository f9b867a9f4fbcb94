// The check of the initial position before any search: one king at most per side, the kings the
// genre needs, no king already in check on the wrong turn, no two pawns on a file, no piece that can
// never move.
#pragma once

#include <string>

#include "rules/position.h"

namespace nagare {

// Why the solver cannot work on this position, as the console lines that say so (Shift-JIS, each
// ending with a line break); empty when the position is fit. Only the first fault is named.
std::string initialPositionFault(const Position& position, int genre);

// Prints the fault, if there is one, and tells whether the position is fit.
bool validateInitialPosition(const Position& position, int genre);

}  // namespace nagare
