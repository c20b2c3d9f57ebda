// D3DXCreateCylinder: counts, vertex and triangle order, defaults, validation, the slice clamp
// and adjacency.
#include "gfx/device_factory.h"
#include "gfx/inspection.h"
#include "xfile/shapes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using halv::base::ComRef;
using testing::ElementsAreArray;

struct Vertex {
    float x, y, z;
    float nx, ny, nz;
};

ComRef<IDirect3DDevice9> nullDevice() {
    ComRef<IDirect3DDevice9> device;
    EXPECT_EQ(halv::gfx::createNullDevice({}, device.put()), D3D_OK);
    return device;
}

std::vector<Vertex> verticesOf(ID3DXMesh* mesh) {
    void* data = nullptr;
    EXPECT_EQ(mesh->LockVertexBuffer(D3DLOCK_READONLY, &data), D3D_OK);
    std::vector<Vertex> vertices(mesh->GetNumVertices());
    std::memcpy(vertices.data(), data, vertices.size() * sizeof(Vertex));
    mesh->UnlockVertexBuffer();
    return vertices;
}

std::vector<DWORD> indicesOf(ID3DXMesh* mesh) {
    void* data = nullptr;
    EXPECT_EQ(mesh->LockIndexBuffer(D3DLOCK_READONLY, &data), D3D_OK);
    std::vector<DWORD> indices(std::size_t{mesh->GetNumFaces()} * 3);
    for (std::size_t i = 0; i < indices.size(); ++i) {
        indices[i] = static_cast<const WORD*>(data)[i];
    }
    mesh->UnlockIndexBuffer();
    return indices;
}

class Cylinder : public testing::Test {
protected:
    ComRef<IDirect3DDevice9> mDevice = nullDevice();
};

