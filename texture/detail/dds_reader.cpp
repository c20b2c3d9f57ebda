// DirectDraw Surface files: 2D textures with mip chains, complete cube maps and volumes in the
// Direct3D 9 pixel formats. Surfaces are not copied: each record points into the file data.
#include "base/bytes.h"
#include "base/checked_math.h"
#include "texture/detail/image_readers.h"
#include "texture/detail/pixel_block.h"

#include <algorithm>
#include <bit>
#include <new>

namespace halv::texture::detail {
namespace {

using base::readLE32;

constexpr std::size_t kHeaderEnd = 128;
constexpr std::size_t kPaletteBytes = 256 * 4;

// Header fields, as file offsets (the 4-byte magic included).
constexpr std::size_t kFlagsAt = 8;
constexpr std::size_t kHeightAt = 12;
constexpr std::size_t kWidthAt = 16;
constexpr std::size_t kDepthAt = 24;
constexpr std::size_t kMipCountAt = 28;
constexpr std::size_t kPixelFlagsAt = 80;
constexpr std::size_t kFourCcAt = 84;
constexpr std::size_t kBitCountAt = 88;
constexpr std::size_t kRedMaskAt = 92;
constexpr std::size_t kCaps2At = 112;

constexpr std::uint32_t kFlagDepth = 0x800000;
constexpr std::uint32_t kCaps2Cubemap = 0x200;
constexpr std::uint32_t kCaps2AllFaces = 0xFC00;
constexpr std::uint32_t kCaps2Volume = 0x200000;

constexpr std::uint32_t kPfAlphaPixels = 0x1;
constexpr std::uint32_t kPfAlpha = 0x2;
constexpr std::uint32_t kPfFourCc = 0x4;
constexpr std::uint32_t kPfPaletteIndexed8 = 0x20;
constexpr std::uint32_t kPfRgb = 0x40;
constexpr std::uint32_t kPfLuminance = 0x20000;
constexpr std::uint32_t kPfBumpLuminance = 0x40000;
constexpr std::uint32_t kPfBumpDuDv = 0x80000;

// How the pixel-format block describes a format: the one flag that names its kind, the bit
// count and the red, green, blue and alpha masks (the alpha mask only counts with
// ALPHAPIXELS, or for alpha-only and bump formats, which carry it regardless).
struct MaskedFormat {
    std::uint32_t kind;
    std::uint32_t bitCount;
    std::uint32_t masks[4];
    D3DFORMAT format;
};

constexpr MaskedFormat kMaskedFormats[] = {
    {kPfRgb, 32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, D3DFMT_A8R8G8B8},
    {kPfRgb, 32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0}, D3DFMT_X8R8G8B8},
    {kPfRgb, 32, {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}, D3DFMT_A8B8G8R8},
    {kPfRgb, 32, {0x000000FF, 0x0000FF00, 0x00FF0000, 0}, D3DFMT_X8B8G8R8},
    {kPfRgb, 32, {0x0000FFFF, 0xFFFF0000, 0, 0}, D3DFMT_G16R16},
    {kPfRgb, 32, {0x000003FF, 0x000FFC00, 0x3FF00000, 0xC0000000}, D3DFMT_A2B10G10R10},
    {kPfRgb, 32, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}, D3DFMT_A2R10G10B10},
    {kPfRgb, 24, {0xFF0000, 0x00FF00, 0x0000FF, 0}, D3DFMT_R8G8B8},
    {kPfRgb, 16, {0xF800, 0x07E0, 0x001F, 0}, D3DFMT_R5G6B5},
    {kPfRgb, 16, {0x7C00, 0x03E0, 0x001F, 0x8000}, D3DFMT_A1R5G5B5},
    {kPfRgb, 16, {0x7C00, 0x03E0, 0x001F, 0}, D3DFMT_X1R5G5B5},
    {kPfRgb, 16, {0x0F00, 0x00F0, 0x000F, 0xF000}, D3DFMT_A4R4G4B4},
    {kPfRgb, 16, {0x0F00, 0x00F0, 0x000F, 0}, D3DFMT_X4R4G4B4},
    {kPfRgb, 16, {0x00E0, 0x001C, 0x0003, 0xFF00}, D3DFMT_A8R3G3B2},
    {kPfRgb, 8, {0xE0, 0x1C, 0x03, 0}, D3DFMT_R3G3B2},
    {kPfLuminance, 8, {0xFF, 0, 0, 0}, D3DFMT_L8},
    {kPfLuminance, 16, {0xFFFF, 0, 0, 0}, D3DFMT_L16},
    {kPfLuminance, 16, {0x00FF, 0, 0, 0xFF00}, D3DFMT_A8L8},
    {kPfLuminance, 8, {0x0F, 0, 0, 0xF0}, D3DFMT_A4L4},
    {kPfAlpha, 8, {0, 0, 0, 0xFF}, D3DFMT_A8},
    {kPfPaletteIndexed8, 8, {0, 0, 0, 0}, D3DFMT_P8},
    {kPfPaletteIndexed8, 16, {0, 0, 0, 0xFF00}, D3DFMT_A8P8},
    {kPfBumpDuDv, 16, {0x00FF, 0xFF00, 0, 0}, D3DFMT_V8U8},
    {kPfBumpDuDv, 32, {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000}, D3DFMT_Q8W8V8U8},
    {kPfBumpDuDv, 32, {0x0000FFFF, 0xFFFF0000, 0, 0}, D3DFMT_V16U16},
    {kPfBumpDuDv, 32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, D3DFMT_A2W10V10U10},
    {kPfBumpLuminance, 16, {0x001F, 0x03E0, 0xFC00, 0}, D3DFMT_L6V5U5},
    {kPfBumpLuminance, 32, {0x0000FF, 0x00FF00, 0xFF0000, 0}, D3DFMT_X8L8V8U8},
};

