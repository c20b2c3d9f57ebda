#include "gfx/device.h"
#include "gfx/device_factory.h"
#include "gfx/inspection.h"

#include <gtest/gtest.h>

#include <bit>

namespace halv::gfx {
namespace {

using base::ComRef;

ComRef<IDirect3DDevice9> makeNullDevice(DeviceSetup setup = {}) {
    ComRef<IDirect3DDevice9> device;
    EXPECT_EQ(createNullDevice(setup, device.put()), D3D_OK);
    return device;
}

D3DPRESENT_PARAMETERS windowedParameters() {
    D3DPRESENT_PARAMETERS parameters{};
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    parameters.EnableAutoDepthStencil = TRUE;
    parameters.AutoDepthStencilFormat = D3DFMT_D16;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    return parameters;
}

TEST(Direct3DCreate9, AcceptsOnlyPublishedSdkVersions) {
    ScopedDirect3DOptions options({RendererKind::kNull, std::nullopt, false});
    ComRef<IDirect3D9> current(Direct3DCreate9(D3D_SDK_VERSION));
    EXPECT_TRUE(current);
    ComRef<IDirect3D9> older(Direct3DCreate9(D3D9b_SDK_VERSION));
    EXPECT_TRUE(older);
    EXPECT_EQ(Direct3DCreate9(33), nullptr);
    EXPECT_EQ(Direct3DCreate9(0), nullptr);
}

TEST(CreateDevice, FillsInWhatWindowedParametersLeaveOpen) {
    ComRef<IDirect3D9> d3d(createDirect3D({RendererKind::kNull, std::nullopt, false}));
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    D3DPRESENT_PARAMETERS parameters = windowedParameters();
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters, device.put()),
              D3D_OK);
    // No window to take a size from: the fallback size; the display's format; one buffer.
    EXPECT_EQ(parameters.BackBufferWidth, 640u);
    EXPECT_EQ(parameters.BackBufferHeight, 480u);
    EXPECT_EQ(parameters.BackBufferFormat, mode.Format);
    EXPECT_EQ(parameters.BackBufferCount, 1u);

    D3DVIEWPORT9 viewport{};
    ASSERT_EQ(device->GetViewport(&viewport), D3D_OK);
    EXPECT_EQ(viewport.Width, 640u);
    EXPECT_EQ(viewport.Height, 480u);
    EXPECT_EQ(viewport.MaxZ, 1.0f);

