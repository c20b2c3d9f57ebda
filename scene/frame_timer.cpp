#include "scene/frame_timer.h"

#include "base/timing.h"

namespace halv::shell {
namespace {

bool isKnown(std::int32_t command) {
    return command >= static_cast<std::int32_t>(FrameTimerCommand::Reset) &&
           command <= static_cast<std::int32_t>(FrameTimerCommand::ElapsedTime);
}

// A query of the current time; a stopped timer answers its stop time instead, except for
// Start and AbsoluteTime.
bool readsNow(std::int32_t command, bool stopTimeSet) {
    return !stopTimeSet || command == static_cast<std::int32_t>(FrameTimerCommand::Start) ||
           command == static_cast<std::int32_t>(FrameTimerCommand::AbsoluteTime);
}

// Advance steps by the single-precision 0.1 widened to double, as the millisecond path
// always has (0.100000001490116).
constexpr double kAdvanceSeconds = static_cast<double>(0.1f);

} // namespace

float FrameTimerState::command(std::int32_t command) {
    if (!isKnown(command)) {
        return -1.0f;
    }
    if (!mCounterChecked) {
        mCounterChecked = true;
        LARGE_INTEGER frequency{};
        mUsingCounter = QueryPerformanceFrequency(&frequency) != FALSE;
        if (mUsingCounter) {
            mTicksPerSecond = frequency.QuadPart;
        }
    }
    return mUsingCounter ? onCounter(command) : onMilliseconds(command);
}

float FrameTimerState::onCounter(std::int32_t command) {
    std::int64_t now = mStopTicks;
    if (readsNow(command, mStopTicks != 0)) {
        LARGE_INTEGER counter{};
        QueryPerformanceCounter(&counter);
        now = counter.QuadPart;
    }
    const auto seconds = [this](std::int64_t ticks) {
        return static_cast<float>(static_cast<double>(ticks) /
                                  static_cast<double>(mTicksPerSecond));
    };

    switch (static_cast<FrameTimerCommand>(command)) {
    case FrameTimerCommand::Reset:
        mBaseTicks = now;
        mLastElapsedTicks = now;
        mStopTicks = 0;
        mStopped = false;
        return 0.0f;
    case FrameTimerCommand::Start:
        if (mStopped) {
            mBaseTicks += now - mStopTicks;
        }
        mStopTicks = 0;
        mLastElapsedTicks = now;
        mStopped = false;
        return 0.0f;
    case FrameTimerCommand::Stop:
        mStopTicks = now;
        mLastElapsedTicks = now;
        mStopped = true;
        return 0.0f;
    case FrameTimerCommand::Advance:
        mStopTicks += mTicksPerSecond / 10;
        return 0.0f;
    case FrameTimerCommand::AbsoluteTime:
        return seconds(now);
    case FrameTimerCommand::AppTime:
        return seconds(now - mBaseTicks);
    case FrameTimerCommand::ElapsedTime: {
        const std::int64_t elapsed = now - mLastElapsedTicks;
        mLastElapsedTicks = now;
        return seconds(elapsed);
    }
    }
    return -1.0f;
}

float FrameTimerState::onMilliseconds(std::int32_t command) {
    double now = mStopSeconds;
    if (readsNow(command, mStopSeconds != 0.0)) {
        // An unsigned count: readings at or above 2^31 ms stay positive.
        now = static_cast<double>(static_cast<std::uint32_t>(timeGetTime())) * 0.001;
    }

    switch (static_cast<FrameTimerCommand>(command)) {
    case FrameTimerCommand::Reset:
        mBaseSeconds = now;
        mLastElapsedSeconds = now;
        mStopSeconds = 0.0;
        mStopped = false;
        return 0.0f;
    case FrameTimerCommand::Start:
        if (mStopped) {
            mBaseSeconds += now - mStopSeconds;
        }
        mStopSeconds = 0.0;
        mLastElapsedSeconds = now;
        mStopped = false;
        return 0.0f;
    case FrameTimerCommand::Stop:
        mStopSeconds = now;
        mLastElapsedSeconds = now;
        mStopped = true;
        return 0.0f;
    case FrameTimerCommand::Advance:
        mStopSeconds += kAdvanceSeconds;
        return 0.0f;
    case FrameTimerCommand::AbsoluteTime:
        return static_cast<float>(now);
    case FrameTimerCommand::AppTime:
        return static_cast<float>(now - mBaseSeconds);
    case FrameTimerCommand::ElapsedTime: {
        const double elapsed = now - mLastElapsedSeconds;
        mLastElapsedSeconds = now;
        return static_cast<float>(elapsed);
    }
    }
    return -1.0f;
}

float FrameTimer(std::int32_t command) {
    // Process-wide: the saver's one timer.
    static FrameTimerState state;
    return state.command(command);
}

float FrameTimer(FrameTimerCommand command) {
    return FrameTimer(static_cast<std::int32_t>(command));
}

} // namespace halv::shell
