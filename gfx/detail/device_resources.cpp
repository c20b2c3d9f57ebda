// The device's resource calls: creation with its checks, device-side copies, the back buffer.
#include "gfx/detail/device.h"
#include "gfx/detail/format_info.h"
#include "gfx/detail/state_tables.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace halv::gfx::detail {
namespace {

constexpr DWORD kBufferUsages = D3DUSAGE_WRITEONLY | D3DUSAGE_SOFTWAREPROCESSING |
                                D3DUSAGE_DONOTCLIP | D3DUSAGE_POINTS | D3DUSAGE_RTPATCHES |
                                D3DUSAGE_NPATCHES | D3DUSAGE_DYNAMIC;
constexpr DWORD kTextureUsages = D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL | D3DUSAGE_DYNAMIC |
                                 D3DUSAGE_AUTOGENMIPMAP | D3DUSAGE_DMAP |
                                 D3DUSAGE_SOFTWAREPROCESSING;

HRESULT checkBufferRequest(UINT length, DWORD usage, D3DPOOL pool, void* out,
                           HANDLE* sharedHandle) {
    if (out == nullptr || sharedHandle != nullptr || length == 0 || (usage & ~kBufferUsages) != 0 ||
        pool > D3DPOOL_SYSTEMMEM || ((usage & D3DUSAGE_DYNAMIC) != 0 && pool == D3DPOOL_MANAGED)) {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

// A rectangle inside a surface, on block boundaries for block formats.
bool rectInside(const RECT& rect, const D3DSURFACE_DESC& desc, const FormatInfo& format) {
    if (rect.left < 0 || rect.top < 0 || rect.left >= rect.right || rect.top >= rect.bottom ||
        static_cast<UINT>(rect.right) > desc.Width ||
        static_cast<UINT>(rect.bottom) > desc.Height) {
        return false;
    }
    if (format.kind == FormatKind::kBlock) {
        const auto aligned = [](LONG value, UINT edge) {
            return value % 4 == 0 || static_cast<UINT>(value) == edge;
        };
        return rect.left % 4 == 0 && rect.top % 4 == 0 && aligned(rect.right, desc.Width) &&
               aligned(rect.bottom, desc.Height);
    }
    return format.kind != FormatKind::kPacked || rect.left % 2 == 0;
}

RECT wholeSurface(const D3DSURFACE_DESC& desc) {
    return {0, 0, static_cast<LONG>(desc.Width), static_cast<LONG>(desc.Height)};
}

std::size_t byteColumn(const FormatInfo& format, LONG x) {
    switch (format.kind) {
    case FormatKind::kBlock:
        return static_cast<std::size_t>(x / 4) * format.blockBytes;
    case FormatKind::kPacked:
        return static_cast<std::size_t>(x / 2) * format.blockBytes;
    default:
        return static_cast<std::size_t>(x) * (format.bitsPerPixel / 8);
    }
}

std::size_t byteRow(const FormatInfo& format, LONG y, UINT pitch) {
    return static_cast<std::size_t>(format.kind == FormatKind::kBlock ? y / 4 : y) * pitch;
}

// Copies a rectangle between two surfaces of one format, byte rows at a time.
void copyRect(const Surface& source, const RECT& from, Surface& target, LONG toX, LONG toY) {
    const FormatInfo& format = source.format();
    const LONG width = from.right - from.left;
    std::size_t rowBytes = static_cast<std::size_t>(width) * (format.bitsPerPixel / 8);
    if (format.kind == FormatKind::kBlock) {
        rowBytes = static_cast<std::size_t>((width + 3) / 4) * format.blockBytes;
    } else if (format.kind == FormatKind::kPacked) {
        rowBytes = static_cast<std::size_t>((width + 1) / 2) * format.blockBytes;
    }
    const LONG rows = format.kind == FormatKind::kBlock ? (from.bottom - from.top + 3) / 4
                                                        : from.bottom - from.top;
    for (LONG row = 0; row < rows; ++row) {
        const LONG step = format.kind == FormatKind::kBlock ? 4 : 1;
        const std::byte* in = source.bits() +
                              byteRow(format, from.top + row * step, source.pitch()) +
                              byteColumn(format, from.left);
        std::byte* out = target.bits() + byteRow(format, toY + row * step, target.pitch()) +
                         byteColumn(format, toX);
        std::memmove(out, in, rowBytes);
    }
}

bool isArgb32(D3DFORMAT format) {
    return format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8;
}

DWORD readPixel32(const Surface& surface, LONG x, LONG y) {
    DWORD value;
    std::memcpy(&value, surface.bits() + static_cast<std::size_t>(y) * surface.pitch() + x * 4u, 4);
    return surface.desc().Format == D3DFMT_X8R8G8B8 ? value | 0xFF000000u : value;
}

void writePixel32(Surface& surface, LONG x, LONG y, DWORD value) {
    std::memcpy(surface.bits() + static_cast<std::size_t>(y) * surface.pitch() + x * 4u, &value, 4);
}

// Bilinear sample of a 32-bit ARGB surface at (u, v) in source pixels, pixel centres at +0.5.
DWORD sampleLinear(const Surface& surface, const RECT& area, float u, float v) {
    const float fx =
        std::clamp(u - 0.5f, static_cast<float>(area.left), static_cast<float>(area.right - 1));
    const float fy =
        std::clamp(v - 0.5f, static_cast<float>(area.top), static_cast<float>(area.bottom - 1));
    const LONG x0 = static_cast<LONG>(fx);
    const LONG y0 = static_cast<LONG>(fy);
    const LONG x1 = std::min(x0 + 1, area.right - 1);
    const LONG y1 = std::min(y0 + 1, area.bottom - 1);
    const float ax = fx - static_cast<float>(x0);
    const float ay = fy - static_cast<float>(y0);
    const DWORD p00 = readPixel32(surface, x0, y0);
    const DWORD p10 = readPixel32(surface, x1, y0);
    const DWORD p01 = readPixel32(surface, x0, y1);
    const DWORD p11 = readPixel32(surface, x1, y1);
    DWORD result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const auto channel = [shift](DWORD pixel) {
            return static_cast<float>((pixel >> shift) & 0xFF);
        };
        const float top = channel(p00) + (channel(p10) - channel(p00)) * ax;
        const float bottom = channel(p01) + (channel(p11) - channel(p01)) * ax;
        const float value = top + (bottom - top) * ay;
        result |= static_cast<DWORD>(std::clamp(value + 0.5f, 0.0f, 255.0f)) << shift;
    }
    return result;
}

// A D3DCOLOR in a 16- or 32-bit colour format; false for formats ColorFill cannot write.
bool encodeColor(D3DFORMAT format, D3DCOLOR color, DWORD* packed, UINT* bytes) {
    const DWORD a = color >> 24;
    const DWORD r = (color >> 16) & 0xFF;
    const DWORD g = (color >> 8) & 0xFF;
    const DWORD b = color & 0xFF;
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        *packed = color;
        *bytes = 4;
        return true;
    case D3DFMT_A8B8G8R8:
    case D3DFMT_X8B8G8R8:
        *packed = (a << 24) | (b << 16) | (g << 8) | r;
        *bytes = 4;
        return true;
    case D3DFMT_R5G6B5:
        *packed = ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        *bytes = 2;
        return true;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        *packed = ((a >> 7) << 15) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        *bytes = 2;
        return true;
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
        *packed = ((a >> 4) << 12) | ((r >> 4) << 8) | ((g >> 4) << 4) | (b >> 4);
        *bytes = 2;
        return true;
    default:
        return false;
    }
}

} // namespace

