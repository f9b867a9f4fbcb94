#include "rules/attacks.h"

namespace nagare {

namespace {

bool outsideBoard(Square s) {
    return static_cast<unsigned>(s - FIRST_SQUARE) > LAST_SQUARE - FIRST_SQUARE;
}

bool pinAllows(const PinMap& pins, Square s, int offset) {
    int pin = pins[s];
    return pin == 0 || pin == offset || pin == -offset;
}

void computeLineBlockers(const Position& p, Side kingSide, Side blockerSide,
                         const std::array<uint32_t, SQUARE_SPAN>& rays, PinMap& out) {
    Square king = p.kingOf(kingSide);
    if (king == 0) return;
    for (int d = 0; d < LINE_DIRECTIONS; ++d) {
        const int step = OFFSET[d];
        Square s = king - step;
        while (p.at(s) == EMPTY) s -= step;
        if (isPieceOf(p.at(s), blockerSide) && (rays[s] & (1u << (SLIDE_BIT_SHIFT + d)))) out[s] = step;
    }
}

// The direction index of a one-step offset (a king step or a knight jump); -1 for any other offset.
constexpr int STEP_SPAN = 18;
constexpr std::array<int8_t, 2 * STEP_SPAN + 1> DIRECTION_OF_STEP = [] {
    std::array<int8_t, 2 * STEP_SPAN + 1> t{};
    for (auto& d : t) d = -1;
    for (int d = 0; d < DIRECTION_COUNT; ++d) t[OFFSET[d] + STEP_SPAN] = static_cast<int8_t>(d);
    return t;
}();
int directionOfStep(int offset) {
    return offset < -STEP_SPAN || offset > STEP_SPAN ? -1 : DIRECTION_OF_STEP[offset + STEP_SPAN];
}

void clearPlayable(PinMap& map) {
    for (Square s = FIRST_SQUARE; s <= LAST_SQUARE; ++s) map[s] = 0;
}

}  // namespace

uint32_t capturersOf(const Position& p, Side side, Square square, const PinMap& pins) {
    if (outsideBoard(square) || rankOf(square) == 0) return 0;
    uint32_t word = 0;
    for (int d = 0; d < DIRECTION_COUNT; ++d) {
        const int step = OFFSET[d];
        Square s = square - step;
        int code = p.at(s);
        if (isPieceOf(code, side) && canStep[d][code]) {
            if (pinAllows(pins, s, step)) word |= 1u << d;
            continue;
        }
        if (d >= LINE_DIRECTIONS) continue;
        while (code == EMPTY) {
            s -= step;
            code = p.at(s);
        }
        if (isPieceOf(code, side) && canSlide[d][code] && pinAllows(pins, s, step))
            word |= 1u << (SLIDE_BIT_SHIFT + d);
    }
    return word;
}

void computePins(const Position& p, PinMap& pins) {
    clearPlayable(pins);
    computeLineBlockers(p, SENTE, SENTE, p.attacksOf(GOTE), pins);
    computeLineBlockers(p, GOTE, GOTE, p.attacksOf(SENTE), pins);
}

SquareSet discoveredCheckers(const Position& p) {
    SquareSet found;
    const Square king = p.kingOf(GOTE);
    if (king == 0) return found;
    const auto& rays = p.attacksOf(SENTE);
    for (int d = 0; d < LINE_DIRECTIONS; ++d) {
        const int step = OFFSET[d];
        Square s = king - step;
        while (p.at(s) == EMPTY) s -= step;
        if (isPieceOf(p.at(s), SENTE) && (rays[s] & (1u << (SLIDE_BIT_SHIFT + d)))) found.insert(s);
    }
    return found;
}

bool givesDirectCheck(const Position& p, Move m) {
    const Square king = p.kingOf(GOTE);
    if (king == 0) return false;
    const int placed = m.promote ? m.piece | PROMOTED : m.piece;
    constexpr Square NO_SQUARE = -1000;  // a drop vacates nothing
    const Square to = m.to, from = m.isDrop() ? NO_SQUARE : m.from;
    // Direct: the piece on `to` reaches the king, `from` being empty now. Only the one direction in
    // which the king lies from `to` can hold such an attack.
    const int df = fileOf(king) - fileOf(to), dr = rankOf(king) - rankOf(to);
    const int adf = df < 0 ? -df : df, adr = dr < 0 ? -dr : dr;
    if (adf <= 1 && adr <= 2) {
        const int d = directionOfStep(king - to);  // an adjacent square or a knight's target
        if (d >= 0 && canStep[d][placed]) return true;
    }
    if (df == 0 || dr == 0 || adf == adr) {
        const int step = 16 * ((df > 0) - (df < 0)) + ((dr > 0) - (dr < 0));
        // The move takes the king itself: only a position that was never validated has its king
        // capturable.
        if (step == 0) return true;
        const int d = directionOfStep(step);
        if (canSlide[d][placed]) {
            Square t = to + step;
            while (t != king && (p.at(t) == EMPTY || t == from)) t += step;
            if (t == king) return true;
        }
    }
    return false;
}

bool givesCheck(const Position& p, Move m) {
    if (givesDirectCheck(p, m)) return true;
    const Square king = p.kingOf(GOTE);
    if (king == 0 || m.isDrop()) return false;
    const Square from = m.from, to = m.to;
    // Discovered: a slider's ray through `from` goes on to the king, and the piece leaves the line.
    const uint32_t rays = p.attacksOf(SENTE)[from] >> SLIDE_BIT_SHIFT;
    for (int d = 0; d < LINE_DIRECTIONS; ++d) {
        if (!(rays & (1u << d))) continue;
        const int step = OFFSET[d];
        Square t = from + step;
        while (p.at(t) == EMPTY) t += step;
        if (t != king) continue;
        // Moving along the same line, towards the king or the slider, keeps it blocked.
        bool alongLine = false;
        for (Square s = from + step; isPlayable(s) && !alongLine; s += step) alongLine = s == to;
        for (Square s = from - step; isPlayable(s) && !alongLine; s -= step) alongLine = s == to;
        if (!alongLine) return true;
    }
    return false;
}

bool isPawnDropMate(const Position& p, Side side, Square square, const PinMap& pins) {
    const Side defender = opponent(side);
    const Square king = p.kingOf(defender);
    if (king == 0) return false;
    // Only a pawn directly in front of the king checks it.
    const int forward = side == SENTE ? -1 : 1;
    if (square != king - forward) return false;
    // The king cannot take a defended pawn; is anything else able to take it?
    if (p.attacksOf(side)[square] == 0) return false;
    const int kingCaptureDirection = side == SENTE ? 1 : 6;  // the king steps +1 (or -1) onto the pawn
    if (capturersOf(p, defender, square, pins) != (1u << kingCaptureDirection)) return false;
    // Every flight must be closed. The pawn's own square is defended (above). The king was not in
    // check before the drop, so no line through the king matters; the pawn only cuts the lines that
    // passed through its square on their way to a flight next to it.
    for (int d = 0; d < LINE_DIRECTIONS; ++d) {
        const Square flight = king + OFFSET[d];
        if (flight == square) continue;
        const int code = p.at(flight);
        if (isPieceOf(code, defender) || code == WALL) continue;
        uint32_t word = p.attacksOf(side)[flight];
        const int through = directionOfStep(flight - square);
        if (through >= 0 && through < LINE_DIRECTIONS) word &= ~(1u << (SLIDE_BIT_SHIFT + through));
        if (word == 0) return false;
    }
    return true;
}

}  // namespace nagare
