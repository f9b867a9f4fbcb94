// Stopping a search from the keyboard: the question asked at the node the search has reached, and the
// display of the line it is on.
#pragma once

#include "search/search_context.h"

namespace nagare {

// Called at every node before expansion: true when the user confirmed a stop (the node is then
// marked aborted).
bool checkInterrupt(SearchContext& ctx, Position& node);
// The line the search is on, from ply 1 to the node, with the node's diagram and the table's use.
void showCurrentLine(SearchContext& ctx, const Position& node);

}  // namespace nagare
