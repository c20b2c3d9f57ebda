#include "gfx/caps.h"
#include "gfx/device.h"
#include "gfx/device_factory.h"

#include <gtest/gtest.h>

#include <cstring>

namespace halv::gfx {
namespace {

using base::ComRef;

ComRef<IDirect3D9> nullAdapter(std::optional<AdapterProfile> profile = std::nullopt) {
    return ComRef<IDirect3D9>(createDirect3D({RendererKind::kNull, std::move(profile), false}));
}

struct FormatQuery {
    const char* name;
    DWORD usage;
    D3DRESOURCETYPE type;
    D3DFORMAT format;
    HRESULT expected;
};

const FormatQuery kFormatQueries[] = {
    {"Argb", 0, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8, D3D_OK},
    {"ArgbFilterAndWrap", D3DUSAGE_QUERY_FILTER | D3DUSAGE_QUERY_WRAPANDMIP, D3DRTYPE_TEXTURE,
     D3DFMT_A8R8G8B8, D3D_OK},
    {"XrgbAutoGen", D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DFMT_X8R8G8B8, D3D_OK},
    {"LuminanceAutoGen", D3DUSAGE_AUTOGENMIPMAP, D3DRTYPE_TEXTURE, D3DFMT_L8, D3DOK_NOAUTOGEN},
    {"VolumeR5G6B5", 0, D3DRTYPE_VOLUMETEXTURE, D3DFMT_R5G6B5, D3D_OK},
    {"Palettised", 0, D3DRTYPE_TEXTURE, D3DFMT_P8, D3DERR_NOTAVAILABLE},
    {"Dxt1", 0, D3DRTYPE_TEXTURE, D3DFMT_DXT1, D3DERR_NOTAVAILABLE},
    {"BumpMap", 0, D3DRTYPE_TEXTURE, D3DFMT_V8U8, D3DERR_NOTAVAILABLE},
    {"Float32NotFiltered", D3DUSAGE_QUERY_FILTER, D3DRTYPE_TEXTURE, D3DFMT_R32F,
     D3DERR_NOTAVAILABLE},
    {"TextureRenderTarget", D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8,
     D3DERR_NOTAVAILABLE},
    {"DepthSurface", D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE, D3DFMT_D16, D3D_OK},
    {"DepthTexture", D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_TEXTURE, D3DFMT_D16, D3DERR_NOTAVAILABLE},
    {"VertexData", 0, D3DRTYPE_VERTEXBUFFER, D3DFMT_VERTEXDATA, D3D_OK},
    {"Index32", 0, D3DRTYPE_INDEXBUFFER, D3DFMT_INDEX32, D3D_OK},
    // Bits that say nothing about a format are ignored.
    {"WriteOnlyIgnored", D3DUSAGE_WRITEONLY, D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8, D3D_OK},
};

class CheckDeviceFormat : public testing::TestWithParam<FormatQuery> {};

TEST_P(CheckDeviceFormat, AnswersFromTheDefaultTable) {
    auto d3d = nullAdapter();
    const FormatQuery& query = GetParam();
    EXPECT_EQ(d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8,
                                     query.usage, query.type, query.format),
              query.expected);
}

INSTANTIATE_TEST_SUITE_P(Gfx, CheckDeviceFormat, testing::ValuesIn(kFormatQueries),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST(Caps, DefaultTableDescribesTheRenderer) {
    auto d3d = nullAdapter();
    D3DCAPS9 caps{};
    ASSERT_EQ(d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps), D3D_OK);
    EXPECT_EQ(caps.TextureCaps & (D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL |
                                  D3DPTEXTURECAPS_SQUAREONLY),
              0u);
    EXPECT_NE(caps.TextureCaps & D3DPTEXTURECAPS_MIPMAP, 0u);
    EXPECT_GE(caps.MaxTextureWidth, 1024u);
    EXPECT_GE(caps.MaxPointSize, 64.0f);
    EXPECT_EQ(caps.MaxTextureBlendStages, 1u);
    EXPECT_EQ(d3d->GetDeviceCaps(1, D3DDEVTYPE_HAL, &caps), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_REF, &caps), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->GetAdapterCount(), 1u);
    // A bad adapter format is a bad call, not a missing format.
    EXPECT_EQ(d3d->CheckDeviceFormat(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_A8R8G8B8, 0,
                                     D3DRTYPE_TEXTURE, D3DFMT_A8R8G8B8),
              D3DERR_INVALIDCALL);
}

TEST(Caps, MultiSampleTypes) {
    auto d3d = nullAdapter();
    DWORD quality = 0;
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8,
                                              TRUE, D3DMULTISAMPLE_2_SAMPLES, &quality),
              D3D_OK);
    EXPECT_EQ(quality, 1u);
    quality = 7;
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8,
                                              TRUE, D3DMULTISAMPLE_3_SAMPLES, &quality),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(quality, 7u);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_D16, FALSE,
                                              D3DMULTISAMPLE_2_SAMPLES, nullptr),
              D3D_OK);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_L8, TRUE,
                                              D3DMULTISAMPLE_2_SAMPLES, nullptr),
              D3DERR_NOTAVAILABLE);
}

