#include "math/vector_math.h"
#include "tests/math/test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace halv::math {
namespace {

using test::near;

TEST(Vector, CurvesMeetTheirKeys) {
    const D3DXVECTOR3 v0(-1.0f, 0.0f, 2.0f);
    const D3DXVECTOR3 v1(0.0f, 1.0f, 0.0f);
    const D3DXVECTOR3 v2(2.0f, 3.0f, -1.0f);
    const D3DXVECTOR3 v3(5.0f, 1.0f, 1.0f);
    const D3DXVECTOR3 tangent(1.0f, 0.0f, 0.0f);
    D3DXVECTOR3 out;
    const struct {
        float s;
        D3DXVECTOR3 hermite;
        D3DXVECTOR3 catmullRom;
    } cases[] = {
        {0.0f, v1, v1},
        {1.0f, v2, v2},
        // Halfway: Hermite gives (v1 + v2) / 2 plus (t1 - t2) / 8; Catmull-Rom 9/16 of v1 + v2
        // less 1/16 of v0 + v3.
        {0.5f, (v1 + v2) * 0.5f, (v1 + v2) * 0.5625f - (v0 + v3) * 0.0625f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.s);
        EXPECT_EQ(D3DXVec3Hermite(&out, &v1, &tangent, &v2, &tangent, c.s), &out);
        EXPECT_TRUE(near(out, c.hermite, 1e-6));
        EXPECT_EQ(D3DXVec3CatmullRom(&out, &v0, &v1, &v2, &v3, c.s), &out);
        EXPECT_TRUE(near(out, c.catmullRom, 1e-6));
    }
    // A Hermite curve leaves v1 along t1: just after s = 0 it has moved by about s * t1.
    const D3DXVECTOR3 steep(10.0f, 0.0f, 0.0f);
    D3DXVec3Hermite(&out, &v1, &steep, &v2, &steep, 1e-3f);
    EXPECT_NEAR(out.x, 0.01f, 1e-4);

    EXPECT_EQ(D3DXVec3BaryCentric(&out, &v1, &v2, &v3, 0.25f, 0.5f), &out);
    EXPECT_TRUE(near(out, v1 + (v2 - v1) * 0.25f + (v3 - v1) * 0.5f, 1e-6));

    // The two- and four-component forms agree with the three-component one.
    const D3DXVECTOR2 a(v0.x, v0.y), b(v1.x, v1.y), c2(v2.x, v2.y), d(v3.x, v3.y);
    D3DXVECTOR2 out2;
    D3DXVec2CatmullRom(&out2, &a, &b, &c2, &d, 0.3f);
    D3DXVec3CatmullRom(&out, &v0, &v1, &v2, &v3, 0.3f);
    EXPECT_NEAR(out2.x, out.x, 1e-6);
    EXPECT_NEAR(out2.y, out.y, 1e-6);
    const D3DXVECTOR4 a4(v0, 1.0f), b4(v1, 2.0f), c4(v2, 3.0f), d4(v3, 4.0f);
    D3DXVECTOR4 out4;
    D3DXVec4Hermite(&out4, &a4, &b4, &c4, &d4, 1.0f);
    EXPECT_EQ(out4, c4);
    D3DXVec4BaryCentric(&out4, &a4, &b4, &c4, 0.0f, 1.0f);
    EXPECT_EQ(out4, c4);
    D3DXVec4CatmullRom(&out4, &a4, &b4, &c4, &d4, 0.0f);
    EXPECT_EQ(out4, b4);
    D3DXVec2Hermite(&out2, &a, &b, &c2, &d, 0.0f);
    EXPECT_EQ(out2, a);
    D3DXVec2BaryCentric(&out2, &a, &b, &c2, 1.0f, 0.0f);
    EXPECT_EQ(out2, b);
}

// A vertex as a buffer holds it: the position followed by other data.
struct Vertex {
    D3DXVECTOR3 position;
    float extra;
};

TEST(Vector, ArrayTransformsWalkTheirStrides) {
    D3DXMATRIX m;
    D3DXMatrixRotationYawPitchRoll(&m, 0.3f, -0.2f, 0.9f);
    m._41 = 1.0f;
    m._42 = 2.0f;
    m._43 = 3.0f;
    m._14 = 0.1f;
    const std::vector<Vertex> vertices = {
        {{1, 2, 3}, 0.5f}, {{-4, 0, 2}, 0.5f}, {{0, 0, 0}, 0.5f}, {{7, -1, 5}, 0.5f}};
    const UINT count = static_cast<UINT>(vertices.size());

    // Results every 20 bytes, with the gaps between them marked.
    constexpr std::size_t kOutStride = 20;
    std::vector<unsigned char> buffer(kOutStride * count, 0xCD);
    auto outputAt = [&buffer](std::size_t i) { return buffer.data() + kOutStride * i; };
    auto gapsUntouched = [&](std::size_t used) {
        for (std::size_t i = 0; i < buffer.size(); ++i) {
            if (i % kOutStride >= used && buffer[i] != 0xCD) {
                return false;
            }
        }
        return true;
    };

    D3DXVec3TransformCoordArray(reinterpret_cast<D3DXVECTOR3*>(buffer.data()), kOutStride,
                                &vertices[0].position, sizeof(Vertex), &m, count);
    for (UINT i = 0; i < count; ++i) {
        D3DXVECTOR3 expected;
        D3DXVec3TransformCoord(&expected, &vertices[i].position, &m);
        D3DXVECTOR3 actual;
        std::memcpy(&actual, outputAt(i), sizeof actual);
        // The single routine may be a processor-specific one: it agrees up to rounding.
        EXPECT_TRUE(near(actual, expected, 1e-6)) << i;
    }
    EXPECT_TRUE(gapsUntouched(sizeof(D3DXVECTOR3)));

    D3DXVec3TransformNormalArray(reinterpret_cast<D3DXVECTOR3*>(buffer.data()), kOutStride,
                                 &vertices[0].position, sizeof(Vertex), &m, count);
    for (UINT i = 0; i < count; ++i) {
        D3DXVECTOR3 expected;
        D3DXVec3TransformNormal(&expected, &vertices[i].position, &m);
        D3DXVECTOR3 actual;
        std::memcpy(&actual, outputAt(i), sizeof actual);
        EXPECT_TRUE(near(actual, expected, 1e-6)) << i;
    }

    std::vector<D3DXVECTOR4> full(count);
    D3DXVec3TransformArray(full.data(), sizeof(D3DXVECTOR4), &vertices[0].position, sizeof(Vertex),
                           &m, count);
    for (UINT i = 0; i < count; ++i) {
        const D3DXVECTOR4 homogeneous(vertices[i].position, 1.0f);
        D3DXVECTOR4 expected;
        D3DXVec4Transform(&expected, &homogeneous, &m);
        EXPECT_EQ(full[i], expected) << i;
    }
    std::vector<D3DXVECTOR4> again(count);
    const std::vector<D3DXVECTOR4> homogeneous = {
        {1, 2, 3, 1}, {-4, 0, 2, 1}, {0, 0, 0, 1}, {7, -1, 5, 1}};
    D3DXVec4TransformArray(again.data(), sizeof(D3DXVECTOR4), homogeneous.data(),
                           sizeof(D3DXVECTOR4), &m, count);
    EXPECT_EQ(again, full);

    // Two-component forms: z is 0.
    const std::vector<D3DXVECTOR2> flat = {{1, 2}, {-4, 0}, {3, 3}};
    std::vector<D3DXVECTOR2> flatOut(flat.size());
    std::vector<D3DXVECTOR4> flatFull(flat.size());
    D3DXVec2TransformCoordArray(flatOut.data(), sizeof(D3DXVECTOR2), flat.data(),
                                sizeof(D3DXVECTOR2), &m, 3);
    D3DXVec2TransformArray(flatFull.data(), sizeof(D3DXVECTOR4), flat.data(), sizeof(D3DXVECTOR2),
                           &m, 3);
    for (std::size_t i = 0; i < flat.size(); ++i) {
        const D3DXVECTOR3 asVector3(flat[i].x, flat[i].y, 0.0f);
        D3DXVECTOR3 expected;
        D3DXVec3TransformCoord(&expected, &asVector3, &m);
        EXPECT_NEAR(flatOut[i].x, expected.x, 1e-5);
        EXPECT_NEAR(flatOut[i].y, expected.y, 1e-5);
        EXPECT_NEAR(flatFull[i].x / flatFull[i].w, expected.x, 1e-5);
    }
    D3DXVec2TransformNormalArray(flatOut.data(), sizeof(D3DXVECTOR2), flat.data(),
                                 sizeof(D3DXVECTOR2), &m, 3);
    D3DXVECTOR2 single;
    D3DXVec2TransformNormal(&single, &flat[2], &m);
    EXPECT_EQ(flatOut[2], single);
    EXPECT_NEAR(single.x, 3.0f * (m._11 + m._21), 1e-6);
}

TEST(Vector, FourDimensionalCross) {
    std::mt19937 random(31);
    for (int round = 0; round < 20; ++round) {
        D3DXVECTOR4 v[3];
        for (D3DXVECTOR4& vector : v) {
            vector = D3DXVECTOR4(test::randomVector(random, -2.0f, 2.0f),
                                 test::randomFloat(random, -2.0f, 2.0f));
        }
        D3DXVECTOR4 cross;
        EXPECT_EQ(D3DXVec4Cross(&cross, &v[0], &v[1], &v[2]), &cross);
        for (const D3DXVECTOR4& vector : v) {
            EXPECT_NEAR(D3DXVec4Dot(&cross, &vector), 0.0f, 1e-5);
        }
        // Its length is the volume the three span: the determinant with the unit normal.
        D3DXVECTOR4 unit;
        D3DXVec4Normalize(&unit, &cross);
        const D3DXMATRIX rows(v[0].x, v[0].y, v[0].z, v[0].w, v[1].x, v[1].y, v[1].z, v[1].w,
                              v[2].x, v[2].y, v[2].z, v[2].w, unit.x, unit.y, unit.z, unit.w);
        EXPECT_NEAR(std::fabs(D3DXMatrixDeterminant(&rows)), D3DXVec4Length(&cross),
                    1e-4 * std::max(1.0f, D3DXVec4Length(&cross)));
    }
}

TEST(Plane, BuildNormalizeAndIntersect) {
    const D3DXVECTOR3 a(1.0f, 2.0f, 0.0f);
    const D3DXVECTOR3 b(3.0f, 2.0f, 0.0f);
    const D3DXVECTOR3 c(1.0f, 2.0f, -4.0f);
    D3DXPLANE plane;
    EXPECT_EQ(D3DXPlaneFromPoints(&plane, &a, &b, &c), &plane);
    // (b - a) x (c - a) = (2, 0, 0) x (0, 0, -4) = (0, 8, 0): the plane y = 2.
    const float expected[4] = {0.0f, 1.0f, 0.0f, -2.0f};
    EXPECT_TRUE(test::floatsNear(&plane.a, expected, 4, 1e-6));

    const D3DXVECTOR3 normal(0.0f, 0.0f, 2.0f);
    D3DXPlaneFromPointNormal(&plane, &a, &normal);
    EXPECT_EQ(plane, D3DXPLANE(0.0f, 0.0f, 2.0f, 0.0f));
    const D3DXPLANE scaled(0.0f, 3.0f, 4.0f, 10.0f);
    D3DXPlaneNormalize(&plane, &scaled);
    const float unit[4] = {0.0f, 0.6f, 0.8f, 2.0f};
    EXPECT_TRUE(test::floatsNear(&plane.a, unit, 4, 1e-6));

    const D3DXPLANE ground(0.0f, 1.0f, 0.0f, -2.0f);
    const D3DXVECTOR3 from(1.0f, 5.0f, 1.0f);
    const D3DXVECTOR3 to(3.0f, 4.0f, 1.0f);
    D3DXVECTOR3 hit;
    EXPECT_EQ(D3DXPlaneIntersectLine(&hit, &ground, &from, &to), &hit);
    EXPECT_TRUE(near(hit, D3DXVECTOR3(7.0f, 2.0f, 1.0f), 1e-6));
    // Parallel: no point, `out` untouched.
    const D3DXVECTOR3 level(4.0f, 5.0f, -2.0f);
    const D3DXVECTOR3 marker(9.0f, 9.0f, 9.0f);
    hit = marker;
    EXPECT_EQ(D3DXPlaneIntersectLine(&hit, &ground, &from, &level), nullptr);
    EXPECT_EQ(hit, marker);
}

TEST(Plane, TransformWithTheInverseTranspose) {
    D3DXMATRIX m;
    D3DXMatrixRotationYawPitchRoll(&m, 0.4f, 1.0f, -0.3f);
    D3DXMATRIX scale;
    D3DXMatrixScaling(&scale, 2.0f, 0.5f, 3.0f);
    m = scale * m;
    m._41 = 4.0f;
    m._42 = -1.0f;
    D3DXMATRIX inverseTranspose;
    ASSERT_NE(D3DXMatrixInverse(&inverseTranspose, nullptr, &m), nullptr);
    D3DXMatrixTranspose(&inverseTranspose, &inverseTranspose);

    const D3DXVECTOR3 points[3] = {{1, 0, 0}, {0, 2, 1}, {-3, 1, 2}};
    D3DXPLANE plane;
    D3DXPlaneFromPoints(&plane, &points[0], &points[1], &points[2]);
    D3DXPLANE moved[2];
    const D3DXPLANE planes[2] = {plane, plane * 2.0f};
    D3DXPlaneTransformArray(moved, sizeof(D3DXPLANE), planes, sizeof(D3DXPLANE), &inverseTranspose,
                            2);
    D3DXPLANE single;
    D3DXPlaneTransform(&single, &plane, &inverseTranspose);
    EXPECT_EQ(moved[0], single);
    for (const D3DXVECTOR3& point : points) {
        D3DXVECTOR3 transformed;
        D3DXVec3TransformCoord(&transformed, &point, &m);
        EXPECT_NEAR(D3DXPlaneDotCoord(&moved[0], &transformed), 0.0f, 1e-5);
        EXPECT_NEAR(D3DXPlaneDotCoord(&moved[1], &transformed), 0.0f, 2e-5);
    }
}

TEST(Vector, FresnelTerm) {
    const struct {
        const char* name;
        float cosTheta;
        float index;
        float expected;
    } cases[] = {
        {"NormalIncidenceGlass", 1.0f, 1.5f, 0.04f},
        {"NormalIncidenceWater", 1.0f, 1.33f, (0.33f / 2.33f) * (0.33f / 2.33f)},
        {"Grazing", 0.0f, 1.5f, 1.0f},
        {"TotalInternalReflection", 0.2f, 0.5f, 1.0f},
        {"SameMedium", 0.7f, 1.0f, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(D3DXFresnelTerm(c.cosTheta, c.index), c.expected, 1e-6);
    }
    // Reflectance grows towards grazing angles.
    EXPECT_LT(D3DXFresnelTerm(0.9f, 1.5f), D3DXFresnelTerm(0.3f, 1.5f));
}

TEST(Vector, OperatorsAndInlineHelpers) {
    const D3DXVECTOR3 x(1.0f, 0.0f, 0.0f);
    const D3DXVECTOR3 y(0.0f, 1.0f, 0.0f);
    D3DXVECTOR3 z;
    // Left-handed coordinates with the usual cross product: x cross y is +z.
    D3DXVec3Cross(&z, &x, &y);
    EXPECT_EQ(z, D3DXVECTOR3(0.0f, 0.0f, 1.0f));
    EXPECT_EQ(2.0f * (x - y) / 4.0f, D3DXVECTOR3(0.5f, -0.5f, 0.0f));
    EXPECT_EQ(D3DXVec3Length(&z), 1.0f);

    D3DXMATRIX a;
    D3DXMatrixRotationZ(&a, 0.3f);
    D3DXMATRIX b;
    D3DXMatrixTranslation(&b, 1.0f, 2.0f, 3.0f);
    D3DXMATRIX product;
    D3DXMatrixMultiply(&product, &a, &b);
    EXPECT_EQ(a * b, product);
    D3DXMATRIX accumulated = a;
    accumulated *= b;
    EXPECT_EQ(accumulated, product);
    EXPECT_EQ(product(3, 1), 2.0f);
    EXPECT_EQ(D3DXMatrixIsIdentity(&product), FALSE);
    D3DXMatrixIdentity(&product);
    EXPECT_EQ(D3DXMatrixIsIdentity(&product), TRUE);
}

} // namespace
} // namespace halv::math
