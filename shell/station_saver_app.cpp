#include "shell/station_saver_app.h"

#include "platform/process.h"

#include <new>

namespace halv::shell {

StationSaverApp::StationSaverApp()
    : mScene(new (std::nothrow) SaverScene()) {
    DisplaySettings& settings = mutableSettings();
    settings.fullScreen = true;
    settings.width = 1024;
    settings.height = 768;
}

StationSaverApp::~StationSaverApp() {
    delete mScene;
    mScene = nullptr;
}

int StationSaverApp::initDevice() {
    if (mScene == nullptr) {
        return 1;
    }
    const DisplaySettings& display = settings();
    const HRESULT result =
        mScene->initialise(window(), display.width, display.height, display.fullScreen);
    return FAILED(result) ? 1 : 0;
}

void StationSaverApp::renderFrame() {
    if (mScene != nullptr) {
        mScene->runFrame();
    }
}

void StationSaverApp::onCreate() {
    if (!settings().isPreview) {
        ShowCursor(FALSE);
    }
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_IDLE);
    if (mode() != SaverMode::kPreview) {
        return;
    }
    // Window creation returns only once the half-second timer has fired; meanwhile only this
    // window's messages are handled, and the device starts after that.
    const HWND preview = window();
    mPreviewWaiting = true;
    PostMessageW(preview, kPreviewStartMessage, 0, 0);
    MSG message;
    while (mPreviewWaiting) {
        const BOOL received = GetMessageW(&message, preview, 0, 0);
        if (received == 0) {
            // A quit request: keep it for the main loop.
            PostQuitMessage(0);
            break;
        }
        if (received == -1) {
            // The window vanished during the wait; retrying would never end.
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void StationSaverApp::onPreviewStart() {
    SetTimer(window(), kPreviewTimer, kPreviewDelayMs, nullptr);
}

void StationSaverApp::onTimer() {
    mPreviewWaiting = false;
    KillTimer(window(), kPreviewTimer);
}

void StationSaverApp::onDestroy() {
    if (!settings().isPreview) {
        ShowCursor(TRUE);
    }
    ScreensaverApp::onDestroy();
}

int saverMain(HINSTANCE instance, int showCommand) {
    ScreensaverApp* application = new (std::nothrow) StationSaverApp();
    if (application == nullptr) {
        return 0;
    }
    application->run(instance, showCommand);
    delete application;
    return 0;
}

} // namespace halv::shell
