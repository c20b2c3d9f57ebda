// The show's timeline (cycle time, frame limiter, show flags, shot order) and its cameras.
#include "base/timing.h"
#include "scene/detail/show_clocks.h"
#include "scene/frame_timer.h"
#include "scene/station_scene.h"

namespace halv::scene {
namespace {

// The frame limiter's shortest frame.
constexpr double kMinFrameSeconds = 1.0 / 120.0;
constexpr int kShotCount = 3;

struct Shot {
    D3DXVECTOR3 eye;
    D3DXVECTOR3 target;
    PlanetLook planetLook;
};

const Shot kShots[kShotCount] = {
    {{0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}, PlanetLook::kContinents},
    {{16.041f, 5.598f, 41.914f}, {15.289f, 5.293f, 41.316f}, PlanetLook::kBurning},
    {{-0.945f, -6.011f, 4.448f}, {-0.911f, -5.489f, 5.3f}, PlanetLook::kViolet},
};

} // namespace

void StationScene::updateTimeline() {
    detail::ShowClocks& clocks = detail::showClocks();
    const DWORD nowMs = timeGetTime();
    if (!clocks.timelineStarted) {
        clocks.timelineStarted = true;
        clocks.cycleStartMs = nowMs;
        clocks.lastFrameMs = nowMs;
    }
    const auto e = static_cast<float>(detail::elapsedSeconds(nowMs, clocks.cycleStartMs));

    // Sleeping in whole milliseconds keeps the processor free; the first frame waits a full
    // interval since the last frame counts from now.
    DWORD frameMs = timeGetTime();
    while (detail::elapsedSeconds(frameMs, clocks.lastFrameMs) < kMinFrameSeconds) {
        Sleep(1);
        frameMs = timeGetTime();
    }
    clocks.lastFrameMs = frameMs;

    // Later rules may undo earlier ones within the frame.
    ShowFlags& flags = mShow.flags;
    const float fire = mShow.fireTime;
    if (e > -0.1f && !flags.particlesActive) {
        flags.particleReset = true;
        flags.planetVisible = true;
    }
    if (e >= fire && !flags.particlesActive) {
        flags.coneVisible = true;
    }
    if (e >= fire + 0.5f && !flags.particlesActive) {
        flags.beamVisible = true;
    }
    if (e >= fire + 0.8f) {
        flags.explosionVisible = true;
    }
    if (e >= fire + 1.0f) {
        flags.particleReset = true;
        flags.particlesActive = true;
    }
    if (e >= fire + 1.1f) {
        flags.particleReset = false;
    }
    if (e >= fire + 1.5f) {
        flags.coneVisible = false;
        flags.beamVisible = false;
        flags.planetVisible = false;
    }
    if (e >= fire + 2.0f) {
        flags.explosionVisible = false;
    }

    if (e >= mShow.cycleLength) {
        mShow.shotIndex = mShow.shotIndex + 1 > 2 ? 0 : mShow.shotIndex + 1;
        clocks.cycleStartMs = timeGetTime();
    }
}

void StationScene::updateCamera() {
    mShow.absoluteTime = shell::FrameTimer(shell::FrameTimerCommand::AbsoluteTime);
    D3DXMatrixIdentity(&mWorld);
    mDevice->SetTransform(D3DTS_WORLD, &mWorld);

    // An index outside the three shots (only a caller's mistake) keeps the last view.
    if (mShow.shotIndex >= 0 && mShow.shotIndex < kShotCount) {
        const Shot& shot = kShots[mShow.shotIndex];
        mEye = shot.eye;
        mTarget = shot.target;
        mShow.planetLook = shot.planetLook;
    }
    const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    D3DXMatrixLookAtLH(&mView, &mEye, &mTarget, &up);
    mDevice->SetTransform(D3DTS_VIEW, &mView);
}

void StationScene::setupCamera() {
    mEye = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    mTarget = D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    D3DXMatrixPerspectiveFovLH(&mProjection, mFieldOfView, mAspect, mNearPlane, mFarPlane);
    mDevice->SetTransform(D3DTS_PROJECTION, &mProjection);
    // Bold 15-pixel Arial. The show runs without it when no face can be had.
    D3DXCreateFontW(mDevice.get(), 15, 0, 700, 1, FALSE, DEFAULT_CHARSET, 0, 0, 0, u"Arial",
                    mFont.put());
}

} // namespace halv::scene
