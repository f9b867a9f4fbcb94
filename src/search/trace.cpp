#include "search/trace.h"

#include <cstdio>
#include <string>

#include "platform/console.h"
#include "rules/notation.h"
#include "search/console_text.h"
#include "search/proof_search.h"

namespace nagare {

namespace {

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

}  // namespace

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

}  // namespace nagare
