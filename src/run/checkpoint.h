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
// run.checkpointSaved then. The stretch of solving since run.startTime is added to
// run.elapsedSeconds first and the next stretch starts now. A file that cannot be written whole leaves
// the earlier checkpoint as it was.
bool saveCheckpoint(RunState& run);

enum class CheckpointLoad {
    NONE,     // no checkpoint, or the user chose to start afresh
    RESUMED,  // the state was restored: the search replays the saved path
    REFUSED,  // the checkpoint does not fit this problem or is damaged: the message has been shown
              // and a key waited for; the run ends with exit code 1
};

// Offers to resume from the checkpoint when there is one and restores the state on yes. A checkpoint
// of other rules or another table size, or one that is cut short, too long or damaged, is refused
// before anything of it is restored.
CheckpointLoad loadCheckpoint(RunState& run);

}  // namespace nagare
