// Truevision TGA: colour-mapped (to P8), true colour (15/16/24/32 bits kept as X1R5G5B5,
// A1R5G5B5, R8G8B8, A8R8G8B8) and grey (L8), raw or run-length, in any of the four origins.
#include "base/bytes.h"
#include "texture/detail/image_readers.h"
#include "texture/detail/pixel_block.h"

#include <cstring>

namespace halv::texture::detail {
namespace {

using base::readLE16;

constexpr std::size_t kHeaderBytes = 18;
constexpr unsigned kTypeColourMapped = 1;
constexpr unsigned kTypeTrueColour = 2;
constexpr unsigned kTypeGrey = 3;
constexpr unsigned kTypeRunLengthBit = 0x08;
constexpr unsigned kDescriptorRightToLeft = 0x10;
constexpr unsigned kDescriptorTopToBottom = 0x20;
constexpr unsigned kDescriptorInterleave = 0xC0;
// A run-length packet is at least a header byte and one pixel and covers at most 128 pixels.
constexpr std::size_t kMaxPixelsPerPacket = 128;

PALETTEENTRY mapEntry(std::span<const std::byte> data, std::size_t at, unsigned entryBits) {
    auto byte = [&](std::size_t i) { return std::to_integer<BYTE>(data[at + i]); };
    switch (entryBits) {
    case 15:
    case 16: {
        const unsigned word = readLE16(data, at);
        const BYTE alpha = entryBits == 16 && (word & 0x8000) == 0 ? 0 : 255;
        return {widenTo8((word >> 10) & 0x1F, 5), widenTo8((word >> 5) & 0x1F, 5),
                widenTo8(word & 0x1F, 5), alpha};
    }
    case 24:
        return {byte(2), byte(1), byte(0), 255};
    default:
        return {byte(2), byte(1), byte(0), byte(3)};
    }
}

} // namespace

ReadFailure readTga(DecodedImage& image, std::span<const std::byte> data) {
    const std::size_t size = data.size();
    if (size < kHeaderBytes) {
        return ReadFailure::kNotThisFormat;
    }
    auto byteAt = [&](std::size_t i) { return std::to_integer<unsigned>(data[i]); };
    const unsigned idLength = byteAt(0);
    const unsigned mapType = byteAt(1);
    const unsigned imageType = byteAt(2);
    const unsigned mapFirst = readLE16(data, 3);
    const unsigned mapLength = readLE16(data, 5);
    const unsigned mapEntryBits = byteAt(7);
    const unsigned width = readLE16(data, 12);
    const unsigned height = readLE16(data, 14);
    const unsigned pixelBits = byteAt(16);
    const unsigned descriptor = byteAt(17);
    if (mapType > 1 || (imageType & ~0x0Bu) != 0 || width == 0 || height == 0) {
        return ReadFailure::kNotThisFormat;
    }
    const unsigned kind = imageType & 0x03;
    const bool runLength = (imageType & kTypeRunLengthBit) != 0;
    if (kind == 0) {
        return ReadFailure::kNotThisFormat;
    }
    if ((descriptor & kDescriptorInterleave) != 0) {
        return ReadFailure::kUnsupported;
    }

    std::size_t offset = kHeaderBytes + idLength;
    std::size_t mapOffset = offset;
    const std::size_t mapEntryBytes = (mapEntryBits + 7) / 8;
    if (mapType == 1) {
        if (mapEntryBits != 15 && mapEntryBits != 16 && mapEntryBits != 24 && mapEntryBits != 32) {
            return ReadFailure::kBadHeader;
        }
        offset += mapLength * mapEntryBytes;
    }
    if (offset > size) {
        return ReadFailure::kTruncated;
    }

    D3DFORMAT format = D3DFMT_UNKNOWN;
    switch (kind) {
    case kTypeColourMapped:
        if (mapType != 1 || pixelBits != 8 || mapFirst + mapLength > 256) {
            return ReadFailure::kBadHeader;
        }
        format = D3DFMT_P8;
        break;
    case kTypeTrueColour:
        switch (pixelBits) {
        case 15:
            format = D3DFMT_X1R5G5B5;
            break;
        case 16:
            format = D3DFMT_A1R5G5B5;
            break;
        case 24:
            format = D3DFMT_R8G8B8;
            break;
        case 32:
            format = D3DFMT_A8R8G8B8;
            break;
        default:
            return ReadFailure::kUnsupported;
        }
        break;
    case kTypeGrey:
    default:
        if (pixelBits != 8) {
            return ReadFailure::kUnsupported;
        }
        format = D3DFMT_L8;
        break;
    }
    const std::size_t pixelBytes = (pixelBits + 7) / 8;
    if (const ReadFailure sized = setSurface(image, format, width, height, pixelBytes);
        sized != ReadFailure::kNone) {
        return sized;
    }
    const std::size_t pixelCount = std::size_t{width} * height;
    const std::size_t available = size - offset;
    if (runLength
            ? pixelCount > available / (1 + pixelBytes) * kMaxPixelsPerPacket + kMaxPixelsPerPacket
            : pixelCount > available / pixelBytes) {
        return ReadFailure::kTruncated;
    }
    if (!image.loadPixels) {
        return ReadFailure::kNone;
    }

    BYTE* pixels = allocatePixels(image, image.slicePitch, false);
    if (pixels == nullptr) {
        return ReadFailure::kOutOfMemory;
    }
    if (format == D3DFMT_P8) {
        PALETTEENTRY* palette = allocatePalette(image);
        if (palette == nullptr) {
            return ReadFailure::kOutOfMemory;
        }
        for (unsigned i = 0; i < mapLength; ++i) {
            palette[mapFirst + i] = mapEntry(data, mapOffset + i * mapEntryBytes, mapEntryBits);
        }
    }

    // Pixels arrive in file order; this places the n-th one according to the origin bits.
    const bool rightToLeft = (descriptor & kDescriptorRightToLeft) != 0;
    const bool topToBottom = (descriptor & kDescriptorTopToBottom) != 0;
    auto target = [&](std::size_t n) {
        const std::size_t row = n / width;
        const std::size_t column = n % width;
        const std::size_t y = topToBottom ? row : height - 1 - row;
        const std::size_t x = rightToLeft ? width - 1 - column : column;
        return pixels + y * image.rowPitch + x * pixelBytes;
    };

    if (!runLength) {
        if (!rightToLeft && topToBottom) {
            std::memcpy(pixels, data.data() + offset, image.slicePitch);
            return ReadFailure::kNone;
        }
        for (std::size_t n = 0; n < pixelCount; ++n) {
            std::memcpy(target(n), data.data() + offset + n * pixelBytes, pixelBytes);
        }
        return ReadFailure::kNone;
    }

    // Packets may run across scan lines but not past the last pixel.
    std::size_t n = 0;
    while (n < pixelCount) {
        if (offset >= size) {
            return ReadFailure::kTruncated;
        }
        const unsigned packet = byteAt(offset++);
        const std::size_t count = (packet & 0x7F) + 1;
        if (count > pixelCount - n) {
            return ReadFailure::kBadRunLength;
        }
        const bool repeat = (packet & 0x80) != 0;
        const std::size_t need = repeat ? pixelBytes : count * pixelBytes;
        if (need > size - offset) {
            return ReadFailure::kTruncated;
        }
        for (std::size_t i = 0; i < count; ++i, ++n) {
            std::memcpy(target(n), data.data() + offset + (repeat ? 0 : i * pixelBytes),
                        pixelBytes);
        }
        offset += need;
    }
    return ReadFailure::kNone;
}

} // namespace halv::texture::detail
