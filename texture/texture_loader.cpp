#include "texture/texture_loader.h"

#include "base/com.h"
#include "texture/detail/debug_mute.h"
#include "texture/image_decoder.h"
#include "texture/surface_loader.h"

#include <algorithm>
#include <cstring>

namespace halv::texture {
namespace {

using base::ComRef;

constexpr DWORD kFilterKindMask = 0xFFFF;
// Usage bits 0x8000-0x100000 only ask CheckDeviceFormat questions; creation drops them.
constexpr DWORD kCreationUsageMask = 0xFFE07FFF;

// The smallest power of two at or above value, counting up from 1.
UINT nextPowerOfTwo(UINT value) {
    if (value > 0x80000000u) {
        return value;
    }
    UINT result = 1;
    while (result < value) {
        result <<= 1;
    }
    return result;
}

// A size argument against the image's size.
UINT resolveSize(UINT requested, UINT imageValue) {
    if (requested == D3DX_DEFAULT_NONPOW2 || requested == D3DX_FROM_FILE) {
        return imageValue;
    }
    if (requested == 0 || requested == D3DX_DEFAULT) {
        return nextPowerOfTwo(imageValue);
    }
    return requested;
}

DWORD asDword(const PALETTEENTRY& entry) {
    return static_cast<DWORD>(entry.peRed) | (static_cast<DWORD>(entry.peGreen) << 8) |
           (static_cast<DWORD>(entry.peBlue) << 16) | (static_cast<DWORD>(entry.peFlags) << 24);
}

// Whether every entry i is opaque grey i.
bool isGreyRamp(const PALETTEENTRY* palette) {
    for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<BYTE>(i);
        const PALETTEENTRY& entry = palette[i];
        if (entry.peRed != level || entry.peGreen != level || entry.peBlue != level ||
            entry.peFlags != 255) {
            return false;
        }
    }
    return true;
}

// Whether every entry k is the opaque R3G3B2 colour k.
bool isR3G3B2Palette(const PALETTEENTRY* palette) {
    static constexpr BYTE kThreeBits[8] = {0, 36, 73, 109, 146, 182, 219, 255};
    static constexpr BYTE kTwoBits[4] = {0, 85, 170, 255};
    for (int k = 0; k < 256; ++k) {
        const PALETTEENTRY& entry = palette[k];
        if (entry.peRed != kThreeBits[k >> 5] || entry.peGreen != kThreeBits[(k >> 2) & 7] ||
            entry.peBlue != kTwoBits[k & 3] || entry.peFlags != 255) {
            return false;
        }
    }
    return true;
}

// The texture being built and access to its levels as surfaces or volumes.
struct Target {
    D3DRESOURCETYPE type = D3DRTYPE_TEXTURE;
    ComRef<IDirect3DTexture9> texture;
    ComRef<IDirect3DCubeTexture9> cube;
    ComRef<IDirect3DVolumeTexture9> volume;

    IDirect3DBaseTexture9* base() const {
        switch (type) {
        case D3DRTYPE_CUBETEXTURE:
            return cube.get();
        case D3DRTYPE_VOLUMETEXTURE:
            return volume.get();
        default:
            return texture.get();
        }
    }

    HRESULT create(IDirect3DDevice9* device, UINT width, UINT height, UINT depth, UINT levels,
                   DWORD usage, D3DFORMAT format, D3DPOOL pool) {
        switch (type) {
        case D3DRTYPE_CUBETEXTURE:
            return device->CreateCubeTexture(width, levels, usage, format, pool, cube.put(),
                                             nullptr);
        case D3DRTYPE_VOLUMETEXTURE:
            return device->CreateVolumeTexture(width, height, depth, levels, usage, format, pool,
                                               volume.put(), nullptr);
        default:
            return device->CreateTexture(width, height, levels, usage, format, pool, texture.put(),
                                         nullptr);
        }
    }

