// The solving run: what follows the checked initial position until the end of the run. It sizes and
// creates the position table, opens the report, offers to resume from a checkpoint, solves, and
// writes the summary block to the console and the report.
#pragma once

#include <cstdint>
#include <string>

#include "run/run_driver.h"

namespace nagare {

// Solves the problem of `run` and returns the process's exit code.
int runSolving(RunState& run);

// The report beside the problem file: the whole name with ".txt" added (a.kif.txt).
std::string reportPathFor(const std::string& inputPath);
// The checkpoint: the name without its last four bytes (its extension), with ".n1s".
std::string checkpointPathFor(const std::string& inputPath);

// A number of seconds as hours, minutes and seconds: 1時間2分5秒, 1時間0秒, 59秒.
std::string timeText(int64_t seconds);

// The summary block written after solving, to the console and the report.
std::string summaryText(const RunState& run, uint64_t peakCount, uint64_t tableSize);

}  // namespace nagare
