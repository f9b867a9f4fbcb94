#include "rules/notation.h"

#include <gtest/gtest.h>

#include "../support/sfen.h"

namespace nagare {
namespace {

struct NotationCase {
    const char* sfen;
    Move move;
    Square previousDestination;  // 0: no previous move
    const char* expected;        // Shift-JIS, with the closing blank
};

class FullForm : public ::testing::TestWithParam<NotationCase> {};

TEST_P(FullForm, WritesTheTraditionalNotation) {
    const NotationCase& c = GetParam();
    Position p = test::positionFromSfen(c.sfen);
    p.lastMove.to = static_cast<uint8_t>(c.previousDestination);
    EXPECT_EQ(formatMove(p, c.move), c.expected);
}

constexpr int S = SENTE, G = GOTE;

INSTANTIATE_TEST_SUITE_P(
    Cases, FullForm,
    ::testing::Values(
        NotationCase{test::STARTING_POSITION, makeBoardMove(0x77, 0x76, S + PAWN, false), 0, "76歩 "},
        NotationCase{"4k4/9/6p2/9/6+R2/9/9/9/4K4 b - 1", makeBoardMove(0x35, 0x33, S + DRAGON, false), 0x33,
                     "同龍 "},
        NotationCase{"4k4/9/9/9/5N3/9/9/9/4K4 b - 1", makeBoardMove(0x45, 0x33, S + KNIGHT, true), 0,
                     "33桂成 "},
        // one gold straight up, another beside it
        NotationCase{"4k4/9/3GG4/9/9/9/9/9/4K4 b - 1", makeBoardMove(0x53, 0x52, S + GOLD, false), 0,
                     "52金直 "},
        NotationCase{"8k/9/3G1G3/9/9/9/9/9/4K4 b - 1", makeBoardMove(0x63, 0x52, S + GOLD, false), 0,
                     "52金左 "},
        NotationCase{"8k/9/3G1G3/9/9/9/9/9/4K4 b - 1", makeBoardMove(0x43, 0x52, S + GOLD, false), 0,
                     "52金右 "},
        NotationCase{"8k/6S2/9/4S4/9/9/9/9/4K4 b - 1", makeBoardMove(0x54, 0x43, S + SILVER, false), 0,
                     "43銀上生 "},
        NotationCase{"8k/9/9/7R1/9/9/9/1R7/4K4 b - 1", makeBoardMove(0x24, 0x28, S + ROOK, false), 0,
                     "28飛引 "},
        NotationCase{"8k/9/9/5B3/9/9/9/9/4K4 b - 1", makeBoardMove(0x44, 0x22, S + BISHOP, false), 0,
                     "22角生 "},
        NotationCase{"8k/9/6B2/9/9/9/9/9/4K4 b B 1", makeDrop(0x55, S + BISHOP), 0, "55角打 "},
        NotationCase{"8k/9/9/9/9/9/9/9/4K4 b B 1", makeDrop(0x55, S + BISHOP), 0, "55角 "},
        NotationCase{"8k/9/9/9/9/9/9/9/4K4 b P 1", makeDrop(0x76, S + PAWN), 0, "76歩 "},
        NotationCase{"8k/9/9/9/9/9/9/9/4GK3 b - 1", makeBoardMove(0x59, 0x58, S + GOLD, false), 0, "58金 "},
        // the second player: forward is towards rank 9, right is the larger file
        NotationCase{"4k4/9/9/9/9/9/4gg3/9/4K4 w - 1", makeBoardMove(0x57, 0x58, G + GOLD, false), 0,
                     "58金直 "},
        NotationCase{"4k4/9/9/9/9/9/3g1g3/9/K8 w - 1", makeBoardMove(0x67, 0x58, G + GOLD, false), 0,
                     "58金右 "},
        NotationCase{"8k/6s2/9/4s4/9/9/9/9/K8 w - 1", makeBoardMove(0x32, 0x43, G + SILVER, false), 0,
                     "43銀上 "},
        NotationCase{"4k4/9/9/9/4s4/9/2s6/9/K8 w - 1", makeBoardMove(0x55, 0x66, G + SILVER, false), 0,
                     "66銀上 "},
        NotationCase{"4k4/9/9/9/9/9/4s4/9/K8 w - 1", makeBoardMove(0x57, 0x68, G + SILVER, false), 0,
                     "68銀生 "},
        NotationCase{"4k4/9/9/9/9/9/9/9/K8 w P 1", makeDrop(0x55, G + PAWN), 0x55, "同歩 "}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(ShortForm, WritesDestinationPieceAndOrigin) {
    EXPECT_EQ(formatMoveShort(makeBoardMove(0x77, 0x76, SENTE + PAWN, false)), "76歩(77)");
    EXPECT_EQ(formatMoveShort(makeBoardMove(0x28, 0x24, SENTE + ROOK, true)), "24飛成(28)");
    EXPECT_EQ(formatMoveShort(makeDrop(0x55, SENTE + BISHOP)), "55角打");
    EXPECT_EQ(formatMoveShort(makeBoardMove(0x51, 0x52, GOTE + KING, false)), "52玉(51)");
    EXPECT_EQ(formatMoveShort(makeBoardMove(0x59, 0x58, SENTE + KING, false)), "58王(59)");
}

TEST(UsiForm, SquaresAsDigitAndLetterDropsByTheirLetter) {
    EXPECT_EQ(formatMoveUsi(makeBoardMove(0x77, 0x76, SENTE + PAWN, false)), "7g7f");
    EXPECT_EQ(formatMoveUsi(makeBoardMove(0x28, 0x24, SENTE + ROOK, true)), "2h2d+");
    EXPECT_EQ(formatMoveUsi(makeDrop(0x55, GOTE + ROOK)), "R*5e");
    // A drop of a piece no hand holds (a move list may name one) is written, not read past the letters.
    EXPECT_EQ(formatMoveUsi(makeDrop(0x55, SENTE + DRAGON)), "?*5e");
    EXPECT_EQ(formatMoveUsi(makeDrop(0x55, GOTE + KING)), "?*5e");
}

}  // namespace
}  // namespace nagare
