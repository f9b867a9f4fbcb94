#include "search/proof_search.h"

#include <gtest/gtest.h>

#include <vector>

#include "../support/sfen.h"
#include "../support/solve_support.h"
#include "rules/notation.h"
#include "table/position_table.h"

namespace nagare {
namespace {

// A node with hand-made children, below a grandparent that can hold a killer move.
struct Family {
    Position grandparent{};
    Position node{};
    std::vector<Position> children;
    SearchContext ctx;

    Family(Side nodeSide, std::vector<std::pair<int32_t, int32_t>> numbers) {
        node.sideToMove = static_cast<uint8_t>(nodeSide);
        node.parent = &grandparent;
        node.pnThr = node.dnThr = PN_CAP;
        node.ply = 1;
        node.openPly = NO_PLY;
        children.resize(numbers.size());
        for (size_t i = 0; i < numbers.size(); ++i) {
            Position& c = children[i];
            c.pn = numbers[i].first;
            c.dn = numbers[i].second;
            c.pnThr = c.dnThr = PN_CAP;
            c.visits = 1;  // not fresh: nothing is probed
            c.effort = 1;
            c.treeSize = 1;
            c.parent = &node;
            c.ply = 2;
            c.openPly = NO_PLY;
            c.sideToMove = static_cast<uint8_t>(opponent(nodeSide));
            c.lastMove =
                makeBoardMove(0x20 + static_cast<int>(i), 0x30 + static_cast<int>(i), SENTE + GOLD, false);
        }
        node.children = children.data();
        node.childCount = static_cast<int32_t>(children.size());
    }

