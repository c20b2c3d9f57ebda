// Storage facts of the surface formats: bits per pixel, block layout, and the row pitch and
// row count of a level, shared by resource creation, locking and the renderers.
#pragma once

#include "base/value_types.h"

#include <cstddef>

namespace halv::gfx::detail {

enum class FormatKind {
    kColor,
    kDepth,
    // DXT1..DXT5: 4x4 blocks of blockBytes.
    kBlock,
    // UYVY, YUY2, RGBG, GRGB: pairs of pixels in 4 bytes.
    kPacked,
};

struct FormatInfo {
    D3DFORMAT format;
    UINT bitsPerPixel;
    FormatKind kind;
    UINT blockBytes;
};

// Null for formats a surface cannot have (UNKNOWN, VERTEXDATA, INDEX16/32, unknown codes).
const FormatInfo* findFormat(D3DFORMAT format) noexcept;

bool isDepthFormat(D3DFORMAT format) noexcept;
bool isBlockFormat(D3DFORMAT format) noexcept;

// Rows are padded to 4 bytes; block formats count rows of blocks.
UINT rowPitch(const FormatInfo& info, UINT width) noexcept;
UINT rowCount(const FormatInfo& info, UINT height) noexcept;

// rowPitch x rowCount (x depth), or false when it does not fit in 32 bits.
[[nodiscard]] bool levelBytes(const FormatInfo& info, UINT width, UINT height, UINT depth,
                              std::size_t* bytes) noexcept;

// Size of level `level` of a chain starting at `size`: halved per level, at least 1.
inline UINT levelSize(UINT size, UINT level) noexcept {
    const UINT shifted = level >= 32 ? 0 : size >> level;
    return shifted == 0 ? 1 : shifted;
}

// Number of levels down to 1x1(x1).
UINT fullLevelCount(UINT width, UINT height, UINT depth) noexcept;

inline bool isPowerOfTwo(UINT value) noexcept {
    return value != 0 && (value & (value - 1)) == 0;
}

} // namespace halv::gfx::detail
