// Lending results across hands: where it is sound, the same verdicts and lengths as exact matching;
// where it is not, positions that show why, and exact matching kept.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/real_problems.h"
#include "../support/sfen.h"
#include "../support/solve_support.h"
#include "rules/line_replay.h"
#include "search/proof_pieces.h"
#include "solution/solution_lines.h"

namespace nagare {
namespace {

RuleSet rulesOf(int genre, bool checkRequired = true, int moveRule = MOVE_RULE_NONE, bool pawnDrop = false) {
    RuleSet r;
    r.genre = genre;
    r.checkRequired = checkRequired;
    r.moveRule = moveRule;
    r.pawnDropMate = pawnDrop;
    return r;
}

// A position from SFEN under the given rules, with its table and context.
struct PositionRig : test::SolveRig {
    PositionRig(const std::string& sfen, const RuleSet& rules, int depth) {
        problem.rules = rules;
        loadSfen(sfen, depth);
    }
};

TEST(HandDominance, AppliesOnlyWhereAnExtraPieceInHandNeverHurtsItsOwner) {
    struct Case {
        RuleSet rules;
        bool applies;
    };
    const std::vector<Case> cases = {
        {rulesOf(GENRE_BEST_MATE), true},
        {rulesOf(GENRE_BEST_MATE, true, MOVE_RULE_GOYOKU), true},
        {rulesOf(GENRE_BEST_MATE, true, MOVE_RULE_MAXI), true},
        {rulesOf(GENRE_BEST_MATE, true, MOVE_RULE_CHOKU), true},
        {rulesOf(GENRE_BEST_WIN, false), true},
        {rulesOf(GENRE_BEST_MATE, false), false},  // 非王手可: a short defender may be stalemated
        {rulesOf(GENRE_BEST_MATE, true, MOVE_RULE_KINYOKU), false},
        {rulesOf(GENRE_BEST_MATE, true, MOVE_RULE_MINI), false},
        {rulesOf(GENRE_BEST_MATE, true, MOVE_RULE_NONE, true), false},  // 打歩
        {rulesOf(GENRE_WORST_MATE), false},
        {rulesOf(GENRE_BEST_SELFMATE), false},
        {rulesOf(GENRE_WORST_SELFMATE), false},
        {rulesOf(GENRE_BEST_STALEMATE, false), false},
        {rulesOf(GENRE_BEST_SELF_STALEMATE), false},
        {rulesOf(GENRE_WORST_SELF_STALEMATE), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(handDominanceApplies(c.rules), c.applies)
            << std::hex << c.rules.genre << " rule " << c.rules.moveRule << " check "
            << c.rules.checkRequired;
}

// Where nothing may be lent, the hand table's memory goes back at once; where lending applies it stays.
TEST(HandDominance, TheHandTableIsKeptOnlyWhereItIsUsed) {
    for (const auto& [rules, kept] : {std::pair{rulesOf(GENRE_BEST_MATE), true},
                                      std::pair{rulesOf(GENRE_BEST_SELFMATE), false},
                                      std::pair{rulesOf(GENRE_BEST_MATE, true, MOVE_RULE_MINI), false}}) {
        PositionTable table;
        ASSERT_TRUE(table.create(TABLE_MIN_MEGABYTES));
        ASSERT_TRUE(table.hands.isAllocated());
        configureHandDominance(table, rules);
        EXPECT_EQ(table.handDominance, kept);
        EXPECT_EQ(table.hands.isAllocated(), kept) << std::hex << rules.genre;
    }
}

// Each pair has the same board; the second position is the first with hands that plain dominance
// would call no worse for the side that wants the goal. Yet the first is proved and the second is not.
TEST(HandDominance, WhereItFailsAProofDoesNotCarryToABetterLookingHand) {
    struct Case {
        const char* why;
        RuleSet rules;
        const char* proved;
        const char* notProved;
        int depth;
    };
    const std::vector<Case> cases = {
        {"最善自玉詰: the first player, mated, could interpose a pawn it held", rulesOf(GENRE_BEST_SELFMATE),
         "k7r/9/9/9/9/9/9/6g2/8K b - 1", "k7r/9/9/9/9/9/9/6g2/8K b P 1", 1},
        {"最悪詰: without the knight the first player has no check at all", rulesOf(GENRE_WORST_MATE),
         "7nk/7nn/9/9/9/9/9/9/9 b N 1", "7nk/7nn/9/9/9/9/9/9/9 b - 1", 1},
        {"非王手可: the second player without its pawn has no move and is stalemated",
         rulesOf(GENRE_BEST_MATE, false), "8k/6S2/8G/7N1/9/9/9/9/9 w Gp 1", "8k/6S2/8G/7N1/9/9/9/9/9 w G 1",
         2},
        {"禁欲: the knight drop is kept and forbids the mating capture",
         rulesOf(GENRE_BEST_MATE, true, MOVE_RULE_KINYOKU), "7nk/6snp/9/9/8R/9/9/9/8L b - 1",
         "7nk/6snp/9/9/8R/9/9/9/8L b N 1", 1},
        {"ミニ: without its pawn the second player may capture the rook from afar",
         rulesOf(GENRE_BEST_MATE, true, MOVE_RULE_MINI), "4b3k/6G2/9/9/8R/9/9/9/8L w p 1",
         "4b3k/6G2/9/9/8R/9/9/9/8L w - 1", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_FALSE(handDominanceApplies(c.rules));
        PositionRig proved(c.proved, c.rules, c.depth);
        EXPECT_FALSE(proved.table.handDominance);
        test::Solved p = proved.search(c.depth);
        ASSERT_TRUE(p.proved);
        PositionRig other(c.notProved, c.rules, c.depth);
        EXPECT_FALSE(other.search(c.depth).proved);
        // A table lending proofs to richer first players and poorer second players would prove the
        // second position (under 最悪 the second player wants the goal, and the lending goes the other
        // way).
        PositionRig lending(c.notProved, c.rules, c.depth);
        if (!handCovers(lending.root, proved.root, SENTE) || !handCovers(proved.root, lending.root, GOTE))
            continue;
        // These rules keep no hand table; the lending one is made for the demonstration.
        ASSERT_TRUE(lending.table.hands.create(size_t(1) << 16));
        lending.table.handDominance = true;
        lending.table.handsNeedCheck = false;
        lending.table.store(proved.root, static_cast<int16_t>(p.proofLength));
        TableEntry* lent = lending.table.probeFinal(lending.root, c.depth);
        ASSERT_NE(lent, nullptr);
        EXPECT_TRUE(lent->isProved());
    }
}

// Proof pieces: only a knight dropped on 2c mates the king boxed in by its own knights, so the proof
// holds whatever else the attacker holds, and for any defender's hand; never without the knight.
TEST(HandDominance, AProofHoldsForEveryHandWithThePiecesItNeeded) {
    const RuleSet rules = rulesOf(GENRE_BEST_MATE);
    PositionRig rig("7nk/7nn/9/9/9/9/9/9/9 b NP2p 1", rules, 1);
    ASSERT_TRUE(rig.table.handDominance);
    ASSERT_TRUE(rig.search(1).proved);
    struct Case {
        const char* hands;
        bool proved;
    };
    for (const Case c : {Case{"N", true}, Case{"NS", true}, Case{"N2Rr", true}, Case{"Np", true},
                         Case{"P2p", false}, Case{"GSB", false}}) {
        Position other = test::positionFromSfen(std::string("7nk/7nn/9/9/9/9/9/9/9 b ") + c.hands + " 1");
        TableEntry* e = rig.table.probeFinal(other, 1);
        EXPECT_EQ(e != nullptr && e->isProved(), c.proved) << c.hands;
    }
}

// A length lent across hands is only an upper bound; it may even belong to a node that is mated on
// the board. Extraction follows the true line and corrects the table on the way.
TEST(HandDominance, ExtractionCorrectsALentLengthDownToAMateOnTheBoard) {
    PositionRig rig("7nk/7nn/9/9/9/9/9/9/9 b N 1", rulesOf(GENRE_BEST_MATE), 5);
    Position mated{};
    makeChild(rig.root, mated, makeDrop(0x23, SENTE + KNIGHT), rig.ctx->nodeRules);
    mated.pn = 0;
    mated.dn = PN_INFINITE;
    rig.table.store(mated, 4);  // too long: the knight drop mates at once
    Position root = rig.root;
    root.pn = 0;
    root.dn = PN_INFINITE;
    rig.table.store(root, 5);
    MoveLine line;
    platform::runWithLargeStack([&] { line = extractLine(*rig.ctx, rig.root, 5); });
    ASSERT_EQ(line.size(), 1u);
    EXPECT_EQ(line[0], makeDrop(0x23, SENTE + KNIGHT));
    EXPECT_EQ(rig.table.probeProven(mated)->depth, 0);
}

// The shortest proof known counts, whether kept for the exact hands or lent across hands.
TEST(HandDominance, TheShortestProofIsTheOneReadBack) {
    PositionRig rig("7nk/7nn/9/9/9/9/9/9/9 b NP 1", rulesOf(GENRE_BEST_MATE), 9);
    Position lender = test::positionFromSfen("7nk/7nn/9/9/9/9/9/9/9 b N 1");
    lender.pn = rig.root.pn = 0;
    lender.dn = rig.root.dn = PN_INFINITE;
    rig.table.store(rig.root, 7);
    EXPECT_EQ(rig.table.probeProven(rig.root)->depth, 7);
    rig.table.store(lender, 3);
    EXPECT_EQ(rig.table.probeProven(rig.root)->depth, 3);
}

// A mated defender that could have interposed a piece it lacked: the proof is lent only to defenders
// without that piece; mated by a contact check, to any defender.
TEST(HandDominance, AMateLendsToRicherDefendersOnlyWhenNothingCouldInterpose) {
    struct Case {
        const char* sfen;
        bool anyDefence;
    };
    // Gote king 1a boxed in by a gold on 3b: mated by a rook from 1e (1b..1d between), or by a gold on
    // 1b guarded by a knight.
    for (const Case c :
         {Case{"8k/6G2/9/9/8R/9/9/9/9 w - 1", false}, Case{"8k/6G1G/9/7N1/9/9/9/9/9 w - 1", true}}) {
        const Position p = test::positionFromSfen(c.sfen);
        const HandBounds b = noMoveBounds(p, true);
        for (int kind = PAWN; kind <= ROOK; ++kind) {
            EXPECT_EQ(b.first[kind], 0) << c.sfen;
            EXPECT_EQ(b.second[kind], c.anyDefence ? ANY_COUNT : 0) << c.sfen << " kind " << kind;
        }
    }
}

// The repository's real problems, solved with lending across hands and without: the same verdicts and
// proof lengths, and every extracted line replays with that length. Once with a table small enough
// that space recovery runs.
TEST(HandDominance, RealProblemsGetTheSameVerdictsAndLengthsWithAndWithout) {
    for (const char* folder : {"short", "fairy"}) {
        for (const auto& p : test::indexedProblems(folder)) {
            for (uint64_t slots : {uint64_t(0), uint64_t(4093)}) {
                if (slots != 0 && std::string(folder) == "fairy") continue;
                int verdicts[2] = {0, 0};
                int lengths[2] = {-1, -1};
                for (int on = 0; on < 2; ++on) {
                    test::QuietTableConsole quiet;
                    test::SolveRig rig;
                    ASSERT_TRUE(rig.load(p.path, slots));
                    rig.table.console = &quiet;
                    if (!on) rig.table.handDominance = false;
                    const int depth = rig.problem.record.length;
                    test::Solved s = rig.search(depth);
                    verdicts[on] = s.proved;
                    lengths[on] = s.proofLength;
                    if (!s.proved) continue;
                    MoveLine line;
                    platform::runWithLargeStack([&] { line = extractLine(*rig.ctx, rig.root, depth); });
                    EXPECT_EQ(static_cast<int>(line.size()), s.proofLength) << p.path << " on " << on;
                    EXPECT_EQ(replayLine(rig.root, line, rig.problem.rules), "ok") << p.path << " on " << on;
                }
                EXPECT_EQ(verdicts[0], verdicts[1]) << p.path << " slots " << slots;
                EXPECT_EQ(lengths[0], lengths[1]) << p.path << " slots " << slots;
            }
        }
    }
}

}  // namespace
}  // namespace nagare
