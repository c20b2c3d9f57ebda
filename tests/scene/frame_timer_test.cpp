#include "base/timing.h"
#include "scene/frame_timer.h"

#include <gtest/gtest.h>

namespace halv::shell {
namespace {

using Command = FrameTimerCommand;
using base::FakeClock;
using base::ScopedClock;

constexpr std::int64_t kSecond = 1'000'000'000;

// Runs each test on both paths: the counter, and the millisecond timer of a machine without one.
class FrameTimerPaths : public testing::TestWithParam<bool> {
protected:
    FrameTimerPaths()
        : mClock(100 * kSecond)
        , mScope(&mClock) {
        mClock.setHasCounter(GetParam());
    }

    FakeClock mClock;
    ScopedClock mScope;
    FrameTimerState mTimer;
};

TEST_P(FrameTimerPaths, FirstStartMakesNowTheBase) {
    EXPECT_EQ(mTimer.command(Command::Start), 0.0f);
    EXPECT_EQ(mTimer.usingCounter(), GetParam());
    mClock.advanceNanoseconds(2 * kSecond + 500'000'000);
    EXPECT_FLOAT_EQ(mTimer.command(Command::AppTime), 2.5f);
    EXPECT_FLOAT_EQ(mTimer.command(Command::AbsoluteTime), 102.5f);
}

TEST_P(FrameTimerPaths, StopFreezesEverythingButAbsoluteTime) {
    mTimer.command(Command::Start);
    mClock.advanceNanoseconds(1 * kSecond);
    mTimer.command(Command::Stop);
    mClock.advanceNanoseconds(3 * kSecond);
    // A second Stop keeps the first stop time.
    mTimer.command(Command::Stop);
    EXPECT_FLOAT_EQ(mTimer.command(Command::AppTime), 1.0f);
    EXPECT_FLOAT_EQ(mTimer.command(Command::AbsoluteTime), 104.0f);
    EXPECT_FLOAT_EQ(mTimer.command(Command::ElapsedTime), 0.0f);
    EXPECT_FLOAT_EQ(mTimer.command(Command::ElapsedTime), 0.0f);

    // Start resumes with the stopped stretch (from the first Stop) taken out.
    mTimer.command(Command::Start);
    mClock.advanceNanoseconds(1 * kSecond);
    EXPECT_FLOAT_EQ(mTimer.command(Command::AppTime), 2.0f);
}

TEST_P(FrameTimerPaths, AdvanceStepsTheStopTimeByATenth) {
    mTimer.command(Command::Start);
    mClock.advanceNanoseconds(1 * kSecond);
    mTimer.command(Command::Stop);
    mTimer.command(Command::Advance);
    mTimer.command(Command::Advance);
    EXPECT_NEAR(mTimer.command(Command::AppTime), 1.2f, 1e-6);
}

TEST_P(FrameTimerPaths, ElapsedTimeIsTheIntervalBetweenCalls) {
    mTimer.command(Command::Start);
    mClock.advanceNanoseconds(250'000'000);
    EXPECT_FLOAT_EQ(mTimer.command(Command::ElapsedTime), 0.25f);
    mClock.advanceNanoseconds(125'000'000);
    EXPECT_FLOAT_EQ(mTimer.command(Command::ElapsedTime), 0.125f);
    EXPECT_FLOAT_EQ(mTimer.command(Command::ElapsedTime), 0.0f);
}

TEST_P(FrameTimerPaths, ResetMovesTheBaseToTheCurrentReading) {
    mTimer.command(Command::Start);
    mClock.advanceNanoseconds(5 * kSecond);
    mTimer.command(Command::Reset);
    EXPECT_FLOAT_EQ(mTimer.command(Command::AppTime), 0.0f);

    // While stopped the reading is the stop time, so the base lands there and the timer runs on.
    mClock.advanceNanoseconds(1 * kSecond);
    mTimer.command(Command::Stop);
    mClock.advanceNanoseconds(2 * kSecond);
    mTimer.command(Command::Reset);
    EXPECT_FLOAT_EQ(mTimer.command(Command::AppTime), 2.0f);
    mClock.advanceNanoseconds(1 * kSecond);
    EXPECT_FLOAT_EQ(mTimer.command(Command::AppTime), 3.0f);
}

TEST_P(FrameTimerPaths, UnknownCommandsChangeNothing) {
    mTimer.command(Command::Start);
    mClock.advanceNanoseconds(1 * kSecond);
    for (std::int32_t command : {7, -1, 1000}) {
        SCOPED_TRACE(command);
        EXPECT_EQ(mTimer.command(command), -1.0f);
    }
    EXPECT_FLOAT_EQ(mTimer.command(Command::ElapsedTime), 1.0f);
    EXPECT_FLOAT_EQ(mTimer.command(Command::AppTime), 1.0f);
}

INSTANTIATE_TEST_SUITE_P(Shell, FrameTimerPaths, testing::Bool(), [](const auto& paramInfo) {
    return paramInfo.param ? "Counter" : "Milliseconds";
});

TEST(FrameTimer, PathIsChosenOnceOnTheFirstCall) {
    FakeClock clock(0);
    ScopedClock scope(&clock);
    FrameTimerState timer;
    EXPECT_EQ(timer.command(9), -1.0f);
    clock.setHasCounter(false);
    timer.command(Command::Start);
    EXPECT_FALSE(timer.usingCounter());
    clock.setHasCounter(true);
    timer.command(Command::Start);
    EXPECT_FALSE(timer.usingCounter());
}

TEST(FrameTimer, MillisecondReadingsAboveTwoToThe31AreUnsigned) {
    FakeClock clock(0);
    clock.setHasCounter(false);
    clock.setMillisecondOffset(0x80000000u);
    ScopedClock scope(&clock);
    FrameTimerState timer;
    EXPECT_FLOAT_EQ(timer.command(Command::AbsoluteTime), 2147483.648f);
}

TEST(FrameTimer, AbsoluteTimeIsSinglePrecision) {
    FakeClock clock(1'000'000 * kSecond + 30'000'000);
    ScopedClock scope(&clock);
    FrameTimerState timer;
    const float absolute = timer.command(Command::AbsoluteTime);
    // Near 10^6 seconds a float holds steps of 0.0625 s.
    EXPECT_EQ(absolute, 1'000'000.0f);
}

TEST(FrameTimer, ProcessTimerAnswersCommands) {
    EXPECT_EQ(FrameTimer(Command::Start), 0.0f);
    EXPECT_GE(FrameTimer(Command::AppTime), 0.0f);
    EXPECT_EQ(FrameTimer(42), -1.0f);
}

} // namespace
} // namespace halv::shell
