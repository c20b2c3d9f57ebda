#include "base/resources.h"
#include "base/timing.h"
#include "platform/fake_window_system.h"
#include "platform/process.h"
#include "platform/win32_window.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace halv::platform {
namespace {

constexpr const WCHAR* kClassName = u"TestWindowClass";

struct Seen {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// Process-wide for the window procedure, which is a plain function: what it saw, and an
// optional override that answers instead of DefWindowProcW.
std::vector<Seen> gSeen;
std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)> gOverride;

LRESULT recordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    gSeen.push_back(Seen{window, message, wParam, lParam});
    if (gOverride) {
        if (std::optional<LRESULT> result = gOverride(window, message, wParam, lParam)) {
            return *result;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

std::vector<UINT> messagesFor(HWND window) {
    std::vector<UINT> messages;
    for (const Seen& seen : gSeen) {
        if (seen.window == window) {
            messages.push_back(seen.message);
        }
    }
    return messages;
}

HWND foreignHost(std::uintptr_t id) {
    return reinterpret_cast<HWND>(id);
}

class Win32WindowTest : public testing::Test {
protected:
    void SetUp() override {
        gSeen.clear();
        gOverride = nullptr;
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = recordingProc;
        windowClass.lpszClassName = kClassName;
        ASSERT_NE(RegisterClassExW(&windowClass), 0);
    }

    void TearDown() override {
        gOverride = nullptr;
        mInstalled.reset();
        EXPECT_EQ(UnregisterClassW(kClassName, nullptr), TRUE);
    }

    HWND createOverlapped(DWORD style = WS_OVERLAPPEDWINDOW) {
        return CreateWindowExW(0, kClassName, u"Title", style, 10, 20, 300, 200, nullptr, nullptr,
                               nullptr, nullptr);
    }

    // Drains what the queue holds right now, dispatching each message.
    void dispatchPending() {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
            DispatchMessageW(&message);
        }
    }

    base::FakeClock mClock;
    base::ScopedClock mScopedClock{&mClock};
    FakeWindowSystem mSystem;
    std::optional<ScopedWindowSystem> mInstalled{std::in_place, &mSystem};
};

TEST_F(Win32WindowTest, CreationSendsNcCreateThenCreateAndShowsAfterwards) {
    int marker = 0;
    bool visibleDuringCreate = true;
    const CREATESTRUCTW* seenCreate = nullptr;
    gOverride = [&](HWND window, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
        if (message == WM_CREATE) {
            seenCreate = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            EXPECT_EQ(seenCreate->lpCreateParams, &marker);
            EXPECT_EQ(seenCreate->cx, 300);
            EXPECT_EQ(seenCreate->cy, 200);
            EXPECT_EQ(seenCreate->x, 10);
            EXPECT_EQ(seenCreate->style, static_cast<LONG>(WS_OVERLAPPEDWINDOW | WS_VISIBLE));
            visibleDuringCreate = mSystem.window(window)->visible;
        }
        return std::nullopt;
    };
    HWND window = CreateWindowExW(0, kClassName, u"Title", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 20,
                                  300, 200, nullptr, nullptr, nullptr, &marker);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(messagesFor(window), (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_NE(seenCreate, nullptr);
    EXPECT_FALSE(visibleDuringCreate);
    const FakeWindowSystem::Window* native = mSystem.window(window);
    ASSERT_NE(native, nullptr);
    EXPECT_TRUE(native->visible);
    EXPECT_EQ(native->request.kind, NativeWindowKind::kOverlapped);
    EXPECT_EQ(native->request.title, "Title");
    EXPECT_EQ(native->request.x, 10);
    EXPECT_EQ(native->request.width, 300);
    RECT client = {};
    ASSERT_EQ(GetClientRect(window, &client), TRUE);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 200);
}

TEST_F(Win32WindowTest, PopupCoveringTheScreenIsFullScreen) {
    HWND full = CreateWindowExW(WS_EX_TOPMOST, kClassName, u"", WS_POPUPWINDOW, 0, 0, 1280, 1024,
                                nullptr, nullptr, nullptr, nullptr);
    HWND partial = CreateWindowExW(0, kClassName, u"", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(full, nullptr);
    ASSERT_NE(partial, nullptr);
    EXPECT_TRUE(mSystem.window(full)->request.fullScreen);
    EXPECT_TRUE(mSystem.window(full)->request.topmost);
    EXPECT_FALSE(mSystem.window(full)->visible);
    EXPECT_FALSE(mSystem.window(partial)->request.fullScreen);
    EXPECT_EQ(ShowWindow(full, SW_SHOWDEFAULT), FALSE);
    EXPECT_TRUE(mSystem.window(full)->visible);
    EXPECT_EQ(ShowWindow(full, SW_HIDE), TRUE);
    EXPECT_FALSE(mSystem.window(full)->visible);
}

// A desktop whose primary monitor is not the top left one: a 640x480 monitor at the desktop's
// origin, the primary 800x600 one right of it and 100 lower, a third 1024x768 one below both.
const std::vector<MonitorArea> kThreeMonitors = {
    {640, 100, 800, 600}, {0, 0, 640, 480}, {0, 700, 1024, 768}};

TEST_F(Win32WindowTest, MonitorsAreInScreenCoordinatesAroundThePrimaryOne) {
    mSystem.setMonitors(kThreeMonitors);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 600);
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 3);
    EXPECT_EQ(GetSystemMetrics(SM_XVIRTUALSCREEN), -640);
    EXPECT_EQ(GetSystemMetrics(SM_YVIRTUALSCREEN), -100);
    EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), 1440);
    EXPECT_EQ(GetSystemMetrics(SM_CYVIRTUALSCREEN), 1468);

