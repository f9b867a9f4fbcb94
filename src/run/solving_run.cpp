#include "run/solving_run.h"

#include "run/console_dialogue.h"

namespace nagare {

// Nothing is solved yet: the run ends with the pause, as every run does.
int runSolving(RunState&) {
    pause();
    return EXIT_NORMAL;
}

}  // namespace nagare
