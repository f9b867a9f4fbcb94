// Reading a problem for the bench verbs, as nagare reads it.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "platform/console.h"
#include "rules/position.h"
#include "rules/validation.h"
#include "run/problem_file.h"
#include "run/run_driver.h"
#include "run/solve_setup.h"
#include "search/search_context.h"
#include "table/position_table.h"

namespace nagare::bench {

// Reads `path` and builds its root position with the side to move derived from genre and length.
// Prints the reason and returns false when the file cannot be read.
inline bool loadProblem(const std::string& path, Problem& problem, Position& root) {
    ReadResult r = readProblem(path, problem);
    if (r.status != ReadStatus::OK) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(),
                     r.status == ReadStatus::CANNOT_OPEN ? "cannot open the file"
                                                         : platform::sjisToUtf8(r.message).c_str());
        return false;
    }
    root = Position{};
    setUp(root, problem.record.diagram.data(), problem.record.handCounts.data(),
          firstSideToMove(problem.rules.genre, problem.record.length));
    return true;
}

// loadProblem, then what nagare would refuse to solve is refused here too, with its message on stderr.
inline bool loadSolvableProblem(const std::string& path, Problem& problem, Position& root) {
    if (!loadProblem(path, problem, root)) return false;
    std::string refusal = initialPositionFault(root, problem.rules.genre);
    if (refusal.empty()) refusal = refusalOf(problem);
    if (refusal.empty()) return true;
    std::fprintf(stderr, "%s: %s\n", path.c_str(), platform::sjisToUtf8(refusal).c_str());
    return false;
}

// A table of `megabytes` (0: the problem's own memory option), at least the smallest table.
inline bool createTable(PositionTable& table, long megabytes, const Problem& problem,
                        const std::string& path) {
    const long size = std::max<long>(megabytes > 0 ? megabytes : problem.options.memoryMB,
                                     static_cast<long>(TABLE_MIN_MEGABYTES));
    if (table.create(static_cast<uint64_t>(size))) return true;
    std::fprintf(stderr, "%s: cannot allocate %ld MB\n", path.c_str(), size);
    return false;
}

// The table's own messages (space recovery, the hash monitor) go to stderr, so that stdout stays a
// table for scripts.
struct StderrTableConsole : TableConsole {
    bool lineStart = true;
    void write(std::string_view sjis) override {
        if (sjis.empty()) return;
        const std::string text = platform::sjisToUtf8(sjis);
        std::fwrite(text.data(), 1, text.size(), stderr);
        lineStart = sjis.back() == '\n';
    }
    bool atLineStart() override { return lineStart; }
};

// The table size and depth options shared by the verbs that search: "--mb N" and "--depth N" at
// argv[i]. Returns 1 when it read one (i then at its value), 0 when argv[i] is neither, -1 when the
// depth lies outside what a search can reach (said on stderr for `verb`).
inline int readSearchOption(const char* verb, int argc, char** argv, int& i, long& megabytes, long& depth) {
    if (std::strcmp(argv[i], "--mb") == 0 && i + 1 < argc) {
        megabytes = std::atol(argv[++i]);
        return 1;
    }
    if (std::strcmp(argv[i], "--depth") != 0 || i + 1 >= argc) return 0;
    depth = std::atol(argv[++i]);
    if (depth >= 0 && depth <= MAX_SEARCH_DEPTH) return 1;
    std::fprintf(stderr, "%s: the depth must lie in 0..%d\n", verb, MAX_SEARCH_DEPTH);
    return -1;
}

// A problem ready to search: read and checked, with its table allocated and its context prepared.
struct LoadedProblem {
    enum class Status { READY, REFUSED, NO_MEMORY };

    Problem problem;
    Position root{};
    PositionTable table;
    StderrTableConsole tableConsole;
    std::unique_ptr<SearchContext> ctx;

    // `megabytes` 0: the problem's own memory option. The reason for a refusal is on stderr.
    Status load(const std::string& path, long megabytes) {
        if (!loadSolvableProblem(path, problem, root)) return Status::REFUSED;
        table.console = &tableConsole;
        if (!createTable(table, megabytes, problem, path)) return Status::NO_MEMORY;
        ctx = std::make_unique<SearchContext>();
        prepareContext(*ctx, problem, table);
        prepareRoot(root);
        return Status::READY;
    }
};

}  // namespace nagare::bench
