// A run of nagare stopped with ESC and saved, then resumed in a new process, as a person does it at the
// terminal: in the main solve, in the search for shorter mates and in the walk of the solution. The
// resumed run must end as an uninterrupted one does.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "../support/program_run.h"
#include "../support/pseudo_terminal.h"
#include "../support/test_files.h"

namespace nagare {
namespace {

using test::utf8;

constexpr double PATIENCE_SECONDS = 120;
const char* const ESC = "\x1b";

// Text as the terminal shows it: UTF-8, each line break a carriage return and a line feed.
std::string onTerminal(const char* sjis) {
    std::string shown;
    for (char c : utf8(sjis)) {
        if (c == '\n') shown += '\r';
        shown += c;
    }
    return shown;
}

std::string problemText() {
    // Mate in 11: its main solve is short, its search for shorter mates and its walk take longer.
    return test::readFile(std::string(NAGARE_TEST_DATA) + "/problems/short/mate11-000-021.kif");
}

std::string withLength(std::string text, const std::string& length) {
    const std::string key = "手数：";
    const size_t at = text.find(key);
    text.replace(at, text.find('\n', at) - at, key + length);
    return text;
}

// What a report says about the solution: the findings of the walk at each ply and every line written
// (its moves and the closing "まで N手").
std::vector<std::string> verdictLines(const std::string& reportUtf8) {
    static const std::regex finding(utf8("^(非限定|余詰|迂回)：.*$"));
    static const std::regex closing(utf8("^.*まで [0-9]+手$"));
    std::vector<std::string> lines, block;
    std::istringstream in(reportUtf8);
    for (std::string line; std::getline(in, line);) {
        if (std::regex_match(line, finding)) lines.push_back(line);
        if (line.empty())
            block.clear();
        else
            block.push_back(line);
        if (std::regex_match(line, closing)) lines.insert(lines.end(), block.begin(), block.end());
    }
    return lines;
}

class ResumeAtTheTerminal : public ::testing::Test {
  protected:
    std::string path;

    void write(const std::string& text) {
        path = test::writeTempFile("problem.kif", text);
        std::filesystem::remove(path + ".txt");
        std::filesystem::remove(checkpoint());
    }
    std::string checkpoint() const { return path.substr(0, path.size() - 4) + ".n1s"; }
    std::string report() const { return utf8(test::readFile(path + ".txt")); }

    // The same problem solved without a stop, unattended: the report it writes.
    std::string uninterruptedReport() {
        const std::string copy = test::writeTempFile("uninterrupted.kif", test::readFile(path));
        std::filesystem::remove(copy + ".txt");
        test::ProgramRun run = test::runNagare(test::shellQuoted(copy));
        EXPECT_EQ(run.exitCode, 0);
        return utf8(test::readFile(copy + ".txt"));
    }

    // Waits for the question and types the answer.
    static void answer(test::PseudoTerminal& pty, const char* question, const std::string& keys) {
        ASSERT_TRUE(pty.waitFor(onTerminal(question), PATIENCE_SECONDS)) << pty.output();
        pty.send(keys);
    }

    // After the stop: the search's question, the stop announced (the walk has no words for it),
    // the provisional line kept to ourselves where it is offered, and the save.
    static void stopAndSave(test::PseudoTerminal& pty, bool announced, bool offersLine) {
        answer(pty, "中断しますか？（Y/N）：", "Y\n");
        if (announced) {
            ASSERT_TRUE(pty.waitFor(onTerminal("中断します。\n"), PATIENCE_SECONDS)) << pty.output();
        }
        if (offersLine) answer(pty, "暫定的な解を出力しますか？（Y/N）：", "N\n");
        answer(pty, "現在の状態を保存しますか？（Y/N）：", "Y\n");
        ASSERT_TRUE(
            pty.waitFor(onTerminal("待避ファイル作成中... しばらくお待ちください\n"), PATIENCE_SECONDS))
            << pty.output();
    }

    static void endRun(test::PseudoTerminal& pty) {
        ASSERT_TRUE(pty.waitFor(onTerminal("何かキーを押してください..."), PATIENCE_SECONDS)) << pty.output();
        pty.send("x");
        const std::optional<int> status = pty.waitExit(PATIENCE_SECONDS);
        ASSERT_TRUE(status.has_value());
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << pty.output();
    }

