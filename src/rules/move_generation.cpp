#include "rules/move_generation.h"

#include <bit>
#include <cassert>

#include "rules/attacks.h"

namespace nagare {

namespace {

// Drop order of the pieces in hand.
constexpr int DROP_ORDER[] = {ROOK, BISHOP, GOLD, SILVER, KNIGHT, LANCE, PAWN};

class Generator {
  public:
    Generator(const Position& p, Move* out, const GenerationRules& rules)
        : p_(p), out_(out), side_(p.sideToMove), pawnDropMate_(rules.pawnDropMate) {
        computePins(p, pins_);
    }

    int count() const { return n_; }
    const PinMap& pins() const { return pins_; }

    // One board move with its promotion variants; the promoting move comes first.
    void addMove(Square from, Square to, int pinOffset) {
        const int offset = to - from;
        if (offset == 0) return;
        if (pinOffset != 0 && offset != pinOffset && offset != -pinOffset) return;
        if (side_ & p_.at(to)) return;  // own piece or wall
        const int code = p_.at(from);
        const int rank = rankOf(to);
        const int kind = kindOf(code);
        bool forced;
        if (side_ == SENTE)
            forced = ((kind == PAWN || kind == LANCE) && rank == 1) || (kind == KNIGHT && rank <= 2);
        else
            forced = ((kind == PAWN || kind == LANCE) && rank == 9) || (kind == KNIGHT && rank >= 8);
        if (forced) {
            out_[n_++] = makeBoardMove(from, to, code, true);
            return;
        }
        if (canPromote[code] && (inPromotionZone(side_, from) || inPromotionZone(side_, to)))
            out_[n_++] = makeBoardMove(from, to, code, true);
        out_[n_++] = makeBoardMove(from, to, code, false);
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

    // Every move of a piece other than the king that lands on `target`, pins respected.
    void addMovesToSquare(Square target) {
        for (int d = 0; d < DIRECTION_COUNT; ++d) {
            const int step = OFFSET[d];
            Square s = target - step;
            int code = p_.at(s);
            if (code == EMPTY) {
                if (d >= LINE_DIRECTIONS) continue;
                do {
                    s -= step;
                    code = p_.at(s);
                } while (code == EMPTY);
                if (isOwn(code) && canSlide[d][code]) addMove(s, target, pins_[s]);
            } else if (isOwn(code) && kindOf(code) != KING && (canStep[d][code] || canSlide[d][code])) {
                addMove(s, target, pins_[s]);
            }
        }
    }

    void addInterposingDrops(Square target) {
        const int rank = rankOf(target);
        const int fromFar = side_ == SENTE ? rank : 10 - rank;
        for (int kind : DROP_ORDER) {
            const int code = side_ + kind;
            if (p_.hand[code] == 0) continue;
            if (kind == KNIGHT && fromFar <= 2) continue;
            if ((kind == LANCE || kind == PAWN) && fromFar < 2) continue;
            if (kind == PAWN && !pawnDropAllowed(target)) continue;
            out_[n_++] = makeDrop(target, code);
        }
    }

    void generateEvasions(uint32_t checkWord) {
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
        addMovesToSquare(checker);
        addKingMoves(checkWord);
        if (i >= SLIDE_BIT_SHIFT) {
            const int g = OFFSET[i - SLIDE_BIT_SHIFT];
            for (Square s = king - g; s != checker; s -= g) addMovesToSquare(s);
            for (Square s = king - g; s != checker; s -= g) addInterposingDrops(s);
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
                    if (kind == PAWN && !pawnDropMate_ && isPawnDropMate(p_, side_, s, pins_)) continue;
                    out_[n_++] = makeDrop(s, code);
                }
            }
        }
    }

