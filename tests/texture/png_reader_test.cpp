#include "tests/texture/image_writers.h"
#include "tests/texture/reader_test_support.h"
#include "texture/detail/image_readers.h"
#include "texture/image_decoder.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>

namespace halv::texture {
namespace {

using detail::ReadFailure;
using testing::Bytes;
using testing::PngOptions;

// One sample of the file's rows, widened to an unsigned value of the file's bit depth.
unsigned sampleAt(const PngOptions& options, const std::vector<std::uint8_t>& samples,
                  std::uint32_t x, std::uint32_t y, unsigned channel, unsigned channels) {
    const std::size_t rowBytes = testing::pngRowBytes(options);
    const std::size_t index = std::size_t{x} * channels + channel;
    const std::uint8_t* row = samples.data() + y * rowBytes;
    switch (options.bitDepth) {
    case 16:
        return (row[index * 2] << 8) | row[index * 2 + 1];
    case 8:
        return row[index];
    default: {
        const unsigned depth = static_cast<unsigned>(options.bitDepth);
        const std::size_t bit = index * depth;
        return (row[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
    }
    }
}

std::vector<std::uint8_t> samplesFor(const PngOptions& options) {
    std::vector<std::uint8_t> samples(testing::pngRowBytes(options) * options.height);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = testing::patternSample(static_cast<std::uint32_t>(i % 97),
                                            static_cast<std::uint32_t>(i / 97), 1);
    }
    return samples;
}

Bytes fileOf(const PngOptions& options) {
    return testing::writePng(options);
}

// The file with one more chunk right after IHDR (which always ends at offset 33).
Bytes withChunk(const Bytes& png, std::string_view type, const std::vector<std::uint8_t>& data) {
    Bytes chunk;
    testing::appendBE32(chunk, static_cast<std::uint32_t>(data.size()));
    testing::append(chunk, type);
    for (const std::uint8_t byte : data) {
        testing::appendByte(chunk, byte);
    }
    const auto* crcStart = reinterpret_cast<const Bytef*>(chunk.data() + 4);
    testing::appendBE32(
        chunk, static_cast<std::uint32_t>(crc32(0, crcStart, static_cast<uInt>(4 + data.size()))));
    Bytes out(png.begin(), png.begin() + 33);
    testing::append(out, chunk);
    out.insert(out.end(), png.begin() + 33, png.end());
    return out;
}

TEST(PngReader, EightBitRgbBecomesX8R8G8B8WithOpaqueFiller) {
    PngOptions options;
    options.width = 800;
    options.height = 800;
    options.samples = samplesFor(options);
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(testing::load(fileOf(options), image, &info), S_OK);

    EXPECT_EQ(image.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(image.rowPitch, 3200u);
    EXPECT_EQ(image.slicePitch, 0u);
    EXPECT_EQ(image.depth, 1u);
    EXPECT_EQ(image.nextMip, nullptr);
    EXPECT_EQ(image.palette, nullptr);
    EXPECT_TRUE(image.ownsPixels());
    EXPECT_EQ(info.Width, 800u);
    EXPECT_EQ(info.Height, 800u);
    EXPECT_EQ(info.MipLevels, 1u);
    EXPECT_EQ(info.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PNG);

    std::size_t mismatches = 0;
    for (std::uint32_t y = 0; y < 800; ++y) {
        for (std::uint32_t x = 0; x < 800; ++x) {
            const BYTE* pixel = image.pixels + y * image.rowPitch + x * 4;
            const unsigned expected[4] = {sampleAt(options, options.samples, x, y, 2, 3),
                                          sampleAt(options, options.samples, x, y, 1, 3),
                                          sampleAt(options, options.samples, x, y, 0, 3), 0xFF};
            for (int c = 0; c < 4; ++c) {
                mismatches += pixel[c] != expected[c];
            }
        }
    }
    EXPECT_EQ(mismatches, 0u);
}

// The decoded layout for every colour type and depth: the expected bytes are built from the
// file's samples, so channel order, widening and byte order are all checked.
struct FormatCase {
    const char* name;
    int colourType;
    int bitDepth;
    bool transparentColour;
    D3DFORMAT format;
    D3DFORMAT reported;
    unsigned bytesPerPixel;
};

constexpr FormatCase kFormatCases[] = {
    {"Grey8", testing::kPngGrey, 8, false, D3DFMT_L8, D3DFMT_L8, 1},
    {"Grey1", testing::kPngGrey, 1, false, D3DFMT_L8, D3DFMT_L8, 1},
    {"Grey2", testing::kPngGrey, 2, false, D3DFMT_L8, D3DFMT_L8, 1},
    {"Grey4", testing::kPngGrey, 4, false, D3DFMT_L8, D3DFMT_L8, 1},
    {"Grey16", testing::kPngGrey, 16, false, D3DFMT_L16, D3DFMT_L16, 2},
    {"Grey8Key", testing::kPngGrey, 8, true, D3DFMT_A8L8, D3DFMT_A8L8, 2},
    {"Grey4Key", testing::kPngGrey, 4, true, D3DFMT_A8L8, D3DFMT_A8L8, 2},
    {"Grey16Key", testing::kPngGrey, 16, true, kFormatAL16, D3DFMT_A8L8, 4},
    {"GreyAlpha8", testing::kPngGreyAlpha, 8, false, D3DFMT_A8L8, D3DFMT_A8L8, 2},
    {"GreyAlpha16", testing::kPngGreyAlpha, 16, false, kFormatAL16, D3DFMT_A8L8, 4},
    {"Rgb8Key", testing::kPngRgb, 8, true, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, 4},
    {"Rgb16", testing::kPngRgb, 16, false, kFormatR16, D3DFMT_A16B16G16R16, 6},
    {"Rgb16Key", testing::kPngRgb, 16, true, D3DFMT_A16B16G16R16, D3DFMT_A16B16G16R16, 8},
    {"Rgba8", testing::kPngRgba, 8, false, D3DFMT_A8R8G8B8, D3DFMT_A8R8G8B8, 4},
    {"Rgba16", testing::kPngRgba, 16, false, D3DFMT_A16B16G16R16, D3DFMT_A16B16G16R16, 8},
    {"Palette8", testing::kPngPalette, 8, false, D3DFMT_P8, D3DFMT_P8, 1},
    {"Palette2", testing::kPngPalette, 2, false, D3DFMT_P8, D3DFMT_P8, 1},
};

unsigned channelsOf(int colourType) {
    switch (colourType) {
    case testing::kPngGreyAlpha:
        return 2;
    case testing::kPngRgb:
        return 3;
    case testing::kPngRgba:
        return 4;
    default:
        return 1;
    }
}

void putLE(std::vector<std::uint8_t>& out, unsigned value, int bitDepth) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    if (bitDepth == 16) {
        out.push_back(static_cast<std::uint8_t>(value >> 8));
    }
}

std::vector<std::uint8_t> expectedPixel(const FormatCase& c, const PngOptions& options,
                                        std::uint32_t x, std::uint32_t y, bool keyed) {
    const unsigned channels = channelsOf(c.colourType);
    unsigned v[4] = {};
    for (unsigned i = 0; i < channels; ++i) {
        v[i] = sampleAt(options, options.samples, x, y, i, channels);
    }
    const int outDepth = c.bitDepth == 16 ? 16 : 8;
    const unsigned opaque = outDepth == 16 ? 0xFFFF : 0xFF;
    if (c.colourType == testing::kPngGrey && c.bitDepth < 8) {
        v[0] = v[0] * 255 / ((1u << c.bitDepth) - 1);
    }
    std::vector<std::uint8_t> out;
    switch (c.colourType) {
    case testing::kPngPalette:
        out.push_back(static_cast<std::uint8_t>(v[0]));
        break;
    case testing::kPngGrey:
        putLE(out, v[0], outDepth);
        if (c.transparentColour) {
            putLE(out, keyed ? 0 : opaque, outDepth);
        }
        break;
    case testing::kPngGreyAlpha:
        putLE(out, v[0], outDepth);
        putLE(out, v[1], outDepth);
        break;
    default: {
        const unsigned alpha = c.colourType == testing::kPngRgba ? v[3] : (keyed ? 0 : opaque);
        const bool hasAlpha = c.colourType == testing::kPngRgba || c.transparentColour;
        if (c.format == D3DFMT_A16B16G16R16) {
            for (const unsigned value : {v[0], v[1], v[2], alpha}) {
                putLE(out, value, outDepth);
            }
        } else {
            for (const unsigned value : {v[2], v[1], v[0]}) {
                putLE(out, value, outDepth);
            }
            if (hasAlpha) {
                putLE(out, alpha, outDepth);
            }
        }
        break;
    }
    }
    return out;
}

class PngFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(PngFormat, DecodesToItsLayout) {
    const FormatCase& c = GetParam();
    PngOptions options;
    options.width = 7;
    options.height = 3;
    options.colourType = c.colourType;
    options.bitDepth = c.bitDepth;
    if (c.colourType == testing::kPngPalette) {
        for (unsigned i = 0; i < (1u << c.bitDepth); ++i) {
            options.palette.push_back({static_cast<std::uint8_t>(i * 3),
                                       static_cast<std::uint8_t>(i * 5),
                                       static_cast<std::uint8_t>(255 - i)});
        }
        options.samples.assign(testing::pngRowBytes(options) * options.height, 0);
        for (std::size_t i = 0; i < options.samples.size(); ++i) {
            options.samples[i] = static_cast<std::uint8_t>((i * 37) % 256);
        }
    } else {
        options.samples = samplesFor(options);
    }
    // The key is the colour of the first pixel, so at least one pixel turns transparent.
    const unsigned channels = channelsOf(c.colourType);
    unsigned key[3] = {};
    if (c.transparentColour) {
        for (unsigned i = 0; i < channels; ++i) {
            key[i] = sampleAt(options, options.samples, 0, 0, i, channels);
        }
        options.transparentColour = {static_cast<std::uint16_t>(key[0]),
                                     static_cast<std::uint16_t>(key[1]),
                                     static_cast<std::uint16_t>(key[2])};
    }

    DecodedImage image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(testing::load(fileOf(options), image, &info), S_OK);
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(info.Format, c.reported);
    EXPECT_EQ(image.rowPitch, options.width * c.bytesPerPixel);
    EXPECT_EQ(image.palette != nullptr, c.colourType == testing::kPngPalette);

    std::size_t keyedPixels = 0;
    for (std::uint32_t y = 0; y < options.height; ++y) {
        for (std::uint32_t x = 0; x < options.width; ++x) {
            bool keyed = c.transparentColour;
            for (unsigned i = 0; i < channels && keyed; ++i) {
                keyed = sampleAt(options, options.samples, x, y, i, channels) == key[i];
            }
            keyedPixels += keyed;
            const BYTE* pixel = image.pixels + y * image.rowPitch + x * c.bytesPerPixel;
            EXPECT_EQ(std::vector<std::uint8_t>(pixel, pixel + c.bytesPerPixel),
                      expectedPixel(c, options, x, y, keyed))
                << "pixel " << x << ", " << y;
        }
    }
    EXPECT_EQ(keyedPixels > 0, c.transparentColour);
}

INSTANTIATE_TEST_SUITE_P(Texture, PngFormat, ::testing::ValuesIn(kFormatCases),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(PngReader, InterlacedFilesDecodeToTheSameRows) {
    PngOptions options;
    options.width = 13;
    options.height = 11;
    options.samples = samplesFor(options);
    PngOptions interlaced = options;
    interlaced.interlaced = true;
    DecodedImage plain;
    DecodedImage adam7;
    ASSERT_EQ(testing::load(fileOf(options), plain), S_OK);
    ASSERT_EQ(testing::load(fileOf(interlaced), adam7), S_OK);
    EXPECT_EQ(testing::pixelsOf(adam7, 52), testing::pixelsOf(plain, 52));
}

TEST(PngReader, TransparentColourGivesAlphaZeroExactlyAtTheKey) {
    PngOptions options;
    options.width = 3;
    options.height = 1;
    options.samples = {10, 20, 30, 10, 20, 31, 10, 20, 30};
    options.transparentColour = {{10, 20, 30}};
    DecodedImage image;
    ASSERT_EQ(testing::load(fileOf(options), image), S_OK);
    EXPECT_EQ(image.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(testing::rowOf(image, 0, 12),
              (std::vector<std::uint8_t>{30, 20, 10, 0, 31, 20, 10, 255, 30, 20, 10, 0}));
}

TEST(PngReader, GammaIsCorrectedOnlyWhenItMatters) {
    PngOptions plain;
    plain.width = 16;
    plain.height = 16;
    plain.samples = samplesFor(plain);
    DecodedImage reference;
    ASSERT_EQ(testing::load(fileOf(plain), reference), S_OK);
    const std::vector<std::uint8_t> plainPixels = testing::pixelsOf(reference, 64);

    // The program's own files: gamma 1/2.2 against the 2.2 screen is no correction at all.
    PngOptions displayGamma = plain;
    displayGamma.gamma = 0.45455;
    DecodedImage unchanged;
    ASSERT_EQ(testing::load(fileOf(displayGamma), unchanged), S_OK);
    EXPECT_EQ(testing::pixelsOf(unchanged, 64), plainPixels);

    // An sRGB chunk wins over gAMA: no correction either. (libpng will not write the pair, so
    // the chunk is spliced in.)
    PngOptions linear = plain;
    linear.gamma = 1.0;
    DecodedImage srgbImage;
    ASSERT_EQ(testing::load(withChunk(fileOf(linear), "sRGB", {0}), srgbImage), S_OK);
    EXPECT_EQ(testing::pixelsOf(srgbImage, 64), plainPixels);

    // Linear samples are brightened by the 1/2.2 power.
    DecodedImage corrected;
    ASSERT_EQ(testing::load(fileOf(linear), corrected), S_OK);
    const std::vector<std::uint8_t> correctedPixels = testing::pixelsOf(corrected, 64);
    ASSERT_EQ(correctedPixels.size(), plainPixels.size());
    int worst = 0;
    for (std::size_t i = 0; i < plainPixels.size(); ++i) {
        if (i % 4 == 3) {
            EXPECT_EQ(correctedPixels[i], 0xFF);
            continue;
        }
        const double expected = 255.0 * std::pow(plainPixels[i] / 255.0, 1.0 / 2.2);
        worst =
            std::max(worst, static_cast<int>(std::lround(std::abs(correctedPixels[i] - expected))));
    }
    EXPECT_LE(worst, 1);
    EXPECT_NE(correctedPixels, plainPixels);
}

TEST(PngReader, PaletteTakesTransparencyAndFillsTheRestWithOpaqueWhite) {
    PngOptions options;
    options.colourType = testing::kPngPalette;
    options.width = 4;
    options.height = 1;
    options.palette = {{{1, 2, 3}}, {{4, 5, 6}}, {{7, 8, 9}}, {{10, 11, 12}}};
    options.paletteAlpha = {0, 128};
    options.samples = {3, 2, 1, 0};
    DecodedImage image;
    ASSERT_EQ(testing::load(fileOf(options), image), S_OK);
    ASSERT_EQ(image.format, D3DFMT_P8);
    ASSERT_NE(image.palette, nullptr);
    EXPECT_TRUE(image.ownsPalette());
    EXPECT_EQ(testing::rowOf(image, 0, 4), (std::vector<std::uint8_t>{3, 2, 1, 0}));

    const PALETTEENTRY expected[4] = {
        {1, 2, 3, 0}, {4, 5, 6, 128}, {7, 8, 9, 255}, {10, 11, 12, 255}};
    for (int i = 0; i < 256; ++i) {
        SCOPED_TRACE(i);
        const PALETTEENTRY want = i < 4 ? expected[i] : PALETTEENTRY{255, 255, 255, 255};
        EXPECT_EQ(image.palette[i].peRed, want.peRed);
        EXPECT_EQ(image.palette[i].peGreen, want.peGreen);
        EXPECT_EQ(image.palette[i].peBlue, want.peBlue);
        EXPECT_EQ(image.palette[i].peFlags, want.peFlags);
    }
}

TEST(PngReader, PaletteColoursGoThroughTheGammaTableOnce) {
    PngOptions options;
    options.colourType = testing::kPngPalette;
    options.width = 2;
    options.height = 1;
    options.gamma = 1.0;
    options.palette = {{{0, 64, 128}}, {{192, 250, 255}}};
    options.samples = {0, 1};
    DecodedImage image;
    ASSERT_EQ(testing::load(fileOf(options), image), S_OK);
    ASSERT_NE(image.palette, nullptr);
    auto corrected = [](int value) {
        return static_cast<int>(std::floor(255.0 * std::pow(value / 255.0, 1.0 / 2.2) + 0.5));
    };
    EXPECT_EQ(image.palette[0].peRed, corrected(0));
    EXPECT_EQ(image.palette[0].peGreen, corrected(64));
    EXPECT_EQ(image.palette[0].peBlue, corrected(128));
    EXPECT_EQ(image.palette[1].peRed, corrected(192));
    EXPECT_EQ(image.palette[1].peGreen, corrected(250));
    EXPECT_EQ(image.palette[1].peBlue, corrected(255));
    EXPECT_EQ(image.palette[1].peFlags, 255);
    // The indices themselves are never touched.
    EXPECT_EQ(testing::rowOf(image, 0, 2), (std::vector<std::uint8_t>{0, 1}));
}

// Offset just past the last IDAT chunk (length, type, data, CRC).
std::size_t endOfImageData(const Bytes& file) {
    std::size_t offset = 8;
    std::size_t end = 0;
    while (offset + 8 <= file.size()) {
        const std::size_t length = (std::to_integer<std::size_t>(file[offset]) << 24) |
                                   (std::to_integer<std::size_t>(file[offset + 1]) << 16) |
                                   (std::to_integer<std::size_t>(file[offset + 2]) << 8) |
                                   std::to_integer<std::size_t>(file[offset + 3]);
        const std::string type(reinterpret_cast<const char*>(file.data() + offset + 4), 4);
        offset += 12 + length;
        if (type == "IDAT") {
            end = offset;
        }
    }
    return end;
}

TEST(PngReader, CutOffFilesAreRejected) {
    PngOptions options;
    options.width = 24;
    options.height = 24;
    options.compressionLevel = 0;
    const Bytes file = fileOf(options);
    const std::size_t imageDataEnd = endOfImageData(file);
    ASSERT_GT(imageDataEnd, 0u);

    // Cut inside the IDAT data: the read callback runs dry and the whole load fails.
    const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(imageDataEnd - 40));
    DecodedImage image;
    EXPECT_EQ(testing::load(cut, image), D3DXERR_INVALIDDATA);
    EXPECT_EQ(image.pixels, nullptr);

    testing::expectPrefixesRejected(detail::readPng, file, imageDataEnd);

    // The chunks after the image data are not needed for the pixels.
    const Bytes withoutEnd(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(imageDataEnd));
    DecodedImage complete;
    DecodedImage partial;
    ASSERT_EQ(testing::load(file, complete), S_OK);
    ASSERT_EQ(testing::load(withoutEnd, partial), S_OK);
    EXPECT_EQ(testing::pixelsOf(partial, 96), testing::pixelsOf(complete, 96));
}

TEST(PngReader, ShortStartOfTheSignaturePassesTheCheckAndFailsInTheDecoder) {
    const Bytes file = fileOf(PngOptions{});
    for (const std::size_t length : {1u, 4u, 7u}) {
        SCOPED_TRACE(length);
        const Bytes start(file.begin(), file.begin() + length);
        DecodedImage image;
        EXPECT_EQ(testing::runReader(detail::readPng, start, image), ReadFailure::kDecoderError);
        EXPECT_EQ(testing::load(start, image), D3DXERR_INVALIDDATA);
    }
    Bytes notPng = file;
    notPng[1] = std::byte{'Q'};
    DecodedImage image;
    EXPECT_EQ(testing::runReader(detail::readPng, notPng, image), ReadFailure::kNotThisFormat);
}

TEST(PngReader, CorruptHeadersAreRejected) {
    struct Case {
        const char* name;
        std::size_t offset;
        std::uint8_t value;
        // Recompute the header's CRC so that the field itself is what libpng turns down.
        bool fixCrc;
    };
    // IHDR data runs from 16 to 28: width, height, depth 24, colour type 25, interlace 28; its
    // CRC follows at 29.
    const Case cases[] = {
        {"ZeroWidth", 19, 0, true},     {"BadDepth", 24, 3, true},
        {"BadColourType", 25, 5, true}, {"BadInterlace", 28, 7, true},
        {"HeaderCrc", 29, 0x5A, false},
    };
    PngOptions options;
    options.width = 4;
    const Bytes file = fileOf(options);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes corrupt = file;
        corrupt[c.offset] = std::byte{c.value};
        if (c.fixCrc) {
            const auto* start = reinterpret_cast<const Bytef*>(corrupt.data() + 12);
            const auto crc = static_cast<std::uint32_t>(crc32(0, start, 17));
            for (int i = 0; i < 4; ++i) {
                corrupt[29 + i] = static_cast<std::byte>(crc >> (24 - 8 * i));
            }
        }
        ASSERT_NE(corrupt, file);
        DecodedImage image;
        EXPECT_EQ(testing::runReader(detail::readPng, corrupt, image), ReadFailure::kDecoderError);
        EXPECT_EQ(testing::load(corrupt, image), D3DXERR_INVALIDDATA);
    }
}

TEST(PngReader, InfoWithoutPixelsAllocatesNothing) {
    PngOptions options;
    options.colourType = testing::kPngPalette;
    options.palette = {{{1, 2, 3}}};
    options.width = 5;
    options.height = 6;
    options.samples.assign(5 * 6, 0);
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(testing::load(fileOf(options), image, &info, false), S_OK);
    EXPECT_EQ(info.Width, 5u);
    EXPECT_EQ(info.Height, 6u);
    EXPECT_EQ(info.Format, D3DFMT_P8);
    EXPECT_EQ(image.rowPitch, 5u);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.palette, nullptr);
    EXPECT_FALSE(image.ownsPixels());
    EXPECT_FALSE(image.ownsPalette());
}

// A chunk ahead of the image data whose length field runs past the file: libpng would
// allocate that length (1.5 GB here, for an sPLT chunk) before finding the data missing.
TEST(PngReader, ChunkLongerThanTheFileIsRefusedBeforeLibpngAllocatesIt) {
    Bytes file = withChunk(fileOf(PngOptions{}), "sPLT", {'p', 0, 8, 1, 2, 3, 4, 5, 6});
    const Bytes length{std::byte{0x5F}, std::byte{0}, std::byte{0}, std::byte{0}};
    std::copy(length.begin(), length.end(), file.begin() + 33);
    for (const bool loadPixels : {false, true}) {
        DecodedImage image;
        EXPECT_EQ(testing::runReader(detail::readPng, file, image, loadPixels),
                  ReadFailure::kTruncated);
    }
}

} // namespace
} // namespace halv::texture
