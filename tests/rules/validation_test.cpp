#include "rules/validation.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "../support/real_problems.h"
#include "rules/rule_set.h"
#include "run/problem_file.h"
#include "run/run_driver.h"

namespace nagare {
namespace {

struct Piece {
    Square square;
    int code;
};

Position positionOf(const std::vector<Piece>& pieces, Side side) {
    std::array<uint8_t, 81> diagram{};
    for (const Piece& p : pieces)
        diagram[(rankOf(p.square) - 1) * 9 + (9 - fileOf(p.square))] = static_cast<uint8_t>(p.code);
    std::array<int32_t, 40> hands{};
    Position position{};
    setUp(position, diagram.data(), hands.data(), side);
    return position;
}

constexpr int SK = SENTE + KING, GK = GOTE + KING;
const char* const NO_DEFENDER_KING = "受方玉がありません\n図が正しいかどうかチェックしてください\n";
const char* const NO_OWN_KING =
    "自玉詰にもかかわらず自玉がありません\n図や手番が正しいかどうかチェックしてください\n";
const char* const ALREADY_IN_CHECK =
    "初形で既に王手が掛かっています\n図や手番が正しいかどうかチェックしてください\n";
const char* const TWO_PAWNS = "初形に二歩があります\n";
const char* const UNMOVABLE = "初形に行きどころのない駒があります\n";
const char* const TWO_FIRST_KINGS = "先手の玉が二枚以上あります\n図が正しいかどうかチェックしてください\n";
const char* const TWO_SECOND_KINGS = "後手の玉が二枚以上あります\n図が正しいかどうかチェックしてください\n";

struct ValidationCase {
    const char* name;
    std::vector<Piece> pieces;
    Side side;
    int genre;
    const char* fault;  // "" when the position is fit
};

TEST(ValidateInitialPosition, FaultsInTheirOrder) {
    const ValidationCase cases[] = {
        {"plain", {{0x51, GK}, {0x59, SK}}, SENTE, GENRE_BEST_MATE, ""},
        {"no defender king, two pawns too",
         {{0x59, SK}, {0x55, SENTE + PAWN}, {0x56, SENTE + PAWN}},
         SENTE,
         GENRE_BEST_MATE,
         NO_DEFENDER_KING},
        {"no defender king in a win problem", {{0x59, SK}}, SENTE, GENRE_BEST_WIN, NO_DEFENDER_KING},
        {"own-king mate without own king", {{0x51, GK}}, GOTE, GENRE_BEST_SELFMATE, NO_OWN_KING},
        {"own-king worst mate without own king", {{0x51, GK}}, SENTE, GENRE_WORST_SELFMATE, NO_OWN_KING},
        {"own-king stalemate needs no king", {}, SENTE, GENRE_BEST_SELF_STALEMATE, ""},
        {"defender king in check, first player to move",
         {{0x51, GK}, {0x52, SENTE + GOLD}, {0x59, SK}},
         SENTE,
         GENRE_BEST_MATE,
         ALREADY_IN_CHECK},
        {"defender king attacked, second player to move",
         {{0x51, GK}, {0x52, SENTE + GOLD}, {0x59, SK}},
         GOTE,
         GENRE_BEST_MATE,
         ""},
        {"own king in check, second player to move",
         {{0x51, GK}, {0x59, SK}, {0x58, GOTE + GOLD}},
         GOTE,
         GENRE_BEST_MATE,
         ALREADY_IN_CHECK},
        {"check from afar by a rook",
         {{0x51, GK}, {0x55, SENTE + ROOK}, {0x19, SK}},
         SENTE,
         GENRE_BEST_MATE,
         ALREADY_IN_CHECK},
        {"blocked rook gives no check",
         {{0x51, GK}, {0x53, GOTE + PAWN}, {0x55, SENTE + ROOK}, {0x19, SK}},
         SENTE,
         GENRE_BEST_MATE,
         ""},
        {"check comes before two pawns",
         {{0x51, GK}, {0x52, SENTE + GOLD}, {0x16, SENTE + PAWN}, {0x17, SENTE + PAWN}, {0x59, SK}},
         SENTE,
         GENRE_BEST_MATE,
         ALREADY_IN_CHECK},
        {"two first-player pawns",
         {{0x51, GK}, {0x59, SK}, {0x93, SENTE + PAWN}, {0x97, SENTE + PAWN}},
         SENTE,
         GENRE_BEST_MATE,
         TWO_PAWNS},
        {"two second-player pawns",
         {{0x51, GK}, {0x59, SK}, {0x13, GOTE + PAWN}, {0x18, GOTE + PAWN}},
         SENTE,
         GENRE_BEST_MATE,
         TWO_PAWNS},
        {"promoted pawn beside a pawn",
         {{0x51, GK}, {0x59, SK}, {0x33, SENTE + PAWN + PROMOTED}, {0x37, SENTE + PAWN}},
         SENTE,
         GENRE_BEST_MATE,
         ""},
        {"one pawn of each side on a file",
         {{0x51, GK}, {0x59, SK}, {0x33, GOTE + PAWN}, {0x37, SENTE + PAWN}},
         SENTE,
         GENRE_BEST_MATE,
         ""},
        {"two pawns come before a stuck piece",
         {{0x51, GK}, {0x59, SK}, {0x93, SENTE + PAWN}, {0x97, SENTE + PAWN}, {0x11, SENTE + LANCE}},
         SENTE,
         GENRE_BEST_MATE,
         TWO_PAWNS},
        {"first-player pawn on rank 1",
         {{0x51, GK}, {0x59, SK}, {0x91, SENTE + PAWN}},
         SENTE,
         GENRE_BEST_MATE,
         UNMOVABLE},
        {"first-player lance on rank 1",
         {{0x51, GK}, {0x59, SK}, {0x11, SENTE + LANCE}},
         SENTE,
         GENRE_BEST_MATE,
         UNMOVABLE},
        {"first-player knight on 1一, whose jump leaves the maps",
         {{0x51, GK}, {0x59, SK}, {0x11, SENTE + KNIGHT}},
         SENTE,
         GENRE_BEST_MATE,
         UNMOVABLE},
        {"two defender kings",
         {{0x51, GK}, {0x91, GK}, {0x59, SK}},
         SENTE,
         GENRE_BEST_MATE,
         TWO_SECOND_KINGS},
        {"two first-player kings, before the missing defender king",
         {{0x59, SK}, {0x19, SK}},
         SENTE,
         GENRE_BEST_MATE,
         TWO_FIRST_KINGS},
        {"two kings where the genre needs none",
         {{0x55, SK}, {0x15, SK}},
         SENTE,
         GENRE_BEST_SELF_STALEMATE,
         TWO_FIRST_KINGS},
        {"first-player knight on rank 2",
         {{0x51, GK}, {0x59, SK}, {0x22, SENTE + KNIGHT}},
         SENTE,
         GENRE_BEST_MATE,
         UNMOVABLE},
        {"first-player knight on rank 3",
         {{0x51, GK}, {0x59, SK}, {0x23, SENTE + KNIGHT}},
         SENTE,
         GENRE_BEST_MATE,
         ""},
        {"first-player knight on rank 8",
         {{0x51, GK}, {0x59, SK}, {0x28, SENTE + KNIGHT}},
         SENTE,
         GENRE_BEST_MATE,
         ""},
        {"second-player knight on rank 8",
         {{0x51, GK}, {0x59, SK}, {0x88, GOTE + KNIGHT}},
         SENTE,
         GENRE_BEST_MATE,
         UNMOVABLE},
        {"second-player knight on rank 9",
         {{0x51, GK}, {0x59, SK}, {0x99, GOTE + KNIGHT}},
         SENTE,
         GENRE_BEST_MATE,
         UNMOVABLE},
        {"second-player pawn on rank 9",
         {{0x51, GK}, {0x59, SK}, {0x19, GOTE + PAWN}},
         SENTE,
         GENRE_BEST_MATE,
         UNMOVABLE},
        {"second-player lance on rank 1",
         {{0x51, GK}, {0x59, SK}, {0x11, GOTE + LANCE}},
         SENTE,
         GENRE_BEST_MATE,
         ""},
        {"promoted lance on rank 1",
         {{0x51, GK}, {0x59, SK}, {0x11, SENTE + LANCE + PROMOTED}},
         SENTE,
         GENRE_BEST_MATE,
         ""},
    };
    for (const ValidationCase& c : cases) {
        Position position = positionOf(c.pieces, c.side);
        Position before;
        std::memcpy(&before, &position, sizeof position);
        EXPECT_EQ(initialPositionFault(position, c.genre), c.fault) << c.name;
        EXPECT_EQ(validateInitialPosition(position, c.genre), std::string(c.fault).empty()) << c.name;
        EXPECT_EQ(std::memcmp(&before, &position, sizeof position), 0) << c.name;
    }
}

// Positions from real games and composed problems are all fit to solve.
TEST(ValidateInitialPosition, RealProblemsPass) {
    for (const char* folder : {"short", "fairy"}) {
        for (const test::IndexedProblem& indexed : test::indexedProblems(folder)) {
            Problem problem;
            ASSERT_EQ(readProblem(indexed.path, problem).status, ReadStatus::OK) << indexed.path;
            Position root{};
            setUp(root, problem.record.diagram.data(), problem.record.handCounts.data(),
                  firstSideToMove(problem.rules.genre, problem.record.length));
            EXPECT_EQ(initialPositionFault(root, problem.rules.genre), "") << indexed.path;
        }
    }
}

}  // namespace
}  // namespace nagare
