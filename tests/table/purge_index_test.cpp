// The window purges scan only the blocks their index names: after any mix of stores of every kind,
// protection, space recovery, entries brought back by a probe and restored checkpoints, they must
// remove exactly what a scan of the whole table removes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "table/position_table.h"
#include "table_test_support.h"

namespace nagare {
namespace {

using namespace testing;

// The purges as plain scans of every slot.
void referencePurgeOutsideWindow(std::vector<TableEntry>& slots, int16_t openPlyBound,
                                 int16_t finalDepthBound, uint64_t& used) {
    for (TableEntry& slot : slots) {
        if (!slot.isUsed() || slot.isProtected()) continue;
        const bool stillAtPly = slot.isOpen() || slot.isLoop();
        if (stillAtPly ? slot.depth < openPlyBound : slot.depth > finalDepthBound) {
            slot = TOMBSTONE;
            --used;
        }
    }
}
void referencePurgeLoops(std::vector<TableEntry>& slots, uint64_t& used) {
    for (TableEntry& slot : slots)
        if (slot.isUsed() && slot.isLoop()) {
            slot = TOMBSTONE;
            --used;
        }
}

std::vector<TableEntry> copyOf(const PositionTable& t) {
    return std::vector<TableEntry>(t.entries.get(), t.entries.get() + t.tableSize);
}

void expectSame(const PositionTable& t, const std::vector<TableEntry>& want, uint64_t wantUsed) {
    ASSERT_EQ(std::memcmp(t.entries.get(), want.data(), want.size() * sizeof(TableEntry)), 0);
    EXPECT_EQ(t.usedCount, wantUsed);
}

TEST(PurgeIndex, PurgesRemoveWhatAWholeScanRemoves) {
    std::mt19937_64 random(20261210);
    PositionTable table;
    CaptureConsole console;
    table.console = &console;
    // Not a multiple of the block size, so that the last block is a short one.
    ASSERT_TRUE(table.createSlots(3001));
    table.recoveryLimit = 2000;  // recovery runs now and then, freeing entries a probe may bring back
    std::vector<Position> stored;
    for (int round = 0; round < 400; ++round) {
        for (int i = 0; i < 40; ++i) {
            const uint64_t key = random() | (uint64_t{1} << 40);
            const int16_t ply = static_cast<int16_t>(random() % 40);
            const int16_t depth = static_cast<int16_t>(random() % 40);
            Position n;
            switch (random() % 5) {
                case 0:
                    n = provedNode(key, random() % 1000);
                    break;
                case 1:
                    n = disprovedNode(key, random() % 1000);
                    break;
                case 2:
                    n = boundedNode(key, random() % 1000);
                    break;
                case 3:
                    n = openNode(key, ply, random() % 1000);
                    break;
                default:
                    n = loopNode(key, ply, static_cast<int16_t>(ply / 2), random() % 1000);
                    break;
            }
            n.ply = ply;
            if (TableEntry* e = table.store(n, depth); e != nullptr && random() % 10 == 0) table.protect(*e);
            stored.push_back(n);
        }
        // Probes bring back entries that recovery freed.
        for (int i = 0; i < 20 && !stored.empty(); ++i) {
            Position& n = stored[random() % stored.size()];
            table.probeFinal(n, 40);
            table.probeOpen(n);
            table.probeLoop(n);
        }
        if (round % 50 == 49) table.restoredEntries();

        std::vector<TableEntry> want = copyOf(table);
        uint64_t wantUsed = table.usedCount;
        if (random() % 3 == 0) {
            referencePurgeLoops(want, wantUsed);
            table.purgeLoopEntries();
        } else {
            table.openPlyBound = static_cast<int16_t>(random() % 40);
            table.finalDepthBound = random() % 8 == 0 ? NO_PLY : static_cast<int16_t>(random() % 40);
            referencePurgeOutsideWindow(want, table.openPlyBound, table.finalDepthBound, wantUsed);
            table.purgeOutsideWindow();
        }
        SCOPED_TRACE(round);
        expectSame(table, want, wantUsed);
        if (::testing::Test::HasFatalFailure()) return;
    }
}

TEST(PurgeIndex, AnEntryBroughtBackAfterItsBlockWasSummedUpIsStillPurged) {
    PositionTable table;
    ASSERT_TRUE(table.createSlots(3001));
    const Position n = disprovedNode(0x0123456789abcdefULL);
    TableEntry* e = table.store(n, 0);
    ASSERT_NE(e, nullptr);
    // Recovery frees the entry but keeps its key; a purge then sums the block up without it.
    e->flags |= TableEntry::FREE;
    --table.usedCount;
    table.finalDepthBound = 10;
    table.purgeOutsideWindow();
    ASSERT_NE(table.probeFinal(n, 5), nullptr);  // the probe brings it back
    EXPECT_FALSE(e->isFree());
    table.purgeOutsideWindow();
    EXPECT_EQ(table.probeFinal(n, 5), nullptr);
    EXPECT_EQ(table.usedCount, 0u);
}

}  // namespace
}  // namespace nagare
