// Portable float maps: "PF" (colour) and "Pf" (grey) with 32-bit samples whose byte order the
// sign of the scale gives (negative: little-endian). Rows are stored bottom to top. The result
// is A32B32G32R32F with alpha 1.
#include "base/bytes.h"
#include "texture/detail/image_readers.h"
#include "texture/detail/pixel_block.h"
#include "texture/detail/text_cursor.h"

#include <cstring>

namespace halv::texture::detail {

ReadFailure readPfm(DecodedImage& image, std::span<const std::byte> data) {
    if (data.size() <= 3 || data[0] != std::byte{'P'} ||
        (data[1] != std::byte{'F'} && data[1] != std::byte{'f'}) || data[2] != std::byte{'\n'}) {
        return ReadFailure::kNotThisFormat;
    }
    const std::size_t channels = data[1] == std::byte{'F'} ? 3 : 1;
    TextCursor cursor(data, 3);
    std::uint32_t size[2] = {};
    for (std::uint32_t& value : size) {
        cursor.skipSpace(false);
        if (!cursor.readUnsigned(&value)) {
            return cursor.atEnd() ? ReadFailure::kTruncated : ReadFailure::kBadHeader;
        }
    }
    cursor.skipSpace(false);
    float scale = 0.0f;
    const std::string_view scaleText = cursor.token();
    if (cursor.atEnd()) {
        return ReadFailure::kTruncated;
    }
    if (!parseFloat(scaleText, &scale) || scale == 0.0f) {
        return ReadFailure::kBadHeader;
    }
    // Exactly one white-space character ends the header.
    cursor.advance();
    const bool littleEndian = scale < 0.0f;

    const std::uint32_t width = size[0];
    const std::uint32_t height = size[1];
    if (const ReadFailure sized = setSurface(image, D3DFMT_A32B32G32R32F, width, height, 16);
        sized != ReadFailure::kNone) {
        return sized;
    }
    const std::size_t rowBytes = std::size_t{width} * channels * 4;
    const std::size_t start = cursor.offset();
    if (rowBytes > (data.size() - start) / height) {
        return ReadFailure::kTruncated;
    }
    if (!image.loadPixels) {
        return ReadFailure::kNone;
    }
    BYTE* pixels = allocatePixels(image, image.slicePitch, false);
    if (pixels == nullptr) {
        return ReadFailure::kOutOfMemory;
    }

    for (std::uint32_t stored = 0; stored < height; ++stored) {
        const std::size_t in = start + stored * rowBytes;
        BYTE* out = pixels + std::size_t{height - 1 - stored} * image.rowPitch;
        for (std::uint32_t x = 0; x < width; ++x) {
            float rgba[4] = {0.0f, 0.0f, 0.0f, 1.0f};
            for (std::size_t c = 0; c < channels; ++c) {
                const std::size_t at = in + (std::size_t{x} * channels + c) * 4;
                const std::uint32_t bits =
                    littleEndian ? base::readLE32(data, at) : base::readBE32(data, at);
                std::memcpy(&rgba[c], &bits, sizeof bits);
            }
            if (channels == 1) {
                rgba[1] = rgba[2] = rgba[0];
            }
            std::memcpy(out + std::size_t{x} * 16, rgba, sizeof rgba);
        }
    }
    return ReadFailure::kNone;
}

} // namespace halv::texture::detail
