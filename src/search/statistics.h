// The figures of a finished search shown with the detailed monitor.
#pragma once

#include "search/search_context.h"

namespace nagare {

// The size of the search tree below the root and the largest proof and disproof numbers.
void showStatistics(SearchContext& ctx, const Position& root);

}  // namespace nagare
