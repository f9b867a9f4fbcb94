// Storage for the children lists of the nodes on the current search path. A list lives exactly as
// long as the frame that expanded its node, so lists are taken and given back in stack order; the
// blocks are kept, so a search allocates only while it reaches deeper than ever before.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "rules/position.h"

namespace nagare {

class NodeArena {
  public:
    struct Mark {
        size_t block = 0;
        size_t used = 0;
    };

    Mark mark() const { return Mark{current_, used_}; }
    void release(Mark m) {
        current_ = m.block;
        used_ = m.used;
    }

    // Room for `count` consecutive positions, valid until the arena is released below this point.
    Position* take(size_t count) {
        if (blocks_.empty() || used_ + count > BLOCK_POSITIONS) {
            if (!blocks_.empty()) ++current_;
            used_ = 0;
            if (current_ >= blocks_.size()) blocks_.push_back(std::make_unique<Position[]>(BLOCK_POSITIONS));
        }
        Position* p = &blocks_[current_][used_];
        used_ += count;
        return p;
    }
    // Gives back the unused tail of the last take.
    void giveBack(size_t count) { used_ -= count; }

  private:
    static constexpr size_t BLOCK_POSITIONS = 4096;  // more than the legal moves of any position
    std::vector<std::unique_ptr<Position[]>> blocks_;
    size_t current_ = 0;
    size_t used_ = 0;
};

}  // namespace nagare
