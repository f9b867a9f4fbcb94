// nagare-bench refuses, verb by verb, what nagare itself refuses to solve.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "../support/program_run.h"
#include "../support/test_files.h"
#include "platform/console.h"

namespace nagare {
namespace {

using test::shellQuoted;

struct BenchRun {
    int exitCode = -1;
    std::string output;  // UTF-8, standard output and standard error together
};

BenchRun runBench(const std::string& arguments) {
    const std::string command =
        "LC_ALL=C.UTF-8 " + shellQuoted(NAGARE_BENCH_BINARY) + " " + arguments + " 2>&1 < /dev/null";
    BenchRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int status = pclose(pipe);
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    return run;
}

struct Refusal {
    const char* file;     // under tests/data/run, or written by the test
    const char* message;  // nagare's own message, Shift-JIS
};

TEST(Bench, EveryVerbRefusesWhatNagareRefuses) {
    const std::string zeroLength = test::writeTempFile(
        "zero-length.kif", "手数：0\n" + test::diagramBlock(test::PLAIN_ROWS, "なし", "金"));
    const std::string data = std::string(NAGARE_TEST_DATA) + "/run/";
    const Refusal refusals[] = {
        {"king_in_check.kif", "初形で既に王手が掛かっています"},
        {"two_pawns.kif", "初形に二歩があります"},
        {"bad_hand_count.kif", "持駒数の指定が誤っています"},
        {nullptr, "手数は1手以上、2999手以内を指定してください"},
    };
    for (const Refusal& r : refusals) {
        const std::string file = shellQuoted(r.file != nullptr ? data + r.file : zeroLength);
        for (const std::string& verb :
             {"perft " + file + " 1", "watch " + file, "solve " + file, "profile " + file}) {
            const BenchRun run = runBench(verb);
            EXPECT_EQ(run.exitCode, 1) << verb;
            EXPECT_NE(run.output.find(platform::sjisToUtf8(r.message)), std::string::npos)
                << verb << ": " << run.output;
        }
    }
}

// The profile accounts for every expansion once: on the line or under the ply and move where it left
// the line, and no more distinct positions than expansions.
TEST(Bench, ProfileAccountsForEveryExpansion) {
    const std::string file =
        shellQuoted(std::string(NAGARE_TEST_DATA) + "/problems/short/mate11-000-000.kif");
    const BenchRun run = runBench("profile --top 100000 " + file);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    unsigned long long total = 0, distinct = 0, onLine = 0, futile = 0, deviations = 0;
    int deviationRows = 0;
    std::istringstream lines(run.output);
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> fields = test::tabFields(line);
        if (fields.size() != 5 || fields[0] == "row") continue;
        const unsigned long long count = std::strtoull(fields[3].c_str(), nullptr, 10);
        if (fields[0] == "total") total = count;
        if (fields[0] == "distinct") distinct = count;
        if (fields[0] == "on-line") onLine = count;
        if (fields[0] == "below-futile-drop") futile = count;
        if (fields[0] == "deviation") {
            deviations += count;
            ++deviationRows;
        }
    }
    EXPECT_GT(total, 0u) << run.output;
    EXPECT_GT(onLine, 0u);
    EXPECT_GT(deviationRows, 0);
    EXPECT_EQ(onLine + deviations, total) << run.output;
    EXPECT_LE(distinct, total);
    EXPECT_LE(futile, total - onLine);
    EXPECT_EQ(runBench("profile").exitCode, 2);
}

}  // namespace
}  // namespace nagare
