#include "font/cache_geometry.h"
#include "tests/font/font_test_support.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace halv::font {
namespace {

using testing_support::makeNullDevice;
using testing_support::profileWithMaxTexture;
using testing_support::profileWithoutA8R8G8B8;

TEXTMETRICW metrics(LONG height, LONG averageWidth, LONG maxWidth, WCHAR first, WCHAR last) {
    TEXTMETRICW tm{};
    tm.tmHeight = height;
    tm.tmAveCharWidth = averageWidth;
    tm.tmMaxCharWidth = maxWidth;
    tm.tmFirstChar = first;
    tm.tmLastChar = last;
    return tm;
}

struct GeometryCase {
    const char* name;
    TEXTMETRICW metrics;
    UINT mipLevels;
    UINT smallCell;
    UINT smallLevels;
    UINT largeCell;
    UINT largeLevels;
    UINT smallTexture;
    UINT largeTexture;
};

const GeometryCase kGeometry[] = {
    // 16, 32, 64, 128, 256: 256 x 256 is the first square not below 16 x 16 x 128.
    {"Height15Average7", metrics(15, 7, 20, 0x20, 0xFFFC), 0, 16, 5, 32, 6, 256, 256},
    {"MipLevelsCapBoth", metrics(15, 7, 20, 0x20, 0xFFFC), 1, 16, 1, 32, 1, 256, 256},
    {"MipCapAboveFullChain", metrics(15, 7, 20, 0x20, 0xFFFC), 12, 16, 5, 32, 6, 256, 256},
    {"ExactPowerOfTwoHeight", metrics(16, 7, 16, 0x20, 0xFF), 0, 16, 5, 16, 5, 256, 256},
    {"AverageWiderThanHeight", metrics(10, 20, 40, 0x20, 0xFF), 0, 32, 6, 64, 7, 256, 256},
    // Four glyphs: 32 x 32 holds 16 x 16 x 4.
    {"FewGlyphs", metrics(15, 7, 20, 'A', 'D'), 0, 16, 5, 32, 6, 32, 32},
    {"OneGlyph", metrics(15, 7, 20, 'A', 'A'), 0, 16, 5, 32, 6, 16, 32},
    {"LastBeforeFirst", metrics(15, 7, 20, 'D', 'A'), 0, 16, 5, 32, 6, 16, 32},
    // Cells from 256 up do not grow the texture.
    {"LargeCell", metrics(300, 150, 600, 0x20, 0xFFFC), 0, 512, 10, 1024, 11, 512, 1024},
    {"EmptyMetrics", metrics(0, 0, 0, 0, 0), 0, 1, 1, 1, 1, 1, 1},
    {"LargestHeight", metrics(0x7FFFFFFF, 1, 1, 0x20, 0xFF), 0, 0x80000000u, 32, 0x80000000u, 32,
     0x80000000u, 0x80000000u},
};

class CacheGeometryTable : public testing::TestWithParam<GeometryCase> {};

TEST_P(CacheGeometryTable, FromMetrics) {
    const GeometryCase& c = GetParam();
    const CacheGeometry g = computeCacheGeometry(c.metrics, c.mipLevels);
    EXPECT_EQ(g.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(g.smallCellEdge, c.smallCell);
    EXPECT_EQ(g.smallCellLevels, c.smallLevels);
    EXPECT_EQ(g.largeCellEdge, c.largeCell);
    EXPECT_EQ(g.largeCellLevels, c.largeLevels);
    EXPECT_EQ(g.smallTextureEdge, c.smallTexture);
    EXPECT_EQ(g.largeTextureEdge, c.largeTexture);
    EXPECT_EQ(g.smallTextureArea, std::uint64_t{c.smallTexture} * c.smallTexture);
    EXPECT_EQ(g.largeTextureArea, std::uint64_t{c.largeTexture} * c.largeTexture);
    EXPECT_EQ(g.mipLevelsLimit, c.mipLevels);
}

INSTANTIATE_TEST_SUITE_P(Font, CacheGeometryTable, testing::ValuesIn(kGeometry),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

struct FitCase {
    const char* name;
    std::optional<gfx::AdapterProfile> profile;
    HRESULT expected;
    UINT smallTexture;
    UINT largeTexture;
};

void PrintTo(const FitCase& c, std::ostream* os) {
    *os << c.name;
}

class CacheFit : public testing::TestWithParam<FitCase> {};

TEST_P(CacheFit, ToDeviceLimits) {
    const FitCase& c = GetParam();
    auto device = makeNullDevice(c.profile);
    ASSERT_TRUE(device);
    const CacheGeometry before = computeCacheGeometry(metrics(15, 7, 20, 0x20, 0xFFFC), 0);
    CacheGeometry g = before;
    EXPECT_EQ(fitCacheToDevice(device.get(), &g), c.expected);
    if (FAILED(c.expected)) {
        EXPECT_EQ(g.smallTextureEdge, before.smallTextureEdge) << "changed on failure";
        EXPECT_EQ(g.largeTextureEdge, before.largeTextureEdge);
        return;
    }
    EXPECT_EQ(g.smallTextureEdge, c.smallTexture);
    EXPECT_EQ(g.largeTextureEdge, c.largeTexture);
    EXPECT_EQ(g.smallTextureArea, std::uint64_t{c.smallTexture} * c.smallTexture);
    EXPECT_EQ(g.smallCellEdge, 16u);
    EXPECT_EQ(g.smallCellLevels, 5u);
    EXPECT_EQ(g.largeCellLevels, 6u);
}

const FitCase kFits[] = {
    {"DefaultDevice", std::nullopt, D3D_OK, 256, 256},
    {"MaxTexture128", profileWithMaxTexture(128), D3D_OK, 128, 128},
    // The large cell (32) still fits; the small texture shrinks to its cell's size.
    {"MaxTexture32", profileWithMaxTexture(32), D3D_OK, 32, 32},
    // Narrower than the small cell.
    {"MaxTexture8", profileWithMaxTexture(8), D3DXERR_INVALIDDATA, 0, 0},
    // Wide enough for the small cell only.
    {"MaxTexture16", profileWithMaxTexture(16), D3DXERR_INVALIDDATA, 0, 0},
    {"NoA8R8G8B8", profileWithoutA8R8G8B8(), D3DXERR_INVALIDDATA, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Font, CacheFit, testing::ValuesIn(kFits),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(CacheFit, WithoutMipmapsKeepsOneLevel) {
    gfx::AdapterProfile profile = gfx::defaultAdapterProfile();
    profile.caps.TextureCaps &= ~D3DPTEXTURECAPS_MIPMAP;
    auto device = makeNullDevice(profile);
    CacheGeometry g = computeCacheGeometry(metrics(15, 7, 20, 0x20, 0xFFFC), 0);
    ASSERT_EQ(fitCacheToDevice(device.get(), &g), D3D_OK);
    EXPECT_EQ(g.smallCellLevels, 1u);
    EXPECT_EQ(g.largeCellLevels, 1u);
}

TEST(CacheFit, PassesTheCheckErrorOn) {
    CacheGeometry g = computeCacheGeometry(metrics(15, 7, 20, 0x20, 0xFFFC), 0);
    EXPECT_EQ(fitCacheToDevice(nullptr, &g), D3DERR_INVALIDCALL);
}

} // namespace
} // namespace halv::font
