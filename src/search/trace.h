// The trace of a search: its descents and returns, on the console while the monitor display is on and
// into the report with the trace option, each down to its own depth.
#pragma once

#include "search/search_context.h"

namespace nagare {

void traceDescend(SearchContext& ctx, const Position& node, const Position& child);
void traceReturn(SearchContext& ctx, const Position& node, const Position& child);

}  // namespace nagare
