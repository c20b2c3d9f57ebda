#include "gfx/device.h"
#include "gfx/device_factory.h"
#include "gfx/inspection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

namespace halv::gfx {
namespace {

using base::ComRef;
using testing::ElementsAre;
using testing::IsEmpty;

std::vector<std::string> texts(IDirect3DDevice9* device) {
    std::vector<std::string> result;
    for (const CallRecord& call : callLog(device)) {
        result.push_back(call.text());
    }
    return result;
}

TEST(CallLog, RecordsCallsWithNamedArguments) {
    DeviceSetup setup;
    setup.logCalls = true;
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(createNullDevice(setup, device.put()), D3D_OK);
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(
        device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.put(), nullptr),
        D3D_OK);
    ASSERT_EQ(clearCallLog(device.get()), D3D_OK);

    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_POINTSIZE, std::bit_cast<DWORD>(0.1f));
    device->SetRenderState(D3DRS_AMBIENT, 0x00101010);
    device->SetTexture(0, texture.get());
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000064, 1.0f, 0);
    // Refused calls are recorded too.
    device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(1), 0);

    EXPECT_THAT(
        texts(device.get()),
        ElementsAre(
            "SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE)", "SetRenderState(D3DRS_POINTSIZE, 0.1)",
            "SetRenderState(D3DRS_AMBIENT, 0x00101010)",
            "SetTexture(0, Texture#" + std::to_string(objectIdOf(texture.get())) + ")",
            "SetTexture(0, NULL)", "SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE)",
            "SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT)", "SetFVF(0x00000042)",
            "Clear(0, NULL, 0x00000003, 0xff000064, 1, 0)", "SetRenderState(1, 0)"));
    const std::vector<CallRecord> calls = callLog(device.get());
    EXPECT_EQ(calls[1].values[1], std::bit_cast<DWORD>(0.1f));
    EXPECT_EQ(calls[3].values[1], objectIdOf(texture.get()));
}

TEST(CallLog, OffByDefaultAndSwitchable) {
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(createNullDevice({}, device.put()), D3D_OK);
    device->BeginScene();
    EXPECT_THAT(callLog(device.get()), IsEmpty());
    ASSERT_EQ(setCallLogging(device.get(), true), D3D_OK);
    device->EndScene();
    device->Present(nullptr, nullptr, nullptr, nullptr);
    ASSERT_EQ(setCallLogging(device.get(), false), D3D_OK);
    device->BeginScene();
    EXPECT_THAT(texts(device.get()), ElementsAre("EndScene()", "Present(NULL, NULL, NULL, NULL)"));
    // Devices that are not ours have no log.
    EXPECT_EQ(setCallLogging(nullptr, true), D3DERR_INVALIDCALL);
}

TEST(CallLog, DrawsShowPrimitiveNamesAndMatrices) {
    DeviceSetup setup;
    setup.logCalls = true;
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(createNullDevice(setup, device.put()), D3D_OK);
    const D3DMATRIX translation = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, -2, -1, 10, 1}}};
    device->SetTransform(D3DTS_WORLD, &translation);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 218);
    const std::vector<std::string> recorded = texts(device.get());
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_EQ(recorded[0], "SetTransform(D3DTS_WORLD, [1 0 0 0 0 1 0 0 0 0 1 0 -2 -1 10 1])");
    EXPECT_EQ(recorded[1], "DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 218)");
}

// A pass in the scene's style: change states, draw, put them back.
void drawBeamLikePass(IDirect3DDevice9* device, bool forgetOne) {
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_COLORVERTEX, TRUE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    if (!forgetOne) {
        device->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    }
}

TEST(StateSnapshot, FindsWhatAPassLeavesBehind) {
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(createNullDevice({}, device.put()), D3D_OK);
    // The scene's base state has vertex colours off.
    device->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    DeviceStateSnapshot base;
    ASSERT_EQ(captureState(device.get(), &base), D3D_OK);

    drawBeamLikePass(device.get(), false);
    DeviceStateSnapshot after;
    ASSERT_EQ(captureState(device.get(), &after), D3D_OK);
    // DESTBLEND stays ONE: the scene leaves it (blending is off again).
    EXPECT_THAT(stateDifferences(base, after),
                ElementsAre("D3DRS_DESTBLEND: D3DBLEND_ZERO -> D3DBLEND_ONE"));

    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    drawBeamLikePass(device.get(), true);
    ASSERT_EQ(captureState(device.get(), &after), D3D_OK);
    EXPECT_THAT(stateDifferences(base, after),
                ElementsAre("D3DRS_DESTBLEND: D3DBLEND_ZERO -> D3DBLEND_ONE",
                            "D3DRS_COLORVERTEX: FALSE -> TRUE"));
}

TEST(StateSnapshot, CoversTransformsBindingsAndLights) {
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(createNullDevice({}, device.put()), D3D_OK);
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(
        device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.put(), nullptr),
        D3D_OK);
    DeviceStateSnapshot before;
    ASSERT_EQ(captureState(device.get(), &before), D3D_OK);
    D3DMATRIX view{};
    device->GetTransform(D3DTS_VIEW, &view);
    view._41 = 5;
    device->SetTransform(D3DTS_VIEW, &view);
    device->SetTexture(0, texture.get());
    device->LightEnable(0, TRUE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    DeviceStateSnapshot after;
    ASSERT_EQ(captureState(device.get(), &after), D3D_OK);
    const std::string id = std::to_string(objectIdOf(texture.get()));
    EXPECT_THAT(stateDifferences(before, after),
                ElementsAre("D3DSAMP_MINFILTER[0]: D3DTEXF_POINT -> D3DTEXF_LINEAR",
                            "D3DTSS_ALPHAOP[0]: D3DTOP_SELECTARG1 -> D3DTOP_DISABLE",
                            "D3DTS_VIEW: [1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1] -> "
                            "[1 0 0 0 0 1 0 0 0 0 1 0 5 0 0 1]",
                            "Light 0: none -> enabled type 3 diffuse (1, 1, 1, 0) direction (0, "
                            "0, 1)",
                            "SetTexture(0): NULL -> #" + id));
    EXPECT_THAT(stateDifferences(after, after), IsEmpty());
}

} // namespace
} // namespace halv::gfx
