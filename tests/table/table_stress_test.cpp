// A small table driven far past its size by a deterministic mix of every store and probe, with the
// table's invariants checked against independent recomputation after every recovery.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <unordered_set>
#include <vector>

#include "table/position_table.h"
#include "table_test_support.h"

namespace nagare {
namespace {

using namespace nagare::testing;

constexpr uint64_t SIZE = 4001;
constexpr uint64_t POSITIONS = 3 * SIZE;
constexpr int OPERATIONS = 400000;
constexpr int CHECK_EVERY = 997;

uint64_t mix(uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}
uint64_t positionKey(uint64_t i) {
    return mix(i) | uint64_t{1} << 40;
}
uint64_t pathKey(uint64_t i) {
    return mix(i + POSITIONS) | uint64_t{1} << 40;
}

// A proof of the key that is in use, found along the key's walk without touching anything.
bool holdsLiveProof(const PositionTable& t, uint64_t key) {
    for (int i = 0; i <= t.provenProbeMax; ++i) {
        const TableEntry& e = t.entries[probeSlot(key, i, t.tableSize)];
        if (e.isVirgin()) return false;
        if (holdsKey(e, key) && e.pn == 0 && !e.isFree()) return true;
    }
    return false;
}

class TableStress : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(table.createSlots(SIZE));
        table.console = &out;
    }

    // Every proof stored and not since freed by recovery must still be there.
    void checkProofs() {
        for (uint64_t key : proofs) ASSERT_TRUE(holdsLiveProof(table, key)) << std::hex << key;
    }

    // Open-heavy phases let recovery get by with open entries; the others send it to the weighted
    // choice over all kinds.
    void storeRandom(uint64_t r, bool openHeavy) {
        uint64_t which = r % POSITIONS;
        uint64_t key = positionKey(which);
        uint64_t size = uint64_t{1} << (r >> 8) % 24;
        int16_t ply = static_cast<int16_t>((r >> 16) % 20);
        int kind = static_cast<int>((r >> 32) % 60);
        if (openHeavy) kind = kind < 3 ? kind : kind < 50 ? 15 + kind % 20 : kind;
        if (kind < 15) {
            TableEntry* e = table.store(provedNode(key, size), static_cast<int16_t>(1 + ply));
            if (e == nullptr) return;
            proofs.insert(key);
            if ((r >> 40) % 20 == 0) table.protect(*e);
        } else if (kind < 35) {
            table.store(openNode(key, ply, size, 1 + static_cast<int32_t>(r >> 44) % 50, 1), 0);
        } else if (kind < 42) {
            table.store(disprovedNode(key, size), 0);
        } else if (kind < 50) {
            table.store(boundedNode(key, size), ply);
        } else {
            table.store(loopNode(pathKey(which), ply, static_cast<int16_t>(ply / 2), size), 0);
        }
    }

    void probeRandom(uint64_t r) {
        uint64_t which = r % POSITIONS;
        Position p = provedNode(positionKey(which));
        p.pathKey = pathKey(which);
        p.ply = static_cast<int16_t>((r >> 16) % 20);
        p.openPly = NO_PLY;
        switch ((r >> 32) % 5) {
            case 0:
                table.probeFinal(p, p.ply);
                break;
            case 1: {
                TableEntry* e = table.probeProven(p);
                if (proofs.count(p.key) != 0) {
                    ASSERT_NE(e, nullptr);
                    ASSERT_EQ(e->pn, 0u);
                }
                break;
            }
            case 2:
                table.probeOpen(p);
                break;
            case 3:
                table.probeLoop(p);
                break;
            default:
                table.probeNonProof(p);
                break;
        }
    }

    PositionTable table;
    CaptureConsole out;
    std::unordered_set<uint64_t> proofs;
};

TEST_F(TableStress, InvariantsHoldThroughManyRecoveries) {
    std::mt19937_64 random(20240601);
    int recoveries = 0;
    int openChoices = 0;
    int weightedChoices = 0;
    std::vector<TableEntry> before(SIZE);
    for (int op = 0; op < OPERATIONS; ++op) {
        uint64_t r = random();
        if (r % 4 == 0) {
            ASSERT_NO_FATAL_FAILURE(probeRandom(random()));
            continue;
        }
        bool recovering = table.usedCount > table.recoveryLimit;
        int generation = table.generation;
        int previous = table.previousGeneration;
        if (recovering) before.assign(table.entries.get(), table.entries.get() + SIZE);

        storeRandom(random(), op / (OPERATIONS / 4) % 2 == 0);

        if (recovering) {
            ++recoveries;
            ASSERT_EQ(table.usedCount, countUsed(table));
            ASSERT_LE(table.usedCount, SIZE / 2 + 1);
            bool freedFinalResults = false;
            for (uint64_t i = 0; i < SIZE; ++i) {
                const TableEntry& was = before[i];
                if (!was.isUsed()) continue;
                if (!was.isOpen() && table.entries[i].isFree()) freedFinalResults = true;
                bool spared =
                    was.isProtected() || was.generation() == generation || was.generation() == previous;
                if (spared) {
                    ASSERT_TRUE(table.entries[i].isUsed()) << "slot " << i;
                }
            }
            ++(freedFinalResults ? weightedChoices : openChoices);
            // Proofs freed by this recovery may now be overwritten by any store.
            for (auto it = proofs.begin(); it != proofs.end();)
                it = holdsLiveProof(table, *it) ? std::next(it) : proofs.erase(it);
        }
        if (op % CHECK_EVERY == 0) {
            ASSERT_EQ(table.usedCount, countUsed(table));
            ASSERT_NO_FATAL_FAILURE(checkProofs());
        }
    }
    ASSERT_NO_FATAL_FAILURE(checkProofs());
    EXPECT_GT(recoveries, 50);
    EXPECT_GT(openChoices, 10);
    EXPECT_GT(weightedChoices, 10);
    EXPECT_GT(proofs.size(), 100u);
}

}  // namespace
}  // namespace nagare
