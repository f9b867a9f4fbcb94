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

#include <cstdint>

#include "table/bit_array.h"

namespace nagare {

class UsedSlots {
  public:
    static size_t bytesFor(uint64_t slots) { return BitArray::bytesFor(static_cast<size_t>(slots)); }

    // Room for `slots` bits, all clear and not yet in use. False when there is no memory for them.
    bool create(uint64_t slots) {
        on_ = false;
        return bits_.create(static_cast<size_t>(slots), true);
    }
    void release() {
        bits_.release();
        on_ = false;
    }

    bool exists() const { return bits_.exists(); }
    // Whether the bits are kept and may be asked: only then do `mayBeUsed` and `note` mean anything.
    bool on() const { return on_; }
    // Starts keeping the bits; the caller notes every slot in use at that moment.
    void turnOn() { on_ = bits_.exists(); }

    bool mayBeUsed(uint64_t slot) const { return !on_ || bits_.test(slot); }
    void note(uint64_t slot) {
        if (on_) bits_.set(slot);
    }
    void prefetch(uint64_t slot) const { bits_.prefetch(slot); }
    // Every bit clear, as for a table of virgin slots; kept on if it was. Bits never turned on were
    // never set.
    void clear() {
        if (on_) bits_.clear();
    }

  private:
    BitArray bits_;
    bool on_ = false;
};

}  // namespace nagare
