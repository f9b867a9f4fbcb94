// Pieces shared by the readers of solution lines: the children of a node held for as long as one
// level of a walk along a line lives, and a move put in front of a line.
#pragma once

#include <span>

#include "search/node_expansion.h"
#include "search/search_context.h"
#include "solution/solution_lines.h"

namespace nagare {

// Children of a node built into the arena for as long as this object lives.
class ExpandedNode {
  public:
    ExpandedNode(SearchContext& ctx, Position& node) : ctx_(ctx), node_(node), mark_(ctx.arena.mark()) {
        node.children = nullptr;
        node.childCount = 0;
        code_ = expandNode(ctx, node);
        // The walks read the children's boards: every child is built.
        for (Position& c : children())
            if (c.unbuilt) buildChild(c, ctx.nodeRules);
    }
    ~ExpandedNode() {
        ctx_.arena.release(mark_);
        node_.children = nullptr;
        node_.childCount = 0;
    }
    ExpandedNode(const ExpandedNode&) = delete;
    ExpandedNode& operator=(const ExpandedNode&) = delete;

    // The number of children, or the no-move code of expandNode.
    int code() const { return code_; }
    std::span<Position> children() const { return std::span<Position>(node_.children, node_.childCount); }
    Position* find(Move m) const {
        for (Position& c : children())
            if (c.lastMove == m) return &c;
        return nullptr;
    }

  private:
    SearchContext& ctx_;
    Position& node_;
    NodeArena::Mark mark_;
    int code_;
};

inline MoveLine prepend(Move m, const MoveLine& rest) {
    MoveLine line;
    line.reserve(rest.size() + 1);
    line.push_back(m);
    line.insert(line.end(), rest.begin(), rest.end());
    return line;
}

}  // namespace nagare
