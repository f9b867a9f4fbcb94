#include "run/problem_file.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "../support/test_files.h"

namespace nagare {
namespace {

using test::diagramBlock;
using test::EMPTY_ROW;
using test::PLAIN_ROWS;
using test::Rows;

struct ReaderCase {
    std::string name;
    std::string text;
    std::function<void(const Problem&, const ReadResult&)> check;
};

void PrintTo(const ReaderCase& c, std::ostream* os) {
    *os << c.name;
}

void expectRead(const ReadResult& r) {
    EXPECT_EQ(r.status, ReadStatus::OK) << r.message;
}

Rows rowsWith(int rank, std::string_view row) {
    Rows rows = PLAIN_ROWS;
    rows[rank - 1] = row;
    return rows;
}

int cell(const Problem& p, int file, int rank) {
    return p.record.diagram[(rank - 1) * 9 + (9 - file)];
}

std::vector<ReaderCase> readerCases() {
    const std::string block = diagramBlock();
    return {
        {"NoClassificationLineMeansBestMate", "作品名：題\n手数：9\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.record.classification, "最善詰");
             EXPECT_EQ(p.rules.genre, GENRE_BEST_MATE);
             EXPECT_TRUE(p.options.handEconomy);
             EXPECT_EQ(p.record.length, 9);
             EXPECT_EQ(p.record.heading, "題");
         }},
        {"UnknownGenreSumFallsBackToBestMate", "分類：最悪ステイルメイト\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.rules.genre, GENRE_BEST_MATE);
             EXPECT_EQ(p.record.classification, "最善詰");
             EXPECT_TRUE(p.options.handEconomy);
         }},
        {"WinClearsCheckWithoutNamingIt", "分類：最善勝\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.rules.genre, GENRE_BEST_WIN);
             EXPECT_FALSE(p.rules.checkRequired);
             EXPECT_EQ(p.record.ruleName, "");
             EXPECT_EQ(p.record.classification, "最善勝");
         }},
        {"StalemateClearsCheckAndNamesIt", "分類：最善ステイルメイト\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.rules.genre, GENRE_BEST_STALEMATE);
             EXPECT_FALSE(p.rules.checkRequired);
             EXPECT_EQ(p.record.ruleName, "非王手可");
             EXPECT_FALSE(p.options.handEconomy);
         }},
        {"PawnDropAndNoCaptureWorstMate", "分類：打歩禁欲最悪詰\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.rules.genre, GENRE_WORST_MATE);
             EXPECT_TRUE(p.rules.pawnDropMate);
             EXPECT_EQ(p.rules.moveRule, MOVE_RULE_KINYOKU);
             EXPECT_EQ(p.record.ruleName, "打歩禁欲");
             EXPECT_EQ(p.record.classification, "最悪詰");
         }},
        {"NonConsecutiveCheckIsNamedNoCheck", "分類：非連続王手最善詰\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_FALSE(p.rules.checkRequired);
             EXPECT_EQ(p.record.ruleName, "非王手可");
         }},
        {"LastMoveRuleKeywordWins", "分類：ミニマキシ最善詰\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.rules.moveRule, MOVE_RULE_MINI);
             EXPECT_EQ(p.record.ruleName, "ミニ");
         }},
        {"OwnKingWorstMate", "分類：最悪自玉詰\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.rules.genre, GENRE_WORST_SELFMATE);
             EXPECT_EQ(p.record.classification, "最悪自玉詰");
             EXPECT_FALSE(p.options.handEconomy);
         }},
        {"GoalCarriesOverToTheNextClassificationLine", "分類：ステイルメイト\n分類：自殺\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.rules.genre, GENRE_BEST_SELF_STALEMATE);
             EXPECT_EQ(p.record.classification, "最善自玉ステイルメイト");
         }},
        {"HeadingJoinsTitleComposerPublicationDate",
         "作品名：春\n作者：山田\n発表誌：詰棋\n発表年月：2001年\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.record.heading, "春／山田／詰棋／2001年");
         }},
        {"ComposerBeforeTitleHidesTheTitle", "作者：山田\n作品名：春\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.record.heading, "山田");
         }},
        {"HugeLengthStaysOutOfRangeInsteadOfWrapping", "手数：65537\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.record.length, 32767);
         }},
        {"LengthWithoutDigitsIsZero", "手数：九\n" + block,
         [](const Problem& p, const ReadResult&) { EXPECT_EQ(p.record.length, 0); }},
        {"RemarksMemoryAndCookCheck", "手数：9\n備考：メモリ200MB 余詰検討\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.options.memoryMB, 200);
             EXPECT_TRUE(p.options.cookCheck);
             EXPECT_EQ(p.options.cookDepth, 2999);
         }},
        {"CookDepthTakesTheLengthsParity", "手数：9\n備考：余詰検討10\n" + block,
         [](const Problem& p, const ReadResult&) { EXPECT_EQ(p.options.cookDepth, 9); }},
        {"MemoryInGigabytes", "備考：メモリ2GB\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.options.memoryMB, 2048);
         }},
        {"MemoryInLowerCaseEnglish", "備考：memory 64mb\n" + block,
         [](const Problem& p, const ReadResult&) { EXPECT_EQ(p.options.memoryMB, 64); }},
        {"MemoryWithoutUnitIsIgnored", "備考：メモリ512\n" + block,
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.options.memoryMB, 0);
         }},
        {"OptionsOnlyOnTheRemarksLine", "作品名：メモリ200MB 余詰検討 トレース\n" + block,
         [](const Problem& p, const ReadResult&) {
             EXPECT_EQ(p.options.memoryMB, 0);
             EXPECT_FALSE(p.options.cookCheck);
             EXPECT_FALSE(p.options.traceOn);
         }},
        {"HashMonitorAlsoTurnsTheMonitorOn", "備考：ハッシュモニタ\n" + block,
         [](const Problem& p, const ReadResult&) {
             EXPECT_TRUE(p.options.hashMonitor);
             EXPECT_TRUE(p.options.monitorOn);
             EXPECT_FALSE(p.options.detailedMonitor);
             EXPECT_EQ(p.options.monitorDepth, 2);
         }},
        {"TraceAndDetailedMonitor",
         "備考：トレース3 詳細モニタ5 解図のみ 略式検討 対称性検出 不詰出力\n" + block,
         [](const Problem& p, const ReadResult&) {
             EXPECT_TRUE(p.options.traceOn);
             EXPECT_TRUE(p.options.monitorOn);
             EXPECT_TRUE(p.options.detailedMonitor);
             EXPECT_EQ(p.options.monitorDepth, 5);
             EXPECT_EQ(p.options.scope, SCOPE_ABBREVIATED);
             EXPECT_TRUE(p.options.symmetry);
             EXPECT_TRUE(p.options.reportNoMate);
         }},
        {"HandEconomyNeedsBestPlay", "分類：最悪詰\n備考：持駒節約\n" + block,
         [](const Problem& p, const ReadResult&) { EXPECT_FALSE(p.options.handEconomy); }},
        {"MemoryWithoutDigitsIsRefused", "備考：メモリ＝200MB\n" + block,
         [](const Problem&, const ReadResult& r) {
             EXPECT_EQ(r.status, ReadStatus::MALFORMED);
             EXPECT_EQ(r.message, "備考のメモリ指定が誤っています：＝200\n");
         }},
        {"MemoryBeyond32BitsIsRefused", "備考：メモリ99999999999MB\n" + block,
         [](const Problem&, const ReadResult& r) { EXPECT_EQ(r.status, ReadStatus::MALFORMED); }},
        {"GigabytesBeyond32BitsAreRefused", "備考：メモリ3000000GB\n" + block,
         [](const Problem&, const ReadResult& r) { EXPECT_EQ(r.status, ReadStatus::MALFORMED); }},
        {"HandCounts", diagramBlock(PLAIN_ROWS, "歩十八　金二　飛", "なし　角十　銀二十三"),
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.record.handCounts[GOTE + PAWN], 18);
             EXPECT_EQ(p.record.handCounts[GOTE + GOLD], 2);
             EXPECT_EQ(p.record.handCounts[GOTE + ROOK], 1);
             EXPECT_EQ(p.record.handCounts[SENTE + BISHOP], 10);
             EXPECT_EQ(p.record.handCounts[SENTE + SILVER], 23);
         }},
        {"HandSeparatedByAsciiSpaces", diagramBlock(PLAIN_ROWS, "金 歩 ", "飛"),
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.record.handCounts[GOTE + GOLD], 1);
             EXPECT_EQ(p.record.handCounts[GOTE + PAWN], 1);
             EXPECT_EQ(p.record.handCounts[SENTE + ROOK], 1);
         }},
        {"TenTenIsNoCount", diagramBlock(PLAIN_ROWS, "なし", "金　歩十十"),
         [](const Problem&, const ReadResult& r) {
             EXPECT_EQ(r.status, ReadStatus::MALFORMED);
             EXPECT_EQ(r.message, "\n持駒数の指定が誤っています：十十\n");
         }},
        {"WindowsLineEndsDoNotSpoilCounts",
         "作品名：題\r\n手数：9\r\n" + diagramBlock(PLAIN_ROWS, "金二", "歩三", "\r\n") +
             "手数----指手\r\n   1 ５二金打\r\n\r\n備考：メモリ300MB\r\n",
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.record.heading, "題");
             EXPECT_EQ(p.record.handCounts[GOTE + GOLD], 2);
             EXPECT_EQ(p.record.handCounts[SENTE + PAWN], 3);
             ASSERT_EQ(p.record.inputLine.size(), 1u);
             EXPECT_EQ(p.record.inputLine[0], (Move{0, 0x52, SENTE + GOLD, 0}));
             EXPECT_EQ(p.options.memoryMB, 300);  // the list ended at the empty line
         }},
        {"DiagramPiecesMarksAndAliases",
         diagramBlock(Rows{"|v香v桂v銀v金v玉v金v銀v桂v香|一", "| ・v飛 ・ ・ ・ ・ ・v角 ・|二", EMPTY_ROW,
                           "| ・ ・ ・ ・ ● ・ ・ ・ ・|四", "| ・ ・ 竜v竜 と 杏 圭 全 馬|五", EMPTY_ROW,
                           EMPTY_ROW, EMPTY_ROW, "| ・ ・ ・ ・ 王 ・ ・ ・ ・|九"}),
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(cell(p, 9, 1), GOTE + LANCE);
             EXPECT_EQ(cell(p, 5, 1), GOTE + KING);
             EXPECT_EQ(cell(p, 8, 2), GOTE + ROOK);
             EXPECT_EQ(cell(p, 2, 2), GOTE + BISHOP);
             EXPECT_EQ(cell(p, 5, 4), WALL);
             EXPECT_EQ(cell(p, 7, 5), SENTE + DRAGON);
             EXPECT_EQ(cell(p, 6, 5), GOTE + DRAGON);
             EXPECT_EQ(cell(p, 5, 5), SENTE + PAWN + PROMOTED);
             EXPECT_EQ(cell(p, 1, 5), SENTE + HORSE);
             EXPECT_EQ(cell(p, 5, 9), SENTE + KING);
             EXPECT_EQ(cell(p, 1, 9), EMPTY);
         }},
        {"UnknownDiagramCharacterIsRefused", diagramBlock(rowsWith(3, "| ・ ・ ・ ・ ・ ・ 象 ・ ・|三")),
         [](const Problem&, const ReadResult& r) {
             EXPECT_EQ(r.status, ReadStatus::MALFORMED);
             EXPECT_EQ(r.message, "盤面の３三に読めない文字があります：「象」\n");
         }},
        {"ShortRankRowIsRefused", diagramBlock(rowsWith(7, "| ・ ・ ・ ・ ・ ・ ・ ・|")),
         [](const Problem&, const ReadResult& r) {
             EXPECT_EQ(r.status, ReadStatus::MALFORMED);
             EXPECT_EQ(r.message, "盤面の七段目の行が短すぎます\n");
         }},
        {"RowWithoutClosingBarIsEnough", diagramBlock(rowsWith(9, "| ・ ・ ・ ・ 玉 ・ ・ ・ 香")),
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(cell(p, 1, 9), SENTE + LANCE);
         }},
        {"DiagramCutShortByTheEndOfFile",
         "後手の持駒：なし\n  ９ ８ ７ ６ ５ ４ ３ ２ １\n+---------------------------+\n"
         "| ・ ・ ・ ・v玉 ・ ・ ・ ・|一\n",
         [](const Problem&, const ReadResult& r) {
             EXPECT_EQ(r.status, ReadStatus::MALFORMED);
             EXPECT_EQ(r.message, "盤面の二段目の行が短すぎます\n");
         }},
        {"MoveListSidesCommentsAndHeaderAfterIt",
         block + "手合割：平手\n後手番\n手数----指手\n*comment\n   1 ２二金打 ( 0:01/00:00:01)\n"
                 "   2 同　玉(13)\n   3 投了\n   4 ３三歩成(34)\nまで\n   5 １一香成(12)\n\n"
                 "分類：最悪詰\n",
         [](const Problem& p, const ReadResult& r) {
             expectRead(r);
             EXPECT_EQ(p.record.listFirstSide, GOTE);
             ASSERT_EQ(p.record.inputLine.size(), 4u);
             EXPECT_EQ(p.record.inputLine[0], (Move{0, 0x22, GOTE + GOLD, 0}));
             EXPECT_EQ(p.record.inputLine[1], (Move{0x13, 0x22, SENTE + KING, 0}));
             EXPECT_EQ(p.record.inputLine[2], (Move{0x34, 0x33, SENTE + PAWN, 1}));
             EXPECT_EQ(p.record.inputLine[3], (Move{0x12, 0x11, GOTE + LANCE, 1}));
             EXPECT_EQ(p.rules.genre, GENRE_WORST_MATE);
         }},
        {"StatedLengthAsWritten", "手数：-007\n" + block,
         [](const Problem& p, const ReadResult&) {
             EXPECT_EQ(p.record.length, -7);
             EXPECT_EQ(p.record.lengthText, "-7");
         }},
        {"StatedLengthBeyond16BitsAsWritten", "手数： 99999999999手\n" + block,
         [](const Problem& p, const ReadResult&) {
             EXPECT_EQ(p.record.length, 32767);
             EXPECT_EQ(p.record.lengthText, "99999999999");
         }},
        {"StatedLengthBeyond64BitsAsWritten", "手数：-123456789012345678901234567890\n" + block,
         [](const Problem& p, const ReadResult&) {
             EXPECT_EQ(p.record.lengthText, "-123456789012345678901234567890");
         }},
        {"NoStatedLength", block,
         [](const Problem& p, const ReadResult&) { EXPECT_EQ(p.record.lengthText, "0"); }},
        {"HandicapLetsTheSecondPlayerMoveFirst", "手合割：香落ち\n" + block,
         [](const Problem& p, const ReadResult&) { EXPECT_EQ(p.record.listFirstSide, GOTE); }},
        {"LowerMovesFirstWinsOverSecondMovesFirst", "後手番 下手番\n" + block,
         [](const Problem& p, const ReadResult&) { EXPECT_EQ(p.record.listFirstSide, SENTE); }},
    };
}

