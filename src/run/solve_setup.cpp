#include "run/solve_setup.h"

#include "search/proof_pieces.h"
#include "table/position_table.h"

namespace nagare {

void prepareContext(SearchContext& ctx, const Problem& problem, PositionTable& table) {
    const RuleSet& rules = problem.rules;
    const SolveOptions& options = problem.options;
    ctx.rules = rules;
    ctx.generation.pawnDropMate = rules.pawnDropMate;
    ctx.statedLength = problem.record.length;
    ctx.cookCheck = options.cookCheck;
    ctx.cookDepth = options.cookDepth;
    const bool best = playOf(rules.genre) == PLAY_BEST;
    ctx.orSide = best ? SENTE : GOTE;
    ctx.andSide = best ? GOTE : SENTE;
    // Hand dominance only where a poorer hand cannot do better: not when captures are forbidden.
    const bool economy = (rules.genre == GENRE_BEST_MATE || (best && options.handEconomy)) &&
                         (rules.moveRule == MOVE_RULE_NONE || rules.moveRule == MOVE_RULE_GOYOKU);
    ctx.nodeRules = NodeRules{rules.genre, options.symmetry, economy};
    ctx.futileDropTweak = rules.genre == GENRE_BEST_MATE && rules.moveRule == MOVE_RULE_NONE;
    ctx.traceOn = options.traceOn;
    ctx.detailedMonitor = options.detailedMonitor;
    ctx.monitorOn.store(options.monitorOn, std::memory_order_relaxed);
    ctx.monitorDepth.store(options.monitorDepth, std::memory_order_relaxed);
    ctx.inputLine = problem.record.inputLine;
    ctx.table = &table;
    configureHandDominance(table, rules);
    table.hashMonitor = options.hashMonitor;
    table.detailedMonitor = options.detailedMonitor;
}

std::string refusalOf(const Problem& problem) {
    const int length = problem.record.length;
    if (length < 1 || length > MAX_SEARCH_DEPTH)
        return "手数は1手以上、" + std::to_string(MAX_SEARCH_DEPTH) + "手以内を指定してください";
    if (problem.rules.pawnDropMate && isOwnKingGenre(problem.rules.genre))
        return "自玉系ルールでは「打歩」指定はできません";
    return {};
}

void prepareRoot(Position& root) {
    root.parent = nullptr;
    root.pathKey = 0;
    root.lastMovePathKey = 0;
    root.lastMove = Move{};
    root.ply = 0;
    root.onGivenLine = 1;
}

}  // namespace nagare
