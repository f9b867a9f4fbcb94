#include "solution/solution_lines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "../support/real_problems.h"
#include "../support/sfen.h"
#include "../support/solve_support.h"
#include "../table/table_test_support.h"
#include "rules/line_replay.h"
#include "rules/move_generation.h"
#include "search/node_expansion.h"

namespace nagare {
namespace {

MoveLine extractOnLargeStack(test::SolveRig& rig, int length) {
    MoveLine line;
    platform::runWithLargeStack([&] { line = extractLine(*rig.ctx, rig.root, length); });
    return line;
}

// The proof length the table holds for each child of `node`, in expansion order (-1: none).
std::vector<int> childProofLengths(test::SolveRig& rig, Position& node, std::vector<Move>& moves) {
    SearchContext& ctx = *rig.ctx;
    NodeArena::Mark mark = ctx.arena.mark();
    expandNode(ctx, node);
    std::vector<int> depths;
    for (int i = 0; i < node.childCount; ++i) {
        TableEntry* e = rig.table.probeProven(node.children[i]);
        depths.push_back(e != nullptr ? e->depth : -1);
        moves.push_back(node.children[i].lastMove);
    }
    ctx.arena.release(mark);
    node.children = nullptr;
    node.childCount = 0;
    return depths;
}

// On every real problem: the line has the proof's length and replays; at each ply the attacker plays
// a quickest mate and the defender a longest defence, the last in expansion order among equals.
TEST(ExtractLine, ChoosesTheQuickestMateAgainstTheLongestDefence) {
    for (const auto& p : test::indexedProblems("short")) {
        test::SolveRig rig;
        ASSERT_TRUE(rig.load(p.path));
        const int length = rig.problem.record.length;
        ASSERT_TRUE(rig.search(length).proved) << p.path;
        MoveLine line = extractOnLargeStack(rig, length);
        ASSERT_EQ(static_cast<int>(line.size()), length) << p.path;
        EXPECT_EQ(replayLine(rig.root, line, rig.problem.rules), "ok") << p.path;
        Position node = rig.root;
        for (size_t i = 0; i < line.size(); ++i) {
            std::vector<Move> moves;
            std::vector<int> depths = childProofLengths(rig, node, moves);
            const int remaining = length - static_cast<int>(i) - 1;
            int best = -1;
            size_t lastBest = 0;
            const bool orNode = rig.ctx->isOrNode(node);
            for (size_t k = 0; k < depths.size(); ++k) {
                if (depths[k] < 0 || depths[k] > remaining) continue;
                if (best < 0 || (orNode ? depths[k] <= best : depths[k] >= best)) {
                    best = depths[k];
                    lastBest = k;
                }
            }
            ASSERT_GE(best, 0) << p.path << " ply " << i;
            EXPECT_EQ(moves[lastBest], line[i]) << p.path << " ply " << i;
            Position child{};
            makeChild(node, child, line[i], rig.ctx->nodeRules);
            child.parent = nullptr;
            node = child;
        }
    }
}

TEST(ExtractLine, LengthZeroGivesTheFirstMoveAndAMateInOneGivesOneMove) {
    test::SolveRig rig;
    ASSERT_TRUE(rig.loadSfen("4k4/9/3G1G3/9/9/9/9/9/4K4 b G 1", 1));
    ASSERT_TRUE(rig.search(1).proved);
    MoveLine one = extractOnLargeStack(rig, 1);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(replayLine(rig.root, one, rig.problem.rules), "ok");
    MoveLine zero = extractOnLargeStack(rig, 0);
    ASSERT_EQ(zero.size(), 1u);
}

TEST(ExtractLine, SearchesAgainWhenTheProofWasLost) {
    const std::string path = std::string(NAGARE_TEST_DATA) + "/problems/short/mate11-000-000.kif";
    test::SolveRig rig;
    ASSERT_TRUE(rig.load(path));
    ASSERT_TRUE(rig.search(11).proved);
    rig.table.clear();  // every proof gone
    MoveLine line = extractOnLargeStack(rig, 11);
    ASSERT_EQ(line.size(), 11u);
    EXPECT_EQ(replayLine(rig.root, line, rig.problem.rules), "ok");
}

void makeTombstone(PositionTable& table, TableEntry& e) {
    e = nagare::testing::TOMBSTONE;
    --table.usedCount;
}

// A proof length in the table that the line read below it disproves is corrected, and the choice
// made again. When the correction finds no slot (every probe a store walks holds another proof) the
// table keeps the wrong length: the extraction must still end. Here the first move's proof claims 4
// plies and lies beyond the probes of a store, as in a table restored from a checkpoint.
TEST(ExtractLine, EndsWhenTheCorrectedLengthCannotBeStored) {
    const std::string path = std::string(NAGARE_TEST_DATA) + "/problems/short/mate3-000-000.kif";
    test::SolveRig rig;
    ASSERT_TRUE(rig.load(path));
    ASSERT_TRUE(rig.search(3).proved);
    const MoveLine solution = extractOnLargeStack(rig, 3);
    ASSERT_EQ(solution.size(), 3u);

    SearchContext& ctx = *rig.ctx;
    PositionTable& table = rig.table;
    uint64_t key = 0;
    NodeArena::Mark mark = ctx.arena.mark();
    expandNode(ctx, rig.root);
    for (int k = 0; k < rig.root.childCount; ++k) {
        const Position& c = rig.root.children[k];
        if (c.lastMove == solution[0]) key = c.key;
        if (TableEntry* e = table.probeProven(c)) makeTombstone(table, *e);
    }
    ctx.arena.release(mark);
    rig.root.children = nullptr;
    rig.root.childCount = 0;
    ASSERT_NE(key, 0u);
    const uint32_t keyMid = static_cast<uint32_t>(key >> 16);
    const uint16_t keyHigh = static_cast<uint16_t>(key >> 48);
    const uint8_t stamp = static_cast<uint8_t>(table.generation << TableEntry::GENERATION_SHIFT);
    for (int i = 0; i < TABLE_STORE_PROBES; ++i) {
        TableEntry& slot = table.entries[nagare::testing::probeSlot(key, i, table.tableSize)];
        ASSERT_TRUE(slot.isEmpty()) << "probe " << i;
        slot = TableEntry{0, PN_INFINITE, keyMid ^ (0x5a5a0000u + i), keyHigh, 1, NO_PLY, 0, stamp};
    }
    table.entries[nagare::testing::probeSlot(key, TABLE_STORE_PROBES, table.tableSize)] =
        TableEntry{0, PN_INFINITE, keyMid, keyHigh, 4, NO_PLY, 0, stamp};
    table.provenProbeMax = TABLE_STORE_PROBES;

    const MoveLine line = extractOnLargeStack(rig, 5);
    EXPECT_EQ(line, solution);
}

TEST(ExtractLine, TheGivenSequenceSteersAmongEqualProofs) {
    // The gold drop on 52 and either gold moving to 52 all mate at once.
    test::SolveRig rig;
    ASSERT_TRUE(rig.loadSfen("4k4/9/3G1G3/9/9/9/9/9/4K4 b G 1", 1));
    ASSERT_TRUE(rig.search(1).proved);
    const Move mates[] = {makeBoardMove(0x43, 0x52, SENTE + GOLD, false),
                          makeBoardMove(0x63, 0x52, SENTE + GOLD, false), makeDrop(0x52, SENTE + GOLD)};
    for (Move m : mates) {  // make sure the table holds every one of the equal proofs
        Position child{};
        makeChild(rig.root, child, m, rig.ctx->nodeRules);
        child.pn = 0;
        child.dn = PN_INFINITE;
        rig.table.store(child, 0);
    }
    // Unsteered, the last of the equals in generation order: the drop.
    MoveLine plain = extractOnLargeStack(rig, 1);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(plain[0], mates[2]);
    rig.ctx->givenLineMode = true;
    rig.ctx->inputLine = {mates[1]};
    MoveLine steered = extractOnLargeStack(rig, 1);
    ASSERT_EQ(steered.size(), 1u);
    EXPECT_EQ(steered[0], mates[1]);
}

TEST(ProtectLine, ProtectsTheLineAndItsDefencesButNoShorterProofs) {
    const std::string path = std::string(NAGARE_TEST_DATA) + "/problems/short/mate7-000-000.kif";
    test::SolveRig rig;
    ASSERT_TRUE(rig.load(path));
    ASSERT_TRUE(rig.search(7).proved);
    MoveLine line = extractOnLargeStack(rig, 7);
    ASSERT_EQ(line.size(), 7u);
    protectLine(*rig.ctx, rig.root, line);
    TableEntry* root = rig.table.probeProven(rig.root);
    ASSERT_NE(root, nullptr);
    EXPECT_TRUE(root->isProtected());
    // Walk the line: every proof at least as long as the rest is protected; shorter ones are not.
    Position node = rig.root;
    for (size_t i = 0; i < line.size(); ++i) {
        std::vector<Move> moves;
        const int rest = static_cast<int>(line.size() - i) - 1;
        SearchContext& ctx = *rig.ctx;
        NodeArena::Mark mark = ctx.arena.mark();
        expandNode(ctx, node);
        for (int k = 0; k < node.childCount; ++k) {
            Position& c = node.children[k];
            TableEntry* e = rig.table.probeProven(c);
            if (e == nullptr) continue;
            const bool covered = ctx.isOrNode(node) ? c.lastMove == line[i] : true;
            if (covered) {
                EXPECT_EQ(e->isProtected(), e->depth >= rest) << "ply " << i << " child " << k;
            }
        }
        ctx.arena.release(mark);
        Position child{};
        makeChild(node, child, line[i], ctx.nodeRules);
        child.parent = nullptr;
        node = child;
    }
}

TEST(PrintLine, TenMovesALineEndingWithTheCount) {
    Position p = test::positionFromSfen(test::STARTING_POSITION);
    // Ten moves of a quiet opening, then three more.
    const char* const usi[] = {"7g7f", "3c3d", "2g2f", "8c8d", "2f2e", "8d8e", "6i7h",
                               "4a3b", "2e2d", "2c2d", "2h2d", "8e8f", "8g8f"};
    MoveLine moves;
    Position q = p;
    for (const char* m : usi) {
        const Square from = makeSquare(m[0] - '0', m[1] - 'a' + 1),
                     to = makeSquare(m[2] - '0', m[3] - 'a' + 1);
        Move move = makeBoardMove(from, to, q.at(from), false);
        moves.push_back(move);
        makeMove(q, move);
    }
    MoveLine ten(moves.begin(), moves.begin() + 10);
    std::string text = formatLine(p, ten);
    EXPECT_EQ(text.substr(0, 1), "\n");
    EXPECT_NE(text.find("76歩 34歩 26歩 84歩 25歩 85歩 78金 32金 24歩 同歩 \nまで 10手\n"), std::string::npos)
        << text;
    std::string thirteen = formatLine(p, moves);
    EXPECT_NE(thirteen.find("同歩 \n同飛 86歩 同歩 まで 13手\n"), std::string::npos) << thirteen;
}

TEST(NonMateLine, ShowsALegalDefenceWhenTheRootIsNotProved) {
    const std::string path = std::string(NAGARE_TEST_DATA) + "/problems/short/mate11-000-001.kif";
    test::SolveRig rig;
    ASSERT_TRUE(rig.load(path));
    ASSERT_FALSE(rig.search(9).proved);
    MoveLine line;
    platform::runWithLargeStack([&] { line = nonMateLine(*rig.ctx, rig.root, 9); });
    ASSERT_FALSE(line.empty());
    EXPECT_LE(line.size(), 10u);  // nine plies and the first move below the last
    Position p = rig.root;
    Move buffer[MOVE_BUFFER_SIZE];
    for (Move m : line) {
        const int n = generateAllMoves(p, buffer, rig.ctx->generation);
        ASSERT_GT(n, 0);
        EXPECT_NE(std::find(buffer, buffer + n, m), buffer + n);
        makeMove(p, m);
    }
}

}  // namespace
}  // namespace nagare
