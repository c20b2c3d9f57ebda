// Mesh assembly from .x data: triangulation, frames and their transforms, normals and vertex
// splitting, materials and effect instances, vertex data children, merging, the limits of the
// frame walk, every source a mesh can be loaded from, and the failures.
#include "base/debug_output.h"
#include "base/environment.h"
#include "base/resources.h"
#include "base/text_conversion.h"
#include "math/vector_math.h"
#include "tests/xfile/mesh_test_support.h"
#include "tests/xfile/support/xfile_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace halv::xfile::fixtures {
namespace {

using base::ComRef;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::SizeIs;

const std::vector<std::array<float, 3>> kSquare = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};

std::string f(float value) {
    return floatText(value);
}

// A Material object: face colour, power, specular, emissive, then `children`.
std::string materialText(float r, float g, float b, float a, float power = 0,
                         const std::string& children = "", const std::string& name = "") {
    return "Material " + name + " {\n" + f(r) + ";" + f(g) + ";" + f(b) + ";" + f(a) + ";;\n" +
           f(power) + ";\n0.1;0.2;0.3;;\n0.4;0.5;0.6;;\n" + children + "}\n";
}

std::string textureText(const std::string& name) {
    return "TextureFilename { \"" + name + "\"; }\n";
}

std::string matrixText(const D3DXMATRIX& m) {
    std::string text = "FrameTransformMatrix {\n";
    for (int i = 0; i < 16; ++i) {
        text += f(m.m[i / 4][i % 4]) + (i < 15 ? "," : ";;\n");
    }
    return text + "}\n";
}

const D3DXMATERIAL* materialsOf(const LoadResult& loaded) {
    return static_cast<const D3DXMATERIAL*>(loaded.materials->GetBufferPointer());
}
const D3DXEFFECTINSTANCE* effectsOf(const LoadResult& loaded) {
    return static_cast<const D3DXEFFECTINSTANCE*>(loaded.effectInstances->GetBufferPointer());
}

std::vector<float> floatsOf(const D3DXEFFECTDEFAULT& value) {
    const auto* floats = static_cast<const float*>(value.pValue);
    return {floats, floats + value.NumBytes / 4};
}

class MeshLoader : public testing::Test {
protected:
    LoadResult load(const std::string& body, DWORD options = D3DXMESH_SYSTEMMEM) {
        return loadText(mDevice.get(), xfileText(body), options);
    }

    ComRef<IDirect3DDevice9> mDevice = makeNullDevice();
};

TEST_F(MeshLoader, PolygonsBecomeFans) {
    LoadResult loaded =
        load(meshText({{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}, {5, 5, 5}},
                      {{0, 1, 2, 4}, {1, 2, 3, 4, 0}}));
    ASSERT_EQ(loaded.result, D3D_OK);
    EXPECT_EQ(loaded.mesh->GetNumVertices(), 6u);
    EXPECT_THAT(indicesOf(loaded.mesh.get()),
                ElementsAre(0, 1, 2, 0, 2, 4, 1, 2, 3, 1, 3, 4, 1, 4, 0));
    // Only positions: the layout is D3DFVF_XYZ.
    EXPECT_EQ(loaded.mesh->GetFVF(), DWORD{D3DFVF_XYZ});
    EXPECT_EQ(loaded.mesh->GetOptions(), D3DXMESH_SYSTEMMEM);
}

TEST_F(MeshLoader, AdjacencyComesBackForTheSortedFaces) {
    LoadResult loaded = load(meshText(kSquare, {{0, 1, 2, 3}}));
    ASSERT_EQ(loaded.result, D3D_OK);
    // (0, 1, 2) and (0, 2, 3) share the diagonal: edge 2 of the first, edge 0 of the second.
    EXPECT_THAT(bufferWords(loaded.adjacency.get()),
                ElementsAre(0xFFFFFFFF, 0xFFFFFFFF, 1, 0, 0xFFFFFFFF, 0xFFFFFFFF));
}

