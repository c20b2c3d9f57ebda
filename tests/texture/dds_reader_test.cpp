#include "tests/texture/image_writers.h"
#include "tests/texture/reader_test_support.h"
#include "texture/detail/image_readers.h"
#include "texture/image_decoder.h"

#include <gtest/gtest.h>

#include <string>

namespace halv::texture {
namespace {

using detail::ReadFailure;
using testing::Bytes;
using testing::DdsOptions;

constexpr std::uint32_t kFlagMipCount = 0x20000;
constexpr std::uint32_t kFlagDepth = 0x800000;
constexpr std::uint32_t kPfAlphaPixels = 0x1;
constexpr std::uint32_t kPfFourCc = 0x4;
constexpr std::uint32_t kPfPalette = 0x20;
constexpr std::uint32_t kPfRgb = 0x40;
constexpr std::uint32_t kPfLuminance = 0x20000;
constexpr std::uint32_t kCubeAllFaces = 0xFE00;
constexpr std::uint32_t kVolume = 0x200000;

// A header followed by `payload` bytes counting up, so each surface's first byte shows where
// it came from.
Bytes ddsFile(const DdsOptions& options, std::size_t payload) {
    Bytes file = testing::makeDdsHeader(options);
    for (std::size_t i = 0; i < payload; ++i) {
        testing::appendByte(file, static_cast<unsigned>(i));
    }
    return file;
}

DdsOptions rgb(std::uint32_t width, std::uint32_t height, std::uint32_t bitCount,
               std::array<std::uint32_t, 4> masks, std::uint32_t flags = kPfRgb) {
    DdsOptions options;
    options.width = width;
    options.height = height;
    options.pixelFlags = flags;
    options.bitCount = bitCount;
    options.masks = masks;
    return options;
}

DdsOptions fourCc(std::uint32_t code, std::uint32_t width, std::uint32_t height) {
    DdsOptions options;
    options.width = width;
    options.height = height;
    options.pixelFlags = kPfFourCc;
    options.fourCc = code;
    options.bitCount = 0;
    options.masks = {};
    return options;
}

DdsOptions withMips(DdsOptions options, std::uint32_t count) {
    options.flags |= kFlagMipCount;
    options.mipCount = count;
    return options;
}

struct FormatCase {
    const char* name;
    DdsOptions options;
    D3DFORMAT format;
    std::uint32_t rowPitch;
    std::uint32_t rows;
};

const FormatCase kFormats[] = {
    {"A8R8G8B8", rgb(3, 2, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, kPfRgb | kPfAlphaPixels),
     D3DFMT_A8R8G8B8, 12, 2},
    {"X8R8G8B8", rgb(3, 2, 32, {0xFF0000, 0xFF00, 0xFF, 0}), D3DFMT_X8R8G8B8, 12, 2},
    // Without ALPHAPIXELS the alpha mask does not count.
    {"AlphaMaskWithoutFlag", rgb(3, 2, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}), D3DFMT_X8R8G8B8,
     12, 2},
    {"A8B8G8R8", rgb(3, 2, 32, {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, kPfRgb | kPfAlphaPixels),
     D3DFMT_A8B8G8R8, 12, 2},
    {"R8G8B8", rgb(3, 2, 24, {0xFF0000, 0xFF00, 0xFF, 0}), D3DFMT_R8G8B8, 9, 2},
    {"R5G6B5", rgb(3, 2, 16, {0xF800, 0x07E0, 0x001F, 0}), D3DFMT_R5G6B5, 6, 2},
    {"A1R5G5B5", rgb(3, 2, 16, {0x7C00, 0x03E0, 0x001F, 0x8000}, kPfRgb | kPfAlphaPixels),
     D3DFMT_A1R5G5B5, 6, 2},
    {"A2B10G10R10",
     rgb(3, 2, 32, {0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}, kPfRgb | kPfAlphaPixels),
     D3DFMT_A2B10G10R10, 12, 2},
    {"G16R16", rgb(3, 2, 32, {0xFFFF, 0xFFFF0000, 0, 0}), D3DFMT_G16R16, 12, 2},
    {"L8", rgb(3, 2, 8, {0xFF, 0, 0, 0}, kPfLuminance), D3DFMT_L8, 3, 2},
    {"A8L8", rgb(3, 2, 16, {0xFF, 0, 0, 0xFF00}, kPfLuminance | kPfAlphaPixels), D3DFMT_A8L8, 6, 2},
    {"A8", rgb(3, 2, 8, {0, 0, 0, 0xFF}, 0x2), D3DFMT_A8, 3, 2},
    {"V8U8", rgb(3, 2, 16, {0xFF, 0xFF00, 0, 0}, 0x80000), D3DFMT_V8U8, 6, 2},
    {"Dxt1", fourCc(D3DFMT_DXT1, 5, 6), D3DFMT_DXT1, 16, 2},
    {"Dxt5", fourCc(D3DFMT_DXT5, 5, 6), D3DFMT_DXT5, 32, 2},
    {"Yuy2", fourCc(D3DFMT_YUY2, 3, 2), D3DFMT_YUY2, 8, 2},
    {"R16FByNumber", fourCc(D3DFMT_R16F, 3, 2), D3DFMT_R16F, 6, 2},
    {"A16B16G16R16ByNumber", fourCc(D3DFMT_A16B16G16R16, 3, 2), D3DFMT_A16B16G16R16, 24, 2},
    {"A32B32G32R32FByNumber", fourCc(D3DFMT_A32B32G32R32F, 3, 2), D3DFMT_A32B32G32R32F, 48, 2},
};

class DdsFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(DdsFormat, IsMatchedAndPointsIntoTheFile) {
    const FormatCase& c = GetParam();
    const Bytes file = ddsFile(c.options, std::size_t{c.rowPitch} * c.rows);
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(testing::load(file, image, &info), S_OK);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_DDS);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_TEXTURE);
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(image.rowPitch, c.rowPitch);
    EXPECT_EQ(image.slicePitch, c.rowPitch * c.rows);
    EXPECT_EQ(image.pixels, reinterpret_cast<const BYTE*>(file.data() + 128));
    EXPECT_FALSE(image.ownsPixels());

