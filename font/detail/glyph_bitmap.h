// The bitmap glyphs are rasterised into before they go to a cache texture, standing in for a
// 32-bit top-down DIB section: one cell of tmMaxCharWidth x tmHeight pixels, white text on an
// opaque black background.
#pragma once

#include "base/win_types.h"

#include <cstddef>
#include <memory>

namespace halv::font::detail {

class GlyphBitmap {
public:
    // Larger bitmaps count as a GDI object that cannot be made (a glyph of this size has no
    // place in any cache texture anyway).
    static constexpr std::size_t kMaxBytes = std::size_t{64} << 20;

    // Allocates width x height pixels, all background. E_OUTOFMEMORY for an empty or oversized
    // bitmap or when memory runs out; the bitmap is unchanged then.
    [[nodiscard]] HRESULT create(UINT width, UINT height) noexcept;

    UINT width() const noexcept { return mWidth; }
    UINT height() const noexcept { return mHeight; }
    // 0x00RRGGBB per pixel, rows top first, no padding.
    const DWORD* pixels() const noexcept { return mPixels.get(); }
    DWORD backgroundColor() const noexcept { return mBackgroundColor; }
    DWORD textColor() const noexcept { return mTextColor; }
    bool opaque() const noexcept { return mOpaque; }

private:
    std::unique_ptr<DWORD[]> mPixels;
    UINT mWidth = 0;
    UINT mHeight = 0;
    DWORD mBackgroundColor = 0x000000;
    DWORD mTextColor = 0xFFFFFF;
    bool mOpaque = true;
};

} // namespace halv::font::detail
