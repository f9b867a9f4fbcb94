// The hash-monitor dump ("ハッシュモニタ") of a crowded open store.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "table/position_table.h"
#include "table_test_support.h"

namespace nagare {
namespace {

using namespace nagare::testing;

constexpr uint64_t SIZE = 1009;
constexpr uint64_t START = 200;
constexpr int OLD = 9;

// The text the dump must show for the 100 probed slots as they were before the store.
std::string expectedDump(uint64_t key, const std::vector<TableEntry>& probed, int lastProbe, int written) {
    char buffer[256];
    std::string text = "\n登録データ：\n";
    std::snprintf(buffer, sizeof buffer,
                  "ハッシュ値：%" PRIx64 "　インデックス：%" PRIx64 "　手数：6 (3, 7), Level4\n", key >> 16,
                  START);
    text += buffer;
    for (int i = 0; i <= lastProbe; ++i) {
        const TableEntry& e = probed[i];
        if (holdsKey(e, key)) text += "***";
        uint64_t stored = static_cast<uint64_t>(e.keyHigh) << 32 | e.keyMid;
        std::snprintf(buffer, sizeof buffer, "%d：%" PRIx64 "　手数：%d (%u, %u), Level%u", i + 1, stored,
                      e.depth, e.pn, e.dn, e.level);
        text += buffer;
        if (e.flags & TableEntry::PROTECTED) text += ", Protected";
        if (e.loopPly != NO_PLY) text += ", Loop:" + std::to_string(e.loopPly);
        text += "\n";
    }
    text += "\n";
    if (written >= 0) text += std::to_string(written + 1) + "番のデータを上書き\n";
    return text;
}

struct DumpCase {
    const char* name;
    bool monitorOn;
    int emptyAt;   // probe index of the first empty slot, or -1
    int victimAt;  // probe index of an old open entry, or -1
    bool printed;
    int lastProbe;
    int written;
};

TEST(HashMonitor, DumpsAStoreThatReachesTheHundredthProbe) {
    const DumpCase cases[] = {
        {"slot found at probe 99 (the 100th)", true, 99, -1, true, 99, 99},
        {"slot found at probe 98: nothing shown", true, 98, -1, false, 0, 0},
        {"all probes used, victim overwritten", true, -1, 42, true, 99, 42},
        {"all probes used, nothing stored", true, -1, -1, true, 99, -1},
        {"monitor off", false, 99, -1, false, 0, 0},
    };
    const uint64_t key = keyAt(START, SIZE, 0x0d, 5);
    for (const DumpCase& c : cases) {
        SCOPED_TRACE(c.name);
        PositionTable t;
        ASSERT_TRUE(t.createSlots(SIZE));
        CaptureConsole out;
        t.console = &out;
        t.hashMonitor = c.monitorOn;
        // Entries an open store passes over: proofs, one of this very position, non-proofs, a loop entry.
        for (int j = 0; j < TABLE_STORE_PROBES; ++j) {
            TableEntry& e = t.entries[probeSlot(key, j, SIZE)];
            e = rawEntry(0xa000 + j, 0x0c0d, 0, PN_INFINITE, static_cast<int16_t>(j % 7), j % 5, OLD);
            if (j == 0) e = rawFor(key, 0, PN_INFINITE, 11, 3, OLD);
            if (j == 1) e.flags |= TableEntry::PROTECTED;
            if (j == 2) e = rawEntry(0xb002, 0x0c0d, PN_CAP, 0, 12, 1, OLD, TableEntry::LOOP, 3);
            if (j == 3) e = rawEntry(0xb003, 0x0c0d, PN_INFINITE, 0, NO_PLY, 2, OLD);
            if (j == c.emptyAt) e = TOMBSTONE;
            if (j == c.victimAt) e = rawEntry(0xc000, 0x0c0d, 5, 6, 4, 0, OLD);
        }
        t.recount();
        std::vector<TableEntry> before;
        for (int j = 0; j < TABLE_STORE_PROBES; ++j) before.push_back(t.entries[probeSlot(key, j, SIZE)]);

        TableEntry* e = t.store(openNode(key, 6, 1 << 4, 3, 7), 0);

        if (c.written >= 0 || c.emptyAt >= 0)
            EXPECT_NE(e, nullptr);
        else
            EXPECT_EQ(e, nullptr);
        EXPECT_EQ(out.text, c.printed ? expectedDump(key, before, c.lastProbe, c.written) : "");
    }
}

}  // namespace
}  // namespace nagare
