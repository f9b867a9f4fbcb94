// Attack questions: checks, attackers of a square, pins, discovered-check candidates and the
// drop-pawn-mate test (打歩詰).
#pragma once

#include <array>
#include <cstdint>

#include "rules/position.h"

namespace nagare {

// Per-square line offsets of pinned pieces (or of discovered-check candidates); 0 elsewhere.
using PinMap = std::array<int32_t, SQUARE_SPAN>;

// The check word of `side`: the other side's attack word on its king; 0 without a king.
inline uint32_t checkWord(const Position& p, Side side) {
    Square k = p.kingOf(side);
    return k == 0 ? 0 : p.attacksOf(opponent(side))[k];
}
inline bool inCheck(const Position& p, Side side) {
    return checkWord(p, side) != 0;
}

// The attack word of the pieces of `side` that may legally move to `square` as far as pins allow.
uint32_t capturersOf(const Position& p, Side side, Square square, const PinMap& pins);

// Pins against both kings, by the line offset of the pin.
void computePins(const Position& p, PinMap& pins);
// The first player's pieces standing between one of its sliders and the second player's king.
void computeDiscoveries(const Position& p, PinMap& discoveries);

// Whether the first player's legal move `m` checks the second player's king, directly or by
// uncovering a slider; the same answer as playing the move and asking inCheck, without playing it.
bool givesCheck(const Position& p, Move m);
// The same for the moved or dropped piece's own attack only, leaving out a check it uncovers.
bool givesDirectCheck(const Position& p, Move m);

// Whether a pawn of `side` dropped on `square` would be a drop-pawn mate (打歩詰).
bool isPawnDropMate(const Position& p, Side side, Square square, const PinMap& pins);

}  // namespace nagare
