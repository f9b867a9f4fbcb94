// Real problems read against their indexes, which describe each position in SFEN.
#include "../support/real_problems.h"

#include <gtest/gtest.h>

#include "platform/console.h"
#include "run/problem_file.h"
#include "run/run_driver.h"

namespace nagare {
namespace {

void expectAsIndexed(const test::IndexedProblem& indexed, const Problem& problem) {
    test::Diagram sfen = test::parseSfen(indexed.columns.at("sfen"));
    EXPECT_EQ(problem.record.diagram, sfen.cells) << indexed.path;
    EXPECT_EQ(problem.record.handCounts, sfen.hands) << indexed.path;
    EXPECT_EQ(problem.record.length, std::stoi(indexed.columns.at("length"))) << indexed.path;
    EXPECT_EQ(firstSideToMove(problem.rules.genre, problem.record.length), sfen.side) << indexed.path;
}

TEST(RealProblems, GamePositionsReadAsTheirSfen) {
    std::vector<test::IndexedProblem> problems = test::indexedProblems("short");
    ASSERT_FALSE(problems.empty());
    for (const test::IndexedProblem& indexed : problems) {
        Problem problem;
        ASSERT_EQ(readProblem(indexed.path, problem).status, ReadStatus::OK) << indexed.path;
        expectAsIndexed(indexed, problem);
        EXPECT_EQ(problem.rules.genre, GENRE_BEST_MATE);
    }
}

TEST(RealProblems, FairyPositionsReadWithTheirGenres) {
    std::vector<test::IndexedProblem> problems = test::indexedProblems("fairy");
    ASSERT_FALSE(problems.empty());
    for (const test::IndexedProblem& indexed : problems) {
        Problem problem;
        ASSERT_EQ(readProblem(indexed.path, problem).status, ReadStatus::OK) << indexed.path;
        expectAsIndexed(indexed, problem);
        EXPECT_EQ(problem.rules.genre, std::stoi(indexed.columns.at("genre"), nullptr, 16)) << indexed.path;
        // The index (UTF-8) gives the classification line as the file writes it.
        const std::string& written = indexed.columns.at("classification");
        EXPECT_TRUE(written.ends_with(platform::sjisToUtf8(problem.record.classification))) << indexed.path;
    }
}

}  // namespace
}  // namespace nagare
