// The committed resources: present, in the format and size the program expects, black only where
// black is meant to vanish, and identical to what the generator makes now.
#include "tests/assetgen/png_reader.h"
#include "tools/assetgen/png_writer.h"
#include "tools/assetgen/resource_list.h"
#include "tools/assetgen/station_model.h"
#include "tools/assetgen/textures.h"
#include "tools/assetgen/xfile_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>

namespace halv::assetgen {
namespace {

using testing::readFile;
using testing::ReadPng;
using testing::readPng;

const std::string kResources = HALV_RESOURCE_DIR;

std::string texturePath(int number) {
    return kResources + "/textures/" + std::to_string(number) + ".png";
}

ReadPng loadTexture(int number) {
    return readPng(readFile(texturePath(number)));
}

int expectedSize(int number) {
    if (number == 152) {
        return 800;
    }
    if (number == 153) {
        return 8;
    }
    if (number == 151) {
        return 256;
    }
    if (number == 149 || number == 150 || number == 157 || number == 210 || number == 211) {
        return 512;
    }
    return 128; // 154-156 and the explosion frames 160-209
}

std::vector<int> textureNumbers() {
    std::vector<int> numbers;
    for (int n = 149; n <= 157; ++n) {
        numbers.push_back(n);
    }
    for (int n = 160; n <= 211; ++n) {
        numbers.push_back(n);
    }
    return numbers;
}

bool isBlack(const std::uint8_t* p) {
    return p[0] == 0 && p[1] == 0 && p[2] == 0;
}

double brightness(const ReadPng& image) {
    double sum = 0;
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        sum += image.pixels[i];
    }
    return sum / image.pixels.size();
}

TEST(CommittedResources, EveryTextureIsAnEightBitRgbPngOfItsSize) {
    std::map<std::string, int> chunkUse;
    for (int number : textureNumbers()) {
        SCOPED_TRACE(number);
        const ReadPng image = loadTexture(number);
        ASSERT_TRUE(image.ok);
        EXPECT_TRUE(image.warnings.empty()) << image.warnings.front();
        EXPECT_EQ(image.width, expectedSize(number));
        EXPECT_EQ(image.height, expectedSize(number));
        EXPECT_EQ(image.bitDepth, 8);
        EXPECT_EQ(image.colourType, 2); // RGB
        for (const std::string& chunk : image.chunks) {
            ++chunkUse[chunk];
        }
    }
    // The optional chunks the image reader has to cope with all turn up somewhere.
    for (const char* chunk : {"gAMA", "cHRM", "sRGB", "iCCP", "pHYs", "tIME", "zTXt"}) {
        EXPECT_GT(chunkUse[chunk], 0) << chunk;
    }
}

TEST(CommittedResources, IconsAndStringsAreThere) {
    for (const auto& [path, size] :
         {std::pair{"/icons/108.png", 48}, std::pair{"/icons/109.png", 16}}) {
        SCOPED_TRACE(path);
        const ReadPng icon = readPng(readFile(kResources + path));
        ASSERT_TRUE(icon.ok);
        EXPECT_EQ(icon.width, size);
        EXPECT_EQ(icon.height, size);
        EXPECT_EQ(icon.bitDepth, 8);
        EXPECT_EQ(icon.colourType, 6); // RGBA: the corners are transparent
        EXPECT_EQ(icon.at(0, 0)[3], 0);
    }
    auto text = [](const std::string& path) {
        const std::vector<std::uint8_t> bytes = readFile(kResources + path);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(text("/strings/104.txt"), "QLX Halvorine");
    EXPECT_EQ(text("/strings/111.txt"), "APP");
}

TEST(CommittedResources, OpaqueSurfacesHaveNoPureBlack) {
    // The loader's colour key turns pure black transparent; these are drawn without blending
    // and must not get holes.
    for (int number : {149, 150, 151, 210, 211}) {
        SCOPED_TRACE(number);
        const ReadPng image = loadTexture(number);
        ASSERT_TRUE(image.ok);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                ASSERT_FALSE(isBlack(image.at(x, y))) << x << "," << y;
            }
        }
    }
}

TEST(CommittedResources, AdditiveSpritesFadeToBlackAtTheirBorder) {
    std::vector<int> sprites{154, 155, 156};
    for (int n = 160; n <= 209; ++n) {
        sprites.push_back(n);
    }
    for (int number : sprites) {
        SCOPED_TRACE(number);
        const ReadPng image = loadTexture(number);
        ASSERT_TRUE(image.ok);
        const int last = image.width - 1;
        for (int i = 0; i <= last; ++i) {
            ASSERT_TRUE(isBlack(image.at(i, 0)) && isBlack(image.at(i, last)) &&
                        isBlack(image.at(0, i)) && isBlack(image.at(last, i)))
                << "border texel " << i;
        }
        EXPECT_GT(brightness(image), 0.2) << "and show something inside";
    }
}

