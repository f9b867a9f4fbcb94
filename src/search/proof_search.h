// The depth-limited proof-number search: proves or disproves that the OR side can force the goal of
// the genre within a number of plies, keeping every result in the position table.
#pragma once

#include <cstdint>

#include "search/search_context.h"

namespace nagare {

struct TableEntry;

// Searches `root` to `depth` plies; the verdict is left in root.pn, root.dn and root.state.
void runSearch(SearchContext& ctx, Position& root, int depth);

// One node of the recursive search; `depth` is the number of plies still allowed below it.
void searchNode(SearchContext& ctx, Position& node, int depth);

// What selectChild learns about the children besides the choice.
struct ChildSummary {
    int32_t best = PN_INFINITE;        // smallest deciding number (pn at an OR node, dn at an AND node),
                                       // which is also the node's own
    int32_t bestSecond = PN_INFINITE;  // second smallest (equal to best when two children share it)
    int32_t other = 0;                 // largest other number
    int32_t otherSecond = 0;           // second largest other number
    int32_t combined = 0;              // the node's combined other number
};

// Fills fresh children from the table, combines the children's numbers into the node's and returns
// the child to search next (null without children).
Position* selectChild(SearchContext& ctx, Position& node, int depth, ChildSummary& summary);

// The thresholds with which the chosen child is searched, from the node's thresholds and numbers and
// the summary of its children.
void setChildThresholds(const SearchContext& ctx, const Position& node, Position& child,
                        const ChildSummary& summary);

// The node's numbers from its children, without probing or selecting; then updateTreeCounts.
void recomputeNode(SearchContext& ctx, Position& node);
void updateTreeCounts(SearchContext& ctx, Position& node);

// Fills a fresh node from the table: a final result, a loop result of this path, or open numbers.
TableEntry* probeChild(SearchContext& ctx, Position& node, int depth);

// Records an aborted node (and its children) for the checkpoint.
void recordAbortedNode(SearchContext& ctx, Position& node);

constexpr bool isOpen(const Position& p) {
    return p.pn > 0 && p.dn > 0;
}
constexpr bool isProved(const Position& p) {
    return p.pn == 0;
}

// Index of the highest set bit; 0 for 0 and 1 (the search level, 探索レベル).
int highestBit(uint64_t value);

}  // namespace nagare