    // One byte short of the surface is a cut-off file.
    const Bytes cut(file.begin(), file.end() - 1);
    DecodedImage shortImage;
    EXPECT_EQ(testing::runReader(detail::readDds, cut, shortImage), ReadFailure::kTruncated);
}

INSTANTIATE_TEST_SUITE_P(Texture, DdsFormat, ::testing::ValuesIn(kFormats),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(DdsReader, MipChainHalvesDownToTheStatedCount) {
    // 8x4 X8R8G8B8 with four levels: 8x4, 4x2, 2x1, 1x1.
    const Bytes file =
        ddsFile(withMips(rgb(8, 4, 32, {0xFF0000, 0xFF00, 0xFF, 0}), 4), 128 + 32 + 8 + 4);
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(testing::load(file, image, &info), S_OK);
    EXPECT_EQ(info.MipLevels, 4u);
    const std::uint32_t sizes[4][2] = {{8, 4}, {4, 2}, {2, 1}, {1, 1}};
    const std::size_t offsets[4] = {128, 256, 288, 296};
    const DecodedImage* level = &image;
    for (int i = 0; i < 4; ++i, level = level->nextMip.get()) {
        SCOPED_TRACE(i);
        ASSERT_NE(level, nullptr);
        EXPECT_EQ(level->width, sizes[i][0]);
        EXPECT_EQ(level->height, sizes[i][1]);
        EXPECT_EQ(level->rowPitch, sizes[i][0] * 4);
        EXPECT_EQ(level->pixels, reinterpret_cast<const BYTE*>(file.data() + offsets[i]));
        EXPECT_EQ(level->right, sizes[i][0]);
        EXPECT_EQ(level->bottom, sizes[i][1]);
        EXPECT_EQ(level->nextFace, nullptr);
    }
    EXPECT_EQ(level, nullptr);
}

TEST(DdsReader, CompressedLevelsBelowOneBlockStillTakeABlock) {
    // 8x8 DXT1, four levels: 32, 8, 8, 8 bytes.
    const Bytes file = ddsFile(withMips(fourCc(D3DFMT_DXT1, 8, 8), 4), 56);
    DecodedImage image;
    ASSERT_EQ(testing::load(file, image), S_OK);
    const std::size_t offsets[4] = {128, 160, 168, 176};
    const DecodedImage* level = &image;
    for (int i = 0; i < 4; ++i, level = level->nextMip.get()) {
        SCOPED_TRACE(i);
        ASSERT_NE(level, nullptr);
        EXPECT_EQ(level->pixels, reinterpret_cast<const BYTE*>(file.data() + offsets[i]));
        EXPECT_EQ(level->slicePitch, i == 0 ? 32u : 8u);
    }
}

TEST(DdsReader, CubeMapHasSixFacesEachWithItsChain) {
    DdsOptions options = withMips(rgb(4, 4, 32, {0xFF0000, 0xFF00, 0xFF, 0}), 2);
    options.caps2 = kCubeAllFaces;
    // Level 0 is 4x4x4 bytes, level 1 2x2x4.
    const std::size_t faceBytes = 64 + 16;
    const Bytes file = ddsFile(options, 6 * faceBytes);
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(testing::load(file, image, &info), S_OK);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_CUBETEXTURE);
    EXPECT_EQ(info.MipLevels, 2u);
    EXPECT_EQ(image.faceCount(), 6u);
    const DecodedImage* face = &image;
    for (std::size_t f = 0; f < 6; ++f, face = face->nextFace.get()) {
        SCOPED_TRACE(f);
        ASSERT_NE(face, nullptr);
        EXPECT_EQ(face->resourceType, D3DRTYPE_CUBETEXTURE);
        EXPECT_EQ(face->levelCount(), 2u);
        EXPECT_EQ(face->pixels, reinterpret_cast<const BYTE*>(file.data() + 128 + f * faceBytes));
        ASSERT_NE(face->nextMip, nullptr);
        EXPECT_EQ(face->nextMip->width, 2u);
        EXPECT_EQ(face->nextMip->right, 2u);
        EXPECT_EQ(face->nextMip->pixels, face->pixels + 64);
    }
}