TEST(CommittedResources, BeamProfileIsOneBrightRowBetweenDimRows) {
    const ReadPng beam = loadTexture(153);
    ASSERT_TRUE(beam.ok);
    int brightRows = 0;
    for (int y = 0; y < 8; ++y) {
        const std::uint8_t* first = beam.at(0, y);
        for (int x = 0; x < 8; ++x) {
            const std::uint8_t* p = beam.at(x, y);
            ASSERT_EQ(p[0], 0);
            ASSERT_EQ(p[2], 0);
            ASSERT_EQ(p[1], first[1]) << "rows are uniform";
        }
        if (first[1] == 255) {
            ++brightRows;
            EXPECT_GT(beam.at(0, y - 1)[1], 0);
            EXPECT_LT(beam.at(0, y - 1)[1], 255);
            EXPECT_GT(beam.at(0, y + 1)[1], 0);
            EXPECT_LT(beam.at(0, y + 1)[1], 255);
        }
    }
    EXPECT_EQ(brightRows, 1);
    EXPECT_TRUE(isBlack(beam.at(0, 0)));
    EXPECT_TRUE(isBlack(beam.at(0, 7)));
}

TEST(CommittedResources, ExplosionBloomsThenFades) {
    std::vector<double> light;
    for (int n = 160; n <= 209; ++n) {
        const ReadPng frame = loadTexture(n);
        ASSERT_TRUE(frame.ok);
        light.push_back(brightness(frame));
    }
    // Brightest in the first half, rising to it and falling after it (compared five frames
    // apart: a single frame may flicker), with a faint last frame.
    const auto peak =
        static_cast<std::size_t>(std::max_element(light.begin(), light.end()) - light.begin());
    EXPECT_GE(peak, 5u);
    EXPECT_LT(peak, 25u);
    EXPECT_LT(light.front(), light[peak] * 0.5);
    for (std::size_t i = 5; i <= peak; ++i) {
        EXPECT_GT(light[i], light[i - 5] * 0.9) << "frame " << i;
    }
    for (std::size_t i = peak + 5; i < light.size(); ++i) {
        EXPECT_LT(light[i], light[i - 5]) << "frame " << i;
    }
    EXPECT_LT(light.back(), light[peak] * 0.25);
}

// Mean difference between two columns (or rows) of an image.
double lineDifference(const ReadPng& image, bool columns, int a, int b) {
    double sum = 0;
    const int length = columns ? image.height : image.width;
    for (int i = 0; i < length; ++i) {
        const std::uint8_t* p = columns ? image.at(a, i) : image.at(i, a);
        const std::uint8_t* q = columns ? image.at(b, i) : image.at(i, b);
        for (int c = 0; c < 3; ++c) {
            sum += std::abs(p[c] - q[c]);
        }
    }
    return sum / length;
}

TEST(CommittedResources, WrappingTexturesHaveNoSeam) {
    // Across the wrap the change is no bigger than between any two neighbouring texel lines.
    struct Wrap {
        int number;
        bool vertical; // also repeats top to bottom
    };
    for (const Wrap& w : {Wrap{149, false}, Wrap{157, false}, Wrap{211, false}, Wrap{150, false},
                          Wrap{210, true}, Wrap{152, true}}) {
        SCOPED_TRACE(w.number);
        const ReadPng image = loadTexture(w.number);
        ASSERT_TRUE(image.ok);
        for (bool columns : {true, false}) {
            if (!columns && !w.vertical) {
                continue;
            }
            const int size = columns ? image.width : image.height;
            double inner = 0;
            for (int i = 1; i < size; ++i) {
                inner += lineDifference(image, columns, i - 1, i);
            }
            inner /= size - 1;
            EXPECT_LT(lineDifference(image, columns, size - 1, 0), inner * 2.0 + 1.0);
        }
    }
}

TEST(CommittedResources, MatchWhatTheGeneratorMakesNow) {
    // A change to the generator has to come with regenerated resources (make assets).
    const std::vector<std::uint8_t> model = readFile(kResources + "/VORNK.x");
    const std::string expected = writeXFile(buildStationModel());
    EXPECT_TRUE(std::string(model.begin(), model.end()) == expected) << "VORNK.x is out of date";

    const std::vector<std::uint8_t> table = readFile(kResources + "/resources.cmake");
    EXPECT_EQ(std::string(table.begin(), table.end()), resourceTableCmake(resourceFiles()));

    // Pixels rather than file bytes, so that another zlib's compression does not matter.
    const struct {
        int number;
        Image (*paint)();
    } textures[] = {{153, paintBeam}, {154, paintGlow}, {156, paintCluster}};
    for (const auto& t : textures) {
        SCOPED_TRACE(t.number);
        const ReadPng committed = loadTexture(t.number);
        const Image now = t.paint();
        ASSERT_TRUE(committed.ok);
        EXPECT_TRUE(committed.pixels == now.pixels);
    }
}

TEST(Generator, IsDeterministic) {
    EXPECT_EQ(encodePng(paintExplosionFrame(7)), encodePng(paintExplosionFrame(7)));
    EXPECT_EQ(writeXFile(buildStationModel()), writeXFile(buildStationModel()));
}

TEST(Generator, ResourceTableNamesEveryResourceOnce) {
    std::map<std::string, int> seen;
    for (const ResourceFile& f : resourceFiles()) {
        ++seen[f.type + " " + f.name];
    }
    for (int number : textureNumbers()) {
        EXPECT_EQ(seen["PNG " + std::to_string(number)], 1) << number;
    }
    for (const char* other : {"Data VORNK", "ICON 108", "ICON 109", "STRING 104", "STRING 111"}) {
        EXPECT_EQ(seen[other], 1) << other;
    }
    EXPECT_EQ(seen.size(), textureNumbers().size() + 5);
}

} // namespace
} // namespace halv::assetgen
