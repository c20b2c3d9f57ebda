// Stars on black. Each star is a small Gaussian splat, wrapped at the edges so the image tiles.
#include "tools/assetgen/random.h"
#include "tools/assetgen/textures.h"

#include <cmath>
#include <vector>

namespace halv::assetgen {
namespace {

constexpr int kSize = 800;
constexpr int kStars = 1400;
constexpr int kBrightStars = 10;

struct Star {
    double x;
    double y;
    double brightness;
    double sigma;
    Colour tint;
};

Colour starTint(Random& random) {
    const double pick = random.uniform();
    if (pick < 0.25) {
        return {0.78, 0.86, 1.0}; // hot, bluish
    }
    if (pick < 0.45) {
        return {1.0, 0.93, 0.80};
    }
    if (pick < 0.50) {
        return {1.0, 0.78, 0.58}; // cool, orange
    }
    return {1.0, 1.0, 1.0};
}

void splat(std::vector<Colour>& sky, const Star& star) {
    const int reach = static_cast<int>(std::ceil(star.sigma * 4));
    const int cx = static_cast<int>(std::floor(star.x));
    const int cy = static_cast<int>(std::floor(star.y));
    for (int dy = -reach; dy <= reach; ++dy) {
        for (int dx = -reach; dx <= reach; ++dx) {
            const int px = cx + dx;
            const int py = cy + dy;
            const double ddx = px + 0.5 - star.x;
            const double ddy = py + 0.5 - star.y;
            const double falloff =
                std::exp(-(ddx * ddx + ddy * ddy) / (2 * star.sigma * star.sigma));
            const int wx = (px % kSize + kSize) % kSize;
            const int wy = (py % kSize + kSize) % kSize;
            Colour& c = sky[static_cast<std::size_t>(wy) * kSize + wx];
            c = c + star.tint * (star.brightness * falloff);
        }
    }
}

} // namespace

Image paintSky() {
    Random random(0x5EED0152);
    std::vector<Colour> sky(static_cast<std::size_t>(kSize) * kSize);
    for (int i = 0; i < kStars; ++i) {
        Star star;
        star.x = random.uniform(0, kSize);
        star.y = random.uniform(0, kSize);
        // Most stars are faint; a steep power gives a few bright ones.
        const double x = random.uniform();
        star.brightness = 0.16 + 0.84 * std::pow(x, 5.0);
        star.sigma = 0.55 + 0.55 * star.brightness;
        star.tint = starTint(random);
        splat(sky, star);
    }
    for (int i = 0; i < kBrightStars; ++i) {
        Star star;
        star.x = random.uniform(0, kSize);
        star.y = random.uniform(0, kSize);
        star.tint = starTint(random);
        star.brightness = 1.3;
        star.sigma = 1.1;
        splat(sky, star);
        // A faint halo around the brightest ones.
        star.brightness = 0.10;
        star.sigma = 3.5;
        splat(sky, star);
    }
    Image image(kSize, kSize, 3);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const Colour& c = sky[static_cast<std::size_t>(y) * kSize + x];
            std::uint8_t* p = image.at(x, y);
            p[0] = toByte(c.r);
            p[1] = toByte(c.g);
            p[2] = toByte(c.b);
        }
    }
    return image;
}

} // namespace halv::assetgen
