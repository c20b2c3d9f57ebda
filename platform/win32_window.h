// Win32 windows and messages: window classes, CreateWindowExW for overlapped, pop-up and child
// windows, the thread's message queue with timers, the cursor counter, screen metrics, string
// and icon resources. Native windows come from the installed WindowSystem
// (platform/window_system.h); everything here runs on the one thread that owns the windows.
//
// A handle that is not one of this layer's windows names a window of another program by its
// X window id (the host of a preview). On this platform window managers draw the frames, so
// AdjustWindowRect adds nothing and an overlapped window's outer size is its client size.
//
// Screen coordinates are the Windows ones: the primary monitor's top left corner is (0, 0)
// wherever it lies on the desktop, and the other monitors are placed around it.
#pragma once

#include "base/win_types.h"

using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
using TIMERPROC = void (*)(HWND window, UINT message, UINT_PTR id, DWORD time);

struct WNDCLASSEXW {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
    HICON hIconSm;
};
static_assert(sizeof(WNDCLASSEXW) == 80 && offsetof(WNDCLASSEXW, lpfnWndProc) == 8 &&
              offsetof(WNDCLASSEXW, hIconSm) == 72);

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
static_assert(sizeof(MSG) == 48 && offsetof(MSG, wParam) == 16 && offsetof(MSG, pt) == 36);

struct CREATESTRUCTW {
    LPVOID lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    LPCWSTR lpszName;
    LPCWSTR lpszClass;
    DWORD dwExStyle;
};

// Messages.
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_SIZE = 0x0005;
inline constexpr UINT WM_PAINT = 0x000F;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_ERASEBKGND = 0x0014;
inline constexpr UINT WM_SHOWWINDOW = 0x0018;
inline constexpr UINT WM_SETCURSOR = 0x0020;
inline constexpr UINT WM_NCCREATE = 0x0081;
inline constexpr UINT WM_NCDESTROY = 0x0082;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_SYSCOMMAND = 0x0112;
inline constexpr UINT WM_TIMER = 0x0113;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_RBUTTONUP = 0x0205;
inline constexpr UINT WM_MBUTTONDOWN = 0x0207;
inline constexpr UINT WM_MBUTTONUP = 0x0208;
inline constexpr UINT WM_USER = 0x0400;

inline constexpr WPARAM SIZE_RESTORED = 0;

// Mouse and key state in WM_MOUSEMOVE's wParam.
inline constexpr UINT MK_LBUTTON = 0x0001;
inline constexpr UINT MK_RBUTTON = 0x0002;
inline constexpr UINT MK_SHIFT = 0x0004;
inline constexpr UINT MK_CONTROL = 0x0008;
inline constexpr UINT MK_MBUTTON = 0x0010;

// Virtual keys the window layer reports by name; letters and digits are their upper-case
// ASCII codes.
inline constexpr UINT VK_BACK = 0x08;
inline constexpr UINT VK_TAB = 0x09;
inline constexpr UINT VK_RETURN = 0x0D;
inline constexpr UINT VK_SHIFT = 0x10;
inline constexpr UINT VK_CONTROL = 0x11;
inline constexpr UINT VK_MENU = 0x12;
inline constexpr UINT VK_ESCAPE = 0x1B;
inline constexpr UINT VK_SPACE = 0x20;
inline constexpr UINT VK_LEFT = 0x25;
inline constexpr UINT VK_UP = 0x26;
inline constexpr UINT VK_RIGHT = 0x27;
inline constexpr UINT VK_DOWN = 0x28;
inline constexpr UINT VK_F1 = 0x70;

