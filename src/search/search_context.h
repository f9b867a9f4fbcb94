// The one context of a solving run, shared by the solve driver, the search, the monitor and the
// verification.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/threads.h"
#include "rules/move.h"
#include "rules/move_generation.h"
#include "rules/position.h"
#include "rules/rule_set.h"
#include "search/node_arena.h"
#include "search/path_filter.h"

namespace nagare {

class PositionTable;

// One node of a stopped path, as the checkpoint keeps it.
struct ResumeRecord {
    Move move;
    int32_t pn = 0;
    int32_t dn = 0;
    int32_t pnThr = 0;
    int32_t dnThr = 0;
};

constexpr int32_t PHASE_SOLVE = 1;           // main solve to the stated length
constexpr int32_t PHASE_SHORTER = 2;         // search for shorter mates (早詰)
constexpr int32_t PHASE_VERIFY = 4;          // walk of the solution (変別, 非限定, 余詰)
constexpr int32_t VERIFY_DEFENCE_CHECK = 5;  // the line's defence against the others
constexpr int32_t VERIFY_ATTACKS = 6;        // alternatives at an attacker's ply
constexpr int32_t VERIFY_DEFENCES = 8;       // alternatives at a defender's ply

// What the solution walk reports at one ply: an alternative that leaves the line not unique (非限定),
// an alternative mate of the attacker (余詰), a long way round back to the line (迂回), or the line
// replaced from this ply on by a defence that holds out longer (手順修正).
enum class WalkFinding { NON_UNIQUE, COOK, DETOUR, CORRECTION };
struct WalkEvent {
    WalkFinding kind;
    int ply;    // the ply of the move, as the console shows it
    Move move;  // the alternative, or the new defence of a correction
};

struct SearchContext {
    // --- the problem ---
    RuleSet rules;
    NodeRules nodeRules;
    GenerationRules generation;
    int16_t statedLength = 0;  // the length the monitor's "+" stops at; a cook search sets its own
    bool cookCheck = false;    // 余詰検討: alternative attacks are searched to cookDepth
    int16_t cookDepth = 0;
    uint8_t orSide = SENTE;  // the side that wants the goal: one good move proves its node
    uint8_t andSide = GOTE;  // the side whose every move must be answered
    bool futileDropTweak = false;

    // --- where the results go ---
    PositionTable* table = nullptr;
    std::FILE* report = nullptr;

    // --- the run ---
    int32_t phase = PHASE_SOLVE;
    int32_t verifyKind = 0;
    int16_t depthLimit = 0;
    int16_t rootPly = 0;
    int16_t maxPly = 0;
    int16_t solutionLength = 0;
    bool resuming = false;
    int32_t maxPn = 1;
    int32_t maxDn = 1;
    int32_t maxTreeExp = 0;
    uint64_t searchedNodes = 0;

    // --- the move lines ---
    std::vector<Move> inputLine;  // the sequence given in the problem file
    std::vector<Move> workLine;   // the steering line, then the solution; indexed by ply
    bool givenLineMode = false;
    Position givenLineFailure{};  // first node where the given sequence was refuted; empty while key is 0

    // --- a stopped search ---
    int16_t interruptPly = 0;
    Move interruptMove;
    std::vector<ResumeRecord> resumePath;              // root first
    std::vector<std::vector<Position>> savedChildren;  // children lists of the stopped path, root first
    int16_t verifyStopPly = 0;
    Move verifyStopMove;

    // Told of each finding and correction of the solution walk, for tools that collect them; the walk
    // does not depend on it.
    std::function<void(const WalkEvent&)> walkObserver;
    // Told of each node the search expands, for tools that study where the work goes; the search does
    // not depend on it.
    std::function<void(const Position&)> expansionObserver;

    // --- monitor and trace, shared with the monitor thread ---
    std::atomic<bool> interruptRequest{false};
    std::atomic<bool> lineRequest{false};
    std::atomic<bool> monitorRunning{false};
    std::atomic<bool> monitorListening{false};  // the monitor has taken the keys typed before it started
    std::atomic<bool> monitorOn{false};
    std::atomic<int16_t> monitorDepth{2};
    bool traceOn = false;
    bool detailedMonitor = false;
    // Reads the answer to a yes/no question; the console dialogue unless a test replaces it.
    std::function<bool()> answerYes;
    // The monitor thread of the running search (startMonitor, stopMonitor).
    platform::BackgroundThread monitorWorker;

    // --- working storage of the search ---
    NodeArena arena;
    PathFilter pathFilter;  // the positions from the search root's ancestors down to the current node
    Move moveBuffer[MOVE_BUFFER_SIZE];
    MoveKeys moveKeys[MOVE_BUFFER_SIZE];  // the keys each move leads to, as an expansion builds them

    bool isOrNode(const Position& p) const { return p.sideToMove == orSide; }
};

}  // namespace nagare
