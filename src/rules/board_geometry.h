// Squares, sides, piece codes and the constant tables that say how each piece moves.
#pragma once

#include <array>
#include <cstdint>

namespace nagare {

// A square is 16 * file + rank with file and rank in 1..9: file 1 is the rightmost column of the
// printed diagram, rank 1 the top row (the second player's back rank). Playable squares are 17..153.
using Square = int;

constexpr int FILE_COUNT = 9;
constexpr int RANK_COUNT = 9;
constexpr Square FIRST_SQUARE = 0x11;
constexpr Square LAST_SQUARE = 0x99;
constexpr int SQUARE_SPAN = 176;  // attack-map words, wall squares included
constexpr int BOARD_ELEMENTS = 192;
constexpr int BOARD_OFFSET = 16;  // the element of square s is board[s + 16]

constexpr int fileOf(Square s) {
    return s >> 4;
}
constexpr int rankOf(Square s) {
    return s & 15;
}
constexpr Square makeSquare(int file, int rank) {
    return file * 16 + rank;
}
constexpr bool isPlayable(Square s) {
    return fileOf(s) >= 1 && fileOf(s) <= 9 && rankOf(s) >= 1 && rankOf(s) <= 9;
}

// Sides are the side bits of a piece code.
using Side = int;
constexpr Side SENTE = 16;  // 先手, the first player, moves towards rank 1
constexpr Side GOTE = 32;   // 後手, the second player, marked "v" in diagrams
constexpr Side opponent(Side s) {
    return s ^ (SENTE | GOTE);
}
constexpr int sideIndex(Side s) {
    return s >> 5;
}  // 0 for the first player, 1 for the second

// Piece codes: side bit plus kind; promotion sets bit 8. The wall carries both side bits, so the
// single test (side & code) != 0 rejects own pieces and the wall alike.
using PieceCode = int;
constexpr PieceCode EMPTY = 0;
constexpr PieceCode WALL = 48;
constexpr int PAWN = 1, LANCE = 2, KNIGHT = 3, SILVER = 4, GOLD = 5, BISHOP = 6, ROOK = 7, KING = 8;
constexpr int PROMOTED = 8;
constexpr int HORSE = BISHOP + PROMOTED, DRAGON = ROOK + PROMOTED;
constexpr int KIND_MASK = 15;
constexpr int SIDE_MASK = SENTE | GOTE;
constexpr int UNPROMOTE_MASK = ~56;  // code & ~56 is the unpromoted kind, the piece as it goes to hand

constexpr int kindOf(PieceCode c) {
    return c & KIND_MASK;
}
constexpr Side sideOf(PieceCode c) {
    return c & SIDE_MASK;
}
constexpr PieceCode handCode(PieceCode captured, Side capturer) {
    return (captured & UNPROMOTE_MASK) | capturer;
}
constexpr bool isLongRange(PieceCode c) {
    int k = kindOf(c);
    return k == BISHOP || k == ROOK || k == HORSE || k == DRAGON;
}

// The twelve directions as square offsets, always in this order; it is also the bit order of the
// attack words. Indices 0..7 are the line directions and d and 7 - d are opposite. 8 and 9 are the
// first player's knight jumps, 10 and 11 the second player's.
constexpr int DIRECTION_COUNT = 12;
constexpr int LINE_DIRECTIONS = 8;
constexpr std::array<int, DIRECTION_COUNT> OFFSET = {17, 1, -15, 16, -16, 15, -1, -17, 14, -18, 18, -14};
constexpr int SLIDE_BIT_SHIFT = 16;  // bit 16 + d of an attack word: a slide travelling in direction d
constexpr uint32_t STEP_BITS = 0x0fff;
constexpr uint32_t SLIDE_BITS = 0x00ff0000;

// How each kind moves, for the first player (the second player's offsets are negated): its steps
// (adjacent squares and knight jumps) and its slides (lines), each in the order the generators
// write the moves in. The attack tables below are built from the same lists.
struct PieceMoves {
    std::array<int, 8> steps;
    int stepCount;
    std::array<int, 4> slides;
    int slideCount;
};

namespace detail {

constexpr PieceMoves NO_MOVES = {{}, 0, {}, 0};
constexpr PieceMoves PAWN_MOVES = {{-1}, 1, {}, 0};
constexpr PieceMoves LANCE_MOVES = {{}, 0, {-1}, 1};
constexpr PieceMoves KNIGHT_MOVES = {{14, -18}, 2, {}, 0};
constexpr PieceMoves SILVER_MOVES = {{-1, -17, 15, 17, -15}, 5, {}, 0};
constexpr PieceMoves GOLD_MOVES = {{-1, -17, 15, 1, -16, 16}, 6, {}, 0};
constexpr PieceMoves BISHOP_MOVES = {{}, 0, {17, -17, 15, -15}, 4};
constexpr PieceMoves ROOK_MOVES = {{}, 0, {1, -1, -16, 16}, 4};
constexpr PieceMoves KING_MOVES = {{17, 1, -15, 16, -16, 15, -1, -17}, 8, {}, 0};
constexpr PieceMoves HORSE_MOVES = {{1, 16, -16, -1}, 4, {17, -17, 15, -15}, 4};
constexpr PieceMoves DRAGON_MOVES = {{17, -15, -17, 15}, 4, {1, -1, -16, 16}, 4};

}  // namespace detail

// By kind 0..15. The promoted pawn, lance, knight and silver move like a gold, and so would the
// promoted gold (kind 13), which never stands on the board.
inline constexpr std::array<const PieceMoves*, 16> MOVES_OF_KIND = {
    &detail::NO_MOVES,     &detail::PAWN_MOVES, &detail::LANCE_MOVES,  &detail::KNIGHT_MOVES,
    &detail::SILVER_MOVES, &detail::GOLD_MOVES, &detail::BISHOP_MOVES, &detail::ROOK_MOVES,
    &detail::KING_MOVES,   &detail::GOLD_MOVES, &detail::GOLD_MOVES,   &detail::GOLD_MOVES,
    &detail::GOLD_MOVES,   &detail::GOLD_MOVES, &detail::HORSE_MOVES,  &detail::DRAGON_MOVES};

namespace detail {

struct MovementTables {
    std::array<std::array<uint8_t, 64>, DIRECTION_COUNT> canStep{};
    std::array<std::array<uint8_t, 64>, DIRECTION_COUNT> canSlide{};
    std::array<uint8_t, 64> canPromote{};
};

constexpr int directionOf(int offset) {
    for (int d = 0; d < DIRECTION_COUNT; ++d)
        if (OFFSET[d] == offset) return d;
    return -1;
}

constexpr MovementTables buildMovementTables() {
    MovementTables t{};
    for (int kind = 1; kind <= DRAGON; ++kind) {
        const PieceMoves& moves = *MOVES_OF_KIND[kind];
        for (Side side : {SENTE, GOTE}) {
            // The second player's pieces move as the first player's turned half round.
            const int sign = side == SENTE ? 1 : -1;
            const int code = side + kind;
            for (int i = 0; i < moves.stepCount; ++i) t.canStep[directionOf(sign * moves.steps[i])][code] = 1;
            for (int i = 0; i < moves.slideCount; ++i)
                t.canSlide[directionOf(sign * moves.slides[i])][code] = 1;
        }
    }
    for (int kind : {PAWN, LANCE, KNIGHT, SILVER, BISHOP, ROOK}) {
        t.canPromote[SENTE + kind] = 1;
        t.canPromote[GOTE + kind] = 1;
    }
    return t;
}

inline constexpr MovementTables MOVEMENT = buildMovementTables();

}  // namespace detail

// canStep[d][code]: the piece attacks the adjacent square (or knight target) in direction d.
// canSlide[d][code]: the piece slides along line direction d.
inline constexpr const auto& canStep = detail::MOVEMENT.canStep;
inline constexpr const auto& canSlide = detail::MOVEMENT.canSlide;
inline constexpr const auto& canPromote = detail::MOVEMENT.canPromote;

// Whether the code is a piece of `side` (not empty, not the wall).
constexpr bool isPieceOf(PieceCode code, Side side) {
    return code != WALL && (code & side) != 0;
}

// Promotion zone: ranks 1..3 for the first player, 7..9 for the second.
constexpr bool inPromotionZone(Side side, Square s) {
    return side == SENTE ? rankOf(s) <= 3 : rankOf(s) >= 7;
}

// A piece of `code` that moves to `to` must promote: a pawn or lance on the last rank, a knight on
// the last two, counted from `side`.
constexpr bool mustPromote(PieceCode code, Side side, Square to) {
    const int kind = kindOf(code);
    const int rank = side == SENTE ? rankOf(to) : 10 - rankOf(to);
    return ((kind == PAWN || kind == LANCE) && rank == 1) || (kind == KNIGHT && rank <= 2);
}

// It may promote: a piece that promotes at all, moving into, out of or within the zone.
constexpr bool mayPromote(PieceCode code, Side side, Square from, Square to) {
    return canPromote[code] && (inPromotionZone(side, from) || inPromotionZone(side, to));
}

}  // namespace nagare
