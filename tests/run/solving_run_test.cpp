// The whole run of nagare on a problem: the phases of the solve, their messages and questions, the
// report beside the problem file and its summary block.
#include "run/solving_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "../support/program_run.h"
#include "../support/real_problems.h"
#include "../support/test_files.h"
#include "run/run_driver.h"

namespace nagare {
namespace {

using test::ProgramRun;
using test::runNagare;
using test::shellQuoted;
using test::utf8;

std::string problemText(const std::string& folder, const std::string& file) {
    return test::readFile(std::string(NAGARE_TEST_DATA) + "/problems/" + folder + "/" + file);
}

// The problem text with its 手数 line replaced and `extra` lines (Shift-JIS) added at its end, where
// they override the file's own classification.
std::string edited(std::string text, const std::string& length, const std::string& extra = "") {
    const std::string key = "手数：";
    const size_t at = text.find(key);
    if (!length.empty() && at != std::string::npos) {
        const size_t end = text.find('\n', at);
        text.replace(at, end - at, key + length);
    }
    return text + extra;
}

// A run of nagare on `text` written to a file of its own, with `answers` typed at its questions.
struct SolvedRun {
    ProgramRun program;
    std::string report;  // UTF-8
    std::string problemPath;
};

SolvedRun solveText(const std::string& name, const std::string& text, const std::string& answers = "") {
    SolvedRun r;
    r.problemPath = test::writeTempFile(name, text);
    std::filesystem::remove(r.problemPath + ".txt");
    const std::string input = answers.empty() ? "/dev/null" : test::writeTempFile("answers.txt", answers);
    r.program = runNagare(shellQuoted(r.problemPath), input);
    r.report = utf8(test::readFile(r.problemPath + ".txt"));
    return r;
}

bool contains(const std::string& haystack, const std::string& sjisNeedle) {
    return haystack.find(utf8(sjisNeedle)) != std::string::npos;
}

// The length of the last line written ("まで N手"), or -1.
int lastLineLength(const std::string& text) {
    static const std::regex closing(utf8("まで ([0-9]+)手\n"));
    int length = -1;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), closing); it != std::sregex_iterator();
         ++it)
        length = std::stoi((*it)[1]);
    return length;
}

const char* const MATE3 = "mate3-000-000.kif";  // 角打ち, 同玉 ... mate in 3
const char* const MATE5 = "mate5-000-000.kif";

TEST(SolvingRun, TimeText) {
    EXPECT_EQ(utf8(timeText(3725)), utf8("1時間2分5秒"));
    EXPECT_EQ(utf8(timeText(3600)), utf8("1時間0秒"));
    EXPECT_EQ(utf8(timeText(59)), utf8("59秒"));
    EXPECT_EQ(utf8(timeText(65)), utf8("1分5秒"));
    EXPECT_EQ(utf8(timeText(0)), utf8("0秒"));
}

TEST(SolvingRun, PathsBesideTheProblem) {
    EXPECT_EQ(reportPathFor("p.kif"), "p.kif.txt");
    EXPECT_EQ(reportPathFor("a.txt"), "a.txt.txt");
    EXPECT_EQ(checkpointPathFor("p.kif"), "p.n1s");
    EXPECT_EQ(checkpointPathFor("dir/problem.kif"), "dir/problem.n1s");
    EXPECT_EQ(checkpointPathFor("abc"), "abc.n1s");
}

TEST(SolvingRun, SummaryBlock) {
    RunState run;
    run.elapsedSeconds = 65;
    run.ctx->searchedNodes = 12345;
    run.problem.options.symmetry = true;
    EXPECT_EQ(utf8(summaryText(run, 1000, 1048575)),
              utf8("\n所要時間：1分5秒 探索局面数：12345\n局面表：1000/1048575 (0.1％)\n"
                   "Checked by Nagare1.exe 1.97, 対称性検出 \n\n"));

    run.problem.options.symmetry = false;
    run.problem.options.scope = 1;
    run.problem.options.detailedMonitor = true;
    run.problem.options.cookCheck = true;
    run.problem.options.cookDepth = 2999;
    run.ctx->maxTreeExp = 7;
    run.ctx->maxPly = 12;
    run.ctx->givenLineMode = true;
    EXPECT_EQ(utf8(summaryText(run, 0, 1048575)),
              utf8("\n所要時間：1分5秒 探索局面数：12345\n探索レベル：7, 局面表：0/1048575 (0.0％)\n"
                   "Checked by Nagare1.exe 1.97, 手順指定, 検討深度(実/指定) 12/2999 (解図のみ)\n\n"));

    // A stopped run names its phase, whatever the scope.
    run.root.state = NODE_STATE_ABORTED;
    run.ctx->phase = 1;
    EXPECT_NE(utf8(summaryText(run, 0, 1)).find(utf8(" \n(中断：求解中)\n\n")), std::string::npos);
    run.ctx->phase = 4;
    EXPECT_NE(utf8(summaryText(run, 0, 1)).find(utf8(" \n(中断：早詰検討まで)\n\n")), std::string::npos);
}

