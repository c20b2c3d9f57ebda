#include "math/dispatch.h"
#include "math/vector_math.h"
#include "tests/math/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace halv::math {
namespace {

using test::identityMatrix;
using test::NamedSet;
using test::near;

class MatrixSet : public testing::TestWithParam<NamedSet> {
protected:
    DispatchTable mTable = makeDispatchTable(GetParam().level);
};

TEST_P(MatrixSet, MultiplyMatchesTheDefinition) {
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        const D3DXMATRIX a = test::randomMatrix(random, -10.0f, 10.0f);
        const D3DXMATRIX b = test::randomMatrix(random, -10.0f, 10.0f);
        D3DXMATRIX expected;
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) {
                double sum = 0.0;
                for (int k = 0; k < 4; ++k) {
                    sum += double(a.m[i][k]) * double(b.m[k][j]);
                }
                expected.m[i][j] = float(sum);
            }
        }
        D3DXMATRIX product;
        ASSERT_EQ(mTable.matrixMultiply(&product, &a, &b), &product);
        // Four products of up to 100 summed: a few units of 1e-5 absolute at worst.
        ASSERT_TRUE(near(product, expected, 5e-6 * 100.0)) << "round " << round;
    }
}

TEST_P(MatrixSet, MultiplyIntoAnInput) {
    std::mt19937 random(11);
    const D3DXMATRIX a = test::randomMatrix(random, -3.0f, 3.0f);
    const D3DXMATRIX b = test::randomMatrix(random, -3.0f, 3.0f);
    D3DXMATRIX separate;
    mTable.matrixMultiply(&separate, &a, &b);
    D3DXMATRIX square;
    mTable.matrixMultiply(&square, &a, &a);

    D3DXMATRIX outIsFirst = a;
    mTable.matrixMultiply(&outIsFirst, &outIsFirst, &b);
    EXPECT_TRUE(test::sameBits(&outIsFirst.m[0][0], &separate.m[0][0], 16));
    D3DXMATRIX outIsSecond = b;
    mTable.matrixMultiply(&outIsSecond, &a, &outIsSecond);
    EXPECT_TRUE(test::sameBits(&outIsSecond.m[0][0], &separate.m[0][0], 16));
    D3DXMATRIX outIsBoth = a;
    mTable.matrixMultiply(&outIsBoth, &outIsBoth, &outIsBoth);
    EXPECT_TRUE(test::sameBits(&outIsBoth.m[0][0], &square.m[0][0], 16));
}

TEST_P(MatrixSet, YawPitchRollIsRollThenPitchThenYaw) {
    // The set's quaternion, turned into a matrix, against the three axis rotations.
    const struct {
        float yaw;
        float pitch;
        float roll;
    } angles[] = {
        {0.5f, 0.0f, 0.0f},  {0.0f, 0.7f, 0.0f},   {0.0f, 0.0f, -1.1f},
        {0.3f, -0.4f, 2.0f}, {-3.0f, 1.5f, 0.25f}, {6.0f, -5.5f, 9.0f},
    };
    for (const auto& a : angles) {
        SCOPED_TRACE(testing::Message() << a.yaw << " " << a.pitch << " " << a.roll);
        D3DXQUATERNION q;
        ASSERT_EQ(mTable.quaternionRotationYawPitchRoll(&q, a.yaw, a.pitch, a.roll), &q);
        EXPECT_NEAR(D3DXQuaternionLengthSq(&q), 1.0f, 1e-6);
        D3DXMATRIX fromQuaternion;
        mTable.matrixRotationQuaternion(&fromQuaternion, &q);

        D3DXMATRIX roll;
        D3DXMATRIX pitch;
        D3DXMATRIX yaw;
        D3DXMatrixRotationZ(&roll, a.roll);
        D3DXMatrixRotationX(&pitch, a.pitch);
        D3DXMatrixRotationY(&yaw, a.yaw);
        EXPECT_TRUE(near(fromQuaternion, roll * pitch * yaw, 2e-6));
    }
}

