// The adapter object: answers the adapter queries from its profile and creates devices with
// the renderer its options choose.
#pragma once

#include "base/com.h"
#include "gfx/device_factory.h"

namespace halv::gfx::detail {

class Direct3D final : public base::ComObject<Direct3D, IDirect3D9, IID_IDirect3D9> {
public:
    explicit Direct3D(Direct3DOptions options);

    HRESULT RegisterSoftwareDevice(void* initializeFunction) noexcept override;
    UINT GetAdapterCount() noexcept override;
    HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags,
                                 D3DADAPTER_IDENTIFIER9* identifier) noexcept override;
    UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) noexcept override;
    HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode,
                             D3DDISPLAYMODE* displayMode) noexcept override;
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* displayMode) noexcept override;
    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                            D3DFORMAT backBufferFormat, BOOL windowed) noexcept override;
    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                              DWORD usage, D3DRESOURCETYPE resourceType,
                              D3DFORMAT checkFormat) noexcept override;
    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT surfaceFormat,
                                       BOOL windowed, D3DMULTISAMPLE_TYPE multiSampleType,
                                       DWORD* qualityLevels) noexcept override;
    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                   D3DFORMAT renderTargetFormat,
                                   D3DFORMAT depthStencilFormat) noexcept override;
    HRESULT CheckDeviceFormatConversion(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT sourceFormat,
                                        D3DFORMAT targetFormat) noexcept override;
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) noexcept override;
    HMONITOR GetAdapterMonitor(UINT adapter) noexcept override;
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* presentationParameters,
                         IDirect3DDevice9** returnedDeviceInterface) noexcept override;

    // The profile with the identity and display mode filled in (done once, on first use).
    const AdapterProfile& profile() noexcept;
    RendererKind renderer() const noexcept { return mOptions.renderer; }
    bool logCalls() const noexcept { return mOptions.logCalls; }

    // The answer CheckDeviceFormat gives, for the device's own checks.
    HRESULT formatSupport(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) noexcept;
    D3DDISPLAYMODE displayMode() noexcept;

private:
    // D3D_OK, or the code for a bad adapter number or device type.
    static HRESULT checkAdapter(UINT adapter, D3DDEVTYPE deviceType) noexcept;

    Direct3DOptions mOptions;
    AdapterProfile mProfile;
    bool mProfileReady = false;
    // The profile describes the GL driver, which answers sample counts itself.
    bool mDriverProfile = false;
};

bool isDisplayFormat(D3DFORMAT format) noexcept;
bool isBackBufferFormat(D3DFORMAT format) noexcept;

} // namespace halv::gfx::detail
