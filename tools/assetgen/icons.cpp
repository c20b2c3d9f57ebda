// The window icon: the station, a grey sphere with its trench and green emitter, firing at a
// small orange planet (left out at the small size, where it would be a mere dot).
#include "tools/assetgen/textures.h"

#include <cmath>

namespace halv::assetgen {

Image paintIcon(int size) {
    const bool large = size >= 32;
    const int samples = 4;
    // Station disc, in icon units (0..1, y down).
    const double cx = large ? 0.60 : 0.5;
    const double cy = large ? 0.42 : 0.5;
    const double radius = large ? 0.36 : 0.46;
    const double emitterX = cx - radius * 0.42;
    const double emitterY = cy - radius * 0.40;
    const double planetX = 0.17;
    const double planetY = 0.82;
    const double planetRadius = 0.12;
    return paintWithAlpha(size, size, samples, [&](double u, double v) -> ColourAlpha {
        const double dx = (u - cx) / radius;
        const double dy = (v - cy) / radius;
        const double d2 = dx * dx + dy * dy;
        if (d2 <= 1) {
            // Lit from the upper left.
            const double dz = std::sqrt(1 - d2);
            const double light = std::max(0.0, (-dx * 0.5 - dy * 0.6 + dz * 0.62));
            Colour c = rgb255(150, 156, 170) * (0.25 + 0.85 * light);
            // The trench: a dark band bent with the sphere.
            const double trench = std::fabs(dy - 0.08 * (1 - dx * dx));
            if (trench < (large ? 0.07 : 0.1)) {
                c = c * 0.35;
            }
            // The emitter.
            const double ex = (u - emitterX) / radius;
            const double ey = (v - emitterY) / radius;
            const double e = ex * ex + ey * ey;
            if (e < 0.05) {
                c = mix(rgb255(20, 60, 30), rgb255(120, 255, 150), std::exp(-e / 0.012));
            }
            return {c, 1.0};
        }
        if (large) {
            const double px = u - planetX;
            const double py = v - planetY;
            const double p2 = (px * px + py * py) / (planetRadius * planetRadius);
            if (p2 <= 1) {
                const double light =
                    std::max(0.0, -px / planetRadius * 0.5 - py / planetRadius * 0.5 +
                                      std::sqrt(1 - p2) * 0.7);
                return {rgb255(240, 120, 40) * (0.3 + 0.8 * light), 1.0};
            }
            // The beam from the emitter to the planet.
            const double bx = planetX - emitterX;
            const double by = planetY - emitterY;
            const double t = std::clamp(
                ((u - emitterX) * bx + (v - emitterY) * by) / (bx * bx + by * by), 0.0, 1.0);
            const double qx = emitterX + bx * t - u;
            const double qy = emitterY + by * t - v;
            const double beam = std::sqrt(qx * qx + qy * qy);
            if (beam < 0.03) {
                return {rgb255(90, 255, 110), 1.0 - smoothstep(0.012, 0.03, beam)};
            }
        }
        return {Colour{}, 0.0};
    });
}

} // namespace halv::assetgen
