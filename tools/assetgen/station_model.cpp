// Shapes the station: hull grid, equatorial trench, emitter recess and the collar that joins the
// recess rim to the hull grid.
#include "tools/assetgen/station_model.h"

#include "tools/assetgen/hull_layout.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <utility>

namespace halv::assetgen {
namespace {

using Colour4 = std::array<double, 4>;

constexpr std::uint32_t kHullMaterial = 0;
constexpr std::uint32_t kEmitterMaterial = 1;

// Near-white vertex colours: when vertex colour drives the lit diffuse they shade a little, the
// recessed parts a little darker as if less light reached them.
constexpr Colour4 kHullColour{0.97, 0.97, 0.98, 1};
constexpr Colour4 kTrenchFloorColour{0.88, 0.88, 0.9, 1};
constexpr Colour4 kTrenchWallColour{0.84, 0.84, 0.87, 1};
constexpr Colour4 kRecessColour{0.9, 0.92, 0.91, 1};
constexpr Colour4 kLensColour{1, 1, 1, 1};

// Sizes in world units.
constexpr double kTrenchDepth = 0.035;
constexpr double kBlockHeight = 0.016;
const double kBlockHalfLatitude = degrees(2.2);
constexpr double kBlockLengthShare = 0.2; // of the spacing between blocks
constexpr double kDomeRadius = 0.05;
constexpr double kDomeHeight = 0.022;
// Parts set onto the hull reach this far below its surface, so that no gap shows where the
// flat hull cells dip under the true sphere.
constexpr double kSink = 0.004;
constexpr double kFloorRadius = 0.33; // room for the cone's wide end, radius 0.3, tilted a little
constexpr double kFloorRingRadius = 0.22;
constexpr double kLensRadius = 0.12;
constexpr double kLensHeight = 0.02;
const double kRimAngle = degrees(20.0);
// Hull cells closer than this to the rim are cut away and replaced by the collar.
const double kCutMargin = degrees(1.5);

// A row of vertices as seen from the front, left to right, with a parameter (an angle) that
// rises along it.
struct Row {
    std::vector<std::uint32_t> vertices;
    std::vector<double> params;
    void push(std::uint32_t v, double p) {
        vertices.push_back(v);
        params.push_back(p);
    }
};

// Joins two rows that may have different vertex counts with a strip of triangles, front faces
// clockwise. Both rows start at the left end of the strip and stop at its right end.
void zipRows(MeshBuilder& mesh, const Row& lower, const Row& upper, std::uint32_t material) {
    std::size_t i = 0;
    std::size_t j = 0;
    const std::size_t lastLower = lower.vertices.size() - 1;
    const std::size_t lastUpper = upper.vertices.size() - 1;
    while (i < lastLower || j < lastUpper) {
        bool advanceUpper;
        if (i == lastLower) {
            advanceUpper = true;
        } else if (j == lastUpper) {
            advanceUpper = false;
        } else {
            // Take the step whose new edge is shorter in angle: no long slivers.
            const double upperMid = 0.5 * (upper.params[j] + upper.params[j + 1]);
            const double lowerMid = 0.5 * (lower.params[i] + lower.params[i + 1]);
            advanceUpper = upperMid < lowerMid;
        }
        if (advanceUpper) {
            mesh.triangle(lower.vertices[i], upper.vertices[j], upper.vertices[j + 1], material);
            ++j;
        } else {
            mesh.triangle(lower.vertices[i], upper.vertices[j], lower.vertices[i + 1], material);
            ++i;
        }
    }
}

class StationShaper {
public:
    StationShaper(const StationShape& shape, MeshBuilder& mesh)
        : mShape(shape)
        , mMesh(mesh) {
        // The emitter sits under the cone's wide end: its direction and depth come from where
        // the scene puts the cone, turned back by the station's yaw.
        const Vec3 offset = coneBaseCentre() - placement::kStationPosition;
        mEmitterAxis =
            normalize(Mat4::rotationY(-placement::kStationYaw).transformDirection(offset));
        mFloorDistance = length(offset);
        // Seen from outside along the axis: mUp is the station's up made square to the axis,
        // mRight completes a left-handed (right, up, towards the viewer) set.
        mUp = normalize(Vec3{0, 1, 0} - mEmitterAxis * mEmitterAxis.y);
        mRight = normalize(cross(mUp, -mEmitterAxis));
        // Longitudes are counted so that the emitter is at pi, the middle of the hull texture,
        // well away from the texture seam at 0.
        mLongitudeOffset = std::atan2(mEmitterAxis.z, mEmitterAxis.x) - kPi;
    }