    D3DDEVICE_CREATION_PARAMETERS creation{};
    ASSERT_EQ(device->GetCreationParameters(&creation), D3D_OK);
    EXPECT_EQ(creation.BehaviorFlags, D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    EXPECT_EQ(creation.DeviceType, D3DDEVTYPE_HAL);

    ComRef<IDirect3D9> owner;
    ASSERT_EQ(device->GetDirect3D(owner.put()), D3D_OK);
    EXPECT_EQ(owner.get(), d3d.get());
}

struct BadParameters {
    const char* name;
    void (*change)(D3DPRESENT_PARAMETERS*, DWORD*);
    HRESULT expected;
};

const BadParameters kBadParameters[] = {
    {"NoVertexProcessingFlag", [](D3DPRESENT_PARAMETERS*, DWORD* flags) { *flags = 0; },
     D3DERR_INVALIDCALL},
    {"TwoVertexProcessingFlags",
     [](D3DPRESENT_PARAMETERS*, DWORD* flags) {
         *flags = D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING;
     },
     D3DERR_INVALIDCALL},
    {"RefreshRateWhenWindowed",
     [](D3DPRESENT_PARAMETERS* p, DWORD*) { p->FullScreen_RefreshRateInHz = 60; },
     D3DERR_INVALIDCALL},
    {"MultisampleWithFlip",
     [](D3DPRESENT_PARAMETERS* p, DWORD*) {
         p->MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
         p->SwapEffect = D3DSWAPEFFECT_FLIP;
     },
     D3DERR_INVALIDCALL},
    {"UnsupportedSampleCount",
     [](D3DPRESENT_PARAMETERS* p, DWORD*) { p->MultiSampleType = D3DMULTISAMPLE_3_SAMPLES; },
     D3DERR_INVALIDCALL},
    {"CopyWithTwoBuffers",
     [](D3DPRESENT_PARAMETERS* p, DWORD*) {
         p->SwapEffect = D3DSWAPEFFECT_COPY;
         p->BackBufferCount = 2;
     },
     D3DERR_INVALIDCALL},
    {"FullScreenWithoutSize", [](D3DPRESENT_PARAMETERS* p, DWORD*) { p->Windowed = FALSE; },
     D3DERR_INVALIDCALL},
    {"DepthFormatNotDepth",
     [](D3DPRESENT_PARAMETERS* p, DWORD*) { p->AutoDepthStencilFormat = D3DFMT_A8R8G8B8; },
     D3DERR_INVALIDCALL},
    {"SixteenBitBackBuffer",
     [](D3DPRESENT_PARAMETERS* p, DWORD*) { p->BackBufferFormat = D3DFMT_R5G6B5; },
     D3DERR_NOTAVAILABLE},
    {"TwoFramesInterval",
     [](D3DPRESENT_PARAMETERS* p, DWORD*) { p->PresentationInterval = D3DPRESENT_INTERVAL_TWO; },
     D3DERR_INVALIDCALL},
};

class CreateDeviceRejects : public testing::TestWithParam<BadParameters> {};

TEST_P(CreateDeviceRejects, AndWritesNoDevice) {
    ComRef<IDirect3D9> d3d(createDirect3D({RendererKind::kNull, std::nullopt, false}));
    D3DPRESENT_PARAMETERS parameters = windowedParameters();
    DWORD flags = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    GetParam().change(&parameters, &flags);
    const D3DPRESENT_PARAMETERS before = parameters;
    auto* sentinel = reinterpret_cast<IDirect3DDevice9*>(0x1234);
    IDirect3DDevice9* device = sentinel;
    EXPECT_EQ(
        d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, flags, &parameters, &device),
        GetParam().expected);
    EXPECT_EQ(device, sentinel);
    EXPECT_EQ(parameters.BackBufferWidth, before.BackBufferWidth);
}

INSTANTIATE_TEST_SUITE_P(Gfx, CreateDeviceRejects, testing::ValuesIn(kBadParameters),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(CreateDevice, AdapterAndDeviceTypeChecks) {
    ComRef<IDirect3D9> d3d(createDirect3D({RendererKind::kNull, std::nullopt, false}));
    D3DPRESENT_PARAMETERS parameters = windowedParameters();
    ComRef<IDirect3DDevice9> device;
    EXPECT_EQ(d3d->CreateDevice(1, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                &parameters, device.put()),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_REF, nullptr,
                                D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, device.put()),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                D3DCREATE_HARDWARE_VERTEXPROCESSING, nullptr, device.put()),
              D3DERR_INVALIDCALL);
    EXPECT_FALSE(device);
}

struct StateDefault {
    D3DRENDERSTATETYPE state;
    DWORD value;
};

