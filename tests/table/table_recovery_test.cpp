#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "table/position_table.h"
#include "table_test_support.h"

namespace nagare {
namespace {

using namespace nagare::testing;

constexpr int OLD = 9;
constexpr int CURRENT = 4;
constexpr int PREVIOUS = 3;
constexpr uint32_t CAP = PN_CAP;
constexpr uint32_t INF = PN_INFINITE;

// A run of slots with the same contents; keys are distinct per slot.
struct SlotRun {
    int count;
    uint32_t pn;
    uint32_t dn;
    uint8_t level;
    int generation;
    uint8_t flags;
};

class RecoveryTest : public ::testing::Test {
  protected:
    void build(uint64_t size, const std::vector<SlotRun>& runs) {
        ASSERT_TRUE(table.createSlots(size));
        table.console = &out;
        table.generation = CURRENT;
        table.previousGeneration = PREVIOUS;
        uint64_t slot = 0;
        for (const SlotRun& r : runs)
            for (int i = 0; i < r.count; ++i, ++slot)
                table.entries[slot] = rawEntry(0x10000 + static_cast<uint32_t>(slot), 0x2b2b, r.pn, r.dn,
                                               r.pn == INF ? NO_PLY : 3, r.level, r.generation, r.flags);
        table.recount();
    }
    // Free slots among [first, first + count).
    int freedIn(uint64_t first, int count) {
        int n = 0;
        for (int i = 0; i < count; ++i) n += table.entries[first + i].isFree() ? 1 : 0;
        return n;
    }

