// nagare: solves and checks tsume shogi problems.
#include "platform/threads.h"
#include "run/run_driver.h"

int main(int argc, char* argv[]) {
    // The search recurses one frame per ply, deeper than a default stack allows.
    int exitCode = nagare::EXIT_FATAL;
    nagare::platform::runWithLargeStack([&] { exitCode = nagare::runProgram(argc, argv); });
    return exitCode;
}
