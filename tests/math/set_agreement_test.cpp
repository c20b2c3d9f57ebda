// Each processor-specific set against the portable set over random inputs. The differences the
// sets are allowed are the tolerances of the table below.
#include "math/dispatch.h"
#include "tests/math/test_support.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace halv::math {
namespace {

using test::NamedSet;

// Runs one operation of `table` on inputs drawn from `random` and returns what it wrote.
using Operation = std::vector<float> (*)(const DispatchTable& table, std::mt19937& random);

struct AgreementCase {
    const char* name;
    Operation run;
    // Per component, relative to max(1, |portable result|).
    double tolerance;
};

std::vector<float> floatsOf(const float* first, int count) {
    return std::vector<float>(first, first + count);
}

const AgreementCase kAgreementCases[] = {
    // Same products summed in the same order.
    {"MatrixMultiply",
     [](const DispatchTable& table, std::mt19937& random) {
         const D3DXMATRIX a = test::randomMatrix(random, -10.0f, 10.0f);
         const D3DXMATRIX b = test::randomMatrix(random, -10.0f, 10.0f);
         D3DXMATRIX out;
         table.matrixMultiply(&out, &a, &b);
         return floatsOf(&out.m[0][0], 16);
     },
     1e-6},
    // The table (within 1.55e-6) against the refined estimate (within about 5e-7).
    {"Vec3Normalize",
     [](const DispatchTable& table, std::mt19937& random) {
         const D3DXVECTOR3 v = test::randomVector(random, -100.0f, 100.0f);
         D3DXVECTOR3 out;
         table.vec3Normalize(&out, &v);
         return floatsOf(&out.x, 3);
     },
     2.5e-6},
    // w between 0.5 and 2.5: the refined reciprocal estimate is good to about 2e-7.
    {"Vec3TransformCoord",
     [](const DispatchTable& table, std::mt19937& random) {
         const D3DXVECTOR3 v = test::randomVector(random, -10.0f, 10.0f);
         D3DXMATRIX m = test::randomMatrix(random, -2.0f, 2.0f);
         m._14 = test::randomFloat(random, -0.015f, 0.015f);
         m._24 = test::randomFloat(random, -0.015f, 0.015f);
         m._34 = test::randomFloat(random, -0.015f, 0.015f);
         m._44 = test::randomFloat(random, 1.0f, 2.0f);
         D3DXVECTOR3 out;
         table.vec3TransformCoord(&out, &v, &m);
         return floatsOf(&out.x, 3);
     },
     1e-6},
    {"Vec3TransformNormal",
     [](const DispatchTable& table, std::mt19937& random) {
         const D3DXVECTOR3 v = test::randomVector(random, -10.0f, 10.0f);
         const D3DXMATRIX m = test::randomMatrix(random, -2.0f, 2.0f);
         D3DXVECTOR3 out;
         table.vec3TransformNormal(&out, &v, &m);
         return floatsOf(&out.x, 3);
     },
     1e-6},
    // The sets' own sine and cosine are within about 2e-7 of the library's.
    {"QuaternionRotationYawPitchRoll",
     [](const DispatchTable& table, std::mt19937& random) {
         const float yaw = test::randomFloat(random, -20.0f, 20.0f);
         const float pitch = test::randomFloat(random, -20.0f, 20.0f);
         const float roll = test::randomFloat(random, -20.0f, 20.0f);
         D3DXQUATERNION out;
         table.quaternionRotationYawPitchRoll(&out, yaw, pitch, roll);
         return floatsOf(&out.x, 4);
     },
     1e-6},
    // The remaining used operations are portable in every set; they must stay so exactly.
    {"MatrixRotationQuaternion",
     [](const DispatchTable& table, std::mt19937& random) {
         const D3DXQUATERNION q(
             test::randomFloat(random, -1.0f, 1.0f), test::randomFloat(random, -1.0f, 1.0f),
             test::randomFloat(random, -1.0f, 1.0f), test::randomFloat(random, -1.0f, 1.0f));
         D3DXMATRIX out;
         table.matrixRotationQuaternion(&out, &q);
         return floatsOf(&out.m[0][0], 16);
     },
     0.0},
    {"Float32To16Array",
     [](const DispatchTable& table, std::mt19937& random) {
         std::vector<float> values(37);
         for (float& value : values) {
             value = std::ldexp(test::randomFloat(random, -2.0f, 2.0f),
                                std::uniform_int_distribution<int>(-26, 18)(random));
         }
         std::vector<D3DXFLOAT16> halves(values.size());
         table.float32To16Array(halves.data(), values.data(), UINT(values.size()));
         std::vector<float> out;
         for (const D3DXFLOAT16& half : halves) {
             out.push_back(float(half.value));
         }
         return out;
     },
     0.0},
    // Every half pattern, at a random offset and length so every remainder path runs.
    {"Float16To32Array",
     [](const DispatchTable& table, std::mt19937& random) {
         std::vector<D3DXFLOAT16> halves(40);
         for (D3DXFLOAT16& half : halves) {
             half.value = WORD(std::uniform_int_distribution<int>(0, 0xFFFF)(random));
         }
         const auto offset = std::uniform_int_distribution<UINT>(0, 7)(random);
         const auto count = std::uniform_int_distribution<UINT>(0, 32)(random);
         std::vector<float> out(count);
         table.float16To32Array(out.data(), halves.data() + offset, count);
         return out;
     },
     0.0},
};

class SetAgreement : public testing::TestWithParam<NamedSet> {};

TEST_P(SetAgreement, MatchesThePortableSet) {
    const DispatchTable portable = makeDispatchTable(DispatchLevel::kPortable);
    const DispatchTable set = makeDispatchTable(GetParam().level);
    for (const AgreementCase& c : kAgreementCases) {
        SCOPED_TRACE(c.name);
        std::mt19937 random(1234);
        for (int round = 0; round < 2000; ++round) {
            std::mt19937 same = random;
            const std::vector<float> expected = c.run(portable, random);
            const std::vector<float> actual = c.run(set, same);
            ASSERT_EQ(actual.size(), expected.size());
            if (c.tolerance == 0.0) {
                ASSERT_TRUE(test::sameBits(actual.data(), expected.data(), int(actual.size())))
                    << "round " << round;
            } else {
                ASSERT_TRUE(test::floatsNear(actual.data(), expected.data(), int(actual.size()),
                                             c.tolerance))
                    << "round " << round;
            }
        }
    }
}

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SetAgreement);
INSTANTIATE_TEST_SUITE_P(Math, SetAgreement, testing::ValuesIn(test::simdSets()), test::setName);

} // namespace
} // namespace halv::math