class ReaderTest : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderTest, Reads) {
    const ReaderCase& c = GetParam();
    std::string path = test::writeTempFile("problem.kif", c.text);
    Problem problem;
    ReadResult result = readProblem(path, problem);
    c.check(problem, result);
}

INSTANTIATE_TEST_SUITE_P(Cases, ReaderTest, ::testing::ValuesIn(readerCases()),
                         [](const ::testing::TestParamInfo<ReaderCase>& info) { return info.param.name; });

// A move line without an origin is a drop, and only a piece in hand can be dropped: not a promoted
// piece, not a king, and not promoting on the way.
TEST(ReadProblem, MoveListDropOfAPieceNoHandHoldsIsRefused) {
    for (std::string_view line : {"   1 ５五龍", "   1 ５五玉打", "   1 ５五と打", "   1 ５五成香打",
                                  "   1 ５五角成( 0:01/00:00:01)"}) {
        std::string path = test::writeTempFile(
            "problem.kif", diagramBlock() + "手数----指手\n   1 ５二金打\n" + std::string(line) + "\n\n");
        Problem problem;
        ReadResult r = readProblem(path, problem);
        EXPECT_EQ(r.status, ReadStatus::MALFORMED) << line;
        EXPECT_EQ(r.message, "指手に打てない駒を打つ手があります：" + std::string(line) + "\n");
    }
}

