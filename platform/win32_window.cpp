#include "platform/win32_window.h"

#include "base/resources.h"
#include "base/text_conversion.h"
#include "base/timing.h"
#include "platform/message_queue.h"
#include "platform/process.h"
#include "platform/window_system.h"

#include <png.h>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

// The records behind icon and cursor handles.
struct HICON__ {
    halv::platform::IconImage image;
    bool stock = false;
};
struct HCURSOR__ {
    int stockId = 0;
};
struct HBRUSH__ {
    int stockId = 0;
};

namespace halv::platform {
namespace {

// Waits inside GetMessageW are cut into slices this long, so the termination flag and a window
// that vanished are noticed even when no event arrives.
constexpr DWORD kWaitSliceMs = 50;

// Icons larger than this are not icons; refusing them keeps a bad resource from allocating
// gigabytes.
constexpr png_uint_32 kLargestIconSide = 1024;

struct WindowClass {
    std::u16string name;
    ATOM atom = 0;
    WNDCLASSEXW info{};
};

struct WindowRecord {
    const WindowClass* windowClass = nullptr;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    // Another program's window for a child, else null.
    HWND parent = nullptr;
    bool visible = false;
    bool destroying = false;
    // Order of the last ShowWindow that made it visible; input without a window goes to the
    // most recent one.
    std::uint64_t shownOrder = 0;
};

struct Windowing {
    // Process-wide: the thread's classes, windows, message queue, cursor counter and the
    // screen-saver-running state (there is one window thread).
    std::vector<std::unique_ptr<WindowClass>> classes;
    std::map<HWND, std::unique_ptr<WindowRecord>> windows;
    MessageQueue queue;
    int cursorCount = 0;
    BOOL saverRunning = FALSE;
    ATOM nextAtom = 0xC000;
    std::uint64_t showCounter = 0;
    WindowSystem* installed = nullptr;
    std::vector<std::unique_ptr<HICON__>> icons;
    HICON__ stockIcon{{}, true};
    HCURSOR__ arrowCursor{32512};
    HBRUSH__ blackBrush{BLACK_BRUSH};
};

Windowing& windowing() {
    static Windowing state;
    return state;
}

WindowRecord* findWindow(HWND window) {
    if (window == nullptr) {
        return nullptr;
    }
    const auto found = windowing().windows.find(window);
    return found == windowing().windows.end() ? nullptr : found->second.get();
}

WindowClass* findClass(LPCWSTR name) {
    if (name == nullptr) {
        return nullptr;
    }
    for (const auto& windowClass : windowing().classes) {
        if (IS_INTRESOURCE(name)) {
            if (windowClass->atom == static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(name))) {
                return windowClass.get();
            }
        } else if (base::equalsIgnoreCase(windowClass->name, name)) {
            return windowClass.get();
        }
    }
    return nullptr;
}

std::vector<HWND> liveWindows() {
    std::vector<HWND> live;
    for (const auto& [handle, record] : windowing().windows) {
        if (!record->destroying) {
            live.push_back(handle);
        }
    }
    return live;
}

HWND activeWindow() {
    HWND best = nullptr;
    std::uint64_t bestOrder = 0;
    for (const auto& [handle, record] : windowing().windows) {
        if (record->visible && !record->destroying && record->shownOrder >= bestOrder) {
            best = handle;
            bestOrder = record->shownOrder;
        }
    }
    return best;
}

// Windows of this layer have no children of their own (children exist only inside other
// programs' windows), so destruction is one window's.
void destroyWindowRecord(HWND window) {
    SendMessageW(window, WM_DESTROY, 0, 0);
    SendMessageW(window, WM_NCDESTROY, 0, 0);
    windowing().queue.forgetWindow(window);
    windowing().windows.erase(window);
}

MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return MSG{window, message, wParam, lParam, timeGetTime(), {0, 0}};
}

LPARAM packPoint(int x, int y) {
    // The low and high 16-bit halves, as the signed coordinates WM_MOUSEMOVE carries.
    return static_cast<LPARAM>(MAKELONG(static_cast<WORD>(x), static_cast<WORD>(y)));
}

