#include "search/node_arena.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace nagare {
namespace {

// Whether the `countA` positions from `a` and the `countB` from `b` share no byte.
bool apart(const Position* a, size_t countA, const Position* b, size_t countB) {
    std::less<const Position*> before;
    return !before(b, a + countA) || !before(a, b + countB);
}

void fill(Position* p, size_t count, uint8_t byte) {
    std::memset(static_cast<void*>(p), byte, count * sizeof(Position));
}

// Lists are taken in stack order; a list longer than a block (a children list restored from a file
// may be) still gets all its room, also where a block kept from earlier is too small for it.
TEST(NodeArena, EveryListGetsItsRoomHoweverLong) {
    NodeArena arena;
    const NodeArena::Mark start = arena.mark();
    Position* small = arena.take(100);
    Position* large = arena.take(5000);
    fill(small, 100, 1);
    fill(large, 5000, 2);
    EXPECT_TRUE(apart(small, 100, large, 5000));
    Position* next = arena.take(MOVE_BUFFER_SIZE);
    fill(next, MOVE_BUFFER_SIZE, 3);
    EXPECT_TRUE(apart(large, 5000, next, MOVE_BUFFER_SIZE));
    EXPECT_EQ(small[99].board[0], 1);
    EXPECT_EQ(large[4999].board[0], 2);

    arena.release(start);
    Position* again = arena.take(10);
    Position* larger = arena.take(9000);  // the block kept after the first holds only 5000
    fill(again, 10, 4);
    fill(larger, 9000, 5);
    EXPECT_TRUE(apart(again, 10, larger, 9000));
    EXPECT_EQ(again[9].board[0], 4);
}

}  // namespace
}  // namespace nagare
