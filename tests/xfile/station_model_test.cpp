// The station model as the program loads it: the embedded VORNK resource with options 0x110,
// and the station-shaped text the benchmarks use.
#include "math/vector_math.h"
#include "tests/xfile/mesh_test_support.h"
#include "tests/xfile/support/station_model_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace halv::xfile::fixtures {
namespace {

using base::ComRef;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::SizeIs;

class LoadedStationModel : public testing::Test {
protected:
    void SetUp() override {
        mDevice = makeNullDevice();
        ASSERT_EQ(D3DXLoadMeshFromXResource(nullptr, "VORNK", "Data", D3DXMESH_SYSTEMMEM,
                                            mDevice.get(), nullptr, mMaterials.put(), nullptr,
                                            &mMaterialCount, mMesh.put()),
                  D3D_OK);
    }

    ComRef<IDirect3DDevice9> mDevice;
    ComRef<ID3DXBuffer> mMaterials;
    DWORD mMaterialCount = 0;
    ComRef<ID3DXMesh> mMesh;
};

TEST_F(LoadedStationModel, HasTheProgramsLayoutAndCounts) {
    EXPECT_EQ(mMesh->GetNumVertices(), 2517u);
    EXPECT_EQ(mMesh->GetNumFaces(), 4284u);
    EXPECT_EQ(mMesh->GetOptions(), D3DXMESH_SYSTEMMEM); // 16-bit indices
    EXPECT_EQ(mMesh->GetNumBytesPerVertex(), 60u);
    // Tangents and binormals have no FVF bits.
    EXPECT_EQ(mMesh->GetFVF(), 0u);
    const std::vector<D3DVERTEXELEMENT9> declaration = declarationOf(mMesh.get());
    ASSERT_THAT(declaration, SizeIs(6));
    const struct {
        WORD offset;
        BYTE type;
        BYTE usage;
    } expected[] = {
        {0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION},
        {12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL},
        {24, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR},
        {28, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD},
        {36, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TANGENT},
        {48, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_BINORMAL},
    };
    for (std::size_t i = 0; i < declaration.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(declaration[i].Stream, 0);
        EXPECT_EQ(declaration[i].Offset, expected[i].offset);
        EXPECT_EQ(declaration[i].Type, expected[i].type);
        EXPECT_EQ(declaration[i].Usage, expected[i].usage);
        EXPECT_EQ(declaration[i].UsageIndex, 0);
    }
}

TEST_F(LoadedStationModel, HasThreeMaterialsOfWhichTwoAreUsed) {
    ASSERT_EQ(mMaterialCount, 3u);
    const auto* materials = static_cast<const D3DXMATERIAL*>(mMaterials->GetBufferPointer());
    ASSERT_NE(materials[0].pTextureFilename, nullptr);
    ASSERT_NE(materials[1].pTextureFilename, nullptr);
    ASSERT_NE(materials[2].pTextureFilename, nullptr);
    EXPECT_STREQ(materials[0].pTextureFilename, "150");
    EXPECT_STREQ(materials[1].pTextureFilename, "151");
    EXPECT_STREQ(materials[2].pTextureFilename, "");

    const std::vector<D3DXATTRIBUTERANGE> table = attributeTableOf(mMesh.get());
    ASSERT_THAT(table, SizeIs(2));
    EXPECT_EQ(table[0].AttribId, 0u);
    EXPECT_EQ(table[0].FaceStart, 0u);
    EXPECT_EQ(table[0].FaceCount, 4073u);
    EXPECT_EQ(table[1].AttribId, 1u);
    EXPECT_EQ(table[1].FaceStart, 4073u);
    EXPECT_EQ(table[1].FaceCount, 211u);
    for (const D3DXATTRIBUTERANGE& record : table) {
        EXPECT_LE(record.VertexStart + record.VertexCount, 2517u);
    }
}

TEST_F(LoadedStationModel, DrawsOneCallPerUsedMaterial) {
    EXPECT_THAT(drawsOf(mMesh.get(), mDevice.get(), 0), SizeIs(1));
    EXPECT_THAT(drawsOf(mMesh.get(), mDevice.get(), 1), SizeIs(1));
    EXPECT_THAT(drawsOf(mMesh.get(), mDevice.get(), 2), IsEmpty());
    gfx::DrawStats stats;
    ASSERT_EQ(gfx::getDrawStats(mDevice.get(), &stats), D3D_OK);
    EXPECT_EQ(stats.primitives, 4284u);
}

TEST_F(LoadedStationModel, SitsAroundItsPlaceWithUnitNormals) {
    // The scene turns the station by 0.5 about y and moves it to (9.5, 3.5, 38.8).
    D3DXMATRIX yaw;
    D3DXMATRIX move;
    D3DXMATRIX world;
    D3DXMatrixRotationYawPitchRoll(&yaw, 0.5f, 0.0f, 0.0f);
    D3DXMatrixTranslation(&move, 9.5f, 3.5f, 38.8f);
    D3DXMatrixMultiply(&world, &yaw, &move);
    const D3DXVECTOR3 centre(9.5f, 3.5f, 38.8f);
    float farthest = 0.0f;
    float nearest = 1e9f;
    for (const auto& p : elementValues(mMesh.get(), D3DDECLUSAGE_POSITION)) {
        D3DXVECTOR3 position(p[0], p[1], p[2]);
        D3DXVec3TransformCoord(&position, &position, &world);
        const D3DXVECTOR3 offset = position - centre;
        farthest = std::max(farthest, D3DXVec3Length(&offset));
        nearest = std::min(nearest, D3DXVec3Length(&offset));
    }
    EXPECT_GE(farthest, 1.0f);
    EXPECT_LE(farthest, 1.1f);
    // A hull, not a solid: no vertex near the centre.
    EXPECT_GT(nearest, 0.5f);
    for (const auto& n : elementValues(mMesh.get(), D3DDECLUSAGE_NORMAL)) {
        EXPECT_NEAR(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 1.0f, 1e-4f);
    }
}

TEST(StationShapedText, LoadsWithItsCountsAndMaterials) {
    StationModelCounts counts;
    const std::string text = makeStationModelText({}, &counts);
    ComRef<IDirect3DDevice9> device = makeNullDevice();
    LoadResult loaded = loadText(device.get(), text);
    ASSERT_EQ(loaded.result, D3D_OK);
    EXPECT_EQ(loaded.mesh->GetNumVertices(), counts.vertices);
    EXPECT_EQ(loaded.mesh->GetNumFaces(), counts.triangles);
    EXPECT_EQ(loaded.materialCount, 3u);
    const std::vector<D3DXATTRIBUTERANGE> table = attributeTableOf(loaded.mesh.get());
    ASSERT_THAT(table, SizeIs(2));
    EXPECT_EQ(table[1].FaceCount, counts.material1Faces);
    EXPECT_EQ(loaded.mesh->GetNumBytesPerVertex(), 60u);
}

} // namespace
} // namespace halv::xfile::fixtures
