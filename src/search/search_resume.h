// Replaying the path of a stopped search so that a resumed run continues where it stopped.
#pragma once

#include "search/search_context.h"

namespace nagare {

enum class ResumeOutcome {
    SEARCH,            // the node is searched from the start (the stopped node itself)
    SKIP_FIRST_VISIT,  // go on with the interruption check and the normal search of the node
    RETURN,            // the replayed child was stopped again: the node is aborted
};

// Follows the saved path one ply from `node`, searching the child on it.
ResumeOutcome replayResumePath(SearchContext& ctx, Position& node, int depth);

}  // namespace nagare
