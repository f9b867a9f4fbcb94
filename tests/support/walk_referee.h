// Checks what the solution walk reported against the independent referee: the verified line is a
// shortest solution, its defences hold out as long as it says, and at every ply exactly the
// alternatives that reach the goal within the remaining plies are reported.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "reference_search.h"
#include "rules/line_replay.h"
#include "rules/notation.h"

namespace nagare::test {

// A finding as the walk reported it; `kind` is "non-unique", "cook" or "detour".
struct ReportedFinding {
    int ply;
    std::string move;  // USI
    std::string kind;
};

struct WalkRules {
    RuleSet rules;
    bool cookCheck = false;  // 余詰検討
    int cookDepth = 0;
};

inline Position playedFrom(const Position& p, Move m) {
    Position q = p;
    makeMove(q, m);
    return q;
}

// `line` is the line the walk returned for a problem proved within its stated length.
inline void expectWalkAgreesWithReferee(const Position& root, const WalkRules& walk,
                                        const std::vector<Move>& line,
                                        const std::vector<ReportedFinding>& findings) {
    ReferenceGame game(walk.rules);
    std::map<std::pair<int, std::string>, std::string> reported;  // kind by ply and move
    for (const ReportedFinding& f : findings)
        EXPECT_TRUE(reported.emplace(std::pair{f.ply, f.move}, f.kind).second)
            << "reported twice: " << f.ply << " " << f.move;

    // The line is a shortest solution.
    const int length = static_cast<int>(line.size());
    ASSERT_EQ(replayLine(root, line, walk.rules), "ok");
    EXPECT_TRUE(game.forces(root, length));
    EXPECT_FALSE(length >= 2 && game.forces(root, length - 2)) << "a shorter solution exists";

    Position node = root;
    for (int i = 0; i < length; ++i) {
        const int e = length - i, ply = node.ply + 1;
        const Move m = line[i];
        bool goal = false;
        const std::vector<Move> moves = game.usableMoves(node, goal);
        ASSERT_NE(std::find(moves.begin(), moves.end(), m), moves.end()) << "ply " << ply;
        const bool orNode = node.sideToMove == game.orSide();
        // 変別: the line's own defence may not fall sooner than it says while another holds out.
        if (!orNode && e > 3) {
            bool anotherHolds = false;
            for (Move w : moves)
                if (w != m && !game.forces(playedFrom(node, w), e - 3)) anotherHolds = true;
            int j = e - 3;
            if (walk.cookCheck && walk.cookDepth <= e - 2) j = walk.cookDepth - 1;
            if (anotherHolds) {
                EXPECT_FALSE(game.forces(playedFrom(node, m), j))
                    << "the defence of ply " << ply << " falls sooner";
            }
        }
        // An alternative attack mates within the plies left to the line (or, with 余詰検討, within
        // cookDepth plies from the root); an alternative defence is not mated within e - 3 plies, and
        // with two plies or fewer left any defence is as good as the line's.
        if (moves.size() >= 2) {
            for (Move w : moves) {
                if (w == m) continue;
                const Position child = playedFrom(node, w);
                bool expected;
                if (orNode) {
                    int depth = e - 1;
                    if (walk.cookCheck && walk.cookDepth >= e) depth = std::max(walk.cookDepth - ply, e - 1);
                    expected = game.forces(child, depth);
                } else {
                    expected = e <= 2 || !game.forces(child, e - 3);
                }
                const auto it = reported.find({ply, formatMoveUsi(w)});
                const bool found = it != reported.end();
                EXPECT_EQ(found, expected) << "ply " << ply << " " << formatMoveUsi(w)
                                           << (orNode ? " (attack)" : " (defence)") << " e=" << e;
                if (!found) continue;
                if (orNode && walk.cookCheck)
                    EXPECT_TRUE(it->second == "cook" || it->second == "detour") << it->second;
                else
                    EXPECT_EQ(it->second, "non-unique");
                reported.erase(it);
            }
        }
        node = playedFrom(node, m);
    }
    for (const auto& [where, kind] : reported)
        ADD_FAILURE() << "reported but no alternative: " << where.first << " " << where.second << " " << kind;
}

}  // namespace nagare::test
