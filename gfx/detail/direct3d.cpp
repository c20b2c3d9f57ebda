#include "gfx/detail/direct3d.h"

#include "base/allocation_guard.h"
#include "gfx/detail/device.h"
#include "gfx/detail/format_info.h"
#include "gfx/detail/gl_backend.h"

#include <new>
#include <utility>

namespace halv::gfx::detail {
namespace {

// Usage bits that say nothing about a format's support.
constexpr DWORD kUsageIgnoredForFormats = D3DUSAGE_WRITEONLY | D3DUSAGE_SOFTWAREPROCESSING |
                                          D3DUSAGE_DONOTCLIP | D3DUSAGE_POINTS |
                                          D3DUSAGE_RTPATCHES | D3DUSAGE_NPATCHES;

bool isBackBufferColor(D3DFORMAT format) {
    // The renderer draws into 8-bit RGBA; the alpha channel is kept or ignored.
    return format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8;
}

} // namespace

bool isDisplayFormat(D3DFORMAT format) noexcept {
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_R5G6B5 || format == D3DFMT_X1R5G5B5 ||
           format == D3DFMT_A2R10G10B10;
}

bool isBackBufferFormat(D3DFORMAT format) noexcept {
    return isDisplayFormat(format) || format == D3DFMT_A8R8G8B8 || format == D3DFMT_A1R5G5B5;
}

Direct3D::Direct3D(Direct3DOptions options)
    : mOptions(std::move(options)) {}

const AdapterProfile& Direct3D::profile() noexcept {
    if (!mProfileReady) {
        if (mOptions.profile.has_value()) {
            mProfile = *mOptions.profile;
        } else {
            mProfile = defaultAdapterProfile();
            const GlBackend* backend = glBackend();
            if (mOptions.renderer != RendererKind::kNull && backend != nullptr) {
                backend->describeAdapter(&mProfile.identifier);
                mDriverProfile = true;
                mProfile.useDesktopMode = mOptions.renderer != RendererKind::kHeadless;
            }
        }
        mProfileReady = true;
    }
    return mProfile;
}

D3DDISPLAYMODE Direct3D::displayMode() noexcept {
    D3DDISPLAYMODE mode = profile().displayMode;
    const GlBackend* backend = glBackend();
    D3DDISPLAYMODE desktop = mode;
    if (mProfile.useDesktopMode && backend != nullptr && backend->desktopDisplayMode(&desktop)) {
        mode.Width = desktop.Width;
        mode.Height = desktop.Height;
        mode.RefreshRate = desktop.RefreshRate;
    }
    return mode;
}

HRESULT Direct3D::checkAdapter(UINT adapter, D3DDEVTYPE deviceType) noexcept {
    if (adapter != D3DADAPTER_DEFAULT) {
        return D3DERR_INVALIDCALL;
    }
    switch (deviceType) {
    case D3DDEVTYPE_HAL:
        return D3D_OK;
    case D3DDEVTYPE_REF:
    case D3DDEVTYPE_SW:
    case D3DDEVTYPE_NULLREF:
        return D3DERR_NOTAVAILABLE;
    default:
        return D3DERR_INVALIDCALL;
    }
}

HRESULT Direct3D::formatSupport(DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) noexcept {
    if (type == D3DRTYPE_VERTEXBUFFER) {
        return format == D3DFMT_VERTEXDATA ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    if (type == D3DRTYPE_INDEXBUFFER) {
        return format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32 ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    const DWORD wanted = usage & ~kUsageIgnoredForFormats;
    HRESULT best = D3DERR_NOTAVAILABLE;
    for (const FormatSupport& row : profile().formats) {
        if (row.format != format || (row.resourceTypes & gfx::resourceTypeBit(type)) == 0) {
            continue;
        }
        const DWORD missing = wanted & ~row.usage;
        if (missing == 0) {
            return D3D_OK;
        }
        if (missing == D3DUSAGE_AUTOGENMIPMAP) {
            best = D3DOK_NOAUTOGEN;
        }
    }
    return best;
}

HRESULT Direct3D::RegisterSoftwareDevice(void* /*initializeFunction*/) noexcept {
    return D3DERR_NOTAVAILABLE;
}

UINT Direct3D::GetAdapterCount() noexcept {
    return 1;
}

HRESULT Direct3D::GetAdapterIdentifier(UINT adapter, DWORD flags,
                                       D3DADAPTER_IDENTIFIER9* identifier) noexcept {
    if (adapter != D3DADAPTER_DEFAULT || identifier == nullptr ||
        (flags & ~D3DENUM_WHQL_LEVEL) != 0) {
        return D3DERR_INVALIDCALL;
    }
    *identifier = profile().identifier;
    return D3D_OK;
}

UINT Direct3D::GetAdapterModeCount(UINT adapter, D3DFORMAT format) noexcept {
    return adapter == D3DADAPTER_DEFAULT && format == profile().displayMode.Format ? 1 : 0;
}

HRESULT Direct3D::EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode,
                                   D3DDISPLAYMODE* displayMode) noexcept {
    if (adapter != D3DADAPTER_DEFAULT || displayMode == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (format != profile().displayMode.Format) {
        return D3DERR_NOTAVAILABLE;
    }
    if (mode != 0) {
        return D3DERR_INVALIDCALL;
    }
    *displayMode = this->displayMode();
    return D3D_OK;
}

HRESULT Direct3D::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* displayMode) noexcept {
    if (adapter != D3DADAPTER_DEFAULT || displayMode == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *displayMode = this->displayMode();
    return D3D_OK;
}

HRESULT Direct3D::CheckDeviceType(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                  D3DFORMAT backBufferFormat, BOOL /*windowed*/) noexcept {
    const HRESULT hr = checkAdapter(adapter, deviceType);
    if (FAILED(hr)) {
        return hr;
    }
    if (!isDisplayFormat(adapterFormat) || !isBackBufferFormat(backBufferFormat)) {
        return D3DERR_INVALIDCALL;
    }
    return adapterFormat == profile().displayMode.Format && isBackBufferColor(backBufferFormat)
               ? D3D_OK
               : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                    DWORD usage, D3DRESOURCETYPE resourceType,
                                    D3DFORMAT checkFormat) noexcept {
    const HRESULT hr = checkAdapter(adapter, deviceType);
    if (FAILED(hr)) {
        return hr;
    }
    if (!isDisplayFormat(adapterFormat) || resourceType < D3DRTYPE_SURFACE ||
        resourceType > D3DRTYPE_INDEXBUFFER) {
        return D3DERR_INVALIDCALL;
    }
    return formatSupport(usage, resourceType, checkFormat);
}

HRESULT Direct3D::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE deviceType,
                                             D3DFORMAT surfaceFormat, BOOL /*windowed*/,
                                             D3DMULTISAMPLE_TYPE multiSampleType,
                                             DWORD* qualityLevels) noexcept {
    const HRESULT hr = checkAdapter(adapter, deviceType);
    if (FAILED(hr)) {
        return hr;
    }
    if (multiSampleType > D3DMULTISAMPLE_16_SAMPLES) {
        return D3DERR_INVALIDCALL;
    }
    const bool surfaceKnown =
        isBackBufferColor(surfaceFormat) ||
        SUCCEEDED(formatSupport(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, surfaceFormat));
    DWORD supported = profile().multiSampleTypes;
    // The GL driver's own counts: one that offers 4 samples but not 2 would draw 4 when
    // asked for 2, and cost four times the memory and blending.
    const GlBackend* backend = glBackend();
    if (mDriverProfile && backend != nullptr) {
        supported &= backend->sampleCounts(surfaceFormat);
    }
    supported |= 1u;
    bool available = false;
    if (multiSampleType == D3DMULTISAMPLE_NONMASKABLE) {
        available = (supported & ~1u) != 0;
    } else {
        available = (supported & (1u << multiSampleType)) != 0;
    }
    if (!surfaceKnown || !available) {
        return D3DERR_NOTAVAILABLE;
    }
    if (qualityLevels != nullptr) {
        *qualityLevels = 1;
    }
    return D3D_OK;
}

HRESULT Direct3D::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE deviceType,
                                         D3DFORMAT adapterFormat, D3DFORMAT renderTargetFormat,
                                         D3DFORMAT depthStencilFormat) noexcept {
    const HRESULT hr = checkAdapter(adapter, deviceType);
    if (FAILED(hr)) {
        return hr;
    }
    if (!isDisplayFormat(adapterFormat)) {
        return D3DERR_INVALIDCALL;
    }
    return isBackBufferColor(renderTargetFormat) &&
                   SUCCEEDED(
                       formatSupport(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, depthStencilFormat))
               ? D3D_OK
               : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::CheckDeviceFormatConversion(UINT adapter, D3DDEVTYPE deviceType,
                                              D3DFORMAT sourceFormat,
                                              D3DFORMAT targetFormat) noexcept {
    const HRESULT hr = checkAdapter(adapter, deviceType);
    if (FAILED(hr)) {
        return hr;
    }
    // StretchRect copies between surfaces of one format, and between the two 8-bit RGB ones.
    if (sourceFormat == targetFormat && findFormat(sourceFormat) != nullptr) {
        return D3D_OK;
    }
    return isBackBufferColor(sourceFormat) && isBackBufferColor(targetFormat) ? D3D_OK
                                                                              : D3DERR_NOTAVAILABLE;
}

HRESULT Direct3D::GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) noexcept {
    if (caps == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const HRESULT hr = checkAdapter(adapter, deviceType);
    if (FAILED(hr)) {
        return hr;
    }
    *caps = profile().caps;
    return D3D_OK;
}

HMONITOR Direct3D::GetAdapterMonitor(UINT /*adapter*/) noexcept {
    return nullptr;
}

HRESULT Direct3D::CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                               DWORD behaviorFlags, D3DPRESENT_PARAMETERS* presentationParameters,
                               IDirect3DDevice9** returnedDeviceInterface) noexcept {
    const HRESULT hr = checkAdapter(adapter, deviceType);
    if (FAILED(hr)) {
        return hr;
    }
    return Device::create(this, focusWindow, behaviorFlags, presentationParameters,
                          returnedDeviceInterface);
}

namespace {
// Process-wide: set once by the GL side's registration, before main.
const GlBackend* gGlBackend = nullptr;
} // namespace

const GlBackend* glBackend() noexcept {
    return gGlBackend;
}

void installGlBackend(const GlBackend* backend) noexcept {
    gGlBackend = backend;
}

} // namespace halv::gfx::detail

