// Texture creation from image files in memory: the format table and nearest-format search, the
// size/level/format requirements a device imposes, the builder shared by 2D, cube and volume
// textures, and mip-level generation.
//
// Untrusted input: image files of any content may be described or decoded. The readers never
// read past the given bytes and end malformed or truncated data with a result code (they are
// fuzzed). The pixels of one decoded surface may take at most 1 GiB; a larger image fails
// before its pixels are allocated, and so does a header claiming far more than its data can
// hold, so memory and decoding time stay in proportion to the file's size (a JPEG may also
// have at most 1000 scans). Texture sizes are further capped by the device's limits
// (8192 x 8192 on the null device's default profile).
//
//   IDirect3DTexture9* texture = nullptr;
//   HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
//       device, bytes, size, D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
//       D3DX_FILTER_TRIANGLE, D3DX_FILTER_BOX, 0xFF000000, nullptr, nullptr, &texture);
#pragma once

#include "base/result_codes.h"
#include "base/win_types.h"
#include "gfx/device.h"
#include "gfx/resources.h"
#include "texture/image_info.h"
#include "texture/loader_constants.h"

#include <cstdint>
#include <span>

namespace halv::texture {

// Which formats may stand in for which (see classesCompatible).
enum class FormatClass : std::uint8_t {
    kColor = 0,
    kPalettised = 1,
    kLuminance = 2,
    kSigned = 3,
    kDepth = 4,
};

// Channel slots of FormatDescriptor::channels.
enum FormatChannel : int {
    // Luminance of the bump formats, the lockable mark of the depth formats.
    kChannelExtra = 0,
    kChannelAlpha = 1,
    // Luminance formats fill red, green and blue; bump formats put V in green and U in blue;
    // depth formats put stencil in green and depth in blue.
    kChannelRed = 2,
    kChannelGreen = 3,
    kChannelBlue = 4,
};

// One format the loader knows: its class, size and channel widths, and whether the nearest-
// format search may pick it.
struct FormatDescriptor {
    D3DFORMAT format;
    FormatClass formatClass;
    std::uint8_t bitsPerPixel;
    std::uint8_t channels[5];
    bool candidate;
};

// The whole table, in search order.
std::span<const FormatDescriptor> formatDescriptors() noexcept;

// The row of `format`; for a format not in the table, a default row (format 0, colour, 32
// bits, channels 0 8 8 8 8, not a candidate).
const FormatDescriptor& formatDescriptor(D3DFORMAT format) noexcept;

// Whether a source of class `source` may become class `target`: colour to colour; palettised
// to colour or palettised; luminance to colour or luminance; signed to signed; depth to depth.
bool classesCompatible(FormatClass source, FormatClass target) noexcept;

// The best format for `descriptor`: with a device, among the rows its CheckDeviceFormat
// accepts for `usage` and `type` (a row of the descriptor's own format wins at once), else
// among all rows; the cheapest compatible candidate by channel gain and loss, the smaller at
// equal cost. D3DFMT_UNKNOWN (0) when none is usable.
D3DFORMAT FindClosestFormat(IDirect3DDevice9* device, DWORD usage, D3DRESOURCETYPE type,
                            const FormatDescriptor& descriptor) noexcept;

// Adjusts a texture request to what `device` can create: the format to the closest supported
// one, sizes to the defaults, the limits, the aspect ratio and powers of two (and multiples of
// 4 for DXTn), the level count to the full chain or 1. Each in/out pointer may be null
// (missing sizes count as D3DX_DEFAULT). `depth` is used for volume textures. Returns D3D_OK;
// D3DERR_INVALIDCALL for no device, unknown usage bits or pool; D3DERR_NOTAVAILABLE when no
// format fits; the device's own failures.
HRESULT CheckTextureRequirements(IDirect3DDevice9* device, UINT* width, UINT* height, UINT* depth,
                                 UINT* levels, DWORD usage, D3DFORMAT* format, D3DPOOL pool,
                                 D3DRESOURCETYPE type) noexcept;

// The builder behind the D3DXCreate*TextureFromFileInMemoryEx entry points: decodes the file,
// settles size, levels and format, creates the texture (D3DRTYPE_TEXTURE, _CUBETEXTURE or
// _VOLUMETEXTURE), loads the image's levels and makes the rest. On success *texture holds the
// new texture (one reference) and *srcInfo, when given, the file's description. Returns the
// decoder's, the requirement check's, the device's or the loader's failure; E_FAIL for a cube
// file without exactly six faces; D3DERR_INVALIDCALL for missing arguments or a palettised
// format asked for with D3DX_FROM_FILE; D3DERR_NOTAVAILABLE when a D3DX_FROM_FILE value cannot
// be kept.
HRESULT CreateTextureFromImage(IDirect3DDevice9* device, LPCVOID data, UINT size, UINT width,
                               UINT height, UINT depth, UINT mipLevels, DWORD usage,
                               D3DFORMAT format, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                               D3DCOLOR colorKey, D3DXIMAGE_INFO* srcInfo, PALETTEENTRY* palette,
                               D3DRESOURCETYPE type, IDirect3DBaseTexture9** texture) noexcept;

} // namespace halv::texture

