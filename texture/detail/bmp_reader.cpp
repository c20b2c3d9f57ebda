// BMP files and packed DIBs: core, info and V4/V5 headers; 1/4/8-bit indices (plain, RLE8,
// RLE4) to P8 with the colour table as palette; 16/24/32-bit pixels kept as they are, or, for
// bit-field masks that match no format, widened to 8 bits per channel.
#include "base/bytes.h"
#include "base/checked_math.h"
#include "texture/detail/image_readers.h"
#include "texture/detail/pixel_block.h"

#include <bit>
#include <cstring>
#include <optional>

namespace halv::texture::detail {
namespace {

using base::readLE16;
using base::readLE32;

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kCoreHeaderBytes = 12;
constexpr std::size_t kInfoHeaderBytes = 40;
// A 40-byte header with bit fields is followed by three masks; larger headers hold them at the
// same offsets.
constexpr std::size_t kMaskEnd = 52;
constexpr std::size_t kAlphaMaskEnd = 56;

constexpr std::uint32_t kCompressionRgb = 0;
constexpr std::uint32_t kCompressionRle8 = 1;
constexpr std::uint32_t kCompressionRle4 = 2;
constexpr std::uint32_t kCompressionBitFields = 3;

struct DibHeader {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool topDown = false;
    unsigned bitCount = 0;
    std::uint32_t compression = kCompressionRgb;
    // Red, green, blue, alpha; valid with bit fields.
    std::uint32_t masks[4] = {};
    std::size_t tableOffset = 0;
    std::size_t tableEntries = 0;
    std::size_t entryBytes = 4;
};

struct MaskFormat {
    unsigned bitCount;
    std::uint32_t masks[4];
    D3DFORMAT format;
};

constexpr MaskFormat kMaskFormats[] = {
    {16, {0x7C00, 0x03E0, 0x001F, 0}, D3DFMT_X1R5G5B5},
    {16, {0x7C00, 0x03E0, 0x001F, 0x8000}, D3DFMT_A1R5G5B5},
    {16, {0xF800, 0x07E0, 0x001F, 0}, D3DFMT_R5G6B5},
    {16, {0x0F00, 0x00F0, 0x000F, 0}, D3DFMT_X4R4G4B4},
    {16, {0x0F00, 0x00F0, 0x000F, 0xF000}, D3DFMT_A4R4G4B4},
    {16, {0x00E0, 0x001C, 0x0003, 0xFF00}, D3DFMT_A8R3G3B2},
    {32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0}, D3DFMT_X8R8G8B8},
    {32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, D3DFMT_A8R8G8B8},
    {32, {0x000000FF, 0x0000FF00, 0x00FF0000, 0}, D3DFMT_X8B8G8R8},
    {32, {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}, D3DFMT_A8B8G8R8},
    {32, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}, D3DFMT_A2R10G10B10},
    {32, {0x000003FF, 0x000FFC00, 0x3FF00000, 0xC0000000}, D3DFMT_A2B10G10R10},
    {32, {0x0000FFFF, 0xFFFF0000, 0, 0}, D3DFMT_G16R16},
};

struct Channel {
    std::uint32_t mask = 0;
    unsigned shift = 0;
    unsigned bits = 0;
};

// A mask must be one run of set bits; an empty mask is a missing channel.
std::optional<Channel> channelOf(std::uint32_t mask) {
    Channel channel;
    channel.mask = mask;
    if (mask == 0) {
        return channel;
    }
    channel.shift = static_cast<unsigned>(std::countr_zero(mask));
    const std::uint32_t run = mask >> channel.shift;
    if ((run & (run + 1)) != 0) {
        return std::nullopt;
    }
    channel.bits = static_cast<unsigned>(std::popcount(run));
    return channel;
}