    void build() {
        buildNorthHull();
        buildSouthHull();
        buildTrench();
        buildRecess();
        buildCollar();
        buildTrenchBlocks();
        buildDomes();
    }

private:
    // Longitude rises to the right when the station is seen from outside, latitude upwards.
    Vec3 direction(double longitude, double latitude) const {
        const double a = longitude + mLongitudeOffset;
        return {std::cos(latitude) * std::cos(a), std::sin(latitude),
                std::cos(latitude) * std::sin(a)};
    }
    // Unit vector of rising latitude.
    Vec3 northward(double longitude, double latitude) const {
        const double a = longitude + mLongitudeOffset;
        return {-std::sin(latitude) * std::cos(a), std::cos(latitude),
                -std::sin(latitude) * std::sin(a)};
    }
    double longitudeOf(Vec3 d) const {
        double a = std::atan2(d.z, d.x) - mLongitudeOffset;
        while (a < 0) {
            a += 2 * kPi;
        }
        while (a >= 2 * kPi) {
            a -= 2 * kPi;
        }
        return a;
    }
    // Angle around the emitter axis, counter-clockwise as seen from outside.
    double angleAroundAxis(Vec3 p) const { return std::atan2(dot(p, mUp), dot(p, mRight)); }
    Vec3 aroundAxis(double angle) const { return mRight * std::cos(angle) + mUp * std::sin(angle); }

    double columnLongitude(int k, int columns) const { return 2 * kPi * k / columns; }
    double northLatitude(int ring) const {
        return kPi / 2 - ring * (kPi / 2 - hull::kBandHalfAngle) / mShape.northRings;
    }
    double southLatitude(int ring) const {
        return -hull::kBandHalfAngle - ring * (kPi / 2 - hull::kBandHalfAngle) / mShape.southRings;
    }

    std::uint32_t hullVertex(double longitude, double latitude) {
        const Vec3 d = direction(longitude, latitude);
        return mMesh.add(d * kStationRadius, d, hull::hullU(longitude), hull::hullV(latitude),
                         kHullColour);
    }

    // One ring of hull vertices at a latitude; the last column repeats the first with u = 2.
    std::vector<std::uint32_t> hullRing(double latitude) {
        const int n = mShape.columns;
        std::vector<std::uint32_t> ring;
        for (int k = 0; k < n; ++k) {
            ring.push_back(hullVertex(columnLongitude(k, n), latitude));
        }
        const Vec3 d = direction(0, latitude);
        ring.push_back(
            mMesh.addCopy(ring[0], d, hull::hullU(2 * kPi), hull::hullV(latitude), kHullColour));
        return ring;
    }

    // One vertex per pole: the hull texture keeps a plain cap plate over the first row, so the
    // pole's u does not show.
    std::uint32_t pole(double latitude) {
        const Vec3 d = direction(0, latitude);
        return mMesh.add(d * kStationRadius, d, 1.0, hull::hullV(latitude), kHullColour);
    }

