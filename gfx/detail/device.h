// Our IDirect3DDevice9: state, resource creation, validation of every call, the call log and
// counters; drawing goes to a Renderer.
#pragma once

#include "gfx/detail/buffers.h"
#include "gfx/detail/direct3d.h"
#include "gfx/detail/renderer.h"
#include "gfx/detail/textures.h"
#include "gfx/inspection.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace halv::gfx::detail {

// Builds the argument text and raw values of one call-log entry.
class CallArguments {
public:
    CallArguments& number(std::uint64_t value);
    CallArguments& signedNumber(std::int64_t value);
    CallArguments& hex(DWORD value);
    CallArguments& named(const std::string& name, std::uint64_t value);
    CallArguments& real(float value);
    CallArguments& object(IUnknown* object);
    CallArguments& pointer(const void* pointer);
    CallArguments& matrix(const D3DMATRIX* matrix);
    CallArguments& rect(const RECT* rect);

    std::string text;
    std::vector<std::uint64_t> values;

private:
    void separate();
};

class Device final : public IDirect3DDevice9, public ObjectCore {
public:
    // Checks the presentation parameters, fills in what they leave to the device and starts
    // the renderer. *device is written only on success.
    static HRESULT create(Direct3D* direct3d, HWND focusWindow, DWORD behaviorFlags,
                          D3DPRESENT_PARAMETERS* parameters, IDirect3DDevice9** device) noexcept;

    ObjectKind kind() const noexcept override { return ObjectKind::kDevice; }
    ObjectId id() const noexcept override { return 0; }
    void releaseCore() noexcept override { Release(); }