void deliver(const NativeEvent& event) {
    HWND window = event.window != nullptr ? event.window : activeWindow();
    WindowRecord* record = findWindow(window);
    if (record == nullptr || record->destroying) {
        return;
    }
    MessageQueue& queue = windowing().queue;
    switch (event.type) {
    case NativeEvent::Type::kKeyDown:
    case NativeEvent::Type::kKeyUp: {
        // lParam: repeat count 1, scan code in bits 16-23, previous state in bit 30,
        // transition in bit 31.
        LPARAM flags = 1 | static_cast<LPARAM>((event.scanCode & 0xFF) << 16);
        const bool down = event.type == NativeEvent::Type::kKeyDown;
        if (!down || event.repeat) {
            flags |= LPARAM{1} << 30;
        }
        if (!down) {
            flags |= LPARAM{1} << 31;
        }
        queue.post(makeMessage(window, down ? WM_KEYDOWN : WM_KEYUP, event.virtualKey, flags));
        break;
    }
    case NativeEvent::Type::kMouseMove:
        queue.post(makeMessage(window, WM_MOUSEMOVE, event.keyState, packPoint(event.x, event.y)));
        break;
    case NativeEvent::Type::kButtonDown:
    case NativeEvent::Type::kButtonUp: {
        const bool down = event.type == NativeEvent::Type::kButtonDown;
        UINT message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
        if (event.button == 2) {
            message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
        } else if (event.button == 3) {
            message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
        }
        queue.post(makeMessage(window, message, event.keyState, packPoint(event.x, event.y)));
        break;
    }
    case NativeEvent::Type::kClose:
        queue.post(makeMessage(window, WM_CLOSE, 0, 0));
        break;
    case NativeEvent::Type::kDestroyed:
        DestroyWindow(window);
        break;
    case NativeEvent::Type::kResized:
        queue.post(
            makeMessage(window, WM_SIZE, SIZE_RESTORED, packPoint(event.width, event.height)));
        break;
    }
}

// Brings in what happened outside: a termination signal, then the window system's events.
void pump() {
    if (takeTerminationRequest()) {
        const std::vector<HWND> windows = liveWindows();
        for (HWND window : windows) {
            DestroyWindow(window);
        }
        if (windows.empty()) {
            PostQuitMessage(0);
        }
    }
    std::vector<NativeEvent> events;
    currentWindowSystem().pollEvents(&events);
    for (const NativeEvent& event : events) {
        deliver(event);
    }
}

bool validFilterWindow(HWND window) {
    return window == nullptr || findWindow(window) != nullptr;
}

// The monitors in Windows screen coordinates: moved so that the primary one (the first) starts
// at (0, 0). Empty without a display.
std::vector<RECT> monitorRects() {
    std::vector<MonitorArea> areas;
    if (!currentWindowSystem().monitors(&areas) || areas.empty()) {
        return {};
    }
    std::vector<RECT> rects;
    for (const MonitorArea& area : areas) {
        const LONG left = area.x - areas.front().x;
        const LONG top = area.y - areas.front().y;
        rects.push_back(RECT{left, top, left + area.width, top + area.height});
    }
    return rects;
}

// Where the primary monitor lies on the whole desktop; (0, 0) without a display.
POINT primaryOrigin() {
    std::vector<MonitorArea> areas;
    if (!currentWindowSystem().monitors(&areas) || areas.empty()) {
        return POINT{0, 0};
    }
    return POINT{areas.front().x, areas.front().y};
}

} // namespace

WindowSystem* installWindowSystem(WindowSystem* system) {
    WindowSystem* previous = windowing().installed;
    windowing().installed = system;
    return previous;
}

WindowSystem& currentWindowSystem() {
    WindowSystem* installed = windowing().installed;
    return installed != nullptr ? *installed : desktopWindowSystem();
}

ScopedWindowSystem::ScopedWindowSystem(WindowSystem* system)
    : mPrevious(installWindowSystem(system)) {}

