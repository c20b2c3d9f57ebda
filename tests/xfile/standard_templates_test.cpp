// The three registered template sets: every template's name, GUID, members and restriction,
// the data layout of those the mesh loader reads, and the station-shaped model.
#include "tests/xfile/support/station_model_text.h"
#include "tests/xfile/support/xfile_test_support.h"
#include "xfile/standard_templates.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace halv::xfile::fixtures {
namespace {

using base::ComRef;
using detail::Restriction;

struct TemplateFacts {
    const char* name;
    GUID guid;
    std::size_t members;
    Restriction restriction;
    std::vector<const char*> allowed = {};
};

const TemplateFacts kTemplates[] = {
    {"Header", TID_D3DRMHeader, 3, Restriction::kClosed},
    {"Vector", TID_D3DRMVector, 3, Restriction::kClosed},
    {"Coords2d", TID_D3DRMCoords2d, 2, Restriction::kClosed},
    {"Matrix4x4", TID_D3DRMMatrix4x4, 1, Restriction::kClosed},
    {"ColorRGBA", TID_D3DRMColorRGBA, 4, Restriction::kClosed},
    {"ColorRGB", TID_D3DRMColorRGB, 3, Restriction::kClosed},
    {"IndexedColor", TID_D3DRMIndexedColor, 2, Restriction::kClosed},
    {"Boolean", TID_D3DRMBoolean, 1, Restriction::kClosed},
    {"Boolean2d", TID_D3DRMBoolean2d, 2, Restriction::kClosed},
    {"MaterialWrap", TID_D3DRMMaterialWrap, 2, Restriction::kClosed},
    {"TextureFilename", TID_D3DRMTextureFilename, 1, Restriction::kClosed},
    {"Material", TID_D3DRMMaterial, 4, Restriction::kOpen},
    {"MeshFace", TID_D3DRMMeshFace, 2, Restriction::kClosed},
    {"MeshFaceWraps", TID_D3DRMMeshFaceWraps, 2, Restriction::kClosed},
    {"MeshTextureCoords", TID_D3DRMMeshTextureCoords, 2, Restriction::kClosed},
    {"MeshMaterialList", TID_D3DRMMeshMaterialList, 3, Restriction::kRestricted, {"Material"}},
    {"MeshNormals", TID_D3DRMMeshNormals, 4, Restriction::kClosed},
    {"MeshVertexColors", TID_D3DRMMeshVertexColors, 2, Restriction::kClosed},
    {"Mesh", TID_D3DRMMesh, 4, Restriction::kOpen},
    {"FrameTransformMatrix", TID_D3DRMFrameTransformMatrix, 1, Restriction::kClosed},
    {"Frame", TID_D3DRMFrame, 0, Restriction::kOpen},
    {"FloatKeys", TID_D3DRMFloatKeys, 2, Restriction::kClosed},
    {"TimedFloatKeys", TID_D3DRMTimedFloatKeys, 2, Restriction::kClosed},
    {"AnimationKey", TID_D3DRMAnimationKey, 3, Restriction::kClosed},
    {"AnimationOptions", TID_D3DRMAnimationOptions, 2, Restriction::kClosed},
    {"Animation", TID_D3DRMAnimation, 0, Restriction::kOpen},
    {"AnimationSet", TID_D3DRMAnimationSet, 0, Restriction::kRestricted, {"Animation"}},
    {"InlineData", TID_D3DRMInlineData, 0, Restriction::kRestricted, {"BINARY"}},
    {"Url", TID_D3DRMUrl, 2, Restriction::kClosed},
    {"ProgressiveMesh",
     TID_D3DRMProgressiveMesh,
     0,
     Restriction::kRestricted,
     {"Url", "InlineData"}},
    {"Guid", TID_D3DRMGuid, 4, Restriction::kClosed},
    {"StringProperty", TID_D3DRMStringProperty, 2, Restriction::kClosed},
    {"PropertyBag", TID_D3DRMPropertyBag, 0, Restriction::kRestricted, {"StringProperty"}},
    {"ExternalVisual", TID_D3DRMExternalVisual, 1, Restriction::kOpen},
    {"RightHanded", TID_D3DRMRightHanded, 1, Restriction::kClosed},
    {"XSkinMeshHeader", DXFILEOBJ_XSkinMeshHeader, 3, Restriction::kClosed},
    {"VertexDuplicationIndices", DXFILEOBJ_VertexDuplicationIndices, 3, Restriction::kClosed},
    {"FaceAdjacency", DXFILEOBJ_FaceAdjacency, 2, Restriction::kClosed},
    {"SkinWeights", DXFILEOBJ_SkinWeights, 5, Restriction::kClosed},
    {"Patch", DXFILEOBJ_Patch, 2, Restriction::kClosed},
    {"PatchMesh", DXFILEOBJ_PatchMesh, 4, Restriction::kOpen},
    {"PatchMesh9", DXFILEOBJ_PatchMesh9, 7, Restriction::kOpen},
    {"EffectFloats", DXFILEOBJ_EffectFloats, 2, Restriction::kClosed},
    {"EffectString", DXFILEOBJ_EffectString, 1, Restriction::kClosed},
    {"EffectDWord", DXFILEOBJ_EffectDWord, 1, Restriction::kClosed},
    {"EffectParamFloats", DXFILEOBJ_EffectParamFloats, 3, Restriction::kClosed},
    {"EffectParamString", DXFILEOBJ_EffectParamString, 2, Restriction::kClosed},
    {"EffectParamDWord", DXFILEOBJ_EffectParamDWord, 2, Restriction::kClosed},
    {"EffectInstance", DXFILEOBJ_EffectInstance, 1, Restriction::kOpen},
    {"AnimTicksPerSecond", DXFILEOBJ_AnimTicksPerSecond, 1, Restriction::kClosed},
    {"CompressedAnimationSet", DXFILEOBJ_CompressedAnimationSet, 5, Restriction::kClosed},
    {"FVFData", DXFILEOBJ_FVFData, 3, Restriction::kClosed},
    {"VertexElement", DXFILEOBJ_VertexElement, 4, Restriction::kClosed},
    {"DeclData", DXFILEOBJ_DeclData, 4, Restriction::kClosed},
    {"PMAttributeRange", DXFILEOBJ_PMAttributeRange, 6, Restriction::kClosed},
    {"PMVSplitRecord", DXFILEOBJ_PMVSplitRecord, 3, Restriction::kClosed},
    {"PMInfo", DXFILEOBJ_PMInfo, 9, Restriction::kClosed},
};

TEST(StandardTemplates, DeclareEveryTemplateWithItsGuidAndRestriction) {
    const detail::TemplateRegistry& registry = standardRegistry();
    EXPECT_EQ(registry.entries().size(), std::size(kTemplates));
    EXPECT_EQ(standardTemplateName(GUID_NULL), nullptr);
    for (const TemplateFacts& facts : kTemplates) {
        SCOPED_TRACE(facts.name);
        const auto* found = registry.findByName(facts.name);
        ASSERT_NE(found, nullptr);
        const detail::XTemplate& templ = **found;
        EXPECT_EQ(templ.name, facts.name);
        EXPECT_EQ(templ.guid, facts.guid);
        EXPECT_STREQ(standardTemplateName(facts.guid), facts.name);
        EXPECT_EQ(templ.members.size(), facts.members);
        EXPECT_EQ(templ.restriction, facts.restriction);
        ASSERT_EQ(templ.allowed.size(), facts.allowed.size());
        for (std::size_t i = 0; i < facts.allowed.size(); ++i) {
            EXPECT_EQ(templ.allowed[i].name, facts.allowed[i]);
        }
    }
}

TEST(StandardTemplates, RegisterInOrderOnly) {
    // The skinning set builds on Vector and Matrix4x4 from the standard set.
    ComRef<ID3DXFile> reader = makeReader(false);
    const std::span<const std::byte> skin = skinAndEffectTemplates();
    EXPECT_EQ(reader->RegisterTemplates(skin.data(), skin.size()), D3DXFERR_PARSEERROR);
    EXPECT_EQ(registerStandardTemplates(nullptr), D3DXFERR_BADVALUE);
    EXPECT_EQ(registerStandardTemplates(reader.get()), S_OK);
}

struct RoundTrip {
    const char* name;
    const char* object;
    GUID type;
    std::vector<std::byte> data;
};

const RoundTrip kRoundTrips[] = {
    {"Mesh", "Mesh { 3; 0.0;0.0;0.0;, 1.0;0.0;0.0;, 0.0;1.0;0.0;; 1; 3;0,1,2;;; }", TID_D3DRMMesh,
     Packed()
         .dword(3)
         .single(0)
         .single(0)
         .single(0)
         .single(1)
         .single(0)
         .single(0)
         .single(0)
         .single(1)
         .single(0)
         .dword(1)
         .dword(3)
         .dword(0)
         .dword(1)
         .dword(2)
         .bytes()},
    {"MeshNormals", "MeshNormals { 1; 0.0;0.0;1.0;; 1; 3;0,0,0;;; }", TID_D3DRMMeshNormals,
     Packed()
         .dword(1)
         .single(0)
         .single(0)
         .single(1)
         .dword(1)
         .dword(3)
         .dword(0)
         .dword(0)
         .dword(0)
         .bytes()},
    {"MeshTextureCoords", "MeshTextureCoords { 2; 0.0;1.0;, 0.5;0.25;; }",
     TID_D3DRMMeshTextureCoords,
     Packed().dword(2).single(0).single(1).single(0.5f).single(0.25f).bytes()},
    {"MeshVertexColors", "MeshVertexColors { 1; 0; 1.0;0.5;0.25;1.0;;; }",
     TID_D3DRMMeshVertexColors,
     Packed().dword(1).dword(0).single(1).single(0.5f).single(0.25f).single(1).bytes()},
    {"MeshMaterialList", "MeshMaterialList { 2; 3; 0, 1, 1;; }", TID_D3DRMMeshMaterialList,
     Packed().dword(2).dword(3).dword(0).dword(1).dword(1).bytes()},
    {"Material", "Material { 1.0;0.5;0.25;1.0;; 8.0; 0.1;0.2;0.3;; 0.0;0.0;0.0;; }",
     TID_D3DRMMaterial,
     Packed()
         .single(1)
         .single(0.5f)
         .single(0.25f)
         .single(1)
         .single(8)
         .single(0.1f)
         .single(0.2f)
         .single(0.3f)
         .single(0)
         .single(0)
         .single(0)
         .bytes()},
    {"TextureFilename", "TextureFilename { \"tex\\\\hull.png\"; }", TID_D3DRMTextureFilename,
     Packed().text("tex\\hull.png").bytes()},
    {"FrameTransformMatrix",
     "FrameTransformMatrix { 2.0,0,0,0, 0,2.0,0,0, 0,0,2.0,0, 1.0,2.0,3.0,1.0;;; }",
     TID_D3DRMFrameTransformMatrix,
     Packed()
         .single(2)
         .dword(0)
         .dword(0)
         .dword(0)
         .dword(0)
         .single(2)
         .dword(0)
         .dword(0)
         .dword(0)
         .dword(0)
         .single(2)
         .dword(0)
         .single(1)
         .single(2)
         .single(3)
         .single(1)
         .bytes()},
    {"Frame", "Frame { }", TID_D3DRMFrame, {}},
    {"VertexDuplicationIndices", "VertexDuplicationIndices { 3; 2; 0, 1, 0; }",
     DXFILEOBJ_VertexDuplicationIndices,
     Packed().dword(3).dword(2).dword(0).dword(1).dword(0).bytes()},
    {"FaceAdjacency", "FaceAdjacency { 3; 4294967295, 1, 2; }", DXFILEOBJ_FaceAdjacency,
     Packed().dword(3).dword(0x7FFFFFFF).dword(1).dword(2).bytes()},
    {"VertexElement", "VertexElement { 2; 0; 6; 0; }", DXFILEOBJ_VertexElement,
     Packed().dword(2).dword(0).dword(6).dword(0).bytes()},
    {"DeclData", "DeclData { 1; 2;0;6;0;; 3; 1065353216, 0, 0; }", DXFILEOBJ_DeclData,
     Packed()
         .dword(1)
         .dword(2)
         .dword(0)
         .dword(6)
         .dword(0)
         .dword(3)
         .dword(0x3F800000)
         .dword(0)
         .dword(0)
         .bytes()},
    {"FVFData", "FVFData { 258; 2; 1, 2; }", DXFILEOBJ_FVFData,
     Packed().dword(258).dword(2).dword(1).dword(2).bytes()},
    {"EffectInstance", "EffectInstance { \"glow.fx\"; }", DXFILEOBJ_EffectInstance,
     Packed().text("glow.fx").bytes()},
    {"EffectParamFloats", "EffectParamFloats { \"Diffuse\"; 2; 0.5, 1.0; }",
     DXFILEOBJ_EffectParamFloats, Packed().text("Diffuse").dword(2).single(0.5f).single(1).bytes()},
    {"EffectParamString", "EffectParamString { \"Texture\"; \"hull.png\"; }",
     DXFILEOBJ_EffectParamString, Packed().text("Texture").text("hull.png").bytes()},
    {"EffectParamDWord", "EffectParamDWord { \"Passes\"; 3; }", DXFILEOBJ_EffectParamDWord,
     Packed().text("Passes").dword(3).bytes()},
    {"SkinWeights",
     "SkinWeights { \"Bone\"; 2; 0, 1; 0.25, 0.75; 1.0,0,0,0, 0,1.0,0,0, 0,0,1.0,0, 0,0,0,1.0;;; }",
     DXFILEOBJ_SkinWeights,
     Packed()
         .text("Bone")
         .dword(2)
         .dword(0)
         .dword(1)
         .single(0.25f)
         .single(0.75f)
         .single(1)
         .dword(0)
         .dword(0)
         .dword(0)
         .dword(0)
         .single(1)
         .dword(0)
         .dword(0)
         .dword(0)
         .dword(0)
         .single(1)
         .dword(0)
         .dword(0)
         .dword(0)
         .dword(0)
         .single(1)
         .bytes()},
    {"XSkinMeshHeader", "XSkinMeshHeader { 4; 12; 30; }", DXFILEOBJ_XSkinMeshHeader,
     Packed().word(4).word(12).word(30).bytes()},
};

class LoaderTemplates : public testing::TestWithParam<RoundTrip> {};

TEST_P(LoaderTemplates, RoundTrip) {
    const RoundTrip& c = GetParam();
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed;
    ASSERT_EQ(parseText(reader.get(), std::string("xof 0303txt 0032\n") + c.object, &parsed), S_OK);
    ComRef<ID3DXFileData> object = child(parsed.get(), 0);
    ASSERT_TRUE(object);
    EXPECT_EQ(typeOf(object.get()), c.type);
    EXPECT_EQ(dataOf(object.get()), c.data);
}

INSTANTIATE_TEST_SUITE_P(Xfile, LoaderTemplates, testing::ValuesIn(kRoundTrips),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

std::uint32_t firstDword(ID3DXFileData* object) {
    const std::vector<std::byte> data = dataOf(object);
    std::uint32_t value = 0;
    if (data.size() >= 4) {
        std::memcpy(&value, data.data(), 4);
    }
    return value;
}

TEST(StationModel, ParsesIntoTheFramesMeshAndMaterials) {
    StationModelCounts counts;
    const std::string text = makeStationModelText({}, &counts);
    EXPECT_EQ(counts.vertices, 2501u);
    EXPECT_EQ(counts.triangles, 4300u);

    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed;
    ASSERT_EQ(parseText(reader.get(), text, &parsed), S_OK);
    SIZE_T count = 0;
    parsed->GetChildren(&count);
    ASSERT_EQ(count, 1u);

    // DXCC_ROOT > Fbx_Root > Halvorine_Body > polySurfaceShape1, each a transform first.
    ComRef<ID3DXFileData> frame = child(parsed.get(), 0);
    for (const char* name : {"DXCC_ROOT", "Fbx_Root", "Halvorine_Body", "polySurfaceShape1"}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(frame);
        EXPECT_EQ(nameOf(frame.get()), name);
        EXPECT_EQ(typeOf(frame.get()), TID_D3DRMFrame);
        EXPECT_EQ(typeOf(child(frame.get(), 0).get()), TID_D3DRMFrameTransformMatrix);
        EXPECT_EQ(dataOf(child(frame.get(), 0).get()).size(), 64u);
        frame = child(frame.get(), 1);
    }
    ComRef<ID3DXFileData> mesh = std::move(frame);
    ASSERT_TRUE(mesh);
    EXPECT_EQ(typeOf(mesh.get()), TID_D3DRMMesh);
    EXPECT_EQ(firstDword(mesh.get()), counts.vertices);
    EXPECT_EQ(dataOf(mesh.get()).size(), 4 + 12 * counts.vertices + 4 + 16 * counts.triangles);

    const GUID parts[] = {TID_D3DRMMeshNormals,      TID_D3DRMMeshTextureCoords,
                          TID_D3DRMMeshVertexColors, DXFILEOBJ_VertexDuplicationIndices,
                          DXFILEOBJ_DeclData,        TID_D3DRMMeshMaterialList};
    mesh->GetChildren(&count);
    ASSERT_EQ(count, std::size(parts));
    for (SIZE_T i = 0; i < count; ++i) {
        EXPECT_EQ(typeOf(child(mesh.get(), i).get()), parts[i]);
    }
    EXPECT_EQ(dataOf(child(mesh.get(), 2).get()).size(), 4 + 20 * counts.vertices);
    EXPECT_EQ(dataOf(child(mesh.get(), 4).get()).size(), 4 + 2 * 16 + 4 + 24 * counts.vertices);

    ComRef<ID3DXFileData> materials = child(mesh.get(), 5);
    const std::vector<std::byte> list = dataOf(materials.get());
    ASSERT_EQ(list.size(), 8 + 4 * counts.triangles);
    std::size_t material1 = 0;
    for (std::size_t i = 0; i < counts.triangles; ++i) {
        material1 += std::to_integer<int>(list[8 + 4 * i]) == 1 ? 1 : 0;
    }
    EXPECT_EQ(material1, counts.material1Faces);
    materials->GetChildren(&count);
    ASSERT_EQ(count, 3u);
    const char* textures[] = {"150", "151", ""};
    for (SIZE_T i = 0; i < count; ++i) {
        ComRef<ID3DXFileData> material = child(materials.get(), i);
        EXPECT_EQ(typeOf(material.get()), TID_D3DRMMaterial);
        EXPECT_EQ(dataOf(child(material.get(), 0).get()), Packed().text(textures[i]).bytes());
    }
}

} // namespace
} // namespace halv::xfile::fixtures
