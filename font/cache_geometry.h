// The glyph-cache geometry of a font: the cells glyphs would be drawn into and the textures
// that would hold them, worked out from the text metrics and then fitted to a device.
#pragma once

#include "base/win_types.h"
#include "font/font.h"
#include "gfx/device.h"

#include <cstdint>

namespace halv::font {

// Cell and texture edges are in pixels; level counts are mip levels.
struct CacheGeometry {
    D3DFORMAT format = D3DFMT_A8R8G8B8;
    // Cells for the usual glyphs (sized by the average width) and the widest ones.
    UINT smallCellEdge = 0;
    UINT smallCellLevels = 0;
    UINT largeCellEdge = 0;
    UINT largeCellLevels = 0;
    UINT smallTextureEdge = 0;
    UINT largeTextureEdge = 0;
    std::uint64_t smallTextureArea = 0;
    std::uint64_t largeTextureArea = 0;
    // The description's MipLevels (0: no cap).
    UINT mipLevelsLimit = 0;
};

// The geometry before any device has a say. Cells are the smallest power of two at or above
// tmHeight, doubled while below tmAveCharWidth (small) or tmMaxCharWidth (large), with
// log2(edge) + 1 levels capped at mipLevels when that is not 0. The small texture doubles
// from its cell edge while below 256 and too small to hold one cell per glyph (at most 128
// glyphs, from tmFirstChar to tmLastChar); the large one is the larger of that and its cell.
CacheGeometry computeCacheGeometry(const TEXTMETRICW& metrics, UINT mipLevels) noexcept;

// Asks the device (D3DXCheckTextureRequirements, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, usage 0)
// what both textures can be and stores the edges, areas and level counts it allows.
// Returns the check's error unchanged; D3DXERR_INVALIDDATA when another format comes back or
// a texture cannot be as wide and high as its cell. *geometry is changed only on success.
[[nodiscard]] HRESULT fitCacheToDevice(IDirect3DDevice9* device, CacheGeometry* geometry) noexcept;

} // namespace halv::font
