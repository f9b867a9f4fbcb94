#include "table/hand_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/sfen.h"

namespace nagare {
namespace {

HandCounts counts(std::initializer_list<std::pair<int, int>> kinds) {
    HandCounts c{};
    for (auto [kind, n] : kinds) c[kind] = static_cast<uint8_t>(n);
    return c;
}

uint32_t packed(const HandCounts& c) {
    uint32_t word = 0;
    EXPECT_TRUE(PackedHand::pack(c, word));
    return word;
}

TEST(PackedHand, CoversComparesEveryKindAtOnce) {
    struct Case {
        HandCounts a, b;
        bool covers;
    };
    const Case cases[] = {
        {counts({}), counts({}), true},
        {counts({{PAWN, 18}, {ROOK, 2}}), counts({{PAWN, 17}, {ROOK, 2}}), true},
        {counts({{PAWN, 18}}), counts({{PAWN, 18}, {GOLD, 1}}), false},
        {counts({{LANCE, 4}, {KNIGHT, 1}}), counts({{KNIGHT, 2}}), false},
        {counts({{BISHOP, 1}}), counts({{BISHOP, 2}}), false},
        {counts({{SILVER, ANY_COUNT}, {BISHOP, ANY_COUNT}}), counts({{SILVER, 6}, {BISHOP, 2}}), true},
        {counts({{GOLD, 6}}), counts({{GOLD, ANY_COUNT}}), false},
    };
    for (const Case& c : cases) EXPECT_EQ(PackedHand::covers(packed(c.a), packed(c.b)), c.covers);
    EXPECT_EQ(PackedHand::unpack(packed(counts({{PAWN, 30}, {ROOK, ANY_COUNT}}))),
              counts({{PAWN, 30}, {ROOK, ANY_COUNT}}));
    uint32_t word;
    EXPECT_FALSE(PackedHand::pack(counts({{BISHOP, 3}}), word));  // more than a field holds
}

struct HandTableTest : ::testing::Test {
    HandTable table;
    void SetUp() override { ASSERT_TRUE(table.create(1 << 12)); }

    // The same board with the given hands, first player to move.
    static Position withHands(const char* hands) {
        return test::positionFromSfen(std::string("7nk/7nn/9/9/9/9/9/9/9 b ") + hands + " 1");
    }
    void store(const char* hands, int32_t pn, const HandBounds& b, int16_t depth, uint8_t level = 1) {
        Position p = withHands(hands);
        p.pn = pn;
        p.dn = pn == 0 ? PN_INFINITE : 0;
        table.store(p, b, depth, level);
    }
};

TEST_F(HandTableTest, AProofHoldsForRicherAttackersAndPoorerDefendersWithinItsLength) {
    store("N2p", 0, HandBounds{counts({{KNIGHT, 1}}), counts({{PAWN, 2}})}, 5);
    EXPECT_NE(table.findFinal(withHands("NG"), 5), nullptr);
    EXPECT_NE(table.findFinal(withHands("Np"), 7), nullptr);
    EXPECT_EQ(table.findFinal(withHands("NG"), 3), nullptr);   // not within 3
    EXPECT_EQ(table.findFinal(withHands("G"), 5), nullptr);    // no knight
    EXPECT_EQ(table.findFinal(withHands("N3p"), 5), nullptr);  // a pawn more for the defence
    EXPECT_EQ(table.findFinal(test::positionFromSfen("7nk/7nn/9/9/9/9/9/9/9 w N 1"), 5), nullptr);  // side
}

// Two boards whose keys agree in the bits that choose the bucket and in the check word, but not in
// the bits between (24..31), are two boards: a proof of one is not lent to the other.
TEST_F(HandTableTest, BoardsThatDifferOnlyInTheTaggedKeyBitsAreNotConfused) {
    const HandBounds bounds{counts({}), counts({})};
    for (int bit = 24; bit < 32; ++bit) {
        SCOPED_TRACE(bit);
        ASSERT_TRUE(table.create(1 << 12));
        Position stored = withHands("N");
        stored.pn = 0;
        stored.dn = PN_INFINITE;
        table.store(stored, bounds, 5, 1);
        ASSERT_NE(table.findFinal(withHands("N"), 5), nullptr);
        Position other = withHands("N");
        other.boardKey ^= uint64_t{1} << bit;
        EXPECT_EQ(table.findFinal(other, 5), nullptr);
    }
}

// Every board stored is found again, whatever bits of its key are set, and clearing the table forgets
// them all until they are stored again.
TEST_F(HandTableTest, StoredBoardsAreFoundUntilTheTableIsCleared) {
    ASSERT_TRUE(table.create(1 << 20));
    const HandBounds bounds{counts({}), counts({})};
    std::vector<Position> boards;
    uint64_t key = 0x2545f4914f6cdd1dULL;
    for (int i = 0; i < 2000; ++i) {
        key = key * 6364136223846793005ULL + 1442695040888963407ULL;
        Position p = withHands("N");
        p.boardKey = key;
        p.pn = 0;
        p.dn = PN_INFINITE;
        boards.push_back(p);
    }
    for (const Position& p : boards) table.store(p, bounds, 5, 1);
    int found = 0;
    for (const Position& p : boards) found += table.findFinal(p, 5) != nullptr;
    EXPECT_EQ(found, 2000);
    table.clear();
    for (const Position& p : boards) ASSERT_EQ(table.findFinal(p, 5), nullptr);
    table.store(boards[7], bounds, 5, 1);
    EXPECT_NE(table.findFinal(boards[7], 5), nullptr);
}

TEST_F(HandTableTest, ANonProofHoldsForPoorerAttackersAndRicherDefenders) {
    store("P", PN_CAP, HandBounds{counts({{PAWN, 1}}), counts({{GOLD, 1}})}, 6);
    EXPECT_EQ(table.findFinal(withHands("p"), 6), nullptr);  // the defence needs a gold
    const HandEntry* e = table.findFinal(withHands("Pgp"), 4);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->result, HandResult::BOUNDED);
    EXPECT_EQ(table.findFinal(withHands("Pg"), 7), nullptr);   // bounded at 6 says nothing about 7
    EXPECT_EQ(table.findFinal(withHands("2Pg"), 6), nullptr);  // a pawn more for the attack
    store("P", PN_INFINITE, HandBounds{counts({{PAWN, 1}}), counts({{GOLD, 1}})}, NO_PLY);
    e = table.findFinal(withHands("Pg"), 40);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->result, HandResult::DISPROVED);
}

TEST_F(HandTableTest, AResultThatCoversAnotherTakesItsPlace) {
    const HandBounds narrow{counts({{KNIGHT, 1}, {PAWN, 1}}), counts({})};
    const HandBounds wide{counts({{KNIGHT, 1}}), counts({{PAWN, ANY_COUNT}})};
    store("NP", 0, narrow, 5);
    store("NP", 0, wide, 5);
    // Already covered: dropped.
    for (int i = 0; i < 3; ++i) store("NP", 0, narrow, static_cast<int16_t>(5 + i));
    EXPECT_EQ(table.storedCount(), 1u);
    const HandEntry* e = table.findFinal(withHands("N3p"), 9);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->depth, 5);
}

}  // namespace
}  // namespace nagare
