// The saver's process-wide clock: one function taking a command and returning seconds. It
// reads the performance counter, or the millisecond timer on machines without one.
#pragma once

#include <cstdint>

namespace halv::shell {

enum class FrameTimerCommand : std::int32_t {
    Reset = 0,
    Start = 1,
    Stop = 2,
    Advance = 3,
    AbsoluteTime = 4,
    AppTime = 5,
    ElapsedTime = 6,
};

// The timer's state. The process has one (used by FrameTimer); tests make their own.
class FrameTimerState {
public:
    // Commands 0-3 return 0, 4-6 a time in seconds; anything else returns -1 and changes
    // nothing. The first call decides for good between counter and millisecond timer.
    float command(std::int32_t command);
    float command(FrameTimerCommand command) {
        return this->command(static_cast<std::int32_t>(command));
    }

    bool usingCounter() const { return mUsingCounter; }

private:
    float onCounter(std::int32_t command);
    float onMilliseconds(std::int32_t command);

    bool mCounterChecked = false;
    bool mUsingCounter = false;
    // Starts stopped, so the first Start behaves like a reset.
    bool mStopped = true;

    // Counter path, in ticks.
    std::int64_t mTicksPerSecond = 0;
    std::int64_t mStopTicks = 0;
    std::int64_t mLastElapsedTicks = 0;
    std::int64_t mBaseTicks = 0;

    // Fallback path, in seconds.
    double mStopSeconds = 0.0;
    double mLastElapsedSeconds = 0.0;
    double mBaseSeconds = 0.0;
};

// The process-wide timer. Process-wide: one state for the whole process.
float FrameTimer(std::int32_t command);
float FrameTimer(FrameTimerCommand command);

} // namespace halv::shell
