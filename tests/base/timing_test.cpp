#include "base/timing.h"

#include <gtest/gtest.h>

namespace halv::base {
namespace {

TEST(Timing, FakeClockDrivesEveryReading) {
    FakeClock clock(5'000'000'000);
    ScopedClock scope(&clock);

    LARGE_INTEGER frequency{};
    ASSERT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 1'000'000'000);
    LARGE_INTEGER counter{};
    ASSERT_TRUE(QueryPerformanceCounter(&counter));
    EXPECT_EQ(counter.QuadPart, 5'000'000'000);
    EXPECT_EQ(timeGetTime(), 5000u);

    Sleep(16);
    EXPECT_EQ(timeGetTime(), 5016u);
    EXPECT_EQ(clock.sleepCalls(), 1);
    EXPECT_EQ(clock.sleptMilliseconds(), 16u);

    clock.advanceMilliseconds(0.5);
    QueryPerformanceCounter(&counter);
    EXPECT_EQ(counter.QuadPart, 5'016'500'000);
}

TEST(Timing, ClockWithoutCounterFailsFrequencyQuery) {
    FakeClock clock;
    clock.setHasCounter(false);
    ScopedClock scope(&clock);
    LARGE_INTEGER frequency{};
    frequency.QuadPart = 77;
    EXPECT_FALSE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 0);
}

TEST(Timing, MillisecondsWrapAtThirtyTwoBits) {
    FakeClock clock;
    clock.setMillisecondOffset(0xFFFFFFFFu);
    ScopedClock scope(&clock);
    EXPECT_EQ(timeGetTime(), 0xFFFFFFFFu);
    Sleep(2);
    EXPECT_EQ(timeGetTime(), 1u);
}

TEST(Timing, ScopeRestoresTheSystemClock) {
    {
        FakeClock clock(0);
        ScopedClock scope(&clock);
        EXPECT_EQ(currentClock(), &clock);
    }
    EXPECT_EQ(installClock(nullptr), nullptr);
    LARGE_INTEGER first{};
    LARGE_INTEGER second{};
    QueryPerformanceCounter(&first);
    QueryPerformanceCounter(&second);
    EXPECT_GT(first.QuadPart, 0);
    EXPECT_GE(second.QuadPart, first.QuadPart);
}

} // namespace
} // namespace halv::base
