// Helpers shared by the position-table tests: nodes with only the fields the table reads, keys that
// start at a chosen slot, raw slot contents, an independent walk of the probe sequence and a console
// that captures the table's text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "rules/position.h"
#include "table/position_table.h"

namespace nagare::testing {

class CaptureConsole final : public TableConsole {
  public:
    void write(std::string_view sjis) override { text.append(sjis); }
    bool atLineStart() override { return text.empty() || text.back() == '\n'; }
    std::string text;
};

inline Position node(uint64_t key, int32_t pn, int32_t dn) {
    Position p{};
    p.key = key;
    p.pn = pn;
    p.dn = dn;
    p.openPly = NO_PLY;
    p.loopPly = NO_PLY;
    return p;
}
inline Position provedNode(uint64_t key, uint64_t treeSize = 1) {
    Position p = node(key, 0, PN_INFINITE);
    p.treeSize = treeSize;
    return p;
}
inline Position disprovedNode(uint64_t key, uint64_t treeSize = 1) {
    Position p = node(key, PN_INFINITE, 0);
    p.treeSize = treeSize;
    return p;
}
inline Position boundedNode(uint64_t key, uint64_t treeSize = 1) {
    Position p = node(key, PN_CAP, 0);
    p.treeSize = treeSize;
    return p;
}
inline Position openNode(uint64_t key, int16_t ply, uint64_t effort = 1, int32_t pn = 3, int32_t dn = 5) {
    Position p = node(key, pn, dn);
    p.ply = ply;
    p.effort = effort;
    return p;
}
// A loop entry is filed under the path key; the position key is set to something unrelated.
inline Position loopNode(uint64_t pathKey, int16_t ply, int16_t loopPly, uint64_t treeSize = 1) {
    Position p = node(~pathKey, PN_CAP, 0);
    p.pathKey = pathKey;
    p.ply = ply;
    p.loopPly = loopPly;
    p.loopTainted = 1;
    p.treeSize = treeSize;
    return p;
}

// Probe i of key K looks at (K + i * step) mod tableSize, the sum wrapping in 64 bits, the step being
// key bits 48..55 or 1 when they are zero.
inline uint64_t probeSlot(uint64_t key, int i, uint64_t tableSize) {
    uint64_t step = (key >> 48) & 0xff;
    if (step == 0) step = 1;
    return (key + static_cast<uint64_t>(i) * step) % tableSize;
}

// A key with the given step byte and tag whose probe 0 is `start`.
inline uint64_t keyAt(uint64_t start, uint64_t tableSize, uint8_t step, uint32_t tag) {
    uint64_t k = static_cast<uint64_t>(tag & 0xff) << 56 | static_cast<uint64_t>(step) << 48 |
                 static_cast<uint64_t>(tag) << 24;
    return k + (start + tableSize - k % tableSize) % tableSize;
}

// Raw slot contents, as a checkpoint would restore them.
inline TableEntry rawEntry(uint32_t keyMid, uint16_t keyHigh, uint32_t pn, uint32_t dn, int16_t depth,
                           uint8_t level, int generation, uint8_t extraFlags = 0, int16_t loopPly = NO_PLY) {
    return TableEntry{pn,     dn,
                      keyMid, keyHigh,
                      depth,  loopPly,
                      level,  static_cast<uint8_t>(generation << TableEntry::GENERATION_SHIFT | extraFlags)};
}
inline TableEntry rawFor(uint64_t key, uint32_t pn, uint32_t dn, int16_t depth, uint8_t level, int generation,
                         uint8_t extraFlags = 0, int16_t loopPly = NO_PLY) {
    return rawEntry(static_cast<uint32_t>(key >> 16), static_cast<uint16_t>(key >> 48), pn, dn, depth, level,
                    generation, extraFlags, loopPly);
}

// A slot emptied by a purge: no key, marked free, passed over by probe walks.
inline const TableEntry TOMBSTONE = {0, 0, 0, 0, 0, NO_PLY, 0, TableEntry::FREE};

inline bool holdsKey(const TableEntry& e, uint64_t key) {
    return e.keyMid == static_cast<uint32_t>(key >> 16) && e.keyHigh == static_cast<uint16_t>(key >> 48);
}

inline uint64_t countUsed(const PositionTable& t) {
    uint64_t n = 0;
    for (uint64_t i = 0; i < t.tableSize; ++i)
        if ((t.entries[i].keyMid != 0 || t.entries[i].keyHigh != 0) && (t.entries[i].flags & 1) == 0) ++n;
    return n;
}

}  // namespace nagare::testing
