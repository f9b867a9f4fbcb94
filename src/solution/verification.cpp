#include "solution/verification.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/console.h"
#include "rules/move_generation.h"
#include "rules/notation.h"
#include "search/console_helpers.h"
#include "search/proof_search.h"
#include "solution/expanded_node.h"
#include "table/position_table.h"

namespace nagare {

namespace {

// A ply header up to this wide is followed by a tab, so that the alternatives of short and long
// headers start in the same column.
constexpr int HEADER_TAB_WIDTH = 14;
// The alternatives of one ply wrap once their notation has taken this many columns.
constexpr int ALTERNATIVES_WIDTH = 54;
// How far past the solution's remaining length a cook's line is shortened before it is compared with
// the positions of the solution.
constexpr int DETOUR_SLACK = 2;
// Plies between an attacker's move and its next one.
constexpr int FULL_MOVE = 2;

void write(std::string_view text) {
    platform::consoleWrite(text);
}

void writeReport(SearchContext& ctx, std::string_view text) {
    if (ctx.report != nullptr) std::fwrite(text.data(), 1, text.size(), ctx.report);
}

bool aborted(const Position& p) {
    return p.state == NODE_STATE_ABORTED;
}

// Gives back, when it ends, the arena taken since it began: the node copies of one alternative.
class ArenaScope {
  public:
    explicit ArenaScope(NodeArena& arena) : arena_(arena), mark_(arena.mark()) {}
    ~ArenaScope() { arena_.release(mark_); }
    ArenaScope(const ArenaScope&) = delete;
    ArenaScope& operator=(const ArenaScope&) = delete;

  private:
    NodeArena& arena_;
    NodeArena::Mark mark_;
};

// A copy of `node` searched to `depth` plies, built in the arena.
Position& searchCopy(SearchContext& ctx, const Position& node, int depth) {
    Position& copy = *ctx.arena.take(1);
    copy = node;
    copy.children = nullptr;
    copy.childCount = 0;
    runSearch(ctx, copy, depth);
    return copy;
}

// "12手目34歩 " followed by a tab and "：", or by "：" alone when the text is too wide for the tab.
std::string plyHeader(const Position& node, Move m) {
    std::string header = std::to_string(node.ply + 1) + "手目" + formatMove(node, m);
    header += displayWidth(header) <= HEADER_TAB_WIDTH ? "\t：" : "：";
    return header;
}

// Positions that a cook may come back to: the node's own and its ancestors'.
bool repeatsNodeOrAncestor(const Position& node, uint64_t key) {
    for (const Position* a = &node; a != nullptr; a = a->parent)
        if (a->key == key) return true;
    return false;
}

const Position& rootOf(const Position& node) {
    const Position* a = &node;
    while (a->parent != nullptr) a = a->parent;
    return *a;
}

// What the cook search made of one alternative attack.
struct CookResult {
    bool aborted = false;  // the search itself was stopped by the user
    bool proved = false;
    bool detour = false;
    bool checkCut = false;  // the detour test was stopped by the user: the ply's alternatives end
};

class SolutionWalk {
  public:
    explicit SolutionWalk(SearchContext& ctx) : ctx_(ctx), table_(*ctx.table) {}

    MoveLine verify(Position& node, MoveLine line, bool reverify);

  private:
    // The line's defence falls sooner than it claims while another defence holds out (変別): the
    // corrected line, verified again from this node; empty when the line stands.
    enum class CheckOutcome { LINE_STANDS, RETURN_LINE, RETURN_CORRECTED };
    CheckOutcome defenceCheck(Position& node, const ExpandedNode& expanded, const MoveLine& line,
                              MoveLine& result);
    CookResult cookSearch(const Position& node, Move m, const Position& alternative, int e);
    bool detourByLine(const Position& node, Position& cook, int depth, int e, bool& checkCut);
    void report(WalkFinding kind, const Position& node, const Position& alternative, int& width);
    void interruptedInCheck(Position& node, Move m) {
        node.state = NODE_STATE_ABORTED;
        ctx_.verifyStopMove = m;
        ctx_.verifyStopPly = node.ply;
    }
    void tell(WalkFinding kind, int ply, Move move) {
        if (ctx_.walkObserver) ctx_.walkObserver(WalkEvent{kind, ply, move});
    }