    Position* select(ChildSummary& s) { return selectChild(ctx, node, 0, s); }
};

// The checks of an OR node are not refuted one by one: its disproof number is not their sum, even
// where an AND node's proof number is.
TEST(SelectChild, OrNodeTakesTheSmallestProofNumberAndCountsFurtherDisproofsAsOne) {
    Family f(SENTE, {{5, 2}, {3, 4}, {7, 1}});
    ChildSummary s;
    f.ctx.rules.checkRequired = true;
    EXPECT_EQ(f.select(s), &f.children[1]);
    EXPECT_EQ(f.node.pn, 3);
    EXPECT_EQ(f.node.dn, 6);  // the largest plus the other open children: 4 + 3 - 1, not the sum 7
    EXPECT_EQ(s.best, 3);
    EXPECT_EQ(s.bestSecond, 5);
    EXPECT_EQ(s.other, 4);
    EXPECT_EQ(s.otherSecond, 2);
}

TEST(SelectChild, AndNodeSumsProofNumbersOnlyWhenChecksAreRequired) {
    Family f(GOTE, {{5, 1}, {2, 1}, {2, 1}});
    ChildSummary s;
    f.ctx.rules.checkRequired = true;
    f.select(s);
    EXPECT_EQ(f.node.pn, 9);  // the sum, which is safe
    EXPECT_EQ(f.node.dn, 1);
    f.ctx.rules.checkRequired = false;
    f.select(s);
    EXPECT_EQ(f.node.pn, 7);  // the largest plus the other open children: 5 + 3 - 1
}

TEST(SelectChild, DecidedChildrenDecideTheNode) {
    Family proved(SENTE, {{4, 4}, {0, PN_INFINITE}});
    ChildSummary s;
    proved.select(s);
    EXPECT_EQ(proved.node.pn, 0);
    EXPECT_EQ(proved.node.dn, PN_INFINITE);
    Family refuted(GOTE, {{4, 4}, {PN_INFINITE, 0}});
    refuted.select(s);
    EXPECT_EQ(refuted.node.dn, 0);
    EXPECT_EQ(refuted.node.pn, PN_INFINITE);
    Family none(SENTE, {});
    EXPECT_EQ(none.select(s), nullptr);
    EXPECT_EQ(none.node.pn, PN_INFINITE);
    EXPECT_EQ(none.node.dn, 0);
}

TEST(SelectChild, TiesGoToTheSmallerEffortThenTheKillerThenTheEarlierChild) {
    ChildSummary s;
    Family effort(SENTE, {{3, 2}, {3, 2}});
    effort.children[0].effort = 5;
    effort.children[1].effort = 2;
    EXPECT_EQ(effort.select(s), &effort.children[1]);

    Family killer(SENTE, {{3, 2}, {3, 2}});
    killer.grandparent.killer = killer.children[1].lastMove.packed();
    EXPECT_EQ(killer.select(s), &killer.children[1]);

    Family plain(SENTE, {{3, 2}, {3, 2}});
    EXPECT_EQ(plain.select(s), &plain.children[0]);
}

TEST(SelectChild, FutileInterpositionsWaitForTheRealDefences) {
    Family f(GOTE, {{2, 3}, {2, 1}, {2, 6}});
    f.ctx.futileDropTweak = true;
    f.children[1].futileDrop = 1;
    ChildSummary s;
    EXPECT_EQ(f.select(s), &f.children[0]);
    EXPECT_EQ(f.children[1].dn, 6);  // raised to the largest real defence
}

// Under hand dominance, futile drops on one square wait for the first of them: a defence of several
// pieces interposed on a square counts once in the node's numbers until that first one is decided.
TEST(SelectChild, InterpositionsOnOneSquareWaitForTheFirst) {
    PositionTable table;
    ASSERT_TRUE(table.createSlots(1021));
    for (bool lending : {false, true}) {
        Family f(GOTE, {{3, 2}, {3, 1}, {2, 4}, {4, 3}});
        f.ctx.table = &table;
        table.handDominance = lending;
        f.ctx.rules.checkRequired = true;
        f.children[0].lastMove = makeDrop(0x15, GOTE + PAWN);
        f.children[1].lastMove = makeDrop(0x15, GOTE + SILVER);
        f.children[3].lastMove = makeDrop(0x14, GOTE + GOLD);
        for (int i : {0, 1, 3}) f.children[i].futileDrop = 1;
        ChildSummary s;
        Position* chosen = f.select(s);
        if (!lending) {
            EXPECT_EQ(chosen, &f.children[1]);
            EXPECT_EQ(f.node.pn, 12);
            continue;
        }
        EXPECT_EQ(chosen, &f.children[0]);  // the silver waits behind the pawn
        EXPECT_EQ(f.node.pn, 9);
        EXPECT_EQ(f.node.dn, 2);
        f.children[0].pn = 0;
        f.children[0].dn = PN_INFINITE;
        EXPECT_EQ(f.select(s), &f.children[1]);  // the pawn is proved: the silver's turn
        EXPECT_EQ(f.node.pn, 9);
        f.children[0].pn = 3;
        f.children[0].dn = 2;
        f.children[1].futileDrop = 0;  // a silver the defence backs up is a real defence
        EXPECT_EQ(f.select(s), &f.children[1]);
        EXPECT_EQ(f.node.pn, 12);
    }
}

// A futile drop waiting behind an earlier open drop on its square is not looked up: it does not count
// until its turn, and its lookup would nearly always miss. It is looked up once the earlier drop is
// decided, and a refutation the table holds for it then decides the node.
TEST(SelectChild, AWaitingInterpositionIsLookedUpOnItsTurn) {
    PositionTable table;
    ASSERT_TRUE(table.createSlots(1021));
    table.handDominance = true;
    Family f(GOTE, {{1, 1}, {1, 1}, {1, 1}});
    f.ctx.table = &table;
    f.ctx.rules.checkRequired = true;
    f.children[0].lastMove = makeDrop(0x15, GOTE + PAWN);
    f.children[1].lastMove = makeDrop(0x15, GOTE + SILVER);
    for (size_t i = 0; i < f.children.size(); ++i) {
        Position& c = f.children[i];
        c.visits = 0;
        c.key = (uint64_t{0x9e3779b97f4a7c15} * (i + 1)) | (uint64_t{1} << 40);
        c.boardKey = c.key;
    }
    for (int i : {0, 1}) f.children[i].futileDrop = 1;
    Position refuted = f.children[1];
    refuted.pn = PN_INFINITE;
    refuted.dn = 0;
    ASSERT_NE(table.store(refuted, 0), nullptr);

    ChildSummary s;
    selectChild(f.ctx, f.node, 5, s);
    EXPECT_EQ(f.children[1].dn, 1);  // not looked up: the silver waits behind the pawn
    EXPECT_EQ(f.node.dn, 1);
    EXPECT_EQ(f.node.pn, 2);

    f.children[0].pn = 0;  // the pawn is proved: the silver's turn
    f.children[0].dn = PN_INFINITE;
    selectChild(f.ctx, f.node, 5, s);
    EXPECT_EQ(f.children[1].dn, 0);
    EXPECT_EQ(f.node.dn, 0);
}

// A fresh child the table did not know at the first look is found once a search elsewhere stores
// the result that decides the node through it: a refuted defence below an AND node, a proved check
// below an OR node.
TEST(SelectChild, AFreshChildDecidedLaterByATranspositionIsFound) {
    for (Side side : {GOTE, SENTE}) {
        PositionTable table;
        ASSERT_TRUE(table.createSlots(1021));
        Family f(side, {{1, 1}, {1, 1}, {1, 1}});
        f.ctx.table = &table;
        f.ctx.rules.checkRequired = true;
        for (size_t i = 0; i < f.children.size(); ++i) {
            f.children[i].visits = 0;
            f.children[i].key = (uint64_t{0x9e3779b97f4a7c15} * (i + 1)) | (uint64_t{1} << 40);
        }
        ChildSummary s;
        selectChild(f.ctx, f.node, 5, s);
        EXPECT_EQ(f.node.pn, side == GOTE ? 3 : 1) << int(side);
        EXPECT_EQ(f.node.dn, side == GOTE ? 1 : 3) << int(side);

        // Another line of the search stores a result of the same position as the last child.
        Position elsewhere = f.children[2];
        elsewhere.pn = side == GOTE ? PN_INFINITE : 0;
        elsewhere.dn = side == GOTE ? 0 : PN_INFINITE;
        ASSERT_NE(table.store(elsewhere, side == GOTE ? 0 : 3), nullptr);
        EXPECT_EQ(selectChild(f.ctx, f.node, 5, s), &f.children[2]) << int(side);
        EXPECT_EQ(side == GOTE ? f.node.dn : f.node.pn, 0) << int(side);
    }
}

// In the search for a shorter mate a defence the table does not know starts with the attacker's
// estimated number of checks after it as its disproof number, and the defence that leaves the fewest
// is tried first; the search for the stated length keeps every defence at one.
TEST(SelectChild, DefencesStartWithTheirEstimatedChecks) {
    PositionTable table;
    ASSERT_TRUE(table.createSlots(1021));
    Family f(GOTE, {{1, 1}, {1, 1}, {1, 1}});
    Position board = test::positionFromSfen("4k4/9/9/9/9/9/9/9/K8 w G 1");
    board.parent = f.node.parent;
    board.pnThr = board.dnThr = PN_CAP;
    board.ply = f.node.ply;
    board.openPly = NO_PLY;
    board.children = f.node.children;
    board.childCount = f.node.childCount;
    f.node = board;
    const char* defences[] = {"5a5b", "5a4a", "5a6b"};
    for (size_t i = 0; i < f.children.size(); ++i) {
        f.children[i].parent = &f.node;
        f.children[i].lastMove = parseMoveUsi(f.node, defences[i]);
        f.children[i].visits = 0;
        f.children[i].key = (uint64_t{0x9e3779b97f4a7c15} * (i + 1)) | (uint64_t{1} << 40);
    }
    f.ctx.table = &table;
    f.ctx.rules.checkRequired = true;
    f.ctx.phase = PHASE_SHORTER;
    ChildSummary s;
    // A gold in hand checks the king on 5b from six squares, on 4a from five, on 6b from six.
    EXPECT_EQ(selectChild(f.ctx, f.node, 5, s), &f.children[1]);
    EXPECT_EQ(f.children[0].dn, 6);
    EXPECT_EQ(f.children[1].dn, 5);
    EXPECT_EQ(f.children[2].dn, 6);
    EXPECT_EQ(f.node.dn, 5);

    // The search for the stated length keeps every defence at one.
    f.ctx.phase = PHASE_SOLVE;
    for (Position& c : f.children) {
        c.pn = c.dn = 1;
        c.visits = 0;
        c.tableMissed = 0;
    }
    table.clear();
    selectChild(f.ctx, f.node, 5, s);
    for (const Position& c : f.children) EXPECT_EQ(c.dn, 1);
}

struct ThresholdCase {
    Side side;
    std::vector<std::pair<int32_t, int32_t>> children;
    int32_t nodePnThr;
    int32_t expectedPnThr;
    int32_t expectedDnThr;
};

class ChildThresholds : public ::testing::TestWithParam<ThresholdCase> {};

TEST_P(ChildThresholds, FollowTheSecondBestChild) {
    const ThresholdCase& c = GetParam();
    Family f(c.side, c.children);
    f.node.pnThr = c.nodePnThr;
    ChildSummary s;
    Position* chosen = f.select(s);
    ASSERT_NE(chosen, nullptr);
    setChildThresholds(f.ctx, f.node, *chosen, s);
    EXPECT_EQ(chosen->pnThr, c.expectedPnThr);
    EXPECT_EQ(chosen->dnThr, c.expectedDnThr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChildThresholds,
    ::testing::Values(
        // OR node: second-best + best / 8 + 1 while the second best is below the node's own
        // threshold, which it may then pass; the node's threshold otherwise
        ThresholdCase{SENTE, {{3, 1}, {7, 1}}, 100, 8, PN_CAP},
        ThresholdCase{SENTE, {{3, 1}, {3, 1}}, 100, 4, PN_CAP},
        ThresholdCase{SENTE, {{20, 1}, {30, 1}}, 31, 33, PN_CAP},
        ThresholdCase{SENTE, {{20, 1}, {30, 1}}, 25, 25, PN_CAP},
        ThresholdCase{SENTE, {{5, 1}}, 40, 40, PN_CAP},
        // AND node: the disproof threshold follows the second-best defence; pn keeps the cap
        ThresholdCase{GOTE, {{1, 2}, {1, 9}}, PN_CAP, PN_CAP, 10},
        ThresholdCase{GOTE, {{4, 2}, {1, 9}}, 50, 50 - 5 + 4, 10}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(ChildThresholds, AreCappedAndFollowTheNodeBelowTheCap) {
    Family f(SENTE, {{3, 5}, {8, 2}});
    f.node.pnThr = 100;
    f.node.dnThr = 20;
    ChildSummary s;
    Position* chosen = f.select(s);
    setChildThresholds(f.ctx, f.node, *chosen, s);
    // dn threshold: the child's dn plus the node's slack, 5 + 20 - 6 (the node's dn is 5 + 2 - 1)
    EXPECT_EQ(chosen->dnThr, 19);
    EXPECT_EQ(chosen->pnThr, 9);  // 8 + 3 / 8 + 1
}

// At an AND node the chosen defence stops at the node's own disproof threshold, where the node
// returns anyway, even when the second-best defence lies beyond it.
TEST(ChildThresholds, StopAtTheAndNodesDisproofThreshold) {
    for (auto [nodeDnThr, expected] : {std::pair{6, 6}, std::pair{40, 10}}) {
        Family f(GOTE, {{1, 2}, {1, 9}});
        f.node.dnThr = nodeDnThr;
        ChildSummary s;
        Position* chosen = f.select(s);
        ASSERT_EQ(chosen, &f.children[0]);
        setChildThresholds(f.ctx, f.node, *chosen, s);
        EXPECT_EQ(chosen->dnThr, expected);  // 9 + 2 / 8 + 1 = 10 below the node's threshold
    }
}

// Searches a position with the given rules and returns the rig for inspection.
std::unique_ptr<test::SolveRig> searchPosition(const char* sfen, int genre, int depth, bool symmetry = false,
                                               int moveRule = MOVE_RULE_NONE) {
    auto rig = std::make_unique<test::SolveRig>();
    rig->problem.rules.genre = genre;
    rig->problem.rules.moveRule = moveRule;
    rig->problem.options.symmetry = symmetry;
    // 勝 and 最善ステイルメイト lift the check obligation
    rig->problem.rules.checkRequired = !(genre == GENRE_BEST_WIN || genre == GENRE_BEST_STALEMATE);
    EXPECT_TRUE(rig->loadSfen(sfen, depth));
    rig->search(depth);
    return rig;
}

TEST(Search, ADepthZeroNodeWithMovesIsABoundedNonProofForDepthZeroOnly) {
    auto rig = searchPosition("4k4/9/4P4/9/9/9/9/9/4K4 b G 1", GENRE_BEST_MATE, 0);
    EXPECT_EQ(rig->root.pn, PN_CAP);
    EXPECT_EQ(rig->root.dn, 0);
    Position probe = rig->root;
    TableEntry* e = rig->table.probeFinal(probe, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->depth, 0);
    EXPECT_EQ(rig->table.probeFinal(probe, 1), nullptr);
}

TEST(Search, ARootWithoutMovesIsDecidedAtOnce) {
    // The first player has nothing that checks: disproved and stored, the main loop never runs.
    auto rig = searchPosition("4k4/9/9/9/9/9/9/9/4K4 b - 1", GENRE_BEST_MATE, 5);
    EXPECT_EQ(rig->root.pn, PN_INFINITE);
    EXPECT_EQ(rig->ctx->searchedNodes, 1u);
    Position probe = rig->root;
    EXPECT_NE(rig->table.probeFinal(probe, 99), nullptr);
}

// Perpetual checks with a rook against a bare king: every line ends in a repetition. The branches
// are stored as loop entries under their paths, but the root, the ply the repetitions go back to,
// is stored as a plain non-proof.
TEST(Search, RepetitionsTaintTheBranchUntilTheRepeatedPly) {
    auto rig = searchPosition("8k/9/9/9/9/9/9/9/K6R1 b - 1", GENRE_BEST_MATE, 9);
    EXPECT_FALSE(isProved(rig->root));
    uint64_t loopEntries = 0;
    for (uint64_t i = 0; i < rig->table.tableSize; ++i)
        if (rig->table.entries[i].isUsed() && rig->table.entries[i].isLoop()) ++loopEntries;
    EXPECT_GT(loopEntries, 0u);
    EXPECT_EQ(rig->root.loopTainted, 0);
    Position probe = rig->root;
    TableEntry* e = rig->table.probeFinal(probe, 9);
    ASSERT_NE(e, nullptr);
    EXPECT_FALSE(e->isLoop());
}

struct GenreCase {
    const char* sfen;
    int genre;
    int depth;
    int moveRule;
    bool proved;
};

class GenreVerdicts : public ::testing::TestWithParam<GenreCase> {};

TEST_P(GenreVerdicts, Decide) {
    const GenreCase& c = GetParam();
    auto rig = searchPosition(c.sfen, c.genre, c.depth, false, c.moveRule);
    EXPECT_EQ(isProved(rig->root), c.proved);
}

// One-ply cases of the genres' corners.
INSTANTIATE_TEST_SUITE_P(
    Cases, GenreVerdicts,
    ::testing::Values(
        // 最善詰: a gold drop on 52 mates; without a checking move the first player is refuted
        GenreCase{"4k4/9/3G1G3/9/9/9/9/9/4K4 b G 1", GENRE_BEST_MATE, 1, MOVE_RULE_NONE, true},
        GenreCase{"4k4/9/9/9/9/9/9/9/4K4 b P 1", GENRE_BEST_MATE, 1, MOVE_RULE_NONE, false},
        // the second player without a move, not in check: only 最善勝 counts it
        GenreCase{"k8/2+R6/9/9/9/9/9/9/4K4 b R 1", GENRE_BEST_WIN, 1, MOVE_RULE_NONE, true},
        // 最善自玉詰 with the first player in check and no legal move: proved at once
        GenreCase{"4k4/9/9/9/9/9/9/3+rrg3/4K4 b - 1", GENRE_BEST_SELFMATE, 1, MOVE_RULE_NONE, true},
        GenreCase{"4k4/9/9/9/9/9/9/3+rrg3/4K4 b - 1", GENRE_BEST_MATE, 1, MOVE_RULE_NONE, false}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Search, PawnDropMateRuleCountsOnlyMatesByAPawnDrop) {
    // 打歩: the pawn drop on 12 mates (the gold guards it, the knight blocks 21); a gold drop on 12
    // would mate too, but is not a pawn.
    test::SolveRig rig;
    rig.problem.rules.pawnDropMate = true;
    ASSERT_TRUE(rig.loadSfen("7nk/9/7G1/9/9/9/9/9/K8 b P 1", 1));
    EXPECT_TRUE(rig.search(1).proved);
    test::SolveRig gold;
    gold.problem.rules.pawnDropMate = true;
    ASSERT_TRUE(gold.loadSfen("7nk/9/7G1/9/9/9/9/9/K8 b G 1", 1));
    EXPECT_FALSE(gold.search(1).proved);
}

// The same verdict and proof length with and without the symmetry option on symmetric positions.
TEST(Search, SymmetryDetectionKeepsTheVerdict) {
    const char* const positions[] = {
        "4k4/9/3G1G3/9/9/9/9/9/4K4 b G 1",
        "3gkg3/9/4P4/9/9/9/9/9/4K4 b GS 1",
        "3sks3/9/9/9/9/9/9/9/4K4 b 2G 1",
    };
    for (const char* sfen : positions) {
        for (int depth : {1, 3, 5}) {
            auto plain = searchPosition(sfen, GENRE_BEST_MATE, depth, false);
            auto symmetric = searchPosition(sfen, GENRE_BEST_MATE, depth, true);
            EXPECT_EQ(isProved(plain->root), isProved(symmetric->root)) << sfen << " depth " << depth;
        }
    }
}

}  // namespace
}  // namespace nagare

namespace nagare {
namespace {

// 最善自玉詰: the bishop promotes with check, the king must take it, and the lance then mates the
// first player's king. The defence's own proof (its only reply mated at once) is one ply long, so the
// root's proof is two plies, not the six the search was given.
TEST(Search, AProofOfADefenceMatedAtOnceIsStoredWithItsTrueLength) {
    const char* sfen = "8l/8k/5Bg2/8K/9/6s2/9/9/9 b - 1";
    test::SolveRig rig;
    rig.problem.rules.genre = GENRE_BEST_SELFMATE;
    ASSERT_TRUE(rig.loadSfen(sfen, 6));
    const test::Solved s = rig.search(6);
    ASSERT_TRUE(s.proved);
    EXPECT_EQ(s.proofLength, 2);
}

}  // namespace
}  // namespace nagare
