#include "tests/texture/image_writers.h"
#include "tests/texture/reader_test_support.h"
#include "texture/detail/image_readers.h"
#include "texture/image_decoder.h"
#include "texture/image_info.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <string>

#include <locale.h>

namespace halv::texture {
namespace {

using testing::Bytes;

Bytes pngFile() {
    testing::PngOptions options;
    options.width = 5;
    options.height = 3;
    return testing::writePng(options);
}

Bytes greyAlpha16Png() {
    testing::PngOptions options;
    options.colourType = testing::kPngGreyAlpha;
    options.bitDepth = 16;
    return testing::writePng(options);
}

Bytes bmpFile() {
    testing::DibOptions options;
    options.width = 1;
    options.height = 1;
    options.pixels = Bytes(4, std::byte{9});
    return testing::makeBmp(options);
}

Bytes dibFile() {
    testing::DibOptions options;
    options.width = 1;
    options.height = 1;
    options.bitCount = 32;
    options.pixels = Bytes(4, std::byte{9});
    return testing::makeDib(options);
}

Bytes tgaFile() {
    testing::TgaOptions options;
    options.imageType = 3;
    options.pixelBits = 8;
    options.pixels = Bytes(4, std::byte{9});
    return testing::makeTga(options);
}

Bytes ddsCubeFile() {
    testing::DdsOptions options;
    options.flags |= 0x20000;
    options.mipCount = 3;
    options.caps2 = 0xFE00;
    Bytes file = testing::makeDdsHeader(options);
    testing::append(file, Bytes(6 * (64 + 16 + 4), std::byte{1}));
    return file;
}

Bytes pfmFile() {
    Bytes file = testing::bytesOf("Pf\n1 1\n-1\n");
    testing::appendFloat(file, 0.5f, true);
    return file;
}

Bytes hdrFile() {
    Bytes file = testing::bytesOf("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 1 +X 1\n");
    testing::append(file, Bytes(4, std::byte{128}));
    return file;
}

struct RecognitionCase {
    const char* name;
    Bytes file;
    D3DXIMAGE_FILEFORMAT fileFormat;
    D3DFORMAT reported;
    D3DRESOURCETYPE resourceType;
    UINT mipLevels;
};

const RecognitionCase kRecognition[] = {
    {"Bmp", bmpFile(), D3DXIFF_BMP, D3DFMT_R8G8B8, D3DRTYPE_TEXTURE, 1},
    {"Ppm", testing::bytesOf("P3 1 1 255 1 2 3"), D3DXIFF_PPM, D3DFMT_X8R8G8B8, D3DRTYPE_TEXTURE,
     1},
    {"DdsCube", ddsCubeFile(), D3DXIFF_DDS, D3DFMT_X8R8G8B8, D3DRTYPE_CUBETEXTURE, 3},
    {"Jpg", testing::writeJpeg(8, 8, 1, 90), D3DXIFF_JPG, D3DFMT_L8, D3DRTYPE_TEXTURE, 1},
    {"Png", pngFile(), D3DXIFF_PNG, D3DFMT_X8R8G8B8, D3DRTYPE_TEXTURE, 1},
    {"PngGreyAlpha16", greyAlpha16Png(), D3DXIFF_PNG, D3DFMT_A8L8, D3DRTYPE_TEXTURE, 1},
    {"Pfm", pfmFile(), D3DXIFF_PFM, D3DFMT_A32B32G32R32F, D3DRTYPE_TEXTURE, 1},
    {"Hdr", hdrFile(), D3DXIFF_HDR, D3DFMT_A32B32G32R32F, D3DRTYPE_TEXTURE, 1},
    {"Tga", tgaFile(), D3DXIFF_TGA, D3DFMT_L8, D3DRTYPE_TEXTURE, 1},
    {"Dib", dibFile(), D3DXIFF_DIB, D3DFMT_X8R8G8B8, D3DRTYPE_TEXTURE, 1},
};

class Recognition : public ::testing::TestWithParam<RecognitionCase> {};

TEST_P(Recognition, FillsTheInfoFromTheFirstRecord) {
    const RecognitionCase& c = GetParam();
    for (const bool loadPixels : {true, false}) {
        SCOPED_TRACE(loadPixels ? "with pixels" : "info only");
        DecodedImage image;
        D3DXIMAGE_INFO info;
        std::memset(&info, 0xCD, sizeof info);
        ASSERT_EQ(testing::load(c.file, image, &info, loadPixels), S_OK);
        EXPECT_EQ(info.Width, image.width);
        EXPECT_EQ(info.Height, image.height);
        EXPECT_EQ(info.Depth, 1u);
        EXPECT_EQ(info.MipLevels, c.mipLevels);
        EXPECT_EQ(info.Format, c.reported);
        EXPECT_EQ(info.ResourceType, c.resourceType);
        EXPECT_EQ(info.ImageFileFormat, c.fileFormat);
        EXPECT_EQ(image.fileFormat, c.fileFormat);
        EXPECT_EQ(image.pixels != nullptr, loadPixels);
        // The region of interest is the whole surface on every record.
        for (const DecodedImage* face = &image; face != nullptr; face = face->nextFace.get()) {
            for (const DecodedImage* level = face; level != nullptr; level = level->nextMip.get()) {
                EXPECT_EQ(level->left, 0u);
                EXPECT_EQ(level->top, 0u);
                EXPECT_EQ(level->front, 0u);
                EXPECT_EQ(level->right, level->width);
                EXPECT_EQ(level->bottom, level->height);
                EXPECT_EQ(level->back, level->depth);
            }
        }

        D3DXIMAGE_INFO published{};
        EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(c.file.data(), static_cast<UINT>(c.file.size()),
                                                   &published),
                  S_OK);
        EXPECT_EQ(std::memcmp(&published, &info, sizeof info), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Texture, Recognition, ::testing::ValuesIn(kRecognition),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(LoadImageFromMemory, ChecksItsArgumentsFirst) {
    const Bytes file = pngFile();
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    EXPECT_EQ(LoadImageFromMemory(nullptr, file.data(), 10, &info, true), D3DERR_INVALIDCALL);
    EXPECT_EQ(LoadImageFromMemory(&image, nullptr, 10, &info, true), D3DERR_INVALIDCALL);
    EXPECT_EQ(LoadImageFromMemory(&image, file.data(), 0, &info, true), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(nullptr, 10, &info), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXGetImageInfoFromFileInMemory(file.data(), 0, &info), D3DERR_INVALIDCALL);

    // Asked for nothing: done at once, the record untouched.
    image.width = 77;
    EXPECT_EQ(
        LoadImageFromMemory(&image, file.data(), static_cast<UINT>(file.size()), nullptr, false),
        S_OK);
    EXPECT_EQ(image.width, 77u);
    EXPECT_EQ(
        D3DXGetImageInfoFromFileInMemory(file.data(), static_cast<UINT>(file.size()), nullptr),
        S_OK);
}

TEST(LoadImageFromMemory, UnrecognisedDataLeavesRecordEmptyAndInfoUntouched) {
    // The second case fails in the BMP reader after its pixel block and palette exist.
    testing::DibOptions runLength;
    runLength.width = 2;
    runLength.height = 2;
    runLength.bitCount = 8;
    runLength.compression = 1;
    runLength.pixels = Bytes{std::byte{9}, std::byte{1}};
    const Bytes cases[] = {
        testing::bytesOf("not an image at all"),
        testing::makeBmp(runLength),
        Bytes(1, std::byte{0x89}),
    };
    for (const Bytes& file : cases) {
        DecodedImage image;
        D3DXIMAGE_INFO info;
        std::memset(&info, 0xCD, sizeof info);
        const D3DXIMAGE_INFO before = info;
        EXPECT_EQ(testing::load(file, image, &info), D3DXERR_INVALIDDATA);
        EXPECT_EQ(std::memcmp(&info, &before, sizeof info), 0);
        EXPECT_EQ(image.pixels, nullptr);
        EXPECT_EQ(image.palette, nullptr);
        EXPECT_FALSE(image.ownsPixels());
        EXPECT_FALSE(image.ownsPalette());
        EXPECT_EQ(image.nextMip, nullptr);
        EXPECT_EQ(image.nextFace, nullptr);
        EXPECT_EQ(
            D3DXGetImageInfoFromFileInMemory(file.data(), static_cast<UINT>(file.size()), &info),
            D3DXERR_INVALIDDATA);
    }
}

TEST(LoadImageFromMemory, RestoresTheCallersLocaleOnEveryPath) {
    const locale_t before = uselocale(static_cast<locale_t>(nullptr));
    const Bytes good = pfmFile();
    const Bytes bad = testing::bytesOf("Pf\n1 1\nnot a number\n");
    DecodedImage image;
    EXPECT_EQ(testing::load(good, image), S_OK);
    EXPECT_EQ(uselocale(static_cast<locale_t>(nullptr)), before);
    DecodedImage failed;
    EXPECT_EQ(testing::load(bad, failed), D3DXERR_INVALIDDATA);
    EXPECT_EQ(uselocale(static_cast<locale_t>(nullptr)), before);
}

TEST(LoadImageFromMemory, ReleaseFreesTheWholeTreeAndKeepsTheRequest) {
    DecodedImage image;
    ASSERT_EQ(testing::load(ddsCubeFile(), image), S_OK);
    ASSERT_EQ(image.faceCount(), 6u);
    image.release();
    EXPECT_TRUE(image.loadPixels);
    EXPECT_EQ(image.nextFace, nullptr);
    EXPECT_EQ(image.nextMip, nullptr);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 0u);
    // The record can be used again.
    EXPECT_EQ(testing::load(pngFile(), image), S_OK);
    EXPECT_EQ(image.fileFormat, D3DXIFF_PNG);
}

TEST(LoadImageFromMemory, EveryPrefixOfEveryFormatIsTurnedDown) {
    for (const RecognitionCase& c : kRecognition) {
        SCOPED_TRACE(c.name);
        for (std::size_t length = 1; length < c.file.size(); ++length) {
            const std::unique_ptr<std::byte[]> copy(new std::byte[length]);
            std::memcpy(copy.get(), c.file.data(), length);
            DecodedImage image;
            D3DXIMAGE_INFO info{};
            const HRESULT result =
                LoadImageFromMemory(&image, copy.get(), static_cast<UINT>(length), &info, true);
            // Decimal samples, chunks after the PNG image data and a JPEG's end marker can end
            // early and still leave whole files; everything else must be refused.
            if (SUCCEEDED(result)) {
                EXPECT_TRUE(c.fileFormat == D3DXIFF_PPM || c.fileFormat == D3DXIFF_PNG ||
                            (c.fileFormat == D3DXIFF_JPG && length + 2 >= c.file.size()))
                    << "prefix of " << length << " bytes read as format " << info.ImageFileFormat;
            } else {
                EXPECT_EQ(result, D3DXERR_INVALIDDATA) << "prefix of " << length;
            }
        }
    }
}

// Headers of a few dozen bytes claiming pictures of about 1 GiB, each just under the block
// limit so that only the reader's own sense of proportion turns them down.
Bytes claimingPng(std::uint32_t width, std::uint32_t height) {
    testing::PngOptions options;
    options.colourType = testing::kPngRgba;
    Bytes file = testing::writePng(options);
    // IHDR's data starts at 16: width, height, then its CRC over type and data at 29.
    Bytes sizes;
    testing::appendBE32(sizes, width);
    testing::appendBE32(sizes, height);
    std::memcpy(file.data() + 16, sizes.data(), sizes.size());
    const auto crc =
        static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(file.data() + 12), 17));
    Bytes crcBytes;
    testing::appendBE32(crcBytes, crc);
    std::memcpy(file.data() + 29, crcBytes.data(), crcBytes.size());
    return file;
}

Bytes claimingJpeg(std::uint16_t width, std::uint16_t height) {
    Bytes file = testing::writeJpeg(8, 8, 3, 90);
    for (std::size_t i = 2; i + 8 < file.size(); ++i) {
        if (file[i] == std::byte{0xFF} && file[i + 1] == std::byte{0xC0}) {
            // Length, precision, then height and width, big-endian.
            file[i + 5] = std::byte{static_cast<std::uint8_t>(height >> 8)};
            file[i + 6] = std::byte{static_cast<std::uint8_t>(height)};
            file[i + 7] = std::byte{static_cast<std::uint8_t>(width >> 8)};
            file[i + 8] = std::byte{static_cast<std::uint8_t>(width)};
            break;
        }
    }
    return file;
}

Bytes claimingTga() {
    testing::TgaOptions options;
    options.imageType = 10;
    options.pixelBits = 32;
    options.width = 16384;
    options.height = 16383;
    // One repeat packet of 128 pixels.
    options.pixels = Bytes(5, std::byte{0});
    options.pixels[0] = std::byte{0xFF};
    return testing::makeTga(options);
}

Bytes claimingDds() {
    testing::DdsOptions options;
    options.width = 16384;
    options.height = 16383;
    Bytes file = testing::makeDdsHeader(options);
    testing::append(file, Bytes(16, std::byte{0}));
    return file;
}

Bytes claimingRleBmp() {
    testing::DibOptions options;
    options.width = 32768;
    options.height = 32767;
    options.bitCount = 8;
    options.compression = 1;
    options.colourTable = {{0, 0, 0, 0}};
    options.coloursUsed = 1;
    // End of bitmap at once.
    options.pixels = Bytes{std::byte{0}, std::byte{1}};
    return testing::makeBmp(options);
}

struct ClaimCase {
    const char* name;
    detail::ImageReader reader;
    Bytes file;
};

TEST(ImageReaders, TinyHeaderClaimingAHugePictureIsRefusedBeforeAllocating) {
    const ClaimCase cases[] = {
        {"RleBmp", detail::readBmp, claimingRleBmp()},
        {"RawPpm", detail::readPpm, testing::bytesOf("P6\n16384 16383\n255\nabcdef")},
        {"DecimalPpm", detail::readPpm, testing::bytesOf("P3\n16384 16383\n255\n1 2 3\n")},
        {"Dds", detail::readDds, claimingDds()},
        {"Jpeg", detail::readJpg, claimingJpeg(16000, 16000)},
        {"Png", detail::readPng, claimingPng(16384, 16383)},
        {"Pfm", detail::readPfm, testing::bytesOf("PF\n8192 8191\n-1.0\n0123456789ab")},
        {"FlatHdr", detail::readHdr,
         testing::bytesOf("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 8191 +X 8192\n"
                          "\x80\x80\x80\x81\x01\x01\x01\xff\x01\x01\x01\xff")},
        {"RleTga", detail::readTga, claimingTga()},
    };
    for (const ClaimCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Refused when only the header is read too: the verdict comes before any block.
        for (const bool loadPixels : {false, true}) {
            DecodedImage image;
            EXPECT_EQ(testing::runReader(c.reader, c.file, image, loadPixels),
                      detail::ReadFailure::kTruncated);
        }
    }
}

} // namespace
} // namespace halv::texture