    // Smallest angle between the emitter axis and a hull cell, sampled across the cell.
    double cellDistanceToAxis(int k, double latitudeLow, double latitudeHigh) const {
        constexpr int kSamples = 8;
        double best = kPi;
        for (int a = 0; a <= kSamples; ++a) {
            for (int b = 0; b <= kSamples; ++b) {
                const double longitude =
                    columnLongitude(k, mShape.columns) + 2 * kPi / mShape.columns * a / kSamples;
                const double latitude = latitudeLow + (latitudeHigh - latitudeLow) * b / kSamples;
                const double c =
                    std::clamp(dot(direction(longitude, latitude), mEmitterAxis), -1.0, 1.0);
                best = std::min(best, std::acos(c));
            }
        }
        return best;
    }

    void buildNorthHull() {
        const int n = mShape.columns;
        const int rings = mShape.northRings;
        mNorthPole = pole(kPi / 2);
        mNorth.resize(static_cast<std::size_t>(rings) + 1);
        for (int i = 1; i <= rings; ++i) {
            mNorth[i] = hullRing(northLatitude(i));
        }
        mCut.assign(static_cast<std::size_t>(rings) + 1, std::vector<bool>(n, false));
        for (int i = 1; i <= rings; ++i) {
            for (int k = 0; k < n; ++k) {
                mCut[i][k] = cellDistanceToAxis(k, northLatitude(i), northLatitude(i - 1)) <
                             kRimAngle + kCutMargin;
                if (mCut[i][k] && (i == 1 || k == 0 || k == n - 1)) {
                    throw std::runtime_error("emitter recess reaches the pole or the seam");
                }
            }
        }
        for (int k = 0; k < n; ++k) {
            mMesh.triangle(mNorth[1][k], mNorthPole, mNorth[1][k + 1], kHullMaterial);
        }
        for (int i = 2; i <= rings; ++i) {
            for (int k = 0; k < n; ++k) {
                if (mCut[i][k]) {
                    continue;
                }
                const auto& upper = mNorth[i - 1];
                const auto& lower = mNorth[i];
                mMesh.quad(lower[k], upper[k], upper[k + 1], lower[k + 1], kHullMaterial);
            }
        }
    }

    void buildSouthHull() {
        const int n = mShape.columns;
        const int rings = mShape.southRings;
        std::vector<std::vector<std::uint32_t>> south(static_cast<std::size_t>(rings));
        for (int j = 0; j < rings; ++j) {
            south[j] = hullRing(southLatitude(j));
        }
        const std::uint32_t southPole = pole(-kPi / 2);
        for (int j = 0; j + 1 < rings; ++j) {
            for (int k = 0; k < n; ++k) {
                mMesh.quad(south[j + 1][k], south[j][k], south[j][k + 1], south[j + 1][k + 1],
                           kHullMaterial);
            }
        }
        for (int k = 0; k < n; ++k) {
            mMesh.triangle(south[rings - 1][k], south[rings - 1][k + 1], southPole, kHullMaterial);
        }
        mSouthEdge = south[0];
    }

