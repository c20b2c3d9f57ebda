#include "scene/geometry.h"

#include "math/vector_math.h"

#include <cmath>
#include <cstdint>

namespace halv::scene {
namespace {

constexpr D3DCOLOR kWhite = 0xFFFFFFFF;
constexpr D3DCOLOR kGreen = 0xFF00FF00;

struct Ring {
    float radius;
    float height;
    float v;
};

std::size_t stripCount(std::int64_t pairs, std::int64_t slices) {
    const std::int64_t count = 2 * pairs * (slices + 2);
    return count > static_cast<std::int64_t>(kMaxStripVertices) ? 0
                                                                : static_cast<std::size_t>(count);
}

SurfaceVertex ringVertex(Offset3 offset, const Ring& ring, float sinA, float cosA, float u) {
    const float nx = sinA * ring.radius;
    const float nz = cosA * ring.radius;
    return {nx + offset.x, ring.height + offset.y, nz + offset.z, nx, 0.0f, nz, kWhite, u, ring.v};
}

// Ring pair `pair` of the strip: the lower vertex once more, then lower and upper for every
// column, then the upper vertex once more. The angle index does not restart per pair, so each
// pair begins where the previous one stopped turning.
SurfaceVertex* writeRingPair(SurfaceVertex* out, Offset3 offset, const Ring& lower,
                             const Ring& upper, int pair, int slices, float repeat) {
    const float n = static_cast<float>(slices);
    for (int k = 0; k <= slices; ++k) {
        const float j = static_cast<float>(pair * (slices + 1) + k);
        const float angle = 2.0f * D3DX_PI * j / n;
        const float sinA = std::sin(angle);
        const float cosA = std::cos(angle);
        const float u = -repeat * j / n;
        const SurfaceVertex low = ringVertex(offset, lower, sinA, cosA, u);
        const SurfaceVertex high = ringVertex(offset, upper, sinA, cosA, u);
        if (k == 0) {
            *out++ = low;
        }
        *out++ = low;
        *out++ = high;
        if (k == slices) {
            *out++ = high;
        }
    }
    return out;
}

} // namespace

std::size_t cylinderStripVertexCount(int slices, int segments) {
    if (slices < 1 || segments < 0) {
        return 0;
    }
    return stripCount(static_cast<std::int64_t>(segments) + 2, slices);
}

std::size_t sphereStripVertexCount(int slices, int stacks) {
    if (slices < 1 || stacks < 1) {
        return 0;
    }
    return stripCount(stacks, slices);
}

void writeCylinderStrip(std::span<SurfaceVertex> out, Offset3 offset, float radius, int slices,
                        int segments, float repeat) {
    const std::size_t count = cylinderStripVertexCount(slices, segments);
    if (count == 0 || out.size() < count) {
        return;
    }
    const int pairs = segments + 2;
    const float pairCount = static_cast<float>(pairs);
    SurfaceVertex* next = out.data();
    for (int i = 0; i < pairs; ++i) {
        const float height = static_cast<float>(i);
        // The first pair starts at the bottom cap's centre, the last ends at the top cap's.
        const Ring lower = {i == 0 ? 0.0f : radius, i == 0 ? 1.0f : height,
                            repeat * height / pairCount};
        const Ring upper = {i == pairs - 1 ? 0.0f : radius, i == pairs - 1 ? height : height + 1.0f,
                            repeat * (height + 1.0f) / pairCount};
        next = writeRingPair(next, offset, lower, upper, i, slices, repeat);
    }
}

void writeSphereStrip(std::span<SurfaceVertex> out, Offset3 offset, float radius, int slices,
                      int stacks, float repeat) {
    const std::size_t count = sphereStripVertexCount(slices, stacks);
    if (count == 0 || out.size() < count) {
        return;
    }
    const float m = static_cast<float>(stacks);
    const float turn = -D3DX_PI / m;
    const float cosTurn = std::cos(turn);
    const float sinTurn = std::sin(turn);
    // The profile point is turned step by step rather than recomputed from the stack, so its
    // rounding accumulates down the sphere.
    float p = 0.0f;
    float q = radius;
    SurfaceVertex* next = out.data();
    for (int i = 0; i < stacks; ++i) {
        const float nextP = cosTurn * p - sinTurn * q;
        const float nextQ = cosTurn * q + sinTurn * p;
        const float stack = static_cast<float>(i);
        const Ring lower = {p, q, repeat * stack / m};
        const Ring upper = {nextP, nextQ, repeat * (stack + 1.0f) / m};
        next = writeRingPair(next, offset, lower, upper, i, slices, repeat);
        p = nextP;
        q = nextQ;
    }
}

std::array<QuadVertex, 12> beamQuadVertices() {
    // Each ribbon's corners, at x = -1 hung on the planet centre and at x = +1 on the muzzle.
    struct Corner {
        float x, y, z, u, v;
    };
    constexpr Corner kHigh[4] = {
        {-1.0f, -0.1f, 0.0f, 0.0f, 1.0f},
        {-1.0f, 0.1f, 0.0f, 0.0f, 0.0f},
        {1.0f, 0.1f, 0.0f, 1.0f, 0.0f},
        {1.0f, -0.1f, 0.0f, 1.0f, 1.0f},
    };
    constexpr Corner kDeep[4] = {
        {-1.0f, 0.0f, -0.1f, 0.0f, 1.0f},
        {-1.0f, 0.0f, 0.1f, 0.0f, 0.0f},
        {1.0f, 0.0f, 0.1f, 1.0f, 0.0f},
        {1.0f, 0.0f, -0.1f, 1.0f, 1.0f},
    };
    constexpr Offset3 kPlanetEnd = {-1.0f, -1.0f, 10.0f};
    constexpr Offset3 kStationEnd = {7.85f, 4.05f, 37.65f};
    // Two triangles per ribbon: corners 0, 1, 2 and 3, 0, 2.
    constexpr int kOrder[6] = {0, 1, 2, 3, 0, 2};

    std::array<QuadVertex, 12> vertices{};
    std::size_t index = 0;
    for (const Corner* ribbon : {kHigh, kDeep}) {
        for (int corner : kOrder) {
            const Corner& c = ribbon[corner];
            const Offset3& end = c.x < 0.0f ? kPlanetEnd : kStationEnd;
            vertices[index++] = {c.x + end.x, c.y + end.y, c.z + end.z, kGreen, c.u, c.v};
        }
    }
    return vertices;
}

std::array<QuadVertex, 6> explosionQuadVertices() {
    return {{
        {-3.8f, -2.5f, 8.9f, kWhite, 0.0f, 1.0f},
        {-3.8f, 1.5f, 8.9f, kWhite, 0.0f, 0.0f},
        {0.2f, 1.5f, 8.9f, kWhite, 1.0f, 0.0f},
        {0.2f, -2.5f, 8.9f, kWhite, 1.0f, 1.0f},
        {-3.8f, -2.5f, 8.9f, kWhite, 0.0f, 1.0f},
        {0.2f, 1.5f, 8.9f, kWhite, 1.0f, 0.0f},
    }};
}

} // namespace halv::scene
