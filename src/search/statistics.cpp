#include "search/statistics.h"

#include <string>

#include "platform/console.h"
#include "search/console_text.h"
#include "search/proof_search.h"

namespace nagare {

void showStatistics(SearchContext& ctx, const Position& root) {
    const std::string text =
        concat("\n探索木サイズ：", root.treeSize, ", 探索レベル：", highestBit(root.treeSize),
               "\n証明数最大値：", ctx.maxPn, ", 反証数最大値：", ctx.maxDn, "\n\n");
    platform::consoleWrite(text);
}

}  // namespace nagare
