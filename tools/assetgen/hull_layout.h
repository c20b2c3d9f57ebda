// Where the station's surfaces fall in its textures. The model writes these coordinates and the
// texture painters draw to them, so both sides read them from here.
#pragma once

#include "tools/assetgen/geometry.h"

namespace halv::assetgen::hull {

// The trench runs around the equator between these latitudes.
inline const double kBandHalfAngle = degrees(4.0);

// Hull texture (resource 150): u = longitude / pi, so it wraps twice around the station; v runs
// from the north pole down to the south pole, with the trench set into the middle.
constexpr double kNorthEnd = 0.44;      // north hull: v 0 .. kNorthEnd
constexpr double kTopWallEnd = 0.46;    // upper trench wall
constexpr double kFloorEnd = 0.54;      // trench floor
constexpr double kBottomWallEnd = 0.56; // lower trench wall, then the south hull down to 1

inline double hullU(double longitude) {
    return longitude / kPi;
}

// Outer hull, |latitude| >= kBandHalfAngle.
inline double hullV(double latitude) {
    const double span = kPi / 2 - kBandHalfAngle;
    if (latitude >= 0) {
        return kNorthEnd * (kPi / 2 - latitude) / span;
    }
    return kBottomWallEnd + (1 - kBottomWallEnd) * (-kBandHalfAngle - latitude) / span;
}

// Trench floor, |latitude| <= kBandHalfAngle.
inline double floorV(double latitude) {
    return kTopWallEnd +
           (kFloorEnd - kTopWallEnd) * (kBandHalfAngle - latitude) / (2 * kBandHalfAngle);
}

// Latitude of a hull-texture v (the inverse of the two mappings above; the walls give the
// latitude of their edge).
inline double latitudeOfV(double v) {
    const double span = kPi / 2 - kBandHalfAngle;
    if (v <= kNorthEnd) {
        return kPi / 2 - v / kNorthEnd * span;
    }
    if (v <= kTopWallEnd) {
        return kBandHalfAngle;
    }
    if (v <= kFloorEnd) {
        return kBandHalfAngle - (v - kTopWallEnd) / (kFloorEnd - kTopWallEnd) * 2 * kBandHalfAngle;
    }
    if (v <= kBottomWallEnd) {
        return -kBandHalfAngle;
    }
    return -kBandHalfAngle - (v - kBottomWallEnd) / (1 - kBottomWallEnd) * span;
}

// Emitter texture (resource 151): a disc centred at (0.5, 0.5); these are its radii, in texture
// units, where the lens, the floor and the wall end.
constexpr double kLensEdge = 0.13;
constexpr double kFloorEdge = 0.40;
constexpr double kRimEdge = 0.49;

} // namespace halv::assetgen::hull