    struct Found {
        RECT enumerated;
        MONITORINFO info;
    };
    std::vector<Found> found;
    const auto collect = [](HMONITOR monitor, HDC, RECT* area, LPARAM data) -> BOOL {
        Found entry = {*area, {}};
        entry.info.cbSize = sizeof(MONITORINFO);
        EXPECT_EQ(GetMonitorInfoW(monitor, &entry.info), TRUE);
        reinterpret_cast<std::vector<Found>*>(data)->push_back(entry);
        return TRUE;
    };
    ASSERT_EQ(EnumDisplayMonitors(nullptr, nullptr, collect, reinterpret_cast<LPARAM>(&found)),
              TRUE);
    const RECT expected[] = {{0, 0, 800, 600}, {-640, -100, 0, 380}, {-640, 600, 384, 1368}};
    ASSERT_EQ(found.size(), 3u);
    for (std::size_t i = 0; i < found.size(); ++i) {
        SCOPED_TRACE(i);
        for (const RECT& rect :
             {found[i].enumerated, found[i].info.rcMonitor, found[i].info.rcWork}) {
            EXPECT_EQ(rect.left, expected[i].left);
            EXPECT_EQ(rect.top, expected[i].top);
            EXPECT_EQ(rect.right, expected[i].right);
            EXPECT_EQ(rect.bottom, expected[i].bottom);
        }
        EXPECT_EQ(found[i].info.dwFlags, i == 0 ? MONITORINFOF_PRIMARY : 0u);
    }

    // A clip rectangle leaves out the monitors it misses and cuts the others; FALSE from the
    // callback stops the enumeration.
    found.clear();
    const RECT clip = {-10, 500, 10, 700};
    ASSERT_EQ(EnumDisplayMonitors(nullptr, &clip, collect, reinterpret_cast<LPARAM>(&found)), TRUE);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].enumerated.left, 0);
    EXPECT_EQ(found[0].enumerated.bottom, 600);
    EXPECT_EQ(found[1].enumerated.top, 600);
    EXPECT_EQ(found[1].enumerated.right, 10);
    int calls = 0;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR, HDC, RECT*, LPARAM data) -> BOOL {
            ++*reinterpret_cast<int*>(data);
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&calls));
    EXPECT_EQ(calls, 1);

    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    EXPECT_EQ(GetMonitorInfoW(reinterpret_cast<HMONITOR>(std::uintptr_t{4}), &info), FALSE);
    EXPECT_EQ(GetMonitorInfoW(nullptr, &info), FALSE);
    info.cbSize = 36;
    EXPECT_EQ(GetMonitorInfoW(reinterpret_cast<HMONITOR>(std::uintptr_t{1}), &info), FALSE);
    EXPECT_EQ(EnumDisplayMonitors(reinterpret_cast<HDC>(std::uintptr_t{1}), nullptr, collect, 0),
              FALSE);
    mSystem.setDisplay(false);
    EXPECT_EQ(EnumDisplayMonitors(nullptr, nullptr, collect, 0), FALSE);
    EXPECT_EQ(GetSystemMetrics(SM_CMONITORS), 0);
}

