// The station's textures. The hull texture is painted in the station's own terms: rows of plates
// by latitude with fewer plates per row towards the poles (so they stay about square on the
// sphere), the trench's walls and floor in the middle strip, and a plain cap plate at each pole.
// The emitter texture is a disc: lens, floor plates, wall ribs, rim.
#include "tools/assetgen/hull_layout.h"
#include "tools/assetgen/noise.h"
#include "tools/assetgen/textures.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace halv::assetgen {
namespace {

constexpr int kHullSize = 512;
constexpr int kEmitterSize = 256;

// Plate rows run from the trench edge to the cap, which starts here.
const double kCapLatitude = degrees(80.0);
constexpr int kPlateRows = 12;
// Plates per row at the equator, over the half turn one texture width covers.
constexpr int kEquatorPlates = 24;
// Widths in degrees of arc on the station.
constexpr double kSeamWidth = 0.32;
constexpr double kBevelWidth = 0.9;

double hash01(std::uint32_t a, std::uint32_t b, std::uint32_t salt) {
    std::uint64_t h =
        (static_cast<std::uint64_t>(a) << 32) ^ (static_cast<std::uint64_t>(b) << 8) ^ salt;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0);
}

// 1 inside, 0 beyond `width` past an edge distance of 0, smooth over about one texel.
double inside(double distance, double softness) {
    return smoothstep(-softness, softness, distance);
}

class HullPainter {
public:
    HullPainter()
        : mNoise(0x5EED0150) {}

    Colour operator()(double u, double v) const {
        Colour c;
        if (v <= hull::kNorthEnd || v >= hull::kBottomWallEnd) {
            const double latitude = hull::latitudeOfV(v);
            c = std::fabs(latitude) >= kCapLatitude ? cap(std::fabs(latitude))
                                                    : plates(u, latitude);
        } else if (v <= hull::kTopWallEnd) {
            c = wall(u, (v - hull::kNorthEnd) / (hull::kTopWallEnd - hull::kNorthEnd));
        } else if (v < hull::kFloorEnd) {
            c = trenchFloor(u, (v - hull::kTopWallEnd) / (hull::kFloorEnd - hull::kTopWallEnd));
        } else {
            c = wall(u, (hull::kBottomWallEnd - v) / (hull::kBottomWallEnd - hull::kFloorEnd));
        }
        return c;
    }

    // Large soft stains and faint vertical streaks; periodic in u so the texture wraps. Smooth,
    // so it is applied per texel rather than per sample.
    double grime(double u, double v) const {
        const double stains = mNoise.periodicFractal(Vec3{u * 6, v * 6, 0.3}, 6, 6, 4);
        const double streaks = mNoise.periodicFractal(Vec3{u * 48, v * 3, 4.7}, 48, 3, 3);
        return 1.0 + 0.07 * stains - 0.04 * std::max(0.0, streaks);
    }

    Colour cap(double latitude) const {
        const double fromPole = 90.0 - latitude * 180.0 / kPi;
        Colour c = rgb255(150, 154, 164);
        auto groove = [&](double at, double width) {
            return 1 - 0.5 * (1 - smoothstep(0, width, std::fabs(fromPole - at)));
        };
        c = c * groove(10.0, 0.45) * groove(6.0, 0.35) * groove(2.2, 0.3);
        if (fromPole < 2.2) {
            c = c * 0.82;
        }
        return c;
    }

    // Plates in a row span one, two or three columns, chosen per row so the pattern wraps.
    struct Plate {
        int first;
        int span;
    };
    const std::vector<Plate>& rowPlates(int row, int count, std::uint32_t hemisphere) const {
        std::vector<Plate>& plates = mRows[hemisphere - 1][static_cast<std::size_t>(row)];
        if (plates.empty()) {
            std::vector<Plate> groups;
            int column = 0;
            while (column < count) {
                const double pick =
                    hash01(static_cast<std::uint32_t>(row * 64 + column), hemisphere, 9);
                int span = pick < 0.5 ? 1 : pick < 0.85 ? 2 : 3;
                span = std::min(span, count - column);
                groups.push_back({column, span});
                column += span;
            }
            for (const Plate& g : groups) {
                for (int i = 0; i < g.span; ++i) {
                    plates.push_back(g);
                }
            }
        }
        return plates;
    }

