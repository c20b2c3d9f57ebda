// The planet's three faces and its clouds. The sphere textures are sampled on the sphere itself
// (3D noise at the point each texel covers), so they meet without a seam where u wraps and do
// not pinch at the poles.
#include "tools/assetgen/noise.h"
#include "tools/assetgen/random.h"
#include "tools/assetgen/textures.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace halv::assetgen {
namespace {

constexpr int kSize = 512;

// The scene's sphere puts the texel (u, v) at angle -2 pi u around y and v from the top pole
// (0) to the bottom one (1).
Vec3 spherePoint(double u, double v) {
    const double angle = -2 * kPi * u;
    const double s = std::sin(kPi * v);
    return {std::sin(angle) * s, std::cos(kPi * v), std::cos(angle) * s};
}

double latitudeOf(double v) {
    return kPi / 2 - kPi * v;
}

// Value below which `share` of the field lies.
double quantile(std::vector<double> field, double share) {
    const auto at = static_cast<std::size_t>(share * (field.size() - 1));
    std::nth_element(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(at), field.end());
    return field[at];
}

Vec3 warp(const GradientNoise& noise, Vec3 p, double amount, double frequency) {
    return p + Vec3{noise.fractal(p * frequency + Vec3{1.7, 9.2, 3.3}, 4),
                    noise.fractal(p * frequency + Vec3{8.3, 2.8, 5.1}, 4),
                    noise.fractal(p * frequency + Vec3{4.1, 6.6, 7.9}, 4)} *
                   amount;
}

template <typename Fn>
std::vector<double> sampleField(Fn fn) {
    std::vector<double> field(static_cast<std::size_t>(kSize) * kSize);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            field[static_cast<std::size_t>(y) * kSize + x] =
                fn((x + 0.5) / kSize, (y + 0.5) / kSize);
        }
    }
    return field;
}

template <typename Fn>
Image fromPixels(Fn colourAt) {
    Image image(kSize, kSize, 3);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const Colour c = colourAt(x, y);
            std::uint8_t* p = image.at(x, y);
            p[0] = toByte(c.r);
            p[1] = toByte(c.g);
            p[2] = toByte(c.b);
        }
    }
    return image;
}

} // namespace

Image paintEarth() {
    const GradientNoise noise(0x5EED0149);
    const GradientNoise moistureNoise(0x5EED1149);
    const std::vector<double> height = sampleField([&](double u, double v) {
        const Vec3 p = warp(noise, spherePoint(u, v), 0.35, 1.2);
        return noise.fractal(p * 1.5, 8, 0.52);
    });
    // About a third land.
    const double sea = quantile(height, 0.66);
    const double top = quantile(height, 0.995);
    auto heightAt = [&](int x, int y) {
        x = (x % kSize + kSize) % kSize;
        y = std::clamp(y, 0, kSize - 1);
        return height[static_cast<std::size_t>(y) * kSize + x];
    };
    return fromPixels([&](int x, int y) {
        const double u = (x + 0.5) / kSize;
        const double v = (y + 0.5) / kSize;
        const Vec3 p = spherePoint(u, v);
        const double latitude = std::fabs(latitudeOf(v));
        const double h = heightAt(x, y);
        const double detail = noise.fractal(p * 24.0, 3);
        Colour c;
        if (h < sea) {
            const double depth = std::clamp((sea - h) / 0.35, 0.0, 1.0);
            c = ramp({{0.0, rgb255(38, 112, 150)},
                      {0.08, rgb255(22, 78, 130)},
                      {0.4, rgb255(12, 44, 100)},
                      {1.0, rgb255(6, 22, 64)}},
                     depth);
            c = c * (1 + 0.04 * detail);
        } else {
            const double elevation = (h - sea) / (top - sea);
            const double moisture =
                moistureNoise.fractal(p * 2.5, 5) + 0.3 * std::cos(latitude * 3.2);
            const double dry = smoothstep(0.15, -0.25, moisture) *
                               smoothstep(0.05, 0.35, latitude) *
                               (1 - smoothstep(0.55, 0.75, latitude));
            const Colour forest = rgb255(34, 78, 30);
            const Colour grass = rgb255(92, 112, 52);
            const Colour desert = rgb255(196, 164, 110);
            const Colour tundra = rgb255(120, 118, 96);
            const Colour rock = rgb255(112, 96, 80);
            const Colour snow = rgb255(236, 240, 244);
            c = mix(forest, grass, smoothstep(-0.2, 0.3, moisture * -1 + 0.1));
            c = mix(c, desert, dry);
            c = mix(c, tundra, smoothstep(0.85, 1.1, latitude));
            c = mix(c, rock, smoothstep(0.35, 0.75, elevation));
            c = mix(c, snow,
                    smoothstep(0.8, 0.95, elevation + 0.2 * smoothstep(0.9, 1.2, latitude)));
            // Coasts a little lighter.
            c = mix(c, rgb255(150, 140, 100), 0.35 * (1 - smoothstep(0.0, 0.03, elevation)));
            // Relief: light the slope from the upper left.
            const double dx = heightAt(x + 1, y) - heightAt(x - 1, y);
            const double dy = heightAt(x, y + 1) - heightAt(x, y - 1);
            c = c * std::clamp(1.0 - (dx + dy) * 6.0, 0.8, 1.2) * (1 + 0.06 * detail);
        }
        // Polar ice over land and sea.
        const double iceEdge = 1.25 + 0.07 * noise.fractal(p * 6.0 + Vec3{3, 3, 3}, 4);
        const double ice = smoothstep(iceEdge - 0.03, iceEdge + 0.03, latitude);
        c = mix(c, rgb255(232, 238, 246) * (1 + 0.03 * detail), ice);
        return c;
    });
}