TEST_F(MeshLoader, EmptyMeshesAreSkipped) {
    const std::string empty = "Mesh { 0; 0; }\n";
    const std::string flat = meshText({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {{0, 0, 1}});
    EXPECT_EQ(load(empty).result, E_FAIL);
    // Every triangle loses its area to two equal corners.
    EXPECT_EQ(load(flat).result, E_FAIL);
    EXPECT_EQ(load("Frame { }\n").result, E_FAIL);
    LoadResult loaded = load(empty + meshText(kSquare, {{0, 1, 2}}) + flat);
    ASSERT_EQ(loaded.result, D3D_OK);
    EXPECT_EQ(loaded.mesh->GetNumFaces(), 1u);
    EXPECT_EQ(loaded.mesh->GetNumVertices(), 4u);
}

TEST_F(MeshLoader, FramesApplyChildMatrixThenParentMatrix) {
    D3DXMATRIX move;
    D3DXMATRIX scale;
    D3DXMatrixTranslation(&move, 10, 0, 0);
    D3DXMatrixScaling(&scale, 2, 2, 2);
    const std::string point = meshText({{1, 1, 1}, {1, 1, 1}, {1, 1, 2}}, {{0, 1, 2}});
    const struct {
        const char* name;
        std::string body;
        float x;
    } cases[] = {
        {"Nested",
         "Frame Outer {\n" + matrixText(move) + "Frame Inner {\n" + matrixText(scale) + point +
             "}\n}\n",
         12},
        {"MatrixAfterMesh", "Frame {\n" + point + matrixText(move) + "}\n", 1},
        {"MatrixBetweenMeshes",
         "Frame {\n" + matrixText(scale) + "Frame {" + point + "}\n" + matrixText(move) +
             "Frame {" + point + "}\n}\n",
         2},
        {"TopLevelMatrix", matrixText(move) + point, 1},
        {"SiblingFrames", "Frame {\n" + matrixText(move) + "}\nFrame {\n" + point + "}\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoadResult loaded = load(c.body);
        ASSERT_EQ(loaded.result, D3D_OK);
        const auto positions = elementValues(loaded.mesh.get(), D3DDECLUSAGE_POSITION);
        EXPECT_FLOAT_EQ(positions[0][0], c.x);
    }
    // The move comes after the scale in the frame, so it applies before it to the second mesh:
    // (1 + 10) * 2.
    LoadResult both = load(cases[2].body);
    const auto positions = elementValues(both.mesh.get(), D3DDECLUSAGE_POSITION);
    ASSERT_THAT(positions, SizeIs(6));
    EXPECT_FLOAT_EQ(positions[3][0], 22.0f);
    EXPECT_FLOAT_EQ(positions[5][2], 4.0f);
}

TEST_F(MeshLoader, NormalsAreTurnedAndRenormalised) {
    D3DXMATRIX scale;
    D3DXMATRIX turn;
    D3DXMATRIX both;
    D3DXMatrixScaling(&scale, 3, 3, 3);
    D3DXMatrixRotationZ(&turn, D3DX_PI / 2);
    D3DXMatrixMultiply(&both, &scale, &turn);
    const std::string normals = "MeshNormals { 1; 1.0;0.0;0.0;; 1; 3;0,0,0;; }\n";
    LoadResult loaded =
        load("Frame {\n" + matrixText(both) + meshText(kSquare, {{0, 1, 2}}, normals) + "}\n");
    ASSERT_EQ(loaded.result, D3D_OK);
    EXPECT_EQ(loaded.mesh->GetFVF(), DWORD{D3DFVF_XYZ | D3DFVF_NORMAL});
    const auto normalValues = elementValues(loaded.mesh.get(), D3DDECLUSAGE_NORMAL);
    // Vertex 3 is in no face and keeps a zero normal.
    for (const auto& n : {normalValues[0], normalValues[1], normalValues[2]}) {
        EXPECT_NEAR(n[0], 0.0f, 1e-6f);
        EXPECT_NEAR(n[1], 1.0f, 1e-6f);
        EXPECT_NEAR(n[2], 0.0f, 1e-6f);
    }
    // Positions take the scale and the turn: (1, 0, 0) -> (0, 3, 0).
    EXPECT_NEAR(elementValues(loaded.mesh.get(), D3DDECLUSAGE_POSITION)[1][1], 3.0f, 1e-5f);
}

TEST_F(MeshLoader, CornersWithAnotherNormalSplitTheirVertex) {
    // Vertex 0 is a corner of both faces; the second face gives it another normal, and the third
    // face wants that normal too (it reuses the copy).
    const std::string normals = "MeshNormals { 2; 0.0;0.0;1.0;, 1.0;0.0;0.0;;\n"
                                "3; 3;0,0,0;, 3;1,0,0;, 3;1,0,0;; }\n";
    const std::string coords = "MeshTextureCoords { 4; 0.0;0.0;, 1.0;0.0;, 1.0;1.0;, 0.5;1.0;; }\n";
    LoadResult loaded =
        load(meshText(kSquare, {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}}, normals + coords));
    ASSERT_EQ(loaded.result, D3D_OK);
    EXPECT_EQ(loaded.mesh->GetNumFaces(), 3u);
    ASSERT_EQ(loaded.mesh->GetNumVertices(), 5u);
    EXPECT_THAT(indicesOf(loaded.mesh.get()), ElementsAre(0, 1, 2, 4, 2, 3, 4, 3, 1));
    // Normals are renormalised; the processor-specific sets may land an ulp short of 1.
    const auto normalValues = elementValues(loaded.mesh.get(), D3DDECLUSAGE_NORMAL);
    EXPECT_FLOAT_EQ(normalValues[0][2], 1.0f);
    EXPECT_FLOAT_EQ(normalValues[4][0], 1.0f);
    // The copy keeps the position and texture coordinate of its vertex.
    const auto positions = elementValues(loaded.mesh.get(), D3DDECLUSAGE_POSITION);
    EXPECT_EQ(positions[4], positions[0]);
    EXPECT_EQ(elementValues(loaded.mesh.get(), D3DDECLUSAGE_TEXCOORD)[4][1], 0.0f);
    EXPECT_EQ(loaded.mesh->GetFVF(), DWORD{D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1});
}

TEST_F(MeshLoader, DuplicatesWithTheWantedNormalAreReused) {
    // Vertex 3 duplicates vertex 0 and has already taken normal 1; the last face wants normal 1
    // at vertex 0 and gets vertex 3 when colour and coordinates match, else a new copy.
    const std::vector<std::array<float, 3>> vertices = {{0, 0, 0}, {1, 0, 0},  {0, 1, 0},
                                                        {0, 0, 0}, {-1, 0, 0}, {0, -1, 0}};
    const std::string normals = "MeshNormals { 2; 0.0;0.0;1.0;, 0.0;0.0;-1.0;;\n"
                                "3; 3;0,0,0;, 3;1,1,1;, 3;1,1,1;; }\n";
    const std::string duplicates = "VertexDuplicationIndices { 6; 5; 0,1,2,0,4,5;; }\n";
    const std::string otherCoordinates =
        "MeshTextureCoords { 6; 0.0;0.0;, 0.0;0.0;, 0.0;0.0;, 1.0;1.0;, 0.0;0.0;, 0.0;0.0;; }\n";
    const struct {
        const char* name;
        std::string children;
        DWORD vertices;
    } cases[] = {
        {"Reused", normals + duplicates, 6},
        {"NotADuplicate", normals, 7},
        {"OtherCoordinates", normals + duplicates + otherCoordinates, 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoadResult loaded = load(meshText(vertices, {{0, 1, 2}, {3, 4, 5}, {0, 5, 4}}, c.children));
        ASSERT_EQ(loaded.result, D3D_OK);
        EXPECT_EQ(loaded.mesh->GetNumVertices(), c.vertices);
        EXPECT_EQ(loaded.mesh->GetNumFaces(), 3u);
    }
}

TEST_F(MeshLoader, NormalsGivenAsVertexDataAreKept) {
    // A DeclData normal puts a normal into the layout of a mesh without MeshNormals; the values
    // written are the file's.
    std::string words;
    for (int v = 0; v < 3; ++v) {
        for (const float value : {0.0f, 1.0f, 0.0f}) {
            DWORD bits;
            std::memcpy(&bits, &value, 4);
            words += std::to_string(bits) + ",";
        }
    }
    words.back() = ';';
    LoadResult loaded = load(meshText({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}},
                                      "DeclData { 1; 2;0;3;0;; 9; " + words + "; }\n"));
    ASSERT_EQ(loaded.result, D3D_OK);
    EXPECT_EQ(loaded.mesh->GetFVF(), DWORD{D3DFVF_XYZ | D3DFVF_NORMAL});
    for (const auto& n : elementValues(loaded.mesh.get(), D3DDECLUSAGE_NORMAL)) {
        EXPECT_THAT(n, ElementsAre(0.0f, testing::FloatEq(1.0f), 0.0f, 1.0f));
    }
}

TEST_F(MeshLoader, MaterialsAndTheirEffectInstances) {
    const std::string list =
        "MeshMaterialList { 3; 2; 2, 1;;\n" + materialText(1, 0, 0, 1, 5, textureText("hull.png")) +
        materialText(0, 1, 0, 0.5f, 0, textureText("")) + materialText(0, 0, 1, 1) + "}\n";
    LoadResult loaded = load(meshText(kSquare, {{0, 1, 2}, {0, 2, 3}, {1, 2, 3}}, list));
    ASSERT_EQ(loaded.result, D3D_OK);
    ASSERT_EQ(loaded.materialCount, 3u);
    // Faces past the list's face indexes use material 0.
    EXPECT_THAT(attributesOf(loaded.mesh.get()), ElementsAre(0, 1, 2));
    const D3DXMATERIAL* materials = materialsOf(loaded);
    EXPECT_STREQ(materials[0].pTextureFilename, "hull.png");
    ASSERT_NE(materials[1].pTextureFilename, nullptr);
    EXPECT_STREQ(materials[1].pTextureFilename, "");
    EXPECT_EQ(materials[2].pTextureFilename, nullptr);
    const D3DMATERIAL9& red = materials[0].MatD3D;
    EXPECT_EQ(red.Diffuse.r, 1.0f);
    EXPECT_EQ(red.Diffuse.a, 1.0f);
    EXPECT_EQ(red.Power, 5.0f);
    EXPECT_FLOAT_EQ(red.Specular.g, 0.2f);
    EXPECT_EQ(red.Specular.a, 1.0f);
    EXPECT_FLOAT_EQ(red.Emissive.b, 0.6f);
    EXPECT_EQ(red.Emissive.a, 1.0f);
    EXPECT_EQ(red.Ambient.r, 0.0f);
    EXPECT_EQ(red.Ambient.a, 1.0f);

    const D3DXEFFECTINSTANCE* effects = effectsOf(loaded);
    const char* const names[] = {"Diffuse",  "Power",   "Specular",
                                 "Emissive", "Ambient", "Texture0@Name"};
    EXPECT_EQ(effects[0].pEffectFilename, nullptr);
    ASSERT_EQ(effects[0].NumDefaults, 6u);
    for (DWORD i = 0; i < 6; ++i) {
        EXPECT_STREQ(effects[0].pDefaults[i].pParamName, names[i]);
        EXPECT_EQ(effects[0].pDefaults[i].Type, i < 5 ? D3DXEDT_FLOATS : D3DXEDT_STRING);
    }
    EXPECT_THAT(floatsOf(effects[0].pDefaults[0]), ElementsAre(1, 0, 0, 1));
    EXPECT_THAT(floatsOf(effects[0].pDefaults[1]), ElementsAre(5));
    EXPECT_THAT(floatsOf(effects[0].pDefaults[4]), ElementsAre(0, 0, 0, 1));
    EXPECT_STREQ(static_cast<const char*>(effects[0].pDefaults[5].pValue), "hull.png");
    EXPECT_EQ(effects[0].pDefaults[5].NumBytes, 9u);
    // An empty texture name still counts as a texture.
    ASSERT_EQ(effects[1].NumDefaults, 6u);
    EXPECT_EQ(effects[1].pDefaults[5].NumBytes, 1u);
    EXPECT_EQ(effects[2].NumDefaults, 5u);
}

TEST_F(MeshLoader, FileWithoutMaterialsGetsTheGreyDefault) {
    LoadResult loaded = load(meshText(kSquare, {{0, 1, 2}}));
    ASSERT_EQ(loaded.result, D3D_OK);
    ASSERT_EQ(loaded.materialCount, 1u);
    const D3DMATERIAL9& grey = materialsOf(loaded)[0].MatD3D;
    EXPECT_EQ(grey.Diffuse.r, 0.5f);
    EXPECT_EQ(grey.Diffuse.a, 0.0f);
    EXPECT_EQ(grey.Specular.b, 0.5f);
    EXPECT_EQ(grey.Ambient.a, 0.0f);
    EXPECT_EQ(grey.Power, 0.0f);
    EXPECT_EQ(materialsOf(loaded)[0].pTextureFilename, nullptr);
    EXPECT_EQ(effectsOf(loaded)[0].NumDefaults, 5u);
    EXPECT_EQ(loaded.materials->GetBufferSize(), sizeof(D3DXMATERIAL));
}

TEST_F(MeshLoader, EffectInstancesAndMaterialReferences) {
    const std::string effect = "EffectInstance { \"glow.fx\";\n"
                               "EffectParamFloats { \"Scale\"; 2; 0.5, 2.0; }\n"
                               "EffectParamString { \"Mode\"; \"add\"; }\n"
                               "EffectParamDWord { \"Passes\"; 3; }\n"
                               "EffectFloats { 1; 1.0; }\n}\n";
    const std::string body =
        materialText(1, 1, 1, 1, 0, effect, "Shiny") +
        meshText(kSquare, {{0, 1, 2}}, "MeshMaterialList { 1; 1; 0;; { Shiny } }\n");
    LoadResult loaded = load(body);
    ASSERT_EQ(loaded.result, D3D_OK);
    ASSERT_EQ(loaded.materialCount, 1u);
    const D3DXEFFECTINSTANCE& instance = effectsOf(loaded)[0];
    EXPECT_STREQ(instance.pEffectFilename, "glow.fx");
    ASSERT_EQ(instance.NumDefaults, 3u);
    EXPECT_STREQ(instance.pDefaults[0].pParamName, "Scale");
    EXPECT_EQ(instance.pDefaults[0].Type, D3DXEDT_FLOATS);
    EXPECT_THAT(floatsOf(instance.pDefaults[0]), ElementsAre(0.5f, 2.0f));
    EXPECT_EQ(instance.pDefaults[1].Type, D3DXEDT_STRING);
    EXPECT_STREQ(static_cast<const char*>(instance.pDefaults[1].pValue), "add");
    EXPECT_EQ(instance.pDefaults[2].Type, D3DXEDT_DWORD);
    EXPECT_EQ(*static_cast<const DWORD*>(instance.pDefaults[2].pValue), 3u);
}

TEST_F(MeshLoader, TwoMeshesMergeWithTheirMaterialsInOrder) {
    const std::string first =
        meshText(kSquare, {{0, 1, 2}, {0, 2, 3}},
                 "MeshMaterialList { 2; 2; 1, 0;;\n" + materialText(1, 0, 0, 1) +
                     materialText(0, 1, 0, 1) + "}\n");
    const std::string second = meshText(
        {{5, 0, 0}, {6, 0, 0}, {6, 1, 0}}, {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}},
        "MeshMaterialList { 3; 3; 2, 0, 1;;\n" + materialText(0, 0, 1, 1, 0, textureText("b")) +
            materialText(1, 1, 0, 1) + materialText(0, 1, 1, 1) + "}\n");
    LoadResult loaded = load(first + second);
    ASSERT_EQ(loaded.result, D3D_OK);
    EXPECT_EQ(loaded.materialCount, 5u);
    EXPECT_EQ(loaded.mesh->GetNumVertices(), 7u);
    EXPECT_EQ(loaded.mesh->GetNumFaces(), 5u);
    // Each part sorted; the second part's ids offset by 2 and its indices by 4.
    EXPECT_THAT(attributesOf(loaded.mesh.get()), ElementsAre(0, 1, 2, 3, 4));
    EXPECT_THAT(indicesOf(loaded.mesh.get()),
                ElementsAre(0, 2, 3, 0, 1, 2, 4, 6, 5, 5, 4, 6, 4, 5, 6));
    EXPECT_STREQ(materialsOf(loaded)[2].pTextureFilename, "b");
    const std::vector<D3DXATTRIBUTERANGE> table = attributeTableOf(loaded.mesh.get());
    ASSERT_THAT(table, SizeIs(5));
    EXPECT_EQ(table[3].AttribId, 3u);
    EXPECT_EQ(table[3].FaceStart, 3u);
    EXPECT_EQ(table[3].VertexStart, 4u);
    EXPECT_THAT(drawsOf(loaded.mesh.get(), mDevice.get(), 4), SizeIs(1));
    // Adjacency of the second part counts from its first face.
    const std::vector<DWORD> adjacency = bufferWords(loaded.adjacency.get());
    for (std::size_t i = 6; i < adjacency.size(); ++i) {
        EXPECT_TRUE(adjacency[i] == 0xFFFFFFFF || adjacency[i] >= 2) << i;
    }
}