TEST_P(MatrixSet, TransformNormalIgnoresTranslationAndW) {
    D3DXMATRIX m;
    D3DXMatrixRotationY(&m, 0.5f);
    m._41 = 10.0f;
    m._42 = -20.0f;
    m._43 = 30.0f;
    m._14 = 5.0f;
    m._44 = 9.0f;
    D3DXVECTOR3 v(1.0f, 2.0f, 3.0f);
    D3DXVECTOR3 out;
    EXPECT_EQ(mTable.vec3TransformNormal(&out, &v, &m), &out);
    const D3DXVECTOR3 expected(std::cos(0.5f) + 3.0f * std::sin(0.5f), 2.0f,
                               -std::sin(0.5f) + 3.0f * std::cos(0.5f));
    EXPECT_TRUE(near(out, expected, 1e-6));
    mTable.vec3TransformNormal(&v, &v, &m);
    EXPECT_TRUE(test::sameBits(&v.x, &out.x, 3));
}

// The portable set takes a w within the single-precision epsilon of 1 as 1; the SSE sets
// always divide, by a refined estimate of 1/w.
TEST_P(MatrixSet, TransformCoordDividesByW) {
    const bool portable = GetParam().level == DispatchLevel::kPortable;
    const D3DXVECTOR3 point(3.0f, 5.0f, 7.0f);
    const struct {
        const char* name;
        float w;
        bool portableDivides;
    } cases[] = {
        {"One", 1.0f, false},
        {"OneUlpAbove", 1.0f + 0x1p-23f, false},
        {"OneUlpBelow", 1.0f - 0x1p-24f, false},
        {"TwoUlpsBelow", 1.0f - 0x1p-23f, false},
        {"TwoUlpsAbove", 1.0f + 0x1p-22f, true},
        {"ThreeUlpsBelow", 1.0f - 0x1.8p-23f, true},
        {"Two", 2.0f, true},
        {"Negative", -0.5f, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // w comes from _44 alone (the point's w is 1, the other w-column entries are 0).
        D3DXMATRIX m = identityMatrix();
        m._44 = c.w;
        D3DXVECTOR3 out;
        EXPECT_EQ(mTable.vec3TransformCoord(&out, &point, &m), &out);
        if (portable) {
            D3DXVECTOR3 expected = point;
            if (c.portableDivides) {
                expected = point * (1.0f / c.w);
            }
            EXPECT_TRUE(test::sameBits(&out.x, &expected.x, 3));
        } else {
            const D3DXVECTOR3 exact(float(3.0 / c.w), float(5.0 / c.w), float(7.0 / c.w));
            EXPECT_TRUE(near(out, exact, 1e-6));
        }
    }

    // A projection: the x, y, z it builds and the w it divides by.
    D3DXMATRIX projection;
    D3DXMatrixPerspectiveFovLH(&projection, D3DX_PI / 2.0f, 1.0f, 1.0f, 100.0f);
    D3DXVECTOR3 inPlace(2.0f, -1.0f, 4.0f);
    mTable.vec3TransformCoord(&inPlace, &inPlace, &projection);
    const float q = 100.0f / 99.0f;
    const D3DXVECTOR3 expected(0.5f, -0.25f, (4.0f * q - q) / 4.0f);
    EXPECT_TRUE(near(inPlace, expected, 1e-6));
}

INSTANTIATE_TEST_SUITE_P(Math, MatrixSet, testing::ValuesIn(test::allSets()), test::setName);

TEST(Matrix, YawAloneIsARotationAboutY) {
    D3DXMATRIX m;
    EXPECT_EQ(D3DXMatrixRotationYawPitchRoll(&m, 0.5f, 0.0f, 0.0f), &m);
    const float c = std::cos(0.5f);
    const float s = std::sin(0.5f);
    const D3DXMATRIX expected(c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1);
    EXPECT_TRUE(near(m, expected, 1e-6));
}

TEST(Matrix, RotationQuaternionUsesTheQuaternionAsGiven) {
    // (1, 0, 0, 1) has length sqrt 2; normalising first would give a 90-degree x rotation.
    const D3DXQUATERNION q(1.0f, 0.0f, 0.0f, 1.0f);
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &q);
    EXPECT_EQ(m, D3DXMATRIX(1, 0, 0, 0, 0, -1, 2, 0, 0, -2, -1, 0, 0, 0, 0, 1));
}