    PositionTable table;
    CaptureConsole out;
};

TEST_F(RecoveryTest, RunsOnlyAboveEightyPercent) {
    build(1000, {{800, 2, 2, 0, OLD, 0}});
    EXPECT_EQ(table.recover(), 0u);  // exactly 80 %
    EXPECT_EQ(out.text, "");

    Position first = openNode(0x0a0b0c0d0e0f0000ULL, 3);
    ASSERT_NE(table.store(first, 0), nullptr);
    EXPECT_EQ(out.text, "");
    EXPECT_EQ(table.usedCount, 801u);

    table.finalDepthBound = 5;
    table.openPlyBound = 2;
    ASSERT_NE(table.store(openNode(0x0a0b0c0d0e1f0000ULL, 3), 0), nullptr);
    EXPECT_EQ(out.text,
              "メモリが不足気味です（局面表利用率80.1％）\n"
              "30.1％の非保護データ（探索レベル0以下）を破棄して再利用します\n");
    EXPECT_EQ(freedIn(0, 800), 301);
    EXPECT_EQ(freedIn(0, 301), 301);  // the first ones in slot order
    EXPECT_EQ(table.usedCount, 501u);
    EXPECT_EQ(table.usedCount, countUsed(table));
    EXPECT_EQ(table.peakCount, 801u);
    EXPECT_EQ(table.finalDepthBound, NO_PLY);
    EXPECT_EQ(table.openPlyBound, 0);

    // The entry stored just before recovery was in the current generation and survives it.
    Position again = openNode(0x0a0b0c0d0e0f0000ULL, 3);
    EXPECT_NE(table.probeOpen(again), nullptr);
}

TEST_F(RecoveryTest, FirstChoiceFreesTheSmallestOpenWorkAndReportsInDetail) {
    build(100, {{10, 0, INF, 0, OLD, 0},
                {5, INF, 0, 1, OLD, 0},
                {5, CAP, 0, 0, OLD, 0},
                {5, CAP, 0, 0, OLD, TableEntry::LOOP},
                {3, 2, 2, 7, OLD, TableEntry::REFERENCED},
                {20, 2, 2, 3, OLD, 0},
                {20, 2, 2, 1, OLD, 0},
                {17, 2, 2, 7, OLD, 0},
                {10, 2, 2, 0, OLD, TableEntry::FREE}});
    ASSERT_EQ(table.usedCount, 85u);
    table.detailedMonitor = true;
    table.openProbeMax = 7;
    table.nonProofProbeMax = 8;
    table.provenProbeMax = 9;
    out.text = "探索中";  // the cursor is not at the start of a line

    EXPECT_EQ(table.recover(), 35u);
    EXPECT_EQ(out.text,
              "探索中\n"
              "メモリが不足気味です（局面表利用率85.0％）\n"
              "リトライ7, 不詰リトライ8, 詰リトライ9\n"
              "詰10.0％、不詰5.0％、打切5.0％、ループ5.0％、不定60.0％：参照3.0％\n"
              "探索レベルの最大値：7\n"
              "保護対象世代：3, 4\n"
              "35.0％の非保護データ（探索レベル3以下）を破棄して再利用します\n");
    // Levels 1 and 3 hold 40 entries; the walk in slot order stops after 35 of them.
    EXPECT_EQ(freedIn(0, 28), 0);
    EXPECT_EQ(freedIn(28, 20), 20);
    EXPECT_EQ(freedIn(48, 15), 15);
    EXPECT_EQ(freedIn(63, 5), 0);
    EXPECT_EQ(freedIn(68, 17), 0);
    EXPECT_EQ(table.usedCount, 50u);
    EXPECT_EQ(table.kindCounts.used, 85);
    EXPECT_EQ(table.kindCounts.open, 60);
}

TEST_F(RecoveryTest, ProtectedGenerationsSendRecoveryToTheWeightedSecondChoice) {
    build(100, {{10, 2, 2, 6, CURRENT, 0},
                {10, 0, INF, 0, OLD, TableEntry::PROTECTED},
                {20, 0, INF, 0, OLD, 0},
                {20, CAP, 0, 5, OLD, 0},
                {10, INF, 0, 3, OLD, 0},
                {10, 2, 2, 6, OLD, 0},
                {10, CAP, 0, 0, PREVIOUS, TableEntry::LOOP}});
    ASSERT_EQ(table.usedCount, 90u);
    // Weighted: disproofs 5, old open 6, bounded 7, proofs 8; 40 entries up to level 7.
    EXPECT_EQ(table.recover(), 40u);
    EXPECT_EQ(out.text,
              "メモリが不足気味です（局面表利用率90.0％）\n"
              "40.0％の非保護データ（探索レベル7以下）を破棄して再利用します\n");
    EXPECT_EQ(freedIn(0, 40), 0);  // current generation, protected proofs, old proofs
    EXPECT_EQ(freedIn(40, 40), 40);
    EXPECT_EQ(freedIn(80, 10), 0);  // previous generation
    EXPECT_EQ(table.usedCount, 50u);
}

TEST_F(RecoveryTest, WithTooFewEligibleEntriesEverythingUnprotectedGoes) {
    build(100, {{50, 2, 2, 0, CURRENT, 0},
                {20, 0, INF, 0, OLD, TableEntry::PROTECTED},
                {10, 0, INF, 60, OLD, 0},
                {10, 0, INF, 64, OLD, 0}});
    ASSERT_EQ(table.usedCount, 90u);
    EXPECT_EQ(table.recover(), 20u);
    EXPECT_EQ(out.text,
              "メモリが不足気味です（局面表利用率90.0％）\n"
              "20.0％の非保護データ（探索レベル72以下）を破棄して再利用します\n");
    EXPECT_EQ(freedIn(0, 70), 0);
    EXPECT_EQ(freedIn(70, 20), 20);
    EXPECT_EQ(table.usedCount, 70u);
}

TEST_F(RecoveryTest, LevelsFromSixtyThreeUpShareTheLastCounter) {
    build(100, {{40, 2, 2, 0, CURRENT, 0}, {25, 0, INF, 64, OLD, 0}, {25, 0, INF, 55, OLD, 0}});
    ASSERT_EQ(table.usedCount, 90u);
    // Weighted 72 and 63 fall into the last counter together; reaching it means all of them.
    EXPECT_EQ(table.recover(), 40u);
    EXPECT_EQ(out.text,
              "メモリが不足気味です（局面表利用率90.0％）\n"
              "40.0％の非保護データ（探索レベル72以下）を破棄して再利用します\n");
    EXPECT_EQ(freedIn(40, 40), 40);
    EXPECT_EQ(freedIn(80, 10), 0);
}

TEST_F(RecoveryTest, ProtectedEntriesAreNeverFreed) {
    build(100, {{5, 2, 2, 0, OLD, TableEntry::PROTECTED},
                {5, 0, INF, 0, OLD, TableEntry::PROTECTED},
                {75, 2, 2, 0, OLD, 0}});
    EXPECT_EQ(table.recover(), 35u);
    EXPECT_EQ(freedIn(0, 10), 0);
    EXPECT_EQ(freedIn(10, 35), 35);

    build(100, {{85, 0, INF, 0, OLD, TableEntry::PROTECTED}});
    EXPECT_EQ(table.recover(), 0u);
    EXPECT_EQ(table.usedCount, 85u);
}

TEST_F(RecoveryTest, AFreedEntryIsRevivedByAProbeOrReusedByAStore) {
    build(100, {{85, 2, 2, 0, OLD, 0}});
    uint64_t key = keyAt(0, 100, 0x01, 0x77);
    table.entries[0] = rawFor(key, 2, 2, 3, 0, OLD);
    table.recount();
    ASSERT_EQ(table.recover(), 35u);
    ASSERT_TRUE(table.entries[0].isFree());
    Position p = openNode(key, 3);
    EXPECT_EQ(table.probeOpen(p), &table.entries[0]);
    EXPECT_FALSE(table.entries[0].isFree());
    EXPECT_EQ(table.usedCount, 51u);

    // Slot 1 was freed too: a store of another position starting there takes it.
    ASSERT_TRUE(table.entries[1].isFree());
    uint64_t other = keyAt(1, 100, 0x01, 0x78);
    EXPECT_EQ(table.store(disprovedNode(other), 0), &table.entries[1]);
    EXPECT_EQ(table.usedCount, 52u);
    EXPECT_EQ(table.usedCount, countUsed(table));
}

}  // namespace
}  // namespace nagare
