// The generated shapes: strip sizes, where each strip starts and ends, the running angle and
// texture coordinates, and the fixed beam and billboard.
#include "scene/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace halv::scene {
namespace {

constexpr float kTolerance = 1e-4f;

void expectPosition(const SurfaceVertex& vertex, float x, float y, float z) {
    EXPECT_NEAR(vertex.x, x, kTolerance);
    EXPECT_NEAR(vertex.y, y, kTolerance);
    EXPECT_NEAR(vertex.z, z, kTolerance);
}

std::vector<SurfaceVertex> skyStrip() {
    std::vector<SurfaceVertex> strip(cylinderStripVertexCount(20, 3));
    writeCylinderStrip(strip, {0.0f, -3.0f, 0.0f}, 0.75f, 20, 3, 12.0f);
    return strip;
}

std::vector<SurfaceVertex> sphereStrip(float radius, float repeat) {
    std::vector<SurfaceVertex> strip(sphereStripVertexCount(40, 40));
    writeSphereStrip(strip, {0.0f, 0.0f, 0.0f}, radius, 40, 40, repeat);
    return strip;
}

TEST(SceneGeometry, StripSizes) {
    EXPECT_EQ(cylinderStripVertexCount(20, 3), 220u);
    EXPECT_EQ(sphereStripVertexCount(40, 40), 3360u);
    // Each ring pair adds 2 (slices + 1) + 2 vertices.
    EXPECT_EQ(cylinderStripVertexCount(1, 0), 12u);
    EXPECT_EQ(sphereStripVertexCount(3, 1), 10u);
    EXPECT_EQ(cylinderStripVertexCount(0, 3), 0u);
    EXPECT_EQ(cylinderStripVertexCount(20, -1), 0u);
    EXPECT_EQ(sphereStripVertexCount(40, 0), 0u);
    EXPECT_EQ(sphereStripVertexCount(1 << 20, 1 << 20), 0u);
}

TEST(SceneGeometry, SkyIsAClosedTubeFromCapCentreToCapCentre) {
    const std::vector<SurfaceVertex> strip = skyStrip();
    ASSERT_EQ(strip.size(), 220u);
    // Bottom-cap centre (0, 1, 0) and top-cap centre (0, 4, 0), moved by the offset.
    expectPosition(strip[0], 0.0f, -2.0f, 0.0f);
    expectPosition(strip[1], 0.0f, -2.0f, 0.0f);
    expectPosition(strip[218], 0.0f, 1.0f, 0.0f);
    expectPosition(strip[219], 0.0f, 1.0f, 0.0f);
    float lowest = 0.0f;
    float highest = 0.0f;
    for (const SurfaceVertex& vertex : strip) {
        lowest = std::min(lowest, vertex.y);
        highest = std::max(highest, vertex.y);
        EXPECT_EQ(vertex.diffuse, 0xFFFFFFFFu);
        EXPECT_EQ(vertex.ny, 0.0f);
        // Normals are as long as the ring's radius: 0 at the cap centres, 0.75 on the wall.
        const float length = std::hypot(vertex.nx, vertex.nz);
        EXPECT_TRUE(std::abs(length) < kTolerance || std::abs(length - 0.75f) < kTolerance);
        EXPECT_NEAR(vertex.x, vertex.nx, kTolerance);
        EXPECT_NEAR(vertex.z, vertex.nz, kTolerance);
    }
    EXPECT_NEAR(lowest, -2.0f, kTolerance);
    EXPECT_NEAR(highest, 1.0f, kTolerance);
    // v runs over the five ring pairs to the repeat.
    EXPECT_NEAR(strip[0].v, 0.0f, kTolerance);
    EXPECT_NEAR(strip[219].v, 12.0f, kTolerance);
}

TEST(SceneGeometry, RingPairsStartWhereTheAngleHasRunOn) {
    const std::vector<SurfaceVertex> strip = skyStrip();
    constexpr int kSlices = 20;
    constexpr std::size_t kPairVertices = 2 * (kSlices + 2);
    for (int pair = 1; pair < 4; ++pair) {
        SCOPED_TRACE(pair);
        // Pair i begins at angle index i (n + 1), i.e. 2 pi i (n + 1) / n, not at angle 0.
        const float j = static_cast<float>(pair * (kSlices + 1));
        const float angle = 2.0f * std::numbers::pi_v<float> * j / kSlices;
        const SurfaceVertex& first = strip[pair * kPairVertices];
        EXPECT_NEAR(first.x, 0.75f * std::sin(angle), kTolerance);
        EXPECT_NEAR(first.z, 0.75f * std::cos(angle), kTolerance);
        EXPECT_NEAR(first.u, -12.0f * j / kSlices, kTolerance);
        // The repeated vertex joining the pairs.
        expectPosition(strip[pair * kPairVertices + 1], first.x, first.y, first.z);
    }
}

// Columns of pair p: lower at p * 2 (n + 2) + 1 + 2k, upper right after it.
void expectUDecreasing(const std::vector<SurfaceVertex>& strip, int slices, float repeat) {
    const std::size_t pairVertices = 2 * static_cast<std::size_t>(slices + 2);
    float previous = 1.0f;
    for (std::size_t base = 0; base < strip.size(); base += pairVertices) {
        for (int k = 0; k <= slices; ++k) {
            const SurfaceVertex& lower = strip[base + 1 + 2 * static_cast<std::size_t>(k)];
            const SurfaceVertex& upper = strip[base + 2 + 2 * static_cast<std::size_t>(k)];
            EXPECT_EQ(lower.u, upper.u);
            EXPECT_LT(lower.u, previous) << "vertex " << base + 1 + 2 * k;
            previous = lower.u;
        }
    }
    // The last column of the last pair: index pairs (n + 1) - 1.
    const float pairs = static_cast<float>(strip.size() / pairVertices);
    EXPECT_NEAR(previous, -repeat * (pairs * (slices + 1) - 1) / slices, 1e-3f);
}

TEST(SceneGeometry, TextureUDecreasesAlongEachRingAndRunsOn) {
    expectUDecreasing(skyStrip(), 20, 12.0f);
    expectUDecreasing(sphereStrip(1.0f, 4.0f), 40, 4.0f);
}

TEST(SceneGeometry, SphereRunsFromTheTopPoleToTheBottomPole) {
    for (const float radius : {1.0f, 1.01f}) {
        SCOPED_TRACE(radius);
        const std::vector<SurfaceVertex> strip = sphereStrip(radius, 1.0f);
        ASSERT_EQ(strip.size(), 3360u);
        expectPosition(strip[0], 0.0f, radius, 0.0f);
        EXPECT_EQ(strip[0].nx, 0.0f);
        EXPECT_EQ(strip[0].nz, 0.0f);
        // The running rotation ends a rounding error away from the bottom pole.
        EXPECT_NEAR(strip.back().y, -radius, 1e-5f);
        EXPECT_NEAR(std::hypot(strip.back().x, strip.back().z), 0.0f, 1e-5f);
        // The second ring: one turn of pi / 40 down from the pole.
        const float turn = std::numbers::pi_v<float> / 40.0f;
        EXPECT_NEAR(strip[2].y, radius * std::cos(turn), kTolerance);
        EXPECT_NEAR(std::hypot(strip[2].x, strip[2].z), radius * std::sin(turn), kTolerance);
        for (const SurfaceVertex& vertex : strip) {
            EXPECT_NEAR(std::hypot(vertex.x, vertex.y, vertex.z), radius, 1e-5f);
        }
        EXPECT_NEAR(strip.back().v, 1.0f, kTolerance);
    }
}

TEST(SceneGeometry, BeamRibbonsRunFromThePlanetToTheMuzzle) {
    struct Expected {
        float x, y, z, u, v;
    };
    constexpr Expected kBeam[12] = {
        {-2, -1.1f, 10, 0, 1},        {-2, -0.9f, 10, 0, 0}, {8.85f, 4.15f, 37.65f, 1, 0},
        {8.85f, 3.95f, 37.65f, 1, 1}, {-2, -1.1f, 10, 0, 1}, {8.85f, 4.15f, 37.65f, 1, 0},
        {-2, -1, 9.9f, 0, 1},         {-2, -1, 10.1f, 0, 0}, {8.85f, 4.05f, 37.75f, 1, 0},
        {8.85f, 4.05f, 37.55f, 1, 1}, {-2, -1, 9.9f, 0, 1},  {8.85f, 4.05f, 37.75f, 1, 0},
    };
    const std::array<QuadVertex, 12> beam = beamQuadVertices();
    for (std::size_t i = 0; i < beam.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(beam[i].x, kBeam[i].x, kTolerance);
        EXPECT_NEAR(beam[i].y, kBeam[i].y, kTolerance);
        EXPECT_NEAR(beam[i].z, kBeam[i].z, kTolerance);
        EXPECT_EQ(beam[i].u, kBeam[i].u);
        EXPECT_EQ(beam[i].v, kBeam[i].v);
        EXPECT_EQ(beam[i].diffuse, 0xFF00FF00u);
    }
}

TEST(SceneGeometry, ExplosionBillboardFacesTheCamera) {
    struct Expected {
        float x, y, u, v;
    };
    constexpr Expected kQuad[6] = {{-3.8f, -2.5f, 0, 1}, {-3.8f, 1.5f, 0, 0},  {0.2f, 1.5f, 1, 0},
                                   {0.2f, -2.5f, 1, 1},  {-3.8f, -2.5f, 0, 1}, {0.2f, 1.5f, 1, 0}};
    const std::array<QuadVertex, 6> quad = explosionQuadVertices();
    for (std::size_t i = 0; i < quad.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(quad[i].x, kQuad[i].x);
        EXPECT_EQ(quad[i].y, kQuad[i].y);
        EXPECT_EQ(quad[i].z, 8.9f);
        EXPECT_EQ(quad[i].u, kQuad[i].u);
        EXPECT_EQ(quad[i].v, kQuad[i].v);
        EXPECT_EQ(quad[i].diffuse, 0xFFFFFFFFu);
    }
}

} // namespace
} // namespace halv::scene
