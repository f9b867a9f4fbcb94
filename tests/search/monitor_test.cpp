#include "search/monitor.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../support/sfen.h"
#include "../support/solve_support.h"
#include "../support/test_files.h"
#include "platform/console.h"
#include "platform/dialogue.h"
#include "platform/terminal_keys.h"
#include "rules/diagram.h"
#include "rules/move_generation.h"
#include "rules/notation.h"
#include "search/console_helpers.h"

namespace nagare {
namespace {

std::string problemPath(const std::string& name) {
    return std::string(NAGARE_TEST_DATA) + "/problems/short/" + name;
}

// What the console shows for Shift-JIS text.
std::string shown(const std::string& sjis) {
    return platform::toConsoleEncoding(sjis);
}

// Console output of `work`, starting at the beginning of a line.
template <typename Work>
std::string consoleOutput(Work work) {
    platform::consoleInputLineEnded();
    ::testing::internal::CaptureStdout();
    work();
    return ::testing::internal::GetCapturedStdout();
}

// --- keys ---

struct KeyCase {
    const char* name;
    int key;
    int16_t depth;
    bool monitorOn;
    int16_t statedLength;
    const char* printed;  // Shift-JIS
    int16_t depthAfter;
    bool monitorOnAfter;
    bool lineRequest;
    bool interruptRequest;
};

class MonitorKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(MonitorKeys, ChangeTheFlagsAndSaySo) {
    const KeyCase& c = GetParam();
    SearchContext ctx;
    ctx.monitorDepth = c.depth;
    ctx.monitorOn = c.monitorOn;
    ctx.statedLength = c.statedLength;
    std::string printed = consoleOutput([&] { handleMonitorKey(ctx, c.key); });
    EXPECT_EQ(printed, shown(c.printed));
    EXPECT_EQ(ctx.monitorDepth.load(), c.depthAfter);
    EXPECT_EQ(ctx.monitorOn.load(), c.monitorOnAfter);
    EXPECT_EQ(ctx.lineRequest.load(), c.lineRequest);
    EXPECT_EQ(ctx.interruptRequest.load(), c.interruptRequest);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MonitorKeys,
    ::testing::Values(KeyCase{"D", 'D', 2, false, 9, "", 2, false, true, false},
                      KeyCase{"LowerD", 'd', 2, false, 9, "", 2, false, true, false},
                      KeyCase{"MStarts", 'm', 2, false, 9, "モニタ開始：2手\n", 2, true, false, false},
                      KeyCase{"MStops", 'M', 4, true, 9, "モニタ停止\n", 4, false, false, false},
                      KeyCase{"PlusDeepens", '+', 2, false, 9, "モニタ深度：3手\n", 3, true, false, false},
                      KeyCase{"PlusAtStatedLength", '+', 9, false, 9, "", 9, false, false, false},
                      KeyCase{"MinusShallows", '-', 3, false, 9, "モニタ深度：2手\n", 2, true, false, false},
                      KeyCase{"MinusAtOneStops", '-', 1, true, 9, "モニタ停止\n", 1, false, false, false},
                      KeyCase{"Escape", platform::KEY_ESCAPE, 2, true, 9, "", 2, true, false, true},
                      KeyCase{"OtherKey", 'x', 2, true, 9, "", 2, true, false, false}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

TEST(MonitorKeys, AMessageStartsOnALineOfItsOwn) {
    SearchContext ctx;
    std::string printed = consoleOutput([&] {
        platform::consoleWrite("探索中");
        handleMonitorKey(ctx, 'M');
    });
    EXPECT_EQ(printed, shown("探索中\nモニタ開始：2手\n"));
}

// --- interruption ---

// A search whose interruption question is answered by a script: `stopAt` is the question answered
// "Y" (0: never); every answer "N" asks again at the next node when `askAgain` is set.
struct ScriptedStop {
    test::SolveRig rig;
    int questions = 0;
    int stopAt = 0;
    bool askAgain = false;
    int16_t stoppedPly = -1;
    Move stoppedMove;

    explicit ScriptedStop(const std::string& file) {
        EXPECT_TRUE(rig.load(problemPath(file)));
        rig.ctx->answerYes = [this] {
            ++questions;
            if (questions == stopAt) {
                stoppedPly = rig.ctx->interruptPly;
                stoppedMove = rig.ctx->interruptMove;
                return true;
            }
            if (askAgain) rig.ctx->interruptRequest = true;
            return false;
        };
    }

    test::Solved run() {
        rig.ctx->interruptRequest = true;  // ESC before the search reaches the root
        test::Solved s;
        ::testing::internal::CaptureStdout();
        s = rig.search(rig.problem.record.length);
        ::testing::internal::GetCapturedStdout();
        return s;
    }
};

const char* const SMALL_PROBLEM = "mate11-000-004.kif";

TEST(CheckInterrupt, AnsweringNoLeavesTheSearchAsItWas) {
    const test::Solved plain = test::solveFile(problemPath(SMALL_PROBLEM));
    ASSERT_TRUE(plain.proved);

    ScriptedStop once(SMALL_PROBLEM);
    const test::Solved afterOne = once.run();
    EXPECT_EQ(once.questions, 1);
    EXPECT_EQ(afterOne.proved, plain.proved);
    EXPECT_EQ(afterOne.proofLength, plain.proofLength);
    EXPECT_EQ(afterOne.nodes, plain.nodes);
    EXPECT_EQ(once.rig.ctx->interruptPly, 0);
    EXPECT_TRUE(once.rig.ctx->interruptMove.isNull());
    EXPECT_TRUE(once.rig.ctx->resumePath.empty());
    EXPECT_TRUE(once.rig.ctx->savedChildren.empty());

    ScriptedStop everyNode(SMALL_PROBLEM);
    everyNode.askAgain = true;
    const test::Solved afterAll = everyNode.run();
    EXPECT_GT(everyNode.questions, 100);
    EXPECT_EQ(afterAll.proved, plain.proved);
    EXPECT_EQ(afterAll.proofLength, plain.proofLength);
    EXPECT_EQ(afterAll.nodes, plain.nodes);
    EXPECT_EQ(everyNode.rig.ctx->interruptPly, 0);
    EXPECT_EQ(everyNode.rig.root.state, NODE_STATE_NORMAL);
}

TEST(CheckInterrupt, AnsweringYesStopsTheSearchAndRecordsThePathForTheCheckpoint) {
    const test::Solved plain = test::solveFile(problemPath(SMALL_PROBLEM));
    ScriptedStop stop(SMALL_PROBLEM);
    stop.askAgain = true;
    stop.stopAt = 500;
    const test::Solved s = stop.run();
    SearchContext& ctx = *stop.rig.ctx;

    EXPECT_EQ(stop.questions, stop.stopAt);
    EXPECT_FALSE(s.proved);
    EXPECT_LT(s.nodes, plain.nodes);
    EXPECT_EQ(stop.rig.root.state, NODE_STATE_ABORTED);
    EXPECT_FALSE(ctx.monitorRunning.load());
    ASSERT_GE(stop.stoppedPly, 3) << "the stop should come deep in the tree";
    EXPECT_EQ(ctx.interruptPly, stop.stoppedPly);
    EXPECT_EQ(ctx.interruptMove, stop.stoppedMove);

    // One record and one children list per node from the root to the stopped node's parent.
    const size_t length = static_cast<size_t>(ctx.interruptPly);
    ASSERT_EQ(ctx.resumePath.size(), length);
    ASSERT_EQ(ctx.savedChildren.size(), length);
    EXPECT_TRUE(ctx.resumePath[0].move.isNull());
    // Replayed from the root, each record's move is one of the previous node's saved children, and
    // that child is the very position reached.
    Position node = stop.rig.root;
    for (size_t i = 1; i <= length; ++i) {
        const Move move = i < length ? ctx.resumePath[i].move : ctx.interruptMove;
        const std::vector<Position>& children = ctx.savedChildren[i - 1];
        const Position* saved = nullptr;
        for (const Position& c : children)
            if (c.lastMove == move) saved = &c;
        ASSERT_NE(saved, nullptr) << "ply " << i;
        Position next{};
        makeChild(node, next, move, ctx.nodeRules);
        EXPECT_EQ(saved->key, next.key) << "ply " << i;
        next.parent = nullptr;
        node = next;
    }
}

// A stopped search resumed from its saved path (as a checkpoint restores it) replays the path down to
// the stop, goes on from there and reaches the verdict of a search never stopped.
TEST(ResumeReplay, AStoppedSearchGoesOnToTheSameVerdict) {
    const test::Solved plain = test::solveFile(problemPath(SMALL_PROBLEM));
    ASSERT_TRUE(plain.proved);
    ScriptedStop stop(SMALL_PROBLEM);
    stop.askAgain = true;
    stop.stopAt = 300;
    ASSERT_FALSE(stop.run().proved);
    SearchContext& ctx = *stop.rig.ctx;
    ASSERT_FALSE(ctx.resumePath.empty());

    stop.stopAt = 0;
    stop.askAgain = false;
    ctx.resuming = true;
    ::testing::internal::CaptureStdout();
    const test::Solved resumed = stop.rig.search(stop.rig.problem.record.length);
    const std::string echo = ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(resumed.proved);
    EXPECT_EQ(resumed.proofLength, plain.proofLength);
    EXPECT_FALSE(ctx.resuming);
    EXPECT_TRUE(ctx.resumePath.empty());
    EXPECT_TRUE(ctx.savedChildren.empty());
    EXPECT_EQ(stop.rig.root.state, NODE_STATE_NORMAL);
    // The replay ends at the stopped node's parent: its ply and move, then its diagram.
    EXPECT_NE(echo.find(platform::toConsoleEncoding(std::to_string(ctx.interruptPly - 1) + "手目:")),
              std::string::npos)
        << echo;
}

TEST(CheckInterruptDeathTest, ArmsTheCtrlCHandlerAgainAfterItHasRun) {
    EXPECT_EXIT(
        {
            ::testing::internal::CaptureStdout();
            platform::installInterruptHandler();
            std::raise(SIGINT);  // the handler runs once
            if (!platform::ctrlCPressed) std::exit(2);
            SearchContext ctx;
            Position node{};
            if (checkInterrupt(ctx, node)) std::exit(3);
            if (platform::ctrlCPressed) std::exit(4);
            std::raise(SIGINT);  // armed again: only the hint
            std::exit(platform::ctrlCPressed ? 0 : 5);
        },
        ::testing::ExitedWithCode(0), "");
}

// --- the current line ---

// A line of `plies` legal moves from a real position, each the first move the generator gives.
struct Line {
    Position root{};
    std::vector<Position> nodes;  // nodes[i] is at ply i + 1
    NodeRules rules{};

    explicit Line(int plies) {
        root = test::positionFromSfen(
            "ln1g2+B1l/1rsk1S3/2pp1pn2/p3p1p1p/8P/2P3P2/P1SPPPS2/2+p6/LN1GKG1NL b BGPr2p 1");
        nodes.reserve(static_cast<size_t>(plies));
        Move buffer[MOVE_BUFFER_SIZE];
        const Position* last = &root;
        for (int i = 0; i < plies; ++i) {
            const int count = generateAllMoves(*last, buffer);
            EXPECT_GT(count, 0);
            nodes.emplace_back();
            makeChild(*last, nodes.back(), buffer[0], rules);
            last = &nodes.back();
        }
    }
    const Position& tip() const { return nodes.back(); }
    std::string notation(size_t i) const {
        const Position& parent = i == 0 ? root : nodes[i - 1];
        return formatMove(parent, nodes[i].lastMove);
    }
};

TEST(ShowCurrentLine, TenMovesALineThenTheDiagramAndTheTable) {
    Line line(11);
    SearchContext ctx;
    PositionTable table;
    ASSERT_TRUE(table.createSlots(1000));
    table.usedCount = 123;
    ctx.table = &table;
    ctx.rootPly = 0;
    ctx.depthLimit = 13;
    std::string expected = "\n現在の読み筋（開始0手目、検討深度13）：\n";
    for (size_t i = 0; i < 10; ++i) expected += line.notation(i);
    expected += "\n";
    expected += line.notation(10);
    expected += "\n\n11手目：";
    expected += line.notation(10);
    expected += formatDiagram(line.tip());
    expected += "\n局面表使用率：12.3％\n";
    EXPECT_EQ(consoleOutput([&] { showCurrentLine(ctx, line.tip()); }), shown(expected));
}

TEST(ShowCurrentLine, MarksTheDepartureFromTheGivenMovesAndTheKillersWhenDetailed) {
    Line line(10);
    SearchContext ctx;
    PositionTable table;
    ASSERT_TRUE(table.createSlots(1000));
    table.openProbeMax = 3;
    table.nonProofProbeMax = 4;
    table.provenProbeMax = 5;
    ctx.table = &table;
    ctx.rootPly = 2;
    ctx.depthLimit = 9;
    ctx.detailedMonitor = true;
    ctx.givenLineMode = true;
    // The problem gives the first six moves, the fourth one different.
    for (size_t i = 0; i < 6; ++i) ctx.inputLine.push_back(line.nodes[i].lastMove);
    ctx.inputLine[3] = Move{};
    // The fifth move is its grandparent's killer (the grandparent is the node at ply 3).
    line.nodes[2].killer = line.nodes[4].lastMove.packed();

    std::string expected = "\n現在の読み筋（開始2手目、検討深度9）：\n";
    for (size_t i = 0; i < 10; ++i) {
        if (i == 3) expected += "★";
        if (i == 4) expected += "!";
        expected += line.notation(i);
    }
    expected += "\n\n10手目：" + line.notation(9) + formatDiagram(line.tip());
    expected += "\n局面表使用率：0.0％\nリトライ3, 不詰リトライ4, 詰リトライ5\n";
    EXPECT_EQ(consoleOutput([&] { showCurrentLine(ctx, line.tip()); }), shown(expected));
}

// --- trace ---

struct TraceRig {
    Line line{2};
    SearchContext ctx;
    std::string reportPath = test::tempPath("report.txt");

    TraceRig() {
        ctx.report = std::fopen(reportPath.c_str(), "wb");
        Position& child = line.nodes[0];
        child.pn = 3;
        child.dn = 4;
        child.pnThr = 5;
        child.dnThr = PN_CAP;
        child.prevPn = 1;
        child.prevDn = 2;
        child.effort = 9;      // level 3
        child.treeSize = 100;  // level 6
    }
    ~TraceRig() {
        if (ctx.report != nullptr) std::fclose(ctx.report);
    }
    std::string report() {
        std::fflush(ctx.report);
        return test::readFile(reportPath);
    }
    std::string both() {
        return consoleOutput([&] {
            traceDescend(ctx, line.root, line.nodes[0]);
            traceReturn(ctx, line.root, line.nodes[0]);
        });
    }
};

TEST(Trace, WritesTheDescentAndTheReturnIntoTheReport) {
    TraceRig t;
    t.ctx.traceOn = true;
    EXPECT_EQ(t.both(), "");
    const std::string move = t.line.notation(0);
    EXPECT_EQ(t.report(), "\n探索中：1手目" + move + "(3, 4)→(5, 8388607)\n" + "\n探索戻り：1手目" + move +
                              "(3, 4)←(1, 2)\n");
}

TEST(Trace, ShowsTheMonitorOnTheConsoleWithTheLevelsWhenDetailed) {
    TraceRig t;
    t.ctx.monitorOn = true;
    t.ctx.detailedMonitor = true;
    const std::string move = t.line.notation(0);
    EXPECT_EQ(t.both(), shown("\n探索中：1手目" + move + "(3, 4)→(5, 8388607)\n" + "\n探索戻り：1手目" +
                              move + "(3, 4)←(1, 2) 探索Lv:3/6\n"));
    EXPECT_EQ(t.report(), "");
    t.ctx.phase = PHASE_VERIFY;
    t.ctx.detailedMonitor = false;
    EXPECT_EQ(t.both(), shown("\n*探索中：1手目" + move + "(3, 4)→(5, 8388607)\n" + "\n*探索戻り：1手目" +
                              move + "(3, 4)←(1, 2)\n"));
}

TEST(Trace, NothingWithoutAReportFileOrBelowTheDepth) {
    TraceRig t;
    t.ctx.traceOn = true;
    std::fclose(t.ctx.report);
    t.ctx.report = nullptr;
    EXPECT_EQ(t.both(), "");
    t.ctx.monitorOn = true;
    t.ctx.monitorDepth = 1;
    t.ctx.rootPly = 0;
    EXPECT_NE(t.both(), "");
    t.line.nodes[0].ply = 2;
    EXPECT_EQ(t.both(), "");
}

// The trace lines of a text, separated by empty lines: each is `mark`, "探索中：" (a descent) or
// "探索戻り：" (a return), the ply, "手目", the move and the numbers.
struct TracedLines {
    std::vector<int> plies;  // -1 for a line of another form
    int descents = 0;
    int returns = 0;
};

TracedLines tracedLines(const std::string& text, const std::string& mark) {
    TracedLines traced;
    const std::string descend = mark + shown("探索中：");
    const std::string ret = mark + shown("探索戻り：");
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty()) continue;
        size_t head = 0;
        if (line.rfind(descend, 0) == 0) {
            head = descend.size();
            ++traced.descents;
        } else if (line.rfind(ret, 0) == 0) {
            head = ret.size();
            ++traced.returns;
        } else {
            traced.plies.push_back(-1);
            continue;
        }
        traced.plies.push_back(std::atoi(line.c_str() + head));
    }
    return traced;
}

// A real search traced into the report and onto the console, its root at `rootPly`.
struct TracedSearch {
    test::SolveRig rig;
    std::string reportPath = test::tempPath("report.txt");
    std::string console;
    std::string report;

