// The scene's device: the default adapter, full screen at the size asked for or windowed in
// the saver's window, a 16-bit depth buffer and twofold multisampling where the adapter has it.
#pragma once

#include "gfx/device.h"

namespace halv::scene {

// The one adapter on which multisampling is never asked for.
inline constexpr DWORD kNoMultiSampleVendorId = 0x10DE;
inline constexpr DWORD kNoMultiSampleDeviceId = 0x0311;

// Creates the device on `direct3d` (the default adapter, HAL) with `window` as focus window.
// Full screen: width x height in the desktop's format and refresh rate, presented at the
// default interval, hardware vertex processing. Windowed: the window's client size,
// presented immediately, software vertex processing. Two samples when the adapter is not the
// excluded one and CheckDeviceMultiSampleType accepts them. There is no second attempt.
// Returns 0 with *device (one reference) and *multiSampleAllowed written, or E_FAIL.
HRESULT createSceneDevice(IDirect3D9* direct3d, HWND window, int width, int height, bool fullScreen,
                          IDirect3DDevice9** device, bool* multiSampleAllowed) noexcept;

} // namespace halv::scene
