// Watching and stopping a running search: the monitor thread and its keys, the interruption check,
// the current-line display, the trace of descents and returns, and the search statistics.
#pragma once

#include "search/search_context.h"

namespace nagare {

// Called at every node before expansion: true when the user confirmed a stop (the node is then
// marked aborted).
bool checkInterrupt(SearchContext& ctx, Position& node);
// The line the search is on, from ply 1 to the node, with the node's diagram and the table's use.
void showCurrentLine(SearchContext& ctx, const Position& node);
// A descent into `child` of `node` and the return from it, on the console while the monitor display
// is on and into the report with the trace option, each down to its own depth.
void traceDescend(SearchContext& ctx, const Position& node, const Position& child);
void traceReturn(SearchContext& ctx, const Position& node, const Position& child);
// The size of the search tree below the root and the largest proof and disproof numbers.
void showStatistics(SearchContext& ctx, const Position& root);

// Starts the monitor thread when it is not running, and stops and joins it.
void startMonitor(SearchContext& ctx);
void stopMonitor(SearchContext& ctx);

// The body of the monitor thread: reads keys until monitorRunning is cleared.
void monitorThread(SearchContext& ctx);
// What one key does: D shows the current line, M switches the monitor display, + and - change its
// depth, ESC asks to stop. Letters count in either case; every other key does nothing.
void handleMonitorKey(SearchContext& ctx, int key);

}  // namespace nagare
