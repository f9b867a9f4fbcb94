// The verbs of nagare-bench, one source file each.
#pragma once

namespace nagare::bench {

// Each verb receives the arguments after its own name and returns the process exit code.
int perft(int argc, char** argv);
int table(int argc, char** argv);
int solve(int argc, char** argv);
int watch(int argc, char** argv);
int verify(int argc, char** argv);
int profile(int argc, char** argv);

}  // namespace nagare::bench
