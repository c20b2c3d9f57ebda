// The show's process-wide clocks and the explosion's step direction: each survives from one
// frame (and from one scene) to the next, as the saver has only one show per process.
#pragma once

#include "base/win_types.h"

namespace halv::scene::detail {

struct ShowClocks {
    // Timeline: the start of the current cycle and the time of the last frame, in timeGetTime
    // milliseconds; both taken on the first frame.
    bool timelineStarted = false;
    DWORD cycleStartMs = 0;
    DWORD lastFrameMs = 0;
    // Debris: the time of the last launch and of the last update; both taken on the first
    // update.
    bool debrisStarted = false;
    DWORD debrisLaunchMs = 0;
    DWORD lastDebrisUpdateMs = 0;
    // +1 while the explosion's frames count up, -1 while they count down; kept from one
    // showing to the next.
    int explosionStep = 1;
};

// Process-wide: the one set of show clocks.
ShowClocks& showClocks();

// Puts the clocks and the step back to their state at process start, so that the next frame
// starts a new show. For tests and the recorder, which run several shows in one process.
void resetShowClocksForTesting();

// Seconds from `earlierMs` to `laterMs` of the 32-bit millisecond timer. The difference is
// taken modulo 2^32, so the show keeps running across the timer's wrap after 49.7 days
// instead of waiting for it to catch up again.
inline double elapsedSeconds(DWORD laterMs, DWORD earlierMs) {
    return static_cast<double>(static_cast<DWORD>(laterMs - earlierMs)) * 0.001;
}

} // namespace halv::scene::detail
