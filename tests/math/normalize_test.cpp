#include "math/detail/rsqrt_table.h"
#include "math/dispatch.h"
#include "tests/math/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace halv::math {
namespace {

using test::NamedSet;

TEST(RsqrtTable, ReproducesTheKnownRows) {
    const struct {
        std::size_t index;
        double slope;
        double intercept;
    } rows[] = {
        {0, -1.41009521484375, 2.1192612648010254},    {1, -1.40185546875, 2.1151251792907715},
        {255, -0.500732421875, 1.500732421875},        {256, -0.49853515625, 1.49853515625},
        {511, -0.177032470703125, 1.0611717700958252},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.index);
        EXPECT_NEAR(detail::kRsqrtTable[row.index].slope, row.slope, 1e-6);
        EXPECT_NEAR(detail::kRsqrtTable[row.index].intercept, row.intercept, 1e-6);
    }
}

TEST(RsqrtTable, EveryLineFollowsReciprocalSqrtOnItsSegment) {
    for (std::size_t i = 0; i < detail::kRsqrtSegmentCount; ++i) {
        const double start = i < 256 ? 0.5 + double(i) / 512.0 : 1.0 + double(i - 256) / 256.0;
        const double width = i < 256 ? 1.0 / 512.0 : 1.0 / 256.0;
        for (int k = 0; k <= 8; ++k) {
            const double m = start + width * k / 8.0;
            const double line =
                double(detail::kRsqrtTable[i].slope) * m + detail::kRsqrtTable[i].intercept;
            ASSERT_NEAR(line * std::sqrt(m), 1.0, 2e-6) << "segment " << i << " at " << m;
        }
    }
}

TEST(RsqrtTable, ExponentSplitCoversEveryBinade) {
    // Odd and even exponents take different halves of the table and scales; walk all of them,
    // including both ends of each mantissa range.
    for (int exponent = -126; exponent <= 127; ++exponent) {
        for (float mantissa : {1.0f, 1.2345f, 1.5f, 1.9999999f}) {
            const float s = std::ldexp(mantissa, exponent);
            const double relative = double(detail::tableReciprocalSqrt(s)) * std::sqrt(double(s));
            ASSERT_NEAR(relative, 1.0, 2e-6) << "s = " << s;
        }
    }
}

// What each kind of set gives for one input: the input's own bits, zero, or the unit vector
// within a tolerance.
enum class Outcome { kUnchanged, kZero, kUnit };

struct NormalizeCase {
    const char* name;
    D3DXVECTOR3 input;
    Outcome portable;
    Outcome simd;
};

const NormalizeCase kNormalizeCases[] = {
    {"Zero", {0.0f, 0.0f, 0.0f}, Outcome::kZero, Outcome::kZero},
    {"UnitX", {1.0f, 0.0f, 0.0f}, Outcome::kUnchanged, Outcome::kUnit},
    // 0.6^2 + 0.8^2 lies within 1e-5 of 1: the portable set returns it as it is.
    {"NearlyUnit", {0.6f, 0.8f, 0.0f}, Outcome::kUnchanged, Outcome::kUnit},
    {"ThreeFourZero", {3.0f, 4.0f, 0.0f}, Outcome::kUnit, Outcome::kUnit},
    {"JustOutsideShortcut", {1.00002f, 0.0f, 0.0f}, Outcome::kUnit, Outcome::kUnit},
    {"Negative", {-2.0f, 0.5f, -7.25f}, Outcome::kUnit, Outcome::kUnit},
    // Squared length 1e-16, below the SSE sets' 2^-46 cut-off.
    {"Tiny", {1e-8f, 0.0f, 0.0f}, Outcome::kUnit, Outcome::kZero},
    {"AtSimdCutOff", {0x1p-23f, 0.0f, 0.0f}, Outcome::kUnit, Outcome::kUnit},
    {"BelowSimdCutOff", {0x1.fffffep-24f, 0.0f, 0.0f}, Outcome::kUnit, Outcome::kZero},
    // Squared lengths that are subnormal or overflow: scaled into range first.
    {"SubnormalSquaredLength", {1e-20f, -2e-20f, 0.0f}, Outcome::kUnit, Outcome::kZero},
    {"OverflowingSquaredLength", {1e20f, -3e20f, 2e20f}, Outcome::kUnit, Outcome::kUnit},
};

