#include "platform/x11_host.h"

#include "base/debug_output.h"
#include "base/environment.h"
#include "platform/process.h"

#include <GL/glx.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xinerama.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace halv::platform {
namespace {

// Process-wide: the layer's own display (errors on it are checked), and the last error seen on
// it since the check began. Xlib has one error handler for all connections.
Display* gCheckedDisplay = nullptr;
int gLastError = 0;

int onXError(Display* display, XErrorEvent* error) {
    if (display == gCheckedDisplay) {
        gLastError = error->error_code;
        return 0;
    }
    // Errors on SDL's connection: a window another program destroyed under us. Not fatal.
    char text[160];
    std::snprintf(text, sizeof(text), "X error %d (request %d) on window 0x%lx\n",
                  error->error_code, error->request_code, error->resourceid);
    OutputDebugStringA(text);
    return 0;
}

int onXIoError(Display* /*display*/) {
    // The display went away (the server ended): nothing is left to draw on, and the saver ends
    // with code 0 like every other way out.
    std::_Exit(0);
}

// Runs `request` and tells whether the server refused it.
template <typename Request>
bool succeeds(Display* display, Request request) {
    XSync(display, False);
    gLastError = 0;
    request();
    XSync(display, False);
    return gLastError == 0;
}

Window toWindow(XWindowId id) {
    return static_cast<Window>(id);
}

} // namespace

std::optional<XWindowId> parseWindowId(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        base = 16;
    }
    XWindowId value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > 0xFFFFFFFFu) {
        return std::nullopt;
    }
    return value;
}

std::optional<XWindowId> saverHostWindowId() {
    const std::vector<std::string>& arguments = processArguments();
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (arguments[i] == "--window-id" || arguments[i] == "-window-id") {
            return parseWindowId(arguments[i + 1]);
        }
    }
    if (const std::optional<std::string> value =
            base::getEnvironmentVariable("XSCREENSAVER_WINDOW")) {
        return parseWindowId(*value);
    }
    return std::nullopt;
}

struct X11Host::Connection {
    Display* display = nullptr;
    // Colormaps of the children made here, freed with them.
    std::map<XWindowId, Colormap> colormaps;
};

X11Host::X11Host(std::unique_ptr<Connection> connection)
    : mConnection(std::move(connection)) {}

std::unique_ptr<X11Host> X11Host::open() {
    installErrorHandlers();
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return nullptr;
    }
    gCheckedDisplay = display;
    auto connection = std::make_unique<Connection>();
    connection->display = display;
    return std::unique_ptr<X11Host>(new X11Host(std::move(connection)));
}

X11Host::~X11Host() {
    Display* display = mConnection->display;
    for (const auto& [window, colormap] : mConnection->colormaps) {
        XFreeColormap(display, colormap);
    }
    if (gCheckedDisplay == display) {
        gCheckedDisplay = nullptr;
    }
    XCloseDisplay(display);
}

void X11Host::installErrorHandlers() {
    XSetErrorHandler(onXError);
    XSetIOErrorHandler(onXIoError);
}

bool X11Host::windowSize(XWindowId window, int* width, int* height) {
    if (window == 0) {
        return false;
    }
    XWindowAttributes attributes = {};
    Status status = 0;
    const bool ok = succeeds(mConnection->display, [&] {
        status = XGetWindowAttributes(mConnection->display, toWindow(window), &attributes);
    });
    if (!ok || status == 0) {
        return false;
    }
    *width = attributes.width;
    *height = attributes.height;
    return true;
}

