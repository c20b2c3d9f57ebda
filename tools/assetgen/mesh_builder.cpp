// Vertex bookkeeping for the station mesh.
#include "tools/assetgen/mesh_builder.h"

#include <cmath>

namespace halv::assetgen {

std::uint32_t MeshBuilder::add(Vec3 position, Vec3 normal, double u, double v,
                               std::array<double, 4> colour) {
    const auto index = static_cast<std::uint32_t>(mVertices.size());
    BuildVertex vertex;
    vertex.position = position;
    vertex.normal = normalize(normal);
    vertex.u = u;
    vertex.v = v;
    vertex.colour = colour;
    vertex.representative = index;
    mVertices.push_back(vertex);
    return index;
}

std::uint32_t MeshBuilder::addCopy(std::uint32_t original, Vec3 normal, double u, double v,
                                   std::array<double, 4> colour) {
    const std::uint32_t index = add(mVertices[original].position, normal, u, v, colour);
    mVertices[index].representative = mVertices[original].representative;
    return index;
}

void MeshBuilder::triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                           std::uint32_t material) {
    mTriangles.push_back({{a, b, c}, material});
}

void MeshBuilder::quad(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                       std::uint32_t material) {
    triangle(a, b, c, material);
    triangle(a, c, d, material);
}

void MeshBuilder::finish() {
    const std::size_t count = mVertices.size();
    std::vector<bool> used(count, false);
    for (const BuildTriangle& t : mTriangles) {
        for (std::uint32_t corner : t.corners) {
            used[corner] = true;
        }
    }
    // When an original is dropped, the first copy still in use stands in for it.
    std::vector<std::uint32_t> standIn(count, UINT32_MAX);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t rep = mVertices[i].representative;
        if (used[i] && standIn[rep] == UINT32_MAX) {
            standIn[rep] = static_cast<std::uint32_t>(i);
        }
    }
    std::vector<std::uint32_t> order;
    for (std::size_t i = 0; i < count; ++i) {
        if (used[i] && standIn[mVertices[i].representative] == i) {
            order.push_back(static_cast<std::uint32_t>(i));
        }
    }
    mOriginalCount = static_cast<std::uint32_t>(order.size());
    for (std::size_t i = 0; i < count; ++i) {
        if (used[i] && standIn[mVertices[i].representative] != i) {
            order.push_back(static_cast<std::uint32_t>(i));
        }
    }
    std::vector<std::uint32_t> newIndex(count, UINT32_MAX);
    for (std::size_t i = 0; i < order.size(); ++i) {
        newIndex[order[i]] = static_cast<std::uint32_t>(i);
    }
    std::vector<BuildVertex> vertices;
    vertices.reserve(order.size());
    for (std::uint32_t old : order) {
        BuildVertex v = mVertices[old];
        v.representative = newIndex[standIn[v.representative]];
        vertices.push_back(v);
    }
    for (BuildTriangle& t : mTriangles) {
        for (std::uint32_t& corner : t.corners) {
            corner = newIndex[corner];
        }
    }
    mVertices = std::move(vertices);
    computeTangents();
}

void MeshBuilder::computeTangents() {
    std::vector<Vec3> tangents(mVertices.size());
    std::vector<Vec3> binormals(mVertices.size());
    for (const BuildTriangle& t : mTriangles) {
        const BuildVertex& a = mVertices[t.corners[0]];
        const BuildVertex& b = mVertices[t.corners[1]];
        const BuildVertex& c = mVertices[t.corners[2]];
        const Vec3 e1 = b.position - a.position;
        const Vec3 e2 = c.position - a.position;
        const double du1 = b.u - a.u;
        const double dv1 = b.v - a.v;
        const double du2 = c.u - a.u;
        const double dv2 = c.v - a.v;
        const double det = du1 * dv2 - du2 * dv1;
        if (std::fabs(det) < 1e-12) {
            continue;
        }
        const Vec3 tangent = (e1 * dv2 - e2 * dv1) * (1.0 / det);
        const Vec3 binormal = (e2 * du1 - e1 * du2) * (1.0 / det);
        for (std::uint32_t corner : t.corners) {
            tangents[corner] = tangents[corner] + tangent;
            binormals[corner] = binormals[corner] + binormal;
        }
    }
    for (std::size_t i = 0; i < mVertices.size(); ++i) {
        BuildVertex& v = mVertices[i];
        const Vec3 n = v.normal;
        Vec3 t = tangents[i] - n * dot(n, tangents[i]);
        if (length(t) < 1e-9) {
            // No usable texture gradient: any direction across the normal will do.
            t = std::fabs(n.y) < 0.9 ? cross(Vec3{0, 1, 0}, n) : cross(Vec3{1, 0, 0}, n);
        }
        t = normalize(t);
        Vec3 b = binormals[i] - n * dot(n, binormals[i]) - t * dot(t, binormals[i]);
        if (length(b) < 1e-9) {
            b = cross(n, t);
        }
        v.tangent = t;
        v.binormal = normalize(b);
    }
}

} // namespace halv::assetgen
