// Sizing and allocating the pixel and palette blocks that readers attach to a DecodedImage,
// with the one limit that keeps a lying header from asking for more memory than we can use.
#pragma once

#include "texture/detail/image_readers.h"
#include "texture/image_decoder.h"

#include <cstddef>

namespace halv::texture::detail {

// Largest pixel block one record may own. Compressed formats can claim huge sizes in a few
// bytes; anything above this is refused before allocating (the texture builder could not
// create such a surface anyway).
inline constexpr std::size_t kMaxPixelBlockBytes = std::size_t{1} << 30;

// Sets format, size (depth 1), rowPitch = width * bytesPerPixel and slicePitch = rowPitch *
// height. kBadHeader for a zero size, kTooLarge when the block would exceed the limit.
[[nodiscard]] ReadFailure setSurface(DecodedImage& image, D3DFORMAT format, std::size_t width,
                                     std::size_t height, std::size_t bytesPerPixel);

// Allocates `bytes` for image.pixels, owned by the image; zeroed on request. Returns the
// writable block or null when memory runs out or bytes exceeds the limit.
[[nodiscard]] BYTE* allocatePixels(DecodedImage& image, std::size_t bytes, bool zeroed);

// Allocates the 256-entry palette, owned by the image, every entry 255, 255, 255, 255.
// Returns the writable palette or null when memory runs out.
[[nodiscard]] PALETTEENTRY* allocatePalette(DecodedImage& image);

// Widens a channel of `bits` bits (1..8) to 8 bits by replicating its high bits; a channel
// of no bits reads as 0.
constexpr BYTE widenTo8(unsigned value, unsigned bits) {
    if (bits == 0 || bits > 8) {
        return 0;
    }
    unsigned result = value << (8 - bits);
    for (unsigned filled = bits; filled < 8; filled += bits) {
        result |= result >> bits;
    }
    return static_cast<BYTE>(result & 0xFF);
}

static_assert(widenTo8(0x1F, 5) == 0xFF && widenTo8(0x10, 5) == 0x84 && widenTo8(1, 1) == 0xFF &&
              widenTo8(5, 3) == 0xB6 && widenTo8(0, 0) == 0);

} // namespace halv::texture::detail