// Unit vectors come from a table (portable, about 1.5e-6) or a refined estimate (SSE).
constexpr double kUnitTolerance = 2e-6;

class Normalize : public testing::TestWithParam<NamedSet> {};

TEST_P(Normalize, ShortcutsAndCutOffsOfTheSet) {
    const DispatchTable table = makeDispatchTable(GetParam().level);
    const bool portable = GetParam().level == DispatchLevel::kPortable;
    for (const NormalizeCase& c : kNormalizeCases) {
        SCOPED_TRACE(c.name);
        const Outcome outcome = portable ? c.portable : c.simd;
        // Separate output and in place.
        D3DXVECTOR3 separate;
        EXPECT_EQ(table.vec3Normalize(&separate, &c.input), &separate);
        D3DXVECTOR3 inPlace = c.input;
        table.vec3Normalize(&inPlace, &inPlace);
        EXPECT_TRUE(test::sameBits(&inPlace.x, &separate.x, 3));

        switch (outcome) {
        case Outcome::kUnchanged:
            EXPECT_TRUE(test::sameBits(&separate.x, &c.input.x, 3));
            break;
        case Outcome::kZero:
            EXPECT_EQ(separate, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
            break;
        case Outcome::kUnit: {
            const double x = c.input.x;
            const double y = c.input.y;
            const double z = c.input.z;
            const double length = std::sqrt(x * x + y * y + z * z);
            const D3DXVECTOR3 expected(float(x / length), float(y / length), float(z / length));
            EXPECT_TRUE(test::near(separate, expected, kUnitTolerance));
            break;
        }
        }
    }
}

TEST_P(Normalize, OtherSizesFollowTheSameRule) {
    const DispatchTable table = makeDispatchTable(GetParam().level);
    // Vec2, Vec4 and quaternions use the portable routine in every set.
    const D3DXVECTOR2 nearlyUnit2(0.6f, 0.8f);
    D3DXVECTOR2 out2;
    table.vec2Normalize(&out2, &nearlyUnit2);
    EXPECT_TRUE(test::sameBits(&out2.x, &nearlyUnit2.x, 2));
    const D3DXVECTOR2 long2(3.0f, -4.0f);
    table.vec2Normalize(&out2, &long2);
    const float expected2[2] = {0.6f, -0.8f};
    EXPECT_TRUE(test::floatsNear(&out2.x, expected2, 2, kUnitTolerance));

    const D3DXVECTOR4 zero4(0.0f, 0.0f, 0.0f, 0.0f);
    D3DXVECTOR4 out4(1.0f, 1.0f, 1.0f, 1.0f);
    table.vec4Normalize(&out4, &zero4);
    EXPECT_EQ(out4, zero4);
    const D3DXVECTOR4 long4(2.0f, 2.0f, 2.0f, 2.0f);
    table.vec4Normalize(&out4, &long4);
    const float expected4[4] = {0.5f, 0.5f, 0.5f, 0.5f};
    EXPECT_TRUE(test::floatsNear(&out4.x, expected4, 4, kUnitTolerance));

    D3DXQUATERNION q(0.0f, 0.0f, 0.0f, 2.0f);
    table.quaternionNormalize(&q, &q);
    EXPECT_TRUE(test::near(q, D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f), kUnitTolerance));
}

INSTANTIATE_TEST_SUITE_P(Math, Normalize, testing::ValuesIn(test::allSets()), test::setName);

TEST(NormalizeExact, FirstFormsUseTheExactLength) {
    // The read-only table's first forms, kept as the unrounded reference.
    const D3DXVECTOR3 v(3.0f, 4.0f, 12.0f);
    D3DXVECTOR3 out;
    portableTable().vec3Normalize(&out, &v);
    EXPECT_TRUE(test::near(out, D3DXVECTOR3(3.0f / 13.0f, 4.0f / 13.0f, 12.0f / 13.0f), 1e-7));
}

} // namespace
} // namespace halv::math