    // Loads one level (of one cube face) from an image record.
    HRESULT load(UINT face, UINT level, const DecodedImage& record, D3DFORMAT recordFormat,
                 PALETTEENTRY* palette, const PALETTEENTRY* sourcePalette, DWORD filter,
                 D3DCOLOR colorKey) const {
        HRESULT hr = D3D_OK;
        if (type == D3DRTYPE_VOLUMETEXTURE) {
            ComRef<IDirect3DVolume9> slices;
            hr = volume->GetVolumeLevel(level, slices.put());
            if (FAILED(hr)) {
                return hr;
            }
            const D3DBOX box = {record.left,   record.top,   record.right,
                                record.bottom, record.front, record.back};
            return D3DXLoadVolumeFromMemory(slices.get(), palette, nullptr, record.pixels,
                                            recordFormat, record.rowPitch, record.slicePitch,
                                            sourcePalette, &box, filter, colorKey);
        }
        ComRef<IDirect3DSurface9> surface;
        hr =
            type == D3DRTYPE_CUBETEXTURE
                ? cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(face), level, surface.put())
                : texture->GetSurfaceLevel(level, surface.put());
        if (FAILED(hr)) {
            return hr;
        }
        const RECT rect = {static_cast<LONG>(record.left), static_cast<LONG>(record.top),
                           static_cast<LONG>(record.right), static_cast<LONG>(record.bottom)};
        return D3DXLoadSurfaceFromMemory(surface.get(), palette, nullptr, record.pixels,
                                         recordFormat, record.rowPitch, sourcePalette, &rect,
                                         filter, colorKey);
    }
};

template <class Interface>
HRESULT handOut(IDirect3DBaseTexture9* base, const IID& iid, Interface** out) {
    Interface* typed = nullptr;
    const HRESULT hr = base->QueryInterface(iid, reinterpret_cast<void**>(&typed));
    base->Release();
    if (SUCCEEDED(hr)) {
        *out = typed;
    }
    return hr;
}

} // namespace

