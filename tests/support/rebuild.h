// Rebuilding a position from its board and hands, to check what make-move keeps incrementally.
#pragma once

#include <gtest/gtest.h>

#include <array>

#include "rules/position.h"

namespace nagare::test {

inline Position rebuild(const Position& p) {
    std::array<uint8_t, 81> cells{};
    for (int rank = 1; rank <= 9; ++rank)
        for (int file = 1; file <= 9; ++file)
            cells[9 * (rank - 1) + (9 - file)] = p.at(makeSquare(file, rank));
    Position q{};
    setUp(q, cells.data(), p.hand.data(), p.sideToMove);
    return q;
}

// Attack maps, keys and counters of `p` equal those of a position built from scratch.
inline ::testing::AssertionResult matchesRebuild(const Position& p) {
    Position q = rebuild(p);
    for (int side = 0; side < 2; ++side)
        for (int s = 0; s < SQUARE_SPAN; ++s)
            if (p.attack[side][s] != q.attack[side][s])
                return ::testing::AssertionFailure()
                       << "attack map " << side << " differs at square " << std::hex << s << ": "
                       << p.attack[side][s] << " vs " << q.attack[side][s];
    if (p.boardKey != q.boardKey) return ::testing::AssertionFailure() << "boardKey differs";
    if (p.handKey != q.handKey) return ::testing::AssertionFailure() << "handKey differs";
    if (p.key != q.key) return ::testing::AssertionFailure() << "key differs";
    if (p.kingSquare != q.kingSquare) return ::testing::AssertionFailure() << "king squares differ";
    if (p.onBoard != q.onBoard) return ::testing::AssertionFailure() << "onBoard differs";
    if (p.inHand != q.inHand) return ::testing::AssertionFailure() << "inHand differs";
    return ::testing::AssertionSuccess();
}

}  // namespace nagare::test
