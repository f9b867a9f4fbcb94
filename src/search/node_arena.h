// Storage for the children lists of the nodes on the current search path. A list lives exactly as
// long as the frame that expanded its node, so lists are taken and given back in stack order; the
// blocks are kept, so a search allocates only while it reaches deeper than ever before.
#pragma once

#include <algorithm>
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
        if (blocks_.empty() || used_ + count > blocks_[current_].size) {
            if (!blocks_.empty()) ++current_;
            used_ = 0;
            // Any children list of one expansion fits a block; a longer list (restored from a file)
            // gets a block of its own size.
            const size_t size = std::max(count, BLOCK_POSITIONS);
            if (current_ == blocks_.size())
                blocks_.push_back(Block{std::make_unique<Position[]>(size), size});
            else if (blocks_[current_].size < count)
                blocks_[current_] = Block{std::make_unique<Position[]>(size), size};
        }
        Position* p = &blocks_[current_].positions[used_];
        used_ += count;
        return p;
    }

  private:
    static constexpr size_t BLOCK_POSITIONS = 4096;
    static_assert(BLOCK_POSITIONS >= MOVE_BUFFER_SIZE, "the children of any position fit one block");
    struct Block {
        std::unique_ptr<Position[]> positions;
        size_t size = 0;
    };
    std::vector<Block> blocks_;
    size_t current_ = 0;
    size_t used_ = 0;
};

}  // namespace nagare