    // The trench: an upper wall, a floor of finer columns and rows, a lower wall. The lips are
    // hard edges; the floor's edges are shared with the walls, which rounds the bottom corners.
    void buildTrench() {
        const int n = mShape.columns;
        const int m = n * mShape.bandFactor;
        const double b = hull::kBandHalfAngle;
        const double inner = kStationRadius - kTrenchDepth;

        // One floor ring; `wall` tilts its normals towards the wall it meets (+1 upper, -1 lower).
        auto floorRing = [&](double latitude, double wall, const Colour4& colour) {
            Row row;
            const double v = hull::floorV(latitude);
            for (int k = 0; k <= m; ++k) {
                const double longitude = columnLongitude(k, m);
                const Vec3 normal =
                    direction(longitude, latitude) - northward(longitude, latitude) * wall;
                std::uint32_t index;
                if (k == m) {
                    index =
                        mMesh.addCopy(row.vertices[0], normal, hull::hullU(longitude), v, colour);
                } else {
                    index = mMesh.add(direction(longitude, latitude) * inner, normal,
                                      hull::hullU(longitude), v, colour);
                }
                row.push(index, longitude);
            }
            return row;
        };
        // Copies of a hull edge ring with the wall's normal.
        auto lip = [&](const std::vector<std::uint32_t>& hullEdge, double latitude, double sign,
                       double v) {
            Row row;
            for (int k = 0; k <= n; ++k) {
                const double longitude = columnLongitude(k, n);
                row.push(mMesh.addCopy(hullEdge[k], northward(longitude, latitude) * sign,
                                       hull::hullU(longitude), v, kTrenchWallColour),
                         longitude);
            }
            return row;
        };
        auto reversed = [](const Row& row) {
            Row r;
            for (std::size_t k = row.vertices.size(); k-- > 0;) {
                r.push(row.vertices[k], 2 * kPi - row.params[k]);
            }
            return r;
        };

        // Upper wall faces south: seen from the trench, up is outwards and right is east.
        const Row topLip = lip(mNorth[mShape.northRings], b, -1, hull::kNorthEnd);
        Row upper = floorRing(b, 1, kTrenchWallColour);
        zipRows(mMesh, upper, topLip, kHullMaterial);

        // Floor rows, north to south.
        for (int r = 1; r <= mShape.trenchRows; ++r) {
            const double latitude = b - 2 * b * r / mShape.trenchRows;
            const bool last = r == mShape.trenchRows;
            const Row lower =
                floorRing(latitude, last ? -1 : 0, last ? kTrenchWallColour : kTrenchFloorColour);
            zipRows(mMesh, lower, upper, kHullMaterial);
            upper = lower;
        }

        // Lower wall faces north: seen from the trench, up is outwards and right is west.
        const Row bottomLip = lip(mSouthEdge, -b, 1, hull::kBottomWallEnd);
        zipRows(mMesh, reversed(upper), reversed(bottomLip), kHullMaterial);
    }

    // Radius of the emitter texture's disc at a distance from the axis along the recess floor.
    static double floorTextureRadius(double radius) {
        return hull::kLensEdge + (hull::kFloorEdge - hull::kLensEdge) * (radius - kLensRadius) /
                                     (kFloorRadius - kLensRadius);
    }

    std::uint32_t recessVertex(double angle, double radius, double height, Vec3 normal,
                               double textureRadius, const Colour4& colour) {
        const Vec3 position = aroundAxis(angle) * radius + mEmitterAxis * height;
        return mMesh.add(position, normal, 0.5 + textureRadius * std::cos(angle),
                         0.5 - textureRadius * std::sin(angle), colour);
    }
    std::uint32_t recessCopy(std::uint32_t of, double angle, Vec3 normal, double textureRadius,
                             const Colour4& colour) {
        return mMesh.addCopy(of, normal, 0.5 + textureRadius * std::cos(angle),
                             0.5 - textureRadius * std::sin(angle), colour);
    }
    // Closes a loop for zipping: the first vertex again, one turn on.
    static Row closed(Row row) {
        row.push(row.vertices[0], row.params[0] + 2 * kPi);
        return row;
    }

