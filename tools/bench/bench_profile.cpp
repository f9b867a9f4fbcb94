// nagare-bench profile [--mb N] [--depth N] [--top K] FILE: where a search spends its expansions,
// measured against the problem's solution. The problem is solved to its stated length first, for the
// line; then a fresh search to N plies (default the stated length) counts every node it expands:
// - on the line, and off it by the ply and move where the path first left the line (the K largest);
// - below an interposing drop off the line that the search marked as possibly futile (無駄合), which
//   nagare must prove where other conventions skip it;
// - how many distinct positions those expansions were, and how many distinct position-ply pairs (a
//   position met at several plies is searched to several remaining depths, which the table keeps
//   apart for non-proofs);
// - the expansions by remaining depth, fifty plies to a row (the rows with none are left out);
// and, on stderr, the final results and open entries the table holds after the search.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench_problem.h"
#include "bench_verbs.h"
#include "platform/threads.h"
#include "rules/notation.h"
#include "search/proof_search.h"
#include "solution/solution_lines.h"
#include "table/position_table.h"

namespace nagare::bench {

namespace {

struct Options {
    long megabytes = 0;
    long depth = -1;
    long top = 15;
    std::string file;
};

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 0; i < argc; ++i) {
        const int read = readSearchOption("profile", argc, argv, i, o.megabytes, o.depth);
        if (read < 0) return false;
        if (read > 0) continue;
        if (std::strcmp(argv[i], "--top") == 0 && i + 1 < argc) {
            o.top = std::max(0L, std::atol(argv[++i]));
        } else if (argv[i][0] == '-' || !o.file.empty()) {
            o.file.clear();
            break;
        } else {
            o.file = argv[i];
        }
    }
    if (!o.file.empty()) return true;
    std::fprintf(stderr, "usage: nagare-bench profile [--mb N] [--depth N] [--top K] FILE\n");
    return false;
}

// Where each node of the current path stands against the line. A node is expanded only while its
// parent's frame is open, so the parent's record is the one last written for its ply.
struct PathMark {
    int deviation = -1;  // index of the first move off the line; -1 on the line
    Move deviatingMove;  // that move
    bool belowFutile = false;
};

struct Census {
    std::vector<Move> line;
    int rootPly = 0;
    std::vector<PathMark> path = std::vector<PathMark>(MAX_PLY + 1);
    uint64_t expansions = 0;
    uint64_t onLine = 0;
    uint64_t belowFutile = 0;
    std::map<std::pair<int, uint32_t>, std::pair<Move, uint64_t>> byDeviation;
    std::vector<uint64_t> keys;
    std::vector<std::pair<uint64_t, int>> keyPlies;
    std::vector<uint64_t> byPly = std::vector<uint64_t>(MAX_PLY + 1);

    void observe(const Position& n) {
        ++expansions;
        keys.push_back(n.key);
        keyPlies.push_back({n.key, n.ply});
        const int i = std::clamp(n.ply - rootPly, 0, MAX_PLY);
        ++byPly[i];
        PathMark mark;
        if (i > 0) {
            const PathMark& up = path[i - 1];
            mark = up;
            if (up.deviation < 0 && !(size_t(i - 1) < line.size() && line[i - 1] == n.lastMove)) {
                mark.deviation = i - 1;
                mark.deviatingMove = n.lastMove;
            }
            if (mark.deviation >= 0 && n.futileDrop) mark.belowFutile = true;
        }
        path[i] = mark;
        if (mark.deviation < 0) {
            ++onLine;
            return;
        }
        if (mark.belowFutile) ++belowFutile;
        auto& slot = byDeviation[{mark.deviation, mark.deviatingMove.packed()}];
        slot.first = mark.deviatingMove;
        ++slot.second;
    }
};

}  // namespace