// How often each face is drawn when a caller draws subsets 0 to count - 1, as the model
// object does.
std::vector<int> timesEachFaceIsDrawn(ID3DXMesh* mesh, IDirect3DDevice9* device, DWORD count) {
    std::vector<int> times(mesh->GetNumFaces(), 0);
    gfx::setCallLogging(device, true);
    for (DWORD id = 0; id < count; ++id) {
        gfx::clearCallLog(device);
        device->BeginScene();
        EXPECT_EQ(mesh->DrawSubset(id), D3D_OK);
        device->EndScene();
        for (const gfx::CallRecord& call : gfx::callLog(device)) {
            if (call.method != "DrawIndexedPrimitive") {
                continue;
            }
            // type, base vertex, minimum index, vertex count, start index, primitives
            const std::uint64_t first = call.values.at(4) / 3;
            for (std::uint64_t f = first; f < first + call.values.at(5); ++f) {
                ++times.at(f);
            }
        }
    }
    gfx::setCallLogging(device, false);
    return times;
}

struct MergeCase {
    const char* name;
    std::vector<int> materialsPerMesh; // 0: no MeshMaterialList
    DWORD expectedCount;
    // Which material each mesh's faces end up with, mesh by mesh.
    std::vector<DWORD> expectedIds;
    // Materials that must be the grey default.
    std::vector<DWORD> defaults;
};

