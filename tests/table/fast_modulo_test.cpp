#include "table/fast_modulo.h"

#include <gtest/gtest.h>

#include <random>

namespace nagare {
namespace {

// The start slot must be exactly key mod tableSize: checkpoints and the probe order depend on it.
TEST(FastModulo, EqualsTheRemainderForEveryKindOfDivisor) {
    std::mt19937_64 rng(7);
    const uint64_t divisors[] = {
        1,         2,          3,          7,          4093,       1048575,          2097151,
        53477375,  1073741823, 4294967295, 4294967296, 1ULL << 40, (1ULL << 63) - 1, 1ULL << 63,
        UINT64_MAX};
    for (uint64_t d : divisors) {
        FastModulo mod(d);
        for (uint64_t a : {uint64_t{0}, uint64_t{1}, d - 1, d, d + 1, UINT64_MAX, UINT64_MAX - 1})
            ASSERT_EQ(mod(a), a % d) << a << " mod " << d;
        for (int i = 0; i < 100000; ++i) {
            const uint64_t a = rng();
            ASSERT_EQ(mod(a), a % d) << a << " mod " << d;
        }
    }
    for (int i = 0; i < 2000; ++i) {
        const uint64_t d = rng() >> (rng() % 64);
        if (d == 0) continue;
        FastModulo mod(d);
        for (int k = 0; k < 200; ++k) {
            const uint64_t a = rng();
            ASSERT_EQ(mod(a), a % d) << a << " mod " << d;
        }
    }
}

}  // namespace
}  // namespace nagare
