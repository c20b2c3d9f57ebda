// The desktop window system: SDL2 windows (X11 or Wayland), windows of other programs through
// the layer's own Xlib connection, and the SDL message box.
#include "base/debug_output.h"
#include "base/message_box.h"
#include "base/text_conversion.h"
#include "platform/exit_watcher.h"
#include "platform/process.h"
#include "platform/win32_window.h"
#include "platform/window.h"
#include "platform/window_system.h"
#include "platform/x11_host.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include <SDL_syswm.h>
#include <poll.h>

namespace halv::platform {
namespace {

// The slice waitForEvents sleeps at most before it looks at every source again.
constexpr DWORD kWaitSliceMs = 10;

UINT virtualKeyFor(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) {
        return static_cast<UINT>('A' + (key - SDLK_a));
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return static_cast<UINT>('0' + (key - SDLK_0));
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return VK_F1 + static_cast<UINT>(key - SDLK_F1);
    }
    switch (key) {
    case SDLK_BACKSPACE:
        return VK_BACK;
    case SDLK_TAB:
        return VK_TAB;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        return VK_RETURN;
    case SDLK_ESCAPE:
        return VK_ESCAPE;
    case SDLK_SPACE:
        return VK_SPACE;
    case SDLK_LEFT:
        return VK_LEFT;
    case SDLK_UP:
        return VK_UP;
    case SDLK_RIGHT:
        return VK_RIGHT;
    case SDLK_DOWN:
        return VK_DOWN;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT:
        return VK_SHIFT;
    case SDLK_LCTRL:
    case SDLK_RCTRL:
        return VK_CONTROL;
    case SDLK_LALT:
    case SDLK_RALT:
        return VK_MENU;
    default:
        // Still a key press: every key ends the saver, named or not.
        return 0;
    }
}

UINT keyStateFor(Uint32 buttons) {
    UINT state = 0;
    if ((buttons & SDL_BUTTON_LMASK) != 0) {
        state |= MK_LBUTTON;
    }
    if ((buttons & SDL_BUTTON_RMASK) != 0) {
        state |= MK_RBUTTON;
    }
    if ((buttons & SDL_BUTTON_MMASK) != 0) {
        state |= MK_MBUTTON;
    }
    const SDL_Keymod modifiers = SDL_GetModState();
    if ((modifiers & KMOD_SHIFT) != 0) {
        state |= MK_SHIFT;
    }
    if ((modifiers & KMOD_CTRL) != 0) {
        state |= MK_CONTROL;
    }
    return state;
}

int buttonFor(Uint8 sdlButton) {
    switch (sdlButton) {
    case SDL_BUTTON_LEFT:
        return 1;
    case SDL_BUTTON_RIGHT:
        return 2;
    case SDL_BUTTON_MIDDLE:
        return 3;
    default:
        return 0;
    }
}

class SdlWindowSystem final : public WindowSystem {
public:
    bool screenSize(int* width, int* height) override;
    bool monitors(std::vector<MonitorArea>* areas) override;
    HWND createWindow(const NativeWindowRequest& request) override;
    void showWindow(HWND window, bool visible) override;
    void retireWindow(HWND window) override;
    bool clientSize(HWND window, int* width, int* height) override;
    bool foreignClientSize(HWND window, int* width, int* height) override;
    void setCursorVisible(bool visible) override;
    void watchForExit(HWND window, const ExitTriggers& triggers) override;
    void pollEvents(std::vector<NativeEvent>* events) override;
    void waitForEvents(DWORD milliseconds) override;

    // Starts SDL video; false when no display exists (SDL's offscreen and dummy drivers
    // count as none: nothing drawn there would be seen).
    bool startDisplay();

private:
    struct Native {
        HWND handle = nullptr;
        SDL_Window* sdl = nullptr;
        // Set for windows backed by an X window this layer watches: a preview child made
        // here, or the window XScreenSaver gave.
        XWindowId xWindow = 0;
        XWindowId host = 0;
        // The X window behind a top-level window SDL made, watched for its destruction.
        XWindowId ownXWindow = 0;
        bool madeChild = false;
        bool adopted = false;
        bool xWindowGone = false;
        int width = 0;
        int height = 0;
    };

