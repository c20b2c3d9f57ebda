// Gradient noise, its fractal sums and cellular (Worley) distances, all seeded, for the
// procedural textures. Three-dimensional so that sphere textures can be sampled on the sphere
// itself, which makes them seamless at the u wrap and free of pinching at the poles.
#pragma once

#include "tools/assetgen/geometry.h"

#include <array>
#include <cstdint>

namespace halv::assetgen {

class GradientNoise {
public:
    explicit GradientNoise(std::uint64_t seed);

    // About -1..1, 0 at lattice points.
    double at(Vec3 p) const;
    // The same, repeating every `periodX` along x and `periodY` along y (whole numbers).
    double periodic(Vec3 p, int periodX, int periodY) const;

    // Sum of `octaves` layers, each twice the frequency and `gain` times the amplitude of the
    // one before; normalised to about -1..1.
    double fractal(Vec3 p, int octaves, double gain = 0.5) const;
    double periodicFractal(Vec3 p, int periodX, int periodY, int octaves, double gain = 0.5) const;
    // 1 - |noise| layered: sharp crests, for ridges and cracks. About 0..1.
    double ridged(Vec3 p, int octaves, double gain = 0.5) const;

private:
    double lattice(Vec3 p, int periodX, int periodY) const;

    std::array<std::uint8_t, 512> mPermutation{};
};

// Distances from p to the nearest and second-nearest of a jittered point per unit cell.
struct CellDistances {
    double nearest;
    double second;
    std::uint32_t cellHash;
};

class CellularNoise {
public:
    explicit CellularNoise(std::uint64_t seed);
    CellDistances at(Vec3 p) const;

private:
    std::uint64_t mSeed;
};

} // namespace halv::assetgen
