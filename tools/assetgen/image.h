// 8-bit images and the float colour arithmetic the texture painters use.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

namespace halv::assetgen {

struct Colour {
    double r = 0;
    double g = 0;
    double b = 0;
};

inline Colour operator+(Colour a, Colour b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
inline Colour operator-(Colour a, Colour b) {
    return {a.r - b.r, a.g - b.g, a.b - b.b};
}
inline Colour operator*(Colour a, double s) {
    return {a.r * s, a.g * s, a.b * s};
}
inline Colour operator*(double s, Colour a) {
    return a * s;
}
inline Colour operator*(Colour a, Colour b) {
    return {a.r * b.r, a.g * b.g, a.b * b.b};
}

inline double clamp01(double x) {
    return std::clamp(x, 0.0, 1.0);
}
inline double mixd(double a, double b, double t) {
    return a + (b - a) * t;
}
inline Colour mix(Colour a, Colour b, double t) {
    return a + (b - a) * t;
}
inline double smoothstep(double edge0, double edge1, double x) {
    const double t = clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}
// Colour from 0..255 components, for readable palettes.
inline Colour rgb255(int r, int g, int b) {
    return {r / 255.0, g / 255.0, b / 255.0};
}

// Looks up a colour ramp: `stops` are (position, colour) pairs in rising position order.
struct RampStop {
    double at;
    Colour colour;
};
Colour ramp(const std::vector<RampStop>& stops, double x);

// Rows top to bottom, pixels left to right, `channels` bytes each (3: RGB, 4: RGBA).
struct Image {
    int width = 0;
    int height = 0;
    int channels = 3;
    std::vector<std::uint8_t> pixels;

    Image() = default;
    Image(int w, int h, int c = 3)
        : width(w)
        , height(h)
        , channels(c)
        , pixels(static_cast<std::size_t>(w) * h * c, 0) {}

    std::uint8_t* at(int x, int y) {
        return &pixels[(static_cast<std::size_t>(y) * width + x) * channels];
    }
    const std::uint8_t* at(int x, int y) const {
        return &pixels[(static_cast<std::size_t>(y) * width + x) * channels];
    }
};

std::uint8_t toByte(double value);

// Paints an RGB image by averaging `samples` x `samples` points per pixel; the painter gets
// texture coordinates in 0..1 (u to the right, v down).
Image paint(int width, int height, int samples,
            const std::function<Colour(double u, double v)>& painter);

// The same with coverage: the painter returns a colour and an alpha (straight, not premultiplied).
struct ColourAlpha {
    Colour colour;
    double alpha;
};
Image paintWithAlpha(int width, int height, int samples,
                     const std::function<ColourAlpha(double u, double v)>& painter);

// The image loader turns opaque black into transparent black; for textures that must stay
// opaque everywhere this lifts any pure-black pixel to (1, 1, 1).
void keepOpaque(Image& image);

} // namespace halv::assetgen
