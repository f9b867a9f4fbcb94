// Which blocks of the position table may hold an entry that a purge would remove. The walk of a
// solution purges the table twice at every ply; scanning a table of gigabytes each time would cost
// far more than the walk's own searches. Each block of slots keeps a summary of the entries stored in
// it: the shallowest ply of its open and loop entries, the greatest depth of its final results, and
// whether it holds a loop entry. A purge scans only the blocks whose summary says it may find
// something, and sums each scanned block up again from what is left in it.
//
// A summary may promise more than the block holds (an entry freed or overwritten since), never less:
// every store and every entry brought back is noted.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "table/table_entry.h"

namespace nagare {

class PurgeIndex {
  public:
    static constexpr int BLOCK_SHIFT = 6;  // 64 slots a block
    static constexpr uint64_t BLOCK_SLOTS = uint64_t{1} << BLOCK_SHIFT;

    // Bytes the index takes for a table of `slots` slots.
    static uint64_t bytesFor(uint64_t slots) { return blockCount(slots) * sizeof(Block); }

    // An index of empty blocks for a table of `slots` slots; false when there is no memory for it.
    bool create(uint64_t slots) {
        block_.reset(new (std::nothrow) Block[blockCount(slots)]);
        blocks_ = block_ ? blockCount(slots) : 0;
        clear();
        return block_ != nullptr;
    }
    void release() {
        pendingCount_ = 0;
        block_.reset();
        blocks_ = 0;
    }
    // Every block empty, as in a cleared table.
    void clear() {
        pendingCount_ = 0;
        std::fill(block_.get(), block_.get() + blocks_, Block{});
    }
    // Nothing known: every block may hold anything (entries written from outside, as a restore does).
    void forgetAll() {
        pendingCount_ = 0;
        std::fill(block_.get(), block_.get() + blocks_, Block{PLY_LOW, DEPTH_HIGH, true});
    }

    uint64_t blockCount() const { return blocks_; }

    // The entry now in `slot` (used, of any kind). The summary is a random read in a large array, so
    // a note waits for a few more stores while its summary is fetched, and is applied after them.
    void note(uint64_t slot, const TableEntry& e) {
        const uint64_t block = slot >> BLOCK_SHIFT;
        __builtin_prefetch(&block_[block]);
        if (pendingCount_ == PENDING_NOTES) applyPending();
        pending_[pendingCount_++] = Note::of(block, e);
    }

    // Whether the block may hold an open or loop entry stored at a ply below `openPlyBound`, or a
    // final result deeper than `finalDepthBound`.
    bool mayHoldOutside(uint64_t block, int16_t openPlyBound, int16_t finalDepthBound) {
        applyPending();
        const Block& b = block_[block];
        return b.shallowestPly < openPlyBound || b.deepestFinal > finalDepthBound;
    }
    bool mayHoldLoop(uint64_t block) {
        applyPending();
        return block_[block].hasLoop;
    }

    // The block's summary from its entries as they are now; returns how many of its slots are used.
    uint64_t resum(uint64_t block, const TableEntry* entries, uint64_t tableSize) {
        applyPending();
        block_[block] = Block{};
        const uint64_t first = block << BLOCK_SHIFT;
        const uint64_t end = std::min(first + BLOCK_SLOTS, tableSize);
        uint64_t used = 0;
        for (uint64_t i = first; i < end; ++i) {
            const TableEntry& e = entries[i];
            if (!e.isUsed()) continue;
            apply(Note::of(block, e));
            ++used;
        }
        return used;
    }

  private:
    static constexpr int16_t PLY_LOW = INT16_MIN;
    static constexpr int16_t DEPTH_HIGH = INT16_MAX;

    struct Block {
        int16_t shallowestPly = INT16_MAX;  // of the open and loop entries
        int16_t deepestFinal = INT16_MIN;   // of the proofs, disproofs and bounded non-proofs
        bool hasLoop = false;
    };

    // What a store tells its block's summary.
    struct Note {
        uint64_t block;
        int16_t depth;
        bool loop;
        bool openOrLoop;

        static Note of(uint64_t block, const TableEntry& e) {
            return Note{block, e.depth, e.isLoop(), e.isOpen() || e.isLoop()};
        }
    };
    static constexpr int PENDING_NOTES = 8;

    void apply(const Note& n) {
        Block& b = block_[n.block];
        if (n.loop) b.hasLoop = true;
        if (n.openOrLoop)
            b.shallowestPly = std::min(b.shallowestPly, n.depth);
        else
            b.deepestFinal = std::max(b.deepestFinal, n.depth);
    }
    void applyPending() {
        for (int i = 0; i < pendingCount_; ++i) apply(pending_[i]);
        pendingCount_ = 0;
    }

    static uint64_t blockCount(uint64_t slots) { return (slots + BLOCK_SLOTS - 1) >> BLOCK_SHIFT; }

    std::unique_ptr<Block[]> block_;
    uint64_t blocks_ = 0;
    Note pending_[PENDING_NOTES];
    int pendingCount_ = 0;
};

}  // namespace nagare
