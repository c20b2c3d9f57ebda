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
using testing::TgaOptions;

Bytes bytes(std::initializer_list<unsigned> values) {
    Bytes out;
    for (const unsigned value : values) {
        testing::appendByte(out, value);
    }
    return out;
}

TgaOptions tga(std::uint8_t imageType, std::uint8_t pixelBits, std::uint8_t descriptor,
               Bytes pixels) {
    TgaOptions options;
    options.imageType = imageType;
    options.pixelBits = pixelBits;
    options.descriptor = descriptor;
    options.pixels = std::move(pixels);
    return options;
}

TgaOptions mapped(std::uint8_t imageType, std::uint16_t first, std::uint8_t entryBits, Bytes map,
                  Bytes pixels) {
    TgaOptions options = tga(imageType, 8, 0x20, std::move(pixels));
    options.mapType = 1;
    options.mapFirst = first;
    options.mapEntryBits = entryBits;
    options.mapLength = static_cast<std::uint16_t>(map.size() / ((entryBits + 7) / 8));
    options.map = std::move(map);
    return options;
}

TgaOptions withId(TgaOptions options, std::string_view id) {
    options.id = id;
    return options;
}

struct VariantCase {
    const char* name;
    TgaOptions options;
    D3DFORMAT format;
    unsigned bytesPerPixel;
    // Decoded rows of the 2x2 image, top row first.
    std::vector<std::uint8_t> expected;
};

// Stored pixels A, B, C, D in file order; where they land depends on the origin bits.
const Bytes kAbcd24 = bytes({1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4});

const VariantCase kVariants[] = {
    {"BottomLeftOrigin",
     tga(2, 24, 0x00, kAbcd24),
     D3DFMT_R8G8B8,
     3,
     {3, 3, 3, 4, 4, 4, 1, 1, 1, 2, 2, 2}},
    {"TopLeftOrigin",
     tga(2, 24, 0x20, kAbcd24),
     D3DFMT_R8G8B8,
     3,
     {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}},
    {"BottomRightOrigin",
     tga(2, 24, 0x10, kAbcd24),
     D3DFMT_R8G8B8,
     3,
     {4, 4, 4, 3, 3, 3, 2, 2, 2, 1, 1, 1}},
    {"TopRightOrigin",
     tga(2, 24, 0x30, kAbcd24),
     D3DFMT_R8G8B8,
     3,
     {2, 2, 2, 1, 1, 1, 4, 4, 4, 3, 3, 3}},
    {"ImageIdIsSkipped",
     withId(tga(2, 24, 0x20, kAbcd24), "made by a test"),
     D3DFMT_R8G8B8,
     3,
     {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}},
    {"Bgra32",
     tga(2, 32, 0x28, bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})),
     D3DFMT_A8R8G8B8,
     4,
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
    {"Argb16",
     tga(2, 16, 0x21, bytes({0x00, 0x80, 0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C})),
     D3DFMT_A1R5G5B5,
     2,
     {0x00, 0x80, 0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C}},
    {"Xrgb15",
     tga(2, 15, 0x20, bytes({0x00, 0x80, 0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C})),
     D3DFMT_X1R5G5B5,
     2,
     {0x00, 0x80, 0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C}},
    {"Grey", tga(3, 8, 0x20, bytes({10, 20, 30, 40})), D3DFMT_L8, 1, {10, 20, 30, 40}},
    {"ColourMapped",
     mapped(1, 2, 24, bytes({10, 20, 30, 40, 50, 60}), bytes({2, 3, 0, 2})),
     D3DFMT_P8,
     1,
     {2, 3, 0, 2}},
    // A run of three crossing into the second row, then a raw packet of one.
    {"RunLengthTrueColour",
     tga(10, 24, 0x20, bytes({0x82, 9, 8, 7, 0x00, 1, 2, 3})),
     D3DFMT_R8G8B8,
     3,
     {9, 8, 7, 9, 8, 7, 9, 8, 7, 1, 2, 3}},
    {"RunLengthGrey", tga(11, 8, 0x20, bytes({0x01, 5, 6, 0x81, 7})), D3DFMT_L8, 1, {5, 6, 7, 7}},
    {"RunLengthColourMapped",
     mapped(9, 0, 32, bytes({1, 2, 3, 4, 5, 6, 7, 8}), bytes({0x83, 1})),
     D3DFMT_P8,
     1,
     {1, 1, 1, 1}},
};

class TgaVariant : public ::testing::TestWithParam<VariantCase> {};

