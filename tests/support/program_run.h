// Running the built program as a person runs it: a command line, standard input from a file, and
// what it prints and returns.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/console.h"
#include "test_files.h"

namespace nagare::test {

struct ProgramRun {
    int exitCode = -1;
    std::string output;  // UTF-8, standard output and standard error together
};

inline std::string shellQuoted(const std::string& s) {
    return "'" + s + "'";
}

// Runs nagare with `arguments` (already quoted) and standard input from the file `input`.
inline ProgramRun runNagare(const std::string& arguments, const std::string& input = "/dev/null") {
    std::string out = tempPath("output.txt");
    std::string code = tempPath("exit-code.txt");
    std::string command = "LC_ALL=C.UTF-8 " + shellQuoted(NAGARE_BINARY) + " " + arguments + " < " +
                          shellQuoted(input) + " > " + shellQuoted(out) + " 2>&1; echo $? > " +
                          shellQuoted(code);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    ProgramRun run;
    run.exitCode = std::atoi(readFile(code).c_str());
    run.output = readFile(out);
    return run;
}

inline std::string utf8(std::string_view sjis) {
    return platform::sjisToUtf8(sjis);
}

}  // namespace nagare::test
