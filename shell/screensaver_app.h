// The generic screensaver shell: the run mode from the command line, the window class and the
// window that fits the mode, the message pump that draws whenever the queue is empty, and the
// end on a key press or sustained mouse movement. Its hooks do nothing; StationSaverApp fills
// them.
#pragma once

#include "platform/win32_window.h"

#include <cstdint>
#include <vector>

namespace halv::shell {

enum class SaverMode {
    kConfigure = 0,
    kPreview = 1,
    kFullScreen = 2,
    kWindowedTest = 3,
    kChangePassword = 4,
};

struct DisplaySettings {
    bool fullScreen = false;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool isPreview = false;
};

// String-table and icon resources of the saver.
inline constexpr UINT kTitleString = 104;
inline constexpr UINT kClassNameString = 111;
inline constexpr WORD kLargeIcon = 108;
inline constexpr WORD kSmallIcon = 109;
// Wide strings loaded from the string table hold at most this many characters, terminator
// included.
inline constexpr int kResourceTextLength = 100;

// Posted to the preview window from WM_CREATE to start the half-second delay.
inline constexpr UINT kPreviewStartMessage = WM_USER + 1;

// The class of the black windows that cover the monitors the show is not on.
inline constexpr const WCHAR* kBlankClassName = u"HalvorineBlank";

// The pointer position change that ends the saver (the sixth).
inline constexpr int kEndingMouseChange = 6;

// The mode a screen-saver command line selects. The program name (quoted or up to the first
// space) is skipped; the first '/' or '-' after it picks the mode by the next character: p
// preview, a change password, c configure, t test window, anything else (the end of the line
// too) full screen; no switch at all means configure. For p, a and c the first decimal number
// after the letter becomes *hostWindow (an X window id here); otherwise *hostWindow is null.
SaverMode parseCommandLine(LPCWSTR commandLine, HWND* hostWindow);

// The configure box's text for a user locale, in code page 1252: German when the primary
// language (low byte of the LCID) is 0x07, English otherwise.
const char* configureText(LCID locale);

// Sustained mouse movement: the sixth change of position since the process started ends the
// saver. Positions start at (-1, -1), so the first report always counts.
class MouseMoveTracker {
public:
    // Records a reported position; true when it is the change that ends the saver (the
    // kEndingMouseChange-th, or any after it).
    bool moved(int x, int y);
    int changes() const { return mChanges; }

private:
    int mLastX = -1;
    int mLastY = -1;
    int mChanges = 0;
};

class ScreensaverApp {
public:
    // Becomes the application object the window procedure forwards to.
    ScreensaverApp();
    virtual ~ScreensaverApp();
    ScreensaverApp(const ScreensaverApp&) = delete;
    ScreensaverApp& operator=(const ScreensaverApp&) = delete;

    // Hooks, in the order of the virtual table. initDevice returns nonzero on failure.
    virtual int initDevice();
    virtual void renderFrame();
    virtual void onCreate();
    virtual void onPreviewStart();
    virtual void onTimer();
    virtual void onCommand();
    virtual void onKeyDown();
    virtual void onMouseMove();
    virtual void onDestroy();

    // Everything from reading the command line (GetCommandLineW) to the end of the message
    // loop. Returns 0 on every early exit, else the WM_QUIT's wParam.
    int run(HINSTANCE instance, int showCommand);
    // Sets the host window as parseCommandLine does and returns the mode.
    SaverMode parseCommandLine(LPCWSTR commandLine);
    void registerWindowClass(HINSTANCE instance);
    bool createSaverWindow(HINSTANCE instance, int showCommand);
    // The window procedure's body.
    LRESULT handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // The black windows' procedure body: input on them ends the saver as on the main window,
    // and so does their destruction from outside.
    LRESULT handleBlankMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // The application object, or null when none exists.
    static ScreensaverApp* current();
    // Process-wide: it is never reset while the program runs.
    static MouseMoveTracker& mouseTracker();

    HWND window() const { return mWindow; }
    HWND hostWindow() const { return mHostWindow; }
    HINSTANCE moduleInstance() const { return mInstance; }
    SaverMode mode() const { return mMode; }
    const DisplaySettings& settings() const { return mSettings; }
    const WCHAR* title() const { return mTitle; }
    const WCHAR* className() const { return mClassName; }
    // The black windows on the monitors other than the primary one (full screen only).
    const std::vector<HWND>& blankWindows() const { return mBlankWindows; }

protected:
    DisplaySettings& mutableSettings() { return mSettings; }
    WPARAM lastWParam() const { return mLastWParam; }
    LPARAM lastLParam() const { return mLastLParam; }

private:
    // In full screen, a black window on every monitor but the primary one.
    void coverOtherMonitors(HINSTANCE instance);
    // Asks the exit watcher to end the saver on the same input as the window does.
    void watchForExit(HWND window) const;
    void destroyBlankWindows();

    WCHAR mTitle[kResourceTextLength] = {};
    HWND mWindow = nullptr;
    HWND mHostWindow = nullptr;
    HINSTANCE mInstance = nullptr;
    WPARAM mLastWParam = 0;
    LPARAM mLastLParam = 0;
    DisplaySettings mSettings;
    SaverMode mMode = SaverMode::kConfigure;
    WCHAR mClassName[kResourceTextLength] = {};
    std::vector<HWND> mBlankWindows;
    bool mDestroyingBlanks = false;
};

// The window procedure registered with the class: forwards to the application object.
LRESULT saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// The same for the black windows' class.
LRESULT blankWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace halv::shell