    Colour plates(double u, double latitude) const {
        const double lat = std::fabs(latitude) * 180.0 / kPi;
        const double band = hull::kBandHalfAngle * 180.0 / kPi;
        const double rowHeight = (kCapLatitude * 180.0 / kPi - band) / kPlateRows;
        const int row = std::min(kPlateRows - 1, static_cast<int>((lat - band) / rowHeight));
        const double fy = (lat - band) / rowHeight - row; // 0 at the trench side
        const double rowMiddle = (band + (row + 0.5) * rowHeight) * kPi / 180.0;
        const int count =
            std::max(4, static_cast<int>(std::lround(kEquatorPlates * std::cos(rowMiddle))));
        const std::uint32_t hemisphere = latitude >= 0 ? 1 : 2;
        // Half a column on, so that the wrap at u = 0 falls inside a plate like any other texel.
        const double columnF = std::fmod(u * count + 0.5, double(count));
        const int column = static_cast<int>(std::floor(columnF)) % count;
        const Plate plate = rowPlates(row, count, hemisphere)[static_cast<std::size_t>(column)];
        const double fx = (columnF - plate.first) / plate.span;
        const double columnWidth = 180.0 / count * std::cos(latitude); // degrees of arc
        const double plateWidth = columnWidth * plate.span;
        const auto id = static_cast<std::uint32_t>(row * 64 + plate.first);

        // Distances to the plate's edges in degrees of arc.
        const double left = fx * plateWidth;
        const double right = (1 - fx) * plateWidth;
        const double near = fy * rowHeight;
        const double far = (1 - fy) * rowHeight;
        const double edge = std::min({left, right, near, far});

        // Tone varies by plate and, more gently, by larger sections of the hull.
        const auto section =
            static_cast<std::uint32_t>(row / 3 * 16 + static_cast<int>(columnF / count * 6));
        double tone = 0.68 + 0.06 * (hash01(id, hemisphere, 1) - 0.5) +
                      0.05 * (hash01(section, hemisphere, 10) - 0.5);
        Colour c = Colour{0.96, 0.98, 1.03} * tone;
        const double tint = hash01(id, hemisphere, 11);
        if (tint < 0.07) {
            c = c * Colour{0.93, 0.97, 1.04}; // bluish plate
        } else if (tint < 0.12) {
            c = c * Colour{1.06, 0.99, 0.9}; // weathered, warmer plate
        }
        const double kind = hash01(id, hemisphere, 2);
        const double lx = fx;
        const double ly = fy;
        if (kind < 0.10) {
            c = c * 0.78; // darker service plate
        } else if (kind < 0.20 && plate.span == 1) {
            // Split into four smaller plates.
            const double sub =
                std::min(std::fabs(lx - 0.5) * plateWidth, std::fabs(ly - 0.5) * rowHeight);
            c = c * (1 - 0.25 * (1 - inside(sub - kSeamWidth * 0.3, 0.12)));
            c = c * ((lx < 0.5) == (ly < 0.5) ? 1.03 : 0.97);
        } else if (kind < 0.28) {
            // Vents: a few slots across the middle.
            const int slots = 4 + static_cast<int>(hash01(id, hemisphere, 3) * 3);
            const double sy = (ly - 0.25) / 0.5 * slots;
            const double margin = 0.8 / plateWidth; // about 0.8 degrees from the sides
            if (sy > 0 && sy < slots && lx > margin && lx < 1 - margin) {
                const double inSlot = std::fabs(sy - std::floor(sy) - 0.5);
                c = c * mixd(0.45, 1.0, smoothstep(0.2, 0.3, inSlot));
            }
        } else if (kind < 0.36) {
            // Hatch: an inset panel with a thin outline.
            const double inset = edge - 0.25 * std::min(plateWidth, rowHeight);
            c = c * (inset > 0 ? 0.93 : 1.0);
            c = c * (1 - 0.3 * std::exp(-inset * inset / 0.015));
        } else if (kind < 0.48 && row % 3 == 1 && lat < 60) {
            // A row of lit windows.
            const int windows = (3 + static_cast<int>(hash01(id, hemisphere, 4) * 3)) * plate.span;
            const double wx = lx * windows;
            const double inWindowX = std::fabs(wx - std::floor(wx) - 0.5);
            const double inWindowY = std::fabs(ly - 0.5);
            if (inWindowX < 0.2 && inWindowY < 0.1) {
                const bool lit =
                    hash01(id * 16 + static_cast<std::uint32_t>(wx), hemisphere, 5) < 0.8;
                c = lit ? rgb255(255, 228, 160) : rgb255(44, 48, 60);
            }
        }
        // Warning stripes along the trench edge on a few plates of the first row.
        if (row == 0 && hash01(id, hemisphere, 6) < 0.25 && ly < 0.16) {
            const double stripe = std::fmod(lx * 6 * plate.span + ly * 3, 1.0);
            c = stripe < 0.5 ? rgb255(200, 146, 44) : rgb255(46, 46, 50);
        }
        // Bevel: a lit upper edge and a shaded lower edge on every plate.
        const double bevelLight = 1 - smoothstep(0, kBevelWidth, std::min(left, far));
        const double bevelShade = 1 - smoothstep(0, kBevelWidth, std::min(right, near));
        c = c * (1 + 0.07 * bevelLight - 0.08 * bevelShade);
        // Rivets near the corners.
        const double inset = kSeamWidth * 2.5;
        const double rx = std::min(std::fabs(left - inset), std::fabs(right - inset));
        const double ry = std::min(std::fabs(near - inset), std::fabs(far - inset));
        const double rivet = std::sqrt(rx * rx + ry * ry);
        c = c * (1 - 0.25 * (1 - smoothstep(0.15, 0.26, rivet)));
        // Seams between plates.
        c = c * mixd(0.5, 1.0, smoothstep(kSeamWidth * 0.35, kSeamWidth, edge));
        return c;
    }

