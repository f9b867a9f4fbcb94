// The position record: the position itself (board, attack maps, hands, keys) and, in the same
// record, the node of the proof-number search. Positions are copied whole; there is no unmake.
#pragma once

#include <array>
#include <cstdint>

#include "rules/board_geometry.h"
#include "rules/move.h"
#include "rules/rule_set.h"

namespace nagare {

// Proof and disproof numbers.
constexpr int32_t PN_INFINITE = 0x7fffffff;  // the opposite number of a final result
constexpr int32_t PN_CAP = 0x7fffff;         // largest threshold; pn of a bounded non-proof
constexpr int16_t NO_PLY = 0x7fff;           // no ply
constexpr int MAX_PLY = 3000;                // the path-key tables have this many columns

constexpr uint32_t NODE_STATE_NORMAL = 2;
constexpr uint32_t NODE_STATE_ABORTED = 3;

// What building a child and the repetition test need to know of the problem.
struct NodeRules {
    int genre = GENRE_BEST_MATE;
    bool symmetry = false;     // 対称性検出: mark left-right symmetric positions
    bool handEconomy = false;  // 持駒節約: a repeated board with no better hand counts as a repetition
};

struct Position {
    // --- the position ---
    std::array<uint8_t, BOARD_ELEMENTS> board;  // piece code of square s at board[s + 16]; wall around
    std::array<std::array<uint32_t, SQUARE_SPAN>, 2> attack;  // per side, one attack word per square
    std::array<int32_t, 40> hand;                             // pieces in hand by unpromoted piece code
    int16_t ply;
    uint8_t sideToMove;
    std::array<int32_t, 2> kingSquare;  // 0 when the side has no king
    std::array<int32_t, 2> onBoard;     // pieces on the board, kings included
    std::array<int32_t, 2> inHand;      // pieces in hand

    // --- the search node ---
    int32_t pnThr;
    int32_t dnThr;
    int32_t pn;
    int32_t dn;
    int32_t prevPn;  // pn when the node was last entered
    int32_t prevDn;
    uint64_t lastChildKey;  // key of the child searched last
    uint8_t sumSafe;        // the children's numbers may be summed without overflow
    uint64_t effort;        // estimate of the open work below the node
    uint64_t treeSize;      // nodes in the subtree
    uint8_t loopTainted;    // the non-proof depends on a repetition above the node
    int16_t loopPly;        // shallowest ply of that repetition
    uint16_t visits;        // saturates at 0xffff
    uint8_t onGivenLine;
    Position* children;  // the children list, owned by the search frame that expanded the node
    int32_t childCount;
    uint8_t symmetric;    // left-right symmetric with the second player's king on file 5
    Move lastMove;        // the move that produced this position; null at the root
    uint32_t killer;      // packed move that recently won one ply below a sibling
    uint8_t futileDrop;   // the move into this node is an interposing drop that may be futile (無駄合)
    uint32_t state;       // 2 normal, 3 aborted
    int16_t openPly;      // shallowest ply at which this position is recorded as open
    uint8_t unbuilt;      // board and attack maps not set yet (makeUnbuiltChild); buildChild sets them
    uint8_t tableMissed;  // a fresh child the table did not know when its parent's children were filled
    uint32_t fillStamp;   // the table's count of stores that could decide a fresh child, at that fill

    // --- keys ---
    uint64_t boardKey;         // all 81 squares, empty ones included
    uint64_t handKey;          // all pieces in hand
    uint64_t key;              // boardKey ^ handKey, bit 63 set iff the first player is to move
    uint64_t pathKey;          // the moves from the root, each with its ply
    uint64_t lastMovePathKey;  // the move key the last make-move added to pathKey
    Position* parent;