// Formats named by a four-character code, or by their D3DFORMAT number in the same field.
constexpr D3DFORMAT kFourCcFormats[] = {
    D3DFMT_DXT1,          D3DFMT_DXT2,          D3DFMT_DXT3,         D3DFMT_DXT4,
    D3DFMT_DXT5,          D3DFMT_R8G8_B8G8,     D3DFMT_G8R8_G8B8,    D3DFMT_UYVY,
    D3DFMT_YUY2,          D3DFMT_A16B16G16R16,  D3DFMT_Q16W16V16U16, D3DFMT_R16F,
    D3DFMT_G16R16F,       D3DFMT_A16B16G16R16F, D3DFMT_R32F,         D3DFMT_G32R32F,
    D3DFMT_A32B32G32R32F, D3DFMT_CxV8U8,
};

D3DFORMAT matchPixelFormat(std::span<const std::byte> data) {
    const std::uint32_t flags = readLE32(data, kPixelFlagsAt);
    if ((flags & kPfFourCc) != 0) {
        const std::uint32_t code = readLE32(data, kFourCcAt);
        for (const D3DFORMAT format : kFourCcFormats) {
            if (code == format) {
                return format;
            }
        }
        return D3DFMT_UNKNOWN;
    }
    std::uint32_t kind = 0;
    for (const std::uint32_t candidate :
         {kPfRgb, kPfLuminance, kPfAlpha, kPfPaletteIndexed8, kPfBumpDuDv, kPfBumpLuminance}) {
        if ((flags & candidate) != 0) {
            kind = candidate;
            break;
        }
    }
    const std::uint32_t bitCount = readLE32(data, kBitCountAt);
    std::uint32_t masks[4];
    for (std::size_t i = 0; i < 4; ++i) {
        masks[i] = readLE32(data, kRedMaskAt + 4 * i);
    }
    const bool alphaAlwaysValid =
        kind == kPfAlpha || kind == kPfBumpDuDv || kind == kPfBumpLuminance;
    if ((flags & kPfAlphaPixels) == 0 && !alphaAlwaysValid) {
        masks[3] = 0;
    }
    for (const MaskedFormat& entry : kMaskedFormats) {
        if (entry.kind == kind && entry.bitCount == bitCount && entry.masks[0] == masks[0] &&
            entry.masks[1] == masks[1] && entry.masks[2] == masks[2] &&
            entry.masks[3] == masks[3]) {
            return entry.format;
        }
    }
    return D3DFMT_UNKNOWN;
}

