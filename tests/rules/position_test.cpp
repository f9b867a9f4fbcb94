#include "rules/position.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "../support/rebuild.h"
#include "../support/sfen.h"
#include "rules/attacks.h"
#include "rules/key_tables.h"
#include "rules/move_generation.h"

namespace nagare {
namespace {

using test::matchesRebuild;
using test::positionFromSfen;

// Positions with promoted pieces, full hands, both kings exposed, and checks.
const char* const PLAYOUT_POSITIONS[] = {
    test::STARTING_POSITION,
    "R8/2K1S1SSk/4B4/9/9/9/9/9/1L1L1L3 b RBGSNLP3g3n17p 1",
    "l6nl/5+P1gk/2np1S3/p1p4Pp/3P2Sp1/1PPb2P1P/P5GS1/R8/LN4bKL w GR5pnsg 1",
    "7Sl/+L4l3/2np2+P1k/2p1p2rp/4PNB2/4b1S2/1pP2P2P/3+p+rS1K1/GN4G1L b N6P2gsp 1",
    "4g2+Nl/3s5/+R1+N3gp1/2p1p3p/5pnPP/PPP1Pk1S1/3P+rl+p1L/2SKG2N1/+b2G2P2 b Pbsl3p 1",
    "k1+P4n1/2L+P2sL1/r4+P+P1P/+BpP+Pl1+Rg1/NP1S+PP+p1g/2L+p1g+P1+P/Ps1G1+P1N1/1sN1P4/B8 b - 1",
};

// The offsets of the checkpoint's position image, as the file format fixes them: the code's names
// must not move with the code.
static_assert(IMAGE_BOARD == 0);
static_assert(IMAGE_ATTACK == 192);
static_assert(IMAGE_HAND == 1600);
static_assert(IMAGE_PLY == 1760);
static_assert(IMAGE_SIDE_TO_MOVE == 1762);
static_assert(IMAGE_KING_SQUARE == 1764);
static_assert(IMAGE_ON_BOARD == 1772);
static_assert(IMAGE_IN_HAND == 1780);
static_assert(IMAGE_PN_THR == 1788);
static_assert(IMAGE_DN_THR == 1792);
static_assert(IMAGE_PN == 1796);
static_assert(IMAGE_DN == 1800);
static_assert(IMAGE_PREV_PN == 1804);
static_assert(IMAGE_PREV_DN == 1808);
static_assert(IMAGE_LAST_CHILD_KEY == 1812);
static_assert(IMAGE_SUM_SAFE == 1820);
static_assert(IMAGE_EFFORT == 1824);
static_assert(IMAGE_TREE_SIZE == 1832);
static_assert(IMAGE_LOOP_TAINTED == 1840);
static_assert(IMAGE_LOOP_PLY == 1842);
static_assert(IMAGE_VISITS == 1844);
static_assert(IMAGE_ON_GIVEN_LINE == 1846);
static_assert(IMAGE_CHILDREN == 1848);
static_assert(IMAGE_SYMMETRIC == 1856);
static_assert(IMAGE_LAST_MOVE == 1857);
static_assert(IMAGE_KILLER == 1864);
static_assert(IMAGE_FUTILE_DROP == 1868);
static_assert(IMAGE_STATE == 1872);
static_assert(IMAGE_OPEN_PLY == 1876);
static_assert(IMAGE_BOARD_KEY == 1880);
static_assert(IMAGE_HAND_KEY == 1888);
static_assert(IMAGE_KEY == 1896);
static_assert(IMAGE_PATH_KEY == 1904);
static_assert(IMAGE_LAST_MOVE_PATH_KEY == 1912);
static_assert(IMAGE_PARENT == 1920);

TEST(PositionImage, FieldsSitAtTheirOffsets) {
    Position p = positionFromSfen(test::STARTING_POSITION);
    p.ply = 0x1234;
    p.pnThr = 0x01020304;
    p.dnThr = 0x05060708;
    p.pn = 11;
    p.dn = 12;
    p.prevPn = 13;
    p.prevDn = 14;
    p.lastChildKey = 0x1122334455667788ULL;
    p.sumSafe = 1;
    p.effort = 0xa1a2a3a4a5a6a7a8ULL;
    p.treeSize = 0xb1b2b3b4b5b6b7b8ULL;
    p.loopTainted = 1;
    p.loopPly = 0x2345;
    p.visits = 0x3456;
    p.onGivenLine = 1;
    p.symmetric = 1;
    p.lastMove = Move{0x77, 0x76, 17, 1};
    p.killer = 0xc1c2c3c4;
    p.futileDrop = 1;
    p.state = 3;
    p.openPly = 0x0456;
    p.pathKey = 0xd1d2d3d4d5d6d7d8ULL;
    p.lastMovePathKey = 0xe1e2e3e4e5e6e7e8ULL;
    std::vector<uint8_t> image(POSITION_IMAGE_SIZE);
    writePositionImage(p, image.data());

    auto u16 = [&](int o) { return image[o] | image[o + 1] << 8; };
    auto u32 = [&](int o) { return uint32_t(u16(o)) | uint32_t(u16(o + 2)) << 16; };
    auto u64 = [&](int o) { return uint64_t(u32(o)) | uint64_t(u32(o + 4)) << 32; };
    EXPECT_EQ(image[IMAGE_BOARD + 0x77 + 16], SENTE + PAWN);  // board element of square s at s + 16
    EXPECT_EQ(image[IMAGE_BOARD], WALL);
    EXPECT_EQ(u32(IMAGE_ATTACK + 4 * 0x76), p.attack[0][0x76]);
    EXPECT_EQ(u32(IMAGE_ATTACK + 4 * (SQUARE_SPAN + 0x74)), p.attack[1][0x74]);
    EXPECT_EQ(u32(IMAGE_HAND + 4 * 17), 0u);
    EXPECT_EQ(u16(IMAGE_PLY), 0x1234);
    EXPECT_EQ(image[IMAGE_SIDE_TO_MOVE], SENTE);
    EXPECT_EQ(u32(IMAGE_KING_SQUARE), 0x59u);  // the first player's king on 59
    EXPECT_EQ(u32(IMAGE_KING_SQUARE + 4), 0x51u);
    EXPECT_EQ(u32(IMAGE_ON_BOARD), 20u);
    EXPECT_EQ(u32(IMAGE_ON_BOARD + 4), 20u);
    EXPECT_EQ(u32(IMAGE_IN_HAND), 0u);
    EXPECT_EQ(u32(IMAGE_PN_THR), 0x01020304u);
    EXPECT_EQ(u32(IMAGE_DN_THR), 0x05060708u);
    EXPECT_EQ(u32(IMAGE_PN), 11u);
    EXPECT_EQ(u32(IMAGE_DN), 12u);
    EXPECT_EQ(u32(IMAGE_PREV_PN), 13u);
    EXPECT_EQ(u32(IMAGE_PREV_DN), 14u);
    EXPECT_EQ(u64(IMAGE_LAST_CHILD_KEY), 0x1122334455667788ULL);
    EXPECT_EQ(image[IMAGE_SUM_SAFE], 1);
    EXPECT_EQ(u64(IMAGE_EFFORT), 0xa1a2a3a4a5a6a7a8ULL);
    EXPECT_EQ(u64(IMAGE_TREE_SIZE), 0xb1b2b3b4b5b6b7b8ULL);
    EXPECT_EQ(image[IMAGE_LOOP_TAINTED], 1);
    EXPECT_EQ(u16(IMAGE_LOOP_PLY), 0x2345);
    EXPECT_EQ(u16(IMAGE_VISITS), 0x3456);
    EXPECT_EQ(image[IMAGE_ON_GIVEN_LINE], 1);
    EXPECT_EQ(image[IMAGE_SYMMETRIC], 1);
    EXPECT_EQ(image[IMAGE_LAST_MOVE], 0x77);
    EXPECT_EQ(image[IMAGE_LAST_MOVE + 1], 0x76);
    EXPECT_EQ(image[IMAGE_LAST_MOVE + 2], 17);
    EXPECT_EQ(image[IMAGE_LAST_MOVE + 3], 1);
    EXPECT_EQ(u32(IMAGE_KILLER), 0xc1c2c3c4u);
    EXPECT_EQ(image[IMAGE_FUTILE_DROP], 1);
    EXPECT_EQ(u32(IMAGE_STATE), 3u);
    EXPECT_EQ(u16(IMAGE_OPEN_PLY), 0x0456);
    EXPECT_EQ(u64(IMAGE_BOARD_KEY), p.boardKey);
    EXPECT_EQ(u64(IMAGE_HAND_KEY), p.handKey);
    EXPECT_EQ(u64(IMAGE_KEY), p.key);
    EXPECT_EQ(u64(IMAGE_PATH_KEY), 0xd1d2d3d4d5d6d7d8ULL);
    EXPECT_EQ(u64(IMAGE_LAST_MOVE_PATH_KEY), 0xe1e2e3e4e5e6e7e8ULL);
    // The bytes between fields are zero.
    for (int zero : {IMAGE_SIDE_TO_MOVE + 1, IMAGE_SUM_SAFE + 1, IMAGE_SUM_SAFE + 2, IMAGE_SUM_SAFE + 3,
                     IMAGE_LOOP_TAINTED + 1, IMAGE_ON_GIVEN_LINE + 1, IMAGE_LAST_MOVE + 4,
                     IMAGE_LAST_MOVE + 5, IMAGE_LAST_MOVE + 6, IMAGE_FUTILE_DROP + 1, IMAGE_FUTILE_DROP + 2,
                     IMAGE_FUTILE_DROP + 3, IMAGE_OPEN_PLY + 2, IMAGE_OPEN_PLY + 3})
        EXPECT_EQ(image[zero], 0) << "offset " << zero;

    Position back{};
    readPositionImage(back, image.data());
    std::vector<uint8_t> again(POSITION_IMAGE_SIZE);
    writePositionImage(back, again.data());
    EXPECT_EQ(again, image);  // the pointer fields were null on both sides
}

TEST(KeyTables, DrawnInTheFixedOrderFromTheDefaultSeed) {
    const KeyTables& t = keyTables();
    auto draw = [](uint64_t index) {
        std::mt19937_64 rng;
        rng.discard(index);
        return rng();
    };
    EXPECT_EQ(t.board[0][0x11], 14514284786278117030ULL);  // the engine's first output
    EXPECT_EQ(t.board[0][0x12], draw(1));
    EXPECT_EQ(t.board[1][0x11], draw(137));
    EXPECT_EQ(t.board[47][0x99], draw(48 * 137 - 1));
    const uint64_t handStart = 48 * 137;
    EXPECT_EQ(t.hand[17][0], draw(handStart));
    EXPECT_EQ(t.hand[39][299], draw(handStart + 23 * 300 - 1));
    const uint64_t fromStart = handStart + 23 * 300;
    EXPECT_EQ(t.from(0, 0), draw(fromStart));
    EXPECT_EQ(t.from(76, 5), draw(fromStart + 76 * 3000 + 5));
    const uint64_t toStart = fromStart + 100 * 3000;
    EXPECT_EQ(t.to(99, 2999), draw(toStart + 100 * 3000 - 1));
    const uint64_t pieceStart = toStart + 100 * 3000;
    EXPECT_EQ(t.piece(17, 0), draw(pieceStart));
    EXPECT_EQ(t.piece(47, 2999), draw(pieceStart + 31 * 3000 - 1));
    const uint64_t promoteStart = pieceStart + 31 * 3000;
    EXPECT_EQ(t.promote(1, 2999), draw(promoteStart + 2 * 3000 - 1));
    EXPECT_EQ(t.hand[16][5], 0u);  // rows outside the drawn codes stay zero
}

TEST(Keys, SideToMoveIsBit63AndTheRestIsBoardXorHand) {
    Position b = positionFromSfen("4k4/9/9/9/9/9/9/9/4K4 b G 1");
    Position w = positionFromSfen("4k4/9/9/9/9/9/9/9/4K4 w G 1");
    EXPECT_EQ(b.key ^ w.key, 1ULL << 63);
    EXPECT_EQ(b.key >> 63, 1u);
    EXPECT_EQ(b.key & ~(1ULL << 63), (b.boardKey ^ b.handKey) & ~(1ULL << 63));
    EXPECT_EQ(b.boardKey, w.boardKey);
    EXPECT_EQ(b.handKey, w.handKey);
}

TEST(Keys, TranspositionsShareKeysButNotPathKeys) {
    // Drop a gold then a pawn, or a pawn then a gold, with the same replies in between.
    Position start = positionFromSfen("4k4/9/9/9/9/9/9/9/4K4 b GP 1");
    Move gold = makeDrop(0x25, SENTE + GOLD), pawn = makeDrop(0x85, SENTE + PAWN);
    Move away = makeBoardMove(0x51, 0x61, GOTE + KING, false),
         back = makeBoardMove(0x61, 0x51, GOTE + KING, false);
    Position a = start, b = start;
    for (Move m : {gold, away, pawn, back}) makeMove(a, m);
    for (Move m : {pawn, away, gold, back}) makeMove(b, m);
    EXPECT_EQ(a.key, b.key);
    EXPECT_EQ(a.handKey, b.handKey);
    EXPECT_NE(a.pathKey, b.pathKey);
    EXPECT_EQ(a.hand[SENTE + GOLD], 0);
    EXPECT_TRUE(matchesRebuild(a));
    // With the hand empty again, no entry of the dropped kinds remains in the hand key.
    EXPECT_EQ(a.handKey, positionFromSfen("4k4/9/9/9/9/9/9/9/4K4 b - 1").handKey);
}

// The move keys have a column per ply up to the deepest search; a line played out further (a long
// move list, a line written out) keeps to the last column instead of reading past the tables.
TEST(MakeMove, MoveKeysBeyondTheDeepestPlyUseTheLastColumn) {
    const KeyTables& t = keyTables();
    const Move promotes = makeBoardMove(0x53, 0x52, SENTE + SILVER, true);
    const int last = MAX_PLY - 1;
    const uint64_t lastColumn = t.from(squareRow(0x53), last) ^ t.to(squareRow(0x52), last) ^
                                t.promote(1, last) ^ t.piece(SENTE + SILVER, last);
    for (int ply : {MAX_PLY - 1, MAX_PLY, 32767, -1}) {
        Position p = positionFromSfen("k8/9/4S4/9/9/9/9/9/K8 b - 1");
        p.ply = static_cast<int16_t>(ply);
        makeMove(p, promotes);
        EXPECT_EQ(p.lastMovePathKey, lastColumn) << ply;
    }
}

TEST(MakeMove, CapturedPromotedPiecesGoToHandUnpromoted) {
    // The first player's silver takes a dragon, then its pawn takes a promoted pawn.
    Position p = positionFromSfen("4k4/9/9/9/3+r+p4/3SP4/9/9/4K4 b - 1");
    makeMove(p, makeBoardMove(0x66, 0x65, SENTE + SILVER, false));
    EXPECT_EQ(p.hand[SENTE + ROOK], 1);
    EXPECT_TRUE(matchesRebuild(p));
    makeMove(p, makeBoardMove(0x51, 0x52, GOTE + KING, false));
    makeMove(p, makeBoardMove(0x56, 0x55, SENTE + PAWN, false));
    EXPECT_EQ(p.hand[SENTE + PAWN], 1);
    EXPECT_EQ(p.inHand[0], 2);
    EXPECT_EQ(p.onBoard[1], 1);
    EXPECT_TRUE(matchesRebuild(p));
}

TEST(MakeMove, RaysAreCutAndReopenedAndEndOnTheWall) {
    // A rook on 19 looks up the file to the wall; a drop on 15 cuts it; moving off reopens it.
    Position p = positionFromSfen("k8/9/9/9/9/9/9/9/K7R b S 1");
    const uint32_t up = 1u << (SLIDE_BIT_SHIFT + 6);  // direction 6: towards rank 1
    EXPECT_TRUE(p.attack[0][0x11] & up);
    EXPECT_TRUE(p.attack[0][0x10] & up);  // the wall element above rank 1 is marked too
    makeMove(p, makeDrop(0x15, SENTE + SILVER));
    EXPECT_TRUE(p.attack[0][0x15] & up);
    EXPECT_FALSE(p.attack[0][0x14] & up);
    EXPECT_TRUE(matchesRebuild(p));
    makeMove(p, makeBoardMove(0x91, 0x81, GOTE + KING, false));
    makeMove(p, makeBoardMove(0x15, 0x24, SENTE + SILVER, false));
    EXPECT_TRUE(p.attack[0][0x11] & up);
    EXPECT_TRUE(matchesRebuild(p));
}

// A diagram may hold pieces that could never move, to be refused once it is shown: building it must
// still write nothing outside the attack maps. A first player's knight on 1一 jumps below square 0.
TEST(SetUp, PiecesThatCanNeverMoveLeaveTheWallAlone) {
    Position p = positionFromSfen("k6PN/8N/9/9/9/9/9/9/4K3n w - 1");
    for (int element = 0; element < BOARD_ELEMENTS; ++element) {
        if (isPlayable(element - BOARD_OFFSET)) continue;
        EXPECT_EQ(p.board[element], WALL) << "element " << element;
    }
    EXPECT_EQ(p.at(0x11), SENTE + KNIGHT);
    EXPECT_EQ(p.attack[0][0x11 + 14], 1u << 8);  // its other jump lands on the wall below file 1
}

TEST(MakeMove, ObstaclesStopRaysAndCountForNoSide) {
    std::array<uint8_t, 81> cells{};
    cells[0] = GOTE + KING;           // 91
    cells[9 * 4 + 4] = WALL;          // ● on 55
    cells[9 * 8 + 4] = SENTE + ROOK;  // 59
    cells[9 * 8 + 8] = SENTE + KING;  // 19
    std::array<int32_t, 40> hands{};
    Position p{};
    setUp(p, cells.data(), hands.data(), SENTE);
    EXPECT_TRUE(isConsistentPosition(p));
    EXPECT_EQ(p.onBoard[0], 2);
    EXPECT_EQ(p.onBoard[1], 1);
    const uint32_t up = 1u << (SLIDE_BIT_SHIFT + 6);
    EXPECT_TRUE(p.attack[0][0x55] & up);
    EXPECT_FALSE(p.attack[0][0x54] & up);
    Move buffer[MOVE_BUFFER_SIZE];
    int n = generateAllMoves(p, buffer);
    for (int i = 0; i < n; ++i) EXPECT_NE(buffer[i].to, 0x55);
    std::array<uint8_t, 81> plain = cells;
    plain[9 * 4 + 4] = EMPTY;
    Position q{};
    setUp(q, plain.data(), hands.data(), SENTE);
    EXPECT_NE(p.boardKey, q.boardKey);
}

// Random games from varied positions: after every move the incremental maps, keys and counters
// equal a rebuild from scratch.
TEST(MakeMove, IncrementalStateEqualsRebuildOverRandomGames) {
    std::mt19937 rng(12345);
    Move buffer[MOVE_BUFFER_SIZE];
    int movesChecked = 0;
    for (const char* sfen : PLAYOUT_POSITIONS) {
        for (int game = 0; game < 40; ++game) {
            Position p = positionFromSfen(sfen);
            for (int ply = 0; ply < 120; ++ply) {
                int n = generateAllMoves(p, buffer);
                if (n <= 0) break;
                Move m = buffer[rng() % n];
                makeMove(p, m);
                ++movesChecked;
                ASSERT_TRUE(matchesRebuild(p)) << sfen << " game " << game << " ply " << ply;
                // What a checkpoint holds of such a game is taken back when it is read.
                ASSERT_TRUE(isWellFormedMove(m));
                ASSERT_TRUE(isConsistentPosition(p)) << sfen << " game " << game << " ply " << ply;
                ASSERT_EQ(p.lastMove, m);
                ASSERT_EQ(p.ply, ply + 1);
            }
        }
    }
    EXPECT_GT(movesChecked, 10000);
}

// A child made without its board and built only when entered is, once built, the child makeChild
// makes: over random games, every reply of the second player is made both ways and compared field by
// field. An interposing drop leaves its own square attacked as before, which is what lets the futile
// mark of an unbuilt child read its parent's maps.
TEST(MakeMove, AnUnbuiltChildOnceBuiltEqualsTheChildMadeAtOnce) {
    std::mt19937 rng(2024);
    Move buffer[MOVE_BUFFER_SIZE];
    const NodeRules rules{0x112, true, false};
    int compared = 0;
    for (const char* sfen : PLAYOUT_POSITIONS) {
        for (int game = 0; game < 10; ++game) {
            std::vector<Position> path(121);
            path[0] = positionFromSfen(sfen);
            resetSearchFields(path[0], rules);
            for (int ply = 0; ply < 120; ++ply) {
                Position& p = path[ply];
                const int n = generateAllMoves(p, buffer);
                if (n <= 0) break;
                if (p.sideToMove == GOTE) {
                    const bool inCheckNow = inCheck(p, GOTE);
                    for (int i = 0; i < n; ++i) {
                        const Move m = buffer[i];
                        const MoveKeys keys = keysAfterMove(p, m);
                        Position made{}, unbuilt{};
                        makeChild(p, made, m, keys, rules);
                        makeUnbuiltChild(p, unbuilt, m, keys, rules);
                        ASSERT_EQ(unbuilt.unbuilt, 1);
                        EXPECT_EQ(unbuilt.futileDrop, made.futileDrop);
                        buildChild(unbuilt, rules);
                        SCOPED_TRACE(std::string(sfen) + " game " + std::to_string(game) + " ply " +
                                     std::to_string(ply) + " move " + std::to_string(i));
                        ASSERT_EQ(unbuilt.board, made.board);
                        ASSERT_EQ(unbuilt.attack, made.attack);
                        ASSERT_EQ(unbuilt.hand, made.hand);
                        ASSERT_EQ(unbuilt.kingSquare, made.kingSquare);
                        ASSERT_EQ(unbuilt.onBoard, made.onBoard);
                        ASSERT_EQ(unbuilt.inHand, made.inHand);
                        ASSERT_EQ(unbuilt.ply, made.ply);
                        ASSERT_EQ(unbuilt.sideToMove, made.sideToMove);
                        ASSERT_EQ(unbuilt.key, made.key);
                        ASSERT_EQ(unbuilt.boardKey, made.boardKey);
                        ASSERT_EQ(unbuilt.handKey, made.handKey);
                        ASSERT_EQ(unbuilt.pathKey, made.pathKey);
                        ASSERT_EQ(unbuilt.lastMovePathKey, made.lastMovePathKey);
                        ASSERT_EQ(unbuilt.lastMove, made.lastMove);
                        ASSERT_EQ(unbuilt.parent, made.parent);
                        ASSERT_EQ(unbuilt.symmetric, made.symmetric);
                        ASSERT_EQ(unbuilt.sumSafe, made.sumSafe);
                        ASSERT_EQ(unbuilt.pn, made.pn);
                        ASSERT_EQ(unbuilt.dn, made.dn);
                        ASSERT_EQ(unbuilt.openPly, made.openPly);
                        ASSERT_EQ(unbuilt.unbuilt, 0);
                        ASSERT_TRUE(matchesRebuild(unbuilt));
                        if (inCheckNow && m.isDrop()) {
                            for (Side side : {SENTE, GOTE})
                                ASSERT_EQ(made.attacksOf(side)[m.to], p.attacksOf(side)[m.to]);
                        }
                        ++compared;
                    }
                }
                makeChild(p, path[ply + 1], buffer[rng() % n], rules);
            }
        }
    }
    EXPECT_GT(compared, 10000);
}

// A position read from a file that no rules could have built is told apart from every real one.
struct DamagedPosition {
    const char* name;
    void (*damage)(Position&);
};

class PositionConsistency : public ::testing::TestWithParam<DamagedPosition> {};

TEST_P(PositionConsistency, RefusesWhatTheRulesCannotBuild) {
    Position p = positionFromSfen(PLAYOUT_POSITIONS[2]);
    ASSERT_TRUE(isConsistentPosition(p));
    GetParam().damage(p);
    EXPECT_FALSE(isConsistentPosition(p));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PositionConsistency,
    ::testing::Values(
        DamagedPosition{"PieceOnTheWall", [](Position& p) { p.board[0] = SENTE + PAWN; }},
        DamagedPosition{"NoSuchPieceCode", [](Position& p) { p.at(0x55) = 0x51; }},
        DamagedPosition{"PieceWithoutItsAttacks", [](Position& p) { p.at(0x55) = SENTE + GOLD; }},
        DamagedPosition{"NegativeHand", [](Position& p) { p.hand[SENTE + PAWN] = -1; }},
        DamagedPosition{"HandBeyondTheKeys", [](Position& p) { p.hand[GOTE + PAWN] = MAX_HAND_COUNT + 1; }},
        DamagedPosition{"KingInHand", [](Position& p) { p.hand[SENTE + KING] = 1; }},
        DamagedPosition{"NoSideToMove", [](Position& p) { p.sideToMove = 0; }},
        DamagedPosition{"PlyBeyondThePathKeys", [](Position& p) { p.ply = MAX_PLY; }},
        DamagedPosition{"StaleAttackMap", [](Position& p) { p.attack[1][0x55] ^= 1; }},
        DamagedPosition{"StaleKey", [](Position& p) { p.key ^= 1; }},
        DamagedPosition{"StaleCounter", [](Position& p) { ++p.inHand[0]; }}),
    [](const ::testing::TestParamInfo<DamagedPosition>& info) { return std::string(info.param.name); });

TEST(MoveShape, OnlyMovesInsideTheTablesAreWellFormed) {
    EXPECT_TRUE(isWellFormedMove(Move{}));
    EXPECT_TRUE(isWellFormedMove(makeDrop(0x55, GOTE + ROOK)));
    EXPECT_TRUE(isWellFormedMove(makeBoardMove(0x77, 0x76, SENTE + DRAGON, false)));
    EXPECT_FALSE(isWellFormedMove(makeDrop(0x55, SENTE + DRAGON)));  // promoted pieces are never in hand
    EXPECT_FALSE(isWellFormedMove(makeDrop(0x55, SENTE + KING)));
    EXPECT_FALSE(isWellFormedMove(Move{5, 0x55, SENTE + PAWN, 0}));  // a drop comes from square 0
    EXPECT_FALSE(isWellFormedMove(makeBoardMove(0x77, 0x70, SENTE + PAWN, false)));
    EXPECT_FALSE(isWellFormedMove(makeBoardMove(0xa7, 0x97, SENTE + PAWN, false)));
    EXPECT_FALSE(isWellFormedMove(Move{0x77, 0x76, 0x51, 0}));
    EXPECT_FALSE(isWellFormedMove(Move{0x77, 0x76, WALL, 0}));
    EXPECT_FALSE(isWellFormedMove(Move{0x77, 0x76, SENTE + PAWN, 2}));
}

// Plays `moves` from `root` with makeChild, each child linked to the one before.
std::vector<Position> playPath(const Position& root, const std::vector<Move>& moves, const NodeRules& rules) {
    std::vector<Position> path(moves.size());
    const Position* parent = &root;
    for (size_t i = 0; i < moves.size(); ++i) parent = &makeChild(*parent, path[i], moves[i], rules);
    return path;
}

Move kingStep(Side side, Square from, Square to) {
    return makeBoardMove(from, to, side + KING, false);
}

TEST(FindAncestorRepeat, FindsTheSamePositionFourPliesUp) {
    Position root = positionFromSfen("4k4/9/9/9/9/9/9/9/4K4 b R 1");
    NodeRules rules{0x112, false, false};
    auto path = playPath(root,
                         {kingStep(SENTE, 0x59, 0x58), kingStep(GOTE, 0x51, 0x52),
                          kingStep(SENTE, 0x58, 0x59), kingStep(GOTE, 0x52, 0x51)},
                         rules);
    EXPECT_EQ(findAncestorRepeat(path[3], rules), &root);
    EXPECT_EQ(findAncestorRepeat(path[1], rules), nullptr);
    EXPECT_EQ(findAncestorRepeat(root, rules), nullptr);
}

TEST(FindAncestorRepeat, HandEconomyTreatsTheSameBoardWithAPoorerHandAsARepeat) {
    // The first player drops its gold, the silver takes it and goes home, both kings walk round:
    // after ten plies the board is the root's again, with the gold now in the second player's hand.
    Position root = positionFromSfen("4k4/3s5/9/9/9/9/9/9/4K4 b G 1");
    std::vector<Move> moves = {makeDrop(0x52, SENTE + GOLD), makeBoardMove(0x61, 0x52, GOTE + SILVER, false),
                               kingStep(SENTE, 0x59, 0x58),  makeBoardMove(0x52, 0x61, GOTE + SILVER, false),
                               kingStep(SENTE, 0x58, 0x59),  kingStep(GOTE, 0x51, 0x41),
                               kingStep(SENTE, 0x59, 0x58),  kingStep(GOTE, 0x41, 0x42),
                               kingStep(SENTE, 0x58, 0x59),  kingStep(GOTE, 0x42, 0x51)};
    NodeRules economy{0x112, false, true};
    auto path = playPath(root, moves, economy);
    const Position& last = path.back();
    ASSERT_EQ(last.boardKey, root.boardKey);
    ASSERT_NE(last.key, root.key);
    EXPECT_EQ(findAncestorRepeat(last, economy), &root);
    EXPECT_EQ(findAncestorRepeat(last, NodeRules{0x112, false, false}), nullptr);
    // 最善自玉詰 weighs the second player's hand, which has grown: no repeat.
    EXPECT_EQ(findAncestorRepeat(last, NodeRules{0x122, false, true}), nullptr);
}

// The rook comes to 58 with check; the second player interposes a gold.
struct InterpositionCase {
    const char* sfen;
    Square drop;
    int expectedFutile;
};

class FutileDropMarks : public ::testing::TestWithParam<InterpositionCase> {};

TEST_P(FutileDropMarks, MarkInterpositionsThatCannotHold) {
    const InterpositionCase& c = GetParam();
    Position root = positionFromSfen(c.sfen);
    NodeRules rules{0x112, false, true};
    auto path = playPath(
        root, {makeBoardMove(0x88, 0x58, SENTE + ROOK, false), makeDrop(c.drop, GOTE + GOLD)}, rules);
    EXPECT_EQ(path[1].futileDrop, c.expectedFutile);
    EXPECT_EQ(path[1].sumSafe, 1);
    // Under other genres nothing is marked.
    auto plain =
        playPath(root, {makeBoardMove(0x88, 0x58, SENTE + ROOK, false), makeDrop(c.drop, GOTE + GOLD)},
                 NodeRules{0x111, false, false});
    EXPECT_EQ(plain[1].futileDrop, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Interpositions, FutileDropMarks,
    ::testing::Values(InterpositionCase{"4k4/9/9/9/9/9/9/1R7/8K b - 1", 0x55, 1},  // nothing covers 55
                      InterpositionCase{"4k4/9/9/9/9/9/9/1R7/8K b - 1", 0x52, 0},  // the king covers 52
                      InterpositionCase{"4k4/9/5G3/9/9/9/9/1R7/8K b - 1", 0x52,
                                        1}),  // only the king, and two attackers
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(SymmetryFlag, SetOnlyForAMirrorBoardWithTheKingOnTheCentreFile) {
    NodeRules on{0x112, true, false};
    Position root = positionFromSfen("3gkg3/9/9/9/9/9/9/9/4K4 b R 1");
    resetSearchFields(root, on);
    EXPECT_EQ(root.symmetric, 1);
    resetSearchFields(root, NodeRules{0x112, false, false});
    EXPECT_EQ(root.symmetric, 0);
    Position lopsided = positionFromSfen("3gkgs2/9/9/9/9/9/9/9/4K4 b R 1");
    resetSearchFields(lopsided, on);
    EXPECT_EQ(lopsided.symmetric, 0);
    Position offCentre = positionFromSfen("2gkg4/9/9/9/9/9/9/9/4K4 b R 1");
    resetSearchFields(offCentre, on);
    EXPECT_EQ(offCentre.symmetric, 0);
}

}  // namespace
}  // namespace nagare
