#include "table/position_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "../support/sfen.h"
#include "table_test_support.h"

namespace nagare {
namespace {

using namespace nagare::testing;

constexpr uint64_t SMALL_TABLE = 1009;  // prime: a walk visits distinct slots
constexpr int OLD_GENERATION = 9;
constexpr int CURRENT_GENERATION = 3;
constexpr int PREVIOUS_GENERATION = 2;

class TableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(table.createSlots(SMALL_TABLE));
        table.console = &out;
    }
    TableEntry& at(uint64_t key, int i) { return table.entries[probeSlot(key, i, table.tableSize)]; }
    int indexOf(uint64_t key, const TableEntry* e) {
        for (int i = 0; i < TABLE_STORE_PROBES + 1; ++i)
            if (&at(key, i) == e) return i;
        return -1;
    }

    PositionTable table;
    CaptureConsole out;
};

// --- creation ---

struct SizeCase {
    uint64_t megabytes;
    uint64_t slots;
};

TEST(TableCreate, SlotCountsFollowTheMemoryOption) {
    const SizeCase cases[] = {{1, 1048575},  {20, 1048575},    {39, 1048575},
                              {40, 2097151}, {1024, 53477375}, {20480, 1073741823}};
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.megabytes);
        EXPECT_EQ(PositionTable::slotCountFor(c.megabytes), c.slots);
    }
    // 20 GB: one more entry than the addressable slots fills the memory exactly, in 64-bit arithmetic.
    EXPECT_EQ((PositionTable::slotCountFor(20480) + 1) * sizeof(TableEntry), uint64_t{20480} << 20);
}

TEST(TableCreate, CreatesAClearedTableOfTheRightSize) {
    for (uint64_t megabytes : {uint64_t{20}, uint64_t{39}, uint64_t{40}}) {
        SCOPED_TRACE(megabytes);
        PositionTable t;
        ASSERT_TRUE(t.create(megabytes));
        uint64_t slots = PositionTable::slotCountFor(megabytes);
        EXPECT_EQ(t.tableSize, slots);
        EXPECT_EQ(t.usedCount, 0u);
        EXPECT_EQ(t.recoveryLimit, static_cast<uint64_t>(slots * 0.8));
        EXPECT_EQ(t.generationPeriod, slots / 15);
        EXPECT_EQ(t.generation, 1);
        EXPECT_EQ(t.previousGeneration, 0);
        for (uint64_t i : {uint64_t{0}, slots / 2, slots - 1, slots}) EXPECT_TRUE(t.entries[i].isVirgin());
        EXPECT_EQ(t.finalDepthBound, NO_PLY);
        EXPECT_EQ(t.openPlyBound, 0);
    }
}

TEST(TableCreate, ReportsAnImpossibleSizeInsteadOfThrowing) {
    PositionTable t;
    EXPECT_FALSE(t.createSlots(SIZE_MAX / sizeof(TableEntry)));
    EXPECT_EQ(t.entries, nullptr);
    EXPECT_EQ(t.tableSize, 0u);
    EXPECT_EQ(t.store(provedNode(0x1234567890abcdefULL), 3), nullptr);
}

TEST_F(TableTest, ClearKeepsGenerationsAndProbeMaxima) {
    table.store(provedNode(0x1234567890abcdefULL), 3);
    table.generation = 7;
    table.provenProbeMax = 4;
    table.finalDepthBound = 5;
    table.openPlyBound = 6;
    table.clear();
    EXPECT_EQ(table.usedCount, 0u);
    EXPECT_EQ(table.generation, 7);
    EXPECT_EQ(table.provenProbeMax, 4);
    EXPECT_EQ(table.finalDepthBound, NO_PLY);
    EXPECT_EQ(table.openPlyBound, 0);
    EXPECT_EQ(table.probeProven(provedNode(0x1234567890abcdefULL)), nullptr);
}

// A line's proof is protected in the table itself, not in the copy a probe hands out for a shorter
// proof lent across hands: the purges of the solution walk spare only what is marked in the table.
TEST(TableProtect, ProtectsTheKeptProofWhenAShorterOneIsLent) {
    PositionTable t;
    ASSERT_TRUE(t.createSlots(1 << 12));
    t.handDominance = true;
    Position rich = test::positionFromSfen("7nk/7nn/9/9/9/9/9/9/9 b 2N 1");
    Position poor = test::positionFromSfen("7nk/7nn/9/9/9/9/9/9/9 b N 1");
    for (Position* p : {&rich, &poor}) {
        p->pn = 0;
        p->dn = PN_INFINITE;
        p->loopPly = NO_PLY;
        p->treeSize = 1;
    }
    ASSERT_NE(t.store(rich, 9, exactBounds(rich)), nullptr);
    HandBounds oneKnight;
    oneKnight.first[KNIGHT] = 1;
    oneKnight.second.fill(ANY_COUNT);
    ASSERT_NE(t.store(poor, 5, oneKnight), nullptr);
    const TableEntry* lent = t.probeProven(rich);
    ASSERT_NE(lent, nullptr);
    ASSERT_EQ(lent->depth, 5);

    EXPECT_FALSE(t.protectProof(rich, 10));
    EXPECT_TRUE(t.protectProof(rich, 9));
    const TableEntry* kept = t.probeFinal(rich, 9);
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->depth, 9);
    EXPECT_TRUE(kept->isProtected());
}

// --- the probe sequence ---

struct SequenceCase {
    const char* name;
    uint64_t tableSize;
    uint64_t key;
    int maxIndex;
};

