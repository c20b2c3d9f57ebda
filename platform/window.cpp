#include "platform/window.h"

#include "base/environment.h"

#include <SDL.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>

// The record behind an HWND.
struct HWND__ {
    SDL_Window* window = nullptr;
    bool owned = false;
    // Contexts drawing into the window; a destroyed handle waits for them.
    int pins = 0;
    bool destroyed = false;
};

namespace halv::platform {
namespace {

struct WindowTable {
    // Process-wide: every live window handle and the record it names.
    std::map<HWND, std::unique_ptr<HWND__>> records;
};

WindowTable& table() {
    static WindowTable windows;
    return windows;
}

HWND registerWindow(SDL_Window* window, bool owned) {
    auto record = std::make_unique<HWND__>();
    record->window = window;
    record->owned = owned;
    HWND handle = record.get();
    table().records.emplace(handle, std::move(record));
    return handle;
}

HWND__* find(HWND window) {
    const auto found = table().records.find(window);
    return found == table().records.end() || found->second->destroyed ? nullptr
                                                                      : found->second.get();
}

void release(HWND handle, HWND__* record) {
    if (record->owned) {
        SDL_DestroyWindow(record->window);
    }
    table().records.erase(handle);
}

} // namespace

bool startVideo() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
        return true;
    }
    // Without a display server SDL would fall back to drivers that show nothing; a caller
    // that wants one anyway names it in SDL_VIDEODRIVER.
    if (!base::getEnvironmentVariable("DISPLAY") &&
        !base::getEnvironmentVariable("WAYLAND_DISPLAY") &&
        !base::getEnvironmentVariable("SDL_VIDEODRIVER")) {
        return false;
    }
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver != nullptr &&
        (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0) &&
        !base::getEnvironmentVariable("SDL_VIDEODRIVER")) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        return false;
    }
    return true;
}

void stopVideo() {
    for (auto& [handle, record] : table().records) {
        if (record->owned) {
            SDL_DestroyWindow(record->window);
        }
    }
    table().records.clear();
    SDL_Quit();
}

HWND createWindow(const WindowOptions& options) {
    if (!startVideo()) {
        return nullptr;
    }
    Uint32 flags = SDL_WINDOW_OPENGL;
    flags |= options.visible ? SDL_WINDOW_SHOWN : SDL_WINDOW_HIDDEN;
    if (options.fullScreen) {
        flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
    }
    if (options.resizable) {
        flags |= SDL_WINDOW_RESIZABLE;
    }
    SDL_Window* window =
        SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                         options.width, options.height, flags);
    if (window == nullptr) {
        return nullptr;
    }
    return registerWindow(window, true);
}

HWND adoptWindow(SDL_Window* window) {
    return window != nullptr ? registerWindow(window, false) : nullptr;
}

void destroyWindow(HWND window) {
    HWND__* record = find(window);
    if (record == nullptr) {
        return;
    }
    if (record->pins > 0) {
        record->destroyed = true;
        SDL_HideWindow(record->window);
        return;
    }
    release(window, record);
}

SDL_Window* pinWindow(HWND window) {
    HWND__* record = find(window);
    if (record == nullptr) {
        return nullptr;
    }
    ++record->pins;
    return record->window;
}

void unpinWindow(SDL_Window* window) {
    for (auto& [handle, record] : table().records) {
        if (record->window == window && record->pins > 0) {
            if (--record->pins == 0 && record->destroyed) {
                release(handle, record.get());
            }
            return;
        }
    }
}

SDL_Window* sdlWindow(HWND window) {
    HWND__* record = find(window);
    return record != nullptr ? record->window : nullptr;
}

bool clientSize(HWND window, int* width, int* height) {
    SDL_Window* sdl = sdlWindow(window);
    if (sdl == nullptr) {
        return false;
    }
    SDL_GetWindowSizeInPixels(sdl, width, height);
    return true;
}

bool desktopDisplayMode(DisplayMode* mode) {
    if (!startVideo()) {
        return false;
    }
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) != 0) {
        return false;
    }
    mode->width = desktop.w;
    mode->height = desktop.h;
    mode->refreshHz = desktop.refresh_rate;
    return true;
}

} // namespace halv::platform
