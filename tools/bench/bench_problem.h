// Reading a problem for the bench verbs, as nagare reads it.
#pragma once

#include <cstdio>
#include <string>

#include "platform/console.h"
#include "rules/position.h"
#include "run/problem_file.h"
#include "run/run_driver.h"

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

}  // namespace nagare::bench
