// The position table: the solver's memory of searched positions. One fixed block of 20-byte entries,
// open-addressed, allocated once for the run. Proofs, disproofs, depth-bounded non-proofs, results that
// depend on a repetition (loop entries) and open nodes live side by side; when the table fills up,
// space recovery marks the entries that stand for the least work free for reuse.
#pragma once

#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/threads.h"
#include "rules/position.h"
#include "table/bit_array.h"
#include "table/fast_modulo.h"
#include "table/fixed_text.h"
#include "table/hand_table.h"
#include "table/purge_index.h"
#include "table/table_entry.h"
#include "table/used_slots.h"
#include "table/written_pages.h"

namespace nagare {

// Where the table writes its console text (the hash-monitor dump and the recovery report). The run
// uses the real console; a test substitutes its own to capture the Shift-JIS bytes.
class TableConsole {
  public:
    virtual void write(std::string_view sjis) = 0;
    virtual bool atLineStart() = 0;

  protected:
    ~TableConsole() = default;
};
TableConsole& systemTableConsole();

constexpr uint64_t TABLE_MIN_MEGABYTES = 20;
constexpr uint64_t TABLE_MEGABYTES_PER_BLOCK = 20;  // 2^20 entries of 20 bytes fill 20 MB
constexpr uint64_t TABLE_SLOTS_PER_BLOCK = 1048576;
constexpr int TABLE_STORE_PROBES = 100;  // a store looks at probes 0..99
constexpr int TABLE_GENERATIONS = 15;    // generations run 1..15, never 0
constexpr int LEVEL_BUCKETS = 64;
constexpr double PERCENT = 100;  // levels 0..62 and one bucket for 63 and more

// What recovery's survey counts among the used entries.
struct TableKindCounts {
    int64_t used;
    int64_t proved;
    int64_t disproved;
    int64_t bounded;
    int64_t loop;
    int64_t open;
    int64_t referenced;
};

// Gives the table's block back to the system.
struct EntryBlockDeleter {
    size_t bytes = 0;
    void operator()(TableEntry* block) const;
};

class PositionTable {
  public:
    // --- the persistent state (a checkpoint saves and restores exactly these and the entries) ---
    std::unique_ptr<TableEntry[], EntryBlockDeleter>
        entries;                       // tableSize + 1 entries; the last is never addressed
    uint64_t usedCount = 0;            // slots that are not empty and not free
    uint64_t peakCount = 0;            // largest usedCount seen
    uint64_t tableSize = 0;            // addressable slots, the modulus of the start slot
    int16_t finalDepthBound = NO_PLY;  // purgeOutsideWindow: proofs and non-proofs deeper go
    int16_t openPlyBound = 0;          // purgeOutsideWindow: open and loop entries shallower go
    int32_t generation = 1;
    int32_t previousGeneration = 0;
    int32_t openProbeMax = 0;      // longest walk an open store needed ("リトライ")
    int32_t provenProbeMax = 0;    // ... a proved store ("詰リトライ")
    int32_t nonProofProbeMax = 0;  // ... a loop or non-proof store ("不詰リトライ")

    // --- the rest ---
    std::string checkpointPath;
    double recoveryFraction = 0.8;  // fill ratio above which recovery runs
    uint64_t recoveryLimit = 0;     // tableSize * recoveryFraction, truncated
    double retainFraction = 0.5;    // fraction of tableSize that recovery leaves in use
    uint64_t generationPeriod = 0;  // tableSize / 15: ticks per generation
    uint64_t generationTicks = 0;   // stores and probe hits since the generation last advanced
    std::array<int64_t, LEVEL_BUCKETS> levelHistogram{};  // recovery's work area
    TableKindCounts kindCounts{};                         // recovery's survey of the last run

    // Final results stored so far, proofs and non-proofs (loop entries included) apart: while
    // neither count moves, the table can tell a fresh child nothing new of that kind.
    uint32_t provedStores = 0;
    uint32_t nonProofStores = 0;

