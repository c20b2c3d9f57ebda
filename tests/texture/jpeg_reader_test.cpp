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
    // Only the end marker may be missing.
    for (const testing::JpegScans scans :
         {testing::JpegScans::kBaseline, testing::JpegScans::kProgressive}) {
        const Bytes file = testing::writeJpeg(16, 16, 3, 80, {}, scans);
        testing::expectPrefixesRejected(detail::readJpg, file, file.size() - 2);
    }
}

Bytes slice(const Bytes& file, std::size_t from, std::size_t to) {
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(from),
                 file.begin() + static_cast<std::ptrdiff_t>(to));
}

// The file up to where its last scan (with the tables just before it) starts.
Bytes withoutLastScan(const Bytes& file) {
    const std::vector<testing::JpegSegment> segments = testing::jpegSegments(file);
    std::size_t cut = 0;
    for (std::size_t s = 0; s < segments.size(); ++s) {
        if (segments[s].marker == 0xDA) {
            cut = s > 0 && segments[s - 1].marker == 0xC4 ? segments[s - 1].offset
                                                          : segments[s].offset;
        }
    }
    return slice(file, 0, cut);
}

TEST(JpegReader, ScanLayoutsAndBadProgressions) {
    using testing::JpegScans;
    struct Case {
        const char* name;
        Bytes file;
        bool accepted;
    };
    const Bytes progressive = testing::writeJpeg(24, 16, 3, 85, {}, JpegScans::kProgressive);
    const Case cases[] = {
        {"Progressive", progressive, true},
        {"ScanPerComponent", testing::writeJpeg(24, 16, 3, 85, {}, JpegScans::kScanPerComponent),
         true},
        // 694 legal scans.
        {"EveryBitOfGrey", testing::writeJpeg(8, 8, 1, 85, {}, JpegScans::kEveryAcBitAlone), true},
        // 694 scans over a flat 1024 x 1024 picture: 11 million block visits from 26 KB.
        {"EveryBitOfAFlatPicture",
         testing::writeJpeg(1024, 1024, 1, 85, std::vector<std::uint8_t>(1024 * 1024, 128),
                            JpegScans::kEveryAcBitAlone),
         false},
        // 2082 legal scans, past the limit.
        {"EveryBitOfColour", testing::writeJpeg(8, 8, 3, 85, {}, JpegScans::kEveryAcBitAlone),
         false},
        // The same coefficients sent again, which libjpeg reports as a bogus progression.
        {"ScanRepeated", testing::withRepeatedJpegScan(progressive, 0, 1), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DecodedImage image;
        EXPECT_EQ(testing::runReader(detail::readJpg, c.file, image) == ReadFailure::kNone,
                  c.accepted);
        EXPECT_EQ(testing::load(c.file, image), c.accepted ? S_OK : D3DXERR_INVALIDDATA);
        if (c.accepted) {
            const int components = image.format == D3DFMT_L8 ? 1 : 3;
            const std::vector<std::uint8_t> reference = referenceDecode(c.file, components);
            const std::vector<std::uint8_t> decoded = testing::pixelsOf(image, image.rowPitch);
            for (std::size_t i = 0, p = 0; i < reference.size(); i += components, ++p) {
                const std::size_t at = components == 1 ? p : p * 4;
                ASSERT_EQ(decoded[at], reference[i + components - 1]) << "pixel " << p;
            }
        }
    }
}

TEST(JpegReader, MissingOnlyTheEndMarkerIsReadButMissingScansAreNot) {
    using testing::JpegScans;
    struct Case {
        const char* name;
        JpegScans scans;
    };
    const Case cases[] = {
        {"Baseline", JpegScans::kBaseline},
        {"Progressive", JpegScans::kProgressive},
        {"ScanPerComponent", JpegScans::kScanPerComponent},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes whole = testing::writeJpeg(24, 16, 3, 85, {}, c.scans);
        DecodedImage expected;
        ASSERT_EQ(testing::runReader(detail::readJpg, whole, expected), ReadFailure::kNone);

        const Bytes noEnd = slice(whole, 0, whole.size() - 2);
        DecodedImage image;
        ASSERT_EQ(testing::runReader(detail::readJpg, noEnd, image), ReadFailure::kNone);
        EXPECT_EQ(testing::pixelsOf(image, image.rowPitch),
                  testing::pixelsOf(expected, expected.rowPitch));

        if (c.scans != JpegScans::kBaseline) {
            // Ends cleanly after a scan, so libjpeg sees no damage, only the missing marker.
            EXPECT_EQ(testing::runReader(detail::readJpg, withoutLastScan(whole), image),
                      ReadFailure::kTruncated);
        }
    }
}

TEST(JpegReader, HeaderOutOfProportionToItsDataIsRefusedBeforeDecoding) {
    // 16000 x 16000 claimed by a file of a few hundred bytes: 12 million blocks with no data.
    Bytes file = testing::writeJpeg(8, 8, 3, 90);
    const std::size_t frame = frameHeader(file);
    ASSERT_GT(frame, 0u);
    for (const std::size_t at : {frame + 3, frame + 5}) {
        file[at] = std::byte{16000 >> 8};
        file[at + 1] = std::byte{16000 & 0xFF};
    }
    for (const bool loadPixels : {false, true}) {
        DecodedImage image;
        EXPECT_EQ(testing::runReader(detail::readJpg, file, image, loadPixels),
                  ReadFailure::kTruncated);
    }
}

} // namespace
} // namespace halv::texture
