// nagare-bench verify [--mb N] FILE...: solves each problem as a solving run does (the stated length,
// then the shorter mates) and walks the shortest line for 変別, 非限定, 余詰 and 迂回. Prints one row per
// finding and per correction, then the verified line; the walk's console output goes to stderr.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_problem.h"
#include "bench_verbs.h"
#include "platform/console.h"
#include "platform/stopwatch.h"
#include "platform/threads.h"
#include "rules/notation.h"
#include "run/solve_setup.h"
#include "search/proof_search.h"
#include "solution/solution_lines.h"
#include "solution/verification.h"
#include "table/position_table.h"

namespace nagare::bench {

namespace {

constexpr int SHORTER_BY = 2;  // a shorter mate of the same side is two plies shorter
constexpr int SHORTEST_SEARCHED = 2;

bool aborted(const Position& p) {
    return p.state == NODE_STATE_ABORTED;
}

// Seconds spent in the main solve (with its extraction), the search for shorter mates and the walk.
struct PhaseTimes {
    double solve = 0;
    double shorter = 0;
    double walk = 0;
};

struct Row {
    int ply;
    std::string kind;  // Shift-JIS
    std::string move;
};

// What a solving run makes of the problem with every question answered for the full check: the
// solution of the stated length, then the shortest, then the walk along it. False when there is no
// solution; `stopped` when the user stopped a search.
bool verifyProblem(SearchContext& ctx, Position& root, int length, std::vector<Row>& rows, MoveLine& verified,
                   bool& stopped, PhaseTimes& times) {
    const platform::Stopwatch watch;
    // Main solve.
    ctx.phase = PHASE_SOLVE;
    ctx.depthLimit = static_cast<int16_t>(length);
    ctx.solutionLength = static_cast<int16_t>(length);
    Position solved = root;
    runSearch(ctx, solved, length);
    if ((stopped = aborted(solved))) return false;
    if (!isProved(solved)) return false;
    ctx.traceOn = false;
    ctx.monitorOn.store(false, std::memory_order_relaxed);
    ctx.workLine = extractLine(ctx, solved, length);
    if ((stopped = aborted(solved))) return true;
    protectLine(ctx, solved, ctx.workLine);

    // Shorter mates.
    times.solve = watch.elapsed();
    ctx.phase = PHASE_SHORTER;
    ctx.depthLimit = static_cast<int16_t>(static_cast<int>(ctx.workLine.size()) - SHORTER_BY);
    Position shorter = root;
    while (ctx.depthLimit >= SHORTEST_SEARCHED) {
        const int depth = ctx.depthLimit;
        runSearch(ctx, shorter, depth);
        if ((stopped = aborted(shorter))) return true;
        if (!isProved(shorter)) break;
        ctx.monitorOn.store(false, std::memory_order_relaxed);
        MoveLine line = extractLine(ctx, shorter, depth);
        if ((stopped = aborted(shorter))) return true;
        if (line.empty()) break;
        ctx.workLine = std::move(line);
        ctx.solutionLength = static_cast<int16_t>(ctx.workLine.size());
        ctx.depthLimit = static_cast<int16_t>(static_cast<int>(ctx.workLine.size()) - SHORTER_BY);
    }

    // The walk along the shortest line.
    times.shorter = watch.elapsed() - times.solve;
    protectLine(ctx, root, ctx.workLine);
    ctx.table->recount();
    ctx.phase = PHASE_VERIFY;
    ctx.resuming = false;
    resetSearchFields(root, ctx.nodeRules);
    ctx.traceOn = false;
    ctx.monitorOn.store(false, std::memory_order_relaxed);
    ctx.walkObserver = [&rows](const WalkEvent& event) {
        rows.push_back(Row{event.ply, std::string(findingLabel(event.kind)), formatMoveUsi(event.move)});
    };
    verified = verifyLine(ctx, root, ctx.workLine, false);
    times.walk = watch.elapsed() - times.solve - times.shorter;
    stopped = aborted(root);
    return true;
}

void printRow(const std::string& file, int ply, const std::string& kindSjis, const std::string& move) {
    std::printf("%s\t%d\t%s\t%s\n", file.c_str(), ply, platform::sjisToUtf8(kindSjis).c_str(), move.c_str());
}

}  // namespace

int verify(int argc, char** argv) {
    long megabytes = 0;
    std::vector<std::string> files;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mb") == 0 && i + 1 < argc) {
            megabytes = std::atol(argv[++i]);
        } else if (argv[i][0] == '-') {
            std::fprintf(stderr, "usage: nagare-bench verify [--mb N] FILE...\n");
            return 2;
        } else {
            files.push_back(argv[i]);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: nagare-bench verify [--mb N] FILE...\n");
        return 2;
    }
    platform::consoleUseStream(platform::ConsoleStream::STANDARD_ERROR);
    std::printf("file\tply\tkind\tmove\n");
    std::fflush(stdout);
    bool refused = false;
    for (const std::string& path : files) {
        LoadedProblem loaded;
        const LoadedProblem::Status status = loaded.load(path, megabytes);
        if (status == LoadedProblem::Status::NO_MEMORY) return 1;
        if (status == LoadedProblem::Status::REFUSED) {
            refused = true;
            continue;
        }
        std::fprintf(stderr, "\n%s\n", path.c_str());
        const platform::Stopwatch watch;
        PhaseTimes times;
        std::vector<Row> rows;
        MoveLine verified;
        bool proved = false, stopped = false;
        platform::runWithLargeStack([&] {
            proved = verifyProblem(*loaded.ctx, loaded.root, loaded.problem.record.length, rows, verified,
                                   stopped, times);
        });
        const std::string name = path.substr(path.find_last_of('/') + 1);
        if (!proved) {
            printRow(name, 0, stopped ? "stopped" : "not-proved", "");
        } else {
            for (const Row& r : rows) printRow(name, r.ply, r.kind, r.move);
            if (stopped) printRow(name, 0, "stopped", "");
            printRow(name, 0, "line", formatLineUsi(verified));
        }
        std::fflush(stdout);
        std::fprintf(stderr, "\n%s: %.3f s (solve %.3f, shorter mates %.3f, walk %.3f)\n", name.c_str(),
                     watch.elapsed(), times.solve, times.shorter, times.walk);
    }
    return refused ? 1 : 0;
}

}  // namespace nagare::bench
