// Pixel codecs: bit layouts, the round trip through every format, colour key precision, kind
// conversions, sRGB, ordered dithering, error diffusion, and the block and pair formats.
#include "math/half_float.h"
#include "tests/texture/texture_test_support.h"
#include "texture/detail/pixel_rows.h"
#include "texture/image_decoder.h"
#include "texture/loader_constants.h"
#include "texture/pixel_codec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace halv::texture::testing {
namespace {

// Decodes the one pixel held in `bytes`.
Rgba decodeOne(D3DFORMAT format, std::vector<BYTE> bytes, const PALETTEENTRY* palette = nullptr) {
    PixelView view =
        packedView(bytes.data(), format, 1, 1, static_cast<UINT>(bytes.size()), palette);
    std::unique_ptr<PixelCodec> codec;
    EXPECT_EQ(createPixelCodec(view, &codec), S_OK);
    Rgba out{};
    if (codec) {
        codec->ReadRow(0, 0, &out);
    }
    return out;
}

struct DecodeCase {
    const char* name;
    D3DFORMAT format;
    std::vector<BYTE> bytes;
    Rgba expected;
};

TEST(PixelCodecLayout, DecodesEachFormatsBits) {
    const float third = 1.0f / 3.0f;
    const DecodeCase cases[] = {
        {"R5G6B5 red", D3DFMT_R5G6B5, {0x00, 0xF8}, {1, 0, 0, 1}},
        {"R5G6B5 green", D3DFMT_R5G6B5, {0xE0, 0x07}, {0, 1, 0, 1}},
        {"A1R5G5B5 alpha", D3DFMT_A1R5G5B5, {0x1F, 0x80}, {0, 0, 1, 1}},
        {"X1R5G5B5 no alpha", D3DFMT_X1R5G5B5, {0x00, 0x7C}, {1, 0, 0, 1}},
        {"A4R4G4B4", D3DFMT_A4R4G4B4, {0x05, 0xAF}, {1, 0, 1.0f / 3, 10.0f / 15}},
        {"R3G3B2", D3DFMT_R3G3B2, {0xE3}, {1, 0, 1, 1}},
        {"A8 colour reads 0", D3DFMT_A8, {0x33}, {0, 0, 0, 0.2f}},
        {"A8R3G3B2", D3DFMT_A8R3G3B2, {0x1C, 0xFF}, {0, 1, 0, 1}},
        {"A8R8G8B8", D3DFMT_A8R8G8B8, {0x33, 0x66, 0x99, 0xCC}, {0.6f, 0.4f, 0.2f, 0.8f}},
        {"X8R8G8B8 ignores X", D3DFMT_X8R8G8B8, {0, 0, 0xFF, 0x00}, {1, 0, 0, 1}},
        {"A8B8G8R8", D3DFMT_A8B8G8R8, {0x33, 0x66, 0x99, 0xCC}, {0.2f, 0.4f, 0.6f, 0.8f}},
        {"R8G8B8", D3DFMT_R8G8B8, {0x33, 0x66, 0x99}, {0.6f, 0.4f, 0.2f, 1}},
        {"A2R10G10B10", D3DFMT_A2R10G10B10, {0xFF, 0x03, 0x00, 0x40}, {0, 0, 1, third}},
        {"A2B10G10R10", D3DFMT_A2B10G10R10, {0xFF, 0x03, 0x00, 0x80}, {1, 0, 0, 2 * third}},
        {"G16R16", D3DFMT_G16R16, {0xFF, 0xFF, 0x00, 0x00}, {1, 0, 0, 1}},
        {"A16B16G16R16", D3DFMT_A16B16G16R16, {0, 0, 0, 0, 0xFF, 0xFF, 0, 0}, {0, 0, 1, 0}},
        {"L8", D3DFMT_L8, {0x66}, {0.4f, 0.4f, 0.4f, 1}},
        {"A8L8", D3DFMT_A8L8, {0xFF, 0x33}, {1, 1, 1, 0.2f}},
        {"A4L4", D3DFMT_A4L4, {0x3F}, {1, 1, 1, 0.2f}},
        {"L16", D3DFMT_L16, {0xFF, 0xFF}, {1, 1, 1, 1}},
        {"AL16", kFormatAL16, {0, 0, 0xFF, 0xFF}, {0, 0, 0, 1}},
        {"R16", kFormatR16, {0xFF, 0xFF, 0, 0, 0, 0}, {0, 0, 1, 1}},
        {"V8U8", D3DFMT_V8U8, {0x81, 0x7F}, {-1, 1, 0, 1}},
        {"V8U8 most negative", D3DFMT_V8U8, {0x80, 0x00}, {-1, 0, 0, 1}},
        {"L6V5U5", D3DFMT_L6V5U5, {0x0F, 0xFC}, {1, 0, 0, 1}},
        {"X8L8V8U8", D3DFMT_X8L8V8U8, {0x00, 0x00, 0x33, 0x00}, {0, 0, 0, 0.2f}},
        {"Q8W8V8U8", D3DFMT_Q8W8V8U8, {0x7F, 0x00, 0x81, 0x7F}, {1, 0, -1, 1}},
        {"V16U16", D3DFMT_V16U16, {0xFF, 0x7F, 0x01, 0x80}, {1, -1, 0, 1}},
        {"A2W10V10U10", D3DFMT_A2W10V10U10, {0xFF, 0x01, 0x00, 0xC0}, {1, 0, 0, 1}},
        {"CxV8U8 computes blue", D3DFMT_CxV8U8, {0x00, 0x00}, {0, 0, 1, 1}},
        {"D16_LOCKABLE", D3DFMT_D16_LOCKABLE, {0xFF, 0xFF}, {1, 0, 0, 1}},
        {"R16F", D3DFMT_R16F, {0x00, 0x3C}, {1, 0, 0, 1}},
        {"G16R16F", D3DFMT_G16R16F, {0x00, 0x38, 0x00, 0xC0}, {0.5f, -2, 0, 1}},
        {"R32F", D3DFMT_R32F, {0x00, 0x00, 0x40, 0x40}, {3, 0, 0, 1}},
        {"D32F_LOCKABLE", D3DFMT_D32F_LOCKABLE, {0x00, 0x00, 0x80, 0x3F}, {1, 0, 0, 1}},
    };
    for (const DecodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Rgba got = decodeOne(c.format, c.bytes);
        EXPECT_NEAR(got.r, c.expected.r, 1e-6);
        EXPECT_NEAR(got.g, c.expected.g, 1e-6);
        EXPECT_NEAR(got.b, c.expected.b, 1e-6);
        EXPECT_NEAR(got.a, c.expected.a, 1e-6);
    }
}

TEST(PixelCodecLayout, PalettisedFormatsReadThroughThePalette) {
    PALETTEENTRY palette[256] = {};
    palette[7] = {255, 0, 51, 102};
    const Rgba p8 = decodeOne(D3DFMT_P8, {7}, palette);
    EXPECT_FLOAT_EQ(p8.r, 1.0f);
    EXPECT_FLOAT_EQ(p8.b, 0.2f);
    EXPECT_FLOAT_EQ(p8.a, 0.4f);
    // A8P8 takes its alpha from its own byte.
    const Rgba a8p8 = decodeOne(D3DFMT_A8P8, {7, 0xFF}, palette);
    EXPECT_FLOAT_EQ(a8p8.r, 1.0f);
    EXPECT_FLOAT_EQ(a8p8.a, 1.0f);
    // Without a palette every entry is opaque white.
    const Rgba none = decodeOne(D3DFMT_P8, {7});
    EXPECT_FLOAT_EQ(none.g, 1.0f);
    EXPECT_FLOAT_EQ(none.a, 1.0f);
}

TEST(PixelCodecLayout, FormatsWithoutCodecAndBadViewsAreRefused) {
    BYTE pixel[4] = {};
    std::unique_ptr<PixelCodec> codec;
    EXPECT_EQ(createPixelCodec(packedView(pixel, D3DFMT_D24S8, 1, 1, 4), &codec), E_FAIL);
    EXPECT_EQ(createPixelCodec(packedView(pixel, static_cast<D3DFORMAT>(999), 1, 1, 4), &codec),
              E_FAIL);
    PixelView empty = packedView(pixel, D3DFMT_A8R8G8B8, 1, 1, 4);
    empty.right = 0;
    EXPECT_EQ(createPixelCodec(empty, &codec), D3DERR_INVALIDCALL);
    EXPECT_EQ(createPixelCodec(packedView(nullptr, D3DFMT_A8R8G8B8, 1, 1, 4), &codec),
              D3DERR_INVALIDCALL);
}

TEST(PixelRows8888, Sse2AndPlainRoutinesAgree) {
    const detail::Rows8888 simd = detail::rows8888Sse2();
    if (simd.decode == nullptr) {
        GTEST_SKIP() << "no SSE2 routines on this processor";
    }
    // Every byte value, and floats around and outside the range, NaN included; 259 pixels so
    // the tail after the last group of four is covered too.
    constexpr UINT kCount = 259;
    std::vector<BYTE> bytes(kCount * 4);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<BYTE>(i * 7);
    }
    std::vector<Rgba> floats(kCount);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> spread(-0.2f, 1.2f);
    for (Rgba& pixel : floats) {
        pixel = Rgba{spread(random), spread(random), spread(random), spread(random)};
    }
    floats[5].g = std::numeric_limits<float>::quiet_NaN();
    floats[6].r = -0.0f;
    floats[7].b = 0.5f / 255.0f;
    floats[8].a = std::numeric_limits<float>::infinity();
    for (const bool blueFirst : {false, true}) {
        for (const bool hasAlpha : {false, true}) {
            SCOPED_TRACE(std::string(blueFirst ? "BGRA" : "RGBA") + (hasAlpha ? " alpha" : ""));
            std::vector<Rgba> plainFloats(kCount);
            std::vector<Rgba> simdFloats(kCount);
            detail::decodeRow8888Plain(bytes.data(), plainFloats.data(), kCount, blueFirst,
                                       hasAlpha);
            simd.decode(bytes.data(), simdFloats.data(), kCount, blueFirst, hasAlpha);
            ASSERT_EQ(std::memcmp(plainFloats.data(), simdFloats.data(), kCount * sizeof(Rgba)), 0);
            std::vector<BYTE> plainBytes(kCount * 4);
            std::vector<BYTE> simdBytes(kCount * 4);
            detail::encodeRow8888Plain(floats.data(), plainBytes.data(), kCount, blueFirst,
                                       hasAlpha);
            simd.encode(floats.data(), simdBytes.data(), kCount, blueFirst, hasAlpha);
            ASSERT_EQ(plainBytes, simdBytes);
            // NaN writes as 0.
            EXPECT_EQ(plainBytes[5 * 4 + 1], 0);
        }
    }
}

