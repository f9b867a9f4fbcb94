// nagare-bench watch [--mb N] FILE: searches the problem to its stated length with the monitor
// thread reading the keyboard, as a solving run does, so that the keys and the interruption can be
// tried on a long search. At the end it prints the root's state, the node count, the interruption
// point and the lengths of the stopped path's records.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "bench_problem.h"
#include "bench_verbs.h"
#include "platform/dialogue.h"
#include "platform/threads.h"
#include "run/solve_setup.h"
#include "search/proof_search.h"
#include "table/position_table.h"

namespace nagare::bench {

int watch(int argc, char** argv) {
    long megabytes = static_cast<long>(TABLE_MIN_MEGABYTES);
    const char* path = nullptr;
    bool usable = true;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mb") == 0 && i + 1 < argc)
            megabytes = std::atol(argv[++i]);
        else if (argv[i][0] != '-' && path == nullptr)
            path = argv[i];
        else
            usable = false;
    }
    if (!usable || path == nullptr) {
        std::fprintf(stderr, "usage: nagare-bench watch [--mb N] FILE\n");
        return 2;
    }
    platform::installInterruptHandler();
    Problem problem;
    Position root{};
    if (!loadSolvableProblem(path, problem, root)) return 1;
    PositionTable table;
    if (!table.create(
            static_cast<uint64_t>(std::max<long>(megabytes, static_cast<long>(TABLE_MIN_MEGABYTES))))) {
        std::fprintf(stderr, "%s: cannot allocate %ld MB\n", path, megabytes);
        return 1;
    }
    auto ctx = std::make_unique<SearchContext>();
    prepareContext(*ctx, problem, table);
    prepareRoot(root);
    const int depth = problem.record.length;
    ctx->phase = PHASE_SOLVE;
    ctx->solutionLength = static_cast<int16_t>(depth);
    platform::runWithLargeStack([&] { runSearch(*ctx, root, depth); });
    std::printf(
        "\nstate\t%u\tproved\t%d\tnodes\t%llu\tinterruptPly\t%d\tresumePath\t%zu\tsavedChildren\t%zu\n",
        static_cast<unsigned>(root.state), isProved(root) ? 1 : 0,
        static_cast<unsigned long long>(ctx->searchedNodes), ctx->interruptPly, ctx->resumePath.size(),
        ctx->savedChildren.size());
    return 0;
}

}  // namespace nagare::bench
