#include "run/solve_driver.h"

#include <cstdio>

#include "platform/console.h"
#include "platform/dialogue.h"
#include "platform/system_services.h"
#include "rules/line_replay.h"
#include "run/checkpoint.h"
#include "run/solve_setup.h"
#include "search/monitor.h"
#include "search/proof_search.h"
#include "solution/verification.h"
#include "table/position_table.h"

namespace nagare {

namespace {

using platform::consoleWrite;

std::string number(long long value) {
    return std::to_string(value);
}

// Asks a question; true when the answer is `letter`. Where the awaited letter is N, anything else
// (also the end of input) goes on.
bool ask(const std::string& question, char letter = 'Y') {
    consoleWrite(question);
    return platform::askYes(letter);
}

// Later phases run quietly unless a key of the monitor turns the display on again.
void quiet(SearchContext& ctx) {
    ctx.traceOn = false;
    ctx.monitorOn.store(false, std::memory_order_relaxed);
}

// The solve was stopped: the state may be saved for a later run, and the root says so.
void stopSolving(RunState& run, const MoveLine& line) {
    offerSave(run, line);
    run.root.state = NODE_STATE_ABORTED;
}

// The problem's move list, shown and offered as the line to steer the search. Only the moves that can
// be played one after the other are used.
void offerGivenLine(RunState& run) {
    SearchContext& ctx = *run.ctx;
    if (ctx.inputLine.empty()) return;
    consoleWrite("\n以下の手順が入力されています\n");
    const size_t playable = legalPrefixLength(run.root, ctx.inputLine, run.problem.rules);
    if (playable < ctx.inputLine.size()) {
        consoleWrite("入力手順の" + number(static_cast<long long>(playable) + 1) +
                     "手目は指せない手なので、その手前までを使います。\n");
        ctx.inputLine.resize(playable);
    }
    if (ctx.inputLine.empty()) return;
    showLine(run, ctx.inputLine);
    if (ask("この手順を元に検討しますか？（Y/N）：")) {
        ctx.givenLineMode = true;
        ctx.workLine = ctx.inputLine;
    }
    // The time spent answering is not solving time.
    run.startTime = platform::wallClockSeconds();
}

// Phase 1: the mate within the stated length. True when the later phases follow.
bool solveStatedLength(RunState& run) {
    SearchContext& ctx = *run.ctx;
    const SolveOptions& options = run.problem.options;
    const int length = run.problem.record.length;
    Position w = run.root;
    ctx.phase = PHASE_SOLVE;
    ctx.depthLimit = static_cast<int16_t>(length);
    ctx.solutionLength = static_cast<int16_t>(length);
    runSearch(ctx, w, length);
    run.root.treeSize = w.treeSize;
    consoleWrite("\n");
    if (w.state == NODE_STATE_ABORTED) {
        consoleWrite("中断します。\n");
        stopSolving(run, ctx.workLine);
        return false;
    }
    if (!isProved(w)) {
        writeBoth(run, "詰みませんでした。\n");
        if (ctx.givenLineMode && ctx.givenLineFailure.key != 0) {
            // The refuting defence, played from the given line's position one ply above it.
            const Position& failure = ctx.givenLineFailure;
            writeBoth(run, "（作意" + number(failure.ply) + "手目" +
                               formatMoveAlong(run.root, ctx.inputLine, failure.ply - 1, failure.lastMove) +
                               "で不詰）, 最大検討深度：" + number(ctx.maxPly) + "手\n");
        } else if (options.reportNoMate) {
            consoleWrite("最大検討深度：" + number(ctx.maxPly) + "\n");
            ctx.workLine = nonMateLine(ctx, w, length);
            consoleWrite("不詰解（参考）を表示します。");
            writeLine(run, ctx.workLine);
            consoleWrite("\n");
        }
        return false;
    }

    consoleWrite("詰みを見つけました\n");
    if (ctx.detailedMonitor) showStatistics(ctx, w);
    quiet(ctx);
    ctx.workLine = extractLine(ctx, w, length);
    if (w.state == NODE_STATE_ABORTED) {
        consoleWrite("求解処理は中断されました。\n");
        run.root.state = NODE_STATE_ABORTED;
        return false;
    }
    if (ctx.workLine.empty()) {
        // The proof is in the table but no line could be read back, even by searching again: nothing
        // can be shown or checked.
        writeBoth(run, "詰みを証明しましたが、手順を取り出せませんでした。局面表を大きくしてください。\n");
        return false;
    }
    protectLine(ctx, run.root, ctx.workLine);
    const long long shorter = length - static_cast<long long>(ctx.workLine.size());
    if (shorter > 0)
        consoleWrite("\n少なくとも" + number(shorter) +
                     "手短い早詰があります。\n図や手数指定に誤りがないか確認してください。\n");
    if (options.scope == SCOPE_SOLVE_ONLY) {
        consoleWrite("暫定的な解を出力します。\n");
        writeLine(run, ctx.workLine);
        return false;
    }
    consoleWrite("暫定的な解を表示します。\n");
    showLine(run, ctx.workLine);
    consoleWrite("\n");
    if (options.scope != SCOPE_ABBREVIATED) consoleWrite("引続き早詰のチェックを行います。\n");
    return true;
}

// Phase 2: shorter mates, two plies at a time, until none is left. True when the verification
// follows.
bool searchShorterMates(RunState& run) {
    SearchContext& ctx = *run.ctx;
    int depth = static_cast<int>(ctx.workLine.size()) - 2;
    Position g = run.root;
    ctx.phase = PHASE_SHORTER;
    while (depth >= 2) {
        const MoveLine kept = ctx.workLine;
        runSearch(ctx, g, depth);
        if (g.state != NODE_STATE_ABORTED && !isProved(g)) {
            ctx.workLine = kept;
            break;
        }
        if (g.state != NODE_STATE_ABORTED) {
            quiet(ctx);
            MoveLine line = extractLine(ctx, g, depth);
            if (g.state != NODE_STATE_ABORTED) {
                if (line.empty()) {
                    // Proved but unreadable: the line found before stays the solution.
                    consoleWrite(std::string("\n") + number(depth) + "手以内の詰みの手順を取り出せませんでした。\n");
                    ctx.workLine = kept;
                    break;
                }
                ctx.workLine = std::move(line);
                showLine(run, ctx.workLine);
                ctx.solutionLength = static_cast<int16_t>(ctx.workLine.size());
                depth = static_cast<int>(ctx.workLine.size()) - 2;
                if (ctx.detailedMonitor) showStatistics(ctx, g);
                continue;
            }
        }
        // Stopped by the user, in the search or while reading its line.
        ctx.workLine = kept;
        consoleWrite("中断します。\n");
        if (!ctx.workLine.empty() && ask("暫定的な解を出力しますか？（Y/N）：")) writeLine(run, ctx.workLine);
        stopSolving(run, ctx.workLine);
        return false;
    }
    const size_t length = static_cast<size_t>(run.problem.record.length);
    if (ctx.workLine.size() == length) {
        consoleWrite("\n早詰はありません。変別や非限定のチェックを行います。\n");
        return true;
    }
    consoleWrite("\n最短解は" + number(static_cast<long long>(ctx.workLine.size())) + "手でした。\n");
    if (ask("早詰順（暫定解）をもとに、変別や非限定の検討を行いますか？（Y/N）：", 'N')) {
        writeLine(run, ctx.workLine);
        ctx.phase = PHASE_VERIFY;
        stopSolving(run, ctx.workLine);
        return false;
    }
    return true;
}

// Phase 4: the walk of the final line; the verified line is the solution in the report.
void verifyFinalLine(RunState& run) {
    SearchContext& ctx = *run.ctx;
    protectLine(ctx, run.root, ctx.workLine);
    run.table.recount();
    ctx.phase = PHASE_VERIFY;
    // A checkpoint saved before the walk began has no place in it to go back to.
    if (ctx.verifyStopPly == 0 && ctx.verifyStopMove.isNull()) ctx.resuming = false;
    resetSearchFields(run.root, ctx.nodeRules);
    quiet(ctx);
    const MoveLine verified = verifyLine(ctx, run.root, ctx.workLine, false);
    if (run.root.state != NODE_STATE_ABORTED) {
        writeLine(run, verified);
        return;
    }
    if (verified.empty()) return;
    // The walk's line leads to the ply where it stopped.
    ctx.workLine = verified;
    if (ask("暫定的な解を出力しますか？（Y/N）：")) writeLine(run, verified);
    offerSave(run, verified);
}

}  // namespace

void showLine(const RunState& run, const MoveLine& line) {
    printLine(run.root, line, nullptr);
}

void writeLine(const RunState& run, const MoveLine& line) {
    if (run.ctx->report != nullptr) {
        printLine(run.root, line, run.ctx->report);
        std::fflush(run.ctx->report);
    }
    printLine(run.root, line, nullptr);
}

void writeBoth(const RunState& run, const std::string& sjis) {
    consoleWrite(sjis);
    if (std::FILE* report = run.ctx->report) {
        std::fwrite(sjis.data(), 1, sjis.size(), report);
        std::fflush(report);
    }
}

void solveProblem(RunState& run) {
    SearchContext& ctx = *run.ctx;
    const Problem& problem = run.problem;

    // Preparation: what cannot be solved as stated, the root, the given line.
    const std::string refusal = refusalOf(problem);
    if (!refusal.empty()) {
        const bool lengthFault = problem.record.length < 1 || problem.record.length > MAX_SEARCH_DEPTH;
        consoleWrite((lengthFault ? "" : "\n") + refusal + "\n");
        return;
    }
    prepareRoot(run.root);
    if (!ctx.resuming) offerGivenLine(run);

    // A resumed run goes straight back to the phase it was saved in.
    const bool resumingLaterPhase = ctx.resuming && ctx.phase != PHASE_SOLVE;
    if (!resumingLaterPhase && !solveStatedLength(run)) return;
    const bool shorterMates =
        ctx.resuming ? ctx.phase == PHASE_SHORTER : problem.options.scope != SCOPE_ABBREVIATED;
    if (shorterMates && !searchShorterMates(run)) return;
    verifyFinalLine(run);
}

}  // namespace nagare
