// What a device can create: CheckTextureRequirements and its published forms.
#include "texture/pixel_codec.h"
#include "texture/texture_loader.h"

#include <algorithm>
#include <cstdint>

namespace halv::texture {
namespace {

// Render target, depth stencil, software processing, dynamic, autogenmipmap, displacement map
// and the query bits.
constexpr DWORD kAllowedUsage = 0x001FC613;

bool isPowerOfTwo(std::uint64_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// The smallest power of two at or above value (values above 2^31 stay as they are).
UINT roundUpToPowerOfTwo(UINT value) {
    if (value > 0x80000000u) {
        return value;
    }
    UINT result = 1;
    while (result < value) {
        result <<= 1;
    }
    return result;
}

UINT bitLength(UINT value) {
    UINT bits = 0;
    while (value != 0) {
        ++bits;
        value >>= 1;
    }
    return bits;
}

} // namespace

HRESULT CheckTextureRequirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth,
                                 UINT* levels, DWORD usage, D3DFORMAT* format, D3DPOOL pool,
                                 D3DRESOURCETYPE type) noexcept {
    if (device == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (usage == D3DX_DEFAULT) {
        usage = 0;
    }
    if ((usage & ~kAllowedUsage) != 0 || pool > D3DPOOL_SCRATCH) {
        return D3DERR_INVALIDCALL;
    }
    const bool scratch = pool == D3DPOOL_SCRATCH;

    D3DFORMAT chosen = format != nullptr ? *format : D3DFMT_UNKNOWN;
    if (!scratch) {
        chosen = FindClosestFormat(device, usage, type, formatDescriptor(chosen));
        if (chosen == D3DFMT_UNKNOWN) {
            return D3DERR_NOTAVAILABLE;
        }
    } else if (chosen == D3DFMT_UNKNOWN) {
        chosen = D3DFMT_A8R8G8B8;
    }

    UINT w = width != nullptr ? *width : D3DX_DEFAULT;
    UINT h = height != nullptr ? *height : D3DX_DEFAULT;
    UINT d = depth != nullptr ? *depth : D3DX_DEFAULT;
    if (w != D3DX_DEFAULT) {
        if (h == D3DX_DEFAULT) {
            h = w;
        }
    } else if (h != D3DX_DEFAULT) {
        w = h;
    } else {
        w = 256;
        h = 256;
    }
    w = std::max(w, 1u);
    h = std::max(h, 1u);
    if (type == D3DRTYPE_CUBETEXTURE) {
        w = h = std::max(w, h);
    }
    if (d == D3DX_DEFAULT || d == 0) {
        d = 1;
    }

    const UINT requestedLevels = levels != nullptr ? *levels : 0;
    D3DCAPS9 caps{};
    if (!scratch) {
        const HRESULT hr = device->GetDeviceCaps(&caps);
        if (FAILED(hr)) {
            return hr;
        }
        if (type == D3DRTYPE_VOLUMETEXTURE) {
            w = std::min<UINT>(w, caps.MaxVolumeExtent);
            h = std::min<UINT>(h, caps.MaxVolumeExtent);
            d = std::min<UINT>(d, caps.MaxVolumeExtent);
        } else {
            w = std::min<UINT>(w, caps.MaxTextureWidth);
            h = std::min<UINT>(h, caps.MaxTextureHeight);
        }
        if (type == D3DRTYPE_TEXTURE) {
            const std::uint64_t ratio = (caps.TextureCaps & D3DPTEXTURECAPS_SQUAREONLY) != 0
                                            ? 1
                                            : caps.MaxTextureAspectRatio;
            if (ratio != 0) {
                w = static_cast<UINT>(std::min<std::uint64_t>(w, ratio * h));
                h = static_cast<UINT>(std::min<std::uint64_t>(h, ratio * w));
            }
        }
        const DWORD pow2Bit = type == D3DRTYPE_VOLUMETEXTURE ? D3DPTEXTURECAPS_VOLUMEMAP_POW2
                              : type == D3DRTYPE_CUBETEXTURE ? D3DPTEXTURECAPS_CUBEMAP_POW2
                                                             : D3DPTEXTURECAPS_POW2;
        const bool conditional = requestedLevels == 1 &&
                                 (caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0 &&
                                 !isBlockCompressed(chosen);
        if ((caps.TextureCaps & pow2Bit) != 0 && !conditional) {
            w = roundUpToPowerOfTwo(w);
            h = roundUpToPowerOfTwo(h);
            d = roundUpToPowerOfTwo(d);
        }
    }
    if (isBlockCompressed(chosen)) {
        w = static_cast<UINT>(std::min<std::uint64_t>((std::uint64_t{w} + 3) & ~3ull, 0xFFFFFFFCu));
        h = static_cast<UINT>(std::min<std::uint64_t>((std::uint64_t{h} + 3) & ~3ull, 0xFFFFFFFCu));
    }

    UINT levelCount = 1;
    const DWORD mipBit = type == D3DRTYPE_VOLUMETEXTURE ? D3DPTEXTURECAPS_MIPVOLUMEMAP
                         : type == D3DRTYPE_CUBETEXTURE ? D3DPTEXTURECAPS_MIPCUBEMAP
                                                        : D3DPTEXTURECAPS_MIPMAP;
    const bool singleLevel =
        !scratch && ((caps.TextureCaps & mipBit) == 0 ||
                     ((caps.TextureCaps & D3DPTEXTURECAPS_NONPOW2CONDITIONAL) != 0 &&
                      (!isPowerOfTwo(w) || !isPowerOfTwo(h) || !isPowerOfTwo(d))));
    if (!singleLevel) {
        UINT full = std::max(bitLength(w), bitLength(h));
        if (type == D3DRTYPE_VOLUMETEXTURE) {
            full = std::max(full, bitLength(d));
        }
        levelCount = requestedLevels == 0 || requestedLevels > full ? full : requestedLevels;
        if (levelCount != 1 && (usage & D3DUSAGE_AUTOGENMIPMAP) != 0) {
            levelCount = 0;
        }
    }

    if (width != nullptr) {
        *width = w;
    }
    if (height != nullptr) {
        *height = h;
    }
    if (depth != nullptr) {
        *depth = d;
    }
    if (levels != nullptr) {
        *levels = levelCount;
    }
    if (format != nullptr) {
        *format = chosen;
    }
    return D3D_OK;
}

} // namespace halv::texture

HRESULT D3DXCheckTextureRequirements(IDirect3DDevice9* pDevice, UINT* pWidth, UINT* pHeight,
                                     UINT* pNumMipLevels, DWORD Usage, D3DFORMAT* pFormat,
                                     D3DPOOL Pool) noexcept {
    return halv::texture::CheckTextureRequirements(pDevice, pWidth, pHeight, nullptr, pNumMipLevels,
                                                   Usage, pFormat, Pool, D3DRTYPE_TEXTURE);
}

HRESULT D3DXCheckCubeTextureRequirements(IDirect3DDevice9* pDevice, UINT* pSize,
                                         UINT* pNumMipLevels, DWORD Usage, D3DFORMAT* pFormat,
                                         D3DPOOL Pool) noexcept {
    UINT width = pSize != nullptr ? *pSize : D3DX_DEFAULT;
    UINT height = width;
    const HRESULT hr =
        halv::texture::CheckTextureRequirements(pDevice, &width, &height, nullptr, pNumMipLevels,
                                                Usage, pFormat, Pool, D3DRTYPE_CUBETEXTURE);
    if (SUCCEEDED(hr) && pSize != nullptr) {
        *pSize = width;
    }
    return hr;
}

HRESULT D3DXCheckVolumeTextureRequirements(IDirect3DDevice9* pDevice, UINT* pWidth, UINT* pHeight,
                                           UINT* pDepth, UINT* pNumMipLevels, DWORD Usage,
                                           D3DFORMAT* pFormat, D3DPOOL Pool) noexcept {
    return halv::texture::CheckTextureRequirements(pDevice, pWidth, pHeight, pDepth, pNumMipLevels,
                                                   Usage, pFormat, Pool, D3DRTYPE_VOLUMETEXTURE);
}
