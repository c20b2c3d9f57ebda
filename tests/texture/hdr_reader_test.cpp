#include "tests/texture/image_writers.h"
#include "tests/texture/reader_test_support.h"
#include "texture/detail/image_readers.h"
#include "texture/image_decoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace halv::texture {
namespace {

using detail::ReadFailure;
using testing::Bytes;

Bytes hdr(std::string_view header, std::string_view resolution,
          std::initializer_list<unsigned> payload) {
    Bytes out = testing::bytesOf("#?RADIANCE\n");
    testing::append(out, header);
    testing::append(out, "\n");
    testing::append(out, resolution);
    testing::append(out, "\n");
    for (const unsigned value : payload) {
        testing::appendByte(out, value);
    }
    return out;
}

constexpr std::string_view kRgbe = "FORMAT=32-bit_rle_rgbe\n";

// (mantissa + 0.5) * 2^(exponent - 136).
float radiance(unsigned mantissa, unsigned exponent) {
    return static_cast<float>(std::ldexp(mantissa + 0.5, static_cast<int>(exponent) - 136));
}

std::vector<float> floatsOf(const DecodedImage& image) {
    std::vector<float> out(std::size_t{image.width} * image.height * 4);
    for (std::uint32_t y = 0; y < image.height; ++y) {
        std::memcpy(out.data() + std::size_t{y} * image.width * 4,
                    image.pixels + std::size_t{y} * image.rowPitch, image.width * 16);
    }
    return out;
}

// Red of every pixel, row by row: enough to follow where each stored pixel went.
std::vector<float> redsOf(const DecodedImage& image) {
    std::vector<float> reds;
    const std::vector<float> all = floatsOf(image);
    for (std::size_t i = 0; i < all.size(); i += 4) {
        reds.push_back(all[i]);
    }
    return reds;
}

TEST(HdrReader, FlatPixelsDecodeToRadiance) {
    const Bytes file = hdr(kRgbe, "-Y 1 +X 2", {128, 64, 32, 129, 200, 100, 50, 0});
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(testing::load(file, image, &info), S_OK);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_HDR);
    EXPECT_EQ(image.format, D3DFMT_A32B32G32R32F);
    EXPECT_EQ(image.rowPitch, 32u);
    EXPECT_EQ(floatsOf(image), (std::vector<float>{radiance(128, 129), radiance(64, 129),
                                                   radiance(32, 129), 1, 0, 0, 0, 1}));
    testing::expectPrefixesRejected(detail::readHdr, file);
}

TEST(HdrReader, ExposureLinesDivideTheValues) {
    const Bytes file = hdr("EXPOSURE=2\nFORMAT=\t32-bit_rle_rgbe\nEXPOSURE= 4.0\n", "-Y 1 +X 1",
                           {128, 128, 128, 129});
    DecodedImage image;
    ASSERT_EQ(testing::load(file, image), S_OK);
    EXPECT_FLOAT_EQ(floatsOf(image)[0], radiance(128, 129) / 8);
}

TEST(HdrReader, XyzWhiteBecomesRgbWhite) {
    const Bytes file = hdr("FORMAT=32-bit_rle_xyze\n", "-Y 1 +X 1", {127, 127, 127, 129});
    DecodedImage image;
    ASSERT_EQ(testing::load(file, image), S_OK);
    const std::vector<float> pixel = floatsOf(image);
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(pixel[c], radiance(127, 129), 1e-5) << c;
    }
    EXPECT_EQ(pixel[3], 1.0f);
}

TEST(HdrReader, AdaptiveRunLengthScanlines) {
    // Width 8: red a run of 8, green 8 literals, blue two runs of 4, exponent a run of 8.
    const Bytes file = hdr(kRgbe, "-Y 1 +X 8", {2, 2, 0, 8, 0x88, 100, 8,    1,  2,    3,  4,
                                                5, 6, 7, 8, 0x84, 10,  0x84, 20, 0x88, 130});
    DecodedImage image;
    ASSERT_EQ(testing::load(file, image), S_OK);
    const std::vector<float> pixels = floatsOf(image);
    for (unsigned x = 0; x < 8; ++x) {
        SCOPED_TRACE(x);
        EXPECT_EQ(pixels[x * 4 + 0], radiance(100, 130));
        EXPECT_EQ(pixels[x * 4 + 1], radiance(x + 1, 130));
        EXPECT_EQ(pixels[x * 4 + 2], radiance(x < 4 ? 10 : 20, 130));
    }
    testing::expectPrefixesRejected(detail::readHdr, file);
}

TEST(HdrReader, OldRunLengthRepeatsGrowByEightBitsPerMarker) {
    // One pixel, 43 repeats, then 1 << 8 more: 300 pixels in all.
    const Bytes file = hdr(kRgbe, "-Y 1 +X 300", {50, 60, 70, 128, 1, 1, 1, 43, 1, 1, 1, 1});
    DecodedImage image;
    ASSERT_EQ(testing::load(file, image), S_OK);
    const std::vector<float> reds = redsOf(image);
    ASSERT_EQ(reds.size(), 300u);
    for (const float red : reds) {
        ASSERT_EQ(red, radiance(50, 128));
    }
    // A normal pixel resets the shift: 1 + 2 + 1 + 1 = 5 (without the reset the second marker
    // would ask for 256 pixels).
    const Bytes reset =
        hdr(kRgbe, "-Y 1 +X 5", {9, 9, 9, 128, 1, 1, 1, 2, 8, 8, 8, 128, 1, 1, 1, 1});
    DecodedImage resetImage;
    ASSERT_EQ(testing::load(reset, resetImage), S_OK);
    const float nine = radiance(9, 128);
    const float eight = radiance(8, 128);
    EXPECT_EQ(redsOf(resetImage), (std::vector<float>{nine, nine, nine, eight, eight}));
}