    TracedSearch(int16_t rootPly, int32_t phase) {
        EXPECT_TRUE(rig.load(problemPath("mate5-000-000.kif")));
        rig.root.ply = rootPly;
        SearchContext& ctx = *rig.ctx;
        ctx.traceOn = true;
        ctx.monitorOn = true;
        ctx.monitorDepth = 2;
        ctx.report = std::fopen(reportPath.c_str(), "wb");
        console = consoleOutput([&] {
            ctx.phase = phase;
            platform::runWithLargeStack([&] { runSearch(ctx, rig.root, rig.problem.record.length); });
        });
        std::fclose(ctx.report);
        ctx.report = nullptr;
        report = test::readFile(reportPath);
    }
};

TEST(Trace, TheReportCountsPliesFromTheProblemAndTheConsoleFromTheSearchRoot) {
    TracedSearch s(1, PHASE_SOLVE);
    EXPECT_TRUE(isProved(s.rig.root));
    // The report: no console encoding, no mark, plies up to monitorDepth.
    const TracedLines reported = tracedLines(platform::sjisToUtf8(s.report), "");
    ASSERT_FALSE(reported.plies.empty());
    for (int ply : reported.plies) EXPECT_EQ(ply, 2);
    EXPECT_EQ(reported.descents, reported.returns);
    // The console: plies up to rootPly + monitorDepth.
    const TracedLines console = tracedLines(s.console, "");
    std::vector<int> seen(4, 0);
    for (int ply : console.plies) {
        ASSERT_TRUE(ply == 2 || ply == 3) << ply;
        ++seen[ply];
    }
    EXPECT_GT(seen[2], 0);
    EXPECT_GT(seen[3], 0);
    EXPECT_EQ(console.descents, console.returns);
}

TEST(Trace, AVerificationSearchAtPlySixShowsPliesSevenAndEightMarked) {
    TracedSearch s(6, PHASE_VERIFY);
    EXPECT_EQ(s.report, "");
    std::vector<int> seen(9, 0);
    for (int ply : tracedLines(s.console, "*").plies) {
        ASSERT_TRUE(ply == 7 || ply == 8) << ply;
        ++seen[ply];
    }
    EXPECT_GT(seen[7], 0);
    EXPECT_GT(seen[8], 0);
    // The monitor display goes off at the end of every search.
    EXPECT_FALSE(s.rig.ctx->monitorOn.load());
}

// --- statistics and the console helpers ---

TEST(ShowStatistics, GivesTheTreeSizeItsLevelAndTheLargestNumbers) {
    SearchContext ctx;
    ctx.maxPn = 5;
    ctx.maxDn = 70000;
    Position root{};
    root.treeSize = 5000000000ULL;  // level 32
    EXPECT_EQ(consoleOutput([&] { showStatistics(ctx, root); }),
              shown("\n探索木サイズ：5000000000, 探索レベル：32\n証明数最大値：5, 反証数最大値：70000\n\n"));
}

TEST(ConsoleHelpers, DisplayWidthCountsDoubleByteCharactersTwice) {
    EXPECT_EQ(displayWidth(""), 0);
    EXPECT_EQ(displayWidth("abc"), 3);
    EXPECT_EQ(displayWidth("持駒"), 4);
    EXPECT_EQ(displayWidth("76歩 "), 5);
    EXPECT_EQ(displayWidth("\xb1\xb2"), 2);  // half-width katakana: one column each
    EXPECT_EQ(displayWidth("a\x81"), 2);     // a lead byte without its trail byte
}

TEST(ConsoleHelpers, IndentOnlyAtTheStartOfALine) {
    int column = 7;
    EXPECT_EQ(consoleOutput([&] { indentIfAtLineStart(column); }), "\t\t" + shown("\x81\x40"));
    EXPECT_EQ(column, 0);
    column = 7;
    EXPECT_EQ(consoleOutput([&] {
                  platform::consoleWrite("x");
                  indentIfAtLineStart(column);
              }),
              "x");
    EXPECT_EQ(column, 7);
    EXPECT_EQ(consoleOutput([] { printEnd(); }), "\t\t" + shown("\x81\x40終了\n"));
    EXPECT_EQ(consoleOutput([] {
                  platform::consoleWrite("x");
                  printEnd();
              }),
              shown("x終了\n"));
}

}  // namespace
}  // namespace nagare
