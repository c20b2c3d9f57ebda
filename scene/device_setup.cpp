#include "scene/device_setup.h"

#include "base/debug_output.h"

#include <cstdio>

namespace halv::scene {

HRESULT createSceneDevice(IDirect3D9* direct3d, HWND window, int width, int height, bool fullScreen,
                          IDirect3DDevice9** device, bool* multiSampleAllowed) noexcept {
    if (direct3d == nullptr || device == nullptr || multiSampleAllowed == nullptr) {
        return E_FAIL;
    }
    D3DDISPLAYMODE mode{};
    if (FAILED(direct3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode))) {
        return E_FAIL;
    }

    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferFormat = mode.Format;
    parameters.BackBufferCount = 0;
    parameters.MultiSampleType = D3DMULTISAMPLE_NONE;
    parameters.MultiSampleQuality = 0;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.hDeviceWindow = nullptr;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    parameters.Flags = 0;

    // A failed query leaves the identifier zeroed, which allows multisampling.
    D3DADAPTER_IDENTIFIER9 identifier{};
    direct3d->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier);
    const bool allowed = !(identifier.VendorId == kNoMultiSampleVendorId &&
                           identifier.DeviceId == kNoMultiSampleDeviceId);
    if (allowed && SUCCEEDED(direct3d->CheckDeviceMultiSampleType(
                       D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, mode.Format, fullScreen ? FALSE : TRUE,
                       D3DMULTISAMPLE_2_SAMPLES, nullptr))) {
        parameters.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
    }

    DWORD behavior = 0;
    if (fullScreen) {
        parameters.BackBufferWidth = static_cast<UINT>(width);
        parameters.BackBufferHeight = static_cast<UINT>(height);
        parameters.Windowed = FALSE;
        parameters.FullScreen_RefreshRateInHz = mode.RefreshRate;
        parameters.PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
        behavior = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    } else {
        // Zero sizes: the back buffer takes the window's client area.
        parameters.BackBufferWidth = 0;
        parameters.BackBufferHeight = 0;
        parameters.Windowed = TRUE;
        parameters.FullScreen_RefreshRateInHz = 0;
        parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        behavior = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    }

    IDirect3DDevice9* created = nullptr;
    const HRESULT result = direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window,
                                                  behavior, &parameters, &created);
    if (FAILED(result) || created == nullptr) {
        // The saver ends quietly without a device; the debug channel says why.
        char text[64];
        std::snprintf(text, sizeof(text), "halvorine: CreateDevice failed (0x%08X)\n",
                      static_cast<unsigned>(result));
        OutputDebugStringA(text);
        return E_FAIL;
    }
    *device = created;
    *multiSampleAllowed = allowed;
    return S_OK;
}

} // namespace halv::scene
