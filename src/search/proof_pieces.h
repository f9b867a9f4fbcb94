// Proof pieces and disproof pieces: the range of hands for which a finished node's result holds, so
// that the hand table can lend it to the same board with other hands.
//
// A proof of a board still holds when the first player holds more and the second player less, and a
// non-proof when the first player holds less and the second player more, as long as an extra piece in
// hand can only add moves for its owner and a missing one only take moves away, and a side left
// without moves never gains by it. That holds for 最善詰 with the check obligation and for 最善勝, under
// no move rule or under 強欲, マキシ or 長駆 (their filters keep the same board moves whatever the
// hands hold; a drop counts as the shortest move). It fails elsewhere, where exact matching stays:
// - own-king genres: a piece more in the first player's hand can be an interposition that saves the
//   king it wants mated, and one less in the second player's hand can force it to give mate;
// - 最悪 genres: the first player must reach the goal with every move, and a first player short of a
//   piece may be left without a check at all, which loses;
// - stalemate goals and 非王手可 under 最善詰: a second player short of a piece may have no move left,
//   which is a stalemate, a loss for the first player where only mate counts;
// - 禁欲 and ミニ: a drop is always kept by the filter (it lands on an empty square; it counts as the
//   shortest move), so an extra piece in hand can take away the board moves the filter let through;
// - 打歩: whether a mated node counts depends on the move that mated it, which the table does not see.
#pragma once

#include <cstdint>

#include "search/search_context.h"
#include "table/hand_table.h"
#include "table/position_table.h"

namespace nagare {

// Whether results may be lent across hands under these rules.
bool handDominanceApplies(const RuleSet& rules);

// Turns hand dominance on in the table where the rules allow it, and gives the hand table's memory
// back where they do not.
void configureHandDominance(PositionTable& table, const RuleSet& rules);

// A node without usable moves: a first-player node (not proved) or a second-player node (proved).
HandBounds noMoveBounds(const Position& node, bool checkRequired);
// A node with moves at the depth limit: no proof within 0 plies.
HandBounds depthLimitBounds(const Position& node);

// A proved node with children: its proof length and the hands the proof holds for, from the
// children's proofs in the table. Without the children's proofs: the remaining depth and the node's
// own hands.
int16_t provedBounds(SearchContext& ctx, Position& node, int depth, HandBounds& bounds);
// A clean non-proof with children (stored with the remaining depth): the hands it holds for.
void nonProofBounds(SearchContext& ctx, Position& node, int depth, HandBounds& bounds);

}  // namespace nagare
