#include "texture/surface_loader.h"

#include "base/com.h"
#include "texture/detail/debug_mute.h"
#include "texture/detail/pixel_codecs.h"
#include "texture/pixel_codec.h"

#include <algorithm>
#include <cstring>

namespace halv::texture {
namespace {

using base::ComRef;

constexpr DWORD kDefaultFilter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;

// A rectangle or box; right, bottom and back exclusive.
struct Region {
    UINT left = 0;
    UINT top = 0;
    UINT right = 0;
    UINT bottom = 0;
    UINT front = 0;
    UINT back = 1;

    bool operator==(const Region&) const = default;
};

// A source rectangle: not negative, not inverted, not empty.
bool regionOfRect(const RECT& rect, Region* out) {
    if (rect.left < 0 || rect.top < 0 || rect.right <= rect.left || rect.bottom <= rect.top) {
        return false;
    }
    *out = {static_cast<UINT>(rect.left),
            static_cast<UINT>(rect.top),
            static_cast<UINT>(rect.right),
            static_cast<UINT>(rect.bottom),
            0,
            1};
    return true;
}

bool regionOfBox(const D3DBOX& box, Region* out) {
    if (box.Right <= box.Left || box.Bottom <= box.Top || box.Back <= box.Front) {
        return false;
    }
    *out = {box.Left, box.Top, box.Right, box.Bottom, box.Front, box.Back};
    return true;
}

bool inside(const Region& region, UINT width, UINT height, UINT depth) {
    return region.right <= width && region.bottom <= height && region.back <= depth;
}

// The destination region: the given one, which must lie inside the resource, or all of it.
template <class Shape, class Convert>
bool destRegion(const Shape* given, Convert convert, UINT width, UINT height, UINT depth,
                Region* out) {
    if (given == nullptr) {
        *out = {0, 0, width, height, 0, depth};
        return true;
    }
    return convert(*given, out) && inside(*out, width, height, depth);
}

// The region actually locked: whole 4x4 blocks for DXTn, whole pairs for the pair formats,
// cut at the resource's edge.
Region lockRegion(const Region& region, D3DFORMAT format, UINT width, UINT height) {
    Region lock = region;
    if (isBlockCompressed(format)) {
        lock.left &= ~3u;
        lock.top &= ~3u;
        lock.right = std::min(width, (region.right + 3) & ~3u);
        lock.bottom = std::min(height, (region.bottom + 3) & ~3u);
    } else if (isPackedPair(format)) {
        lock.left &= ~1u;
        lock.right = std::min(width, (region.right + 1) & ~1u);
    }
    return lock;
}

RECT rectOf(const Region& region) {
    return {static_cast<LONG>(region.left), static_cast<LONG>(region.top),
            static_cast<LONG>(region.right), static_cast<LONG>(region.bottom)};
}

D3DBOX boxOf(const Region& region) {
    return {region.left, region.top, region.right, region.bottom, region.front, region.back};
}

// Bytes from an image's first pixel (or block, or pair) to the region's.
std::size_t offsetOf(D3DFORMAT format, const Region& region, UINT rowPitch, UINT slicePitch) {
    const UINT unit = formatUnitBytes(format);
    std::size_t rowOffset = region.top;
    std::size_t columnOffset = std::size_t{region.left} * unit;
    if (isBlockCompressed(format)) {
        rowOffset = region.top / 4;
        columnOffset = std::size_t{region.left / 4} * unit;
    } else if (isPackedPair(format)) {
        columnOffset = std::size_t{region.left / 2} * unit;
    }
    return std::size_t{region.front} * slicePitch + rowOffset * rowPitch + columnOffset;
}

PixelView viewOf(void* bits, D3DFORMAT format, UINT rowPitch, UINT slicePitch, const Region& region,
                 const PALETTEENTRY* palette, D3DCOLOR colorKey) {
    PixelView view;
    view.pixels = static_cast<BYTE*>(bits);
    view.format = format;
    view.rowPitch = rowPitch;
    view.slicePitch = slicePitch;
    view.left = region.left;
    view.top = region.top;
    view.right = region.right;
    view.bottom = region.bottom;
    view.front = region.front;
    view.back = region.back;
    view.palette = palette;
    view.colorKey = colorKey;
    return view;
}

// A region relative to the corner of the region locked around it.
Region relativeTo(const Region& region, const Region& lock) {
    return {region.left - lock.left,  region.top - lock.top,     region.right - lock.left,
            region.bottom - lock.top, region.front - lock.front, region.back - lock.front};
}

bool samePalettes(const PALETTEENTRY* a, const PALETTEENTRY* b) {
    return a == b ||
           (a != nullptr && b != nullptr && std::memcmp(a, b, 256 * sizeof(PALETTEENTRY)) == 0);
}

// Whether the surface is the only level of a dynamic texture, whose whole-surface writes
// may discard the old contents.
bool soleDynamicLevel(IDirect3DSurface9* surface, const D3DSURFACE_DESC& desc) {
    if ((desc.Usage & D3DUSAGE_DYNAMIC) == 0) {
        return false;
    }
    ComRef<IDirect3DBaseTexture9> texture;
    if (FAILED(surface->GetContainer(IID_IDirect3DBaseTexture9, texture.putVoid())) || !texture) {
        return false;
    }
    return texture->GetLevelCount() == 1;
}

// Copies every row of one locked level into another of the same format and size.
void copyRows(const BYTE* from, UINT fromPitch, UINT fromSlicePitch, BYTE* to, UINT toPitch,
              UINT toSlicePitch, D3DFORMAT format, UINT width, UINT height, UINT depth) {
    const std::size_t bytes = detail::rowBytesOf(format, width);
    const UINT rows = isBlockCompressed(format) ? (height + 3) / 4 : height;
    for (UINT z = 0; z < depth; ++z) {
        for (UINT y = 0; y < rows; ++y) {
            std::memcpy(to + std::size_t{z} * toSlicePitch + std::size_t{y} * toPitch,
                        from + std::size_t{z} * fromSlicePitch + std::size_t{y} * fromPitch, bytes);
        }
    }
}

// A lockable copy of a surface that is both source and destination of a load: a level of a
// system-memory (or, for scratch surfaces, scratch) texture; for a surface that cannot be
// locked, a lockable render target filled with StretchRect.
HRESULT temporaryCopy(IDirect3DSurface9* surface, const D3DSURFACE_DESC& desc,
                      ComRef<IDirect3DSurface9>* copy) {
    ComRef<IDirect3DDevice9> device;
    HRESULT hr = surface->GetDevice(device.put());
    if (FAILED(hr)) {
        return hr;
    }
    D3DLOCKED_RECT from{};
    if (FAILED(surface->LockRect(&from, nullptr, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK))) {
        ComRef<IDirect3DSurface9> target;
        hr = device->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE,
                                        0, TRUE, target.put(), nullptr);
        if (SUCCEEDED(hr)) {
            hr = device->StretchRect(surface, nullptr, target.get(), nullptr, D3DTEXF_NONE);
        }
        if (SUCCEEDED(hr)) {
            *copy = std::move(target);
        }
        return hr;
    }
    ComRef<IDirect3DTexture9> texture;
    hr = device->CreateTexture(desc.Width, desc.Height, 1, 0, desc.Format,
                               desc.Pool == D3DPOOL_SCRATCH ? D3DPOOL_SCRATCH : D3DPOOL_SYSTEMMEM,
                               texture.put(), nullptr);
    if (FAILED(hr) && desc.Pool != D3DPOOL_SCRATCH) {
        hr = device->CreateTexture(desc.Width, desc.Height, 1, 0, desc.Format, D3DPOOL_SCRATCH,
                                   texture.put(), nullptr);
    }
    ComRef<IDirect3DSurface9> level;
    if (SUCCEEDED(hr)) {
        hr = texture->GetSurfaceLevel(0, level.put());
    }
    D3DLOCKED_RECT to{};
    if (SUCCEEDED(hr)) {
        hr = level->LockRect(&to, nullptr, D3DLOCK_NOSYSLOCK);
    }
    if (SUCCEEDED(hr)) {
        copyRows(static_cast<const BYTE*>(from.pBits), static_cast<UINT>(from.Pitch), 0,
                 static_cast<BYTE*>(to.pBits), static_cast<UINT>(to.Pitch), 0, desc.Format,
                 desc.Width, desc.Height, 1);
        level->UnlockRect();
    }
    surface->UnlockRect();
    if (SUCCEEDED(hr)) {
        *copy = std::move(level);
    }
    return hr;
}

HRESULT temporaryCopy(IDirect3DVolume9* volume, const D3DVOLUME_DESC& desc,
                      ComRef<IDirect3DVolume9>* copy) {
    ComRef<IDirect3DDevice9> device;
    HRESULT hr = volume->GetDevice(device.put());
    if (FAILED(hr)) {
        return hr;
    }
    D3DLOCKED_BOX from{};
    hr = volume->LockBox(&from, nullptr, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK);
    if (FAILED(hr)) {
        return hr;
    }
    ComRef<IDirect3DVolumeTexture9> texture;
    hr = device->CreateVolumeTexture(
        desc.Width, desc.Height, desc.Depth, 1, 0, desc.Format,
        desc.Pool == D3DPOOL_SCRATCH ? D3DPOOL_SCRATCH : D3DPOOL_SYSTEMMEM, texture.put(), nullptr);
    if (FAILED(hr) && desc.Pool != D3DPOOL_SCRATCH) {
        hr = device->CreateVolumeTexture(desc.Width, desc.Height, desc.Depth, 1, 0, desc.Format,
                                         D3DPOOL_SCRATCH, texture.put(), nullptr);
    }
    ComRef<IDirect3DVolume9> level;
    if (SUCCEEDED(hr)) {
        hr = texture->GetVolumeLevel(0, level.put());
    }
    D3DLOCKED_BOX to{};
    if (SUCCEEDED(hr)) {
        hr = level->LockBox(&to, nullptr, D3DLOCK_NOSYSLOCK);
    }
    if (SUCCEEDED(hr)) {
        copyRows(static_cast<const BYTE*>(from.pBits), static_cast<UINT>(from.RowPitch),
                 static_cast<UINT>(from.SlicePitch), static_cast<BYTE*>(to.pBits),
                 static_cast<UINT>(to.RowPitch), static_cast<UINT>(to.SlicePitch), desc.Format,
                 desc.Width, desc.Height, desc.Depth);
        level->UnlockBox();
    }
    volume->UnlockBox();
    if (SUCCEEDED(hr)) {
        *copy = std::move(level);
    }
    return hr;
}

// After reading a default-pool resource into another pool: a lost device makes the copy void.
template <class Resource>
HRESULT lostDeviceCheck(Resource* source) {
    ComRef<IDirect3DDevice9> device;
    if (SUCCEEDED(source->GetDevice(device.put())) &&
        device->TestCooperativeLevel() == D3DERR_DEVICELOST) {
        return D3DERR_DEVICELOST;
    }
    return D3D_OK;
}

} // namespace
} // namespace halv::texture

HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface9* pDestSurface, const PALETTEENTRY* pDestPalette,
                                  const RECT* pDestRect, LPCVOID pSrcMemory, D3DFORMAT SrcFormat,
                                  UINT SrcPitch, const PALETTEENTRY* pSrcPalette,
                                  const RECT* pSrcRect, DWORD Filter, D3DCOLOR ColorKey) noexcept {
    using namespace halv::texture;
    if (pDestSurface == nullptr || pSrcMemory == nullptr || pSrcRect == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const DWORD filter = Filter == D3DX_DEFAULT ? kDefaultFilter : Filter;
    Region source;
    if (!detail::filterWordValid(filter) || !regionOfRect(*pSrcRect, &source)) {
        return D3DERR_INVALIDCALL;
    }
    D3DSURFACE_DESC desc{};
    HRESULT hr = pDestSurface->GetDesc(&desc);
    if (FAILED(hr)) {
        return hr;
    }
    Region dest;
    if (!destRegion(pDestRect, regionOfRect, desc.Width, desc.Height, 1, &dest)) {
        return D3DERR_INVALIDCALL;
    }
    if (formatUnitBytes(SrcFormat) == 0 || formatUnitBytes(desc.Format) == 0) {
        return E_FAIL;
    }
    const Region lock = lockRegion(dest, desc.Format, desc.Width, desc.Height);
    DWORD flags = D3DLOCK_NOSYSLOCK;
    if (lock == Region{0, 0, desc.Width, desc.Height, 0, 1} &&
        soleDynamicLevel(pDestSurface, desc)) {
        flags |= D3DLOCK_DISCARD;
    }
    const detail::ScopedDebugMute mute;
    const RECT lockRect = rectOf(lock);
    D3DLOCKED_RECT locked{};
    hr = pDestSurface->LockRect(&locked, &lockRect, flags);
    if (FAILED(hr)) {
        return hr;
    }
    const PixelView destView = viewOf(locked.pBits, desc.Format, static_cast<UINT>(locked.Pitch), 0,
                                      dest, pDestPalette, 0);
    auto* sourceBytes = static_cast<BYTE*>(const_cast<void*>(pSrcMemory));
    const PixelView sourceView = viewOf(sourceBytes + offsetOf(SrcFormat, source, SrcPitch, 0),
                                        SrcFormat, SrcPitch, 0, source, pSrcPalette, ColorKey);
    hr = Blit(destView, sourceView, filter);
    pDestSurface->UnlockRect();
    return hr;
}

HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* pDestSurface,
                                   const PALETTEENTRY* pDestPalette, const RECT* pDestRect,
                                   IDirect3DSurface9* pSrcSurface, const PALETTEENTRY* pSrcPalette,
                                   const RECT* pSrcRect, DWORD Filter, D3DCOLOR ColorKey) noexcept {
    using namespace halv::texture;
    if (pDestSurface == nullptr || pSrcSurface == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const DWORD filter = Filter == D3DX_DEFAULT ? kDefaultFilter : Filter;
    D3DSURFACE_DESC destDesc{};
    D3DSURFACE_DESC sourceDesc{};
    HRESULT hr = pDestSurface->GetDesc(&destDesc);
    if (SUCCEEDED(hr)) {
        hr = pSrcSurface->GetDesc(&sourceDesc);
    }
    if (FAILED(hr)) {
        return hr;
    }
    Region dest;
    Region source;
    if (!destRegion(pDestRect, regionOfRect, destDesc.Width, destDesc.Height, 1, &dest) ||
        !destRegion(pSrcRect, regionOfRect, sourceDesc.Width, sourceDesc.Height, 1, &source)) {
        return D3DERR_INVALIDCALL;
    }
    const detail::ScopedDebugMute mute;

    // The device copies same-size rectangles into default-pool surfaces itself.
    if ((filter & 0xFFFF) != D3DX_FILTER_BOX && ColorKey == 0 &&
        samePalettes(pDestPalette, pSrcPalette) && destDesc.Pool == D3DPOOL_DEFAULT &&
        dest.right - dest.left == source.right - source.left &&
        dest.bottom - dest.top == source.bottom - source.top) {
        ComRef<IDirect3DDevice9> device;
        if (SUCCEEDED(pDestSurface->GetDevice(device.put()))) {
            const RECT sourceRect = rectOf(source);
            const RECT destRect = rectOf(dest);
            if (sourceDesc.Pool == D3DPOOL_SYSTEMMEM) {
                const POINT corner = {destRect.left, destRect.top};
                if (SUCCEEDED(
                        device->UpdateSurface(pSrcSurface, &sourceRect, pDestSurface, &corner))) {
                    return D3D_OK;
                }
            } else if (sourceDesc.Pool == D3DPOOL_DEFAULT &&
                       SUCCEEDED(device->StretchRect(pSrcSurface, &sourceRect, pDestSurface,
                                                     &destRect, D3DTEXF_NONE))) {
                return D3D_OK;
            }
        }
    }

    // A surface loaded from itself is read from a copy.
    ComRef<IDirect3DSurface9> readFrom = ComRef<IDirect3DSurface9>::retain(pSrcSurface);
    if (pSrcSurface == pDestSurface) {
        hr = temporaryCopy(pSrcSurface, sourceDesc, &readFrom);
        if (FAILED(hr)) {
            return hr;
        }
    }
    const Region lock = lockRegion(source, sourceDesc.Format, sourceDesc.Width, sourceDesc.Height);
    const RECT lockRect = rectOf(lock);
    D3DLOCKED_RECT locked{};
    hr = readFrom->LockRect(&locked, &lockRect, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK);
    if (FAILED(hr)) {
        return hr;
    }
    const RECT within = rectOf(relativeTo(source, lock));
    hr = D3DXLoadSurfaceFromMemory(pDestSurface, pDestPalette, pDestRect, locked.pBits,
                                   sourceDesc.Format, static_cast<UINT>(locked.Pitch), pSrcPalette,
                                   &within, filter, ColorKey);
    readFrom->UnlockRect();
    if (SUCCEEDED(hr) && sourceDesc.Pool == D3DPOOL_DEFAULT && destDesc.Pool != D3DPOOL_DEFAULT) {
        hr = lostDeviceCheck(pSrcSurface);
    }
    return hr;
}

HRESULT D3DXLoadVolumeFromMemory(IDirect3DVolume9* pDestVolume, const PALETTEENTRY* pDestPalette,
                                 const D3DBOX* pDestBox, LPCVOID pSrcMemory, D3DFORMAT SrcFormat,
                                 UINT SrcRowPitch, UINT SrcSlicePitch,
                                 const PALETTEENTRY* pSrcPalette, const D3DBOX* pSrcBox,
                                 DWORD Filter, D3DCOLOR ColorKey) noexcept {
    using namespace halv::texture;
    if (pDestVolume == nullptr || pSrcMemory == nullptr || pSrcBox == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const DWORD filter = Filter == D3DX_DEFAULT ? kDefaultFilter : Filter;
    Region source;
    if (!detail::filterWordValid(filter) || !regionOfBox(*pSrcBox, &source)) {
        return D3DERR_INVALIDCALL;
    }
    D3DVOLUME_DESC desc{};
    HRESULT hr = pDestVolume->GetDesc(&desc);
    if (FAILED(hr)) {
        return hr;
    }
    Region dest;
    if (!destRegion(pDestBox, regionOfBox, desc.Width, desc.Height, desc.Depth, &dest)) {
        return D3DERR_INVALIDCALL;
    }
    if (formatUnitBytes(SrcFormat) == 0 || formatUnitBytes(desc.Format) == 0) {
        return E_FAIL;
    }
    const detail::ScopedDebugMute mute;
    const D3DBOX lockBox = boxOf(lockRegion(dest, desc.Format, desc.Width, desc.Height));
    D3DLOCKED_BOX locked{};
    hr = pDestVolume->LockBox(&locked, &lockBox, D3DLOCK_NOSYSLOCK);
    if (FAILED(hr)) {
        return hr;
    }
    // The locked pointer is at the front slice already; the view counts slices from there.
    Region destFromFront = dest;
    destFromFront.back -= dest.front;
    destFromFront.front = 0;
    const PixelView destView =
        viewOf(locked.pBits, desc.Format, static_cast<UINT>(locked.RowPitch),
               static_cast<UINT>(locked.SlicePitch), destFromFront, pDestPalette, 0);
    auto* sourceBytes = static_cast<BYTE*>(const_cast<void*>(pSrcMemory));
    const PixelView sourceView =
        viewOf(sourceBytes + offsetOf(SrcFormat, source, SrcRowPitch, SrcSlicePitch), SrcFormat,
               SrcRowPitch, SrcSlicePitch, source, pSrcPalette, ColorKey);
    hr = Blit(destView, sourceView, filter);
    pDestVolume->UnlockBox();
    return hr;
}

HRESULT D3DXLoadVolumeFromVolume(IDirect3DVolume9* pDestVolume, const PALETTEENTRY* pDestPalette,
                                 const D3DBOX* pDestBox, IDirect3DVolume9* pSrcVolume,
                                 const PALETTEENTRY* pSrcPalette, const D3DBOX* pSrcBox,
                                 DWORD Filter, D3DCOLOR ColorKey) noexcept {
    using namespace halv::texture;
    if (pDestVolume == nullptr || pSrcVolume == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    D3DVOLUME_DESC destDesc{};
    D3DVOLUME_DESC sourceDesc{};
    HRESULT hr = pDestVolume->GetDesc(&destDesc);
    if (SUCCEEDED(hr)) {
        hr = pSrcVolume->GetDesc(&sourceDesc);
    }
    if (FAILED(hr)) {
        return hr;
    }
    Region dest;
    Region source;
    if (!destRegion(pDestBox, regionOfBox, destDesc.Width, destDesc.Height, destDesc.Depth,
                    &dest) ||
        !destRegion(pSrcBox, regionOfBox, sourceDesc.Width, sourceDesc.Height, sourceDesc.Depth,
                    &source)) {
        return D3DERR_INVALIDCALL;
    }
    const detail::ScopedDebugMute mute;
    ComRef<IDirect3DVolume9> readFrom = ComRef<IDirect3DVolume9>::retain(pSrcVolume);
    if (pSrcVolume == pDestVolume) {
        hr = temporaryCopy(pSrcVolume, sourceDesc, &readFrom);
        if (FAILED(hr)) {
            return hr;
        }
    }
    const Region lock = lockRegion(source, sourceDesc.Format, sourceDesc.Width, sourceDesc.Height);
    const D3DBOX lockBox = boxOf(lock);
    D3DLOCKED_BOX locked{};
    hr = readFrom->LockBox(&locked, &lockBox, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK);
    if (FAILED(hr)) {
        return hr;
    }
    const D3DBOX within = boxOf(relativeTo(source, lock));
    hr = D3DXLoadVolumeFromMemory(pDestVolume, pDestPalette, pDestBox, locked.pBits,
                                  sourceDesc.Format, static_cast<UINT>(locked.RowPitch),
                                  static_cast<UINT>(locked.SlicePitch), pSrcPalette, &within,
                                  Filter, ColorKey);
    readFrom->UnlockBox();
    if (SUCCEEDED(hr) && sourceDesc.Pool == D3DPOOL_DEFAULT && destDesc.Pool != D3DPOOL_DEFAULT) {
        hr = lostDeviceCheck(pSrcVolume);
    }
    return hr;
}
