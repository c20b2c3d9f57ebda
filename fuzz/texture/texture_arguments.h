// The argument block in front of the file bytes of a texture_create fuzz input: which entry
// point to call and with what size, level, format, pool, usage, filter and colour key. Shared
// by the fuzz target and the seed generator, which writes it.
#pragma once

#include "gfx/device_types.h"
#include "texture/loader_constants.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>

namespace halv::texture::fuzzing {

inline constexpr std::size_t kArgumentBytes = 16;

enum class Shape { kTexture, kCube, kVolume };

struct Arguments {
    Shape shape;
    bool palette;
    UINT width;
    UINT height;
    UINT depth;
    UINT levels;
    D3DFORMAT format;
    D3DPOOL pool;
    DWORD usage;
    DWORD filter;
    DWORD mipFilter;
    D3DCOLOR colorKey;
};

inline constexpr std::array<D3DFORMAT, 20> kFormats = {
    D3DFMT_UNKNOWN,       D3DFMT_FROM_FILE, D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8,
    D3DFMT_R5G6B5,        D3DFMT_P8,        D3DFMT_A8P8,     D3DFMT_L8,
    D3DFMT_A8L8,          D3DFMT_V8U8,      D3DFMT_DXT1,     D3DFMT_DXT5,
    D3DFMT_A16B16G16R16F, D3DFMT_R8G8B8,    D3DFMT_UYVY,     D3DFMT_G16R16,
    D3DFMT_D16_LOCKABLE,  D3DFMT_A4L4,      D3DFMT_Q8W8V8U8, D3DFMT_A32B32G32R32F,
};

inline constexpr std::array<DWORD, 8> kUsages = {
    0,
    D3DUSAGE_DYNAMIC,
    D3DUSAGE_AUTOGENMIPMAP,
    D3DUSAGE_RENDERTARGET,
    D3DX_DEFAULT,
    D3DUSAGE_WRITEONLY,
    D3DUSAGE_DYNAMIC | D3DUSAGE_AUTOGENMIPMAP,
    D3DUSAGE_QUERY_FILTER,
};

// Size codes 0-2 are the special values, the others sizes of their own (3 is 0).
constexpr UINT sizeOf(std::uint8_t code) {
    switch (code) {
    case 0:
        return D3DX_DEFAULT;
    case 1:
        return D3DX_DEFAULT_NONPOW2;
    case 2:
        return D3DX_FROM_FILE;
    default:
        return code == 3 ? 0u : code;
    }
}

constexpr UINT levelsOf(std::uint8_t code) {
    switch (code) {
    case 0:
        return 0;
    case 1:
        return D3DX_DEFAULT;
    case 2:
        return D3DX_FROM_FILE;
    default:
        return code % 16u;
    }
}

// Kind 0 is D3DX_DEFAULT, 1-5 the filters, 6 and 7 invalid kinds; the flag byte's bits are the
// mirror, dither, diffusion and sRGB flags, its top bit an undefined one.
constexpr DWORD filterOf(std::uint8_t kind, std::uint8_t flags) {
    const unsigned k = kind % 8u;
    if (k == 0) {
        return D3DX_DEFAULT;
    }
    DWORD filter = k == 7 ? 0 : k;
    constexpr DWORD kFlagBits[8] = {D3DX_FILTER_MIRROR_U,         D3DX_FILTER_MIRROR_V,
                                    D3DX_FILTER_MIRROR_W,         D3DX_FILTER_DITHER,
                                    D3DX_FILTER_DITHER_DIFFUSION, D3DX_FILTER_SRGB_IN,
                                    D3DX_FILTER_SRGB_OUT,         0x00800000};
    for (unsigned bit = 0; bit < 8; ++bit) {
        if ((flags >> bit) & 1u) {
            filter |= kFlagBits[bit];
        }
    }
    return filter;
}

inline Arguments decodeArguments(const std::uint8_t* block) {
    Arguments arguments{};
    arguments.shape = static_cast<Shape>(block[0] % 3u);
    arguments.palette = (block[0] & 0x80) != 0;
    arguments.width = sizeOf(block[1]);
    arguments.height = sizeOf(block[2]);
    arguments.depth = sizeOf(block[3]);
    arguments.levels = levelsOf(block[4]);
    arguments.format = kFormats[block[5] % kFormats.size()];
    // Pool 4 is not a pool.
    arguments.pool = static_cast<D3DPOOL>(block[6] % 5u);
    arguments.usage = kUsages[block[7] % kUsages.size()];
    arguments.filter = filterOf(block[8], block[9]);
    arguments.mipFilter = filterOf(block[10], block[11]);
    arguments.colorKey = static_cast<D3DCOLOR>(block[12] | (block[13] << 8) | (block[14] << 16) |
                                               (static_cast<std::uint32_t>(block[15]) << 24));
    return arguments;
}

// The block for the program's own call (a 2D texture): sizes D3DX_DEFAULT, a full chain, the
// file's format, managed pool, triangle then box, opaque black as the key.
inline std::array<std::uint8_t, kArgumentBytes> programCallBlock() {
    return {0, 0, 0, 0, 0, 0, 1, 0, 4, 0, 5, 0, 0x00, 0x00, 0x00, 0xFF};
}

} // namespace halv::texture::fuzzing
