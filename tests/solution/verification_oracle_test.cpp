// The findings of the solution walk against an independent referee: nagare-bench verify solves and
// walks real problems, and a plain minimax over the reference generator's moves decides, for every
// alternative at every ply of the verified line, whether it should have been reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../support/program_run.h"
#include "../support/real_problems.h"
#include "../support/test_files.h"
#include "../support/walk_referee.h"
#include "platform/console.h"
#include "rules/line_replay.h"
#include "rules/notation.h"
#include "run/problem_file.h"
#include "run/run_driver.h"
#include "solution/solution_lines.h"

namespace nagare {
namespace {

using test::utf8;

struct BenchRow {
    int ply = 0;
    std::string kind;  // UTF-8
    std::string move;
};

// Runs nagare-bench verify on the files; the rows of each file by its name.
std::map<std::string, std::vector<BenchRow>> benchVerify(const std::vector<std::string>& files) {
    const std::string out = test::tempPath("rows.tsv");
    std::string command = "LC_ALL=C.UTF-8 '" + std::string(NAGARE_BENCH_BINARY) + "' verify --mb 20";
    for (const std::string& f : files) command += " '" + f + "'";
    command += " < /dev/null > '" + out + "' 2> /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::map<std::string, std::vector<BenchRow>> rows;
    std::istringstream text(test::readFile(out));
    std::string line;
    std::getline(text, line);
    EXPECT_EQ(line, "file\tply\tkind\tmove");
    while (std::getline(text, line)) {
        std::vector<std::string> fields = test::tabFields(line);
        fields.resize(4);
        rows[fields[0]].push_back(BenchRow{std::atoi(fields[1].c_str()), fields[2], fields[3]});
    }
    return rows;
}

MoveLine parseLine(const Position& root, const std::string& usi) {
    MoveLine line;
    Position p = root;
    std::istringstream words(usi);
    for (std::string word; words >> word;) {
        const Move m = parseMoveUsi(p, word);
        line.push_back(m);
        makeMove(p, m);
    }
    return line;
}

// Checks the rows of one problem against the referee.
void checkAgainstReferee(const std::string& path, const std::vector<BenchRow>& rows) {
    SCOPED_TRACE(path);
    Problem problem;
    ASSERT_EQ(readProblem(path, problem).status, ReadStatus::OK);
    ASSERT_FALSE(problem.options.symmetry) << "the referee expands both halves of a symmetric board";
    Position root{};
    setUp(root, problem.record.diagram.data(), problem.record.handCounts.data(),
          firstSideToMove(problem.rules.genre, problem.record.length));

    const std::map<std::string, std::string> kinds = {
        {utf8("非限定"), "non-unique"}, {utf8("余詰"), "cook"}, {utf8("迂回"), "detour"}};
    std::vector<test::ReportedFinding> findings;
    MoveLine line;
    bool proved = false;
    for (const BenchRow& r : rows) {
        if (r.kind == "line") {
            proved = true;
            line = parseLine(root, r.move);
        } else if (auto k = kinds.find(r.kind); k != kinds.end()) {
            findings.push_back(test::ReportedFinding{r.ply, r.move, k->second});
        }
    }
    test::ReferenceGame game(problem.rules);
    ASSERT_EQ(proved, game.forces(root, problem.record.length));
    if (!proved) return;
    test::expectWalkAgreesWithReferee(
        root, test::WalkRules{problem.rules, problem.options.cookCheck, problem.options.cookDepth}, line,
        findings);
}

// The referee is a plain minimax: problems up to seven plies keep the test within seconds, in a
// sanitizer build too.
constexpr int LONGEST_REFEREED = 7;

TEST(VerificationOracle, FindingsOfRealProblemsAgreeWithMinimax) {
    std::vector<std::string> files;
    for (const char* folder : {"short", "fairy"})
        for (const auto& p : test::indexedProblems(folder))
            if (std::atoi(p.columns.at("length").c_str()) <= LONGEST_REFEREED) files.push_back(p.path);
    const auto rows = benchVerify(files);
    for (const std::string& path : files) {
        const std::string name = path.substr(path.find_last_of('/') + 1);
        checkAgainstReferee(path, rows.count(name) ? rows.at(name) : std::vector<BenchRow>{});
    }
}

}  // namespace
}  // namespace nagare
