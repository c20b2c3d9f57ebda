// The least of the window layer the device needs: SDL windows named by HWND handles, their
// client size, and the desktop's display mode. The shell builds the Win32-shaped window
// functions (classes, messages, CreateWindowExW) on top of these handles.
#pragma once

#include "base/message_box.h"
#include "base/win_types.h"

#include <string>

struct SDL_Window;

namespace halv::platform {

// Starts SDL's video subsystem once, allowing the screen saver while it runs (a screen saver
// must not inhibit others). False when no display can be opened.
bool startVideo();

// Shuts SDL down again (after every window is destroyed), releasing what it holds.
void stopVideo();

struct WindowOptions {
    std::string title = "Halvorine";
    int width = 640;
    int height = 480;
    bool visible = true;
    bool fullScreen = false;
    bool resizable = false;
};

// A new SDL window that can carry an OpenGL context, named by a new HWND; null when the
// video subsystem cannot start or the window cannot be made.
HWND createWindow(const WindowOptions& options);

// Wraps a window SDL already has (e.g. made with SDL_CreateWindowFrom for a host window);
// the handle does not own it. Null for a null window.
HWND adoptWindow(SDL_Window* window);

// Destroys the window (unless adopted) and retires its handle. Unknown handles are ignored.
// A pinned window is hidden now and destroyed when its last pin goes.
void destroyWindow(HWND window);

// Keeps the SDL window behind `window` alive past destroyWindow until unpinWindow, for a GL
// context that draws into it. Null for null and unknown handles.
SDL_Window* pinWindow(HWND window);
void unpinWindow(SDL_Window* window);

// The SDL window behind a handle, or null for null and unknown handles.
SDL_Window* sdlWindow(HWND window);

// Client area size in pixels; false for unknown handles.
bool clientSize(HWND window, int* width, int* height);

struct DisplayMode {
    int width = 0;
    int height = 0;
    // 0 when the display does not say.
    int refreshHz = 0;
};

// The desktop mode of the first display; false when there is no display.
bool desktopDisplayMode(DisplayMode* mode);

// Shows message boxes as SDL dialogs when a display exists (owned by the request's window
// when it has one), and as the stderr line otherwise. The program installs it at start.
base::MessageBoxPresenter desktopMessageBoxPresenter();

} // namespace halv::platform
