// Improved-Perlin style gradient noise over a seeded permutation, and jittered-grid cellular
// noise.
#include "tools/assetgen/noise.h"

#include "tools/assetgen/random.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace halv::assetgen {
namespace {

double fade(double t) {
    return t * t * t * (t * (t * 6 - 15) + 10);
}

double lerp(double a, double b, double t) {
    return a + (b - a) * t;
}

// Twelve edge directions of a cube: no axis is preferred.
double gradient(int hash, double x, double y, double z) {
    switch (hash % 12) {
    case 0:
        return x + y;
    case 1:
        return -x + y;
    case 2:
        return x - y;
    case 3:
        return -x - y;
    case 4:
        return x + z;
    case 5:
        return -x + z;
    case 6:
        return x - z;
    case 7:
        return -x - z;
    case 8:
        return y + z;
    case 9:
        return -y + z;
    case 10:
        return y - z;
    default:
        return -y - z;
    }
}

int wrap(int value, int period) {
    if (period <= 0) {
        return value & 255;
    }
    const int r = value % period;
    return (r < 0 ? r + period : r) & 255;
}

std::uint64_t mix(std::uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

} // namespace

GradientNoise::GradientNoise(std::uint64_t seed) {
    Random random(seed);
    std::array<std::uint8_t, 256> p{};
    for (int i = 0; i < 256; ++i) {
        p[i] = static_cast<std::uint8_t>(i);
    }
    for (int i = 255; i > 0; --i) {
        std::swap(p[i], p[random.below(i + 1)]);
    }
    for (int i = 0; i < 512; ++i) {
        mPermutation[i] = p[i & 255];
    }
}

double GradientNoise::lattice(Vec3 q, int periodX, int periodY) const {
    const double fx = std::floor(q.x);
    const double fy = std::floor(q.y);
    const double fz = std::floor(q.z);
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    const int iz = static_cast<int>(fz);
    const double x = q.x - fx;
    const double y = q.y - fy;
    const double z = q.z - fz;
    const int x0 = wrap(ix, periodX);
    const int x1 = wrap(ix + 1, periodX);
    const int y0 = wrap(iy, periodY);
    const int y1 = wrap(iy + 1, periodY);
    const int z0 = iz & 255;
    const int z1 = (iz + 1) & 255;
    const auto& p = mPermutation;
    auto hash = [&](int a, int b, int c) { return p[p[p[a] + b] + c]; };
    const double u = fade(x);
    const double v = fade(y);
    const double w = fade(z);
    const double n000 = gradient(hash(x0, y0, z0), x, y, z);
    const double n100 = gradient(hash(x1, y0, z0), x - 1, y, z);
    const double n010 = gradient(hash(x0, y1, z0), x, y - 1, z);
    const double n110 = gradient(hash(x1, y1, z0), x - 1, y - 1, z);
    const double n001 = gradient(hash(x0, y0, z1), x, y, z - 1);
    const double n101 = gradient(hash(x1, y0, z1), x - 1, y, z - 1);
    const double n011 = gradient(hash(x0, y1, z1), x, y - 1, z - 1);
    const double n111 = gradient(hash(x1, y1, z1), x - 1, y - 1, z - 1);
    return lerp(lerp(lerp(n000, n100, u), lerp(n010, n110, u), v),
                lerp(lerp(n001, n101, u), lerp(n011, n111, u), v), w);
}

double GradientNoise::at(Vec3 p) const {
    return lattice(p, 0, 0);
}

double GradientNoise::periodic(Vec3 p, int periodX, int periodY) const {
    return lattice(p, periodX, periodY);
}

double GradientNoise::fractal(Vec3 p, int octaves, double gain) const {
    double sum = 0;
    double amplitude = 1;
    double norm = 0;
    for (int i = 0; i < octaves; ++i) {
        // Shifting each octave keeps lattice zeros from lining up.
        sum += amplitude * at(p + Vec3{i * 17.31, i * 7.77, i * 3.19});
        norm += amplitude;
        amplitude *= gain;
        p = p * 2.0;
    }
    return sum / norm * 1.4;
}

double GradientNoise::periodicFractal(Vec3 p, int periodX, int periodY, int octaves,
                                      double gain) const {
    double sum = 0;
    double amplitude = 1;
    double norm = 0;
    for (int i = 0; i < octaves; ++i) {
        // Whole-number shifts keep every octave periodic.
        sum += amplitude * periodic(p + Vec3{i * 17.0, i * 7.0, i * 3.19}, periodX, periodY);
        norm += amplitude;
        amplitude *= gain;
        p = p * 2.0;
        periodX *= 2;
        periodY *= 2;
    }
    return sum / norm * 1.4;
}

double GradientNoise::ridged(Vec3 p, int octaves, double gain) const {
    double sum = 0;
    double amplitude = 1;
    double norm = 0;
    for (int i = 0; i < octaves; ++i) {
        const double n = 1.0 - std::fabs(at(p + Vec3{i * 5.1, i * 9.3, i * 1.7}));
        sum += amplitude * n * n;
        norm += amplitude;
        amplitude *= gain;
        p = p * 2.0;
    }
    return sum / norm;
}

CellularNoise::CellularNoise(std::uint64_t seed)
    : mSeed(seed) {}

CellDistances CellularNoise::at(Vec3 p) const {
    const int cx = static_cast<int>(std::floor(p.x));
    const int cy = static_cast<int>(std::floor(p.y));
    const int cz = static_cast<int>(std::floor(p.z));
    double nearest = std::numeric_limits<double>::max();
    double second = nearest;
    std::uint32_t nearestHash = 0;
    for (int dz = -1; dz <= 1; ++dz) {
        for (int dy = -1; dy <= 1; ++dy) {
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = cx + dx;
                const int y = cy + dy;
                const int z = cz + dz;
                std::uint64_t h = mix(mSeed ^ (static_cast<std::uint64_t>(x & 0x1FFFFF) << 42) ^
                                      (static_cast<std::uint64_t>(y & 0x1FFFFF) << 21) ^
                                      static_cast<std::uint64_t>(z & 0x1FFFFF));
                const double jx = static_cast<double>(h & 0xFFFF) / 65536.0;
                const double jy = static_cast<double>((h >> 16) & 0xFFFF) / 65536.0;
                const double jz = static_cast<double>((h >> 32) & 0xFFFF) / 65536.0;
                const Vec3 point{x + jx, y + jy, z + jz};
                const double d = length(point - p);
                if (d < nearest) {
                    second = nearest;
                    nearest = d;
                    nearestHash = static_cast<std::uint32_t>(h >> 48);
                } else if (d < second) {
                    second = d;
                }
            }
        }
    }
    return {nearest, second, nearestHash};
}

} // namespace halv::assetgen
