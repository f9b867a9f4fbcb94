// Japanese move notation: the full form with 同 and the disambiguation words, and the short form
// with the from square in parentheses.
#pragma once

#include <string>
#include <vector>

#include "rules/move.h"
#include "rules/position.h"

namespace nagare {

// The full form, e.g. "76歩 ", "同龍 ", "52金直 ", "22角生 ", "55角打 " (always ending in one blank).
// `p` is the position before the move: its last move decides 同, its board the disambiguation.
std::string formatMove(const Position& p, Move m);

// The short form, e.g. "76歩(77)", "24飛成(28)", "55角打".
std::string formatMoveShort(Move m);

// USI notation for tools: squares as file digit and rank letter (rank 1 = "a"), "7g7f" with a
// trailing "+" when the move promotes, "P*5e" for a drop.
std::string formatMoveUsi(Move m);
std::string formatLineUsi(const std::vector<Move>& line);
// Reads one USI move in `p` (the moving piece comes from its board); a null move when unreadable.
Move parseMoveUsi(const Position& p, const std::string& text);

}  // namespace nagare
