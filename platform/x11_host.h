// Windows of other programs on an X display: the host a preview runs inside (/p ID) and the
// window XScreenSaver gives a hack. SDL selects no input on windows it did not make, so this
// layer keeps its own Xlib connection to watch them (destruction, size changes) and makes the
// preview's child window there. An X error handler replaces Xlib's default one, which would
// end the process on the first bad window id.
#pragma once

#include "platform/window_system.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace halv::platform {

using XWindowId = std::uint64_t;

// A window id as XScreenSaver and other lockers write it: "0x" or "0X" and hex digits, or
// decimal digits (a leading 0 does not mean octal). Nothing for 0, for anything but a whole
// number, and for values beyond 32 bits.
std::optional<XWindowId> parseWindowId(std::string_view text);

// The window XScreenSaver gives the saver: the "--window-id ID" (or "-window-id ID") argument,
// else the XSCREENSAVER_WINDOW environment variable; nothing when neither names a window id.
std::optional<XWindowId> saverHostWindowId();

class X11Host {
public:
    // The layer's own connection to $DISPLAY; null when there is none.
    static std::unique_ptr<X11Host> open();
    ~X11Host();
    X11Host(const X11Host&) = delete;
    X11Host& operator=(const X11Host&) = delete;

    // Routes X errors of every connection in the process to a handler that records them
    // instead of exiting, and a lost display connection to a quiet exit with code 0. Called
    // again after SDL starts, which puts handlers of its own in place.
    static void installErrorHandlers();

    // Size of an existing window; false when the id names none.
    bool windowSize(XWindowId window, int* width, int* height);

    // An unmapped child of `parent` at (x, y) with the given size, using the visual of the first
    // GLX framebuffer configuration matching what SDL asks for when it makes the GL context
    // (RGB, double-buffered, no alpha or depth), so the context fits the window on every
    // driver. The child and its parent are watched. 0 when the parent is no window.
    XWindowId createChild(XWindowId parent, int x, int y, int width, int height);

    // The monitors as Xinerama reports them, the primary one first (a RandR server lists its
    // primary output first there too); false when the server does not offer Xinerama.
    bool monitors(std::vector<MonitorArea>* areas);

    // Has the server paint the window black wherever it is exposed.
    void paintBlack(XWindowId window);

    // Reports the window's destruction and size changes through poll(); false for no window.
    bool watch(XWindowId window);
    void setMapped(XWindowId window, bool mapped);
    // Destroys a window made by createChild (quietly when it is already gone).
    void destroy(XWindowId window);

    struct Event {
        enum class Type { kDestroyed, kResized };
        Type type = Type::kDestroyed;
        XWindowId window = 0;
        int width = 0;
        int height = 0;
    };
    // Appends what arrived; never blocks.
    void poll(std::vector<Event>* events);
    bool hasPendingEvents();
    // For waiting on the connection with poll(2).
    int fileDescriptor() const;

private:
    struct Connection;
    explicit X11Host(std::unique_ptr<Connection> connection);

    std::unique_ptr<Connection> mConnection;
};

} // namespace halv::platform
