// The Shift-JIS names of pieces, numerals and digits used by the diagram, the problem file and the
// move notation.
#pragma once

#include <array>

namespace nagare {

// Diagram cell texts, three bytes each, indexed by piece code. The first player's king is " 王",
// the second player's "v玉".
inline constexpr std::array<const char*, 64> DIAGRAM_NAME = [] {
    std::array<const char*, 64> t{};
    for (auto& s : t) s = "   ";
    t[0] = " ・";
    const char* sente[] = {" 歩", " 香", " 桂", " 銀", " 金", " 角", " 飛", " 王",
                           " と", " 杏", " 圭", " 全", " 金", " 馬", " 龍"};
    const char* gote[] = {"v歩", "v香", "v桂", "v銀", "v金", "v角", "v飛", "v玉",
                          "vと", "v杏", "v圭", "v全", "v金", "v馬", "v龍"};
    for (int i = 0; i < 15; ++i) {
        t[17 + i] = sente[i];
        t[33 + i] = gote[i];
    }
    t[48] = " ●";
    return t;
}();

// Short names, two bytes each, indexed by piece code, as used in move notation.
inline constexpr std::array<const char*, 64> SHORT_NAME = [] {
    std::array<const char*, 64> t{};
    for (auto& s : t) s = "  ";
    const char* names[] = {"歩", "香", "桂", "銀", "金", "角", "飛", "王",
                           "と", "杏", "圭", "全", "金", "馬", "龍"};
    for (int i = 0; i < 15; ++i) {
        t[17 + i] = names[i];
        t[33 + i] = names[i];
    }
    t[40] = "玉";
    t[48] = "●";
    return t;
}();

inline constexpr std::array<const char*, 11> KANJI_NUMERAL = {"０", "一", "二", "三", "四", "五",
                                                              "六", "七", "八", "九", "十"};
inline constexpr std::array<const char*, 10> FULLWIDTH_DIGIT = {"０", "１", "２", "３", "４",
                                                                "５", "６", "７", "８", "９"};

}  // namespace nagare
