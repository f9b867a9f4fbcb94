#include "rules/move_generation.h"

#include <bit>
#include <cassert>

#include "rules/attacks.h"

namespace nagare {

namespace {

// Drop order of the pieces in hand.
constexpr int DROP_ORDER[] = {ROOK, BISHOP, GOLD, SILVER, KNIGHT, LANCE, PAWN};

// Which moves the generator keeps while the first player looks for checks: all of them, those that
// check by the moved piece's own attack (a piece that uncovers nothing), or those that check at all.
enum class CheckFilter { NONE, DIRECT, ANY };

class Generator {
  public:
    // Without `out` the generator only counts the moves.
    Generator(const Position& p, Move* out, const GenerationRules& rules)
        : p_(p), out_(out), side_(p.sideToMove), pawnDropMate_(rules.pawnDropMate) {}

    int count() const { return n_; }
    // Moves looked at while only checks were kept.
    int considered() const { return considered_; }
    // Keeps only the moves that give check from here on.
    void keepChecksOnly() { filter_ = CheckFilter::ANY; }

    // The pins of both sides, which every generation but the evasions reads square by square.
    void computeAllPins() {
        computePins(p_, pins_);
        pinsReady_ = true;
    }

    // One board move with its promotion variants; the promoting move comes first.
    void addMove(Square from, Square to, int pinOffset) {
        const int offset = to - from;
        if (offset == 0) return;
        if (pinOffset != 0 && offset != pinOffset && offset != -pinOffset) return;
        if (side_ & p_.at(to)) return;  // own piece or wall
        if (filter_ == CheckFilter::DIRECT && !mayCheckFrom(to)) {
            considered_ += 1;  // the count only has to tell whether there was any move
            return;
        }
        const int code = p_.at(from);
        if (mustPromote(code, side_, to)) {
            emit(makeBoardMove(from, to, code, true));
            return;
        }
        if (mayPromote(code, side_, from, to)) emit(makeBoardMove(from, to, code, true));
        emit(makeBoardMove(from, to, code, false));
    }

    void addPieceMoves(Square from, int pin) {
        const int code = p_.at(from);
        const int kind = kindOf(code);
        if (kind == KING) {
            addKingMoves(0);
            return;
        }
        const PieceMoves& moves = *MOVES_OF_KIND[kind];
        const int sign = side_ == SENTE ? 1 : -1;
        for (int i = 0; i < moves.stepCount; ++i) addMove(from, from + sign * moves.steps[i], pin);
        for (int i = 0; i < moves.slideCount; ++i) {
            const int step = sign * moves.slides[i];
            if (pin != 0 && step != pin && step != -pin) continue;
            Square t = from + step;
            while (p_.at(t) == EMPTY) {
                addMove(from, t, 0);
                t += step;
            }
            addMove(from, t, 0);
        }
    }

    // The king's moves: squares the enemy does not attack, and not back along a checking ray.
    void addKingMoves(uint32_t checkWord) {
        const Square king = p_.kingOf(side_);
        const auto& enemyMap = p_.attacksOf(opponent(side_));
        auto accepts = [&](int d) {
            Square t = king - OFFSET[d];
            int code = p_.at(t);
            if (side_ & code) return false;
            if (enemyMap[t] != 0) return false;
            return (checkWord & (1u << (SLIDE_BIT_SHIFT + 7 - d))) == 0;
        };
        int first = -1;
        const uint32_t adjacentCheckers = checkWord & 0xff;
        if (adjacentCheckers != 0) {
            // Taking the adjacent checker is tried first.
            first = std::countr_zero(adjacentCheckers);
            if (accepts(first)) addMove(king, king - OFFSET[first], 0);
        }
        for (int d = 0; d < LINE_DIRECTIONS; ++d)
            if (d != first && accepts(d)) addMove(king, king - OFFSET[d], 0);
    }