// A problem file takes a few kilobytes: one beyond a megabyte is refused before it is read whole,
// and one just within it is read as usual, however many lines it holds.
TEST(ReadProblem, FileBeyondAMegabyteIsRefused) {
    const std::string problem = "手数：3\n" + diagramBlock();
    const std::string filler(MAX_PROBLEM_FILE_BYTES - problem.size(), '\n');
    Problem within;
    expectRead(readProblem(test::writeTempFile("within.kif", filler + problem), within));
    EXPECT_EQ(within.record.length, 3);
    Problem beyond;
    ReadResult r = readProblem(test::writeTempFile("beyond.kif", filler + "\n" + problem), beyond);
    EXPECT_EQ(r.status, ReadStatus::MALFORMED);
    EXPECT_EQ(r.message, "問題ファイルが大きすぎます（1MBまで）\n");
    EXPECT_EQ(beyond.record.length, 0);  // nothing of it was taken
}

TEST(ReadProblem, MissingFileCannotBeOpened) {
    Problem problem;
    EXPECT_EQ(readProblem(test::tempPath("absent.kif"), problem).status, ReadStatus::CANNOT_OPEN);
    EXPECT_EQ(readProblem("", problem).status, ReadStatus::CANNOT_OPEN);
}

TEST(ReadProblem, FolderCannotBeOpened) {
    Problem problem;
    std::string file = test::tempPath("x");
    std::string folder = file.substr(0, file.size() - 2);
    EXPECT_EQ(readProblem(folder, problem).status, ReadStatus::CANNOT_OPEN);
}