TEST_F(Win32WindowTest, TopLevelWindowsAreMovedToTheDesktopsCoordinates) {
    mSystem.setMonitors(kThreeMonitors);
    mSystem.addForeignWindow(foreignHost(0x400002), 320, 240);
    struct Case {
        const char* name;
        DWORD style;
        int x, y, width, height;
        HWND parent;
        int nativeX, nativeY;
        bool fullScreen;
    };
    const Case cases[] = {
        {"PrimaryCovered", WS_POPUPWINDOW, 0, 0, 800, 600, nullptr, 640, 100, true},
        {"LeftMonitorCovered", WS_POPUP, -640, -100, 640, 480, nullptr, 0, 0, true},
        {"PartOfAMonitor", WS_POPUP, 0, 0, 640, 480, nullptr, 640, 100, false},
        {"Overlapped", WS_OVERLAPPEDWINDOW, 10, 20, 800, 600, nullptr, 650, 120, false},
        {"ChildStaysInItsParent", WS_CHILD, 5, 6, 100, 100, foreignHost(0x400002), 5, 6, false},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        HWND window = CreateWindowExW(0, kClassName, u"", testCase.style, testCase.x, testCase.y,
                                      testCase.width, testCase.height, testCase.parent, nullptr,
                                      nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        const FakeWindowSystem::Window* native = mSystem.window(window);
        EXPECT_EQ(native->request.x, testCase.nativeX);
        EXPECT_EQ(native->request.y, testCase.nativeY);
        EXPECT_EQ(native->request.fullScreen, testCase.fullScreen);
        EXPECT_FALSE(native->request.blank);
        DestroyWindow(window);
    }
}

TEST_F(Win32WindowTest, AClassWithTheBlackBrushMakesBlankWindows) {
    EXPECT_EQ(GetStockObject(0), nullptr);
    WNDCLASSEXW blankClass = {};
    blankClass.cbSize = sizeof(blankClass);
    blankClass.lpfnWndProc = recordingProc;
    blankClass.lpszClassName = u"Blank";
    blankClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    ASSERT_NE(blankClass.hbrBackground, nullptr);
    ASSERT_NE(RegisterClassExW(&blankClass), 0);
    HWND blank = CreateWindowExW(0, u"Blank", u"", WS_POPUP, 0, 0, 1280, 1024, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(blank, nullptr);
    EXPECT_TRUE(mSystem.window(blank)->request.blank);
    EXPECT_TRUE(mSystem.window(blank)->request.fullScreen);
    DestroyWindow(blank);
    EXPECT_EQ(UnregisterClassW(u"Blank", nullptr), TRUE);
}

TEST_F(Win32WindowTest, ExitWatchGoesToTheWindowSystemForOwnWindowsOnly) {
    HWND window = createOverlapped();
    ASSERT_NE(window, nullptr);
    ExitTriggers triggers;
    triggers.keyPress = true;
    triggers.motionChanges = 6;
    watchForExit(window, triggers);
    watchForExit(foreignHost(0x400002), triggers);
    ASSERT_TRUE(mSystem.window(window)->exitTriggers.has_value());
    EXPECT_TRUE(mSystem.window(window)->exitTriggers->keyPress);
    EXPECT_EQ(mSystem.window(window)->exitTriggers->motionChanges, 6);
    EXPECT_FALSE(mSystem.window(window)->exitTriggers->destroyed);
}

TEST_F(Win32WindowTest, AWindowDestroyedFromOutsideGetsWmDestroy) {
    HWND window = createOverlapped(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    ASSERT_NE(window, nullptr);
    mSystem.destroyFromOutside(window);
    dispatchPending();
    EXPECT_EQ(IsWindow(window), FALSE);
    const std::vector<UINT> messages = messagesFor(window);
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[messages.size() - 2], WM_DESTROY);
    EXPECT_EQ(messages.back(), WM_NCDESTROY);
}

TEST_F(Win32WindowTest, CreationFailures) {
    mSystem.addForeignWindow(foreignHost(0x400002), 320, 240);
    HWND own = createOverlapped();
    ASSERT_NE(own, nullptr);
    struct Case {
        const char* name;
        const WCHAR* className;
        DWORD style;
        HWND parent;
        std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)> proc;
    };
    const auto refuse = [](UINT refused, LRESULT answer) {
        return [=](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
            return message == refused ? std::optional<LRESULT>(answer) : std::nullopt;
        };
    };
    const Case cases[] = {
        {"UnknownClass", u"NoSuchClass", WS_OVERLAPPEDWINDOW, nullptr, nullptr},
        {"ChildWithoutParent", kClassName, WS_CHILD | WS_VISIBLE, nullptr, nullptr},
        {"ChildOfAnUnknownHost", kClassName, WS_CHILD, foreignHost(0x1234), nullptr},
        {"ChildOfOwnWindow", kClassName, WS_CHILD, own, nullptr},
        {"NcCreateRefused", kClassName, WS_OVERLAPPEDWINDOW, nullptr, refuse(WM_NCCREATE, FALSE)},
        {"CreateRefused", kClassName, WS_OVERLAPPEDWINDOW, nullptr, refuse(WM_CREATE, -1)},
        {"DestroyedDuringCreate", kClassName, WS_OVERLAPPEDWINDOW, nullptr,
         [](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
             if (message == WM_CREATE) {
                 DestroyWindow(window);
                 return 0;
             }
             return std::nullopt;
         }},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        gOverride = testCase.proc;
        const std::size_t before = mSystem.created().size();
        EXPECT_EQ(CreateWindowExW(0, testCase.className, u"", testCase.style, 0, 0, 10, 10,
                                  testCase.parent, nullptr, nullptr, nullptr),
                  nullptr);
        // A native window made on the way was retired again.
        for (std::size_t i = before; i < mSystem.created().size(); ++i) {
            EXPECT_TRUE(mSystem.window(mSystem.created()[i])->retired);
        }
    }
    gOverride = nullptr;
    mSystem.setDisplay(false);
    EXPECT_EQ(createOverlapped(), nullptr);
}

TEST_F(Win32WindowTest, ChildOfAForeignHostIsSizedAndPlacedInIt) {
    const HWND host = foreignHost(0x400002);
    mSystem.addForeignWindow(host, 320, 240);
    RECT rect = {};
    ASSERT_EQ(GetClientRect(host, &rect), TRUE);
    EXPECT_EQ(rect.right, 320);
    EXPECT_EQ(rect.bottom, 240);
    EXPECT_EQ(GetClientRect(foreignHost(0x999), &rect), FALSE);
    HWND child = CreateWindowExW(0, kClassName, u"", WS_CHILD | WS_VISIBLE, 0, 0, 320, 240, host,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(mSystem.window(child)->request.kind, NativeWindowKind::kChild);
    EXPECT_EQ(mSystem.window(child)->request.parent, host);

    // The host going away takes the child with it, and the child hears of it.
    mSystem.removeForeignWindow(host);
    dispatchPending();
    EXPECT_EQ(IsWindow(child), FALSE);
    EXPECT_EQ(messagesFor(child),
              (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_DESTROY, WM_NCDESTROY}));
}

TEST_F(Win32WindowTest, DestroyWindowIsSynchronousAndForgetsTheWindow) {
    HWND window = createOverlapped();
    HWND other = createOverlapped();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(PostMessageW(window, WM_USER + 7, 0, 0), TRUE);
    ASSERT_EQ(PostMessageW(other, WM_USER + 8, 0, 0), TRUE);
    ASSERT_NE(SetTimer(window, 3, 100, nullptr), 0u);
    gSeen.clear();

    EXPECT_EQ(DestroyWindow(window), TRUE);
    EXPECT_EQ(messagesFor(window), (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(IsWindow(window), FALSE);
    EXPECT_TRUE(mSystem.window(window)->retired);
    EXPECT_EQ(DestroyWindow(window), FALSE);
    EXPECT_EQ(PostMessageW(window, WM_USER, 0, 0), FALSE);
    EXPECT_EQ(SetTimer(window, 4, 100, nullptr), 0u);

    // Its queued message and its timer went with it; the other window's message stays.
    mClock.advanceMilliseconds(200);
    MSG message;
    ASSERT_EQ(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE), TRUE);
    EXPECT_EQ(message.hwnd, other);
    EXPECT_EQ(message.message, WM_USER + 8);
    EXPECT_EQ(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE), FALSE);
}

TEST_F(Win32WindowTest, CloseGoesThroughDefWindowProcToDestroy) {
    HWND window = createOverlapped(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    NativeEvent close;
    close.type = NativeEvent::Type::kClose;
    close.window = window;
    mSystem.queueEvent(close);
    dispatchPending();
    EXPECT_EQ(messagesFor(window),
              (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_CLOSE, WM_DESTROY, WM_NCDESTROY}));
    EXPECT_EQ(IsWindow(window), FALSE);
}

TEST_F(Win32WindowTest, RetrievalOrderIsPostedThenQuitThenTimer) {
    HWND window = createOverlapped();
    SetTimer(window, 9, 50, nullptr);
    mClock.advanceMilliseconds(60);
    PostQuitMessage(3);
    PostMessageW(window, WM_USER + 1, 11, 0);
    PostMessageW(nullptr, WM_USER + 2, 22, 0);

    std::vector<UINT> order;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE) != FALSE) {
        order.push_back(message.message);
        if (message.message == WM_QUIT) {
            EXPECT_EQ(message.wParam, 3u);
        }
        if (message.message == WM_TIMER) {
            EXPECT_EQ(message.wParam, 9u);
            EXPECT_EQ(message.hwnd, window);
        }
    }
    EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_QUIT, WM_TIMER}));
}