// Whether probe i revisits a slot of an earlier probe: once the 64-bit sum has wrapped, the sequence
// is no longer one arithmetic progression modulo the table size.
bool revisits(uint64_t key, int i, uint64_t tableSize) {
    for (int j = 0; j < i; ++j)
        if (probeSlot(key, j, tableSize) == probeSlot(key, i, tableSize)) return true;
    return false;
}

TEST(TableProbeSequence, StoresAndFindsAlongTheSequence) {
    const SequenceCase cases[] = {
        {"step byte 0 walks with step 1", SMALL_TABLE, keyAt(500, SMALL_TABLE, 0x00, 7), 99},
        {"step from key bits 48..55", SMALL_TABLE, keyAt(1000, SMALL_TABLE, 0x37, 9), 99},
        {"the sum wraps past 2^64", SMALL_TABLE, 0xffffffffffffff00ULL, 99},
        {"step larger than the table", 97, 0xffffffffffffff00ULL, 70},
        {"a table of 20 MB", 1048575, 0x80c3000000000000ULL + 1048570, 99},
    };
    for (const SequenceCase& c : cases) {
        for (int i : {0, 1, 2, 3, c.maxIndex / 2, c.maxIndex}) {
            if (revisits(c.key, i, c.tableSize)) continue;
            SCOPED_TRACE(std::string(c.name) + ", probe " + std::to_string(i));
            PositionTable t;
            ASSERT_TRUE(t.createSlots(c.tableSize));
            for (int j = 0; j < i; ++j)
                t.entries[probeSlot(c.key, j, c.tableSize)] = rawEntry(0x5000 + j, 0x7777, 0, 1, 1, 0, 1);
            uint64_t usedBefore = t.recount();
            TableEntry* e = t.store(provedNode(c.key), 5);
            ASSERT_EQ(e, &t.entries[probeSlot(c.key, i, c.tableSize)]);
            EXPECT_EQ(t.provenProbeMax, i);
            EXPECT_EQ(t.probeProven(provedNode(c.key)), e);
            EXPECT_EQ(t.usedCount, usedBefore + 1);
        }
    }
}

TEST_F(TableTest, AProofFindsNoRoomBehindHundredProofs) {
    uint64_t key = keyAt(3, SMALL_TABLE, 0x11, 1);
    for (int j = 0; j < TABLE_STORE_PROBES; ++j) at(key, j) = rawEntry(0x5000 + j, 0x7777, 0, 1, 1, 0, 1);
    table.recount();
    EXPECT_EQ(table.store(provedNode(key), 5), nullptr);
    EXPECT_EQ(table.usedCount, 100u);
}

// --- each store's choice of slot and victim ---

enum class StoreKind { PROVED, OPEN, LOOP, BOUNDED, DISPROVED };

struct Placed {
    int index;
    TableEntry entry;
};

struct StoreCase {
    const char* name;
    StoreKind kind;
    std::vector<Placed> slots;  // over a default of other positions' proofs on all 100 probes
    int expectIndex;            // -1: nothing stored
    int expectProbeMax;
    uint32_t expectPn;
    int16_t expectDepth;
    int16_t expectLoopPly;
};

constexpr uint64_t STORE_KEY = 0x05aa00000012cd00ULL;  // step 0xaa
constexpr int16_t NEW_PLY = 6;
constexpr int16_t NEW_LOOP_PLY = 2;
constexpr int16_t NEW_VALUE = 5;
constexpr uint32_t OPEN_PN = 3;
constexpr uint32_t CAP = PN_CAP;
constexpr uint32_t INF = PN_INFINITE;

TableEntry other(int j, uint32_t pn, uint32_t dn, int16_t depth, uint8_t level, int generation,
                 uint8_t flags = 0) {
    return rawEntry(0x9000 + j, 0x4444, pn, dn, depth, level, generation, flags);
}
TableEntry otherOpen(int j, uint8_t level, int generation) {
    return other(j, 2, 2, 4, level, generation);
}
TableEntry same(uint32_t pn, uint32_t dn, int16_t depth, uint8_t level, int generation, uint8_t flags = 0,
                int16_t loopPly = NO_PLY) {
    return rawFor(STORE_KEY, pn, dn, depth, level, generation, flags, loopPly);
}
const TableEntry VIRGIN = {0, 0, 0, 0, 0, NO_PLY, 0, 0};

Position nodeFor(StoreKind kind) {
    switch (kind) {
        case StoreKind::PROVED:
            return provedNode(STORE_KEY, 1 << 4);
        case StoreKind::OPEN:
            return openNode(STORE_KEY, NEW_PLY, 1 << 4, OPEN_PN, 7);
        case StoreKind::LOOP:
            return loopNode(STORE_KEY, NEW_PLY, NEW_LOOP_PLY, 1 << 4);
        case StoreKind::BOUNDED:
            return boundedNode(STORE_KEY, 1 << 4);
        case StoreKind::DISPROVED:
            return disprovedNode(STORE_KEY, 1 << 4);
    }
    return Position{};
}

int32_t probeMaxFor(const PositionTable& t, StoreKind kind) {
    if (kind == StoreKind::PROVED) return t.provenProbeMax;
    if (kind == StoreKind::OPEN) return t.openProbeMax;
    return t.nonProofProbeMax;
}