ScopedWindowSystem::~ScopedWindowSystem() {
    for (HWND window : liveWindows()) {
        DestroyWindow(window);
    }
    windowing().queue.clear();
    if (windowing().cursorCount < 0) {
        currentWindowSystem().setCursorVisible(true);
    }
    windowing().cursorCount = 0;
    installWindowSystem(mPrevious);
}

void watchForExit(HWND window, const ExitTriggers& triggers) {
    if (findWindow(window) != nullptr) {
        currentWindowSystem().watchForExit(window, triggers);
    }
}

const IconImage* iconImage(HICON icon) {
    for (const auto& owned : windowing().icons) {
        if (owned.get() == icon) {
            return &owned->image;
        }
    }
    return nullptr;
}

bool decodePngIcon(const void* data, std::size_t size, IconImage* result) {
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (data == nullptr || png_image_begin_read_from_memory(&image, data, size) == 0) {
        return false;
    }
    if (image.width == 0 || image.height == 0 || image.width > kLargestIconSide ||
        image.height > kLargestIconSide) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr) == 0) {
        png_image_free(&image);
        return false;
    }
    result->width = static_cast<int>(image.width);
    result->height = static_cast<int>(image.height);
    result->rgba = std::move(pixels);
    return true;
}

} // namespace halv::platform

using halv::platform::currentWindowSystem;
using halv::platform::findClass;
using halv::platform::findWindow;
using halv::platform::windowing;

ATOM RegisterClassExW(const WNDCLASSEXW* windowClass) {
    if (windowClass == nullptr || windowClass->cbSize != sizeof(WNDCLASSEXW) ||
        windowClass->lpfnWndProc == nullptr || windowClass->lpszClassName == nullptr ||
        IS_INTRESOURCE(windowClass->lpszClassName) ||
        findClass(windowClass->lpszClassName) != nullptr) {
        return 0;
    }
    auto registered = std::make_unique<halv::platform::WindowClass>();
    registered->name = windowClass->lpszClassName;
    if (registered->name.empty()) {
        return 0;
    }
    registered->atom = windowing().nextAtom++;
    registered->info = *windowClass;
    registered->info.lpszClassName = registered->name.c_str();
    // The menu name is never read; do not keep a pointer the caller may free.
    registered->info.lpszMenuName = nullptr;
    const ATOM atom = registered->atom;
    windowing().classes.push_back(std::move(registered));
    return atom;
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE /*instance*/) {
    const halv::platform::WindowClass* windowClass = findClass(className);
    if (windowClass == nullptr) {
        return FALSE;
    }
    for (const auto& [handle, record] : windowing().windows) {
        if (record->windowClass == windowClass) {
            return FALSE;
        }
    }
    std::erase_if(windowing().classes,
                  [&](const auto& owned) { return owned.get() == windowClass; });
    return TRUE;
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID parameter) {
    using halv::platform::NativeWindowKind;
    const halv::platform::WindowClass* windowClass = findClass(className);
    if (windowClass == nullptr) {
        return nullptr;
    }
    halv::platform::WindowSystem& system = currentWindowSystem();
    halv::platform::NativeWindowRequest request;
    int screenWidth = 0;
    int screenHeight = 0;
    system.screenSize(&screenWidth, &screenHeight);
    const bool child = (style & WS_CHILD) != 0;
    if (child) {
        if (parent == nullptr || findWindow(parent) != nullptr) {
            return nullptr;
        }
        request.kind = NativeWindowKind::kChild;
        request.parent = parent;
    } else if ((style & WS_POPUP) != 0) {
        request.kind = NativeWindowKind::kPopup;
        request.topmost = (exStyle & WS_EX_TOPMOST) != 0;
    } else {
        request.kind = NativeWindowKind::kOverlapped;
        if (width == CW_USEDEFAULT) {
            width = 640;
            height = 480;
        }
        if (x == CW_USEDEFAULT) {
            x = (screenWidth - width) / 2;
            y = (screenHeight - height) / 2;
        }
    }
    request.width = std::max(width, 0);
    request.height = std::max(height, 0);
    if (request.kind == NativeWindowKind::kPopup) {
        for (const RECT& monitor : halv::platform::monitorRects()) {
            request.fullScreen = request.fullScreen || (x == monitor.left && y == monitor.top &&
                                                        width == monitor.right - monitor.left &&
                                                        height == monitor.bottom - monitor.top);
        }
    }
    // Top-level windows move from Windows screen coordinates to the desktop's.
    const POINT origin = child ? POINT{0, 0} : halv::platform::primaryOrigin();
    request.x = x + origin.x;
    request.y = y + origin.y;
    request.blank = windowClass->info.hbrBackground == &windowing().blackBrush;
    request.title = windowName != nullptr ? halv::base::utf16ToUtf8(windowName) : std::string();
    request.icon = halv::platform::iconImage(windowClass->info.hIcon);
    if (request.icon == nullptr) {
        request.icon = halv::platform::iconImage(windowClass->info.hIconSm);
    }

    HWND window = system.createWindow(request);
    if (window == nullptr) {
        return nullptr;
    }
    auto record = std::make_unique<halv::platform::WindowRecord>();
    record->windowClass = windowClass;
    record->proc = windowClass->info.lpfnWndProc;
    record->style = style;
    record->exStyle = exStyle;
    record->parent = parent;
    windowing().windows[window] = std::move(record);

    CREATESTRUCTW create = {parameter,
                            instance,
                            menu,
                            parent,
                            height,
                            width,
                            y,
                            x,
                            static_cast<LONG>(style),
                            windowName,
                            windowClass->info.lpszClassName,
                            exStyle};
    const LPARAM createParam = reinterpret_cast<LPARAM>(&create);
    if (SendMessageW(window, WM_NCCREATE, 0, createParam) == 0) {
        DestroyWindow(window);
        return nullptr;
    }
    if (findWindow(window) != nullptr && SendMessageW(window, WM_CREATE, 0, createParam) == -1) {
        DestroyWindow(window);
        return nullptr;
    }
    // The procedure may have destroyed the window while it was being created.
    halv::platform::WindowRecord* created = findWindow(window);
    if (created == nullptr || created->destroying) {
        return nullptr;
    }
    if ((style & WS_VISIBLE) != 0) {
        ShowWindow(window, SW_SHOW);
    }
    return window;
}