TEST_F(Win32WindowTest, FiltersAndNoRemove) {
    HWND first = createOverlapped();
    HWND second = createOverlapped();
    PostMessageW(first, WM_USER + 1, 0, 0);
    PostMessageW(second, WM_USER + 2, 0, 0);
    PostMessageW(second, WM_KEYDOWN, 0, 0);

    MSG message;
    ASSERT_EQ(PeekMessageW(&message, second, 0, 0, PM_NOREMOVE), TRUE);
    EXPECT_EQ(message.message, WM_USER + 2);
    ASSERT_EQ(PeekMessageW(&message, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE), TRUE);
    EXPECT_EQ(message.message, WM_KEYDOWN);
    ASSERT_EQ(GetMessageW(&message, second, 0, 0), 1);
    EXPECT_EQ(message.message, WM_USER + 2);
    ASSERT_EQ(GetMessageW(&message, nullptr, 0, 0), 1);
    EXPECT_EQ(message.hwnd, first);

    // The quit request passes every filter.
    PostQuitMessage(0);
    EXPECT_EQ(GetMessageW(&message, second, WM_TIMER, WM_TIMER), 0);
    EXPECT_EQ(message.message, WM_QUIT);
}

TEST_F(Win32WindowTest, GetMessageFailsForAWindowThatIsNotOrNoLongerExists) {
    MSG message;
    EXPECT_EQ(GetMessageW(&message, foreignHost(0x1234), 0, 0), -1);
    EXPECT_EQ(GetMessageW(nullptr, nullptr, 0, 0), -1);

    // Waiting on a window that is destroyed meanwhile (by a message for another window)
    // ends with -1 instead of waiting forever.
    HWND waited = createOverlapped();
    HWND other = createOverlapped();
    gOverride = [&](HWND window, UINT sent, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (window == other && sent == WM_USER) {
            DestroyWindow(waited);
        }
        return std::nullopt;
    };
    int polls = 0;
    mSystem.setPollHook([&] {
        if (++polls == 3) {
            SendMessageW(other, WM_USER, 0, 0);
        }
    });
    EXPECT_EQ(GetMessageW(&message, waited, 0, 0), -1);
}

