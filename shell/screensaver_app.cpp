#include "shell/screensaver_app.h"

#include "base/debug_output.h"
#include "base/locale.h"
#include "base/message_box.h"
#include "base/text_conversion.h"
#include "base/timing.h"
#include "platform/process.h"
#include "platform/window_system.h"

#include <cstdio>

namespace halv::shell {
namespace {

// Process-wide: the one application object, which the window procedure forwards to.
ScreensaverApp* gApplication = nullptr;

HWND readHostWindow(const WCHAR* text) {
    while (*text != 0 && (*text < u'0' || *text > u'9')) {
        ++text;
    }
    if (*text == 0) {
        return nullptr;
    }
    const LONG value = base::wideToLong(text, nullptr, 10);
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(static_cast<ULONG>(value)));
}

// The frame rate on the debug channel (HALVORINE_DEBUG=1): the frames drawn since the loop began,
// every five seconds and at its end.
class FrameCount {
public:
    void count() {
        ++mFrames;
        if (timeGetTime() - mLastReportMs >= kReportPeriodMs) {
            report();
        }
    }
    void report() {
        mLastReportMs = timeGetTime();
        char line[96];
        std::snprintf(line, sizeof(line), "halvorine: %u frames in %lu ms\n", mFrames,
                      static_cast<unsigned long>(mLastReportMs - mStartMs));
        OutputDebugStringA(line);
    }

private:
    static constexpr DWORD kReportPeriodMs = 5000;
    const DWORD mStartMs = timeGetTime();
    DWORD mLastReportMs = mStartMs;
    unsigned mFrames = 0;
};

} // namespace

SaverMode parseCommandLine(LPCWSTR commandLine, HWND* hostWindow) {
    *hostWindow = nullptr;
    const WCHAR* cursor = commandLine != nullptr ? commandLine : u"";
    // The program name comes first and may itself contain '-' or '/'.
    if (*cursor == u'"') {
        ++cursor;
        while (*cursor != 0 && *cursor != u'"') {
            ++cursor;
        }
        if (*cursor == u'"') {
            ++cursor;
        }
    } else {
        while (*cursor != 0 && *cursor != u' ') {
            ++cursor;
        }
        if (*cursor == u' ') {
            ++cursor;
        }
    }
    while (*cursor != 0 && *cursor != u'/' && *cursor != u'-') {
        ++cursor;
    }
    if (*cursor == 0) {
        return SaverMode::kConfigure;
    }
    const WCHAR letter = cursor[1];
    const WCHAR* rest = letter != 0 ? cursor + 2 : cursor + 1;
    switch (letter) {
    case u'P':
    case u'p':
        *hostWindow = readHostWindow(rest);
        return SaverMode::kPreview;
    case u'A':
    case u'a':
        *hostWindow = readHostWindow(rest);
        return SaverMode::kChangePassword;
    case u'C':
    case u'c':
        *hostWindow = readHostWindow(rest);
        return SaverMode::kConfigure;
    case u'T':
    case u't':
        return SaverMode::kWindowedTest;
    default:
        return SaverMode::kFullScreen;
    }
}

const char* configureText(LCID locale) {
    if (LOBYTE(locale) == 0x07) {
        // Code page 1252: 0xFC is u-umlaut.
        return "Der Bildschirmschoner verf\xFCgt \xFC"
               "ber keine einstellbaren Optionen.";
    }
    return "This screen saver has no options that you can set.";
}

bool MouseMoveTracker::moved(int x, int y) {
    if (x == mLastX && y == mLastY) {
        return false;
    }
    mLastX = x;
    mLastY = y;
    ++mChanges;
    return mChanges >= kEndingMouseChange;
}

ScreensaverApp::ScreensaverApp() {
    gApplication = this;
}

ScreensaverApp::~ScreensaverApp() {
    if (gApplication == this) {
        gApplication = nullptr;
    }
}

ScreensaverApp* ScreensaverApp::current() {
    return gApplication;
}

MouseMoveTracker& ScreensaverApp::mouseTracker() {
    // Process-wide: counts position changes over the whole life of the process.
    static MouseMoveTracker tracker;
    return tracker;
}

int ScreensaverApp::initDevice() {
    return 0;
}

void ScreensaverApp::renderFrame() {}

void ScreensaverApp::onCreate() {}

