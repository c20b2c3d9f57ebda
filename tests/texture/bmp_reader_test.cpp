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
using testing::DibOptions;

Bytes bytes(std::initializer_list<unsigned> values) {
    Bytes out;
    for (const unsigned value : values) {
        testing::appendByte(out, value);
    }
    return out;
}

using Table = std::vector<std::array<std::uint8_t, 4>>;

DibOptions dib(std::int32_t width, std::int32_t height, std::uint16_t bitCount, Bytes pixels) {
    DibOptions options;
    options.width = width;
    options.height = height;
    options.bitCount = bitCount;
    options.pixels = std::move(pixels);
    return options;
}

DibOptions withCompression(DibOptions options, std::uint32_t compression) {
    options.compression = compression;
    return options;
}

DibOptions withMasks(DibOptions options, std::vector<std::uint32_t> masks,
                     std::uint32_t headerSize = 40) {
    options.compression = 3;
    options.masks = std::move(masks);
    options.headerSize = headerSize;
    return options;
}

DibOptions withTable(DibOptions options, Table table, std::uint32_t coloursUsed = 0) {
    options.colourTable = std::move(table);
    options.coloursUsed = coloursUsed;
    return options;
}

DibOptions core8() {
    DibOptions options = dib(2, 1, 8, bytes({1, 255, 0, 0}));
    options.headerSize = 12;
    for (unsigned i = 0; i < 256; ++i) {
        options.colourTable.push_back({static_cast<std::uint8_t>(i), 0, 0, 0});
    }
    return options;
}

struct VariantCase {
    const char* name;
    DibOptions options;
    D3DFORMAT format;
    unsigned bytesPerPixel;
    // Decoded rows, top row first.
    std::vector<std::uint8_t> expected;
};

const Table kTwoColours = {{0, 0, 255, 0}, {255, 0, 0, 0}};

