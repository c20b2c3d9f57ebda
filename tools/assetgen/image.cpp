// Supersampled painting into 8-bit images.
#include "tools/assetgen/image.h"

namespace halv::assetgen {

Colour ramp(const std::vector<RampStop>& stops, double x) {
    if (x <= stops.front().at) {
        return stops.front().colour;
    }
    for (std::size_t i = 1; i < stops.size(); ++i) {
        if (x <= stops[i].at) {
            const double t = (x - stops[i - 1].at) / (stops[i].at - stops[i - 1].at);
            return mix(stops[i - 1].colour, stops[i].colour, t);
        }
    }
    return stops.back().colour;
}

std::uint8_t toByte(double value) {
    const double scaled = std::floor(clamp01(value) * 255.0 + 0.5);
    return static_cast<std::uint8_t>(scaled);
}

Image paint(int width, int height, int samples,
            const std::function<Colour(double u, double v)>& painter) {
    Image image(width, height, 3);
    const double weight = 1.0 / (samples * samples);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Colour sum;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const double u = (x + (sx + 0.5) / samples) / width;
                    const double v = (y + (sy + 0.5) / samples) / height;
                    const Colour c = painter(u, v);
                    sum = sum + Colour{clamp01(c.r), clamp01(c.g), clamp01(c.b)};
                }
            }
            std::uint8_t* p = image.at(x, y);
            p[0] = toByte(sum.r * weight);
            p[1] = toByte(sum.g * weight);
            p[2] = toByte(sum.b * weight);
        }
    }
    return image;
}

Image paintWithAlpha(int width, int height, int samples,
                     const std::function<ColourAlpha(double u, double v)>& painter) {
    Image image(width, height, 4);
    const double weight = 1.0 / (samples * samples);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Colour premultiplied;
            double alpha = 0;
            for (int sy = 0; sy < samples; ++sy) {
                for (int sx = 0; sx < samples; ++sx) {
                    const double u = (x + (sx + 0.5) / samples) / width;
                    const double v = (y + (sy + 0.5) / samples) / height;
                    const ColourAlpha c = painter(u, v);
                    const double a = clamp01(c.alpha);
                    premultiplied =
                        premultiplied +
                        Colour{clamp01(c.colour.r), clamp01(c.colour.g), clamp01(c.colour.b)} * a;
                    alpha += a;
                }
            }
            std::uint8_t* p = image.at(x, y);
            const Colour straight = alpha > 0 ? premultiplied * (1.0 / alpha) : Colour{};
            p[0] = toByte(straight.r);
            p[1] = toByte(straight.g);
            p[2] = toByte(straight.b);
            p[3] = toByte(alpha * weight);
        }
    }
    return image;
}

void keepOpaque(Image& image) {
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            std::uint8_t* p = image.at(x, y);
            if (p[0] == 0 && p[1] == 0 && p[2] == 0) {
                p[0] = p[1] = p[2] = 1;
            }
        }
    }
}

} // namespace halv::assetgen