struct CountCase {
    std::string_view text;
    int value;
    std::string_view offending;
};

TEST(ParseKanjiCount, AcceptedFormsAndFaults) {
    const CountCase cases[] = {
        {"", 1, ""},
        {"一", 1, ""},
        {"九", 9, ""},
        {"十", 10, ""},
        {"十八", 18, ""},
        {"二十", 20, ""},
        {"二十三", 23, ""},
        {"九十九", 99, ""},
        {"x", 1, ""},
        {"2 ", 0, "2 "},
        {"一二三四", 1, ""},
        {"Ａ", 0, "Ａ"},
        {"十十", 0, "十十"},
        {"三二", 0, "三二"},
        {"十Ａ", 0, "Ａ"},
        {"Ａ十", 0, "Ａ"},
        {"二十十", 0, "二十十"},
        {"十十五", 0, "十十五"},
        {"二三四", 0, "二三四"},
        {"Ａ十五", 0, "Ａ"},
        {"五十Ａ", 0, "Ａ"},
    };
    for (const CountCase& c : cases) {
        KanjiCount count = parseKanjiCount(c.text);
        EXPECT_EQ(count.offending, c.offending) << c.text;
        if (c.offending.empty()) {
            EXPECT_EQ(count.value, c.value) << c.text;
        }
    }
}

