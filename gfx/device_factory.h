// Choosing the renderer behind the Direct3D 9 interface, and short ways to get a device for
// tests and tools.
//
//   ComRef<IDirect3DDevice9> device;
//   ASSERT_EQ(halv::gfx::createNullDevice({}, device.put()), D3D_OK);       // no GL at all
//   halv::gfx::DeviceSetup setup;
//   setup.width = 32; setup.height = 32;
//   HRESULT hr = halv::gfx::createHeadlessDevice(setup, device.put());      // EGL, no window
//
// Code that calls Direct3DCreate9 itself (the scene) is steered with ScopedDirect3DOptions.
#pragma once

#include "gfx/adapter_profile.h"
#include "gfx/device.h"

#include <optional>

namespace halv::gfx {

enum class RendererKind {
    // OpenGL on the device window when CreateDevice names a platform window, headless
    // OpenGL otherwise.
    kAuto,
    // OpenGL on the device window; CreateDevice fails without one.
    kWindow,
    // OpenGL on an EGL surfaceless context; the window, if any, only gives the size.
    kHeadless,
    // No GL: resources, locks and state work, draws are validated and counted.
    kNull,
};

struct Direct3DOptions {
    RendererKind renderer = RendererKind::kAuto;
    // Replaces the capability and format table, the adapter identity and the display mode.
    // Without one, the GL renderers report defaultAdapterProfile() with the GL driver's
    // identity and the desktop's mode, and the null renderer reports defaultAdapterProfile().
    std::optional<AdapterProfile> profile;
    // Devices start with their call log on (gfx/inspection.h).
    bool logCalls = false;
};

// A new adapter object (one reference) that creates devices with the given options.
[[nodiscard]] IDirect3D9* createDirect3D(const Direct3DOptions& options) noexcept;

// The options Direct3DCreate9 uses from now on; returns the previous ones. Process-wide.
Direct3DOptions installDirect3DOptions(Direct3DOptions options);

// Installs options for its lifetime and restores the previous ones.
class ScopedDirect3DOptions {
public:
    explicit ScopedDirect3DOptions(Direct3DOptions options);
    ~ScopedDirect3DOptions();
    ScopedDirect3DOptions(const ScopedDirect3DOptions&) = delete;
    ScopedDirect3DOptions& operator=(const ScopedDirect3DOptions&) = delete;

private:
    Direct3DOptions mPrevious;
};

// What createNullDevice and createHeadlessDevice put into the presentation parameters and
// the adapter options: a windowed device with a back buffer of width x height.
struct DeviceSetup {
    UINT width = 64;
    UINT height = 64;
    D3DFORMAT backBufferFormat = D3DFMT_X8R8G8B8;
    // A D3DFMT_D16 depth buffer.
    bool depthBuffer = true;
    D3DMULTISAMPLE_TYPE multiSample = D3DMULTISAMPLE_NONE;
    DWORD behaviorFlags = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    bool logCalls = false;
    std::optional<AdapterProfile> profile;
};

// A device on the null renderer; the result of CreateDevice (D3D_OK or D3DERR_INVALIDCALL).
// *device is written only on success and holds one reference.
HRESULT createNullDevice(const DeviceSetup& setup, IDirect3DDevice9** device) noexcept;

// A device on the headless GL renderer. D3DERR_NOTAVAILABLE when no EGL display or
// OpenGL 3.3 core context can be had (tests skip then).
HRESULT createHeadlessDevice(const DeviceSetup& setup, IDirect3DDevice9** device) noexcept;

} // namespace halv::gfx
