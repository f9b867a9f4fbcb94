// Preparing the search context and the root from the problem, as every solve does before its first
// search.
#pragma once

#include "run/problem_file.h"
#include "search/search_context.h"

namespace nagare {

class PositionTable;

// The rules and options of the problem as the search uses them: OR and AND side from the genre's
// play, the effective 持駒節約, the futile-drop adjustment (最善詰 without a move rule).
void prepareContext(SearchContext& ctx, const Problem& problem, PositionTable& table);

// The root as a search starts from it: no parent, no move, ply 0, on the given line.
void prepareRoot(Position& root);

}  // namespace nagare