// --- Round trip: A8R8G8B8 -> format -> A8R8G8B8 -------------------------------------------

enum class Channel { kAbsent, kUnsigned, kSigned };

struct RoundTripFormat {
    const char* name;
    D3DFORMAT format;
    UINT bytesPerPixel;
    // Red, green, blue, alpha: how each is stored and with how many bits (0 for floats, which
    // keep at least 11 bits).
    Channel kinds[4];
    int bits[4];
    // Colour is stored as luminance: the test feeds grey pixels.
    bool luminance;
};

constexpr Channel A = Channel::kAbsent;
constexpr Channel U = Channel::kUnsigned;
constexpr Channel S = Channel::kSigned;

const RoundTripFormat kRoundTripFormats[] = {
    {"R8G8B8", D3DFMT_R8G8B8, 3, {U, U, U, A}, {8, 8, 8, 0}, false},
    {"A8R8G8B8", D3DFMT_A8R8G8B8, 4, {U, U, U, U}, {8, 8, 8, 8}, false},
    {"X8R8G8B8", D3DFMT_X8R8G8B8, 4, {U, U, U, A}, {8, 8, 8, 0}, false},
    {"R5G6B5", D3DFMT_R5G6B5, 2, {U, U, U, A}, {5, 6, 5, 0}, false},
    {"X1R5G5B5", D3DFMT_X1R5G5B5, 2, {U, U, U, A}, {5, 5, 5, 0}, false},
    {"A1R5G5B5", D3DFMT_A1R5G5B5, 2, {U, U, U, U}, {5, 5, 5, 1}, false},
    {"A4R4G4B4", D3DFMT_A4R4G4B4, 2, {U, U, U, U}, {4, 4, 4, 4}, false},
    {"R3G3B2", D3DFMT_R3G3B2, 1, {U, U, U, A}, {3, 3, 2, 0}, false},
    {"A8", D3DFMT_A8, 1, {A, A, A, U}, {0, 0, 0, 8}, false},
    {"A8R3G3B2", D3DFMT_A8R3G3B2, 2, {U, U, U, U}, {3, 3, 2, 8}, false},
    {"X4R4G4B4", D3DFMT_X4R4G4B4, 2, {U, U, U, A}, {4, 4, 4, 0}, false},
    {"A2B10G10R10", D3DFMT_A2B10G10R10, 4, {U, U, U, U}, {10, 10, 10, 2}, false},
    {"A8B8G8R8", D3DFMT_A8B8G8R8, 4, {U, U, U, U}, {8, 8, 8, 8}, false},
    {"X8B8G8R8", D3DFMT_X8B8G8R8, 4, {U, U, U, A}, {8, 8, 8, 0}, false},
    {"G16R16", D3DFMT_G16R16, 4, {U, U, A, A}, {16, 16, 0, 0}, false},
    {"A2R10G10B10", D3DFMT_A2R10G10B10, 4, {U, U, U, U}, {10, 10, 10, 2}, false},
    {"A16B16G16R16", D3DFMT_A16B16G16R16, 8, {U, U, U, U}, {16, 16, 16, 16}, false},
    {"L8", D3DFMT_L8, 1, {U, U, U, A}, {8, 8, 8, 0}, true},
    {"A8L8", D3DFMT_A8L8, 2, {U, U, U, U}, {8, 8, 8, 8}, true},
    {"A4L4", D3DFMT_A4L4, 1, {U, U, U, U}, {4, 4, 4, 4}, true},
    {"L16", D3DFMT_L16, 2, {U, U, U, A}, {16, 16, 16, 0}, true},
    {"AL16", kFormatAL16, 4, {U, U, U, U}, {16, 16, 16, 16}, true},
    {"R16", kFormatR16, 6, {U, U, U, A}, {16, 16, 16, 0}, false},
    {"D16_LOCKABLE", D3DFMT_D16_LOCKABLE, 2, {U, A, A, A}, {16, 0, 0, 0}, false},
    {"V8U8", D3DFMT_V8U8, 2, {S, S, A, A}, {8, 8, 0, 0}, false},
    {"L6V5U5", D3DFMT_L6V5U5, 2, {S, S, A, U}, {5, 5, 0, 6}, false},
    {"X8L8V8U8", D3DFMT_X8L8V8U8, 4, {S, S, A, U}, {8, 8, 0, 8}, false},
    {"Q8W8V8U8", D3DFMT_Q8W8V8U8, 4, {S, S, S, S}, {8, 8, 8, 8}, false},
    {"V16U16", D3DFMT_V16U16, 4, {S, S, A, A}, {16, 16, 0, 0}, false},
    {"A2W10V10U10", D3DFMT_A2W10V10U10, 4, {S, S, S, U}, {10, 10, 10, 2}, false},
    {"Q16W16V16U16", D3DFMT_Q16W16V16U16, 8, {S, S, S, S}, {16, 16, 16, 16}, false},
    {"R16F", D3DFMT_R16F, 2, {U, A, A, A}, {0, 0, 0, 0}, false},
    {"G16R16F", D3DFMT_G16R16F, 4, {U, U, A, A}, {0, 0, 0, 0}, false},
    {"A16B16G16R16F", D3DFMT_A16B16G16R16F, 8, {U, U, U, U}, {0, 0, 0, 0}, false},
    {"R32F", D3DFMT_R32F, 4, {U, A, A, A}, {0, 0, 0, 0}, false},
    {"G32R32F", D3DFMT_G32R32F, 8, {U, U, A, A}, {0, 0, 0, 0}, false},
    {"A32B32G32R32F", D3DFMT_A32B32G32R32F, 16, {U, U, U, U}, {0, 0, 0, 0}, false},
    {"D32F_LOCKABLE", D3DFMT_D32F_LOCKABLE, 4, {U, A, A, A}, {0, 0, 0, 0}, false},
};

