#include "search/monitor.h"

#include <algorithm>
#include <cctype>
#include <concepts>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"
#include "platform/dialogue.h"
#include "platform/terminal_keys.h"
#include "rules/diagram.h"
#include "rules/notation.h"
#include "search/proof_search.h"
#include "table/position_table.h"

namespace nagare {

namespace {

// How long the monitor waits for a key before it looks at monitorRunning again. A stop wakes it
// at once; this only bounds how late it notices a flag cleared without a wake-up.
constexpr int MONITOR_POLL_MS = 50;
constexpr int MOVES_PER_LINE = 10;
constexpr int SHALLOWEST_MONITOR_DEPTH = 1;

// A short message of the monitor thread on a line of its own.
void announce(const std::string& text) {
    std::string out;
    if (!platform::consoleAtLineStart()) out += "\n";
    out += text;
    out += "\n";
    platform::consoleWrite(out);
}

// Text from pieces: strings as they are, whole numbers in decimal.
void appendPiece(std::string& out, std::string_view piece) {
    out += piece;
}
void appendPiece(std::string& out, std::integral auto number) {
    out += std::to_string(number);
}

template <typename... Pieces>
std::string concat(const Pieces&... pieces) {
    std::string out;
    (appendPiece(out, pieces), ...);
    return out;
}

std::string numberPair(int32_t first, int32_t second) {
    return concat("(", first, ", ", second, ")");
}

// One trace line: into the report as it is, on the console marked "*" outside the main solve and
// followed by `consoleExtra`.
void writeTrace(SearchContext& ctx, bool toReport, bool toConsole, const std::string& line,
                const std::string& consoleExtra) {
    if (toReport) {
        const std::string out = concat("\n", line, "\n");
        std::fwrite(out.data(), 1, out.size(), ctx.report);
    }
    if (toConsole) {
        std::string out = "\n";
        if (ctx.phase >= PHASE_SHORTER) out += "*";
        out += line;
        out += consoleExtra;
        out += "\n";
        platform::consoleWrite(out);
    }
}

// Where the trace of a node at `ply` goes: the report down to monitorDepth plies from the problem's
// root, the console down to monitorDepth plies below the root of the current search.
struct TraceTargets {
    bool report = false;
    bool console = false;
    bool any() const { return report || console; }
};

TraceTargets traceTargets(const SearchContext& ctx, int ply) {
    const int depth = ctx.monitorDepth.load(std::memory_order_relaxed);
    TraceTargets t;
    t.report = ctx.traceOn && ctx.report != nullptr && ply <= depth;
    t.console = ctx.monitorOn.load(std::memory_order_relaxed) && ply <= ctx.rootPly + depth;
    return t;
}

std::string fixedOneDecimal(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

}  // namespace

void handleMonitorKey(SearchContext& ctx, int key) {
    const int upper = key >= 0 && key < 128 ? std::toupper(key) : key;
    const int depth = ctx.monitorDepth.load(std::memory_order_relaxed);
    switch (upper) {
        case 'D':
            ctx.lineRequest.store(true, std::memory_order_relaxed);
            break;
        case 'M':
            if (!ctx.monitorOn.load(std::memory_order_relaxed)) {
                announce(concat("モニタ開始：", depth, "手"));
                ctx.monitorOn.store(true, std::memory_order_relaxed);
            } else {
                announce("モニタ停止");
                ctx.monitorOn.store(false, std::memory_order_relaxed);
            }
            break;
        case '+':
            if (depth < ctx.statedLength) {
                ctx.monitorDepth.store(static_cast<int16_t>(depth + 1), std::memory_order_relaxed);
                ctx.monitorOn.store(true, std::memory_order_relaxed);
                announce(concat("モニタ深度：", depth + 1, "手"));
            }
            break;
        case '-':
            if (depth > SHALLOWEST_MONITOR_DEPTH) {
                ctx.monitorDepth.store(static_cast<int16_t>(depth - 1), std::memory_order_relaxed);
                ctx.monitorOn.store(true, std::memory_order_relaxed);
                announce(concat("モニタ深度：", depth - 1, "手"));
            } else if (depth == SHALLOWEST_MONITOR_DEPTH) {
                // The display goes off; the depth stays at one ply.
                announce("モニタ停止");
                ctx.monitorOn.store(false, std::memory_order_relaxed);
            }
            break;
        case platform::KEY_ESCAPE:
            ctx.interruptRequest.store(true, std::memory_order_relaxed);
            break;
        default:
            break;
    }
}

void monitorThread(SearchContext& ctx) {
    const bool keys = platform::beginKeyPolling();
    while (ctx.monitorRunning.load(std::memory_order_relaxed)) {
        // After ESC, keys are left alone until the search has asked whether to stop: what the user
        // types next is the answer.
        if (!keys || ctx.interruptRequest.load(std::memory_order_relaxed)) {
            platform::idleKeyPoller(MONITOR_POLL_MS);
            continue;
        }
        const int key = platform::pollKey(MONITOR_POLL_MS);
        if (key != platform::NO_KEY) handleMonitorKey(ctx, key);
    }
    if (keys) platform::endKeyPolling();
}

void startMonitor(SearchContext& ctx) {
    ctx.monitorWorker.join();  // a thread that ended on a confirmed stop
    ctx.monitorRunning.store(true, std::memory_order_relaxed);
    // Without a thread the search runs unwatched; stopMonitor still clears the flag.
    ctx.monitorWorker.start([&ctx] { monitorThread(ctx); });
}

void stopMonitor(SearchContext& ctx) {
    ctx.monitorRunning.store(false, std::memory_order_relaxed);
    platform::wakeKeyPoller();
    ctx.monitorWorker.join();
}

bool checkInterrupt(SearchContext& ctx, Position& node) {
    // The Ctrl-C handler runs once; armed again here, the next Ctrl-C only prints its hint too.
    if (platform::ctrlCPressed.load(std::memory_order_relaxed)) {
        platform::ctrlCPressed.store(false, std::memory_order_relaxed);
        platform::installInterruptHandler();
    }
    if (!ctx.interruptRequest.load(std::memory_order_relaxed)) return false;

    // The monitor reads no key from here until the answer has been read.
    const platform::KeyPollingPause pause;
    ctx.resumePath.clear();
    ctx.interruptPly = node.ply;
    ctx.interruptMove = node.lastMove;
    ctx.interruptRequest.store(false, std::memory_order_relaxed);
    showCurrentLine(ctx, node);
    platform::consoleWrite("\n中断しますか？（Y/N）：");
    const bool stop = ctx.answerYes ? ctx.answerYes() : platform::askYes('Y');
    ctx.resumePath.clear();
    ctx.savedChildren.clear();
    if (stop) {
        ctx.monitorRunning.store(false, std::memory_order_relaxed);
        platform::wakeKeyPoller();
        node.state = NODE_STATE_ABORTED;
        return true;
    }
    ctx.interruptPly = 0;
    ctx.interruptMove = Move{};
    return false;
}

void showCurrentLine(SearchContext& ctx, const Position& node) {
    std::string text =
        concat("\n現在の読み筋（開始", ctx.rootPly, "手目、検討深度", ctx.depthLimit, "）：\n");

    // The nodes from ply 1 down to this one; a move is written from the position it was played in.
    std::vector<const Position*> line;
    for (const Position* p = &node; p != nullptr && p->ply >= 1 && p->parent != nullptr; p = p->parent)
        line.push_back(p);
    std::reverse(line.begin(), line.end());
    bool departureMarked = false;
    int count = 0;
    for (const Position* y : line) {
        // The problem's move at this index is the one played from the parent's ply.
        const size_t index = static_cast<size_t>(y->ply - 1);
        if (ctx.givenLineMode && !departureMarked && index < ctx.inputLine.size() &&
            ctx.inputLine[index] != y->lastMove) {
            text += "★";
            departureMarked = true;
        }
        const Position* grandparent = y->parent->parent;
        if (ctx.detailedMonitor && grandparent != nullptr && y->lastMove.packed() == grandparent->killer)
            text += "!";
        text += formatMove(*y->parent, y->lastMove);
        if (++count % MOVES_PER_LINE == 0) text += "\n";
    }
    if (count % MOVES_PER_LINE != 0) text += "\n";

    text += concat("\n", node.ply, "手目：");
    if (node.parent != nullptr) text += formatMove(*node.parent, node.lastMove);
    platform::consoleWrite(text);
    drawDiagram(node, "");

    if (ctx.table == nullptr) return;
    const PositionTable& table = *ctx.table;
    text = concat("\n局面表使用率：", fixedOneDecimal(table.usage()), "％\n");
    if (ctx.detailedMonitor)
        text += concat("リトライ", table.openProbeMax, ", 不詰リトライ", table.nonProofProbeMax,
                       ", 詰リトライ", table.provenProbeMax, "\n");
    platform::consoleWrite(text);
}

void traceDescend(SearchContext& ctx, const Position& node, const Position& child) {
    const TraceTargets to = traceTargets(ctx, child.ply);
    if (!to.any()) return;
    const std::string line =
        concat("探索中：", node.ply + 1, "手目", formatMove(node, child.lastMove),
               numberPair(child.pn, child.dn), "→", numberPair(child.pnThr, child.dnThr));
    writeTrace(ctx, to.report, to.console, line, "");
}

void traceReturn(SearchContext& ctx, const Position& node, const Position& child) {
    const TraceTargets to = traceTargets(ctx, child.ply);
    if (!to.any()) return;
    const std::string line =
        concat("探索戻り：", child.ply, "手目", formatMove(node, child.lastMove),
               numberPair(child.pn, child.dn), "←", numberPair(child.prevPn, child.prevDn));
    std::string extra;
    if (ctx.detailedMonitor)
        extra = concat(" 探索Lv:", highestBit(child.effort), "/", highestBit(child.treeSize));
    writeTrace(ctx, to.report, to.console, line, extra);
}

void showStatistics(SearchContext& ctx, const Position& root) {
    const std::string text =
        concat("\n探索木サイズ：", root.treeSize, ", 探索レベル：", highestBit(root.treeSize),
               "\n証明数最大値：", ctx.maxPn, ", 反証数最大値：", ctx.maxDn, "\n\n");
    platform::consoleWrite(text);
}

}  // namespace nagare