TEST_F(TableTest, EachStoreChoosesItsSlotAndVictim) {
    const int G = CURRENT_GENERATION, P = PREVIOUS_GENERATION, O = OLD_GENERATION;
    const StoreCase cases[] = {
        // A proof passes other proofs and displaces the first non-proof or open entry.
        {"proof over first non-proof",
         StoreKind::PROVED,
         {{4, other(4, CAP, 0, 3, 0, G)}, {7, otherOpen(7, 0, O)}},
         4,
         4,
         0,
         NEW_VALUE,
         NO_PLY},
        {"proof over open entry", StoreKind::PROVED, {{7, otherOpen(7, 9, G)}}, 7, 7, 0, NEW_VALUE, NO_PLY},
        {"proof into tombstone",
         StoreKind::PROVED,
         {{3, TOMBSTONE}, {5, VIRGIN}},
         3,
         3,
         0,
         NEW_VALUE,
         NO_PLY},
        {"proof over own bounded entry",
         StoreKind::PROVED,
         {{2, same(CAP, 0, 9, 30, G)}},
         2,
         2,
         0,
         NEW_VALUE,
         NO_PLY},
        {"proof finds only proofs", StoreKind::PROVED, {}, -1, 0, 0, 0, 0},
        // Open: an empty slot, or its own entry at a deeper or the same ply, at once.
        {"open into virgin slot", StoreKind::OPEN, {{5, VIRGIN}}, 5, 5, OPEN_PN, NEW_PLY, NO_PLY},
        {"open over own deeper entry",
         StoreKind::OPEN,
         {{3, same(2, 2, 8, 0, G)}, {5, VIRGIN}},
         3,
         3,
         OPEN_PN,
         NEW_PLY,
         NO_PLY},
        {"open over own entry at the same ply",
         StoreKind::OPEN,
         {{3, same(2, 2, NEW_PLY, 0, G)}, {5, VIRGIN}},
         3,
         3,
         OPEN_PN,
         NEW_PLY,
         NO_PLY},
        {"own shallower entry is left alone",
         StoreKind::OPEN,
         {{3, same(2, 2, 4, 0, O)}, {5, VIRGIN}},
         5,
         5,
         OPEN_PN,
         NEW_PLY,
         NO_PLY},
        {"own shallower entry is a candidate",
         StoreKind::OPEN,
         {{3, same(2, 2, 4, 2, O)}, {10, otherOpen(10, 1, O)}},
         10,
         100,
         OPEN_PN,
         NEW_PLY,
         NO_PLY},
        {"smallest level, first among equals",
         StoreKind::OPEN,
         {{10, otherOpen(10, 5, O)}, {40, otherOpen(40, 3, O)}, {70, otherOpen(70, 3, O)}},
         40,
         100,
         OPEN_PN,
         NEW_PLY,
         NO_PLY},
        {"protected generations are spared",
         StoreKind::OPEN,
         {{5, otherOpen(5, 0, G)}, {6, otherOpen(6, 0, P)}, {60, otherOpen(60, 4, O)}},
         60,
         100,
         OPEN_PN,
         NEW_PLY,
         NO_PLY},
        {"open finds no victim",
         StoreKind::OPEN,
         {{5, otherOpen(5, 0, G)},
          {8, other(8, CAP, 0, 3, 0, O)},
          {9, other(9, CAP, 0, 3, 0, O, TableEntry::LOOP)}},
         -1,
         100,
         0,
         0,
         0},
        // Loop: other positions' open entries at once; otherwise the non-proof of least work.
        {"loop over another open entry",
         StoreKind::LOOP,
         {{30, otherOpen(30, 0, G)}},
         30,
         30,
         CAP,
         NEW_PLY,
         NEW_LOOP_PLY},
        {"loop victim ignores generations",
         StoreKind::LOOP,
         {{10, other(10, CAP, 0, 3, 4, O)},
          {20, other(20, INF, 0, NO_PLY, 2, G)},
          {50, other(50, CAP, 0, 3, 2, O, TableEntry::LOOP)}},
         20,
         100,
         CAP,
         NEW_PLY,
         NEW_LOOP_PLY},
        {"own open entry is a loop candidate",
         StoreKind::LOOP,
         {{10, other(10, CAP, 0, 3, 3, O)}, {70, same(2, 2, 4, 1, G)}},
         70,
         100,
         CAP,
         NEW_PLY,
         NEW_LOOP_PLY},
        {"own loop entry is a hit",
         StoreKind::LOOP,
         {{40, same(CAP, 0, 3, 6, O, TableEntry::LOOP, 1)}},
         40,
         40,
         CAP,
         3,
         1},
        {"loop passes proofs of any key", StoreKind::LOOP, {{3, same(0, INF, 3, 0, O)}}, -1, 100, 0, 0, 0},
        // Non-proof: other positions' open entries at once; hits on its own final results.
        {"bounded over another open entry",
         StoreKind::BOUNDED,
         {{30, otherOpen(30, 0, G)}},
         30,
         30,
         CAP,
         NEW_VALUE,
         NO_PLY},
        {"own open entry is a non-proof candidate",
         StoreKind::BOUNDED,
         {{10, same(2, 2, 4, 5, G)}, {20, other(20, CAP, 0, 3, 6, O)}},
         10,
         100,
         CAP,
         NEW_VALUE,
         NO_PLY},
        {"own proof is passed over",
         StoreKind::BOUNDED,
         {{5, same(0, INF, 3, 0, O)}, {60, other(60, CAP, 0, 3, 9, O)}},
         60,
         100,
         CAP,
         NEW_VALUE,
         NO_PLY},
        {"own disproof is a hit",
         StoreKind::DISPROVED,
         {{7, same(INF, 0, NO_PLY, 1, O)}},
         7,
         7,
         INF,
         NO_PLY,
         NO_PLY},
        {"own loop entry is a non-proof candidate",
         StoreKind::DISPROVED,
         {{3, same(CAP, 0, 3, 1, O, TableEntry::LOOP, 1)}, {20, other(20, CAP, 0, 3, 2, O)}},
         3,
         100,
         INF,
         NO_PLY,
         NO_PLY},
        {"non-proof finds only proofs", StoreKind::DISPROVED, {}, -1, 100, 0, 0, 0},
    };
    for (const StoreCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(table.createSlots(SMALL_TABLE));
        table.generation = CURRENT_GENERATION;
        table.previousGeneration = PREVIOUS_GENERATION;
        for (int j = 0; j < TABLE_STORE_PROBES; ++j)
            at(STORE_KEY, j) = other(j, 0, INF, 2, 0, OLD_GENERATION);
        for (const Placed& p : c.slots) at(STORE_KEY, p.index) = p.entry;
        table.recount();
        uint64_t usedBefore = table.usedCount;
        bool intoEmpty = c.expectIndex >= 0 && !at(STORE_KEY, c.expectIndex).isUsed();

        TableEntry* e = table.store(nodeFor(c.kind), NEW_VALUE);

        EXPECT_EQ(probeMaxFor(table, c.kind), c.expectProbeMax);
        if (c.expectIndex < 0) {
            EXPECT_EQ(e, nullptr);
            EXPECT_EQ(table.usedCount, usedBefore);
            continue;
        }
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(indexOf(STORE_KEY, e), c.expectIndex);
        EXPECT_TRUE(holdsKey(*e, STORE_KEY));
        EXPECT_EQ(e->pn, c.expectPn);
        EXPECT_EQ(e->depth, c.expectDepth);
        EXPECT_EQ(e->loopPly, c.expectLoopPly);
        EXPECT_EQ(e->isLoop(), c.kind == StoreKind::LOOP);
        EXPECT_FALSE(e->isFree());
        EXPECT_EQ(e->generation(), CURRENT_GENERATION);
        EXPECT_EQ(table.usedCount, usedBefore + (intoEmpty ? 1 : 0));
        EXPECT_EQ(table.usedCount, countUsed(table));
    }
}