// --- Creation entry points -----------------------------------------------------------------

namespace halv::gfx {
namespace {

Direct3DOptions& processOptions() {
    // Process-wide: the options Direct3DCreate9 creates its adapter objects with.
    static Direct3DOptions options;
    return options;
}

HRESULT createDeviceWith(RendererKind renderer, const DeviceSetup& setup,
                         IDirect3DDevice9** device) noexcept {
    if (device == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    Direct3DOptions options;
    options.renderer = renderer;
    options.logCalls = setup.logCalls;
    if (!base::allocationSucceeds([&] { options.profile = setup.profile; })) {
        return E_OUTOFMEMORY;
    }
    base::ComRef<IDirect3D9> direct3d(createDirect3D(options));
    if (!direct3d) {
        return E_OUTOFMEMORY;
    }
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = setup.width;
    parameters.BackBufferHeight = setup.height;
    parameters.BackBufferFormat = setup.backBufferFormat;
    parameters.BackBufferCount = 1;
    parameters.MultiSampleType = setup.multiSample;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    parameters.EnableAutoDepthStencil = setup.depthBuffer ? TRUE : FALSE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return direct3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, setup.behaviorFlags,
                                  &parameters, device);
}

} // namespace

IDirect3D9* createDirect3D(const Direct3DOptions& options) noexcept {
    IDirect3D9* created = nullptr;
    // The options' copy allocates too.
    if (!base::allocationSucceeds(
            [&] { created = new (std::nothrow) detail::Direct3D(options); })) {
        return nullptr;
    }
    return created;
}

Direct3DOptions installDirect3DOptions(Direct3DOptions options) {
    return std::exchange(processOptions(), std::move(options));
}

ScopedDirect3DOptions::ScopedDirect3DOptions(Direct3DOptions options)
    : mPrevious(installDirect3DOptions(std::move(options))) {}

ScopedDirect3DOptions::~ScopedDirect3DOptions() {
    installDirect3DOptions(std::move(mPrevious));
}

HRESULT createNullDevice(const DeviceSetup& setup, IDirect3DDevice9** device) noexcept {
    return createDeviceWith(RendererKind::kNull, setup, device);
}

HRESULT createHeadlessDevice(const DeviceSetup& setup, IDirect3DDevice9** device) noexcept {
    return createDeviceWith(RendererKind::kHeadless, setup, device);
}

} // namespace halv::gfx

IDirect3D9* Direct3DCreate9(UINT sdkVersion) noexcept {
    if (sdkVersion != D3D_SDK_VERSION && sdkVersion != D3D9b_SDK_VERSION) {
        return nullptr;
    }
    return halv::gfx::createDirect3D(halv::gfx::processOptions());
}