TEST_F(MeshLoader, MergedMeshesDrawEveryFaceOnce) {
    const std::vector<MergeCase> cases = {
        // Three meshes of which only the first has a material.
        {"MaterialsThenBare", {1, 0, 0}, 3, {0, 1, 2}, {1, 2}},
        {"BareThenMaterials", {0, 2}, 3, {0, 2}, {0}},
        {"BareBetween", {2, 0, 1}, 4, {1, 2, 3}, {2}},
        // No materials anywhere: the one grey default, as for a single mesh.
        {"AllBare", {0, 0, 0}, 1, {0, 0, 0}, {0}},
    };
    for (const MergeCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string body;
        DWORD faces = 0;
        for (std::size_t m = 0; m < c.materialsPerMesh.size(); ++m) {
            const auto x = static_cast<float>(m * 3);
            std::string list;
            if (c.materialsPerMesh[m] > 0) {
                // Each face takes the last material, so a mesh's faces share one id.
                const int last = c.materialsPerMesh[m] - 1;
                list = "MeshMaterialList { " + std::to_string(c.materialsPerMesh[m]) + "; 2; " +
                       std::to_string(last) + ", " + std::to_string(last) + ";;\n";
                for (int i = 0; i < c.materialsPerMesh[m]; ++i) {
                    list += materialText(1, 0, 0, 1);
                }
                list += "}\n";
            }
            body += meshText({{x, 0, 0}, {x + 1, 0, 0}, {x + 1, 1, 0}, {x, 1, 0}},
                             {{0, 1, 2}, {0, 2, 3}}, list);
            faces += 2;
        }
        LoadResult loaded = load(body);
        ASSERT_EQ(loaded.result, D3D_OK);
        ASSERT_EQ(loaded.mesh->GetNumFaces(), faces);
        EXPECT_EQ(loaded.materialCount, c.expectedCount);
        std::vector<DWORD> ids;
        for (std::size_t m = 0; m < c.expectedIds.size(); ++m) {
            ids.insert(ids.end(), 2, c.expectedIds[m]);
        }
        EXPECT_THAT(attributesOf(loaded.mesh.get()), ElementsAreArray(ids));
        for (DWORD grey : c.defaults) {
            EXPECT_EQ(materialsOf(loaded)[grey].MatD3D.Diffuse.r, 0.5f) << grey;
        }
        // One record per id.
        std::vector<DWORD> tableIds;
        for (const D3DXATTRIBUTERANGE& record : attributeTableOf(loaded.mesh.get())) {
            tableIds.push_back(record.AttribId);
        }
        std::vector<DWORD> distinct = tableIds;
        distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
        EXPECT_EQ(tableIds, distinct);
        EXPECT_THAT(timesEachFaceIsDrawn(loaded.mesh.get(), mDevice.get(), loaded.materialCount),
                    testing::Each(1));
    }
}

TEST_F(MeshLoader, MeshesOfDifferentLayoutsMergeIntoOne) {
    const std::string normals = "MeshNormals { 1; 0.0;0.0;1.0;; 1; 3;0,0,0;; }\n";
    const std::string coords = "MeshTextureCoords { 3; 0.5;0.5;, 1.0;0.0;, 1.0;1.0;; }\n";
    const std::string decl = "DeclData { 1; 2;0;6;0;; 9; 0,0,0,0,0,0,0,0,0; }\n";
    LoadResult loaded = load(meshText(kSquare, {{0, 1, 2}}, normals) +
                             meshText({{1, 1, 1}, {2, 1, 1}, {2, 2, 1}}, {{0, 1, 2}}, coords));
    ASSERT_EQ(loaded.result, D3D_OK);
    EXPECT_EQ(loaded.mesh->GetFVF(), DWORD{D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1});
    const auto uv = elementValues(loaded.mesh.get(), D3DDECLUSAGE_TEXCOORD);
    EXPECT_EQ(uv[0][0], 0.0f);
    EXPECT_EQ(uv[4][0], 0.5f);
    EXPECT_EQ(elementValues(loaded.mesh.get(), D3DDECLUSAGE_NORMAL)[4][2], 0.0f);

    // A declaration without an FVF code: the elements of both, the first mesh's first.
    LoadResult mixed = load(meshText(kSquare, {{0, 1, 2}}, normals) +
                            meshText({{1, 1, 1}, {2, 1, 1}, {2, 2, 1}}, {{0, 1, 2}}, decl));
    ASSERT_EQ(mixed.result, D3D_OK);
    EXPECT_EQ(mixed.mesh->GetFVF(), 0u);
    const std::vector<D3DVERTEXELEMENT9> declaration = declarationOf(mixed.mesh.get());
    ASSERT_THAT(declaration, SizeIs(3));
    EXPECT_EQ(declaration[1].Usage, D3DDECLUSAGE_NORMAL);
    EXPECT_EQ(declaration[2].Usage, D3DDECLUSAGE_TANGENT);
    EXPECT_EQ(declaration[2].Offset, 24);
}

