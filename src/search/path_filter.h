// A quick test for repetitions on the current search path: counts of the positions on the path by
// a few bits of their keys. A position whose buckets hold nothing but itself cannot repeat an
// ancestor, so the walk up the path is needed only when a bucket is shared.
#pragma once

#include <array>
#include <cstdint>

#include "rules/position.h"

namespace nagare {

class PathFilter {
  public:
    void add(const Position& p) {
        ++keyCount_[bucket(p.key)];
        ++boardCount_[bucket(p.boardKey)];
    }
    void remove(const Position& p) {
        --keyCount_[bucket(p.key)];
        --boardCount_[bucket(p.boardKey)];
    }
    // Whether another position on the path shares a bucket with `p`, which is on the path itself.
    bool mayRepeat(const Position& p, bool handEconomy) const {
        return keyCount_[bucket(p.key)] > 1 || (handEconomy && boardCount_[bucket(p.boardKey)] > 1);
    }

  private:
    static constexpr int BUCKET_BITS = 16;
    static size_t bucket(uint64_t key) { return static_cast<size_t>(key & ((1u << BUCKET_BITS) - 1)); }
    std::array<uint16_t, 1u << BUCKET_BITS> keyCount_{};
    std::array<uint16_t, 1u << BUCKET_BITS> boardCount_{};
};

}  // namespace nagare
