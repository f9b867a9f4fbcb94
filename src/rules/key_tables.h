// The random words behind the hash keys, drawn from the standard 64-bit Mersenne Twister with its
// default seed so that every run (and every checkpoint) sees the same keys.
#pragma once

#include <cstdint>

#include "rules/position.h"

namespace nagare {

struct KeyTables {
    uint64_t board[49][154];      // by piece code and square; row 48 is the obstacle "●"
    uint64_t hand[40][300];       // hand[code][k]: the k-th piece of that code in hand, k from 1
    uint64_t from[100][MAX_PLY];  // by the two-digit file-rank number of the square, and ply
    uint64_t to[100][MAX_PLY];
    uint64_t piece[48][MAX_PLY];
    uint64_t promote[2][MAX_PLY];
};

const KeyTables& keyTables();

// Row of a square in the from and to tables: its two-digit file-rank number (0 for a drop).
constexpr int squareRow(int s) {
    return 10 * (s / 16) + s % 16;
}

}  // namespace nagare
