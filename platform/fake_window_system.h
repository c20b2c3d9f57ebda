// A window system without a display for tests: windows are records, input is queued by the
// test, foreign windows are declared by the test, and waiting sleeps on the installed clock (so
// with a FakeClock it moves fake time instead of real time).
//
//   FakeWindowSystem system;
//   ScopedWindowSystem installed(&system);
//   system.queueEvent({.type = NativeEvent::Type::kKeyDown, .virtualKey = VK_ESCAPE});
#pragma once

#include "platform/window_system.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>

namespace halv::platform {

class FakeWindowSystem final : public WindowSystem {
public:
    struct Window {
        NativeWindowRequest request;
        bool visible = false;
        bool retired = false;
        int width = 0;
        int height = 0;
        // What the shell asked the exit watcher to watch; nothing when it did not.
        std::optional<ExitTriggers> exitTriggers;
    };

    FakeWindowSystem() = default;

    bool screenSize(int* width, int* height) override;
    bool monitors(std::vector<MonitorArea>* areas) override;
    HWND createWindow(const NativeWindowRequest& request) override;
    void showWindow(HWND window, bool visible) override;
    void retireWindow(HWND window) override;
    bool clientSize(HWND window, int* width, int* height) override;
    bool foreignClientSize(HWND window, int* width, int* height) override;
    void setCursorVisible(bool visible) override { mCursorVisible = visible; }
    void watchForExit(HWND window, const ExitTriggers& triggers) override;
    void pollEvents(std::vector<NativeEvent>* events) override;
    void waitForEvents(DWORD milliseconds) override;

    // Without a display nothing can be created and the screen size is unknown.
    void setDisplay(bool present) { mDisplay = present; }
    // One monitor of this size at 0, 0.
    void setScreenSize(int width, int height);
    // Several monitors, the primary one first.
    void setMonitors(std::vector<MonitorArea> areas) { mMonitors = std::move(areas); }
    // A window of another program, by id, with its client size.
    void addForeignWindow(HWND window, int width, int height);
    // Destroys a foreign window: the children made inside it report kDestroyed.
    void removeForeignWindow(HWND window);
    // Another program destroys one of the windows made here: it reports kDestroyed.
    void destroyFromOutside(HWND window);

    // Delivered by the next pollEvents.
    void queueEvent(const NativeEvent& event) { mPending.push_back(event); }
    // Called at the start of every pollEvents (to inject events at a chosen moment).
    void setPollHook(std::function<void()> hook) { mPollHook = std::move(hook); }

    // Every window made so far, retired ones included, in creation order.
    const std::vector<HWND>& created() const { return mOrder; }
    const Window* window(HWND window) const;
    bool cursorVisible() const { return mCursorVisible; }
    int polls() const { return mPolls; }
    int waits() const { return mWaits; }

private:
    bool mDisplay = true;
    std::vector<MonitorArea> mMonitors{{0, 0, 1280, 1024}};
    std::map<HWND, Window> mWindows;
    std::vector<HWND> mOrder;
    std::map<HWND, std::pair<int, int>> mForeign;
    std::deque<NativeEvent> mPending;
    std::function<void()> mPollHook;
    bool mCursorVisible = true;
    int mPolls = 0;
    int mWaits = 0;
    std::uintptr_t mNextHandle = 0;
};

} // namespace halv::platform