    // Every move of a piece other than the king that lands on `target` and answers a check: one for
    // each attacker in the attack word, in direction order. A check has one line, so a piece pinned
    // to its king never answers it (the pin's line and the check's meet only at the king), and a pin
    // is looked for only at these few pieces.
    void addEvasionsToSquare(Square target) {
        const uint32_t word = p_.attacksOf(side_)[target];
        uint32_t directions = (word & STEP_BITS) | ((word >> SLIDE_BIT_SHIFT) & SLIDE_DIRECTION_BITS);
        while (directions != 0) {
            const int d = std::countr_zero(directions);
            directions &= directions - 1;
            const int step = OFFSET[d];
            Square from = target - step;
            if ((word & (1u << d)) == 0)
                while (p_.at(from) == EMPTY) from -= step;
            if (kindOf(p_.at(from)) == KING || pinnedToOwnKing(from)) continue;
            addMove(from, target, 0);
        }
    }

    void addInterposingDrops(Square target, bool oneDropPerSquare) {
        const int rank = rankOf(target);
        const int fromFar = side_ == SENTE ? rank : 10 - rank;
        for (int kind : DROP_ORDER) {
            const int code = side_ + kind;
            if (p_.hand[code] == 0) continue;
            if (kind == KNIGHT && fromFar <= 2) continue;
            if ((kind == LANCE || kind == PAWN) && fromFar < 2) continue;
            if (kind == PAWN && !pawnDropAllowed(target)) continue;
            emit(makeDrop(target, code));
            if (oneDropPerSquare) return;
        }
    }

    // The evasions of a check; with `oneDropPerSquare` the interposing drops on a square stop at the
    // first piece.
    void generateEvasions(uint32_t checkWord, bool oneDropPerSquare = false) {
        if (std::popcount(checkWord) > 1) {  // double check: only the king can move
            addKingMoves(checkWord);
            return;
        }
        const Square king = p_.kingOf(side_);
        const int i = std::countr_zero(checkWord);
        Square checker;
        if (i < SLIDE_BIT_SHIFT) {
            checker = king - OFFSET[i];
        } else {
            checker = king - OFFSET[i - SLIDE_BIT_SHIFT];
            while (p_.at(checker) == EMPTY) checker -= OFFSET[i - SLIDE_BIT_SHIFT];
        }
        addEvasionsToSquare(checker);
        addKingMoves(checkWord);
        if (i >= SLIDE_BIT_SHIFT) {
            const int g = OFFSET[i - SLIDE_BIT_SHIFT];
            for (Square s = king - g; s != checker; s -= g) addEvasionsToSquare(s);
            for (Square s = king - g; s != checker; s -= g) addInterposingDrops(s, oneDropPerSquare);
        }
    }

    void generateBoardMoves() {
        for (int file = 1; file <= FILE_COUNT; ++file)
            for (int rank = 1; rank <= RANK_COUNT; ++rank) {
                Square s = makeSquare(file, rank);
                if (isOwn(p_.at(s))) addPieceMoves(s, pins_[s]);
            }
    }

    void generateDrops() {
        for (int kind : DROP_ORDER) {
            const int code = side_ + kind;
            if (p_.hand[code] == 0) continue;
            // Ranks counted from the mover's far side where the piece may still move afterwards.
            int nearestRank = 1;
            if (kind == KNIGHT) nearestRank = 3;
            if (kind == LANCE || kind == PAWN) nearestRank = 2;
            for (int file = 1; file <= FILE_COUNT; ++file) {
                if (kind == PAWN && hasUnpromotedPawn(file)) continue;
                for (int rank = 1; rank <= RANK_COUNT; ++rank) {
                    const int fromFar = side_ == SENTE ? rank : 10 - rank;
                    if (fromFar < nearestRank) continue;
                    Square s = makeSquare(file, rank);
                    if (p_.at(s) != EMPTY) continue;
                    if (kind == PAWN && !pawnDropMate_ && isPawnDropMate(s)) continue;
                    emit(makeDrop(s, code));
                }
            }
        }
    }