const VariantCase kVariants[] = {
    {"Rgb24BottomUp",
     dib(2, 2, 24, bytes({1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0})),
     D3DFMT_R8G8B8,
     3,
     {7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}},
    {"Rgb24TopDown",
     dib(2, -2, 24, bytes({1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0})),
     D3DFMT_R8G8B8,
     3,
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
    {"Rgb32",
     dib(2, 1, 32, bytes({1, 2, 3, 4, 5, 6, 7, 8})),
     D3DFMT_X8R8G8B8,
     4,
     {1, 2, 3, 4, 5, 6, 7, 8}},
    {"Rgb16",
     dib(2, 1, 16, bytes({0x00, 0x7C, 0x1F, 0x00})),
     D3DFMT_X1R5G5B5,
     2,
     {0x00, 0x7C, 0x1F, 0x00}},
    {"BitFields565",
     withMasks(dib(2, 1, 16, bytes({0x00, 0xF8, 0xE0, 0x07})), {0xF800, 0x07E0, 0x001F}),
     D3DFMT_R5G6B5,
     2,
     {0x00, 0xF8, 0xE0, 0x07}},
    {"V4Argb",
     withMasks(dib(1, 1, 32, bytes({1, 2, 3, 4})), {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 108),
     D3DFMT_A8R8G8B8,
     4,
     {1, 2, 3, 4}},
    {"V5Abgr",
     withMasks(dib(1, 1, 32, bytes({1, 2, 3, 4})), {0xFF, 0xFF00, 0xFF0000, 0xFF000000}, 124),
     D3DFMT_A8B8G8R8,
     4,
     {1, 2, 3, 4}},
    {"UnknownMasksAreWidened",
     withMasks(dib(2, 1, 16, bytes({0x1F, 0x00, 0x10, 0x7C})), {0x001F, 0x03E0, 0x7C00}),
     D3DFMT_X8R8G8B8,
     4,
     {0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x84, 0xFF}},
    // A colour without a mask reads as 0 (a fuzzer found this looping forever).
    {"MissingGreenMask",
     withMasks(dib(1, 1, 32, bytes({0x12, 0x34, 0x56, 0x78})), {0x00FF0000, 0, 0x000000FF}),
     D3DFMT_X8R8G8B8,
     4,
     {0x12, 0x00, 0x56, 0xFF}},
    {"Indexed1",
     withTable(dib(3, 1, 1, bytes({0b10100000, 0, 0, 0})), kTwoColours),
     D3DFMT_P8,
     1,
     {1, 0, 1}},
    {"Indexed4",
     withTable(dib(3, 1, 4, bytes({0x1F, 0x20, 0, 0})), kTwoColours, 2),
     D3DFMT_P8,
     1,
     {1, 15, 2}},
    {"Indexed8",
     withTable(dib(2, 2, 8, bytes({0, 1, 0, 0, 1, 0, 0, 0})), kTwoColours, 2),
     D3DFMT_P8,
     1,
     {1, 0, 0, 1}},
    {"CoreHeader8", core8(), D3DFMT_P8, 1, {1, 255}},
    {"Rle8",
     withCompression(withTable(dib(7, 2, 8,
                                   bytes({0x04, 0x07, 0x00, 0x03, 0x0A, 0x0B, 0x0C, 0x00, 0x00,
                                          0x00, 0x02, 0x09, 0x00, 0x01})),
                               kTwoColours, 2),
                     1),
     D3DFMT_P8,
     1,
     {9, 9, 0, 0, 0, 0, 0, 7, 7, 7, 7, 10, 11, 12}},
    {"Rle4",
     withCompression(
         withTable(
             dib(8, 1, 4, bytes({0x03, 0x12, 0x00, 0x05, 0x34, 0x56, 0x70, 0x00, 0x00, 0x01})),
             kTwoColours, 2),
         2),
     D3DFMT_P8,
     1,
     {1, 2, 1, 3, 4, 5, 6, 7}},
    // Runs and literals past the row end lose only the pixels beyond it.
    {"Rle8RunPastTheRow",
     withCompression(withTable(dib(3, 1, 8, bytes({0x04, 0x01, 0x00, 0x01})), kTwoColours, 2), 1),
     D3DFMT_P8,
     1,
     {1, 1, 1}},
    {"Rle8LiteralPastTheRow",
     withCompression(withTable(dib(2, 2, 8,
                                   bytes({0x00, 0x03, 0x01, 0x02, 0x03, 0x00, 0x00, 0x00, 0x01,
                                          0x04, 0x00, 0x01})),
                               kTwoColours, 2),
                     1),
     D3DFMT_P8,
     1,
     {4, 0, 1, 2}},
    {"Rle4RunPastTheRow",
     withCompression(withTable(dib(3, 1, 4, bytes({0x05, 0x12, 0x00, 0x01})), kTwoColours, 2), 2),
     D3DFMT_P8,
     1,
     {1, 2, 1}},
    {"Rle8Delta",
     withCompression(
         withTable(
             dib(4, 3, 8, bytes({0x01, 0x05, 0x00, 0x02, 0x02, 0x01, 0x01, 0x06, 0x00, 0x01})),
             kTwoColours, 2),
         1),
     D3DFMT_P8,
     1,
     {0, 0, 0, 0, 0, 0, 0, 6, 5, 0, 0, 0}},
};

class BmpVariant : public ::testing::TestWithParam<VariantCase> {};

TEST_P(BmpVariant, DecodesAsBmpAndAsPackedDib) {
    const VariantCase& c = GetParam();
    for (const bool packed : {false, true}) {
        SCOPED_TRACE(packed ? "packed DIB" : "BMP file");
        const Bytes file = packed ? testing::makeDib(c.options) : testing::makeBmp(c.options);
        DecodedImage image;
        D3DXIMAGE_INFO info{};
        ASSERT_EQ(testing::load(file, image, &info), S_OK);
        EXPECT_EQ(info.ImageFileFormat, packed ? D3DXIFF_DIB : D3DXIFF_BMP);
        EXPECT_EQ(image.format, c.format);
        EXPECT_EQ(image.width, static_cast<UINT>(c.options.width));
        EXPECT_EQ(image.height, static_cast<UINT>(std::abs(c.options.height)));
        EXPECT_EQ(testing::pixelsOf(image, image.width * c.bytesPerPixel), c.expected);
        EXPECT_EQ(image.palette != nullptr, c.format == D3DFMT_P8);
    }
}

INSTANTIATE_TEST_SUITE_P(Texture, BmpVariant, ::testing::ValuesIn(kVariants),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(BmpReader, ColourTableBecomesThePaletteAndTheRestIsOpaqueWhite) {
    DecodedImage image;
    const Bytes file = testing::makeBmp(
        withTable(dib(2, 1, 8, bytes({0, 1, 0, 0})), {{10, 20, 30, 99}, {40, 50, 60, 0}}, 2));
    ASSERT_EQ(testing::load(file, image), S_OK);
    ASSERT_NE(image.palette, nullptr);
    EXPECT_TRUE(image.ownsPalette());
    const PALETTEENTRY expected[3] = {{30, 20, 10, 255}, {60, 50, 40, 255}, {255, 255, 255, 255}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(image.palette[i].peRed, expected[i].peRed);
        EXPECT_EQ(image.palette[i].peGreen, expected[i].peGreen);
        EXPECT_EQ(image.palette[i].peBlue, expected[i].peBlue);
        EXPECT_EQ(image.palette[i].peFlags, expected[i].peFlags);
    }
    EXPECT_EQ(image.palette[255].peFlags, 255);
}

TEST(BmpReader, PixelOffsetOfTheFileHeaderIsHonoured) {
    const DibOptions options = dib(1, 1, 24, bytes({1, 2, 3, 0}));
    Bytes file = testing::makeBmp(options);
    // Six bytes of gap between the header and the pixels, as some writers leave.
    const std::size_t pixelsAt = file.size() - options.pixels.size();
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(pixelsAt), 6, std::byte{0xEE});
    file[2] = static_cast<std::byte>(file.size());
    file[10] = static_cast<std::byte>(pixelsAt + 6);
    DecodedImage image;
    ASSERT_EQ(testing::load(file, image), S_OK);
    EXPECT_EQ(testing::pixelsOf(image, 3), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(BmpReader, FileSizeBeyondTheDataIsNotABmp) {
    Bytes file = testing::makeBmp(dib(1, 1, 24, bytes({1, 2, 3, 0})));
    file[2] = static_cast<std::byte>(file.size() + 1);
    DecodedImage image;
    EXPECT_EQ(testing::runReader(detail::readBmp, file, image), ReadFailure::kNotThisFormat);
    EXPECT_EQ(testing::load(file, image), D3DXERR_INVALIDDATA);
}

struct RejectCase {
    const char* name;
    Bytes file;
    detail::ImageReader reader;
    ReadFailure expected;
};

Bytes withPlanes(DibOptions options, std::uint16_t planes) {
    options.planes = planes;
    return testing::makeDib(options);
}

Bytes bmpWithPixelOffset(std::uint32_t offset) {
    Bytes file = testing::makeBmp(dib(1, 1, 24, bytes({1, 2, 3, 0})));
    for (int i = 0; i < 4; ++i) {
        file[10 + i] = static_cast<std::byte>(offset >> (8 * i));
    }
    return file;
}

Bytes withHeaderSize(std::uint32_t size) {
    Bytes file = testing::makeDib(dib(1, 1, 24, bytes({1, 2, 3, 0})));
    file[0] = static_cast<std::byte>(size);
    return file;
}

const DibOptions kRgb24 = dib(2, 2, 24, bytes({1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}));

DibOptions rle8(std::int32_t width, std::int32_t height, Bytes stream) {
    return withCompression(withTable(dib(width, height, 8, std::move(stream)), kTwoColours, 2), 1);
}

const RejectCase kRejects[] = {
    {"TwoPlanes", withPlanes(kRgb24, 2), detail::readDib, ReadFailure::kNotThisFormat},
    {"HeaderSize20", withHeaderSize(20), detail::readDib, ReadFailure::kNotThisFormat},
    {"ZeroWidth", testing::makeDib(dib(0, 2, 24, {})), detail::readDib, ReadFailure::kBadHeader},
    {"ZeroHeight", testing::makeDib(dib(2, 0, 24, {})), detail::readDib, ReadFailure::kBadHeader},
    {"TopDownRunLength", testing::makeDib(rle8(2, -2, bytes({0, 1}))), detail::readDib,
     ReadFailure::kBadHeader},
    {"BitFields24", testing::makeDib(withMasks(kRgb24, {0xFF0000, 0xFF00, 0xFF})), detail::readDib,
     ReadFailure::kBadHeader},
    {"EmbeddedJpeg", testing::makeDib(withCompression(kRgb24, 4)), detail::readDib,
     ReadFailure::kUnsupported},
    {"ZeroBitCount", testing::makeDib(dib(2, 2, 0, bytes({0}))), detail::readDib,
     ReadFailure::kUnsupported},
    {"OverlappingMasks",
     testing::makeDib(withMasks(dib(1, 1, 16, bytes({0, 0, 0, 0})), {0x7C00, 0x07E0, 0x001F})),
     detail::readDib, ReadFailure::kBadHeader},
    {"SplitMask",
     testing::makeDib(withMasks(dib(1, 1, 16, bytes({0, 0, 0, 0})), {0x7C01, 0x03E0, 0x001C})),
     detail::readDib, ReadFailure::kBadHeader},
    {"MaskOutsideThePixel",
     testing::makeDib(withMasks(dib(1, 1, 16, bytes({0, 0, 0, 0})), {0x7C000, 0x03E0, 0x001F})),
     detail::readDib, ReadFailure::kBadHeader},
    {"RowsCutShort",
     testing::makeDib(dib(2, 2, 24, bytes({1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0}))),
     detail::readDib, ReadFailure::kTruncated},
    {"ColourTablePastTheEnd",
     testing::makeDib(withTable(dib(1, 1, 8, bytes({0, 0, 0, 0})), kTwoColours, 300)),
     detail::readDib, ReadFailure::kTruncated},
    {"LiteralCutShort", testing::makeDib(rle8(8, 1, bytes({0, 5, 1, 2}))), detail::readDib,
     ReadFailure::kTruncated},
    {"StreamEndsMidImage", testing::makeDib(rle8(2, 2, bytes({2, 1, 0, 0}))), detail::readDib,
     ReadFailure::kTruncated},
    {"DeltaPastTheImage", testing::makeDib(rle8(2, 2, bytes({0, 2, 0, 5}))), detail::readDib,
     ReadFailure::kBadRunLength},
    {"PixelOffsetInsideTheHeader", bmpWithPixelOffset(20), detail::readBmp,
     ReadFailure::kBadHeader},
    {"PixelOffsetPastTheEnd", bmpWithPixelOffset(4000), detail::readBmp, ReadFailure::kTruncated},
};

// A run-length stream may stand for up to 1024 pixels a byte beyond a blank 256 x 256; a header
// claiming more is refused before anything is allocated, so also when only the header is read.
struct ProportionCase {
    const char* name;
    std::int32_t width;
    std::int32_t height;
    ReadFailure expected;
};

const ProportionCase kProportions[] = {
    {"BlankWithinAllowance", 256, 264, ReadFailure::kNone},
    {"BlankPastAllowance", 256, 265, ReadFailure::kTruncated},
    {"GibibyteFromTwoBytes", 32768, 32767, ReadFailure::kTruncated},
};

TEST(BmpReader, RunLengthHeaderMustBeInProportionToItsStream) {
    for (const ProportionCase& c : kProportions) {
        SCOPED_TRACE(c.name);
        // End of bitmap at once: every pixel stays index 0.
        const Bytes file = testing::makeBmp(rle8(c.width, c.height, bytes({0, 1})));
        for (const bool loadPixels : {false, true}) {
            DecodedImage image;
            EXPECT_EQ(testing::runReader(detail::readBmp, file, image, loadPixels), c.expected);
        }
    }
}

class BmpReject : public ::testing::TestWithParam<RejectCase> {};

TEST_P(BmpReject, IsTurnedDown) {
    const RejectCase& c = GetParam();
    DecodedImage image;
    EXPECT_EQ(testing::runReader(c.reader, c.file, image), c.expected);
    DecodedImage infoOnly;
    if (c.expected != ReadFailure::kBadRunLength && c.expected != ReadFailure::kTruncated) {
        // Header faults are found without decoding.
        EXPECT_EQ(testing::runReader(c.reader, c.file, infoOnly, false), c.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Texture, BmpReject, ::testing::ValuesIn(kRejects),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(BmpReader, EveryPrefixIsTurnedDown) {
    for (const VariantCase& c : kVariants) {
        SCOPED_TRACE(c.name);
        testing::expectPrefixesRejected(detail::readDib, testing::makeDib(c.options));
        testing::expectPrefixesRejected(detail::readBmp, testing::makeBmp(c.options));
    }
}

} // namespace
} // namespace halv::texture
