// The saver's prompt end while its window thread runs at idle priority. Linux gives a thread at
// nice 19 little processor time while other work is runnable, and has no boost that would wake
// it for input; it even waits its turn to die when its process ends. So the process the caller
// started stays at the priority it started with and only watches: the saver runs in a child
// process. The watcher waits for what ends the saver: the termination signals, and key presses,
// pointer movement and destruction on the saver's windows (through an X connection of its own).
// When one comes it takes the windows off the screen at once and asks the saver for its orderly
// end (SIGTERM); if that has not finished within a grace period, it kills the saver and ends
// with code 0 without waiting for the saver to be scheduled again. Otherwise it ends as the saver
// did (its exit code, or the signal that killed it).
#pragma once

#include "platform/window_system.h"
#include "platform/x11_host.h"

#include <chrono>
#include <map>
#include <vector>

namespace halv::platform {

// What the watcher decides, apart from X and threads.
class ExitRules {
public:
    // Watches a window (again: replaces its triggers). `hide`: take it off the screen at the end.
    void watch(XWindowId window, const ExitTriggers& triggers, bool hide);
    // Each returns true when the event ends the saver. Positions are the window's.
    bool keyPressed(XWindowId window) const;
    bool pointerMoved(XWindowId window, int x, int y);
    bool destroyed(XWindowId window) const;
    // The watched windows to take off the screen, in the order they were first watched.
    std::vector<XWindowId> windowsToHide() const;
    // The watched windows that pointer movement ends the saver on.
    std::vector<XWindowId> windowsWatchingMotion() const;

private:
    struct Watched {
        ExitTriggers triggers;
        bool hide = false;
        int order = 0;
    };
    const Watched* find(XWindowId window) const;

    std::map<XWindowId, Watched> mWindows;
    int mLastX = -1;
    int mLastY = -1;
    int mChanges = 0;
};

// Splits the process: returns in the saver (a child process that dies with the watcher), while
// the calling process becomes the watcher and never returns. Call once, first thing in main after
// installTerminationHandlers, while the process has one thread. When the split fails it returns
// with no watcher.
void startExitWatcher(std::chrono::milliseconds grace);

// Hands an X window to the watcher. Never blocks and takes no lock, so a starved caller cannot
// hold the watcher up. Does nothing where no watcher runs.
void watchWindowForExit(XWindowId window, const ExitTriggers& triggers, bool hide);

// True in a saver process that a watcher watches.
bool exitWatcherRunning();

} // namespace halv::platform
