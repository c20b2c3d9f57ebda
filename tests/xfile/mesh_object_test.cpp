// The mesh object: creation and its device buffers, drawing subsets with and without a valid
// attribute table, the attribute sort, cloning and the buffer object.
#include "tests/xfile/mesh_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

namespace halv::xfile::fixtures {
namespace {

using base::ComRef;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::IsEmpty;
using testing::SizeIs;

constexpr DWORD kSortFlags =
    D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_IGNOREVERTS | D3DXMESHOPT_DONOTSPLIT;

// A row of `quads` unit squares along x, two triangles each: vertices 2i (bottom) and 2i + 1
// (top) at x = i.
ComRef<ID3DXMesh> makeStrip(IDirect3DDevice9* device, DWORD quads, DWORD options = 0x110) {
    ComRef<ID3DXMesh> mesh;
    EXPECT_EQ(
        D3DXCreateMeshFVF(quads * 2, (quads + 1) * 2, options, D3DFVF_XYZ, device, mesh.put()),
        D3D_OK);
    float* vertices = nullptr;
    EXPECT_EQ(mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&vertices)), D3D_OK);
    for (DWORD i = 0; i <= quads; ++i) {
        const float column[6] = {static_cast<float>(i), 0, 0, static_cast<float>(i), 1, 0};
        std::memcpy(vertices + i * 6, column, sizeof column);
    }
    mesh->UnlockVertexBuffer();
    void* indices = nullptr;
    EXPECT_EQ(mesh->LockIndexBuffer(0, &indices), D3D_OK);
    for (DWORD i = 0; i < quads; ++i) {
        const DWORD b = 2 * i;
        const DWORD face[6] = {b, b + 1, b + 2, b + 2, b + 1, b + 3};
        for (int k = 0; k < 6; ++k) {
            if ((options & D3DXMESH_32BIT) != 0) {
                static_cast<DWORD*>(indices)[i * 6 + k] = face[k];
            } else {
                static_cast<WORD*>(indices)[i * 6 + k] = static_cast<WORD>(face[k]);
            }
        }
    }
    mesh->UnlockIndexBuffer();
    return mesh;
}

void setAttributes(ID3DXMesh* mesh, const std::vector<DWORD>& ids) {
    DWORD* attributes = nullptr;
    ASSERT_EQ(mesh->LockAttributeBuffer(0, &attributes), D3D_OK);
    std::copy(ids.begin(), ids.end(), attributes);
    mesh->UnlockAttributeBuffer();
}

class MeshObject : public testing::Test {
protected:
    ComRef<IDirect3DDevice9> mDevice = makeNullDevice();
};

