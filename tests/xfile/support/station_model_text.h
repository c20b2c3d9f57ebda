// A text .x file shaped like the station model: frames DXCC_ROOT > Fbx_Root > Halvorine_Body >
// polySurfaceShape1 holding one Mesh (a sphere with a dish cut out of it) with normals,
// texture coordinates, vertex colours, duplication indices, DeclData (tangent and binormal)
// and a list of three materials, preceded by re-declarations of the standard templates it
// uses. Deterministic; about 1 MB with the default counts.
#pragma once

#include <cstddef>
#include <string>

namespace halv::xfile::fixtures {

struct StationModelShape {
    int rings = 40;     // latitude bands
    int segments = 60;  // longitude bands; seam vertices are duplicated
    int dishRings = 10; // size of the cut-out dish, in grid cells
    int dishSegments = 19;
};

struct StationModelCounts {
    std::size_t vertices = 0;
    std::size_t triangles = 0;
    std::size_t originalVertices = 0; // before the seam was duplicated
    std::size_t material1Faces = 0;   // faces of the glowing band; the rest use material 0
};

// The default shape gives 2501 vertices and 4300 triangles.
std::string makeStationModelText(const StationModelShape& shape = {},
                                 StationModelCounts* counts = nullptr);

} // namespace halv::xfile::fixtures