TEST_F(MeshLoader, VertexColoursAreQuantised) {
    const std::string colors = "MeshVertexColors { 3;\n"
                               "0; 0.5;1.5;-1.0;0.25;,\n"
                               "1; 1.0;0.0;0.002;1.0;,\n"
                               "0; 0.1;0.2;0.3;0.4;; }\n";
    LoadResult loaded = load(meshText(kSquare, {{0, 1, 2}}, colors));
    ASSERT_EQ(loaded.result, D3D_OK);
    EXPECT_EQ(loaded.mesh->GetFVF(), DWORD{D3DFVF_XYZ | D3DFVF_DIFFUSE});
    const auto values = elementValues(loaded.mesh.get(), D3DDECLUSAGE_COLOR);
    // A later entry replaces an earlier one; unlisted vertices stay white with alpha 0.
    EXPECT_THAT(values[0], ElementsAre(26, 51, 77, 102));
    EXPECT_THAT(values[1], ElementsAre(255, 0, 1, 255));
    EXPECT_THAT(values[2], ElementsAre(255, 255, 255, 0));
}

TEST_F(MeshLoader, AdjacencyFromTheFileOrFromDuplicates) {
    // Two triangles with separate vertices at the same places.
    const std::vector<std::array<float, 3>> vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0},
                                                        {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    const std::vector<std::vector<DWORD>> faces = {{0, 1, 2}, {3, 4, 5}};
    LoadResult generated = load(meshText(vertices, faces));
    ASSERT_EQ(generated.result, D3D_OK);
    EXPECT_THAT(bufferWords(generated.adjacency.get()),
                ElementsAre(0xFFFFFFFF, 1, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0));
    // Duplication indices saying nothing is shared win over the positions.
    LoadResult fromDuplicates =
        load(meshText(vertices, faces, "VertexDuplicationIndices { 6; 6; 0,1,2,3,4,5;; }\n"));
    ASSERT_EQ(fromDuplicates.result, D3D_OK);
    EXPECT_THAT(bufferWords(fromDuplicates.adjacency.get()), testing::Each(0xFFFFFFFF));
    // Adjacency in the file wins over both.
    LoadResult fromFile = load(meshText(vertices, faces, "FaceAdjacency { 6; 1,1,1,0,0,0; }\n"));
    ASSERT_EQ(fromFile.result, D3D_OK);
    EXPECT_THAT(bufferWords(fromFile.adjacency.get()), ElementsAre(1, 1, 1, 0, 0, 0));
}

TEST_F(MeshLoader, DeclDataRowsFollowTheirVertices) {
    // Tangents (usage 6) and binormals (7) per vertex; vertex 0 is split by its normals.
    const std::string normals =
        "MeshNormals { 2; 0.0;0.0;1.0;, 1.0;0.0;0.0;; 2; 3;0,0,0;, 3;1,0,0;; }\n";
    std::string words;
    for (int v = 0; v < 4; ++v) {
        for (int k = 0; k < 6; ++k) {
            const float value = static_cast<float>(v * 10 + k);
            DWORD bits;
            std::memcpy(&bits, &value, 4);
            words += std::to_string(bits) + (v == 3 && k == 5 ? ";" : ",");
        }
    }
    const std::string decl = "DeclData { 2; 2;0;6;0;, 2;0;7;0;; 24; " + words + "; }\n";
    LoadResult loaded = load(meshText(kSquare, {{0, 1, 2}, {0, 2, 3}}, normals + decl));
    ASSERT_EQ(loaded.result, D3D_OK);
    ASSERT_EQ(loaded.mesh->GetNumVertices(), 5u);
    EXPECT_EQ(loaded.mesh->GetNumBytesPerVertex(), 48u);
    const auto tangents = elementValues(loaded.mesh.get(), D3DDECLUSAGE_TANGENT);
    const auto binormals = elementValues(loaded.mesh.get(), D3DDECLUSAGE_BINORMAL);
    EXPECT_EQ(tangents[2][0], 20.0f);
    EXPECT_EQ(binormals[3][2], 35.0f);
    // The copy of vertex 0 takes vertex 0's row.
    EXPECT_EQ(tangents[4][1], 1.0f);
    EXPECT_EQ(binormals[4][0], 3.0f);
}

TEST_F(MeshLoader, FvfDataFillsTheSetsAfterTheFileCoordinates) {
    // Extra data of D3DFVF_TEX1: one more set of coordinates, which becomes set 1.
    const std::string coords = "MeshTextureCoords { 3; 0.0;0.0;, 1.0;0.0;, 1.0;1.0;; }\n";
    std::string words;
    for (int i = 0; i < 6; ++i) {
        const float value = 0.125f * static_cast<float>(i + 1);
        DWORD bits;
        std::memcpy(&bits, &value, 4);
        words += std::to_string(bits) + (i == 5 ? ";" : ",");
    }
    const std::string extra = "FVFData { 256; 6; " + words + "; }\n";
    LoadResult loaded =
        load(meshText({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}}, coords + extra));
    ASSERT_EQ(loaded.result, D3D_OK);
    EXPECT_EQ(loaded.mesh->GetFVF(), DWORD{D3DFVF_XYZ | D3DFVF_TEX2});
    const auto set0 = elementValues(loaded.mesh.get(), D3DDECLUSAGE_TEXCOORD, 0);
    const auto set1 = elementValues(loaded.mesh.get(), D3DDECLUSAGE_TEXCOORD, 1);
    EXPECT_EQ(set0[2][1], 1.0f);
    EXPECT_EQ(set1[2][0], 0.625f);
    EXPECT_EQ(set1[2][1], 0.75f);
}

TEST_F(MeshLoader, SeventyThousandVerticesNeedWideIndices) {
    std::vector<std::array<float, 3>> vertices;
    std::vector<std::vector<DWORD>> faces;
    for (DWORD i = 0; i < 70000; ++i) {
        vertices.push_back({static_cast<float>(i % 300), static_cast<float>(i / 300), 0});
    }
    for (DWORD i = 0; i + 2 < 70000; i += 3) {
        faces.push_back({i, i + 1, i + 2});
    }
    LoadResult loaded = load(meshText(vertices, faces));
    ASSERT_EQ(loaded.result, D3D_OK);
    EXPECT_EQ(loaded.mesh->GetOptions(), D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT);
    EXPECT_EQ(loaded.mesh->GetNumVertices(), 70000u);
    EXPECT_EQ(indicesOf(loaded.mesh.get()).back(), 69998u);
}

struct FailureCase {
    const char* name;
    std::string body;
    HRESULT expected;
};