TEST_F(Win32WindowTest, TimersFireOncePerPeriodOnTheClock) {
    HWND window = createOverlapped();
    const std::int64_t start = mClock.nanoseconds();
    ASSERT_EQ(SetTimer(window, 1, 500, nullptr), 1u);
    MSG message;
    EXPECT_EQ(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE), FALSE);

    // GetMessageW waits (on the fake clock) until the timer is due, and not much longer.
    ASSERT_EQ(GetMessageW(&message, window, 0, 0), 1);
    EXPECT_EQ(message.message, WM_TIMER);
    const std::int64_t waitedMs = (mClock.nanoseconds() - start) / 1000000;
    EXPECT_GE(waitedMs, 500);
    EXPECT_LT(waitedMs, 520);

    // Three periods late still gives one WM_TIMER, and the next period starts then.
    mClock.advanceMilliseconds(1500);
    ASSERT_EQ(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE), TRUE);
    EXPECT_EQ(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE), FALSE);
    mClock.advanceMilliseconds(499);
    EXPECT_EQ(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE), FALSE);
    mClock.advanceMilliseconds(1);
    EXPECT_EQ(PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE), TRUE);

    // Killing it stops it, even with a period due.
    EXPECT_EQ(KillTimer(window, 1), TRUE);
    EXPECT_EQ(KillTimer(window, 1), FALSE);
    EXPECT_EQ(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE), FALSE);

    // Periods below the minimum are raised to it; thread timers get ids of their own.
    const UINT_PTR threadTimer = SetTimer(nullptr, 0, 1, nullptr);
    EXPECT_NE(threadTimer, 0u);
    mClock.advanceMilliseconds(USER_TIMER_MINIMUM - 1);
    EXPECT_EQ(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE), FALSE);
    mClock.advanceMilliseconds(1);
    ASSERT_EQ(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE), TRUE);
    EXPECT_EQ(message.wParam, threadTimer);
    EXPECT_EQ(message.hwnd, nullptr);
    EXPECT_EQ(KillTimer(nullptr, threadTimer), TRUE);
}