TEST(NullDevice, RenderStatesStartAtPublishedDefaults) {
    auto device = makeNullDevice();
    const StateDefault kDefaults[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE}, // the device has an automatic depth buffer
        {D3DRS_FILLMODE, D3DFILL_SOLID},
        {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
        {D3DRS_ZWRITEENABLE, TRUE},
        {D3DRS_ALPHATESTENABLE, FALSE},
        {D3DRS_SRCBLEND, D3DBLEND_ONE},
        {D3DRS_DESTBLEND, D3DBLEND_ZERO},
        {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_ALPHAREF, 0},
        {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS},
        {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_LIGHTING, TRUE},
        {D3DRS_AMBIENT, 0},
        {D3DRS_COLORVERTEX, TRUE},
        {D3DRS_NORMALIZENORMALS, FALSE},
        {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1},
        {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2},
        {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL},
        {D3DRS_POINTSIZE, std::bit_cast<DWORD>(1.0f)},
        {D3DRS_POINTSIZE_MIN, std::bit_cast<DWORD>(1.0f)},
        {D3DRS_POINTSIZE_MAX, std::bit_cast<DWORD>(64.0f)},
        {D3DRS_POINTSPRITEENABLE, FALSE},
        {D3DRS_POINTSCALEENABLE, FALSE},
        {D3DRS_POINTSCALE_A, std::bit_cast<DWORD>(1.0f)},
        {D3DRS_POINTSCALE_B, 0},
        {D3DRS_POINTSCALE_C, 0},
        {D3DRS_BLENDOP, D3DBLENDOP_ADD},
        {D3DRS_COLORWRITEENABLE, 0xF},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
        {D3DRS_STENCILMASK, 0xFFFFFFFF},
        {D3DRS_FOGEND, std::bit_cast<DWORD>(1.0f)},
        {D3DRS_MULTISAMPLEANTIALIAS, TRUE},
        {D3DRS_DESTBLENDALPHA, D3DBLEND_ZERO},
    };
    for (const StateDefault& expected : kDefaults) {
        SCOPED_TRACE(expected.state);
        DWORD value = 0xDEADBEEF;
        ASSERT_EQ(device->GetRenderState(expected.state, &value), D3D_OK);
        EXPECT_EQ(value, expected.value);
    }
}

TEST(NullDevice, ZEnableFollowsTheAutomaticDepthBuffer) {
    DeviceSetup setup;
    setup.depthBuffer = false;
    auto device = makeNullDevice(setup);
    DWORD value = 1;
    ASSERT_EQ(device->GetRenderState(D3DRS_ZENABLE, &value), D3D_OK);
    EXPECT_EQ(value, static_cast<DWORD>(D3DZB_FALSE));
    // Nothing to clear either.
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    ComRef<IDirect3DSurface9> depth;
    EXPECT_EQ(device->GetDepthStencilSurface(depth.put()), D3DERR_NOTFOUND);
}

TEST(NullDevice, StageSamplerAndTransformDefaults) {
    auto device = makeNullDevice();
    struct StageDefault {
        DWORD stage;
        D3DTEXTURESTAGESTATETYPE type;
        DWORD value;
    };
    const StageDefault kStages[] = {
        {0, D3DTSS_COLOROP, D3DTOP_MODULATE}, {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
        {0, D3DTSS_COLORARG2, D3DTA_CURRENT}, {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
        {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE}, {1, D3DTSS_COLOROP, D3DTOP_DISABLE},
        {1, D3DTSS_ALPHAOP, D3DTOP_DISABLE},  {3, D3DTSS_TEXCOORDINDEX, 3},
        {7, D3DTSS_CONSTANT, 0xFFFFFFFF},
    };
    for (const StageDefault& expected : kStages) {
        SCOPED_TRACE(testing::Message() << "stage " << expected.stage << " type " << expected.type);
        DWORD value = 0xDEADBEEF;
        ASSERT_EQ(device->GetTextureStageState(expected.stage, expected.type, &value), D3D_OK);
        EXPECT_EQ(value, expected.value);
    }
    DWORD value = 0;
    ASSERT_EQ(device->GetSamplerState(0, D3DSAMP_ADDRESSU, &value), D3D_OK);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTADDRESS_WRAP));
    ASSERT_EQ(device->GetSamplerState(D3DVERTEXTEXTURESAMPLER3, D3DSAMP_MINFILTER, &value), D3D_OK);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_POINT));
    ASSERT_EQ(device->GetSamplerState(0, D3DSAMP_MIPFILTER, &value), D3D_OK);
    EXPECT_EQ(value, static_cast<DWORD>(D3DTEXF_NONE));

    for (const D3DTRANSFORMSTATETYPE transform :
         {D3DTS_WORLD, D3DTS_VIEW, D3DTS_PROJECTION, D3DTS_TEXTURE7, D3DTS_WORLDMATRIX(255)}) {
        D3DMATRIX matrix{};
        ASSERT_EQ(device->GetTransform(transform, &matrix), D3D_OK);
        for (int i = 0; i < 4; ++i) {
            for (int j = 0; j < 4; ++j) {
                EXPECT_EQ(matrix.m[i][j], i == j ? 1.0f : 0.0f);
            }
        }
    }
    D3DMATERIAL9 material;
    material.Power = 5;
    ASSERT_EQ(device->GetMaterial(&material), D3D_OK);
    EXPECT_EQ(material.Diffuse.r, 0.0f);
    EXPECT_EQ(material.Power, 0.0f);
}

