// The device: creation, reference counting, the call log, and every state call.
#include "gfx/detail/device.h"

#include "base/allocation_guard.h"
#include "gfx/detail/format_info.h"
#include "gfx/detail/gl_backend.h"
#include "gfx/detail/state_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

namespace halv::gfx::detail {
namespace {

constexpr D3DMATRIX kIdentity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

// Fallback back-buffer size for a device with neither a size nor a window.
constexpr UINT kDefaultWidth = 640;
constexpr UINT kDefaultHeight = 480;

bool validPresentationInterval(UINT interval) {
    return interval == D3DPRESENT_INTERVAL_DEFAULT || interval == D3DPRESENT_INTERVAL_ONE ||
           interval == D3DPRESENT_INTERVAL_IMMEDIATE;
}

bool finiteInUnitRange(float value) {
    return value >= 0.0f && value <= 1.0f;
}

// Light properties the fixed pipeline can use.
bool lightValid(const D3DLIGHT9& light) {
    if (light.Type < D3DLIGHT_POINT || light.Type > D3DLIGHT_DIRECTIONAL) {
        return false;
    }
    if (light.Type != D3DLIGHT_POINT) {
        const float length = light.Direction.x * light.Direction.x +
                             light.Direction.y * light.Direction.y +
                             light.Direction.z * light.Direction.z;
        if (!(length > 0.0f)) {
            return false;
        }
    }
    if (light.Type != D3DLIGHT_DIRECTIONAL) {
        if (!(light.Range >= 0.0f) || light.Range > std::sqrt(3.402823466e38f) ||
            light.Attenuation0 < 0.0f || light.Attenuation1 < 0.0f || light.Attenuation2 < 0.0f) {
            return false;
        }
    }
    if (light.Type == D3DLIGHT_SPOT && (light.Phi < 0.0f || light.Phi > 3.14159274f ||
                                        light.Theta < 0.0f || light.Theta > light.Phi)) {
        return false;
    }
    return true;
}

D3DLIGHT9 defaultLight() {
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    light.Direction = {0.0f, 0.0f, 1.0f};
    return light;
}

D3DMATRIX* transformSlot(DeviceStateSnapshot& state, DWORD transform) {
    if (transform == D3DTS_VIEW) {
        return &state.view;
    }
    if (transform == D3DTS_PROJECTION) {
        return &state.projection;
    }
    if (transform >= D3DTS_TEXTURE0 && transform <= D3DTS_TEXTURE7) {
        return &state.textureTransforms[transform - D3DTS_TEXTURE0];
    }
    if (transform >= 256 && transform < 512) {
        return &state.world[transform - 256];
    }
    return nullptr;
}

// Shader constants: registers of four values (or single BOOLs) copied in and out.
template <class T, std::size_t N>
HRESULT setConstants(std::vector<std::array<T, N>>& store, UINT start, const T* data, UINT count) {
    if (data == nullptr || start > store.size() || count > store.size() - start) {
        return D3DERR_INVALIDCALL;
    }
    for (UINT i = 0; i < count; ++i) {
        std::copy(data + i * N, data + (i + 1) * N, store[start + i].begin());
    }
    return D3D_OK;
}

template <class T, std::size_t N>
HRESULT getConstants(const std::vector<std::array<T, N>>& store, UINT start, T* data, UINT count) {
    if (data == nullptr || start > store.size() || count > store.size() - start) {
        return D3DERR_INVALIDCALL;
    }
    for (UINT i = 0; i < count; ++i) {
        std::copy(store[start + i].begin(), store[start + i].end(), data + i * N);
    }
    return D3D_OK;
}

HRESULT setBools(std::vector<BOOL>& store, UINT start, const BOOL* data, UINT count) {
    if (data == nullptr || start > store.size() || count > store.size() - start) {
        return D3DERR_INVALIDCALL;
    }
    std::copy(data, data + count, store.begin() + start);
    return D3D_OK;
}

HRESULT getBools(const std::vector<BOOL>& store, UINT start, BOOL* data, UINT count) {
    if (data == nullptr || start > store.size() || count > store.size() - start) {
        return D3DERR_INVALIDCALL;
    }
    std::copy(store.begin() + start, store.begin() + start + count, data);
    return D3D_OK;
}

} // namespace

// --- Call log arguments --------------------------------------------------------------------

void CallArguments::separate() {
    if (!text.empty()) {
        text += ", ";
    }
}

CallArguments& CallArguments::number(std::uint64_t value) {
    separate();
    text += std::to_string(value);
    values.push_back(value);
    return *this;
}

CallArguments& CallArguments::signedNumber(std::int64_t value) {
    separate();
    text += std::to_string(value);
    values.push_back(static_cast<std::uint64_t>(value));
    return *this;
}

CallArguments& CallArguments::hex(DWORD value) {
    separate();
    char buffer[16];
    std::snprintf(buffer, sizeof(buffer), "0x%08x", value);
    text += buffer;
    values.push_back(value);
    return *this;
}

CallArguments& CallArguments::named(const std::string& name, std::uint64_t value) {
    separate();
    text += name;
    values.push_back(value);
    return *this;
}

CallArguments& CallArguments::real(float value) {
    separate();
    text += formatFloat(value);
    values.push_back(bitsFromFloat(value));
    return *this;
}

CallArguments& CallArguments::object(IUnknown* object) {
    separate();
    text += objectName(object);
    values.push_back(objectIdOf(object));
    return *this;
}

CallArguments& CallArguments::pointer(const void* pointer) {
    separate();
    text += pointer == nullptr ? "NULL" : "ptr";
    values.push_back(pointer == nullptr ? 0 : 1);
    return *this;
}

CallArguments& CallArguments::matrix(const D3DMATRIX* matrix) {
    separate();
    text += matrix == nullptr ? "NULL" : formatMatrix(*matrix);
    values.push_back(matrix == nullptr ? 0 : 1);
    return *this;
}

CallArguments& CallArguments::rect(const RECT* rect) {
    separate();
    if (rect == nullptr) {
        text += "NULL";
    } else {
        // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) about
        // "literal" + std::string inside libstdc++.
        const LONG sides[] = {rect->left, rect->top, rect->right, rect->bottom};
        text += '{';
        for (std::size_t i = 0; i < 4; ++i) {
            text += i == 0 ? "" : ", ";
            text += std::to_string(sides[i]);
        }
        text += '}';
    }
    values.push_back(rect == nullptr ? 0 : 1);
    return *this;
}

void Device::record(const char* method, CallArguments arguments) {
    // A log that cannot grow loses the entry; the call itself goes on.
    (void)base::allocationSucceeds([&] {
        mLog.push_back({method, std::move(arguments.text), std::move(arguments.values)});
    });
}

// --- Creation and lifetime -----------------------------------------------------------------

HRESULT Device::create(Direct3D* direct3d, HWND focusWindow, DWORD behaviorFlags,
                       D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) noexcept {
    if (parameters == nullptr || device == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const DWORD processing =
        behaviorFlags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                         D3DCREATE_MIXED_VERTEXPROCESSING);
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_HARDWARE_VERTEXPROCESSING &&
        processing != D3DCREATE_MIXED_VERTEXPROCESSING) {
        return D3DERR_INVALIDCALL;
    }
    D3DPRESENT_PARAMETERS filled = *parameters;
    if (filled.BackBufferCount == 0) {
        filled.BackBufferCount = 1;
    }
    if (filled.BackBufferCount > 3 || filled.SwapEffect < D3DSWAPEFFECT_DISCARD ||
        filled.SwapEffect > D3DSWAPEFFECT_COPY ||
        (filled.SwapEffect == D3DSWAPEFFECT_COPY && filled.BackBufferCount != 1) ||
        filled.MultiSampleType > D3DMULTISAMPLE_16_SAMPLES ||
        !validPresentationInterval(filled.PresentationInterval)) {
        return D3DERR_INVALIDCALL;
    }
    const HWND window = filled.hDeviceWindow != nullptr ? filled.hDeviceWindow : focusWindow;
    const D3DDISPLAYMODE mode = direct3d->displayMode();
    if (filled.Windowed != FALSE) {
        if (filled.FullScreen_RefreshRateInHz != 0) {
            return D3DERR_INVALIDCALL;
        }
        if (filled.BackBufferFormat == D3DFMT_UNKNOWN) {
            filled.BackBufferFormat = mode.Format;
        }
        if (filled.BackBufferWidth == 0 || filled.BackBufferHeight == 0) {
            int width = static_cast<int>(kDefaultWidth);
            int height = static_cast<int>(kDefaultHeight);
            if (const GlBackend* backend = glBackend()) {
                backend->clientSize(window, &width, &height);
            }
            if (filled.BackBufferWidth == 0) {
                filled.BackBufferWidth = static_cast<UINT>(std::max(width, 1));
            }
            if (filled.BackBufferHeight == 0) {
                filled.BackBufferHeight = static_cast<UINT>(std::max(height, 1));
            }
        }
    } else if (filled.BackBufferWidth == 0 || filled.BackBufferHeight == 0 ||
               filled.BackBufferFormat == D3DFMT_UNKNOWN) {
        return D3DERR_INVALIDCALL;
    }
    if (!isBackBufferFormat(filled.BackBufferFormat)) {
        return D3DERR_INVALIDCALL;
    }
    if (FAILED(direct3d->CheckDeviceType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, mode.Format,
                                         filled.BackBufferFormat, filled.Windowed))) {
        return D3DERR_NOTAVAILABLE;
    }
    if (filled.MultiSampleType != D3DMULTISAMPLE_NONE &&
        (filled.SwapEffect != D3DSWAPEFFECT_DISCARD ||
         FAILED(direct3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                     filled.BackBufferFormat, filled.Windowed,
                                                     filled.MultiSampleType, nullptr)))) {
        return D3DERR_INVALIDCALL;
    }
    if (filled.EnableAutoDepthStencil != FALSE &&
        FAILED(direct3d->formatSupport(D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                       filled.AutoDepthStencilFormat))) {
        return D3DERR_INVALIDCALL;
    }
    const UINT largest = direct3d->profile().caps.MaxTextureWidth;
    if (filled.BackBufferWidth > largest || filled.BackBufferHeight > largest) {
        return D3DERR_INVALIDCALL;
    }

    SwapSetup swap;
    swap.width = filled.BackBufferWidth;
    swap.height = filled.BackBufferHeight;
    swap.format = filled.BackBufferFormat;
    swap.depthFormat =
        filled.EnableAutoDepthStencil != FALSE ? filled.AutoDepthStencilFormat : D3DFMT_UNKNOWN;
    swap.multiSample = filled.MultiSampleType;
    swap.presentationInterval = filled.PresentationInterval;
    swap.window = window;

    std::unique_ptr<Renderer> renderer;
    const GlBackend* backend = glBackend();
    const bool hasWindow = backend != nullptr && backend->isDrawableWindow(window);
    switch (direct3d->renderer()) {
    case RendererKind::kNull:
        if (!base::allocationSucceeds([&] { renderer = createNullRenderer(swap); })) {
            return E_OUTOFMEMORY;
        }
        break;
    case RendererKind::kWindow:
        if (!hasWindow) {
            return D3DERR_INVALIDCALL;
        }
        [[fallthrough]];
    case RendererKind::kAuto:
    case RendererKind::kHeadless: {
        if (backend == nullptr) {
            return D3DERR_NOTAVAILABLE;
        }
        const bool headless = direct3d->renderer() == RendererKind::kHeadless || !hasWindow;
        const HRESULT hr = backend->createRenderer(headless, swap, &renderer);
        if (FAILED(hr)) {
            return hr;
        }
        break;
    }
    }
    if (renderer == nullptr) {
        return E_OUTOFMEMORY;
    }

    const D3DDEVICE_CREATION_PARAMETERS creation = {D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, focusWindow,
                                                    behaviorFlags};
    Device* created = nullptr;
    if (!base::allocationSucceeds(
            [&] { created = new Device(direct3d, filled, creation, std::move(renderer), swap); })) {
        return E_OUTOFMEMORY;
    }
    *parameters = filled;
    *device = created;
    return D3D_OK;
}