TEST_F(Win32WindowTest, TimerProcIsCalledByDispatch) {
    static int calls = 0;
    calls = 0;
    HWND window = createOverlapped();
    SetTimer(window, 5, 20, [](HWND, UINT message, UINT_PTR id, DWORD) {
        EXPECT_EQ(message, WM_TIMER);
        EXPECT_EQ(id, 5u);
        ++calls;
    });
    mClock.advanceMilliseconds(20);
    gSeen.clear();
    dispatchPending();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(messagesFor(window).empty());
}

TEST_F(Win32WindowTest, InputBecomesWindowMessages) {
    HWND back = createOverlapped(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    HWND front = createOverlapped(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    NativeEvent key;
    key.type = NativeEvent::Type::kKeyDown;
    key.virtualKey = VK_ESCAPE;
    key.scanCode = 41;
    NativeEvent move;
    move.type = NativeEvent::Type::kMouseMove;
    move.window = back;
    move.x = -5;
    move.y = 700;
    move.keyState = MK_LBUTTON;
    mSystem.queueEvent(key);
    mSystem.queueEvent(move);
    gSeen.clear();
    dispatchPending();

    ASSERT_EQ(gSeen.size(), 2u);
    // Input without a window goes to the window shown last.
    EXPECT_EQ(gSeen[0].window, front);
    EXPECT_EQ(gSeen[0].message, WM_KEYDOWN);
    EXPECT_EQ(gSeen[0].wParam, VK_ESCAPE);
    EXPECT_EQ((gSeen[0].lParam >> 16) & 0xFF, 41);
    EXPECT_EQ(gSeen[0].lParam & 0xFFFF, 1);
    EXPECT_EQ(gSeen[1].window, back);
    EXPECT_EQ(gSeen[1].message, WM_MOUSEMOVE);
    EXPECT_EQ(gSeen[1].wParam, MK_LBUTTON);
    EXPECT_EQ(static_cast<SHORT>(LOWORD(static_cast<DWORD_PTR>(gSeen[1].lParam))), -5);
    EXPECT_EQ(static_cast<SHORT>(HIWORD(static_cast<DWORD_PTR>(gSeen[1].lParam))), 700);

    // Input for a window that is gone is dropped.
    DestroyWindow(front);
    DestroyWindow(back);
    mSystem.queueEvent(key);
    gSeen.clear();
    dispatchPending();
    EXPECT_TRUE(gSeen.empty());
}

TEST_F(Win32WindowTest, TerminationDestroysTheWindowsOrQuits) {
    HWND window = createOverlapped(WS_OVERLAPPEDWINDOW | WS_VISIBLE);
    requestTermination();
    MSG message;
    EXPECT_EQ(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE), FALSE);
    EXPECT_EQ(IsWindow(window), FALSE);
    EXPECT_EQ(messagesFor(window).back(), WM_NCDESTROY);

    // With no window left to destroy, the request is a quit.
    requestTermination();
    ASSERT_EQ(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE), TRUE);
    EXPECT_EQ(message.message, WM_QUIT);
    EXPECT_FALSE(takeTerminationRequest());
}

