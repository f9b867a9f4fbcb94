#include "rules/position.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "rules/key_tables.h"
#include "rules/rule_set.h"

namespace nagare {

namespace {

constexpr uint64_t SENTE_TO_MOVE_BIT = 1ULL << 63;

uint64_t positionKey(const Position& p) {
    uint64_t k = (p.boardKey ^ p.handKey) & ~SENTE_TO_MOVE_BIT;
    return p.sideToMove == SENTE ? k | SENTE_TO_MOVE_BIT : k;
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

bool isPieceOf(int code, Side side) {
    return code != WALL && (code & side) != 0;
}

void setFreshSearchFields(Position& p, const NodeRules& rules) {
    p.pnThr = PN_CAP;
    p.dnThr = PN_CAP;
    p.pn = 1;
    p.dn = 1;
    p.loopTainted = 0;
    p.loopPly = NO_PLY;
    p.visits = 0;
    p.children = nullptr;
    p.childCount = 0;
    p.state = NODE_STATE_NORMAL;
    p.symmetric = rules.symmetry && isSymmetric(p) ? 1 : 0;
    p.sumSafe = 1;
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
        Square t = m.to;
        uint32_t defended = child.attacksOf(GOTE)[t];
        if (defended == 0) {
            // Nothing of the defence covers the interposed piece.
            child.futileDrop = 1;
            child.sumSafe = 1;
            return;
        }
        Square king = child.kingOf(GOTE);
        if (std::popcount(defended) == 1 && king != 0 && kingDistance(king, t) == 1 &&
            std::popcount(child.attacksOf(SENTE)[t]) > 1) {
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

// Little-endian writers and readers of the checkpoint image.
void put(uint8_t* out, int offset, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}
uint64_t get(const uint8_t* in, int offset, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= uint64_t(in[offset + i]) << (8 * i);
    return v;
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

void makeMove(Position& p, Move m) {
    const KeyTables& keys = keyTables();
    const Side side = p.sideToMove;
    const int own = sideIndex(side), enemy = own ^ 1;
    const int code = m.piece;
    const Square from = m.from, to = m.to;

    if (!m.isDrop()) {
        // The piece leaves `from`: its own attacks go, then rays it stopped pass through.
        pieceAttacks<false>(p, p.attack[own], from, code);
        p.at(from) = EMPTY;
        p.boardKey ^= keys.board[code][from] ^ keys.board[EMPTY][from];
        for (int d = 0; d < LINE_DIRECTIONS; ++d) {
            const uint32_t bit = 1u << (SLIDE_BIT_SHIFT + d);
            for (auto& map : p.attack)
                if (map[from] & bit) walkRay<true>(p, map, from, d, bit);
        }
    } else {
        int n = p.hand[code];
        p.handKey ^= keys.hand[code][n];
        p.hand[code] = n - 1;
        --p.inHand[own];
        ++p.onBoard[own];
    }

    const int captured = p.at(to);
    if (captured != EMPTY) {
        const int gained = handCode(captured, side);
        int n = ++p.hand[gained];
        p.handKey ^= keys.hand[gained][n];
        pieceAttacks<false>(p, p.attack[enemy], to, captured);
        --p.onBoard[enemy];
        ++p.inHand[own];
    } else {
        // Rays that passed over the empty square now stop on it.
        for (int d = 0; d < LINE_DIRECTIONS; ++d) {
            const uint32_t bit = 1u << (SLIDE_BIT_SHIFT + d);
            for (auto& map : p.attack)
                if (map[to] & bit) walkRay<false>(p, map, to, d, bit);
        }
    }
    const int placed = m.promote ? code | PROMOTED : code;
    p.boardKey ^= keys.board[captured][to] ^ keys.board[placed][to];
    p.at(to) = static_cast<uint8_t>(placed);
    pieceAttacks<true>(p, p.attack[own], to, placed);

    if (code == SENTE + KING) p.kingSquare[0] = to;
    if (code == GOTE + KING) p.kingSquare[1] = to;

    // The move-key tables have a column per ply as deep as a search goes; a line replayed or written
    // out beyond that (or from a ply that was never set) shares the last column.
    const int column = static_cast<uint16_t>(p.ply) < MAX_PLY ? p.ply : MAX_PLY - 1;
    const uint64_t moveKey = keys.from[squareRow(from)][column] ^ keys.to[squareRow(to)][column] ^
                             keys.promote[m.promote][column] ^ keys.piece[code][column];
    p.pathKey ^= moveKey;
    p.lastMovePathKey = moveKey;
    ++p.ply;
    p.sideToMove = static_cast<uint8_t>(opponent(side));
    p.key = positionKey(p);
    p.lastMove = m;
}

Position& makeChild(const Position& parent, Position& child, Move m, const NodeRules& rules) {
    child = parent;
    makeMove(child, m);
    child.parent = const_cast<Position*>(&parent);
    setFreshSearchFields(child, rules);
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

const Position* findAncestorRepeat(const Position& p, const NodeRules& rules) {
    if (p.parent == nullptr) return nullptr;
    // 最善自玉詰 economises the second player's hand; every other genre the first player's.
    const int handBase = rules.genre == GENRE_BEST_SELFMATE ? GOTE : SENTE;
    for (const Position* a = p.parent->parent; a != nullptr && a->ply >= 0;) {
        if (a->key == p.key) return a;
        if (rules.handEconomy && a->boardKey == p.boardKey && a->sideToMove == p.sideToMove &&
            p.ply >= a->ply) {
            bool dominated = true;
            for (int kind = PAWN; kind <= ROOK; ++kind)
                if (a->hand[handBase + kind] < p.hand[handBase + kind]) dominated = false;
            if (dominated) return a;
        }
        if (a->parent == nullptr) break;
        a = a->parent->parent;
    }
    return nullptr;
}

void writePositionImage(const Position& p, uint8_t* out) {
    std::memset(out, 0, POSITION_IMAGE_SIZE);
    std::memcpy(out, p.board.data(), BOARD_ELEMENTS);
    for (int side = 0; side < 2; ++side)
        for (int s = 0; s < SQUARE_SPAN; ++s) put(out, 192 + side * 704 + 4 * s, p.attack[side][s], 4);
    for (int i = 0; i < 40; ++i) put(out, 1600 + 4 * i, static_cast<uint32_t>(p.hand[i]), 4);
    put(out, 1760, static_cast<uint16_t>(p.ply), 2);
    out[1762] = p.sideToMove;
    for (int i = 0; i < 2; ++i) {
        put(out, 1764 + 4 * i, static_cast<uint32_t>(p.kingSquare[i]), 4);
        put(out, 1772 + 4 * i, static_cast<uint32_t>(p.onBoard[i]), 4);
        put(out, 1780 + 4 * i, static_cast<uint32_t>(p.inHand[i]), 4);
    }
    put(out, 1788, static_cast<uint32_t>(p.pnThr), 4);
    put(out, 1792, static_cast<uint32_t>(p.dnThr), 4);
    put(out, 1796, static_cast<uint32_t>(p.pn), 4);
    put(out, 1800, static_cast<uint32_t>(p.dn), 4);
    put(out, 1804, static_cast<uint32_t>(p.prevPn), 4);
    put(out, 1808, static_cast<uint32_t>(p.prevDn), 4);
    put(out, 1812, p.lastChildKey, 8);
    out[1820] = p.sumSafe;
    put(out, 1824, p.effort, 8);
    put(out, 1832, p.treeSize, 8);
    out[1840] = p.loopTainted;
    put(out, 1842, static_cast<uint16_t>(p.loopPly), 2);
    put(out, 1844, p.visits, 2);
    out[1846] = p.onGivenLine;
    put(out, 1848, reinterpret_cast<uintptr_t>(p.children), 8);
    out[1856] = p.symmetric;
    out[1857] = p.lastMove.from;
    out[1858] = p.lastMove.to;
    out[1859] = p.lastMove.piece;
    out[1860] = p.lastMove.promote;
    put(out, 1864, p.killer, 4);
    out[1868] = p.futileDrop;
    put(out, 1872, p.state, 4);
    put(out, 1876, static_cast<uint16_t>(p.openPly), 2);
    put(out, 1880, p.boardKey, 8);
    put(out, 1888, p.handKey, 8);
    put(out, 1896, p.key, 8);
    put(out, 1904, p.pathKey, 8);
    put(out, 1912, p.lastMovePathKey, 8);
    put(out, 1920, reinterpret_cast<uintptr_t>(p.parent), 8);
}

void readPositionImage(Position& p, const uint8_t* in) {
    std::memcpy(p.board.data(), in, BOARD_ELEMENTS);
    for (int side = 0; side < 2; ++side)
        for (int s = 0; s < SQUARE_SPAN; ++s)
            p.attack[side][s] = static_cast<uint32_t>(get(in, 192 + side * 704 + 4 * s, 4));
    for (int i = 0; i < 40; ++i) p.hand[i] = static_cast<int32_t>(get(in, 1600 + 4 * i, 4));
    p.ply = static_cast<int16_t>(get(in, 1760, 2));
    p.sideToMove = in[1762];
    for (int i = 0; i < 2; ++i) {
        p.kingSquare[i] = static_cast<int32_t>(get(in, 1764 + 4 * i, 4));
        p.onBoard[i] = static_cast<int32_t>(get(in, 1772 + 4 * i, 4));
        p.inHand[i] = static_cast<int32_t>(get(in, 1780 + 4 * i, 4));
    }
    p.pnThr = static_cast<int32_t>(get(in, 1788, 4));
    p.dnThr = static_cast<int32_t>(get(in, 1792, 4));
    p.pn = static_cast<int32_t>(get(in, 1796, 4));
    p.dn = static_cast<int32_t>(get(in, 1800, 4));
    p.prevPn = static_cast<int32_t>(get(in, 1804, 4));
    p.prevDn = static_cast<int32_t>(get(in, 1808, 4));
    p.lastChildKey = get(in, 1812, 8);
    p.sumSafe = in[1820];
    p.effort = get(in, 1824, 8);
    p.treeSize = get(in, 1832, 8);
    p.loopTainted = in[1840];
    p.loopPly = static_cast<int16_t>(get(in, 1842, 2));
    p.visits = static_cast<uint16_t>(get(in, 1844, 2));
    p.onGivenLine = in[1846];
    p.children = nullptr;
    p.childCount = 0;
    p.symmetric = in[1856];
    p.lastMove = Move{in[1857], in[1858], in[1859], in[1860]};
    p.killer = static_cast<uint32_t>(get(in, 1864, 4));
    p.futileDrop = in[1868];
    p.state = static_cast<uint32_t>(get(in, 1872, 4));
    p.openPly = static_cast<int16_t>(get(in, 1876, 2));
    p.boardKey = get(in, 1880, 8);
    p.handKey = get(in, 1888, 8);
    p.key = get(in, 1896, 8);
    p.pathKey = get(in, 1904, 8);
    p.lastMovePathKey = get(in, 1912, 8);
    p.parent = nullptr;
}

}  // namespace nagare
