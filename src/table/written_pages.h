// Which pages of a large zero-filled block have ever been written. The tables are blocks of
// gigabytes that the system hands out as zero pages on demand; reading a page first maps the shared
// zero page, and the first write then faults a second time to give the page its own memory. A probe
// nearly always reads a slot before a store writes it, so without this every page of the table would
// fault twice. A page never written holds only zeros, which read as empty slots and empty buckets:
// the tables answer those reads from here without touching the page.
//
// A page may be marked written that never was (after a restore or a clear, everything is); a page
// that was written is always marked.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

namespace nagare {

class WrittenPages {
  public:
    static constexpr int PAGE_SHIFT = 12;  // 4 KB; a finer grain than the system's pages is still right

    // Bytes the bitmap takes for a block of `bytes` bytes.
    static size_t bytesFor(size_t bytes) { return wordCount(bytes) * sizeof(uint64_t); }

    // Every page of the block at `base`, `bytes` long, unwritten. False when there is no memory for it.
    bool create(const void* base, size_t bytes) {
        base_ = reinterpret_cast<uintptr_t>(base);
        words_ = wordCount(bytes);
        bits_.reset(new (std::nothrow) uint64_t[words_]());
        if (!bits_) words_ = 0;
        return bits_ != nullptr;
    }
    void release() {
        bits_.reset();
        words_ = 0;
    }

    // Whether every page that the `length` bytes at `p` touch has been written.
    bool written(const void* p, size_t length) const {
        const size_t first = pageOf(p), last = pageOf(static_cast<const char*>(p) + length - 1);
        return isSet(first) && isSet(last);
    }
    // Notes that the `length` bytes at `p` are about to be written.
    void mark(const void* p, size_t length) {
        set(pageOf(p));
        set(pageOf(static_cast<const char*>(p) + length - 1));
    }
    // Calls `f(offset, length)` for the bytes of every page written so far, in order.
    template <typename F>
    void forEachWritten(F f) const {
        for (size_t w = 0; w < words_; ++w)
            for (uint64_t bits = bits_[w]; bits != 0; bits &= bits - 1) {
                const size_t page = w * 64 + static_cast<size_t>(std::countr_zero(bits));
                f(page << PAGE_SHIFT, size_t{1} << PAGE_SHIFT);
            }
    }
    // Every page counts as written: the block was filled from outside, or cleared by writing zeros.
    void markAll() {
        if (bits_) std::fill(bits_.get(), bits_.get() + words_, ~uint64_t{0});
    }

  private:
    static size_t wordCount(size_t bytes) { return ((bytes >> PAGE_SHIFT) + 1 + 63) / 64; }
    size_t pageOf(const void* p) const { return (reinterpret_cast<uintptr_t>(p) - base_) >> PAGE_SHIFT; }
    bool isSet(size_t page) const { return (bits_[page / 64] >> (page % 64)) & 1; }
    void set(size_t page) { bits_[page / 64] |= uint64_t{1} << (page % 64); }

    uintptr_t base_ = 0;
    size_t words_ = 0;
    std::unique_ptr<uint64_t[]> bits_;
};

}  // namespace nagare