    // Hand dominance: final results are also filed by board in `hands` with the range of hands they
    // hold for, and a probe that finds no exact entry asks there. Set by whoever prepares the search,
    // for the rules where it is sound; `hands` is allocated with the table and starts empty.
    bool handDominance = false;
    // Under 最善詰 a second-player position out of check (only a root can be one) is matched exactly
    // only: with a hand poorer by a piece it could be a stalemate, which does not count.
    bool handsNeedCheck = false;
    HandTable hands;

    // Console options, set by whoever creates the table.
    bool hashMonitor = false;      // "ハッシュモニタ": dump the probes of a crowded open store
    bool detailedMonitor = false;  // "詳細モニタ": recovery's extra lines
    TableConsole* console = &systemTableConsole();

    // Addressable slots for a memory option in megabytes (at least 20; smaller values are raised).
    static uint64_t slotCountFor(uint64_t megabytes);
    // The memory a table for the memory option takes in all: the entries and what is kept beside them.
    static uint64_t bytesFor(uint64_t megabytes);
    // Allocates tableSize + 1 entries for the memory option and clears them. False when the memory
    // cannot be had; the table is then left without entries.
    bool create(uint64_t megabytes);
    // The same for a table of exactly `slots` addressable slots (tests and tools build small ones).
    bool createSlots(uint64_t slots);
    // Gives the entries back; the counters stay readable.
    void release();
    ~PositionTable() { stopFilling(); }
    // Whether the thread that asks the system for the table's memory ahead of the search was started.
    bool fillingStarted() const { return filler_.started(); }

    // Every slot fresh, the purge window wide open, usedCount recounted. Generations and probe maxima
    // are kept.
    void clear();
    // Recounts usedCount from the slots, raises peakCount to it and returns it. Entries written into
    // the slots from outside are known to the probes and the purges again after it.
    uint64_t recount();

    // Files the finished node under its kind: proved (pn 0), open (pn and dn non-zero), loop (dn 0
    // and loopTainted) or non-proof (dn 0). `value` is the proof length of a proved node and the
    // remaining depth of a bounded non-proof. Returns the slot written or refreshed, or null when all
    // probes were taken by entries the store may not displace.
    TableEntry* store(const Position& node, int16_t value);
    // The same, and under hand dominance the result is filed by board for the hands in `bounds` (the
    // plain store files it for the node's own hands).
    TableEntry* store(const Position& node, int16_t value, const HandBounds& bounds);

    // A final result by key: a proof no longer than d, a disproof, or a bounded non-proof at least d
    // deep; loop entries are ignored.
    TableEntry* probeFinal(const Position& node, int d);
    // A proof by key, whatever its length; under hand dominance the shortest of the exact one and
    // those lent across hands.
    TableEntry* probeProven(const Position& node);
    // The proof kept for exactly this position, whatever its length; nothing lent across hands.
    TableEntry* probeProvenExact(const Position& node);
    // The open entry stored for this position at the node's ply. Open entries of the position at
    // shallower plies met on the way lower node.openPly.
    TableEntry* probeOpen(Position& node);
    // A loop entry by pathKey: the result of this very move sequence, which depends on a repetition.
    TableEntry* probeLoop(const Position& node);
    // A disproof or bounded non-proof by key, whatever its depth; loop entries are ignored.
    TableEntry* probeNonProof(const Position& node);

    // Starts loading what the probes of a fresh child will read first: the first slot of its key's
    // probe sequence (once the used-slot bits are kept, that slot's bit instead), the word of the hand
    // table's board filter for its board and the loop filter's word for its path key. The child is
    // `parent` after the move whose keys are `k`.
    void prefetchChild(const Position& parent, const MoveKeys& k) const {
        if (tableSize == 0) return;
        uint64_t slot = slotOf_(k.key);
        // GCC drops a prefetch whose address comes out of the 128-bit remainder, as if it were dead
        // code; passing the slot through an empty asm keeps it.
        asm volatile("" : "+r"(slot));
        if (usedSlots_.on())
            usedSlots_.prefetch(slot);
        else
            prefetchSlot(slot);
        if (handDominance) hands.prefetch(k.boardKey, opponent(parent.sideToMove));
        loopFilter_.prefetch(loopFilterBit(parent.pathKey ^ k.moveKey));
    }