    uint8_t at(Square s) const { return board[s + BOARD_OFFSET]; }
    uint8_t& at(Square s) { return board[s + BOARD_OFFSET]; }
    const std::array<uint32_t, SQUARE_SPAN>& attacksOf(Side side) const { return attack[sideIndex(side)]; }
    Square kingOf(Side side) const { return kingSquare[sideIndex(side)]; }
    int32_t handCount(PieceCode code) const { return hand[code]; }
};

// The record as it is written to a checkpoint: 1928 bytes, little-endian, each field at the offset
// named here, as wide as the field itself (a move as its four bytes, a pointer as eight, written but
// not used on reading). The bytes between fields are zero.
constexpr int IMAGE_BOARD = 0;                                  // 192 board
constexpr int IMAGE_ATTACK = IMAGE_BOARD + BOARD_ELEMENTS;      // 2 x 704 attack maps
constexpr int IMAGE_HAND = IMAGE_ATTACK + 2 * SQUARE_SPAN * 4;  // 160 hand
constexpr int IMAGE_PLY = IMAGE_HAND + 40 * 4;                  // 2
constexpr int IMAGE_SIDE_TO_MOVE = IMAGE_PLY + 2;               // 1, and 1 zero
constexpr int IMAGE_KING_SQUARE = IMAGE_SIDE_TO_MOVE + 2;       // 8
constexpr int IMAGE_ON_BOARD = IMAGE_KING_SQUARE + 8;           // 8
constexpr int IMAGE_IN_HAND = IMAGE_ON_BOARD + 8;               // 8
constexpr int IMAGE_PN_THR = IMAGE_IN_HAND + 8;                 // 4 each: pnThr dnThr pn dn
constexpr int IMAGE_DN_THR = IMAGE_PN_THR + 4;                  //   prevPn prevDn
constexpr int IMAGE_PN = IMAGE_DN_THR + 4;
constexpr int IMAGE_DN = IMAGE_PN + 4;
constexpr int IMAGE_PREV_PN = IMAGE_DN + 4;
constexpr int IMAGE_PREV_DN = IMAGE_PREV_PN + 4;
constexpr int IMAGE_LAST_CHILD_KEY = IMAGE_PREV_DN + 4;   // 8
constexpr int IMAGE_SUM_SAFE = IMAGE_LAST_CHILD_KEY + 8;  // 1, and 3 zero
constexpr int IMAGE_EFFORT = IMAGE_SUM_SAFE + 4;          // 8
constexpr int IMAGE_TREE_SIZE = IMAGE_EFFORT + 8;         // 8
constexpr int IMAGE_LOOP_TAINTED = IMAGE_TREE_SIZE + 8;   // 1, and 1 zero
constexpr int IMAGE_LOOP_PLY = IMAGE_LOOP_TAINTED + 2;    // 2
constexpr int IMAGE_VISITS = IMAGE_LOOP_PLY + 2;          // 2
constexpr int IMAGE_ON_GIVEN_LINE = IMAGE_VISITS + 2;     // 1, and 1 zero
constexpr int IMAGE_CHILDREN = IMAGE_ON_GIVEN_LINE + 2;   // 8
constexpr int IMAGE_SYMMETRIC = IMAGE_CHILDREN + 8;       // 1
constexpr int IMAGE_LAST_MOVE = IMAGE_SYMMETRIC + 1;      // 4, and 3 zero
constexpr int IMAGE_KILLER = IMAGE_LAST_MOVE + 7;         // 4
constexpr int IMAGE_FUTILE_DROP = IMAGE_KILLER + 4;       // 1, and 3 zero
constexpr int IMAGE_STATE = IMAGE_FUTILE_DROP + 4;        // 4
constexpr int IMAGE_OPEN_PLY = IMAGE_STATE + 4;           // 2, and 2 zero
constexpr int IMAGE_BOARD_KEY = IMAGE_OPEN_PLY + 4;       // 8 each: boardKey handKey key
constexpr int IMAGE_HAND_KEY = IMAGE_BOARD_KEY + 8;       //   pathKey lastMovePathKey
constexpr int IMAGE_KEY = IMAGE_HAND_KEY + 8;
constexpr int IMAGE_PATH_KEY = IMAGE_KEY + 8;
constexpr int IMAGE_LAST_MOVE_PATH_KEY = IMAGE_PATH_KEY + 8;
constexpr int IMAGE_PARENT = IMAGE_LAST_MOVE_PATH_KEY + 8;  // 8
constexpr int POSITION_IMAGE_SIZE = 1928;
static_assert(IMAGE_PARENT + 8 == POSITION_IMAGE_SIZE, "the image holds every field and no more");

void writePositionImage(const Position& p, uint8_t* out);
// Reads an image; the pointer fields come back null and must be rebuilt by the caller.
void readPositionImage(Position& p, const uint8_t* in);

// The most pieces of one kind a hand can be keyed with.
constexpr int32_t MAX_HAND_COUNT = 299;

// A position read from a file is one the rules could have built: a wall all round, piece codes on
// the board, hands within the key tables, a side to move, a ply the path keys cover, and attack
// maps, kings, counters and keys that agree with a rebuild from board, hands and side. The search
// may only be given positions that pass.
bool isConsistentPosition(const Position& p);
// A move whose squares and piece code lie inside the tables: the null move, a drop of a piece that
// can be in hand, or a board move between playable squares. (Not that it is legal anywhere.)
bool isWellFormedMove(Move m);

// Builds a root position. `diagram` holds 81 piece codes row by row from rank 1 to rank 9, each row
// from file 9 to file 1; `hands` is indexed by piece code like Position::hand. Search fields stay 0.
void setUp(Position& p, const uint8_t* diagram, const int32_t* hands, Side side);
void buildAttackMaps(Position& p);
// Applies a move produced by the generators for this position, keeping maps and keys up to date.
void makeMove(Position& p, Move m);
// The keys of the position a move leads to, without playing it: the search starts fetching a child's
// table entries before it builds the child.
struct MoveKeys {
    uint64_t boardKey;
    uint64_t handKey;
    uint64_t key;      // the child's table key
    uint64_t moveKey;  // what the move adds to pathKey
};
MoveKeys keysAfterMove(const Position& p, Move m);
// Copies the parent, plays the move, links the child and gives it fresh search fields.
Position& makeChild(const Position& parent, Position& child, Move m, const NodeRules& rules);
// The same, with the keys of the move already worked out (keysAfterMove).
Position& makeChild(const Position& parent, Position& child, Move m, const MoveKeys& keys,
                    const NodeRules& rules);
// A child the search may never enter: everything of makeChild but the board and the attack maps,
// which cost the most to make. Hands, counts, kings, keys and search fields are set; symmetry is
// worked out when the child is built.
Position& makeUnbuiltChild(const Position& parent, Position& child, Move m, const MoveKeys& keys,
                           const NodeRules& rules);
// Sets the board and the attack maps of an unbuilt child from its parent's, which must still be there.
void buildChild(Position& child, const NodeRules& rules);
void resetSearchFields(Position& p, const NodeRules& rules);
// Nearest ancestor with the same side to move that repeats this position, or under 持駒節約 has the
// same board and a hand at least as good; null when there is none.
const Position* findAncestorRepeat(const Position& p, const NodeRules& rules);
// Whether `richer` holds in hand at least as many pieces of every kind of `owner` as `poorer`.
bool handCovers(const Position& richer, const Position& poorer, Side owner);
// The side whose hand 持駒節約 economises: the second player's under 最善自玉詰, else the first's.
Side economisedHand(int genre);
// Left-right symmetry of the board with the second player's king on file 5.
bool isSymmetric(const Position& p);

}  // namespace nagare