TEST(DdsReader, VolumeLevelsHoldAllTheirSlices) {
    DdsOptions options = withMips(rgb(4, 4, 8, {0xFF, 0, 0, 0}, kPfLuminance), 3);
    options.flags |= kFlagDepth;
    options.depth = 4;
    options.caps2 = kVolume;
    // Levels 4x4x4, 2x2x2, 1x1x1 of L8.
    const Bytes file = ddsFile(options, 64 + 8 + 1);
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(testing::load(file, image, &info), S_OK);
    EXPECT_EQ(info.ResourceType, D3DRTYPE_VOLUMETEXTURE);
    EXPECT_EQ(info.Depth, 4u);
    EXPECT_EQ(image.slicePitch, 16u);
    EXPECT_EQ(image.back, 4u);
    ASSERT_NE(image.nextMip, nullptr);
    EXPECT_EQ(image.nextMip->depth, 2u);
    EXPECT_EQ(image.nextMip->slicePitch, 4u);
    EXPECT_EQ(image.nextMip->pixels, image.pixels + 64);
    ASSERT_NE(image.nextMip->nextMip, nullptr);
    EXPECT_EQ(image.nextMip->nextMip->pixels, image.pixels + 72);
}

TEST(DdsReader, PaletteFollowsTheHeaderAndIsShared) {
    DdsOptions options = withMips(rgb(2, 2, 8, {0, 0, 0, 0}, kPfPalette), 2);
    Bytes file = testing::makeDdsHeader(options);
    for (unsigned i = 0; i < 256; ++i) {
        for (unsigned c = 0; c < 4; ++c) {
            testing::appendByte(file, i + c);
        }
    }
    testing::append(file, Bytes(5, std::byte{7}));
    DecodedImage image;
    ASSERT_EQ(testing::load(file, image), S_OK);
    EXPECT_EQ(image.format, D3DFMT_P8);
    ASSERT_NE(image.palette, nullptr);
    EXPECT_EQ(image.palette[3].peRed, 3);
    EXPECT_EQ(image.palette[3].peFlags, 6);
    EXPECT_EQ(image.pixels, reinterpret_cast<const BYTE*>(file.data() + 128 + 1024));
    ASSERT_NE(image.nextMip, nullptr);
    EXPECT_EQ(image.nextMip->palette, image.palette);
    EXPECT_FALSE(image.nextMip->ownsPalette());

    const Bytes noPalette(file.begin(), file.begin() + 128 + 1000);
    DecodedImage cut;
    EXPECT_EQ(testing::runReader(detail::readDds, noPalette, cut), ReadFailure::kTruncated);
}

