// Replaying a solution line with the rules alone, as a check of what the search reports.
#pragma once

#include <string>
#include <vector>

#include "rules/move.h"
#include "rules/position.h"
#include "rules/rule_set.h"

namespace nagare {

// Plays `line` from `root`: every move must be legal, every first-player move a check where the
// rules require one, and the last position must be the goal of the genre (for 打歩 reached by the
// first player's pawn drop). Returns "ok" or a description of the first fault.
std::string replayLine(const Position& root, const std::vector<Move>& line, const RuleSet& rules);

// How many moves of `line`, played from `root`, are legal one after the other: the length of the
// longest prefix that can be played.
size_t legalPrefixLength(const Position& root, const std::vector<Move>& line, const RuleSet& rules);

// The notation of `m` played after the first `ply` moves of `line` from `root` (fewer when the line
// is shorter), so that 同 and the disambiguation words come out as on the board of that ply.
std::string formatMoveAlong(const Position& root, const std::vector<Move>& line, int ply, Move m);

}  // namespace nagare
