// Reading a problem for the bench verbs, as nagare reads it.
#pragma once

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/console.h"
#include "rules/position.h"
#include "rules/validation.h"
#include "run/problem_file.h"
#include "run/run_driver.h"
#include "run/solve_setup.h"
#include "search/search_context.h"
#include "table/position_table.h"

namespace nagare::bench {

// Reads `path` and builds its root position with the side to move derived from genre and length.
// Prints the reason and returns false when the file cannot be read.
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
    return true;
}

// loadProblem, then what nagare would refuse to solve is refused here too, with its message on stderr.
inline bool loadSolvableProblem(const std::string& path, Problem& problem, Position& root) {
    if (!loadProblem(path, problem, root)) return false;
    std::string refusal = initialPositionFault(root, problem.rules.genre);
    if (refusal.empty()) refusal = refusalOf(problem);
    if (refusal.empty()) return true;
    std::fprintf(stderr, "%s: %s\n", path.c_str(), platform::sjisToUtf8(refusal).c_str());
    return false;
}

}  // namespace nagare::bench