    void generateCheckingCandidates() {
        const SquareSet discoverers = discoveredCheckers(p_);
        const Square king = p_.kingOf(GOTE);
        const int kf = fileOf(king), kr = rankOf(king);
        auto within = [](int a, int b, int distance) { return a - b <= distance && b - a <= distance; };
        for (int file = 1; file <= FILE_COUNT; ++file) {
            for (int rank = 1; rank <= RANK_COUNT; ++rank) {
                const Square s = makeSquare(file, rank);
                const int code = p_.at(s);
                if (!isOwn(code)) continue;
                if (!discoverers.contains(s)) {
                    const int kind = kindOf(code);
                    // Pieces that can neither reach a checking square nor uncover a check.
                    if (kind == PAWN && s != king + 2 &&
                        !(kr <= 3 && within(file, kf, 1) && (rank == kr + 1 || rank == kr + 2)))
                        continue;
                    if (kind == LANCE && file != kf && !(kr <= 3 && within(file, kf, 1))) continue;
                    if ((kind == SILVER || kind == GOLD ||
                         (kind >= PAWN + PROMOTED && kind <= SILVER + PROMOTED)) &&
                        !within(file, kf, 2))
                        continue;
                }
                if (filter_ != CheckFilter::NONE)
                    filter_ = discoverers.contains(s) ? CheckFilter::ANY : CheckFilter::DIRECT;
                addPieceMoves(s, pinsReady_ ? pins_[s] : 0);
            }
        }
        if (filter_ != CheckFilter::NONE) filter_ = CheckFilter::DIRECT;  // a drop uncovers nothing
        auto dropOn = [&](int kind, auto&& wanted) {
            const int code = SENTE + kind;
            if (p_.hand[code] == 0) return;
            for (int file = 1; file <= FILE_COUNT; ++file)
                for (int rank = 1; rank <= RANK_COUNT; ++rank) {
                    Square s = makeSquare(file, rank);
                    if (p_.at(s) == EMPTY && wanted(file, rank)) emit(makeDrop(s, code));
                }
        };
        dropOn(ROOK, [&](int f, int r) { return f == kf || r == kr; });
        dropOn(BISHOP, [&](int f, int r) { return f + r == kf + kr || f - r == kf - kr; });
        auto nextToKing = [&](int f, int r) { return within(f, kf, 1) && within(r, kr, 1); };
        dropOn(GOLD, nextToKing);
        dropOn(SILVER, nextToKing);
        dropOn(KNIGHT, [&](int f, int r) { return (f == kf - 1 || f == kf + 1) && r == kr + 2; });
        dropOn(LANCE, [&](int f, int r) { return f == kf && r > kr; });
        const Square front = king + 1;
        if (p_.hand[SENTE + PAWN] != 0 && p_.at(front) == EMPTY && !hasUnpromotedPawn(kf) &&
            (pawnDropMate_ || !isPawnDropMate(front)))
            emit(makeDrop(front, SENTE + PAWN));
    }

  private:
    bool isOwn(int code) const { return code != WALL && (code & side_) != 0; }

    bool hasUnpromotedPawn(int file) const {
        for (int rank = 1; rank <= RANK_COUNT; ++rank)
            if (p_.at(makeSquare(file, rank)) == side_ + PAWN) return true;
        return false;
    }

    bool pawnDropAllowed(Square target) {
        if (hasUnpromotedPawn(fileOf(target))) return false;
        return pawnDropMate_ || !isPawnDropMate(target);
    }

    // Only a pawn right in front of the enemy king can mate it; the pins are worked out for that.
    bool isPawnDropMate(Square target) {
        const Square enemyKing = p_.kingOf(opponent(side_));
        if (enemyKing == 0 || target != enemyKing + (side_ == SENTE ? 1 : -1)) return false;
        if (!pinsReady_) computeAllPins();
        return nagare::isPawnDropMate(p_, side_, target, pins_);
    }

