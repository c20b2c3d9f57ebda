// The glyph bitmap's storage.
#include "font/detail/glyph_bitmap.h"

#include "base/checked_math.h"
#include "base/result_codes.h"

namespace halv::font::detail {

HRESULT GlyphBitmap::create(UINT width, UINT height) noexcept {
    std::size_t count = 0;
    if (width == 0 || height == 0 ||
        !base::checkedMul(std::size_t{width}, std::size_t{height}, &count) ||
        count > kMaxBytes / sizeof(DWORD)) {
        return E_OUTOFMEMORY;
    }
    // Zeroed, which is the black background.
    std::unique_ptr<DWORD[]> pixels = base::allocArray<DWORD>(count);
    if (!pixels) {
        return E_OUTOFMEMORY;
    }
    mPixels = std::move(pixels);
    mWidth = width;
    mHeight = height;
    return S_OK;
}

} // namespace halv::font::detail
