// The thread's message queue behind PostMessageW / PeekMessageW / GetMessageW: posted messages in
// arrival order, the quit request, and timers measured with timeGetTime (so a FakeClock steers
// them).
#pragma once

#include "platform/win32_window.h"

#include <deque>
#include <optional>
#include <vector>

namespace halv::platform {

// Which messages a retrieval takes. A null window takes every window's messages and thread
// messages.
struct MessageFilter {
    HWND window = nullptr;
    UINT first = 0;
    UINT last = 0;

    bool matches(HWND target, UINT message) const;
};

class MessageQueue {
public:
    void post(const MSG& message);
    void postQuit(int exitCode);

    // The next message the filter takes: posted ones in order, then the quit request (whatever
    // the filter), then the first due timer. With `remove`, the message leaves the queue (a
    // timer starts its next period). False when nothing is ready.
    bool take(const MessageFilter& filter, bool remove, MSG* message);

    // Milliseconds until the first timer the filter takes is due (0 when one is overdue);
    // nothing when there is none.
    std::optional<DWORD> nextTimerDue(const MessageFilter& filter) const;

    // A null window makes a thread timer with a new id.
    UINT_PTR setTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc);
    bool killTimer(HWND window, UINT_PTR id);

    // Drops the messages and timers of a window being destroyed.
    void forgetWindow(HWND window);
    // Drops everything, the quit request included.
    void clear();

private:
    struct Timer {
        HWND window;
        UINT_PTR id;
        DWORD periodMs;
        DWORD startedAt;
        TIMERPROC proc;
    };

    static bool isDue(const Timer& timer, DWORD now);

    std::deque<MSG> mPosted;
    std::optional<int> mQuitCode;
    std::vector<Timer> mTimers;
    UINT_PTR mNextThreadTimer = 1;
};

} // namespace halv::platform