TEST_F(TableTest, LevelsFollowTheWorkAndTheKind) {
    struct LevelCase {
        Position node;
        uint8_t level;
    };
    const LevelCase cases[] = {
        {provedNode(0x0101000000010000ULL, 0), 2},     {provedNode(0x0102000000010000ULL, 1), 2},
        {provedNode(0x0103000000010000ULL, 1000), 11}, {disprovedNode(0x0104000000010000ULL, 2), 2},
        {boundedNode(0x0105000000010000ULL, 1023), 9}, {loopNode(0x0106000000010000ULL, 3, 1, 1 << 20), 20},
        {openNode(0x0107000000010000ULL, 3, 3), 1},    {openNode(0x0108000000010000ULL, 3, ~uint64_t{0}), 63},
    };
    for (const LevelCase& c : cases) {
        TableEntry* e = table.store(c.node, 4);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->level, c.level);
    }
}

// --- proofs, open entries and non-proofs of one position ---

TEST_F(TableTest, MatchingProofsMergeShorterDepthHigherLevel) {
    uint64_t key = keyAt(10, SMALL_TABLE, 0x21, 3);
    TableEntry* first = table.store(provedNode(key, 1 << 5), 9);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->level, 7);
    table.protect(*first);

    Position shorter = provedNode(key, 1 << 3);
    shorter.dn = 12345;  // the stored numbers are kept
    EXPECT_EQ(table.store(shorter, 7), first);
    EXPECT_EQ(first->depth, 7);
    EXPECT_EQ(first->level, 7);
    EXPECT_EQ(first->dn, static_cast<uint32_t>(PN_INFINITE));
    EXPECT_FALSE(first->isProtected());

    EXPECT_EQ(table.store(provedNode(key, 1 << 9), 11), first);
    EXPECT_EQ(first->depth, 7);
    EXPECT_EQ(first->level, 11);
    EXPECT_EQ(table.usedCount, 1u);
}

TEST_F(TableTest, StoresKeepProtectionExceptProofs) {
    uint64_t key = keyAt(10, SMALL_TABLE, 0x21, 3);
    at(key, 0) = rawFor(key, 2, 2, 8, 0, OLD_GENERATION, TableEntry::PROTECTED | TableEntry::REFERENCED);
    at(key, 1) = rawFor(key, CAP, 0, 3, 0, OLD_GENERATION, TableEntry::PROTECTED);
    table.recount();
    TableEntry* open = table.store(openNode(key, 6), 0);
    ASSERT_EQ(open, &at(key, 0));
    EXPECT_TRUE(open->isProtected());
    EXPECT_FALSE(open->isReferenced());
    TableEntry* bounded = table.store(boundedNode(key), 5);
    ASSERT_EQ(bounded, &at(key, 1));
    EXPECT_TRUE(bounded->isProtected());
    TableEntry* proof = table.store(provedNode(key), 5);
    ASSERT_EQ(proof, &at(key, 0));
    EXPECT_FALSE(proof->isProtected());
}