TEST_P(TgaVariant, Decodes) {
    const VariantCase& c = GetParam();
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(testing::load(testing::makeTga(c.options), image, &info), S_OK);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_TGA);
    EXPECT_EQ(image.format, c.format);
    EXPECT_EQ(image.rowPitch, 2 * c.bytesPerPixel);
    EXPECT_EQ(testing::pixelsOf(image, 2 * c.bytesPerPixel), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Texture, TgaVariant, ::testing::ValuesIn(kVariants),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(TgaReader, ColourMapFillsItsIndicesAndLeavesTheRestOpaqueWhite) {
    // 24-bit entries at 2 and 3, 16-bit entries with and without the attribute bit at 0 and 1.
    struct Case {
        const char* name;
        TgaOptions options;
        std::vector<PALETTEENTRY> expected;
    };
    const Case cases[] = {
        {"Entries24",
         mapped(1, 2, 24, bytes({10, 20, 30, 40, 50, 60}), bytes({2, 3, 0, 2})),
         {{255, 255, 255, 255},
          {255, 255, 255, 255},
          {30, 20, 10, 255},
          {60, 50, 40, 255},
          {255, 255, 255, 255}}},
        {"Entries16",
         mapped(1, 0, 16, bytes({0x1F, 0x80, 0x00, 0x7C}), bytes({0, 1, 0, 1})),
         {{0, 0, 255, 255}, {255, 0, 0, 0}, {255, 255, 255, 255}}},
        {"Entries32",
         mapped(1, 0, 32, bytes({1, 2, 3, 4}), bytes({0, 0, 0, 0})),
         {{3, 2, 1, 4}, {255, 255, 255, 255}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DecodedImage image;
        ASSERT_EQ(testing::load(testing::makeTga(c.options), image), S_OK);
        ASSERT_NE(image.palette, nullptr);
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(image.palette[i].peRed, c.expected[i].peRed);
            EXPECT_EQ(image.palette[i].peGreen, c.expected[i].peGreen);
            EXPECT_EQ(image.palette[i].peBlue, c.expected[i].peBlue);
            EXPECT_EQ(image.palette[i].peFlags, c.expected[i].peFlags);
        }
    }
}

TgaOptions withHeader(TgaOptions options, std::uint8_t mapType, std::uint16_t width) {
    options.mapType = mapType;
    options.width = width;
    return options;
}

struct RejectCase {
    const char* name;
    TgaOptions options;
    ReadFailure expected;
};

const RejectCase kRejects[] = {
    {"MapTypeTwo", withHeader(tga(2, 24, 0x20, kAbcd24), 2, 2), ReadFailure::kNotThisFormat},
    {"NoImageData", tga(0, 24, 0x20, kAbcd24), ReadFailure::kNotThisFormat},
    {"TypeBitOutsideTheMask", tga(6, 24, 0x20, kAbcd24), ReadFailure::kNotThisFormat},
    {"ZeroWidth", withHeader(tga(2, 24, 0x20, kAbcd24), 0, 0), ReadFailure::kNotThisFormat},
    {"ColourMappedWithoutMap", tga(1, 8, 0x20, bytes({0, 0, 0, 0})), ReadFailure::kBadHeader},
    {"ColourMappedSixteenBitIndices",
     [] {
         TgaOptions options = mapped(1, 0, 24, bytes({1, 2, 3}), bytes({0, 0, 0, 0, 0, 0, 0, 0}));
         options.pixelBits = 16;
         return options;
     }(),
     ReadFailure::kBadHeader},
    {"MapPastIndex255", mapped(1, 255, 24, bytes({1, 2, 3, 4, 5, 6}), bytes({0, 0, 0, 0})),
     ReadFailure::kBadHeader},
    {"MapEntryBits8", mapped(1, 0, 8, bytes({1, 2}), bytes({0, 0, 0, 0})), ReadFailure::kBadHeader},
    {"TrueColourEightBits", tga(2, 8, 0x20, bytes({0, 0, 0, 0})), ReadFailure::kUnsupported},
    {"GreySixteenBits", tga(3, 16, 0x20, bytes({0, 0, 0, 0, 0, 0, 0, 0})),
     ReadFailure::kUnsupported},
    {"Interleaved", tga(2, 24, 0x60, kAbcd24), ReadFailure::kUnsupported},
    {"RawCutShort", tga(2, 24, 0x20, bytes({1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4})),
     ReadFailure::kTruncated},
    {"PacketPastTheImage", tga(10, 24, 0x20, bytes({0x84, 1, 2, 3})), ReadFailure::kBadRunLength},
    {"RawPacketCutShort", tga(10, 24, 0x20, bytes({0x03, 1, 2, 3, 4, 5, 6})),
     ReadFailure::kTruncated},
    {"PacketsEndEarly", tga(10, 24, 0x20, bytes({0x82, 1, 2, 3})), ReadFailure::kTruncated},
};

class TgaReject : public ::testing::TestWithParam<RejectCase> {};

TEST_P(TgaReject, IsTurnedDown) {
    DecodedImage image;
    EXPECT_EQ(testing::runReader(detail::readTga, testing::makeTga(GetParam().options), image),
              GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texture, TgaReject, ::testing::ValuesIn(kRejects),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(TgaReader, EveryPrefixIsTurnedDown) {
    for (const VariantCase& c : kVariants) {
        SCOPED_TRACE(c.name);
        testing::expectPrefixesRejected(detail::readTga, testing::makeTga(c.options));
    }
}

} // namespace
} // namespace halv::texture