    HRESULT QueryInterface(REFIID riid, void** object) noexcept override;
    ULONG AddRef() noexcept override;
    ULONG Release() noexcept override;
    HRESULT TestCooperativeLevel() noexcept override;
    UINT GetAvailableTextureMem() noexcept override;
    HRESULT EvictManagedResources() noexcept override;
    HRESULT GetDirect3D(IDirect3D9** direct3d) noexcept override;
    HRESULT GetDeviceCaps(D3DCAPS9* caps) noexcept override;
    HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) noexcept override;
    HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) noexcept override;
    HRESULT SetCursorProperties(UINT xHotSpot, UINT yHotSpot,
                                IDirect3DSurface9* cursorBitmap) noexcept override;
    void SetCursorPosition(int x, int y, DWORD flags) noexcept override;
    BOOL ShowCursor(BOOL show) noexcept override;
    HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* presentationParameters,
                                      IDirect3DSwapChain9** swapChain) noexcept override;
    HRESULT GetSwapChain(UINT swapChain, IDirect3DSwapChain9** result) noexcept override;
    UINT GetNumberOfSwapChains() noexcept override;
    HRESULT Reset(D3DPRESENT_PARAMETERS* presentationParameters) noexcept override;
    HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                    const RGNDATA* dirtyRegion) noexcept override;
    HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                          IDirect3DSurface9** result) noexcept override;
    HRESULT GetRasterStatus(UINT swapChain, D3DRASTER_STATUS* rasterStatus) noexcept override;
    HRESULT SetDialogBoxMode(BOOL enableDialogs) noexcept override;
    void SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) noexcept override;
    void GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) noexcept override;
    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                          D3DPOOL pool, IDirect3DTexture9** texture,
                          HANDLE* sharedHandle) noexcept override;
    HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                D3DFORMAT format, D3DPOOL pool,
                                IDirect3DVolumeTexture9** volumeTexture,
                                HANDLE* sharedHandle) noexcept override;
    HRESULT CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DCubeTexture9** cubeTexture,
                              HANDLE* sharedHandle) noexcept override;
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer9** vertexBuffer,
                               HANDLE* sharedHandle) noexcept override;
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer9** indexBuffer,
                              HANDLE* sharedHandle) noexcept override;
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                               D3DMULTISAMPLE_TYPE multiSample, DWORD multisampleQuality,
                               BOOL lockable, IDirect3DSurface9** surface,
                               HANDLE* sharedHandle) noexcept override;
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                      D3DMULTISAMPLE_TYPE multiSample, DWORD multisampleQuality,
                                      BOOL discard, IDirect3DSurface9** surface,
                                      HANDLE* sharedHandle) noexcept override;
    HRESULT UpdateSurface(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                          IDirect3DSurface9* destinationSurface,
                          const POINT* destPoint) noexcept override;
    HRESULT UpdateTexture(IDirect3DBaseTexture9* sourceTexture,
                          IDirect3DBaseTexture9* destinationTexture) noexcept override;
    HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget,
                                IDirect3DSurface9* destSurface) noexcept override;
    HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destSurface) noexcept override;
    HRESULT StretchRect(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                        IDirect3DSurface9* destSurface, const RECT* destRect,
                        D3DTEXTUREFILTERTYPE filter) noexcept override;
    HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect,
                      D3DCOLOR color) noexcept override;
    HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DSurface9** surface,
                                        HANDLE* sharedHandle) noexcept override;
    HRESULT SetRenderTarget(DWORD renderTargetIndex,
                            IDirect3DSurface9* renderTarget) noexcept override;
    HRESULT GetRenderTarget(DWORD renderTargetIndex,
                            IDirect3DSurface9** renderTarget) noexcept override;
    HRESULT SetDepthStencilSurface(IDirect3DSurface9* newZStencil) noexcept override;
    HRESULT GetDepthStencilSurface(IDirect3DSurface9** zStencilSurface) noexcept override;
    HRESULT BeginScene() noexcept override;
    HRESULT EndScene() noexcept override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) noexcept override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) noexcept override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) noexcept override;
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state,
                              const D3DMATRIX* matrix) noexcept override;
    HRESULT SetViewport(const D3DVIEWPORT9* viewport) noexcept override;
    HRESULT GetViewport(D3DVIEWPORT9* viewport) noexcept override;
    HRESULT SetMaterial(const D3DMATERIAL9* material) noexcept override;
    HRESULT GetMaterial(D3DMATERIAL9* material) noexcept override;
    HRESULT SetLight(DWORD index, const D3DLIGHT9* light) noexcept override;
    HRESULT GetLight(DWORD index, D3DLIGHT9* light) noexcept override;
    HRESULT LightEnable(DWORD lightIndex, BOOL enable) noexcept override;
    HRESULT GetLightEnable(DWORD index, BOOL* enable) noexcept override;
    HRESULT SetClipPlane(DWORD index, const float* plane) noexcept override;
    HRESULT GetClipPlane(DWORD index, float* plane) noexcept override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) noexcept override;
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) noexcept override;
    HRESULT CreateStateBlock(D3DSTATEBLOCKTYPE type,
                             IDirect3DStateBlock9** stateBlock) noexcept override;
    HRESULT BeginStateBlock() noexcept override;
    HRESULT EndStateBlock(IDirect3DStateBlock9** stateBlock) noexcept override;
    HRESULT SetClipStatus(const D3DCLIPSTATUS9* clipStatus) noexcept override;
    HRESULT GetClipStatus(D3DCLIPSTATUS9* clipStatus) noexcept override;
    HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) noexcept override;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) noexcept override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                 DWORD* value) noexcept override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                 DWORD value) noexcept override;
    HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type,
                            DWORD* value) noexcept override;
    HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) noexcept override;
    HRESULT ValidateDevice(DWORD* numPasses) noexcept override;
    HRESULT SetPaletteEntries(UINT paletteNumber, const PALETTEENTRY* entries) noexcept override;
    HRESULT GetPaletteEntries(UINT paletteNumber, PALETTEENTRY* entries) noexcept override;
    HRESULT SetCurrentTexturePalette(UINT paletteNumber) noexcept override;
    HRESULT GetCurrentTexturePalette(UINT* paletteNumber) noexcept override;
    HRESULT SetScissorRect(const RECT* rect) noexcept override;
    HRESULT GetScissorRect(RECT* rect) noexcept override;
    HRESULT SetSoftwareVertexProcessing(BOOL software) noexcept override;
    BOOL GetSoftwareVertexProcessing() noexcept override;
    HRESULT SetNPatchMode(float segments) noexcept override;
    float GetNPatchMode() noexcept override;
    HRESULT DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                          UINT primitiveCount) noexcept override;
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex, UINT minVertexIndex,
                                 UINT numVertices, UINT startIndex,
                                 UINT primitiveCount) noexcept override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT primitiveCount,
                            const void* vertexStreamZeroData,
                            UINT vertexStreamZeroStride) noexcept override;
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT minVertexIndex,
                                   UINT numVertices, UINT primitiveCount, const void* indexData,
                                   D3DFORMAT indexDataFormat, const void* vertexStreamZeroData,
                                   UINT vertexStreamZeroStride) noexcept override;
    HRESULT ProcessVertices(UINT srcStartIndex, UINT destIndex, UINT vertexCount,
                            IDirect3DVertexBuffer9* destBuffer,
                            IDirect3DVertexDeclaration9* vertexDecl, DWORD flags) noexcept override;
    HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* vertexElements,
                                    IDirect3DVertexDeclaration9** decl) noexcept override;
    HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* decl) noexcept override;
    HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** decl) noexcept override;
    HRESULT SetFVF(DWORD fvf) noexcept override;
    HRESULT GetFVF(DWORD* fvf) noexcept override;
    HRESULT CreateVertexShader(const DWORD* function,
                               IDirect3DVertexShader9** shader) noexcept override;
    HRESULT SetVertexShader(IDirect3DVertexShader9* shader) noexcept override;
    HRESULT GetVertexShader(IDirect3DVertexShader9** shader) noexcept override;
    HRESULT SetVertexShaderConstantF(UINT startRegister, const float* constantData,
                                     UINT vector4fCount) noexcept override;
    HRESULT GetVertexShaderConstantF(UINT startRegister, float* constantData,
                                     UINT vector4fCount) noexcept override;
    HRESULT SetVertexShaderConstantI(UINT startRegister, const int* constantData,
                                     UINT vector4iCount) noexcept override;
    HRESULT GetVertexShaderConstantI(UINT startRegister, int* constantData,
                                     UINT vector4iCount) noexcept override;
    HRESULT SetVertexShaderConstantB(UINT startRegister, const BOOL* constantData,
                                     UINT boolCount) noexcept override;
    HRESULT GetVertexShaderConstantB(UINT startRegister, BOOL* constantData,
                                     UINT boolCount) noexcept override;
    HRESULT SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData,
                            UINT offsetInBytes, UINT stride) noexcept override;
    HRESULT GetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9** streamData,
                            UINT* offsetInBytes, UINT* stride) noexcept override;
    HRESULT SetStreamSourceFreq(UINT streamNumber, UINT frequencyParameter) noexcept override;
    HRESULT GetStreamSourceFreq(UINT streamNumber, UINT* divider) noexcept override;
    HRESULT SetIndices(IDirect3DIndexBuffer9* indexData) noexcept override;
    HRESULT GetIndices(IDirect3DIndexBuffer9** indexData) noexcept override;
    HRESULT CreatePixelShader(const DWORD* function,
                              IDirect3DPixelShader9** shader) noexcept override;
    HRESULT SetPixelShader(IDirect3DPixelShader9* shader) noexcept override;
    HRESULT GetPixelShader(IDirect3DPixelShader9** shader) noexcept override;
    HRESULT SetPixelShaderConstantF(UINT startRegister, const float* constantData,
                                    UINT vector4fCount) noexcept override;
    HRESULT GetPixelShaderConstantF(UINT startRegister, float* constantData,
                                    UINT vector4fCount) noexcept override;
    HRESULT SetPixelShaderConstantI(UINT startRegister, const int* constantData,
                                    UINT vector4iCount) noexcept override;
    HRESULT GetPixelShaderConstantI(UINT startRegister, int* constantData,
                                    UINT vector4iCount) noexcept override;
    HRESULT SetPixelShaderConstantB(UINT startRegister, const BOOL* constantData,
                                    UINT boolCount) noexcept override;
    HRESULT GetPixelShaderConstantB(UINT startRegister, BOOL* constantData,
                                    UINT boolCount) noexcept override;
    HRESULT DrawRectPatch(UINT handle, const float* numSegs,
                          const D3DRECTPATCH_INFO* rectPatchInfo) noexcept override;
    HRESULT DrawTriPatch(UINT handle, const float* numSegs,
                         const D3DTRIPATCH_INFO* triPatchInfo) noexcept override;
    HRESULT DeletePatch(UINT handle) noexcept override;
    HRESULT CreateQuery(D3DQUERYTYPE type, IDirect3DQuery9** query) noexcept override;

    // Kept alive by resources (DeviceLink), separately from the public count.
    void internalAddRef() noexcept { ++mInternalRefs; }
    void internalRelease() noexcept;

    ObjectId nextObjectId() noexcept { return mNextObjectId++; }
    const D3DCAPS9& caps() const noexcept { return mCaps; }
    Direct3D& direct3d() const noexcept { return *mDirect3D.get(); }

    // Inspection (gfx/inspection.h).
    void setLogging(bool enabled) noexcept { mLogging = enabled; }
    const std::vector<CallRecord>& log() const noexcept { return mLog; }
    void clearLog() noexcept { mLog.clear(); }
    const DrawStats& stats() const noexcept { return mStats; }
    void resetStats() noexcept { mStats = DrawStats{}; }
    void setRenderingSkipped(bool skipped) noexcept { mSkipRendering = skipped; }
    HRESULT beginPreparing() noexcept;
    HRESULT endPreparing() noexcept;
    const DeviceStateSnapshot& state() const noexcept { return mState; }
    Renderer& renderer() const noexcept { return *mRenderer; }

