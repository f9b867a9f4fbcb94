// nagare-bench refuses, verb by verb, what nagare itself refuses to solve.
#include <gtest/gtest.h>

#include <string>

#include "../support/program_run.h"
#include "../support/test_files.h"
#include "platform/console.h"

namespace nagare {
namespace {

using test::shellQuoted;

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
        for (const std::string& verb : {"perft " + file + " 1", "watch " + file, "solve " + file}) {
            test::ProgramRun run = test::runProgram(NAGARE_BENCH_BINARY, verb);
            EXPECT_EQ(run.exitCode, 1) << verb;
            EXPECT_NE(run.output.find(platform::sjisToUtf8(r.message)), std::string::npos)
                << verb << ": " << run.output;
        }
    }
}

}  // namespace
}  // namespace nagare
