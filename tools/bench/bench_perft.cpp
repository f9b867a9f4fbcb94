// nagare-bench perft FILE DEPTH: leaf nodes of the legal-move tree, and the speed.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench_problem.h"
#include "bench_verbs.h"
#include "platform/stopwatch.h"
#include "rules/move_generation.h"

namespace nagare::bench {

namespace {

struct PerftCounter {
    GenerationRules rules;
    std::vector<std::vector<Move>> buffers;  // one buffer per ply, allocated before the walk

    uint64_t count(const Position& p, int depth) {
        Move* moves = buffers[depth].data();
        int n = generateAllMoves(p, moves, rules);
        if (n <= 0) return 0;
        if (depth == 1) return static_cast<uint64_t>(n);
        uint64_t total = 0;
        for (int i = 0; i < n; ++i) {
            Position child = p;
            makeMove(child, moves[i]);
            total += count(child, depth - 1);
        }
        return total;
    }
};

}  // namespace

int perft(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: nagare-bench perft FILE DEPTH\n");
        return 2;
    }
    const int depth = std::atoi(argv[1]);
    if (depth < 1) {
        std::fprintf(stderr, "perft: the depth must be at least 1\n");
        return 2;
    }
    Problem problem;
    Position root{};
    if (!loadSolvableProblem(argv[0], problem, root)) return 1;
    PerftCounter counter;
    counter.rules.pawnDropMate = false;  // standard rules: drop-pawn mate excluded
    counter.buffers.assign(depth + 1, std::vector<Move>(MOVE_BUFFER_SIZE));
    const platform::Stopwatch watch;
    const uint64_t leaves = counter.count(root, depth);
    const double seconds = watch.elapsed();
    std::printf("leaves\t%llu\n", static_cast<unsigned long long>(leaves));
    std::printf("nodes_per_second\t%.0f\n", seconds > 0 ? leaves / seconds : 0.0);
    return 0;
}

}  // namespace nagare::bench
