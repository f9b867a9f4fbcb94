// The hand table: final results filed by board, each with the range of hands it holds for. The
// position table matches a position only with its exact hands; here a proof of a board stands for
// every pair of hands in which the first player holds at least the pieces the proof needed and the
// second player no more than it could afford, and a non-proof for every pair in which the first player
// holds no more than would still not help and the second player at least what its defence needed.
// So the many positions that differ only in which interposed piece the attacker took (無駄合) share
// one result. It lives beside the position table and holds nothing a checkpoint needs: it starts empty.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "rules/position.h"
#include "table/bit_array.h"
#include "table/written_pages.h"

namespace nagare {

// Counts of one side's pieces in hand, indexed by kind (PAWN..ROOK; index 0 unused). ANY_COUNT is
// "no bound".
using HandCounts = std::array<uint8_t, 8>;
constexpr uint8_t ANY_COUNT = 0xff;

// The hands a result holds for. For a proof: the first player's hand covers `first` and `second`
// covers the second player's hand. For a non-proof the other way round: `first` covers the first
// player's hand and the second player's hand covers `second`.
struct HandBounds {
    HandCounts first{};
    HandCounts second{};
};

// The bounds that hold exactly for the node's own hands (plain hand dominance).
HandBounds exactBounds(const Position& p);

// A hand packed into one word, a field per kind with a spare bit above it, so that "every count of a
// is at least that of b" is one subtraction. Counts too large for their field do not pack. Bits 28..31
// are not the hand's: the table files part of the board key there, and `covers` ignores them.
class PackedHand {
  public:
    static bool pack(const HandCounts& counts, uint32_t& out);
    static bool packSide(const Position& p, Side side, uint32_t& out);
    static HandCounts unpack(uint32_t word);
    static bool covers(uint32_t a, uint32_t b) { return (((a | GUARDS) - b) & GUARDS) == GUARDS; }

    static constexpr std::array<int, 8> WIDTH = {0, 5, 3, 3, 3, 3, 2, 2};  // pawn 0..30, bishop 0..2

  private:
    static constexpr std::array<int, 8> SHIFT = {0, 0, 6, 10, 14, 18, 22, 25};
    static constexpr uint32_t GUARDS =
        1u << 5 | 1u << 9 | 1u << 13 | 1u << 17 | 1u << 21 | 1u << 24 | 1u << 27;
};

enum class HandResult : uint8_t { EMPTY = 0, PROVED = 1, DISPROVED = 2, BOUNDED = 3 };

// One result, 16 bytes; four share a cache line.
struct HandEntry {
    uint32_t check;   // bits 32..63 of the board key, the side to move mixed in
    uint32_t first;   // packed bound on the first player's hand; bits 28..31: key bits 28..31
    uint32_t second;  // packed bound on the second player's hand; bits 28..31: key bits 24..27
    int16_t depth;    // proof length, non-proof depth, NO_PLY for a disproof
    HandResult result;
    uint8_t level;  // log2 of the work it stands for; the least is replaced first

    bool isProof() const { return result == HandResult::PROVED; }
    // Whether the result holds for a position with these packed hands.
    bool holdsFor(uint32_t firstHand, uint32_t secondHand) const {
        return isProof() ? PackedHand::covers(firstHand, first) && PackedHand::covers(second, secondHand)
                         : PackedHand::covers(first, firstHand) && PackedHand::covers(secondHand, second);
    }
};
static_assert(sizeof(HandEntry) == 16);

class HandTable {
  public:
    // A table of about `bytes` (rounded down to a power of two of buckets, at least one).
    bool create(size_t bytes);
    void release();
    void clear();

    // Files a final result of `node` (proved when pn is 0, else a disproof or a bounded non-proof)
    // with the hands it holds for; `depth` as in the position table.
    void store(const Position& node, const HandBounds& bounds, int16_t depth, uint8_t level);
    // The proof with the shortest length not above `maxDepth` that holds for the node's hands.
    const HandEntry* findProof(const Position& node, int maxDepth);
    // A disproof, or a bounded non-proof at least `minDepth` deep, that holds for the node's hands.
    const HandEntry* findNonProof(const Position& node, int minDepth);
    // What a probe at depth d accepts: a proof within d (the shortest), else a disproof, else a
    // bounded non-proof at least d deep.
    const HandEntry* findFinal(const Position& node, int d);

    // Starts loading what a lookup of a board with `toMove` to move reads first: its bit in the board
    // filter.
    void prefetch(uint64_t boardKey, Side toMove) const {
        if (bucketCount_ == 0) return;
        boardFilter_.prefetch(boardFilterBit(boardSideKey(boardKey, toMove)));
    }

    // The bytes the board filter takes beside the buckets.
    static constexpr size_t BOARD_FILTER_BITS = 24;
    static constexpr size_t BOARD_FILTER_BYTES = BitArray::bytesFor(size_t(1) << BOARD_FILTER_BITS);

    uint64_t storedCount() const { return stored_; }
    // The block the buckets live in, and its size in bytes.
    void* block() const { return buckets_.get(); }
    size_t blockBytes() const { return bucketCount_ * sizeof(Bucket); }
    bool isAllocated() const { return bucketCount_ != 0; }

  private:
    static constexpr int WAYS = 4;
    struct alignas(64) Bucket {
        std::array<HandEntry, WAYS> entries;
    };
    struct BlockDeleter {
        size_t bytes;
        void operator()(Bucket* block) const;
    };

    static uint64_t boardSideKey(uint64_t boardKey, Side toMove);
    size_t bucketOf(uint64_t key) const { return static_cast<size_t>(key) & (bucketCount_ - 1); }
    // The shortest proof within `maxProofDepth` and the best non-proof (a disproof, else the deepest
    // bounded one at least `minNonProofDepth` deep) that hold for the node's hands.
    struct Found {
        const HandEntry* proof = nullptr;
        const HandEntry* nonProof = nullptr;
    };
    Found scan(const Position& node, int maxProofDepth, int minNonProofDepth);
    // The node's key and packed hands; false when a hand does not pack.
    bool locate(const Position& node, Bucket*& bucket, uint32_t& check, uint32_t& first, uint32_t& second);

    // Which boards may have a result here: a bit per group of board keys, set by every store and
    // cleared with the table. Most lookups are for boards the table holds nothing for (on No. 1, 23.4 M
    // of 24.4 M); the filter, 2 MB, answers those without reading a bucket of the large block.
    static size_t boardFilterBit(uint64_t key) {
        return static_cast<size_t>(key >> (64 - BOARD_FILTER_BITS));
    }
    bool mayHoldBoard(uint64_t key) const { return boardFilter_.test(boardFilterBit(key)); }
    BitArray boardFilter_;

    std::unique_ptr<Bucket[], BlockDeleter> buckets_{nullptr, BlockDeleter{0}};
    size_t bucketCount_ = 0;
    WrittenPages written_;  // buckets on a page never written are empty and not read
    uint64_t stored_ = 0;
};

}  // namespace nagare
