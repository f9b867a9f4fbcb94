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

}  // namespace nagare