Device::Device(Direct3D* direct3d, const D3DPRESENT_PARAMETERS& parameters,
               const D3DDEVICE_CREATION_PARAMETERS& creation, std::unique_ptr<Renderer> renderer,
               const SwapSetup& swap) noexcept
    : mDirect3D(base::ComRef<Direct3D>::retain(direct3d))
    , mParameters(parameters)
    , mCreation(creation)
    , mCaps(direct3d->profile().caps)
    , mRenderer(std::move(renderer))
    , mSwap(swap)
    , mVertexConstantsF(256)
    , mVertexConstantsI(16)
    , mVertexConstantsB(16)
    , mPixelConstantsF(224)
    , mPixelConstantsI(16)
    , mPixelConstantsB(16)
    , mLogging(direct3d->logCalls()) {
    resetState();
}

Device::~Device() = default;

HRESULT Device::QueryInterface(REFIID riid, void** object) noexcept {
    return answerQuery<IDirect3DDevice9>(riid, object, this, this, {&IID_IDirect3DDevice9});
}

ULONG Device::AddRef() noexcept {
    return ++mPublicRefs;
}

ULONG Device::Release() noexcept {
    const ULONG remaining = --mPublicRefs;
    if (remaining == 0) {
        // Bound objects and the device's own helpers go now; resources still held elsewhere
        // keep the object (not the interface) alive until they are released.
        ++mInternalRefs;
        unbindAll();
        internalRelease();
    }
    return remaining;
}