private:
    Device(Direct3D* direct3d, const D3DPRESENT_PARAMETERS& parameters,
           const D3DDEVICE_CREATION_PARAMETERS& creation, std::unique_ptr<Renderer> renderer,
           const SwapSetup& swap) noexcept;
    ~Device() override;

    void resetState() noexcept;
    void unbindAll() noexcept;
    void record(const char* method, CallArguments arguments);
    bool logging() const noexcept { return mLogging; }

    // Common checks of texture creation: sizes against caps, format against the profile,
    // usage and pool rules.
    HRESULT checkTextureRequest(D3DRESOURCETYPE type, UINT width, UINT height, UINT depth,
                                UINT* levels, DWORD usage, D3DFORMAT format, D3DPOOL pool) noexcept;
    HRESULT makeOffscreenSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                 DWORD usage, SurfaceRole role, Surface** surface) noexcept;

    // Resolves the bound state into a request and checks it.
    HRESULT prepareDraw(D3DPRIMITIVETYPE type, UINT primitiveCount, DrawRequest* request) noexcept;
    HRESULT submitDraw(DrawRequest& request) noexcept;
    HRESULT drawUser(D3DPRIMITIVETYPE type, UINT minVertex, UINT numVertices, UINT primitiveCount,
                     const void* indices, D3DFORMAT indexFormat, const void* vertices,
                     UINT stride) noexcept;

    ULONG mPublicRefs = 1;
    ULONG mInternalRefs = 0;
    base::ComRef<Direct3D> mDirect3D;
    D3DPRESENT_PARAMETERS mParameters;
    D3DDEVICE_CREATION_PARAMETERS mCreation;
    D3DCAPS9 mCaps;
    std::unique_ptr<Renderer> mRenderer;
    SwapSetup mSwap;
    ObjectId mNextObjectId = 1;

    DeviceStateSnapshot mState;
    std::array<base::ComRef<IDirect3DBaseTexture9>, DeviceStateSnapshot::kSamplerCount> mTextures;
    std::array<base::ComRef<VertexBuffer>, 16> mStreams;
    base::ComRef<IndexBuffer> mIndices;
    // The declaration draws read: the one set, or the device's own for the FVF code.
    base::ComRef<VertexDeclaration> mDeclaration;
    std::map<DWORD, base::ComRef<VertexDeclaration>> mFvfDeclarations;
    std::map<UINT, std::array<PALETTEENTRY, 256>> mPalettes;
    std::vector<std::array<float, 4>> mVertexConstantsF;
    std::vector<std::array<int, 4>> mVertexConstantsI;
    std::vector<BOOL> mVertexConstantsB;
    std::vector<std::array<float, 4>> mPixelConstantsF;
    std::vector<std::array<int, 4>> mPixelConstantsI;
    std::vector<BOOL> mPixelConstantsB;
    base::ComRef<Surface> mBackBuffer;
    base::ComRef<Surface> mDepthStencil;
    base::ComRef<VertexBuffer> mUserVertices;
    base::ComRef<IndexBuffer> mUserIndices;
    bool mInScene = false;
    BOOL mCursorVisible = FALSE;

    bool mLogging = false;
    // Clear, draws and Present are checked and counted but not carried out.
    bool mSkipRendering = false;
    // Between beginPreparing and endPreparing: what to restore, and draws only prepare.
    struct PreparingSave {
        DeviceStateSnapshot state;
        std::array<base::ComRef<IDirect3DBaseTexture9>, DeviceStateSnapshot::kSamplerCount>
            textures;
        std::array<base::ComRef<VertexBuffer>, 16> streams;
        base::ComRef<IndexBuffer> indices;
        base::ComRef<VertexDeclaration> declaration;
        bool inScene = false;
        DrawStats stats;
    };
    std::unique_ptr<PreparingSave> mPreparing;
    std::vector<CallRecord> mLog;
    DrawStats mStats;
};

// a * b for row vectors (a applied first): SetTransform's multiply and the renderer's world-view.
D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) noexcept;

// Our device behind a published pointer, or null.
Device* deviceOf(IDirect3DDevice9* device) noexcept;

// The renderer without GL; the GL renderers come from the GL side (gfx/detail/gl_backend.h).
std::unique_ptr<Renderer> createNullRenderer(const SwapSetup& swap);

} // namespace halv::gfx::detail