HRESULT Device::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                   IDirect3DVertexBuffer9** vertexBuffer,
                                   HANDLE* sharedHandle) noexcept {
    if (logging()) {
        record("CreateVertexBuffer", CallArguments()
                                         .number(length)
                                         .hex(usage)
                                         .hex(fvf)
                                         .number(pool)
                                         .pointer(vertexBuffer)
                                         .pointer(sharedHandle));
    }
    HRESULT hr = checkBufferRequest(length, usage, pool, vertexBuffer, sharedHandle);
    if (FAILED(hr)) {
        return hr;
    }
    if (fvf != 0) {
        // The buffer must hold at least one vertex of its format.
        VertexLayout layout;
        hr = layoutFromFvf(fvf, &layout);
        if (FAILED(hr) || length < layout.fvfStride) {
            return D3DERR_INVALIDCALL;
        }
    }
    base::ComRef<VertexBuffer> created(new (std::nothrow)
                                           VertexBuffer(this, nextObjectId(), usage, pool, fvf));
    if (!created || !created->storage.allocate(length)) {
        return E_OUTOFMEMORY;
    }
    *vertexBuffer = created.detach();
    return D3D_OK;
}

HRESULT Device::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                  IDirect3DIndexBuffer9** indexBuffer,
                                  HANDLE* sharedHandle) noexcept {
    if (logging()) {
        record("CreateIndexBuffer", CallArguments()
                                        .number(length)
                                        .hex(usage)
                                        .number(format)
                                        .number(pool)
                                        .pointer(indexBuffer)
                                        .pointer(sharedHandle));
    }
    const HRESULT hr = checkBufferRequest(length, usage, pool, indexBuffer, sharedHandle);
    if (FAILED(hr)) {
        return hr;
    }
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) {
        return D3DERR_INVALIDCALL;
    }
    base::ComRef<IndexBuffer> created(new (std::nothrow)
                                          IndexBuffer(this, nextObjectId(), usage, pool, format));
    if (!created || !created->storage.allocate(length)) {
        return E_OUTOFMEMORY;
    }
    *indexBuffer = created.detach();
    return D3D_OK;
}

