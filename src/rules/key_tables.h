// The random words behind the hash keys, drawn from the standard 64-bit Mersenne Twister with its
// default seed so that every run (and every checkpoint) sees the same keys.
#pragma once

#include <cstdint>

#include "rules/position.h"

namespace nagare {

struct KeyTables {
    uint64_t board[49][154];  // by piece code and square; row 48 is the obstacle "●"
    uint64_t hand[40][300];   // hand[code][k]: the k-th piece of that code in hand, k from 1

    // The move words, drawn row by row (a row per square, piece code or promotion flag, a column per
    // ply) but kept ply by ply: the moves of one node all read the words of one ply, which then lie
    // in a few cache lines instead of one line and one page each.
    struct PlyWords {
        uint64_t from[100];  // by the two-digit file-rank number of the square (0 for a drop)
        uint64_t to[100];
        uint64_t piece[48];
        uint64_t promote[2];
    };
    PlyWords byPly[MAX_PLY];

    uint64_t from(int row, int ply) const { return byPly[ply].from[row]; }
    uint64_t to(int row, int ply) const { return byPly[ply].to[row]; }
    uint64_t piece(int code, int ply) const { return byPly[ply].piece[code]; }
    uint64_t promote(int flag, int ply) const { return byPly[ply].promote[flag]; }
};

const KeyTables& keyTables();

// Row of a square in the from and to tables: its two-digit file-rank number (0 for a drop).
constexpr int squareRow(int s) {
    return 10 * (s / 16) + s % 16;
}

}  // namespace nagare
