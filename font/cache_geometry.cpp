// Glyph-cache cell and texture sizes, and fitting them to what a device can create.
#include "font/cache_geometry.h"

#include "base/result_codes.h"
#include "texture/texture_loader.h"

#include <algorithm>

namespace halv::font {
namespace {

// The cache never holds more than this many glyphs per texture when sizing it.
constexpr std::uint64_t kMaxCachedGlyphs = 128;
// Small textures stop growing at this edge.
constexpr UINT kSmallTextureEdgeLimit = 256;

// The smallest power of two at or above `height`, doubled while below `width`. Metrics fit in
// 31 bits, so the edge fits in 32.
UINT cellEdge(LONG height, LONG width) {
    std::int64_t edge = 1;
    while (edge < height) {
        edge <<= 1;
    }
    while (edge < width) {
        edge <<= 1;
    }
    return static_cast<UINT>(edge);
}

UINT levelCount(UINT edge, UINT mipLevels) {
    UINT levels = 1;
    for (UINT e = edge; e > 1; e >>= 1) {
        ++levels;
    }
    return mipLevels != 0 ? std::min(levels, mipLevels) : levels;
}

// The texture a cell of `cellEdge` with `levels` levels would go into, as the device allows
// it. Writes only on success.
HRESULT fitTexture(IDirect3DDevice9* device, UINT cellEdge, UINT* textureEdge, UINT* levels) {
    UINT width = *textureEdge;
    UINT height = *textureEdge;
    UINT checkedLevels = *levels;
    D3DFORMAT format = D3DFMT_A8R8G8B8;
    const HRESULT hr = D3DXCheckTextureRequirements(device, &width, &height, &checkedLevels, 0,
                                                    &format, D3DPOOL_MANAGED);
    if (FAILED(hr)) {
        return hr;
    }
    // Cells are square, so the narrower side limits the texture.
    const UINT edge = std::min(width, height);
    if (format != D3DFMT_A8R8G8B8 || edge < cellEdge) {
        return D3DXERR_INVALIDDATA;
    }
    *textureEdge = edge;
    *levels = checkedLevels;
    return S_OK;
}

} // namespace

CacheGeometry computeCacheGeometry(const TEXTMETRICW& metrics, UINT mipLevels) noexcept {
    CacheGeometry geometry;
    geometry.mipLevelsLimit = mipLevels;
    geometry.smallCellEdge = cellEdge(metrics.tmHeight, metrics.tmAveCharWidth);
    geometry.largeCellEdge = cellEdge(metrics.tmHeight, metrics.tmMaxCharWidth);
    geometry.smallCellLevels = levelCount(geometry.smallCellEdge, mipLevels);
    geometry.largeCellLevels = levelCount(geometry.largeCellEdge, mipLevels);

    const int span = static_cast<int>(metrics.tmLastChar) - static_cast<int>(metrics.tmFirstChar);
    const std::uint64_t glyphs =
        span < 0 ? 0
                 : std::min<std::uint64_t>(static_cast<std::uint64_t>(span) + 1, kMaxCachedGlyphs);
    // The edge limit is tested first, so the squares stay far below 64 bits.
    const std::uint64_t cell = geometry.smallCellEdge;
    UINT edge = geometry.smallCellEdge;
    while (edge < kSmallTextureEdgeLimit && std::uint64_t{edge} * edge < cell * cell * glyphs) {
        edge <<= 1;
    }
    geometry.smallTextureEdge = edge;
    geometry.largeTextureEdge = std::max(edge, geometry.largeCellEdge);
    geometry.smallTextureArea =
        std::uint64_t{geometry.smallTextureEdge} * geometry.smallTextureEdge;
    geometry.largeTextureArea =
        std::uint64_t{geometry.largeTextureEdge} * geometry.largeTextureEdge;
    return geometry;
}

HRESULT fitCacheToDevice(IDirect3DDevice9* device, CacheGeometry* geometry) noexcept {
    CacheGeometry fitted = *geometry;
    HRESULT hr =
        fitTexture(device, fitted.smallCellEdge, &fitted.smallTextureEdge, &fitted.smallCellLevels);
    if (FAILED(hr)) {
        return hr;
    }
    hr =
        fitTexture(device, fitted.largeCellEdge, &fitted.largeTextureEdge, &fitted.largeCellLevels);
    if (FAILED(hr)) {
        return hr;
    }
    fitted.smallTextureArea = std::uint64_t{fitted.smallTextureEdge} * fitted.smallTextureEdge;
    fitted.largeTextureArea = std::uint64_t{fitted.largeTextureEdge} * fitted.largeTextureEdge;
    *geometry = fitted;
    return S_OK;
}

} // namespace halv::font
