// Preparing the search context and the root from the problem, as every solve does before its first
// search.
#pragma once

#include <string>

#include "run/problem_file.h"
#include "search/search_context.h"

namespace nagare {

class PositionTable;

// The rules and options of the problem as the search uses them: OR and AND side from the genre's
// play, the effective 持駒節約, the futile-drop adjustment (最善詰 without a move rule).
void prepareContext(SearchContext& ctx, const Problem& problem, PositionTable& table);

// The most plies a search may be given: the path keys have a column per ply.
constexpr int MAX_SEARCH_DEPTH = MAX_PLY - 1;

// Why the problem cannot be solved as stated (the console text, Shift-JIS), or empty: a stated length
// outside 1..2999, or 打歩 with a genre of the first player's own king.
std::string refusalOf(const Problem& problem);

// The root as a search starts from it: no parent, no move, ply 0, on the given line.
void prepareRoot(Position& root);

}  // namespace nagare