std::vector<FailureCase> failureCases() {
    const std::string tri = "3;\n0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;;\n";
    const auto mesh = [&](const std::string& faces, const std::string& children = "") {
        return "Mesh {\n" + tri + faces + children + "}\n";
    };
    const std::string face = "1; 3;0,1,2;;\n";
    const std::string material = materialText(1, 1, 1, 1);
    return {
        {"TwoIndexFace", mesh("1; 2;0,1;;\n"), E_FAIL},
        {"IndexPastTheVertices", mesh("1; 3;0,1,3;;\n"), E_FAIL},
        {"FewerFacesThanCounted", mesh("2; 3;0,1,2;;\n"), E_FAIL},
        {"DataAfterTheFaces", mesh("1; 3;0,1,2;, 7;;\n"), E_FAIL},
        {"FewerVerticesThanCounted", "Mesh { 4; 0.0;0.0;0.0;; 1; 3;0,1,2;; }\n", E_FAIL},
        {"CoordinateCount", mesh(face, "MeshTextureCoords { 2; 0.0;0.0;, 1.0;1.0;; }\n"), E_FAIL},
        {"ColourIndex", mesh(face, "MeshVertexColors { 1; 3; 1.0;1.0;1.0;1.0;; }\n"), E_FAIL},
        {"ColoursPastTheData", mesh(face, "MeshVertexColors { 2; 0; 1.0;1.0;1.0;1.0;; }\n"),
         E_FAIL},
        {"NormalFaceCount", mesh(face, "MeshNormals { 1; 0.0;0.0;1.0;; 2; 3;0,0,0;, 3;0,0,0;; }\n"),
         E_FAIL},
        {"NormalFaceSize", mesh(face, "MeshNormals { 1; 0.0;0.0;1.0;; 1; 4;0,0,0,0;; }\n"), E_FAIL},
        {"NormalIndex", mesh(face, "MeshNormals { 1; 0.0;0.0;1.0;; 1; 3;0,1,0;; }\n"), E_FAIL},
        {"MaterialIndex", mesh(face, "MeshMaterialList { 1; 1; 1;; " + material + "}\n"), E_FAIL},
        {"FaceIndexesPastTheData", mesh(face, "MeshMaterialList { 1; 3; 0;; " + material + "}\n"),
         E_FAIL},
        {"MoreMaterialsThanCounted",
         mesh(face, "MeshMaterialList { 1; 1; 0;; " + material + material + "}\n"),
         D3DERR_INVALIDCALL},
        {"FewerMaterialsThanCounted",
         mesh(face, "MeshMaterialList { 2; 1; 0;; " + material + "}\n"), E_FAIL},
        {"EmptyEffectFile",
         mesh(face, "MeshMaterialList { 1; 1; 0;; " +
                        materialText(1, 1, 1, 1, 0, "EffectInstance { \"\"; }") + "}\n"),
         D3D_OK},
        {"DuplicationCount", mesh(face, "VertexDuplicationIndices { 2; 2; 0, 1;; }\n"),
         D3DERR_INVALIDCALL},
        {"DuplicationOriginals", mesh(face, "VertexDuplicationIndices { 3; 4; 0, 1, 2;; }\n"),
         D3DERR_INVALIDCALL},
        {"DuplicationChain", mesh(face, "VertexDuplicationIndices { 3; 1; 0, 0, 1;; }\n"),
         D3DERR_INVALIDCALL},
        {"DuplicationIndex", mesh(face, "VertexDuplicationIndices { 3; 1; 0, 0, 3;; }\n"), E_FAIL},
        {"AdjacencyCount", mesh(face, "FaceAdjacency { 2; 0, 0; }\n"), D3DERR_INVALIDCALL},
        {"AdjacencyFace", mesh(face, "FaceAdjacency { 3; 0, 5, 0; }\n"), E_FAIL},
        {"NoDeclElements", mesh(face, "DeclData { 0; 0; }\n"), D3DERR_INVALIDCALL},
        {"DeclTypeUnused", mesh(face, "DeclData { 1; 17;0;6;0;; 0; }\n"), D3DERR_INVALIDCALL},
        {"DeclRowsTooShort", mesh(face, "DeclData { 1; 2;0;6;0;; 6; 0,0,0,0,0,0; }\n"),
         D3DERR_INVALIDCALL},
        {"DeclUsageTaken", mesh(face, "DeclData { 1; 2;0;0;0;; 9; 0,0,0,0,0,0,0,0,0; }\n"),
         D3DERR_INVALIDCALL},
        // Not a declaration: left out without an error.
        {"DeclUsageUnknown", mesh(face, "DeclData { 1; 2;0;20;0;; 0; }\n"), D3D_OK},
        {"DeclDataPastTheData", mesh(face, "DeclData { 1; 2;0;6;0;; 12; 0,0,0,0,0,0,0,0,0; }\n"),
         E_FAIL},
        {"FvfEightSetsAndCoordinates",
         mesh(face,
              "FVFData { 2048; 0; }\nMeshTextureCoords { 3; 0.0;0.0;, 0.0;0.0;, 0.0;0.0;; }\n"),
         D3DERR_INVALIDCALL},
        {"FvfRowsTooShort", mesh(face, "FVFData { 16; 3; 0,0,0; }\n"), D3DERR_INVALIDCALL},
        {"FvfReserved", mesh(face, "FVFData { 3; 0; }\n"), D3DERR_INVALIDCALL},
        // A file's own template may make a matrix too short to read.
        {"ShortFrameMatrix",
         "template FrameTransformMatrix { <F6F23F41-7686-11CF-8F52-0040333594A3> DWORD a; }\n"
         "Frame { FrameTransformMatrix { 1; } " +
             mesh(face) + "}\n",
         E_FAIL},
        {"ShortMaterial",
         "template Material { <3D82AB4D-62DA-11CF-AB39-0020AF71E433> DWORD a; [...] }\n" +
             mesh(face, "MeshMaterialList { 1; 1; 0;; Material { 1; } }\n"),
         E_FAIL},
        {"ParseError", "Mesh { 3; }}\n", D3DXFERR_PARSEERROR},
    };
}

TEST_F(MeshLoader, BadDataFailsWithItsCode) {
    for (const FailureCase& c : failureCases()) {
        SCOPED_TRACE(c.name);
        ID3DXMesh* mesh = nullptr;
        ID3DXBuffer* materials = nullptr;
        DWORD count = 77;
        const std::string text = xfileText(c.body);
        EXPECT_EQ(D3DXLoadMeshFromXInMemory(text.data(), static_cast<DWORD>(text.size()),
                                            D3DXMESH_SYSTEMMEM, mDevice.get(), nullptr, &materials,
                                            nullptr, &count, &mesh),
                  c.expected);
        if (mesh != nullptr) {
            mesh->Release();
            materials->Release();
        } else {
            EXPECT_EQ(materials, nullptr);
            EXPECT_EQ(count, 77u);
        }
    }
}

TEST_F(MeshLoader, EveryPrefixFailsCleanlyOrLoads) {
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    const std::string file =
        xfileText("Frame { " + matrixText(identity) +
                  meshText(kSquare, {{0, 1, 2, 3}},
                           "MeshNormals { 1; 0.0;0.0;1.0;; 1; 4;0,0,0,0;; }\n"
                           "MeshTextureCoords { 4; 0.0;0.0;, 1.0;0.0;, 1.0;1.0;, 0.0;1.0;; }\n"
                           "MeshMaterialList { 1; 1; 0;; " +
                               materialText(1, 1, 1, 1, 2, textureText("t.png")) + "}\n") +
                  "}");
    for (std::size_t size = 1; size <= file.size(); ++size) {
        // A heap copy of exactly `size` bytes, so a read past it is caught.
        std::vector<char> prefix(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size));
        ID3DXMesh* mesh = nullptr;
        ID3DXBuffer* adjacency = nullptr;
        const HRESULT hr =
            D3DXLoadMeshFromXInMemory(prefix.data(), static_cast<DWORD>(size), 0x110, mDevice.get(),
                                      &adjacency, nullptr, nullptr, nullptr, &mesh);
        EXPECT_EQ(SUCCEEDED(hr), mesh != nullptr) << size;
        EXPECT_EQ(SUCCEEDED(hr), size == file.size()) << size;
        if (mesh != nullptr) {
            mesh->Release();
            adjacency->Release();
        }
    }
}

