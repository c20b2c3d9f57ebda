#include "shell/screensaver_app.h"

#include "base/locale.h"
#include "base/message_box.h"
#include "base/text_conversion.h"
#include "platform/process.h"

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
    return mChanges > 5;
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
    while (message.message != WM_QUIT) {
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        } else {
            renderFrame();
        }
    }
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
    ShowWindow(mWindow, showCommand);
    UpdateWindow(mWindow);
    return true;
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

LRESULT saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ScreensaverApp* application = ScreensaverApp::current();
    if (application == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return application->handleMessage(window, message, wParam, lParam);
}

} // namespace halv::shell