BYTE channelTo8(std::uint32_t pixel, const Channel& channel) {
    if (channel.bits == 0) {
        return 0;
    }
    const std::uint32_t value = (pixel & channel.mask) >> channel.shift;
    if (channel.bits >= 8) {
        return static_cast<BYTE>(value >> (channel.bits - 8));
    }
    return widenTo8(value, channel.bits);
}

ReadFailure parseHeader(std::span<const std::byte> data, DibHeader& header) {
    const std::size_t size = data.size();
    if (size < 4) {
        return ReadFailure::kNotThisFormat;
    }
    const std::uint32_t headerSize = readLE32(data, 0);
    unsigned planes = 0;
    if (headerSize == kCoreHeaderBytes) {
        if (kCoreHeaderBytes > size) {
            return ReadFailure::kTruncated;
        }
        // The core header's unsigned 16-bit fields, widened to the long header's meaning.
        header.width = readLE16(data, 4);
        header.height = readLE16(data, 6);
        planes = readLE16(data, 8);
        header.bitCount = readLE16(data, 10);
        header.entryBytes = 3;
        header.tableOffset = kCoreHeaderBytes;
        if (header.bitCount != 1 && header.bitCount != 4 && header.bitCount != 8 &&
            header.bitCount != 24) {
            return ReadFailure::kUnsupported;
        }
        header.tableEntries = header.bitCount <= 8 ? std::size_t{1} << header.bitCount : 0;
    } else if (headerSize >= kInfoHeaderBytes) {
        if (headerSize > size) {
            return ReadFailure::kTruncated;
        }
        const auto width = static_cast<std::int32_t>(readLE32(data, 4));
        const auto height = static_cast<std::int32_t>(readLE32(data, 8));
        planes = readLE16(data, 12);
        header.bitCount = readLE16(data, 14);
        header.compression = readLE32(data, 16);
        const std::uint32_t coloursUsed = readLE32(data, 32);
        if (width <= 0 || height == 0 || height == INT32_MIN) {
            return ReadFailure::kBadHeader;
        }
        header.width = static_cast<std::uint32_t>(width);
        header.topDown = height < 0;
        header.height = static_cast<std::uint32_t>(height < 0 ? -height : height);
        header.tableOffset = headerSize;
        if (header.compression == kCompressionBitFields) {
            if (kMaskEnd > size) {
                return ReadFailure::kTruncated;
            }
            header.masks[0] = readLE32(data, 40);
            header.masks[1] = readLE32(data, 44);
            header.masks[2] = readLE32(data, 48);
            header.masks[3] = headerSize >= kAlphaMaskEnd ? readLE32(data, 52) : 0;
            if (headerSize == kInfoHeaderBytes) {
                header.tableOffset = kMaskEnd;
            }
        }
        if (header.bitCount <= 8 && header.bitCount != 0) {
            header.tableEntries =
                coloursUsed != 0 ? coloursUsed : std::size_t{1} << header.bitCount;
        } else {
            // Only an optimisation hint for palette devices; skipped.
            header.tableEntries = coloursUsed;
        }
    } else {
        return ReadFailure::kNotThisFormat;
    }
    if (planes != 1) {
        return ReadFailure::kNotThisFormat;
    }
    if (header.width == 0 || header.height == 0) {
        return ReadFailure::kBadHeader;
    }

    const unsigned bits = header.bitCount;
    switch (header.compression) {
    case kCompressionRgb:
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
            return ReadFailure::kUnsupported;
        }
        break;
    case kCompressionRle8:
    case kCompressionRle4:
        if (bits != (header.compression == kCompressionRle8 ? 8u : 4u)) {
            return ReadFailure::kBadHeader;
        }
        // Run-length data is always stored bottom-up.
        if (header.topDown) {
            return ReadFailure::kBadHeader;
        }
        break;
    case kCompressionBitFields:
        if (bits != 16 && bits != 32) {
            return ReadFailure::kBadHeader;
        }
        break;
    default:
        return ReadFailure::kUnsupported;
    }
    return ReadFailure::kNone;
}

