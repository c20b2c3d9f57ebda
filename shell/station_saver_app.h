// The Halvorine saver: the shell with its hooks filled. It owns the scene, creates the device on
// the saver's window, draws a frame whenever the queue is empty, hides the cursor, runs at idle
// priority and holds the preview back for half a second.
#pragma once

#include "scene/station_scene.h"
#include "shell/screensaver_app.h"

namespace halv::shell {

// The scene the saver plays. What the shell needs of it: a constructor without arguments,
// initialise(HWND, int width, int height, bool fullScreen) -> HRESULT (negative on failure),
// runFrame() -> HRESULT (ignored), and a virtual destructor.
using SaverScene = scene::StationScene;

// The preview's start delay timer.
inline constexpr UINT_PTR kPreviewTimer = 1;
inline constexpr UINT kPreviewDelayMs = 500;

class StationSaverApp : public ScreensaverApp {
public:
    // Creates the scene at once (before the command line is read) and sets the display
    // settings to full screen at 1024 x 768.
    StationSaverApp();
    // Destroys the scene first.
    ~StationSaverApp() override;

    int initDevice() override;
    void renderFrame() override;
    void onCreate() override;
    void onPreviewStart() override;
    void onTimer() override;
    void onDestroy() override;

    // Null only when it could not be allocated.
    SaverScene* scene() const { return mScene; }
    bool previewWaiting() const { return mPreviewWaiting; }

private:
    SaverScene* mScene = nullptr;
    bool mPreviewWaiting = false;
};

// The program: one StationSaverApp, run with the module instance and show command, destroyed
// through its virtual destructor. Returns 0 in every case.
int saverMain(HINSTANCE instance, int showCommand);

} // namespace halv::shell