    void buildRecess() {
        const int k = mShape.recessSegments;
        const int lens = mShape.lensSegments;
        const double floorHeight = mFloorDistance;
        const double rimRadius = kStationRadius * std::sin(kRimAngle);
        const double rimHeight = kStationRadius * std::cos(kRimAngle);

        // Rim on the hull, with the hull's normals and texture; the collar joins it to the grid.
        for (int s = 0; s < k; ++s) {
            const double angle = 2 * kPi * s / k;
            const Vec3 d = normalize(mEmitterAxis * rimHeight + aroundAxis(angle) * rimRadius);
            const double latitude = std::asin(d.y);
            const double longitude = longitudeOf(d);
            mRim.push(mMesh.add(d * kStationRadius, d, hull::hullU(longitude),
                                hull::hullV(latitude), kHullColour),
                      angle);
        }

        // Lens: a shallow dome, h = lensHeight (1 - (r / lensRadius)^2) above the floor.
        const std::uint32_t centre =
            recessVertex(0, 0, floorHeight + kLensHeight, mEmitterAxis, 0, kLensColour);
        Row lensRows[2];
        for (int ring = 0; ring < 2; ++ring) {
            const double radius = kLensRadius * (ring + 1) / 2.0;
            const double t = radius / kLensRadius;
            const double height = floorHeight + kLensHeight * (1 - t * t);
            const double slope = -2 * kLensHeight * radius / (kLensRadius * kLensRadius);
            for (int s = 0; s < lens; ++s) {
                const double angle = 2 * kPi * s / lens;
                const Vec3 normal = normalize(mEmitterAxis - aroundAxis(angle) * slope);
                lensRows[ring].push(
                    recessVertex(angle, radius, height, normal, hull::kLensEdge * t, kLensColour),
                    angle);
            }
        }
        for (int s = 0; s < lens; ++s) {
            mMesh.triangle(lensRows[0].vertices[s], centre, lensRows[0].vertices[(s + 1) % lens],
                           kEmitterMaterial);
        }
        zipRows(mMesh, closed(lensRows[1]), closed(lensRows[0]), kEmitterMaterial);

        // Floor: flat, from the lens edge (a hard edge) out to the wall.
        Row floorInner;
        for (int s = 0; s < lens; ++s) {
            const double angle = lensRows[1].params[s];
            floorInner.push(recessCopy(lensRows[1].vertices[s], angle, mEmitterAxis,
                                       hull::kLensEdge, kRecessColour),
                            angle);
        }
        Row floorRings[2];
        const double radii[2] = {kFloorRingRadius, kFloorRadius};
        for (int ring = 0; ring < 2; ++ring) {
            for (int s = 0; s < k; ++s) {
                const double angle = 2 * kPi * s / k;
                floorRings[ring].push(recessVertex(angle, radii[ring], floorHeight, mEmitterAxis,
                                                   floorTextureRadius(radii[ring]), kRecessColour),
                                      angle);
            }
        }
        zipRows(mMesh, closed(floorRings[0]), closed(floorInner), kEmitterMaterial);
        zipRows(mMesh, closed(floorRings[1]), closed(floorRings[0]), kEmitterMaterial);

        // Wall: from the floor's edge up to the rim, facing the axis.
        const double rise = rimHeight - floorHeight;
        const double flare = rimRadius - kFloorRadius;
        Row wallBottom;
        Row wallTop;
        for (int s = 0; s < k; ++s) {
            const double angle = 2 * kPi * s / k;
            const Vec3 normal = normalize(aroundAxis(angle) * -rise + mEmitterAxis * flare);
            wallBottom.push(recessCopy(floorRings[1].vertices[s], angle, normal, hull::kFloorEdge,
                                       kRecessColour),
                            angle);
            wallTop.push(recessCopy(mRim.vertices[s], angle, normal, hull::kRimEdge, kRecessColour),
                         angle);
        }
        zipRows(mMesh, closed(wallTop), closed(wallBottom), kEmitterMaterial);
    }