struct Layout {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    std::size_t bytesPerPixel = 0;
    // Bit fields that match no format: converted through these channels.
    bool convert = false;
    Channel channels[4];
};

ReadFailure chooseLayout(const DibHeader& header, Layout& layout) {
    switch (header.bitCount) {
    case 1:
    case 4:
    case 8:
        layout.format = D3DFMT_P8;
        layout.bytesPerPixel = 1;
        return ReadFailure::kNone;
    case 24:
        layout.format = D3DFMT_R8G8B8;
        layout.bytesPerPixel = 3;
        return ReadFailure::kNone;
    default:
        break;
    }
    layout.bytesPerPixel = header.bitCount / 8;
    if (header.compression != kCompressionBitFields) {
        layout.format = header.bitCount == 16 ? D3DFMT_X1R5G5B5 : D3DFMT_X8R8G8B8;
        return ReadFailure::kNone;
    }
    for (const MaskFormat& known : kMaskFormats) {
        if (known.bitCount == header.bitCount &&
            std::memcmp(known.masks, header.masks, sizeof known.masks) == 0) {
            layout.format = known.format;
            return ReadFailure::kNone;
        }
    }
    // Masks must be runs of bits inside the pixel that do not overlap.
    const std::uint32_t pixelBits =
        header.bitCount == 32 ? 0xFFFFFFFFu : (std::uint32_t{1} << header.bitCount) - 1;
    std::uint32_t seen = 0;
    for (int i = 0; i < 4; ++i) {
        const std::optional<Channel> channel = channelOf(header.masks[i]);
        if (!channel || (header.masks[i] & ~pixelBits) != 0 || (header.masks[i] & seen) != 0) {
            return ReadFailure::kBadHeader;
        }
        seen |= header.masks[i];
        layout.channels[i] = *channel;
    }
    if (seen == 0) {
        return ReadFailure::kBadHeader;
    }
    layout.convert = true;
    layout.format = header.masks[3] != 0 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8;
    layout.bytesPerPixel = 4;
    return ReadFailure::kNone;
}

void fillPalette(PALETTEENTRY* palette, const DibHeader& header, std::span<const std::byte> data) {
    const std::size_t count = header.tableEntries < 256 ? header.tableEntries : 256;
    for (std::size_t i = 0; i < count; ++i) {
        // Table entries are blue, green, red (and a reserved byte in the long form).
        const std::size_t at = header.tableOffset + i * header.entryBytes;
        palette[i].peRed = std::to_integer<BYTE>(data[at + 2]);
        palette[i].peGreen = std::to_integer<BYTE>(data[at + 1]);
        palette[i].peBlue = std::to_integer<BYTE>(data[at]);
        palette[i].peFlags = 255;
    }
}

void convertRow(BYTE* out, std::span<const std::byte> row, const DibHeader& header,
                const Layout& layout, std::uint32_t width) {
    for (std::uint32_t x = 0; x < width; ++x) {
        switch (header.bitCount) {
        case 1:
            out[x] = static_cast<BYTE>((std::to_integer<unsigned>(row[x / 8]) >> (7 - x % 8)) & 1);
            break;
        case 4:
            out[x] = static_cast<BYTE>((std::to_integer<unsigned>(row[x / 2]) >> (x % 2 ? 0 : 4)) &
                                       0x0F);
            break;
        default: {
            const std::uint32_t pixel =
                header.bitCount == 16 ? readLE16(row, x * 2) : readLE32(row, x * 4);
            BYTE* target = out + x * 4;
            target[0] = channelTo8(pixel, layout.channels[2]);
            target[1] = channelTo8(pixel, layout.channels[1]);
            target[2] = channelTo8(pixel, layout.channels[0]);
            target[3] = layout.channels[3].bits != 0 ? channelTo8(pixel, layout.channels[3]) : 255;
            break;
        }
        }
    }
}