// CheckTextureRequirements for a 2D texture.
HRESULT D3DXCheckTextureRequirements(IDirect3DDevice9* pDevice, UINT* pWidth, UINT* pHeight,
                                     UINT* pNumMipLevels, DWORD Usage, D3DFORMAT* pFormat,
                                     D3DPOOL Pool) noexcept;
// CheckTextureRequirements for a cube texture of edge *pSize.
HRESULT D3DXCheckCubeTextureRequirements(IDirect3DDevice9* pDevice, UINT* pSize,
                                         UINT* pNumMipLevels, DWORD Usage, D3DFORMAT* pFormat,
                                         D3DPOOL Pool) noexcept;
// CheckTextureRequirements for a volume texture.
HRESULT D3DXCheckVolumeTextureRequirements(IDirect3DDevice9* pDevice, UINT* pWidth, UINT* pHeight,
                                           UINT* pDepth, UINT* pNumMipLevels, DWORD Usage,
                                           D3DFORMAT* pFormat, D3DPOOL Pool) noexcept;

// A 2D texture from an image file in memory.
// Width, Height: D3DX_DEFAULT or 0 round the image's size up to powers of two;
// D3DX_DEFAULT_NONPOW2 and D3DX_FROM_FILE take it as it is (FROM_FILE fails with
// D3DERR_NOTAVAILABLE if the device needs another). MipLevels: 0 or D3DX_DEFAULT a full
// chain, D3DX_FROM_FILE the file's. Format: D3DFMT_UNKNOWN or D3DX_FROM_FILE the file's
// (widened to take an alpha channel when ColorKey is not 0). Filter (D3DX_DEFAULT: TRIANGLE |
// DITHER) loads the top level; MipFilter (D3DX_DEFAULT: BOX) makes the rest. ColorKey
// 0xAARRGGBB pixels become transparent black (0: none). pSrcInfo receives the file's
// description, pPalette (256 entries) the palette of a palettised result. On success
// *ppTexture holds the new texture, which the caller releases; otherwise it is left alone.
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice9* pDevice, LPCVOID pSrcData,
                                            UINT SrcDataSize, UINT Width, UINT Height,
                                            UINT MipLevels, DWORD Usage, D3DFORMAT Format,
                                            D3DPOOL Pool, DWORD Filter, DWORD MipFilter,
                                            D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo,
                                            PALETTEENTRY* pPalette,
                                            IDirect3DTexture9** ppTexture) noexcept;

// D3DXCreateTextureFromFileInMemoryEx with every option at its default: sizes, levels and
// filters D3DX_DEFAULT, usage 0, the file's format, D3DPOOL_MANAGED, no colour key.
HRESULT D3DXCreateTextureFromFileInMemory(IDirect3DDevice9* pDevice, LPCVOID pSrcData,
                                          UINT SrcDataSize, IDirect3DTexture9** ppTexture) noexcept;

// A cube texture from a file holding six faces (a cube DDS); E_FAIL for any other.
HRESULT D3DXCreateCubeTextureFromFileInMemoryEx(IDirect3DDevice9* pDevice, LPCVOID pSrcData,
                                                UINT SrcDataSize, UINT Size, UINT MipLevels,
                                                DWORD Usage, D3DFORMAT Format, D3DPOOL Pool,
                                                DWORD Filter, DWORD MipFilter, D3DCOLOR ColorKey,
                                                D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
                                                IDirect3DCubeTexture9** ppCubeTexture) noexcept;

// A volume texture from an image file (a 2D image makes a volume of depth 1 before sizing).
HRESULT D3DXCreateVolumeTextureFromFileInMemoryEx(
    IDirect3DDevice9* pDevice, LPCVOID pSrcData, UINT SrcDataSize, UINT Width, UINT Height,
    UINT Depth, UINT MipLevels, DWORD Usage, D3DFORMAT Format, D3DPOOL Pool, DWORD Filter,
    DWORD MipFilter, D3DCOLOR ColorKey, D3DXIMAGE_INFO* pSrcInfo, PALETTEENTRY* pPalette,
    IDirect3DVolumeTexture9** ppVolumeTexture) noexcept;

// Regenerates every level below SrcLevel (D3DX_DEFAULT: 0) of a texture, cube or volume texture
// from the one above it (POINT, BOX) or from SrcLevel itself (other filters). Filter
// D3DX_DEFAULT is BOX for power-of-two sizes, else TRIANGLE | DITHER; cube textures mirror at
// their edges; D3DX_FILTER_SRGB_OUT makes both sides sRGB. Returns D3D_OK (also when SrcLevel
// is the last level or beyond); D3DERR_INVALIDCALL for a null or unknown texture; the level
// loader's failures.
HRESULT D3DXFilterTexture(IDirect3DBaseTexture9* pBaseTexture, const PALETTEENTRY* pPalette,
                          UINT SrcLevel, DWORD Filter) noexcept;
