// The back end behind a device: it receives calls that the device has already checked, with
// every object resolved to ours.
#pragma once

#include "gfx/detail/buffers.h"
#include "gfx/detail/textures.h"
#include "gfx/inspection.h"

#include <array>
#include <string>
#include <vector>

namespace halv::gfx::detail {

struct StreamBinding {
    VertexBuffer* buffer = nullptr;
    UINT offset = 0;
    UINT stride = 0;
};

// One validated draw.
struct DrawRequest {
    D3DPRIMITIVETYPE type = D3DPT_TRIANGLELIST;
    UINT primitiveCount = 0;
    // Vertices (or indices) the primitives consume.
    UINT elementCount = 0;
    bool indexed = false;
    // Non-indexed: first vertex.
    UINT startVertex = 0;
    // Indexed: vertex fetched = index + baseVertex.
    INT baseVertex = 0;
    UINT startIndex = 0;
    // Indexed: the range of (index + baseVertex) the draw reads.
    UINT minVertex = 0;
    UINT maxVertex = 0;
    const VertexLayout* layout = nullptr;
    std::array<StreamBinding, 16> streams{};
    IndexBuffer* indices = nullptr;
    // Textures bound to samplers 0..15 (null where none).
    std::array<TextureBase*, 16> textures{};
    const DeviceStateSnapshot* state = nullptr;
    // The device's D3DCAPS9::MaxPointSize.
    float capsMaxPointSize = 1.0f;
};

struct ClearRequest {
    // In render-target pixels, already clipped to the viewport (and scissor rectangle).
    std::vector<RECT> rects;
    DWORD flags = 0;
    D3DCOLOR color = 0;
    float z = 1.0f;
    DWORD stencil = 0;
};

// Presentation parameters after CreateDevice filled them in.
struct SwapSetup {
    UINT width = 0;
    UINT height = 0;
    D3DFORMAT format = D3DFMT_X8R8G8B8;
    D3DFORMAT depthFormat = D3DFMT_UNKNOWN;
    D3DMULTISAMPLE_TYPE multiSample = D3DMULTISAMPLE_NONE;
    UINT presentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    HWND window = nullptr;
};

class Renderer {
public:
    virtual ~Renderer() = default;

    virtual void describe(RendererInfo* info) const = 0;
    // The largest point the rasteriser draws, in pixels.
    virtual float maxPointSize() const noexcept = 0;
    virtual HRESULT clear(const ClearRequest& request) noexcept = 0;
    virtual HRESULT draw(const DrawRequest& request) noexcept = 0;
    // Gets ready for draws like this one (uploads, programs, whatever the driver derives from
    // the state) without drawing anything; nothing to do for a renderer without such costs.
    virtual HRESULT prepare(const DrawRequest& /*request*/) noexcept { return D3D_OK; }
    virtual HRESULT present() noexcept = 0;
    // Uploads a texture ahead of its first draw; nothing to do without a GPU copy.
    virtual void preload(TextureBase& /*texture*/) noexcept {}
    // The pixels of an uploaded texture's level, as the texture lays them out in memory (the
    // texture let go of its own copy); D3DERR_NOTAVAILABLE where the renderer holds none.
    virtual HRESULT readTextureLevel(TextureBase& /*texture*/, UINT /*face*/, UINT /*level*/,
                                     std::byte* /*pixels*/) noexcept {
        return D3DERR_NOTAVAILABLE;
    }
    // A8R8G8B8, top row first.
    virtual HRESULT readBack(BackBufferImage* image) noexcept = 0;
};

} // namespace halv::gfx::detail
