#include "rules/move_generation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "../support/real_problems.h"
#include "../support/rebuild.h"
#include "../support/reference_rules.h"
#include "../support/sfen.h"
#include "rules/attacks.h"
#include "rules/notation.h"
#include "rules/validation.h"

namespace nagare {
namespace {

using test::positionFromSfen;
using test::slowLegalMoves;
using test::sortedWords;

std::vector<Move> allMoves(const Position& p, bool pawnDropMate = false) {
    Move buffer[MOVE_BUFFER_SIZE];
    int n = generateAllMoves(p, buffer, GenerationRules{pawnDropMate});
    return std::vector<Move>(buffer, buffer + std::max(n, 0));
}

uint64_t perft(const Position& p, int depth) {
    Move buffer[MOVE_BUFFER_SIZE];
    int n = generateAllMoves(p, buffer);
    if (n <= 0) return 0;
    if (depth == 1) return n;
    std::vector<Move> moves(buffer, buffer + n);
    uint64_t total = 0;
    for (Move m : moves) {
        Position q = p;
        makeMove(q, m);
        total += perft(q, depth - 1);
    }
    return total;
}

TEST(Perft, StartingPositionFirstPlayerToMove) {
    Position p = positionFromSfen(test::STARTING_POSITION);
    EXPECT_EQ(perft(p, 1), 30u);
    EXPECT_EQ(perft(p, 2), 900u);
    EXPECT_EQ(perft(p, 3), 25470u);
    EXPECT_EQ(perft(p, 4), 719731u);
}

TEST(Perft, PositionWithTheMostLegalMoves) {
    Position p = positionFromSfen("R8/2K1S1SSk/4B4/9/9/9/9/9/1L1L1L3 b RBGSNLP3g3n17p 1");
    EXPECT_EQ(perft(p, 1), 593u);
}

// The densest diagram a search for one found (766 moves, no kings, fit for 最善自玉ステイルメイト):
// sliders on the promotion ranks and a hand of every kind. The moves equal the slow reference's
// and stay within the buffer, whose bound counts the moves by destination.
static_assert(MOVE_BUFFER_SIZE >= 766);

TEST(Perft, DensestDiagramFound) {
    const Position p = positionFromSfen("BBBBBRBBB/R7R/1R5R1/2+R6/6+R2/4+R4/3+R5/5+R3/+R7R b RBGSNLPrnlp 1");
    EXPECT_EQ(initialPositionFault(p, GENRE_BEST_SELF_STALEMATE), "");
    const std::vector<Move> moves = allMoves(p, true);
    EXPECT_EQ(moves.size(), 766u);
    EXPECT_EQ(sortedWords(moves), sortedWords(slowLegalMoves(p, true)));
}

TEST(Perft, MiddleGameWithTheSecondPlayerToMove) {
    Position p = positionFromSfen("l6nl/5+P1gk/2np1S3/p1p4Pp/3P2Sp1/1PPb2P1P/P5GS1/R8/LN4bKL w GR5pnsg 1");
    EXPECT_EQ(perft(p, 1), 207u);
    EXPECT_EQ(perft(p, 2), 28684u);
    EXPECT_EQ(perft(p, 3), 4809015u);
}

// Positions for the comparison with the slow reference: openings, crowded hands, kings in check,
// pins, and tsume positions from real games.
const char* const REFERENCE_POSITIONS[] = {
    test::STARTING_POSITION,
    "R8/2K1S1SSk/4B4/9/9/9/9/9/1L1L1L3 b RBGSNLP3g3n17p 1",
    "l6nl/5+P1gk/2np1S3/p1p4Pp/3P2Sp1/1PPb2P1P/P5GS1/R8/LN4bKL w GR5pnsg 1",
    "7Sl/+L4l3/2np2+P1k/2p1p2rp/4PNB2/4b1S2/1pP2P2P/3+p+rS1K1/GN4G1L b N6P2gsp 1",
    "4g2+Nl/3s5/+R1+N3gp1/2p1p3p/5pnPP/PPP1Pk1S1/3P+rl+p1L/2SKG2N1/+b2G2P2 b Pbsl3p 1",
    "3+Rn1Snl/4g2+P1/1+P2ps1+B1/p2+B1ks1p/1p1ps2PP/P3PKP2/1PG2G3/9/LN5RL b NL4Pgp 1",
    "l1B5l/6+R2/1GSsgg2n/p1pppk2S/3P2p2/3G1pK2/P1P3P1P/1B7/LN5NL b RSN6Pp 1",
    "k1+P4n1/2L+P2sL1/r4+P+P1P/+BpP+Pl1+Rg1/NP1S+PP+p1g/2L+p1g+P1+P/Ps1G1+P1N1/1sN1P4/B8 b - 1",
    // the second player's king in front of a defended pawn square: drop-pawn mates nearby
    "7nk/7p1/7P1/9/9/9/9/9/K8 b P 1",
    "6snk/6g2/9/7N1/9/9/9/9/K8 b P 1",
    // pins on every line and a double check
    "4k4/9/4g4/9/r2S1K2r/9/4b4/9/4L4 b - 1",
    "4k4/4r4/9/9/4K4/9/9/9/b8 b GS 1",
};

std::string describe(Move m) {
    char text[32];
    std::snprintf(text, sizeof text, "%02x-%02x/%d%s", m.from, m.to, m.piece, m.promote ? "+" : "");
    return text;
}

std::string describe(const std::vector<uint32_t>& words) {
    std::string out;
    for (uint32_t w : words) out += describe(Move::unpack(w)) + " ";
    return out;
}

void expectSameMovesAsReference(const Position& p, const char* where) {
    for (bool pawnDropMate : {false, true}) {
        auto fast = sortedWords(allMoves(p, pawnDropMate));
        auto slow = sortedWords(slowLegalMoves(p, pawnDropMate));
        std::vector<uint32_t> onlyFast, onlySlow;
        std::set_difference(fast.begin(), fast.end(), slow.begin(), slow.end(), std::back_inserter(onlyFast));
        std::set_difference(slow.begin(), slow.end(), fast.begin(), fast.end(), std::back_inserter(onlySlow));
        ASSERT_TRUE(onlyFast.empty() && onlySlow.empty())
            << where << (pawnDropMate ? " with pawn-drop mates" : "") << " after " << describe(p.lastMove)
            << ": generated but illegal " << describe(onlyFast) << "; legal but missing "
            << describe(onlySlow);
    }
}

// Every legal move that gives check is among the candidates, and the checks generated are exactly
// the candidates that check; in check the candidates are the evasions.
void expectChecksAmongCandidates(const Position& p, const char* where) {
    if (p.sideToMove != SENTE) return;
    Move buffer[MOVE_BUFFER_SIZE];
    int n = generateCheckCandidates(p, buffer);
    std::vector<Move> candidates(buffer, buffer + std::max(n, 0));
    // The checks alone come in the candidates' order.
    std::vector<uint32_t> checkingCandidates, checks;
    for (Move m : candidates)
        if (givesCheck(p, m)) checkingCandidates.push_back(m.packed());
    bool anyCandidate = false;
    const int checkCount = generateChecks(p, buffer, anyCandidate);
    for (int i = 0; i < checkCount; ++i) checks.push_back(buffer[i].packed());
    ASSERT_EQ(checks, checkingCandidates) << where;
    ASSERT_EQ(anyCandidate, n > 0) << where;
    if (n < 0) {
        ASSERT_EQ(checkCount, n) << where;
    }
    auto legal = slowLegalMoves(p);
    if (inCheck(p, SENTE)) {
        ASSERT_EQ(sortedWords(candidates), sortedWords(legal)) << where;
        if (legal.empty()) {
            ASSERT_EQ(n, NO_MOVES_SENTE_MATED);
        }
        return;
    }
    auto words = sortedWords(candidates);
    for (Move m : legal) {
        Position q = p;
        makeMove(q, m);
        ASSERT_EQ(givesCheck(p, m), test::kingAttacked(q, GOTE))
            << where << ": check test of " << describe(m);
        if (!test::kingAttacked(q, GOTE)) continue;
        ASSERT_TRUE(std::binary_search(words.begin(), words.end(), m.packed()))
            << where << ": checking move " << int(m.from) << "->" << int(m.to) << " missing";
    }
    // and every candidate is legal
    auto legalWords = sortedWords(legal);
    for (uint32_t w : words)
        ASSERT_TRUE(std::binary_search(legalWords.begin(), legalWords.end(), w)) << where;
}

TEST(MoveGeneration, EqualsTheSlowReferenceOnEveryNodeOfShortWalks) {
    for (const char* sfen : REFERENCE_POSITIONS) {
        Position root = positionFromSfen(sfen);
        expectSameMovesAsReference(root, sfen);
        expectChecksAmongCandidates(root, sfen);
        for (Move m : allMoves(root)) {
            Position child = root;
            makeMove(child, m);
            ASSERT_TRUE(test::matchesRebuild(child)) << sfen;
            expectSameMovesAsReference(child, sfen);
            expectChecksAmongCandidates(child, sfen);
        }
    }
}

TEST(MoveGeneration, EqualsTheSlowReferenceOverRandomGames) {
    std::mt19937 rng(2024);
    Move buffer[MOVE_BUFFER_SIZE];
    int checksSeen = 0;
    for (const char* sfen : REFERENCE_POSITIONS) {
        for (int game = 0; game < 6; ++game) {
            Position p = positionFromSfen(sfen);
            for (int ply = 0; ply < 60; ++ply) {
                expectSameMovesAsReference(p, sfen);
                expectChecksAmongCandidates(p, sfen);
                if (inCheck(p, p.sideToMove)) ++checksSeen;
                // Prefer checks half of the time so that evasions are well covered.
                int n = generateAllMoves(p, buffer);
                if (n <= 0) break;
                std::vector<Move> checks;
                for (int i = 0; i < n; ++i) {
                    Position q = p;
                    makeMove(q, buffer[i]);
                    if (inCheck(q, q.sideToMove)) checks.push_back(buffer[i]);
                }
                Move m = !checks.empty() && rng() % 2 ? checks[rng() % checks.size()] : buffer[rng() % n];
                makeMove(p, m);
            }
        }
    }
    EXPECT_GT(checksSeen, 100);
}

// The evasions against the slow reference, and their count against the generated moves: every
// position in check met on walks from the reference positions and from the roots of real problems,
// and every check the first player could give on the way, which is where the count is used.
// Counted both ways: every move, and drops by square. The walks check the first player's checks
// against the reference as well.
void expectCountedAsGenerated(const Position& p, const std::string& where, int& compared) {
    ASSERT_NO_FATAL_FAILURE(expectSameMovesAsReference(p, where.c_str()));
    Move buffer[MOVE_BUFFER_SIZE];
    const int generated = generateAllMoves(p, buffer);
    const int moves = std::max(generated, 0);
    std::vector<Square> dropSquares;
    int boardMoves = 0;
    for (int i = 0; i < moves; ++i) {
        if (buffer[i].isDrop())
            dropSquares.push_back(buffer[i].to);
        else
            ++boardMoves;
    }
    std::sort(dropSquares.begin(), dropSquares.end());
    const int squares = int(std::unique(dropSquares.begin(), dropSquares.end()) - dropSquares.begin());
    ASSERT_EQ(countEvasions(p, false), moves) << where << " after " << describe(p.lastMove);
    ASSERT_EQ(countEvasions(p, true), boardMoves + squares) << where << " after " << describe(p.lastMove);
    ++compared;
}

TEST(ChecksAndEvasions, EqualTheReferenceOnWalksFromRealProblems) {
    std::vector<std::string> roots(std::begin(REFERENCE_POSITIONS), std::end(REFERENCE_POSITIONS));
    for (const auto& problem : test::indexedProblems("short")) roots.push_back(problem.columns.at("sfen"));
    std::mt19937 rng(7);
    Move buffer[MOVE_BUFFER_SIZE];
    int compared = 0, withDrops = 0;
    for (const std::string& sfen : roots) {
        for (int walk = 0; walk < 4; ++walk) {
            Position p = positionFromSfen(sfen.c_str());
            for (int ply = 0; ply < 40; ++ply) {
                const std::string where =
                    sfen + " walk " + std::to_string(walk) + " ply " + std::to_string(ply);
                if (inCheck(p, p.sideToMove)) expectCountedAsGenerated(p, where, compared);
                ASSERT_NO_FATAL_FAILURE(expectChecksAmongCandidates(p, where.c_str()));
                const int n = generateAllMoves(p, buffer);
                if (n <= 0) break;
                std::vector<Move> checks;
                for (int i = 0; i < n; ++i) {
                    Position q = p;
                    makeMove(q, buffer[i]);
                    if (!inCheck(q, q.sideToMove)) continue;
                    checks.push_back(buffer[i]);
                    expectCountedAsGenerated(q, where, compared);
                    if (q.hand[q.sideToMove + PAWN] + q.hand[q.sideToMove + GOLD] > 0) ++withDrops;
                }
                const Move m =
                    !checks.empty() && rng() % 3 != 0 ? checks[rng() % checks.size()] : buffer[rng() % n];
                makeMove(p, m);
            }
        }
    }
    EXPECT_GT(compared, 10000);
    EXPECT_GT(withDrops, 1000);
}

// The estimate of the first player's checks after a defence, worked out from the position before it,
// is the exact number of checks where the defence opens and closes no first-player line and no check
// could come from uncovering a line or from a pawn.
struct EstimateCase {
    const char* sfen;
    const char* defence;
    int checks;
};

class ChecksEstimate : public ::testing::TestWithParam<EstimateCase> {};

TEST_P(ChecksEstimate, CountsTheChecksAfterAQuietDefence) {
    const EstimateCase& c = GetParam();
    Position p = positionFromSfen(c.sfen);
    const Move m = parseMoveUsi(p, c.defence);
    ASSERT_FALSE(m.isNull()) << c.defence;
    const int estimate = estimateChecksAfter(p, m);
    makeMove(p, m);
    Move buffer[MOVE_BUFFER_SIZE];
    bool anyCandidate = false;
    EXPECT_EQ(generateChecks(p, buffer, anyCandidate), c.checks) << c.sfen << " " << c.defence;
    EXPECT_EQ(estimate, c.checks) << c.sfen << " " << c.defence;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChecksEstimate,
    ::testing::Values(
        // A gold in hand checks from the five squares around the king that it attacks.
        EstimateCase{"4k4/9/9/9/9/9/9/9/K8 w G 1", "5a4a", 5},
        // The king steps into a corner: the gold drops on 2a, 1b and 2b only.
        EstimateCase{"7k1/9/9/9/9/9/9/9/K8 w G 1", "2a1a", 3},
        // A silver on 3c reaches 3b and 4b, promoting or not, besides the gold's five drops.
        EstimateCase{"4k4/9/6S2/9/9/9/9/9/K8 w G 1", "5a4a", 9},
        // A rook in hand drops on the rank and down the file as far as the first player's knight,
        // whose jumps reach no square that checks.
        EstimateCase{"4k4/9/9/9/9/5N3/9/9/K8 w R 1", "5a4a", 12},
        // Away from the edge the gold checks from six squares: not from the two behind it diagonally.
        EstimateCase{"4k4/9/9/9/9/9/9/9/K8 w G 1", "5a5b", 6}));

struct ResultCase {
    const char* sfen;
    int expected;
};

class ResultCodes : public ::testing::TestWithParam<ResultCase> {};

TEST_P(ResultCodes, PositionsWithoutMoves) {
    Position p = positionFromSfen(GetParam().sfen);
    Move buffer[MOVE_BUFFER_SIZE];
    EXPECT_EQ(generateAllMoves(p, buffer), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ResultCodes,
                         ::testing::Values(ResultCase{"k8/9/9/9/9/9/9/1r7/K1+r6 b - 1", NO_MOVES_SENTE_MATED},
                                           ResultCase{"k8/9/9/9/9/9/1g7/1r7/K8 b - 1", NO_MOVES_SENTE},
                                           ResultCase{"k8/2R6/1R7/9/9/9/9/9/8K w - 1", NO_MOVES_GOTE},
                                           ResultCase{"k+R7/9/1R7/9/9/9/9/9/8K w - 1", 0},
                                           ResultCase{"9/9/9/9/9/9/9/9/9 b - 1", NO_MOVES_SENTE},
                                           ResultCase{"9/9/9/9/9/9/9/9/9 w - 1", NO_MOVES_GOTE}),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

bool contains(const std::vector<Move>& moves, Move m) {
    return std::find(moves.begin(), moves.end(), m) != moves.end();
}

TEST(MoveGeneration, ForcedAndOptionalPromotionsInOrder) {
    Position p = positionFromSfen("k8/9/6N2/9/4N4/9/9/9/8K b - 1");
    auto moves = allMoves(p);
    // From rank 3 to rank 1 only the promotion.
    EXPECT_TRUE(contains(moves, makeBoardMove(0x33, 0x21, SENTE + KNIGHT, true)));
    EXPECT_FALSE(contains(moves, makeBoardMove(0x33, 0x21, SENTE + KNIGHT, false)));
    // From rank 5 to rank 3: the promotion first, then the plain move.
    auto promote = std::find(moves.begin(), moves.end(), makeBoardMove(0x55, 0x63, SENTE + KNIGHT, true));
    ASSERT_NE(promote, moves.end());
    ASSERT_NE(promote + 1, moves.end());
    EXPECT_EQ(*(promote + 1), makeBoardMove(0x55, 0x63, SENTE + KNIGHT, false));
}

TEST(MoveGeneration, RookLeavingTheZoneStillMayPromote) {
    Position p = positionFromSfen("k8/9/4R4/9/9/9/9/9/8K b - 1");
    auto moves = allMoves(p);
    EXPECT_TRUE(contains(moves, makeBoardMove(0x53, 0x57, SENTE + ROOK, true)));
    EXPECT_TRUE(contains(moves, makeBoardMove(0x53, 0x57, SENTE + ROOK, false)));
}

TEST(MoveGeneration, PinnedPiecesMoveOnlyAlongThePin) {
    // The rook on 55 is pinned by the second player's rook on 51 against the king on 59.
    Position p = positionFromSfen("k3r4/9/9/9/4R3N/9/9/9/4K4 b - 1");
    auto moves = allMoves(p);
    for (Move m : moves)
        if (m.from == 0x55) {
            EXPECT_EQ(fileOf(m.to), 5);
        }
    EXPECT_TRUE(contains(moves, makeBoardMove(0x55, 0x51, SENTE + ROOK, true)));  // takes the pinner
    EXPECT_TRUE(contains(moves, makeBoardMove(0x55, 0x58, SENTE + ROOK, false)));
    Position knight = positionFromSfen("k3r4/9/9/9/4N4/9/9/9/4K4 b - 1");
    for (Move m : allMoves(knight)) EXPECT_NE(m.from, 0x55);
}

TEST(MoveGeneration, DoubleCheckAllowsOnlyKingMovesAndNotAlongTheCheckingLine) {
    Position p = positionFromSfen("k8/9/9/9/4r4/9/5b3/4K4/9 b G 1");
    ASSERT_EQ(std::popcount(checkWord(p, SENTE)), 2);
    auto moves = allMoves(p);
    ASSERT_FALSE(moves.empty());
    for (Move m : moves) {
        EXPECT_EQ(m.piece, SENTE + KING);
        EXPECT_NE(m.to, 0x59);  // straight back along the rook's file
    }
}

TEST(MoveGeneration, TwoPawnsAndDropPawnMate) {
    // A pawn on file 1 forbids another; a promoted pawn does not.
    Position p = positionFromSfen("k8/9/9/9/9/9/8P/7+P1/8K b P 1");
    auto moves = allMoves(p);
    for (Move m : moves)
        if (m.isDrop()) {
            EXPECT_NE(fileOf(m.to), 1);
        }
    EXPECT_TRUE(contains(moves, makeDrop(0x25, SENTE + PAWN)));
    // The gold on 23 guards the pawn on 12, the knight blocks 21: a pawn drop there would mate.
    Position dropMate = positionFromSfen("7nk/9/7G1/9/9/9/9/9/K8 b P 1");
    EXPECT_FALSE(contains(allMoves(dropMate), makeDrop(0x12, SENTE + PAWN)));
    EXPECT_TRUE(contains(allMoves(dropMate, true), makeDrop(0x12, SENTE + PAWN)));
    // With a flight square the pawn drop is an ordinary check.
    Position escape = positionFromSfen("7nk/9/6G2/9/9/9/9/9/K8 b P 1");
    EXPECT_TRUE(contains(allMoves(escape), makeDrop(0x12, SENTE + PAWN)));
}

}  // namespace
}  // namespace nagare

namespace nagare {
namespace {

// A drop vacates no square: the check test of a bishop dropped in the corner must stop at the wall
// instead of taking the wall element beside square 0 for the vacated from square.
TEST(GivesCheck, DropsInTheCornerStopAtTheWall) {
    Position p = test::positionFromSfen("8k/9/9/9/9/9/9/9/K8 b B 1");
    for (Square s : {0x11, 0x19, 0x91, 0x99}) {
        if (p.at(s) != EMPTY) continue;
        Position q = p;
        const Move drop = makeDrop(s, SENTE + BISHOP);
        makeMove(q, drop);
        EXPECT_EQ(givesCheck(p, drop), test::kingAttacked(q, GOTE)) << std::hex << s;
    }
}

// A diagram that was never validated may leave the second player's king capturable with the first
// player to move; the move that takes it is the strongest check there is, never a wild read.
TEST(GivesCheck, TakingACapturableKingCountsAsCheck) {
    Position p = test::positionFromSfen("4k4/4G4/9/9/4R4/9/9/9/K8 b - 1");
    const Move byGold = makeBoardMove(0x52, 0x51, SENTE + GOLD, false);
    EXPECT_TRUE(givesCheck(p, byGold));
    Position q = test::positionFromSfen("4k4/9/9/9/4R4/9/9/9/K8 b - 1");
    EXPECT_TRUE(givesCheck(q, makeBoardMove(0x55, 0x51, SENTE + ROOK, false)));
    EXPECT_TRUE(givesCheck(q, makeBoardMove(0x55, 0x51, SENTE + ROOK, true)));
}

}  // namespace
}  // namespace nagare