BOOL DestroyWindow(HWND window) {
    halv::platform::WindowRecord* record = findWindow(window);
    if (record == nullptr) {
        return FALSE;
    }
    if (record->destroying) {
        return TRUE;
    }
    record->destroying = true;
    currentWindowSystem().retireWindow(window);
    halv::platform::destroyWindowRecord(window);
    return TRUE;
}

BOOL IsWindow(HWND window) {
    const halv::platform::WindowRecord* record = findWindow(window);
    return record != nullptr && !record->destroying ? TRUE : FALSE;
}

BOOL ShowWindow(HWND window, int command) {
    halv::platform::WindowRecord* record = findWindow(window);
    if (record == nullptr || record->destroying) {
        return FALSE;
    }
    const bool wasVisible = record->visible;
    const bool visible = command != SW_HIDE;
    if (visible) {
        record->shownOrder = ++windowing().showCounter;
    }
    if (visible != wasVisible) {
        record->visible = visible;
        currentWindowSystem().showWindow(window, visible);
    }
    return wasVisible ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND window) {
    return IsWindow(window);
}

BOOL AdjustWindowRect(RECT* rect, DWORD /*style*/, BOOL /*menu*/) {
    return rect != nullptr ? TRUE : FALSE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
    if (rect == nullptr || window == nullptr) {
        return FALSE;
    }
    int width = 0;
    int height = 0;
    halv::platform::WindowSystem& system = currentWindowSystem();
    const bool known = findWindow(window) != nullptr
                           ? system.clientSize(window, &width, &height)
                           : system.foreignClientSize(window, &width, &height);
    if (!known) {
        return FALSE;
    }
    *rect = RECT{0, 0, width, height};
    return TRUE;
}

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM /*wParam*/, LPARAM /*lParam*/) {
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_NCCREATE:
    case WM_ERASEBKGND:
        return TRUE;
    default:
        return 0;
    }
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const halv::platform::WindowRecord* record = findWindow(window);
    if (record == nullptr) {
        return 0;
    }
    // Copied first: the procedure may destroy the record.
    const WNDPROC proc = record->proc;
    return proc(window, message, wParam, lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window != nullptr && IsWindow(window) == FALSE) {
        return FALSE;
    }
    windowing().queue.post(halv::platform::makeMessage(window, message, wParam, lParam));
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    windowing().queue.postQuit(exitCode);
}

