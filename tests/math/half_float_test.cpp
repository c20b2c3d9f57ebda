#include "math/dispatch.h"
#include "math/half_float.h"
#include "tests/math/test_support.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace halv::math {
namespace {

using test::NamedSet;

class HalfFloat : public testing::TestWithParam<NamedSet> {
protected:
    WORD toHalf(float value) const {
        D3DXFLOAT16 half{0xABCD};
        EXPECT_EQ(mTable.float32To16Array(&half, &value, 1), &half);
        return half.value;
    }
    float toFloat(WORD half) const {
        const D3DXFLOAT16 in{half};
        float value = -1.0f;
        EXPECT_EQ(mTable.float16To32Array(&value, &in, 1), &value);
        return value;
    }

    DispatchTable mTable = makeDispatchTable(GetParam().level);
};

TEST_P(HalfFloat, FloatToHalfValues) {
    const float infinity = std::numeric_limits<float>::infinity();
    const struct {
        const char* name;
        float value;
        WORD expected;
    } cases[] = {
        {"One", 1.0f, 0x3C00},
        {"MinusTwo", -2.0f, 0xC000},
        {"Zero", 0.0f, 0x0000},
        {"MinusZero", -0.0f, 0x8000},
        {"LargestBelow65536", 65504.0f, 0x7BFF},
        // No infinities: exponent 31 holds ordinary numbers.
        {"RoundsUpTo65536", 65520.0f, 0x7C00},
        {"Largest", 131008.0f, 0x7FFF},
        {"JustBelowSaturation", std::bit_cast<float>(0x47FFEFFFu), 0x7FFF},
        {"Saturates", 131040.0f, 0x7FFF},
        {"Million", 1e6f, 0x7FFF},
        {"MinusMillion", -1e6f, 0xFFFF},
        {"Infinity", infinity, 0x7FFF},
        {"MinusInfinity", -infinity, 0xFFFF},
        {"NaN", std::numeric_limits<float>::quiet_NaN(), 0x7FFF},
        {"SmallestNormal", 0x1p-14f, 0x0400},
        {"LargestSubnormal", 1023.0f * 0x1p-24f, 0x03FF},
        {"SmallestSubnormal", 0x1p-24f, 0x0001},
        {"HalfOfSmallestTiesToZero", 0x1p-25f, 0x0000},
        {"ThreeHalvesTiesToTwo", 3.0f * 0x1p-25f, 0x0002},
        {"AboveHalfOfSmallest", std::bit_cast<float>(0x33000800u), 0x0001},
        // Below 2^-14 the bits under 2^-37 are shifted out before rounding, so a float that
        // close above a midpoint still counts as the tie.
        {"TruncatedBelowNormals", std::bit_cast<float>(0x33000001u), 0x0000},
        {"FloatSubnormal", std::numeric_limits<float>::denorm_min(), 0x0000},
        {"TieBelowOneUlpToEven", 1.0f + 0x1p-11f, 0x3C00},
        {"TieAboveOneUlpToEven", 1.0f + 3.0f * 0x1p-11f, 0x3C02},
        {"JustAboveTie", 1.0f + 0x1p-11f + 0x1p-20f, 0x3C01},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(toHalf(c.value), c.expected);
    }
}

TEST_P(HalfFloat, HalfToFloatValues) {
    const struct {
        const char* name;
        WORD half;
        float expected;
    } cases[] = {
        {"One", 0x3C00, 1.0f},
        {"MinusTwo", 0xC000, -2.0f},
        {"Largest", 0x7FFF, 131008.0f},
        {"MinusLargest", 0xFFFF, -131008.0f},
        {"ExponentThirtyOne", 0x7C00, 65536.0f},
        {"MinusZero", 0x8000, -0.0f},
        {"SmallestSubnormal", 0x0001, 0x1p-24f},
        {"LargestSubnormal", 0x03FF, 1023.0f * 0x1p-24f},
        {"MinusSubnormal", 0x8200, -0x1p-15f},
        {"SmallestNormal", 0x0400, 0x1p-14f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const float value = toFloat(c.half);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(value), std::bit_cast<std::uint32_t>(c.expected));
    }
}

TEST_P(HalfFloat, EveryHalfSurvivesTheRoundTrip) {
    std::vector<D3DXFLOAT16> halves(0x10000);
    for (std::uint32_t i = 0; i < 0x10000; ++i) {
        halves[i].value = static_cast<WORD>(i);
    }
    std::vector<float> floats(halves.size());
    mTable.float16To32Array(floats.data(), halves.data(), static_cast<UINT>(halves.size()));
    std::vector<D3DXFLOAT16> back(halves.size());
    mTable.float32To16Array(back.data(), floats.data(), static_cast<UINT>(floats.size()));
    for (std::uint32_t i = 0; i < 0x10000; ++i) {
        ASSERT_EQ(std::bit_cast<std::uint32_t>(floats[i]),
                  std::bit_cast<std::uint32_t>(floatFromHalf(static_cast<WORD>(i))))
            << std::hex << i;
        ASSERT_EQ(back[i].value, i) << std::hex << i;
    }
}

TEST_P(HalfFloat, MidpointsRoundToEven) {
    // Between each pair of neighbouring halves: the midpoint goes to the even one, a value
    // either side of it to the nearer one. Below 2^-14 "above" means at least 2^-37 above, the
    // finest step the conversion keeps there.
    for (std::uint32_t h = 0; h < 0x7FFF; ++h) {
        const float a = floatFromHalf(static_cast<WORD>(h));
        const float b = floatFromHalf(static_cast<WORD>(h + 1));
        const float midpoint = (a + b) * 0.5f;
        const float below = std::nextafter(midpoint, a);
        const float above = h < 0x400 ? midpoint + 0x1p-37f : std::nextafter(midpoint, b);
        for (const std::uint32_t sign : {0u, 0x8000u}) {
            const auto low = static_cast<WORD>(h | sign);
            const auto high = static_cast<WORD>((h + 1) | sign);
            const float signFactor = sign != 0 ? -1.0f : 1.0f;
            ASSERT_EQ(toHalf(signFactor * midpoint), (h & 1) == 0 ? low : high) << std::hex << h;
            ASSERT_EQ(toHalf(signFactor * below), low) << std::hex << h;
            ASSERT_EQ(toHalf(signFactor * above), high) << std::hex << h;
        }
    }
}

TEST_P(HalfFloat, ArraysOfEveryLengthStopAtTheirEnd) {
    // Lengths around the SIMD widths, so every remainder path runs.
    const std::vector<float> values = {1.0f, -2.0f, 0.5f,   65504.0f, 0x1p-24f, -0.0f,
                                       3.0f, 1e6f,  -0.25f, 7.0f,     100.0f,   0.1f};
    constexpr float kSentinel = 12345.0f;
    for (UINT count = 0; count <= values.size(); ++count) {
        SCOPED_TRACE(count);
        std::vector<D3DXFLOAT16> halves(count + 1, D3DXFLOAT16{0xBEEF});
        mTable.float32To16Array(halves.data(), values.data(), count);
        EXPECT_EQ(halves[count].value, 0xBEEF);
        std::vector<float> floats(count + 1, kSentinel);
        mTable.float16To32Array(floats.data(), halves.data(), count);
        EXPECT_EQ(floats[count], kSentinel);
        for (UINT i = 0; i < count; ++i) {
            EXPECT_EQ(halves[i].value, halfFromFloat(values[i]));
            EXPECT_EQ(floats[i], floatFromHalf(halfFromFloat(values[i])));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Math, HalfFloat, testing::ValuesIn(test::allSets()), test::setName);

TEST(HalfFloatPublished, ConvertsThroughTheDispatchTable) {
    const float in[3] = {1.0f, -2.0f, 65504.0f};
    D3DXFLOAT16 halves[3];
    EXPECT_EQ(D3DXFloat32To16Array(halves, in, 3), halves);
    EXPECT_EQ(halves[0].value, 0x3C00);
    EXPECT_EQ(halves[1].value, 0xC000);
    EXPECT_EQ(halves[2].value, 0x7BFF);
    float out[3];
    EXPECT_EQ(D3DXFloat16To32Array(out, halves, 3), out);
    EXPECT_EQ(out[2], 65504.0f);
}

} // namespace
} // namespace halv::math