    // Joins the rim to the edge of the hull cells that were cut away.
    void buildCollar() {
        const int n = mShape.columns;
        // Edges of cut cells that no other cut cell shares form the outline of the hole.
        auto node = [&](int ring, int column) { return ring * (n + 1) + column; };
        std::map<std::pair<int, int>, int> edgeUse;
        auto addEdge = [&](int a, int b) { ++edgeUse[{std::min(a, b), std::max(a, b)}]; };
        for (int i = 1; i <= mShape.northRings; ++i) {
            for (int k = 0; k < n; ++k) {
                if (!mCut[i][k]) {
                    continue;
                }
                addEdge(node(i - 1, k), node(i - 1, k + 1));
                addEdge(node(i - 1, k + 1), node(i, k + 1));
                addEdge(node(i, k), node(i, k + 1));
                addEdge(node(i - 1, k), node(i, k));
            }
        }
        std::map<int, std::vector<int>> neighbours;
        for (const auto& [edge, uses] : edgeUse) {
            if (uses == 1) {
                neighbours[edge.first].push_back(edge.second);
                neighbours[edge.second].push_back(edge.first);
            }
        }
        if (neighbours.empty()) {
            throw std::runtime_error("no hull cells were cut for the emitter");
        }
        for (const auto& [id, list] : neighbours) {
            if (list.size() != 2) {
                throw std::runtime_error("the cut around the emitter is not a simple loop");
            }
        }
        std::vector<int> loop{neighbours.begin()->first};
        int previous = -1;
        while (true) {
            const auto& next = neighbours[loop.back()];
            const int step = next[0] != previous ? next[0] : next[1];
            if (step == loop.front()) {
                break;
            }
            previous = loop.back();
            loop.push_back(step);
        }
        if (loop.size() != neighbours.size()) {
            throw std::runtime_error("the cut around the emitter has more than one outline");
        }

        Row outline;
        for (int id : loop) {
            const std::uint32_t v = mNorth[id / (n + 1)][id % (n + 1)];
            outline.push(v, angleAroundAxis(mMesh.vertex(v).position));
        }
        // Unwrap the angles; turn the loop round if it runs clockwise.
        double turn = 0;
        for (std::size_t i = 0; i < outline.params.size(); ++i) {
            double d = outline.params[(i + 1) % outline.params.size()] - outline.params[i];
            d -= 2 * kPi * std::round(d / (2 * kPi));
            turn += d;
        }
        if (turn < 0) {
            std::reverse(outline.vertices.begin(), outline.vertices.end());
            std::reverse(outline.params.begin(), outline.params.end());
        }
        std::size_t start = 0;
        for (std::size_t i = 0; i < outline.params.size(); ++i) {
            double& a = outline.params[i];
            a = std::fmod(a + 2 * kPi, 2 * kPi);
            if (a < outline.params[start]) {
                start = i;
            }
        }
        Row ordered;
        double last = -1;
        for (std::size_t i = 0; i < outline.vertices.size(); ++i) {
            const std::size_t at = (start + i) % outline.vertices.size();
            double a = outline.params[at];
            while (a < last) {
                a += 2 * kPi;
            }
            ordered.push(outline.vertices[at], a);
            last = a;
        }
        zipRows(mMesh, closed(ordered), closed(mRim), kHullMaterial);
    }

    // Blocks on the trench floor: a top and four sides each, hard-edged. Their tops take the
    // floor's texture where they stand, their sides the upper wall's strip.
    void buildTrenchBlocks() {
        const int count = mShape.trenchBlocks;
        const double floorRadius = kStationRadius - kTrenchDepth;
        for (int b = 0; b < count; ++b) {
            const double centre = 2 * kPi * (b + 0.5) / count;
            const double halfLength = kPi / count * kBlockLengthShare;
            const Vec3 up = direction(centre, 0);
            const Vec3 east = cross(Vec3{0, 1, 0}, up) * -1.0;
            const Vec3 north{0, 1, 0};
            const double halfEast = floorRadius * std::sin(halfLength);
            const double halfNorth = floorRadius * std::sin(kBlockHalfLatitude);
            const double base = floorRadius * std::cos(halfLength) - kSink;
            const double top = floorRadius + kBlockHeight;
            auto corner = [&](double e, double n, double height) {
                return up * height + east * (e * halfEast) + north * (n * halfNorth);
            };
            const double u0 = hull::hullU(centre - halfLength);
            const double u1 = hull::hullU(centre + halfLength);
            const double vNorth = hull::floorV(kBlockHalfLatitude);
            const double vSouth = hull::floorV(-kBlockHalfLatitude);
            // Top, seen from outside: east is right, north is up.
            face({corner(-1, -1, top), corner(-1, 1, top), corner(1, 1, top), corner(1, -1, top)},
                 up, {u0, u0, u1, u1}, {vSouth, vNorth, vNorth, vSouth});
            const double uSide = hull::hullU(centre) - (u1 - u0) / 2;
            const double uSideEnd = uSide + (vSouth - vNorth) * 2;
            const double vTop = hull::kNorthEnd;
            const double vBottom = hull::kTopWallEnd;
            const std::array<double, 4> sideV{vBottom, vTop, vTop, vBottom};
            // Each side seen from outside it, radial up: bottom-left, top-left, top-right,
            // bottom-right.
            face({corner(1, -1, base), corner(1, -1, top), corner(1, 1, top), corner(1, 1, base)},
                 east, {uSide, uSide, uSideEnd, uSideEnd}, sideV);
            face({corner(-1, 1, base), corner(-1, 1, top), corner(-1, -1, top),
                  corner(-1, -1, base)},
                 -east, {uSide, uSide, uSideEnd, uSideEnd}, sideV);
            face({corner(1, 1, base), corner(1, 1, top), corner(-1, 1, top), corner(-1, 1, base)},
                 north, {u1, u1, u0, u0}, sideV);
            face({corner(-1, -1, base), corner(-1, -1, top), corner(1, -1, top),
                  corner(1, -1, base)},
                 -north, {u0, u0, u1, u1}, sideV);
        }
    }

