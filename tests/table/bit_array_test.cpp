#include "table/bit_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace nagare {
namespace {

// Bits at the edges of their words, and the last one, are set and read back alone, in both kinds of
// memory; a clear leaves none.
TEST(BitArrayTest, BitsAreSetAloneAndClearedTogether) {
    const size_t bits = 200;  // four words, the last one partly used
    const std::vector<size_t> chosen = {0, 63, 64, 127, 130, bits - 1};
    for (const bool givenAsWritten : {false, true}) {
        BitArray a;
        ASSERT_TRUE(a.create(bits, givenAsWritten));
        EXPECT_EQ(BitArray::bytesFor(bits), 4 * sizeof(uint64_t));
        for (size_t i : chosen) a.set(i);
        for (size_t i = 0; i < bits; ++i) {
            const bool expected = std::find(chosen.begin(), chosen.end(), i) != chosen.end();
            EXPECT_EQ(a.test(i), expected) << i << (givenAsWritten ? " (large block)" : "");
        }
        a.clear();
        for (size_t i = 0; i < bits; ++i) EXPECT_FALSE(a.test(i)) << i;
        a.release();
        EXPECT_FALSE(a.exists());
    }
}

}  // namespace
}  // namespace nagare