    void generateCheckingCandidates() {
        PinMap discoveries;
        computeDiscoveries(p_, discoveries);
        const Square king = p_.kingOf(GOTE);
        const int kf = fileOf(king), kr = rankOf(king);
        auto within = [](int a, int b, int distance) { return a - b <= distance && b - a <= distance; };
        for (int file = 1; file <= FILE_COUNT; ++file) {
            for (int rank = 1; rank <= RANK_COUNT; ++rank) {
                const Square s = makeSquare(file, rank);
                const int code = p_.at(s);
                if (!isOwn(code)) continue;
                if (discoveries[s] == 0) {
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
                addPieceMoves(s, pins_[s]);
            }
        }
        auto dropOn = [&](int kind, auto&& wanted) {
            const int code = SENTE + kind;
            if (p_.hand[code] == 0) return;
            for (int file = 1; file <= FILE_COUNT; ++file)
                for (int rank = 1; rank <= RANK_COUNT; ++rank) {
                    Square s = makeSquare(file, rank);
                    if (p_.at(s) == EMPTY && wanted(file, rank)) out_[n_++] = makeDrop(s, code);
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
            (pawnDropMate_ || !isPawnDropMate(p_, SENTE, front, pins_)))
            out_[n_++] = makeDrop(front, SENTE + PAWN);
    }

  private:
    bool isOwn(int code) const { return code != WALL && (code & side_) != 0; }

    bool hasUnpromotedPawn(int file) const {
        for (int rank = 1; rank <= RANK_COUNT; ++rank)
            if (p_.at(makeSquare(file, rank)) == side_ + PAWN) return true;
        return false;
    }

    bool pawnDropAllowed(Square target) const {
        if (hasUnpromotedPawn(fileOf(target))) return false;
        return pawnDropMate_ || !isPawnDropMate(p_, side_, target, pins_);
    }

    const Position& p_;
    Move* out_;
    int n_ = 0;
    const Side side_;
    const bool pawnDropMate_;
    PinMap pins_;
};

// Counts the evasions of the side to move from the attack maps, as the generator would produce them.
// A check has one line, so a piece pinned to its king never answers it: the pin's line and the
// check's line meet only at the king. So a pinned piece counts nothing, and a pin is looked for only
// at the few pieces that attack a square of the check.
class EvasionCounter {
  public:
    EvasionCounter(const Position& p, const GenerationRules& rules)
        : p_(p), side_(p.sideToMove), king_(p.kingOf(p.sideToMove)), pawnDropMate_(rules.pawnDropMate) {}

    int count(uint32_t checkWord, bool dropsBySquare) const {
        if (std::popcount(checkWord) > 1) return kingMoves(checkWord);
        const int i = std::countr_zero(checkWord);
        const bool slide = i >= SLIDE_BIT_SHIFT;
        const int g = OFFSET[slide ? i - SLIDE_BIT_SHIFT : i];
        Square checker = king_ - g;
        if (slide)
            while (p_.at(checker) == EMPTY) checker -= g;
        int n = movesTo(checker) + kingMoves(checkWord);
        if (slide) {
            for (Square s = king_ - g; s != checker; s -= g) {
                n += movesTo(s);
                n += dropsBySquare ? (dropsOn(s, true) != 0) : dropsOn(s, false);
            }
        }
        return n;
    }

  private:
    // An enemy slider's ray passes `s` and, with `s` empty, would go on to the king.
    bool pinned(Square s) const {
        uint32_t rays = (p_.attacksOf(opponent(side_))[s] >> SLIDE_BIT_SHIFT) & 0xff;
        while (rays != 0) {
            const int step = OFFSET[std::countr_zero(rays)];
            rays &= rays - 1;
            Square t = s + step;
            while (p_.at(t) == EMPTY) t += step;
            if (t == king_) return true;
        }
        return false;
    }

    // The moves from `from` to `to` of the piece `code`: two where promotion is a choice.
    int variants(Square from, Square to, int code) const {
        const int kind = kindOf(code);
        const int rank = rankOf(to);
        const bool forced = side_ == SENTE
                                ? ((kind == PAWN || kind == LANCE) && rank == 1) || (kind == KNIGHT && rank <= 2)
                                : ((kind == PAWN || kind == LANCE) && rank == 9) || (kind == KNIGHT && rank >= 8);
        if (forced) return 1;
        return canPromote[code] && (inPromotionZone(side_, from) || inPromotionZone(side_, to)) ? 2 : 1;
    }

    // Moves of pieces other than the king to `target`, one for each attacker in the attack word.
    int movesTo(Square target) const {
        uint32_t word = p_.attacksOf(side_)[target];
        int n = 0;
        while (word != 0) {
            const int bit = std::countr_zero(word);
            word &= word - 1;
            Square from;
            if (bit < SLIDE_BIT_SHIFT) {
                from = target - OFFSET[bit];
            } else {
                const int step = OFFSET[bit - SLIDE_BIT_SHIFT];
                from = target - step;
                while (p_.at(from) == EMPTY) from -= step;
            }
            const int code = p_.at(from);
            if (kindOf(code) == KING || pinned(from)) continue;
            n += variants(from, target, code);
        }
        return n;
    }

    // King steps to squares the enemy does not attack, not back along a checking ray.
    int kingMoves(uint32_t checkWord) const {
        const auto& enemyMap = p_.attacksOf(opponent(side_));
        int n = 0;
        for (int d = 0; d < LINE_DIRECTIONS; ++d) {
            const Square t = king_ - OFFSET[d];
            if ((side_ & p_.at(t)) || enemyMap[t] != 0) continue;
            if (checkWord & (1u << (SLIDE_BIT_SHIFT + 7 - d))) continue;
            ++n;
        }
        return n;
    }

    // The interposing drops on `target`; with `firstOnly`, 1 as soon as one is found.
    int dropsOn(Square target, bool firstOnly) const {
        const int rank = rankOf(target);
        const int fromFar = side_ == SENTE ? rank : 10 - rank;
        int n = 0;
        for (int kind : DROP_ORDER) {
            if (p_.hand[side_ + kind] == 0) continue;
            if (kind == KNIGHT && fromFar <= 2) continue;
            if ((kind == LANCE || kind == PAWN) && fromFar < 2) continue;
            if (kind == PAWN && !pawnDropAllowed(target)) continue;
            ++n;
            if (firstOnly) break;
        }
        return n;
    }

    bool pawnDropAllowed(Square target) const {
        const int file = fileOf(target);
        for (int rank = 1; rank <= RANK_COUNT; ++rank)
            if (p_.at(makeSquare(file, rank)) == side_ + PAWN) return false;
        if (pawnDropMate_) return true;
        // Only a pawn right in front of the enemy king can mate; the pins are worked out for that.
        const Square enemyKing = p_.kingOf(opponent(side_));
        if (enemyKing == 0 || target != enemyKing + (side_ == SENTE ? 1 : -1)) return true;
        PinMap pins;
        computePins(p_, pins);
        return !isPawnDropMate(p_, side_, target, pins);
    }

    const Position& p_;
    const Side side_;
    const Square king_;
    const bool pawnDropMate_;
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
    g.generateCheckingCandidates();
    return g.count();
}

int countEvasions(const Position& p, bool dropsBySquare, const GenerationRules& rules) {
    assert(!p.unbuilt && "a child's board is read before it is built");
    const uint32_t check = checkWord(p, p.sideToMove);
    assert(check != 0 && "evasions are counted only in check");
    return EvasionCounter(p, rules).count(check, dropsBySquare);
}

}  // namespace nagare
