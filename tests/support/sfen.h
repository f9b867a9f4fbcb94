// Builds positions from SFEN strings for tests.
#pragma once

#include <array>
#include <cctype>
#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>

#include "rules/position.h"

namespace nagare::test {

inline int sfenKind(char c) {
    switch (std::tolower(static_cast<unsigned char>(c))) {
        case 'p':
            return PAWN;
        case 'l':
            return LANCE;
        case 'n':
            return KNIGHT;
        case 's':
            return SILVER;
        case 'g':
            return GOLD;
        case 'b':
            return BISHOP;
        case 'r':
            return ROOK;
        case 'k':
            return KING;
    }
    throw std::invalid_argument(std::string("bad sfen piece ") + c);
}

struct Diagram {
    std::array<uint8_t, 81> cells{};
    std::array<int32_t, 40> hands{};
    Side side = SENTE;
};

// "board side hand" as in SFEN; the move number may be present or not.
inline Diagram parseSfen(const std::string& sfen) {
    std::istringstream in(sfen);
    std::string board, side, hand;
    in >> board >> side >> hand;
    Diagram d;
    int row = 0, column = 0;
    bool promoted = false;
    for (char c : board) {
        if (c == '/') {
            ++row;
            column = 0;
        } else if (c == '+') {
            promoted = true;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            column += c - '0';
        } else {
            int code = (std::isupper(static_cast<unsigned char>(c)) ? SENTE : GOTE) + sfenKind(c);
            if (promoted) code |= PROMOTED;
            promoted = false;
            d.cells[row * 9 + column] = static_cast<uint8_t>(code);
            ++column;
        }
    }
    d.side = side == "w" ? GOTE : SENTE;
    int count = 0;
    if (hand != "-") {
        for (char c : hand) {
            if (std::isdigit(static_cast<unsigned char>(c))) {
                count = count * 10 + (c - '0');
                continue;
            }
            int code = (std::isupper(static_cast<unsigned char>(c)) ? SENTE : GOTE) + sfenKind(c);
            d.hands[code] += count == 0 ? 1 : count;
            count = 0;
        }
    }
    return d;
}

inline Position positionFromSfen(const std::string& sfen) {
    Diagram d = parseSfen(sfen);
    Position p{};
    setUp(p, d.cells.data(), d.hands.data(), d.side);
    return p;
}

inline const char* const STARTING_POSITION =
    "lnsgkgsnl/1r5b1/ppppppppp/9/9/9/PPPPPPPPP/1B5R1/LNSGKGSNL b - 1";

}  // namespace nagare::test