BOOL PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (message == nullptr) {
        return FALSE;
    }
    halv::platform::pump();
    const halv::platform::MessageFilter filter{window, filterMin, filterMax};
    return windowing().queue.take(filter, (removeFlags & PM_REMOVE) != 0, message) ? TRUE : FALSE;
}

BOOL GetMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax) {
    if (message == nullptr) {
        return -1;
    }
    const halv::platform::MessageFilter filter{window, filterMin, filterMax};
    for (;;) {
        if (!halv::platform::validFilterWindow(window)) {
            return -1;
        }
        halv::platform::pump();
        if (windowing().queue.take(filter, true, message)) {
            return message->message == WM_QUIT ? 0 : 1;
        }
        if (!halv::platform::validFilterWindow(window)) {
            return -1;
        }
        const std::optional<DWORD> due = windowing().queue.nextTimerDue(filter);
        currentWindowSystem().waitForEvents(due ? std::min(*due, halv::platform::kWaitSliceMs)
                                                : halv::platform::kWaitSliceMs);
    }
}

BOOL TranslateMessage(const MSG* /*message*/) {
    return FALSE;
}

LRESULT DispatchMessageW(const MSG* message) {
    if (message == nullptr) {
        return 0;
    }
    if (message->message == WM_TIMER && message->lParam != 0) {
        const auto proc = reinterpret_cast<TIMERPROC>(message->lParam);
        proc(message->hwnd, WM_TIMER, message->wParam, timeGetTime());
        return 0;
    }
    return SendMessageW(message->hwnd, message->message, message->wParam, message->lParam);
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc) {
    if (window != nullptr && IsWindow(window) == FALSE) {
        return 0;
    }
    return windowing().queue.setTimer(window, id, elapse, timerProc);
}

BOOL KillTimer(HWND window, UINT_PTR id) {
    return windowing().queue.killTimer(window, id) ? TRUE : FALSE;
}

int ShowCursor(BOOL show) {
    int& count = windowing().cursorCount;
    const bool wasShown = count >= 0;
    count += show != FALSE ? 1 : -1;
    if (wasShown != (count >= 0)) {
        currentWindowSystem().setCursorVisible(count >= 0);
    }
    return count;
}

int GetSystemMetrics(int index) {
    if (index == SM_CXSCREEN || index == SM_CYSCREEN) {
        int width = 0;
        int height = 0;
        if (!currentWindowSystem().screenSize(&width, &height)) {
            return 0;
        }
        return index == SM_CXSCREEN ? width : height;
    }
    if (index < SM_XVIRTUALSCREEN || index > SM_CMONITORS) {
        return 0;
    }
    const std::vector<RECT> monitors = halv::platform::monitorRects();
    if (monitors.empty()) {
        return 0;
    }
    RECT all = monitors.front();
    for (const RECT& monitor : monitors) {
        all = RECT{std::min(all.left, monitor.left), std::min(all.top, monitor.top),
                   std::max(all.right, monitor.right), std::max(all.bottom, monitor.bottom)};
    }
    switch (index) {
    case SM_XVIRTUALSCREEN:
        return all.left;
    case SM_YVIRTUALSCREEN:
        return all.top;
    case SM_CXVIRTUALSCREEN:
        return all.right - all.left;
    case SM_CYVIRTUALSCREEN:
        return all.bottom - all.top;
    default:
        return static_cast<int>(monitors.size());
    }
}

