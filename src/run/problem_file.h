// The problem file: header lines, the diagram block with both hands, and an optional move list.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "rules/move.h"
#include "rules/rule_set.h"

namespace nagare {

struct ProblemRecord {
    std::string heading;         // title, composer, publication, date joined by "／"
    std::string classification;  // canonical genre name, e.g. "最善詰"
    std::string ruleName;        // fairy-rule names printed before it, e.g. "打歩禁欲非王手可"
    int16_t length = 0;          // stated length in plies (手数)
    std::array<uint8_t, 81> diagram{};  // row 0 = rank 一, column 0 = file 9
    std::array<int32_t, 40> handCounts{};  // by piece code: 16 + kind, 32 + kind
    uint8_t listFirstSide = 16;  // side that makes the first move of the move list
    std::vector<Move> inputLine;  // the move list under "手数----指手"
};

struct SolveOptions {
    int32_t scope = 0;  // 0 full check, 1 解図のみ, 2 略式検討
    bool cookCheck = false;  // 余詰検討
    int16_t cookDepth = 0;
    bool handEconomy = false;  // 持駒節約
    bool symmetry = false;     // 対称性検出
    bool traceOn = false;      // トレース
    bool monitorOn = false;    // トレース or モニタ
    bool detailedMonitor = false;  // 詳細モニタ
    int16_t monitorDepth = 2;
    bool hashMonitor = false;   // ハッシュモニタ
    bool reportNoMate = false;  // 不詰出力
    int32_t memoryMB = 0;
};

// Everything the reader fills, set once before the search.
struct Problem {
    ProblemRecord record;
    RuleSet rules;
    SolveOptions options;
};

}  // namespace nagare