    // The second half of a fresh child's prefetch, once the used-slot bits are kept: its first slot,
    // when that slot has been used. Issued after the children are built, so that the bit has come.
    void prefetchChildSlot(const MoveKeys& k) const {
        if (!usedSlots_.on()) return;
        uint64_t slot = slotOf_(k.key);
        asm volatile("" : "+r"(slot));
        if (usedSlots_.mayBeUsed(slot)) prefetchSlot(slot);
    }

    void protect(TableEntry& entry) { entry.flags |= TableEntry::PROTECTED; }
    // Protects the proof kept for exactly this position when it is at least `minLength` plies long:
    // the table's own entry, never the copy a probe hands out for a proof lent across hands. Returns
    // whether an entry was protected.
    bool protectProof(const Position& node, int minLength);
    // Every loop entry becomes a tombstone.
    void purgeLoopEntries();
    // Unprotected entries outside the window become tombstones: open and loop entries stored at a
    // ply below openPlyBound, final results whose depth exceeds finalDepthBound.
    void purgeOutsideWindow();
    // The entries were written from outside (a checkpoint restored them): the purge index forgets
    // what it knew, and the loop filter is set again from the loop entries.
    void restoredEntries();
    // Every unprotected entry that is not a proof becomes a tombstone, to make room before proofs
    // lost from the table are searched again.
    void purgeNonProofs();

    // usedCount as a percentage of tableSize.
    double usage() const;

    // Space recovery: when the table is fuller than recoveryFraction, marks free the entries of the
    // least work outside the protected generations until retainFraction of the table is in use.
    // Returns the number of entries freed.
    uint64_t recover();

    // A key whose stored bits (16..63) are all zero would read as an empty slot: such a key is never
    // stored and never found.
    static bool isStorableKey(uint64_t key) { return (key >> KEY_MID_SHIFT) != 0; }

  private:
    static constexpr int KEY_MID_SHIFT = 16;
    static constexpr int KEY_HIGH_SHIFT = 48;
    static constexpr uint64_t STEP_MASK = 0xff;  // the step is key bits 48..55
    static constexpr size_t MONITOR_TEXT_CAPACITY = 16384;

    // The new entry as store builds it from the node.
    struct NewEntry {
        uint64_t key;
        uint32_t pn;
        uint32_t dn;
        uint32_t keyMid;
        uint16_t keyHigh;
        int16_t depth;
        int16_t loopPly;
        uint8_t level;
        bool matches(const TableEntry& e) const { return e.keyMid == keyMid && e.keyHigh == keyHigh; }
    };

    class ProbeSequence;