void Device::internalRelease() noexcept {
    if (--mInternalRefs == 0 && mPublicRefs == 0) {
        delete this;
    }
}

void Device::resetState() noexcept {
    unbindAll();
    DeviceStateSnapshot& state = mState;
    state.renderStates.fill(0);
    std::size_t count = 0;
    const StateInfo* table = renderStateTable(&count);
    for (std::size_t i = 0; i < count; ++i) {
        state.renderStates[table[i].number] = table[i].defaultValue;
    }
    state.renderStates[D3DRS_ZENABLE] =
        mParameters.EnableAutoDepthStencil != FALSE ? D3DZB_TRUE : D3DZB_FALSE;
    table = samplerStateTable(&count);
    for (auto& sampler : state.samplerStates) {
        sampler.fill(0);
        for (std::size_t i = 0; i < count; ++i) {
            sampler[table[i].number] = table[i].defaultValue;
        }
    }
    table = stageStateTable(&count);
    for (DWORD stage = 0; stage < DeviceStateSnapshot::kStageCount; ++stage) {
        state.stageStates[stage].fill(0);
        for (std::size_t i = 0; i < count; ++i) {
            state.stageStates[stage][table[i].number] = stageStateDefault(stage, table[i].number);
        }
    }
    state.world.fill(kIdentity);
    state.view = kIdentity;
    state.projection = kIdentity;
    state.textureTransforms.fill(kIdentity);
    state.material = {};
    state.viewport = {0, 0, mSwap.width, mSwap.height, 0.0f, 1.0f};
    state.scissorRect = {0, 0, static_cast<LONG>(mSwap.width), static_cast<LONG>(mSwap.height)};
    state.lights.clear();
    state.textures.fill(0);
    state.streams.fill({});
    state.indices = 0;
    state.fvf = 0;
    state.declaration = 0;
    state.currentTexturePalette = 0;
    state.softwareVertexProcessing =
        (mCreation.BehaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) != 0 ? TRUE : FALSE;
    state.nPatchMode = 0;
}

void Device::unbindAll() noexcept {
    for (auto& texture : mTextures) {
        texture.reset();
    }
    for (auto& stream : mStreams) {
        stream.reset();
    }
    mIndices.reset();
    mDeclaration.reset();
    mFvfDeclarations.clear();
    mBackBuffer.reset();
    mDepthStencil.reset();
    mUserVertices.reset();
    mUserIndices.reset();
    mState.textures.fill(0);
    for (auto& stream : mState.streams) {
        stream.buffer = 0;
    }
    mState.indices = 0;
    mState.declaration = 0;
}

Device* deviceOf(IDirect3DDevice9* device) noexcept {
    return ourObject<Device>(device, ObjectKind::kDevice);
}

// --- Device-wide queries -------------------------------------------------------------------

HRESULT Device::TestCooperativeLevel() noexcept {
    if (logging()) {
        record("TestCooperativeLevel", {});
    }
    return D3D_OK;
}

UINT Device::GetAvailableTextureMem() noexcept {
    if (logging()) {
        record("GetAvailableTextureMem", {});
    }
    // Resources live in system memory; report a plain 256 MiB, rounded to 1 MiB as published.
    return 256u << 20;
}

HRESULT Device::EvictManagedResources() noexcept {
    if (logging()) {
        record("EvictManagedResources", {});
    }
    return D3D_OK;
}

