// The checkpoint file: a stopped run saved beside the problem file (".n1s"), and resumed by a later
// run on the same file.
#pragma once

#include "run/run_driver.h"
#include "solution/solution_lines.h"

namespace nagare {

// Asks whether to save the state; on yes, `line` (when it holds a move) becomes the work line and the
// checkpoint is written.
void offerSave(RunState& run, MoveLine line);

// Writes the checkpoint to run.table.checkpointPath; true when every byte was written. Sets
// run.checkpointSaved then.
bool saveCheckpoint(RunState& run);

enum class CheckpointLoad {
    NONE,     // no checkpoint, or the user chose to start afresh
    RESUMED,  // the state was restored: the search replays the saved path
    REFUSED,  // the checkpoint does not fit this problem or is damaged: the message has been shown
              // and a key waited for; the run ends with exit code 1
};

// Offers to resume from the checkpoint when there is one and restores the state on yes.
CheckpointLoad loadCheckpoint(RunState& run);

}  // namespace nagare