    // A flat quad with its own four vertices; corners clockwise from the front.
    void face(std::array<Vec3, 4> corners, Vec3 normal, std::array<double, 4> u,
              std::array<double, 4> v) {
        std::uint32_t index[4];
        for (int i = 0; i < 4; ++i) {
            index[i] = mMesh.add(corners[i], normal, u[i], v[i], kTrenchWallColour);
        }
        mMesh.quad(index[0], index[1], index[2], index[3], kHullMaterial);
    }

    // Sensor domes: shallow spherical caps set into the hull, textured with the hull under them.
    void buildDomes() {
        const int count = mShape.domes;
        const int segments = mShape.domeSegments;
        const int rings = mShape.domeRings;
        // The cap's own sphere: radius and how far its centre sits below the top.
        const double capRadius =
            (kDomeRadius * kDomeRadius + kDomeHeight * kDomeHeight) / (2 * kDomeHeight);
        for (int d = 0; d < count; ++d) {
            const double longitude = 2 * kPi * (d + 0.5) / count;
            double latitude = degrees(d % 2 == 0 ? -30.0 : 40.0);
            if (std::acos(dot(direction(longitude, latitude), mEmitterAxis)) <
                kRimAngle + degrees(12.0)) {
                latitude = degrees(-30.0);
            }
            const Vec3 axis = direction(longitude, latitude);
            const Vec3 up = normalize(Vec3{0, 1, 0} - axis * axis.y);
            const Vec3 right = normalize(cross(up, -axis));
            const Vec3 centre = axis * (kStationRadius + kDomeHeight - capRadius);
            // The base ring reaches down to kSink below the hull.
            const double baseAngle = std::acos(
                (kStationRadius - kSink - (kStationRadius + kDomeHeight - capRadius)) / capRadius);
            auto vertexAt = [&](double polar, double around) {
                const Vec3 n = axis * std::cos(polar) +
                               (right * std::cos(around) + up * std::sin(around)) * std::sin(polar);
                const Vec3 p = centre + n * capRadius;
                const Vec3 dir = normalize(p);
                return mMesh.add(p, n, hull::hullU(longitudeOf(dir)), hull::hullV(std::asin(dir.y)),
                                 kHullColour);
            };
            const std::uint32_t apex = vertexAt(0, 0);
            std::vector<Row> ringRows;
            for (int r = 0; r < rings; ++r) {
                const double polar = baseAngle * (r + 1) / rings;
                Row row;
                for (int s = 0; s < segments; ++s) {
                    const double around = 2 * kPi * s / segments;
                    row.push(vertexAt(polar, around), around);
                }
                ringRows.push_back(row);
            }
            for (int s = 0; s < segments; ++s) {
                mMesh.triangle(ringRows[0].vertices[s], apex,
                               ringRows[0].vertices[(s + 1) % segments], kHullMaterial);
            }
            for (int r = 1; r < rings; ++r) {
                zipRows(mMesh, closed(ringRows[r]), closed(ringRows[r - 1]), kHullMaterial);
            }
        }
    }

