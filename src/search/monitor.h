// Watching and stopping a running search. The monitor thread, here, reads the keyboard and turns keys
// into requests that the search reads once per node; what they ask for has a file of its own each:
// the stop dialogue and the current line (interruption.h), the trace (trace.h) and the figures of a
// finished search (statistics.h).
#pragma once

#include "search/interruption.h"
#include "search/search_context.h"
#include "search/statistics.h"
#include "search/trace.h"

namespace nagare {

// Starts the monitor thread when it is not running, and stops and joins it.
void startMonitor(SearchContext& ctx);
void stopMonitor(SearchContext& ctx);

// The body of the monitor thread: reads keys until monitorRunning is cleared.
void monitorThread(SearchContext& ctx);
// What one key does: D shows the current line, M switches the monitor display, + and - change its
// depth, ESC asks to stop. Letters count in either case; every other key does nothing.
void handleMonitorKey(SearchContext& ctx, int key);

}  // namespace nagare
