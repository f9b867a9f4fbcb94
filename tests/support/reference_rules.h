// A slow, independent rules reference for tests: pseudo-legal moves played on copies, kept when the
// mover's king is not attacked, with the drop rules applied; attacks found by scanning the board.
#pragma once

#include <algorithm>
#include <vector>

#include "rules/position.h"

namespace nagare::test {

// Whether any piece of `by` attacks `target`, found by walking every piece's moves on the board.
inline bool attackedBy(const Position& p, Square target, Side by) {
    for (int file = 1; file <= 9; ++file)
        for (int rank = 1; rank <= 9; ++rank) {
            Square s = makeSquare(file, rank);
            int code = p.at(s);
            if (code == EMPTY || code == WALL || sideOf(code) != by) continue;
            for (int d = 0; d < DIRECTION_COUNT; ++d) {
                if (canStep[d][code] && s + OFFSET[d] == target) return true;
                if (canSlide[d][code]) {
                    for (Square t = s + OFFSET[d];; t += OFFSET[d]) {
                        if (t == target) return true;
                        if (p.at(t) != EMPTY) break;
                    }
                }
            }
        }
    return false;
}

inline bool kingAttacked(const Position& p, Side side) {
    Square k = p.kingOf(side);
    return k != 0 && attackedBy(p, k, opponent(side));
}

inline std::vector<Move> slowLegalMoves(const Position& p, bool pawnDropMateAllowed = false);

inline std::vector<Move> slowPseudoMoves(const Position& p) {
    const Side side = p.sideToMove;
    std::vector<Move> moves;
    auto lastRanks = [&](int kind, int rank) {
        int fromFar = side == SENTE ? rank : 10 - rank;
        if (kind == PAWN || kind == LANCE) return fromFar == 1;
        if (kind == KNIGHT) return fromFar <= 2;
        return false;
    };
    auto zone = [&](Square s) { return side == SENTE ? rankOf(s) <= 3 : rankOf(s) >= 7; };
    auto add = [&](Square from, Square to, int code) {
        int target = p.at(to);
        if (target == WALL || (target != EMPTY && sideOf(target) == side)) return;
        if (kindOf(target) == KING) return;  // never generated: the king would already be in check
        bool promotable = canPromote[code] && (zone(from) || zone(to));
        if (promotable) moves.push_back(makeBoardMove(from, to, code, true));
        if (!lastRanks(kindOf(code), rankOf(to))) moves.push_back(makeBoardMove(from, to, code, false));
    };
    for (int file = 1; file <= 9; ++file)
        for (int rank = 1; rank <= 9; ++rank) {
            Square s = makeSquare(file, rank);
            int code = p.at(s);
            if (code == EMPTY || code == WALL || sideOf(code) != side) continue;
            for (int d = 0; d < DIRECTION_COUNT; ++d) {
                if (canStep[d][code]) add(s, s + OFFSET[d], code);
                if (canSlide[d][code]) {
                    for (Square t = s + OFFSET[d];; t += OFFSET[d]) {
                        add(s, t, code);
                        if (p.at(t) != EMPTY) break;
                    }
                }
            }
        }
    for (int kind = PAWN; kind <= ROOK; ++kind) {
        int code = side + kind;
        if (p.hand[code] == 0) continue;
        for (int file = 1; file <= 9; ++file) {
            bool pawnOnFile = false;
            for (int rank = 1; rank <= 9; ++rank)
                if (p.at(makeSquare(file, rank)) == side + PAWN) pawnOnFile = true;
            if (kind == PAWN && pawnOnFile) continue;
            for (int rank = 1; rank <= 9; ++rank) {
                Square s = makeSquare(file, rank);
                if (p.at(s) == EMPTY && !lastRanks(kind, rank)) moves.push_back(makeDrop(s, code));
            }
        }
    }
    return moves;
}

inline std::vector<Move> slowLegalMoves(const Position& p, bool pawnDropMateAllowed) {
    std::vector<Move> legal;
    const Side side = p.sideToMove;
    for (Move m : slowPseudoMoves(p)) {
        Position q = p;
        makeMove(q, m);
        if (kingAttacked(q, side)) continue;
        if (!pawnDropMateAllowed && m.isDrop() && kindOf(m.piece) == PAWN &&
            kingAttacked(q, opponent(side)) && slowLegalMoves(q, false).empty())
            continue;  // 打歩詰: mate by a dropped pawn is forbidden
        legal.push_back(m);
    }
    return legal;
}

inline std::vector<uint32_t> sortedWords(const std::vector<Move>& moves) {
    std::vector<uint32_t> w;
    for (Move m : moves) w.push_back(m.packed());
    std::sort(w.begin(), w.end());
    return w;
}

}  // namespace nagare::test
