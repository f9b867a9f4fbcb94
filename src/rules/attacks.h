// Attack questions: checks, attackers of a square, pins, discovered-check candidates and the
// drop-pawn-mate test (打歩詰).
#pragma once

#include <array>
#include <cstdint>

#include "rules/position.h"

namespace nagare {

// Per-square line offsets of pinned pieces; 0 elsewhere.
using PinMap = std::array<int32_t, SQUARE_SPAN>;

// A set of squares, one bit each.
class SquareSet {
  public:
    // Adds the square; false when it was there already.
    bool insert(Square s) {
        const uint64_t bit = uint64_t(1) << (unsigned(s) % 64);
        uint64_t& word = words_[unsigned(s) / 64];
        if (word & bit) return false;
        word |= bit;
        return true;
    }
    bool contains(Square s) const { return (words_[unsigned(s) / 64] >> (unsigned(s) % 64)) & 1; }

  private:
    std::array<uint64_t, (SQUARE_SPAN + 63) / 64> words_{};
};

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
SquareSet discoveredCheckers(const Position& p);

// Whether the first player's legal move `m` checks the second player's king, directly or by
// uncovering a slider; the same answer as playing the move and asking inCheck, without playing it.
bool givesCheck(const Position& p, Move m);
// The same for the moved or dropped piece's own attack only, leaving out a check it uncovers.
bool givesDirectCheck(const Position& p, Move m);

// Whether a pawn of `side` dropped on `square` would be a drop-pawn mate (打歩詰).
bool isPawnDropMate(const Position& p, Side side, Square square, const PinMap& pins);

}  // namespace nagare