TEST(HdrReader, OrientationsPlaceThePixels) {
    // Stored pixels carry red mantissas 1, 2, 3, 4, 5, 6 in file order.
    const std::initializer_list<unsigned> stored = {1, 0, 0, 128, 2, 0, 0, 128, 3, 0, 0, 128,
                                                    4, 0, 0, 128, 5, 0, 0, 128, 6, 0, 0, 128};
    struct Case {
        const char* resolution;
        std::uint32_t width;
        std::uint32_t height;
        std::vector<unsigned> expected;
    };
    const Case cases[] = {
        {"-Y 2 +X 3", 3, 2, {1, 2, 3, 4, 5, 6}}, {"+Y 2 +X 3", 3, 2, {4, 5, 6, 1, 2, 3}},
        {"-Y 2 -X 3", 3, 2, {3, 2, 1, 6, 5, 4}}, {"+Y 2 -X 3", 3, 2, {6, 5, 4, 3, 2, 1}},
        {"+X 2 -Y 3", 2, 3, {1, 4, 2, 5, 3, 6}}, {"-X 2 +Y 3", 2, 3, {6, 3, 5, 2, 4, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.resolution);
        DecodedImage image;
        ASSERT_EQ(testing::load(hdr(kRgbe, c.resolution, stored), image), S_OK);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
        std::vector<float> expected;
        for (const unsigned mantissa : c.expected) {
            expected.push_back(radiance(mantissa, 128));
        }
        EXPECT_EQ(redsOf(image), expected);
    }
}

struct RejectCase {
    const char* name;
    Bytes file;
    ReadFailure expected;
};

Bytes adaptive(std::initializer_list<unsigned> scanline) {
    return hdr(kRgbe, "-Y 1 +X 8", scanline);
}

const RejectCase kRejects[] = {
    {"OtherMagic", testing::bytesOf("#?RGBE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 1\n1111"),
     ReadFailure::kNotThisFormat},
    {"OtherPixelFormat", hdr("FORMAT=32-bit_rle_foo\n", "-Y 1 +X 1", {1, 1, 1, 1}),
     ReadFailure::kUnsupported},
    {"NoEmptyLine", testing::bytesOf("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n-Y 1 +X 1\n"),
     ReadFailure::kTruncated},
    {"ZeroExposure", hdr("EXPOSURE=0\n", "-Y 1 +X 1", {1, 1, 1, 1}), ReadFailure::kBadHeader},
    {"SameAxisTwice", hdr(kRgbe, "-Y 1 +Y 1", {1, 1, 1, 1}), ReadFailure::kBadHeader},
    {"AxisWithoutSign", hdr(kRgbe, "Y 1 X 1", {1, 1, 1, 1}), ReadFailure::kBadHeader},
    {"ZeroScanlines", hdr(kRgbe, "-Y 0 +X 1", {}), ReadFailure::kBadHeader},
    {"TrailingText", hdr(kRgbe, "-Y 1 +X 1 extra", {1, 1, 1, 1}), ReadFailure::kBadHeader},
    {"HugeImage", hdr(kRgbe, "-Y 100000 +X 100000", {1, 1, 1, 1}), ReadFailure::kTooLarge},
    {"LengthMismatch", adaptive({2, 2, 0, 9, 0x89, 1, 0x89, 1, 0x89, 1, 0x89, 1}),
     ReadFailure::kBadRunLength},
    {"ZeroCode", adaptive({2, 2, 0, 8, 0, 1}), ReadFailure::kBadRunLength},
    {"RunPastTheScanline", adaptive({2, 2, 0, 8, 0x89, 1}), ReadFailure::kBadRunLength},
    {"LiteralPastTheScanline", adaptive({2, 2, 0, 8, 0x84, 1, 5, 1, 1, 1, 1, 1}),
     ReadFailure::kBadRunLength},
    {"LiteralCutShort", adaptive({2, 2, 0, 8, 8, 1, 2, 3}), ReadFailure::kTruncated},
    {"RepeatWithoutAPixel", hdr(kRgbe, "-Y 1 +X 2", {1, 1, 1, 1, 5, 5, 5, 5}),
     ReadFailure::kBadRunLength},
    {"RepeatPastTheScanline", hdr(kRgbe, "-Y 1 +X 2", {5, 5, 5, 5, 1, 1, 1, 2}),
     ReadFailure::kBadRunLength},
    {"FlatCutShort", hdr(kRgbe, "-Y 2 +X 1", {5, 5, 5, 5, 6, 6}), ReadFailure::kTruncated},
};

class HdrReject : public ::testing::TestWithParam<RejectCase> {};

TEST_P(HdrReject, IsTurnedDown) {
    DecodedImage image;
    EXPECT_EQ(testing::runReader(detail::readHdr, GetParam().file, image), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texture, HdrReject, ::testing::ValuesIn(kRejects),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

} // namespace
} // namespace halv::texture
