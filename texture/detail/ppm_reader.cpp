// Netpbm colour images: P6 (raw bytes, maximum at most 255) and P3 (decimal samples), scaled
// to 8 bits as sample * 255 / maximum and stored as X8R8G8B8.
#include "texture/detail/image_readers.h"
#include "texture/detail/pixel_block.h"
#include "texture/detail/text_cursor.h"

namespace halv::texture::detail {

ReadFailure readPpm(DecodedImage& image, std::span<const std::byte> data) {
    if (data.size() < 2 || data[0] != std::byte{'P'} ||
        (data[1] != std::byte{'3'} && data[1] != std::byte{'6'})) {
        return ReadFailure::kNotThisFormat;
    }
    const bool raw = data[1] == std::byte{'6'};
    TextCursor cursor(data, 2);
    // The magic must stand alone.
    if (!TextCursor::isSpace(cursor.peek()) && cursor.peek() != '#') {
        return ReadFailure::kNotThisFormat;
    }
    std::uint32_t header[3] = {};
    for (std::uint32_t& value : header) {
        cursor.skipSpace(true);
        if (!cursor.readUnsigned(&value)) {
            return cursor.atEnd() ? ReadFailure::kTruncated : ReadFailure::kBadHeader;
        }
    }
    const std::uint32_t width = header[0];
    const std::uint32_t height = header[1];
    const std::uint32_t maximum = header[2];
    if (width == 0 || height == 0 || maximum == 0 || maximum > 65535) {
        return ReadFailure::kBadHeader;
    }
    if (raw && maximum > 255) {
        return ReadFailure::kUnsupported;
    }
    if (raw) {
        // One line break separates header and samples: an optional CR, then one byte.
        if (cursor.peek() == '\r') {
            cursor.advance();
        }
        if (cursor.atEnd()) {
            return ReadFailure::kTruncated;
        }
        cursor.advance();
    }
    if (const ReadFailure sized = setSurface(image, D3DFMT_X8R8G8B8, width, height, 4);
        sized != ReadFailure::kNone) {
        return sized;
    }
    const std::size_t samples = std::size_t{width} * height * 3;
    const std::size_t available = data.size() - cursor.offset();
    // Raw samples are one byte each; decimal ones at least a digit and a separator.
    if (raw ? samples > available : samples > available / 2 + 1) {
        return ReadFailure::kTruncated;
    }
    if (!image.loadPixels) {
        return ReadFailure::kNone;
    }
    BYTE* pixels = allocatePixels(image, image.slicePitch, false);
    if (pixels == nullptr) {
        return ReadFailure::kOutOfMemory;
    }

    const std::size_t pixelCount = std::size_t{width} * height;
    if (raw) {
        BYTE scale[256];
        for (unsigned i = 0; i < 256; ++i) {
            scale[i] = static_cast<BYTE>(i <= maximum ? i * 255 / maximum : 255);
        }
        const std::size_t start = cursor.offset();
        for (std::size_t n = 0; n < pixelCount; ++n) {
            const std::size_t at = start + n * 3;
            const unsigned red = std::to_integer<unsigned>(data[at]);
            const unsigned green = std::to_integer<unsigned>(data[at + 1]);
            const unsigned blue = std::to_integer<unsigned>(data[at + 2]);
            if (red > maximum || green > maximum || blue > maximum) {
                return ReadFailure::kBadSample;
            }
            BYTE* out = pixels + n * 4;
            out[0] = scale[blue];
            out[1] = scale[green];
            out[2] = scale[red];
            out[3] = 255;
        }
        return ReadFailure::kNone;
    }

    for (std::size_t n = 0; n < pixelCount; ++n) {
        std::uint32_t rgb[3] = {};
        for (std::uint32_t& value : rgb) {
            cursor.skipSpace(true);
            if (!cursor.readUnsigned(&value)) {
                return cursor.atEnd() ? ReadFailure::kTruncated : ReadFailure::kBadSample;
            }
            if (value > maximum) {
                return ReadFailure::kBadSample;
            }
        }
        BYTE* out = pixels + n * 4;
        out[0] = static_cast<BYTE>(rgb[2] * 255 / maximum);
        out[1] = static_cast<BYTE>(rgb[1] * 255 / maximum);
        out[2] = static_cast<BYTE>(rgb[0] * 255 / maximum);
        out[3] = 255;
    }
    return ReadFailure::kNone;
}

} // namespace halv::texture::detail
