#include "base/message_box.h"
#include "base/resources.h"
#include "gfx/device_factory.h"
#include "gfx/inspection.h"
#include "model/model_object.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace halv::model {
namespace {

using base::ComRef;
using testing::ElementsAre;

const D3DXVECTOR3 kStationPosition(9.5f, 3.5f, 38.8f);
const D3DXVECTOR3 kStationRotation(0.5f, 0.0f, 0.0f);

UINT topLevelWidth(IDirect3DTexture9* texture) {
    D3DSURFACE_DESC desc{};
    return texture != nullptr && SUCCEEDED(texture->GetLevelDesc(0, &desc)) ? desc.Width : 0;
}

std::string materialText(const std::string& textureName) {
    return "Material { 1.0;0.5;0.25;1.0;; 5.0; 0.1;0.2;0.3;; 0.0;0.0;0.0;; TextureFilename { \"" +
           textureName + "\"; } }\n";
}

// A square of two triangles per material, each material naming `textureNames[i]`.
std::string modelText(const std::vector<std::string>& textureNames) {
    const std::size_t count = textureNames.size();
    std::string text = "xof 0303txt 0032\nMesh {\n4;\n0.0;0.0;0.0;,\n1.0;0.0;0.0;,\n"
                       "1.0;1.0;0.0;,\n0.0;1.0;0.0;;\n" +
                       std::to_string(count) + ";\n";
    std::string faces;
    std::string faceMaterials;
    for (std::size_t i = 0; i < count; ++i) {
        faces += std::string(i == 0 ? "" : ",\n") + "3;0,1,2;";
        faceMaterials += std::string(i == 0 ? "" : ",") + std::to_string(i);
    }
    text += faces + ";\nMeshMaterialList {\n" + std::to_string(count) + ";\n" +
            std::to_string(count) + ";\n" + faceMaterials + ";;\n";
    for (const std::string& name : textureNames) {
        text += materialText(name);
    }
    return text + "}\n}\n";
}

class ModelObjectTest : public testing::Test {
protected:
    void SetUp() override {
        gfx::DeviceSetup setup;
        setup.logCalls = true;
        ASSERT_EQ(gfx::createNullDevice(setup, mDevice.put()), D3D_OK);
    }