TEST_F(MeshLoader, ReferencesCannotMultiplyTheWork) {
    // Each frame refers to the one before it twice: 2^40 meshes if followed to the end.
    std::string body = "Frame F0 { " + meshText(kSquare, {{0, 1, 2}}) + "}\n";
    for (int i = 1; i <= 40; ++i) {
        // Appended piece by piece: "F" + std::to_string draws a false -Wrestrict from GCC 12 at
        // -O3.
        const std::string previous = std::to_string(i - 1);
        body += "Frame F";
        body += std::to_string(i);
        body += " { {F" + previous + "} {F" + previous + "} }\n";
    }
    // Each fixed limit names itself on the debugger channel.
    std::string debugText;
    const base::DebugOutputSink previousSink =
        base::installDebugOutputSink([&debugText](std::string_view text) { debugText += text; });
    EXPECT_EQ(load(body).result, E_FAIL);
    EXPECT_THAT(debugText, testing::HasSubstr("more than 16384 meshes"));

    // A chain of references deeper than the walk goes (the parser itself stops nesting
    // earlier).
    std::string chain = "Frame C0 { " + meshText(kSquare, {{0, 1, 2}}) + "}\n";
    for (int i = 1; i <= 300; ++i) {
        chain += "Frame C" + std::to_string(i) + " { {C" + std::to_string(i - 1) + "} }\n";
    }
    EXPECT_EQ(load(chain).result, E_FAIL);
    EXPECT_THAT(debugText, testing::HasSubstr("frames nest deeper than 256 levels"));
    base::installDebugOutputSink(previousSink);
    LoadResult shallow = load(chain.substr(0, chain.find("Frame C200 ")));
    ASSERT_EQ(shallow.result, D3D_OK);
    EXPECT_EQ(shallow.mesh->GetNumFaces(), 200u);
}

// A binary file: one Mesh of `vertexCount` vertices on a parabola and one polygon through
// all of them, so vertexCount - 2 triangles.
std::vector<std::byte> fanMeshFile(DWORD vertexCount) {
    std::vector<std::byte> file = toBytes("xof 0303bin 0032");
    const auto put = [&file](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            file.push_back(static_cast<std::byte>(value >> (8 * i)));
        }
    };
    put(1, 2); // name
    put(4, 4);
    for (char c : std::string_view("Mesh")) {
        put(static_cast<unsigned char>(c), 1);
    }
    put(10, 2);
    put(6, 2); // integer list: nVertices
    put(1, 4);
    put(vertexCount, 4);
    put(7, 2); // float list: the vertices
    put(vertexCount * 3, 4);
    for (DWORD v = 0; v < vertexCount; ++v) {
        const auto x = static_cast<float>(v);
        for (float value : {x, x * x, 0.0f}) {
            put(std::bit_cast<std::uint32_t>(value), 4);
        }
    }
    put(6, 2); // integer list: nFaces, then the polygon
    put(vertexCount + 2, 4);
    put(1, 4);
    put(vertexCount, 4);
    for (DWORD v = 0; v < vertexCount; ++v) {
        put(v, 4);
    }
    put(11, 2);
    return file;
}

TEST_F(MeshLoader, MoreThanTwoMillionVerticesAndTrianglesLoad) {
    constexpr DWORD kVertices = 2200000;
    const std::vector<std::byte> file = fanMeshFile(kVertices);
    ID3DXMesh* mesh = nullptr;
    ASSERT_EQ(D3DXLoadMeshFromXInMemory(file.data(), static_cast<DWORD>(file.size()),
                                        D3DXMESH_SYSTEMMEM, mDevice.get(), nullptr, nullptr,
                                        nullptr, nullptr, &mesh),
              D3D_OK);
    EXPECT_EQ(mesh->GetNumVertices(), kVertices);
    EXPECT_EQ(mesh->GetNumFaces(), kVertices - 2);
    EXPECT_EQ(mesh->GetOptions(), D3DXMESH_SYSTEMMEM | D3DXMESH_32BIT);
    mesh->Release();
}

// A "tzip" file of `blocks` copies of one block that expands to 32768 bytes of "0,".
std::vector<std::byte> compressedBomb(std::size_t blocks) {
    const std::string plain = "xof 0303txt 0032" + std::string(32768 / 2 * 2, ',');
    std::string text = plain;
    for (std::size_t i = 16; i < text.size(); i += 2) {
        text[i] = '0';
    }
    const std::vector<std::byte> one = compressXFile(toBytes(text));
    // The first block refers to nothing before it, so it reads the same after any other.
    const std::span<const std::byte> block = std::span(one).subspan(20);
    std::vector<std::byte> file(one.begin(), one.begin() + 20);
    const auto total = static_cast<std::uint32_t>(16 + blocks * 32768);
    std::memcpy(file.data() + 16, &total, 4);
    for (std::size_t i = 0; i < blocks; ++i) {
        file.insert(file.end(), block.begin(), block.end());
    }
    return file;
}

TEST_F(MeshLoader, LoadsStayWithinTheirMemoryBudget) {
    // About 100 KB that declare 80 MB: refused before anything is expanded.
    const std::vector<std::byte> bomb = compressedBomb(2500);
    ASSERT_LT(bomb.size(), 200000u);
    ID3DXMesh* mesh = nullptr;
    EXPECT_EQ(D3DXLoadMeshFromXInMemory(bomb.data(), static_cast<DWORD>(bomb.size()),
                                        D3DXMESH_SYSTEMMEM, mDevice.get(), nullptr, nullptr,
                                        nullptr, nullptr, &mesh),
              E_OUTOFMEMORY);
    EXPECT_EQ(mesh, nullptr);

    // 20,000 vertices need more than a ceiling of 1 MiB, and fit the default.
    std::vector<std::array<float, 3>> vertices;
    std::vector<std::vector<DWORD>> faces;
    for (DWORD i = 0; i < 20000; ++i) {
        vertices.push_back({static_cast<float>(i % 100), static_cast<float>(i / 100), 0});
        if (i % 3 == 2) {
            faces.push_back({i - 2, i - 1, i});
        }
    }
    const std::string body = meshText(vertices, faces);
    EXPECT_EQ(load(body).result, D3D_OK);
    const base::MapEnvironment registry{{"D3DXFileMemoryCeilingMB", "1"}};
    const base::ScopedEnvironment scoped(&registry);
    EXPECT_EQ(load(body).result, E_OUTOFMEMORY);
    EXPECT_EQ(load(meshText(kSquare, {{0, 1, 2}})).result, D3D_OK);
}

