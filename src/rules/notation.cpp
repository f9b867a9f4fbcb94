#include "rules/notation.h"

#include "rules/piece_names.h"

namespace nagare {

namespace {

void appendSquare(std::string& out, Square s) {
    out += static_cast<char>('0' + fileOf(s));
    out += static_cast<char>('0' + rankOf(s));
}

// The disambiguation words for a move of piece `piece` to `to` when other pieces of the same code
// could have gone there: 右 左 直 (horizontal), 上 引 寄 (vertical), 打 for a drop.
std::string disambiguation(const Position& p, Move m) {
    const int piece = m.piece;
    const Side side = sideOf(piece);
    const Square to = m.to, from = m.from;
    const int destFile = fileOf(to), destRank = rankOf(to);
    const bool longRange = isLongRange(piece);
    // "Right" from the mover's side: the smaller file for the first player, the larger for the second.
    auto rightOf = [&](int a, int b) { return side == SENTE ? a < b : a > b; };
    auto forwardOf = [&](int toRank, int fromRank) {
        return side == SENTE ? toRank < fromRank : toRank > fromRank;
    };
    const char* horizontal = "";
    const char* vertical = "";
    const char* extra = "";
    int others = 0, left = 0, right = 0;
    auto countSide = [&](Square s) {
        if (rightOf(fileOf(s), destFile))
            ++right;
        else if (rightOf(destFile, fileOf(s)))
            ++left;
    };
    auto sideWord = [&](Square other) -> const char* {
        if (rightOf(fileOf(from), fileOf(other))) return "右";
        if (rightOf(fileOf(other), fileOf(from))) return "左";
        return nullptr;
    };
    auto verticalWord = [&]() -> const char* {
        if (destRank == rankOf(from)) return "寄";
        return forwardOf(destRank, rankOf(from)) ? "上" : "引";
    };
    const int forward = side == SENTE ? -1 : 1;

    for (int u = 0; u < DIRECTION_COUNT; ++u) {
        const int d = OFFSET[u];
        const Square s = to - d;
        bool skipRayScan = false;
        if (!m.isDrop() && s == from) {
            countSide(from);
        } else if (p.at(s) == piece && (canStep[u][piece] || canSlide[u][piece])) {
            ++others;
            countSide(s);
            if (!m.isDrop() && rankOf(s) == rankOf(from)) {
                const bool straightForward = to - from == forward;
                const bool straightBackward = to - from == -forward;
                if (straightForward) {
                    if (!longRange) {
                        horizontal = "直";
                        skipRayScan = true;
                    } else {
                        extra = "直";
                    }
                }
                if (!skipRayScan) {
                    if (straightBackward) extra = "引";
                    if (const char* w = sideWord(s)) horizontal = w;
                }
            } else if (!m.isDrop()) {
                vertical = verticalWord();
                const bool sameSide = (rankOf(from) < destRank && rankOf(s) < destRank) ||
                                      (rankOf(from) > destRank && rankOf(s) > destRank);
                if (longRange && sameSide)
                    if (const char* w = sideWord(s)) horizontal = w;
            }
        }
        if (skipRayScan || !longRange || u >= LINE_DIRECTIONS) continue;
        // A slider of the same code further along the line beyond the destination.
        Square f = to + d;
        while (p.at(f) == EMPTY) f += d;
        if (p.at(f) != piece || f == from || !canSlide[7 - u][piece]) continue;
        if (f - from != 16 && f - from != -16) ++others;
        if (m.isDrop()) continue;
        vertical = verticalWord();
        const int fr = rankOf(from), orank = rankOf(f);
        const bool sameSide = (fr > destRank && orank > destRank) || (fr < destRank && orank < destRank) ||
                              (fr == destRank && orank == destRank);
        if (sameSide) {
            horizontal = rightOf(fileOf(from), fileOf(f)) ? "右" : "左";
            vertical = "";
        }
    }
    if (others == 0) return "";
    if (m.isDrop()) return "打";
    std::string h = horizontal, v = vertical, x = extra;
    if (others >= 2 && !x.empty()) {
        h = x;
        v.clear();
    } else if (left >= 1 && right >= 1 && fileOf(from) == fileOf(to)) {
        if (h == "直" || v == "上") {
            h = "直";
            v.clear();
        } else if (v == "引") {
            h.clear();
        }
    }
    if ((right < 2 && h == "右") || (left < 2 && h == "左")) {
        if (!longRange || (h == "右" && right == 0) || (h == "左" && left == 0)) v.clear();
    }
    return h + v;
}

}  // namespace

std::string formatMove(const Position& p, Move m) {
    std::string out;
    if (m.to == p.lastMove.to)
        out += "同";
    else
        appendSquare(out, m.to);
    out += SHORT_NAME[m.piece];
    out += disambiguation(p, m);
    if (m.promote)
        out += "成";
    else if (!m.isDrop() && canPromote[m.piece] &&
             (inPromotionZone(sideOf(m.piece), m.from) || inPromotionZone(sideOf(m.piece), m.to)))
        out += "生";
    out += ' ';
    return out;
}

std::string formatMoveShort(Move m) {
    std::string out;
    appendSquare(out, m.to);
    out += SHORT_NAME[m.piece];
    if (m.promote) out += "成";
    if (m.isDrop()) {
        out += "打";
    } else {
        out += '(';
        appendSquare(out, m.from);
        out += ')';
    }
    return out;
}

}  // namespace nagare

namespace nagare {

std::string formatMoveUsi(Move m) {
    auto square = [](Square s) {
        return std::string{static_cast<char>('0' + fileOf(s)), static_cast<char>('a' + rankOf(s) - 1)};
    };
    if (m.isDrop()) {
        // Only a piece in hand is dropped; anything else shows as "?".
        static constexpr char LETTERS[] = "?PLNSGBR";
        const int kind = kindOf(m.piece);
        return std::string{LETTERS[kind <= ROOK ? kind : 0], '*'} + square(m.to);
    }
    return square(m.from) + square(m.to) + (m.promote ? "+" : "");
}

Move parseMoveUsi(const Position& p, const std::string& text) {
    auto square = [&](size_t i) -> Square {
        if (i + 1 >= text.size()) return 0;
        const int file = text[i] - '0', rank = text[i + 1] - 'a' + 1;
        return file >= 1 && file <= 9 && rank >= 1 && rank <= 9 ? makeSquare(file, rank) : 0;
    };
    if (text.size() >= 4 && text[1] == '*') {
        static constexpr char LETTERS[] = "PLNSGBR";
        const char* letter = std::char_traits<char>::find(LETTERS, 7, text[0]);
        const Square to = square(2);
        if (letter == nullptr || to == 0) return Move{};
        return makeDrop(to, p.sideToMove + PAWN + static_cast<int>(letter - LETTERS));
    }
    const Square from = square(0), to = square(2);
    if (from == 0 || to == 0 || p.at(from) == EMPTY) return Move{};
    return makeBoardMove(from, to, p.at(from), text.size() == 5 && text[4] == '+');
}

std::string formatLineUsi(const std::vector<Move>& line) {
    std::string text;
    for (Move m : line) {
        if (!text.empty()) text += ' ';
        text += formatMoveUsi(m);
    }
    return text;
}

}  // namespace nagare
