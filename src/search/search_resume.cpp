#include "search/search_resume.h"

#include <string>

#include "platform/console.h"
#include "rules/diagram.h"
#include "rules/notation.h"
#include "search/monitor.h"
#include "search/proof_search.h"

namespace nagare {

namespace {

constexpr int MOVES_PER_LINE = 10;

// The position the stopped search was in, drawn before the search goes on from there.
[[gnu::noinline]] void showStoppedPosition(const SearchContext& ctx, const Position& n, Move m) {
    Position shown{};
    makeChild(n, shown, m, ctx.nodeRules);
    drawDiagram(shown, "");
}

// The path has been followed to its end: the lists saved for nodes below it are of no further use.
void endReplay(SearchContext& ctx) {
    ctx.resuming = false;
    ctx.savedChildren.clear();
}

}  // namespace

ResumeOutcome replayResumePath(SearchContext& ctx, Position& n, int d) {
    if (n.ply == ctx.interruptPly && n.lastMove == ctx.interruptMove) {
        endReplay(ctx);
        return ResumeOutcome::SEARCH;
    }
    if (n.ply == 0 && !ctx.resumePath.empty()) {
        const ResumeRecord& root = ctx.resumePath.front();
        n.pn = root.pn;
        n.dn = root.dn;
        n.pnThr = root.pnThr;
        n.dnThr = root.dnThr;
        ctx.resumePath.erase(ctx.resumePath.begin());
    }
    if (ctx.resumePath.empty()) {
        endReplay(ctx);
        return ResumeOutcome::SKIP_FIRST_VISIT;
    }
    const ResumeRecord r = ctx.resumePath.front();
    ctx.resumePath.erase(ctx.resumePath.begin());
    const bool last = ctx.resumePath.empty();

    std::string echo;
    if (n.ply != 0 && n.ply % MOVES_PER_LINE == 0) echo += "\n";
    echo += formatMove(n, r.move);
    if (last) echo += "\n\n" + std::to_string(n.ply + 1) + "手目:" + formatMove(n, r.move);
    platform::consoleWrite(echo);

    Position* followed = nullptr;
    if (!ctx.savedChildren.empty()) {
        std::vector<Position> list = std::move(ctx.savedChildren.front());
        ctx.savedChildren.erase(ctx.savedChildren.begin());
        Position* children = ctx.arena.take(list.size());
        for (size_t i = 0; i < list.size(); ++i) {
            Position& c = children[i];
            c = list[i];
            c.parent = &n;
            c.state = NODE_STATE_NORMAL;
            c.children = nullptr;
            c.childCount = 0;
            if (c.pn == 1 && c.dn == 1) probeChild(ctx, c, d - 1);
        }
        n.children = list.empty() ? nullptr : children;
        n.childCount = static_cast<int32_t>(list.size());
        for (size_t i = 0; i < list.size() && followed == nullptr; ++i)
            if (children[i].lastMove == r.move) followed = &children[i];
        if (followed == nullptr) followed = n.children;
    }
    if (last) {
        showStoppedPosition(ctx, n, r.move);
        if (followed == nullptr) {
            Position* built = ctx.arena.take(1);
            makeChild(n, *built, r.move, ctx.nodeRules);
            built->pn = r.pn;
            built->dn = r.dn;
            built->pnThr = r.pnThr;
            built->dnThr = r.dnThr;
            built->state = NODE_STATE_NORMAL;
            if (built->pn == 1 && built->dn == 1) probeChild(ctx, *built, d - 1);
            n.children = built;
            n.childCount = 1;
            followed = built;
        }
    }
    if (followed == nullptr) {
        endReplay(ctx);
        return ResumeOutcome::SKIP_FIRST_VISIT;
    }
    if (ctx.givenLineMode && n.ply >= 0 && size_t(n.ply) < ctx.inputLine.size() &&
        ctx.inputLine[n.ply] == r.move)
        followed->onGivenLine = 1;

    searchNode(ctx, *followed, d - 1);
    if (ctx.traceOn || ctx.monitorOn.load(std::memory_order_relaxed)) traceReturn(ctx, n, *followed);
    if (followed->state == NODE_STATE_ABORTED) {
        n.state = NODE_STATE_ABORTED;
        recomputeNode(ctx, n);
        recordAbortedNode(ctx, n);
        return ResumeOutcome::RETURN;
    }
    return ResumeOutcome::SKIP_FIRST_VISIT;
}

}  // namespace nagare