TEST(SolvingRun, WholeRunWritesTheSolutionAndSummaryToTheReport) {
    SolvedRun r = solveText("mate5.kif", problemText("short", MATE5));
    EXPECT_EQ(r.program.exitCode, 0);
    EXPECT_TRUE(contains(r.program.output, "詰みを見つけました\n暫定的な解を表示します。\n"))
        << r.program.output;
    EXPECT_TRUE(contains(r.program.output, "引続き早詰のチェックを行います。\n"));
    EXPECT_TRUE(contains(r.program.output, "\n早詰はありません。変別や非限定のチェックを行います。\n"));
    // The report: genre line, diagram, the final line, the summary.
    EXPECT_EQ(r.report.rfind(utf8("mate5-000-000\n\n最善詰 5手\n\n持駒："), 0), 0u) << r.report;
    EXPECT_EQ(lastLineLength(r.report), 5);
    EXPECT_TRUE(contains(r.report, "\n所要時間：")) << r.report;
    EXPECT_TRUE(contains(r.report, "Checked by Nagare1.exe 1.97\n\n")) << r.report;
    EXPECT_EQ(r.report.substr(r.report.size() - 2), "\n\n");
}

TEST(SolvingRun, EveryRunAppendsToTheReport) {
    const std::string text = problemText("short", MATE3);
    SolvedRun first = solveText("twice.kif", text);
    ProgramRun second = runNagare(shellQuoted(first.problemPath));
    EXPECT_EQ(second.exitCode, 0);
    const std::string report = utf8(test::readFile(first.problemPath + ".txt"));
    const std::string version = "Checked by Nagare1.exe 1.97";
    EXPECT_NE(report.find(version), report.rfind(version)) << report;
    EXPECT_EQ(report.find(first.report), 0u);
}

struct MessageCase {
    const char* name;
    std::string text;
    std::string answers;
    std::vector<std::string> shown;     // Shift-JIS texts the console must show
    std::vector<std::string> notShown;  // and must not
    int finalLength;                    // of the last line in the report; -1 for none
    std::string summaryEnding;          // the report's last bytes
};

TEST(SolvingRun, MessagesOfThePhases) {
    const std::string mate3 = problemText("short", MATE3);
    const std::string mate5 = problemText("short", MATE5);
    const std::string mate3List =
        "手数----指手\n   1 ５三角打     ( 0:00/00:00:00)\n   2 ５二玉(62)\n   3 ４一馬(31)\n\n";
    const std::string mate5List = "手数----指手\n   1 ４二桂成(54)\n   2 同　玉(32)\n   3 ５一銀打\n\n";
    const MessageCase cases[] = {
        {"stated length 3000",
         edited(mate3, "3000"),
         "",
         {"\n手数は1手以上、2999手以内を指定してください\n"},
         {"詰みを見つけました", "詰みませんでした"},
         -1,
         "Checked by Nagare1.exe 1.97\n\n"},
        {"stated length 0",
         edited(mate3, "0"),
         "",
         {"手数は1手以上、2999手以内を指定してください\n"},
         {"詰みを見つけました"},
         -1,
         "1.97\n\n"},
        {"打歩 with an own-king genre",
         edited(mate3, "", "分類：打歩最善自玉詰\n"),
         "",
         {"\n自玉系ルールでは「打歩」指定はできません\n"},
         {"詰みを見つけました"},
         -1,
         "1.97\n\n"},
        {"solve only",
         edited(mate3, "", "備考：解図のみ\n"),
         "",
         {"詰みを見つけました\n", "暫定的な解を出力します。\n"},
         {"引続き早詰", "早詰はありません"},
         3,
         "1.97 (解図のみ)\n\n"},
        {"abbreviated check",
         edited(mate3, "", "備考：略式検討\n"),
         "",
         {"暫定的な解を表示します。\n"},
         {"引続き早詰のチェックを行います。", "早詰はありません"},
         3,
         "1.97 (略式検討)\n\n"},
        {"no mate",
         edited(mate3, "1"),
         "",
         {"詰みませんでした。\n"},
         {"不詰解", "暫定的な解"},
         -1,
         "1.97\n\n"},
        {"no mate with a reference line",
         edited(mate3, "1", "備考：不詰出力\n"),
         "",
         {"詰みませんでした。\n最大検討深度：", "\n不詰解（参考）を表示します。\n"},
         {},
         2,
         "1.97\n\n"},
        {"a shorter mate",
         edited(mate3, "5"),
         "",
         {"\n少なくとも2手短い早詰があります。\n図や手数指定に誤りがないか確認してください。\n"},
         {},
         3,
         "1.97\n\n"},
        {"given line accepted",
         mate3 + mate3List,
         "Y\n",
         {"\n以下の手順が入力されています\n\n53角 52玉 41馬 まで "
          "3手\nこの手順を元に検討しますか？（Y/N）："},
         {},
         3,
         "1.97, 手順指定\n\n"},
        {"given line refused",
         mate3 + mate3List,
         "N\n",
         {"この手順を元に検討しますか？（Y/N）："},
         {"手順指定"},
         3,
         "1.97\n\n"},
        {"given line that does not mate within the length",
         edited(mate5, "3") + mate5List,
         "Y\n",
         {"詰みませんでした。\n（作意", "で不詰）, 最大検討深度："},
         {},
         -1,
         "1.97, 手順指定\n\n"},
        {"given line with a move that cannot be played",
         mate3 + "手数----指手\n   1 ５三角打\n   2 ９九玉(62)\n\n",
         "Y\n",
         {"入力手順の2手目は指せない手なので、その手前までを使います。\n\n53角 まで 1手\n"},
         {},
         3,
         "1.97, 手順指定\n\n"},
    };
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.name);
        SolvedRun r = solveText("case.kif", c.text, c.answers);
        EXPECT_EQ(r.program.exitCode, 0);
        for (const std::string& s : c.shown) EXPECT_TRUE(contains(r.program.output, s)) << r.program.output;
        for (const std::string& s : c.notShown)
            EXPECT_FALSE(contains(r.program.output, s)) << r.program.output;
        EXPECT_EQ(lastLineLength(r.report), c.finalLength) << r.report;
        const std::string ending = utf8(c.summaryEnding);
        ASSERT_GE(r.report.size(), ending.size());
        EXPECT_EQ(r.report.substr(r.report.size() - ending.size()), ending) << r.report;
    }
}

