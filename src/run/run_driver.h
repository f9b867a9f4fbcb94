// The run from start to end: the problem file name, the problem, the initial position on the console
// and its check, then the solving run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "rules/position.h"
#include "run/problem_file.h"
#include "search/search_context.h"
#include "table/position_table.h"

namespace nagare {

// What the run owns from start to end.
struct RunState {
    std::string inputPath;  // the problem file name, exactly as received
    Problem problem;
    Position root{};  // the initial position; its state tells at the end whether solving was stopped

    // --- the solving run ---
    std::string reportPath;  // inputPath + ".txt"; the checkpoint's path is table.checkpointPath
    PositionTable table;
    std::unique_ptr<SearchContext> ctx = std::make_unique<SearchContext>();
    // Solving time in wall-clock seconds. Each stretch of solving is counted once: a checkpoint save
    // adds the stretch since startTime to elapsedSeconds and starts the next stretch there.
    int64_t startTime = 0;
    int64_t endTime = 0;
    int64_t elapsedSeconds = 0;  // restored from a checkpoint, raised by every save
    bool elapsedRestored = false;
    bool checkpointSaved = false;  // a checkpoint was written during this run
};

constexpr int EXIT_NORMAL = 0;
constexpr int EXIT_FATAL = 1;

// The side that moves first: the first player in the ordinary genres when the stated length is odd,
// the second player in the own-king genres then; the other way round for an even length. A negative
// odd length counts as even.
Side firstSideToMove(int genre, int16_t length);

// Runs the program with its command line; returns the process's exit code.
int runProgram(int argc, char* argv[]);

}  // namespace nagare
