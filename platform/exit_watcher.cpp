#include "platform/exit_watcher.h"

#include "platform/process.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace halv::platform {

void ExitRules::watch(XWindowId window, const ExitTriggers& triggers, bool hide) {
    const auto found = mWindows.find(window);
    const int order =
        found != mWindows.end() ? found->second.order : static_cast<int>(mWindows.size());
    mWindows[window] = Watched{triggers, hide, order};
}

const ExitRules::Watched* ExitRules::find(XWindowId window) const {
    const auto found = mWindows.find(window);
    return found == mWindows.end() ? nullptr : &found->second;
}

bool ExitRules::keyPressed(XWindowId window) const {
    const Watched* watched = find(window);
    return watched != nullptr && watched->triggers.keyPress;
}

bool ExitRules::pointerMoved(XWindowId window, int x, int y) {
    const Watched* watched = find(window);
    if (watched == nullptr || watched->triggers.motionChanges <= 0) {
        return false;
    }
    if (x == mLastX && y == mLastY) {
        return false;
    }
    mLastX = x;
    mLastY = y;
    ++mChanges;
    return mChanges >= watched->triggers.motionChanges;
}

bool ExitRules::destroyed(XWindowId window) const {
    const Watched* watched = find(window);
    return watched != nullptr && watched->triggers.destroyed;
}

std::vector<XWindowId> ExitRules::windowsWatchingMotion() const {
    std::vector<XWindowId> windows;
    for (const auto& [window, watched] : mWindows) {
        if (watched.triggers.motionChanges > 0) {
            windows.push_back(window);
        }
    }
    return windows;
}

std::vector<XWindowId> ExitRules::windowsToHide() const {
    std::vector<std::pair<int, XWindowId>> ordered;
    for (const auto& [window, watched] : mWindows) {
        if (watched.hide) {
            ordered.emplace_back(watched.order, window);
        }
    }
    std::sort(ordered.begin(), ordered.end());
    std::vector<XWindowId> windows;
    for (const auto& entry : ordered) {
        windows.push_back(entry.second);
    }
    return windows;
}

namespace {

// What the saver process tells the watcher: one record per write(2), well under PIPE_BUF, so
// each arrives whole and no lock is needed.
struct Command {
    bool keyPress = false;
    bool destroyed = false;
    bool hide = false;
    std::int32_t motionChanges = 0;
    std::uint64_t window = 0;
};
static_assert(sizeof(Command) <= PIPE_BUF);

// How long the watcher waits for a killed saver to die before it ends without it.
constexpr std::chrono::milliseconds kDyingWait{100};

// How often the watcher samples the pointer over windows that movement ends the saver on.
constexpr int kPointerSampleMs = 50;

// Process-wide: the saver's end of the command pipe; -1 where no watcher runs.
int gCommandPipe = -1;

// The watching process: the one the caller started (XScreenSaver, a terminal), which outlives
// the saver in its child only as long as the child takes to end.
class Watcher {
public:
    Watcher(std::chrono::milliseconds grace, pid_t saver, int commands)
        : mGrace(grace)
        , mSaver(saver)
        , mCommands(commands) {}

    [[noreturn]] void run() {
        for (;;) {
            pollfd descriptors[3] = {
                {mCommands, POLLIN, 0},
                {terminationSignalDescriptor(), POLLIN, 0},
                {mDisplay != nullptr ? ConnectionNumber(mDisplay) : -1, POLLIN, 0}};
            int timeoutMs = -1;
            if (mDeadline) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    *mDeadline - Clock::now());
                if (left.count() <= 0) {
                    abandon();
                }
                timeoutMs = static_cast<int>(left.count()) + 1;
            } else if (mDisplay != nullptr && !mRules.windowsWatchingMotion().empty()) {
                timeoutMs = kPointerSampleMs;
            }
            if (::poll(descriptors, 3, timeoutMs) < 0 && errno != EINTR) {
                finish();
            }
            if ((descriptors[1].revents & POLLIN) != 0) {
                char drained[64];
                while (read(descriptors[1].fd, drained, sizeof(drained)) > 0) {
                }
                end();
            }
            if ((descriptors[0].revents & POLLIN) != 0) {
                readCommands();
            } else if ((descriptors[0].revents & (POLLHUP | POLLERR)) != 0) {
                // Every write end is closed: the saver has ended.
                finish();
            }
            readEvents();
            samplePointer();
        }
    }