    static uint8_t levelOf(uint64_t count);
    NewEntry buildEntry(const Position& node, int16_t value) const;
    TableEntry* storeProved(const NewEntry& e);
    TableEntry* storeOpen(const NewEntry& e);
    TableEntry* storeLoop(const NewEntry& e);
    TableEntry* storeNonProof(const NewEntry& e);
    void takeSlot(TableEntry& slot, const NewEntry& e);
    // A slot on a page never written: virgin, and answered without reading it.
    bool unwritten(const TableEntry& slot) const { return !written_.written(&slot, sizeof(TableEntry)); }
    // A slot known to be virgin without reading it.
    bool knownVirgin(uint64_t index) const {
        return !usedSlots_.mayBeUsed(index) || unwritten(entries[index]);
    }
    void prefetchSlot(uint64_t slot) const {
        const char* first = reinterpret_cast<const char*>(&entries[slot]);
        // A page never written is not read at all.
        if (!written_.written(first, sizeof(TableEntry))) return;
        __builtin_prefetch(first);
        // An entry may reach into the next cache line.
        const uintptr_t offset = reinterpret_cast<uintptr_t>(first) % 64;
        if (offset > 64 - sizeof(TableEntry)) __builtin_prefetch(first + sizeof(TableEntry) - 1);
    }
    void stamp(TableEntry& slot);
    void touch(TableEntry& slot);
    void makeTombstone(TableEntry& slot);
    // Stamped in the current or the previous generation: spared by open stores and by recovery.
    bool inProtectedGeneration(const TableEntry& slot) const {
        return slot.generation() == generation || slot.generation() == previousGeneration;
    }
    template <typename Accept>
    TableEntry* walk(uint64_t key, int limit, Accept accept);
    // A hand-table result shown as a table entry (valid until the next such probe).
    TableEntry* handHit(const Position& node, const HandEntry* hit);
    void storeHands(const Position& node, const NewEntry& e, const HandBounds& bounds);
    void clearEntries();
    uint64_t slotIndex(const TableEntry& slot) const { return static_cast<uint64_t>(&slot - entries.get()); }
    // Makes a tombstone of every used entry of the block that `discard` names, and sums the block up
    // again.
    template <typename Discard>
    void purgeBlock(uint64_t block, Discard discard);
    PurgeIndex purgeIndex_;
    WrittenPages written_;
    // Kept for large tables once a search is long enough to use them (when the filling starts), and
    // after a restore, which reads every slot anyway.
    UsedSlots usedSlots_;
    void turnOnUsedSlots();

    void monitorHeader(const NewEntry& e, uint64_t startSlot);
    void monitorLine(const NewEntry& e, const TableEntry& slot, int index);
    void monitorFlush(int reached, int writtenIndex);

    // Which path keys may have a loop entry: a bit per group of keys, set by every loop store and
    // cleared only with the table. Most probes by path key find no loop entry; this spares them the
    // walk. A checkpoint does not keep it: a restore sets it again from the loop entries read back.
    static constexpr int LOOP_FILTER_BITS = 24;
    static constexpr size_t LOOP_FILTER_BYTES = BitArray::bytesFor(size_t(1) << LOOP_FILTER_BITS);
    static size_t loopFilterBit(uint64_t pathKey) {
        return static_cast<size_t>((pathKey >> KEY_MID_SHIFT) & ((1u << LOOP_FILTER_BITS) - 1));
    }
    // Marks a path key as one that may have a loop entry.
    void noteLoop(uint64_t pathKey) { loopFilter_.set(loopFilterBit(pathKey)); }
    bool mayHoldLoop(uint64_t pathKey) const { return loopFilter_.test(loopFilterBit(pathKey)); }
    BitArray loopFilter_;

    uint64_t wrapCorrection_ = 0;
    FastModulo slotOf_;  // key mod tableSize  // (tableSize - 2^64 mod tableSize) mod tableSize
    FixedText<MONITOR_TEXT_CAPACITY> monitorText_;
    TableEntry handHit_{};

    // A long search writes every page of the table sooner or later, since entries land at random, and
    // each page faults in on its first write. Once an eighth of the pages has been written, the system
    // is asked for the rest (and the hand table's) on a thread of their own, so that the faults are
    // taken on the other processor instead of in the search. Small tables are left to fault in.
    static constexpr size_t FILL_MIN_BYTES = size_t(256) << 20;
    static constexpr size_t FILL_CHUNK_BYTES = size_t(16) << 20;
    void startFilling();
    void stopFilling();
    uint64_t pagesWritten_ = 0;
    uint64_t fillTrigger_ = 0;  // pages written that start the filling; 0 never
    std::atomic<bool> stopFilling_{false};
    // Last, so that it is stopped before the blocks it fills are given back.
    platform::BackgroundThread filler_;
};

}  // namespace nagare
