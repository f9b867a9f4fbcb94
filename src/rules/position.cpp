#include "rules/position.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "rules/key_tables.h"
#include "rules/rule_set.h"

namespace nagare {

namespace {

constexpr uint64_t SENTE_TO_MOVE_BIT = 1ULL << 63;

uint64_t tableKey(uint64_t boardKey, uint64_t handKey, Side toMove) {
    const uint64_t k = (boardKey ^ handKey) & ~SENTE_TO_MOVE_BIT;
    return toMove == SENTE ? k | SENTE_TO_MOVE_BIT : k;
}

uint64_t positionKey(const Position& p) {
    return tableKey(p.boardKey, p.handKey, static_cast<Side>(p.sideToMove));
}

// Sets or clears `bit` on every square of the ray from `s` in direction `d`, up to and including
// the first non-empty element (a piece of either side or the wall).
template <bool Set>
void walkRay(Position& p, std::array<uint32_t, SQUARE_SPAN>& map, Square s, int d, uint32_t bit) {
    const int step = OFFSET[d];
    Square t = s + step;
    for (;;) {
        if constexpr (Set)
            map[t] |= bit;
        else
            map[t] &= ~bit;
        if (p.at(t) != EMPTY) break;
        t += step;
    }
}

// Adds (or removes) the attacks of the piece `code` standing on `s` to (from) `map`. A piece that
// could never move again (a first player's knight on 1一) steps off the map altogether; only the
// build from a diagram meets one, and it asks for `InsideMapOnly`.
template <bool Set, bool InsideMapOnly = false>
void pieceAttacks(Position& p, std::array<uint32_t, SQUARE_SPAN>& map, Square s, int code) {
    for (int d = 0; d < DIRECTION_COUNT; ++d) {
        if (canSlide[d][code]) {
            walkRay<Set>(p, map, s, d, 1u << (SLIDE_BIT_SHIFT + d));
        } else if (canStep[d][code]) {
            if (InsideMapOnly && static_cast<unsigned>(s + OFFSET[d]) >= SQUARE_SPAN) continue;
            if constexpr (Set)
                map[s + OFFSET[d]] |= 1u << d;
            else
                map[s + OFFSET[d]] &= ~(1u << d);
        }
    }
}

// The numbers and state of a node not searched yet; symmetry, which reads the board, apart.
void setFreshSearchNumbers(Position& p) {
    p.pnThr = PN_CAP;
    p.dnThr = PN_CAP;
    p.pn = 1;
    p.dn = 1;
    p.loopTainted = 0;
    p.loopPly = NO_PLY;
    p.visits = 0;
    p.tableMissed = 0;
    p.fillStamp = 0;
    p.children = nullptr;
    p.childCount = 0;
    p.state = NODE_STATE_NORMAL;
    p.sumSafe = 1;
}

void setSymmetry(Position& p, const NodeRules& rules) {
    p.symmetric = rules.symmetry && isSymmetric(p) ? 1 : 0;
}

void setFreshSearchFields(Position& p, const NodeRules& rules) {
    setFreshSearchNumbers(p);
    setSymmetry(p, rules);
}

int kingDistance(Square a, Square b) {
    int df = fileOf(a) - fileOf(b), dr = rankOf(a) - rankOf(b);
    return std::max(df < 0 ? -df : df, dr < 0 ? -dr : dr);
}

// 無駄合 candidates: marks a child whose move may be a futile interposition or a reply that leaves
// a fresh capture unanswered. Only under 最善詰, for a second-player move below the root's child.
void markFutileDrop(const Position& parent, Position& child, Move m) {
    const Position& grand = *parent.parent;
    Square defenderKing = parent.kingOf(GOTE);
    bool answeringCheck = defenderKing != 0 && parent.attacksOf(SENTE)[defenderKing] != 0;
    if (answeringCheck && m.isDrop()) {
        // The interposed piece attacks nothing on its own square and leaves every line that reaches
        // it in place: the square is attacked in the child exactly as in the parent.
        Square t = m.to;
        uint32_t defended = parent.attacksOf(GOTE)[t];
        if (defended == 0) {
            // Nothing of the defence covers the interposed piece.
            child.futileDrop = 1;
            child.sumSafe = 1;
            return;
        }
        Square king = parent.kingOf(GOTE);
        if (std::popcount(defended) == 1 && king != 0 && kingDistance(king, t) == 1 &&
            std::popcount(parent.attacksOf(SENTE)[t]) > 1) {
            // Only the king covers it, and the attacker can take it twice over.
            child.futileDrop = 1;
            child.sumSafe = 1;
            return;
        }
    }
    bool grandMoveQuiet = grand.parent == nullptr || grand.parent->at(grand.lastMove.to) == EMPTY;
    if (grandMoveQuiet) {
        Square captureSquare = parent.lastMove.to;
        if (grand.at(captureSquare) != EMPTY && m.to != captureSquare) child.futileDrop = 1;
    }
}

// Every field of the checkpoint image at its offset: the one list the writer and the reader share.
// `P` is Position or const Position; `visit(offset, field)` sees each field in turn.
template <typename P, typename Visit>
void visitImage(P& p, Visit&& visit) {
    visit(IMAGE_BOARD, p.board);
    visit(IMAGE_ATTACK, p.attack);
    visit(IMAGE_HAND, p.hand);
    visit(IMAGE_PLY, p.ply);
    visit(IMAGE_SIDE_TO_MOVE, p.sideToMove);
    visit(IMAGE_KING_SQUARE, p.kingSquare);
    visit(IMAGE_ON_BOARD, p.onBoard);
    visit(IMAGE_IN_HAND, p.inHand);
    visit(IMAGE_PN_THR, p.pnThr);
    visit(IMAGE_DN_THR, p.dnThr);
    visit(IMAGE_PN, p.pn);
    visit(IMAGE_DN, p.dn);
    visit(IMAGE_PREV_PN, p.prevPn);
    visit(IMAGE_PREV_DN, p.prevDn);
    visit(IMAGE_LAST_CHILD_KEY, p.lastChildKey);
    visit(IMAGE_SUM_SAFE, p.sumSafe);
    visit(IMAGE_EFFORT, p.effort);
    visit(IMAGE_TREE_SIZE, p.treeSize);
    visit(IMAGE_LOOP_TAINTED, p.loopTainted);
    visit(IMAGE_LOOP_PLY, p.loopPly);
    visit(IMAGE_VISITS, p.visits);
    visit(IMAGE_ON_GIVEN_LINE, p.onGivenLine);
    visit(IMAGE_CHILDREN, p.children);
    visit(IMAGE_SYMMETRIC, p.symmetric);
    visit(IMAGE_LAST_MOVE, p.lastMove);
    visit(IMAGE_KILLER, p.killer);
    visit(IMAGE_FUTILE_DROP, p.futileDrop);
    visit(IMAGE_STATE, p.state);
    visit(IMAGE_OPEN_PLY, p.openPly);
    visit(IMAGE_BOARD_KEY, p.boardKey);
    visit(IMAGE_HAND_KEY, p.handKey);
    visit(IMAGE_KEY, p.key);
    visit(IMAGE_PATH_KEY, p.pathKey);
    visit(IMAGE_LAST_MOVE_PATH_KEY, p.lastMovePathKey);
    visit(IMAGE_PARENT, p.parent);
}

constexpr int POINTER_IMAGE_BYTES = 8;

template <typename T>
struct IsArray : std::false_type {};
template <typename T, size_t N>
struct IsArray<std::array<T, N>> : std::true_type {};

// One field into the image, little-endian; arrays element by element.
template <typename T>
void encode(uint8_t* out, int offset, const T& field) {
    if constexpr (IsArray<T>::value) {
        for (size_t i = 0; i < field.size(); ++i)
            encode(out, offset + static_cast<int>(i * sizeof(field[0])), field[i]);
    } else if constexpr (std::is_same_v<T, Move>) {
        const uint8_t bytes[] = {field.from, field.to, field.piece, field.promote};
        std::memcpy(out + offset, bytes, sizeof bytes);
    } else if constexpr (std::is_pointer_v<T>) {
        const uint64_t address = reinterpret_cast<uintptr_t>(field);
        for (int i = 0; i < POINTER_IMAGE_BYTES; ++i)
            out[offset + i] = static_cast<uint8_t>(address >> (8 * i));
    } else {
        const auto value = static_cast<std::make_unsigned_t<T>>(field);
        for (size_t i = 0; i < sizeof(T); ++i)
            out[offset + i] = static_cast<uint8_t>(uint64_t{value} >> (8 * i));
    }
}

// One field out of the image; pointers come back null.
template <typename T>
void decode(const uint8_t* in, int offset, T& field) {
    if constexpr (IsArray<T>::value) {
        for (size_t i = 0; i < field.size(); ++i)
            decode(in, offset + static_cast<int>(i * sizeof(field[0])), field[i]);
    } else if constexpr (std::is_same_v<T, Move>) {
        field = Move{in[offset], in[offset + 1], in[offset + 2], in[offset + 3]};
    } else if constexpr (std::is_pointer_v<T>) {
        field = nullptr;
    } else {
        uint64_t value = 0;
        for (size_t i = 0; i < sizeof(T); ++i) value |= uint64_t{in[offset + i]} << (8 * i);
        field = static_cast<T>(static_cast<std::make_unsigned_t<T>>(value));
    }
}

}  // namespace

void buildAttackMaps(Position& p) {
    for (auto& map : p.attack) map.fill(0);
    for (int file = 1; file <= FILE_COUNT; ++file) {
        for (int rank = 1; rank <= RANK_COUNT; ++rank) {
            Square s = makeSquare(file, rank);
            int code = p.at(s);
            // The diagram is not validated yet: it may hold pieces that could never move.
            if (isPieceOf(code, SENTE))
                pieceAttacks<true, true>(p, p.attack[0], s, code);
            else if (isPieceOf(code, GOTE))
                pieceAttacks<true, true>(p, p.attack[1], s, code);
        }
    }
}

void setUp(Position& p, const uint8_t* diagram, const int32_t* hands, Side side) {
    const KeyTables& keys = keyTables();
    p.board.fill(WALL);
    p.lastMove = Move{};
    p.ply = 0;
    p.kingSquare = {0, 0};
    p.onBoard = {0, 0};
    p.inHand = {0, 0};
    p.boardKey = p.handKey = p.key = p.pathKey = 0;
    p.children = nullptr;
    p.childCount = 0;
    p.parent = nullptr;
    p.unbuilt = 0;
    p.tableMissed = 0;
    p.fillStamp = 0;
    for (int rank = 1; rank <= RANK_COUNT; ++rank) {
        for (int file = 1; file <= FILE_COUNT; ++file) {
            Square s = makeSquare(file, rank);
            int code = diagram[9 * (rank - 1) + (9 - file)];
            p.at(s) = static_cast<uint8_t>(code);
            p.boardKey ^= keys.board[code][s];
            if (code == SENTE + KING) p.kingSquare[0] = s;
            if (code == GOTE + KING) p.kingSquare[1] = s;
            if (isPieceOf(code, SENTE)) ++p.onBoard[0];
            if (isPieceOf(code, GOTE)) ++p.onBoard[1];
        }
    }
    p.hand.fill(0);
    for (Side owner : {SENTE, GOTE}) {
        for (int kind = PAWN; kind <= ROOK; ++kind) {
            int code = owner + kind;
            p.hand[code] = hands[code];
            p.inHand[sideIndex(owner)] += hands[code];
            for (int k = 1; k <= hands[code]; ++k) p.handKey ^= keys.hand[code][k];
        }
    }
    p.sideToMove = static_cast<uint8_t>(side);
    p.key = positionKey(p);
    buildAttackMaps(p);
}

MoveKeys keysAfterMove(const Position& p, Move m) {
    const KeyTables& keys = keyTables();
    const int code = m.piece;
    const Square from = m.from, to = m.to;
    MoveKeys k{p.boardKey, p.handKey, 0, 0};
    if (!m.isDrop())
        k.boardKey ^= keys.board[code][from] ^ keys.board[EMPTY][from];
    else
        k.handKey ^= keys.hand[code][p.hand[code]];
    const int captured = p.at(to);
    if (captured != EMPTY) {
        const int gained = handCode(captured, p.sideToMove);
        k.handKey ^= keys.hand[gained][p.hand[gained] + 1];
    }
    const int placed = m.promote ? code | PROMOTED : code;
    k.boardKey ^= keys.board[captured][to] ^ keys.board[placed][to];
    k.key = tableKey(k.boardKey, k.handKey, opponent(static_cast<Side>(p.sideToMove)));
    // The move-key tables have a column per ply as deep as a search goes; a line replayed or written
    // out beyond that (or from a ply that was never set) shares the last column.
    const int column = static_cast<uint16_t>(p.ply) < MAX_PLY ? p.ply : MAX_PLY - 1;
    k.moveKey = keys.from(squareRow(from), column) ^ keys.to(squareRow(to), column) ^
                keys.promote(m.promote, column) ^ keys.piece(code, column);
    return k;
}

namespace {

// The board and the attack maps after the move, which `side` plays: the part of a move that a child
// not yet entered does without.
void playBoard(Position& p, Move m, Side side) {
    const int own = sideIndex(side), enemy = own ^ 1;
    const int code = m.piece;
    const Square from = m.from, to = m.to;

    if (!m.isDrop()) {
        // The piece leaves `from`: its own attacks go, then rays it stopped pass through.
        pieceAttacks<false>(p, p.attack[own], from, code);
        p.at(from) = EMPTY;
        for (int d = 0; d < LINE_DIRECTIONS; ++d) {
            const uint32_t bit = 1u << (SLIDE_BIT_SHIFT + d);
            for (auto& map : p.attack)
                if (map[from] & bit) walkRay<true>(p, map, from, d, bit);
        }
    }

    const int captured = p.at(to);
    if (captured != EMPTY) {
        pieceAttacks<false>(p, p.attack[enemy], to, captured);
    } else {
        // Rays that passed over the empty square now stop on it.
        for (int d = 0; d < LINE_DIRECTIONS; ++d) {
            const uint32_t bit = 1u << (SLIDE_BIT_SHIFT + d);
            for (auto& map : p.attack)
                if (map[to] & bit) walkRay<false>(p, map, to, d, bit);
        }
    }
    const int placed = m.promote ? code | PROMOTED : code;
    p.at(to) = static_cast<uint8_t>(placed);
    pieceAttacks<true>(p, p.attack[own], to, placed);
}

// Everything else a move changes: hands, counts, kings, keys, ply and side. `captured` is what stood
// on the target square.
void playCounts(Position& p, Move m, int captured, const MoveKeys& k) {
    const Side side = p.sideToMove;
    const int own = sideIndex(side), enemy = own ^ 1;
    const int code = m.piece;
    if (m.isDrop()) {
        --p.hand[code];
        --p.inHand[own];
        ++p.onBoard[own];
    }
    if (captured != EMPTY) {
        ++p.hand[handCode(captured, side)];
        --p.onBoard[enemy];
        ++p.inHand[own];
    }
    if (code == SENTE + KING) p.kingSquare[0] = m.to;
    if (code == GOTE + KING) p.kingSquare[1] = m.to;

    p.boardKey = k.boardKey;
    p.handKey = k.handKey;
    p.pathKey ^= k.moveKey;
    p.lastMovePathKey = k.moveKey;
    ++p.ply;
    p.sideToMove = static_cast<uint8_t>(opponent(side));
    p.key = k.key;
    p.lastMove = m;
}

// Plays the move whose keys are `k`.
void playMove(Position& p, Move m, const MoveKeys& k) {
    const int captured = p.at(m.to);
    playBoard(p, m, static_cast<Side>(p.sideToMove));
    playCounts(p, m, captured, k);
}

}  // namespace

void makeMove(Position& p, Move m) {
    playMove(p, m, keysAfterMove(p, m));
}

Position& makeChild(const Position& parent, Position& child, Move m, const NodeRules& rules) {
    // The keys come from the parent: read from the fresh copy they would wait for its stores.
    return makeChild(parent, child, m, keysAfterMove(parent, m), rules);
}

namespace {

// The search fields of a new child of `parent`, reached by `m`; symmetry apart.
void initChild(const Position& parent, Position& child, Move m, const NodeRules& rules) {
    child.parent = const_cast<Position*>(&parent);
    setFreshSearchNumbers(child);
    child.prevPn = 1;
    child.prevDn = 1;
    child.effort = 1;
    child.treeSize = 1;
    child.openPly = NO_PLY;
    child.onGivenLine = 0;
    child.killer = 0;
    child.futileDrop = 0;
    if (rules.genre == GENRE_BEST_MATE && parent.parent != nullptr && child.sideToMove == SENTE)
        markFutileDrop(parent, child, m);
    child.sumSafe = 1;
}

// Where the board and the attack maps end in the record: the rest is copied for an unbuilt child.
constexpr size_t BOARD_PART = offsetof(Position, hand);
static_assert(offsetof(Position, board) < BOARD_PART && offsetof(Position, attack) < BOARD_PART);

}  // namespace

Position& makeUnbuiltChild(const Position& parent, Position& child, Move m, const MoveKeys& keys,
                           const NodeRules& rules) {
    std::memcpy(reinterpret_cast<char*>(&child) + BOARD_PART,
                reinterpret_cast<const char*>(&parent) + BOARD_PART, sizeof(Position) - BOARD_PART);
    playCounts(child, m, parent.at(m.to), keys);
    initChild(parent, child, m, rules);
    child.symmetric = 0;
    child.unbuilt = 1;
    return child;
}

void buildChild(Position& child, const NodeRules& rules) {
    const Position& parent = *child.parent;
    std::memcpy(static_cast<void*>(&child), &parent, BOARD_PART);
    playBoard(child, child.lastMove, static_cast<Side>(parent.sideToMove));
    child.unbuilt = 0;
    setSymmetry(child, rules);
}

Position& makeChild(const Position& parent, Position& child, Move m, const MoveKeys& keys,
                    const NodeRules& rules) {
    child = parent;
    playMove(child, m, keys);
    child.unbuilt = 0;
    initChild(parent, child, m, rules);
    setSymmetry(child, rules);
    return child;
}

void resetSearchFields(Position& p, const NodeRules& rules) {
    setFreshSearchFields(p, rules);
}

bool isSymmetric(const Position& p) {
    Square king = p.kingOf(GOTE);
    if (king == 0 || fileOf(king) != 5) return false;
    for (int rank = 1; rank <= RANK_COUNT; ++rank)
        for (int file = 1; file <= 4; ++file)
            if (p.at(makeSquare(file, rank)) != p.at(makeSquare(10 - file, rank))) return false;
    return true;
}

bool handCovers(const Position& richer, const Position& poorer, Side owner) {
    for (int kind = PAWN; kind <= ROOK; ++kind)
        if (richer.hand[owner + kind] < poorer.hand[owner + kind]) return false;
    return true;
}

Side economisedHand(int genre) {
    return genre == GENRE_BEST_SELFMATE ? GOTE : SENTE;
}

const Position* findAncestorRepeat(const Position& p, const NodeRules& rules) {
    if (p.parent == nullptr) return nullptr;
    const Side owner = economisedHand(rules.genre);
    for (const Position* a = p.parent->parent; a != nullptr && a->ply >= 0;) {
        if (a->key == p.key) return a;
        if (rules.handEconomy && a->boardKey == p.boardKey && a->sideToMove == p.sideToMove &&
            p.ply >= a->ply && handCovers(*a, p, owner))
            return a;
        if (a->parent == nullptr) break;
        a = a->parent->parent;
    }
    return nullptr;
}

void writePositionImage(const Position& p, uint8_t* out) {
    std::memset(out, 0, POSITION_IMAGE_SIZE);
    visitImage(p, [out](int offset, const auto& field) { encode(out, offset, field); });
}

void readPositionImage(Position& p, const uint8_t* in) {
    visitImage(p, [in](int offset, auto& field) { decode(in, offset, field); });
    p.childCount = 0;
    p.unbuilt = 0;  // a record is written whole
    p.tableMissed = 0;
    p.fillStamp = 0;
}

namespace {

// A piece of one side: its side bit, a kind, and no other bit.
bool isPieceCode(int code, int highestKind) {
    const int kind = kindOf(code);
    const Side side = sideOf(code);
    return code == (side | kind) && (side == SENTE || side == GOTE) && kind >= PAWN && kind <= highestKind;
}

bool isBoardCode(int code) {
    return code == EMPTY || code == WALL || isPieceCode(code, DRAGON);
}

bool isHandCode(int code) {
    return isPieceCode(code, ROOK);
}

}  // namespace

bool isConsistentPosition(const Position& p) {
    for (int element = 0; element < BOARD_ELEMENTS; ++element) {
        const Square s = element - BOARD_OFFSET;
        const int code = p.board[element];
        if (isPlayable(s) ? !isBoardCode(code) : code != WALL) return false;
    }
    for (int code = 0; code < static_cast<int>(p.hand.size()); ++code) {
        const int32_t n = p.hand[code];
        if (isHandCode(code) ? n < 0 || n > MAX_HAND_COUNT : n != 0) return false;
    }
    if (p.sideToMove != SENTE && p.sideToMove != GOTE) return false;
    if (p.ply < 0 || p.ply >= MAX_PLY) return false;

    std::array<uint8_t, 81> cells{};
    for (int rank = 1; rank <= RANK_COUNT; ++rank)
        for (int file = 1; file <= FILE_COUNT; ++file)
            cells[9 * (rank - 1) + (9 - file)] = p.at(makeSquare(file, rank));
    Position rebuilt{};
    setUp(rebuilt, cells.data(), p.hand.data(), p.sideToMove);
    return rebuilt.attack == p.attack && rebuilt.kingSquare == p.kingSquare && rebuilt.onBoard == p.onBoard &&
           rebuilt.inHand == p.inHand && rebuilt.boardKey == p.boardKey && rebuilt.handKey == p.handKey &&
           rebuilt.key == p.key;
}

bool isWellFormedMove(Move m) {
    if (m.isNull()) return true;
    if (m.promote > 1 || !isPlayable(m.to)) return false;
    if (m.isDrop()) return m.from == 0 && m.promote == 0 && isHandCode(m.piece);
    return isPlayable(m.from) && isPieceCode(m.piece, DRAGON);
}

}  // namespace nagare
