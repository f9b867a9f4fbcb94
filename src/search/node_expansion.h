// What the rules of the problem mean inside the search: which moves a node may use, and what a node
// without usable moves is worth.
#pragma once

#include "search/search_context.h"

namespace nagare {

// No-move codes of expandNode, besides the counts of the generators: for the first player -1 (in
// check without a usable move), -2 (not in check or no king, without a usable move), 0 (moves exist
// but none gives the required check); for the second player 0 (mated) and -3 (no move, not in check).
constexpr int NO_CHECKING_MOVE = 0;

// Builds the node's children from the arena (node.children, node.childCount) and returns their
// number (> 0), or a no-move code.
int expandNode(SearchContext& ctx, Position& node);

enum class Verdict { PROVED, DISPROVED, HAS_MOVES };

// The verdict on a node from the code of expandNode.
Verdict judgeNoMoves(const SearchContext& ctx, const Position& node, int code);

}  // namespace nagare