BOOL EnumDisplayMonitors(HDC dc, const RECT* clip, MONITORENUMPROC callback, LPARAM data) {
    if (dc != nullptr || callback == nullptr) {
        return FALSE;
    }
    const std::vector<RECT> monitors = halv::platform::monitorRects();
    if (monitors.empty()) {
        return FALSE;
    }
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        RECT area = monitors[i];
        if (clip != nullptr) {
            area = RECT{std::max(area.left, clip->left), std::max(area.top, clip->top),
                        std::min(area.right, clip->right), std::min(area.bottom, clip->bottom)};
            if (area.left >= area.right || area.top >= area.bottom) {
                continue;
            }
        }
        const auto monitor = reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(i + 1));
        if (callback(monitor, nullptr, &area, data) == FALSE) {
            break;
        }
    }
    return TRUE;
}

BOOL GetMonitorInfoW(HMONITOR monitor, MONITORINFO* info) {
    if (info == nullptr || info->cbSize != sizeof(MONITORINFO)) {
        return FALSE;
    }
    const std::vector<RECT> monitors = halv::platform::monitorRects();
    const auto index = reinterpret_cast<std::uintptr_t>(monitor);
    if (index == 0 || index > monitors.size()) {
        return FALSE;
    }
    info->rcMonitor = monitors[index - 1];
    info->rcWork = info->rcMonitor;
    info->dwFlags = index == 1 ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
}

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax) {
    if (buffer == nullptr || bufferMax <= 0 || id > 0xFFFF) {
        return 0;
    }
    HRSRC resource = FindResourceW(instance, MAKEINTRESOURCEW(static_cast<WORD>(id)), u"STRING");
    if (resource == nullptr) {
        buffer[0] = 0;
        return 0;
    }
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(instance, resource)));
    const std::u16string text =
        halv::base::utf8ToUtf16(std::string_view(bytes, SizeofResource(instance, resource)));
    std::size_t count = std::min<std::size_t>(text.size(), static_cast<std::size_t>(bufferMax) - 1);
    if (count > 0 && count < text.size() && text[count - 1] >= 0xD800 &&
        text[count - 1] <= 0xDBFF) {
        --count;
    }
    std::copy_n(text.begin(), count, buffer);
    buffer[count] = 0;
    return static_cast<int>(count);
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
    if (instance == nullptr) {
        return name == IDI_APPLICATION ? &windowing().stockIcon : nullptr;
    }
    HRSRC resource = FindResourceW(instance, name, u"ICON");
    if (resource == nullptr) {
        return nullptr;
    }
    auto icon = std::make_unique<HICON__>();
    if (!halv::platform::decodePngIcon(LockResource(LoadResource(instance, resource)),
                                       SizeofResource(instance, resource), &icon->image)) {
        return nullptr;
    }
    windowing().icons.push_back(std::move(icon));
    return windowing().icons.back().get();
}

HGDIOBJ GetStockObject(int object) {
    return object == BLACK_BRUSH ? &windowing().blackBrush : nullptr;
}

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
    return instance == nullptr && name == IDC_ARROW ? &windowing().arrowCursor : nullptr;
}

BOOL SystemParametersInfoW(UINT action, UINT uiParam, LPVOID pvParam, UINT /*winIni*/) {
    switch (action) {
    case SPI_SETSCREENSAVERRUNNING:
        if (pvParam != nullptr) {
            *static_cast<BOOL*>(pvParam) = windowing().saverRunning;
        }
        windowing().saverRunning = uiParam != 0 ? TRUE : FALSE;
        return TRUE;
    case SPI_GETSCREENSAVERRUNNING:
        if (pvParam == nullptr) {
            return FALSE;
        }
        *static_cast<BOOL*>(pvParam) = windowing().saverRunning;
        return TRUE;
    default:
        return FALSE;
    }
}
