// The problem file: header lines, the diagram block with both hands, and an optional move list.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rules/move.h"
#include "rules/rule_set.h"

namespace nagare {

struct ProblemRecord {
    std::string heading;                // title, composer, publication, date joined by "／"
    std::string classification;         // canonical genre name, e.g. "最善詰"
    std::string ruleName;               // fairy-rule names printed before it, e.g. "打歩禁欲非王手可"
    int16_t length = 0;                 // stated length in plies (手数)
    std::string lengthText = "0";       // the same as the file writes it, whatever its size
    std::array<uint8_t, 81> diagram{};  // row 0 = rank 一, column 0 = file 9
    std::array<int32_t, 40> handCounts{};  // by piece code: 16 + kind, 32 + kind
    uint8_t listFirstSide = 16;            // side that makes the first move of the move list
    std::vector<Move> inputLine;           // the move list under "手数----指手"
};

// How far a run goes after the first solution.
constexpr int32_t SCOPE_FULL = 0;         // shorter solutions, then the whole check of the line
constexpr int32_t SCOPE_SOLVE_ONLY = 1;   // 解図のみ: the first solution, written out
constexpr int32_t SCOPE_ABBREVIATED = 2;  // 略式検討: no search for shorter solutions

struct SolveOptions {
    int32_t scope = SCOPE_FULL;
    bool cookCheck = false;  // 余詰検討
    int16_t cookDepth = 0;
    bool handEconomy = false;      // 持駒節約
    bool symmetry = false;         // 対称性検出
    bool traceOn = false;          // トレース
    bool monitorOn = false;        // トレース or モニタ
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

// How reading went. A malformed file carries the console text that names the fault (Shift-JIS, ending
// with a line break); the caller shows it, pauses and ends the run.
enum class ReadStatus { OK, CANNOT_OPEN, MALFORMED };
struct ReadResult {
    ReadStatus status = ReadStatus::OK;
    std::string message;
};

// A problem file takes a few kilobytes; a larger one than this is refused unread.
constexpr size_t MAX_PROBLEM_FILE_MEGABYTES = 1;
constexpr size_t MAX_PROBLEM_FILE_BYTES = MAX_PROBLEM_FILE_MEGABYTES << 20;

// Reads a problem file into `problem`, which starts from its defaults. Stops at the first fault.
ReadResult readProblem(const std::string& path, Problem& problem);
// The same for the file's text.
ReadResult readProblemText(std::string_view text, Problem& problem);

// The count of one piece in hand, written in kanji numerals after the piece's name: "" or any text of
// an odd length or longer than three numerals counts 1; otherwise 一..十, 十X, X十 or X十Y.
struct KanjiCount {
    int value = 1;
    std::string_view offending;  // when the text is no count: the part a message names, else empty
    bool ok() const { return offending.empty(); }
};
KanjiCount parseKanjiCount(std::string_view text);

// Reads a hand line ("...持駒：飛　金二") into `handCounts` for `side`. On a malformed count,
// returns the offending text; the counts read before it are kept.
std::optional<std::string> parseHand(std::string_view line, Side side, std::array<int32_t, 40>& handCounts);

// Reads one line of the move list, such as "  3 同　香(19)" or "1 ５五角成(33)". `lastDestination`
// carries the destination of the previous move across the lines of one list, for "同". Nothing when
// the line holds no complete move.
std::optional<Move> parseListMove(std::string_view line, Side side, uint8_t& lastDestination);

}  // namespace nagare