TEST(DdsReader, InfoWithoutPixelsStillCountsTheLevels) {
    const Bytes file = ddsFile(withMips(fourCc(D3DFMT_DXT5, 4, 4), 3), 48);
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(testing::load(file, image, &info, false), S_OK);
    EXPECT_EQ(info.MipLevels, 3u);
    EXPECT_EQ(info.Format, D3DFMT_DXT5);
    for (const DecodedImage* level = &image; level != nullptr; level = level->nextMip.get()) {
        EXPECT_EQ(level->pixels, nullptr);
    }
}

struct RejectCase {
    const char* name;
    Bytes file;
    ReadFailure expected;
};

DdsOptions withCaps2(DdsOptions options, std::uint32_t caps2) {
    options.caps2 = caps2;
    return options;
}

DdsOptions withSize(DdsOptions options, std::uint32_t width, std::uint32_t height) {
    options.width = width;
    options.height = height;
    return options;
}

const DdsOptions kPlain = rgb(4, 4, 32, {0xFF0000, 0xFF00, 0xFF, 0});

Bytes prefix(Bytes file, std::size_t length) {
    file.resize(length);
    return file;
}

Bytes withMagic(Bytes file) {
    file[3] = std::byte{'X'};
    return file;
}

const RejectCase kRejects[] = {
    {"WrongMagic", withMagic(ddsFile(kPlain, 64)), ReadFailure::kNotThisFormat},
    {"ShortHeader", prefix(ddsFile(kPlain, 64), 127), ReadFailure::kNotThisFormat},
    {"ZeroWidth", ddsFile(withSize(kPlain, 0, 4), 64), ReadFailure::kBadHeader},
    {"FiveCubeFaces", ddsFile(withCaps2(kPlain, 0x7E00), 64 * 6), ReadFailure::kUnsupported},
    {"CubeAndVolume", ddsFile(withCaps2(kPlain, kCubeAllFaces | kVolume), 64 * 6),
     ReadFailure::kUnsupported},
    {"TooManyLevels", ddsFile(withMips(kPlain, 4), 64 + 16 + 4 + 4), ReadFailure::kBadHeader},
    {"Dx10Header", ddsFile(fourCc(MAKEFOURCC('D', 'X', '1', '0'), 4, 4), 64),
     ReadFailure::kUnsupported},
    {"UnknownMasks", ddsFile(rgb(4, 4, 32, {0xFF, 0xFF0000, 0xFF00, 0}), 64),
     ReadFailure::kUnsupported},
    {"MissingLastLevel", ddsFile(withMips(kPlain, 3), 64 + 16 + 3), ReadFailure::kTruncated},
    {"HugeSurface", ddsFile(withSize(kPlain, 0x10000, 0x10000), 64), ReadFailure::kTooLarge},
};

class DdsReject : public ::testing::TestWithParam<RejectCase> {};

TEST_P(DdsReject, IsTurnedDown) {
    DecodedImage image;
    EXPECT_EQ(testing::runReader(detail::readDds, GetParam().file, image), GetParam().expected);
    DecodedImage whole;
    EXPECT_EQ(testing::load(GetParam().file, whole), D3DXERR_INVALIDDATA);
    EXPECT_EQ(whole.nextMip, nullptr);
    EXPECT_EQ(whole.nextFace, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Texture, DdsReject, ::testing::ValuesIn(kRejects),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(DdsReader, EveryPrefixIsTurnedDown) {
    DdsOptions cube = withMips(fourCc(D3DFMT_DXT1, 4, 4), 3);
    cube.caps2 = kCubeAllFaces;
    testing::expectPrefixesRejected(detail::readDds, ddsFile(cube, 6 * 24));
}

} // namespace
} // namespace halv::texture
