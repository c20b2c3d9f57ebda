// Blit's strategies: filter word checks, exact copy, NONE, POINT, BOX (integer and float,
// plain and SSE2), LINEAR and TRIANGLE with their edge rules, in 2D and in volumes.
#include "tests/texture/texture_test_support.h"
#include "texture/detail/box_filter.h"
#include "texture/detail/resample_weights.h"
#include "texture/loader_constants.h"
#include "texture/pixel_codec.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace halv::texture::testing {
namespace {

using Pixels = std::vector<std::uint32_t>;

HRESULT blit32(Pixels& dest, UINT destWidth, UINT destHeight, const Pixels& source,
               UINT sourceWidth, UINT sourceHeight, DWORD filter,
               D3DFORMAT format = D3DFMT_A8R8G8B8) {
    return Blit(
        packedView(dest.data(), format, destWidth, destHeight, 4),
        packedView(const_cast<std::uint32_t*>(source.data()), format, sourceWidth, sourceHeight, 4),
        filter);
}

TEST(BlitFilterWord, KindAndFlagsAreChecked) {
    Pixels source(4, 0xFF112233);
    Pixels dest(1);
    struct Case {
        DWORD filter;
        HRESULT expected;
    };
    const Case cases[] = {
        {0, D3DERR_INVALIDCALL},
        {6, D3DERR_INVALIDCALL},
        {0x800004, D3DERR_INVALIDCALL},
        {0x10000000 | D3DX_FILTER_BOX, D3DERR_INVALIDCALL},
        {D3DX_FILTER_BOX | D3DX_FILTER_MIRROR | D3DX_FILTER_DITHER, S_OK},
        {D3DX_FILTER_TRIANGLE | D3DX_FILTER_SRGB | D3DX_FILTER_DITHER_DIFFUSION, S_OK},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(blit32(dest, 1, 1, source, 2, 2, c.filter), c.expected) << std::hex << c.filter;
    }
}

TEST(BlitExactCopy, SameFormatRowsAreCopiedAsTheyAre) {
    // Bytes an encoder would not produce (X8R8G8B8 with a zero X byte) survive an exact copy.
    Pixels source = {0x00123456, 0x00ABCDEF};
    Pixels dest(2);
    ASSERT_EQ(blit32(dest, 2, 1, source, 2, 1, D3DX_FILTER_TRIANGLE, D3DFMT_X8R8G8B8), S_OK);
    EXPECT_EQ(dest, source);
    // A colour key rules the exact copy out: the pixels are decoded and re-encoded.
    PixelView keyed = packedView(source.data(), D3DFMT_X8R8G8B8, 2, 1, 4);
    keyed.colorKey = 0xFF010203;
    ASSERT_EQ(Blit(packedView(dest.data(), D3DFMT_X8R8G8B8, 2, 1, 4), keyed, D3DX_FILTER_NONE),
              S_OK);
    EXPECT_EQ(dest, (Pixels{0xFF123456, 0xFFABCDEF}));
}

TEST(BlitExactCopy, PalettisedNeedsTheSamePalette) {
    PALETTEENTRY first[256] = {};
    PALETTEENTRY second[256] = {};
    for (int i = 0; i < 256; ++i) {
        first[i] = {static_cast<BYTE>(i), 0, 0, 255};
        second[i] = {static_cast<BYTE>(255 - i), 0, 0, 255};
    }
    BYTE source[2] = {10, 200};
    BYTE dest[2] = {};
    ASSERT_EQ(Blit(packedView(dest, D3DFMT_P8, 2, 1, 1, first),
                   packedView(source, D3DFMT_P8, 2, 1, 1, first), D3DX_FILTER_NONE),
              S_OK);
    EXPECT_EQ(dest[0], 10);
    // Different palettes: the colours are kept, so the indices change.
    ASSERT_EQ(Blit(packedView(dest, D3DFMT_P8, 2, 1, 1, second),
                   packedView(source, D3DFMT_P8, 2, 1, 1, first), D3DX_FILTER_NONE),
              S_OK);
    EXPECT_EQ(dest[0], 245);
    EXPECT_EQ(dest[1], 55);
}

TEST(BlitNone, KeepsTheTopLeftAndClearsTheRest) {
    Pixels source = {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004};
    Pixels dest(9, 0xDEADBEEF);
    ASSERT_EQ(blit32(dest, 3, 3, source, 2, 2, D3DX_FILTER_NONE), S_OK);
    EXPECT_EQ(dest, (Pixels{0xFF000001, 0xFF000002, 0, 0xFF000003, 0xFF000004, 0, 0, 0, 0}));
    // Shrinking keeps the top-left part.
    Pixels small(1);
    ASSERT_EQ(blit32(small, 1, 1, source, 2, 2, D3DX_FILTER_NONE), S_OK);
    EXPECT_EQ(small[0], 0xFF000001u);
}

TEST(BlitPoint, FixedPointStepsPickTheSourceIndices) {
    Pixels source = {0xFF000000, 0xFF000001, 0xFF000002, 0xFF000003};
    Pixels dest(3);
    // 4 to 3: step 4 * 65536 / 3 = 87381 takes indices 0, 1, 2.
    ASSERT_EQ(blit32(dest, 3, 1, source, 4, 1, D3DX_FILTER_POINT), S_OK);
    EXPECT_EQ(dest, (Pixels{0xFF000000, 0xFF000001, 0xFF000002}));
    Pixels wide(8);
    ASSERT_EQ(blit32(wide, 8, 1, source, 4, 1, D3DX_FILTER_POINT), S_OK);
    EXPECT_EQ(wide, (Pixels{0xFF000000, 0xFF000000, 0xFF000001, 0xFF000001, 0xFF000002, 0xFF000002,
                            0xFF000003, 0xFF000003}));
    // Rows follow the same rule.
    Pixels column(3);
    ASSERT_EQ(blit32(column, 1, 3, source, 1, 4, D3DX_FILTER_POINT), S_OK);
    EXPECT_EQ(column, (Pixels{0xFF000000, 0xFF000001, 0xFF000002}));
}

TEST(BlitBox, IntegerAverageOfTwoByTwo) {
    // Red 10, 20, 30, 40: (100 + 2) >> 2 = 25.
    Pixels source = {0xFF0A0000, 0xFF140000, 0xFF1E0000, 0xFF280000};
    Pixels dest(1);
    ASSERT_EQ(blit32(dest, 1, 1, source, 2, 2, D3DX_FILTER_BOX), S_OK);
    EXPECT_EQ(dest[0], 0xFF190000u);
    // Odd sums round half up: 1 + 2 + 2 + 2 = 7 -> (7 + 2) >> 2 = 2.
    source = {0x01010101, 0x02020202, 0x02020202, 0x02020202};
    ASSERT_EQ(blit32(dest, 1, 1, source, 2, 2, D3DX_FILTER_BOX), S_OK);
    EXPECT_EQ(dest[0], 0x02020202u);
}

TEST(BlitBox, OddSourceLosesItsLastRowAndColumn) {
    Pixels source(9, 0xFFFFFFFF);
    source[0] = 0xFF000000;
    Pixels dest(1);
    ASSERT_EQ(blit32(dest, 1, 1, source, 3, 3, D3DX_FILTER_BOX), S_OK);
    // (0 + 255 * 3 + 2) >> 2 = 191; the third row and column do not count.
    EXPECT_EQ(dest[0], 0xFFBFBFBFu);
    for (int i : {2, 5, 6, 7, 8}) {
        source[i] = 0xFF000000;
    }
    ASSERT_EQ(blit32(dest, 1, 1, source, 3, 3, D3DX_FILTER_BOX), S_OK);
    EXPECT_EQ(dest[0], 0xFFBFBFBFu);
}

TEST(BlitBox, FloatPathPairsThinSourcesWithThemselves) {
    // A 1x4 column halves to 1x2 in floats: each pixel is paired with itself across.
    Pixels source = {0xFF000000, 0xFF000064, 0xFF0000C8, 0xFF0000FE};
    Pixels dest(2);
    ASSERT_EQ(blit32(dest, 1, 2, source, 1, 4, D3DX_FILTER_BOX), S_OK);
    EXPECT_EQ(dest, (Pixels{0xFF000032, 0xFF0000E3}));
    // Dithering sends 2x2 sources down the float path too; a flat image stays flat.
    Pixels flat(16, 0xFF808080);
    Pixels half(4);
    ASSERT_EQ(blit32(half, 2, 2, flat, 4, 4, D3DX_FILTER_BOX | D3DX_FILTER_DITHER), S_OK);
    EXPECT_EQ(half, Pixels(4, 0xFF808080));
}

TEST(BlitBox, IntegerPathForSixteenAndEightBitFormats) {
    // R5G6B5: red 1, 2, 3, 4 -> (10 + 2) >> 2 = 3; green 63 x 3 + 0 -> (189 + 2) >> 2 = 47.
    std::uint16_t source[4] = {(1 << 11) | (63 << 5), (2 << 11) | (63 << 5), (3 << 11) | (63 << 5),
                               (4 << 11)};
    std::uint16_t dest = 0;
    ASSERT_EQ(Blit(packedView(&dest, D3DFMT_R5G6B5, 1, 1, 2),
                   packedView(source, D3DFMT_R5G6B5, 2, 2, 2), D3DX_FILTER_BOX),
              S_OK);
    EXPECT_EQ(dest >> 11, 3);
    EXPECT_EQ((dest >> 5) & 63, 47);
    BYTE a4l4[4] = {0x1F, 0x2F, 0x3F, 0x4F};
    BYTE out = 0;
    ASSERT_EQ(Blit(packedView(&out, D3DFMT_A4L4, 1, 1, 1), packedView(a4l4, D3DFMT_A4L4, 2, 2, 1),
                   D3DX_FILTER_BOX),
              S_OK);
    EXPECT_EQ(out, 0x3F);
}

TEST(BlitBox, Sse2AndPlainRoutinesAgree) {
    const detail::BoxRow8888 simd = detail::boxRow8888Sse2();
    if (simd == nullptr) {
        GTEST_SKIP() << "no SSE2 routine on this processor";
    }
    std::mt19937 random(7);
    for (UINT count : {1u, 3u, 4u, 5u, 17u, 64u}) {
        std::vector<BYTE> upper(count * 8);
        std::vector<BYTE> lower(count * 8);
        for (BYTE& b : upper) {
            b = static_cast<BYTE>(random());
        }
        for (BYTE& b : lower) {
            b = static_cast<BYTE>(random());
        }
        // The extremes, where a narrower sum would overflow.
        upper[0] = upper[4] = lower[0] = lower[4] = 255;
        std::vector<BYTE> plain(count * 4);
        std::vector<BYTE> fast(count * 4);
        detail::boxRow8888Plain(upper.data(), lower.data(), plain.data(), count);
        simd(upper.data(), lower.data(), fast.data(), count);
        EXPECT_EQ(plain, fast) << count;
        for (UINT i = 0; i < count * 4; ++i) {
            const UINT pixel = i / 4;
            const UINT channel = i % 4;
            const unsigned sum = upper[pixel * 8 + channel] + upper[pixel * 8 + 4 + channel] +
                                 lower[pixel * 8 + channel] + lower[pixel * 8 + 4 + channel];
            ASSERT_EQ(plain[i], (sum + 2) >> 2) << "byte " << i;
        }
    }
}

TEST(BlitLinear, TwoTapsWithWrapOrMirror) {
    // Red 0 and 200 doubled to four pixels.
    Pixels source = {0xFF000000, 0xFFC80000};
    Pixels dest(4);
    ASSERT_EQ(blit32(dest, 4, 1, source, 2, 1, D3DX_FILTER_LINEAR | D3DX_FILTER_MIRROR_U), S_OK);
    // Samples at -0.25, 0.25, 0.75, 1.25 source pixels from the first centre, clamped.
    EXPECT_EQ(dest, (Pixels{0xFF000000, 0xFF320000, 0xFF960000, 0xFFC80000}));
    ASSERT_EQ(blit32(dest, 4, 1, source, 2, 1, D3DX_FILTER_LINEAR), S_OK);
    // Wrapping: the outer samples mix in the far edge.
    EXPECT_EQ(dest, (Pixels{0xFF320000, 0xFF320000, 0xFF960000, 0xFF960000}));
}

TEST(TriangleWeights, SumToOneAndFollowTheTent) {
    for (UINT source : {1u, 2u, 3u, 7u, 64u, 800u}) {
        for (UINT dest : {1u, 2u, 5u, 64u, 1024u}) {
            for (bool mirror : {false, true}) {
                detail::AxisTaps taps;
                ASSERT_TRUE(detail::triangleTaps(source, dest, mirror, &taps));
                for (UINT u = 0; u < dest; ++u) {
                    float sum = 0;
                    for (UINT k = taps.first[u]; k < taps.first[u + 1]; ++k) {
                        ASSERT_LT(taps.taps[k].index, source);
                        ASSERT_GT(taps.taps[k].weight, 0.00001f);
                        sum += taps.taps[k].weight;
                    }
                    // Only weights of 0.00001 or less are dropped.
                    ASSERT_NEAR(sum, 1.0f, 5e-5f) << source << "->" << dest << " at " << u;
                }
            }
        }
    }
    // Two pixels to four: destination 0 covers [0, 0.5) of source pixel 0, where its tent
    // gives 0.75 and its left neighbour's (the wrapped last pixel) 0.25.
    detail::AxisTaps wrap;
    ASSERT_TRUE(detail::triangleTaps(2, 4, false, &wrap));
    ASSERT_EQ(wrap.first[1], 2u);
    EXPECT_EQ(wrap.taps[0].index, 1u);
    EXPECT_NEAR(wrap.taps[0].weight, 0.25f, 1e-6f);
    EXPECT_EQ(wrap.taps[1].index, 0u);
    EXPECT_NEAR(wrap.taps[1].weight, 0.75f, 1e-6f);
    // Mirrored, the first pixel weighs 1 over its outer half.
    detail::AxisTaps mirror;
    ASSERT_TRUE(detail::triangleTaps(2, 4, true, &mirror));
    ASSERT_EQ(mirror.first[1], 1u);
    EXPECT_EQ(mirror.taps[0].index, 0u);
    EXPECT_NEAR(mirror.taps[0].weight, 1.0f, 1e-6f);
}

TEST(BlitTriangle, ConstantImagesStayConstant) {
    struct Size {
        UINT width;
        UINT height;
    };
    const Size sizes[] = {{1, 1}, {3, 5}, {8, 8}, {13, 2}, {37, 29}, {64, 1}};
    const DWORD edges[] = {0, D3DX_FILTER_MIRROR};
    for (const Size from : sizes) {
        for (const Size to : sizes) {
            for (const DWORD edge : edges) {
                SCOPED_TRACE(std::to_string(from.width) + "x" + std::to_string(from.height) +
                             " -> " + std::to_string(to.width) + "x" + std::to_string(to.height) +
                             (edge != 0 ? " mirror" : " wrap"));
                const Pixels source(std::size_t{from.width} * from.height, 0xC0FF8001);
                Pixels dest(std::size_t{to.width} * to.height);
                ASSERT_EQ(blit32(dest, to.width, to.height, source, from.width, from.height,
                                 D3DX_FILTER_TRIANGLE | edge),
                          S_OK);
                ASSERT_EQ(dest, Pixels(dest.size(), 0xC0FF8001));
            }
        }
    }
}

TEST(BlitTriangle, UpscaleBlendsNeighboursWithWrap) {
    // A 2x1 black and white image to 4x1: the outer pixels wrap round to the other side.
    const Pixels source = {0xFF000000, 0xFFFFFFFF};
    Pixels dest(4);
    ASSERT_EQ(blit32(dest, 4, 1, source, 2, 1, D3DX_FILTER_TRIANGLE), S_OK);
    // Weights 0.75 / 0.25 for every destination pixel: 64 and 191.
    EXPECT_EQ(dest, (Pixels{0xFF404040, 0xFF404040, 0xFFBFBFBF, 0xFFBFBFBF}));
    ASSERT_EQ(blit32(dest, 4, 1, source, 2, 1, D3DX_FILTER_TRIANGLE | D3DX_FILTER_MIRROR_U), S_OK);
    EXPECT_EQ(dest, (Pixels{0xFF000000, 0xFF404040, 0xFFBFBFBF, 0xFFFFFFFF}));
}

TEST(BlitTriangle, DownscaleAveragesAndKeepsKeyedPixelsOut) {
    // 4x4 to 2x2 of a checker of opaque white and keyed black: the key makes black (0,0,0,0),
    // so every output pixel is half-transparent grey (premultiplied by the filter's mix).
    Pixels source(16);
    for (UINT i = 0; i < 16; ++i) {
        source[i] = ((i % 4 + i / 4) % 2 == 0) ? 0xFFFFFFFF : 0xFF000000;
    }
    PixelView view = packedView(source.data(), D3DFMT_A8R8G8B8, 4, 4, 4);
    view.colorKey = 0xFF000000;
    Pixels dest(4);
    ASSERT_EQ(Blit(packedView(dest.data(), D3DFMT_A8R8G8B8, 2, 2, 4), view, D3DX_FILTER_TRIANGLE),
              S_OK);
    for (const std::uint32_t pixel : dest) {
        EXPECT_EQ(pixel, 0x80808080u);
    }
}

TEST(BlitVolume, BoxPointAndTriangle) {
    // 2x2x2 of red 0..7 * 30 halves to one pixel: the float average 105.
    Pixels source(8);
    for (UINT i = 0; i < 8; ++i) {
        source[i] = 0xFF000000 | ((i * 30) << 16);
    }
    PixelView from = packedView(source.data(), D3DFMT_A8R8G8B8, 2, 2, 4);
    from.back = 2;
    Pixels dest(8);
    PixelView to = packedView(dest.data(), D3DFMT_A8R8G8B8, 1, 1, 4);
    ASSERT_EQ(Blit(to, from, D3DX_FILTER_BOX), S_OK);
    EXPECT_EQ(dest[0], 0xFF690000u);

    // Point sampling along depth: 2 slices to 4 repeats each slice twice.
    PixelView deeper = packedView(dest.data(), D3DFMT_A8R8G8B8, 1, 1, 4);
    deeper.back = 4;
    deeper.slicePitch = 4;
    PixelView corner = from;
    corner.right = 1;
    corner.bottom = 1;
    ASSERT_EQ(Blit(deeper, corner, D3DX_FILTER_POINT), S_OK);
    EXPECT_EQ((Pixels{dest[0], dest[1], dest[2], dest[3]}),
              (Pixels{source[0], source[0], source[4], source[4]}));

    // A constant volume stays constant through the triangle filter.
    const Pixels flat(3 * 2 * 5, 0xFF336699);
    PixelView flatView =
        packedView(const_cast<std::uint32_t*>(flat.data()), D3DFMT_A8R8G8B8, 3, 2, 4);
    flatView.back = 5;
    Pixels out(2 * 4 * 3);
    PixelView outView = packedView(out.data(), D3DFMT_A8R8G8B8, 2, 4, 4);
    outView.back = 3;
    ASSERT_EQ(Blit(outView, flatView, D3DX_FILTER_TRIANGLE), S_OK);
    EXPECT_EQ(out, Pixels(out.size(), 0xFF336699));
    ASSERT_EQ(Blit(outView, flatView, D3DX_FILTER_LINEAR), S_OK);
    EXPECT_EQ(out, Pixels(out.size(), 0xFF336699));
}

} // namespace
} // namespace halv::texture::testing