Image paintClouds() {
    const GradientNoise noise(0x5EED0157);
    const std::vector<double> cover = sampleField([&](double u, double v) {
        const Vec3 base = spherePoint(u, v);
        // One gentle warp gives swirls; stretching along the equator gives weather bands.
        const Vec3 p = warp(noise, base, 0.3, 1.4);
        const double latitude = latitudeOf(v);
        const double bands = 0.16 * std::cos(latitude * 6.0) + 0.08 * std::cos(latitude * 2.0);
        const double large = noise.fractal(Vec3{p.x * 1.6, p.y * 3.0, p.z * 1.6}, 3);
        const double small =
            noise.fractal(Vec3{p.x * 5.0, p.y * 7.0, p.z * 5.0} + Vec3{3, 1, 2}, 5, 0.55);
        return large * 0.75 + small * 0.45 + bands;
    });
    const double clear = quantile(cover, 0.5);
    const double thick = quantile(cover, 0.985);
    return fromPixels([&](int x, int y) {
        const double c = cover[static_cast<std::size_t>(y) * kSize + x];
        const double t = (c - clear) / (thick - clear);
        if (t <= 0) {
            return Colour{0, 0, 0};
        }
        const double grey = 0.74 * std::pow(std::min(t, 1.0), 0.85);
        return Colour{grey, grey, grey * 1.03};
    });
}

Image paintLava() {
    const GradientNoise noise(0x5EED0211);
    const CellularNoise cells(0x5EED1211);
    const std::vector<RampStop> heatRamp{
        {0.0, rgb255(34, 8, 4)},    {0.2, rgb255(70, 14, 6)},    {0.4, rgb255(150, 28, 8)},
        {0.6, rgb255(226, 72, 12)}, {0.8, rgb255(255, 146, 30)}, {1.0, rgb255(255, 224, 120)},
    };
    return fromPixels([&](int x, int y) {
        const double u = (x + 0.5) / kSize;
        const double v = (y + 0.5) / kSize;
        const Vec3 p = spherePoint(u, v);
        const Vec3 q = warp(noise, p, 0.18, 2.0);
        // Crust plates with glowing cracks between them.
        const CellDistances big = cells.at(q * 4.5);
        const CellDistances small = cells.at(q * 11.0 + Vec3{5, 5, 5});
        const double crack = (1 - smoothstep(0.0, 0.09, big.second - big.nearest)) +
                             0.6 * (1 - smoothstep(0.0, 0.07, small.second - small.nearest));
        // Broad lava seas.
        const double sea = smoothstep(0.05, 0.4, noise.fractal(q * 1.3 + Vec3{9, 1, 4}, 5));
        const double crust =
            0.24 + 0.12 * noise.fractal(q * 14.0, 4) + 0.08 * ((big.cellHash % 7) / 6.0);
        double heat = std::max({crust, crack * (0.75 + 0.25 * noise.at(q * 20.0)),
                                sea * (0.7 + 0.3 * noise.fractal(q * 6.0, 3))});
        heat = std::clamp(heat, 0.0, 1.0);
        return ramp(heatRamp, heat);
    });
}

Image paintVioletPatterns() {
    const GradientNoise noise(0x5EED0210);
    struct Circle {
        double x;
        double y;
        double radius;
        int rings;
    };
    Random random(0x5EED1210);
    std::vector<Circle> circles;
    for (int i = 0; i < 11; ++i) {
        circles.push_back(
            {random.uniform(), random.uniform(), random.uniform(0.05, 0.13), 2 + random.below(3)});
    }
    return paint(kSize, kSize, 1, [&](double u, double v) {
        // Noise with a period of one tile in both directions.
        const double mottle = noise.periodicFractal(Vec3{u * 8, v * 8, 0.5}, 8, 8, 5);
        const double veins = noise.periodicFractal(Vec3{u * 16, v * 16, 7.5}, 16, 16, 4);
        Colour c = mix(rgb255(44, 14, 70), rgb255(96, 40, 138), 0.5 + 0.5 * mottle);
        c = c + rgb255(60, 20, 90) * std::pow(1 - std::fabs(veins), 12.0) * 0.8;
        double glow = 0;
        for (const Circle& circle : circles) {
            // Distance to the circle's centre on the repeating tile.
            double dx = std::fabs(u - circle.x);
            double dy = std::fabs(v - circle.y);
            dx = std::min(dx, 1 - dx);
            dy = std::min(dy, 1 - dy);
            const double d = std::sqrt(dx * dx + dy * dy);
            for (int ring = 0; ring < circle.rings; ++ring) {
                const double rr = circle.radius * (1 - ring / double(circle.rings + 1));
                const double t = (d - rr) / 0.0045;
                glow += std::exp(-t * t) * (ring == 0 ? 1.0 : 0.7);
            }
            glow += 0.35 * std::exp(-(d / circle.radius) * (d / circle.radius) * 3.0);
            const double core = d / (circle.radius * 0.12);
            glow += 0.9 * std::exp(-core * core);
        }
        const Colour glowColour = rgb255(220, 150, 255);
        c = c + glowColour * glow + Colour{1, 1, 1} * std::max(0.0, glow - 1.0) * 0.5;
        return c;
    });
}

} // namespace halv::assetgen
