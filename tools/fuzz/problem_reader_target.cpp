#include "problem_reader_target.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "rules/attacks.h"
#include "rules/diagram.h"
#include "rules/line_replay.h"
#include "rules/move_generation.h"
#include "rules/notation.h"
#include "rules/validation.h"
#include "run/problem_file.h"
#include "run/run_driver.h"

namespace nagare::fuzz {

namespace {

void require(bool holds, const char* what) {
    if (holds) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

// The attack word of `side` on a playable square, counted from the board alone: the pieces that
// step onto it and the sliders whose line reaches it.
uint32_t boardAttackWord(const Position& p, Side side, Square square) {
    auto ownPiece = [side](int code) { return code != WALL && (code & side) != 0; };
    uint32_t word = 0;
    for (int d = 0; d < DIRECTION_COUNT; ++d) {
        const Square next = square - OFFSET[d];
        if (ownPiece(p.at(next)) && canStep[d][p.at(next)]) word |= 1u << d;
        if (d >= LINE_DIRECTIONS) continue;
        Square s = next;
        while (p.at(s) == EMPTY) s -= OFFSET[d];
        if (ownPiece(p.at(s)) && canSlide[d][p.at(s)]) word |= 1u << (SLIDE_BIT_SHIFT + d);
    }
    return word;
}

// Both attack maps agree with the attacks counted from the board, square by square.
void requireMapsMatchBoard(const Position& p) {
    for (Side side : {SENTE, GOTE})
        for (int file = 1; file <= FILE_COUNT; ++file)
            for (int rank = 1; rank <= RANK_COUNT; ++rank) {
                const Square s = makeSquare(file, rank);
                require(p.attacksOf(side)[s] == boardAttackWord(p, side, s), "attack map against the board");
            }
}

// What make-move keeps up to date equals a position built afresh from the same board and hands.
void requireMatchesRebuild(const Position& p) {
    std::array<uint8_t, 81> cells{};
    for (int rank = 1; rank <= RANK_COUNT; ++rank)
        for (int file = 1; file <= FILE_COUNT; ++file)
            cells[FILE_COUNT * (rank - 1) + (FILE_COUNT - file)] = p.at(makeSquare(file, rank));
    Position q{};
    setUp(q, cells.data(), p.hand.data(), p.sideToMove);
    require(p.attack == q.attack, "attack maps against a rebuild");
    require(p.boardKey == q.boardKey && p.handKey == q.handKey && p.key == q.key, "keys against a rebuild");
    require(p.kingSquare == q.kingSquare && p.onBoard == q.onBoard && p.inHand == q.inHand,
            "counters against a rebuild");
}

// The written board reads back as the same board. (Counts of pieces in hand above one are written in
// ASCII digits, which the reader does not take: the hands stay out of it.)
void requireDiagramReadsBack(const Position& p) {
    Position board = p;
    board.hand.fill(0);
    Problem again;
    require(readProblemText(formatDiagram(board), again).status == ReadStatus::OK, "diagram reads back");
    for (int rank = 1; rank <= RANK_COUNT; ++rank)
        for (int file = 1; file <= FILE_COUNT; ++file)
            require(again.record.diagram[(rank - 1) * FILE_COUNT + (FILE_COUNT - file)] ==
                        p.at(makeSquare(file, rank)),
                    "diagram cell reads back");
}

Move moves[MOVE_BUFFER_SIZE];
Move replies[MOVE_BUFFER_SIZE];
Move candidates[MOVE_BUFFER_SIZE];

void exerciseMoves(const Position& root, const RuleSet& rules) {
    const GenerationRules generation{rules.pawnDropMate};
    const int n = generateAllMoves(root, moves, generation);
    require(n <= MOVE_BUFFER_SIZE, "moves within the buffer");
    const bool checkTest = root.sideToMove == SENTE;
    const int c = checkTest ? generateCheckCandidates(root, candidates, generation) : 0;
    const bool inCheckNow = inCheck(root, root.sideToMove);
    for (int i = 0; i < n; ++i) {
        const Move m = moves[i];
        Position child = root;
        makeMove(child, m);
        require(!inCheck(child, root.sideToMove), "a generated move leaves its king safe");
        requireMatchesRebuild(child);
        require(!formatMove(root, m).empty() && !formatMoveShort(m).empty() && !formatMoveUsi(m).empty(),
                "moves are written");
        if (checkTest) {
            const bool checks = inCheck(child, GOTE);
            require(givesCheck(root, m) == checks, "givesCheck against the move played");
            if (checks || inCheckNow)
                require(std::find(candidates, candidates + c, m) != candidates + c,
                        "checks among the candidates");
        }
        generateAllMoves(child, replies, generation);
    }
}

}  // namespace

void exerciseProblemText(const uint8_t* data, size_t size) {
    Problem problem;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (readProblemText(text, problem).status != ReadStatus::OK) return;
    for (Move m : problem.record.inputLine) require(!formatMoveUsi(m).empty(), "listed moves are written");

    Position root{};
    setUp(root, problem.record.diagram.data(), problem.record.handCounts.data(),
          firstSideToMove(problem.rules.genre, problem.record.length));
    requireMapsMatchBoard(root);
    requireDiagramReadsBack(root);
    if (!initialPositionFault(root, problem.rules.genre).empty()) return;
    exerciseMoves(root, problem.rules);
    replayLine(root, problem.record.inputLine, problem.rules);
}

}  // namespace nagare::fuzz