HRESULT Device::checkTextureRequest(D3DRESOURCETYPE type, UINT width, UINT height, UINT depth,
                                    UINT* levels, DWORD usage, D3DFORMAT format,
                                    D3DPOOL pool) noexcept {
    const FormatInfo* info = findFormat(format);
    if (width == 0 || height == 0 || depth == 0 || info == nullptr || pool > D3DPOOL_SCRATCH ||
        (usage & ~kTextureUsages) != 0) {
        return D3DERR_INVALIDCALL;
    }
    const bool autoGen = (usage & D3DUSAGE_AUTOGENMIPMAP) != 0;
    if (((usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) != 0 &&
         pool != D3DPOOL_DEFAULT) ||
        ((usage & D3DUSAGE_DYNAMIC) != 0 && pool == D3DPOOL_MANAGED) ||
        (autoGen && (pool == D3DPOOL_SYSTEMMEM || type == D3DRTYPE_VOLUMETEXTURE || *levels > 1))) {
        return D3DERR_INVALIDCALL;
    }
    // Top-level DXTn textures are whole blocks.
    if (info->kind == FormatKind::kBlock && (width % 4 != 0 || height % 4 != 0)) {
        return D3DERR_INVALIDCALL;
    }
    std::size_t bytes = 0;
    if (!levelBytes(*info, width, height, depth, &bytes)) {
        return D3DERR_INVALIDCALL;
    }
    const UINT full = fullLevelCount(width, height, depth);
    if (*levels > full) {
        return D3DERR_INVALIDCALL;
    }
    HRESULT result = D3D_OK;
    if (pool != D3DPOOL_SCRATCH) {
        // Scratch resources are not for the device: any known format and size.
        result = mDirect3D->formatSupport(usage, type, format);
        if (FAILED(result)) {
            return D3DERR_INVALIDCALL;
        }
        const DWORD caps = mCaps.TextureCaps;
        bool mipmaps = true;
        bool pow2 = false;
        if (type == D3DRTYPE_TEXTURE) {
            if (width > mCaps.MaxTextureWidth || height > mCaps.MaxTextureHeight ||
                ((caps & D3DPTEXTURECAPS_SQUAREONLY) != 0 && width != height)) {
                return D3DERR_INVALIDCALL;
            }
            const std::uint64_t ratio = mCaps.MaxTextureAspectRatio;
            if (ratio != 0 && (width > ratio * height || height > ratio * width)) {
                return D3DERR_INVALIDCALL;
            }
            mipmaps = (caps & D3DPTEXTURECAPS_MIPMAP) != 0;
            // NONPOW2CONDITIONAL allows other sizes for single-level, non-DXTn textures.
            pow2 = (caps & D3DPTEXTURECAPS_POW2) != 0 &&
                   !((caps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0 && *levels == 1 &&
                     info->kind != FormatKind::kBlock);
        } else if (type == D3DRTYPE_CUBETEXTURE) {
            if ((caps & D3DPTEXTURECAPS_CUBEMAP) == 0 || width > mCaps.MaxTextureWidth) {
                return D3DERR_INVALIDCALL;
            }
            mipmaps = (caps & D3DPTEXTURECAPS_MIPCUBEMAP) != 0;
            pow2 = (caps & D3DPTEXTURECAPS_CUBEMAP_POW2) != 0;
        } else {
            if ((caps & D3DPTEXTURECAPS_VOLUMEMAP) == 0 || width > mCaps.MaxVolumeExtent ||
                height > mCaps.MaxVolumeExtent || depth > mCaps.MaxVolumeExtent) {
                return D3DERR_INVALIDCALL;
            }
            mipmaps = (caps & D3DPTEXTURECAPS_MIPVOLUMEMAP) != 0;
            pow2 = (caps & D3DPTEXTURECAPS_VOLUMEMAP_POW2) != 0;
        }
        if (pow2 && (!isPowerOfTwo(width) || !isPowerOfTwo(height) || !isPowerOfTwo(depth))) {
            return D3DERR_INVALIDCALL;
        }
        if (!mipmaps) {
            if (*levels > 1) {
                return D3DERR_INVALIDCALL;
            }
            *levels = 1;
        }
    }
    if (*levels == 0) {
        *levels = full;
    }
    // An automatically filled chain shows one level.
    if (autoGen) {
        *levels = 1;
    }
    return result;
}

HRESULT Device::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                              D3DPOOL pool, IDirect3DTexture9** texture,
                              HANDLE* sharedHandle) noexcept {
    if (logging()) {
        record("CreateTexture", CallArguments()
                                    .number(width)
                                    .number(height)
                                    .number(levels)
                                    .hex(usage)
                                    .number(format)
                                    .number(pool)
                                    .pointer(texture)
                                    .pointer(sharedHandle));
    }
    if (texture == nullptr || sharedHandle != nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const HRESULT hr =
        checkTextureRequest(D3DRTYPE_TEXTURE, width, height, 1, &levels, usage, format, pool);
    if (FAILED(hr)) {
        return hr;
    }
    base::ComRef<Texture> created(new (std::nothrow) Texture(this, nextObjectId(), format, usage,
                                                             pool, width, height, levels));
    if (!created || !created->createSurfaces(this)) {
        return E_OUTOFMEMORY;
    }
    *texture = created.detach();
    return hr;
}

HRESULT Device::CreateVolumeTexture(UINT width, UINT height, UINT depth, UINT levels, DWORD usage,
                                    D3DFORMAT format, D3DPOOL pool,
                                    IDirect3DVolumeTexture9** volumeTexture,
                                    HANDLE* sharedHandle) noexcept {
    if (logging()) {
        record("CreateVolumeTexture", CallArguments()
                                          .number(width)
                                          .number(height)
                                          .number(depth)
                                          .number(levels)
                                          .hex(usage)
                                          .number(format)
                                          .number(pool)
                                          .pointer(volumeTexture)
                                          .pointer(sharedHandle));
    }
    if (volumeTexture == nullptr || sharedHandle != nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const HRESULT hr = checkTextureRequest(D3DRTYPE_VOLUMETEXTURE, width, height, depth, &levels,
                                           usage, format, pool);
    if (FAILED(hr)) {
        return hr;
    }
    base::ComRef<VolumeTexture> created(new (std::nothrow) VolumeTexture(
        this, nextObjectId(), format, usage, pool, width, height, depth, levels));
    if (!created || !created->createVolumes(this)) {
        return E_OUTOFMEMORY;
    }
    *volumeTexture = created.detach();
    return hr;
}

HRESULT Device::CreateCubeTexture(UINT edgeLength, UINT levels, DWORD usage, D3DFORMAT format,
                                  D3DPOOL pool, IDirect3DCubeTexture9** cubeTexture,
                                  HANDLE* sharedHandle) noexcept {
    if (logging()) {
        record("CreateCubeTexture", CallArguments()
                                        .number(edgeLength)
                                        .number(levels)
                                        .hex(usage)
                                        .number(format)
                                        .number(pool)
                                        .pointer(cubeTexture)
                                        .pointer(sharedHandle));
    }
    if (cubeTexture == nullptr || sharedHandle != nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const HRESULT hr = checkTextureRequest(D3DRTYPE_CUBETEXTURE, edgeLength, edgeLength, 1, &levels,
                                           usage, format, pool);
    if (FAILED(hr)) {
        return hr;
    }
    base::ComRef<CubeTexture> created(new (std::nothrow) CubeTexture(
        this, nextObjectId(), format, usage, pool, edgeLength, levels));
    if (!created || !created->createSurfaces(this)) {
        return E_OUTOFMEMORY;
    }
    *cubeTexture = created.detach();
    return hr;
}

HRESULT Device::makeOffscreenSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                     DWORD usage, SurfaceRole role, Surface** surface) noexcept {
    D3DSURFACE_DESC desc = {format, D3DRTYPE_SURFACE, usage, pool, D3DMULTISAMPLE_NONE, 0, width,
                            height};
    if (role == SurfaceRole::kBackBuffer) {
        desc.MultiSampleType = mSwap.multiSample;
    }
    base::ComRef<Surface> created(new (std::nothrow)
                                      Surface(this, nextObjectId(), nullptr, role, desc));
    if (!created || !created->allocate()) {
        return E_OUTOFMEMORY;
    }
    *surface = created.detach();
    return D3D_OK;
}

HRESULT Device::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                   D3DMULTISAMPLE_TYPE multiSample, DWORD multisampleQuality,
                                   BOOL lockable, IDirect3DSurface9** surface,
                                   HANDLE* sharedHandle) noexcept {
    if (logging()) {
        record("CreateRenderTarget", CallArguments()
                                         .number(width)
                                         .number(height)
                                         .number(format)
                                         .number(multiSample)
                                         .number(multisampleQuality)
                                         .number(static_cast<std::uint64_t>(lockable))
                                         .pointer(surface)
                                         .pointer(sharedHandle));
    }
    // Drawing goes to the back buffer only.
    return surface == nullptr ? D3DERR_INVALIDCALL : D3DERR_NOTAVAILABLE;
}

HRESULT Device::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                          D3DMULTISAMPLE_TYPE multiSample, DWORD multisampleQuality,
                                          BOOL discard, IDirect3DSurface9** surface,
                                          HANDLE* sharedHandle) noexcept {
    if (logging()) {
        record("CreateDepthStencilSurface", CallArguments()
                                                .number(width)
                                                .number(height)
                                                .number(format)
                                                .number(multiSample)
                                                .number(multisampleQuality)
                                                .number(static_cast<std::uint64_t>(discard))
                                                .pointer(surface)
                                                .pointer(sharedHandle));
    }
    // The automatic depth buffer is the only one.
    return surface == nullptr ? D3DERR_INVALIDCALL : D3DERR_NOTAVAILABLE;
}

