#include "solution/verification.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "../support/program_run.h"
#include "../support/pseudo_terminal.h"
#include "../support/sfen.h"
#include "../support/solve_support.h"
#include "../support/test_files.h"
#include "../support/walk_referee.h"
#include "platform/console.h"
#include "rules/line_replay.h"
#include "rules/notation.h"

namespace nagare {
namespace {

using test::utf8;

MoveLine usiLine(const Position& root, const std::string& usi) {
    MoveLine line;
    Position p = root;
    size_t at = 0;
    while (at < usi.size()) {
        size_t end = usi.find(' ', at);
        if (end == std::string::npos) end = usi.size();
        const Move m = parseMoveUsi(p, usi.substr(at, end - at));
        line.push_back(m);
        makeMove(p, m);
        at = end + 1;
    }
    return line;
}

std::string usiOf(const MoveLine& line) {
    return formatLineUsi(line);
}

// What one walk did: its findings as "ply kind move" in USI, the line it returned, and its text.
struct WalkResult {
    std::vector<std::string> events;
    MoveLine line;
    std::string console;  // UTF-8, as the terminal shows it
    std::string report;   // Shift-JIS
};

std::string eventText(const WalkEvent& e) {
    static const char* const KINDS[] = {"non-unique", "cook", "detour", "correction"};
    return std::to_string(e.ply) + " " + KINDS[static_cast<int>(e.kind)] + " " + formatMoveUsi(e.move);
}

// Where the user stops a walk: the request comes once `afterEvents` findings have been made (-1: as
// the walk starts), and is confirmed at the `atNode`-th node asked about while the walk is in the
// sub-phase `duringKind` (0: any).
struct Stop {
    int afterEvents = -1;
    int atNode = 0;  // 0: no stop
    int duringKind = 0;
};

// A position of the tests' own (or a problem file), its table and context, solved and walked as a
// solving run does.
struct WalkRig {
    test::SolveRig rig;

    static constexpr uint64_t SMALL_TABLE = 1 << 18;

    bool setUp(const std::string& sfen, int length, int cookDepth = 0, int rootPly = 0,
               uint64_t slots = SMALL_TABLE) {
        rig.problem.options.cookCheck = cookDepth > 0;
        rig.problem.options.cookDepth = static_cast<int16_t>(cookDepth);
        if (!rig.loadSfen(sfen, length, slots)) return false;
        rig.root.ply = static_cast<int16_t>(rootPly);
        return true;
    }

    // The principal line of a proof within `length`.
    MoveLine solve(int length) {
        MoveLine line;
        platform::runWithLargeStack([&] {
            Position w = rig.root;
            runSearch(*rig.ctx, w, length);
            if (isProved(w)) line = extractLine(*rig.ctx, w, length);
        });
        return line;
    }

    // Proves every position of the line, as a solve leaves the table, and walks the line.
    WalkResult walk(const MoveLine& line, Stop stop = {}) {
        SearchContext& ctx = *rig.ctx;
        ctx.workLine = line;
        return run([&](WalkResult& r) {
            Position p = rig.root;
            for (size_t i = 0; i < line.size(); ++i) {
                Position copy = p;
                runSearch(ctx, copy, static_cast<int>(line.size() - i));
                makeMove(p, line[i]);
            }
            protectLine(ctx, rig.root, line);
            rig.table.recount();
            ctx.phase = PHASE_VERIFY;
            int asked = 0;
            if (stop.atNode > 0) {
                ctx.answerYes = [&ctx, &asked, stop] {
                    if ((stop.duringKind == 0 || ctx.verifyKind == stop.duringKind) && ++asked >= stop.atNode)
                        return true;
                    ctx.interruptRequest.store(true, std::memory_order_relaxed);
                    return false;
                };
                if (stop.afterEvents < 0) ctx.interruptRequest.store(true, std::memory_order_relaxed);
            }
            ctx.walkObserver = [&](const WalkEvent& e) {
                r.events.push_back(eventText(e));
                if (stop.atNode > 0 && static_cast<int>(r.events.size()) == stop.afterEvents)
                    ctx.interruptRequest.store(true, std::memory_order_relaxed);
            };
            resetSearchFields(rig.root, ctx.nodeRules);
            r.line = verifyLine(ctx, rig.root, line, false);
            ctx.answerYes = nullptr;
        });
    }

