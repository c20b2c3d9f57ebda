#include "platform/fake_window_system.h"

#include "base/timing.h"

namespace halv::platform {
namespace {

// Fake handles live far above X window ids (at most 32 bits) so both can name windows.
constexpr std::uintptr_t kFirstFakeHandle = std::uintptr_t{0x7FAC0000} << 32;

} // namespace

bool FakeWindowSystem::screenSize(int* width, int* height) {
    if (!mDisplay || mMonitors.empty()) {
        return false;
    }
    *width = mMonitors.front().width;
    *height = mMonitors.front().height;
    return true;
}

bool FakeWindowSystem::monitors(std::vector<MonitorArea>* areas) {
    if (!mDisplay || mMonitors.empty()) {
        return false;
    }
    *areas = mMonitors;
    return true;
}

void FakeWindowSystem::setScreenSize(int width, int height) {
    mMonitors = {MonitorArea{0, 0, width, height}};
}

void FakeWindowSystem::watchForExit(HWND window, const ExitTriggers& triggers) {
    const auto found = mWindows.find(window);
    if (found != mWindows.end()) {
        found->second.exitTriggers = triggers;
    }
}

HWND FakeWindowSystem::createWindow(const NativeWindowRequest& request) {
    if (!mDisplay) {
        return nullptr;
    }
    if (request.kind == NativeWindowKind::kChild && mForeign.count(request.parent) == 0) {
        return nullptr;
    }
    mNextHandle += 16;
    HWND handle = reinterpret_cast<HWND>(kFirstFakeHandle + mNextHandle);
    Window record;
    record.request = request;
    record.width = request.width;
    record.height = request.height;
    mWindows[handle] = record;
    mOrder.push_back(handle);
    return handle;
}

void FakeWindowSystem::showWindow(HWND window, bool visible) {
    const auto found = mWindows.find(window);
    if (found != mWindows.end()) {
        found->second.visible = visible;
    }
}

void FakeWindowSystem::retireWindow(HWND window) {
    const auto found = mWindows.find(window);
    if (found != mWindows.end()) {
        found->second.visible = false;
        found->second.retired = true;
    }
}

bool FakeWindowSystem::clientSize(HWND window, int* width, int* height) {
    const auto found = mWindows.find(window);
    if (found == mWindows.end()) {
        return false;
    }
    *width = found->second.width;
    *height = found->second.height;
    return true;
}

bool FakeWindowSystem::foreignClientSize(HWND window, int* width, int* height) {
    const auto found = mForeign.find(window);
    if (found == mForeign.end()) {
        return false;
    }
    *width = found->second.first;
    *height = found->second.second;
    return true;
}

void FakeWindowSystem::addForeignWindow(HWND window, int width, int height) {
    mForeign[window] = {width, height};
}

void FakeWindowSystem::removeForeignWindow(HWND window) {
    mForeign.erase(window);
    for (const auto& [handle, record] : mWindows) {
        if (record.request.kind == NativeWindowKind::kChild && record.request.parent == window &&
            !record.retired) {
            NativeEvent event;
            event.type = NativeEvent::Type::kDestroyed;
            event.window = handle;
            mPending.push_back(event);
        }
    }
}

void FakeWindowSystem::destroyFromOutside(HWND window) {
    NativeEvent event;
    event.type = NativeEvent::Type::kDestroyed;
    event.window = window;
    mPending.push_back(event);
}

void FakeWindowSystem::pollEvents(std::vector<NativeEvent>* events) {
    ++mPolls;
    if (mPollHook) {
        mPollHook();
    }
    events->insert(events->end(), mPending.begin(), mPending.end());
    mPending.clear();
}

void FakeWindowSystem::waitForEvents(DWORD milliseconds) {
    ++mWaits;
    Sleep(milliseconds);
}

const FakeWindowSystem::Window* FakeWindowSystem::window(HWND window) const {
    const auto found = mWindows.find(window);
    return found == mWindows.end() ? nullptr : &found->second;
}

} // namespace halv::platform