struct SurfaceShape {
    std::size_t rowPitch;
    std::size_t rows;
};

// Row pitch and row count of one slice: compressed formats in rows of 4x4 blocks, the packed
// two-pixel formats in pairs, everything else by its bit count.
SurfaceShape shapeOf(D3DFORMAT format, std::size_t width, std::size_t height) {
    switch (format) {
    case D3DFMT_DXT1:
        return {(width + 3) / 4 * 8, (height + 3) / 4};
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        return {(width + 3) / 4 * 16, (height + 3) / 4};
    case D3DFMT_R8G8_B8G8:
    case D3DFMT_G8R8_G8B8:
    case D3DFMT_UYVY:
    case D3DFMT_YUY2:
        return {(width + 1) / 2 * 4, height};
    default:
        break;
    }
    std::size_t bits = 32;
    switch (format) {
    case D3DFMT_R3G3B2:
    case D3DFMT_A8:
    case D3DFMT_P8:
    case D3DFMT_L8:
    case D3DFMT_A4L4:
        bits = 8;
        break;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_X4R4G4B4:
    case D3DFMT_A8R3G3B2:
    case D3DFMT_A8P8:
    case D3DFMT_A8L8:
    case D3DFMT_L16:
    case D3DFMT_V8U8:
    case D3DFMT_L6V5U5:
    case D3DFMT_R16F:
    case D3DFMT_CxV8U8:
        bits = 16;
        break;
    case D3DFMT_R8G8B8:
        bits = 24;
        break;
    case D3DFMT_A16B16G16R16:
    case D3DFMT_Q16W16V16U16:
    case D3DFMT_A16B16G16R16F:
    case D3DFMT_G32R32F:
        bits = 64;
        break;
    case D3DFMT_A32B32G32R32F:
        bits = 128;
        break;
    default:
        break;
    }
    return {(width * bits + 7) / 8, height};
}

struct Walk {
    std::span<const std::byte> data;
    std::size_t offset;
    D3DFORMAT format;
    bool loadPixels;
    const PALETTEENTRY* palette;
};

// Describes one surface at the walk's offset and advances past it.
ReadFailure takeSurface(Walk& walk, DecodedImage& record, std::size_t width, std::size_t height,
                        std::size_t depth) {
    const SurfaceShape shape = shapeOf(walk.format, width, height);
    std::size_t slice = 0;
    std::size_t bytes = 0;
    if (!base::checkedMul(shape.rowPitch, shape.rows, &slice) ||
        !base::checkedMul(slice, depth, &bytes) || bytes > kMaxPixelBlockBytes) {
        return ReadFailure::kTooLarge;
    }
    if (bytes > walk.data.size() - walk.offset) {
        return ReadFailure::kTruncated;
    }
    record.format = walk.format;
    record.width = static_cast<UINT>(width);
    record.height = static_cast<UINT>(height);
    record.depth = static_cast<UINT>(depth);
    record.rowPitch = static_cast<UINT>(shape.rowPitch);
    record.slicePitch = static_cast<UINT>(slice);
    if (walk.loadPixels) {
        record.pixels = reinterpret_cast<const BYTE*>(walk.data.data() + walk.offset);
        record.palette = walk.palette;
    }
    walk.offset += bytes;
    return ReadFailure::kNone;
}

} // namespace

