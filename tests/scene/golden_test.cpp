// The show drawn headless at a few moments, compared with committed frames. The comparison
// allows what Mesa versions and rasterisers change (a per-pixel threshold and a small share of
// differing pixels); on failure the actual frame and a difference image go to the build tree.
// HALV_UPDATE_GOLDEN=1 writes the actual frames over the committed ones instead.
#include "scene/show_recorder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace halv::scene {
namespace {

constexpr UINT kWidth = 320;
constexpr UINT kHeight = 240;
// Half the saver's top rate keeps the run short; the frames still come from the real loop.
constexpr double kSimulationRate = 30.0;
// A channel further off than this makes a pixel count as different...
constexpr int kPixelThreshold = 48;
// ...and at most this share of the pixels may differ.
constexpr double kMaxDifferentShare = 0.02;

struct Golden {
    const char* file;
    ShowMoment moment;
};

const Golden kGoldens[] = {
    {"shot0-planet.png", {0, 5.0}},      // stars, the turning planet with clouds, the station
    {"shot0-explosion.png", {0, 16.05}}, // cone, beam and the explosion billboard
    {"shot0-debris.png", {0, 16.8}},     // the debris flying out
    {"shot1-beam.png", {1, 15.6}},       // the station close up firing at the burning planet
    {"shot2-planet.png", {2, 5.0}},      // the violet planet from below
};

int channelDifference(D3DCOLOR a, D3DCOLOR b) {
    int largest = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int difference =
            std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
        largest = std::max(largest, difference);
    }
    return largest;
}

// Differing pixels in red over a dimmed copy of the expected frame.
gfx::BackBufferImage differenceImage(const gfx::BackBufferImage& actual,
                                     const gfx::BackBufferImage& expected) {
    gfx::BackBufferImage diff = expected;
    for (std::size_t i = 0; i < diff.pixels.size(); ++i) {
        const D3DCOLOR pixel = expected.pixels[i];
        const D3DCOLOR dim = 0xFF000000u | ((pixel >> 2) & 0x003F3F3Fu);
        diff.pixels[i] =
            channelDifference(actual.pixels[i], pixel) > kPixelThreshold ? 0xFFFF0000u : dim;
    }
    return diff;
}

testing::AssertionResult matchesGolden(const Golden& golden, const gfx::BackBufferImage& actual) {
    const std::string expectedPath = std::string(HALV_SCENE_GOLDEN_DIR) + "/" + golden.file;
    const std::string stem = std::string(HALV_SCENE_TEST_OUTPUT_DIR) + "/" + golden.file;
    const std::string actualPath = stem.substr(0, stem.size() - 4) + "-actual.png";
    const std::string diffPath = stem.substr(0, stem.size() - 4) + "-diff.png";

    gfx::BackBufferImage expected;
    if (!readFramePng(expectedPath, &expected)) {
        writeFramePng(actualPath, actual);
        return testing::AssertionFailure()
               << "cannot read " << expectedPath << "; actual frame: " << actualPath;
    }
    if (expected.width != actual.width || expected.height != actual.height) {
        writeFramePng(actualPath, actual);
        return testing::AssertionFailure() << expectedPath << " is " << expected.width << "x"
                                           << expected.height << "; actual frame: " << actualPath;
    }
    std::size_t different = 0;
    for (std::size_t i = 0; i < actual.pixels.size(); ++i) {
        if (channelDifference(actual.pixels[i], expected.pixels[i]) > kPixelThreshold) {
            ++different;
        }
    }
    const double share = static_cast<double>(different) / static_cast<double>(actual.pixels.size());
    if (share > kMaxDifferentShare) {
        writeFramePng(actualPath, actual);
        writeFramePng(diffPath, differenceImage(actual, expected));
        return testing::AssertionFailure()
               << 100.0 * share << "% of the pixels differ from " << expectedPath
               << "; actual frame: " << actualPath << ", differences: " << diffPath;
    }
    return testing::AssertionSuccess();
}

TEST(SceneGolden, KeyMomentsOfTheShow) {
    std::vector<ShowMoment> moments;
    for (const Golden& golden : kGoldens) {
        moments.push_back(golden.moment);
    }
    std::vector<gfx::BackBufferImage> frames(std::size(kGoldens));
    RecorderOptions options;
    options.width = kWidth;
    options.height = kHeight;
    options.simulationRate = kSimulationRate;
    std::size_t recorded = 0;
    const HRESULT hr = recordShow(options, moments, [&](const RecordedFrame& frame) {
        for (std::size_t i = 0; i < std::size(kGoldens); ++i) {
            if (kGoldens[i].moment.cycle == frame.moment.cycle &&
                kGoldens[i].moment.seconds == frame.moment.seconds) {
                frames[i] = frame.image;
                ++recorded;
            }
        }
        return true;
    });
    if (hr == D3DERR_NOTAVAILABLE) {
        GTEST_SKIP() << "no EGL display or OpenGL 3.3 core context here";
    }
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(recorded, std::size(kGoldens));

    const char* update = std::getenv("HALV_UPDATE_GOLDEN");
    for (std::size_t i = 0; i < std::size(kGoldens); ++i) {
        SCOPED_TRACE(kGoldens[i].file);
        ASSERT_EQ(frames[i].width, kWidth);
        if (update != nullptr && std::string(update) == "1") {
            const std::string path = std::string(HALV_SCENE_GOLDEN_DIR) + "/" + kGoldens[i].file;
            EXPECT_TRUE(writeFramePng(path, frames[i])) << path;
            std::printf("wrote %s\n", path.c_str());
            continue;
        }
        EXPECT_TRUE(matchesGolden(kGoldens[i], frames[i]));
    }
}

} // namespace
} // namespace halv::scene