    // The second run: resumes, runs to the end and deletes the checkpoint (or keeps it).
    void resume(const std::string& header, bool deleteCheckpoint) {
        test::PseudoTerminal pty;
        ASSERT_TRUE(pty.spawnProgram({NAGARE_BINARY, path}));
        answer(pty, "待避ファイルがあります。これを使って再開しますか？（Y/N）", "Y\n");
        ASSERT_TRUE(pty.waitFor(onTerminal("待避ファイルから再開します。\n"), PATIENCE_SECONDS))
            << pty.output();
        ASSERT_TRUE(pty.waitFor(onTerminal(header.c_str()), PATIENCE_SECONDS)) << pty.output();
        ASSERT_TRUE(pty.waitFor(onTerminal("再開手順："), PATIENCE_SECONDS)) << pty.output();
        answer(pty, "待避ファイルを削除しますか？（Y/N）：", deleteCheckpoint ? "Y\n" : "N\n");
        endRun(pty);
        EXPECT_EQ(std::filesystem::exists(checkpoint()), !deleteCheckpoint);
    }

    // The resumed run's report holds the findings and the final line of the uninterrupted one.
    void expectSameVerdicts(const std::string& expected) {
        EXPECT_EQ(verdictLines(report()), verdictLines(expected)) << report() << "\n----\n" << expected;
    }
};

TEST_F(ResumeAtTheTerminal, StoppedInTheMainSolve) {
    // A move list gives a question before the main solve: an ESC typed with its answer stops the
    // search at its first node.
    write(problemText() + "手数----指手\n   1 ４三飛成(44)\n\n");
    const std::string expected = uninterruptedReport();
    {
        test::PseudoTerminal pty;
        ASSERT_TRUE(pty.spawnProgram({NAGARE_BINARY, path}));
        answer(pty, "この手順を元に検討しますか？（Y/N）：", std::string("N\n") + ESC);
        ASSERT_TRUE(pty.waitFor(onTerminal("現在の読み筋（開始0手目、検討深度11）："), PATIENCE_SECONDS))
            << pty.output();
        stopAndSave(pty, true, false);
        ASSERT_TRUE(pty.waitFor(onTerminal(" \n(中断：求解中)\n"), PATIENCE_SECONDS)) << pty.output();
        endRun(pty);
    }
    ASSERT_TRUE(std::filesystem::exists(checkpoint()));
    resume("最善詰 11手\n", true);
    expectSameVerdicts(expected);
}

TEST_F(ResumeAtTheTerminal, StoppedInTheSearchForShorterMates) {
    write(problemText());
    const std::string expected = uninterruptedReport();
    {
        test::PseudoTerminal pty;
        ASSERT_TRUE(pty.spawnProgram({NAGARE_BINARY, path}));
        // The search for a mate in 9 runs far longer than a key takes to arrive.
        ASSERT_TRUE(pty.waitFor(onTerminal("引続き早詰のチェックを行います。"), PATIENCE_SECONDS))
            << pty.output();
        pty.send(ESC);
        ASSERT_TRUE(pty.waitFor(onTerminal("現在の読み筋（開始0手目、検討深度9）："), PATIENCE_SECONDS))
            << pty.output();
        stopAndSave(pty, true, true);
        ASSERT_TRUE(pty.waitFor(onTerminal(" \n(中断：早詰検討中)\n"), PATIENCE_SECONDS)) << pty.output();
        endRun(pty);
    }
    ASSERT_TRUE(std::filesystem::exists(checkpoint()));
    resume("最善詰 9手（早詰チェック）\n", false);
    expectSameVerdicts(expected);
}

TEST_F(ResumeAtTheTerminal, StoppedInTheWalkOfTheSolution) {
    // Stated two plies too long: the question whether to check the shorter line comes right before
    // the walk, and an ESC typed with its answer stops the walk's first search.
    write(withLength(problemText(), "13"));
    const std::string expected = uninterruptedReport();
    {
        test::PseudoTerminal pty;
        ASSERT_TRUE(pty.spawnProgram({NAGARE_BINARY, path}));
        answer(pty, "早詰順（暫定解）をもとに、変別や非限定の検討を行いますか？（Y/N）：",
               std::string("Y\n") + ESC);
        stopAndSave(pty, false, true);
        ASSERT_TRUE(pty.waitFor(onTerminal(" \n(中断：変別・非限定検討中、"), PATIENCE_SECONDS))
            << pty.output();
        endRun(pty);
    }
    ASSERT_TRUE(std::filesystem::exists(checkpoint()));
    resume("最善詰 11手\n", true);
    expectSameVerdicts(expected);
}

}  // namespace
}  // namespace nagare
