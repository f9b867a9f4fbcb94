// The solve driver: the whole solving process on the root, talking to the user between the phases.
// Phase 1 proves the mate within the stated length, phase 2 looks for shorter mates (早詰) until
// none is left, phase 4 walks the final line for 変別, 非限定, 余詰 and 迂回. Results go to the
// console and the report.
#pragma once

#include <string>

#include "run/run_driver.h"
#include "solution/solution_lines.h"

namespace nagare {

// Solves run.root through its phases. On return run.root.state is aborted when the user stopped the
// run, and the context's workLine holds the best line known.
void solveProblem(RunState& run);

// The line on the console.
void showLine(const RunState& run, const MoveLine& line);
// The line into the report, then on the console.
void writeLine(const RunState& run, const MoveLine& line);

// Text written to the console and to the report.
void writeBoth(const RunState& run, const std::string& sjis);

}  // namespace nagare