    enum class Video { kNotStarted, kReady, kUnavailable };

    X11Host* x11();
    bool isX11() const;
    Native* find(HWND window);
    Native* findByXWindow(XWindowId window);
    HWND handleFor(Uint32 sdlWindowId);
    HWND wrap(SDL_Window* sdl, Native native);
    HWND createChild(const NativeWindowRequest& request);
    bool coversSdlDisplay(const NativeWindowRequest& request);
    HWND adoptSaverHost(XWindowId host);
    void setIcon(SDL_Window* sdl, const IconImage* icon);
    void translate(const SDL_Event& event, std::vector<NativeEvent>* events);

    Video mVideo = Video::kNotStarted;
    std::unique_ptr<X11Host> mX11;
    bool mTriedX11 = false;
    bool mSaverHostTaken = false;
    bool mToldNoDisplay = false;
    std::vector<std::unique_ptr<Native>> mWindows;
};

bool SdlWindowSystem::startDisplay() {
    if (mVideo == Video::kNotStarted) {
        // Terminating signals are the layer's (they destroy the windows); a screen saver must
        // not inhibit the system's; host windows carry GL contexts; closing the last window
        // is only a WM_CLOSE.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
        SDL_SetHint(SDL_HINT_VIDEO_FOREIGN_WINDOW_OPENGL, "1");
        SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
        mVideo = Video::kUnavailable;
        if (startVideo()) {
            // Drawing off screen, where nobody sees the saver, is no display either.
            const char* driver = SDL_GetCurrentVideoDriver();
            if (driver != nullptr && std::strcmp(driver, "offscreen") != 0 &&
                std::strcmp(driver, "dummy") != 0) {
                mVideo = Video::kReady;
            }
            if (isX11()) {
                X11Host::installErrorHandlers();
            }
        }
    }
    return mVideo == Video::kReady;
}

bool SdlWindowSystem::isX11() const {
    const char* driver = SDL_GetCurrentVideoDriver();
    return driver != nullptr && std::strcmp(driver, "x11") == 0;
}

X11Host* SdlWindowSystem::x11() {
    if (!mTriedX11) {
        mTriedX11 = true;
        mX11 = X11Host::open();
    }
    return mX11.get();
}

SdlWindowSystem::Native* SdlWindowSystem::find(HWND window) {
    for (const auto& native : mWindows) {
        if (native->handle == window) {
            return native.get();
        }
    }
    return nullptr;
}

SdlWindowSystem::Native* SdlWindowSystem::findByXWindow(XWindowId window) {
    for (const auto& native : mWindows) {
        if (native->xWindow == window || native->host == window || native->ownXWindow == window) {
            return native.get();
        }
    }
    return nullptr;
}

// The X window behind an SDL window; 0 when it has none.
XWindowId xWindowOf(SDL_Window* sdl) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (SDL_GetWindowWMInfo(sdl, &info) == SDL_FALSE || info.subsystem != SDL_SYSWM_X11) {
        return 0;
    }
    return static_cast<XWindowId>(info.info.x11.window);
}

HWND SdlWindowSystem::handleFor(Uint32 sdlWindowId) {
    SDL_Window* sdl = SDL_GetWindowFromID(sdlWindowId);
    for (const auto& native : mWindows) {
        if (sdl != nullptr && native->sdl == sdl) {
            return native->handle;
        }
    }
    // Keyboard events without a focused window (no window manager) go to the active window.
    return nullptr;
}

bool SdlWindowSystem::screenSize(int* width, int* height) {
    std::vector<MonitorArea> areas;
    if (!monitors(&areas)) {
        return false;
    }
    *width = areas.front().width;
    *height = areas.front().height;
    return true;
}