TEST(Matrix, TranslationMovesPointsNotDirections) {
    D3DXMATRIX m;
    EXPECT_EQ(D3DXMatrixTranslation(&m, 1.0f, -2.0f, 3.5f), &m);
    EXPECT_EQ(m, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, -2, 3.5f, 1));
    const D3DXVECTOR3 v(10.0f, 20.0f, 30.0f);
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &v, &m);
    EXPECT_TRUE(near(out, D3DXVECTOR3(11.0f, 18.0f, 33.5f), 1e-6));
    D3DXVec3TransformNormal(&out, &v, &m);
    EXPECT_EQ(out, v);
}

TEST(Matrix, PerspectiveFovExample) {
    D3DXMATRIX m;
    EXPECT_EQ(D3DXMatrixPerspectiveFovLH(&m, D3DX_PI / 2.0f, 1.0f, 1.0f, 100.0f), &m);
    const float q = 100.0f / 99.0f;
    const D3DXMATRIX expected(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, q, 1, 0, 0, -q, 0);
    EXPECT_TRUE(near(m, expected, 1e-6));

    // Aspect divides the x scale only; the near and far planes land on z 0 and 1.
    D3DXMatrixPerspectiveFovLH(&m, 0.8f, 4.0f / 3.0f, 0.5f, 2000.0f);
    const float h = std::cos(0.4f) / std::sin(0.4f);
    EXPECT_NEAR(m._22, h, 1e-5);
    EXPECT_NEAR(m._11, h * 0.75f, 1e-5);
    const D3DXVECTOR3 nearPoint(0.0f, 0.0f, 0.5f);
    const D3DXVECTOR3 farPoint(0.0f, 0.0f, 2000.0f);
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &nearPoint, &m);
    EXPECT_NEAR(out.z, 0.0f, 1e-6);
    D3DXVec3TransformCoord(&out, &farPoint, &m);
    EXPECT_NEAR(out.z, 1.0f, 1e-6);
}

TEST(Matrix, LookAtPutsTheEyeAtTheOriginFacingPlusZ) {
    const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
    {
        const D3DXVECTOR3 eye(0.0f, 0.0f, -5.0f);
        const D3DXVECTOR3 at(0.0f, 0.0f, 0.0f);
        D3DXMATRIX view;
        EXPECT_EQ(D3DXMatrixLookAtLH(&view, &eye, &at, &up), &view);
        EXPECT_TRUE(near(view, D3DXMATRIX(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1), 1e-6));
    }
    std::mt19937 random(3);
    for (int round = 0; round < 50; ++round) {
        const D3DXVECTOR3 eye = test::randomVector(random, -50.0f, 50.0f);
        D3DXVECTOR3 at = test::randomVector(random, -50.0f, 50.0f);
        at.y = eye.y + test::randomFloat(random, -1.0f, 1.0f);
        D3DXMATRIX view;
        D3DXMatrixLookAtLH(&view, &eye, &at, &up);
        D3DXVECTOR3 out;
        D3DXVec3TransformCoord(&out, &eye, &view);
        EXPECT_TRUE(near(out, D3DXVECTOR3(0.0f, 0.0f, 0.0f), 1e-4));
        D3DXVec3TransformCoord(&out, &at, &view);
        const D3DXVECTOR3 toTarget = at - eye;
        EXPECT_TRUE(near(out, D3DXVECTOR3(0.0f, 0.0f, D3DXVec3Length(&toTarget)), 5e-5));
        // The world's up stays up on screen; the camera's x axis stays horizontal.
        D3DXVec3TransformNormal(&out, &up, &view);
        EXPECT_GT(out.y, 0.0f);
        EXPECT_NEAR(view._21, 0.0f, 1e-6);

        D3DXMATRIX viewRH;
        D3DXMatrixLookAtRH(&viewRH, &eye, &at, &up);
        D3DXVec3TransformCoord(&out, &at, &viewRH);
        EXPECT_TRUE(near(out, D3DXVECTOR3(0.0f, 0.0f, -D3DXVec3Length(&toTarget)), 5e-5));
    }
}

