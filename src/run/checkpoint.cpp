#include "run/checkpoint.h"

namespace nagare {

// Not built yet: nothing is saved and nothing is resumed.
void offerSave(RunState&, MoveLine) {}

bool saveCheckpoint(RunState&) {
    return false;
}

CheckpointLoad loadCheckpoint(RunState&) {
    return CheckpointLoad::NONE;
}

}  // namespace nagare