XWindowId X11Host::createChild(XWindowId parent, int x, int y, int width, int height) {
    Display* display = mConnection->display;
    XWindowAttributes parentAttributes = {};
    Status status = 0;
    if (parent == 0 ||
        !succeeds(
            display,
            [&] { status = XGetWindowAttributes(display, toWindow(parent), &parentAttributes); }) ||
        status == 0) {
        return 0;
    }
    const int screen = XScreenNumberOfScreen(parentAttributes.screen);

    // What SDL passes to glXChooseFBConfig for the context: its default colour sizes, double
    // buffering, and the depth size 0 the device asks for (it renders into its own buffers).
    const int attributes[] = {GLX_RENDER_TYPE,
                              GLX_RGBA_BIT,
                              GLX_RED_SIZE,
                              3,
                              GLX_GREEN_SIZE,
                              3,
                              GLX_BLUE_SIZE,
                              2,
                              GLX_DOUBLEBUFFER,
                              True,
                              GLX_DEPTH_SIZE,
                              0,
                              None};
    XVisualInfo* visualInfo = nullptr;
    int count = 0;
    GLXFBConfig* configs = glXChooseFBConfig(display, screen, attributes, &count);
    for (int i = 0; configs != nullptr && i < count && visualInfo == nullptr; ++i) {
        visualInfo = glXGetVisualFromFBConfig(display, configs[i]);
    }
    if (configs != nullptr) {
        XFree(configs);
    }

    XSetWindowAttributes windowAttributes = {};
    windowAttributes.background_pixmap = None;
    windowAttributes.border_pixel = 0;
    windowAttributes.event_mask = StructureNotifyMask;
    unsigned long mask = CWBackPixmap | CWBorderPixel | CWEventMask;
    Visual* visual = CopyFromParent;
    int depth = CopyFromParent;
    Colormap colormap = 0;
    if (visualInfo != nullptr) {
        // Without GLX the window still comes (with the parent's visual); the device then fails
        // to start and the saver ends quietly.
        colormap =
            XCreateColormap(display, RootWindow(display, screen), visualInfo->visual, AllocNone);
        windowAttributes.colormap = colormap;
        mask |= CWColormap;
        visual = visualInfo->visual;
        depth = visualInfo->depth;
        XFree(visualInfo);
    }
    Window child = 0;
    const bool created = succeeds(display, [&] {
        child = XCreateWindow(display, toWindow(parent), x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), 0, depth, InputOutput, visual, mask,
                              &windowAttributes);
        XSelectInput(display, toWindow(parent), StructureNotifyMask);
    });
    if (!created || child == 0) {
        if (child != 0) {
            succeeds(display, [&] { XDestroyWindow(display, child); });
        }
        if (colormap != 0) {
            XFreeColormap(display, colormap);
        }
        return 0;
    }
    if (colormap != 0) {
        mConnection->colormaps[child] = colormap;
    }
    return child;
}

bool X11Host::monitors(std::vector<MonitorArea>* areas) {
    Display* display = mConnection->display;
    int eventBase = 0;
    int errorBase = 0;
    if (XineramaQueryExtension(display, &eventBase, &errorBase) == False ||
        XineramaIsActive(display) == False) {
        return false;
    }
    int count = 0;
    XineramaScreenInfo* screens = XineramaQueryScreens(display, &count);
    if (screens == nullptr) {
        return false;
    }
    areas->clear();
    for (int i = 0; i < count; ++i) {
        areas->push_back(
            MonitorArea{screens[i].x_org, screens[i].y_org, screens[i].width, screens[i].height});
    }
    XFree(screens);
    return !areas->empty();
}

void X11Host::paintBlack(XWindowId window) {
    Display* display = mConnection->display;
    succeeds(display, [&] {
        XSetWindowBackground(display, toWindow(window),
                             BlackPixel(display, DefaultScreen(display)));
        XClearWindow(display, toWindow(window));
    });
}

bool X11Host::watch(XWindowId window) {
    Display* display = mConnection->display;
    return succeeds(display, [&] { XSelectInput(display, toWindow(window), StructureNotifyMask); });
}

void X11Host::setMapped(XWindowId window, bool mapped) {
    Display* display = mConnection->display;
    if (mapped) {
        XMapWindow(display, toWindow(window));
    } else {
        XUnmapWindow(display, toWindow(window));
    }
    XFlush(display);
}

void X11Host::destroy(XWindowId window) {
    Display* display = mConnection->display;
    succeeds(display, [&] { XDestroyWindow(display, toWindow(window)); });
    const auto colormap = mConnection->colormaps.find(window);
    if (colormap != mConnection->colormaps.end()) {
        XFreeColormap(display, colormap->second);
        mConnection->colormaps.erase(colormap);
    }
}

void X11Host::poll(std::vector<Event>* events) {
    Display* display = mConnection->display;
    while (XPending(display) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == DestroyNotify) {
            events->push_back(Event{Event::Type::kDestroyed, event.xdestroywindow.window, 0, 0});
        } else if (event.type == ConfigureNotify) {
            events->push_back(Event{Event::Type::kResized, event.xconfigure.window,
                                    event.xconfigure.width, event.xconfigure.height});
        }
    }
}

bool X11Host::hasPendingEvents() {
    return XPending(mConnection->display) > 0;
}

int X11Host::fileDescriptor() const {
    return ConnectionNumber(mConnection->display);
}

} // namespace halv::platform