    // Walks the line a stopped walk returned, from the records the stop left, as a resumed run does.
    WalkResult resume(const MoveLine& line) {
        SearchContext& ctx = *rig.ctx;
        return run([&](WalkResult& r) {
            ctx.resuming = !(ctx.verifyStopPly == 0 && ctx.verifyStopMove.isNull());
            ctx.walkObserver = [&r](const WalkEvent& e) { r.events.push_back(eventText(e)); };
            resetSearchFields(rig.root, ctx.nodeRules);
            r.line = verifyLine(ctx, rig.root, line, false);
        });
    }

  private:
    template <typename Body>
    WalkResult run(Body body) {
        SearchContext& ctx = *rig.ctx;
        WalkResult r;
        std::FILE* report = std::tmpfile();
        ctx.report = report;
        ::testing::internal::CaptureStdout();
        platform::runWithLargeStack([&] { body(r); });
        r.console = ::testing::internal::GetCapturedStdout();
        std::rewind(report);
        for (int c; (c = std::fgetc(report)) != EOF;) r.report += static_cast<char>(c);
        std::fclose(report);
        ctx.report = nullptr;
        ctx.walkObserver = nullptr;
        return r;
    }
};

// The text of the walk, byte for byte: the ply header with a tab (or without one when the header is
// wide), the alternatives one after another, wrapped at 54 columns and indented on continuation lines,
// the labelled findings on lines of their own, and "終了" closing each ply.
struct TextCase {
    const char* name;
    const char* sfen;
    int rootPly;
    int cookDepth;
    const char* line;
    const char* console;  // Shift-JIS
    const char* report;
};

const TextCase TEXT_CASES[] = {
    {"alternatives without a finding", "4k4/9/4P4/9/9/9/9/9/4K4 b G 1", 0, 0, "G*5b",
     "1手目52金 \t：52歩成 52歩生 41金 42金 61金 62金 終了\n", ""},
    // Either gold on the board mates on 52 as well: each is reported on a line of its own, and the
    // list goes on indented on the next line.
    {"equal mates", "4k4/9/3G1G3/9/9/9/9/9/4K4 b G 1", 0, 0, "G*5b",
     "1手目52金打 \t：42金 52金右 \n"
     "非限定：1手目 52金右 \n"
     "\t\t　62金 52金左 \n"
     "非限定：1手目 52金左 \n"
     "\t\t　41金 42金打 61金 62金打 終了\n",
     "\n非限定：1手目 52金右 \n"
     "\n非限定：1手目 52金左 \n"},
    // With 余詰検討 the same mates are cooks.
    {"cooks", "4k4/9/3G1G3/9/9/9/9/9/4K4 b G 1", 0, 1, "G*5b",
     "1手目52金打 \t：42金 52金右 \n"
     "余詰：1手目 52金右 \n"
     "\t\t　62金 52金左 \n"
     "余詰：1手目 52金左 \n"
     "\t\t　41金 42金打 61金 62金打 終了\n",
     "\n余詰：1手目 52金右 \n"
     "\n余詰：1手目 52金左 \n"},
    // Two moves of seven columns and eight of five reach 54: the line wraps after the tenth.
    {"wrapped", "4k4/9/4P4/9/9/9/9/9/4K4 b RG 1", 0, 0, "G*5b",
     "1手目52金 \t：52歩成 52歩生 11飛 21飛 31飛 41飛 52飛 61飛 71飛 81飛 \n"
     "\t\t　91飛 41金 42金 61金 62金 終了\n",
     ""},
    // "10手目52銀右成 " is 15 columns wide: no tab.
    {"wide header", "4k4/9/3S1S3/9/9/9/9/9/4K4 b - 1", 9, 0, "4c5b+",
     "10手目52銀右成 ：42銀成 42銀生 52銀右生 62銀成 62銀生 52銀左成 \n"
     "非限定：10手目 52銀左成 \n"
     "\t\t　52銀左生 終了\n",
     "\n非限定：10手目 52銀左成 \n"},
    // A forced ply is its header and "終了"; with two plies left every other defence holds out as long
    // as the line's.
    {"forced ply and the last defences",
     "3+R3nl/2+S2skb1/2n1gppp1/p3N4/1p1p4p/2P3P2/PP1PPPN1P/2S3S2/L2GKG2L b GL3Prb 1", 0, 0,
     "5d4b+ 3b4b S*5a 4b4a G*4b",
     "1手目42桂成 \t：41龍 31龍 21龍 31金 終了\n"
     "2手目同玉 \t：終了\n"
     "3手目51銀 \t：52龍 62龍 51龍 41龍 31龍 32金 41金 52金 31銀 終了\n"
     "4手目41玉 \t：31玉 \n"
     "非限定：4手目 31玉 \n"
     "\t\t　32玉 \n"
     "非限定：4手目 32玉 \n"
     "\t\t　終了\n"
     "5手目42金 \t：62銀成 62銀生 42銀成 42銀生 52龍 31金 32金 52金 42香 終了\n",
     "\n非限定：4手目 31玉 \n"
     "\n非限定：4手目 32玉 \n"},
};

class WalkText : public ::testing::TestWithParam<TextCase> {};

TEST_P(WalkText, ConsoleAndReportByteForByte) {
    const TextCase& c = GetParam();
    WalkRig w;
    const MoveLine line = usiLine(test::positionFromSfen(c.sfen), c.line);
    ASSERT_TRUE(w.setUp(c.sfen, static_cast<int>(line.size()), c.cookDepth, c.rootPly));
    const WalkResult r = w.walk(line);
    EXPECT_EQ(r.console, utf8(c.console));
    EXPECT_EQ(r.report, c.report);
    EXPECT_EQ(usiOf(r.line), c.line);
}

INSTANTIATE_TEST_SUITE_P(Cases, WalkText, ::testing::ValuesIn(TEXT_CASES));

std::vector<test::ReportedFinding> findingsOf(const std::vector<std::string>& events) {
    std::vector<test::ReportedFinding> findings;
    for (const std::string& e : events) {
        std::istringstream words(e);
        test::ReportedFinding f;
        words >> f.ply >> f.kind >> f.move;
        if (f.kind != "correction") findings.push_back(f);
    }
    return findings;
}

// Alternatives that mate too: equal ones, longer cooks with 余詰検討, and cooks that only come back to
// the line (迂回).
struct FindingCase {
    const char* name;
    const char* sfen;
    int cookDepth;  // 0: no 余詰検討
    const char* line;
    std::vector<std::string> events;
};

const FindingCase FINDING_CASES[] = {
    // 73龍 is the position after the first move again.
    {"return to the position after ply 1",
     "9/9/4k4/9/2R2S3/9/9/9/9 b G 1",
     11,
     "7e7c+ 5c5b 7c7b 5b5c G*5d",
     {"2 non-unique 5c4b", "4 non-unique 5b4a", "4 non-unique 5b5a", "4 non-unique 5b4c", "5 detour 7b7c"}},
    // After 33龍 21玉 23龍 the position after the first move comes back; 42銀 mates at once, and as a
    // drop of the solution's own piece it is a cook whatever its line.
    {"return to an ancestor",
     "7k1/9/5P+Rs1/9/9/9/9/9/9 b - 1",
     9,
     "3c2c 2a3a S*3b",
     {"2 non-unique 2a1a", "3 detour 2c3c", "3 cook S*4b"}},
    // Without 余詰検討 the detour is too long to count; the other mate in one is 非限定.
    {"same line without 余詰検討",
     "7k1/9/5P+Rs1/9/9/9/9/9/9 b - 1",
     0,
     "3c2c 2a3a S*3b",
     {"2 non-unique 2a1a", "3 non-unique S*4b"}},
    // 84龍 71玉 73龍 81玉 83龍 91玉 reaches at ply 6 the position the solution has at ply 2.
    {"a later position of the solution",
     "1k7/9/9/+R2N5/9/9/9/9/9 b SN 1",
     9,
     "9d8c 8a9a S*8b",
     {"1 detour 9d8d", "1 cook S*7b", "2 non-unique 8a7a", "3 cook 8c9c", "3 cook S*9b"}},
};

class WalkFindings : public ::testing::TestWithParam<FindingCase> {};

TEST_P(WalkFindings, AgreeWithTheRefereeAndNameDetours) {
    const FindingCase& c = GetParam();
    WalkRig w;
    const MoveLine line = usiLine(test::positionFromSfen(c.sfen), c.line);
    ASSERT_TRUE(w.setUp(c.sfen, static_cast<int>(line.size()), c.cookDepth));
    const WalkResult r = w.walk(line);
    EXPECT_EQ(r.events, c.events) << r.console;
    EXPECT_EQ(usiOf(r.line), c.line);
    test::expectWalkAgreesWithReferee(w.rig.root,
                                      test::WalkRules{w.rig.problem.rules, c.cookDepth > 0, c.cookDepth},
                                      r.line, findingsOf(r.events));
}

INSTANTIATE_TEST_SUITE_P(Cases, WalkFindings, ::testing::ValuesIn(FINDING_CASES));

// From `p`, a line of exactly `plies` plies to the goal: the referee's quickest attacks against its
// longest defences. `p` must be at exactly that distance.
MoveLine refereeLine(test::ReferenceGame& game, Position p, int plies) {
    MoveLine line;
    for (int r = plies; r > 0; --r) {
        bool goal = false;
        for (Move m : game.usableMoves(p, goal)) {
            const Position child = test::playedFrom(p, m);
            if (game.distance(child, r - 1) == r - 1) {
                line.push_back(m);
                p = child;
                break;
            }
        }
    }
    return line;
}

// 変別: the line's defence at ply 2 is mated at once, while another holds out to the end. The line
// is replaced from ply 2 by the defence that holds, and ply 2 is examined again with it.
const char* const FALLING_DEFENCE_SFEN =
    "ln1kg2n+R/3s2+R2/p2ppp+B1p/2p6/9/2P6/PGNPPPP1P/5KS2/L1+s2G1+pL b BGL4Psn 1";

// A mate in seven whose defence at ply 2 is mated at once: 51角成, then 71玉 and the slow 62角成,
// which still mates at ply 7, and the referee's line from there.
MoveLine lineWithAFallingDefence() {
    const Position root = test::positionFromSfen(FALLING_DEFENCE_SFEN);
    test::ReferenceGame game(RuleSet{});
    MoveLine line = usiLine(root, "3c5a 6a7a 5a6b");
    Position p = root;
    for (Move m : line) p = test::playedFrom(p, m);
    EXPECT_EQ(game.distance(test::playedFrom(test::playedFrom(root, line[0]), line[1]), 5), 1);
    EXPECT_EQ(game.distance(p, 4), 4);
    const MoveLine tail = refereeLine(game, p, 4);
    line.insert(line.end(), tail.begin(), tail.end());
    EXPECT_EQ(line.size(), 7u);
    EXPECT_EQ(replayLine(root, line, RuleSet{}), "ok");
    return line;
}

TEST(WalkCorrection, ADefenceThatFallsSoonerIsReplacedAndExaminedAgain) {
    const Position root = test::positionFromSfen(FALLING_DEFENCE_SFEN);
    const MoveLine line = lineWithAFallingDefence();
    ASSERT_EQ(line.size(), 7u);
    WalkRig w;
    ASSERT_TRUE(w.setUp(FALLING_DEFENCE_SFEN, 7));
    const WalkResult r = w.walk(line);
    ASSERT_EQ(r.line.size(), 7u);
    EXPECT_EQ(r.line[0], line[0]);
    EXPECT_NE(r.line[1], line[1]);
    EXPECT_EQ(std::count_if(r.events.begin(), r.events.end(),
                            [](const std::string& e) { return e.find("correction") != std::string::npos; }),
              1);
    EXPECT_NE(std::find(r.events.begin(), r.events.end(), "2 correction " + formatMoveUsi(r.line[1])),
              r.events.end());
    Position afterFirst = test::playedFrom(root, line[0]);
    afterFirst.lastMove = line[0];
    const std::string oldHeader = "2手目" + formatMove(afterFirst, line[1]) + "\t：";
    const std::string newHeader = "2手目" + formatMove(afterFirst, r.line[1]) + "\t：";
    EXPECT_NE(r.console.find(utf8(oldHeader + "変別検出！ 代替手を探しています...手順修正\n" + newHeader)),
              std::string::npos)
        << r.console;
    // Examined again without a second 変別 check: the new header is followed by the alternatives.
    EXPECT_EQ(r.console.find(utf8(newHeader + "変別")), std::string::npos);
    EXPECT_EQ(w.rig.ctx->workLine, r.line);
    test::expectWalkAgreesWithReferee(root, test::WalkRules{}, r.line, findingsOf(r.events));
}

std::string shortProblem(const std::string& name) {
    return std::string(NAGARE_TEST_DATA) + "/problems/short/" + name;
}

// The principal line of the problem's proof at its stated length.
MoveLine solvedLine(const std::string& path) {
    WalkRig solver;
    EXPECT_TRUE(solver.rig.load(path));
    return solver.solve(solver.rig.problem.record.length);
}

// The findings for a given line are facts about the position: a table so small that it must recover
// space again and again reaches the same ones, and the same corrections, as a large one.
TEST(WalkTableSize, FindingsOfALineDoNotDependOnTheTableSize) {
    // Two corrections; findings at both sides' plies.
    for (const char* name : {"mate11-000-002.kif", "mate11-000-003.kif"}) {
        SCOPED_TRACE(name);
        const std::string path = shortProblem(name);
        const MoveLine line = solvedLine(path);
        ASSERT_EQ(line.size(), 11u);

        constexpr uint64_t TINY_TABLE = 1 << 12, LARGE_TABLE = 1 << 20;
        WalkRig tiny, large;
        test::QuietTableConsole tinyConsole;
        tiny.rig.table.console = &tinyConsole;
        ASSERT_TRUE(tiny.rig.load(path, TINY_TABLE));
        ASSERT_TRUE(large.rig.load(path, LARGE_TABLE));
        const WalkResult inTiny = tiny.walk(line);
        const WalkResult inLarge = large.walk(line);
        EXPECT_GT(tinyConsole.recoveries, 0);
        EXPECT_FALSE(inLarge.events.empty());
        EXPECT_EQ(inTiny.events, inLarge.events);
        EXPECT_EQ(usiOf(inTiny.line), usiOf(inLarge.line));
        EXPECT_EQ(inTiny.report, inLarge.report);
    }
}

// A walk stopped by the user and then resumed from what it recorded reports what an unstopped walk
// reports: the findings before the stop once, the rest after it. `load` sets up a fresh rig.
void expectStopsToResume(const std::function<bool(WalkRig&)>& load, const MoveLine& line,
                         const std::vector<Stop>& stops, const std::vector<int>& kindsWanted) {
    WalkRig reference;
    ASSERT_TRUE(load(reference));
    const WalkResult unstopped = reference.walk(line);
    std::set<int> kindsStopped;
    for (const Stop& stop : stops) {
        SCOPED_TRACE("stop after " + std::to_string(stop.afterEvents) + " findings at node " +
                     std::to_string(stop.atNode));
        WalkRig w;
        ASSERT_TRUE(load(w));
        const WalkResult first = w.walk(line, stop);
        if (w.rig.root.state != NODE_STATE_ABORTED) {
            EXPECT_EQ(first.events, unstopped.events);
            continue;
        }
        const SearchContext& ctx = *w.rig.ctx;
        kindsStopped.insert(ctx.verifyKind);
        const bool fromScratch = ctx.verifyStopPly == 0 && ctx.verifyStopMove.isNull();
        const WalkResult second = w.resume(first.line);
        EXPECT_NE(w.rig.root.state, NODE_STATE_ABORTED);
        std::vector<std::string> all = fromScratch ? std::vector<std::string>{} : first.events;
        all.insert(all.end(), second.events.begin(), second.events.end());
        EXPECT_EQ(all, unstopped.events);
        EXPECT_EQ(usiOf(second.line), usiOf(unstopped.line));
        if (ctx.verifyStopPly > 0) {
            EXPECT_NE(second.console.find(utf8("検討済")), std::string::npos);
        }
    }
    for (int kind : kindsWanted)
        EXPECT_TRUE(kindsStopped.count(kind)) << "no stop while verifyKind was " << kind;
}

// Stops at the start of a sub-search and deep inside one, among the alternatives of both sides.
TEST(WalkStop, AResumedWalkFindsWhatAnUnstoppedOneFinds) {
    const std::vector<Stop> stops = {{-1, 1}, {-1, 40}, {-1, 400}, {-1, 1500}, {1, 1}, {1, 60}};
    for (const char* name : {"mate11-000-002.kif", "mate11-000-004.kif"}) {
        SCOPED_TRACE(name);
        const std::string path = shortProblem(name);
        const MoveLine line = solvedLine(path);
        expectStopsToResume([&](WalkRig& w) { return w.rig.load(path); }, line, stops,
                            {VERIFY_ATTACKS, VERIFY_DEFENCES});
    }
}

// Stops inside the 変別 check: the check is made again when the walk resumes.
TEST(WalkStop, AStopInsideTheDefenceCheckResumesIt) {
    const MoveLine line = lineWithAFallingDefence();
    std::vector<Stop> stops;
    for (int node : {1, 10, 50, 150}) stops.push_back(Stop{-1, node, VERIFY_DEFENCE_CHECK});
    expectStopsToResume([](WalkRig& w) { return w.setUp(FALLING_DEFENCE_SFEN, 7); }, line, stops,
                        {VERIFY_DEFENCE_CHECK});
}

// Either gold on the board, or the gold in hand, mates on 52: whichever the line takes, the other two
// are findings.
std::string threeGoldsProblem() {
    test::Rows rows = test::PLAIN_ROWS;
    rows[2] = "| ・ ・ ・ 金 ・ 金 ・ ・ ・|三";
    return test::writeTempFile("three-golds.kif", "手数：1\n" + test::diagramBlock(rows, "なし", "金"));
}

// On a terminal a finding's label is bright yellow, and the colour goes back to normal after it.
TEST(WalkHighlight, TheLabelIsYellowOnATerminal) {
    const std::string problem = threeGoldsProblem();
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.usable());
    ASSERT_TRUE(pty.spawnProgram({NAGARE_BENCH_BINARY, "verify", problem}));
    constexpr double PATIENCE_SECONDS = 60;
    // The line break before the label is part of the highlighted text; the terminal ends lines with
    // CR LF.
    EXPECT_TRUE(pty.waitFor("\x1b[93m\r\n" + utf8("非限定：") + "\x1b[0m" + utf8("1手目 "), PATIENCE_SECONDS))
        << pty.output();
    EXPECT_TRUE(pty.waitExit(PATIENCE_SECONDS).has_value());
}

// Written to a file, the same walk carries no escape codes.
TEST(WalkHighlight, NoEscapeCodesOutsideATerminal) {
    const std::string problem = threeGoldsProblem();
    const std::string console = test::tempPath("console.txt");
    const std::string command = "LC_ALL=C.UTF-8 '" + std::string(NAGARE_BENCH_BINARY) + "' verify '" +
                                problem + "' < /dev/null > /dev/null 2> '" + console + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string text = test::readFile(console);
    EXPECT_NE(text.find(utf8("\n非限定：1手目 ")), std::string::npos) << text;
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace nagare
