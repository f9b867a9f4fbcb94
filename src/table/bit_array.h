// A fixed array of bits, all clear when made: the filters kept beside the tables, and the table's
// used-slot bits.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "platform/large_memory.h"

namespace nagare {

class BitArray {
  public:
    static constexpr size_t bytesFor(size_t bits) { return wordCount(bits) * sizeof(uint64_t); }

    // `bits` clear bits; false when there is no memory for them. The memory is zeroed now, or, when
    // `givenAsWritten`, taken as a large block whose pages the system gives as they are first written,
    // so that bits never set cost nothing.
    bool create(size_t bits, bool givenAsWritten = false) {
        release();
        const size_t words = wordCount(bits);
        uint64_t* block = givenAsWritten
                              ? static_cast<uint64_t*>(platform::allocateLargeBlock(words * sizeof(uint64_t)))
                              : new (std::nothrow) uint64_t[words]();
        words_ = block != nullptr ? words : 0;
        bits_ = Block(block, Deleter{words * sizeof(uint64_t), givenAsWritten});
        return block != nullptr;
    }
    void release() {
        bits_.reset();
        words_ = 0;
    }

    bool exists() const { return words_ != 0; }
    bool test(size_t i) const { return (bits_[i / 64] >> (i % 64)) & 1; }
    void set(size_t i) { bits_[i / 64] |= uint64_t{1} << (i % 64); }
    void prefetch(size_t i) const { __builtin_prefetch(&bits_[i / 64]); }
    void clear() {
        if (words_ != 0) std::fill(bits_.get(), bits_.get() + words_, uint64_t{0});
    }

  private:
    static constexpr size_t wordCount(size_t bits) { return (bits + 63) / 64; }
    struct Deleter {
        size_t bytes = 0;
        bool large = false;
        void operator()(uint64_t* block) const {
            if (large)
                platform::releaseLargeBlock(block, bytes);
            else
                delete[] block;
        }
    };
    using Block = std::unique_ptr<uint64_t[], Deleter>;

    Block bits_{nullptr, Deleter{}};
    size_t words_ = 0;
};

}  // namespace nagare
