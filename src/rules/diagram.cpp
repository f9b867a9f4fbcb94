#include "rules/diagram.h"

#include <fstream>

#include "platform/console.h"
#include "rules/piece_names.h"

namespace nagare {

namespace {

constexpr const char* FILE_NUMBERS = "  ９ ８ ７ ６ ５ ４ ３ ２ １ ";
constexpr const char* BORDER = "+---------------------------+";
constexpr int PIECE_CODES = 64;

// "持駒：" and the pieces from the rook down: a name alone for one piece, the name and the count for
// more, "なし" when the hand is empty.
std::string handLine(const Position& position, Side side) {
    constexpr int HAND_ORDER[] = {ROOK, BISHOP, GOLD, SILVER, KNIGHT, LANCE, PAWN};
    std::string pieces;
    for (int kind : HAND_ORDER) {
        int count = position.handCount(side + kind);
        if (count <= 0) continue;
        pieces += SHORT_NAME[SENTE + kind];
        if (count > 1) pieces += std::to_string(count);
        pieces += ' ';
    }
    return "持駒：" + (pieces.empty() ? std::string("なし") : pieces) + "\n";
}

}  // namespace

std::string formatDiagram(const Position& position) {
    std::string text = "\n";
    text += handLine(position, GOTE);
    text += std::string(FILE_NUMBERS) + "\n";
    text += std::string(BORDER) + "\n";
    for (int rank = 1; rank <= RANK_COUNT; ++rank) {
        text += '|';
        for (int file = FILE_COUNT; file >= 1; --file) {
            int code = position.at(makeSquare(file, rank));
            text += code < PIECE_CODES ? DIAGRAM_NAME[code] : "   ";
        }
        text += '|';
        text += KANJI_NUMERAL[rank];
        text += '\n';
    }
    text += std::string(BORDER) + "\n";
    text += handLine(position, SENTE);
    return text;
}

void drawDiagram(const Position& position, const std::string& path) {
    std::string text = formatDiagram(position);
    if (path.empty()) {
        platform::consoleWrite(text);
        return;
    }
    std::ofstream file(path, std::ios::binary | std::ios::app);
    if (file) file << text;
}

}  // namespace nagare
