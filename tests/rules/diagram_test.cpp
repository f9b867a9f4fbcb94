#include "rules/diagram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "../support/real_problems.h"
#include "../support/test_files.h"
#include "rules/validation.h"
#include "run/problem_file.h"
#include "run/run_driver.h"

namespace nagare {
namespace {

Position positionOf(const std::array<uint8_t, 81>& diagram, const std::array<int32_t, 40>& hands, Side side) {
    Position p{};
    setUp(p, diagram.data(), hands.data(), side);
    return p;
}

TEST(Diagram, PrintsTheLayoutTheReaderReads) {
    std::array<uint8_t, 81> diagram{};
    const int backRank[] = {LANCE, KNIGHT, SILVER, GOLD, KING, GOLD, SILVER, KNIGHT, LANCE};
    for (int column = 0; column < 9; ++column)
        diagram[column] = static_cast<uint8_t>(GOTE + backRank[column]);
    diagram[8 * 9 + 4] = SENTE + KING;
    diagram[4 * 9 + 0] = SENTE + DRAGON;
    diagram[4 * 9 + 8] = WALL;
    std::array<int32_t, 40> hands{};
    hands[SENTE + GOLD] = 2;
    hands[SENTE + PAWN] = 1;
    std::string expected =
        "\n"
        "持駒：なし\n"
        "  ９ ８ ７ ６ ５ ４ ３ ２ １ \n"
        "+---------------------------+\n"
        "|v香v桂v銀v金v玉v金v銀v桂v香|一\n"
        "| ・ ・ ・ ・ ・ ・ ・ ・ ・|二\n"
        "| ・ ・ ・ ・ ・ ・ ・ ・ ・|三\n"
        "| ・ ・ ・ ・ ・ ・ ・ ・ ・|四\n"
        "| 龍 ・ ・ ・ ・ ・ ・ ・ ●|五\n"
        "| ・ ・ ・ ・ ・ ・ ・ ・ ・|六\n"
        "| ・ ・ ・ ・ ・ ・ ・ ・ ・|七\n"
        "| ・ ・ ・ ・ ・ ・ ・ ・ ・|八\n"
        "| ・ ・ ・ ・ 王 ・ ・ ・ ・|九\n"
        "+---------------------------+\n"
        "持駒：金2 歩 \n";
    EXPECT_EQ(formatDiagram(positionOf(diagram, hands, SENTE)), expected);
}

TEST(Diagram, HandsInRookToPawnOrderWithCounts) {
    std::array<int32_t, 40> hands{};
    for (int kind = PAWN; kind <= ROOK; ++kind) hands[GOTE + kind] = kind;
    hands[GOTE + PAWN] = 18;
    std::string text = formatDiagram(positionOf({}, hands, SENTE));
    EXPECT_NE(text.find("\n持駒：飛7 角6 金5 銀4 桂3 香2 歩18 \n"), std::string::npos) << text;
}

// Each real problem printed to a file and read back gives the same board; hands come back with one
// piece of each kind held, since the printer writes counts in ASCII digits, which the reader takes
// for a bare piece name (a count of ten or more, "歩18", would not read at all; these problems hold
// fewer).
TEST(Diagram, RealProblemsSurviveTheRoundTrip) {
    std::string path = test::tempPath("diagram.txt");
    for (const char* folder : {"short", "fairy"}) {
        for (const test::IndexedProblem& indexed : test::indexedProblems(folder)) {
            Problem original;
            ASSERT_EQ(readProblem(indexed.path, original).status, ReadStatus::OK);
            Position root = positionOf(original.record.diagram, original.record.handCounts,
                                       firstSideToMove(original.rules.genre, original.record.length));
            std::remove(path.c_str());
            drawDiagram(root, path);
            Problem copy;
            ASSERT_EQ(readProblem(path, copy).status, ReadStatus::OK) << indexed.path;
            EXPECT_EQ(copy.record.diagram, original.record.diagram) << indexed.path;
            for (int code = 0; code < 40; ++code)
                EXPECT_EQ(copy.record.handCounts[code], std::min(original.record.handCounts[code], 1))
                    << indexed.path << " code " << code;
        }
    }
}

TEST(Diagram, AppendsToTheFile) {
    std::string path = test::writeTempFile("report.txt", "前\n");
    Position root = positionOf({}, {}, SENTE);
    drawDiagram(root, path);
    drawDiagram(root, path);
    std::string diagram = formatDiagram(root);
    EXPECT_EQ(test::readFile(path), "前\n" + diagram + diagram);
}

TEST(Diagram, UnopenableFileLosesTheTextQuietly) {
    Position root = positionOf({}, {}, SENTE);
    std::string folder = test::tempPath("missing-folder");
    drawDiagram(root, folder + "/report.txt");
    EXPECT_TRUE(test::readFile(folder + "/report.txt").empty());
}

}  // namespace
}  // namespace nagare