TEST_F(TableTest, OpenEntriesAtSeveralPlies) {
    uint64_t key = keyAt(20, SMALL_TABLE, 0x03, 4);
    TableEntry* deep = table.store(openNode(key, 6), 0);
    ASSERT_EQ(deep, &at(key, 0));
    // A shallower ply replaces the deeper entry in place.
    EXPECT_EQ(table.store(openNode(key, 4, 1, 9, 9), 0), deep);
    EXPECT_EQ(deep->depth, 4);
    // A deeper ply leaves the shallower entry and takes the next slot.
    TableEntry* deeper = table.store(openNode(key, 8, 1, 11, 13), 0);
    ASSERT_EQ(deeper, &at(key, 1));
    EXPECT_EQ(deep->depth, 4);
    EXPECT_EQ(table.usedCount, 2u);

    Position atEight = openNode(key, 8);
    atEight.openPly = NO_PLY;
    EXPECT_EQ(table.probeOpen(atEight), deeper);
    EXPECT_EQ(atEight.openPly, 4);  // the entry at ply 4 was met on the way

    Position atSix = openNode(key, 6);
    atSix.openPly = NO_PLY;
    EXPECT_EQ(table.probeOpen(atSix), nullptr);
    EXPECT_EQ(atSix.openPly, 4);

    Position atThree = openNode(key, 3);
    atThree.openPly = NO_PLY;
    EXPECT_EQ(table.probeOpen(atThree), nullptr);
    EXPECT_EQ(atThree.openPly, NO_PLY);  // nothing shallower than ply 3

    // Storing at ply 8 again refreshes the entry of ply 8.
    EXPECT_EQ(table.store(openNode(key, 8, 1, 2, 2), 0), deeper);
    EXPECT_EQ(deeper->pn, 2u);
}

TEST_F(TableTest, ABoundedEntryIsDeepenedOrTurnedIntoADisproofInPlace) {
    struct DeepenCase {
        int16_t oldDepth;
        bool newDisproved;
        int16_t newValue;
        uint32_t pn;
        int16_t depth;
    };
    const DeepenCase cases[] = {
        {3, false, 5, CAP, 5},
        {7, false, 5, CAP, 7},
        {3, true, 5, INF, NO_PLY},
    };
    uint64_t key = keyAt(30, SMALL_TABLE, 0x44, 5);
    for (const DeepenCase& c : cases) {
        SCOPED_TRACE(c.oldDepth);
        ASSERT_TRUE(table.createSlots(SMALL_TABLE));
        TableEntry* e = table.store(boundedNode(key, 1 << 6), c.oldDepth);
        ASSERT_NE(e, nullptr);
        Position n = c.newDisproved ? disprovedNode(key, 1 << 2) : boundedNode(key, 1 << 2);
        EXPECT_EQ(table.store(n, c.newValue), e);
        EXPECT_EQ(e->pn, c.pn);
        EXPECT_EQ(e->dn, 0u);
        EXPECT_EQ(e->depth, c.depth);
        EXPECT_EQ(e->level, 6);  // the higher level stays
        EXPECT_EQ(table.usedCount, 1u);
    }
}

// --- probes ---

struct ProbeCase {
    const char* name;
    std::function<Position()> stored;  // stored with value 5
    std::function<TableEntry*(PositionTable&)> probe;
    bool hit;
};

constexpr uint64_t PROBE_KEY = 0x3c0f00000abc0000ULL;

TEST_F(TableTest, ProbesAcceptTheirKindsOnly) {
    auto final = [](int d) {
        return [d](PositionTable& t) { return t.probeFinal(provedNode(PROBE_KEY), d); };
    };
    auto proven = [](PositionTable& t) { return t.probeProven(provedNode(PROBE_KEY)); };
    auto nonProof = [](PositionTable& t) { return t.probeNonProof(provedNode(PROBE_KEY)); };
    auto loop = [](PositionTable& t) {
        Position p = provedNode(~PROBE_KEY);
        p.pathKey = PROBE_KEY;
        return t.probeLoop(p);
    };
    auto open = [](int16_t ply) {
        return [ply](PositionTable& t) {
            Position p = openNode(PROBE_KEY, ply);
            return t.probeOpen(p);
        };
    };
    auto proof = [] { return provedNode(PROBE_KEY); };
    auto disproof = [] { return disprovedNode(PROBE_KEY); };
    auto bounded = [] { return boundedNode(PROBE_KEY); };
    auto openAt6 = [] { return openNode(PROBE_KEY, 6); };
    auto loopEntry = [] { return loopNode(PROBE_KEY, 6, 2); };

    const ProbeCase cases[] = {
        {"final: proof within d", proof, final(5), true},
        {"final: proof longer than d", proof, final(4), false},
        {"final: disproof at any depth", disproof, final(30), true},
        {"final: bounded deep enough", bounded, final(5), true},
        {"final: bounded shallower", bounded, final(3), true},
        {"final: bounded not deep enough", bounded, final(6), false},
        {"final: open entry", openAt6, final(5), false},
        {"final: loop entry under the key", loopEntry, final(5), false},
        {"proven: proof", proof, proven, true},
        {"proven: disproof", disproof, proven, false},
        {"non-proof: disproof", disproof, nonProof, true},
        {"non-proof: bounded", bounded, nonProof, true},
        {"non-proof: proof", proof, nonProof, false},
        {"non-proof: open", openAt6, nonProof, false},
        {"non-proof: loop entry", loopEntry, nonProof, false},
        {"loop: loop entry", loopEntry, loop, true},
        {"loop: bounded under the same key", bounded, loop, false},
        {"open: same ply", openAt6, open(6), true},
        {"open: other ply", openAt6, open(7), false},
        {"open: bounded", bounded, open(6), false},
    };
    for (const ProbeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(table.createSlots(SMALL_TABLE));
        table.openProbeMax = table.provenProbeMax = table.nonProofProbeMax = 3;
        TableEntry* stored = table.store(c.stored(), 5);
        ASSERT_NE(stored, nullptr);
        stored->flags = static_cast<uint8_t>(stored->flags & TableEntry::STATE_BITS);  // generation 0
        uint64_t ticks = table.generationTicks;
        TableEntry* found = c.probe(table);
        if (!c.hit) {
            EXPECT_EQ(found, nullptr);
            EXPECT_EQ(stored->generation(), 0);
            continue;
        }
        EXPECT_EQ(found, stored);
        EXPECT_TRUE(stored->isReferenced());
        EXPECT_EQ(stored->generation(), table.generation);
        EXPECT_EQ(table.generationTicks, ticks + 1);
    }
}