// Window styles.
inline constexpr DWORD WS_OVERLAPPED = 0x00000000;
inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_CHILD = 0x40000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;
inline constexpr DWORD WS_CAPTION = 0x00C00000;
inline constexpr DWORD WS_BORDER = 0x00800000;
inline constexpr DWORD WS_SYSMENU = 0x00080000;
inline constexpr DWORD WS_THICKFRAME = 0x00040000;
inline constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
inline constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
inline constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
inline constexpr DWORD WS_POPUPWINDOW = WS_POPUP | WS_BORDER | WS_SYSMENU;
inline constexpr DWORD WS_EX_TOPMOST = 0x00000008;
static_assert(WS_OVERLAPPEDWINDOW == 0x00CF0000 && WS_POPUPWINDOW == 0x80880000);

inline constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);

// Class styles.
inline constexpr UINT CS_VREDRAW = 0x0001;
inline constexpr UINT CS_HREDRAW = 0x0002;

// ShowWindow commands.
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_SHOWDEFAULT = 10;

// PeekMessageW.
inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;

// GetSystemMetrics.
inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;
inline constexpr int SM_XVIRTUALSCREEN = 76;
inline constexpr int SM_YVIRTUALSCREEN = 77;
inline constexpr int SM_CXVIRTUALSCREEN = 78;
inline constexpr int SM_CYVIRTUALSCREEN = 79;
inline constexpr int SM_CMONITORS = 80;

// Monitors.
using MONITORENUMPROC = BOOL (*)(HMONITOR monitor, HDC dc, RECT* area, LPARAM data);
struct MONITORINFO {
    DWORD cbSize;
    RECT rcMonitor;
    RECT rcWork;
    DWORD dwFlags;
};
static_assert(sizeof(MONITORINFO) == 40);
inline constexpr DWORD MONITORINFOF_PRIMARY = 0x00000001;

// SystemParametersInfoW.
inline constexpr UINT SPI_SETSCREENSAVERRUNNING = 0x0061;
inline constexpr UINT SPI_GETSCREENSAVERRUNNING = 0x0072;

inline constexpr int COLOR_WINDOWFRAME = 6;

// Stock objects: only the black brush. A window whose class has it as its background shows
// black without anything drawing into it (the display server paints it).
using HGDIOBJ = void*;
inline constexpr int BLACK_BRUSH = 4;
// Null for every other object.
HGDIOBJ GetStockObject(int object);

// The shortest timer period; shorter ones are raised to it.
inline constexpr UINT USER_TIMER_MINIMUM = 0x0000000A;

// Stock cursors and icons (instance null).
#define IDC_ARROW MAKEINTRESOURCEW(32512)
#define IDI_APPLICATION MAKEINTRESOURCEW(32512)

// Registers a window class; 0 for a null or wrongly sized structure, a missing procedure or
// name, or a name already registered (names compare case-insensitively).
ATOM RegisterClassExW(const WNDCLASSEXW* windowClass);
// Fails (FALSE) while a window of the class exists.
BOOL UnregisterClassW(LPCWSTR className, HINSTANCE instance);

// Creates a window: WS_CHILD needs a parent, which must be a window of another program (the
// preview host; windows of this layer take no children); otherwise the window is top-level, a
// frameless pop-up with WS_POPUP (full screen when it covers the primary screen; under XScreenSaver
// it takes over the daemon's window instead) or an overlapped window. Sends WM_NCCREATE and
// WM_CREATE (lParam the CREATESTRUCTW) before it returns; shows the window afterwards when
// WS_VISIBLE is given. Null when the class is unknown, no native window can be made, or the window
// procedure refused or destroyed the window during creation.
HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID parameter);
// Sends WM_DESTROY and then WM_NCDESTROY to the window and drops its timers and queued
// messages. FALSE for no window of ours.
BOOL DestroyWindow(HWND window);
BOOL IsWindow(HWND window);
// Nonzero when the window was visible before.
BOOL ShowWindow(HWND window, int command);
// The device repaints the whole window every frame, so there is no update region to flush.
BOOL UpdateWindow(HWND window);
BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu);
// Works for this layer's windows and for windows of other programs named by their id.
BOOL GetClientRect(HWND window, RECT* rect);