    // An enemy slider's ray passes `s` and, with `s` empty, would go on to the mover's king.
    bool pinnedToOwnKing(Square s) const {
        uint32_t rays = (p_.attacksOf(opponent(side_))[s] >> SLIDE_BIT_SHIFT) & SLIDE_DIRECTION_BITS;
        while (rays != 0) {
            const int step = OFFSET[std::countr_zero(rays)];
            rays &= rays - 1;
            Square t = s + step;
            while (p_.at(t) == EMPTY) t += step;
            if (t == p_.kingOf(side_)) return true;
        }
        return false;
    }

    // Whether a piece on `to` could attack the second player's king at all: from next to it, a
    // knight's jump away, or one of its lines.
    bool mayCheckFrom(Square to) const {
        const Square king = p_.kingOf(GOTE);
        const int df = fileOf(king) - fileOf(to), dr = rankOf(king) - rankOf(to);
        return (df * df <= 1 && dr * dr <= 4) || df == 0 || dr == 0 || df == dr || df == -dr;
    }

    void emit(Move m) {
        if (filter_ != CheckFilter::NONE) {
            ++considered_;
            if (!(filter_ == CheckFilter::DIRECT ? givesDirectCheck(p_, m) : givesCheck(p_, m))) return;
        }
        if (out_ != nullptr) out_[n_] = m;
        ++n_;
    }

    static constexpr uint32_t STEP_BITS = (1u << DIRECTION_COUNT) - 1;
    static constexpr uint32_t SLIDE_DIRECTION_BITS = (1u << LINE_DIRECTIONS) - 1;

    const Position& p_;
    Move* out_;
    int n_ = 0;
    const Side side_;
    const bool pawnDropMate_;
    bool pinsReady_ = false;
    PinMap pins_;
    CheckFilter filter_ = CheckFilter::NONE;
    int considered_ = 0;
};

}  // namespace

int generateAllMoves(const Position& p, Move* buffer, const GenerationRules& rules) {
    assert(!p.unbuilt && "a child's board is read before it is built");
    Generator g(p, buffer, rules);
    const Side side = p.sideToMove;
    if (uint32_t check = checkWord(p, side); check != 0) {
        g.generateEvasions(check);
        if (side == SENTE && g.count() == 0) return NO_MOVES_SENTE_MATED;
        return g.count();
    }
    g.computeAllPins();
    g.generateBoardMoves();
    g.generateDrops();
    if (g.count() == 0) return side == SENTE ? NO_MOVES_SENTE : NO_MOVES_GOTE;
    return g.count();
}

int generateCheckCandidates(const Position& p, Move* buffer, const GenerationRules& rules) {
    assert(!p.unbuilt && "a child's board is read before it is built");
    Generator g(p, buffer, rules);
    if (uint32_t check = checkWord(p, SENTE); check != 0) {
        g.generateEvasions(check);
        return g.count() == 0 ? NO_MOVES_SENTE_MATED : g.count();
    }
    if (p.kingOf(SENTE) != 0) g.computeAllPins();
    g.generateCheckingCandidates();
    return g.count();
}

int generateChecks(const Position& p, Move* buffer, bool& anyCandidate, const GenerationRules& rules) {
    assert(!p.unbuilt && "a child's board is read before it is built");
    Generator g(p, buffer, rules);
    g.keepChecksOnly();
    if (uint32_t check = checkWord(p, SENTE); check != 0) {
        g.generateEvasions(check);
        anyCandidate = g.considered() > 0;
        return g.considered() == 0 ? NO_MOVES_SENTE_MATED : g.count();
    }
    // Without a king of its own the first player has no pinned piece: the pins are worked out only
    // if a pawn drop has to be tested for mate.
    if (p.kingOf(SENTE) != 0) g.computeAllPins();
    g.generateCheckingCandidates();
    anyCandidate = g.considered() > 0;
    return g.count();
}

int countEvasions(const Position& p, bool dropsBySquare, const GenerationRules& rules) {
    assert(!p.unbuilt && "a child's board is read before it is built");
    const uint32_t check = checkWord(p, p.sideToMove);
    assert(check != 0 && "evasions are counted only in check");
    Generator g(p, nullptr, rules);
    g.generateEvasions(check, dropsBySquare);
    return g.count();
}

namespace {

// The board after the second player's move `m` in `parent`, without playing it: the squares the
// move empties and fills read as they will be, and the first player's attack words are the parent's
// (a line the move opens or closes is not followed, nor the attacks of a piece it captures).
struct BoardAfterDefence {
    const Position& parent;
    Move m;
    PieceCode arriving;