TEST_F(TableTest, WalksPassTombstonesAndStopAtVirginSlots) {
    uint64_t key = keyAt(40, SMALL_TABLE, 0x02, 6);
    // Two other proofs too long for the window, then the proof looked for.
    at(key, 0) = rawEntry(0x6001, 0x1111, 0, INF, 20, 0, 1);
    at(key, 1) = rawEntry(0x6002, 0x1111, 0, INF, 20, 0, 1);
    table.recount();
    TableEntry* proof = table.store(provedNode(key), 5);
    ASSERT_EQ(proof, &at(key, 2));
    table.finalDepthBound = 10;
    table.purgeOutsideWindow();
    EXPECT_EQ(table.usedCount, 1u);
    EXPECT_TRUE(at(key, 0).isEmpty() && at(key, 0).isFree());
    EXPECT_EQ(table.probeProven(provedNode(key)), proof);

    at(key, 1) = VIRGIN;
    EXPECT_EQ(table.probeProven(provedNode(key)), nullptr);
}

TEST_F(TableTest, ProbesStopAtTheirWalkLimits) {
    uint64_t key = keyAt(40, SMALL_TABLE, 0x02, 6);
    for (int j = 0; j < 3; ++j) at(key, j) = rawEntry(0x6001 + j, 0x1111, 0, INF, 2, 0, 1);
    table.recount();
    TableEntry* open = table.store(openNode(key, 4), 0);
    ASSERT_EQ(open, &at(key, 3));
    table.openProbeMax = 2;
    Position probe = openNode(key, 4);
    EXPECT_EQ(table.probeOpen(probe), nullptr);
    table.openProbeMax = 3;
    EXPECT_EQ(table.probeOpen(probe), open);
}

TEST_F(TableTest, AProbeRevivesAFreeEntry) {
    struct ReviveCase {
        const char* name;
        Position stored;
        std::function<TableEntry*(PositionTable&, Position&)> probe;
    };
    uint64_t key = keyAt(50, SMALL_TABLE, 0x09, 8);
    const ReviveCase cases[] = {
        {"proof", provedNode(key), [](PositionTable& t, Position& p) { return t.probeProven(p); }},
        {"disproof", disprovedNode(key), [](PositionTable& t, Position& p) { return t.probeFinal(p, 9); }},
        {"bounded", boundedNode(key), [](PositionTable& t, Position& p) { return t.probeNonProof(p); }},
        {"loop", loopNode(key, 4, 1), [](PositionTable& t, Position& p) { return t.probeLoop(p); }},
        {"open", openNode(key, 4), [](PositionTable& t, Position& p) { return t.probeOpen(p); }},
    };
    for (ReviveCase c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(table.createSlots(SMALL_TABLE));
        table.store(openNode(keyAt(500, SMALL_TABLE, 0x09, 9), 4), 0);  // something else in use
        TableEntry* e = table.store(c.stored, 5);
        ASSERT_NE(e, nullptr);
        e->flags |= TableEntry::FREE;
        table.recount();
        ASSERT_EQ(table.usedCount, 1u);
        EXPECT_EQ(c.probe(table, c.stored), e);
        EXPECT_FALSE(e->isFree());
        EXPECT_TRUE(e->isReferenced());
        EXPECT_EQ(table.usedCount, 2u);
        EXPECT_EQ(countUsed(table), 2u);
    }
}

// A fresh table reads its never-written pages as empty without looking at them; entries a checkpoint
// restore copies into it must be found all the same, with nothing but the restore's own call.
TEST(TableRestore, EntriesReadBackIntoAFreshTableAreFound) {
    PositionTable saved, restored;
    ASSERT_TRUE(saved.createSlots(SMALL_TABLE));
    ASSERT_TRUE(restored.createSlots(SMALL_TABLE));
    const uint64_t key = keyAt(300, SMALL_TABLE, 0x11, 4);
    ASSERT_NE(saved.store(provedNode(key), 7), nullptr);
    std::copy(saved.entries.get(), saved.entries.get() + SMALL_TABLE, restored.entries.get());
    restored.provenProbeMax = saved.provenProbeMax;
    restored.restoredEntries();
    const TableEntry* found = restored.probeProven(provedNode(key));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->depth, 7);
}