    ComRef<IDirect3DDevice9> mDevice;
    base::ScopedMessageBoxCapture mMessages;
};

TEST_F(ModelObjectTest, StationLoadsWithATexturePerUsedMaterial) {
    ModelObject model;
    ASSERT_EQ(model.load(mDevice.get(), u"VORNK", u"", 0, false), S_OK);
    ASSERT_EQ(model.materialCount(), 3u);
    EXPECT_NE(model.mesh(), nullptr);
    for (DWORD i = 0; i < model.materialCount(); ++i) {
        SCOPED_TRACE(i);
        const D3DMATERIAL9& material = model.material(i);
        EXPECT_EQ(material.Ambient.r, material.Diffuse.r);
        EXPECT_EQ(material.Ambient.g, material.Diffuse.g);
        EXPECT_EQ(material.Ambient.b, material.Diffuse.b);
        EXPECT_EQ(material.Ambient.a, material.Diffuse.a);
    }
    // Resources 150 (512 square) and 151 (256 square); the third name is empty.
    EXPECT_EQ(topLevelWidth(model.texture(0)), 512u);
    EXPECT_EQ(topLevelWidth(model.texture(1)), 256u);
    EXPECT_EQ(model.texture(2), nullptr);
    EXPECT_TRUE(mMessages.shown().empty());
}

TEST_F(ModelObjectTest, OverrideGivesEveryTexturedMaterialTheSameImage) {
    ModelObject model;
    ASSERT_EQ(model.load(mDevice.get(), u"VORNK", u"", 153, true), S_OK);
    EXPECT_EQ(topLevelWidth(model.texture(0)), 8u);
    EXPECT_EQ(topLevelWidth(model.texture(1)), 8u);
    EXPECT_EQ(model.texture(2), nullptr);
    EXPECT_TRUE(mMessages.shown().empty());
}

TEST_F(ModelObjectTest, DrawSetsEachMaterialAndTextureBeforeItsSubset) {
    ModelObject model;
    ASSERT_EQ(model.load(mDevice.get(), u"VORNK", u"", 0, false), S_OK);
    ASSERT_EQ(gfx::clearCallLog(mDevice.get()), D3D_OK);
    model.draw(mDevice.get());

    std::vector<std::string> calls;
    for (const gfx::CallRecord& call : gfx::callLog(mDevice.get())) {
        if (call.method == "SetMaterial" || call.method == "DrawIndexedPrimitive") {
            calls.push_back(call.method);
        } else if (call.method == "SetTexture") {
            calls.push_back(call.text());
        }
    }
    const std::string first = "SetTexture(0, " + gfx::objectName(model.texture(0)) + ")";
    const std::string second = "SetTexture(0, " + gfx::objectName(model.texture(1)) + ")";
    // The third material has no faces, so its subset draws nothing.
    EXPECT_THAT(calls,
                ElementsAre("SetMaterial", first, "DrawIndexedPrimitive", "SetMaterial", second,
                            "DrawIndexedPrimitive", "SetMaterial", "SetTexture(0, NULL)"));
}

TEST_F(ModelObjectTest, PlacementTurnsAboutYThenMoves) {
    ModelObject model;
    model.setPlacement(kStationPosition, kStationRotation);
    D3DXVECTOR3 alongX(1.0f, 0.0f, 0.0f);
    D3DXVECTOR3 moved;
    D3DXVec3TransformCoord(&moved, &alongX, &model.world());
    EXPECT_NEAR(moved.x, 9.5f + std::cos(0.5f), 1e-5);
    EXPECT_NEAR(moved.y, 3.5f, 1e-5);
    EXPECT_NEAR(moved.z, 38.8f - std::sin(0.5f), 1e-5);
    EXPECT_EQ(model.position().z, 38.8f);
    EXPECT_EQ(model.rotation().x, 0.5f);
}

TEST_F(ModelObjectTest, StationSitsAtItsPlaceWithTheEmitterUnderTheCone) {
    ModelObject model;
    ASSERT_EQ(model.load(mDevice.get(), u"VORNK", u"", 0, false), S_OK);
    model.setPlacement(kStationPosition, kStationRotation);

    ID3DXMesh* mesh = model.mesh();
    void* bytes = nullptr;
    ASSERT_EQ(mesh->LockVertexBuffer(D3DLOCK_READONLY, &bytes), D3D_OK);
    const DWORD stride = mesh->GetNumBytesPerVertex();
    // Where the firing cone's wide base sits, seen from the station's centre.
    const D3DXVECTOR3 coneBase(9.16f, 3.85f, 38.19f);
    D3DXVECTOR3 towardsCone = coneBase - kStationPosition;
    D3DXVec3Normalize(&towardsCone, &towardsCone);

    float farthest = 0.0f;
    float deepestUnderCone = 10.0f;
    float highestUnderCone = 0.0f;
    for (DWORD i = 0; i < mesh->GetNumVertices(); ++i) {
        D3DXVECTOR3 local;
        std::memcpy(&local, static_cast<const BYTE*>(bytes) + i * stride, sizeof local);
        D3DXVECTOR3 world;
        D3DXVec3TransformCoord(&world, &local, &model.world());
        const D3DXVECTOR3 offset = world - kStationPosition;
        const float distance = D3DXVec3Length(&offset);
        farthest = std::max(farthest, distance);
        if (D3DXVec3Dot(&offset, &towardsCone) > distance * std::cos(0.1f)) {
            deepestUnderCone = std::min(deepestUnderCone, distance);
            highestUnderCone = std::max(highestUnderCone, distance);
        }
    }
    mesh->UnlockVertexBuffer();
    EXPECT_GE(farthest, 1.0f);
    EXPECT_LE(farthest, 1.1f);
    // Straight under the cone's base the hull gives way to the recess floor, 0.78 out.
    EXPECT_NEAR(deepestUnderCone, 0.78f, 0.05f);
    EXPECT_NEAR(highestUnderCone, 0.78f, 0.05f);
}

TEST_F(ModelObjectTest, MissingModelShowsItsMessageAndStaysEmpty) {
    base::ResourceTable empty;
    base::ScopedResourceTable scope(&empty);
    ModelObject model;
    EXPECT_EQ(model.load(mDevice.get(), u"VORNK", u"", 0, false), E_FAIL);
    ASSERT_EQ(mMessages.shown().size(), 1u);
    EXPECT_EQ(mMessages.shown()[0].text, u"Could not find .x");
    EXPECT_EQ(mMessages.shown()[0].caption, u"Information");
    EXPECT_EQ(mMessages.shown()[0].type, MB_OK);
    EXPECT_EQ(model.mesh(), nullptr);
    EXPECT_EQ(model.materialCount(), 0u);

    ASSERT_EQ(gfx::clearCallLog(mDevice.get()), D3D_OK);
    model.draw(mDevice.get());
    EXPECT_TRUE(gfx::callLog(mDevice.get()).empty());
}

// A model of its own in a resource table that also holds the real image 151 and a PNG
// resource 7 whose bytes are no image.
class FixtureModel : public ModelObjectTest {
protected:
    void load(const std::vector<std::string>& textureNames, LPCWSTR prefix, int overrideNumber,
              bool useOverride) {
        mText = modelText(textureNames);
        mTable.add(base::ResourceId::fromName(u"Data"), base::ResourceId::fromName(u"FIX"),
                   std::as_bytes(std::span(mText.data(), mText.size())));
        const base::ResourceEntry* real = base::embeddedResources().find(
            base::ResourceId::fromName(u"PNG"), base::ResourceId::fromNumber(151));
        ASSERT_NE(real, nullptr);
        mTable.add(base::ResourceId::fromName(u"PNG"), base::ResourceId::fromNumber(151),
                   real->data);
        mTable.add(base::ResourceId::fromName(u"PNG"), base::ResourceId::fromNumber(7),
                   std::as_bytes(std::span(kNotAnImage, sizeof kNotAnImage - 1)));
        base::ScopedResourceTable scope(&mTable);
        ASSERT_EQ(mModel.load(mDevice.get(), u"FIX", prefix, overrideNumber, useOverride), S_OK);
    }

