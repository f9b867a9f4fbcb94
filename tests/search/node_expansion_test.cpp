#include "search/node_expansion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "../support/sfen.h"

namespace nagare {
namespace {

struct Expanded {
    int code;
    std::vector<Move> moves;
};

Expanded expand(const char* sfen, int genre = GENRE_BEST_MATE, int moveRule = MOVE_RULE_NONE,
                bool symmetry = false, bool checkRequired = true) {
    auto ctx = std::make_unique<SearchContext>();
    ctx->rules.genre = genre;
    ctx->rules.moveRule = moveRule;
    ctx->rules.checkRequired = checkRequired;
    ctx->nodeRules = NodeRules{genre, symmetry, false};
    Position node = test::positionFromSfen(sfen);
    resetSearchFields(node, ctx->nodeRules);
    Expanded e;
    e.code = expandNode(*ctx, node);
    for (int i = 0; i < node.childCount; ++i) {
        EXPECT_EQ(node.children[i].parent, &node);
        e.moves.push_back(node.children[i].lastMove);
    }
    return e;
}

bool has(const Expanded& e, Move m) {
    return std::find(e.moves.begin(), e.moves.end(), m) != e.moves.end();
}

TEST(ExpandNode, TheFirstPlayerKeepsOnlyChecks) {
    Expanded e = expand("4k4/9/4P4/9/9/9/9/9/4K4 b G 1");
    ASSERT_GT(e.code, 0);
    EXPECT_EQ(e.code, static_cast<int>(e.moves.size()));
    EXPECT_TRUE(has(e, makeDrop(0x52, SENTE + GOLD)));
    EXPECT_FALSE(has(e, makeDrop(0x55, SENTE + GOLD)));
    EXPECT_FALSE(has(e, makeBoardMove(0x59, 0x58, SENTE + KING, false)));
}

TEST(ExpandNode, NoCheckingMoveGivesTheRightCode) {
    // Candidates (king moves) exist but none checks: 0. Without a king there is no candidate: -2.
    EXPECT_EQ(expand("4k4/9/9/9/9/9/9/9/4K4 b - 1").code, NO_CHECKING_MOVE);
    EXPECT_EQ(expand("4k4/9/9/9/9/9/9/9/9 b - 1").code, NO_MOVES_SENTE);
    // The second player mated: 0; stalemated: -3.
    EXPECT_EQ(expand("k+R7/9/1R7/9/9/9/9/9/8K w - 1").code, 0);
    EXPECT_EQ(expand("k8/2R6/1R7/9/9/9/9/9/8K w - 1").code, NO_MOVES_GOTE);
}

TEST(ExpandNode, GreedCapturesWhenItCanAndOtherwiseKeepsEveryMove) {
    // 強欲: the rook can take the gold on 52 with check, or check from elsewhere.
    Expanded greedy = expand("4k4/4g4/9/9/4R4/9/9/9/4K4 b G 1", GENRE_BEST_MATE, MOVE_RULE_GOYOKU);
    ASSERT_EQ(greedy.moves.size(), 2u);  // the capture with and without promotion
    EXPECT_EQ(greedy.moves[0].to, 0x52);
    EXPECT_EQ(greedy.moves[1].to, 0x52);
    Expanded noCapture = expand("4k4/9/4P4/9/4R4/9/9/9/4K4 b G 1", GENRE_BEST_MATE, MOVE_RULE_GOYOKU);
    Expanded plain = expand("4k4/9/4P4/9/4R4/9/9/9/4K4 b G 1");
    EXPECT_GT(plain.moves.size(), 2u);
    EXPECT_EQ(noCapture.moves, plain.moves);
    // 禁欲 keeps the non-captures.
    Expanded abstinent = expand("4k4/4g4/9/9/4R4/9/9/9/4K4 b G 1", GENRE_BEST_MATE, MOVE_RULE_KINYOKU);
    for (Move m : abstinent.moves) EXPECT_NE(m.to, 0x52);
}

TEST(ExpandNode, MaxiAndMiniFilterOnlyTheSecondPlayer) {
    // The second player's king and lance: マキシ keeps the lance's longest move, to 99 (where it must
    // promote).
    Expanded maxi = expand("4k4/9/l8/9/9/9/9/9/4K4 w - 1", GENRE_BEST_MATE, MOVE_RULE_MAXI);
    ASSERT_EQ(maxi.moves.size(), 1u);
    EXPECT_EQ(maxi.moves[0], makeBoardMove(0x93, 0x99, GOTE + LANCE, true));
    Expanded mini = expand("4k4/9/l8/9/9/9/9/9/4K4 w - 1", GENRE_BEST_MATE, MOVE_RULE_MINI);
    for (Move m : mini.moves) {
        const int df = fileOf(m.from) - fileOf(m.to), dr = rankOf(m.from) - rankOf(m.to);
        EXPECT_EQ(df * df + dr * dr, 1);
    }
    // The first player's moves are never filtered by them.
    EXPECT_EQ(expand("4k4/9/4P4/9/9/9/9/9/4K4 b G 1", GENRE_BEST_MATE, MOVE_RULE_MAXI).moves,
              expand("4k4/9/4P4/9/9/9/9/9/4K4 b G 1").moves);
}

TEST(ExpandNode, ASymmetricPositionExpandsOneHalf) {
    // Gold drops around the king on 51: 62 (file 6) is left out, its mirror 42 is kept.
    Expanded half = expand("4k4/9/9/9/9/9/9/9/4K4 b G 1", GENRE_BEST_MATE, MOVE_RULE_NONE, true);
    Expanded whole = expand("4k4/9/9/9/9/9/9/9/4K4 b G 1");
    EXPECT_TRUE(has(whole, makeDrop(0x62, SENTE + GOLD)));
    EXPECT_FALSE(has(half, makeDrop(0x62, SENTE + GOLD)));
    EXPECT_TRUE(has(half, makeDrop(0x42, SENTE + GOLD)));
    EXPECT_TRUE(has(half, makeDrop(0x52, SENTE + GOLD)));
}

TEST(JudgeNoMoves, GenresGiveTheirVerdicts) {
    SearchContext ctx;
    Position sente{}, gote{};
    sente.sideToMove = SENTE;
    gote.sideToMove = GOTE;
    auto judge = [&](int genre, const Position& p, int code) {
        ctx.rules.genre = genre;
        return judgeNoMoves(ctx, p, code);
    };
    EXPECT_EQ(judge(GENRE_BEST_MATE, gote, 0), Verdict::PROVED);
    EXPECT_EQ(judge(GENRE_BEST_MATE, gote, NO_MOVES_GOTE), Verdict::DISPROVED);
    EXPECT_EQ(judge(GENRE_BEST_WIN, gote, NO_MOVES_GOTE), Verdict::PROVED);
    EXPECT_EQ(judge(GENRE_BEST_STALEMATE, gote, 0), Verdict::DISPROVED);
    EXPECT_EQ(judge(GENRE_BEST_SELFMATE, sente, NO_MOVES_SENTE_MATED), Verdict::PROVED);
    EXPECT_EQ(judge(GENRE_BEST_MATE, sente, NO_MOVES_SENTE_MATED), Verdict::DISPROVED);
    EXPECT_EQ(judge(GENRE_BEST_SELF_STALEMATE, sente, NO_MOVES_SENTE), Verdict::PROVED);
    EXPECT_EQ(judge(GENRE_BEST_SELFMATE, gote, 0), Verdict::DISPROVED);
    EXPECT_EQ(judge(GENRE_BEST_MATE, sente, NO_CHECKING_MOVE), Verdict::DISPROVED);
    EXPECT_EQ(judge(GENRE_BEST_MATE, sente, 3), Verdict::HAS_MOVES);
    // 打歩: a mate counts only right after the first player's pawn drop.
    ctx.rules.pawnDropMate = true;
    gote.lastMove = makeDrop(0x12, SENTE + GOLD);
    EXPECT_EQ(judge(GENRE_BEST_MATE, gote, 0), Verdict::DISPROVED);
    gote.lastMove = makeDrop(0x12, SENTE + PAWN);
    EXPECT_EQ(judge(GENRE_BEST_MATE, gote, 0), Verdict::PROVED);
}

}  // namespace
}  // namespace nagare