TEST(NullDevice, InvalidStateNumbersAreRejected) {
    auto device = makeNullDevice();
    DWORD value = 0;
    EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(10), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(210), 1), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetRenderState(D3DRS_ZENABLE, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_MODULATE), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTextureStageState(0, static_cast<D3DTEXTURESTAGESTATETYPE>(13), 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetSamplerState(16, D3DSAMP_MINFILTER, D3DTEXF_LINEAR), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetSamplerState(0, static_cast<D3DSAMPLERSTATETYPE>(14), &value),
              D3DERR_INVALIDCALL);
    D3DMATRIX matrix{};
    EXPECT_EQ(device->SetTransform(static_cast<D3DTRANSFORMSTATETYPE>(4), &matrix),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTransform(D3DTS_WORLDMATRIX(256), &matrix), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->SetTransform(D3DTS_WORLD, nullptr), D3DERR_INVALIDCALL);
}

TEST(NullDevice, StatePersistsUntilSetAgain) {
    auto device = makeNullDevice();
    ASSERT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
    D3DMATRIX world = {{{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1}}};
    ASSERT_EQ(device->SetTransform(D3DTS_WORLD, &world), D3D_OK);
    // Frames in between change nothing.
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000064, 1.0f, 0),
              D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    DWORD cull = 0;
    ASSERT_EQ(device->GetRenderState(D3DRS_CULLMODE, &cull), D3D_OK);
    EXPECT_EQ(cull, static_cast<DWORD>(D3DCULL_NONE));
    D3DMATRIX read{};
    ASSERT_EQ(device->GetTransform(D3DTS_WORLD, &read), D3D_OK);
    EXPECT_EQ(read._41, 1.0f);
    EXPECT_EQ(read._43, 3.0f);
}

TEST(NullDevice, MultiplyTransformPutsTheArgumentFirst) {
    auto device = makeNullDevice();
    const D3DMATRIX translate = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 0, 0, 1}}};
    const D3DMATRIX scale = {{{2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1}}};
    ASSERT_EQ(device->SetTransform(D3DTS_VIEW, &scale), D3D_OK);
    ASSERT_EQ(device->MultiplyTransform(D3DTS_VIEW, &translate), D3D_OK);
    D3DMATRIX result{};
    ASSERT_EQ(device->GetTransform(D3DTS_VIEW, &result), D3D_OK);
    // translate x scale: the translation is scaled too.
    EXPECT_EQ(result._41, 10.0f);
    EXPECT_EQ(result._11, 2.0f);
}