// A table restored from a checkpoint (its entries copied in from outside) finds its loop entries
// again, as the table that stored them did.
TEST(TableRestore, LoopEntriesReadBackAreFoundAgain) {
    PositionTable saved, restored;
    ASSERT_TRUE(saved.createSlots(SMALL_TABLE));
    ASSERT_TRUE(restored.createSlots(SMALL_TABLE));
    Position loop = loopNode(keyAt(70, SMALL_TABLE, 0x05, 3), 6, 2);
    ASSERT_NE(saved.store(loop, 5), nullptr);
    ASSERT_NE(saved.probeLoop(loop), nullptr);
    std::copy(saved.entries.get(), saved.entries.get() + SMALL_TABLE, restored.entries.get());
    restored.nonProofProbeMax = saved.nonProofProbeMax;
    restored.openProbeMax = saved.openProbeMax;
    restored.provenProbeMax = saved.provenProbeMax;
    restored.recount();
    restored.restoredEntries();
    const TableEntry* found = restored.probeLoop(loop);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->loopPly, 2);
}

TEST_F(TableTest, KeysWithoutStoredBitsAreNeverStoredNorFound) {
    // The root's path key is 0: its loop entry would read as an empty slot.
    Position root = loopNode(0, 0, 0);
    EXPECT_EQ(table.store(root, 0), nullptr);
    EXPECT_EQ(table.store(provedNode(0xffff), 3), nullptr);
    EXPECT_EQ(table.usedCount, 0u);
    // A tombstone at the start slot of key 0 must not be taken for its entry.
    table.entries[0] = TOMBSTONE;
    table.entries[0].flags |= TableEntry::LOOP;
    table.nonProofProbeMax = 5;
    EXPECT_EQ(table.probeLoop(root), nullptr);
    EXPECT_EQ(table.usedCount, 0u);
}

// --- generations ---

TEST(TableGenerations, AdvanceEveryPeriodAndWrapAfterFifteen) {
    PositionTable t;
    ASSERT_TRUE(t.createSlots(150));  // a generation lasts 10 ticks
    ASSERT_EQ(t.generationPeriod, 10u);
    uint64_t key = keyAt(0, 150, 0x01, 1);
    TableEntry* e = t.store(openNode(key, 1), 0);  // tick 1
    int advances = 0;
    for (int tick = 2; tick <= 150; ++tick) {
        int before = t.generation;
        Position p = openNode(key, 1);
        ASSERT_EQ(tick % 2 == 0 ? t.probeOpen(p) : t.store(p, 0), e);
        EXPECT_EQ(e->generation(), before);
        if (tick % 10 == 0) {
            ++advances;
            EXPECT_EQ(t.previousGeneration, before);
            EXPECT_EQ(t.generation, advances % 15 + 1);
        } else {
            EXPECT_EQ(t.generation, before);
        }
    }
    EXPECT_EQ(advances, 15);
    EXPECT_EQ(t.generation, 1);
    EXPECT_EQ(t.previousGeneration, 15);
}

// --- purges ---

struct PurgeCase {
    const char* name;
    TableEntry entry;
    bool purged;
};

TEST_F(TableTest, PurgeOutsideWindow) {
    table.finalDepthBound = 9;
    table.openPlyBound = 4;
    const PurgeCase cases[] = {
        {"open below the ply bound", other(0, 2, 2, 3, 0, 1), true},
        {"open at the ply bound", other(0, 2, 2, 4, 0, 1), false},
        {"loop below the ply bound", other(0, CAP, 0, 3, 0, 1, TableEntry::LOOP), true},
        {"loop at the ply bound", other(0, CAP, 0, 4, 0, 1, TableEntry::LOOP), false},
        {"proof longer than the bound", other(0, 0, INF, 10, 0, 1), true},
        {"proof at the bound", other(0, 0, INF, 9, 0, 1), false},
        {"disproof", other(0, INF, 0, NO_PLY, 0, 1), true},
        {"bounded deeper than the bound", other(0, CAP, 0, 12, 0, 1), true},
        {"bounded within the bound", other(0, CAP, 0, 2, 0, 1), false},
        {"protected proof", other(0, 0, INF, 10, 0, 1, TableEntry::PROTECTED), false},
        {"free proof", other(0, 0, INF, 10, 0, 1, TableEntry::FREE), false},
    };
    for (const PurgeCase& c : cases) {
        SCOPED_TRACE(c.name);
        table.entries[7] = c.entry;
        table.recount();
        uint64_t used = table.usedCount;
        table.purgeOutsideWindow();
        if (c.purged) {
            EXPECT_EQ(table.entries[7].isEmpty(), true);
            EXPECT_EQ(table.entries[7].flags, TableEntry::FREE);
            EXPECT_EQ(table.entries[7].loopPly, NO_PLY);
            EXPECT_EQ(table.entries[7].pn, 0u);
            EXPECT_EQ(table.usedCount, used - 1);
        } else {
            EXPECT_EQ(std::memcmp(&table.entries[7], &c.entry, sizeof(TableEntry)), 0);
            EXPECT_EQ(table.usedCount, used);
        }
    }
}

