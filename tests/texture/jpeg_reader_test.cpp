#include "tests/texture/image_writers.h"
#include "tests/texture/reader_test_support.h"
#include "texture/detail/image_readers.h"
#include "texture/image_decoder.h"

#include <gtest/gtest.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <string>

namespace halv::texture {
namespace {

using detail::ReadFailure;
using testing::Bytes;

// The same file through libjpeg directly: rows of grey or R, G, B bytes.
std::vector<std::uint8_t> referenceDecode(const Bytes& file, int components) {
    jpeg_decompress_struct decompress{};
    jpeg_error_mgr errors{};
    decompress.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&decompress);
    jpeg_mem_src(&decompress, reinterpret_cast<const unsigned char*>(file.data()),
                 static_cast<unsigned long>(file.size()));
    jpeg_read_header(&decompress, TRUE);
    decompress.out_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&decompress);
    const std::size_t rowBytes = std::size_t{decompress.output_width} * components;
    std::vector<std::uint8_t> out(rowBytes * decompress.output_height);
    while (decompress.output_scanline < decompress.output_height) {
        JSAMPROW row = out.data() + decompress.output_scanline * rowBytes;
        jpeg_read_scanlines(&decompress, &row, 1);
    }
    jpeg_finish_decompress(&decompress);
    jpeg_destroy_decompress(&decompress);
    return out;
}

TEST(JpegReader, ColourMatchesLibjpegInBlueGreenRedOrderWithOpaqueFiller) {
    const Bytes file = testing::writeJpeg(17, 9, 3, 90);
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(testing::load(file, image, &info), S_OK);
    EXPECT_EQ(info.ImageFileFormat, D3DXIFF_JPG);
    EXPECT_EQ(image.format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(image.width, 17u);
    EXPECT_EQ(image.rowPitch, 68u);

    const std::vector<std::uint8_t> reference = referenceDecode(file, 3);
    std::vector<std::uint8_t> expected;
    for (std::size_t i = 0; i < reference.size(); i += 3) {
        expected.insert(expected.end(), {reference[i + 2], reference[i + 1], reference[i], 0xFF});
    }
    EXPECT_EQ(testing::pixelsOf(image, 68), expected);
}

TEST(JpegReader, GreyMatchesLibjpeg) {
    const Bytes file = testing::writeJpeg(9, 17, 1, 75);
    DecodedImage image;
    ASSERT_EQ(testing::load(file, image), S_OK);
    EXPECT_EQ(image.format, D3DFMT_L8);
    EXPECT_EQ(image.rowPitch, 9u);
    EXPECT_EQ(testing::pixelsOf(image, 9), referenceDecode(file, 1));
}

TEST(JpegReader, InfoWithoutPixelsReadsOnlyTheHeader) {
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    ASSERT_EQ(testing::load(testing::writeJpeg(33, 7, 3, 90), image, &info, false), S_OK);
    EXPECT_EQ(info.Width, 33u);
    EXPECT_EQ(info.Height, 7u);
    EXPECT_EQ(info.Format, D3DFMT_X8R8G8B8);
    EXPECT_EQ(image.pixels, nullptr);
}

// Offset of the first byte after the SOF0 marker (length, precision, height, width follow).
std::size_t frameHeader(const Bytes& file) {
    for (std::size_t i = 2; i + 1 < file.size(); ++i) {
        if (file[i] == std::byte{0xFF} && file[i + 1] == std::byte{0xC0}) {
            return i + 2;
        }
    }
    return 0;
}

TEST(JpegReader, BadFilesAreTurnedDown) {
    const Bytes good = testing::writeJpeg(8, 8, 3, 90);
    const std::size_t frame = frameHeader(good);
    ASSERT_GT(frame, 0u);
    struct Case {
        const char* name;
        Bytes file;
        ReadFailure expected;
    };
    Bytes noMarker = good;
    noMarker[1] = std::byte{0xD9};
    Bytes zeroHeight = good;
    zeroHeight[frame + 3] = std::byte{0};
    zeroHeight[frame + 4] = std::byte{0};
    Bytes badPrecision = good;
    badPrecision[frame + 2] = std::byte{3};
    const Case cases[] = {
        {"NoStartMarker", noMarker, ReadFailure::kNotThisFormat},
        {"ZeroHeight", zeroHeight, ReadFailure::kDecoderError},
        {"BadPrecision", badPrecision, ReadFailure::kDecoderError},
        {"Cmyk", testing::writeJpeg(8, 8, 4, 90), ReadFailure::kUnsupported},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DecodedImage image;
        EXPECT_EQ(testing::runReader(detail::readJpg, c.file, image), c.expected);
        EXPECT_EQ(testing::load(c.file, image), D3DXERR_INVALIDDATA);
    }
}

TEST(JpegReader, EveryPrefixIsTurnedDownRatherThanFilledWithGrey) {
    const Bytes file = testing::writeJpeg(16, 16, 3, 80);
    testing::expectPrefixesRejected(detail::readJpg, file);
}

} // namespace
} // namespace halv::texture