    StationShape mShape;
    MeshBuilder& mMesh;
    Vec3 mEmitterAxis;
    Vec3 mUp;
    Vec3 mRight;
    double mFloorDistance = 0;
    double mLongitudeOffset = 0;
    std::uint32_t mNorthPole = 0;
    std::vector<std::vector<std::uint32_t>> mNorth;
    std::vector<std::vector<bool>> mCut;
    std::vector<std::uint32_t> mSouthEdge;
    Row mRim;
};

std::array<double, 3> rgb(double r, double g, double b) {
    return {r, g, b};
}

float toFloat(double v) {
    return static_cast<float>(v);
}

Vec3 roundToFloat(Vec3 v) {
    return {toFloat(v.x), toFloat(v.y), toFloat(v.z)};
}

} // namespace

Mat4 frameChain(const StationModel& model) {
    Mat4 chain = Mat4::identity();
    for (const ModelFrame& frame : model.frames) {
        // Inner frames come later in the list and multiply from the left.
        chain = frame.matrix * chain;
    }
    return chain;
}

Mat4 stationWorld() {
    return Mat4::rotationY(placement::kStationYaw) * Mat4::translation(placement::kStationPosition);
}

Vec3 coneBaseCentre() {
    const Mat4 world = Mat4::rotationYawPitchRoll(placement::kConeYaw, placement::kConePitch,
                                                  placement::kConeRoll) *
                       Mat4::translation(placement::kConePosition);
    return world.transformPoint({0, 0, placement::kConeLength / 2});
}

StationModel buildStationModel(const StationShape& shape) {
    StationModel model;
    // An exporter's chain: a root, a unit-conversion frame that also stands the model up (a
    // quarter turn about x takes its z-up to the scene's y-up), the body's own scale, and the
    // shape.
    Mat4 standUp = Mat4::identity();
    constexpr double kExportScale = 17.043758;
    standUp.m[0][0] = kExportScale;
    standUp.m[1][2] = -kExportScale;
    standUp.m[2][1] = kExportScale;
    standUp.m[1][1] = standUp.m[2][2] = 0;
    model.frames = {{"DXCC_ROOT", Mat4::identity()},
                    {"Fbx_Root", standUp},
                    {"Halvorine_Body", Mat4::scaling(0.00001)},
                    {"polySurfaceShape1", Mat4::identity()}};
    model.meshName = "HalvorineHull";
    model.materials = {
        {{0.80, 0.81, 0.84, 1.0}, 24.0, rgb(0.30, 0.30, 0.32), rgb(0, 0, 0), "150"},
        {{0.86, 0.88, 0.87, 1.0}, 40.0, rgb(0.50, 0.50, 0.50), rgb(0.10, 0.16, 0.12), "151"},
        {{0.60, 0.60, 0.62, 1.0}, 8.0, rgb(0.20, 0.20, 0.20), rgb(0, 0, 0), ""},
    };

    MeshBuilder mesh;
    StationShaper(shape, mesh).build();
    mesh.finish();

    // Shaped in the station's own frame in world units; the file holds it before its frames
    // scale and stand it up, so take it back through their inverse.
    const Mat4 toModel = inverseAffine(frameChain(model));
    model.vertices = mesh.vertices();
    for (BuildVertex& v : model.vertices) {
        v.position = roundToFloat(toModel.transformPoint(v.position));
        v.normal = normalize(toModel.transformDirection(v.normal));
        v.tangent = normalize(toModel.transformDirection(v.tangent));
        v.binormal = normalize(toModel.transformDirection(v.binormal));
    }
    model.triangles = mesh.triangles();
    model.originalVertexCount = mesh.originalCount();
    return model;
}

} // namespace halv::assetgen