TEST_F(MeshObject, CreationRejectsBadArguments) {
    D3DVERTEXELEMENT9 xyz[MAX_FVF_DECL_SIZE];
    ASSERT_EQ(D3DXDeclaratorFromFVF(D3DFVF_XYZ, xyz), D3D_OK);
    const D3DVERTEXELEMENT9 secondStream[] = {
        {1, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
    const D3DVERTEXELEMENT9 twice[] = {{0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                       {0, 12, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
                                       D3DDECL_END()};
    const struct {
        const char* name;
        DWORD faces;
        DWORD vertices;
        DWORD options;
        const D3DVERTEXELEMENT9* declaration;
        bool device;
        HRESULT expected;
    } cases[] = {
        {"Valid", 1, 3, 0x110, xyz, true, D3D_OK},
        {"UnknownOption", 1, 3, 0x20000, xyz, true, D3DERR_INVALIDCALL},
        {"ShareAtCreation", 1, 3, D3DXMESH_VB_SHARE, xyz, true, D3DERR_INVALIDCALL},
        {"NoDevice", 1, 3, 0x110, xyz, false, D3DERR_INVALIDCALL},
        {"NoDeclaration", 1, 3, 0x110, nullptr, true, D3DERR_INVALIDCALL},
        {"SecondStream", 1, 3, 0x110, secondStream, true, D3DERR_INVALIDCALL},
        {"UsageTwice", 1, 3, 0x110, twice, true, D3DERR_INVALIDCALL},
        {"NoFaces", 0, 3, 0x110, xyz, true, D3DERR_INVALIDCALL},
        {"NoVertices", 1, 0, 0x110, xyz, true, D3DERR_INVALIDCALL},
        {"Faces65534", 65534, 3, 0x110, xyz, true, D3D_OK},
        {"Faces65535", 65535, 3, 0x110, xyz, true, D3DERR_INVALIDCALL},
        {"Vertices65535", 1, 65535, 0x110, xyz, true, D3DERR_INVALIDCALL},
        {"Faces65535Wide", 65535, 3, 0x111, xyz, true, D3D_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ID3DXMesh* mesh = nullptr;
        EXPECT_EQ(D3DXCreateMesh(c.faces, c.vertices, c.options, c.declaration,
                                 c.device ? mDevice.get() : nullptr, &mesh),
                  c.expected);
        EXPECT_EQ(mesh != nullptr, SUCCEEDED(c.expected));
        if (mesh != nullptr) {
            EXPECT_EQ(mesh->GetNumFaces(), c.faces);
            mesh->Release();
        }
    }
    EXPECT_EQ(D3DXCreateMeshFVF(1, 3, 0, D3DFVF_XYZ, mDevice.get(), nullptr), D3DERR_INVALIDCALL);
    ID3DXMesh* mesh = nullptr;
    EXPECT_EQ(D3DXCreateMeshFVF(1, 3, 0, D3DFVF_XYZW, mDevice.get(), &mesh), D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh, nullptr);
}

TEST_F(MeshObject, OptionsChooseThePoolsAndUsagesOfTheBuffers) {
    const struct {
        const char* name;
        DWORD options;
        D3DPOOL vertexPool;
        DWORD vertexUsage;
        D3DPOOL indexPool;
        DWORD indexUsage;
    } cases[] = {
        {"Default", 0, D3DPOOL_DEFAULT, 0, D3DPOOL_DEFAULT, 0},
        {"SystemMem", D3DXMESH_SYSTEMMEM, D3DPOOL_SYSTEMMEM, 0, D3DPOOL_SYSTEMMEM, 0},
        {"Managed", D3DXMESH_MANAGED, D3DPOOL_MANAGED, 0, D3DPOOL_MANAGED, 0},
        {"Mixed", D3DXMESH_VB_MANAGED | D3DXMESH_IB_SYSTEMMEM, D3DPOOL_MANAGED, 0,
         D3DPOOL_SYSTEMMEM, 0},
        {"WriteOnly", D3DXMESH_WRITEONLY, D3DPOOL_DEFAULT, D3DUSAGE_WRITEONLY, D3DPOOL_DEFAULT,
         D3DUSAGE_WRITEONLY},
        {"Dynamic", D3DXMESH_DYNAMIC, D3DPOOL_DEFAULT, D3DUSAGE_DYNAMIC, D3DPOOL_DEFAULT,
         D3DUSAGE_DYNAMIC},
        {"Software", D3DXMESH_VB_SOFTWAREPROCESSING, D3DPOOL_DEFAULT, D3DUSAGE_SOFTWAREPROCESSING,
         D3DPOOL_DEFAULT, 0},
        {"IndexSoftware", D3DXMESH_IB_SOFTWAREPROCESSING, D3DPOOL_DEFAULT, 0, D3DPOOL_DEFAULT,
         D3DUSAGE_SOFTWAREPROCESSING},
        {"Both", D3DXMESH_DONOTCLIP | D3DXMESH_POINTS | D3DXMESH_RTPATCHES | D3DXMESH_NPATCHES,
         D3DPOOL_DEFAULT, 0x1E0, D3DPOOL_DEFAULT, 0x1E0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ComRef<ID3DXMesh> mesh;
        ASSERT_EQ(D3DXCreateMeshFVF(2, 4, c.options, D3DFVF_XYZ | D3DFVF_NORMAL, mDevice.get(),
                                    mesh.put()),
                  D3D_OK);
        ComRef<IDirect3DVertexBuffer9> vertices;
        ComRef<IDirect3DIndexBuffer9> indices;
        ASSERT_EQ(mesh->GetVertexBuffer(vertices.put()), D3D_OK);
        ASSERT_EQ(mesh->GetIndexBuffer(indices.put()), D3D_OK);
        D3DVERTEXBUFFER_DESC vertexDesc;
        D3DINDEXBUFFER_DESC indexDesc;
        ASSERT_EQ(vertices->GetDesc(&vertexDesc), D3D_OK);
        ASSERT_EQ(indices->GetDesc(&indexDesc), D3D_OK);
        EXPECT_EQ(vertexDesc.Pool, c.vertexPool);
        EXPECT_EQ(vertexDesc.Usage, c.vertexUsage);
        EXPECT_EQ(vertexDesc.Size, 4u * 24);
        EXPECT_EQ(vertexDesc.FVF, DWORD{D3DFVF_XYZ | D3DFVF_NORMAL});
        EXPECT_EQ(indexDesc.Pool, c.indexPool);
        EXPECT_EQ(indexDesc.Usage, c.indexUsage);
        EXPECT_EQ(indexDesc.Format, D3DFMT_INDEX16);
        EXPECT_EQ(indexDesc.Size, 2u * 6);
        EXPECT_EQ(mesh->GetOptions(), c.options);
    }
    ComRef<ID3DXMesh> wide;
    ASSERT_EQ(D3DXCreateMeshFVF(2, 4, D3DXMESH_32BIT, D3DFVF_XYZ, mDevice.get(), wide.put()),
              D3D_OK);
    ComRef<IDirect3DIndexBuffer9> indices;
    ASSERT_EQ(wide->GetIndexBuffer(indices.put()), D3D_OK);
    D3DINDEXBUFFER_DESC desc;
    ASSERT_EQ(indices->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX32);
    EXPECT_EQ(desc.Size, 2u * 12);
}

TEST_F(MeshObject, SortedSubsetsDrawOnceEachKeepingTheirFaceOrder) {
    // 4284 faces with ids 0..2 in a scrambled order.
    const DWORD quads = 2142;
    ComRef<ID3DXMesh> mesh = makeStrip(mDevice.get(), quads);
    const DWORD faces = mesh->GetNumFaces();
    std::vector<DWORD> ids(faces);
    DWORD state = 12345;
    for (DWORD& id : ids) {
        state = state * 214013 + 2531011;
        id = (state >> 16) % 3;
    }
    setAttributes(mesh.get(), ids);
    const std::vector<DWORD> before = indicesOf(mesh.get());
    std::vector<DWORD> remap(faces);
    ASSERT_EQ(mesh->OptimizeInplace(kSortFlags, nullptr, nullptr, remap.data(), nullptr), D3D_OK);

    const std::vector<DWORD> after = indicesOf(mesh.get());
    const std::vector<DWORD> attributes = attributesOf(mesh.get());
    const std::vector<D3DXATTRIBUTERANGE> table = attributeTableOf(mesh.get());
    ASSERT_THAT(table, SizeIs(3));
    DWORD start = 0;
    for (DWORD id = 0; id < 3; ++id) {
        SCOPED_TRACE(id);
        const auto count = static_cast<DWORD>(std::count(ids.begin(), ids.end(), id));
        EXPECT_EQ(table[id].AttribId, id);
        EXPECT_EQ(table[id].FaceStart, start);
        EXPECT_EQ(table[id].FaceCount, count);
        DWORD low = 0xFFFFFFFF;
        DWORD high = 0;
        for (DWORD f = start; f < start + count; ++f) {
            // Same id, faces of one id in their old order, each face moved whole.
            EXPECT_EQ(attributes[f], id);
            EXPECT_EQ(ids[remap[f]], id);
            if (f > start) {
                EXPECT_LT(remap[f - 1], remap[f]);
            }
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(after[f * 3 + k], before[remap[f] * 3 + k]);
                low = std::min(low, after[f * 3 + k]);
                high = std::max(high, after[f * 3 + k]);
            }
        }
        EXPECT_EQ(table[id].VertexStart, low);
        EXPECT_EQ(table[id].VertexCount, high - low + 1);
        const std::string expected = "DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, " +
                                     std::to_string(low) + ", " + std::to_string(high - low + 1) +
                                     ", " + std::to_string(start * 3) + ", " +
                                     std::to_string(count) + ")";
        EXPECT_THAT(drawsOf(mesh.get(), mDevice.get(), id), ElementsAre(expected));
        start += count;
    }
    // An id with no faces draws nothing and succeeds.
    EXPECT_THAT(drawsOf(mesh.get(), mDevice.get(), 7), IsEmpty());
}

TEST_F(MeshObject, DrawSubsetSetsTheMeshsBuffersFirst) {
    ComRef<ID3DXMesh> mesh = makeStrip(mDevice.get(), 1);
    ComRef<IDirect3DVertexBuffer9> vertices;
    ComRef<IDirect3DIndexBuffer9> indices;
    ASSERT_EQ(mesh->GetVertexBuffer(vertices.put()), D3D_OK);
    ASSERT_EQ(mesh->GetIndexBuffer(indices.put()), D3D_OK);
    gfx::setCallLogging(mDevice.get(), true);
    mDevice->BeginScene();
    gfx::clearCallLog(mDevice.get());
    EXPECT_EQ(mesh->DrawSubset(0), D3D_OK);
    std::vector<std::string> calls;
    for (const gfx::CallRecord& call : gfx::callLog(mDevice.get())) {
        calls.push_back(call.method == "SetVertexDeclaration" ? call.method : call.text());
    }
    EXPECT_THAT(calls,
                ElementsAre("SetVertexDeclaration",
                            "SetStreamSource(0, " + gfx::objectName(vertices.get()) + ", 0, 12)",
                            "SetIndices(" + gfx::objectName(indices.get()) + ")",
                            "DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2)"));
    mDevice->EndScene();
}

TEST_F(MeshObject, ChangedIdsDrawRunByRunUntilSortedAgain) {
    ComRef<ID3DXMesh> mesh = makeStrip(mDevice.get(), 3);
    setAttributes(mesh.get(), {1, 1, 1, 1, 1, 1});
    ASSERT_EQ(mesh->OptimizeInplace(kSortFlags, nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_THAT(drawsOf(mesh.get(), mDevice.get(), 1), SizeIs(1));

    // A read-only lock keeps the table.
    DWORD* attributes = nullptr;
    ASSERT_EQ(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes), D3D_OK);
    EXPECT_THAT(attributeTableOf(mesh.get()), SizeIs(1));
    // Writing ids discards it: each run of the id is drawn on its own.
    setAttributes(mesh.get(), {0, 0, 1, 0, 1, 1});
    EXPECT_THAT(attributeTableOf(mesh.get()), IsEmpty());
    EXPECT_THAT(drawsOf(mesh.get(), mDevice.get(), 0),
                ElementsAre("DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 0, 2)",
                            "DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, 9, 1)"));
    EXPECT_THAT(drawsOf(mesh.get(), mDevice.get(), 1), SizeIs(2));
    ASSERT_EQ(mesh->OptimizeInplace(kSortFlags, nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_THAT(drawsOf(mesh.get(), mDevice.get(), 0), SizeIs(1));
    EXPECT_THAT(drawsOf(mesh.get(), mDevice.get(), 1), SizeIs(1));
}

TEST_F(MeshObject, AttributeTableCanBeSetAndCleared) {
    ComRef<ID3DXMesh> mesh = makeStrip(mDevice.get(), 2);
    const D3DXATTRIBUTERANGE table[] = {{5, 0, 1, 0, 3}, {9, 1, 3, 1, 5}};
    EXPECT_EQ(mesh->SetAttributeTable(table, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh->SetAttributeTable(nullptr, 2), D3DERR_INVALIDCALL);
    const D3DXATTRIBUTERANGE pastTheFaces[] = {{0, 2, 3, 0, 3}};
    EXPECT_EQ(mesh->SetAttributeTable(pastTheFaces, 1), D3DERR_INVALIDCALL);
    const D3DXATTRIBUTERANGE pastTheVertices[] = {{0, 0, 1, 4, 3}};
    EXPECT_EQ(mesh->SetAttributeTable(pastTheVertices, 1), D3DERR_INVALIDCALL);

    ASSERT_EQ(mesh->SetAttributeTable(table, 2), D3D_OK);
    DWORD count = 0;
    ASSERT_EQ(mesh->GetAttributeTable(nullptr, &count), D3D_OK);
    EXPECT_EQ(count, 2u);
    // The id is found even where it does not number its record.
    EXPECT_THAT(drawsOf(mesh.get(), mDevice.get(), 9),
                ElementsAre("DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 1, 5, 3, 3)"));
    ASSERT_EQ(mesh->SetAttributeTable(nullptr, 0), D3D_OK);
    EXPECT_THAT(attributeTableOf(mesh.get()), IsEmpty());
    EXPECT_THAT(drawsOf(mesh.get(), mDevice.get(), 0), SizeIs(1));
}

TEST_F(MeshObject, SortMovesAdjacencyAndDropsUnusedFaces) {
    ComRef<ID3DXMesh> mesh = makeStrip(mDevice.get(), 4);
    const DWORD faces = mesh->GetNumFaces();
    std::vector<DWORD> adjacency(faces * 3);
    ASSERT_EQ(mesh->GenerateAdjacency(0.0f, adjacency.data()), D3D_OK);
    setAttributes(mesh.get(), {2, 1, 0, 2, 1, 0, 2, 1});
    // Face 4 is marked unused.
    WORD* indices = nullptr;
    ASSERT_EQ(mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&indices)), D3D_OK);
    indices[12] = 0xFFFF;
    mesh->UnlockIndexBuffer();

    const std::vector<DWORD> before = adjacency;
    std::vector<DWORD> remap(faces);
    // In and out may be one array.
    ASSERT_EQ(mesh->OptimizeInplace(kSortFlags, adjacency.data(), adjacency.data(), remap.data(),
                                    nullptr),
              D3D_OK);
    ASSERT_EQ(mesh->GetNumFaces(), faces - 1);
    EXPECT_THAT(std::vector<DWORD>(remap.begin(), remap.begin() + faces - 1),
                ElementsAre(2, 5, 1, 7, 0, 3, 6));
    std::vector<DWORD> newOf(faces, 0xFFFFFFFF);
    for (DWORD f = 0; f + 1 < faces; ++f) {
        newOf[remap[f]] = f;
    }
    for (DWORD f = 0; f + 1 < faces; ++f) {
        for (int k = 0; k < 3; ++k) {
            const DWORD old = before[remap[f] * 3 + k];
            EXPECT_EQ(adjacency[f * 3 + k], old == 0xFFFFFFFF ? old : newOf[old])
                << "face " << f << " edge " << k;
        }
    }
}

TEST_F(MeshObject, OptimizeRefusals) {
    ComRef<ID3DXMesh> mesh = makeStrip(mDevice.get(), 1);
    EXPECT_EQ(
        mesh->OptimizeInplace(kSortFlags | D3DXMESH_32BIT, nullptr, nullptr, nullptr, nullptr),
        D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh->OptimizeInplace(D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER, nullptr,
                                    nullptr, nullptr, nullptr),
              D3DERR_INVALIDCALL);
    std::vector<DWORD> adjacency(6);
    EXPECT_EQ(mesh->OptimizeInplace(kSortFlags, nullptr, adjacency.data(), nullptr, nullptr),
              D3DERR_INVALIDCALL);
    adjacency = {7, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF};
    EXPECT_EQ(mesh->OptimizeInplace(kSortFlags, adjacency.data(), nullptr, nullptr, nullptr),
              D3DERR_INVALIDCALL);

    ComRef<ID3DXMesh> writeOnly = makeStrip(mDevice.get(), 1, D3DXMESH_VB_WRITEONLY);
    EXPECT_EQ(writeOnly->OptimizeInplace(kSortFlags, nullptr, nullptr, nullptr, nullptr),
              D3DERR_INVALIDCALL);

    WORD* indices = nullptr;
    ASSERT_EQ(mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&indices)), D3D_OK);
    indices[0] = 0xFFFF;
    indices[3] = 0xFFFF;
    mesh->UnlockIndexBuffer();
    EXPECT_EQ(mesh->OptimizeInplace(kSortFlags, nullptr, nullptr, nullptr, nullptr),
              D3DXERR_LOADEDMESHASNODATA);
}

TEST_F(MeshObject, SortWithoutIgnoreVertsGivesEachIdItsOwnVertices) {
    // Two quads sharing the edge of vertices 2 and 3; vertex 4, 5 unused by id 1's faces.
    ComRef<ID3DXMesh> mesh = makeStrip(mDevice.get(), 2);
    setAttributes(mesh.get(), {1, 1, 0, 0});

    ComRef<ID3DXMesh> split;
    ComRef<ID3DXBuffer> vertexRemap;
    ASSERT_EQ(mesh->Optimize(D3DXMESHOPT_ATTRSORT | D3DXMESH_SYSTEMMEM, nullptr, nullptr, nullptr,
                             vertexRemap.put(), split.put()),
              D3D_OK);
    // Vertices 2 and 3 serve both ids: copied, so the ranges do not overlap.
    EXPECT_EQ(split->GetNumVertices(), 8u);
    EXPECT_THAT(bufferWords(vertexRemap.get()), ElementsAre(2, 3, 4, 5, 0, 1, 2, 3));
    const std::vector<D3DXATTRIBUTERANGE> table = attributeTableOf(split.get());
    ASSERT_THAT(table, SizeIs(2));
    EXPECT_EQ(table[0].VertexStart, 0u);
    EXPECT_EQ(table[0].VertexCount, 4u);
    EXPECT_EQ(table[1].VertexStart, 4u);
    EXPECT_EQ(table[1].VertexCount, 4u);
    const auto positions = elementValues(split.get(), D3DDECLUSAGE_POSITION);
    EXPECT_EQ(positions[4][0], 0.0f);
    EXPECT_EQ(positions[7][0], 1.0f);
    EXPECT_EQ(positions[7][1], 1.0f);
    // The source is left as it was.
    EXPECT_EQ(mesh->GetNumVertices(), 6u);
    EXPECT_THAT(attributeTableOf(mesh.get()), IsEmpty());

    // DONOTSPLIT keeps one copy of each; COMPACT drops what no face uses.
    ComRef<ID3DXMesh> joined;
    ASSERT_EQ(mesh->Optimize(D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_DONOTSPLIT, nullptr, nullptr,
                             nullptr, nullptr, joined.put()),
              D3D_OK);
    EXPECT_EQ(joined->GetNumVertices(), 6u);
    WORD* indices = nullptr;
    ASSERT_EQ(mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&indices)), D3D_OK);
    std::fill(indices + 6, indices + 12, WORD{0xFFFF});
    mesh->UnlockIndexBuffer();
    ComRef<ID3DXMesh> compact;
    ASSERT_EQ(
        mesh->Optimize(D3DXMESHOPT_COMPACT, nullptr, nullptr, nullptr, nullptr, compact.put()),
        D3D_OK);
    EXPECT_EQ(compact->GetNumFaces(), 2u);
    EXPECT_EQ(compact->GetNumVertices(), 4u);
}

TEST_F(MeshObject, CloneConvertsElementsAndKeepsFacesAndAttributes) {
    ComRef<ID3DXMesh> mesh;
    ASSERT_EQ(D3DXCreateMeshFVF(1, 3, D3DXMESH_MANAGED,
                                D3DFVF_XYZB1 | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1,
                                mDevice.get(), mesh.put()),
              D3D_OK);
    struct Source {
        float position[3];
        float weight;
        float normal[3];
        DWORD color;
        float uv[2];
    };
    static_assert(sizeof(Source) == 40);
    Source* vertices = nullptr;
    ASSERT_EQ(mesh->LockVertexBuffer(0, reinterpret_cast<void**>(&vertices)), D3D_OK);
    for (int i = 0; i < 3; ++i) {
        vertices[i] = {{float(i), 2.0f, 3.0f}, 0.25f, {0, 0, 1}, 0xFF804020, {0.5f, 0.75f}};
    }
    mesh->UnlockVertexBuffer();
    WORD* indices = nullptr;
    ASSERT_EQ(mesh->LockIndexBuffer(0, reinterpret_cast<void**>(&indices)), D3D_OK);
    indices[0] = 2;
    indices[1] = 1;
    indices[2] = 0;
    mesh->UnlockIndexBuffer();
    setAttributes(mesh.get(), {4});
    ASSERT_EQ(mesh->OptimizeInplace(kSortFlags, nullptr, nullptr, nullptr, nullptr), D3D_OK);

    // Weights widen with the implied last weight; colour becomes floats; coordinates gain a
    // third component; the normal is dropped; specular, absent in the source, stays zero.
    const D3DVERTEXELEMENT9 target[] = {
        {0, 0, D3DDECLTYPE_FLOAT3, 0, D3DDECLUSAGE_POSITION, 0},
        {0, 12, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_BLENDWEIGHT, 0},
        {0, 20, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_COLOR, 0},
        {0, 36, D3DDECLTYPE_FLOAT16_4, 0, D3DDECLUSAGE_TEXCOORD, 0},
        {0, 44, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 1},
        D3DDECL_END(),
    };
    ComRef<ID3DXMesh> clone;
    ASSERT_EQ(
        mesh->CloneMesh(D3DXMESH_32BIT | D3DXMESH_SYSTEMMEM, target, mDevice.get(), clone.put()),
        D3D_OK);
    EXPECT_EQ(clone->GetNumBytesPerVertex(), 48u);
    EXPECT_EQ(clone->GetFVF(), 0u);
    EXPECT_EQ(clone->GetOptions(), D3DXMESH_32BIT | D3DXMESH_SYSTEMMEM);
    EXPECT_THAT(indicesOf(clone.get()), ElementsAre(2, 1, 0));
    EXPECT_THAT(attributesOf(clone.get()), ElementsAre(4));
    EXPECT_THAT(attributeTableOf(clone.get()), SizeIs(1));
    const auto weights = elementValues(clone.get(), D3DDECLUSAGE_BLENDWEIGHT);
    EXPECT_FLOAT_EQ(weights[1][0], 0.25f);
    EXPECT_FLOAT_EQ(weights[1][1], 0.75f);
    const auto colors = elementValues(clone.get(), D3DDECLUSAGE_COLOR);
    EXPECT_FLOAT_EQ(colors[2][0], 128.0f / 255);
    EXPECT_FLOAT_EQ(colors[2][1], 64.0f / 255);
    EXPECT_FLOAT_EQ(colors[2][2], 32.0f / 255);
    EXPECT_FLOAT_EQ(colors[2][3], 1.0f);
    const auto specular = elementValues(clone.get(), D3DDECLUSAGE_COLOR, 1);
    EXPECT_EQ(specular[0][3], 0.0f);
    EXPECT_EQ(elementValues(clone.get(), D3DDECLUSAGE_POSITION)[2][0], 2.0f);
    void* data = nullptr;
    ASSERT_EQ(clone->LockVertexBuffer(D3DLOCK_READONLY, &data), D3D_OK);
    WORD halves[4];
    std::memcpy(halves, static_cast<const char*>(data) + 48 + 36, sizeof halves);
    clone->UnlockVertexBuffer();
    EXPECT_THAT(halves, ElementsAre(0x3800, 0x3A00, 0x0000, 0x3C00)); // 0.5, 0.75, 0, 1

    // The scene's cone: positions kept, the diffuse colour the source lacks starts at zero.
    ComRef<ID3DXMesh> strip = makeStrip(mDevice.get(), 1);
    ComRef<ID3DXMesh> colored;
    ASSERT_EQ(strip->CloneMeshFVF(D3DXMESH_MANAGED, D3DFVF_XYZ | D3DFVF_DIFFUSE, mDevice.get(),
                                  colored.put()),
              D3D_OK);
    EXPECT_EQ(colored->GetFVF(), DWORD{D3DFVF_XYZ | D3DFVF_DIFFUSE});
    EXPECT_EQ(elementValues(colored.get(), D3DDECLUSAGE_POSITION),
              elementValues(strip.get(), D3DDECLUSAGE_POSITION));
    for (const auto& color : elementValues(colored.get(), D3DDECLUSAGE_COLOR)) {
        EXPECT_THAT(color, ElementsAre(0, 0, 0, 0));
    }
}

TEST_F(MeshObject, CloneRefusals) {
    ComRef<ID3DXMesh> mesh = makeStrip(mDevice.get(), 1);
    ID3DXMesh* clone = nullptr;
    EXPECT_EQ(mesh->CloneMeshFVF(D3DXMESH_USEHWONLY, D3DFVF_XYZ, mDevice.get(), &clone),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh->CloneMeshFVF(0, D3DFVF_XYZ | 0x1, mDevice.get(), &clone), D3DERR_INVALIDCALL);
    EXPECT_EQ(
        mesh->CloneMeshFVF(D3DXMESH_VB_SHARE, D3DFVF_XYZ | D3DFVF_NORMAL, mDevice.get(), &clone),
        D3DERR_INVALIDCALL);
    ComRef<IDirect3DDevice9> other = makeNullDevice();
    EXPECT_EQ(mesh->CloneMeshFVF(D3DXMESH_VB_SHARE, D3DFVF_XYZ, other.get(), &clone),
              D3DERR_INVALIDCALL);
    ComRef<ID3DXMesh> writeOnly = makeStrip(mDevice.get(), 1, D3DXMESH_IB_WRITEONLY);
    EXPECT_EQ(writeOnly->CloneMeshFVF(0, D3DFVF_XYZ, mDevice.get(), &clone), D3DERR_INVALIDCALL);
    ComRef<ID3DXMesh> big;
    ASSERT_EQ(D3DXCreateMeshFVF(1, 65536, D3DXMESH_32BIT, D3DFVF_XYZ, mDevice.get(), big.put()),
              D3D_OK);
    EXPECT_EQ(big->CloneMeshFVF(D3DXMESH_SYSTEMMEM, D3DFVF_XYZ, mDevice.get(), &clone),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(clone, nullptr);

    // Sharing hands the clone the same vertex buffer.
    ComRef<ID3DXMesh> shared;
    ASSERT_EQ(mesh->CloneMeshFVF(D3DXMESH_VB_SHARE | D3DXMESH_32BIT, D3DFVF_XYZ, mDevice.get(),
                                 shared.put()),
              D3D_OK);
    ComRef<IDirect3DVertexBuffer9> a;
    ComRef<IDirect3DVertexBuffer9> b;
    mesh->GetVertexBuffer(a.put());
    shared->GetVertexBuffer(b.put());
    EXPECT_EQ(a.get(), b.get());
    EXPECT_EQ(indicesOf(shared.get()), indicesOf(mesh.get()));
}

TEST_F(MeshObject, UpdateSemanticsRenamesElementsOfTheSameVertex) {
    ComRef<ID3DXMesh> mesh;
    ASSERT_EQ(D3DXCreateMeshFVF(1, 3, 0x110, D3DFVF_XYZ | D3DFVF_TEX2 | D3DFVF_TEXCOORDSIZE3(1),
                                mDevice.get(), mesh.put()),
              D3D_OK);
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
    ASSERT_EQ(mesh->GetDeclaration(declaration), D3D_OK);
    declaration[2].Usage = D3DDECLUSAGE_TANGENT;
    declaration[2].UsageIndex = 0;
    ASSERT_EQ(mesh->UpdateSemantics(declaration), D3D_OK);
    EXPECT_EQ(mesh->GetFVF(), 0u);
    EXPECT_EQ(declarationOf(mesh.get())[2].Usage, D3DDECLUSAGE_TANGENT);
    EXPECT_EQ(mesh->GetNumBytesPerVertex(), 32u);
    // A different vertex size, or a usage twice, is refused and changes nothing.
    declaration[2].Type = D3DDECLTYPE_FLOAT4;
    EXPECT_EQ(mesh->UpdateSemantics(declaration), D3DERR_INVALIDCALL);
    declaration[2].Type = D3DDECLTYPE_FLOAT3;
    declaration[2].Usage = D3DDECLUSAGE_TEXCOORD;
    EXPECT_EQ(mesh->UpdateSemantics(declaration), D3DERR_INVALIDCALL);
    EXPECT_EQ(declarationOf(mesh.get())[2].Usage, D3DDECLUSAGE_TANGENT);
    EXPECT_EQ(mesh->UpdateSemantics(nullptr), D3DERR_INVALIDCALL);
}

TEST(Buffer, HoldsZeroedBytes) {
    EXPECT_EQ(D3DXCreateBuffer(4, nullptr), D3DERR_INVALIDCALL);
    ComRef<ID3DXBuffer> buffer;
    ASSERT_EQ(D3DXCreateBuffer(16, buffer.put()), D3D_OK);
    EXPECT_EQ(buffer->GetBufferSize(), 16u);
    EXPECT_THAT(bufferWords(buffer.get()), ElementsAre(0, 0, 0, 0));
    ComRef<ID3DXBuffer> empty;
    ASSERT_EQ(D3DXCreateBuffer(0, empty.put()), D3D_OK);
    EXPECT_EQ(empty->GetBufferSize(), 0u);
    EXPECT_NE(empty->GetBufferPointer(), nullptr);
    ComRef<ID3DXMesh> asMesh;
    EXPECT_EQ(buffer->QueryInterface(IID_ID3DXMesh, asMesh.putVoid()), E_NOINTERFACE);
}

} // namespace
} // namespace halv::xfile::fixtures
