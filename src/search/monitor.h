// Watching and stopping a running search: the interruption check, the current-line display and the
// trace of descents and returns.
#pragma once

#include "search/search_context.h"

namespace nagare {

// Called at every node before expansion: true when the user confirmed a stop (the node is then
// marked aborted).
bool checkInterrupt(SearchContext& ctx, Position& node);
void showCurrentLine(SearchContext& ctx, const Position& node);
void traceDescend(SearchContext& ctx, const Position& node, const Position& child);
void traceReturn(SearchContext& ctx, const Position& node, const Position& child);

// Starts the monitor thread when it is not running, and stops and joins it.
void startMonitor(SearchContext& ctx);
void stopMonitor(SearchContext& ctx);

}  // namespace nagare
