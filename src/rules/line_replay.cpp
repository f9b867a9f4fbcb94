#include "rules/line_replay.h"

#include <algorithm>

#include "rules/attacks.h"
#include "rules/move_generation.h"
#include "rules/notation.h"

namespace nagare {

std::string replayLine(const Position& root, const std::vector<Move>& line, const RuleSet& rules) {
    const GenerationRules generation{rules.pawnDropMate};
    Move moves[MOVE_BUFFER_SIZE];
    Position p = root;
    for (size_t i = 0; i < line.size(); ++i) {
        const Move m = line[i];
        const std::string where = "move " + std::to_string(i + 1) + " " + formatMoveUsi(m);
        const int n = generateAllMoves(p, moves, generation);
        if (n <= 0 || std::find(moves, moves + n, m) == moves + n) return where + ": illegal";
        const bool senteMoves = p.sideToMove == SENTE;
        makeMove(p, m);
        if (senteMoves && rules.checkRequired && !inCheck(p, GOTE)) return where + ": no check";
    }
    const int goal = rules.genre & GOAL_MASK;
    const bool ownKing = isOwnKingGenre(rules.genre);
    const Side target = ownKing ? SENTE : GOTE;
    if (p.sideToMove != target) return "the line ends with the wrong side to move";
    const int n = generateAllMoves(p, moves, generation);
    const bool mated = n == (target == SENTE ? NO_MOVES_SENTE_MATED : 0) && inCheck(p, target);
    const bool stalemated = n == (target == SENTE ? NO_MOVES_SENTE : NO_MOVES_GOTE);
    const bool reached = ((goal & GOAL_MATE) && mated) || ((goal & GOAL_STALEMATE) && stalemated);
    if (!reached) return "the last position is not the goal";
    if (rules.pawnDropMate && !(p.lastMove.isDrop() && p.lastMove.piece == SENTE + PAWN))
        return "the goal is not reached by a pawn drop";
    return "ok";
}

size_t legalPrefixLength(const Position& root, const std::vector<Move>& line, const RuleSet& rules) {
    const GenerationRules generation{rules.pawnDropMate};
    Move moves[MOVE_BUFFER_SIZE];
    Position p = root;
    for (size_t i = 0; i < line.size(); ++i) {
        const int n = generateAllMoves(p, moves, generation);
        if (n <= 0 || std::find(moves, moves + n, line[i]) == moves + n) return i;
        makeMove(p, line[i]);
    }
    return line.size();
}

std::string formatMoveAlong(const Position& root, const std::vector<Move>& line, int ply, Move m) {
    Position p = root;
    for (int i = 0; i < ply && static_cast<size_t>(i) < line.size(); ++i) makeMove(p, line[i]);
    return formatMove(p, m);
}

}  // namespace nagare
