#include "table/hand_table.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "platform/large_memory.h"

namespace nagare {

namespace {

// The side to move is mixed into the board key (not written over one of its bits), so that all 32
// bits of the check word are the key's.
constexpr uint64_t SENTE_TO_MOVE_SALT = 0x9e3779b97f4a7c15ULL;
constexpr int CHECK_SHIFT = 32;
// Eight more bits of the key ride in the bits above the packed hands (four in each bound), so that
// another board is taken for this one once in 2^40 comparisons, not once in 2^31: a result lent to
// the wrong board would be a wrong verdict.
constexpr int TAG_SHIFT = 24;
constexpr int TAG_HALF_BITS = 4;
constexpr int TAG_POSITION = 28;
constexpr uint32_t TAG_BITS = 0xfu << TAG_POSITION;
static_assert(TAG_POSITION >= 28, "the tag sits above the packed hand's fields and guards");

bool sameTag(const HandEntry& e, uint32_t first, uint32_t second) {
    return ((e.first ^ first) & TAG_BITS) == 0 && ((e.second ^ second) & TAG_BITS) == 0;
}

// Whether `a` holds for every pair of hands that `b` holds for, and says at least as much there.
bool subsumes(const HandEntry& a, const HandEntry& b) {
    if (a.isProof() != b.isProof()) return false;
    if (a.isProof())
        return PackedHand::covers(b.first, a.first) && PackedHand::covers(a.second, b.second) &&
               a.depth <= b.depth;
    const bool deepEnough =
        a.result == HandResult::DISPROVED || (b.result == HandResult::BOUNDED && a.depth >= b.depth);
    return deepEnough && PackedHand::covers(a.first, b.first) && PackedHand::covers(b.second, a.second);
}

// Proofs are worth keeping over non-proofs of the same size.
int keepValue(const HandEntry& e) {
    return e.level + (e.isProof() ? 2 : 0);
}

}  // namespace

HandBounds exactBounds(const Position& p) {
    HandBounds b;
    for (int kind = PAWN; kind <= ROOK; ++kind) {
        b.first[kind] = static_cast<uint8_t>(std::min(p.hand[SENTE + kind], int32_t(ANY_COUNT - 1)));
        b.second[kind] = static_cast<uint8_t>(std::min(p.hand[GOTE + kind], int32_t(ANY_COUNT - 1)));
    }
    return b;
}

bool PackedHand::pack(const HandCounts& counts, uint32_t& out) {
    uint32_t word = 0;
    for (int kind = PAWN; kind <= ROOK; ++kind) {
        const uint32_t all = (1u << WIDTH[kind]) - 1;
        uint32_t v = counts[kind];
        if (v == ANY_COUNT)
            v = all;
        else if (v >= all)
            return false;
        word |= v << SHIFT[kind];
    }
    out = word;
    return true;
}

bool PackedHand::packSide(const Position& p, Side side, uint32_t& out) {
    uint32_t word = 0;
    for (int kind = PAWN; kind <= ROOK; ++kind) {
        const int32_t v = p.hand[side + kind];
        if (v < 0 || v >= (1 << WIDTH[kind]) - 1) return false;
        word |= static_cast<uint32_t>(v) << SHIFT[kind];
    }
    out = word;
    return true;
}

HandCounts PackedHand::unpack(uint32_t word) {
    HandCounts counts{};
    for (int kind = PAWN; kind <= ROOK; ++kind) {
        const uint32_t all = (1u << WIDTH[kind]) - 1;
        const uint32_t v = (word >> SHIFT[kind]) & all;
        counts[kind] = v == all ? ANY_COUNT : static_cast<uint8_t>(v);
    }
    return counts;
}

void HandTable::BlockDeleter::operator()(Bucket* block) const {
    platform::releaseLargeBlock(block, bytes);
}

bool HandTable::create(size_t bytes) {
    release();
    size_t count = std::bit_floor(std::max<size_t>(bytes / sizeof(Bucket), 1));
    const size_t total = count * sizeof(Bucket);
    // A fresh block from the system is zero, which is an empty table.
    buckets_ = std::unique_ptr<Bucket[], BlockDeleter>(
        static_cast<Bucket*>(platform::allocateLargeBlock(total)), BlockDeleter{total});
    if (!buckets_) return false;
    if (!boardFilter_.create(size_t(1) << BOARD_FILTER_BITS) || !written_.create(buckets_.get(), total)) {
        buckets_.reset();
        boardFilter_.release();
        return false;
    }
    bucketCount_ = count;
    stored_ = 0;
    return true;
}

void HandTable::release() {
    buckets_.reset();
    boardFilter_.release();
    written_.release();
    bucketCount_ = 0;
    stored_ = 0;
}

void HandTable::clear() {
    if (bucketCount_ != 0) {
        std::memset(static_cast<void*>(buckets_.get()), 0, bucketCount_ * sizeof(Bucket));
        boardFilter_.clear();
    }
    stored_ = 0;
}

uint64_t HandTable::boardSideKey(uint64_t boardKey, Side toMove) {
    return toMove == SENTE ? boardKey ^ SENTE_TO_MOVE_SALT : boardKey;
}

bool HandTable::locate(const Position& node, Bucket*& bucket, uint32_t& check, uint32_t& first,
                       uint32_t& second) {
    if (bucketCount_ == 0) return false;
    if (!PackedHand::packSide(node, SENTE, first) || !PackedHand::packSide(node, GOTE, second)) return false;
    const uint64_t key = boardSideKey(node.boardKey, node.sideToMove);
    bucket = &buckets_[bucketOf(key)];
    check = static_cast<uint32_t>(key >> CHECK_SHIFT);
    // The packed hands keep their tag bits: a bound compared with them ignores the bits above its
    // guards, since a borrow only runs upwards.
    const uint32_t tag = static_cast<uint32_t>(key >> TAG_SHIFT);
    first |= (tag >> TAG_HALF_BITS & 0xfu) << TAG_POSITION;
    second |= (tag & 0xfu) << TAG_POSITION;
    return true;
}

void HandTable::store(const Position& node, const HandBounds& bounds, int16_t depth, uint8_t level) {
    Bucket* bucket;
    uint32_t check, first, second;
    if (!locate(node, bucket, check, first, second)) return;
    boardFilter_.set(boardFilterBit(boardSideKey(node.boardKey, node.sideToMove)));
    HandEntry fresh{};
    fresh.check = check;
    if (!PackedHand::pack(bounds.first, fresh.first) || !PackedHand::pack(bounds.second, fresh.second))
        return;
    fresh.first |= first & TAG_BITS;
    fresh.second |= second & TAG_BITS;
    fresh.result = node.pn == 0             ? HandResult::PROVED
                   : node.pn == PN_INFINITE ? HandResult::DISPROVED
                                            : HandResult::BOUNDED;
    fresh.depth = fresh.result == HandResult::DISPROVED ? NO_PLY : depth;
    fresh.level = level;
    if (!written_.written(bucket, sizeof(Bucket))) {
        // Written before anything reads it, so that the page faults in once.
        written_.mark(bucket, sizeof(Bucket));
        *bucket = Bucket{};
    }
    HandEntry* target = nullptr;
    for (HandEntry& e : bucket->entries) {
        if (e.result == HandResult::EMPTY || e.check != check || !sameTag(e, first, second)) continue;
        if (subsumes(e, fresh)) {
            e.level = std::max(e.level, level);
            return;
        }
        if (target == nullptr && subsumes(fresh, e)) target = &e;
    }
    if (target == nullptr) {
        for (HandEntry& e : bucket->entries) {
            if (e.result == HandResult::EMPTY) {
                target = &e;
                break;
            }
            if (target == nullptr || keepValue(e) < keepValue(*target)) target = &e;
        }
    }
    if (target->result == HandResult::EMPTY) ++stored_;
    *target = fresh;
}

HandTable::Found HandTable::scan(const Position& node, int maxProofDepth, int minNonProofDepth) {
    Found found;
    Bucket* bucket;
    uint32_t check, first, second;
    if (bucketCount_ == 0 || !mayHoldBoard(boardSideKey(node.boardKey, node.sideToMove))) return found;
    if (!locate(node, bucket, check, first, second) || !written_.written(bucket, sizeof(Bucket)))
        return found;
    for (const HandEntry& e : bucket->entries) {
        if (e.check != check || e.result == HandResult::EMPTY || !sameTag(e, first, second) ||
            !e.holdsFor(first, second))
            continue;
        if (e.isProof()) {
            if (e.depth <= maxProofDepth && (found.proof == nullptr || e.depth < found.proof->depth))
                found.proof = &e;
        } else if (e.result == HandResult::DISPROVED) {
            found.nonProof = &e;
        } else if (e.depth >= minNonProofDepth &&
                   (found.nonProof == nullptr ||
                    (found.nonProof->result != HandResult::DISPROVED && e.depth > found.nonProof->depth))) {
            found.nonProof = &e;
        }
    }
    return found;
}

const HandEntry* HandTable::findProof(const Position& node, int maxDepth) {
    return scan(node, maxDepth, std::numeric_limits<int>::max()).proof;
}

const HandEntry* HandTable::findNonProof(const Position& node, int minDepth) {
    return scan(node, std::numeric_limits<int>::min(), minDepth).nonProof;
}

const HandEntry* HandTable::findFinal(const Position& node, int d) {
    const Found found = scan(node, d, d);
    return found.proof != nullptr ? found.proof : found.nonProof;
}

}  // namespace nagare
