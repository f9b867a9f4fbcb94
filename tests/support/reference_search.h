// A slow, independent referee for tests: which moves a side may use under the genre's rules, and
// whether the side that wants the goal can force it within a number of plies, by plain minimax over
// the reference generator's legal moves. Repetitions need no care: a goal forced within d plies is
// forced without coming back to a position already on the way.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "reference_rules.h"
#include "rules/rule_set.h"

namespace nagare::test {

class ReferenceGame {
  public:
    explicit ReferenceGame(const RuleSet& rules) : rules_(rules) {}

    // The side that wants the goal: the first player under 最善, the second under 最悪.
    Side orSide() const { return playOf(rules_.genre) == PLAY_BEST ? SENTE : GOTE; }

    // The moves the side to move may use. Empty when there is none; then `goal` tells whether the
    // position is the goal of the genre.
    std::vector<Move> usableMoves(const Position& p, bool& goal) const {
        goal = false;
        const Side side = p.sideToMove;
        const std::vector<Move> legal = slowLegalMoves(p, rules_.pawnDropMate);
        if (legal.empty()) {
            const bool mated = kingAttacked(p, side);  // no king: no check, so stalemated
            const Side target = isOwnKingGenre(rules_.genre) ? SENTE : GOTE;
            const int goalPart = rules_.genre & GOAL_MASK;
            goal = side == target && (mated ? (goalPart & GOAL_MATE) != 0 : (goalPart & GOAL_STALEMATE) != 0);
            // 打歩: only a mate (or stalemate) given by the first player's pawn drop counts.
            if (rules_.pawnDropMate && !(p.lastMove.isDrop() && p.lastMove.piece == SENTE + PAWN))
                goal = false;
            return {};
        }
        std::vector<Move> moves;
        for (Move m : legal) {
            if (side == SENTE && rules_.checkRequired) {
                Position q = p;
                makeMove(q, m);
                if (!kingAttacked(q, GOTE)) continue;  // the first player must give check
            }
            moves.push_back(m);
        }
        return applyMoveRule(p, moves);
    }

    // Whether the side that wants the goal forces it within `depth` plies from `p`.
    bool forces(const Position& p, int depth) {
        const uint64_t key = memoKey(p);
        auto known = memo_.find(key);
        if (known != memo_.end()) {
            if (depth >= known->second.provedFrom) return true;
            if (depth <= known->second.failsUpTo) return false;
        }
        ++nodes_;
        bool goal = false;
        const std::vector<Move> moves = usableMoves(p, goal);
        bool result;
        if (moves.empty()) {
            result = goal;
        } else if (depth <= 0) {
            result = false;
        } else {
            const bool orNode = p.sideToMove == orSide();
            result = !orNode;
            for (Move m : moves) {
                Position q = p;
                makeMove(q, m);
                if (forces(q, depth - 1) == orNode) {
                    result = orNode;
                    break;
                }
            }
        }
        Bounds& b = memo_[key];
        // A goal forced within d plies is forced within any longer number of plies too.
        if (result)
            b.provedFrom = std::min(b.provedFrom, moves.empty() ? 0 : depth);
        else
            b.failsUpTo = std::max(b.failsUpTo, moves.empty() ? INT32_MAX : depth);
        return result;
    }

    // The fewest plies within which the goal is forced, trying up to `limit`; -1 when it is not.
    int distance(const Position& p, int limit) {
        for (int d = 0; d <= limit; ++d)
            if (forces(p, d)) return d;
        return -1;
    }

    uint64_t nodes() const { return nodes_; }

  private:
    struct Bounds {
        int provedFrom = INT32_MAX;  // forced within this many plies or more
        int failsUpTo = -1;          // not forced within this many plies or fewer
    };

    // Under 打歩 a position without moves is judged by the move that led to it.
    uint64_t memoKey(const Position& p) const {
        constexpr uint64_t PAWN_DROP_SALT = 0x9e3779b97f4a7c15ull;
        const bool pawnDrop = p.lastMove.isDrop() && p.lastMove.piece == SENTE + PAWN;
        return rules_.pawnDropMate && pawnDrop ? p.key ^ PAWN_DROP_SALT : p.key;
    }

    // The fairy move rules: 禁欲 (never capture) and 強欲 (capture when possible) for both sides;
    // マキシ, ミニ and 長駆 for the second player, who must play its longest, shortest or farthest
    // moves. A rule that would leave no move leaves them all.
    std::vector<Move> applyMoveRule(const Position& p, const std::vector<Move>& moves) const {
        const int rule = rules_.moveRule;
        if (rule == MOVE_RULE_NONE || moves.empty()) return moves;
        const bool secondOnly = rule == MOVE_RULE_MAXI || rule == MOVE_RULE_MINI || rule == MOVE_RULE_CHOKU;
        if (secondOnly && p.sideToMove != GOTE) return moves;
        auto distance = [rule](Move m) {
            if (m.isDrop()) return 1;
            const int df = std::abs(fileOf(m.from) - fileOf(m.to)),
                      dr = std::abs(rankOf(m.from) - rankOf(m.to));
            return rule == MOVE_RULE_CHOKU ? std::max(df, dr) : df * df + dr * dr;
        };
        int wanted = distance(moves.front());
        for (Move m : moves)
            wanted = rule == MOVE_RULE_MINI ? std::min(wanted, distance(m)) : std::max(wanted, distance(m));
        std::vector<Move> kept;
        for (Move m : moves) {
            const bool capture = p.at(m.to) != EMPTY;
            const bool keep = rule == MOVE_RULE_KINYOKU  ? !capture
                              : rule == MOVE_RULE_GOYOKU ? capture
                                                         : distance(m) == wanted;
            if (keep) kept.push_back(m);
        }
        return kept.empty() ? moves : kept;
    }

    RuleSet rules_;
    std::unordered_map<uint64_t, Bounds> memo_;
    uint64_t nodes_ = 0;
};

}  // namespace nagare::test
