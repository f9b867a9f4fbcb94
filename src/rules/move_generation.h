// Legal move generation: all moves, evasions, and the first player's check candidates.
#pragma once

#include "rules/move.h"
#include "rules/position.h"

namespace nagare {

// Result codes for positions without moves.
constexpr int NO_MOVES_SENTE_MATED = -1;  // the first player is in check and has no evasion
constexpr int NO_MOVES_SENTE = -2;        // the first player is not in check (or has no king) and cannot move
constexpr int NO_MOVES_GOTE = -3;  // the second player is not in check (or has no king) and cannot move
// The second player in check without an evasion gets the count 0.

// Options of the standard rules that a problem may change.
struct GenerationRules {
    bool pawnDropMate = false;  // 打歩: a drop-pawn mate is allowed
};

// All legal moves of the side to move, written from buffer[0]; the count or a result code.
int generateAllMoves(const Position& p, Move* buffer, const GenerationRules& rules = {});

// First player to move only: in check, all evasions (or -1); otherwise every legal move that may give
// check, pruned by geometry only. The caller keeps the moves that really check.
int generateCheckCandidates(const Position& p, Move* buffer, const GenerationRules& rules = {});

// First player to move only: the moves that give check, in the order of generateCheckCandidates
// (of the evasions when in check; NO_MOVES_SENTE_MATED when there is none). `anyCandidate` tells
// whether generateCheckCandidates would have found any move at all.
int generateChecks(const Position& p, Move* buffer, bool& anyCandidate, const GenerationRules& rules = {});

// The side to move must be in check: the number of its evasions, the count generateAllMoves returns
// for it (0 when there is none), found from the attack maps without writing a move. With
// `dropsBySquare` the interposing drops on one square count once, whatever pieces could be dropped.
int countEvasions(const Position& p, bool dropsBySquare, const GenerationRules& rules = {});

// About how many checks the first player will have after the second player's move `m` in `parent`,
// for ordering the defences, worked out without playing the move: the drops and the moves onto the
// squares from which a piece attacks the king. Checks by uncovering a line, pins, the pawn-drop rules
// and the lines the move itself opens or closes are left out.
int estimateChecksAfter(const Position& parent, Move m);

}  // namespace nagare