HRESULT Device::CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DSurface9** surface,
                                            HANDLE* sharedHandle) noexcept {
    if (logging()) {
        record("CreateOffscreenPlainSurface", CallArguments()
                                                  .number(width)
                                                  .number(height)
                                                  .number(format)
                                                  .number(pool)
                                                  .pointer(surface)
                                                  .pointer(sharedHandle));
    }
    const FormatInfo* info = findFormat(format);
    std::size_t bytes = 0;
    if (surface == nullptr || sharedHandle != nullptr || info == nullptr ||
        pool == D3DPOOL_MANAGED || pool > D3DPOOL_SCRATCH ||
        !levelBytes(*info, width, height, 1, &bytes) || width == 0 || height == 0 ||
        (pool != D3DPOOL_SCRATCH &&
         FAILED(mDirect3D->formatSupport(0, D3DRTYPE_SURFACE, format)))) {
        return D3DERR_INVALIDCALL;
    }
    Surface* created = nullptr;
    const HRESULT hr =
        makeOffscreenSurface(width, height, format, pool, 0, SurfaceRole::kOffscreen, &created);
    if (SUCCEEDED(hr)) {
        *surface = created;
    }
    return hr;
}

HRESULT Device::UpdateSurface(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                              IDirect3DSurface9* destinationSurface,
                              const POINT* destPoint) noexcept {
    if (logging()) {
        record("UpdateSurface", CallArguments()
                                    .object(sourceSurface)
                                    .rect(sourceRect)
                                    .object(destinationSurface)
                                    .pointer(destPoint));
    }
    Surface* source = ourObject<Surface>(sourceSurface, ObjectKind::kSurface);
    Surface* target = ourObject<Surface>(destinationSurface, ObjectKind::kSurface);
    if (source == nullptr || target == nullptr || source->device() != this ||
        target->device() != this || source->desc().Pool != D3DPOOL_SYSTEMMEM ||
        target->desc().Pool != D3DPOOL_DEFAULT || source->desc().Format != target->desc().Format ||
        source->locked() || target->locked() || source->bits() == nullptr ||
        target->bits() == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const RECT from = sourceRect != nullptr ? *sourceRect : wholeSurface(source->desc());
    const LONG toX = destPoint != nullptr ? destPoint->x : 0;
    const LONG toY = destPoint != nullptr ? destPoint->y : 0;
    const RECT to = {toX, toY, toX + (from.right - from.left), toY + (from.bottom - from.top)};
    if (!rectInside(from, source->desc(), source->format()) ||
        !rectInside(to, target->desc(), target->format())) {
        return D3DERR_INVALIDCALL;
    }
    copyRect(*source, from, *target, toX, toY);
    target->contentChanged();
    return D3D_OK;
}

HRESULT Device::UpdateTexture(IDirect3DBaseTexture9* sourceTexture,
                              IDirect3DBaseTexture9* destinationTexture) noexcept {
    if (logging()) {
        record("UpdateTexture", CallArguments().object(sourceTexture).object(destinationTexture));
    }
    TextureBase* source = textureOf(sourceTexture);
    TextureBase* target = textureOf(destinationTexture);
    if (source == nullptr || target == nullptr || source->owner() != this ||
        target->owner() != this || source->textureKind() != target->textureKind() ||
        source->pool() != D3DPOOL_SYSTEMMEM || target->pool() != D3DPOOL_DEFAULT ||
        source->format() != target->format()) {
        return D3DERR_INVALIDCALL;
    }
    // The destination's top level matches one source level; the chain below it follows.
    UINT skip = 0;
    while (skip < source->levels() && (levelSize(source->width(), skip) != target->width() ||
                                       levelSize(source->height(), skip) != target->height() ||
                                       levelSize(source->depth(), skip) != target->depth())) {
        ++skip;
    }
    if (skip == source->levels() || source->levels() - skip < target->levels()) {
        return D3DERR_INVALIDCALL;
    }
    const FormatInfo* info = findFormat(target->format());
    for (UINT face = 0; face < target->faces(); ++face) {
        for (UINT level = 0; level < target->levels(); ++level) {
            const LevelView from = source->levelView(face, level + skip);
            const LevelView to = target->levelView(face, level);
            std::size_t bytes = 0;
            if (from.bits == nullptr || to.bits == nullptr ||
                !levelBytes(*info, to.width, to.height, to.depth, &bytes)) {
                return D3DERR_INVALIDCALL;
            }
            std::memcpy(const_cast<std::byte*>(to.bits), from.bits, bytes);
        }
    }
    target->contentChanged();
    return D3D_OK;
}

HRESULT Device::GetRenderTargetData(IDirect3DSurface9* renderTarget,
                                    IDirect3DSurface9* destSurface) noexcept {
    if (logging()) {
        record("GetRenderTargetData", CallArguments().object(renderTarget).object(destSurface));
    }
    Surface* source = ourObject<Surface>(renderTarget, ObjectKind::kSurface);
    Surface* target = ourObject<Surface>(destSurface, ObjectKind::kSurface);
    if (source == nullptr || target == nullptr || source->device() != this ||
        target->device() != this || source->role() != SurfaceRole::kBackBuffer ||
        target->desc().Pool != D3DPOOL_SYSTEMMEM || target->locked() ||
        target->desc().Width != source->desc().Width ||
        target->desc().Height != source->desc().Height || !isArgb32(target->desc().Format) ||
        target->bits() == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    BackBufferImage image;
    const HRESULT hr = mRenderer->readBack(&image);
    if (FAILED(hr)) {
        return hr;
    }
    for (UINT y = 0; y < image.height; ++y) {
        std::memcpy(target->bits() + static_cast<std::size_t>(y) * target->pitch(),
                    image.pixels.data() + static_cast<std::size_t>(y) * image.width,
                    image.width * 4u);
    }
    target->contentChanged();
    return D3D_OK;
}

HRESULT Device::GetFrontBufferData(UINT swapChain, IDirect3DSurface9* destSurface) noexcept {
    if (logging()) {
        record("GetFrontBufferData", CallArguments().number(swapChain).object(destSurface));
    }
    return swapChain != 0 || destSurface == nullptr ? D3DERR_INVALIDCALL : D3DERR_NOTAVAILABLE;
}

HRESULT Device::StretchRect(IDirect3DSurface9* sourceSurface, const RECT* sourceRect,
                            IDirect3DSurface9* destSurface, const RECT* destRect,
                            D3DTEXTUREFILTERTYPE filter) noexcept {
    if (logging()) {
        record("StretchRect", CallArguments()
                                  .object(sourceSurface)
                                  .rect(sourceRect)
                                  .object(destSurface)
                                  .rect(destRect)
                                  .named(formatValue(ValueKind::kTextureFilter, filter), filter));
    }
    Surface* source = ourObject<Surface>(sourceSurface, ObjectKind::kSurface);
    Surface* target = ourObject<Surface>(destSurface, ObjectKind::kSurface);
    if (source == nullptr || target == nullptr || source->device() != this ||
        target->device() != this || source->desc().Pool != D3DPOOL_DEFAULT ||
        target->desc().Pool != D3DPOOL_DEFAULT || source->bits() == nullptr ||
        target->bits() == nullptr || source->locked() || target->locked() ||
        filter > D3DTEXF_LINEAR) {
        return D3DERR_INVALIDCALL;
    }
    const D3DFORMAT fromFormat = source->desc().Format;
    const D3DFORMAT toFormat = target->desc().Format;
    if (fromFormat != toFormat && !(isArgb32(fromFormat) && isArgb32(toFormat))) {
        return D3DERR_INVALIDCALL;
    }
    const RECT from = sourceRect != nullptr ? *sourceRect : wholeSurface(source->desc());
    const RECT to = destRect != nullptr ? *destRect : wholeSurface(target->desc());
    if (!rectInside(from, source->desc(), source->format()) ||
        !rectInside(to, target->desc(), target->format())) {
        return D3DERR_INVALIDCALL;
    }
    if (source == target && from.left < to.right && to.left < from.right && from.top < to.bottom &&
        to.top < from.bottom) {
        return D3DERR_INVALIDCALL;
    }
    const LONG fromWidth = from.right - from.left;
    const LONG fromHeight = from.bottom - from.top;
    const LONG toWidth = to.right - to.left;
    const LONG toHeight = to.bottom - to.top;
    if (fromWidth == toWidth && fromHeight == toHeight && fromFormat == toFormat) {
        copyRect(*source, from, *target, to.left, to.top);
    } else if (isArgb32(fromFormat)) {
        const float scaleX = static_cast<float>(fromWidth) / static_cast<float>(toWidth);
        const float scaleY = static_cast<float>(fromHeight) / static_cast<float>(toHeight);
        for (LONG y = 0; y < toHeight; ++y) {
            for (LONG x = 0; x < toWidth; ++x) {
                const float u = from.left + (static_cast<float>(x) + 0.5f) * scaleX;
                const float v = from.top + (static_cast<float>(y) + 0.5f) * scaleY;
                const DWORD pixel =
                    filter == D3DTEXF_LINEAR
                        ? sampleLinear(*source, from, u, v)
                        : readPixel32(*source, std::min(static_cast<LONG>(u), from.right - 1),
                                      std::min(static_cast<LONG>(v), from.bottom - 1));
                writePixel32(*target, to.left + x, to.top + y, pixel);
            }
        }
    } else {
        // Other formats are copied at their own size only.
        return D3DERR_INVALIDCALL;
    }
    target->contentChanged();
    return D3D_OK;
}

HRESULT Device::ColorFill(IDirect3DSurface9* surface, const RECT* rect, D3DCOLOR color) noexcept {
    if (logging()) {
        record("ColorFill", CallArguments().object(surface).rect(rect).hex(color));
    }
    Surface* target = ourObject<Surface>(surface, ObjectKind::kSurface);
    DWORD packed = 0;
    UINT bytes = 0;
    if (target == nullptr || target->device() != this || target->desc().Pool != D3DPOOL_DEFAULT ||
        target->bits() == nullptr || target->locked() ||
        !encodeColor(target->desc().Format, color, &packed, &bytes)) {
        return D3DERR_INVALIDCALL;
    }
    const RECT area = rect != nullptr ? *rect : wholeSurface(target->desc());
    if (!rectInside(area, target->desc(), target->format())) {
        return D3DERR_INVALIDCALL;
    }
    for (LONG y = area.top; y < area.bottom; ++y) {
        std::byte* row = target->bits() + static_cast<std::size_t>(y) * target->pitch();
        for (LONG x = area.left; x < area.right; ++x) {
            std::memcpy(row + static_cast<std::size_t>(x) * bytes, &packed, bytes);
        }
    }
    target->contentChanged();
    return D3D_OK;
}

HRESULT Device::GetBackBuffer(UINT swapChain, UINT backBuffer, D3DBACKBUFFER_TYPE type,
                              IDirect3DSurface9** result) noexcept {
    if (logging()) {
        record("GetBackBuffer",
               CallArguments().number(swapChain).number(backBuffer).number(type).pointer(result));
    }
    if (swapChain != 0 || backBuffer >= mParameters.BackBufferCount || type != 0 ||
        result == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (!mBackBuffer) {
        Surface* created = nullptr;
        const HRESULT hr =
            makeOffscreenSurface(mSwap.width, mSwap.height, mSwap.format, D3DPOOL_DEFAULT,
                                 D3DUSAGE_RENDERTARGET, SurfaceRole::kBackBuffer, &created);
        if (FAILED(hr)) {
            return hr;
        }
        mBackBuffer.reset(created);
    }
    mBackBuffer->AddRef();
    *result = mBackBuffer.get();
    return D3D_OK;
}

HRESULT Device::SetRenderTarget(DWORD renderTargetIndex, IDirect3DSurface9* renderTarget) noexcept {
    if (logging()) {
        record("SetRenderTarget", CallArguments().number(renderTargetIndex).object(renderTarget));
    }
    Surface* target = ourObject<Surface>(renderTarget, ObjectKind::kSurface);
    if (renderTargetIndex != 0 || target == nullptr || target->device() != this ||
        target->role() != SurfaceRole::kBackBuffer) {
        return D3DERR_INVALIDCALL;
    }
    // Setting a render target resets the viewport to its full size.
    mState.viewport = {0, 0, mSwap.width, mSwap.height, 0.0f, 1.0f};
    return D3D_OK;
}

HRESULT Device::GetRenderTarget(DWORD renderTargetIndex,
                                IDirect3DSurface9** renderTarget) noexcept {
    if (logging()) {
        record("GetRenderTarget", CallArguments().number(renderTargetIndex).pointer(renderTarget));
    }
    if (renderTargetIndex != 0 || renderTarget == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const bool wasLogging = std::exchange(mLogging, false);
    const HRESULT hr = GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE{}, renderTarget);
    mLogging = wasLogging;
    return hr;
}

HRESULT Device::SetDepthStencilSurface(IDirect3DSurface9* newZStencil) noexcept {
    if (logging()) {
        record("SetDepthStencilSurface", CallArguments().object(newZStencil));
    }
    Surface* target = ourObject<Surface>(newZStencil, ObjectKind::kSurface);
    // Only the automatic depth buffer exists, and it stays attached.
    if (target == nullptr || target->device() != this ||
        target->role() != SurfaceRole::kDepthStencil) {
        return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

HRESULT Device::GetDepthStencilSurface(IDirect3DSurface9** zStencilSurface) noexcept {
    if (logging()) {
        record("GetDepthStencilSurface", CallArguments().pointer(zStencilSurface));
    }
    if (zStencilSurface == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (mSwap.depthFormat == D3DFMT_UNKNOWN) {
        return D3DERR_NOTFOUND;
    }
    if (!mDepthStencil) {
        Surface* created = nullptr;
        const HRESULT hr =
            makeOffscreenSurface(mSwap.width, mSwap.height, mSwap.depthFormat, D3DPOOL_DEFAULT,
                                 D3DUSAGE_DEPTHSTENCIL, SurfaceRole::kDepthStencil, &created);
        if (FAILED(hr)) {
            return hr;
        }
        mDepthStencil.reset(created);
    }
    mDepthStencil->AddRef();
    *zStencilSurface = mDepthStencil.get();
    return D3D_OK;
}

} // namespace halv::gfx::detail
