#include "texture/detail/pixel_block.h"

#include "base/checked_math.h"

#include <algorithm>
#include <new>

namespace halv::texture::detail {

ReadFailure setSurface(DecodedImage& image, D3DFORMAT format, std::size_t width, std::size_t height,
                       std::size_t bytesPerPixel) {
    if (width == 0 || height == 0) {
        return ReadFailure::kBadHeader;
    }
    std::size_t pitch = 0;
    std::size_t bytes = 0;
    if (!base::checkedMul(width, bytesPerPixel, &pitch) ||
        !base::checkedMul(pitch, height, &bytes) || bytes > kMaxPixelBlockBytes) {
        return ReadFailure::kTooLarge;
    }
    // The limit keeps every one of these inside 32 bits.
    image.format = format;
    image.width = static_cast<UINT>(width);
    image.height = static_cast<UINT>(height);
    image.depth = 1;
    image.rowPitch = static_cast<UINT>(pitch);
    image.slicePitch = static_cast<UINT>(bytes);
    return ReadFailure::kNone;
}

BYTE* allocatePixels(DecodedImage& image, std::size_t bytes, bool zeroed) {
    if (bytes > kMaxPixelBlockBytes) {
        return nullptr;
    }
    BYTE* block = zeroed ? new (std::nothrow) BYTE[bytes]() : new (std::nothrow) BYTE[bytes];
    if (block == nullptr) {
        return nullptr;
    }
    image.pixelBlock.reset(block);
    image.pixels = block;
    return block;
}

PALETTEENTRY* allocatePalette(DecodedImage& image) {
    auto* palette = new (std::nothrow) PALETTEENTRY[256];
    if (palette == nullptr) {
        return nullptr;
    }
    std::fill_n(palette, 256, PALETTEENTRY{255, 255, 255, 255});
    image.paletteBlock.reset(palette);
    image.palette = palette;
    return palette;
}

} // namespace halv::texture::detail
