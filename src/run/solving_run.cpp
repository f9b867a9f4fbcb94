#include "run/solving_run.h"

#include "platform/dialogue.h"

namespace nagare {

// Nothing is solved yet: the run ends with the pause, as every run does.
int runSolving(RunState&) {
    platform::pause();
    return EXIT_NORMAL;
}

}  // namespace nagare
