// Reading solution lines back out of the position table: the principal line of a proved node, the
// protection of its entries, its text, and the reference line of a node that is not proved.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "rules/move.h"
#include "rules/position.h"
#include "search/search_context.h"

namespace nagare {

using MoveLine = std::vector<Move>;

// The principal line of `length` plies from the proved `node`: the longest defence against the
// quickest mate. Proof data lost from the table is searched again. Empty when the node has no moves,
// is not provable within `length`, or the user stopped the run (then node.state is aborted).
MoveLine extractLine(SearchContext& ctx, Position& node, int length);

// Protects, along `moves` played from `node`, the proofs of the line and of every defence met on it.
void protectLine(SearchContext& ctx, const Position& node, const MoveLine& moves);

// The line in move notation, ten moves a line, closed by "まで " + count + "手".
std::string formatLine(const Position& position, const MoveLine& moves);
// Writes formatLine to the console (stream null) or to the stream.
void printLine(const Position& position, const MoveLine& moves, std::FILE* stream);

// A reference line for a node not proved within `depth`: how the defence holds.
MoveLine nonMateLine(SearchContext& ctx, Position& node, int depth);

}  // namespace nagare
