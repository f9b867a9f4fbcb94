// Which slots of the position table have been used since it was cleared: a bit per slot.
//
// A walk ends at a virgin slot, and most positions a search looks up below a defence were never
// stored, so the first slot of their walk is virgin. In a table of gigabytes reading that slot costs
// a translation miss and a cache miss; the bit, in a block of a hundred and sixtieth of the table's size,
// answers it from memory that stays close. The block is given by the system as it is written, so a
// short search that never turns the bits on pays nothing for them.
//
// A bit may be set for a slot that is virgin again (nothing clears a bit but `clear`); a slot that was
// used always has its bit, so a clear bit proves the slot virgin.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/large_memory.h"

namespace nagare {

class UsedSlots {
  public:
    static size_t bytesFor(uint64_t slots) { return wordCount(slots) * sizeof(uint64_t); }

    // Room for `slots` bits, all clear and not yet in use. False when there is no memory for them.
    bool create(uint64_t slots) {
        release();
        const size_t bytes = bytesFor(slots);
        bits_ = Block(static_cast<uint64_t*>(platform::allocateLargeBlock(bytes)), Deleter{bytes});
        words_ = bits_ ? wordCount(slots) : 0;
        return bits_ != nullptr;
    }
    void release() {
        bits_.reset();
        words_ = 0;
        on_ = false;
    }

    bool exists() const { return words_ != 0; }
    // Whether the bits are kept and may be asked: only then do `mayBeUsed` and `note` mean anything.
    bool on() const { return on_; }
    // Starts keeping the bits; the caller notes every slot in use at that moment.
    void turnOn() { on_ = words_ != 0; }

    bool mayBeUsed(uint64_t slot) const { return !on_ || ((bits_[slot / 64] >> (slot % 64)) & 1); }
    void note(uint64_t slot) {
        if (on_) bits_[slot / 64] |= uint64_t{1} << (slot % 64);
    }
    void prefetch(uint64_t slot) const { __builtin_prefetch(&bits_[slot / 64]); }
    // Every bit clear, as for a table of virgin slots; kept on if it was. Bits never turned on were
    // never set.
    void clear() {
        if (on_) std::fill(bits_.get(), bits_.get() + words_, uint64_t{0});
    }

  private:
    static size_t wordCount(uint64_t slots) { return static_cast<size_t>((slots + 63) / 64); }
    struct Deleter {
        size_t bytes = 0;
        void operator()(uint64_t* block) const { platform::releaseLargeBlock(block, bytes); }
    };
    using Block = std::unique_ptr<uint64_t[], Deleter>;

    Block bits_{nullptr, Deleter{}};
    size_t words_ = 0;
    bool on_ = false;
};

}  // namespace nagare
