// The station model as the generator builds it, before it is written: what the loader relies on
// (counts, indices, duplication indices, winding) and where the scene will see it.
#include "tools/assetgen/station_model.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <optional>

namespace halv::assetgen {
namespace {

// The checks carry their own small row-vector matrix code rather than the generator's.
using M4 = std::array<std::array<double, 4>, 4>;
using V3 = std::array<double, 3>;

M4 identity() {
    M4 m{};
    for (int i = 0; i < 4; ++i) {
        m[i][i] = 1;
    }
    return m;
}
M4 multiply(const M4& a, const M4& b) {
    M4 r{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) {
                r[i][j] += a[i][k] * b[k][j];
            }
        }
    }
    return r;
}
M4 fromGenerator(const Mat4& g) {
    M4 m{};
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            m[i][j] = g.m[i][j];
        }
    }
    return m;
}
// Yaw about y, pitch about x, roll about z, applied roll first (row vectors).
M4 yawPitchRoll(double yaw, double pitch, double roll) {
    M4 z = identity();
    z[0][0] = std::cos(roll);
    z[0][1] = std::sin(roll);
    z[1][0] = -std::sin(roll);
    z[1][1] = std::cos(roll);
    M4 x = identity();
    x[1][1] = std::cos(pitch);
    x[1][2] = std::sin(pitch);
    x[2][1] = -std::sin(pitch);
    x[2][2] = std::cos(pitch);
    M4 y = identity();
    y[0][0] = std::cos(yaw);
    y[0][2] = -std::sin(yaw);
    y[2][0] = std::sin(yaw);
    y[2][2] = std::cos(yaw);
    return multiply(multiply(z, x), y);
}
M4 translation(double x, double y, double z) {
    M4 m = identity();
    m[3][0] = x;
    m[3][1] = y;
    m[3][2] = z;
    return m;
}
V3 point(const M4& m, const V3& v) {
    V3 r{};
    for (int j = 0; j < 3; ++j) {
        r[j] = v[0] * m[0][j] + v[1] * m[1][j] + v[2] * m[2][j] + m[3][j];
    }
    return r;
}
V3 direction(const M4& m, const V3& v) {
    V3 r{};
    for (int j = 0; j < 3; ++j) {
        r[j] = v[0] * m[0][j] + v[1] * m[1][j] + v[2] * m[2][j];
    }
    return r;
}
V3 sub(const V3& a, const V3& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
V3 add(const V3& a, const V3& b) {
    return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
V3 scale(const V3& a, double s) {
    return {a[0] * s, a[1] * s, a[2] * s};
}
double dot3(const V3& a, const V3& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
V3 cross3(const V3& a, const V3& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double len(const V3& a) {
    return std::sqrt(dot3(a, a));
}
V3 unit(const V3& a) {
    return scale(a, 1 / len(a));
}
V3 v3(const Vec3& v) {
    return {v.x, v.y, v.z};
}

const V3 kStationCentre{9.5, 3.5, 38.8};

class StationModelTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sModel = new StationModel(buildStationModel());
        // Frames multiply child first: the mesh's own frame on the left, the root on the right.
        M4 frames = identity();
        for (auto it = sModel->frames.rbegin(); it != sModel->frames.rend(); ++it) {
            frames = multiply(frames, fromGenerator(it->matrix));
        }
        sWorld = new M4(
            multiply(frames, multiply(yawPitchRoll(0.5, 0, 0), translation(9.5, 3.5, 38.8))));
    }
    static void TearDownTestSuite() {
        delete sModel;
        delete sWorld;
    }

    static V3 worldPosition(std::uint32_t index) {
        return point(*sWorld, v3(sModel->vertices[index].position));
    }
    static V3 worldNormal(std::uint32_t index) {
        return unit(direction(*sWorld, v3(sModel->vertices[index].normal)));
    }

    // Nearest hit of a ray with the mesh in world space (Moller-Trumbore), front or back.
    struct Hit {
        double distance;
        std::uint32_t material;
    };
    static std::optional<Hit> castRay(const V3& origin, const V3& dir) {
        std::optional<Hit> best;
        for (const BuildTriangle& t : sModel->triangles) {
            const V3 a = worldPosition(t.corners[0]);
            const V3 e1 = sub(worldPosition(t.corners[1]), a);
            const V3 e2 = sub(worldPosition(t.corners[2]), a);
            const V3 p = cross3(dir, e2);
            const double det = dot3(e1, p);
            if (std::fabs(det) < 1e-12) {
                continue;
            }
            const V3 s = sub(origin, a);
            const double u = dot3(s, p) / det;
            const V3 q = cross3(s, e1);
            const double v = dot3(dir, q) / det;
            const double d = dot3(e2, q) / det;
            if (u < 0 || v < 0 || u + v > 1 || d < 0) {
                continue;
            }
            if (!best || d < best->distance) {
                best = Hit{d, t.material};
            }
        }
        return best;
    }

    static StationModel* sModel;
    static M4* sWorld;
};

StationModel* StationModelTest::sModel = nullptr;
M4* StationModelTest::sWorld = nullptr;

TEST_F(StationModelTest, HasTheCountsAndMaterialsTheProgramExpects) {
    EXPECT_EQ(sModel->vertices.size(), 2517u);
    ASSERT_EQ(sModel->triangles.size(), 4284u);
    std::array<int, 3> perMaterial{};
    for (const BuildTriangle& t : sModel->triangles) {
        ASSERT_LT(t.material, 3u);
        ++perMaterial[t.material];
    }
    EXPECT_EQ(perMaterial[0], 4073);
    EXPECT_EQ(perMaterial[1], 211);
    EXPECT_EQ(perMaterial[2], 0);
    ASSERT_EQ(sModel->materials.size(), 3u);
    EXPECT_EQ(sModel->materials[0].textureName, "150");
    EXPECT_EQ(sModel->materials[1].textureName, "151");
    EXPECT_EQ(sModel->materials[2].textureName, "");
    for (const ModelMaterial& m : sModel->materials) {
        EXPECT_EQ(m.diffuse[3], 1.0);
        EXPECT_GT(m.diffuse[0] + m.diffuse[1] + m.diffuse[2], 1.5) << "materials should be light";
    }
}

TEST_F(StationModelTest, TrianglesUseValidDistinctIndices) {
    // Two equal corners would make the loader drop the triangle and change the counts.
    const auto count = static_cast<std::uint32_t>(sModel->vertices.size());
    for (const BuildTriangle& t : sModel->triangles) {
        for (std::uint32_t corner : t.corners) {
            ASSERT_LT(corner, count);
        }
        ASSERT_NE(t.corners[0], t.corners[1]);
        ASSERT_NE(t.corners[1], t.corners[2]);
        ASSERT_NE(t.corners[0], t.corners[2]);
    }
}

TEST_F(StationModelTest, DuplicationIndicesPointAtOriginalsWithTheSamePosition) {
    const std::uint32_t originals = sModel->originalVertexCount;
    ASSERT_LE(originals, sModel->vertices.size());
    std::size_t copies = 0;
    for (std::uint32_t i = 0; i < sModel->vertices.size(); ++i) {
        const BuildVertex& v = sModel->vertices[i];
        ASSERT_LT(v.representative, originals) << "vertex " << i;
        const BuildVertex& rep = sModel->vertices[v.representative];
        ASSERT_EQ(rep.representative, v.representative) << "vertex " << i;
        EXPECT_EQ(i < originals, v.representative == i) << "vertex " << i;
        EXPECT_EQ(rep.position.x, v.position.x);
        EXPECT_EQ(rep.position.y, v.position.y);
        EXPECT_EQ(rep.position.z, v.position.z);
        copies += v.representative != i ? 1 : 0;
    }
    EXPECT_GT(copies, 100u) << "the texture seams and hard edges need copies";
}

TEST_F(StationModelTest, EveryTriangleFacesOutwardClockwise) {
    // Culling removes counter-clockwise faces; the face normal (b - a) x (c - a) of a clockwise
    // triangle points at the viewer, so it must agree with the vertex normals.
    for (std::size_t i = 0; i < sModel->triangles.size(); ++i) {
        const auto& c = sModel->triangles[i].corners;
        const V3 a = worldPosition(c[0]);
        const V3 face = cross3(sub(worldPosition(c[1]), a), sub(worldPosition(c[2]), a));
        const V3 normals = add(add(worldNormal(c[0]), worldNormal(c[1])), worldNormal(c[2]));
        ASSERT_GT(dot3(face, normals), 0) << "triangle " << i;
    }
}

TEST_F(StationModelTest, NormalsAndTangentFramesAreUnitAndSquare) {
    for (const BuildVertex& v : sModel->vertices) {
        const V3 n = v3(v.normal);
        const V3 t = v3(v.tangent);
        const V3 b = v3(v.binormal);
        ASSERT_NEAR(len(n), 1, 1e-6);
        ASSERT_NEAR(len(t), 1, 1e-6);
        ASSERT_NEAR(len(b), 1, 1e-6);
        ASSERT_NEAR(dot3(n, t), 0, 1e-6);
        ASSERT_NEAR(dot3(n, b), 0, 1e-6);
        ASSERT_GT(v.colour[0], 0.75) << "vertex colours stay light";
        ASSERT_EQ(v.colour[3], 1.0);
    }
}

TEST_F(StationModelTest, FramesScaleAndStandTheModelUp) {
    ASSERT_EQ(sModel->frames.size(), 4u);
    const char* names[] = {"DXCC_ROOT", "Fbx_Root", "Halvorine_Body", "polySurfaceShape1"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(sModel->frames[i].name, names[i]);
    }
    const M4 fbx = fromGenerator(sModel->frames[1].matrix);
    const double s = 17.043758;
    // A quarter turn about x: x stays, y and z swap with one sign change.
    EXPECT_EQ(fbx[0][0], s);
    EXPECT_EQ(std::fabs(fbx[1][2]), s);
    EXPECT_EQ(std::fabs(fbx[2][1]), s);
    EXPECT_EQ(fbx[1][2], -fbx[2][1]);
    EXPECT_EQ(fbx[1][1], 0);
    EXPECT_EQ(fbx[2][2], 0);
    const M4 body = fromGenerator(sModel->frames[2].matrix);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(body[i][i], 0.00001);
    }
    EXPECT_EQ(fromGenerator(sModel->frames[0].matrix), identity());
    EXPECT_EQ(fromGenerator(sModel->frames[3].matrix), identity());
}

TEST_F(StationModelTest, SitsAroundItsPositionWithTheRightRadius) {
    double farthest = 0;
    for (std::uint32_t i = 0; i < sModel->vertices.size(); ++i) {
        farthest = std::max(farthest, len(sub(worldPosition(i), kStationCentre)));
    }
    EXPECT_GE(farthest, 1.0);
    EXPECT_LE(farthest, 1.1);
    // The hull itself, at the poles and well south of the trench: round, not just bounded.
    const double south = -50 * 3.14159265358979 / 180;
    for (const V3 dir : {V3{0, 1, 0}, V3{0, -1, 0}, V3{std::cos(south), std::sin(south), 0},
                         V3{0, std::sin(south), std::cos(south)}}) {
        const auto hit = castRay(add(kStationCentre, scale(dir, 3)), scale(dir, -1));
        ASSERT_TRUE(hit.has_value());
        EXPECT_NEAR(3 - hit->distance, 1.05, 0.01);
    }
}

TEST_F(StationModelTest, EmitterFloorCarriesTheFiringCone) {
    // The scene's cone: apex (radius 0) at local z -0.35, wide end radius 0.3 at +0.35.
    const M4 cone = multiply(yawPitchRoll(0.5, 0.3, -0.4), translation(9.0, 3.95, 37.9));
    const V3 base = point(cone, {0, 0, 0.35});
    const V3 apex = point(cone, {0, 0, -0.35});
    EXPECT_NEAR(base[0], 9.16, 0.01);
    EXPECT_NEAR(base[1], 3.85, 0.01);
    EXPECT_NEAR(base[2], 38.19, 0.01);
    EXPECT_NEAR(len(sub(base, kStationCentre)), 0.78, 0.01);
    EXPECT_NEAR(apex[0], 8.84, 0.01);
    EXPECT_NEAR(apex[1], 4.05, 0.01);
    EXPECT_NEAR(apex[2], 37.61, 0.01);
    const V3 axis = unit(sub(base, apex)); // into the station

    // Straight down the axis through the base: the emitter floor, 0.25-0.3 under the hull.
    const auto centre = castRay(sub(base, scale(axis, 1.0)), axis);
    ASSERT_TRUE(centre.has_value());
    EXPECT_EQ(centre->material, 1u);
    const V3 floorPoint = add(sub(base, scale(axis, 1.0)), scale(axis, centre->distance));
    const double depth = 1.05 - len(sub(floorPoint, kStationCentre));
    EXPECT_GE(depth, 0.25);
    EXPECT_LE(depth, 0.3);

    // Around the wide end's rim the floor is within a few hundredths, on the emitter.
    const V3 side = unit(cross3(axis, {0, 1, 0}));
    const V3 up = cross3(side, axis);
    for (int k = 0; k < 16; ++k) {
        const double a = 2 * 3.14159265358979 * k / 16;
        const V3 rim = add(base, add(scale(side, 0.3 * std::cos(a)), scale(up, 0.3 * std::sin(a))));
        SCOPED_TRACE(k);
        const auto hit = castRay(sub(rim, scale(axis, 1.0)), axis);
        ASSERT_TRUE(hit.has_value());
        EXPECT_EQ(hit->material, 1u);
        EXPECT_NEAR(hit->distance, 1.0, 0.06);
    }
    // The apex, where the beam starts, is clear of the hull.
    EXPECT_FALSE(castRay(apex, scale(axis, -1)).has_value());
}

} // namespace
} // namespace halv::assetgen