// Hardware of another time: power-of-two square textures no larger than 128, no mipmapped
// cubes, no multisampling, and a vendor the scene treats specially.
AdapterProfile oldHardware() {
    AdapterProfile profile = defaultAdapterProfile();
    profile.caps.TextureCaps = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY |
                               D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_CUBEMAP;
    profile.caps.MaxTextureWidth = 128;
    profile.caps.MaxTextureHeight = 128;
    profile.caps.MaxTextureAspectRatio = 1;
    profile.identifier.VendorId = 0x10DE;
    profile.identifier.DeviceId = 0x0311;
    std::strcpy(profile.identifier.Description, "Old card");
    profile.displayMode = {800, 600, 75, D3DFMT_X8R8G8B8};
    profile.multiSampleTypes = 1;
    return profile;
}

TEST(Caps, ReplacedProfileAnswersEverywhere) {
    auto d3d = nullAdapter(oldHardware());
    D3DADAPTER_IDENTIFIER9 identifier{};
    ASSERT_EQ(d3d->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier), D3D_OK);
    EXPECT_EQ(identifier.VendorId, 0x10DEu);
    EXPECT_EQ(identifier.DeviceId, 0x0311u);
    EXPECT_STREQ(identifier.Description, "Old card");
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 800u);
    EXPECT_EQ(mode.RefreshRate, 75u);
    EXPECT_EQ(d3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8,
                                              TRUE, D3DMULTISAMPLE_2_SAMPLES, nullptr),
              D3DERR_NOTAVAILABLE);

    D3DPRESENT_PARAMETERS parameters{};
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    parameters.BackBufferWidth = 64;
    parameters.BackBufferHeight = 64;
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(d3d->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, device.put()),
              D3D_OK);
    D3DCAPS9 caps{};
    ASSERT_EQ(device->GetDeviceCaps(&caps), D3D_OK);
    EXPECT_EQ(caps.MaxTextureWidth, 128u);

    struct SizeCase {
        UINT width;
        UINT height;
        UINT levels;
        HRESULT expected;
    };
    const SizeCase kSizes[] = {
        {128, 128, 0, D3D_OK},
        {256, 256, 1, D3DERR_INVALIDCALL}, // wider than the caps
        {64, 32, 1, D3DERR_INVALIDCALL},   // not square
        {96, 96, 1, D3DERR_INVALIDCALL},   // not a power of two
    };
    for (const SizeCase& c : kSizes) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
        ComRef<IDirect3DTexture9> texture;
        EXPECT_EQ(device->CreateTexture(c.width, c.height, c.levels, 0, D3DFMT_A8R8G8B8,
                                        D3DPOOL_MANAGED, texture.put(), nullptr),
                  c.expected);
    }
    // Scratch textures are not for the device, so its limits do not apply.
    ComRef<IDirect3DTexture9> scratch;
    EXPECT_EQ(device->CreateTexture(96, 32, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, scratch.put(),
                                    nullptr),
              D3D_OK);
    // Without the cube-mip bit a cube gets one level; asking for more is refused.
    ComRef<IDirect3DCubeTexture9> cube;
    ASSERT_EQ(
        device->CreateCubeTexture(64, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.put(), nullptr),
        D3D_OK);
    EXPECT_EQ(cube->GetLevelCount(), 1u);
    EXPECT_EQ(
        device->CreateCubeTexture(64, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.put(), nullptr),
        D3DERR_INVALIDCALL);
    ComRef<IDirect3DVolumeTexture9> volume;
    EXPECT_EQ(device->CreateVolumeTexture(4, 4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                          volume.put(), nullptr),
              D3DERR_INVALIDCALL);
}

TEST(Caps, NonPowerOfTwoConditionalAllowsSingleLevels) {
    AdapterProfile profile = defaultAdapterProfile();
    profile.caps.TextureCaps |= D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL;
    DeviceSetup setup;
    setup.profile = profile;
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(createNullDevice(setup, device.put()), D3D_OK);
    ComRef<IDirect3DTexture9> texture;
    EXPECT_EQ(device->CreateTexture(100, 60, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.put(),
                                    nullptr),
              D3D_OK);
    EXPECT_EQ(device->CreateTexture(100, 60, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.put(),
                                    nullptr),
              D3DERR_INVALIDCALL);
}

TEST(Caps, ProcessWideOptionsSteerDirect3DCreate9) {
    AdapterProfile profile = defaultAdapterProfile();
    profile.identifier.VendorId = 0x1234;
    {
        ScopedDirect3DOptions scoped({RendererKind::kNull, profile, true});
        ComRef<IDirect3D9> d3d(Direct3DCreate9(D3D_SDK_VERSION));
        ASSERT_TRUE(d3d);
        D3DADAPTER_IDENTIFIER9 identifier{};
        ASSERT_EQ(d3d->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier), D3D_OK);
        EXPECT_EQ(identifier.VendorId, 0x1234u);
    }
    // The previous options are back: an adapter without the replaced identity.
    ComRef<IDirect3D9> restored(Direct3DCreate9(D3D_SDK_VERSION));
    D3DADAPTER_IDENTIFIER9 identifier{};
    ASSERT_EQ(restored->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier), D3D_OK);
    EXPECT_NE(identifier.VendorId, 0x1234u);
}

} // namespace
} // namespace halv::gfx
