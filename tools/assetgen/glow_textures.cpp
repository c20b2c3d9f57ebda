// The beam's cross-section and the debris sprites: glows on black, which the additive passes
// add to the frame (black adds nothing and is also what the colour key makes transparent).
#include "tools/assetgen/random.h"
#include "tools/assetgen/textures.h"

#include <cmath>
#include <vector>

namespace halv::assetgen {
namespace {

constexpr int kSpriteSize = 128;

// Fades everything out before the sprite's edge so that its border is black.
double edgeFade(double radius) {
    return 1.0 - smoothstep(0.78, 0.97, radius);
}

struct Blob {
    double x;
    double y;
    double sigma;
    double intensity;
    Colour tint;
};

Image paintBlobs(const std::vector<Blob>& blobs) {
    return paint(kSpriteSize, kSpriteSize, 3, [&](double u, double v) {
        const double x = u * 2 - 1;
        const double y = v * 2 - 1;
        Colour sum;
        for (const Blob& b : blobs) {
            const double d2 = (x - b.x) * (x - b.x) + (y - b.y) * (y - b.y);
            sum = sum + b.tint * (b.intensity * std::exp(-d2 / (2 * b.sigma * b.sigma)));
        }
        return sum * edgeFade(std::sqrt(x * x + y * y));
    });
}

std::vector<Blob> cluster(std::uint64_t seed, int count, double minIntensity, double maxIntensity) {
    Random random(seed);
    std::vector<Blob> blobs;
    for (int i = 0; i < count; ++i) {
        const double angle = random.uniform(0, 2 * 3.14159265358979);
        const double radius = 0.55 * std::sqrt(random.uniform());
        Blob b;
        b.x = radius * std::cos(angle);
        b.y = radius * std::sin(angle);
        b.sigma = random.uniform(0.05, 0.11);
        b.intensity = random.uniform(minIntensity, maxIntensity);
        const double warmth = random.uniform();
        b.tint = mix(Colour{1.0, 1.0, 1.0}, Colour{1.0, 0.82, 0.55}, warmth * 0.7);
        blobs.push_back(b);
    }
    return blobs;
}

} // namespace

Image paintBeam() {
    // Rows are v across the beam's ribbon: the bright core row with a dim row or two each side.
    const int greens[8] = {0, 40, 110, 255, 110, 40, 0, 0};
    Image image(8, 8, 3);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            std::uint8_t* p = image.at(x, y);
            p[0] = 0;
            p[1] = static_cast<std::uint8_t>(greens[y]);
            p[2] = 0;
        }
    }
    return image;
}

Image paintGlow() {
    return paint(kSpriteSize, kSpriteSize, 3, [](double u, double v) {
        const double x = u * 2 - 1;
        const double y = v * 2 - 1;
        const double r2 = x * x + y * y;
        const double glow = std::exp(-r2 * 7.0) + 0.35 * std::exp(-r2 * 2.2);
        const double i = glow / 1.35 * edgeFade(std::sqrt(r2));
        return Colour{i, i, i};
    });
}

Image paintFaintCluster() {
    return paintBlobs(cluster(0x5EED0155, 8, 0.22, 0.42));
}

Image paintCluster() {
    return paintBlobs(cluster(0x5EED0156, 10, 0.65, 1.0));
}

} // namespace halv::assetgen
