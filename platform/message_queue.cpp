#include "platform/message_queue.h"

#include "base/timing.h"

#include <algorithm>

namespace halv::platform {
namespace {

// The period a timer gets: at least USER_TIMER_MINIMUM, and small enough that "due" can be
// told from "long overdue" across the 32-bit millisecond wrap.
DWORD clampPeriod(UINT elapse) {
    return std::clamp<DWORD>(elapse, USER_TIMER_MINIMUM, 0x7FFFFFFF);
}

} // namespace

bool MessageFilter::matches(HWND target, UINT message) const {
    if (window != nullptr && target != window) {
        return false;
    }
    if (first == 0 && last == 0) {
        return true;
    }
    return message >= first && message <= last;
}

void MessageQueue::post(const MSG& message) {
    mPosted.push_back(message);
}

void MessageQueue::postQuit(int exitCode) {
    mQuitCode = exitCode;
}

bool MessageQueue::isDue(const Timer& timer, DWORD now) {
    // Unsigned difference: correct across the wrap of timeGetTime.
    return now - timer.startedAt >= timer.periodMs;
}

bool MessageQueue::take(const MessageFilter& filter, bool remove, MSG* message) {
    const DWORD now = timeGetTime();
    for (auto it = mPosted.begin(); it != mPosted.end(); ++it) {
        if (filter.matches(it->hwnd, it->message)) {
            *message = *it;
            if (remove) {
                mPosted.erase(it);
            }
            return true;
        }
    }
    if (mQuitCode) {
        *message = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(*mQuitCode), 0, now, {0, 0}};
        if (remove) {
            mQuitCode.reset();
        }
        return true;
    }
    for (Timer& timer : mTimers) {
        if (filter.matches(timer.window, WM_TIMER) && isDue(timer, now)) {
            *message = MSG{timer.window, WM_TIMER, timer.id, reinterpret_cast<LPARAM>(timer.proc),
                           now,          {0, 0}};
            if (remove) {
                // One WM_TIMER however many periods passed; the next period starts now.
                timer.startedAt = now;
            }
            return true;
        }
    }
    return false;
}

std::optional<DWORD> MessageQueue::nextTimerDue(const MessageFilter& filter) const {
    const DWORD now = timeGetTime();
    std::optional<DWORD> soonest;
    for (const Timer& timer : mTimers) {
        if (!filter.matches(timer.window, WM_TIMER)) {
            continue;
        }
        const DWORD waited = now - timer.startedAt;
        const DWORD remaining = waited >= timer.periodMs ? 0 : timer.periodMs - waited;
        if (!soonest || remaining < *soonest) {
            soonest = remaining;
        }
    }
    return soonest;
}

UINT_PTR MessageQueue::setTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
    const DWORD now = timeGetTime();
    for (Timer& timer : mTimers) {
        if (timer.window == window && timer.id == id) {
            timer.periodMs = clampPeriod(elapse);
            timer.startedAt = now;
            timer.proc = timerProc;
            return id;
        }
    }
    if (window == nullptr) {
        id = mNextThreadTimer++;
    }
    mTimers.push_back(Timer{window, id, clampPeriod(elapse), now, timerProc});
    return id;
}

bool MessageQueue::killTimer(HWND window, UINT_PTR id) {
    const auto removed = std::erase_if(
        mTimers, [&](const Timer& timer) { return timer.window == window && timer.id == id; });
    return removed > 0;
}

void MessageQueue::forgetWindow(HWND window) {
    std::erase_if(mPosted, [&](const MSG& message) { return message.hwnd == window; });
    std::erase_if(mTimers, [&](const Timer& timer) { return timer.window == window; });
}

void MessageQueue::clear() {
    mPosted.clear();
    mTimers.clear();
    mQuitCode.reset();
}

} // namespace halv::platform