// WM_CLOSE destroys the window; WM_NCCREATE and WM_ERASEBKGND answer TRUE; the rest 0.
LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// A null window posts a thread message. FALSE for a window that is not ours.
BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

// Messages come in this order: posted messages and input in arrival order, then the quit
// request, then one due timer. `window` (null: any) limits the choice to that window's
// messages; WM_QUIT is returned whatever the filter. A filter range of 0, 0 takes all.
BOOL PeekMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// Waits for a message: 0 for WM_QUIT, -1 when `window` is not (or no longer) a window of
// ours, else 1.
BOOL GetMessageW(MSG* message, HWND window, UINT filterMin, UINT filterMax);
// No character messages are made: nothing on this platform reads WM_CHAR. Always FALSE.
BOOL TranslateMessage(const MSG* message);
// Calls the window procedure (or the TIMERPROC in a WM_TIMER's lParam) and returns its result.
LRESULT DispatchMessageW(const MSG* message);

// WM_TIMER (wParam the id) is produced by the pump once per period when nothing else waits.
// Setting an existing id again restarts it. Returns the id (for a null window, a new one), 0
// for a window that is not ours.
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerProc);
BOOL KillTimer(HWND window, UINT_PTR id);

// The cursor display counter: shown while it is 0 or more. Returns the new value.
int ShowCursor(BOOL show);

// SM_CXSCREEN and SM_CYSCREEN (the primary monitor), the virtual screen's SM_XVIRTUALSCREEN,
// SM_YVIRTUALSCREEN, SM_CXVIRTUALSCREEN and SM_CYVIRTUALSCREEN (the rectangle around every
// monitor) and SM_CMONITORS; 0 for other indices and without a display.
int GetSystemMetrics(int index);

// Calls `callback` for each monitor (the primary one first) that meets `clip` (null: all), with
// its rectangle, until it returns FALSE. Only the whole screen is offered: `dc` must be null.
// FALSE for a dc, a null callback or no display.
BOOL EnumDisplayMonitors(HDC dc, const RECT* clip, MONITORENUMPROC callback, LPARAM data);
// The monitor's rectangle (the work area is the same: there is no task bar to leave out) and
// MONITORINFOF_PRIMARY. FALSE for an unknown handle or a cbSize other than sizeof(MONITORINFO).
// Handles name monitors by their place in the order EnumDisplayMonitors gives.
BOOL GetMonitorInfoW(HMONITOR monitor, MONITORINFO* info);

// Strings are resources of type STRING named by their number holding UTF-8 text. Copies at
// most bufferMax - 1 characters (never half of a surrogate pair), terminates, and returns the
// count; 0 when the string is missing, or for a bufferMax of 0 (read-only pointers into the
// resource are not offered: the resource is not UTF-16).
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);
// Icons are resources of type ICON holding a PNG image (at most 1024 x 1024). Each call decodes
// the image into a handle of its own that lives until the process ends. With a null instance,
// IDI_APPLICATION gives a stock icon without an image. Null when missing or not a readable PNG.
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
// Only the stock IDC_ARROW (instance null), which is the pointer native windows show anyway.
HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);

// SPI_SETSCREENSAVERRUNNING records uiParam as the running state (the previous one goes to
// *(BOOL*)pvParam when given); SPI_GETSCREENSAVERRUNNING reads it. Nothing else on the system
// depends on it here. Other actions FALSE.
BOOL SystemParametersInfoW(UINT action, UINT uiParam, LPVOID pvParam, UINT winIni);

namespace halv::platform {

struct IconImage;
struct ExitTriggers;

// Has the exit watcher end the saver promptly on these triggers on one of this layer's windows
// (the window system's watchForExit).
void watchForExit(HWND window, const ExitTriggers& triggers);

// The image behind an icon handle; null for stock icons and unknown handles.
const IconImage* iconImage(HICON icon);

// Decodes a PNG into RGBA; false for anything libpng cannot read.
bool decodePngIcon(const void* data, std::size_t size, IconImage* image);

} // namespace halv::platform