TEST_F(Cylinder, ProgramsConeHasItsCountsAndShape) {
    ComRef<ID3DXMesh> cone;
    ASSERT_EQ(D3DXCreateCylinder(mDevice.get(), 0.0f, 0.3f, 0.7f, 8, 1, cone.put(), nullptr),
              D3D_OK);
    EXPECT_EQ(cone->GetNumVertices(), 34u);
    EXPECT_EQ(cone->GetNumFaces(), 32u);
    EXPECT_EQ(cone->GetFVF(), DWORD{D3DFVF_XYZ | D3DFVF_NORMAL});
    EXPECT_EQ(cone->GetNumBytesPerVertex(), 24u);
    EXPECT_EQ(cone->GetOptions(), D3DXMESH_MANAGED);

    const std::vector<Vertex> v = verticesOf(cone.get());
    // Bottom centre, bottom rim and ring 0 collapse onto the apex; all are kept.
    for (int i = 0; i <= 16; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FLOAT_EQ(v[i].x, 0.0f);
        EXPECT_FLOAT_EQ(v[i].y, 0.0f);
        EXPECT_FLOAT_EQ(v[i].z, -0.35f);
    }
    // Ring 1 and the top rim: radius 0.3 at +0.35, slice 0 on +y, slice 2 on +x.
    for (int i = 17; i <= 32; ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(std::hypot(v[i].x, v[i].y), 0.3f, 1e-6f);
        EXPECT_FLOAT_EQ(v[i].z, 0.35f);
    }
    EXPECT_NEAR(v[17].x, 0.0f, 1e-6f);
    EXPECT_NEAR(v[17].y, 0.3f, 1e-6f);
    EXPECT_NEAR(v[19].x, 0.3f, 1e-6f);
    EXPECT_NEAR(v[19].y, 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(v[33].z, 0.35f);
    // Side normals: unit normals of the slant, tilted toward -z as the cone widens upward.
    const float slant = std::sqrt(0.3f * 0.3f + 0.7f * 0.7f);
    EXPECT_NEAR(v[9].ny, 0.7f / slant, 1e-6f);
    EXPECT_NEAR(v[9].nz, -0.3f / slant, 1e-6f);
    EXPECT_FLOAT_EQ(v[0].nz, -1.0f);
    EXPECT_FLOAT_EQ(v[33].nz, 1.0f);
}

TEST_F(Cylinder, WritesVerticesAndTrianglesInThePublishedOrder) {
    ComRef<ID3DXMesh> mesh;
    ASSERT_EQ(D3DXCreateCylinder(mDevice.get(), 1.0f, 2.0f, 4.0f, 3, 2, mesh.put(), nullptr),
              D3D_OK);
    ASSERT_EQ(mesh->GetNumVertices(), 17u);
    ASSERT_EQ(mesh->GetNumFaces(), 18u);
    const std::vector<DWORD> expected = {
        0,  1,  2,  0,  2,  3,  0,  3,  1,                                  // bottom fan
        4,  7,  5,  5,  7,  8,  5,  8,  6,  6, 8,  9,  6, 9,  4, 4, 9,  7,  // band 0
        7,  10, 8,  8,  10, 11, 8,  11, 9,  9, 11, 12, 9, 12, 7, 7, 12, 10, // band 1
        13, 16, 14, 14, 16, 15, 15, 16, 13,                                 // top fan
    };
    EXPECT_THAT(indicesOf(mesh.get()), ElementsAreArray(expected));

    const std::vector<Vertex> v = verticesOf(mesh.get());
    const float s120 = std::sin(6.2831855f / 3);
    const float c120 = std::cos(6.2831855f / 3);
    const struct {
        int index;
        float x, y, z;
    } points[] = {
        {0, 0, 0, -2}, {1, 0, 1, -2},   {2, s120, c120, -2},
        {4, 0, 1, -2}, {7, 0, 1.5f, 0}, {8, 1.5f * s120, 1.5f * c120, 0},
        {10, 0, 2, 2}, {13, 0, 2, 2},   {15, 2 * -s120, 2 * c120, 2},
        {16, 0, 0, 2},
    };
    for (const auto& p : points) {
        SCOPED_TRACE(p.index);
        EXPECT_NEAR(v[p.index].x, p.x, 1e-6f);
        EXPECT_NEAR(v[p.index].y, p.y, 1e-6f);
        EXPECT_NEAR(v[p.index].z, p.z, 1e-6f);
    }
}

TEST_F(Cylinder, FlatBandHasRadialNormals) {
    ComRef<ID3DXMesh> mesh;
    ASSERT_EQ(D3DXCreateCylinder(mDevice.get(), 1.0f, 1.0f, 0.0f, 4, 1, mesh.put(), nullptr),
              D3D_OK);
    const std::vector<Vertex> v = verticesOf(mesh.get());
    for (int i = 0; i < 8; ++i) {
        const Vertex& side = v[5 + i];
        const float theta = static_cast<float>((i % 4) * 6.2831855 / 4);
        EXPECT_NEAR(side.nx, std::sin(theta), 1e-6f);
        EXPECT_NEAR(side.ny, std::cos(theta), 1e-6f);
        EXPECT_EQ(side.nz, 0.0f);
    }
}

TEST_F(Cylinder, SlicesAbove239AreClamped) {
    ComRef<ID3DXMesh> clamped;
    ComRef<ID3DXMesh> limit;
    ASSERT_EQ(D3DXCreateCylinder(mDevice.get(), 1, 1, 1, 240, 1, clamped.put(), nullptr), D3D_OK);
    ASSERT_EQ(D3DXCreateCylinder(mDevice.get(), 1, 1, 1, 239, 1, limit.put(), nullptr), D3D_OK);
    EXPECT_EQ(clamped->GetNumVertices(), 239u * 4 + 2);
    EXPECT_EQ(indicesOf(clamped.get()), indicesOf(limit.get()));
    const std::vector<Vertex> a = verticesOf(clamped.get());
    const std::vector<Vertex> b = verticesOf(limit.get());
    EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(Vertex)), 0);
}

TEST_F(Cylinder, DefaultsStandInForTheLargestValues) {
    ComRef<ID3DXMesh> mesh;
    ASSERT_EQ(D3DXCreateCylinder(mDevice.get(), 1.0f, 1.0f, std::numeric_limits<float>::max(),
                                 0xFFFFFFFF, 1, mesh.put(), nullptr),
              D3D_OK);
    EXPECT_EQ(mesh->GetNumVertices(), 8u * 4 + 2);
    EXPECT_FLOAT_EQ(verticesOf(mesh.get()).back().z, 0.5f);
}