TEST(SolvingRun, DecliningToCheckTheShorterLineStopsWithItInTheReport) {
    SolvedRun r = solveText("shorter.kif", edited(problemText("short", MATE3), "5"), "N\n");
    EXPECT_TRUE(contains(
        r.program.output,
        "\n最短解は3手でした。\n早詰順（暫定解）をもとに、変別や非限定の検討を行いますか？（Y/N）："))
        << r.program.output;
    EXPECT_EQ(lastLineLength(r.report), 3);
    EXPECT_TRUE(contains(r.report, " \n(中断：早詰検討まで)\n\n")) << r.report;
}

TEST(SolvingRun, FatalConditionsOfTheSolvingRun) {
    const std::string mate3 = problemText("short", MATE3);
    SolvedRun memory = solveText("memory.kif", edited(mate3, "", "備考：メモリ99999999MB\n"));
    EXPECT_EQ(memory.program.exitCode, 1);
    EXPECT_TRUE(contains(memory.program.output,
                         "指定のメモリサイズが実際に使える値より大きくなっています\n指定："
                         "99999999MB, 使用可能："))
        << memory.program.output;
    EXPECT_TRUE(memory.report.empty());

    // A report that cannot be opened: a folder stands where the file would be.
    const std::string path = test::writeTempFile("blocked.kif", mate3);
    std::filesystem::create_directories(path + ".txt");
    ProgramRun blocked = runNagare(shellQuoted(path));
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_TRUE(contains(blocked.output, "出力用ファイルを開けませんでした。\n何かキーを押してください..."))
        << blocked.output;
}

TEST(SolvingRun, NoSearchWithoutTheDeepStack) {
    // The sanitizers reserve more address space than the limit below leaves.
    if (NAGARE_SANITIZED) GTEST_SKIP() << "the address limit would stop the sanitizers";
    const std::string path = test::writeTempFile("stack.kif", problemText("short", MATE3));
    const std::string code = test::tempPath("exit-code.txt"), out = test::tempPath("output.txt");
    // An address space smaller than the search thread's stack: the thread cannot be made.
    const std::string command = "(ulimit -v 400000; LC_ALL=C.UTF-8 " + shellQuoted(NAGARE_BINARY) + " " +
                                shellQuoted(path) + " < /dev/null > " + shellQuoted(out) +
                                " 2>&1; echo $? > " + shellQuoted(code) + ")";
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(std::atoi(test::readFile(code).c_str()), 1);
    EXPECT_EQ(test::readFile(out),
              utf8("エラー：探索に必要なスタックを確保できませんでした\n何かキーを押してください..."));
}

// Every real problem of the repository, run unattended: exit code 0 and a report that ends with the
// shortest line (or no mate) and the summary.
TEST(SolvingRun, RealProblemsEndToEnd) {
    for (const char* folder : {"short", "fairy"}) {
        for (const test::IndexedProblem& p : test::indexedProblems(folder)) {
            SCOPED_TRACE(p.path);
            SolvedRun r = solveText(p.columns.at("file"), test::readFile(p.path));
            EXPECT_EQ(r.program.exitCode, 0);
            const bool proved = !p.columns.contains("expected") || p.columns.at("expected") == "proved";
            if (proved)
                EXPECT_EQ(lastLineLength(r.report), std::stoi(p.columns.at("length"))) << r.report;
            else
                EXPECT_TRUE(contains(r.report, "詰みませんでした。\n")) << r.report;
            EXPECT_TRUE(contains(r.report, "Checked by Nagare1.exe 1.97"));
        }
    }
}

}  // namespace
}  // namespace nagare