// What the fuzz targets found, each with the code its load must end with.
TEST_F(MeshLoader, FuzzFindingsLoadOrFailCleanly) {
    const std::map<std::string, HRESULT, std::less<>> expected = {
        // Frames doubling and crossing references: the walk stops at its object limit.
        {"slow_mixed_doubling_references.x", E_FAIL},
        // Eleven doubling frames, a frame naming itself, then doubling frames without meshes.
        {"slow_self_and_doubling_references.x", E_FAIL},
    };
    std::size_t seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(HALV_XFILE_CRASHERS)) {
        const std::string name = entry.path().filename().string();
        SCOPED_TRACE(name);
        const auto wanted = expected.find(name);
        ASSERT_NE(wanted, expected.end()) << "a finding without an expected result";
        ID3DXMesh* mesh = nullptr;
        ID3DXBuffer* materials = nullptr;
        const HRESULT hr =
            D3DXLoadMeshFromXA(entry.path().string().c_str(), D3DXMESH_SYSTEMMEM, mDevice.get(),
                               nullptr, &materials, nullptr, nullptr, &mesh);
        EXPECT_EQ(hr, wanted->second);
        EXPECT_EQ(mesh != nullptr, SUCCEEDED(hr));
        if (mesh != nullptr) {
            mesh->Release();
            materials->Release();
        }
        ++seen;
    }
    EXPECT_EQ(seen, expected.size());
}

class MeshSources : public MeshLoader {
protected:
    const std::string mText =
        xfileText(meshText(kSquare, {{0, 1, 2, 3}},
                           "MeshMaterialList { 1; 1; 0;; " +
                               materialText(1, 0, 0, 1, 0, textureText("red.png")) + "}\n"));

    static void expectSquare(HRESULT hr, ID3DXMesh* mesh, DWORD count) {
        ASSERT_EQ(hr, D3D_OK);
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->GetNumFaces(), 2u);
        EXPECT_EQ(mesh->GetNumVertices(), 4u);
        EXPECT_EQ(count, 1u);
    }
};

TEST_F(MeshSources, ResourceByNameAndType) {
    base::ResourceTable table;
    table.add(base::ResourceId::fromName(u"Data"), base::ResourceId::fromName(u"SQUARE"),
              std::as_bytes(std::span(mText.data(), mText.size())));
    base::ScopedResourceTable scope(&table);
    ComRef<ID3DXMesh> mesh;
    DWORD count = 0;
    const HRESULT hr = D3DXLoadMeshFromXResource(nullptr, "square", "DATA", 0x110, mDevice.get(),
                                                 nullptr, nullptr, nullptr, &count, mesh.put());
    expectSquare(hr, mesh.get(), count);
    ID3DXMesh* missing = nullptr;
    EXPECT_EQ(D3DXLoadMeshFromXResource(nullptr, "ROUND", "Data", 0x110, mDevice.get(), nullptr,
                                        nullptr, nullptr, nullptr, &missing),
              D3DXFERR_RESOURCENOTFOUND);
    EXPECT_EQ(D3DXLoadMeshFromXResource(nullptr, nullptr, "Data", 0x110, mDevice.get(), nullptr,
                                        nullptr, nullptr, nullptr, &missing),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadMeshFromXResource(nullptr, "SQUARE", nullptr, 0x110, mDevice.get(), nullptr,
                                        nullptr, nullptr, nullptr, &missing),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadMeshFromXResource(nullptr, "SQUARE", "Data", 0x110, mDevice.get(), nullptr,
                                        nullptr, nullptr, nullptr, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadMeshFromXResource(nullptr, "SQUARE", "Data", 0x110, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, &missing),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(missing, nullptr);
}

TEST_F(MeshSources, FilesByNarrowAndWideName) {
    const std::filesystem::path path =
        std::filesystem::path(testing::TempDir()) / "halv_mesh_sources_square.x";
    std::ofstream(path, std::ios::binary) << mText;
    ComRef<ID3DXMesh> narrow;
    DWORD count = 0;
    const HRESULT narrowResult = D3DXLoadMeshFromXA(path.c_str(), 0x110, mDevice.get(), nullptr,
                                                    nullptr, nullptr, &count, narrow.put());
    expectSquare(narrowResult, narrow.get(), count);
    ComRef<ID3DXMesh> wide;
    const std::u16string widePath = base::utf8ToUtf16(path.string());
    const HRESULT wideResult = D3DXLoadMeshFromXW(widePath.c_str(), 0x110, mDevice.get(), nullptr,
                                                  nullptr, nullptr, &count, wide.put());
    expectSquare(wideResult, wide.get(), count);
    std::filesystem::remove(path);
    ID3DXMesh* missing = nullptr;
    EXPECT_EQ(D3DXLoadMeshFromXA(path.c_str(), 0x110, mDevice.get(), nullptr, nullptr, nullptr,
                                 nullptr, &missing),
              D3DXFERR_FILENOTFOUND);
    EXPECT_EQ(D3DXLoadMeshFromXA(nullptr, 0x110, mDevice.get(), nullptr, nullptr, nullptr, nullptr,
                                 &missing),
              D3DERR_INVALIDCALL);
}

TEST_F(MeshSources, MemoryInEveryEncoding) {
    // The same square as binary tokens (32-bit floats) and as compressed text.
    BinaryWriter binary;
    binary.name("Mesh")
        .token(10)
        .integerList({4})
        .floatList({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0})
        .integerList({1, 4, 0, 1, 2, 3})
        .name("MeshMaterialList")
        .token(10)
        .integerList({1, 1, 0})
        .name("Material")
        .token(10)
        .floatList({1, 0, 0, 1, 0, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6})
        .name("TextureFilename")
        .token(10)
        .string("red.png")
        .token(20)
        .token(11)
        .token(11)
        .token(11)
        .token(11);
    const std::vector<std::byte> compressed = compressXFile(toBytes(mText), 64);
    for (const std::vector<std::byte>* file : {&binary.bytes(), &compressed}) {
        ComRef<ID3DXMesh> mesh;
        ComRef<ID3DXBuffer> materials;
        DWORD count = 0;
        const HRESULT hr = D3DXLoadMeshFromXInMemory(file->data(), static_cast<DWORD>(file->size()),
                                                     0x110, mDevice.get(), nullptr, materials.put(),
                                                     nullptr, &count, mesh.put());
        expectSquare(hr, mesh.get(), count);
        EXPECT_STREQ(
            static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer())->pTextureFilename,
            "red.png");
    }
    ID3DXMesh* mesh = nullptr;
    EXPECT_EQ(D3DXLoadMeshFromXInMemory(nullptr, 10, 0x110, mDevice.get(), nullptr, nullptr,
                                        nullptr, nullptr, &mesh),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadMeshFromXInMemory(mText.data(), 0, 0x110, mDevice.get(), nullptr, nullptr,
                                        nullptr, nullptr, &mesh),
              D3DERR_INVALIDCALL);
    // Options a mesh cannot be created with.
    EXPECT_EQ(D3DXLoadMeshFromXInMemory(mText.data(), static_cast<DWORD>(mText.size()),
                                        D3DXMESH_VB_SHARE, mDevice.get(), nullptr, nullptr, nullptr,
                                        nullptr, &mesh),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(mesh, nullptr);
}

} // namespace
} // namespace halv::xfile::fixtures
