// The real problems under tests/data/problems and what their indexes say about them: the stated
// length, the genre (fairy problems) and the position in SFEN, read here independently of nagare.
#pragma once

#include <array>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "rules/board_geometry.h"

namespace nagare::test {

struct IndexedProblem {
    std::string path;
    std::map<std::string, std::string> columns;  // by the index's header names
};

// Every problem listed in tests/data/problems/<folder>/index.tsv.
inline std::vector<IndexedProblem> indexedProblems(const std::string& folder) {
    std::string dir = std::string(NAGARE_TEST_DATA) + "/problems/" + folder;
    std::ifstream index(dir + "/index.tsv");
    std::vector<IndexedProblem> problems;
    std::string line;
    std::vector<std::string> header;
    while (std::getline(index, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (header.empty()) {
            header = fields;
            continue;
        }
        IndexedProblem p;
        for (size_t i = 0; i < fields.size() && i < header.size(); ++i) p.columns[header[i]] = fields[i];
        p.path = dir + "/" + p.columns["file"];
        problems.push_back(p);
    }
    return problems;
}

// A position in SFEN: ranks from 1 down, files from 9 to 1 within a rank; upper case is the first
// player; "+" promotes the next piece; the hand follows the side to move, counts before the letter.
struct SfenPosition {
    std::array<uint8_t, 81> diagram{};
    std::array<int32_t, 40> hands{};
    Side side = SENTE;
};

inline int sfenKind(char letter) {
    switch (std::tolower(static_cast<unsigned char>(letter))) {
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
        default:
            return 0;
    }
}

inline Side sfenSide(char letter) {
    return std::isupper(static_cast<unsigned char>(letter)) ? SENTE : GOTE;
}

inline SfenPosition parseSfen(const std::string& sfen) {
    std::istringstream fields(sfen);
    std::string board, side, hand;
    fields >> board >> side >> hand;
    SfenPosition p;
    size_t cell = 0;
    bool promoted = false;
    for (char c : board) {
        if (c == '/') continue;
        if (c == '+') {
            promoted = true;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            cell += c - '0';
        } else {
            p.diagram[cell++] = static_cast<uint8_t>(sfenSide(c) + sfenKind(c) + (promoted ? PROMOTED : 0));
            promoted = false;
        }
    }
    p.side = side == "b" ? SENTE : GOTE;
    int count = 0;
    for (char c : hand) {
        if (c == '-') break;
        if (std::isdigit(static_cast<unsigned char>(c))) {
            count = count * 10 + (c - '0');
            continue;
        }
        p.hands[sfenSide(c) + sfenKind(c)] += count == 0 ? 1 : count;  // "GG" also means two
        count = 0;
    }
    return p;
}

}  // namespace nagare::test