class RoundTrip : public ::testing::TestWithParam<RoundTripFormat> {};

// What a channel of the format gives back, and how far from the input it may be: half a
// quantisation step of the stored channel, plus the final 8-bit rounding.
void expectChannel(const RoundTripFormat& format, int c, int in, int out, bool signedFormat) {
    const Channel kind = format.kinds[c];
    if (kind == Channel::kAbsent) {
        // Missing colour reads 0 (0.5 once a signed format's 0 is made unsigned); alpha 1.
        const int expected = c == 3 ? 255 : (signedFormat ? 128 : 0);
        EXPECT_EQ(out, expected) << "channel " << c;
        return;
    }
    double tolerance = 0.5;
    if (format.bits[c] != 0) {
        const double levels = kind == Channel::kSigned ? 2.0 * ((1 << (format.bits[c] - 1)) - 1)
                                                       : (1 << format.bits[c]) - 1;
        tolerance += 255.0 / levels / 2.0;
    }
    EXPECT_LE(std::abs(out - in), tolerance) << "channel " << c << " in " << in;
}

TEST_P(RoundTrip, StaysWithinTheQuantisationStep) {
    const RoundTripFormat& format = GetParam();
    const bool signedFormat = std::any_of(std::begin(format.kinds), std::end(format.kinds),
                                          [](Channel kind) { return kind == Channel::kSigned; });
    std::mt19937 random(static_cast<unsigned>(format.format));
    for (int round = 0; round < 6; ++round) {
        const UINT width = 1 + random() % 13;
        const UINT height = 1 + random() % 7;
        std::vector<std::uint32_t> source(std::size_t{width} * height);
        for (std::uint32_t& pixel : source) {
            pixel = static_cast<std::uint32_t>(random());
            if (format.luminance) {
                const std::uint32_t grey = pixel & 0xFF;
                pixel = (pixel & 0xFF000000) | grey * 0x010101;
            }
        }
        std::vector<BYTE> middle(std::size_t{width} * height * format.bytesPerPixel);
        std::vector<std::uint32_t> back(source.size());
        const PixelView sourceView = packedView(source.data(), D3DFMT_A8R8G8B8, width, height, 4);
        const PixelView middleView =
            packedView(middle.data(), format.format, width, height, format.bytesPerPixel);
        const PixelView backView = packedView(back.data(), D3DFMT_A8R8G8B8, width, height, 4);
        ASSERT_EQ(Blit(middleView, sourceView, D3DX_FILTER_NONE), S_OK);
        ASSERT_EQ(Blit(backView, middleView, D3DX_FILTER_NONE), S_OK);
        for (std::size_t i = 0; i < source.size(); ++i) {
            SCOPED_TRACE("pixel " + std::to_string(i) + " of " + std::to_string(width) + "x" +
                         std::to_string(height));
            const int shifts[4] = {16, 8, 0, 24};
            for (int c = 0; c < 4; ++c) {
                expectChannel(format, c, static_cast<int>((source[i] >> shifts[c]) & 0xFF),
                              static_cast<int>((back[i] >> shifts[c]) & 0xFF), signedFormat);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Texture, RoundTrip, ::testing::ValuesIn(kRoundTripFormats),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

// --- Colour key -----------------------------------------------------------------------------

TEST(ColorKey, MatchesAtTheSourcePrecision) {
    // R5G6B5 pixels: black, the smallest red, and (1, 2, 1) in 5:6:5 units.
    std::uint16_t pixels[3] = {0x0000, 0x0800, (1 << 11) | (2 << 5) | 1};
    std::uint32_t out[3] = {};
    PixelView source = packedView(pixels, D3DFMT_R5G6B5, 3, 1, 2);
    const PixelView dest = packedView(out, D3DFMT_A8R8G8B8, 3, 1, 4);

    source.colorKey = 0xFF000000;
    ASSERT_EQ(Blit(dest, source, D3DX_FILTER_NONE), S_OK);
    EXPECT_EQ(out[0], 0u);
    EXPECT_EQ(out[1] >> 24, 255u);
    EXPECT_EQ(out[2] >> 24, 255u);

    // 0xFF080408 lands on 5:6:5 (1, 1, 1)... and 0xFF080808 on (1, 2, 1): keys are compared
    // after passing through the source format.
    source.colorKey = 0xFF080808;
    ASSERT_EQ(Blit(dest, source, D3DX_FILTER_NONE), S_OK);
    EXPECT_EQ(out[0] >> 24, 255u);
    EXPECT_EQ(out[1] >> 24, 255u);
    EXPECT_EQ(out[2], 0u);
}

TEST(ColorKey, OpaqueBlackOfX8R8G8B8BecomesTransparent) {
    // The program's path: an 8x8 X8R8G8B8 block of black and white into A8R8G8B8.
    std::uint32_t pixels[64];
    for (int i = 0; i < 64; ++i) {
        pixels[i] = (i % 3 == 0) ? 0xFF000000u : 0xFFFFFFFFu;
    }
    std::uint32_t out[64] = {};
    PixelView source = packedView(pixels, D3DFMT_X8R8G8B8, 8, 8, 4);
    source.colorKey = 0xFF000000;
    ASSERT_EQ(Blit(packedView(out, D3DFMT_A8R8G8B8, 8, 8, 4), source, D3DX_FILTER_TRIANGLE), S_OK);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(out[i], i % 3 == 0 ? 0u : 0xFFFFFFFFu) << i;
    }
}

// --- Kinds, clamping, sRGB -------------------------------------------------------------------

TEST(KindConversion, SignedAndUnsignedMeetHalfway) {
    // V8U8 (U = 127, V = -127) to A8R8G8B8: (x + 1) / 2; missing blue 0 becomes the middle.
    std::uint16_t bump = 0x817F;
    std::uint32_t colour = 0;
    ASSERT_EQ(Blit(packedView(&colour, D3DFMT_A8R8G8B8, 1, 1, 4),
                   packedView(&bump, D3DFMT_V8U8, 1, 1, 2), D3DX_FILTER_NONE),
              S_OK);
    EXPECT_EQ(colour, 0xFFFF0080u);

    // A8R8G8B8 to Q8W8V8U8: 2x - 1 in every channel, alpha too.
    std::uint32_t source = 0x00FF0080;
    std::uint32_t signedAll = 0;
    ASSERT_EQ(Blit(packedView(&signedAll, D3DFMT_Q8W8V8U8, 1, 1, 4),
                   packedView(&source, D3DFMT_A8R8G8B8, 1, 1, 4), D3DX_FILTER_NONE),
              S_OK);
    // U = red 255 -> 127, V = green 0 -> -127, W = blue 0x80 -> 0.004 -> 0, Q = alpha 0 -> -127.
    EXPECT_EQ(signedAll & 0xFF, 0x7Fu);
    EXPECT_EQ((signedAll >> 8) & 0xFF, 0x81u);
    EXPECT_EQ((signedAll >> 16) & 0xFF, 0x00u);
    EXPECT_EQ(signedAll >> 24, 0x81u);

    // A8R8G8B8 to A2W10V10U10 keeps the unsigned alpha as it is.
    std::uint32_t opaque = 0xFF000000;
    std::uint32_t mixed = 0;
    ASSERT_EQ(Blit(packedView(&mixed, D3DFMT_A2W10V10U10, 1, 1, 4),
                   packedView(&opaque, D3DFMT_A8R8G8B8, 1, 1, 4), D3DX_FILTER_NONE),
              S_OK);
    EXPECT_EQ(mixed >> 30, 3u);
}

TEST(KindConversion, FloatIsClampedIntoIntegerRanges) {
    const float pixel[4] = {2.0f, -1.0f, 0.5f, 7.0f};
    std::uint32_t colour = 0;
    ASSERT_EQ(Blit(packedView(&colour, D3DFMT_A8R8G8B8, 1, 1, 4),
                   packedView(const_cast<float*>(pixel), D3DFMT_A32B32G32R32F, 1, 1, 16),
                   D3DX_FILTER_NONE),
              S_OK);
    EXPECT_EQ(colour, 0xFFFF0080u);
    std::uint16_t bump = 0;
    ASSERT_EQ(Blit(packedView(&bump, D3DFMT_V8U8, 1, 1, 2),
                   packedView(const_cast<float*>(pixel), D3DFMT_A32B32G32R32F, 1, 1, 16),
                   D3DX_FILTER_NONE),
              S_OK);
    EXPECT_EQ(bump, 0x817Fu);
    // Float to float is not clamped.
    float copy[4] = {};
    ASSERT_EQ(Blit(packedView(copy, D3DFMT_A32B32G32R32F, 1, 1, 16),
                   packedView(const_cast<float*>(pixel), D3DFMT_A32B32G32R32F, 1, 1, 16),
                   D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER),
              S_OK);
    EXPECT_EQ(copy[0], 2.0f);
    EXPECT_EQ(copy[3], 7.0f);
}

TEST(Srgb, FlagsLineariseAndEncode) {
    // sRGB 188 is linear 0.5 (to within the 8-bit step).
    std::uint32_t encoded = 0xFFBCBCBC;
    std::uint32_t out = 0;
    const PixelView in = packedView(&encoded, D3DFMT_A8R8G8B8, 1, 1, 4);
    const PixelView to = packedView(&out, D3DFMT_A8R8G8B8, 1, 1, 4);
    ASSERT_EQ(Blit(to, in, D3DX_FILTER_NONE | D3DX_FILTER_SRGB_IN), S_OK);
    EXPECT_NEAR(static_cast<int>(out & 0xFF), 128, 1);
    EXPECT_EQ(out >> 24, 255u);
    std::uint32_t back = 0;
    ASSERT_EQ(Blit(packedView(&back, D3DFMT_A8R8G8B8, 1, 1, 4), to,
                   D3DX_FILTER_NONE | D3DX_FILTER_SRGB_OUT),
              S_OK);
    EXPECT_NEAR(static_cast<int>(back & 0xFF), 0xBC, 1);
    // Both flags: the encoded values pass through untouched.
    ASSERT_EQ(Blit(to, in, D3DX_FILTER_NONE | D3DX_FILTER_SRGB), S_OK);
    EXPECT_EQ(out, encoded);
}

// --- Dithering and diffusion ---------------------------------------------------------------

TEST(Dither, MidGreyInFiveBitsMakesTheBayerPattern) {
    std::vector<float> grey(16 * 4, 0.5f);
    std::uint16_t out[16] = {};
    ASSERT_EQ(Blit(packedView(out, D3DFMT_X1R5G5B5, 4, 4, 2),
                   packedView(grey.data(), D3DFMT_A32B32G32R32F, 4, 4, 16),
                   D3DX_FILTER_NONE | D3DX_FILTER_DITHER),
              S_OK);
    // 0.5 * 31 = 15.5; the entry (2B + 1) / 32 tips it to 16 where B >= 8.
    constexpr int kBayer[4][4] = {{15, 7, 13, 5}, {3, 11, 1, 9}, {12, 4, 14, 6}, {0, 8, 2, 10}};
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            const unsigned blue = out[y * 4 + x] & 31;
            EXPECT_EQ(blue, kBayer[y][x] >= 8 ? 16u : 15u) << x << "," << y;
        }
    }
    // Without the flag every pixel rounds the same way.
    ASSERT_EQ(Blit(packedView(out, D3DFMT_X1R5G5B5, 4, 4, 2),
                   packedView(grey.data(), D3DFMT_A32B32G32R32F, 4, 4, 16), D3DX_FILTER_NONE),
              S_OK);
    for (const std::uint16_t pixel : out) {
        EXPECT_EQ(pixel & 31, 16);
    }
}

TEST(Dither, ErrorDiffusionKeepsTheAverage) {
    // 0.3 in 4 bits is 4.5 steps: plain rounding gives 5 everywhere (a third too bright in
    // the mean), diffusion alternates so the mean stays at 4.5.
    constexpr UINT kSize = 32;
    std::vector<float> level(kSize * kSize * 4, 0.3f);
    std::vector<std::uint16_t> out(kSize * kSize);
    ASSERT_EQ(Blit(packedView(out.data(), D3DFMT_A4R4G4B4, kSize, kSize, 2),
                   packedView(level.data(), D3DFMT_A32B32G32R32F, kSize, kSize, 16),
                   D3DX_FILTER_NONE | D3DX_FILTER_DITHER_DIFFUSION),
              S_OK);
    double sum = 0;
    bool sawFour = false;
    bool sawFive = false;
    for (const std::uint16_t pixel : out) {
        const unsigned red = (pixel >> 8) & 15;
        sum += red;
        sawFour = sawFour || red == 4;
        sawFive = sawFive || red == 5;
    }
    EXPECT_NEAR(sum / out.size(), 4.5, 0.05);
    EXPECT_TRUE(sawFour && sawFive);
}

// --- Block and pair formats ----------------------------------------------------------------

// A 4x4 image of two colours that 5:6:5 holds exactly, in a checker of 2x2 squares.
std::vector<std::uint32_t> twoColourBlock(std::uint32_t first, std::uint32_t second) {
    std::vector<std::uint32_t> pixels(16);
    for (int i = 0; i < 16; ++i) {
        pixels[i] = (((i & 3) / 2 + (i / 8)) & 1) != 0 ? second : first;
    }
    return pixels;
}

TEST(BlockCodec, TwoColourBlocksRoundTripExactly) {
    // 5:6:5 colours widened the way the codec reads them: 31 -> 255, 0 -> 0, 63 -> 255.
    const std::vector<std::uint32_t> pixels = twoColourBlock(0xFFFF0000, 0xFF00FFFF);
    for (const D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT3, D3DFMT_DXT5}) {
        SCOPED_TRACE(static_cast<unsigned>(format));
        BYTE block[16] = {};
        std::vector<std::uint32_t> back(16);
        PixelView compressed = packedView(block, format, 4, 4, 0);
        compressed.rowPitch = format == D3DFMT_DXT1 ? 8 : 16;
        ASSERT_EQ(
            Blit(compressed,
                 packedView(const_cast<std::uint32_t*>(pixels.data()), D3DFMT_A8R8G8B8, 4, 4, 4),
                 D3DX_FILTER_NONE),
            S_OK);
        ASSERT_EQ(
            Blit(packedView(back.data(), D3DFMT_A8R8G8B8, 4, 4, 4), compressed, D3DX_FILTER_NONE),
            S_OK);
        EXPECT_EQ(back, pixels);
    }
}

