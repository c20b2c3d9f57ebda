// Collects the station's vertices and triangles while it is being shaped, keeps track of which
// vertices are copies of another one (seams and hard edges), and hands out the finished lists.
#pragma once

#include "tools/assetgen/geometry.h"

#include <array>
#include <cstdint>
#include <vector>

namespace halv::assetgen {

struct BuildVertex {
    Vec3 position;
    Vec3 normal;
    double u = 0;
    double v = 0;
    std::array<double, 4> colour{1, 1, 1, 1};
    // The vertex this one is a copy of (itself for an original).
    std::uint32_t representative = 0;
    Vec3 tangent;
    Vec3 binormal;
};

struct BuildTriangle {
    std::array<std::uint32_t, 3> corners;
    std::uint32_t material;
};

class MeshBuilder {
public:
    std::uint32_t add(Vec3 position, Vec3 normal, double u, double v, std::array<double, 4> colour);
    // A vertex at exactly the same position as `original` (seams, hard edges).
    std::uint32_t addCopy(std::uint32_t original, Vec3 normal, double u, double v,
                          std::array<double, 4> colour);
    // Corners in clockwise order as seen from the front, the order that survives
    // counter-clockwise culling.
    void triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t material);
    // A quad split along a-c; corners clockwise from the front.
    void quad(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
              std::uint32_t material);

    const BuildVertex& vertex(std::uint32_t index) const { return mVertices[index]; }

    // Drops the vertices no triangle uses, puts the originals before the copies (so every
    // representative comes before nOriginalVertices), and works out tangents and binormals
    // from the texture coordinates.
    void finish();

    const std::vector<BuildVertex>& vertices() const { return mVertices; }
    const std::vector<BuildTriangle>& triangles() const { return mTriangles; }
    std::uint32_t originalCount() const { return mOriginalCount; }

private:
    void computeTangents();

    std::vector<BuildVertex> mVertices;
    std::vector<BuildTriangle> mTriangles;
    std::uint32_t mOriginalCount = 0;
};

} // namespace halv::assetgen
