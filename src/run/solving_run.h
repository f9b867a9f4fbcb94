// The solving run: what follows the checked initial position until the end of the run.
#pragma once

#include "run/run_driver.h"

namespace nagare {

// Solves the problem of `run` and returns the process's exit code.
int runSolving(RunState& run);

}  // namespace nagare