TEST(BlockCodec, AlphaEncodings) {
    std::vector<std::uint32_t> pixels(16);
    for (int i = 0; i < 16; ++i) {
        // Alpha 0, 17, 34, ... 255: every 4-bit step once.
        pixels[i] = (static_cast<std::uint32_t>(i * 17) << 24) | 0x00408040;
    }
    for (const D3DFORMAT format : {D3DFMT_DXT1, D3DFMT_DXT2, D3DFMT_DXT3, D3DFMT_DXT5}) {
        SCOPED_TRACE(static_cast<unsigned>(format));
        BYTE block[16] = {};
        std::vector<std::uint32_t> back(16);
        PixelView compressed = packedView(block, format, 4, 4, 0);
        compressed.rowPitch = format == D3DFMT_DXT1 ? 8 : 16;
        ASSERT_EQ(
            Blit(compressed, packedView(pixels.data(), D3DFMT_A8R8G8B8, 4, 4, 4), D3DX_FILTER_NONE),
            S_OK);
        ASSERT_EQ(
            Blit(packedView(back.data(), D3DFMT_A8R8G8B8, 4, 4, 4), compressed, D3DX_FILTER_NONE),
            S_OK);
        for (int i = 0; i < 16; ++i) {
            const int in = static_cast<int>(pixels[i] >> 24);
            const int out = static_cast<int>(back[i] >> 24);
            if (format == D3DFMT_DXT1) {
                // One bit: below half is transparent black, the rest opaque.
                EXPECT_EQ(back[i] == 0, in < 128) << i;
                EXPECT_EQ(out, in < 128 ? 0 : 255) << i;
            } else if (format == D3DFMT_DXT5) {
                // Eight levels between 0 and 255: within half a step of 255 / 7.
                EXPECT_LE(std::abs(out - in), 19) << i;
            } else {
                EXPECT_EQ(out, in) << i;
            }
        }
    }
}

