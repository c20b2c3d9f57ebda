// GenerateAdjacency, ConvertPointRepsToAdjacency and ConvertAdjacencyToPointReps, checked
// against a brute-force search for faces that share an edge.
#include "tests/xfile/mesh_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace halv::xfile::fixtures {
namespace {

using base::ComRef;
using Position = std::array<float, 3>;

struct Shape {
    std::vector<Position> positions;
    std::vector<DWORD> indices;
};

// Two patches of quads side by side, each with its own vertices; the patches' touching columns
// lie at x = 2, the right one moved by `seamOffset` in x.
Shape twoPatches(float seamOffset) {
    Shape shape;
    for (int patch = 0; patch < 2; ++patch) {
        const auto base = static_cast<DWORD>(shape.positions.size());
        for (int x = 0; x < 3; ++x) {
            for (int y = 0; y < 3; ++y) {
                float px = static_cast<float>(patch * 2 + x);
                if (patch == 1 && x == 0) {
                    px += seamOffset;
                }
                shape.positions.push_back({px, static_cast<float>(y), 0.0f});
            }
        }
        for (DWORD x = 0; x < 2; ++x) {
            for (DWORD y = 0; y < 2; ++y) {
                const DWORD v = base + x * 3 + y;
                for (DWORD i : {v, v + 1, v + 3, v + 3, v + 1, v + 4}) {
                    shape.indices.push_back(i);
                }
            }
        }
    }
    return shape;
}

ComRef<ID3DXMesh> meshOf(IDirect3DDevice9* device, const Shape& shape, DWORD options = 0x110) {
    ComRef<ID3DXMesh> mesh;
    EXPECT_EQ(D3DXCreateMeshFVF(static_cast<DWORD>(shape.indices.size() / 3),
                                static_cast<DWORD>(shape.positions.size()), options, D3DFVF_XYZ,
                                device, mesh.put()),
              D3D_OK);
    void* data = nullptr;
    EXPECT_EQ(mesh->LockVertexBuffer(0, &data), D3D_OK);
    std::memcpy(data, shape.positions.data(), shape.positions.size() * sizeof(Position));
    mesh->UnlockVertexBuffer();
    EXPECT_EQ(mesh->LockIndexBuffer(0, &data), D3D_OK);
    for (std::size_t i = 0; i < shape.indices.size(); ++i) {
        if ((options & D3DXMESH_32BIT) != 0) {
            static_cast<DWORD*>(data)[i] = shape.indices[i];
        } else {
            static_cast<WORD*>(data)[i] = static_cast<WORD>(shape.indices[i]);
        }
    }
    mesh->UnlockIndexBuffer();
    return mesh;
}

// For each edge, the one other face with an edge between the same two positions (within
// epsilon), or 0xFFFFFFFF.
std::vector<DWORD> bruteForceAdjacency(const Shape& shape, float epsilon) {
    const auto near = [&](DWORD a, DWORD b) {
        for (int c = 0; c < 3; ++c) {
            if (std::fabs(shape.positions[a][c] - shape.positions[b][c]) > epsilon) {
                return false;
            }
        }
        return true;
    };
    const std::size_t faces = shape.indices.size() / 3;
    std::vector<DWORD> adjacency(faces * 3, 0xFFFFFFFF);
    for (std::size_t f = 0; f < faces; ++f) {
        for (std::size_t e = 0; e < 3; ++e) {
            const DWORD a = shape.indices[f * 3 + e];
            const DWORD b = shape.indices[f * 3 + (e + 1) % 3];
            std::vector<DWORD> matches;
            for (std::size_t g = 0; g < faces; ++g) {
                for (std::size_t h = 0; h < 3 && g != f; ++h) {
                    const DWORD c = shape.indices[g * 3 + h];
                    const DWORD d = shape.indices[g * 3 + (h + 1) % 3];
                    if ((near(a, c) && near(b, d)) || (near(a, d) && near(b, c))) {
                        matches.push_back(static_cast<DWORD>(g));
                    }
                }
            }
            EXPECT_LE(matches.size(), 1u) << "the test shapes are manifold";
            if (!matches.empty()) {
                adjacency[f * 3 + e] = matches[0];
            }
        }
    }
    return adjacency;
}

class Adjacency : public testing::TestWithParam<DWORD> {
protected:
    ComRef<IDirect3DDevice9> mDevice = makeNullDevice();
};

TEST_P(Adjacency, GeneratedMatchesSharedEdges) {
    const struct {
        const char* name;
        float seamOffset;
        float epsilon;
        bool seamJoined;
    } cases[] = {
        {"ExactSeam", 0.0f, 0.0f, true},
        {"OpenSeam", 0.001f, 0.0f, false},
        {"SeamWithinEpsilon", 0.001f, 0.01f, true},
        {"SeamAtEpsilon", 0.0625f, 0.0625f, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Shape shape = twoPatches(c.seamOffset);
        ComRef<ID3DXMesh> mesh = meshOf(mDevice.get(), shape, GetParam());
        std::vector<DWORD> adjacency(shape.indices.size());
        ASSERT_EQ(mesh->GenerateAdjacency(c.epsilon, adjacency.data()), D3D_OK);
        const std::vector<DWORD> expected = bruteForceAdjacency(shape, c.epsilon);
        EXPECT_EQ(adjacency, expected);
        // Face 5 (left patch, last column) meets face 8 (right patch, first column).
        EXPECT_EQ(adjacency[5 * 3 + 2] == 8, c.seamJoined);
    }
}

TEST_P(Adjacency, PointRepsAndAdjacencyConvertBothWays) {
    const Shape shape = twoPatches(0.0f);
    ComRef<ID3DXMesh> mesh = meshOf(mDevice.get(), shape, GetParam());
    std::vector<DWORD> adjacency(shape.indices.size());
    ASSERT_EQ(mesh->GenerateAdjacency(0.0f, adjacency.data()), D3D_OK);

    std::vector<DWORD> reps(shape.positions.size());
    ASSERT_EQ(mesh->ConvertAdjacencyToPointReps(adjacency.data(), reps.data()), D3D_OK);
    for (DWORD v = 0; v < reps.size(); ++v) {
        // The right patch's first column (9..11) stands on the left patch's last (6..8).
        EXPECT_EQ(reps[v], v >= 9 && v <= 11 ? v - 3 : v) << v;
    }
    std::vector<DWORD> fromReps(shape.indices.size());
    ASSERT_EQ(mesh->ConvertPointRepsToAdjacency(reps.data(), fromReps.data()), D3D_OK);
    EXPECT_EQ(fromReps, adjacency);

    // Without representatives only shared indices join faces.
    ASSERT_EQ(mesh->ConvertPointRepsToAdjacency(nullptr, fromReps.data()), D3D_OK);
    EXPECT_EQ(fromReps, bruteForceAdjacency(twoPatches(0.5f), 0.0f));
}

INSTANTIATE_TEST_SUITE_P(Mesh, Adjacency, testing::Values(0x110, 0x111), [](const auto& paramInfo) {
    return std::string(paramInfo.param == 0x110 ? "Index16" : "Index32");
});

TEST(AdjacencyArguments, AreChecked) {
    ComRef<IDirect3DDevice9> device = makeNullDevice();
    const Shape shape = twoPatches(0.0f);
    ComRef<ID3DXMesh> mesh = meshOf(device.get(), shape);
    std::vector<DWORD> adjacency(shape.indices.size());
    std::vector<DWORD> reps(shape.positions.size(), 0);
    EXPECT_EQ(mesh->GenerateAdjacency(-0.5f, adjacency.data()), D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh->GenerateAdjacency(std::numeric_limits<float>::quiet_NaN(), adjacency.data()),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh->GenerateAdjacency(0.0f, nullptr), D3DERR_INVALIDCALL);
    reps[3] = static_cast<DWORD>(reps.size());
    EXPECT_EQ(mesh->ConvertPointRepsToAdjacency(reps.data(), adjacency.data()), D3DERR_INVALIDCALL);
    std::fill(adjacency.begin(), adjacency.end(), 0xFFFFFFFF);
    adjacency[5] = 16;
    EXPECT_EQ(mesh->ConvertAdjacencyToPointReps(adjacency.data(), reps.data()), D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh->ConvertAdjacencyToPointReps(nullptr, reps.data()), D3DERR_INVALIDCALL);
}

} // namespace
} // namespace halv::xfile::fixtures
