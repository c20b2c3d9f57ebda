// `halvtool image FILE --png OUT` on formats a PNG cannot hold as they are: the tool converts the
// top level through the blit to 8-bit RGBA, so every format shows, and wide samples round.
#include "tests/texture/image_writers.h"
#include "texture/image_decoder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace halv::texture {
namespace {

using testing::Bytes;

using Rgba = std::array<int, 4>;

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<char> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The pixels of a PNG the tool wrote, read back through the program's own loader.
std::vector<Rgba> pngPixels(const std::string& path, UINT* width) {
    const std::vector<char> file = readFile(path);
    DecodedImage image;
    D3DXIMAGE_INFO info{};
    if (file.empty() ||
        FAILED(LoadImageFromMemory(&image, file.data(), static_cast<UINT>(file.size()), &info,
                                   true)) ||
        image.format != D3DFMT_A8R8G8B8) {
        return {};
    }
    *width = image.width;
    std::vector<Rgba> pixels;
    for (UINT y = 0; y < image.height; ++y) {
        const BYTE* row = image.pixels + std::size_t{y} * image.rowPitch;
        for (UINT x = 0; x < image.width; ++x) {
            const BYTE* p = row + std::size_t{x} * 4;
            pixels.push_back({p[2], p[1], p[0], p[3]});
        }
    }
    return pixels;
}

struct Case {
    const char* name;
    Bytes file;
    // The first row's pixels, R, G, B, A.
    std::vector<Rgba> firstRow;
    int tolerance;
};

Bytes a4r4g4b4() {
    testing::DdsOptions options;
    options.width = 2;
    options.height = 1;
    options.pixelFlags = 0x41; // RGB with alpha
    options.bitCount = 16;
    options.masks = {0x0F00, 0x00F0, 0x000F, 0xF000};
    Bytes file = testing::makeDdsHeader(options);
    testing::appendLE16(file, 0xF8C4);
    testing::appendLE16(file, 0x7310);
    return file;
}

// The header of a file whose format is named by a four-character code.
Bytes fourCcDdsHeader(std::uint32_t fourCc, std::uint32_t width, std::uint32_t height) {
    testing::DdsOptions options;
    options.width = width;
    options.height = height;
    options.pixelFlags = 0x4;
    options.fourCc = fourCc;
    options.bitCount = 0;
    options.masks = {0, 0, 0, 0};
    return testing::makeDdsHeader(options);
}

Bytes a16b16g16r16() {
    Bytes file = fourCcDdsHeader(36, 1, 1); // D3DFMT_A16B16G16R16
    // Samples whose high byte alone would be one level off: 0x01FF is 1.99 levels, 0xFE01 253.0.
    testing::appendLE16(file, 0x01FF);
    testing::appendLE16(file, 0xFE01);
    testing::appendLE16(file, 0xFFFF);
    testing::appendLE16(file, 0x8000);
    return file;
}

Bytes dxt1() {
    Bytes file = fourCcDdsHeader(0x31545844, 4, 4); // "DXT1", one block
    // Red, then blue: the first colour is larger, so four colours.
    testing::appendLE16(file, 0xF800);
    testing::appendLE16(file, 0x001F);
    // First row: colour 0, 1, 2 (two thirds red) and 3 (two thirds blue); the rest colour 0.
    testing::appendLE32(file, 0b11100100);
    return file;
}

TEST(HalvtoolImage, PngShowsEveryFormatAsEightBitRgba) {
    const Case cases[] = {
        {"A4R4G4B4", a4r4g4b4(), {{0x88, 0xCC, 0x44, 0xFF}, {0x33, 0x11, 0x00, 0x77}}, 0},
        {"A16B16G16R16 rounds", a16b16g16r16(), {{2, 253, 255, 128}}, 0},
        {"DXT1",
         dxt1(),
         {{255, 0, 0, 255}, {0, 0, 255, 255}, {170, 0, 85, 255}, {85, 0, 170, 255}},
         1},
    };
    const std::string dir = ::testing::TempDir();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string input = dir + "halvtool-image-in.dds";
        const std::string output = dir + "halvtool-image-out.png";
        std::remove(output.c_str());
        ASSERT_TRUE(writeFile(input, c.file));
        const std::string command = std::string("'") + HALVTOOL + "' image '" + input +
                                    "' --png '" + output + "' >/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        UINT width = 0;
        const std::vector<Rgba> pixels = pngPixels(output, &width);
        ASSERT_GE(pixels.size(), c.firstRow.size());
        for (std::size_t i = 0; i < c.firstRow.size(); ++i) {
            for (int channel = 0; channel < 4; ++channel) {
                EXPECT_NEAR(pixels[i][channel], c.firstRow[i][channel], c.tolerance)
                    << "pixel " << i << " channel " << channel;
            }
        }
    }
}

} // namespace
} // namespace halv::texture
