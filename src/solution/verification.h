// Walking a solution ply by ply: alternative defences and attacks at every ply (非限定, 余詰, 迂回),
// and the correction of a line whose defence falls sooner than it claims (変別).
#pragma once

#include <string_view>

#include "rules/position.h"
#include "search/search_context.h"
#include "solution/solution_lines.h"

namespace nagare {

// Walks `line` from `node` and returns the line as verified, corrected from some ply on where a
// better defence was found. `reverify` is set only when a node is examined again after its line was
// corrected. An empty line gives an empty result. A stop by the user leaves node.state aborted and
// records where the walk stopped (verifyStopPly, verifyStopMove) for a checkpoint.
MoveLine verifyLine(SearchContext& ctx, Position& node, MoveLine line, bool reverify);

// The walk's name for a finding, as the console and the report show it (Shift-JIS).
std::string_view findingLabel(WalkFinding kind);

}  // namespace nagare