// RLE8 / RLE4 into a zeroed P8 block: pixels a run, a delta or an early end skips keep index
// 0. Pixels of a run or literal past the row end are dropped: ImageMagick encodes rows padded
// to 4 bytes, so its runs reach into the padding. Deltas past the image are refused.
ReadFailure decodeRunLength(BYTE* pixels, const DibHeader& header, const DecodedImage& image,
                            std::span<const std::byte> data, std::size_t offset) {
    const bool rle8 = header.compression == kCompressionRle8;
    const std::size_t size = data.size();
    const std::uint32_t width = header.width;
    const std::uint32_t height = header.height;
    std::uint32_t x = 0;
    std::uint32_t y = 0;
    auto put = [&](unsigned index) {
        if (x < width) {
            pixels[std::size_t{height - 1 - y} * image.rowPitch + x] = static_cast<BYTE>(index);
            ++x;
        }
    };
    auto indexAt = [&](unsigned byte, std::uint32_t i) {
        return rle8 ? byte : (i % 2 == 0 ? byte >> 4 : byte & 0x0F);
    };
    while (y < height) {
        if (2 > size - offset) {
            return ReadFailure::kTruncated;
        }
        const unsigned count = std::to_integer<unsigned>(data[offset]);
        const unsigned value = std::to_integer<unsigned>(data[offset + 1]);
        offset += 2;
        if (count > 0) {
            for (unsigned i = 0; i < count; ++i) {
                put(indexAt(value, i));
            }
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            ++y;
            break;
        case 1: // end of bitmap
            return ReadFailure::kNone;
        case 2: { // delta: right dx, up dy rows
            if (2 > size - offset) {
                return ReadFailure::kTruncated;
            }
            const unsigned dx = std::to_integer<unsigned>(data[offset]);
            const unsigned dy = std::to_integer<unsigned>(data[offset + 1]);
            offset += 2;
            if (dx > width - x || dy >= height - y) {
                return ReadFailure::kBadRunLength;
            }
            x += dx;
            y += dy;
            break;
        }
        default: { // absolute: `value` literal indices, padded to a 16-bit boundary
            const std::size_t bytes = rle8 ? value : (value + 1) / 2;
            const std::size_t padded = bytes + (bytes & 1);
            if (padded > size - offset) {
                return ReadFailure::kTruncated;
            }
            for (unsigned i = 0; i < value; ++i) {
                const unsigned byte = std::to_integer<unsigned>(data[offset + (rle8 ? i : i / 2)]);
                put(indexAt(byte, i));
            }
            offset += padded;
            break;
        }
        }
    }
    return ReadFailure::kNone;
}

// Whether a run-length stream of `streamBytes` may stand for `pixelCount` pixels. A run writes
// at most 255 pixels for 2 bytes; deltas and an early end of bitmap leave pixels blank for
// free, but encoders use them for holes in a picture, not for nearly all of it. So a stream
// may cover up to 8 times what its densest runs could write, plus a 256 x 256 picture left
// blank outright; a header claiming more is out of all proportion to its data and is refused
// before the block is allocated.
bool runLengthCanCover(std::size_t pixelCount, std::size_t streamBytes) {
    constexpr std::size_t kPixelsPerStreamByte = 1024;
    constexpr std::size_t kBlankPixels = 256 * 256;
    return pixelCount <= kBlankPixels ||
           (pixelCount - kBlankPixels + kPixelsPerStreamByte - 1) / kPixelsPerStreamByte <=
               streamBytes;
}

