// What the Win32-shaped window functions (platform/win32_window.h) stand on: native windows and
// their input. The program runs on the SDL2 + Xlib one; tests install a fake
// (platform/fake_window_system.h) and drive the message functions without a display.
#pragma once

#include "base/win_types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace halv::platform {

// An icon as straight RGBA bytes, top row first.
struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
};

enum class NativeWindowKind {
    // A framed window of its own.
    kOverlapped,
    // A window without frame; full screen when it covers a monitor.
    kPopup,
    // A window inside `parent`, the window of another program named by its id.
    kChild,
};

struct NativeWindowRequest {
    NativeWindowKind kind = NativeWindowKind::kOverlapped;
    // UTF-8.
    std::string title;
    // The client area: coordinates of the whole desktop (the ones monitors() gives), or the
    // parent's client coordinates for a child.
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    // Covers the monitor it matches exactly.
    bool fullScreen = false;
    bool topmost = false;
    // Shows only black, drawn by the display server (nothing draws into it).
    bool blank = false;
    HWND parent = nullptr;
    // Null for none; stays valid while the window lives.
    const IconImage* icon = nullptr;
};

struct NativeEvent {
    enum class Type {
        kKeyDown,
        kKeyUp,
        kMouseMove,
        kButtonDown,
        kButtonUp,
        // The user asked to close the window.
        kClose,
        // The window is gone (its host destroyed it, or it was destroyed from outside).
        kDestroyed,
        // The client area changed size to width x height.
        kResized,
    };
    Type type = Type::kKeyDown;
    // Null: the window that has the input (the most recently shown top-level one).
    HWND window = nullptr;
    // Keys: the Windows virtual-key code (0 for a key without one) and a scan code.
    UINT virtualKey = 0;
    UINT scanCode = 0;
    bool repeat = false;
    // Mouse: client coordinates; buttons: 1 left, 2 right, 3 middle.
    int x = 0;
    int y = 0;
    int button = 0;
    // MK_* flags of the buttons and modifier keys held.
    UINT keyState = 0;
    int width = 0;
    int height = 0;
};

// One monitor's area in the coordinates of the whole desktop.
struct MonitorArea {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
};

// What ends the saver on one of its windows, for the exit watcher (platform/exit_watcher.h),
// which acts on it even while the window thread gets no processor time.
struct ExitTriggers {
    bool keyPress = false;
    // The pointer position change, counted over all watched windows, that ends the saver (6: the
    // sixth); 0 when movement never does.
    int motionChanges = 0;
    // Its destruction by another program.
    bool destroyed = false;
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // The size of the primary screen (under XScreenSaver, of the window it gives the saver);
    // false when there is no display.
    virtual bool screenSize(int* width, int* height) = 0;
    // Every monitor, the primary one first (under XScreenSaver only the window it gives, at
    // 0, 0); false when there is no display.
    virtual bool monitors(std::vector<MonitorArea>* areas) = 0;

    // A new native window, hidden; null when none can be made (no display, a parent that is
    // not a window, preview without X11).
    virtual HWND createWindow(const NativeWindowRequest& request) = 0;
    virtual void showWindow(HWND window, bool visible) = 0;
    // The program is done with the window: hide it now. What backs it stays until the process
    // ends, because a device may still hold a context on it (the shell destroys its window
    // before the scene releases the device), and the X server takes it with the connection.
    virtual void retireWindow(HWND window) = 0;
    // Client size of one of the windows made here.
    virtual bool clientSize(HWND window, int* width, int* height) = 0;
    // Client size of a window of another program, named by its id; false when it is none.
    virtual bool foreignClientSize(HWND window, int* width, int* height) = 0;
    virtual void setCursorVisible(bool visible) = 0;
    // Has the exit watcher end the saver on these triggers on the window, and take it off the
    // screen when the saver ends (a window of another program only on its destruction). Does
    // nothing where no watcher runs.
    virtual void watchForExit(HWND window, const ExitTriggers& triggers) = 0;

    // Appends the events that arrived since the last call.
    virtual void pollEvents(std::vector<NativeEvent>* events) = 0;
    // Returns when an event may be waiting, or after at most `milliseconds`.
    virtual void waitForEvents(DWORD milliseconds) = 0;
};

// The SDL2 + Xlib window system of the program.
WindowSystem& desktopWindowSystem();

// The window system the window functions use from now on; null restores the desktop one.
// Returns the previous one (null for the desktop one). Process-wide; switch only while no
// window exists.
WindowSystem* installWindowSystem(WindowSystem* system);
WindowSystem& currentWindowSystem();

// Installs a window system for its lifetime. On the way out it destroys the windows still
// open (they get WM_DESTROY), drops queued messages, timers and a pending quit, and resets the
// cursor counter, so each test starts clean.
class ScopedWindowSystem {
public:
    explicit ScopedWindowSystem(WindowSystem* system);
    ~ScopedWindowSystem();
    ScopedWindowSystem(const ScopedWindowSystem&) = delete;
    ScopedWindowSystem& operator=(const ScopedWindowSystem&) = delete;

private:
    WindowSystem* mPrevious;
};

} // namespace halv::platform
