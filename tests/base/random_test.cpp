#include "base/random.h"

#include <gtest/gtest.h>

namespace halv::base {
namespace {

TEST(Random, FirstDrawsFromStateOneMatchTheRuntime) {
    srand(1);
    EXPECT_EQ(rand(), 41);
    EXPECT_EQ(rand(), 18467);
    EXPECT_EQ(rand(), 6334);
    EXPECT_EQ(rand(), 26500);
}

TEST(Random, StateWrapsModuloTwoToThe32) {
    srand(0xFFFFFFFFu);
    const int value = rand();
    EXPECT_EQ(randomState(), 0xFFFFFFFFu * 214013u + 2531011u);
    EXPECT_EQ(value, static_cast<int>((randomState() >> 16) & 0x7FFF));
    for (int i = 0; i < 1000; ++i) {
        const int next = rand();
        ASSERT_GE(next, 0);
        ASSERT_LE(next, kRandMax);
    }
    srand(1);
}

} // namespace
} // namespace halv::base
