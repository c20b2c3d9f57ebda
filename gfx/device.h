// IDirect3D9 and IDirect3DDevice9 in their published slot order, and Direct3DCreate9.
// Which renderer a device draws with (OpenGL on a window, OpenGL headless, or none) is chosen
// through gfx/device_factory.h; the interface is the same for all of them.
#pragma once

#include "base/com.h"
#include "gfx/caps.h"
#include "gfx/device_types.h"
#include "gfx/resources.h"

// Interfaces this layer never creates; they appear only behind pointers.
struct IDirect3DSwapChain9;
struct IDirect3DStateBlock9;
struct IDirect3DQuery9;
struct IDirect3DVertexShader9;
struct IDirect3DPixelShader9;

inline constexpr IID IID_IDirect3D9 = {
    0x48A1C0D2, 0x7E35, 0x4B6C, {0x9A, 0x01, 0x5D, 0x3E, 0x8B, 0x11, 0x00, 0x10}};
inline constexpr IID IID_IDirect3DDevice9 = {
    0x48A1C0D2, 0x7E35, 0x4B6C, {0x9A, 0x01, 0x5D, 0x3E, 0x8B, 0x11, 0x00, 0x11}};

// The adapter object. There is one adapter (D3DADAPTER_DEFAULT) and one device type
// (D3DDEVTYPE_HAL; REF and SW answer D3DERR_NOTAVAILABLE); every other adapter number is
// D3DERR_INVALIDCALL.
struct IDirect3D9 : IUnknown {
    virtual HRESULT RegisterSoftwareDevice(void* initializeFunction) noexcept = 0;
    virtual UINT GetAdapterCount() noexcept = 0;
    virtual HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags,
                                         D3DADAPTER_IDENTIFIER9* identifier) noexcept = 0;
    // One mode: the current display mode, for its format.
    virtual UINT GetAdapterModeCount(UINT adapter, D3DFORMAT format) noexcept = 0;
    virtual HRESULT EnumAdapterModes(UINT adapter, D3DFORMAT format, UINT mode,
                                     D3DDISPLAYMODE* displayMode) noexcept = 0;
    virtual HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* displayMode) noexcept = 0;
    virtual HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                    D3DFORMAT backBufferFormat, BOOL windowed) noexcept = 0;
    virtual HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE deviceType, D3DFORMAT adapterFormat,
                                      DWORD usage, D3DRESOURCETYPE resourceType,
                                      D3DFORMAT checkFormat) noexcept = 0;
    // Quality levels: 1 for every supported type.
    virtual HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE deviceType,
                                               D3DFORMAT surfaceFormat, BOOL windowed,
                                               D3DMULTISAMPLE_TYPE multiSampleType,
                                               DWORD* qualityLevels) noexcept = 0;
    virtual HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE deviceType,
                                           D3DFORMAT adapterFormat, D3DFORMAT renderTargetFormat,
                                           D3DFORMAT depthStencilFormat) noexcept = 0;
    virtual HRESULT CheckDeviceFormatConversion(UINT adapter, D3DDEVTYPE deviceType,
                                                D3DFORMAT sourceFormat,
                                                D3DFORMAT targetFormat) noexcept = 0;
    virtual HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE deviceType, D3DCAPS9* caps) noexcept = 0;
    // Null: there is no monitor handle on this platform.
    virtual HMONITOR GetAdapterMonitor(UINT adapter) noexcept = 0;
    // The focus window (or hDeviceWindow) must name a platform window when the device draws
    // on one. Fills in the zero back-buffer size (the window's client size, 640x480 without a
    // window), a D3DFMT_UNKNOWN back-buffer format (the display format) and a zero
    // BackBufferCount (1) in *presentationParameters, as published. D3DERR_INVALIDCALL for
    // bad parameters, D3DERR_NOTAVAILABLE when the renderer cannot start (no GL).
    virtual HRESULT CreateDevice(UINT adapter, D3DDEVTYPE deviceType, HWND focusWindow,
                                 DWORD behaviorFlags, D3DPRESENT_PARAMETERS* presentationParameters,
                                 IDirect3DDevice9** returnedDeviceInterface) noexcept = 0;
};

