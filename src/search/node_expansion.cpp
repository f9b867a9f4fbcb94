#include "search/node_expansion.h"

#include <algorithm>

#include "rules/attacks.h"

namespace nagare {

namespace {

// Keeps only moves of one half of a left-right symmetric board: those starting on files 1 to 4, and
// those starting on file 5 (or dropped) that land on files 1 to 5.
int keepSymmetricHalf(Move* moves, int count) {
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        const Move m = moves[i];
        const int fromFile = fileOf(m.from), toFile = fileOf(m.to);
        if ((!m.isDrop() && fromFile <= 4) || ((m.isDrop() || fromFile == 5) && toFile <= 5)) moves[kept++] = m;
    }
    return kept;
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

// Which moves the fairy move rule keeps: a predicate per move, given the whole list of candidates.
// Returns false for every move when the rule does not apply to this side.
class MoveRuleFilter {
public:
    MoveRuleFilter(int rule, Side mover, const Position& node, const Move* moves, int count)
        : rule_(rule), node_(node) {
        if (rule == MOVE_RULE_KINYOKU || rule == MOVE_RULE_GOYOKU) {
            active_ = true;
        } else if (mover == GOTE && (rule == MOVE_RULE_MAXI || rule == MOVE_RULE_MINI || rule == MOVE_RULE_CHOKU)) {
            active_ = true;
            best_ = rule == MOVE_RULE_MINI ? INT32_MAX : INT32_MIN;
            for (int i = 0; i < count; ++i) {
                int v = measure(moves[i]);
                best_ = rule == MOVE_RULE_MINI ? std::min(best_, v) : std::max(best_, v);
            }
        }
    }

    bool active() const { return active_; }

    bool keeps(Move m) const {
        switch (rule_) {
            case MOVE_RULE_KINYOKU: return node_.at(m.to) == EMPTY;  // 禁欲: never capture
            case MOVE_RULE_GOYOKU: return node_.at(m.to) != EMPTY;   // 強欲: capture when possible
            default: return measure(m) == best_;
        }
    }

private:
    int measure(Move m) const { return rule_ == MOVE_RULE_CHOKU ? kingStepDistance(m) : squaredDistance(m); }

    int rule_;
    const Position& node_;
    bool active_ = false;
    int best_ = 0;
};

// Applies the move rule to a move list in place; when it would keep nothing, all moves stay.
int applyMoveRule(const SearchContext& ctx, const Position& node, Move* moves, int count) {
    MoveRuleFilter filter(ctx.rules.moveRule, node.sideToMove, node, moves, count);
    if (!filter.active()) return count;
    int kept = 0;
    for (int i = 0; i < count; ++i)
        if (filter.keeps(moves[i])) ++kept;
    if (kept == 0) return count;
    int n = 0;
    for (int i = 0; i < count; ++i)
        if (filter.keeps(moves[i])) moves[n++] = moves[i];
    return n;
}

}  // namespace

int expandNode(SearchContext& ctx, Position& node) {
    Move* moves = ctx.moveBuffer;
    const int genre = ctx.rules.genre;
    const bool senteMoves = node.sideToMove == SENTE;
    const bool mustCheck = senteMoves && ctx.rules.checkRequired;
    int count;
    if (mustCheck) {
        // Stalemate goals and a 自玉 first player in check need every legal move.
        const bool allMoves = (isOwnKingGenre(genre) && inCheck(node, SENTE)) || (genre & GOAL_STALEMATE) != 0;
        count = allMoves ? generateAllMoves(node, moves, ctx.generation)
                         : generateCheckCandidates(node, moves, ctx.generation);
        if (count <= 0) return node.kingOf(SENTE) != 0 && inCheck(node, SENTE) ? NO_MOVES_SENTE_MATED : NO_MOVES_SENTE;
    } else {
        count = generateAllMoves(node, moves, ctx.generation);
        if (count <= 0) return count;
    }
    if (node.symmetric) count = keepSymmetricHalf(moves, count);
    // The check filter needs each move played, so the children are built first and those that do
    // not check are dropped; otherwise the move rule filters the moves before any child is built.
    if (!mustCheck) count = applyMoveRule(ctx, node, moves, count);

    NodeArena& arena = ctx.arena;
    Position* children = arena.take(count);
    int built = 0;
    for (int i = 0; i < count; ++i) {
        Position& child = makeChild(node, children[built], moves[i], ctx.nodeRules);
        if (mustCheck && !inCheck(child, GOTE)) continue;
        ++built;
    }
    if (mustCheck && built > 0 && ctx.rules.moveRule != MOVE_RULE_NONE) {
        int kept = built;
        for (int i = 0; i < built; ++i) moves[i] = children[i].lastMove;
        MoveRuleFilter filter(ctx.rules.moveRule, SENTE, node, moves, built);
        if (filter.active()) {
            int keptCount = 0;
            for (int i = 0; i < built; ++i)
                if (filter.keeps(moves[i])) ++keptCount;
            if (keptCount > 0) {
                kept = 0;
                for (int i = 0; i < built; ++i)
                    if (filter.keeps(moves[i])) {
                        if (kept != i) children[kept] = children[i];
                        ++kept;
                    }
            }
        }
        built = kept;
    }
    arena.giveBack(count - built);
    node.children = built > 0 ? children : nullptr;
    node.childCount = built;
    return built;
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