TEST(NullDevice, LightsAndTheirLimits) {
    auto device = makeNullDevice();
    D3DLIGHT9 light{};
    BOOL enabled = TRUE;
    EXPECT_EQ(device->GetLight(0, &light), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->GetLightEnable(0, &enabled), D3DERR_INVALIDCALL);

    // Enabling an index never set makes the default light: white, directional along +z.
    ASSERT_EQ(device->LightEnable(3, TRUE), D3D_OK);
    ASSERT_EQ(device->GetLight(3, &light), D3D_OK);
    EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(light.Diffuse.r, 1.0f);
    EXPECT_EQ(light.Diffuse.a, 0.0f);
    EXPECT_EQ(light.Direction.z, 1.0f);
    ASSERT_EQ(device->GetLightEnable(3, &enabled), D3D_OK);
    EXPECT_EQ(enabled, TRUE);

    D3DLIGHT9 bad{};
    bad.Type = D3DLIGHT_DIRECTIONAL; // zero direction
    EXPECT_EQ(device->SetLight(0, &bad), D3DERR_INVALIDCALL);
    bad.Type = static_cast<D3DLIGHTTYPE>(4);
    bad.Direction = {0, 0, 1};
    EXPECT_EQ(device->SetLight(0, &bad), D3DERR_INVALIDCALL);

    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    for (DWORD i = 10; i < 10 + caps.MaxActiveLights - 1; ++i) {
        ASSERT_EQ(device->LightEnable(i, TRUE), D3D_OK);
    }
    EXPECT_EQ(device->LightEnable(100, TRUE), D3DERR_INVALIDCALL);
    // Setting a light keeps its enable state.
    D3DLIGHT9 directional{};
    directional.Type = D3DLIGHT_DIRECTIONAL;
    directional.Direction = {-1, -1, 0.7f};
    ASSERT_EQ(device->SetLight(3, &directional), D3D_OK);
    ASSERT_EQ(device->GetLightEnable(3, &enabled), D3D_OK);
    EXPECT_EQ(enabled, TRUE);
}

TEST(NullDevice, ViewportMustFitTheBackBuffer) {
    DeviceSetup setup;
    setup.width = 100;
    setup.height = 50;
    auto device = makeNullDevice(setup);
    D3DVIEWPORT9 viewport = {10, 10, 90, 40, 0.0f, 1.0f};
    EXPECT_EQ(device->SetViewport(&viewport), D3D_OK);
    viewport.Width = 91;
    EXPECT_EQ(device->SetViewport(&viewport), D3DERR_INVALIDCALL);
    viewport = {0, 0, 100, 50, 0.0f, 1.5f};
    EXPECT_EQ(device->SetViewport(&viewport), D3DERR_INVALIDCALL);
    viewport = {0, 0, 0, 50, 0.0f, 1.0f};
    EXPECT_EQ(device->SetViewport(&viewport), D3DERR_INVALIDCALL);
    D3DVIEWPORT9 read{};
    ASSERT_EQ(device->GetViewport(&read), D3D_OK);
    EXPECT_EQ(read.X, 10u);
    EXPECT_EQ(read.Width, 90u);
}

TEST(NullDevice, SceneAndPresentOrder) {
    auto device = makeNullDevice();
    EXPECT_EQ(device->EndScene(), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    RECT rect = {0, 0, 1, 1};
    EXPECT_EQ(device->Present(&rect, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(device->TestCooperativeLevel(), D3D_OK);
    DrawStats stats;
    ASSERT_EQ(getDrawStats(device.get(), &stats), D3D_OK);
    EXPECT_EQ(stats.scenes, 1u);
    EXPECT_EQ(stats.presents, 1u);
}

TEST(NullDevice, PreparingPutsEveryStateAndBindingBack) {
    auto device = makeNullDevice();
    ComRef<IDirect3DVertexBuffer9> kept;
    ComRef<IDirect3DVertexBuffer9> passing;
    for (auto* buffer : {&kept, &passing}) {
        ASSERT_EQ(
            device->CreateVertexBuffer(48, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, buffer->put(), nullptr),
            D3D_OK);
    }
    ASSERT_EQ(device->SetStreamSource(0, kept.get(), 0, 12), D3D_OK);
    ASSERT_EQ(device->SetFVF(D3DFVF_XYZ), D3D_OK);
    DeviceStateSnapshot before;
    ASSERT_EQ(captureState(device.get(), &before), D3D_OK);

    EXPECT_EQ(endPreparing(device.get()), D3DERR_INVALIDCALL);
    ASSERT_EQ(beginPreparing(device.get()), D3D_OK);
    EXPECT_EQ(beginPreparing(device.get()), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->SetStreamSource(0, passing.get(), 0, 12), D3D_OK);
    ASSERT_EQ(device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE), D3D_OK);
    ASSERT_EQ(device->SetFVF(D3DFVF_XYZ), D3D_OK);
    ASSERT_EQ(device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE), D3D_OK);
    ASSERT_EQ(device->LightEnable(3, TRUE), D3D_OK);
    // Draws are still checked.
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 3, 1), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(endPreparing(device.get()), D3D_OK);

    DeviceStateSnapshot after;
    ASSERT_EQ(captureState(device.get(), &after), D3D_OK);
    EXPECT_TRUE(stateDifferences(before, after).empty());
    ComRef<IDirect3DVertexBuffer9> bound;
    UINT offset = 0;
    UINT stride = 0;
    ASSERT_EQ(device->GetStreamSource(0, bound.put(), &offset, &stride), D3D_OK);
    EXPECT_EQ(bound.get(), kept.get());
    DrawStats stats;
    ASSERT_EQ(getDrawStats(device.get(), &stats), D3D_OK);
    EXPECT_EQ(stats.drawCalls, 0u);
    EXPECT_EQ(stats.scenes, 0u);
    EXPECT_EQ(stats.presents, 0u);
    // Drawing goes on from the state put back.
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
}