    SearchContext& ctx_;
    PositionTable& table_;
};

MoveLine SolutionWalk::verify(Position& node, MoveLine line, bool reverify) {
    if (line.empty()) return {};
    // 1. A resumed walk passes the records of its stopped path one ply at a time; what is left when
    // the stopped ply is reached belongs to the sub-search that was stopped there.
    if (!ctx_.resumePath.empty()) ctx_.resumePath.erase(ctx_.resumePath.begin());
    if (node.ply > 0 && !ctx_.savedChildren.empty()) ctx_.savedChildren.erase(ctx_.savedChildren.begin());
    if (ctx_.resuming && ctx_.verifyStopPly == 0 && line.front().isNull()) line.erase(line.begin());
    if (line.empty()) return {};

    // 2. The ply header.
    const int e = static_cast<int>(line.size());
    const Move m = line.front();
    const MoveLine rest(line.begin() + 1, line.end());
    write(plyHeader(node, m));

    // 3. The four cases of a ply.
    ExpandedNode expanded(ctx_, node);
    // c. A position without moves ends the line here.
    if (expanded.code() <= 0) return {m};
    Position* q = expanded.find(m);
    if (q == nullptr) {
        // Not a move of this position: nothing below can be examined.
        write("\n");
        return line;
    }
    const int childCount = static_cast<int>(expanded.children().size());
    MoveLine qLine;
    if (ctx_.resuming && node.ply < ctx_.verifyStopPly) {
        // a. A ply examined before the walk was stopped.
        if (e > 1) {
            write("検討済\n");
            table_.finalDepthBound = static_cast<int16_t>(e);
            qLine = verify(*q, rest, false);
        } else {
            printEnd();
        }
    } else if (childCount == 1) {
        // b. A forced ply has no alternative.
        printEnd();
        if (e > 1) {
            table_.finalDepthBound = static_cast<int16_t>(e - 1);
            qLine = verify(*q, rest, false);
        }
    } else {
        // d. Narrow the table to the window left by the ply above.
        table_.purgeOutsideWindow();
        const bool orNode = ctx_.isOrNode(node);

        // 4. 変別: the line's defence against the others.
        if (!ctx_.resuming || (ctx_.verifyKind == VERIFY_DEFENCE_CHECK && ctx_.verifyStopPly == node.ply)) {
            ctx_.resuming = false;
            ctx_.verifyKind = VERIFY_DEFENCE_CHECK;
            if (!orNode && e > 3 && !reverify) {
                MoveLine result;
                const CheckOutcome outcome = defenceCheck(node, expanded, line, result);
                if (outcome != CheckOutcome::LINE_STANDS) return result;
            }
        }

        // 5. The alternatives, each searched to the depth that would make it as good as the line.
        if (!ctx_.resuming) ctx_.verifyKind = orNode ? VERIFY_ATTACKS : VERIFY_DEFENCES;
        table_.finalDepthBound = static_cast<int16_t>(orNode ? e : e - FULL_MOVE);
        table_.openPlyBound = node.ply;
        if (orNode) table_.purgeLoopEntries();
        const bool cooks = orNode && ctx_.cookCheck && ctx_.cookDepth >= e;
        const bool resumedHere = ctx_.resuming;
        int width = 0;
        for (Position& w : expanded.children()) {
            if (w.lastMove == m) continue;
            if (ctx_.resuming && (node.ply != ctx_.verifyStopPly || w.lastMove != ctx_.verifyStopMove))
                continue;
            const ArenaScope copies(ctx_.arena);
            // 5.1 The alternative on the console, wrapped at a fixed width.
            indentIfAtLineStart(width);
            const std::string notation = formatMove(node, w.lastMove);
            write(notation);
            width += displayWidth(notation);
            if (width >= ALTERNATIVES_WIDTH) {
                write("\n");
                width = 0;
            } else if (ctx_.resuming) {
                write("\n");
            }
            // 5.2 The search.
            CookResult cook;
            const Position* searched = nullptr;
            if (cooks) {
                cook = cookSearch(node, m, w, e);
            } else if (orNode || e > FULL_MOVE) {
                searched = &searchCopy(ctx_, w, orNode ? e - 1 : e - 3);
                cook.aborted = aborted(*searched);
                cook.proved = isProved(*searched);
            }
            // 5.3 A stop by the user ends the walk here, to be resumed at this alternative.
            if (cook.aborted) {
                if (!ctx_.resuming) {
                    ctx_.verifyStopPly = node.ply;
                    ctx_.verifyStopMove = w.lastMove;
                    ctx_.resuming = true;
                }
                node.state = NODE_STATE_ABORTED;
                return line;
            }
            if (cook.checkCut) break;
            // 6. Findings.
            if (!orNode) {
                // A defence that holds out as long as the line's (with two plies or fewer left, any
                // defence does).
                if (e <= FULL_MOVE || searched->dn == 0) report(WalkFinding::NON_UNIQUE, node, w, width);
            } else if (cook.proved) {
                if (!ctx_.cookCheck)
                    report(WalkFinding::NON_UNIQUE, node, w, width);
                else if (cook.detour)
                    report(WalkFinding::DETOUR, node, w, width);
                else
                    report(WalkFinding::COOK, node, w, width);
            }
        }
        // The stopped alternative has been searched again (or is no longer there): the walk goes on
        // as a fresh one.
        if (resumedHere && node.ply >= ctx_.verifyStopPly) ctx_.resuming = false;

        // 8. Close the ply and go down the line.
        printEnd();
        if (e > 1) {
            table_.finalDepthBound = static_cast<int16_t>(e);
            qLine = verify(*q, rest, false);
        }
    }

    // 9. A stop below is recorded on the way up, for the checkpoint.
    node.state = q->state;
    if (aborted(node)) recordAbortedNode(ctx_, node);
    return prepend(m, qLine);
}

SolutionWalk::CheckOutcome SolutionWalk::defenceCheck(Position& node, const ExpandedNode& expanded,
                                                      const MoveLine& line, MoveLine& result) {
    const int e = static_cast<int>(line.size());
    const Move m = line.front();
    // 4.1 A defence that is not mated within e - 3 plies holds out as long as the line claims for its
    // own defence.
    Position* holding = nullptr;
    for (Position& d : expanded.children()) {
        if (d.lastMove == m) continue;
        if (TableEntry* proof = table_.probeProven(d); proof != nullptr && proof->depth <= e - 3) continue;
        const ArenaScope copies(ctx_.arena);
        const Position& searched = searchCopy(ctx_, d, e - 3);
        if (aborted(searched)) {
            interruptedInCheck(node, m);
            result = line;
            return CheckOutcome::RETURN_LINE;
        }
        if (!isProved(searched)) {
            holding = &d;
            break;
        }
    }
    if (holding == nullptr) return CheckOutcome::LINE_STANDS;

    // 4.2 Does the line's own defence fall sooner?
    const Position& f = *expanded.find(m);
    if (generateAllMoves(f, ctx_.moveBuffer, ctx_.generation) <= 0) return CheckOutcome::LINE_STANDS;
    int j = e - 3;
    if (ctx_.cookCheck && ctx_.cookDepth <= e - 2) j = ctx_.cookDepth - 1;
    Position& fSearched = searchCopy(ctx_, f, j);
    if (aborted(fSearched)) {
        interruptedInCheck(node, m);
        result = line;
        return CheckOutcome::RETURN_LINE;
    }
    if (!isProved(fSearched)) return CheckOutcome::LINE_STANDS;

    // 4.3 It does: prove the holding defence within the line's length instead.
    write("変別検出！ 代替手を探しています...");
    const Move a = holding->lastMove;
    table_.store(fSearched, static_cast<int16_t>(e - 3));
    table_.openPlyBound = holding->ply;
    table_.finalDepthBound = static_cast<int16_t>(e);
    table_.purgeOutsideWindow();
    Position& w = searchCopy(ctx_, *holding, e - 1);
    if (aborted(w)) {
        interruptedInCheck(node, m);
        result = line;
        return CheckOutcome::RETURN_LINE;
    }
    // 4.4 The holding defence is not mated within the line's length either: the line is wrong.
    MoveLine newRest;
    if (isProved(w)) {
        write(std::string(findingLabel(WalkFinding::CORRECTION)) + "\n");
        newRest = extractLine(ctx_, w, e - 1);
        if (aborted(w)) {
            write("\n代替手の探索を中断します。\n");
            node.state = NODE_STATE_ABORTED;
            result = line;
            return CheckOutcome::RETURN_LINE;
        }
    }
    if (newRest.empty()) {
        write(
            "代替手が見つかりません。\nこの解は正しくない（要早詰チェック）と思われるので、検討を中断します。"
            "\n");
        result = line;
        return CheckOutcome::RETURN_LINE;
    }
    // 4.5 The line follows the holding defence from here on, and this ply is examined again.
    tell(WalkFinding::CORRECTION, node.ply + 1, a);
    protectLine(ctx_, w, newRest);
    MoveLine corrected = prepend(a, newRest);
    if (node.ply >= 0 && static_cast<size_t>(node.ply) <= ctx_.workLine.size()) {
        ctx_.workLine.resize(static_cast<size_t>(node.ply));
        ctx_.workLine.insert(ctx_.workLine.end(), corrected.begin(), corrected.end());
    }
    result = verify(node, std::move(corrected), true);
    return CheckOutcome::RETURN_CORRECTED;
}

CookResult SolutionWalk::cookSearch(const Position& node, Move m, const Position& alternative, int e) {
    CookResult r;
    ctx_.verifyKind = VERIFY_ATTACKS;
    table_.purgeLoopEntries();
    // A cook of any length up to cookDepth plies from the root, and never less deep than an
    // alternative mate within the line's own length.
    const int depth = std::max(ctx_.cookDepth - alternative.ply, e - 1);
    ctx_.statedLength = static_cast<int16_t>(depth);
    Position& cook = searchCopy(ctx_, alternative, depth);
    r.aborted = aborted(cook);
    r.proved = isProved(cook);
    if (r.aborted || !r.proved) return r;

    // 7.1 The alternative itself repeats a position of the line above.
    for (const Position* a = node.parent; a != nullptr; a = a->parent)
        if (a->key == cook.key) {
            r.detour = true;
            return r;
        }
    // 7.2-7.3 A drop of the same piece as the solution's elsewhere is a cook of its own.
    const size_t index = static_cast<size_t>(node.ply);
    const Move solutionMove = index < ctx_.workLine.size() ? ctx_.workLine[index] : m;
    const bool sameDrop = solutionMove.isDrop() && alternative.lastMove.isDrop() &&
                          solutionMove.piece == alternative.lastMove.piece;
    if (!sameDrop) r.detour = detourByLine(node, cook, depth, e, r.checkCut);
    return r;
}

bool SolutionWalk::detourByLine(const Position& node, Position& cook, int depth, int e, bool& checkCut) {
    // 7.2 The cook's line passes through the node or one of its ancestors.
    MoveLine line = extractLine(ctx_, cook, depth);
    if (aborted(cook)) {
        write("\n迂回のチェックを中止します。\n");
        checkCut = true;
        return false;
    }
    {
        Position p = cook;
        for (Move move : line) {
            makeMove(p, move);
            if (repeatsNodeOrAncestor(node, p.key)) return true;
        }
    }
    // 7.3 A shortest form of the cook reaches a position of the solution later than the solution does.
    if (static_cast<int>(line.size()) <= e + DETOUR_SLACK) return false;
    while (static_cast<int>(line.size()) > e + DETOUR_SLACK) {
        const int shorter = static_cast<int>(line.size()) - FULL_MOVE;
        Position& again = searchCopy(ctx_, cook, shorter);
        if (aborted(again)) {
            write("\n迂回のチェックを中止します。\n");
            break;
        }
        if (!isProved(again)) break;
        MoveLine shortened = extractLine(ctx_, again, shorter);
        if (aborted(again)) {
            write("\n迂回のチェックを中止します。\n");
            break;
        }
        if (shortened.empty()) break;
        line = std::move(shortened);
    }
    std::vector<uint64_t> solutionKeys;  // [i]: the position after i + 1 moves of the solution
    {
        Position p = rootOf(node);
        for (Move move : ctx_.workLine) {
            makeMove(p, move);
            solutionKeys.push_back(p.key);
        }
    }
    const int x = static_cast<int>(solutionKeys.size());
    Position p = cook;
    for (Move move : line) {
        makeMove(p, move);
        const int n = p.ply;
        for (int i = std::min(n, x - 1); i >= 1; --i)
            if (solutionKeys[static_cast<size_t>(i)] == p.key && i + 1 < n) return true;
    }
    return false;
}

void SolutionWalk::report(WalkFinding kind, const Position& node, const Position& alternative, int& width) {
    std::string labelled(findingLabel(kind));
    labelled += "：";
    const std::string ply = std::to_string(alternative.ply) + "手目 ";
    highlightOn();
    if (!atLineStart()) write("\n");
    write(labelled);
    highlightOff();
    write(ply);
    writeReport(ctx_, "\n");
    writeReport(ctx_, labelled);
    writeReport(ctx_, ply);
    const std::string notation = formatMove(node, alternative.lastMove) + "\n";
    writeReport(ctx_, notation);
    write(notation);
    width = 0;
    tell(kind, alternative.ply, alternative.lastMove);
}

}  // namespace

std::string_view findingLabel(WalkFinding kind) {
    switch (kind) {
        case WalkFinding::NON_UNIQUE:
            return "非限定";
        case WalkFinding::COOK:
            return "余詰";
        case WalkFinding::DETOUR:
            return "迂回";
        case WalkFinding::CORRECTION:
            return "手順修正";
    }
    return {};
}

MoveLine verifyLine(SearchContext& ctx, Position& node, MoveLine line, bool reverify) {
    return SolutionWalk(ctx).verify(node, std::move(line), reverify);
}

}  // namespace nagare
