#include "math/vector_math.h"
#include "tests/math/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace halv::math {
namespace {

using test::near;
using test::sameRotation;

D3DXQUATERNION axisRotation(D3DXVECTOR3 axis, float angle) {
    D3DXQUATERNION q;
    D3DXQuaternionRotationAxis(&q, &axis, angle);
    return q;
}

D3DXMATRIX matrixOf(const D3DXQUATERNION& q) {
    D3DXMATRIX m;
    D3DXMatrixRotationQuaternion(&m, &q);
    return m;
}

D3DXQUATERNION randomRotation(std::mt19937& random) {
    return axisRotation(test::randomVector(random, -1.0f, 1.0f),
                        test::randomFloat(random, -3.1f, 3.1f));
}

TEST(Quaternion, MultiplyComposesLikeMatrices) {
    std::mt19937 random(21);
    for (int round = 0; round < 50; ++round) {
        const D3DXQUATERNION q1 = randomRotation(random);
        const D3DXQUATERNION q2 = randomRotation(random);
        D3DXQUATERNION product;
        EXPECT_EQ(D3DXQuaternionMultiply(&product, &q1, &q2), &product);
        EXPECT_TRUE(near(matrixOf(product), matrixOf(q1) * matrixOf(q2), 2e-6));
        D3DXQUATERNION inPlace = q1;
        inPlace *= q2;
        EXPECT_TRUE(near(inPlace, product, 1e-7));
    }
}

TEST(Quaternion, RotationMatrixInvertsRotationQuaternion) {
    std::mt19937 random(22);
    std::vector<D3DXQUATERNION> rotations = {
        {0, 0, 0, 1},
        // Half turns: trace -1, so each of the diagonal branches gets its turn.
        axisRotation({1, 0, 0}, D3DX_PI),
        axisRotation({0, 1, 0}, D3DX_PI),
        axisRotation({0, 0, 1}, D3DX_PI),
        axisRotation({1, 1, 0.2f}, 3.0f),
    };
    for (int round = 0; round < 50; ++round) {
        rotations.push_back(randomRotation(random));
    }
    for (const D3DXQUATERNION& q : rotations) {
        const D3DXMATRIX m = matrixOf(q);
        D3DXQUATERNION back;
        EXPECT_EQ(D3DXQuaternionRotationMatrix(&back, &m), &back);
        EXPECT_TRUE(sameRotation(back, q, 2e-6));
    }
}

TEST(Quaternion, AxisAngleRoundTrip) {
    const D3DXVECTOR3 axis(0.0f, 3.0f, 4.0f);
    const D3DXQUATERNION q = axisRotation(axis, 1.2f);
    EXPECT_NEAR(D3DXQuaternionLength(&q), 1.0f, 1e-6);
    D3DXVECTOR3 outAxis;
    FLOAT angle = 0.0f;
    D3DXQuaternionToAxisAngle(&q, &outAxis, &angle);
    EXPECT_NEAR(angle, 1.2f, 1e-6);
    EXPECT_TRUE(near(outAxis, D3DXVECTOR3(0.0f, 0.6f, 0.8f) * std::sin(0.6f), 1e-6));
}

TEST(Quaternion, InverseAndNormalize) {
    const D3DXQUATERNION q(1.0f, -2.0f, 0.5f, 3.0f);
    D3DXQUATERNION inverse;
    D3DXQuaternionInverse(&inverse, &q);
    D3DXQUATERNION product;
    D3DXQuaternionMultiply(&product, &q, &inverse);
    EXPECT_TRUE(near(product, D3DXQUATERNION(0, 0, 0, 1), 1e-6));
    const D3DXQUATERNION zero(0, 0, 0, 0);
    D3DXQuaternionInverse(&inverse, &zero);
    EXPECT_EQ(inverse, zero);

    D3DXQUATERNION unit;
    D3DXQuaternionNormalize(&unit, &q);
    EXPECT_NEAR(D3DXQuaternionLength(&unit), 1.0f, 2e-6);
    EXPECT_TRUE(near(unit * D3DXQuaternionLength(&q), q, 1e-5));
}

TEST(Quaternion, LnAndExpAreInverse) {
    std::mt19937 random(23);
    for (int round = 0; round < 50; ++round) {
        const D3DXQUATERNION q = randomRotation(random);
        D3DXQUATERNION logarithm;
        D3DXQuaternionLn(&logarithm, &q);
        EXPECT_EQ(logarithm.w, 0.0f);
        D3DXQUATERNION back;
        D3DXQuaternionExp(&back, &logarithm);
        EXPECT_TRUE(near(back, q, 2e-6));
    }
    const D3DXQUATERNION identity(0, 0, 0, 1);
    D3DXQUATERNION logarithm;
    D3DXQuaternionLn(&logarithm, &identity);
    EXPECT_EQ(logarithm, D3DXQUATERNION(0, 0, 0, 0));
}

TEST(Quaternion, SlerpFollowsTheShorterArc) {
    const D3DXVECTOR3 axis(1.0f, 2.0f, 2.0f);
    const D3DXQUATERNION from = axisRotation(axis, 0.2f);
    const D3DXQUATERNION to = axisRotation(axis, 1.4f);
    D3DXQUATERNION out;
    const struct {
        float t;
        float angle;
    } cases[] = {{0.0f, 0.2f}, {1.0f, 1.4f}, {0.5f, 0.8f}, {0.25f, 0.5f}, {2.0f, 2.6f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.t);
        D3DXQuaternionSlerp(&out, &from, &to, c.t);
        EXPECT_TRUE(near(out, axisRotation(axis, c.angle), 2e-6));
        // -to is the same rotation; the result does not change.
        const D3DXQUATERNION negated = -to;
        D3DXQUATERNION viaNegated;
        D3DXQuaternionSlerp(&viaNegated, &from, &negated, c.t);
        EXPECT_TRUE(near(viaNegated, out, 2e-6));
    }
    // Nearly equal rotations take the straight line and stay finite.
    const D3DXQUATERNION close = axisRotation(axis, 0.2001f);
    D3DXQuaternionSlerp(&out, &from, &close, 0.5f);
    EXPECT_TRUE(near(out, axisRotation(axis, 0.20005f), 1e-6));
}

TEST(Quaternion, SquadThroughEvenlySpacedKeys) {
    // Keys a constant step apart about one axis: the curve is the plain rotation.
    const D3DXVECTOR3 axis(0.0f, 1.0f, 0.0f);
    D3DXQUATERNION keys[4];
    for (int i = 0; i < 4; ++i) {
        keys[i] = axisRotation(axis, 0.3f * float(i));
    }
    // A neighbour given as -q lies on the far side of the sphere and is brought back.
    const D3DXQUATERNION farQ0 = -keys[0];
    D3DXQUATERNION a;
    D3DXQUATERNION b;
    D3DXQUATERNION c;
    D3DXQuaternionSquadSetup(&a, &b, &c, &farQ0, &keys[1], &keys[2], &keys[3]);
    EXPECT_TRUE(near(c, keys[2], 1e-6));
    for (float t : {0.0f, 0.25f, 0.5f, 1.0f}) {
        SCOPED_TRACE(t);
        D3DXQUATERNION out;
        D3DXQuaternionSquad(&out, &keys[1], &a, &b, &c, t);
        EXPECT_TRUE(near(out, axisRotation(axis, 0.3f + 0.3f * t), 2e-6));
    }
}

TEST(Quaternion, BaryCentricCorners) {
    const D3DXQUATERNION q1 = axisRotation({1, 0, 0}, 0.5f);
    const D3DXQUATERNION q2 = axisRotation({0, 1, 0}, 0.7f);
    const D3DXQUATERNION q3 = axisRotation({0, 0, 1}, -0.9f);
    const struct {
        float f;
        float g;
        const D3DXQUATERNION* expected;
    } cases[] = {{0.0f, 0.0f, &q1}, {1.0f, 0.0f, &q2}, {0.0f, 1.0f, &q3}};
    for (const auto& c : cases) {
        D3DXQUATERNION out;
        D3DXQuaternionBaryCentric(&out, &q1, &q2, &q3, c.f, c.g);
        EXPECT_TRUE(near(out, *c.expected, 2e-6)) << c.f << " " << c.g;
    }
}

} // namespace
} // namespace halv::math
