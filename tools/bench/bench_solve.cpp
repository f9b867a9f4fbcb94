// nagare-bench solve [--mb N] [--depth N] [--no-monitor] [--no-dominance] FILE...: proves each problem
// to its stated length (or to N plies) and prints the result, the proof length, the nodes searched and
// the speed. --no-monitor searches without the monitor thread; --no-dominance matches positions in the
// table only with their exact hands.
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
#include "rules/line_replay.h"
#include "rules/notation.h"
#include "run/solve_setup.h"
#include "search/proof_search.h"
#include "solution/solution_lines.h"
#include "table/position_table.h"

namespace nagare::bench {

namespace {

// The bench signature: a fixed list of problems of the repository, solved with the default options.
const char* const SIGNATURE_PROBLEMS[] = {
    "tests/data/problems/short/mate3-000-000.kif",
    "tests/data/problems/short/mate5-000-000.kif",
    "tests/data/problems/short/mate7-000-000.kif",
    "tests/data/problems/short/mate9-000-000.kif",
    "tests/data/problems/short/mate11-000-000.kif",
    "tests/data/problems/short/mate11-000-001.kif",
    "tests/data/problems/short/mate11-000-002.kif",
    "tests/data/problems/short/mate11-000-003.kif",
    "tests/data/problems/short/mate11-000-004.kif",
    // one of each genre and move rule
    "tests/data/problems/fairy/F007.kif",
    "tests/data/problems/fairy/F015.kif",
    "tests/data/problems/fairy/F019.kif",
    "tests/data/problems/fairy/F027.kif",
    "tests/data/problems/fairy/F031.kif",
    "tests/data/problems/fairy/F037.kif",
    "tests/data/problems/fairy/F045.kif",
    "tests/data/problems/fairy/F049.kif",
    "tests/data/problems/fairy/F053.kif",
    "tests/data/problems/fairy/F057.kif",
    "tests/data/problems/fairy/F061.kif",
    "tests/data/problems/fairy/F065.kif",
    "tests/data/problems/fairy/F069.kif",
    "tests/data/problems/fairy/F073.kif",
    "tests/data/problems/fairy/F075.kif",
};

struct Options {
    long megabytes = 0;     // 0: the problem's own memory option
    long depth = -1;        // -1: the stated length
    bool monitor = true;    // false: no monitor thread, to measure what it costs
    bool dominance = true;  // false: exact matching only, to compare verdicts and lengths
    std::vector<std::string> files;
};

bool parseOptions(int argc, char** argv, Options& o) {
    for (int i = 0; i < argc; ++i) {
        const int read = readSearchOption("solve", argc, argv, i, o.megabytes, o.depth);
        if (read < 0) return false;
        if (read > 0) continue;
        if (std::strcmp(argv[i], "--no-monitor") == 0) {
            o.monitor = false;
        } else if (std::strcmp(argv[i], "--no-dominance") == 0) {
            o.dominance = false;
        } else if (argv[i][0] == '-') {
            std::fprintf(
                stderr,
                "usage: nagare-bench solve [--mb N] [--depth N] [--no-monitor] [--no-dominance] FILE...\n");
            return false;
        } else {
            o.files.push_back(argv[i]);
        }
    }
    if (o.files.empty())
        for (const char* f : SIGNATURE_PROBLEMS) o.files.push_back(std::string(NAGARE_SOURCE_DIR) + "/" + f);
    return true;
}

}  // namespace

int solve(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) return 2;
    std::printf("file\tgenre\tstated\tresult\tproof_length\tnodes\tseconds\tnps\tline\treplay\n");
    uint64_t totalNodes = 0;
    double totalSeconds = 0;
    int proved = 0;
    bool refused = false;
    for (const std::string& path : options.files) {
        LoadedProblem loaded;
        const LoadedProblem::Status status = loaded.load(path, options.megabytes);
        if (status == LoadedProblem::Status::NO_MEMORY) return 1;
        if (status == LoadedProblem::Status::REFUSED) {
            refused = true;
            continue;
        }
        const Problem& problem = loaded.problem;
        Position& root = loaded.root;
        PositionTable& table = loaded.table;
        std::unique_ptr<SearchContext>& ctx = loaded.ctx;
        if (!options.dominance) table.handDominance = false;
        const int depth = options.depth >= 0 ? static_cast<int>(options.depth) : problem.record.length;
        ctx->phase = PHASE_SOLVE;
        ctx->depthLimit = static_cast<int16_t>(depth);
        ctx->solutionLength = static_cast<int16_t>(depth);
        // A monitor marked running is not started again by runSearch.
        if (!options.monitor) ctx->monitorRunning.store(true, std::memory_order_relaxed);
        const platform::Stopwatch watch;
        MoveLine line;
        bool searchProved = false;
        platform::runWithLargeStack([&] {
            runSearch(*ctx, root, depth);
            searchProved = isProved(root);
            if (!searchProved) return;
            if (!options.monitor) ctx->monitorRunning.store(true, std::memory_order_relaxed);
            line = extractLine(*ctx, root, depth);
            protectLine(*ctx, root, line);
        });
        const double seconds = watch.elapsed();
        std::string proofLength, replay;
        if (searchProved) {
            ++proved;
            TableEntry* e = table.probeProven(root);
            if (e != nullptr) proofLength = std::to_string(e->depth);
            replay = replayLine(root, line, problem.rules);
            if (replay == "ok" && (e == nullptr || static_cast<int>(line.size()) != e->depth))
                replay = "length " + std::to_string(line.size()) + " differs from the proof length";
        }
        const std::string name = path.substr(path.find_last_of('/') + 1);
        std::printf("%s\t0x%x\t%d\t%s\t%s\t%llu\t%.3f\t%.0f\t%s\t%s\n", name.c_str(), problem.rules.genre,
                    problem.record.length, searchProved ? "proved" : "not-proved", proofLength.c_str(),
                    static_cast<unsigned long long>(ctx->searchedNodes), seconds,
                    seconds > 0 ? ctx->searchedNodes / seconds : 0.0, formatLineUsi(line).c_str(),
                    replay.c_str());
        std::fflush(stdout);
        totalNodes += ctx->searchedNodes;
        totalSeconds += seconds;
    }
    std::printf("total\t\t\t%d/%zu\t\t%llu\t%.3f\t%.0f\t\t\n", proved, options.files.size(),
                static_cast<unsigned long long>(totalNodes), totalSeconds,
                totalSeconds > 0 ? totalNodes / totalSeconds : 0.0);
    return refused ? 1 : 0;
}

}  // namespace nagare::bench