    BoardAfterDefence(const Position& p, Move move)
        : parent(p), m(move), arriving(move.piece | (move.promote ? PROMOTED : 0)) {}
    PieceCode at(Square s) const {
        if (s == m.to) return arriving;
        if (!m.isDrop() && s == m.from) return EMPTY;
        return parent.at(s);
    }
    Square king() const { return kindOf(m.piece) == KING ? Square(m.to) : parent.kingOf(GOTE); }
};

// The first player's moves that would check the king from `t`, a square seen from the king: drops
// (on an empty square) and the pieces that reach it, promoted or not. `checksFrom(code)` says whether
// a piece of that code on t attacks the king.
template <typename ChecksFrom>
int estimateChecksFrom(const BoardAfterDefence& b, Square t, ChecksFrom checksFrom) {
    const uint32_t word = b.parent.attacksOf(SENTE)[t];
    int checks = 0;
    auto mover = [&](Square s) {
        const PieceCode code = b.at(s);
        if (!isPieceOf(code, SENTE) || kindOf(code) == KING) return;
        const bool forced = mustPromote(code, SENTE, t);
        if ((forced || mayPromote(code, SENTE, s, t)) && checksFrom(code | PROMOTED)) ++checks;
        if (!forced && checksFrom(code)) ++checks;
    };
    for (uint32_t steps = word & STEP_BITS; steps != 0; steps &= steps - 1)
        mover(t - OFFSET[std::countr_zero(steps)]);
    for (uint32_t slides = (word & SLIDE_BITS) >> SLIDE_BIT_SHIFT; slides != 0; slides &= slides - 1) {
        const int d = std::countr_zero(slides);
        Square s = t - OFFSET[d];
        while (b.at(s) == EMPTY) s -= OFFSET[d];
        mover(s);
    }
    if (b.at(t) == EMPTY)
        for (int kind = PAWN; kind <= ROOK; ++kind)
            if (b.parent.handCount(SENTE + kind) != 0 && checksFrom(SENTE + kind)) ++checks;
    return checks;
}

}  // namespace

int estimateChecksAfter(const Position& parent, Move m) {
    assert(!parent.unbuilt && "a child's board is read before it is built");
    const BoardAfterDefence b(parent, m);
    const Square king = b.king();
    if (king == 0) return 0;
    int checks = 0;
    for (int e = 0; e < LINE_DIRECTIONS; ++e) {
        const int back = 7 - e;  // from the square towards the king
        Square t = king + OFFSET[e];
        for (int k = 1;; t += OFFSET[e], ++k) {
            const PieceCode code = b.at(t);
            if (code == WALL || isPieceOf(code, SENTE)) break;
            checks += estimateChecksFrom(b, t, [back, k](PieceCode placed) {
                return canSlide[back][placed] != 0 || (k == 1 && canStep[back][placed] != 0);
            });
            if (code != EMPTY) break;
        }
    }
    for (int d = LINE_DIRECTIONS; d < DIRECTION_COUNT; ++d) {
        const Square t = king - OFFSET[d];
        const PieceCode code = b.at(t);
        if (code == WALL || isPieceOf(code, SENTE)) continue;
        checks += estimateChecksFrom(b, t, [d](PieceCode placed) { return canStep[d][placed] != 0; });
    }
    return checks;
}

}  // namespace nagare
