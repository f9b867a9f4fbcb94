#include "solution/solution_lines.h"

#include "platform/console.h"
#include "rules/notation.h"
#include "search/monitor.h"
#include "search/node_expansion.h"
#include "search/proof_search.h"
#include "solution/expanded_node.h"
#include "table/position_table.h"

namespace nagare {

namespace {

constexpr int MOVES_PER_LINE = 10;
constexpr int NOT_CORRECTED = -1;

// The proof length the table holds for a node, or -1.
int provenDepth(SearchContext& ctx, const Position& p) {
    TableEntry* e = ctx.table->probeProven(p);
    return e != nullptr ? e->depth : -1;
}

// Searches a copy of `node` to `depth`; true when the copy was proved. An interruption marks `node`.
bool searchCopy(SearchContext& ctx, Position& node, int depth) {
    Position copy = node;
    copy.children = nullptr;
    copy.childCount = 0;
    runSearch(ctx, copy, depth);
    if (copy.state == NODE_STATE_ABORTED) node.state = NODE_STATE_ABORTED;
    return isProved(copy);
}

MoveLine extract(SearchContext& ctx, Position& node, int length);

// Whether the node has reached the goal: no usable move, and that is a proof.
bool matedAlready(SearchContext& ctx, Position& node) {
    ExpandedNode expanded(ctx, node);
    return expanded.children().empty() && judgeNoMoves(ctx, node, expanded.code()) == Verdict::PROVED;
}

// Step 7 of the extraction: proof data of this node was lost; make room and search again.
bool researchLostProof(SearchContext& ctx, Position& node, const ExpandedNode& expanded, int length) {
    if (ctx.detailedMonitor) {
        std::string text = platform::consoleAtLineStart() ? "" : "\n";
        text += "詰データが失われているため再探索します:" + std::to_string(node.ply) + "手目" +
                (node.parent != nullptr ? formatMove(*node.parent, node.lastMove) : std::string()) + "\n";
        platform::consoleWrite(text);
    }
    ctx.table->purgeNonProofs();
    if (ctx.isOrNode(node)) return searchCopy(ctx, node, length) && node.state != NODE_STATE_ABORTED;
    for (Position& c : expanded.children()) {
        const int depth = provenDepth(ctx, c);
        if (depth >= 0 && depth <= length - 1) continue;
        if (!searchCopy(ctx, c, length - 1)) {
            if (c.state == NODE_STATE_ABORTED) node.state = NODE_STATE_ABORTED;
            return false;
        }
    }
    return true;
}

MoveLine extract(SearchContext& ctx, Position& node, int length) {
    // 1. The user may stop the extraction too.
    if (node.state == NODE_STATE_ABORTED) return {};
    if (checkInterrupt(ctx, node)) {
        node.state = NODE_STATE_ABORTED;
        return {};
    }
    // 2. The steering move of the given sequence.
    Move steer{};
    const bool steering = ctx.givenLineMode && node.ply >= 0 && size_t(node.ply) < ctx.inputLine.size();
    if (steering) steer = ctx.inputLine[node.ply];
    // 3-4. Expansion; at length 0 the first move is all there is to show.
    ExpandedNode expanded(ctx, node);
    if (expanded.children().empty()) return {};
    if (length <= 0) return expanded.code() > 0 ? MoveLine{expanded.children()[0].lastMove} : MoveLine{};
    // 5. The given sequence is followed where its proof has the right length.
    if (steering) {
        if (Position* c = expanded.find(steer)) {
            if (provenDepth(ctx, *c) + 1 == length) {
                MoveLine rest = extract(ctx, *c, length - 1);
                if (c->state == NODE_STATE_ABORTED) {
                    node.state = NODE_STATE_ABORTED;
                    return prepend(steer, rest);
                }
                if (static_cast<int>(rest.size()) == length - 1) return prepend(steer, rest);
            }
        }
    }
    // 6-7. The proof must still be complete in the table; otherwise search again.
    const bool orNode = ctx.isOrNode(node);
    auto provenWithin = [&](const Position& c) {
        const int depth = provenDepth(ctx, c);
        return depth >= 0 && depth < length;
    };
    bool complete = !orNode;
    for (const Position& c : expanded.children()) {
        if (orNode && provenWithin(c)) complete = true;
        if (!orNode && !provenWithin(c)) complete = false;
    }
    if (!complete && !researchLostProof(ctx, node, expanded, length)) return {};
    if (node.state == NODE_STATE_ABORTED) return {};
    // 8-9. The longest defence, the quickest mate; a wrong length in the table is corrected and the
    // choice made again. The corrections are also kept here: a store that finds no slot (every probe
    // holding another proof) leaves the table as it was, and the same choice must not come back.
    std::vector<int> knownDepth(expanded.children().size(), NOT_CORRECTED);
    for (;;) {
        Position* chosen = nullptr;
        int chosenDepth = -1;
        for (Position& c : expanded.children()) {
            const int k = static_cast<int>(&c - expanded.children().data());
            const int depth = knownDepth[k] != NOT_CORRECTED ? knownDepth[k] : provenDepth(ctx, c);
            if (depth < 0 || depth > length - 1) continue;
            const bool better = chosen == nullptr || (orNode ? depth < chosenDepth : depth > chosenDepth);
            const bool tie = chosen != nullptr && depth == chosenDepth;
            if (better ||
                (tie && !(steering && chosen->lastMove == steer))) {  // ties: steering, else the last
                chosen = &c;
                chosenDepth = depth;
            }
        }
        if (chosen == nullptr) return {};
        MoveLine rest = extract(ctx, *chosen, chosenDepth);
        if (chosen->state == NODE_STATE_ABORTED) {
            node.state = NODE_STATE_ABORTED;
            return {};
        }
        const int found = static_cast<int>(rest.size());
        if (found == chosenDepth) return prepend(chosen->lastMove, rest);
        // The table claimed a proof of the wrong length. A shorter true line corrects it (a length
        // lent across hands may belong to a position that needed more moves, even to a node that is
        // already mated); a line that could not be read at all (or is not shorter) would only repeat
        // the same choice.
        if ((found == 0 && !matedAlready(ctx, *chosen)) || found > chosenDepth) return {};
        Position corrected = *chosen;
        corrected.pn = 0;
        corrected.dn = PN_INFINITE;
        ctx.table->store(corrected, static_cast<int16_t>(found));

        // Each round lowers one child's length, so the rounds end.
        knownDepth[chosen - expanded.children().data()] = found;
    }
}

MoveLine nonMate(SearchContext& ctx, Position& node, int depth) {
    ExpandedNode expanded(ctx, node);
    if (expanded.children().empty()) return {};
    if (depth <= 0) return {expanded.children()[0].lastMove};
    const bool orNode = ctx.isOrNode(node);
    const Position* kept = nullptr;
    MoveLine keptLine;
    for (Position& c : expanded.children()) {
        if (!orNode && findAncestorRepeat(c, ctx.nodeRules) != nullptr) return {c.lastMove};
        MoveLine line;
        if (TableEntry* e = ctx.table->probeNonProof(c)) {
            if (e->depth < depth - 1) continue;
            line = nonMate(ctx, c, depth - 1);
        } else if (ctx.table->probeLoop(c) != nullptr) {
            line = nonMate(ctx, c, depth - 1);
        } else {
            continue;
        }
        const bool noneKept = kept == nullptr || keptLine.empty();
        const bool better = orNode ? line.size() > keptLine.size() : line.size() < keptLine.size();
        if (noneKept || better) {
            kept = &c;
            keptLine = std::move(line);
        }
    }
    if (kept == nullptr) return {};
    return prepend(kept->lastMove, keptLine);
}

}  // namespace

MoveLine extractLine(SearchContext& ctx, Position& node, int length) {
    const bool startedMonitor = !ctx.monitorRunning.load(std::memory_order_relaxed);
    if (startedMonitor) startMonitor(ctx);
    MoveLine line = extract(ctx, node, length);
    if (startedMonitor) stopMonitor(ctx);
    return line;
}

void protectLine(SearchContext& ctx, const Position& node, const MoveLine& moves) {
    const NodeArena::Mark mark = ctx.arena.mark();
    Position* current = ctx.arena.take(1);
    *current = node;
    for (size_t i = 0;; ++i) {
        const int remaining = static_cast<int>(moves.size() - i);
        ctx.table->protectProof(*current, remaining);
        if (remaining == 0) break;
        const Move m = moves[i];
        current->children = nullptr;
        current->childCount = 0;
        if (expandNode(ctx, *current) <= 0) break;
        Position* next = nullptr;
        const bool orNode = ctx.isOrNode(*current);
        for (int k = 0; k < current->childCount; ++k) {
            Position& c = current->children[k];
            const bool onLine = c.lastMove == m;
            if (onLine) next = &c;
            if (!orNode || onLine) ctx.table->protectProof(c, remaining - 1);
        }
        if (next == nullptr) break;
        current = next;
    }
    ctx.arena.release(mark);
}

std::string formatLine(const Position& position, const MoveLine& moves) {
    Position p = position;
    std::string text = "\n";
    for (size_t i = 0; i < moves.size(); ++i) {
        text += formatMove(p, moves[i]);
        makeMove(p, moves[i]);
        if ((i + 1) % MOVES_PER_LINE == 0) text += "\n";
    }
    text += "まで " + std::to_string(moves.size()) + "手\n";
    return text;
}

void printLine(const Position& position, const MoveLine& moves, std::FILE* stream) {
    const std::string text = formatLine(position, moves);
    if (stream == nullptr)
        platform::consoleWrite(text);
    else
        std::fwrite(text.data(), 1, text.size(), stream);
}

MoveLine nonMateLine(SearchContext& ctx, Position& node, int depth) {
    return nonMate(ctx, node, depth);
}

}  // namespace nagare