// `pixelOffset`, when given, is where the pixel array starts (BMP's file header says so);
// otherwise it follows the colour table.
ReadFailure readPackedDib(DecodedImage& image, std::span<const std::byte> data,
                          std::optional<std::size_t> pixelOffset) {
    DibHeader header;
    if (const ReadFailure parsed = parseHeader(data, header); parsed != ReadFailure::kNone) {
        return parsed;
    }
    std::size_t tableBytes = 0;
    std::size_t tableEnd = 0;
    if (!base::checkedMul(header.tableEntries, header.entryBytes, &tableBytes) ||
        !base::checkedAdd(header.tableOffset, tableBytes, &tableEnd) || tableEnd > data.size()) {
        return ReadFailure::kTruncated;
    }
    std::size_t offset = tableEnd;
    if (pixelOffset) {
        if (*pixelOffset < tableEnd) {
            return ReadFailure::kBadHeader;
        }
        if (*pixelOffset > data.size()) {
            return ReadFailure::kTruncated;
        }
        offset = *pixelOffset;
    }

    Layout layout;
    if (const ReadFailure chosen = chooseLayout(header, layout); chosen != ReadFailure::kNone) {
        return chosen;
    }
    if (const ReadFailure sized =
            setSurface(image, layout.format, header.width, header.height, layout.bytesPerPixel);
        sized != ReadFailure::kNone) {
        return sized;
    }

    // Stored rows are padded to 4 bytes.
    const bool runLength =
        header.compression == kCompressionRle8 || header.compression == kCompressionRle4;
    const std::size_t storedRow = (std::size_t{header.width} * header.bitCount + 31) / 32 * 4;
    if (runLength
            ? !runLengthCanCover(std::size_t{header.width} * header.height, data.size() - offset)
            : storedRow > (data.size() - offset) / header.height) {
        return ReadFailure::kTruncated;
    }
    if (!image.loadPixels) {
        return ReadFailure::kNone;
    }

    BYTE* pixels = allocatePixels(image, image.slicePitch, runLength);
    if (pixels == nullptr) {
        return ReadFailure::kOutOfMemory;
    }
    if (layout.format == D3DFMT_P8) {
        PALETTEENTRY* palette = allocatePalette(image);
        if (palette == nullptr) {
            return ReadFailure::kOutOfMemory;
        }
        fillPalette(palette, header, data);
    }
    if (runLength) {
        return decodeRunLength(pixels, header, image, data, offset);
    }

    const bool copyRows = header.bitCount >= 16 && !layout.convert;
    for (std::uint32_t stored = 0; stored < header.height; ++stored) {
        const std::uint32_t y = header.topDown ? stored : header.height - 1 - stored;
        BYTE* out = pixels + std::size_t{y} * image.rowPitch;
        const std::span<const std::byte> row = data.subspan(offset + stored * storedRow, storedRow);
        if (copyRows) {
            std::memcpy(out, row.data(), image.rowPitch);
        } else if (header.bitCount == 8) {
            std::memcpy(out, row.data(), header.width);
        } else {
            convertRow(out, row, header, layout, header.width);
        }
    }
    return ReadFailure::kNone;
}

} // namespace

ReadFailure readDib(DecodedImage& image, std::span<const std::byte> data) {
    return readPackedDib(image, data, std::nullopt);
}

ReadFailure readBmp(DecodedImage& image, std::span<const std::byte> data) {
    if (data.size() < kFileHeaderBytes || data[0] != std::byte{'B'} || data[1] != std::byte{'M'}) {
        return ReadFailure::kNotThisFormat;
    }
    // A file-size field beyond the data means a cut-off file (or not a BMP at all).
    if (readLE32(data, 2) > data.size()) {
        return ReadFailure::kNotThisFormat;
    }
    const std::uint32_t pixelOffset = readLE32(data, 10);
    std::optional<std::size_t> dibPixelOffset;
    if (pixelOffset != 0) {
        if (pixelOffset < kFileHeaderBytes) {
            return ReadFailure::kBadHeader;
        }
        dibPixelOffset = pixelOffset - kFileHeaderBytes;
    }
    return readPackedDib(image, data.subspan(kFileHeaderBytes), dibPixelOffset);
}

} // namespace halv::texture::detail