TEST(NullDevice, ClearChecksItsArguments) {
    auto device = makeNullDevice();
    EXPECT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(0, nullptr, 0, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(0, nullptr, 0x8, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.5f, 0), D3DERR_INVALIDCALL);
    // D16 has no stencil.
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    const D3DRECT outside = {1000, 1000, 1010, 1010};
    EXPECT_EQ(device->Clear(1, &outside, D3DCLEAR_TARGET, 0, 1.0f, 0), D3D_OK);
    DrawStats stats;
    ASSERT_EQ(getDrawStats(device.get(), &stats), D3D_OK);
    // A clear clipped away entirely does nothing.
    EXPECT_EQ(stats.clears, 0u);
}

TEST(NullDevice, ResourcesKeepTheDeviceObjectAlive) {
    ComRef<IDirect3DVertexBuffer9> buffer;
    ComRef<IDirect3DTexture9> texture;
    {
        auto device = makeNullDevice();
        ASSERT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, buffer.put(), nullptr),
                  D3D_OK);
        ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.put(),
                                        nullptr),
                  D3D_OK);
        // Bound resources are let go when the device's last reference goes.
        ASSERT_EQ(device->SetTexture(0, texture.get()), D3D_OK);
        ASSERT_EQ(device->SetStreamSource(0, buffer.get(), 0, 16), D3D_OK);
    }
    ComRef<IDirect3DDevice9> owner;
    ASSERT_EQ(buffer->GetDevice(owner.put()), D3D_OK);
    D3DCAPS9 caps{};
    EXPECT_EQ(owner->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(texture->AddRef(), 2u);
    EXPECT_EQ(texture->Release(), 1u);
}

TEST(NullDevice, ShaderAndUnsupportedCallsAnswerClearly) {
    auto device = makeNullDevice();
    EXPECT_EQ(device->SetVertexShader(nullptr), D3D_OK);
    EXPECT_EQ(device->SetPixelShader(nullptr), D3D_OK);
    const DWORD code[] = {0xFFFE0200, 0x0000FFFF};
    IDirect3DVertexShader9* shader = nullptr;
    EXPECT_EQ(device->CreateVertexShader(code, &shader), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(shader, nullptr);
    const float plane[4] = {0, 1, 0, 0};
    EXPECT_EQ(device->SetClipPlane(0, plane), D3DERR_INVALIDCALL);
    IDirect3DStateBlock9* block = nullptr;
    EXPECT_EQ(device->CreateStateBlock(D3DSTATEBLOCKTYPE{}, &block), D3DERR_NOTAVAILABLE);
    const float constants[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(device->SetVertexShaderConstantF(254, constants, 2), D3D_OK);
    EXPECT_EQ(device->SetVertexShaderConstantF(255, constants, 2), D3DERR_INVALIDCALL);
    float read[8] = {};
    ASSERT_EQ(device->GetVertexShaderConstantF(254, read, 2), D3D_OK);
    EXPECT_EQ(read[7], 8.0f);
}

} // namespace
} // namespace halv::gfx