TEST_F(Win32WindowTest, CursorCounter) {
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_FALSE(mSystem.cursorVisible());
    EXPECT_EQ(ShowCursor(FALSE), -2);
    EXPECT_EQ(ShowCursor(TRUE), -1);
    EXPECT_FALSE(mSystem.cursorVisible());
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_TRUE(mSystem.cursorVisible());
    EXPECT_EQ(ShowCursor(TRUE), 1);
    EXPECT_EQ(ShowCursor(FALSE), 0);
    EXPECT_TRUE(mSystem.cursorVisible());
    EXPECT_EQ(ShowCursor(FALSE), -1);
    // Left hidden on purpose: leaving the scope shows it again for the next test.
}

TEST_F(Win32WindowTest, ScreenMetricsAndSaverRunningState) {
    mSystem.setScreenSize(800, 600);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 600);
    EXPECT_EQ(GetSystemMetrics(42), 0);
    mSystem.setDisplay(false);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 0);

    BOOL previous = 7;
    BOOL running = 7;
    ASSERT_EQ(SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, TRUE, &previous, 0), TRUE);
    EXPECT_EQ(previous, FALSE);
    ASSERT_EQ(SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING, 0, &running, 0), TRUE);
    EXPECT_EQ(running, TRUE);
    ASSERT_EQ(SystemParametersInfoW(SPI_SETSCREENSAVERRUNNING, FALSE, &previous, 0), TRUE);
    EXPECT_EQ(previous, TRUE);
    EXPECT_EQ(SystemParametersInfoW(0x1234, 0, nullptr, 0), FALSE);
}

TEST_F(Win32WindowTest, ClassRegistration) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = recordingProc;
    windowClass.lpszClassName = u"testwindowclass";
    EXPECT_EQ(RegisterClassExW(&windowClass), 0) << "names compare case-insensitively";
    windowClass.lpszClassName = u"Other";
    windowClass.cbSize = 48;
    EXPECT_EQ(RegisterClassExW(&windowClass), 0);
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = nullptr;
    EXPECT_EQ(RegisterClassExW(&windowClass), 0);
    EXPECT_EQ(RegisterClassExW(nullptr), 0);

    HWND window = createOverlapped();
    EXPECT_EQ(UnregisterClassW(kClassName, nullptr), FALSE) << "a window of the class exists";
    DestroyWindow(window);
}

TEST(AdjustWindowRect, FramesBelongToTheWindowManager) {
    RECT rect = {10, 20, 1034, 788};
    ASSERT_EQ(AdjustWindowRect(&rect, WS_OVERLAPPEDWINDOW, FALSE), TRUE);
    EXPECT_EQ(rect.left, 10);
    EXPECT_EQ(rect.bottom, 788);
    EXPECT_EQ(AdjustWindowRect(nullptr, WS_CHILD, FALSE), FALSE);
}

std::span<const std::byte> bytesOf(std::string_view text) {
    return std::as_bytes(std::span<const char>(text.data(), text.size()));
}