// The device. State set through it persists until set again. Calls this layer does not carry
// out answer as noted: swap chains, state blocks, shaders, patches, queries, extra render
// targets and clip planes (MaxUserClipPlanes is 0) are D3DERR_NOTAVAILABLE or
// D3DERR_INVALIDCALL.
struct IDirect3DDevice9 : IUnknown {
    virtual HRESULT TestCooperativeLevel() noexcept = 0;
    virtual UINT GetAvailableTextureMem() noexcept = 0;
    virtual HRESULT EvictManagedResources() noexcept = 0;
    virtual HRESULT GetDirect3D(IDirect3D9** direct3d) noexcept = 0;
    virtual HRESULT GetDeviceCaps(D3DCAPS9* caps) noexcept = 0;
    virtual HRESULT GetDisplayMode(UINT swapChain, D3DDISPLAYMODE* mode) noexcept = 0;
    virtual HRESULT GetCreationParameters(D3DDEVICE_CREATION_PARAMETERS* parameters) noexcept = 0;
    virtual HRESULT SetCursorProperties(UINT xHotSpot, UINT yHotSpot,
                                        IDirect3DSurface9* cursorBitmap) noexcept = 0;
    virtual void SetCursorPosition(int x, int y, DWORD flags) noexcept = 0;
    virtual BOOL ShowCursor(BOOL show) noexcept = 0;
    virtual HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS* presentationParameters,
                                              IDirect3DSwapChain9** swapChain) noexcept = 0;
    virtual HRESULT GetSwapChain(UINT swapChain, IDirect3DSwapChain9** result) noexcept = 0;
    virtual UINT GetNumberOfSwapChains() noexcept = 0;
    virtual HRESULT Reset(D3DPRESENT_PARAMETERS* presentationParameters) noexcept = 0;
    virtual HRESULT Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                            const RGNDATA* dirtyRegion) noexcept = 0;
    virtual HRESULT GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                                  IDirect3DSurface9** result) noexcept = 0;
    virtual HRESULT GetRasterStatus(UINT swapChain, D3DRASTER_STATUS* rasterStatus) noexcept = 0;
    virtual HRESULT SetDialogBoxMode(BOOL enableDialogs) noexcept = 0;
    virtual void SetGammaRamp(UINT swapChain, DWORD flags, const D3DGAMMARAMP* ramp) noexcept = 0;
    virtual void GetGammaRamp(UINT swapChain, D3DGAMMARAMP* ramp) noexcept = 0;
    virtual HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage,
                                  D3DFORMAT format, D3DPOOL pool, IDirect3DTexture9** texture,
                                  HANDLE* sharedHandle) noexcept = 0;
    virtual HRESULT CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels,
                                        DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                        IDirect3DVolumeTexture9** volumeTexture,
                                        HANDLE* sharedHandle) noexcept = 0;
    virtual HRESULT CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format,
                                      D3DPOOL pool, IDirect3DCubeTexture9** cubeTexture,
                                      HANDLE* sharedHandle) noexcept = 0;
    virtual HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                       IDirect3DVertexBuffer9** vertexBuffer,
                                       HANDLE* sharedHandle) noexcept = 0;
    virtual HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                      IDirect3DIndexBuffer9** indexBuffer,
                                      HANDLE* sharedHandle) noexcept = 0;
    virtual HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                       D3DMULTISAMPLE_TYPE multiSample, DWORD multisampleQuality,
                                       BOOL lockable, IDirect3DSurface9** surface,
                                       HANDLE* sharedHandle) noexcept = 0;
    virtual HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                              D3DMULTISAMPLE_TYPE multiSample,
                                              DWORD multisampleQuality, BOOL discard,
                                              IDirect3DSurface9** surface,
                                              HANDLE* sharedHandle) noexcept = 0;
    // System-memory source, default-pool destination, same format.
    virtual HRESULT UpdateSurface(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                                  IDirect3DSurface9* destinationSurface,
                                  const POINT* destPoint) noexcept = 0;
    // System-memory source, default-pool destination, same type and format; the destination's
    // top level must match one of the source's levels.
    virtual HRESULT UpdateTexture(IDirect3DBaseTexture9* sourceTexture,
                                  IDirect3DBaseTexture9* destinationTexture) noexcept = 0;
    // The back buffer into a system-memory surface of its size and format.
    virtual HRESULT GetRenderTargetData(IDirect3DSurface9* renderTarget,
                                        IDirect3DSurface9* destSurface) noexcept = 0;
    virtual HRESULT GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destSurface) noexcept = 0;
    // Between default-pool surfaces of one format (texture levels and offscreen surfaces),
    // with D3DTEXF_NONE, POINT or LINEAR.
    virtual HRESULT StretchRect(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                                IDirect3DSurface9* destSurface, const RECT* destRect,
                                D3DTEXTUREFILTERTYPE filter) noexcept = 0;
    virtual HRESULT ColorFill(IDirect3DSurface9* surface, const RECT* rect,
                              D3DCOLOR color) noexcept = 0;
    virtual HRESULT CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format,
                                                D3DPOOL pool, IDirect3DSurface9** surface,
                                                HANDLE* sharedHandle) noexcept = 0;
    // Only the back buffer can be render target 0.
    virtual HRESULT SetRenderTarget(DWORD renderTargetIndex,
                                    IDirect3DSurface9* renderTarget) noexcept = 0;
    virtual HRESULT GetRenderTarget(DWORD renderTargetIndex,
                                    IDirect3DSurface9** renderTarget) noexcept = 0;
    virtual HRESULT SetDepthStencilSurface(IDirect3DSurface9* newZStencil) noexcept = 0;
    virtual HRESULT GetDepthStencilSurface(IDirect3DSurface9** zStencilSurface) noexcept = 0;
    virtual HRESULT BeginScene() noexcept = 0;
    virtual HRESULT EndScene() noexcept = 0;
    // No rectangles: the whole viewport. Clears are clipped to the viewport.
    virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                          DWORD stencil) noexcept = 0;
    virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) noexcept = 0;
    virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) noexcept = 0;
    // New transform = matrix x current.
    virtual HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE state,
                                      const D3DMATRIX* matrix) noexcept = 0;
    virtual HRESULT SetViewport(const D3DVIEWPORT9* viewport) noexcept = 0;
    virtual HRESULT GetViewport(D3DVIEWPORT9* viewport) noexcept = 0;
    virtual HRESULT SetMaterial(const D3DMATERIAL9* material) noexcept = 0;
    virtual HRESULT GetMaterial(D3DMATERIAL9* material) noexcept = 0;
    virtual HRESULT SetLight(DWORD index, const D3DLIGHT9* light) noexcept = 0;
    virtual HRESULT GetLight(DWORD index, D3DLIGHT9* light) noexcept = 0;
    // Enabling an index never set creates the default light (white directional along +z).
    virtual HRESULT LightEnable(DWORD lightIndex, BOOL enable) noexcept = 0;
    virtual HRESULT GetLightEnable(DWORD index, BOOL* enable) noexcept = 0;
    virtual HRESULT SetClipPlane(DWORD index, const float* plane) noexcept = 0;
    virtual HRESULT GetClipPlane(DWORD index, float* plane) noexcept = 0;
    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) noexcept = 0;
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) noexcept = 0;
    virtual HRESULT CreateStateBlock(D3DSTATEBLOCKTYPE type,
                                     IDirect3DStateBlock9** stateBlock) noexcept = 0;
    virtual HRESULT BeginStateBlock() noexcept = 0;
    virtual HRESULT EndStateBlock(IDirect3DStateBlock9** stateBlock) noexcept = 0;
    virtual HRESULT SetClipStatus(const D3DCLIPSTATUS9* clipStatus) noexcept = 0;
    virtual HRESULT GetClipStatus(D3DCLIPSTATUS9* clipStatus) noexcept = 0;
    virtual HRESULT GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) noexcept = 0;
    // The device holds a reference to the bound texture. System-memory and scratch textures
    // cannot be bound.
    virtual HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) noexcept = 0;
    virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                         DWORD* value) noexcept = 0;
    virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                                         DWORD value) noexcept = 0;
    virtual HRESULT GetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type,
                                    DWORD* value) noexcept = 0;
    virtual HRESULT SetSamplerState(DWORD sampler, D3DSAMPLERSTATETYPE type,
                                    DWORD value) noexcept = 0;
    virtual HRESULT ValidateDevice(DWORD* numPasses) noexcept = 0;
    virtual HRESULT SetPaletteEntries(UINT paletteNumber, const PALETTEENTRY* entries) noexcept = 0;
    virtual HRESULT GetPaletteEntries(UINT paletteNumber, PALETTEENTRY* entries) noexcept = 0;
    virtual HRESULT SetCurrentTexturePalette(UINT paletteNumber) noexcept = 0;
    virtual HRESULT GetCurrentTexturePalette(UINT* paletteNumber) noexcept = 0;
    virtual HRESULT SetScissorRect(const RECT* rect) noexcept = 0;
    virtual HRESULT GetScissorRect(RECT* rect) noexcept = 0;
    virtual HRESULT SetSoftwareVertexProcessing(BOOL software) noexcept = 0;
    virtual BOOL GetSoftwareVertexProcessing() noexcept = 0;
    virtual HRESULT SetNPatchMode(float segments) noexcept = 0;
    virtual float GetNPatchMode() noexcept = 0;
    // Draws are validated: inside BeginScene/EndScene, a vertex format set, every stream the
    // format reads bound and large enough, indices inside the bound vertices, no buffer
    // locked. A failed check is D3DERR_INVALIDCALL and draws nothing.
    virtual HRESULT DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                                  UINT primitiveCount) noexcept = 0;
    virtual HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex,
                                         UINT minVertexIndex, UINT numVertices, UINT startIndex,
                                         UINT primitiveCount) noexcept = 0;
    // Stream 0 and the index buffer are unset afterwards.
    virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT primitiveCount,
                                    const void* vertexStreamZeroData,
                                    UINT vertexStreamZeroStride) noexcept = 0;
    virtual HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT minVertexIndex,
                                           UINT numVertices, UINT primitiveCount,
                                           const void* indexData, D3DFORMAT indexDataFormat,
                                           const void* vertexStreamZeroData,
                                           UINT vertexStreamZeroStride) noexcept = 0;
    virtual HRESULT ProcessVertices(UINT srcStartIndex, UINT destIndex, UINT vertexCount,
                                    IDirect3DVertexBuffer9* destBuffer,
                                    IDirect3DVertexDeclaration9* vertexDecl,
                                    DWORD flags) noexcept = 0;
    virtual HRESULT CreateVertexDeclaration(const D3DVERTEXELEMENT9* vertexElements,
                                            IDirect3DVertexDeclaration9** decl) noexcept = 0;
    // SetFVF and SetVertexDeclaration replace each other.
    virtual HRESULT SetVertexDeclaration(IDirect3DVertexDeclaration9* decl) noexcept = 0;
    virtual HRESULT GetVertexDeclaration(IDirect3DVertexDeclaration9** decl) noexcept = 0;
    virtual HRESULT SetFVF(DWORD fvf) noexcept = 0;
    virtual HRESULT GetFVF(DWORD* fvf) noexcept = 0;
    virtual HRESULT CreateVertexShader(const DWORD* function,
                                       IDirect3DVertexShader9** shader) noexcept = 0;
    virtual HRESULT SetVertexShader(IDirect3DVertexShader9* shader) noexcept = 0;
    virtual HRESULT GetVertexShader(IDirect3DVertexShader9** shader) noexcept = 0;
    virtual HRESULT SetVertexShaderConstantF(UINT startRegister, const float* constantData,
                                             UINT vector4fCount) noexcept = 0;
    virtual HRESULT GetVertexShaderConstantF(UINT startRegister, float* constantData,
                                             UINT vector4fCount) noexcept = 0;
    virtual HRESULT SetVertexShaderConstantI(UINT startRegister, const int* constantData,
                                             UINT vector4iCount) noexcept = 0;
    virtual HRESULT GetVertexShaderConstantI(UINT startRegister, int* constantData,
                                             UINT vector4iCount) noexcept = 0;
    virtual HRESULT SetVertexShaderConstantB(UINT startRegister, const BOOL* constantData,
                                             UINT boolCount) noexcept = 0;
    virtual HRESULT GetVertexShaderConstantB(UINT startRegister, BOOL* constantData,
                                             UINT boolCount) noexcept = 0;
    // The device holds a reference to the bound buffer; a null buffer unbinds the stream.
    virtual HRESULT SetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9* streamData,
                                    UINT offsetInBytes, UINT stride) noexcept = 0;
    virtual HRESULT GetStreamSource(UINT streamNumber, IDirect3DVertexBuffer9** streamData,
                                    UINT* offsetInBytes, UINT* stride) noexcept = 0;
    // Only the default frequency 1 (no instancing).
    virtual HRESULT SetStreamSourceFreq(UINT streamNumber, UINT frequencyParameter) noexcept = 0;
    virtual HRESULT GetStreamSourceFreq(UINT streamNumber, UINT* divider) noexcept = 0;
    virtual HRESULT SetIndices(IDirect3DIndexBuffer9* indexData) noexcept = 0;
    virtual HRESULT GetIndices(IDirect3DIndexBuffer9** indexData) noexcept = 0;
    virtual HRESULT CreatePixelShader(const DWORD* function,
                                      IDirect3DPixelShader9** shader) noexcept = 0;
    virtual HRESULT SetPixelShader(IDirect3DPixelShader9* shader) noexcept = 0;
    virtual HRESULT GetPixelShader(IDirect3DPixelShader9** shader) noexcept = 0;
    virtual HRESULT SetPixelShaderConstantF(UINT startRegister, const float* constantData,
                                            UINT vector4fCount) noexcept = 0;
    virtual HRESULT GetPixelShaderConstantF(UINT startRegister, float* constantData,
                                            UINT vector4fCount) noexcept = 0;
    virtual HRESULT SetPixelShaderConstantI(UINT startRegister, const int* constantData,
                                            UINT vector4iCount) noexcept = 0;
    virtual HRESULT GetPixelShaderConstantI(UINT startRegister, int* constantData,
                                            UINT vector4iCount) noexcept = 0;
    virtual HRESULT SetPixelShaderConstantB(UINT startRegister, const BOOL* constantData,
                                            UINT boolCount) noexcept = 0;
    virtual HRESULT GetPixelShaderConstantB(UINT startRegister, BOOL* constantData,
                                            UINT boolCount) noexcept = 0;
    virtual HRESULT DrawRectPatch(UINT handle, const float* numSegs,
                                  const D3DRECTPATCH_INFO* rectPatchInfo) noexcept = 0;
    virtual HRESULT DrawTriPatch(UINT handle, const float* numSegs,
                                 const D3DTRIPATCH_INFO* triPatchInfo) noexcept = 0;
    virtual HRESULT DeletePatch(UINT handle) noexcept = 0;
    virtual HRESULT CreateQuery(D3DQUERYTYPE type, IDirect3DQuery9** query) noexcept = 0;
};

// The adapter object for D3D_SDK_VERSION (32; 31 is accepted too), with one reference; null
// for any other version. Its renderer and profile come from the process-wide options of
// gfx/device_factory.h (by default: OpenGL on the device window, headless OpenGL without one).
IDirect3D9* Direct3DCreate9(UINT sdkVersion) noexcept;