    // Trench walls: vertical ribs; `depth` is 0 at the lip and 1 at the floor.
    Colour wall(double u, double depth) const {
        const double rib = u * 96 + 0.5 - std::floor(u * 96 + 0.5);
        const double ribShade = 0.85 + 0.25 * std::sin(rib * 2 * kPi);
        Colour c = rgb255(96, 100, 110) * ribShade;
        c = c * mixd(1.0, 0.7, depth);
        if (depth < 0.12) {
            c = c * 1.25; // the lip catches the light
        }
        return c;
    }

    // Trench floor: `across` runs from the north edge (0) to the south edge (1).
    Colour trenchFloor(double u, double across) const {
        Colour c = rgb255(98, 102, 114);
        // Gutters along both edges.
        if (across < 0.1 || across > 0.9) {
            return c * 0.55;
        }
        // Two pipes running along the trench, shaded round, with clamps.
        for (double centre : {0.22, 0.78}) {
            const double t = (across - centre) / 0.09;
            if (std::fabs(t) < 1) {
                const double round = std::sqrt(1 - t * t);
                Colour pipe = rgb255(150, 146, 132) * (0.45 + 0.65 * round) * (1 - 0.25 * t);
                const double clamp = u * 64 + 0.5 - std::floor(u * 64 + 0.5);
                if (clamp < 0.12) {
                    pipe = pipe * 0.6;
                }
                return pipe;
            }
        }
        // Machinery modules between the pipes.
        if (across > 0.34 && across < 0.66) {
            const double moduleF = std::fmod(u * 32 + 0.5, 32.0);
            const auto module =
                static_cast<std::uint32_t>(static_cast<int>(std::floor(moduleF)) % 32);
            const double mx = moduleF - std::floor(moduleF);
            const double my = (across - 0.34) / 0.32;
            const double border = std::min({mx, 1 - mx, my, 1 - my});
            const double tone = 0.75 + 0.3 * hash01(module, 7, 7);
            c = rgb255(70, 74, 86) * tone;
            c = c * mixd(0.45, 1.0, smoothstep(0.03, 0.08, border));
            // A status light near each module's top.
            const double light = hash01(module, 7, 8);
            const double dx = (mx - 0.25) * 2.0;
            const double dy = (my - 0.3) * 1.0;
            const double spot = std::exp(-(dx * dx + dy * dy) / 0.006);
            const Colour lamp = light < 0.35  ? rgb255(90, 255, 140)
                                : light < 0.7 ? rgb255(255, 180, 70)
                                              : rgb255(60, 60, 70);
            c = mix(c, lamp, spot);
            // Cooling fins on the right half.
            if (mx > 0.55 && mx < 0.92 && my > 0.2 && my < 0.8) {
                const double fin = std::fmod(mx * 40, 1.0);
                c = c * (fin < 0.5 ? 0.75 : 1.1);
            }
            return c;
        }
        // Plating between pipes and gutters.
        const double plate = u * 48 + 0.5 - std::floor(u * 48 + 0.5);
        if (plate < 0.06) {
            c = c * 0.6;
        }
        return c;
    }