TEST(LoadStringW, CopiesTerminatesAndTruncates) {
    base::ResourceTable table;
    table.add(base::ResourceId::fromName(u"STRING"), base::ResourceId::fromNumber(104),
              bytesOf("QLX Halvorine"));
    // "A", then U+1F600 as a surrogate pair, then "B".
    table.add(base::ResourceId::fromName(u"STRING"), base::ResourceId::fromNumber(7),
              bytesOf("A\xF0\x9F\x98\x80"
                      "B"));
    table.add(base::ResourceId::fromName(u"STRING"), base::ResourceId::fromNumber(8), bytesOf(""));
    base::ScopedResourceTable installed(&table);
    HINSTANCE module = GetModuleHandleW(nullptr);

    WCHAR buffer[100];
    EXPECT_EQ(LoadStringW(module, 104, buffer, 100), 13);
    EXPECT_EQ(std::u16string(buffer), u"QLX Halvorine");
    EXPECT_EQ(LoadStringW(module, 104, buffer, 4), 3);
    EXPECT_EQ(std::u16string(buffer), u"QLX");
    // Never half a surrogate pair.
    EXPECT_EQ(LoadStringW(module, 7, buffer, 3), 1);
    EXPECT_EQ(std::u16string(buffer), u"A");
    EXPECT_EQ(LoadStringW(module, 7, buffer, 4), 3);
    EXPECT_EQ(LoadStringW(module, 8, buffer, 100), 0);
    EXPECT_EQ(buffer[0], 0);
    buffer[0] = u'x';
    EXPECT_EQ(LoadStringW(module, 999, buffer, 100), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(LoadStringW(module, 104, buffer, 0), 0);
    EXPECT_EQ(LoadStringW(module, 104, nullptr, 10), 0);
}

TEST(LoadIconW, DecodesThePngResource) {
    HINSTANCE module = GetModuleHandleW(nullptr);
    HICON icon = LoadIconW(module, MAKEINTRESOURCEW(108));
    ASSERT_NE(icon, nullptr);
    const IconImage* image = iconImage(icon);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 48);
    EXPECT_EQ(image->height, 48);
    ASSERT_EQ(image->rgba.size(), 48u * 48u * 4u);
    // The stand-in icon: a green centre on a dark blue disc, transparent corners.
    const auto pixel = [&](int x, int y) {
        const std::uint8_t* p = &image->rgba[static_cast<std::size_t>(y * 48 + x) * 4];
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    EXPECT_EQ(pixel(24, 24), (std::vector<int>{0, 255, 0, 255}));
    EXPECT_EQ(pixel(24, 4), (std::vector<int>{0, 0, 100, 255}));
    EXPECT_EQ(pixel(0, 0)[3], 0);

    EXPECT_EQ(LoadIconW(module, MAKEINTRESOURCEW(555)), nullptr);
    EXPECT_EQ(LoadIconW(module, MAKEINTRESOURCEW(110)), nullptr) << "not a PNG";
    HICON stock = LoadIconW(nullptr, IDI_APPLICATION);
    EXPECT_NE(stock, nullptr);
    EXPECT_EQ(iconImage(stock), nullptr);
    EXPECT_NE(LoadCursorW(nullptr, IDC_ARROW), nullptr);
    EXPECT_EQ(LoadCursorW(module, IDC_ARROW), nullptr);
}

std::vector<std::byte> iconResource(WORD id) {
    HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(id), u"ICON");
    const auto* data = static_cast<const std::byte*>(LockResource(LoadResource(nullptr, resource)));
    return std::vector<std::byte>(data, data + SizeofResource(nullptr, resource));
}

TEST(DecodePngIcon, RejectsTruncatedImages) {
    const std::vector<std::byte> whole = iconResource(109);
    ASSERT_FALSE(whole.empty());
    IconImage image;
    ASSERT_TRUE(decodePngIcon(whole.data(), whole.size(), &image));
    EXPECT_EQ(image.width, 16);
    // Cutting only into the closing 12-byte IEND chunk leaves every pixel there; libpng
    // accepts that, and so do icons. Every shorter prefix must fail.
    constexpr std::size_t kEndChunk = 12;
    for (std::size_t size = 0; size + kEndChunk < whole.size(); ++size) {
        // A fresh heap block of exactly this size, so a read past it is caught.
        const std::vector<std::byte> prefix(whole.begin(),
                                            whole.begin() + static_cast<std::ptrdiff_t>(size));
        IconImage partial;
        EXPECT_FALSE(decodePngIcon(prefix.data(), prefix.size(), &partial)) << size;
    }
}

} // namespace
} // namespace halv::platform