TEST(BlockCodec, PartialRectangleKeepsTheRestOfTheBlock) {
    // Two DXT1 blocks side by side, both red; write blue into the 2x2 pixels at (5, 1).
    BYTE blocks[16] = {};
    const std::vector<std::uint32_t> red(32, 0xFFFF0000);
    PixelView whole = packedView(blocks, D3DFMT_DXT1, 8, 4, 0);
    whole.rowPitch = 16;
    ASSERT_EQ(Blit(whole,
                   packedView(const_cast<std::uint32_t*>(red.data()), D3DFMT_A8R8G8B8, 8, 4, 4),
                   D3DX_FILTER_NONE),
              S_OK);
    std::uint32_t blue[4] = {0xFF0000FF, 0xFF0000FF, 0xFF0000FF, 0xFF0000FF};
    PixelView part = whole;
    part.pixels = blocks + 8;
    part.left = 5;
    part.top = 1;
    part.right = 7;
    part.bottom = 3;
    ASSERT_EQ(Blit(part, packedView(blue, D3DFMT_A8R8G8B8, 2, 2, 4), D3DX_FILTER_NONE), S_OK);
    std::vector<std::uint32_t> back(32);
    ASSERT_EQ(Blit(packedView(back.data(), D3DFMT_A8R8G8B8, 8, 4, 4), whole, D3DX_FILTER_NONE),
              S_OK);
    for (UINT y = 0; y < 4; ++y) {
        for (UINT x = 0; x < 8; ++x) {
            const bool inside = x >= 5 && x < 7 && y >= 1 && y < 3;
            EXPECT_EQ(back[y * 8 + x], inside ? 0xFF0000FFu : 0xFFFF0000u) << x << "," << y;
        }
    }
}