void ScreensaverApp::onPreviewStart() {}

void ScreensaverApp::onTimer() {}

void ScreensaverApp::onCommand() {}

void ScreensaverApp::onKeyDown() {
    DestroyWindow(mWindow);
}

void ScreensaverApp::onMouseMove() {
    if (mMode == SaverMode::kPreview) {
        return;
    }
    const auto x = static_cast<SHORT>(LOWORD(static_cast<DWORD_PTR>(mLastLParam)));
    const auto y = static_cast<SHORT>(HIWORD(static_cast<DWORD_PTR>(mLastLParam)));
    if (mouseTracker().moved(x, y)) {
        DestroyWindow(mWindow);
    }
}

void ScreensaverApp::onDestroy() {
    // The black windows go with the show.
    destroyBlankWindows();
    if (mMode == SaverMode::kFullScreen) {
        BOOL scratch = FALSE;
        SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, FALSE, &scratch, 0);
    }
    PostQuitMessage(0);
}

SaverMode ScreensaverApp::parseCommandLine(LPCWSTR commandLine) {
    return shell::parseCommandLine(commandLine, &mHostWindow);
}

int ScreensaverApp::run(HINSTANCE instance, int showCommand) {
    mMode = parseCommandLine(GetCommandLineW());
    mSettings.isPreview = mMode == SaverMode::kPreview;
    if (mMode == SaverMode::kConfigure) {
        // The host window given with /c is deliberately not the owner.
        MessageBoxA(nullptr, configureText(GetUserDefaultLCID()), "Screen Saver Settings",
                    MB_ICONINFORMATION);
        return 0;
    }
    LoadStringW(instance, kTitleString, mTitle, kResourceTextLength);
    LoadStringW(instance, kClassNameString, mClassName, kResourceTextLength);
    registerWindowClass(instance);
    if (!createSaverWindow(instance, showCommand)) {
        return 0;
    }
    if (initDevice() != 0) {
        return 0;
    }
    if (mMode == SaverMode::kFullScreen) {
        BOOL scratch = FALSE;
        SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, TRUE, &scratch, 0);
    }
    MSG message = {};
    FrameCount frames;
    while (message.message != WM_QUIT) {
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        } else {
            renderFrame();
            frames.count();
        }
    }
    frames.report();
    return static_cast<int>(message.wParam);
}

void ScreensaverApp::registerWindowClass(HINSTANCE instance) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(WNDCLASSEXW);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = saverWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kLargeIcon));
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(kSmallIcon));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground =
        reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOWFRAME + 1));
    windowClass.lpszClassName = mClassName;
    // A failure shows up as a failed CreateWindowExW.
    RegisterClassExW(&windowClass);
}

bool ScreensaverApp::createSaverWindow(HINSTANCE instance, int showCommand) {
    mInstance = instance;
    switch (mMode) {
    case SaverMode::kPreview: {
        ShowCursor(TRUE);
        mSettings.fullScreen = false;
        RECT rect = {};
        GetClientRect(mHostWindow, &rect);
        AdjustWindowRect(&rect, WS_CHILD | WS_VISIBLE, FALSE);
        mWindow = CreateWindowExW(0, mClassName, mTitle, WS_CHILD | WS_VISIBLE, rect.left, rect.top,
                                  rect.right - rect.left, rect.bottom - rect.top, mHostWindow,
                                  nullptr, instance, this);
        break;
    }
    case SaverMode::kFullScreen:
        mSettings.width = GetSystemMetrics(SM_CXSCREEN);
        mSettings.height = GetSystemMetrics(SM_CYSCREEN);
        // First, so that where monitors overlap (a mirrored one) the show stays on top.
        coverOtherMonitors(instance);
        mWindow =
            CreateWindowExW(WS_EX_TOPMOST, mClassName, mTitle, WS_POPUPWINDOW, 0, 0,
                            mSettings.width, mSettings.height, nullptr, nullptr, instance, nullptr);
        break;
    case SaverMode::kWindowedTest: {
        mSettings.fullScreen = false;
        // Integer division truncates toward zero, so a narrow screen gives a negative x.
        const int x = (GetSystemMetrics(SM_CXSCREEN) - mSettings.width) / 2;
        const int y = (GetSystemMetrics(SM_CYSCREEN) - mSettings.height) / 2;
        mWindow = CreateWindowExW(0, mClassName, mTitle, WS_OVERLAPPEDWINDOW, x, y, mSettings.width,
                                  mSettings.height, nullptr, nullptr, instance, nullptr);
        break;
    }
    case SaverMode::kChangePassword:
    case SaverMode::kConfigure:
        break;
    }
    if (mWindow == nullptr) {
        return false;
    }
    watchForExit(mWindow);
    ShowWindow(mWindow, showCommand);
    UpdateWindow(mWindow);
    return true;
}

