// The station model: a panelled sphere with a trench around its equator and a round recessed
// emitter under the firing cone, shaped in world units around the station's centre and then
// carried into the model's own space through the inverse of its frames.
#pragma once

#include "tools/assetgen/geometry.h"
#include "tools/assetgen/mesh_builder.h"

#include <array>
#include <string>
#include <vector>

namespace halv::assetgen {

struct ModelFrame {
    std::string name;
    Mat4 matrix;
};

struct ModelMaterial {
    std::array<double, 4> diffuse;
    double power;
    std::array<double, 3> specular;
    std::array<double, 3> emissive;
    std::string textureName;
};

struct StationModel {
    // Outermost first; each frame holds the next, the last one holds the mesh.
    std::vector<ModelFrame> frames;
    std::string meshName;
    // Model space. Positions are rounded to single precision, as the file stores them.
    std::vector<BuildVertex> vertices;
    std::vector<BuildTriangle> triangles;
    std::uint32_t originalVertexCount = 0;
    std::vector<ModelMaterial> materials;
};

// Where the scene draws the station and its firing cone, in world space.
namespace placement {
inline const Vec3 kStationPosition{9.5, 3.5, 38.8};
constexpr double kStationYaw = 0.5;
inline const Vec3 kConePosition{9.0, 3.95, 37.9};
constexpr double kConeYaw = 0.5;
constexpr double kConePitch = 0.3;
constexpr double kConeRoll = -0.4;
// The cone runs along its local z from the apex (radius 0) at -length/2 to the wide end.
constexpr double kConeLength = 0.7;
constexpr double kConeBaseRadius = 0.3;
} // namespace placement

// Station radius in world units (the hull; the sensor domes stand 0.022 proud of it).
constexpr double kStationRadius = 1.05;

// The frames' matrices multiplied from the innermost out (model space to the scene's station
// space).
Mat4 frameChain(const StationModel& model);
// The scene's placement of the station: its yaw, then the move to its position.
Mat4 stationWorld();
// The centre of the cone's wide end in world space.
Vec3 coneBaseCentre();

// How finely the station is divided. The defaults give 2517 vertices and 4284 triangles, 211 of
// them the emitter's.
struct StationShape {
    int columns = 56;        // hull columns around the station
    int northRings = 12;     // hull rings from the north pole down to the trench
    int southRings = 10;     // and from the trench down to the south pole
    int bandFactor = 2;      // the trench has this many times the hull's columns
    int trenchRows = 4;      // rows of the trench floor
    int recessSegments = 31; // around the emitter's floor and wall
    int lensSegments = 14;   // around the lens in the middle of the emitter
    int trenchBlocks = 8;    // machinery blocks standing in the trench
    int domes = 4;           // sensor domes on the hull
    int domeSegments = 16;
    int domeRings = 4;
};

StationModel buildStationModel(const StationShape& shape = {});

} // namespace halv::assetgen