HRESULT CreateTextureFromImage(IDirect3DDevice9* device, LPCVOID data, UINT size, UINT width,
                               UINT height, UINT depth, UINT mipLevels, DWORD usage,
                               D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                               D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                               D3DRESOURCETYPE type, IDirect3DBaseTexture9** texture) noexcept {
    if (device == nullptr || data == nullptr || size == 0 || texture == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const bool widthFromFile = width == D3DX_FROM_FILE;
    const bool heightFromFile = height == D3DX_FROM_FILE;
    const bool depthFromFile = depth == D3DX_FROM_FILE;
    const bool levelsFromFile = mipLevels == D3DX_FROM_FILE;
    const bool formatFromFile = format == D3DFMT_FROM_FILE;
    if (usage == D3DX_DEFAULT) {
        usage = 0;
    }

    DecodedImage image;
    D3DXIMAGE_INFO info{};
    HRESULT hr = LoadImageFromMemory(&image, data, size, &info, true);
    if (FAILED(hr)) {
        return hr;
    }
    const UINT imageLevels = image.levelCount();
    UINT faces = 1;
    if (type == D3DRTYPE_CUBETEXTURE) {
        faces = image.faceCount();
        if (faces != 6) {
            return E_FAIL;
        }
    }
    if (levelsFromFile) {
        mipLevels = imageLevels;
    }
    width = resolveSize(width, image.width);
    height = resolveSize(height, image.height);
    depth = type == D3DRTYPE_VOLUMETEXTURE ? resolveSize(depth, image.depth) : 1;

    if (filter == D3DX_DEFAULT) {
        filter = D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;
    }
    if (mipFilter == D3DX_DEFAULT) {
        mipFilter = D3DX_FILTER_BOX;
    }
    if (type == D3DRTYPE_CUBETEXTURE) {
        filter |= D3DX_FILTER_MIRROR;
        mipFilter |= D3DX_FILTER_MIRROR;
    }
    // Unfiltered top levels and halving mip filters copy only the file's own levels and make
    // the rest with D3DXFilterTexture; otherwise every level is resampled from the file.
    const bool generateLater = (filter & kFilterKindMask) == D3DX_FILTER_NONE ||
                               (mipFilter & kFilterKindMask) == D3DX_FILTER_POINT ||
                               (mipFilter & kFilterKindMask) == D3DX_FILTER_BOX;

    // The source palette carries the colour key for palettised images.
    PALETTEENTRY sourcePalette[256];
    D3DFORMAT imageFormat = image.format;
    const bool imagePalette = image.palette != nullptr;
    if (imagePalette) {
        std::memcpy(sourcePalette, image.palette, sizeof sourcePalette);
        const DWORD key =
            (colorKey & 0xFF00FF00) | ((colorKey >> 16) & 0xFF) | ((colorKey & 0xFF) << 16);
        for (PALETTEENTRY& entry : sourcePalette) {
            if (asDword(entry) == key) {
                entry = PALETTEENTRY{0, 0, 0, 0};
            }
        }
        colorKey = 0;
        if (format != D3DFMT_P8 && imageFormat == D3DFMT_P8) {
            if (isGreyRamp(sourcePalette)) {
                imageFormat = D3DFMT_L8;
            } else if (isR3G3B2Palette(sourcePalette)) {
                imageFormat = D3DFMT_R3G3B2;
            }
        }
    } else {
        std::fill(std::begin(sourcePalette), std::end(sourcePalette),
                  PALETTEENTRY{255, 255, 255, 255});
    }

    if (format == D3DFMT_UNKNOWN || formatFromFile) {
        format = imageFormat;
        const FormatDescriptor& descriptor = formatDescriptor(format);
        const bool keyable = descriptor.formatClass == FormatClass::kColor ||
                             descriptor.formatClass == FormatClass::kPalettised ||
                             descriptor.formatClass == FormatClass::kLuminance;
        if (colorKey != 0 && keyable && descriptor.channels[kChannelAlpha] == 0) {
            // The key needs an alpha channel to turn into.
            FormatDescriptor withAlpha = descriptor;
            withAlpha.format = D3DFMT_UNKNOWN;
            withAlpha.channels[kChannelAlpha] = 1;
            const D3DFORMAT keyed = FindClosestFormat(nullptr, 0, type, withAlpha);
            if (keyed != D3DFMT_UNKNOWN) {
                format = keyed;
            }
        }
        if (format == kFormatAL16) {
            format = D3DFMT_A8L8;
        } else if (format == kFormatR16) {
            format = D3DFMT_A16B16G16R16;
        }
        if (pool != D3DPOOL_SCRATCH && format == D3DFMT_R8G8B8) {
            format = D3DFMT_X8R8G8B8;
        }
    }

    if (palette != nullptr) {
        std::memcpy(palette, sourcePalette, sizeof sourcePalette);
    }
    if (palette == nullptr || !imagePalette) {
        if (formatFromFile && (format == D3DFMT_A8P8 || format == D3DFMT_P8)) {
            // There is no palette to hand the file's palette back in.
            return D3DERR_INVALIDCALL;
        }
        if (format == D3DFMT_A8P8) {
            format = D3DFMT_A8R8G8B8;
        } else if (format == D3DFMT_P8) {
            const bool translucent =
                std::any_of(std::begin(sourcePalette), std::end(sourcePalette),
                            [](const PALETTEENTRY& entry) { return entry.peFlags != 255; });
            format = translucent ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
        }
    }

    // Default-pool textures cannot be locked unless dynamic: fill a system-memory twin.
    const bool staging = pool == D3DPOOL_DEFAULT && (usage & D3DUSAGE_DYNAMIC) == 0;

    const UINT requestedWidth = width;
    const UINT requestedHeight = height;
    const UINT requestedDepth = depth;
    const UINT requestedLevels = mipLevels;
    const D3DFORMAT requestedFormat = format;
    hr = CheckTextureRequirements(device, &width, &height,
                                  type == D3DRTYPE_VOLUMETEXTURE ? &depth : nullptr, &mipLevels,
                                  usage, &format, pool, type);
    if (FAILED(hr)) {
        return hr;
    }
    if ((widthFromFile && width != requestedWidth) ||
        (heightFromFile && height != requestedHeight) ||
        (depthFromFile && type == D3DRTYPE_VOLUMETEXTURE && depth != requestedDepth) ||
        (levelsFromFile && mipLevels != requestedLevels) ||
        (formatFromFile && format != requestedFormat)) {
        return D3DERR_NOTAVAILABLE;
    }

    Target created;
    created.type = type;
    hr = created.create(device, width, height, depth, mipLevels, usage & kCreationUsageMask, format,
                        pool);
    if (FAILED(hr)) {
        return hr;
    }
    const UINT textureLevels = created.base()->GetLevelCount();
    Target twin;
    twin.type = type;
    if (staging) {
        hr = twin.create(device, width, height, depth, textureLevels, 0, format, D3DPOOL_SYSTEMMEM);
        if (FAILED(hr)) {
            return hr;
        }
    }
    const Target& filled = staging ? twin : created;

    const DecodedImage* face = &image;
    for (UINT f = 0; f < faces && face != nullptr; ++f, face = face->nextFace.get()) {
        const DecodedImage* record = face;
        for (UINT level = 0; level < textureLevels; ++level) {
            if (level >= imageLevels && generateLater) {
                break;
            }
            hr = filled.load(f, level, *record, imageFormat, palette, sourcePalette, filter,
                             colorKey);
            if (FAILED(hr)) {
                return hr;
            }
            // Past the file's last level, the last one is resampled again.
            if (record->nextMip != nullptr) {
                record = record->nextMip.get();
            }
        }
    }
    if (generateLater && imageLevels < textureLevels) {
        hr = D3DXFilterTexture(filled.base(), palette, imageLevels - 1, mipFilter);
        if (FAILED(hr)) {
            return hr;
        }
    }
    if (staging) {
        const detail::ScopedDebugMute mute;
        hr = device->UpdateTexture(twin.base(), created.base());
        if (FAILED(hr)) {
            return hr;
        }
    }

    if (srcInfo != nullptr) {
        *srcInfo = info;
    }
    IDirect3DBaseTexture9* result = created.base();
    result->AddRef();
    *texture = result;
    return D3D_OK;
}

} // namespace halv::texture

HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* pDevice, LPCVOID pSrcData,
                                            UINT SrcDataSize, UINT Width, UINT Height,
                                            UINT MipLevels, DWORD Usage, D3DFORMAT Format,
                                            D3DPOOL Pool, DWORD Filter, DWORD MipFilter,
                                            D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo,
                                            PALETTEENTRY* pPalette,
                                            IDirect3DTexture9** ppTexture) noexcept {
    if (ppTexture == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    IDirect3DBaseTexture9* base = nullptr;
    const HRESULT hr = halv::texture::CreateTextureFromImage(
        pDevice, pSrcData, SrcDataSize, Width, Height, 1, MipLevels, Usage, Format, Pool, Filter,
        MipFilter, ColorKey, pSrcInfo, pPalette, D3DRTYPE_TEXTURE, &base);
    if (FAILED(hr)) {
        return hr;
    }
    return halv::texture::handOut(base, IID_IDirect3DTexture9, ppTexture);
}

HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* pDevice, LPCVOID pSrcData,
                                          UINT SrcDataSize,
                                          IDirect3DTexture9** ppTexture) noexcept {
    return D3DXCreateTextureFromFileInMemoryEx(
        pDevice, pSrcData, SrcDataSize, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
        D3DPOOL_MANAGED, D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, ppTexture);
}

