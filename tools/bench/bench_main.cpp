// nagare-bench: developer measurements. Output is tab-separated with a header line.
#include <cstdio>
#include <cstring>

#include "bench_verbs.h"

int main(int argc, char** argv) {
    using namespace nagare::bench;
    if (argc < 2) return solve(0, argv + argc);
    const char* verb = argv[1];
    if (std::strcmp(verb, "perft") == 0) return perft(argc - 2, argv + 2);
    if (std::strcmp(verb, "table") == 0) return table(argc - 2, argv + 2);
    if (std::strcmp(verb, "solve") == 0) return solve(argc - 2, argv + 2);
    if (std::strcmp(verb, "watch") == 0) return watch(argc - 2, argv + 2);
    if (std::strcmp(verb, "verify") == 0) return verify(argc - 2, argv + 2);
    if (std::strcmp(verb, "profile") == 0) return profile(argc - 2, argv + 2);
    std::fprintf(
        stderr,
        "usage: nagare-bench [perft FILE DEPTH | table [--mb N] |\n"
        "                     solve [--mb N] [--depth N] [--no-monitor] [--no-dominance] FILE... |\n"
        "                     watch [--mb N] FILE |\n"
        "                     verify [--mb N] FILE... | profile [--mb N] [--depth N] [--top K] FILE]\n");
    return 2;
}