    std::vector<std::u16string> captions() const {
        std::vector<std::u16string> result;
        for (const base::MessageBoxRequest& request : mMessages.shown()) {
            EXPECT_EQ(request.text, u"Could not find texture map");
            result.push_back(request.caption);
        }
        return result;
    }

    static constexpr char kNotAnImage[] = "GIF89a, or so it says";
    std::string mText;
    base::ResourceTable mTable;
    ModelObject mModel;
};

TEST_F(FixtureModel, TextureNamesAreResourceNumbers) {
    load({"wood.png", "151", "", "7", "151.png"}, u"Station: ", 0, false);
    ASSERT_EQ(mModel.materialCount(), 5u);
    // "wood.png" reads as 0, which names no resource; "7" is no image.
    EXPECT_EQ(mModel.texture(0), nullptr);
    EXPECT_EQ(topLevelWidth(mModel.texture(1)), 256u);
    EXPECT_EQ(mModel.texture(2), nullptr);
    EXPECT_EQ(mModel.texture(3), nullptr);
    EXPECT_EQ(topLevelWidth(mModel.texture(4)), 256u);
    EXPECT_THAT(captions(), ElementsAre(u"Station: wood.png", u"Station: 7"));
    // The file's ambient colour gives way to the diffuse one.
    EXPECT_EQ(mModel.material(0).Ambient.g, 0.5f);
}

TEST_F(FixtureModel, OverrideSkipsMaterialsWithoutATextureName) {
    load({"wood.png", ""}, u"", 151, true);
    EXPECT_EQ(topLevelWidth(mModel.texture(0)), 256u);
    EXPECT_EQ(mModel.texture(1), nullptr);
    EXPECT_TRUE(mMessages.shown().empty());
}

TEST_F(FixtureModel, OverlongNamesAreCutToTheBuffers) {
    const std::string tail(300, 'x');
    load({"151" + tail, "9" + tail}, u"Prefix ", 0, false);
    EXPECT_EQ(topLevelWidth(mModel.texture(0)), 256u);
    EXPECT_EQ(mModel.texture(1), nullptr);
    const std::vector<std::u16string> shown = captions();
    ASSERT_EQ(shown.size(), 1u);
    // 256 characters of caption: the prefix and the start of the name.
    EXPECT_EQ(shown[0].size(), 256u);
    EXPECT_EQ(shown[0].substr(0, 8), u"Prefix 9");
}

} // namespace
} // namespace halv::model
