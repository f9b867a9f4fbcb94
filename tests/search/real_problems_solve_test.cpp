// Real problems decided by independent solvers: nagare must reach the same verdicts.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "../support/real_problems.h"
#include "../support/solve_support.h"
#include "rules/line_replay.h"
#include "rules/notation.h"

namespace nagare {
namespace {

// Mate problems from real games: proved at the stated length with that proof length, and not two
// plies sooner (an independent solver counting every move found no shorter mate).
TEST(RealProblems, ShortMatesAreProvedAtTheirLengthAndNotSooner) {
    auto problems = test::indexedProblems("short");
    ASSERT_FALSE(problems.empty());
    for (const auto& p : problems) {
        const int length = std::stoi(p.columns.at("length"));
        test::Solved atLength = test::solveFile(p.path);
        EXPECT_TRUE(atLength.proved) << p.path;
        EXPECT_EQ(atLength.proofLength, length) << p.path;
        if (length >= 3) {
            EXPECT_FALSE(test::solveFile(p.path, length - 2).proved) << p.path;
        }
    }
}

// Small fairy problems, one or more per genre and move rule, each decided by an independent solver
// that follows the same rules: proved at the stated length (then the shortest) or not proved.
TEST(RealProblems, FairyGenresAndMoveRulesAreDecidedAsTheIndependentSolverDecided) {
    auto problems = test::indexedProblems("fairy");
    ASSERT_FALSE(problems.empty());
    for (const auto& p : problems) {
        const int length = std::stoi(p.columns.at("length"));
        const bool expected = p.columns.at("expected") == "proved";
        test::Solved s = test::solveFile(p.path);
        EXPECT_EQ(s.proved, expected) << p.path << " " << p.columns.at("genre");
        if (expected) {
            EXPECT_EQ(s.proofLength, length) << p.path;
            if (length >= 3) {
                EXPECT_FALSE(test::solveFile(p.path, length - 2).proved) << p.path;
            }
        }
    }
}

// A table far too small for the search: space recovery runs again and again, and the verdict must
// still be right (or the root not proved), never a wrong proof.
TEST(RealProblems, ATinyTableStillGivesTheRightVerdict) {
    const std::string path = std::string(NAGARE_TEST_DATA) + "/problems/short/mate11-000-003.kif";
    test::QuietTableConsole quiet;
    test::SolveRig rig;
    ASSERT_TRUE(rig.load(path, 2039));
    rig.table.console = &quiet;
    test::Solved s = rig.search(11);
    EXPECT_GT(quiet.recoveries, 10);
    if (s.proved) {
        EXPECT_EQ(s.proofLength, 11);
    }
    EXPECT_LE(rig.table.usedCount, rig.table.tableSize);
    EXPECT_EQ(rig.table.usedCount, rig.table.recount());
    test::SolveRig shorter;
    ASSERT_TRUE(shorter.load(path, 2039));
    shorter.table.console = &quiet;
    EXPECT_FALSE(shorter.search(9).proved);
}

}  // namespace
}  // namespace nagare

namespace nagare {
namespace {

// The lines of the indexes were computed by independent solvers: each must replay under nagare's
// rules as a legal line to the goal (an independent check of move generation and the goals).
TEST(RealProblems, IndexLinesReplayUnderOurRules) {
    for (const char* folder : {"short", "fairy"}) {
        for (const auto& p : test::indexedProblems(folder)) {
            const std::string usi = p.columns.count("line") ? p.columns.at("line") : "";
            if (usi.empty()) continue;
            test::SolveRig rig;
            ASSERT_TRUE(rig.load(p.path));
            std::vector<Move> line;
            Position q = rig.root;
            std::istringstream words(usi);
            for (std::string w; words >> w;) {
                Move m = parseMoveUsi(q, w);
                ASSERT_FALSE(m.isNull()) << p.path << " " << w;
                line.push_back(m);
                makeMove(q, m);
            }
            EXPECT_EQ(replayLine(rig.root, line, rig.problem.rules), "ok") << p.path << " " << usi;
            EXPECT_EQ(static_cast<int>(line.size()), rig.problem.record.length) << p.path;
        }
    }
}

}  // namespace
}  // namespace nagare