TEST(PairCodec, YuvAndRgbPairs) {
    // YUY2: Y0 U Y1 V. Studio-range white and black side by side.
    BYTE yuy2[4] = {235, 128, 16, 128};
    std::uint32_t out[2] = {};
    PixelView pair = packedView(yuy2, D3DFMT_YUY2, 2, 1, 2);
    ASSERT_EQ(Blit(packedView(out, D3DFMT_A8R8G8B8, 2, 1, 4), pair, D3DX_FILTER_NONE), S_OK);
    EXPECT_EQ(out[0], 0xFFFFFFFFu);
    EXPECT_EQ(out[1], 0xFF000000u);
    // Writing grey back gives the same bytes.
    BYTE written[4] = {};
    ASSERT_EQ(Blit(packedView(written, D3DFMT_YUY2, 2, 1, 2),
                   packedView(out, D3DFMT_A8R8G8B8, 2, 1, 4), D3DX_FILTER_NONE),
              S_OK);
    EXPECT_EQ(std::vector<BYTE>(written, written + 4), std::vector<BYTE>(yuy2, yuy2 + 4));
    // UYVY keeps U first.
    BYTE uyvy[4] = {128, 235, 128, 16};
    ASSERT_EQ(Blit(packedView(out, D3DFMT_A8R8G8B8, 2, 1, 4),
                   packedView(uyvy, D3DFMT_UYVY, 2, 1, 2), D3DX_FILTER_NONE),
              S_OK);
    EXPECT_EQ(out[0], 0xFFFFFFFFu);

    // R8G8_B8G8: R G0 B G1; green per pixel, red and blue shared (averaged when written).
    std::uint32_t colours[2] = {0xFF104060, 0xFF3080C0};
    BYTE rgbg[4] = {};
    ASSERT_EQ(Blit(packedView(rgbg, D3DFMT_R8G8_B8G8, 2, 1, 2),
                   packedView(colours, D3DFMT_A8R8G8B8, 2, 1, 4), D3DX_FILTER_NONE),
              S_OK);
    EXPECT_EQ(std::vector<BYTE>(rgbg, rgbg + 4), (std::vector<BYTE>{0x20, 0x40, 0x90, 0x80}));
    // G8R8_G8B8: G0 R G1 B.
    BYTE grgb[4] = {};
    ASSERT_EQ(Blit(packedView(grgb, D3DFMT_G8R8_G8B8, 2, 1, 2),
                   packedView(colours, D3DFMT_A8R8G8B8, 2, 1, 4), D3DX_FILTER_NONE),
              S_OK);
    EXPECT_EQ(std::vector<BYTE>(grgb, grgb + 4), (std::vector<BYTE>{0x40, 0x20, 0x80, 0x90}));
    std::uint32_t decoded[2] = {};
    ASSERT_EQ(Blit(packedView(decoded, D3DFMT_A8R8G8B8, 2, 1, 4),
                   packedView(grgb, D3DFMT_G8R8_G8B8, 2, 1, 2), D3DX_FILTER_NONE),
              S_OK);
    EXPECT_EQ(decoded[0], 0xFF204090u);
    EXPECT_EQ(decoded[1], 0xFF208090u);
}

TEST(PaletteCodec, WritingPicksTheNearestEntry) {
    PALETTEENTRY palette[256];
    for (int i = 0; i < 256; ++i) {
        palette[i] = {static_cast<BYTE>(i), 0, 0, 255};
    }
    std::uint32_t colours[3] = {0xFF000000, 0xFF7F0000, 0xFFFF0000};
    BYTE indices[3] = {};
    ASSERT_EQ(Blit(packedView(indices, D3DFMT_P8, 3, 1, 1, palette),
                   packedView(colours, D3DFMT_A8R8G8B8, 3, 1, 4), D3DX_FILTER_NONE),
              S_OK);
    EXPECT_EQ(indices[0], 0);
    EXPECT_EQ(indices[1], 0x7F);
    EXPECT_EQ(indices[2], 0xFF);
}

} // namespace
} // namespace halv::texture::testing