int profile(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) return 2;
    Census census;
    {
        LoadedProblem loaded;
        const LoadedProblem::Status status = loaded.load(options.file, options.megabytes);
        if (status != LoadedProblem::Status::READY) return 1;
        const int length = loaded.problem.record.length;
        loaded.ctx->monitorRunning.store(true, std::memory_order_relaxed);
        platform::runWithLargeStack([&] {
            runSearch(*loaded.ctx, loaded.root, length);
            if (isProved(loaded.root)) census.line = extractLine(*loaded.ctx, loaded.root, length);
        });
    }
    LoadedProblem loaded;
    if (loaded.load(options.file, options.megabytes) != LoadedProblem::Status::READY) return 1;
    const int depth = options.depth >= 0 ? static_cast<int>(options.depth) : loaded.problem.record.length;
    SearchContext& ctx = *loaded.ctx;
    ctx.monitorRunning.store(true, std::memory_order_relaxed);
    census.rootPly = loaded.root.ply;
    ctx.expansionObserver = [&census](const Position& n) { census.observe(n); };
    platform::runWithLargeStack([&] { runSearch(ctx, loaded.root, depth); });

    std::sort(census.keys.begin(), census.keys.end());
    const uint64_t distinct =
        static_cast<uint64_t>(std::unique(census.keys.begin(), census.keys.end()) - census.keys.begin());
    std::sort(census.keyPlies.begin(), census.keyPlies.end());
    const uint64_t distinctAtPly = static_cast<uint64_t>(
        std::unique(census.keyPlies.begin(), census.keyPlies.end()) - census.keyPlies.begin());
    const double total = census.expansions > 0 ? double(census.expansions) : 1.0;
    auto row = [total](const char* what, const std::string& ply, const std::string& move, uint64_t count) {
        std::printf("%s\t%s\t%s\t%llu\t%.1f\n", what, ply.c_str(), move.c_str(),
                    static_cast<unsigned long long>(count), 100.0 * double(count) / total);
    };
    std::printf("row\tply\tmove\texpansions\tpercent\n");
    row("total", "", "", census.expansions);
    row("distinct", "", "", distinct);
    row("distinct-at-ply", "", "", distinctAtPly);
    row("on-line", "", "", census.onLine);
    row("below-futile-drop", "", "", census.belowFutile);
    constexpr int REMAINING_ROW = 50;
    for (int low = 0; low <= depth; low += REMAINING_ROW) {
        const int high = std::min(depth, low + REMAINING_ROW - 1);
        uint64_t count = 0;
        for (int r = low; r <= high; ++r) count += census.byPly[depth - r];
        if (count > 0) row("remaining", std::to_string(low) + "-" + std::to_string(high), "", count);
    }
    std::vector<std::pair<uint64_t, std::pair<int, Move>>> deviations;
    for (const auto& [where, slot] : census.byDeviation)
        deviations.push_back({slot.second, {where.first, slot.first}});
    std::sort(deviations.begin(), deviations.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    if (deviations.size() > size_t(options.top)) deviations.resize(size_t(options.top));
    // The ply as the console counts it: the first move is ply 1.
    for (const auto& [count, where] : deviations)
        row("deviation", std::to_string(where.first + 1), formatMoveUsi(where.second), count);
    TableKindCounts kinds{};
    const PositionTable& table = *ctx.table;
    for (uint64_t i = 0; i < table.tableSize; ++i) {
        const TableEntry& e = table.entries[i];
        if (!e.isUsed()) continue;
        if (e.isProved()) ++kinds.proved;
        if (e.isDisproved()) ++kinds.disproved;
        if (e.isNonProof() && !e.isDisproved()) ++(e.isLoop() ? kinds.loop : kinds.bounded);
        if (e.isOpen()) ++kinds.open;
    }
    std::fprintf(stderr,
                 "table after the search: %lld proved, %lld disproved, %lld bounded, %lld loop, %lld open\n",
                 static_cast<long long>(kinds.proved), static_cast<long long>(kinds.disproved),
                 static_cast<long long>(kinds.bounded), static_cast<long long>(kinds.loop),
                 static_cast<long long>(kinds.open));
    std::fprintf(stderr, "%s: search to %d plies %s, %llu nodes\n", options.file.c_str(), depth,
                 isProved(loaded.root) ? "proved" : "not proved",
                 static_cast<unsigned long long>(ctx.searchedNodes));
    return 0;
}

}  // namespace nagare::bench
