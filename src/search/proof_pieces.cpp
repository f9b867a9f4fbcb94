#include "search/proof_pieces.h"

#include <algorithm>
#include <bit>
#include <span>

#include "rules/attacks.h"
#include "search/proof_search.h"
#include "table/position_table.h"

namespace nagare {

namespace {

// Whether a first-player piece of `kind` dropped on some empty square would check the second
// player's king: a square from which it attacks the king, reached over empty squares only.
bool dropCouldCheck(const Position& p, int kind) {
    const Square king = p.kingOf(GOTE);
    if (king == 0) return false;
    const int code = SENTE + kind;
    // A slider checks from anywhere along a line that is empty up to the king, so the square next to
    // the king decides for it as for a stepping piece.
    for (int d = 0; d < DIRECTION_COUNT; ++d)
        if ((canSlide[d][code] || canStep[d][code]) && p.at(king - OFFSET[d]) == EMPTY) return true;
    return false;
}

bool anyEmptySquare(const Position& p) {
    return p.onBoard[0] + p.onBoard[1] < FILE_COUNT * RANK_COUNT;
}

// Whether the first player, to move, could gain a move from a piece of a kind it does not hold.
bool firstPlayerDropMatters(const Position& p, int kind, bool checkRequired) {
    return checkRequired ? dropCouldCheck(p, kind) : anyEmptySquare(p);
}

// Whether the second player, to move, could drop anything at all: out of check on any empty square,
// in check only between a lone checking slider and the king.
bool secondPlayerCanDrop(const Position& p) {
    const uint32_t check = checkWord(p, GOTE);
    if (check == 0) return anyEmptySquare(p);
    if (std::popcount(check) != 1 || (check & SLIDE_BITS) == 0) return false;
    const int d = std::countr_zero(check) - SLIDE_BIT_SHIFT;
    return p.at(p.kingOf(GOTE) - OFFSET[d]) == EMPTY;
}

// The change of a side's hand made by the move into `child`: -1 for the kind dropped, +1 for the
// kind captured.
int handChange(const Position& parent, const Position& child, Side side, int kind) {
    return child.hand[side + kind] - parent.hand[side + kind];
}

// A lower bound carried from a child to its parent across the move: the parent needs what the child
// needs before the move's change.
uint8_t needBefore(uint8_t childNeed, int change) {
    return static_cast<uint8_t>(std::clamp(int(childNeed) - change, 0, ANY_COUNT - 1));
}
// An upper bound carried the same way; no bound stays no bound.
uint8_t allowBefore(uint8_t childAllow, int change) {
    if (childAllow == ANY_COUNT) return ANY_COUNT;
    return static_cast<uint8_t>(std::clamp(int(childAllow) - change, 0, ANY_COUNT - 1));
}

HandBounds unpackBounds(const HandEntry& e) {
    return HandBounds{PackedHand::unpack(e.first), PackedHand::unpack(e.second)};
}

// The child's proof within `maxDepth`: its length and the hands it holds for.
bool childProof(SearchContext& ctx, Position& c, int maxDepth, int& length, HandBounds& bounds) {
    if (const HandEntry* e = ctx.table->hands.findProof(c, maxDepth)) {
        length = e->depth;
        bounds = unpackBounds(*e);
        return true;
    }
    // No lent proof is short enough, so only the one kept for the exact hands can be.
    TableEntry* e = ctx.table->probeProvenExact(c);
    if (e == nullptr || e->depth > maxDepth) return false;
    length = e->depth;
    bounds = exactBounds(c);
    return true;
}

// The child's clean non-proof at least `minDepth` deep, and the hands it holds for.
bool childNonProof(SearchContext& ctx, Position& c, int minDepth, HandBounds& bounds) {
    if (c.loopTainted) return false;
    if (const HandEntry* e = ctx.table->hands.findNonProof(c, minDepth)) {
        bounds = unpackBounds(*e);
        return true;
    }
    TableEntry* e = ctx.table->probeFinal(c, minDepth);
    if (e == nullptr || e->pn == 0) return false;
    bounds = exactBounds(c);
    return true;
}

int needTotal(const HandBounds& b) {
    int total = 0;
    for (int kind = PAWN; kind <= ROOK; ++kind) total += b.first[kind];
    return total;
}

}  // namespace

bool handDominanceApplies(const RuleSet& rules) {
    const bool genreFits =
        (rules.genre == GENRE_BEST_MATE && rules.checkRequired) || rules.genre == GENRE_BEST_WIN;
    const bool ruleFits = rules.moveRule == MOVE_RULE_NONE || rules.moveRule == MOVE_RULE_GOYOKU ||
                          rules.moveRule == MOVE_RULE_MAXI || rules.moveRule == MOVE_RULE_CHOKU;
    return genreFits && ruleFits && !rules.pawnDropMate;
}

void configureHandDominance(PositionTable& table, const RuleSet& rules) {
    table.handDominance = handDominanceApplies(rules);
    table.handsNeedCheck = rules.genre == GENRE_BEST_MATE;
    // Where nothing is lent, the hand table would only hold memory.
    if (!table.handDominance) table.hands.release();
}

HandBounds noMoveBounds(const Position& node, bool checkRequired) {
    HandBounds b = exactBounds(node);
    if (node.sideToMove == SENTE) {
        // Not proved: it stays so with any second-player hand, and with first-player pieces that
        // would not give it a move.
        for (int kind = PAWN; kind <= ROOK; ++kind) {
            b.second[kind] = 0;
            if (!firstPlayerDropMatters(node, kind, checkRequired)) b.first[kind] = ANY_COUNT;
        }
    } else {
        // Proved: whatever the first player holds, and with any second-player hand when no drop could
        // be played.
        const bool canDrop = secondPlayerCanDrop(node);
        for (int kind = PAWN; kind <= ROOK; ++kind) {
            b.first[kind] = 0;
            if (!canDrop) b.second[kind] = ANY_COUNT;
        }
    }
    return b;
}

HandBounds depthLimitBounds(const Position& node) {
    HandBounds b;
    b.first.fill(ANY_COUNT);
    b.second.fill(0);
    if (node.sideToMove == GOTE) {
        // Proved within no ply only without a move: a board move stays whatever the hands, a drop
        // needs its piece.
        bool boardMove = false;
        for (int i = 0; i < node.childCount; ++i)
            if (!node.children[i].lastMove.isDrop()) boardMove = true;
        if (!boardMove && node.childCount > 0) b.second[kindOf(node.children[0].lastMove.piece)] = 1;
    }
    return b;
}

int16_t provedBounds(SearchContext& ctx, Position& n, int d, HandBounds& bounds) {
    const bool orNode = ctx.isOrNode(n);
    if (orNode) {
        // The quickest proved move, and among equals the one needing the fewest pieces.
        int bestLength = -1;
        HandBounds best;
        for (Position& c : std::span<Position>(n.children, n.childCount)) {
            if (!isProved(c)) continue;
            int length;
            HandBounds cb;
            if (!childProof(ctx, c, d - 1, length, cb)) continue;
            for (int kind = PAWN; kind <= ROOK; ++kind)
                cb.first[kind] = needBefore(cb.first[kind], handChange(n, c, SENTE, kind));
            if (bestLength < 0 || length < bestLength ||
                (length == bestLength && needTotal(cb) < needTotal(best))) {
                bestLength = length;
                best = cb;
            }
        }
        if (bestLength < 0) {
            bounds = exactBounds(n);
            return static_cast<int16_t>(d);
        }
        bounds = best;
        return static_cast<int16_t>(bestLength + 1);
    }
    // Every defence is needed: the most the first player needs, the least the second may hold.
    HandBounds b;
    b.first.fill(0);
    b.second.fill(ANY_COUNT);
    int longest = 0;
    for (Position& c : std::span<Position>(n.children, n.childCount)) {
        int length;
        HandBounds cb;
        if (!isProved(c) || !childProof(ctx, c, d - 1, length, cb)) {
            bounds = exactBounds(n);
            return static_cast<int16_t>(d);
        }
        longest = std::max(longest, length);
        for (int kind = PAWN; kind <= ROOK; ++kind) {
            b.first[kind] = std::max(b.first[kind], cb.first[kind]);
            b.second[kind] =
                std::min(b.second[kind], allowBefore(cb.second[kind], handChange(n, c, GOTE, kind)));
        }
    }
    // A kind the second player does not hold would bring new defences.
    if (secondPlayerCanDrop(n))
        for (int kind = PAWN; kind <= ROOK; ++kind)
            if (n.hand[GOTE + kind] == 0) b.second[kind] = 0;
    bounds = b;
    return static_cast<int16_t>(longest + 1);
}

void nonProofBounds(SearchContext& ctx, Position& n, int d, HandBounds& bounds) {
    // A disproof holds at any depth, and so must the children's results it rests on.
    const int childDepth = n.pn == PN_INFINITE ? NO_PLY : d - 1;
    if (ctx.isOrNode(n)) {
        // Every move fails: the least the first player may hold, the most the second must.
        HandBounds b;
        b.first.fill(ANY_COUNT);
        b.second.fill(0);
        for (Position& c : std::span<Position>(n.children, n.childCount)) {
            HandBounds cb;
            if (!childNonProof(ctx, c, childDepth, cb)) {
                bounds = exactBounds(n);
                return;
            }
            for (int kind = PAWN; kind <= ROOK; ++kind) {
                b.first[kind] =
                    std::min(b.first[kind], allowBefore(cb.first[kind], handChange(n, c, SENTE, kind)));
                b.second[kind] = std::max(b.second[kind], cb.second[kind]);
            }
        }
        // A kind the first player does not hold would bring new moves.
        for (int kind = PAWN; kind <= ROOK; ++kind)
            if (n.hand[SENTE + kind] == 0 && firstPlayerDropMatters(n, kind, ctx.rules.checkRequired))
                b.first[kind] = 0;
        bounds = b;
        return;
    }
    // One defence that holds is enough.
    for (Position& c : std::span<Position>(n.children, n.childCount)) {
        if (c.dn != 0) continue;
        HandBounds cb;
        if (!childNonProof(ctx, c, childDepth, cb)) continue;
        for (int kind = PAWN; kind <= ROOK; ++kind)
            cb.second[kind] = needBefore(cb.second[kind], handChange(n, c, GOTE, kind));
        bounds = cb;
        return;
    }
    bounds = exactBounds(n);
}

}  // namespace nagare