TEST_F(Cylinder, RejectsInvalidArguments) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* name;
        bool device;
        float radius1, radius2, length;
        UINT slices, stacks;
        bool out;
        HRESULT expected;
    } cases[] = {
        {"NoDevice", false, 1, 1, 1, 8, 1, true, D3DERR_INVALIDCALL},
        {"NoOut", true, 1, 1, 1, 8, 1, false, D3DERR_INVALIDCALL},
        {"NegativeRadius1", true, -1, 1, 1, 8, 1, true, D3DERR_INVALIDCALL},
        {"NegativeRadius2", true, 1, -0.5f, 1, 8, 1, true, D3DERR_INVALIDCALL},
        {"NegativeLength", true, 1, 1, -1, 8, 1, true, D3DERR_INVALIDCALL},
        {"OneSlice", true, 1, 1, 1, 1, 1, true, D3DERR_INVALIDCALL},
        {"NoStacks", true, 1, 1, 1, 8, 0, true, D3DERR_INVALIDCALL},
        {"TooManyVertices", true, 1, 1, 1, 8, 10000, true, D3DERR_INVALIDCALL},
        {"NaNPasses", true, nan, 1, nan, 8, 1, true, D3D_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ID3DXMesh* mesh = nullptr;
        EXPECT_EQ(D3DXCreateCylinder(c.device ? mDevice.get() : nullptr, c.radius1, c.radius2,
                                     c.length, c.slices, c.stacks, c.out ? &mesh : nullptr,
                                     nullptr),
                  c.expected);
        EXPECT_EQ(mesh != nullptr, SUCCEEDED(c.expected));
        if (mesh != nullptr) {
            mesh->Release();
        }
    }
}

TEST_F(Cylinder, AdjacencyJoinsTheCapsToTheSide) {
    ComRef<ID3DXMesh> mesh;
    ComRef<ID3DXBuffer> adjacency;
    ASSERT_EQ(
        D3DXCreateCylinder(mDevice.get(), 1.0f, 0.5f, 2.0f, 5, 3, mesh.put(), adjacency.put()),
        D3D_OK);
    const DWORD faces = mesh->GetNumFaces();
    ASSERT_EQ(adjacency->GetBufferSize(), faces * 12);
    const auto* adj = static_cast<const DWORD*>(adjacency->GetBufferPointer());
    const std::vector<DWORD> indices = indicesOf(mesh.get());
    const DWORD n = 5;
    const DWORD k = 3;
    // The rims stand on the first and last rings.
    const auto point = [&](DWORD v) {
        if (v >= 1 && v <= n) {
            return n + v;
        }
        const DWORD topRim = n * (k + 2) + 1;
        if (v >= topRim && v < topRim + n) {
            return n + 1 + k * n + (v - topRim);
        }
        return v;
    };
    const auto edge = [&](DWORD face, DWORD e) {
        const DWORD a = point(indices[face * 3 + e]);
        const DWORD b = point(indices[face * 3 + (e + 1) % 3]);
        return std::make_pair(std::min(a, b), std::max(a, b));
    };
    // A closed surface: every edge has exactly one other face, found by brute force.
    for (DWORD f = 0; f < faces; ++f) {
        for (DWORD e = 0; e < 3; ++e) {
            std::vector<DWORD> matches;
            for (DWORD g = 0; g < faces; ++g) {
                for (DWORD h = 0; h < 3; ++h) {
                    if (g != f && edge(g, h) == edge(f, e)) {
                        matches.push_back(g);
                    }
                }
            }
            ASSERT_EQ(matches.size(), 1u) << "face " << f << " edge " << e;
            EXPECT_EQ(adj[f * 3 + e], matches[0]) << "face " << f << " edge " << e;
        }
    }
}

TEST_F(Cylinder, DrawsAsOneSubset) {
    ComRef<ID3DXMesh> cone;
    ASSERT_EQ(D3DXCreateCylinder(mDevice.get(), 0.0f, 0.3f, 0.7f, 8, 1, cone.put(), nullptr),
              D3D_OK);
    mDevice->BeginScene();
    ASSERT_EQ(halv::gfx::resetDrawStats(mDevice.get()), D3D_OK);
    EXPECT_EQ(cone->DrawSubset(0), D3D_OK);
    EXPECT_EQ(cone->DrawSubset(1), D3D_OK);
    mDevice->EndScene();
    halv::gfx::DrawStats stats;
    ASSERT_EQ(halv::gfx::getDrawStats(mDevice.get(), &stats), D3D_OK);
    EXPECT_EQ(stats.indexedDrawCalls, 1u);
    EXPECT_EQ(stats.primitives, 32u);
}

} // namespace