HRESULT Device::GetDirect3D(IDirect3D9** direct3d) noexcept {
    if (logging()) {
        record("GetDirect3D", CallArguments().pointer(direct3d));
    }
    if (direct3d == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    mDirect3D->AddRef();
    *direct3d = mDirect3D.get();
    return D3D_OK;
}

HRESULT Device::GetDeviceCaps(D3DCAPS9* caps) noexcept {
    if (logging()) {
        record("GetDeviceCaps", CallArguments().pointer(caps));
    }
    if (caps == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *caps = mCaps;
    return D3D_OK;
}

HRESULT Device::GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) noexcept {
    if (logging()) {
        record("GetDisplayMode", CallArguments().number(swapChain).pointer(mode));
    }
    if (swapChain != 0 || mode == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *mode = mDirect3D->displayMode();
    return D3D_OK;
}

HRESULT Device::GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) noexcept {
    if (logging()) {
        record("GetCreationParameters", CallArguments().pointer(parameters));
    }
    if (parameters == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *parameters = mCreation;
    return D3D_OK;
}

HRESULT Device::SetCursorProperties(UINT xHotSpot, UINT yHotSpot,
                                    IDirect3DSurface9* cursorBitmap) noexcept {
    if (logging()) {
        record("SetCursorProperties",
               CallArguments().number(xHotSpot).number(yHotSpot).object(cursorBitmap));
    }
    // The system cursor is the platform layer's; a device cursor image is accepted and unused.
    return cursorBitmap != nullptr ? D3D_OK : D3DERR_INVALIDCALL;
}

void Device::SetCursorPosition(int x, int y, DWORD flags) noexcept {
    if (logging()) {
        record("SetCursorPosition", CallArguments().signedNumber(x).signedNumber(y).hex(flags));
    }
}

BOOL Device::ShowCursor(BOOL show) noexcept {
    if (logging()) {
        record("ShowCursor", CallArguments().number(static_cast<std::uint64_t>(show)));
    }
    return std::exchange(mCursorVisible, show != FALSE ? TRUE : FALSE);
}

HRESULT Device::CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* presentationParameters,
                                          IDirect3DSwapChain9** swapChain) noexcept {
    if (logging()) {
        record("CreateAdditionalSwapChain",
               CallArguments().pointer(presentationParameters).pointer(swapChain));
    }
    if (presentationParameters == nullptr || swapChain == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return D3DERR_NOTAVAILABLE;
}

HRESULT Device::GetSwapChain(UINT swapChain, IDirect3DSwapChain9** result) noexcept {
    if (logging()) {
        record("GetSwapChain", CallArguments().number(swapChain).pointer(result));
    }
    if (swapChain != 0 || result == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return D3DERR_NOTAVAILABLE;
}

UINT Device::GetNumberOfSwapChains() noexcept {
    if (logging()) {
        record("GetNumberOfSwapChains", {});
    }
    return 1;
}

HRESULT Device::Reset(D3DPRESENT_PARAMETERS* presentationParameters) noexcept {
    if (logging()) {
        record("Reset", CallArguments().pointer(presentationParameters));
    }
    if (presentationParameters == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    // The device never loses its back buffer, and resizing one is not supported.
    return D3DERR_NOTAVAILABLE;
}

HRESULT Device::GetRasterStatus(UINT swapChain, D3DRASTER_STATUS* rasterStatus) noexcept {
    if (logging()) {
        record("GetRasterStatus", CallArguments().number(swapChain).pointer(rasterStatus));
    }
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetDialogBoxMode(BOOL enableDialogs) noexcept {
    if (logging()) {
        record("SetDialogBoxMode",
               CallArguments().number(static_cast<std::uint64_t>(enableDialogs)));
    }
    // Needs a lockable back buffer, which this device does not have.
    return D3DERR_INVALIDCALL;
}

void Device::SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) noexcept {
    if (logging()) {
        record("SetGammaRamp", CallArguments().number(swapChain).hex(flags).pointer(ramp));
    }
}

void Device::GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) noexcept {
    if (logging()) {
        record("GetGammaRamp", CallArguments().number(swapChain).pointer(ramp));
    }
}

// --- Transforms, viewport, material, lights ------------------------------------------------

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) noexcept {
    if (logging()) {
        record("SetTransform", CallArguments().named(transformName(state), state).matrix(matrix));
    }
    D3DMATRIX* slot = transformSlot(mState, state);
    if (slot == nullptr || matrix == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *slot = *matrix;
    return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) noexcept {
    if (logging()) {
        record("GetTransform", CallArguments().named(transformName(state), state).pointer(matrix));
    }
    D3DMATRIX* slot = transformSlot(mState, state);
    if (slot == nullptr || matrix == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *matrix = *slot;
    return D3D_OK;
}

HRESULT Device::MultiplyTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) noexcept {
    if (logging()) {
        record("MultiplyTransform",
               CallArguments().named(transformName(state), state).matrix(matrix));
    }
    D3DMATRIX* slot = transformSlot(mState, state);
    if (slot == nullptr || matrix == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *slot = multiply(*matrix, *slot);
    return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT9* viewport) noexcept {
    if (logging()) {
        CallArguments arguments;
        if (viewport == nullptr) {
            arguments.pointer(viewport);
        } else {
            arguments.number(viewport->X)
                .number(viewport->Y)
                .number(viewport->Width)
                .number(viewport->Height)
                .real(viewport->MinZ)
                .real(viewport->MaxZ);
        }
        record("SetViewport", std::move(arguments));
    }
    if (viewport == nullptr || viewport->Width == 0 || viewport->Height == 0 ||
        std::uint64_t{viewport->X} + viewport->Width > mSwap.width ||
        std::uint64_t{viewport->Y} + viewport->Height > mSwap.height ||
        !finiteInUnitRange(viewport->MinZ) || !finiteInUnitRange(viewport->MaxZ)) {
        return D3DERR_INVALIDCALL;
    }
    mState.viewport = *viewport;
    return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT9* viewport) noexcept {
    if (logging()) {
        record("GetViewport", CallArguments().pointer(viewport));
    }
    if (viewport == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *viewport = mState.viewport;
    return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL9* material) noexcept {
    if (logging()) {
        record("SetMaterial", CallArguments().pointer(material));
    }
    if (material == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    mState.material = *material;
    return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL9* material) noexcept {
    if (logging()) {
        record("GetMaterial", CallArguments().pointer(material));
    }
    if (material == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *material = mState.material;
    return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT9* light) noexcept {
    if (logging()) {
        record("SetLight", CallArguments().number(index).pointer(light));
    }
    if (light == nullptr || !lightValid(*light)) {
        return D3DERR_INVALIDCALL;
    }
    if (!base::allocationSucceeds([&] {
            auto [slot, inserted] = mState.lights.try_emplace(index, LightSnapshot{*light, false});
            if (!inserted) {
                slot->second.light = *light;
            }
        })) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT9* light) noexcept {
    if (logging()) {
        record("GetLight", CallArguments().number(index).pointer(light));
    }
    const auto found = mState.lights.find(index);
    if (light == nullptr || found == mState.lights.end()) {
        return D3DERR_INVALIDCALL;
    }
    *light = found->second.light;
    return D3D_OK;
}

HRESULT Device::LightEnable(DWORD lightIndex, BOOL enable) noexcept {
    if (logging()) {
        record("LightEnable", CallArguments()
                                  .number(lightIndex)
                                  .named(enable ? "TRUE" : "FALSE", static_cast<DWORD>(enable)));
    }
    auto found = mState.lights.find(lightIndex);
    if (found == mState.lights.end()) {
        if (!base::allocationSucceeds([&] {
                found =
                    mState.lights.emplace(lightIndex, LightSnapshot{defaultLight(), false}).first;
            })) {
            return E_OUTOFMEMORY;
        }
    }
    if (enable != FALSE && !found->second.enabled) {
        const auto active = std::count_if(mState.lights.begin(), mState.lights.end(),
                                          [](const auto& entry) { return entry.second.enabled; });
        if (static_cast<DWORD>(active) >= mCaps.MaxActiveLights) {
            return D3DERR_INVALIDCALL;
        }
    }
    found->second.enabled = enable != FALSE;
    return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) noexcept {
    if (logging()) {
        record("GetLightEnable", CallArguments().number(index).pointer(enable));
    }
    const auto found = mState.lights.find(index);
    if (enable == nullptr || found == mState.lights.end()) {
        return D3DERR_INVALIDCALL;
    }
    *enable = found->second.enabled ? TRUE : FALSE;
    return D3D_OK;
}

HRESULT Device::SetClipPlane(DWORD index, const float* plane) noexcept {
    if (logging()) {
        record("SetClipPlane", CallArguments().number(index).pointer(plane));
    }
    // MaxUserClipPlanes is 0.
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetClipPlane(DWORD index, float* plane) noexcept {
    if (logging()) {
        record("GetClipPlane", CallArguments().number(index).pointer(plane));
    }
    return D3DERR_INVALIDCALL;
}

// --- Render, sampler and texture-stage states ----------------------------------------------

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) noexcept {
    const StateInfo* info = findRenderState(state);
    if (logging()) {
        record("SetRenderState", info != nullptr ? CallArguments()
                                                       .named(info->name, state)
                                                       .named(formatValue(info->kind, value), value)
                                                 : CallArguments().number(state).number(value));
    }
    if (info == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    mState.renderStates[state] = value;
    return D3D_OK;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) noexcept {
    const StateInfo* info = findRenderState(state);
    if (logging()) {
        record("GetRenderState", (info != nullptr ? CallArguments().named(info->name, state)
                                                  : CallArguments().number(state))
                                     .pointer(value));
    }
    if (info == nullptr || value == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *value = mState.renderStates[state];
    return D3D_OK;
}

HRESULT Device::CreateStateBlock(D3DSTATEBLOCKTYPE type,
                                 IDirect3DStateBlock9** stateBlock) noexcept {
    if (logging()) {
        record("CreateStateBlock", CallArguments().number(type).pointer(stateBlock));
    }
    return stateBlock == nullptr ? D3DERR_INVALIDCALL : D3DERR_NOTAVAILABLE;
}

HRESULT Device::BeginStateBlock() noexcept {
    if (logging()) {
        record("BeginStateBlock", {});
    }
    return D3DERR_NOTAVAILABLE;
}

HRESULT Device::EndStateBlock(IDirect3DStateBlock9** stateBlock) noexcept {
    if (logging()) {
        record("EndStateBlock", CallArguments().pointer(stateBlock));
    }
    return D3DERR_INVALIDCALL;
}

HRESULT Device::SetClipStatus(const D3DCLIPSTATUS9* clipStatus) noexcept {
    if (logging()) {
        record("SetClipStatus", CallArguments().pointer(clipStatus));
    }
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetClipStatus(D3DCLIPSTATUS9* clipStatus) noexcept {
    if (logging()) {
        record("GetClipStatus", CallArguments().pointer(clipStatus));
    }
    return D3DERR_INVALIDCALL;
}

HRESULT Device::GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) noexcept {
    if (logging()) {
        record("GetTexture", CallArguments().number(stage).pointer(texture));
    }
    const int slot = samplerSlot(stage);
    if (slot < 0 || texture == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    IDirect3DBaseTexture9* bound = mTextures[slot].get();
    if (bound != nullptr) {
        bound->AddRef();
    }
    *texture = bound;
    return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) noexcept {
    if (logging()) {
        record("SetTexture", CallArguments().number(stage).object(texture));
    }
    const int slot = samplerSlot(stage);
    if (slot < 0) {
        return D3DERR_INVALIDCALL;
    }
    ObjectId id = 0;
    if (texture != nullptr) {
        TextureBase* ours = textureOf(texture);
        if (ours == nullptr || ours->owner() != this || ours->pool() == D3DPOOL_SYSTEMMEM ||
            ours->pool() == D3DPOOL_SCRATCH) {
            return D3DERR_INVALIDCALL;
        }
        id = objectIdOf(texture);
    }
    mTextures[slot] = base::ComRef<IDirect3DBaseTexture9>::retain(texture);
    mState.textures[slot] = id;
    return D3D_OK;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                     DWORD* value) noexcept {
    const StateInfo* info = findStageState(type);
    if (logging()) {
        record("GetTextureStageState",
               CallArguments()
                   .number(stage)
                   .named(info != nullptr ? info->name : std::to_string(type), type)
                   .pointer(value));
    }
    if (stage >= DeviceStateSnapshot::kStageCount || info == nullptr || value == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *value = mState.stageStates[stage][type];
    return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                     DWORD value) noexcept {
    const StateInfo* info = findStageState(type);
    if (logging()) {
        record("SetTextureStageState",
               info != nullptr ? CallArguments()
                                     .number(stage)
                                     .named(info->name, type)
                                     .named(formatValue(info->kind, value), value)
                               : CallArguments().number(stage).number(type).number(value));
    }
    if (stage >= DeviceStateSnapshot::kStageCount || info == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    mState.stageStates[stage][type] = value;
    return D3D_OK;
}

HRESULT Device::GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD* value) noexcept {
    const StateInfo* info = findSamplerState(type);
    if (logging()) {
        record("GetSamplerState",
               CallArguments()
                   .number(sampler)
                   .named(info != nullptr ? info->name : std::to_string(type), type)
                   .pointer(value));
    }
    const int slot = samplerSlot(sampler);
    if (slot < 0 || info == nullptr || value == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *value = mState.samplerStates[slot][type];
    return D3D_OK;
}

HRESULT Device::SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) noexcept {
    const StateInfo* info = findSamplerState(type);
    if (logging()) {
        record("SetSamplerState", info != nullptr
                                      ? CallArguments()
                                            .number(sampler)
                                            .named(info->name, type)
                                            .named(formatValue(info->kind, value), value)
                                      : CallArguments().number(sampler).number(type).number(value));
    }
    const int slot = samplerSlot(sampler);
    if (slot < 0 || info == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    mState.samplerStates[slot][type] = value;
    return D3D_OK;
}

HRESULT Device::ValidateDevice(DWORD* numPasses) noexcept {
    if (logging()) {
        record("ValidateDevice", CallArguments().pointer(numPasses));
    }
    if (numPasses == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const auto& stage0 = mState.stageStates[0];
    const auto supportedOp = [](DWORD op) {
        return op >= D3DTOP_DISABLE && op <= D3DTOP_LERP && op != D3DTOP_PREMODULATE &&
               op != D3DTOP_BUMPENVMAP && op != D3DTOP_BUMPENVMAPLUMINANCE;
    };
    if (!supportedOp(stage0[D3DTSS_COLOROP])) {
        return D3DERR_UNSUPPORTEDCOLOROPERATION;
    }
    if (!supportedOp(stage0[D3DTSS_ALPHAOP])) {
        return D3DERR_UNSUPPORTEDALPHAOPERATION;
    }
    // One texture stage: a second one may only be disabled.
    if (mState.stageStates[1][D3DTSS_COLOROP] != D3DTOP_DISABLE) {
        return D3DERR_TOOMANYOPERATIONS;
    }
    for (const DWORD filter :
         {mState.samplerStates[0][D3DSAMP_MINFILTER], mState.samplerStates[0][D3DSAMP_MAGFILTER],
          mState.samplerStates[0][D3DSAMP_MIPFILTER]}) {
        if (filter > D3DTEXF_LINEAR) {
            return D3DERR_UNSUPPORTEDTEXTUREFILTER;
        }
    }
    *numPasses = 1;
    return D3D_OK;
}

HRESULT Device::SetPaletteEntries(UINT paletteNumber, const PALETTEENTRY* entries) noexcept {
    if (logging()) {
        record("SetPaletteEntries", CallArguments().number(paletteNumber).pointer(entries));
    }
    if (entries == nullptr || paletteNumber > 0xFFFF) {
        return D3DERR_INVALIDCALL;
    }
    if (!base::allocationSucceeds([&] {
            auto& palette = mPalettes[paletteNumber];
            std::copy(entries, entries + palette.size(), palette.begin());
        })) {
        return E_OUTOFMEMORY;
    }
    return D3D_OK;
}

HRESULT Device::GetPaletteEntries(UINT paletteNumber, PALETTEENTRY* entries) noexcept {
    if (logging()) {
        record("GetPaletteEntries", CallArguments().number(paletteNumber).pointer(entries));
    }
    const auto found = mPalettes.find(paletteNumber);
    if (entries == nullptr || found == mPalettes.end()) {
        return D3DERR_INVALIDCALL;
    }
    std::copy(found->second.begin(), found->second.end(), entries);
    return D3D_OK;
}

HRESULT Device::SetCurrentTexturePalette(UINT paletteNumber) noexcept {
    if (logging()) {
        record("SetCurrentTexturePalette", CallArguments().number(paletteNumber));
    }
    if (mPalettes.find(paletteNumber) == mPalettes.end()) {
        return D3DERR_INVALIDCALL;
    }
    mState.currentTexturePalette = paletteNumber;
    return D3D_OK;
}

HRESULT Device::GetCurrentTexturePalette(UINT* paletteNumber) noexcept {
    if (logging()) {
        record("GetCurrentTexturePalette", CallArguments().pointer(paletteNumber));
    }
    if (paletteNumber == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *paletteNumber = mState.currentTexturePalette;
    return D3D_OK;
}

HRESULT Device::SetScissorRect(const RECT* rect) noexcept {
    if (logging()) {
        record("SetScissorRect", CallArguments().rect(rect));
    }
    if (rect == nullptr || rect->left < 0 || rect->top < 0 || rect->left > rect->right ||
        rect->top > rect->bottom) {
        return D3DERR_INVALIDCALL;
    }
    mState.scissorRect = *rect;
    return D3D_OK;
}

HRESULT Device::GetScissorRect(RECT* rect) noexcept {
    if (logging()) {
        record("GetScissorRect", CallArguments().pointer(rect));
    }
    if (rect == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *rect = mState.scissorRect;
    return D3D_OK;
}

HRESULT Device::SetSoftwareVertexProcessing(BOOL software) noexcept {
    if (logging()) {
        record("SetSoftwareVertexProcessing",
               CallArguments().number(static_cast<std::uint64_t>(software)));
    }
    const DWORD flags = mCreation.BehaviorFlags;
    if ((flags & D3DCREATE_MIXED_VERTEXPROCESSING) == 0) {
        // Only a mixed device can switch; the others accept their own mode.
        const bool softwareDevice = (flags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) != 0;
        return (software != FALSE) == softwareDevice ? D3D_OK : D3DERR_INVALIDCALL;
    }
    mState.softwareVertexProcessing = software != FALSE ? TRUE : FALSE;
    return D3D_OK;
}

BOOL Device::GetSoftwareVertexProcessing() noexcept {
    if (logging()) {
        record("GetSoftwareVertexProcessing", {});
    }
    return mState.softwareVertexProcessing;
}

HRESULT Device::SetNPatchMode(float segments) noexcept {
    if (logging()) {
        record("SetNPatchMode", CallArguments().real(segments));
    }
    if (!(segments >= 0.0f)) {
        return D3DERR_INVALIDCALL;
    }
    mState.nPatchMode = segments;
    return D3D_OK;
}

float Device::GetNPatchMode() noexcept {
    if (logging()) {
        record("GetNPatchMode", {});
    }
    return mState.nPatchMode;
}

// --- Vertex input --------------------------------------------------------------------------

HRESULT Device::CreateVertexDeclaration(const D3DVERTEXELEMENT9* vertexElements,
                                        IDirect3DVertexDeclaration9** decl) noexcept {
    if (logging()) {
        record("CreateVertexDeclaration", CallArguments().pointer(vertexElements).pointer(decl));
    }
    if (decl == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    VertexLayout layout;
    UINT count = 0;
    const HRESULT hr = layoutFromDeclaration(vertexElements, &layout, &count);
    if (FAILED(hr)) {
        return hr;
    }
    auto* created =
        new (std::nothrow) VertexDeclaration(this, nextObjectId(), layout, count, vertexElements);
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    *decl = created;
    return D3D_OK;
}

HRESULT Device::SetVertexDeclaration(IDirect3DVertexDeclaration9* decl) noexcept {
    if (logging()) {
        record("SetVertexDeclaration", CallArguments().object(decl));
    }
    VertexDeclaration* ours = nullptr;
    if (decl != nullptr) {
        ours = ourObject<VertexDeclaration>(decl, ObjectKind::kVertexDeclaration);
        if (ours == nullptr) {
            return D3DERR_INVALIDCALL;
        }
        IDirect3DDevice9* owner = nullptr;
        ours->GetDevice(&owner);
        owner->Release();
        if (owner != this) {
            return D3DERR_INVALIDCALL;
        }
    }
    mDeclaration = base::ComRef<VertexDeclaration>::retain(ours);
    mState.declaration = ours != nullptr ? ours->id() : 0;
    mState.fvf = 0;
    return D3D_OK;
}

HRESULT Device::GetVertexDeclaration(IDirect3DVertexDeclaration9** decl) noexcept {
    if (logging()) {
        record("GetVertexDeclaration", CallArguments().pointer(decl));
    }
    if (decl == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (mDeclaration) {
        mDeclaration->AddRef();
    }
    *decl = mDeclaration.get();
    return D3D_OK;
}

HRESULT Device::SetFVF(DWORD fvf) noexcept {
    if (logging()) {
        record("SetFVF", CallArguments().hex(fvf));
    }
    if (fvf == 0) {
        mDeclaration.reset();
        mState.fvf = 0;
        mState.declaration = 0;
        return D3D_OK;
    }
    auto found = mFvfDeclarations.find(fvf);
    if (found == mFvfDeclarations.end()) {
        VertexLayout layout;
        const HRESULT hr = layoutFromFvf(fvf, &layout);
        if (FAILED(hr)) {
            return hr;
        }
        std::array<D3DVERTEXELEMENT9, VertexLayout::kMaxElements + 1> elements{};
        std::copy(layout.elements.begin(), layout.elements.begin() + layout.count,
                  elements.begin());
        elements[layout.count] = D3DDECL_END();
        base::ComRef<VertexDeclaration> created(new (std::nothrow) VertexDeclaration(
            this, nextObjectId(), layout, layout.count + 1, elements.data()));
        if (!created) {
            return E_OUTOFMEMORY;
        }
        if (!base::allocationSucceeds(
                [&] { found = mFvfDeclarations.emplace(fvf, std::move(created)).first; })) {
            return E_OUTOFMEMORY;
        }
    }
    mDeclaration = found->second;
    mState.fvf = fvf;
    mState.declaration = 0;
    return D3D_OK;
}

HRESULT Device::GetFVF(DWORD* fvf) noexcept {
    if (logging()) {
        record("GetFVF", CallArguments().pointer(fvf));
    }
    if (fvf == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *fvf = mState.fvf;
    return D3D_OK;
}

HRESULT Device::SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData,
                                UINT offsetInBytes, UINT stride) noexcept {
    if (logging()) {
        record("SetStreamSource", CallArguments()
                                      .number(streamNumber)
                                      .object(streamData)
                                      .number(offsetInBytes)
                                      .number(stride));
    }
    if (streamNumber >= mStreams.size() || stride > mCaps.MaxStreamStride) {
        return D3DERR_INVALIDCALL;
    }
    VertexBuffer* ours = nullptr;
    if (streamData != nullptr) {
        ours = ourObject<VertexBuffer>(streamData, ObjectKind::kVertexBuffer);
        if (ours == nullptr || ours->device() != this) {
            return D3DERR_INVALIDCALL;
        }
    }
    mStreams[streamNumber] = base::ComRef<VertexBuffer>::retain(ours);
    StreamSnapshot& slot = mState.streams[streamNumber];
    slot.buffer = ours != nullptr ? ours->id() : 0;
    slot.offset = offsetInBytes;
    slot.stride = stride;
    return D3D_OK;
}

HRESULT Device::GetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9** streamData,
                                UINT* offsetInBytes, UINT* stride) noexcept {
    if (logging()) {
        record("GetStreamSource", CallArguments()
                                      .number(streamNumber)
                                      .pointer(streamData)
                                      .pointer(offsetInBytes)
                                      .pointer(stride));
    }
    if (streamNumber >= mStreams.size() || streamData == nullptr || offsetInBytes == nullptr ||
        stride == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    VertexBuffer* bound = mStreams[streamNumber].get();
    if (bound != nullptr) {
        bound->AddRef();
    }
    *streamData = bound;
    *offsetInBytes = mState.streams[streamNumber].offset;
    *stride = mState.streams[streamNumber].stride;
    return D3D_OK;
}

HRESULT Device::SetStreamSourceFreq(UINT streamNumber, UINT frequencyParameter) noexcept {
    if (logging()) {
        record("SetStreamSourceFreq", CallArguments().number(streamNumber).hex(frequencyParameter));
    }
    if (streamNumber >= mStreams.size() || frequencyParameter != 1) {
        return D3DERR_INVALIDCALL;
    }
    mState.streams[streamNumber].frequency = frequencyParameter;
    return D3D_OK;
}

HRESULT Device::GetStreamSourceFreq(UINT streamNumber, UINT* divider) noexcept {
    if (logging()) {
        record("GetStreamSourceFreq", CallArguments().number(streamNumber).pointer(divider));
    }
    if (streamNumber >= mStreams.size() || divider == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *divider = mState.streams[streamNumber].frequency;
    return D3D_OK;
}

HRESULT Device::SetIndices(IDirect3DIndexBuffer9* indexData) noexcept {
    if (logging()) {
        record("SetIndices", CallArguments().object(indexData));
    }
    IndexBuffer* ours = nullptr;
    if (indexData != nullptr) {
        ours = ourObject<IndexBuffer>(indexData, ObjectKind::kIndexBuffer);
        if (ours == nullptr || ours->device() != this) {
            return D3DERR_INVALIDCALL;
        }
    }
    mIndices = base::ComRef<IndexBuffer>::retain(ours);
    mState.indices = ours != nullptr ? ours->id() : 0;
    return D3D_OK;
}

HRESULT Device::GetIndices(IDirect3DIndexBuffer9** indexData) noexcept {
    if (logging()) {
        record("GetIndices", CallArguments().pointer(indexData));
    }
    if (indexData == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (mIndices) {
        mIndices->AddRef();
    }
    *indexData = mIndices.get();
    return D3D_OK;
}

// --- Shaders: the device has only the fixed-function pipeline ------------------------------

HRESULT Device::CreateVertexShader(const DWORD* function,
                                   IDirect3DVertexShader9** shader) noexcept {
    if (logging()) {
        record("CreateVertexShader", CallArguments().pointer(function).pointer(shader));
    }
    return function == nullptr || shader == nullptr ? D3DERR_INVALIDCALL : D3DERR_NOTAVAILABLE;
}

HRESULT Device::SetVertexShader(IDirect3DVertexShader9* shader) noexcept {
    if (logging()) {
        record("SetVertexShader", CallArguments().pointer(shader));
    }
    return shader == nullptr ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT Device::GetVertexShader(IDirect3DVertexShader9** shader) noexcept {
    if (logging()) {
        record("GetVertexShader", CallArguments().pointer(shader));
    }
    if (shader == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *shader = nullptr;
    return D3D_OK;
}

HRESULT Device::CreatePixelShader(const DWORD* function, IDirect3DPixelShader9** shader) noexcept {
    if (logging()) {
        record("CreatePixelShader", CallArguments().pointer(function).pointer(shader));
    }
    return function == nullptr || shader == nullptr ? D3DERR_INVALIDCALL : D3DERR_NOTAVAILABLE;
}

HRESULT Device::SetPixelShader(IDirect3DPixelShader9* shader) noexcept {
    if (logging()) {
        record("SetPixelShader", CallArguments().pointer(shader));
    }
    return shader == nullptr ? D3D_OK : D3DERR_INVALIDCALL;
}

HRESULT Device::GetPixelShader(IDirect3DPixelShader9** shader) noexcept {
    if (logging()) {
        record("GetPixelShader", CallArguments().pointer(shader));
    }
    if (shader == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *shader = nullptr;
    return D3D_OK;
}

HRESULT Device::SetVertexShaderConstantF(UINT startRegister, const float* constantData,
                                         UINT count) noexcept {
    if (logging()) {
        record("SetVertexShaderConstantF",
               CallArguments().number(startRegister).pointer(constantData).number(count));
    }
    return setConstants(mVertexConstantsF, startRegister, constantData, count);
}

HRESULT Device::GetVertexShaderConstantF(UINT startRegister, float* constantData,
                                         UINT count) noexcept {
    if (logging()) {
        record("GetVertexShaderConstantF",
               CallArguments().number(startRegister).pointer(constantData).number(count));
    }
    return getConstants(mVertexConstantsF, startRegister, constantData, count);
}

HRESULT Device::SetVertexShaderConstantI(UINT startRegister, const int* constantData,
                                         UINT count) noexcept {
    if (logging()) {
        record("SetVertexShaderConstantI",
               CallArguments().number(startRegister).pointer(constantData).number(count));
    }
    return setConstants(mVertexConstantsI, startRegister, constantData, count);
}

HRESULT Device::GetVertexShaderConstantI(UINT startRegister, int* constantData,
                                         UINT count) noexcept {
    if (logging()) {
        record("GetVertexShaderConstantI",
               CallArguments().number(startRegister).pointer(constantData).number(count));
    }
    return getConstants(mVertexConstantsI, startRegister, constantData, count);
}

HRESULT Device::SetVertexShaderConstantB(UINT startRegister, const BOOL* constantData,
                                         UINT count) noexcept {
    if (logging()) {
        record("SetVertexShaderConstantB",
               CallArguments().number(startRegister).pointer(constantData).number(count));
    }
    return setBools(mVertexConstantsB, startRegister, constantData, count);
}

HRESULT Device::GetVertexShaderConstantB(UINT startRegister, BOOL* constantData,
                                         UINT count) noexcept {
    if (logging()) {
        record("GetVertexShaderConstantB",
               CallArguments().number(startRegister).pointer(constantData).number(count));
    }
    return getBools(mVertexConstantsB, startRegister, constantData, count);
}

HRESULT Device::SetPixelShaderConstantF(UINT startRegister, const float* constantData,
                                        UINT count) noexcept {
    if (logging()) {
        record("SetPixelShaderConstantF",
               CallArguments().number(startRegister).pointer(constantData).number(count));
    }
    return setConstants(mPixelConstantsF, startRegister, constantData, count);
}

HRESULT Device::GetPixelShaderConstantF(UINT startRegister, float* constantData,
                                        UINT count) noexcept {
    if (logging()) {
        record("GetPixelShaderConstantF",
               CallArguments().number(startRegister).pointer(constantData).number(count));
    }
    return getConstants(mPixelConstantsF, startRegister, constantData, count);
}

HRESULT Device::SetPixelShaderConstantI(UINT startRegister, const int* constantData,
                                        UINT count) noexcept {
    if (logging()) {
        record("SetPixelShaderConstantI",
               CallArguments().number(startRegister).pointer(constantData).number(count));
    }
    return setConstants(mPixelConstantsI, startRegister, constantData, count);
}

HRESULT Device::GetPixelShaderConstantI(UINT startRegister, int* constantData,
                                        UINT count) noexcept {
    if (logging()) {
        record("GetPixelShaderConstantI",
               CallArguments().number(startRegister).pointer(constantData).number(count));
    }
    return getConstants(mPixelConstantsI, startRegister, constantData, count);
}

HRESULT Device::SetPixelShaderConstantB(UINT startRegister, const BOOL* constantData,
                                        UINT count) noexcept {
    if (logging()) {
        record("SetPixelShaderConstantB",
               CallArguments().number(startRegister).pointer(constantData).number(count));
    }
    return setBools(mPixelConstantsB, startRegister, constantData, count);
}

HRESULT Device::GetPixelShaderConstantB(UINT startRegister, BOOL* constantData,
                                        UINT count) noexcept {
    if (logging()) {
        record("GetPixelShaderConstantB",
               CallArguments().number(startRegister).pointer(constantData).number(count));
    }
    return getBools(mPixelConstantsB, startRegister, constantData, count);
}

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) noexcept {
    D3DMATRIX result{};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) {
                sum += a.m[row][k] * b.m[k][column];
            }
            result.m[row][column] = sum;
        }
    }
    return result;
}

} // namespace halv::gfx::detail