    GradientNoise mNoise;
    // Plate layout per hemisphere and row, worked out on first use.
    mutable std::vector<std::vector<Plate>> mRows[2]{std::vector<std::vector<Plate>>(kPlateRows),
                                                     std::vector<std::vector<Plate>>(kPlateRows)};
};

} // namespace

Image paintHull() {
    const HullPainter painter;
    Image image = paint(kHullSize, kHullSize, 2, [&](double u, double v) { return painter(u, v); });
    for (int y = 0; y < kHullSize; ++y) {
        for (int x = 0; x < kHullSize; ++x) {
            const double g = painter.grime((x + 0.5) / kHullSize, (y + 0.5) / kHullSize);
            std::uint8_t* p = image.at(x, y);
            for (int i = 0; i < 3; ++i) {
                p[i] = toByte(p[i] / 255.0 * g);
            }
        }
    }
    keepOpaque(image);
    return image;
}

Image paintEmitter() {
    const GradientNoise noise(0x5EED0151);
    Image image = paint(kEmitterSize, kEmitterSize, 3, [&](double u, double v) {
        const double x = u - 0.5;
        const double y = 0.5 - v;
        const double r = std::sqrt(x * x + y * y);
        const double angle = std::atan2(y, x);
        const double turn = angle / (2 * kPi) + 0.5; // 0..1
        const double px = 1.0 / kEmitterSize;        // one texel in texture units
        const double grain = 1 + 0.05 * noise.fractal(Vec3{u * 40, v * 40, 0.5}, 3);
        if (r < hull::kLensEdge) {
            // The lens: a green glow with fine concentric rings and a highlight.
            const double t = r / hull::kLensEdge;
            Colour c = mix(rgb255(200, 255, 215), rgb255(30, 150, 80), std::pow(t, 0.8));
            const double rings = 0.5 + 0.5 * std::cos(t * 28.0);
            c = c * (0.85 + 0.15 * rings);
            const double hx = x + 0.035;
            const double hy = y - 0.035;
            c = c + Colour{1, 1, 1} * 0.5 * std::exp(-(hx * hx + hy * hy) / 0.00025);
            return c;
        }
        if (r < hull::kLensEdge + 0.025) {
            // Bezel with bolts.
            Colour c = rgb255(58, 62, 66) * grain;
            const double bolt = std::fmod(turn * 16, 1.0) - 0.5;
            const double radial = (r - hull::kLensEdge - 0.0125) / 0.006;
            if (bolt * bolt * 400 + radial * radial < 1) {
                c = rgb255(150, 156, 160);
            }
            return c;
        }
        if (r < hull::kFloorEdge) {
            // Floor: 24 plates around, a groove half way, faint glowing conduits.
            const double sector = turn * 24;
            const int index = static_cast<int>(std::floor(sector));
            const double fs = sector - index;
            Colour c = (index % 2 == 0 ? rgb255(104, 112, 114) : rgb255(118, 126, 126)) * grain;
            const double seam = std::min(fs, 1 - fs) * 2 * kPi * r / 24; // across, in texture units
            c = c * mixd(0.45, 1.0, smoothstep(0.4 * px, 1.4 * px, seam));
            const double groove = std::fabs(r - 0.27);
            c = c * mixd(0.45, 1.0, smoothstep(0.6 * px, 1.8 * px, groove));
            if (index % 2 == 1) {
                const double conduit = std::fabs(fs - 0.5) * 2 * kPi * r / 24;
                c = c +
                    rgb255(40, 200, 100) * (0.6 * std::exp(-conduit * conduit / (2.0 * px * px)));
            }
            return c;
        }
        if (r < hull::kRimEdge) {
            // Wall: ribs, darker towards the floor, an amber band under the rim.
            const double depth = (hull::kRimEdge - r) / (hull::kRimEdge - hull::kFloorEdge);
            const double rib = std::fmod(turn * 62, 1.0);
            Colour c =
                rgb255(74, 80, 86) * (0.8 + 0.3 * std::sin(rib * 2 * kPi)) * mixd(1.0, 0.6, depth);
            if (depth < 0.22 && depth > 0.08) {
                const double stripe = std::fmod(turn * 48 + depth * 4, 1.0);
                c = stripe < 0.5 ? rgb255(200, 140, 36) : rgb255(36, 36, 40);
            }
            return c * grain;
        }
        // Rim and the unused corners: bright metal.
        return rgb255(176, 182, 190) * grain;
    });
    keepOpaque(image);
    return image;
}

} // namespace halv::assetgen
