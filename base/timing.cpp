#include "base/timing.h"

#include <cerrno>
#include <ctime>

namespace halv::base {
namespace {

class SystemClock final : public Clock {
public:
    bool counterFrequency(std::int64_t* ticksPerSecond) override {
        *ticksPerSecond = 1'000'000'000;
        return true;
    }
    std::int64_t counterTicks() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    }
    std::uint32_t milliseconds() override {
        // Truncated to 32 bits, so it wraps like the Windows timer.
        return static_cast<std::uint32_t>(counterTicks() / 1'000'000);
    }
    void sleep(std::uint32_t milliseconds) override {
        timespec request{static_cast<time_t>(milliseconds / 1000),
                         static_cast<long>(milliseconds % 1000) * 1'000'000};
        timespec remaining{};
        while (nanosleep(&request, &remaining) != 0 && errno == EINTR) {
            request = remaining;
        }
    }
};

SystemClock gSystemClock;
// Process-wide: the clock every timing call reads.
Clock* gClock = &gSystemClock;

} // namespace

Clock* installClock(Clock* clock) {
    Clock* previous = gClock;
    gClock = clock != nullptr ? clock : &gSystemClock;
    return previous == &gSystemClock ? nullptr : previous;
}

bool FakeClock::counterFrequency(std::int64_t* ticksPerSecond) {
    if (!mHasCounter) {
        return false;
    }
    *ticksPerSecond = 1'000'000'000;
    return true;
}

std::uint32_t FakeClock::milliseconds() {
    return static_cast<std::uint32_t>(mNanoseconds / 1'000'000) + mMillisecondOffset;
}

void FakeClock::sleep(std::uint32_t milliseconds) {
    ++mSleepCalls;
    mSleptMilliseconds += milliseconds;
    mNanoseconds += static_cast<std::int64_t>(milliseconds) * 1'000'000;
}

void FakeClock::advanceMilliseconds(double milliseconds) {
    mNanoseconds += static_cast<std::int64_t>(milliseconds * 1'000'000.0);
}

Clock* currentClock() {
    return gClock;
}

} // namespace halv::base

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    std::int64_t ticksPerSecond = 0;
    if (frequency == nullptr || !halv::base::currentClock()->counterFrequency(&ticksPerSecond)) {
        if (frequency != nullptr) {
            frequency->QuadPart = 0;
        }
        return FALSE;
    }
    frequency->QuadPart = ticksPerSecond;
    return TRUE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* counter) {
    if (counter == nullptr) {
        return FALSE;
    }
    counter->QuadPart = halv::base::currentClock()->counterTicks();
    return TRUE;
}

DWORD timeGetTime() {
    return halv::base::currentClock()->milliseconds();
}

void Sleep(DWORD milliseconds) {
    halv::base::currentClock()->sleep(milliseconds);
}
