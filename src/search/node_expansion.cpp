#include "search/node_expansion.h"

#include <algorithm>

#include "rules/attacks.h"
#include "table/position_table.h"

namespace nagare {

namespace {

// Keeps only moves of one half of a left-right symmetric board: those starting on files 1 to 4, and
// those starting on file 5 (or dropped) that land on files 1 to 5.
int keepSymmetricHalf(Move* moves, int count) {
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const Move m = moves[i];
        const int fromFile = fileOf(m.from), toFile = fileOf(m.to);
        if ((!m.isDrop() && fromFile <= 4) || ((m.isDrop() || fromFile == 5) && toFile <= 5))
            moves[kept++] = m;
    }
    return kept;
}

// Keeps, in place and in order, the moves that give check; returns how many.
int keepChecks(const Position& node, Move* moves, int count) {
    int checks = 0;
    for (int i = 0; i < count; ++i)
        if (givesCheck(node, moves[i])) moves[checks++] = moves[i];
    return checks;
}

int squaredDistance(Move m) {
    if (m.isDrop()) return 1;
    int df = fileOf(m.from) - fileOf(m.to), dr = rankOf(m.from) - rankOf(m.to);
    return df * df + dr * dr;
}

int kingStepDistance(Move m) {
    if (m.isDrop()) return 1;
    return std::max(std::abs(fileOf(m.from) - fileOf(m.to)), std::abs(rankOf(m.from) - rankOf(m.to)));
}

// The fairy move rules: 禁欲 and 強欲 for both sides, マキシ, ミニ and 長駆 for the second player only.
// Applied in place; when the rule would keep no move, every move stays.
int applyMoveRule(const SearchContext& ctx, const Position& node, Move* moves, int count) {
    const int rule = ctx.rules.moveRule;
    const bool secondPlayerRule = rule == MOVE_RULE_MAXI || rule == MOVE_RULE_MINI || rule == MOVE_RULE_CHOKU;
    if (rule == MOVE_RULE_NONE || (secondPlayerRule && node.sideToMove != GOTE)) return count;
    auto measure = [rule](Move m) {
        return rule == MOVE_RULE_CHOKU ? kingStepDistance(m) : squaredDistance(m);
    };
    int best = 0;
    if (secondPlayerRule) {
        best = measure(moves[0]);
        for (int i = 1; i < count; ++i)
            best = rule == MOVE_RULE_MINI ? std::min(best, measure(moves[i]))
                                          : std::max(best, measure(moves[i]));
    }
    auto keeps = [&](Move m) {
        if (rule == MOVE_RULE_KINYOKU) return node.at(m.to) == EMPTY;  // never capture
        if (rule == MOVE_RULE_GOYOKU) return node.at(m.to) != EMPTY;   // capture when possible
        return measure(m) == best;
    };
    int kept = 0;
    for (int i = 0; i < count; ++i)
        if (keeps(moves[i])) ++kept;
    if (kept == 0) return count;
    int n = 0;
    for (int i = 0; i < count; ++i)
        if (keeps(moves[i])) moves[n++] = moves[i];
    return n;
}

}  // namespace

int expandNode(SearchContext& ctx, Position& node) {
    if (node.unbuilt) buildChild(node, ctx.nodeRules);
    Move* moves = ctx.moveBuffer;
    const int genre = ctx.rules.genre;
    const bool senteMoves = node.sideToMove == SENTE;
    const bool mustCheck = senteMoves && ctx.rules.checkRequired;
    int count;
    if (mustCheck) {
        // Stalemate goals and a 自玉 first player in check need every legal move.
        const bool allMoves =
            (isOwnKingGenre(genre) && inCheck(node, SENTE)) || (genre & GOAL_STALEMATE) != 0;
        bool anyMove = true;
        if (allMoves) {
            count = generateAllMoves(node, moves, ctx.generation);
            anyMove = count > 0;
            if (anyMove) count = keepChecks(node, moves, count);
        } else {
            count = generateChecks(node, moves, anyMove, ctx.generation);
        }
        if (count < 0 || !anyMove)
            return node.kingOf(SENTE) != 0 && inCheck(node, SENTE) ? NO_MOVES_SENTE_MATED : NO_MOVES_SENTE;
        if (count == 0) return NO_CHECKING_MOVE;
    } else {
        count = generateAllMoves(node, moves, ctx.generation);
        if (count <= 0) return count;
    }
    if (node.symmetric) count = keepSymmetricHalf(moves, count);
    count = applyMoveRule(ctx, node, moves, count);

    // The search probes every new child next: the table's memory is fetched while the children are
    // built, from the keys they are built with.
    MoveKeys* keys = ctx.moveKeys;
    for (int i = 0; i < count; ++i) keys[i] = keysAfterMove(node, moves[i]);
    if (ctx.table != nullptr)
        for (int i = 0; i < count; ++i) ctx.table->prefetchChild(node, keys[i]);
    Position* children = ctx.arena.take(count);
    // The second player's replies are built only when the search enters them: most are looked up
    // in the table and never entered. The first player's checks are built at once, since the
    // mate-in-one pre-check generates the replies of each.
    if (node.sideToMove == GOTE)
        for (int i = 0; i < count; ++i) makeUnbuiltChild(node, children[i], moves[i], keys[i], ctx.nodeRules);
    else
        for (int i = 0; i < count; ++i) makeChild(node, children[i], moves[i], keys[i], ctx.nodeRules);
    // Where the table keeps a bit for each used slot, a child's slot is fetched only when its bit,
    // fetched above, says that something may be stored there.
    if (ctx.table != nullptr)
        for (int i = 0; i < count; ++i) ctx.table->prefetchChildSlot(keys[i]);
    node.children = children;
    node.childCount = count;
    return count;
}

Verdict judgeNoMoves(const SearchContext& ctx, const Position& node, int code) {
    if (code > 0) return Verdict::HAS_MOVES;
    const int genre = ctx.rules.genre;
    const int goal = genre & GOAL_MASK;
    const int king = genre & KING_MASK;
    if (node.sideToMove == SENTE) {
        if (code == NO_MOVES_SENTE_MATED)
            return king == KING_OWN && goal == GOAL_MATE ? Verdict::PROVED : Verdict::DISPROVED;
        if (code == NO_MOVES_SENTE)
            return king == KING_OWN && goal == GOAL_STALEMATE ? Verdict::PROVED : Verdict::DISPROVED;
        return Verdict::DISPROVED;  // moves exist, none gives the required check
    }
    // 打歩: the goal counts only when the first player's pawn was just dropped.
    if (ctx.rules.pawnDropMate && !(node.lastMove.isDrop() && node.lastMove.piece == SENTE + PAWN))
        return Verdict::DISPROVED;
    if (code == 0) return (goal & GOAL_MATE) && king == KING_DEFENDER ? Verdict::PROVED : Verdict::DISPROVED;
    return (goal & GOAL_STALEMATE) && king == KING_DEFENDER ? Verdict::PROVED : Verdict::DISPROVED;
}

}  // namespace nagare
