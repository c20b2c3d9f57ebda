// Stands in for the station show until the scene exists: it creates the device on the saver's
// window as the show will (full screen at the given size, or windowed in the client area) and
// clears every frame to the show's dark blue. It has the interface the shell expects of the
// scene, so replacing it is a change of one type.
#pragma once

#include "gfx/device.h"
#include "platform/win_types.h"

namespace halv::shell {

// The show's clear colour: red 0, green 0, blue 100.
inline constexpr D3DCOLOR kStandInClearColour = 0xFF000064;

class StandInScene {
public:
    StandInScene() = default;
    virtual ~StandInScene();
    StandInScene(const StandInScene&) = delete;
    StandInScene& operator=(const StandInScene&) = delete;

    // Creates the device. 0 on success, E_FAIL when Direct3D or the device cannot be had.
    // Called once.
    HRESULT initialise(HWND window, int width, int height, bool fullScreen);
    // Clears to kStandInClearColour and presents, at most 120 times a second (the show's cap).
    // Returns the result of Present; D3DERR_INVALIDCALL before initialise succeeded.
    HRESULT runFrame();

    // Null until initialise succeeds.
    IDirect3DDevice9* device() const { return mDevice; }

private:
    IDirect3D9* mDirect3D = nullptr;
    IDirect3DDevice9* mDevice = nullptr;
    LONGLONG mLastFrameTicks = 0;
};

} // namespace halv::shell
