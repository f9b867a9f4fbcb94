// The rules of a problem: its genre and the fairy conditions.
#pragma once

#include <cstdint>

namespace nagare {

// Genre code = goal + whose king + play.
constexpr int GOAL_MATE = 0x100;       // 詰
constexpr int GOAL_STALEMATE = 0x200;  // ステイルメイト
constexpr int GOAL_EITHER = 0x300;     // 勝: mate or stalemate
constexpr int GOAL_MASK = 0x300;
constexpr int KING_DEFENDER = 0x10;  // the second player's king: ordinary problems
constexpr int KING_OWN = 0x20;       // 自玉: the first player's own king
constexpr int KING_MASK = 0x30;
constexpr int PLAY_WORST = 1;  // 最悪: every move of the first player must still reach the goal
constexpr int PLAY_BEST = 2;   // 最善: the first player chooses, the second player defends
constexpr int PLAY_MASK = 3;

constexpr int GENRE_BEST_MATE = 0x112;             // 最善詰
constexpr int GENRE_WORST_MATE = 0x111;            // 最悪詰
constexpr int GENRE_BEST_SELFMATE = 0x122;         // 最善自玉詰
constexpr int GENRE_WORST_SELFMATE = 0x121;        // 最悪自玉詰
constexpr int GENRE_BEST_STALEMATE = 0x212;        // 最善ステイルメイト
constexpr int GENRE_BEST_SELF_STALEMATE = 0x222;   // 最善自玉ステイルメイト
constexpr int GENRE_WORST_SELF_STALEMATE = 0x221;  // 最悪自玉ステイルメイト
constexpr int GENRE_BEST_WIN = 0x312;              // 最善勝

enum MoveRule : int32_t {
    MOVE_RULE_NONE = 0,
    MOVE_RULE_KINYOKU = 1,  // 禁欲: no captures
    MOVE_RULE_GOYOKU = 2,   // 強欲: captures when there are any
    MOVE_RULE_MAXI = 3,     // マキシ: the second player plays its longest moves
    MOVE_RULE_MINI = 4,     // ミニ: the second player plays its shortest moves
    MOVE_RULE_CHOKU = 5,    // 長駆: the second player plays its farthest king-step moves
};

struct RuleSet {
    int32_t genre = GENRE_BEST_MATE;
    int32_t moveRule = MOVE_RULE_NONE;
    bool checkRequired = true;  // the first player's moves must give check
    bool pawnDropMate = false;  // 打歩: the goal counts only when given by a pawn drop
};

constexpr int playOf(int genre) {
    return genre & PLAY_MASK;
}
constexpr bool isOwnKingGenre(int genre) {
    return (genre & KING_MASK) == KING_OWN;
}

}  // namespace nagare