TEST(Matrix, InverseAndDeterminant) {
    std::mt19937 random(5);
    for (int round = 0; round < 50; ++round) {
        D3DXMATRIX m = test::randomMatrix(random, -1.0f, 1.0f);
        for (int i = 0; i < 4; ++i) {
            m.m[i][i] += 4.0f;
        }
        D3DXMATRIX inverse;
        FLOAT determinant = 0.0f;
        ASSERT_EQ(D3DXMatrixInverse(&inverse, &determinant, &m), &inverse);
        EXPECT_NEAR(determinant, D3DXMatrixDeterminant(&m), 1e-6 * std::fabs(determinant));
        EXPECT_TRUE(near(m * inverse, identityMatrix(), 1e-6));
        D3DXMatrixInverse(&m, nullptr, &m);
        EXPECT_TRUE(test::sameBits(&m.m[0][0], &inverse.m[0][0], 16));
    }

    D3DXMATRIX scaling;
    D3DXMatrixScaling(&scaling, 2.0f, 3.0f, 4.0f);
    EXPECT_EQ(D3DXMatrixDeterminant(&scaling), 24.0f);

    // A singular matrix: null, the determinant reported, `out` left alone.
    D3DXMATRIX singular = identityMatrix();
    singular._33 = 0.0f;
    D3DXMATRIX untouched = scaling;
    FLOAT determinant = 1.0f;
    EXPECT_EQ(D3DXMatrixInverse(&untouched, &determinant, &singular), nullptr);
    EXPECT_EQ(determinant, 0.0f);
    EXPECT_EQ(untouched, scaling);
}

TEST(Matrix, TransposeAndMultiplyTranspose) {
    std::mt19937 random(8);
    const D3DXMATRIX a = test::randomMatrix(random, -2.0f, 2.0f);
    const D3DXMATRIX b = test::randomMatrix(random, -2.0f, 2.0f);
    D3DXMATRIX transposed;
    D3DXMatrixTranspose(&transposed, &a);
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(transposed(i, j), a(j, i));
        }
    }
    const D3DXMATRIX product = a * b;
    D3DXMATRIX expected;
    D3DXMatrixTranspose(&expected, &product);
    for (const DispatchTable& table :
         {portableTable(), makeDispatchTable(DispatchLevel::kPortable)}) {
        D3DXMATRIX out = a;
        table.matrixMultiplyTranspose(&out, &out, &b);
        EXPECT_TRUE(near(out, expected, 1e-6));
    }
}

TEST(Matrix, AxisRotationsAgree) {
    const struct {
        D3DXVECTOR3 axis;
        D3DXMATRIX (*single)(float);
    } axes[] = {
        {{1, 0, 0},
         [](float angle) {
             D3DXMATRIX m;
             D3DXMatrixRotationX(&m, angle);
             return m;
         }},
        {{0, 2, 0},
         [](float angle) {
             D3DXMATRIX m;
             D3DXMatrixRotationY(&m, angle);
             return m;
         }},
        {{0, 0, -1},
         [](float angle) {
             D3DXMATRIX m;
             D3DXMatrixRotationZ(&m, -angle);
             return m;
         }},
    };
    for (const auto& a : axes) {
        D3DXMATRIX m;
        D3DXMatrixRotationAxis(&m, &a.axis, 0.9f);
        EXPECT_TRUE(near(m, a.single(0.9f), 1e-6));
    }
    // Left-handed: a quarter turn about y takes +z to +x, about x takes +y to +z.
    D3DXMATRIX m;
    D3DXMatrixRotationY(&m, D3DX_PI / 2.0f);
    D3DXVECTOR3 out;
    const D3DXVECTOR3 z(0, 0, 1);
    D3DXVec3TransformNormal(&out, &z, &m);
    EXPECT_TRUE(near(out, D3DXVECTOR3(1, 0, 0), 1e-6));
    D3DXMatrixRotationX(&m, D3DX_PI / 2.0f);
    const D3DXVECTOR3 y(0, 1, 0);
    D3DXVec3TransformNormal(&out, &y, &m);
    EXPECT_TRUE(near(out, D3DXVECTOR3(0, 0, 1), 1e-6));
}