bool SdlWindowSystem::monitors(std::vector<MonitorArea>* areas) {
    if (const std::optional<XWindowId> host = saverHostWindowId()) {
        int width = 0;
        int height = 0;
        if (x11() != nullptr && x11()->windowSize(*host, &width, &height)) {
            *areas = {MonitorArea{0, 0, width, height}};
            return true;
        }
    }
    if (!startDisplay()) {
        return false;
    }
    // SDL knows RandR outputs but not the heads of a Xinerama server; the Xinerama request
    // answers for both.
    if (isX11() && x11() != nullptr && x11()->monitors(areas)) {
        return true;
    }
    areas->clear();
    for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(i, &bounds) == 0) {
            areas->push_back(MonitorArea{bounds.x, bounds.y, bounds.w, bounds.h});
        }
    }
    return !areas->empty();
}

HWND SdlWindowSystem::wrap(SDL_Window* sdl, Native native) {
    HWND handle = adoptWindow(sdl);
    if (handle == nullptr) {
        SDL_DestroyWindow(sdl);
        return nullptr;
    }
    native.handle = handle;
    native.sdl = sdl;
    mWindows.push_back(std::make_unique<Native>(native));
    return handle;
}

void SdlWindowSystem::setIcon(SDL_Window* sdl, const IconImage* icon) {
    if (icon == nullptr || icon->rgba.empty()) {
        return;
    }
    // SDL copies the pixels; the surface only borrows them for the call.
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<std::uint8_t*>(icon->rgba.data()), icon->width, icon->height, 32,
        icon->width * 4, SDL_PIXELFORMAT_RGBA32);
    if (surface != nullptr) {
        SDL_SetWindowIcon(sdl, surface);
        SDL_FreeSurface(surface);
    }
}

HWND SdlWindowSystem::createChild(const NativeWindowRequest& request) {
    const auto host = static_cast<XWindowId>(reinterpret_cast<std::uintptr_t>(request.parent));
    // A child inside another program's window needs X11 on both sides.
    if (!isX11() || x11() == nullptr) {
        return nullptr;
    }
    const XWindowId child = x11()->createChild(
        host, request.x, request.y, std::max(request.width, 1), std::max(request.height, 1));
    if (child == 0) {
        return nullptr;
    }
    SDL_Window* sdl = SDL_CreateWindowFrom(reinterpret_cast<const void*>(child));
    if (sdl == nullptr) {
        x11()->destroy(child);
        return nullptr;
    }
    SDL_SetWindowTitle(sdl, request.title.c_str());
    Native native;
    native.xWindow = child;
    native.host = host;
    native.madeChild = true;
    native.width = request.width;
    native.height = request.height;
    return wrap(sdl, native);
}

HWND SdlWindowSystem::adoptSaverHost(XWindowId host) {
    int width = 0;
    int height = 0;
    if (!isX11() || x11() == nullptr || !x11()->windowSize(host, &width, &height) ||
        !x11()->watch(host)) {
        return nullptr;
    }
    SDL_Window* sdl = SDL_CreateWindowFrom(reinterpret_cast<const void*>(host));
    if (sdl == nullptr) {
        return nullptr;
    }
    mSaverHostTaken = true;
    Native native;
    native.xWindow = host;
    native.adopted = true;
    native.width = width;
    native.height = height;
    return wrap(sdl, native);
}

HWND SdlWindowSystem::createWindow(const NativeWindowRequest& request) {
    if (!startDisplay()) {
        if (!mToldNoDisplay) {
            mToldNoDisplay = true;
            std::fputs("No display to open a window on: set DISPLAY (or WAYLAND_DISPLAY).\n",
                       stderr);
        }
        return nullptr;
    }
    if (request.kind == NativeWindowKind::kChild) {
        return createChild(request);
    }
    if (request.kind == NativeWindowKind::kPopup && !mSaverHostTaken) {
        if (const std::optional<XWindowId> host = saverHostWindowId()) {
            return adoptSaverHost(*host);
        }
    }
    // A blank window is the server's to paint; nothing draws into it.
    Uint32 flags = request.blank ? SDL_WINDOW_HIDDEN : SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN;
    if (request.kind == NativeWindowKind::kPopup) {
        flags |= SDL_WINDOW_BORDERLESS | SDL_WINDOW_SKIP_TASKBAR;
    }
    if (request.topmost) {
        flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    }
    if (request.fullScreen && coversSdlDisplay(request)) {
        // The window manager's full screen, on the display the window lies on. A monitor SDL
        // does not know (a Xinerama head) gets a frameless window of its exact size instead:
        // SDL would size a full-screen window to a display of its own.
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    }
    SDL_Window* sdl =
        SDL_CreateWindow(request.title.c_str(), request.x, request.y, std::max(request.width, 1),
                         std::max(request.height, 1), flags);
    if (sdl == nullptr) {
        return nullptr;
    }
    setIcon(sdl, request.icon);
    Native native;
    native.ownXWindow = xWindowOf(sdl);
    if (native.ownXWindow != 0 && x11() != nullptr) {
        // Another program may destroy it (xdotool windowclose, xkill); SDL would not say.
        x11()->watch(native.ownXWindow);
        if (request.blank) {
            x11()->paintBlack(native.ownXWindow);
        }
    }
    return wrap(sdl, native);
}