HRESULT D3DXCreateCubeTextureFromFileInMemoryEx(IDirect3DDevice9* pDevice, LPCVOID pSrcData,
                                                UINT SrcDataSize, UINT Size, UINT MipLevels,
                                                DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                                DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                                D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                                IDirect3DCubeTexture9** ppCubeTexture) noexcept {
    if (ppCubeTexture == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    IDirect3DBaseTexture9* base = nullptr;
    const HRESULT hr = halv::texture::CreateTextureFromImage(
        pDevice, pSrcData, SrcDataSize, Size, Size, 1, MipLevels, Usage, Format, Pool, Filter,
        MipFilter, ColorKey, pSrcInfo, pPalette, D3DRTYPE_CUBETEXTURE, &base);
    if (FAILED(hr)) {
        return hr;
    }
    return halv::texture::handOut(base, IID_IDirect3DCubeTexture9, ppCubeTexture);
}

HRESULT D3DXCreateVolumeTextureFromFileInMemoryEx(
    IDirect3DDevice9* pDevice, LPCVOID pSrcData, UINT SrcDataSize, UINT Width, UINT Height,
    UINT Depth, UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, DWORD Filter,
    DWORD MipFilter, D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
    IDirect3DVolumeTexture9** ppVolumeTexture) noexcept {
    if (ppVolumeTexture == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    IDirect3DBaseTexture9* base = nullptr;
    const HRESULT hr = halv::texture::CreateTextureFromImage(
        pDevice, pSrcData, SrcDataSize, Width, Height, Depth, MipLevels, Usage, Format, Pool,
        Filter, MipFilter, ColorKey, pSrcInfo, pPalette, D3DRTYPE_VOLUMETEXTURE, &base);
    if (FAILED(hr)) {
        return hr;
    }
    return halv::texture::handOut(base, IID_IDirect3DVolumeTexture9, ppVolumeTexture);
}

HRESULT D3DXFilterTexture(IDirect3DBaseTexture9* pBaseTexture, const PALETTEENTRY* pPalette,
                          UINT SrcLevel, DWORD Filter) noexcept {
    using halv::base::ComRef;
    if (pBaseTexture == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const D3DRESOURCETYPE type = pBaseTexture->GetType();
    ComRef<IDirect3DTexture9> texture;
    ComRef<IDirect3DCubeTexture9> cube;
    ComRef<IDirect3DVolumeTexture9> volume;
    HRESULT hr = E_NOINTERFACE;
    switch (type) {
    case D3DRTYPE_TEXTURE:
        hr = pBaseTexture->QueryInterface(IID_IDirect3DTexture9, texture.putVoid());
        break;
    case D3DRTYPE_CUBETEXTURE:
        hr = pBaseTexture->QueryInterface(IID_IDirect3DCubeTexture9, cube.putVoid());
        break;
    case D3DRTYPE_VOLUMETEXTURE:
        hr = pBaseTexture->QueryInterface(IID_IDirect3DVolumeTexture9, volume.putVoid());
        break;
    default:
        break;
    }
    if (FAILED(hr)) {
        return D3DERR_INVALIDCALL;
    }

    if (Filter == D3DX_DEFAULT) {
        const auto pow2 = [](UINT value) { return value != 0 && (value & (value - 1)) == 0; };
        bool powersOfTwo = false;
        if (volume) {
            D3DVOLUME_DESC desc{};
            hr = volume->GetLevelDesc(0, &desc);
            powersOfTwo = pow2(desc.Width) && pow2(desc.Height) && pow2(desc.Depth);
        } else {
            D3DSURFACE_DESC desc{};
            hr = cube ? cube->GetLevelDesc(0, &desc) : texture->GetLevelDesc(0, &desc);
            powersOfTwo = pow2(desc.Width) && pow2(desc.Height);
        }
        if (FAILED(hr)) {
            return hr;
        }
        Filter = powersOfTwo ? D3DX_FILTER_BOX : D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER;
    }
    if (cube) {
        Filter |= D3DX_FILTER_MIRROR;
    }
    if ((Filter & D3DX_FILTER_SRGB_OUT) != 0) {
        Filter |= D3DX_FILTER_SRGB;
    } else {
        Filter &= ~D3DX_FILTER_SRGB;
    }
    const UINT levels = pBaseTexture->GetLevelCount();
    const UINT sourceLevel = SrcLevel == D3DX_DEFAULT ? 0 : SrcLevel;
    if (sourceLevel >= levels) {
        return D3D_OK;
    }
    const DWORD kind = Filter & 0xFFFF;
    // Halving filters step down one level at a time; the others resample the source level.
    const bool chained = kind == D3DX_FILTER_POINT || kind == D3DX_FILTER_BOX;
    const UINT faces = cube ? 6 : 1;
    for (UINT face = 0; face < faces; ++face) {
        for (UINT level = sourceLevel + 1; level < levels; ++level) {
            const UINT from = chained ? level - 1 : sourceLevel;
            if (volume) {
                ComRef<IDirect3DVolume9> source;
                ComRef<IDirect3DVolume9> dest;
                hr = volume->GetVolumeLevel(from, source.put());
                if (SUCCEEDED(hr)) {
                    hr = volume->GetVolumeLevel(level, dest.put());
                }
                if (SUCCEEDED(hr)) {
                    hr = D3DXLoadVolumeFromVolume(dest.get(), pPalette, nullptr, source.get(),
                                                  pPalette, nullptr, Filter, 0);
                }
            } else {
                ComRef<IDirect3DSurface9> source;
                ComRef<IDirect3DSurface9> dest;
                if (cube) {
                    const auto cubeFace = static_cast<D3DCUBEMAP_FACES>(face);
                    hr = cube->GetCubeMapSurface(cubeFace, from, source.put());
                    if (SUCCEEDED(hr)) {
                        hr = cube->GetCubeMapSurface(cubeFace, level, dest.put());
                    }
                } else {
                    hr = texture->GetSurfaceLevel(from, source.put());
                    if (SUCCEEDED(hr)) {
                        hr = texture->GetSurfaceLevel(level, dest.put());
                    }
                }
                if (SUCCEEDED(hr)) {
                    hr = D3DXLoadSurfaceFromSurface(dest.get(), pPalette, nullptr, source.get(),
                                                    pPalette, nullptr, Filter, 0);
                }
            }
            if (FAILED(hr)) {
                return hr;
            }
        }
    }
    return D3D_OK;
}