ReadFailure readDds(DecodedImage& image, std::span<const std::byte> data) {
    if (data.size() < kHeaderEnd || readLE32(data, 0) != MAKEFOURCC('D', 'D', 'S', ' ')) {
        return ReadFailure::kNotThisFormat;
    }
    const std::uint32_t flags = readLE32(data, kFlagsAt);
    const std::uint32_t width = readLE32(data, kWidthAt);
    const std::uint32_t height = readLE32(data, kHeightAt);
    const std::uint32_t caps2 = readLE32(data, kCaps2At);
    std::uint32_t depth = (flags & kFlagDepth) != 0 ? readLE32(data, kDepthAt) : 1;
    depth = depth == 0 ? 1 : depth;
    std::uint32_t levels = readLE32(data, kMipCountAt);
    levels = levels == 0 ? 1 : levels;
    if (width == 0 || height == 0) {
        return ReadFailure::kBadHeader;
    }

    const bool cube = (caps2 & kCaps2Cubemap) != 0;
    const bool volume = (caps2 & kCaps2Volume) != 0;
    if (cube && ((caps2 & kCaps2AllFaces) != kCaps2AllFaces || volume || width != height)) {
        return ReadFailure::kUnsupported;
    }
    if (!volume) {
        depth = 1;
    }
    // A chain cannot go on past 1x1x1.
    const unsigned fullChain =
        static_cast<unsigned>(std::bit_width(std::max({width, height, depth})));
    if (levels > fullChain) {
        return ReadFailure::kBadHeader;
    }

    const D3DFORMAT format = matchPixelFormat(data);
    if (format == D3DFMT_UNKNOWN) {
        return ReadFailure::kUnsupported;
    }
    Walk walk{data, kHeaderEnd, format, image.loadPixels, nullptr};
    if (format == D3DFMT_P8 || format == D3DFMT_A8P8) {
        // 256 entries in red, green, blue, flags order follow the header.
        if (kPaletteBytes > data.size() - walk.offset) {
            return ReadFailure::kTruncated;
        }
        if (image.loadPixels) {
            PALETTEENTRY* palette = allocatePalette(image);
            if (palette == nullptr) {
                return ReadFailure::kOutOfMemory;
            }
            for (std::size_t i = 0; i < 256; ++i) {
                const std::size_t at = walk.offset + 4 * i;
                palette[i] = {std::to_integer<BYTE>(data[at]), std::to_integer<BYTE>(data[at + 1]),
                              std::to_integer<BYTE>(data[at + 2]),
                              std::to_integer<BYTE>(data[at + 3])};
            }
            // Every surface shares the head's palette.
            walk.palette = palette;
        }
        walk.offset += kPaletteBytes;
    }
    image.resourceType = cube     ? D3DRTYPE_CUBETEXTURE
                         : volume ? D3DRTYPE_VOLUMETEXTURE
                                  : D3DRTYPE_TEXTURE;

    // Faces +X, -X, +Y, -Y, +Z, -Z, each its whole mip chain; a volume level holds all its
    // slices.
    const unsigned faces = cube ? 6 : 1;
    DecodedImage* face = &image;
    for (unsigned f = 0; f < faces; ++f) {
        if (f > 0) {
            face->nextFace.reset(new (std::nothrow) DecodedImage);
            if (face->nextFace == nullptr) {
                return ReadFailure::kOutOfMemory;
            }
            face = face->nextFace.get();
        }
        DecodedImage* level = face;
        for (unsigned l = 0; l < levels; ++l) {
            if (l > 0) {
                level->nextMip.reset(new (std::nothrow) DecodedImage);
                if (level->nextMip == nullptr) {
                    return ReadFailure::kOutOfMemory;
                }
                level = level->nextMip.get();
            }
            level->loadPixels = image.loadPixels;
            level->resourceType = image.resourceType;
            level->fileFormat = image.fileFormat;
            const ReadFailure taken =
                takeSurface(walk, *level, std::max(width >> l, 1u), std::max(height >> l, 1u),
                            std::max(depth >> l, 1u));
            if (taken != ReadFailure::kNone) {
                return taken;
            }
        }
    }
    return ReadFailure::kNone;
}

} // namespace halv::texture::detail
