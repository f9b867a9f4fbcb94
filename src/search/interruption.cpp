#include "search/interruption.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/dialogue.h"
#include "platform/terminal_keys.h"
#include "rules/diagram.h"
#include "rules/notation.h"
#include "search/console_text.h"
#include "table/position_table.h"

namespace nagare {

namespace {

constexpr int MOVES_PER_LINE = 10;

std::string fixedOneDecimal(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

}  // namespace

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

}  // namespace nagare