private:
    using Clock = std::chrono::steady_clock;

    void readCommands() {
        Command command;
        ssize_t size = 0;
        while ((size = read(mCommands, &command, sizeof(command))) == sizeof(command)) {
            watch(command);
        }
        if (size == 0) {
            finish();
        }
    }

    void watch(const Command& command) {
        if (mDisplay == nullptr) {
            mDisplay = XOpenDisplay(nullptr);
            if (mDisplay == nullptr) {
                return;
            }
            // A window gone before the watch began must not end this process (Xlib's default
            // handler would); a lost connection ends the saver as in the saver itself.
            X11Host::installErrorHandlers();
        }
        ExitTriggers triggers;
        triggers.keyPress = command.keyPress;
        triggers.motionChanges = command.motionChanges;
        triggers.destroyed = command.destroyed;
        long mask = 0;
        if (triggers.keyPress) {
            mask |= KeyPressMask;
        }
        if (triggers.motionChanges > 0) {
            mask |= PointerMotionMask;
        }
        if (triggers.destroyed) {
            mask |= StructureNotifyMask;
        }
        // Selections of different clients add up; none of these masks is exclusive (button
        // presses would be, and stay with the saver's connection).
        XSelectInput(mDisplay, static_cast<Window>(command.window), mask);
        XFlush(mDisplay);
        mRules.watch(command.window, triggers, command.hide);
    }

    void readEvents() {
        if (mDisplay == nullptr) {
            return;
        }
        while (XPending(mDisplay) > 0) {
            XEvent event;
            XNextEvent(mDisplay, &event);
            bool ends = false;
            switch (event.type) {
            case KeyPress:
                ends = mRules.keyPressed(event.xkey.window);
                break;
            case MotionNotify:
                ends = mRules.pointerMoved(event.xmotion.window, event.xmotion.x, event.xmotion.y);
                break;
            case DestroyNotify:
                ends = mRules.destroyed(event.xdestroywindow.window);
                break;
            default:
                break;
            }
            if (ends) {
                end();
            }
        }
    }

    // Pointer movement comes as events only where no other client takes it in another form:
    // SDL selects the X input extension's motion events on its windows, which the server then
    // delivers instead of the core ones. So the pointer is sampled: a position that differs
    // from the last sample over a watched window counts as a change.
    void samplePointer() {
        if (mDisplay == nullptr || mDeadline) {
            return;
        }
        for (XWindowId watched : mRules.windowsWatchingMotion()) {
            const auto window = static_cast<Window>(watched);
            XWindowAttributes attributes;
            if (XGetWindowAttributes(mDisplay, window, &attributes) == 0 ||
                attributes.map_state != IsViewable) {
                continue;
            }
            Window root = 0;
            Window child = 0;
            int rootX = 0;
            int rootY = 0;
            int x = 0;
            int y = 0;
            unsigned int buttons = 0;
            if (XQueryPointer(mDisplay, window, &root, &child, &rootX, &rootY, &x, &y, &buttons) ==
                    False ||
                x < 0 || y < 0 || x >= attributes.width || y >= attributes.height) {
                continue;
            }
            const bool moved = mSampled && (rootX != mSampleX || rootY != mSampleY);
            mSampled = true;
            mSampleX = rootX;
            mSampleY = rootY;
            if (moved && mRules.pointerMoved(watched, x, y)) {
                end();
            }
            return;
        }
    }

    // Takes the windows off the screen now and asks the saver for its orderly end (its
    // handler of SIGTERM), which has the grace period to finish.
    void end() {
        if (mDeadline) {
            return;
        }
        mDeadline = Clock::now() + mGrace;
        if (mDisplay != nullptr) {
            for (XWindowId window : mRules.windowsToHide()) {
                XUnmapWindow(mDisplay, static_cast<Window>(window));
            }
            XFlush(mDisplay);
        }
        kill(mSaver, SIGTERM);
    }

    // The saver did not get through its teardown in time, most likely because other work starves
    // it (or it shows the configure box, which takes no signal). Its windows are off the screen
    // already; whoever waits for this process need not wait long for the saver to be scheduled
    // again: a short while, in which an idle machine lets it die and take what it still shows
    // along.
    [[noreturn]] void abandon() {
        // The whole group: SDL shows a message box in a process of its own.
        kill(-mSaver, SIGKILL);
        const Clock::time_point giveUp = Clock::now() + kDyingWait;
        while (waitpid(mSaver, nullptr, WNOHANG) == 0 && Clock::now() < giveUp) {
            poll(nullptr, 0, 5);
        }
        std::_Exit(0);
    }

    // The saver has ended: this process ends as it did.
    [[noreturn]] void finish() {
        int status = 0;
        while (waitpid(mSaver, &status, 0) < 0) {
            if (errno != EINTR) {
                std::_Exit(0);
            }
        }
        if (WIFSIGNALED(status)) {
            // A crash stays visible to whoever started the saver.
            std::signal(WTERMSIG(status), SIG_DFL);
            raise(WTERMSIG(status));
        }
        std::_Exit(WIFEXITED(status) ? WEXITSTATUS(status) : 0);
    }

    const std::chrono::milliseconds mGrace;
    const pid_t mSaver;
    const int mCommands;
    Display* mDisplay = nullptr;
    ExitRules mRules;
    std::optional<Clock::time_point> mDeadline;
    bool mSampled = false;
    int mSampleX = 0;
    int mSampleY = 0;
};

} // namespace

void startExitWatcher(std::chrono::milliseconds grace) {
    if (gCommandPipe >= 0) {
        return;
    }
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
        return;
    }
    const pid_t parent = getpid();
    const pid_t saver = fork();
    if (saver < 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return;
    }
    // The saver leads a process group of its own, so that what it starts (SDL's message box
    // process) can be ended with it. Both sides set it, whichever runs first.
    if (saver > 0) {
        setpgid(saver, saver);
        close(pipeEnds[1]);
        fcntl(pipeEnds[0], F_SETFL, O_NONBLOCK);
        Watcher(grace, saver, pipeEnds[0]).run();
    }
    setpgid(0, 0);
    close(pipeEnds[0]);
    // The saver must not outlive its watcher (killed by SIGKILL, say).
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
        std::_Exit(0);
    }
    gCommandPipe = pipeEnds[1];
    // The window thread must never wait for the watcher: a full pipe drops the record instead.
    fcntl(gCommandPipe, F_SETFL, O_NONBLOCK);
}

void watchWindowForExit(XWindowId window, const ExitTriggers& triggers, bool hide) {
    if (gCommandPipe < 0 || window == 0) {
        return;
    }
    Command command;
    command.keyPress = triggers.keyPress;
    command.destroyed = triggers.destroyed;
    command.hide = hide;
    command.motionChanges = triggers.motionChanges;
    command.window = window;
    [[maybe_unused]] const ssize_t written = write(gCommandPipe, &command, sizeof(command));
}

bool exitWatcherRunning() {
    return gCommandPipe >= 0;
}

} // namespace halv::platform
