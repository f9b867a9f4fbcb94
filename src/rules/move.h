// The move word: four bytes, compared and stored whole.
#pragma once

#include <cstdint>

#include "rules/board_geometry.h"

namespace nagare {

// Byte 0 the from square (0 for a drop; anything below 17 reads as a drop), byte 1 the to square,
// byte 2 the code of the moving piece before the move (the dropped piece for a drop), byte 3 1 when
// the move promotes.
struct Move {
    uint8_t from = 0;
    uint8_t to = 0;
    uint8_t piece = 0;
    uint8_t promote = 0;

    friend constexpr bool operator==(const Move&, const Move&) = default;

    constexpr bool isDrop() const { return from < FIRST_SQUARE; }
    constexpr bool isNull() const { return from == 0 && to == 0 && piece == 0 && promote == 0; }
    // The killer-move form: from, to, piece, promotion from the most significant byte down.
    constexpr uint32_t packed() const {
        return uint32_t(from) << 24 | uint32_t(to) << 16 | uint32_t(piece) << 8 | promote;
    }
    static constexpr Move unpack(uint32_t w) {
        return Move{uint8_t(w >> 24), uint8_t(w >> 16), uint8_t(w >> 8), uint8_t(w)};
    }
};
static_assert(sizeof(Move) == 4);

constexpr Move makeBoardMove(Square from, Square to, PieceCode piece, bool promote) {
    return Move{uint8_t(from), uint8_t(to), uint8_t(piece), uint8_t(promote ? 1 : 0)};
}
constexpr Move makeDrop(Square to, PieceCode piece) {
    return Move{0, uint8_t(to), uint8_t(piece), 0};
}

// The generators write into a buffer of this many moves, without testing its bound: no position has
// more. Count the moves by destination: a square is reached by at most one piece along each of the
// eight lines (the nearest one) and one from each of the two knight squares, each move in at most
// two promotion variants, and by a drop of at most seven kinds.
constexpr int KNIGHT_SQUARES = 2;      // the squares a knight of one side reaches a square from
constexpr int PROMOTION_VARIANTS = 2;  // promoting and not
constexpr int DROPPABLE_KINDS = ROOK;  // pawn to rook
constexpr int MOVERS_PER_SQUARE = LINE_DIRECTIONS + KNIGHT_SQUARES;
constexpr int MOVES_PER_SQUARE = PROMOTION_VARIANTS * MOVERS_PER_SQUARE + DROPPABLE_KINDS;
constexpr int MOVE_BUFFER_SIZE = FILE_COUNT * RANK_COUNT * MOVES_PER_SQUARE;

}  // namespace nagare
