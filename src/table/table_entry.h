// One slot of the position table: the 20-byte entry, as it is held in memory and written to a
// checkpoint.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "rules/position.h"

namespace nagare {

// One slot, 20 bytes, little-endian, no padding. A checkpoint writes this image raw for every slot,
// so the layout below is fixed:
//   offset  bytes  field
//        0      4  pn       proof number of the stored node
//        4      4  dn       disproof number of the stored node
//        8      4  keyMid   bits 16..47 of the key the entry is filed under
//       12      2  keyHigh  bits 48..63 of that key
//       14      2  depth    proof length, remaining depth, NO_PLY or ply, by kind ("手数")
//       16      2  loopPly  a loop entry's repetition ply; NO_PLY for every other kind
//       18      1  level    log2 of the work the entry stands for ("探索レベル")
//       19      1  flags    bit 0 free, 1 protected, 2 loop, 3 referenced, 4..7 generation (1..15)
// Key bits 0..15 are not kept: they only choose the start slot. A slot whose key bits are all zero is
// empty; an empty slot with no flags is virgin and ends every probe walk, an empty slot marked free is
// a tombstone left by a purge, which walks pass over.
struct TableEntry {
    uint32_t pn;
    uint32_t dn;
    uint32_t keyMid;
    uint16_t keyHigh;
    int16_t depth;
    int16_t loopPly;
    uint8_t level;
    uint8_t flags;

    static constexpr uint8_t FREE = 1;
    static constexpr uint8_t PROTECTED = 2;
    static constexpr uint8_t LOOP = 4;
    static constexpr uint8_t REFERENCED = 8;
    static constexpr int GENERATION_SHIFT = 4;
    static constexpr uint8_t STATE_BITS = 0x0f;  // every flag below the generation

    bool isEmpty() const { return keyMid == 0 && keyHigh == 0; }
    bool isVirgin() const { return isEmpty() && flags == 0; }
    bool isFree() const { return (flags & FREE) != 0; }
    bool isUsed() const { return !isEmpty() && !isFree(); }
    bool isProtected() const { return (flags & PROTECTED) != 0; }
    bool isLoop() const { return (flags & LOOP) != 0; }
    bool isReferenced() const { return (flags & REFERENCED) != 0; }
    int generation() const { return flags >> GENERATION_SHIFT; }

    bool isProved() const { return pn == 0; }
    bool isDisproved() const { return pn == static_cast<uint32_t>(PN_INFINITE); }
    bool isOpen() const { return pn != 0 && dn != 0; }
    // Disproved or bounded: no proof within the stored depth (loop entries included).
    bool isNonProof() const { return pn != 0 && dn == 0; }
    // The 48 stored key bits, as keyHigh * 2^32 + keyMid.
    static constexpr int KEY_HIGH_POSITION = 32;
    uint64_t storedKey() const { return static_cast<uint64_t>(keyHigh) << KEY_HIGH_POSITION | keyMid; }
};

static_assert(sizeof(TableEntry) == 20);
static_assert(offsetof(TableEntry, pn) == 0);
static_assert(offsetof(TableEntry, dn) == 4);
static_assert(offsetof(TableEntry, keyMid) == 8);
static_assert(offsetof(TableEntry, keyHigh) == 12);
static_assert(offsetof(TableEntry, depth) == 14);
static_assert(offsetof(TableEntry, loopPly) == 16);
static_assert(offsetof(TableEntry, level) == 18);
static_assert(offsetof(TableEntry, flags) == 19);
static_assert(std::endian::native == std::endian::little, "the checkpoint image is little-endian");

}  // namespace nagare