bool SdlWindowSystem::coversSdlDisplay(const NativeWindowRequest& request) {
    for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(i, &bounds) == 0 && bounds.x == request.x &&
            bounds.y == request.y && bounds.w == request.width && bounds.h == request.height) {
            return true;
        }
    }
    return false;
}

void SdlWindowSystem::showWindow(HWND window, bool visible) {
    Native* native = find(window);
    if (native == nullptr || native->adopted) {
        // XScreenSaver maps and unmaps its own window.
        return;
    }
    if (native->madeChild) {
        if (!native->xWindowGone) {
            x11()->setMapped(native->xWindow, visible);
        }
    } else if (visible) {
        SDL_ShowWindow(native->sdl);
        SDL_RaiseWindow(native->sdl);
    } else {
        SDL_HideWindow(native->sdl);
    }
}

void SdlWindowSystem::retireWindow(HWND window) {
    showWindow(window, false);
}

bool SdlWindowSystem::clientSize(HWND window, int* width, int* height) {
    Native* native = find(window);
    if (native == nullptr) {
        return false;
    }
    if (native->xWindow != 0) {
        *width = native->width;
        *height = native->height;
    } else {
        SDL_GetWindowSize(native->sdl, width, height);
    }
    return true;
}

bool SdlWindowSystem::foreignClientSize(HWND window, int* width, int* height) {
    const auto id = static_cast<XWindowId>(reinterpret_cast<std::uintptr_t>(window));
    return x11() != nullptr && x11()->windowSize(id, width, height);
}

void SdlWindowSystem::setCursorVisible(bool visible) {
    if (mVideo == Video::kReady) {
        SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
    }
}

void SdlWindowSystem::watchForExit(HWND window, const ExitTriggers& triggers) {
    Native* native = find(window);
    if (native == nullptr) {
        return;
    }
    if (native->adopted) {
        // XScreenSaver's window: its input is the daemon's, which ends the saver with a signal;
        // only its destruction is for the saver to notice.
        ExitTriggers destroyedOnly;
        destroyedOnly.destroyed = triggers.destroyed;
        watchWindowForExit(native->xWindow, destroyedOnly, false);
        return;
    }
    const XWindowId xWindow = native->madeChild ? native->xWindow : native->ownXWindow;
    watchWindowForExit(xWindow, triggers, true);
}

void SdlWindowSystem::translate(const SDL_Event& event, std::vector<NativeEvent>* events) {
    NativeEvent out;
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        out.type =
            event.type == SDL_KEYDOWN ? NativeEvent::Type::kKeyDown : NativeEvent::Type::kKeyUp;
        out.window = handleFor(event.key.windowID);
        out.virtualKey = virtualKeyFor(event.key.keysym.sym);
        out.scanCode = static_cast<UINT>(event.key.keysym.scancode);
        out.repeat = event.key.repeat != 0;
        break;
    case SDL_MOUSEMOTION:
        out.type = NativeEvent::Type::kMouseMove;
        out.window = handleFor(event.motion.windowID);
        out.x = event.motion.x;
        out.y = event.motion.y;
        out.keyState = keyStateFor(event.motion.state);
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        out.type = event.type == SDL_MOUSEBUTTONDOWN ? NativeEvent::Type::kButtonDown
                                                     : NativeEvent::Type::kButtonUp;
        out.window = handleFor(event.button.windowID);
        out.button = buttonFor(event.button.button);
        out.x = event.button.x;
        out.y = event.button.y;
        out.keyState = keyStateFor(SDL_GetMouseState(nullptr, nullptr));
        if (out.button == 0) {
            return;
        }
        break;
    case SDL_WINDOWEVENT:
        out.window = handleFor(event.window.windowID);
        if (out.window == nullptr) {
            return;
        }
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
            out.type = NativeEvent::Type::kClose;
        } else if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            out.type = NativeEvent::Type::kResized;
            out.width = event.window.data1;
            out.height = event.window.data2;
        } else {
            return;
        }
        break;
    case SDL_QUIT:
        // Only SDL's own signal handlers make this (when something started SDL before us).
        requestTermination();
        return;
    default:
        return;
    }
    events->push_back(out);
}