void ScreensaverApp::coverOtherMonitors(HINSTANCE instance) {
    std::vector<RECT> others;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, RECT*, LPARAM data) -> BOOL {
            MONITORINFO info = {};
            info.cbSize = sizeof(info);
            if (GetMonitorInfoW(monitor, &info) != FALSE &&
                (info.dwFlags & MONITORINFOF_PRIMARY) == 0) {
                reinterpret_cast<std::vector<RECT>*>(data)->push_back(info.rcMonitor);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&others));
    if (others.empty()) {
        return;
    }
    WNDCLASSEXW blankClass = {};
    blankClass.cbSize = sizeof(WNDCLASSEXW);
    blankClass.lpfnWndProc = blankWindowProc;
    blankClass.hInstance = instance;
    blankClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    blankClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    blankClass.lpszClassName = kBlankClassName;
    RegisterClassExW(&blankClass);
    for (const RECT& area : others) {
        HWND blank = CreateWindowExW(WS_EX_TOPMOST, kBlankClassName, mTitle, WS_POPUP | WS_VISIBLE,
                                     area.left, area.top, area.right - area.left,
                                     area.bottom - area.top, nullptr, nullptr, instance, nullptr);
        if (blank != nullptr) {
            mBlankWindows.push_back(blank);
            watchForExit(blank);
        }
    }
}

void ScreensaverApp::watchForExit(HWND window) const {
    platform::ExitTriggers triggers;
    triggers.keyPress = true;
    triggers.motionChanges = mMode == SaverMode::kPreview ? 0 : kEndingMouseChange;
    triggers.destroyed = true;
    platform::watchForExit(window, triggers);
}

void ScreensaverApp::destroyBlankWindows() {
    mDestroyingBlanks = true;
    for (HWND blank : mBlankWindows) {
        DestroyWindow(blank);
    }
    mBlankWindows.clear();
    mDestroyingBlanks = false;
}

LRESULT ScreensaverApp::handleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    mWindow = window;
    mLastWParam = wParam;
    mLastLParam = lParam;
    switch (message) {
    case WM_CREATE:
        onCreate();
        return 0;
    case WM_ERASEBKGND:
        // The device draws every pixel; erasing would only flicker.
        return 0;
    case WM_DESTROY:
        onDestroy();
        return 0;
    case WM_KEYDOWN:
        onKeyDown();
        return 0;
    case WM_COMMAND:
        onCommand();
        return 0;
    case WM_TIMER:
        onTimer();
        return 0;
    case WM_MOUSEMOVE:
        onMouseMove();
        return 0;
    case kPreviewStartMessage:
        onPreviewStart();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT ScreensaverApp::handleBlankMessage(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    switch (message) {
    case WM_KEYDOWN:
        DestroyWindow(mWindow);
        return 0;
    case WM_MOUSEMOVE: {
        const auto x = static_cast<SHORT>(LOWORD(static_cast<DWORD_PTR>(lParam)));
        const auto y = static_cast<SHORT>(HIWORD(static_cast<DWORD_PTR>(lParam)));
        if (mouseTracker().moved(x, y)) {
            DestroyWindow(mWindow);
        }
        return 0;
    }
    case WM_DESTROY:
        if (!mDestroyingBlanks) {
            // Destroyed from outside: the saver ends as when its own window goes.
            std::erase(mBlankWindows, window);
            DestroyWindow(mWindow);
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

LRESULT blankWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ScreensaverApp* application = ScreensaverApp::current();
    if (application == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return application->handleBlankMessage(window, message, wParam, lParam);
}

LRESULT saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ScreensaverApp* application = ScreensaverApp::current();
    if (application == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return application->handleMessage(window, message, wParam, lParam);
}

} // namespace halv::shell