TEST(Matrix, ProjectionsMapTheViewVolumeToClipSpace) {
    D3DXMATRIX perspective;
    D3DXMatrixPerspectiveLH(&perspective, 4.0f, 2.0f, 1.0f, 10.0f);
    D3DXMATRIX offCenter;
    D3DXMatrixPerspectiveOffCenterLH(&offCenter, -1.0f, 3.0f, -2.0f, 0.0f, 1.0f, 10.0f);
    D3DXMATRIX ortho;
    D3DXMatrixOrthoLH(&ortho, 4.0f, 2.0f, 1.0f, 10.0f);
    D3DXMATRIX orthoOffCenter;
    D3DXMatrixOrthoOffCenterLH(&orthoOffCenter, -1.0f, 3.0f, -2.0f, 0.0f, 1.0f, 10.0f);
    const struct {
        const char* name;
        const D3DXMATRIX* m;
        D3DXVECTOR3 point;
        D3DXVECTOR3 expected;
    } cases[] = {
        {"PerspectiveNearCorner", &perspective, {2, 1, 1}, {1, 1, 0}},
        {"PerspectiveFarCorner", &perspective, {-20, -10, 10}, {-1, -1, 1}},
        {"OffCenterNearCorner", &offCenter, {-1, -2, 1}, {-1, -1, 0}},
        {"OffCenterFarCorner", &offCenter, {30, 0, 10}, {1, 1, 1}},
        {"OrthoNear", &ortho, {2, -1, 1}, {1, -1, 0}},
        {"OrthoFar", &ortho, {-2, 1, 10}, {-1, 1, 1}},
        {"OrthoOffCenterNear", &orthoOffCenter, {3, -2, 1}, {1, -1, 0}},
        {"OrthoOffCenterFar", &orthoOffCenter, {-1, 0, 10}, {-1, 1, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        D3DXVECTOR3 out;
        D3DXVec3TransformCoord(&out, &c.point, c.m);
        EXPECT_TRUE(near(out, c.expected, 1e-6));
    }
}

D3DXQUATERNION axisRotation(D3DXVECTOR3 axis, float angle) {
    D3DXQUATERNION q;
    D3DXQuaternionRotationAxis(&q, &axis, angle);
    return q;
}

TEST(Matrix, TransformationAndDecompose) {
    const D3DXVECTOR3 scaling(2.0f, 0.5f, 3.0f);
    const D3DXQUATERNION rotation = axisRotation({1.0f, 2.0f, -0.5f}, 1.3f);
    const D3DXVECTOR3 translation(4.0f, -5.0f, 6.0f);
    D3DXMATRIX m;
    EXPECT_EQ(
        D3DXMatrixTransformation(&m, nullptr, nullptr, &scaling, nullptr, &rotation, &translation),
        &m);
    D3DXMATRIX s;
    D3DXMatrixScaling(&s, scaling.x, scaling.y, scaling.z);
    D3DXMATRIX r;
    D3DXMatrixRotationQuaternion(&r, &rotation);
    D3DXMATRIX t;
    D3DXMatrixTranslation(&t, translation.x, translation.y, translation.z);
    EXPECT_TRUE(near(m, s * r * t, 1e-6));

    D3DXVECTOR3 outScaling;
    D3DXQUATERNION outRotation;
    D3DXVECTOR3 outTranslation;
    EXPECT_EQ(D3DXMatrixDecompose(&outScaling, &outRotation, &outTranslation, &m), S_OK);
    EXPECT_TRUE(near(outScaling, scaling, 1e-5));
    EXPECT_TRUE(test::sameRotation(outRotation, rotation, 1e-5));
    EXPECT_EQ(outTranslation, translation);

    // A mirror: the x scale takes the sign and the parts still rebuild the matrix.
    D3DXMATRIX mirror;
    D3DXMatrixScaling(&mirror, -1.0f, 1.0f, 1.0f);
    D3DXMATRIX mirrored = mirror * m;
    EXPECT_EQ(D3DXMatrixDecompose(&outScaling, &outRotation, &outTranslation, &mirrored), S_OK);
    EXPECT_LT(outScaling.x, 0.0f);
    D3DXMATRIX rebuilt;
    D3DXMatrixTransformation(&rebuilt, nullptr, nullptr, &outScaling, nullptr, &outRotation,
                             &outTranslation);
    EXPECT_TRUE(near(rebuilt, mirrored, 1e-5));

    // A zero scale cannot be split: nothing is written.
    D3DXMATRIX flat = m;
    flat._21 = flat._22 = flat._23 = 0.0f;
    const D3DXVECTOR3 marker(7.0f, 7.0f, 7.0f);
    outScaling = marker;
    EXPECT_EQ(D3DXMatrixDecompose(&outScaling, &outRotation, &outTranslation, &flat),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(outScaling, marker);
}

TEST(Matrix, TransformationsAboutCentres) {
    const D3DXVECTOR3 centre(1.0f, 1.0f, 0.0f);
    const D3DXQUATERNION quarterTurnZ = axisRotation({0.0f, 0.0f, 1.0f}, D3DX_PI / 2.0f);
    const D3DXVECTOR3 move(10.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 point(2.0f, 1.0f, 0.0f);
    D3DXVECTOR3 out;

    // Scaled by 2 about the origin, then a quarter turn about the centre, then moved.
    D3DXMATRIX affine;
    D3DXMatrixAffineTransformation(&affine, 2.0f, &centre, &quarterTurnZ, &move);
    D3DXVec3TransformCoord(&out, &point, &affine);
    EXPECT_TRUE(near(out, D3DXVECTOR3(10.0f, 4.0f, 0.0f), 1e-6));

    const D3DXVECTOR2 centre2(1.0f, 1.0f);
    const D3DXVECTOR2 move2(10.0f, 0.0f);
    D3DXMATRIX affine2;
    D3DXMatrixAffineTransformation2D(&affine2, 2.0f, &centre2, D3DX_PI / 2.0f, &move2);
    D3DXVec3TransformCoord(&out, &point, &affine2);
    EXPECT_TRUE(near(out, D3DXVECTOR3(10.0f, 4.0f, 0.0f), 1e-6));
    // The plane form leaves z alone.
    EXPECT_EQ(affine2._33, 1.0f);

    // Scaling about a centre keeps the centre fixed.
    const D3DXVECTOR3 scaling(3.0f, 3.0f, 3.0f);
    D3DXMATRIX aboutCentre;
    D3DXMatrixTransformation(&aboutCentre, &centre, nullptr, &scaling, nullptr, nullptr, nullptr);
    D3DXVec3TransformCoord(&out, &point, &aboutCentre);
    EXPECT_TRUE(near(out, D3DXVECTOR3(4.0f, 1.0f, 0.0f), 1e-6));

    // Scaling along axes turned by 45 degrees stretches the diagonal only.
    const D3DXVECTOR2 stretch(2.0f, 1.0f);
    D3DXMATRIX along;
    D3DXMatrixTransformation2D(&along, nullptr, D3DX_PI / 4.0f, &stretch, nullptr, 0.0f, nullptr);
    const D3DXVECTOR3 diagonal(1.0f, 1.0f, 0.0f);
    const D3DXVECTOR3 across(1.0f, -1.0f, 0.0f);
    D3DXVec3TransformCoord(&out, &diagonal, &along);
    EXPECT_TRUE(near(out, D3DXVECTOR3(2.0f, 2.0f, 0.0f), 1e-6));
    D3DXVec3TransformCoord(&out, &across, &along);
    EXPECT_TRUE(near(out, across, 1e-6));
}

TEST(Matrix, ReflectAndShadow) {
    // The plane y = 1, given unnormalised.
    const D3DXPLANE plane(0.0f, 2.0f, 0.0f, -2.0f);
    D3DXMATRIX reflect;
    D3DXMatrixReflect(&reflect, &plane);
    const D3DXVECTOR3 point(3.0f, 4.0f, 5.0f);
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &point, &reflect);
    EXPECT_TRUE(near(out, D3DXVECTOR3(3.0f, -2.0f, 5.0f), 1e-6));

    // Straight down from a directional light, and from a point light above the origin.
    const D3DXVECTOR4 sun(0.0f, 1.0f, 0.0f, 0.0f);
    D3DXMATRIX shadow;
    D3DXMatrixShadow(&shadow, &sun, &plane);
    D3DXVec3TransformCoord(&out, &point, &shadow);
    EXPECT_TRUE(near(out, D3DXVECTOR3(3.0f, 1.0f, 5.0f), 1e-6));
    const D3DXVECTOR4 lamp(0.0f, 7.0f, 0.0f, 1.0f);
    D3DXMatrixShadow(&shadow, &lamp, &plane);
    D3DXVec3TransformCoord(&out, &point, &shadow);
    EXPECT_TRUE(near(out, D3DXVECTOR3(6.0f, 1.0f, 10.0f), 1e-5));
}

} // namespace
} // namespace halv::math