void SdlWindowSystem::pollEvents(std::vector<NativeEvent>* events) {
    if (mVideo == Video::kReady) {
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
            translate(event, events);
        }
    }
    if (mX11 == nullptr) {
        return;
    }
    std::vector<X11Host::Event> hostEvents;
    mX11->poll(&hostEvents);
    for (const X11Host::Event& hostEvent : hostEvents) {
        Native* native = findByXWindow(hostEvent.window);
        if (native == nullptr) {
            continue;
        }
        if (hostEvent.type == X11Host::Event::Type::kDestroyed) {
            // The host's destruction takes the child with it.
            native->xWindowGone = true;
            NativeEvent out;
            out.type = NativeEvent::Type::kDestroyed;
            out.window = native->handle;
            events->push_back(out);
        } else if (hostEvent.window == native->xWindow &&
                   (hostEvent.width != native->width || hostEvent.height != native->height)) {
            native->width = hostEvent.width;
            native->height = hostEvent.height;
            NativeEvent out;
            out.type = NativeEvent::Type::kResized;
            out.window = native->handle;
            out.width = hostEvent.width;
            out.height = hostEvent.height;
            events->push_back(out);
        }
    }
}

void SdlWindowSystem::waitForEvents(DWORD milliseconds) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        if (mVideo == Video::kReady) {
            SDL_PumpEvents();
            if (SDL_HasEvents(SDL_FIRSTEVENT, SDL_LASTEVENT) == SDL_TRUE) {
                return;
            }
        }
        if (mX11 != nullptr && mX11->hasPendingEvents()) {
            return;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return;
        }
        const int slice = static_cast<int>(std::min<long long>(left.count(), kWaitSliceMs));
        if (mVideo == Video::kReady) {
            SDL_WaitEventTimeout(nullptr, slice);
        } else if (mX11 != nullptr) {
            pollfd descriptor = {mX11->fileDescriptor(), POLLIN, 0};
            ::poll(&descriptor, 1, slice);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(slice));
        }
    }
}

SdlWindowSystem& desktop() {
    // Process-wide: the one desktop connection.
    static SdlWindowSystem system;
    return system;
}

Uint32 messageBoxFlags(UINT type) {
    switch (type & 0xF0) {
    case MB_ICONERROR:
        return SDL_MESSAGEBOX_ERROR;
    case MB_ICONWARNING:
        return SDL_MESSAGEBOX_WARNING;
    default:
        return SDL_MESSAGEBOX_INFORMATION;
    }
}

} // namespace

WindowSystem& desktopWindowSystem() {
    return desktop();
}

base::MessageBoxPresenter desktopMessageBoxPresenter() {
    return [](const base::MessageBoxRequest& request) {
        if (desktop().startDisplay()) {
            if (SDL_ShowSimpleMessageBox(
                    messageBoxFlags(request.type), base::utf16ToUtf8(request.caption).c_str(),
                    base::utf16ToUtf8(request.text).c_str(), sdlWindow(request.owner)) == 0) {
                return IDOK;
            }
            const std::string reason =
                std::string("SDL message box failed: ") + SDL_GetError() + "\n";
            OutputDebugStringA(reason.c_str());
        }
        return writeMessageBoxToStderr(request);
    };
}

} // namespace halv::platform