TEST_F(TableTest, PurgeLoopEntriesAndNonProofs) {
    const TableEntry loop = other(1, CAP, 0, 3, 0, 1, TableEntry::LOOP | TableEntry::PROTECTED);
    const TableEntry proof = other(2, 0, INF, 3, 0, 1);
    const TableEntry bounded = other(3, CAP, 0, 3, 0, 1);
    const TableEntry open = other(4, 2, 2, 3, 0, 1);
    const TableEntry protectedOpen = other(5, 2, 2, 3, 0, 1, TableEntry::PROTECTED);
    const TableEntry freeBounded = other(6, CAP, 0, 3, 0, 1, TableEntry::FREE);
    const TableEntry all[] = {loop, proof, bounded, open, protectedOpen, freeBounded};
    for (size_t i = 0; i < std::size(all); ++i) table.entries[i] = all[i];
    table.recount();
    ASSERT_EQ(table.usedCount, 5u);

    table.purgeLoopEntries();
    EXPECT_TRUE(table.entries[0].isEmpty());
    EXPECT_EQ(table.usedCount, 4u);
    for (size_t i = 1; i < std::size(all); ++i)
        EXPECT_EQ(std::memcmp(&table.entries[i], &all[i], sizeof(TableEntry)), 0);

    table.purgeNonProofs();
    EXPECT_FALSE(table.entries[1].isEmpty());  // proof
    EXPECT_TRUE(table.entries[2].isEmpty());   // bounded
    EXPECT_TRUE(table.entries[3].isEmpty());   // open
    EXPECT_FALSE(table.entries[4].isEmpty());  // protected
    EXPECT_FALSE(table.entries[5].isEmpty());  // already free: left as it is
    EXPECT_EQ(table.usedCount, 2u);
    EXPECT_EQ(table.usedCount, countUsed(table));
}

TEST_F(TableTest, UsageIsAPercentageOfTheSlots) {
    for (int i = 0; i < 10; ++i) table.entries[i] = other(i, 2, 2, 1, 0, 1);
    table.recount();
    EXPECT_DOUBLE_EQ(table.usage(), 1000.0 / SMALL_TABLE);
}

// A large table that a search writes across asks the system for the rest of its memory on a thread of
// its own; the entries stored while that runs are all found afterwards, and giving the table back
// stops it. A small table never starts it.
TEST(TableFilling, EntriesStoredWhileTheMemoryIsFilledStayFound) {
    PositionTable small;
    ASSERT_TRUE(small.createSlots(SMALL_TABLE));
    for (uint64_t i = 1; i <= SMALL_TABLE / 2; ++i) small.store(provedNode(i * 0x9e3779b97f4a7c15ULL), 3);
    EXPECT_FALSE(small.fillingStarted());

    PositionTable t;
    ASSERT_TRUE(t.createSlots(16 * TABLE_SLOTS_PER_BLOCK - 1));  // 320 MB
    std::vector<uint64_t> keys;
    uint64_t key = 0x2545f4914f6cdd1dULL;
    while (!t.fillingStarted() && keys.size() < 1000000) {
        key = key * 6364136223846793005ULL + 1442695040888963407ULL;
        ASSERT_NE(t.store(provedNode(key), static_cast<int16_t>(keys.size() % 50)), nullptr);
        keys.push_back(key);
    }
    ASSERT_TRUE(t.fillingStarted());
    for (int i = 0; i < 100000; ++i) {
        key = key * 6364136223846793005ULL + 1442695040888963407ULL;
        ASSERT_NE(t.store(provedNode(key), static_cast<int16_t>(keys.size() % 50)), nullptr);
        keys.push_back(key);
    }
    for (size_t i = 0; i < keys.size(); ++i) {
        const TableEntry* e = t.probeProven(provedNode(keys[i]));
        ASSERT_NE(e, nullptr) << i;
        ASSERT_EQ(e->depth, static_cast<int16_t>(i % 50)) << i;
    }
    EXPECT_EQ(t.recount(), keys.size());
    t.release();
    EXPECT_FALSE(t.fillingStarted());
}

// A large table keeps a bit for every slot it has used, and a lookup whose first slot has no bit is
// answered without reading the slot. A table restored from an image, or cleared, must know its used
// slots again, or it would lose what it holds.
TEST(TableUsedSlots, ARestoredOrClearedLargeTableFindsWhatItHolds) {
    const uint64_t slots = 16 * TABLE_SLOTS_PER_BLOCK - 1;  // 320 MB, large enough to keep the bits
    PositionTable t;
    ASSERT_TRUE(t.createSlots(slots));
    std::vector<uint64_t> keys;
    uint64_t key = 0x9e3779b97f4a7c15ULL;
    auto next = [&key] { return key = key * 6364136223846793005ULL + 1442695040888963407ULL; };
    for (int i = 0; i < 50000; ++i) {
        ASSERT_NE(t.store(provedNode(next()), static_cast<int16_t>(i % 50)), nullptr);
        keys.push_back(key);
    }
    ASSERT_TRUE(t.fillingStarted());

    PositionTable restored;
    ASSERT_TRUE(restored.createSlots(slots));
    std::copy(t.entries.get(), t.entries.get() + slots, restored.entries.get());
    restored.restoredEntries();
    restored.provenProbeMax = t.provenProbeMax;  // kept beside the image, as a checkpoint does
    for (size_t i = 0; i < keys.size(); ++i) {
        const TableEntry* e = restored.probeProven(provedNode(keys[i]));
        ASSERT_NE(e, nullptr) << i;
        ASSERT_EQ(e->depth, static_cast<int16_t>(i % 50)) << i;
    }

    t.clear();
    for (uint64_t k : keys) ASSERT_EQ(t.probeProven(provedNode(k)), nullptr);
    for (size_t i = 0; i < 1000; ++i) ASSERT_NE(t.store(provedNode(keys[i]), 7), nullptr);
    for (size_t i = 0; i < 1000; ++i) {
        const TableEntry* e = t.probeProven(provedNode(keys[i]));
        ASSERT_NE(e, nullptr) << i;
        EXPECT_EQ(e->depth, 7);
    }
}

}  // namespace
}  // namespace nagare
