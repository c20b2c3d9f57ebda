// Win32 timing on a monotonic clock: the performance counter (nanoseconds, frequency 1e9),
// the 32-bit millisecond timer and Sleep. Tests and the headless recorder install a FakeClock.
#pragma once

#include "base/win_types.h"

#include <cstdint>

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
BOOL QueryPerformanceCounter(LARGE_INTEGER* counter);
// Milliseconds since an arbitrary start, wrapping at 2^32.
DWORD timeGetTime();
void Sleep(DWORD milliseconds);

namespace halv::base {

// The source behind the functions above.
class Clock {
public:
    virtual ~Clock() = default;
    // Ticks per second, or false when the machine has no performance counter.
    virtual bool counterFrequency(std::int64_t* ticksPerSecond) = 0;
    virtual std::int64_t counterTicks() = 0;
    virtual std::uint32_t milliseconds() = 0;
    virtual void sleep(std::uint32_t milliseconds) = 0;
};

// Installs `clock` for every caller and returns the previous one; null restores the system
// clock. The caller keeps ownership and must restore the old clock before destroying it.
// Process-wide: one clock serves the whole process.
Clock* installClock(Clock* clock);
Clock* currentClock();

// A clock that moves only when told to (or when slept on). It counts in nanoseconds; the
// performance counter runs at 1e9 ticks per second unless disabled.
class FakeClock final : public Clock {
public:
    explicit FakeClock(std::int64_t startNanoseconds = 0)
        : mNanoseconds(startNanoseconds) {}

    bool counterFrequency(std::int64_t* ticksPerSecond) override;
    std::int64_t counterTicks() override { return mNanoseconds; }
    std::uint32_t milliseconds() override;
    // Advances the fake time by the requested amount; records the call.
    void sleep(std::uint32_t milliseconds) override;

    void advanceNanoseconds(std::int64_t nanoseconds) { mNanoseconds += nanoseconds; }
    void advanceMilliseconds(double milliseconds);
    void setNanoseconds(std::int64_t nanoseconds) { mNanoseconds = nanoseconds; }
    std::int64_t nanoseconds() const { return mNanoseconds; }
    // Without a counter, QueryPerformanceFrequency fails (the millisecond fallback).
    void setHasCounter(bool hasCounter) { mHasCounter = hasCounter; }
    // Offset added to the millisecond reading, to test values at and above 2^31.
    void setMillisecondOffset(std::uint32_t offset) { mMillisecondOffset = offset; }
    int sleepCalls() const { return mSleepCalls; }
    std::uint64_t sleptMilliseconds() const { return mSleptMilliseconds; }

private:
    std::int64_t mNanoseconds;
    bool mHasCounter = true;
    std::uint32_t mMillisecondOffset = 0;
    int mSleepCalls = 0;
    std::uint64_t mSleptMilliseconds = 0;
};

// Installs a clock for the lifetime of the scope.
class ScopedClock {
public:
    explicit ScopedClock(Clock* clock)
        : mPrevious(installClock(clock)) {}
    ~ScopedClock() { installClock(mPrevious); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* mPrevious;
};

} // namespace halv::base
