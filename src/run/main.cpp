// nagare: solves and checks tsume shogi problems.
#include "platform/console.h"
#include "platform/dialogue.h"
#include "platform/threads.h"
#include "run/run_driver.h"

int main(int argc, char* argv[]) {
    // The search recurses one frame per ply, deeper than a default stack allows: the whole run goes
    // on a thread of its own with a stack for 2999 plies, or not at all.
    int exitCode = nagare::EXIT_FATAL;
    if (!nagare::platform::runWithLargeStack([&] { exitCode = nagare::runProgram(argc, argv); })) {
        nagare::platform::consoleWrite("エラー：探索に必要なスタックを確保できませんでした\n");
        nagare::platform::pause();
    }
    return exitCode;
}
