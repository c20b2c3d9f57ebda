// The planet's explosion, fifty frames on black: a white flash, a turbulent fireball that grows
// and cools from yellow through orange to red, a shock ring and rays racing outwards, and embers
// that glow on as the rest fades.
#include "tools/assetgen/noise.h"
#include "tools/assetgen/textures.h"

#include <cmath>

namespace halv::assetgen {
namespace {

constexpr int kSize = 128;

const std::vector<RampStop>& fireRamp() {
    static const std::vector<RampStop> ramp{
        {0.00, {0.0, 0.0, 0.0}},    {0.08, {0.20, 0.02, 0.01}}, {0.22, {0.58, 0.08, 0.02}},
        {0.40, {0.92, 0.30, 0.04}}, {0.60, {1.0, 0.58, 0.14}},  {0.80, {1.0, 0.84, 0.46}},
        {1.00, {1.0, 0.98, 0.90}},
    };
    return ramp;
}

struct FrameState {
    double time;     // 0 .. 1 over the fifty frames
    double radius;   // of the fireball, in half-widths of the frame
    double envelope; // overall heat
    double flash;    // white core of the first frames
    double ring;     // shock ring radius
    double ringGlow; // and its brightness
    double rays;     // brightness of the rays
    double hollow;   // how far the centre has burnt out
    double embers;   // brightness of the sparks left in the cloud
};

FrameState frameState(int frame) {
    const double t = frame / double(kExplosionFrames - 1);
    FrameState s;
    s.time = t;
    s.radius = 0.14 + 0.72 * (1 - std::pow(1 - t, 2.2));
    s.envelope = t < 0.35 ? mixd(1.05, 0.85, t / 0.35) : 0.85 * std::exp(-(t - 0.35) * 3.6);
    s.flash = std::max(0.0, 1 - t / 0.16);
    const double ringTime = (t - 0.02) / 0.45;
    s.ring = 0.15 + 0.9 * ringTime;
    s.ringGlow = (ringTime > 0 && ringTime < 1) ? 0.9 * std::pow(1 - ringTime, 1.5) : 0;
    s.rays = std::max(0.0, 1 - t / 0.4);
    s.hollow = smoothstep(0.3, 0.95, t);
    s.embers = smoothstep(0.3, 0.55, t) * (1 - smoothstep(0.85, 1.0, t) * 0.6);
    return s;
}

} // namespace

Image paintExplosionFrame(int frame) {
    static const GradientNoise noise(0x5EED0160);
    const FrameState s = frameState(frame);
    return paint(kSize, kSize, 2, [&](double u, double v) {
        const double x = u * 2 - 1;
        const double y = v * 2 - 1;
        const double r = std::sqrt(x * x + y * y);
        const double angle = std::atan2(y, x);
        // Coordinates that expand with the ball, so its billows grow with it.
        const Vec3 q{x / s.radius, y / s.radius, s.time * 1.2};
        const double rho = std::sqrt(q.x * q.x + q.y * q.y);
        const Vec3 w{noise.fractal(q * 1.1 + Vec3{0, 0, 3}, 2),
                     noise.fractal(q * 1.1 + Vec3{5.2, 1.3, 7}, 2), 0};
        const Vec3 q2 = q + w * 0.45;
        const double billow = noise.fractal(q2 * 2.0 + Vec3{0, 0, s.time * 2.0}, 5);
        const double turbulence = smoothstep(-0.35, 0.6, billow);

        // Ragged ball: its edge wanders with the billows.
        const double edge = rho + 0.32 * noise.fractal(q * 1.4 + Vec3{9, 9, s.time}, 3);
        double density = 1 - smoothstep(0.55, 1.0, edge);
        // Later the middle burns out into thinner, patchy smoke.
        density *= 1 - s.hollow * 0.7 * (1 - smoothstep(0.1, 0.8, rho));

        const double core = 1 - smoothstep(0.0, 0.9, rho);
        double heat = density * s.envelope * (0.25 + 0.85 * turbulence * (0.55 + 0.45 * core));
        heat += s.flash * 1.2 * std::exp(-rho * rho * 1.5);

        // Shock ring, broken up along its length.
        const double ringNoise =
            0.5 +
            0.5 * noise.fractal(Vec3{std::cos(angle) * 4, std::sin(angle) * 4, s.time * 3}, 3);
        const double ringDistance = (r - s.ring) / 0.03;
        heat += s.ringGlow * ringNoise * std::exp(-ringDistance * ringDistance);

        // Rays of flung debris.
        const double ray = std::pow(
            std::max(0.0, noise.at(Vec3{std::cos(angle) * 7, std::sin(angle) * 7, 5.5})), 4.0);
        const double reach = smoothstep(s.radius * 0.5, s.radius * 0.9, r) *
                             (1 - smoothstep(s.radius * 0.9, s.radius * 1.9, r));
        heat += ray * reach * 5.0 * s.rays;

        // Embers glinting in the cooling cloud.
        const double spark =
            std::pow(std::max(0.0, noise.at(q2 * 13.0 + Vec3{0, 0, s.time * 6})), 6.0);
        heat += spark * density * s.embers * 14.0;

        heat = std::clamp(heat, 0.0, 1.0);
        // The frame's border stays black.
        return ramp(fireRamp(), heat) * (1 - smoothstep(0.86, 0.98, r));
    });
}

} // namespace halv::assetgen
