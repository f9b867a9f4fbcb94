// The built program run as a person runs it, with no input: the exit code and what it prints.
#include <gtest/gtest.h>

#include <string>

#include "../support/program_run.h"
#include "../support/test_files.h"

namespace nagare {
namespace {

using test::ProgramRun;
using test::runNagare;
using test::shellQuoted;
using test::utf8;

const char* const PAUSE = "何かキーを押してください...";

std::string dataFile(const std::string& name) {
    return shellQuoted(std::string(NAGARE_TEST_DATA) + "/run/" + name);
}

TEST(EndToEnd, SampleProblemShowsHeadingGenreAndDiagram) {
    // A copy, so that the report is written beside it and not beside the repository's sample.
    const std::string sample = test::readFile(std::string(NAGARE_EXAMPLES) + "/mate7-000-000.kif");
    ProgramRun run = runNagare(shellQuoted(test::writeTempFile("mate7-000-000.kif", sample)));
    EXPECT_EQ(run.exitCode, 0);
    std::string expected = utf8(
        "mate7-000-000\n"
        "\n"
        "最善詰 7手\n"
        "\n"
        "持駒：金 桂 歩2 \n"
        "  ９ ８ ７ ６ ５ ４ ３ ２ １ \n"
        "+---------------------------+\n"
        "|v香v桂v金v玉 ・ ・ とv桂v香|一\n"
        "| ・ ・ ・v銀v金 ・ ・ 龍 ・|二\n"
        "| ・ ・v歩 ・v歩v歩v歩 ・ ・|三\n"
        "| ・ ・ ・v歩 ・ ・ ・ ・v歩|四\n"
        "|v歩 ・ ・ ・ ・ ・ ・ ・ ・|五\n"
        "| ・ ・ 歩 ・ ・ ・ 角 ・ 歩|六\n"
        "| 歩 ・ 角 歩 歩 歩 歩 ・ ・|七\n"
        "| ・ ・vと 銀 ・ 王 銀 ・ ・|八\n"
        "| 香v龍 ・ ・ ・ 金 ・ 桂 香|九\n"
        "+---------------------------+\n"
        "持駒：銀 \n");
    EXPECT_EQ(run.output.substr(0, expected.size()), expected);
}

TEST(EndToEnd, FileNameTypedAtThePrompt) {
    std::string problem = test::tempPath("my problem.kif");
    std::string sample = test::readFile(std::string(NAGARE_EXAMPLES) + "/mate7-000-000.kif");
    test::writeTempFile("my problem.kif", sample);
    std::string answer = test::writeTempFile("answer.txt", problem + "\n");
    ProgramRun run = runNagare("", answer);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output.rfind(utf8("入力ファイル名：mate7-000-000\n\n最善詰 7手\n"), 0), 0u) << run.output;
}

struct FailingRun {
    const char* name;
    std::string arguments;
    const char* message;
};

TEST(EndToEnd, FatalConditionsEndWithTheirMessageAndExitCodeOne) {
    const std::string hugeFile = test::writeTempFile("huge.kif", std::string(3 << 20, '\n'));
    const FailingRun cases[] = {
        {"file beyond a megabyte", shellQuoted(hugeFile),
         "問題ファイルが大きすぎます（1MBまで）\n何かキーを押してください..."},
        {"cannot open", shellQuoted(test::tempPath("absent.kif")),
         "エラー：ファイルを開けませんでした。Enterキーを押して終了してください\n"},
        {"malformed hand count", dataFile("bad_hand_count.kif"),
         "\n持駒数の指定が誤っています：十十\n何かキーを押してください..."},
        {"no defender king", dataFile("no_defender_king.kif"),
         "受方玉がありません\n図が正しいかどうかチェックしてください\n何かキーを押してください..."},
        {"king in check", dataFile("king_in_check.kif"),
         "初形で既に王手が掛かっています\n図や手番が正しいかどうかチェックしてください\n何かキーを押してくだ"
         "さい..."},
        {"two pawns", dataFile("two_pawns.kif"), "初形に二歩があります\n何かキーを押してください..."},
        {"unmovable piece", dataFile("unmovable_piece.kif"),
         "初形に行きどころのない駒があります\n何かキーを押してください..."},
        {"unknown character", dataFile("unknown_character.kif"),
         "盤面の４五に読めない文字があります：「象」\n何かキーを押してください..."},
    };
    for (const FailingRun& c : cases) {
        ProgramRun run = runNagare(c.arguments);
        EXPECT_EQ(run.exitCode, 1) << c.name;
        std::string message = utf8(c.message);
        ASSERT_GE(run.output.size(), message.size()) << c.name << ": " << run.output;
        EXPECT_EQ(run.output.substr(run.output.size() - message.size()), message)
            << c.name << ": " << run.output;
    }
}

// The genre line shows the stated length as the file writes it, never a number wrapped to 16 bits.
TEST(EndToEnd, GenreLineShowsTheStatedLengthAsWritten) {
    const std::string sample = test::readFile(std::string(NAGARE_EXAMPLES) + "/mate7-000-000.kif");
    const std::string stated = "手数：7";
    ASSERT_NE(sample.find(stated), std::string::npos);
    for (std::string_view length : {"-1", "99999999999", "65537"}) {
        std::string text = sample;
        text.replace(text.find(stated), stated.size(), "手数：" + std::string(length));
        ProgramRun run = runNagare(shellQuoted(test::writeTempFile("stated.kif", text)));
        EXPECT_NE(run.output.find(utf8("最善詰 ") + std::string(length) + utf8("手\n")), std::string::npos)
            << run.output;
    }
}

TEST(EndToEnd, ReadingFaultsStopBeforeTheDiagram) {
    for (const char* file : {"bad_hand_count.kif", "unknown_character.kif"}) {
        ProgramRun run = runNagare(dataFile(file));
        EXPECT_EQ(run.output.find(utf8("最善詰")), std::string::npos) << file;
    }
}

TEST(EndToEnd, FaultyPositionIsShownBeforeItIsRejected) {
    ProgramRun run = runNagare(dataFile("no_defender_king.kif"));
    EXPECT_NE(run.output.find(utf8("受方玉なし\n\n最善詰 3手\n\n持駒：なし\n")), std::string::npos)
        << run.output;
}

}  // namespace
}  // namespace nagare