TEST(ParseHand, NamedTwiceKeepsTheLastAndStopsAtAFault) {
    std::array<int32_t, 40> hand{};
    EXPECT_FALSE(parseHand("持駒：歩三　歩五　なし", SENTE, hand));
    EXPECT_EQ(hand[SENTE + PAWN], 5);
    std::optional<std::string> bad = parseHand("持駒：金　銀三二　桂", GOTE, hand);
    ASSERT_TRUE(bad);
    EXPECT_EQ(*bad, "三二");
    EXPECT_EQ(hand[GOTE + GOLD], 1);
    EXPECT_EQ(hand[GOTE + KNIGHT], 0);
}

struct MoveCase {
    std::string_view line;
    uint8_t lastBefore;
    std::optional<Move> move;
    uint8_t lastAfter;
};

TEST(ParseListMove, KifuLines) {
    const MoveCase cases[] = {
        // a drop: the first "(" belongs to the time
        {"   1 ２二金打   ( 0:01/00:00:01)", 0, Move{0, 0x22, SENTE + GOLD, 0}, 0x22},
        {"   3 同　香(19)", 0x13, Move{0x19, 0x13, SENTE + LANCE, 0}, 0x13},
        {"   1 ５五角成(33)", 0, Move{0x33, 0x55, SENTE + BISHOP, 1}, 0x55},
        // "成" not directly before "(" is a promoted piece, not a promotion
        {"   1 ５三成銀(44)", 0, Move{0x44, 0x53, SENTE + SILVER + PROMOTED, 0}, 0x53},
        {"   1 ５三成香(54)", 0, Move{0x54, 0x53, SENTE + LANCE + PROMOTED, 0}, 0x53},
        {"   1 ２八竜(29)", 0, Move{0x29, 0x28, SENTE + DRAGON, 0}, 0x28},
        {"   1 ５八王(59)", 0, Move{0x59, 0x58, SENTE + KING, 0}, 0x58},
        {"   1 投了", 0x44, std::nullopt, 0},
        {"   1 ５五歩(5a)", 0, std::nullopt, 0x55},
        {"   1 ５五歩(50)", 0, std::nullopt, 0x55},
        {"   1 同　歩", 0, std::nullopt, 0},
        {"   1 ５五歩(", 0, Move{0, 0x55, SENTE + PAWN, 0}, 0x55},
    };
    for (const MoveCase& c : cases) {
        uint8_t last = c.lastBefore;
        EXPECT_EQ(parseListMove(c.line, SENTE, last), c.move) << c.line;
        EXPECT_EQ(last, c.lastAfter) << c.line;
    }
    uint8_t last = 0;
    EXPECT_EQ(parseListMove("2 ３四歩(33)", GOTE, last), (Move{0x33, 0x34, GOTE + PAWN, 0}));
}

}  // namespace
}  // namespace nagare
