// Running a built program as a person runs it, through the shell: its exit code and what it printed.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "test_files.h"

namespace nagare::test {

struct ProgramRun {
    int exitCode = -1;
    std::string output;  // UTF-8, standard output and standard error together
};

inline std::string shellQuoted(const std::string& s) {
    return "'" + s + "'";
}

// Runs `program` with `arguments` (already quoted) and standard input from `input`, in a UTF-8
// locale.
inline ProgramRun runProgram(const std::string& program, const std::string& arguments,
                             const std::string& input = "/dev/null") {
    std::string out = tempPath("output.txt");
    std::string code = tempPath("exit-code.txt");
    std::string command = "LC_ALL=C.UTF-8 " + shellQuoted(program) + " " + arguments + " < " +
                          shellQuoted(input) + " > " + shellQuoted(out) + " 2>&1; echo $? > " +
                          shellQuoted(code);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    ProgramRun run;
    run.exitCode = std::atoi(readFile(code).c_str());
    run.output = readFile(out);
    return run;
}

}  // namespace nagare::test
