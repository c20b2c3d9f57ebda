// The scene's generated shapes as vertex data: the capped cylinder of the sky, the spheres of
// the planet and its clouds, the crossed beam ribbons and the explosion billboard. The scene
// copies them into its vertex buffers once at start.
#pragma once

#include "gfx/device_types.h"

#include <array>
#include <cstddef>
#include <span>

namespace halv::scene {

// Lit and textured surfaces: the sky, the planet and the clouds.
struct SurfaceVertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR diffuse;
    float u, v;
};
inline constexpr DWORD kSurfaceFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1;
static_assert(sizeof(SurfaceVertex) == 36 && offsetof(SurfaceVertex, diffuse) == 24);
static_assert(kSurfaceFvf == 0x152);

// The beam and the explosion billboard.
struct QuadVertex {
    float x, y, z;
    D3DCOLOR diffuse;
    float u, v;
};
inline constexpr DWORD kQuadFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
static_assert(sizeof(QuadVertex) == 24 && offsetof(QuadVertex, u) == 16);
static_assert(kQuadFvf == 0x142);

// The debris points (and the firing cone after its clone).
struct PointVertex {
    float x, y, z;
    D3DCOLOR diffuse;
};
inline constexpr DWORD kPointFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;
static_assert(sizeof(PointVertex) == 16 && offsetof(PointVertex, diffuse) == 12);
static_assert(kPointFvf == 0x42);

struct Offset3 {
    float x, y, z;
};

// Strips longer than this are refused; the scene's largest has 3360 vertices.
inline constexpr std::size_t kMaxStripVertices = 1u << 20;

// Vertices of a cylinder strip: 2 (segments + 2) (slices + 2); 0 when slices < 1, segments < 0
// or the strip would exceed kMaxStripVertices.
std::size_t cylinderStripVertexCount(int slices, int segments);

// Vertices of a sphere strip: 2 stacks (slices + 2); 0 when slices or stacks < 1 or the strip
// would exceed kMaxStripVertices.
std::size_t sphereStripVertexCount(int slices, int stacks);

// One triangle strip around the y axis: a bottom cap centre at height 1, `segments` + 1 rings
// of `radius` at heights 1 .. segments + 1, and a top cap centre at the last height, all moved
// by `offset`. Ring pairs are joined by repeating a pair's first and last vertex (degenerate
// triangles). The angle index runs on across ring pairs, u = -repeat x index / slices, v runs
// from 0 to `repeat` over the pairs. Normals point outward in the xz plane with the ring's
// radius as their length; every vertex is opaque white. `out` must hold
// cylinderStripVertexCount(slices, segments) vertices.
void writeCylinderStrip(std::span<SurfaceVertex> out, Offset3 offset, float radius, int slices,
                        int segments, float repeat);

// One triangle strip of `stacks` ring pairs from the top pole (0, radius) to the bottom pole,
// the profile point turned by -pi / stacks before each pair, joined and textured as the
// cylinder. `out` must hold sphereStripVertexCount(slices, stacks) vertices.
void writeSphereStrip(std::span<SurfaceVertex> out, Offset3 offset, float radius, int slices,
                      int stacks, float repeat);

// Two green ribbons (one 0.2 high, one 0.2 deep) from the planet centre to the station's
// muzzle, as a list of four triangles.
std::array<QuadVertex, 12> beamQuadVertices();

// A white 4 x 4 square facing -z in front of the planet, as a list of two triangles.
std::array<QuadVertex, 6> explosionQuadVertices();

} // namespace halv::scene
