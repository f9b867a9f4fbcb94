#include "rules/validation.h"

#include "platform/console.h"
#include "rules/rule_set.h"

namespace nagare {

namespace {

constexpr int FIRST_RANK = 1;
constexpr int LAST_RANK = RANK_COUNT;

bool isUnmovable(Square s, int code) {
    // Pawns, lances and knights move only forwards: on the last rank, and a knight also on the rank
    // before it, they could never move again.
    int rank = rankOf(s);
    if (rank == FIRST_RANK && (code == SENTE + PAWN || code == SENTE + LANCE || code == SENTE + KNIGHT))
        return true;
    if (rank == FIRST_RANK + 1 && code == SENTE + KNIGHT) return true;
    if (rank == LAST_RANK && (code == GOTE + PAWN || code == GOTE + LANCE || code == GOTE + KNIGHT))
        return true;
    if (rank == LAST_RANK - 1 && code == GOTE + KNIGHT) return true;
    return false;
}

}  // namespace

std::string initialPositionFault(const Position& position, int genre) {
    // A side has one king: the position keeps the square of one, and the moves of a second one
    // would never be generated.
    for (Side side : {SENTE, GOTE}) {
        int kings = 0;
        for (int file = 1; file <= FILE_COUNT; ++file)
            for (int rank = 1; rank <= RANK_COUNT; ++rank)
                if (position.at(makeSquare(file, rank)) == side + KING) ++kings;
        if (kings > 1)
            return std::string(side == SENTE ? "先手" : "後手") +
                   "の玉が二枚以上あります\n図が正しいかどうかチェックしてください\n";
    }

    Square senteKing = position.kingOf(SENTE);
    Square goteKing = position.kingOf(GOTE);

    if ((genre & KING_DEFENDER) != 0 && goteKing == 0)
        return "受方玉がありません\n図が正しいかどうかチェックしてください\n";
    if ((genre & GOAL_MATE) != 0 && (genre & KING_OWN) != 0 && senteKing == 0)
        return "自玉詰にもかかわらず自玉がありません\n図や手番が正しいかどうかチェックしてください\n";

    // The side that is not to move must not stand in check: its king could be captured.
    bool waitingKingAttacked = position.sideToMove == SENTE
                                   ? goteKing != 0 && position.attacksOf(SENTE)[goteKing] != 0
                                   : senteKing != 0 && position.attacksOf(GOTE)[senteKing] != 0;
    if (waitingKingAttacked)
        return "初形で既に王手が掛かっています\n図や手番が正しいかどうかチェックしてください\n";

    for (int file = 1; file <= FILE_COUNT; ++file) {
        int sentePawns = 0, gotePawns = 0;
        for (int rank = 1; rank <= RANK_COUNT; ++rank) {
            int code = position.at(makeSquare(file, rank));
            if (code == SENTE + PAWN) ++sentePawns;
            if (code == GOTE + PAWN) ++gotePawns;
            if (sentePawns > 1 || gotePawns > 1) return "初形に二歩があります\n";
        }
    }

    for (int file = 1; file <= FILE_COUNT; ++file)
        for (int rank = 1; rank <= RANK_COUNT; ++rank)
            if (isUnmovable(makeSquare(file, rank), position.at(makeSquare(file, rank))))
                return "初形に行きどころのない駒があります\n";

    return {};
}

bool validateInitialPosition(const Position& position, int genre) {
    std::string fault = initialPositionFault(position, genre);
    if (!fault.empty()) platform::consoleWrite(fault);
    return fault.empty();
}

}  // namespace nagare
