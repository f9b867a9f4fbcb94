#include "search/monitor.h"

namespace nagare {

bool checkInterrupt(SearchContext& ctx, Position& node) {
    (void)ctx;
    (void)node;
    return false;
}

void showCurrentLine(SearchContext&, const Position&) {}
void traceDescend(SearchContext&, const Position&, const Position&) {}
void traceReturn(SearchContext&, const Position&, const Position&) {}
void startMonitor(SearchContext& ctx) { ctx.monitorRunning.store(true, std::memory_order_relaxed); }
void stopMonitor(SearchContext& ctx) { ctx.monitorRunning.store(false, std::memory_order_relaxed); }

}  // namespace nagare
