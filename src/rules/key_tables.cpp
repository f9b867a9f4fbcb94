#include "rules/key_tables.h"

#include <memory>
#include <random>

namespace nagare {

namespace {

// The obstacle has no row of its own in the drawn tables; its words come from a separate fixed
// sequence so that the drawn tables keep their order.
uint64_t obstacleWord(int square) {
    uint64_t z = 0x9e3779b97f4a7c15ULL * static_cast<uint64_t>(square + 1);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

std::unique_ptr<KeyTables> drawKeyTables() {
    auto t = std::make_unique<KeyTables>();
    std::mt19937_64 rng;  // default seed 5489
    for (int code = 0; code < 48; ++code)
        for (int s = FIRST_SQUARE; s <= LAST_SQUARE; ++s) t->board[code][s] = rng();
    for (int s = FIRST_SQUARE; s <= LAST_SQUARE; ++s) t->board[WALL][s] = obstacleWord(s);
    for (int code = 17; code <= 39; ++code)
        for (int k = 0; k < 300; ++k) t->hand[code][k] = rng();
    for (int row = 0; row < 100; ++row)
        for (int ply = 0; ply < MAX_PLY; ++ply) t->byPly[ply].from[row] = rng();
    for (int row = 0; row < 100; ++row)
        for (int ply = 0; ply < MAX_PLY; ++ply) t->byPly[ply].to[row] = rng();
    for (int code = 17; code <= 47; ++code)
        for (int ply = 0; ply < MAX_PLY; ++ply) t->byPly[ply].piece[code] = rng();
    for (int flag = 0; flag < 2; ++flag)
        for (int ply = 0; ply < MAX_PLY; ++ply) t->byPly[ply].promote[flag] = rng();
    return t;
}

}  // namespace

const KeyTables& keyTables() {
    static const std::unique_ptr<KeyTables> tables = drawKeyTables();
    return *tables;
}

}  // namespace nagare
