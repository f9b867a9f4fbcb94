// Reading a problem for the bench verbs, as nagare reads it.
#pragma once

#include <cstdio>
#include <string>

#include "platform/console.h"
#include "rules/position.h"
#include "rules/validation.h"
#include "run/problem_file.h"
#include "run/run_driver.h"
#include "run/solve_setup.h"

namespace nagare::bench {

// Reads `path` and builds its root position with the side to move derived from genre and length.
// Whatever nagare would refuse is refused here too: a file it cannot read, a position unfit to solve
// (validation never ran on it otherwise), a stated length or a rule combination the solver declines.
// Prints the reason on stderr and returns false.
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
    std::string refusal = initialPositionFault(root, problem.rules.genre);
    if (refusal.empty()) refusal = refusalOf(problem);
    if (!refusal.empty()) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), platform::sjisToUtf8(refusal).c_str());
        return false;
    }
    return true;
}

}  // namespace nagare::bench
