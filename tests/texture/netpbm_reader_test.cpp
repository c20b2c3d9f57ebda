// PPM (P3, P6) and PFM.
#include "tests/texture/image_writers.h"
#include "tests/texture/reader_test_support.h"
#include "texture/detail/image_readers.h"
#include "texture/image_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace halv::texture {
namespace {

using detail::ReadFailure;
using testing::Bytes;

Bytes withBytes(std::string_view header, std::initializer_list<unsigned> values) {
    Bytes out = testing::bytesOf(header);
    for (const unsigned value : values) {
        testing::appendByte(out, value);
    }
    return out;
}

struct PpmCase {
    const char* name;
    Bytes file;
    std::uint32_t width;
    std::uint32_t height;
    // X8R8G8B8 rows, top first.
    std::vector<std::uint8_t> expected;
    // Decimal samples: a prefix that cuts the last number short is still a whole file, so
    // the sweep stops this many bytes before the end.
    std::size_t lastNumberBytes = 0;
};

const PpmCase kPpmCases[] = {
    {"RawFullRange",
     withBytes("P6\n2 1\n255\n", {1, 2, 3, 250, 251, 252}),
     2,
     1,
     {3, 2, 1, 255, 252, 251, 250, 255}},
    {"RawWithComments",
     withBytes("P6 # made by hand\n# size next\n1 1 255\n", {9, 8, 7}),
     1,
     1,
     {7, 8, 9, 255}},
    {"RawCrLfBeforeSamples", withBytes("P6\r\n1 1\r\n255\r\n", {9, 8, 7}), 1, 1, {7, 8, 9, 255}},
    // 7 * 255 / 15 = 119 (integer division).
    {"RawSmallMaximum", withBytes("P6 1 1 15\n", {15, 7, 0}), 1, 1, {0, 119, 255, 255}},
    {"PlainSamples",
     testing::bytesOf("P3\n# plain\n2 2\n255\n1 2 3  4 5 6\n7 8 9\n10 11 12\n"),
     2,
     2,
     {3, 2, 1, 255, 6, 5, 4, 255, 9, 8, 7, 255, 12, 11, 10, 255},
     3},
    {"PlainWideMaximum",
     testing::bytesOf("P3 1 1 65535 65535 32768 0"),
     1,
     1,
     {0, 127, 255, 255},
     1},
};

class PpmVariant : public ::testing::TestWithParam<PpmCase> {};

TEST_P(PpmVariant, Decodes) {
    const PpmCase& c = GetParam();
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(testing::load(c.file, image, &info), S_OK);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PPM);
    EXPECT_EQ(image.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(image.width, c.width);
    EXPECT_EQ(image.height, c.height);
    EXPECT_EQ(testing::pixelsOf(image, c.width * 4), c.expected);
    testing::expectPrefixesRejected(detail::readPpm, c.file, c.file.size() - c.lastNumberBytes);
}

INSTANTIATE_TEST_SUITE_P(Texture, PpmVariant, ::testing::ValuesIn(kPpmCases),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

struct RejectCase {
    const char* name;
    Bytes file;
    detail::ImageReader reader;
    ReadFailure expected;
};

Bytes floats(std::string_view header, std::initializer_list<float> values, bool littleEndian) {
    Bytes out = testing::bytesOf(header);
    for (const float value : values) {
        testing::appendFloat(out, value, littleEndian);
    }
    return out;
}

const RejectCase kRejects[] = {
    {"PpmOtherMagic", withBytes("P5\n1 1\n255\n", {1}), detail::readPpm,
     ReadFailure::kNotThisFormat},
    {"PpmMagicRunsOn", withBytes("P61 1\n255\n", {1, 2, 3}), detail::readPpm,
     ReadFailure::kNotThisFormat},
    {"PpmZeroWidth", withBytes("P6\n0 1\n255\n", {}), detail::readPpm, ReadFailure::kBadHeader},
    {"PpmZeroMaximum", withBytes("P6\n1 1\n0\n", {0, 0, 0}), detail::readPpm,
     ReadFailure::kBadHeader},
    {"PpmRawTwoByteSamples", withBytes("P6\n1 1\n256\n", {0, 1, 0, 1, 0, 1}), detail::readPpm,
     ReadFailure::kUnsupported},
    {"PpmPlainMaximumTooLarge", testing::bytesOf("P3\n1 1\n65536\n1 1 1\n"), detail::readPpm,
     ReadFailure::kBadHeader},
    {"PpmNotANumber", testing::bytesOf("P3\nx 1\n255\n1 1 1\n"), detail::readPpm,
     ReadFailure::kBadHeader},
    {"PpmNegativeSample", testing::bytesOf("P3\n1 1\n255\n1 -1 1\n"), detail::readPpm,
     ReadFailure::kBadSample},
    {"PpmSampleAboveMaximum", testing::bytesOf("P3\n1 1\n15\n1 16 1\n"), detail::readPpm,
     ReadFailure::kBadSample},
    {"PpmRawSampleAboveMaximum", withBytes("P6\n1 1\n15\n", {1, 16, 1}), detail::readPpm,
     ReadFailure::kBadSample},
    {"PpmHugeSize", withBytes("P6\n4294967295 4294967295\n255\n", {1, 2, 3}), detail::readPpm,
     ReadFailure::kTooLarge},
    {"PpmRasterShort", withBytes("P6\n2 1\n255\n", {1, 2, 3, 4, 5}), detail::readPpm,
     ReadFailure::kTruncated},
    {"PfmNoLineFeedAfterMagic", floats("PF 1 1\n-1.0\n", {1, 2, 3}, true), detail::readPfm,
     ReadFailure::kNotThisFormat},
    {"PfmZeroScale", floats("PF\n1 1\n0.0\n", {1, 2, 3}, true), detail::readPfm,
     ReadFailure::kBadHeader},
    {"PfmScaleNotANumber", floats("PF\n1 1\nscale\n", {1, 2, 3}, true), detail::readPfm,
     ReadFailure::kBadHeader},
    {"PfmInfiniteScale", floats("PF\n1 1\ninf\n", {1, 2, 3}, true), detail::readPfm,
     ReadFailure::kBadHeader},
    {"PfmMissingHeight", floats("PF\n1\n", {}, true), detail::readPfm, ReadFailure::kTruncated},
    {"PfmRasterShort", floats("Pf\n2 1\n-1\n", {1}, true), detail::readPfm,
     ReadFailure::kTruncated},
};

class NetpbmReject : public ::testing::TestWithParam<RejectCase> {};

TEST_P(NetpbmReject, IsTurnedDown) {
    DecodedImage image;
    EXPECT_EQ(testing::runReader(GetParam().reader, GetParam().file, image), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texture, NetpbmReject, ::testing::ValuesIn(kRejects),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

std::vector<float> floatsOf(const DecodedImage& image) {
    std::vector<float> out(std::size_t{image.width} * image.height * 4);
    for (std::uint32_t y = 0; y < image.height; ++y) {
        std::memcpy(out.data() + std::size_t{y} * image.width * 4,
                    image.pixels + std::size_t{y} * image.rowPitch, image.width * 16);
    }
    return out;
}

TEST(PfmReader, ColourAndGreyInBothByteOrdersWithRowsBottomUp) {
    struct Case {
        const char* name;
        Bytes file;
        std::vector<float> expected;
    };
    // Stored rows: bottom (1, 2) then top (3, 4) for grey; the colour file has one column.
    const Case cases[] = {
        {"ColourLittleEndian",
         floats("PF\n1 2\n-1.0\n", {1, 2, 3, 4, 5, 6}, true),
         {4, 5, 6, 1, 1, 2, 3, 1}},
        {"ColourBigEndian",
         floats("PF\n1 2\n1.0\n", {1, 2, 3, 4, 5, 6}, false),
         {4, 5, 6, 1, 1, 2, 3, 1}},
        {"GreyLittleEndian",
         floats("Pf\n2 2\n-0.5\n", {1, 2, 3, 4}, true),
         {3, 3, 3, 1, 4, 4, 4, 1, 1, 1, 1, 1, 2, 2, 2, 1}},
        {"SizeSplitOverLines",
         floats("Pf\n1\n1\n+2.5\n", {0.25f}, false),
         {0.25f, 0.25f, 0.25f, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DecodedImage image;
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(testing::load(c.file, image, &info), S_OK);
        EXPECT_EQ(info.ImageFileFormat, D3DXIFF_PFM);
        EXPECT_EQ(image.format, D3DFMT_A32B32G32R32F);
        EXPECT_EQ(image.rowPitch, image.width * 16);
        EXPECT_EQ(floatsOf(image), c.expected);
        testing::expectPrefixesRejected(detail::readPfm, c.file);
    }
}

} // namespace
} // namespace halv::texture
