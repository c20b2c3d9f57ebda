#include "gfx/device.h"
#include "gfx/device_factory.h"
#include "gfx/inspection.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace halv::gfx {
namespace {

using base::ComRef;

class NullDeviceTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(createNullDevice({}, device.put()), D3D_OK); }

    ComRef<IDirect3DDevice9> device;
};

using BufferLocks = NullDeviceTest;

TEST_F(BufferLocks, RangesAndNesting) {
    ComRef<IDirect3DVertexBuffer9> buffer;
    ASSERT_EQ(device->CreateVertexBuffer(48, D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_DIFFUSE,
                                         D3DPOOL_DEFAULT, buffer.put(), nullptr),
              D3D_OK);
    void* whole = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &whole, 0), D3D_OK);
    std::memset(whole, 0xAB, 48);
    ASSERT_EQ(buffer->Unlock(), D3D_OK);

    // An offset with size 0 reaches the end; the pointer is offset into the same bytes.
    void* tail = nullptr;
    ASSERT_EQ(buffer->Lock(16, 0, &tail, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<std::byte*>(tail), static_cast<std::byte*>(whole) + 16);
    EXPECT_EQ(static_cast<unsigned char*>(tail)[31], 0xAB);
    // Locks nest.
    void* inner = nullptr;
    ASSERT_EQ(buffer->Lock(0, 16, &inner, 0), D3D_OK);
    EXPECT_EQ(buffer->Unlock(), D3D_OK);
    EXPECT_EQ(buffer->Unlock(), D3D_OK);
    EXPECT_EQ(buffer->Unlock(), D3DERR_INVALIDCALL);

    void* untouched = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(buffer->Lock(40, 16, &untouched, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Lock(49, 0, &untouched, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Lock(0, 0, nullptr, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer->Lock(0, 0, &untouched, D3DLOCK_READONLY | D3DLOCK_DISCARD),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(untouched, reinterpret_cast<void*>(0x1));

    D3DVERTEXBUFFER_DESC desc{};
    ASSERT_EQ(buffer->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Size, 48u);
    EXPECT_EQ(desc.FVF, static_cast<DWORD>(D3DFVF_XYZ | D3DFVF_DIFFUSE));
    EXPECT_EQ(desc.Format, D3DFMT_VERTEXDATA);
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    EXPECT_EQ(desc.Usage, D3DUSAGE_WRITEONLY);
    EXPECT_EQ(buffer->GetType(), D3DRTYPE_VERTEXBUFFER);
}

TEST_F(BufferLocks, DynamicDiscardRefill) {
    // The debris buffer: 3000 points of 16 bytes, refilled whole every frame.
    ComRef<IDirect3DVertexBuffer9> buffer;
    ASSERT_EQ(device->CreateVertexBuffer(
                  48000, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC | D3DUSAGE_POINTS,
                  D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPOOL_DEFAULT, buffer.put(), nullptr),
              D3D_OK);
    for (int frame = 0; frame < 3; ++frame) {
        void* data = nullptr;
        ASSERT_EQ(buffer->Lock(0, 48000, &data, D3DLOCK_DISCARD), D3D_OK);
        std::memset(data, frame, 48000);
        ASSERT_EQ(buffer->Unlock(), D3D_OK);
    }
}

struct BufferCase {
    const char* name;
    UINT length;
    DWORD usage;
    DWORD fvf;
    D3DPOOL pool;
};

const BufferCase kBadBuffers[] = {
    {"ZeroLength", 0, 0, 0, D3DPOOL_MANAGED},
    {"DynamicManaged", 64, D3DUSAGE_DYNAMIC, 0, D3DPOOL_MANAGED},
    {"ScratchPool", 64, 0, 0, D3DPOOL_SCRATCH},
    {"RenderTargetUsage", 64, D3DUSAGE_RENDERTARGET, 0, D3DPOOL_DEFAULT},
    {"ShorterThanOneVertex", 35, 0, 0x152, D3DPOOL_DEFAULT},
    {"ReservedFvfBit", 64, 0, D3DFVF_XYZ | D3DFVF_RESERVED0, D3DPOOL_DEFAULT},
    {"RhwWithNormal", 64, 0, D3DFVF_XYZRHW | D3DFVF_NORMAL, D3DPOOL_DEFAULT},
};

class BadBufferCreation : public testing::TestWithParam<BufferCase> {};

TEST_P(BadBufferCreation, IsRejectedWithoutAnObject) {
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(createNullDevice({}, device.put()), D3D_OK);
    const BufferCase& c = GetParam();
    IDirect3DVertexBuffer9* buffer = nullptr;
    EXPECT_EQ(device->CreateVertexBuffer(c.length, c.usage, c.fvf, c.pool, &buffer, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(buffer, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Gfx, BadBufferCreation, testing::ValuesIn(kBadBuffers),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(BufferLocks, IndexBufferFormats) {
    ComRef<IDirect3DIndexBuffer9> indices;
    EXPECT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, indices.put(),
                                        nullptr),
              D3DERR_INVALIDCALL);
    ASSERT_EQ(
        device->CreateIndexBuffer(12, 0, D3DFMT_INDEX32, D3DPOOL_SYSTEMMEM, indices.put(), nullptr),
        D3D_OK);
    D3DINDEXBUFFER_DESC desc{};
    ASSERT_EQ(indices->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Format, D3DFMT_INDEX32);
    EXPECT_EQ(desc.Size, 12u);
    EXPECT_EQ(desc.Type, D3DRTYPE_INDEXBUFFER);
    HANDLE shared = nullptr;
    ComRef<IDirect3DIndexBuffer9> sharedBuffer;
    EXPECT_EQ(device->CreateIndexBuffer(12, 0, D3DFMT_INDEX16, D3DPOOL_DEFAULT, sharedBuffer.put(),
                                        &shared),
              D3DERR_INVALIDCALL);
}

using Textures = NullDeviceTest;

TEST_F(Textures, FullChainLevelsAndDescriptions) {
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(device->CreateTexture(1024, 256, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                    texture.put(), nullptr),
              D3D_OK);
    ASSERT_EQ(texture->GetLevelCount(), 11u);
    const UINT kWidths[] = {1024, 512, 256, 128, 64, 32, 16, 8, 4, 2, 1};
    const UINT kHeights[] = {256, 128, 64, 32, 16, 8, 4, 2, 1, 1, 1};
    for (UINT level = 0; level < 11; ++level) {
        SCOPED_TRACE(level);
        D3DSURFACE_DESC desc{};
        ASSERT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
        EXPECT_EQ(desc.Width, kWidths[level]);
        EXPECT_EQ(desc.Height, kHeights[level]);
        EXPECT_EQ(desc.Format, D3DFMT_A8R8G8B8);
        EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
        EXPECT_EQ(desc.Type, D3DRTYPE_SURFACE);
    }
    D3DSURFACE_DESC desc{};
    EXPECT_EQ(texture->GetLevelDesc(11, &desc), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->GetType(), D3DRTYPE_TEXTURE);

    ComRef<IDirect3DTexture9> partial;
    ASSERT_EQ(
        device->CreateTexture(8, 8, 2, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, partial.put(), nullptr),
        D3D_OK);
    EXPECT_EQ(partial->GetLevelCount(), 2u);
    ComRef<IDirect3DTexture9> tooMany;
    EXPECT_EQ(
        device->CreateTexture(8, 8, 5, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, tooMany.put(), nullptr),
        D3DERR_INVALIDCALL);
}

struct PitchCase {
    const char* name;
    D3DFORMAT format;
    UINT width;
    INT pitch;
};

const PitchCase kPitches[] = {
    {"A8R8G8B8", D3DFMT_A8R8G8B8, 5, 20},
    {"R5G6B5Padded", D3DFMT_R5G6B5, 3, 8},
    {"A8Padded", D3DFMT_A8, 5, 8},
    {"R8G8B8Padded", D3DFMT_R8G8B8, 3, 12},
    {"A16B16G16R16", D3DFMT_A16B16G16R16, 3, 24},
    {"Dxt1BlockRow", D3DFMT_DXT1, 8, 16},
    {"Dxt5BlockRow", D3DFMT_DXT5, 12, 48},
};

class TexturePitch : public testing::TestWithParam<PitchCase> {};

TEST_P(TexturePitch, RowsArePaddedToFourBytes) {
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(createNullDevice({}, device.put()), D3D_OK);
    const PitchCase& c = GetParam();
    // Scratch takes any known format, so every layout can be checked here.
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(
        device->CreateTexture(c.width, 4, 1, 0, c.format, D3DPOOL_SCRATCH, texture.put(), nullptr),
        D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, c.pitch);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
}

INSTANTIATE_TEST_SUITE_P(Gfx, TexturePitch, testing::ValuesIn(kPitches),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(Textures, LockRectOffsetsAndRules) {
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.put(),
                                    nullptr),
              D3D_OK);
    D3DLOCKED_RECT whole{};
    ASSERT_EQ(texture->LockRect(0, &whole, nullptr, 0), D3D_OK);
    // One lock at a time.
    D3DLOCKED_RECT second{};
    EXPECT_EQ(texture->LockRect(0, &second, nullptr, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    EXPECT_EQ(texture->UnlockRect(0), D3DERR_INVALIDCALL);

    const RECT part = {3, 2, 7, 9};
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, &part, D3DLOCK_NOSYSLOCK), D3D_OK);
    EXPECT_EQ(static_cast<std::byte*>(locked.pBits),
              static_cast<std::byte*>(whole.pBits) + 2 * whole.Pitch + 3 * 4);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);

    const RECT kBad[] = {{-1, 0, 4, 4}, {0, 0, 17, 4}, {4, 4, 4, 8}, {8, 0, 4, 4}};
    for (const RECT& bad : kBad) {
        EXPECT_EQ(texture->LockRect(0, &locked, &bad, 0), D3DERR_INVALIDCALL);
    }
    // DISCARD needs a dynamic texture; NOOVERWRITE is for buffers only.
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_NOOVERWRITE), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture->LockRect(1, &locked, nullptr, 0), D3DERR_INVALIDCALL);
}

TEST_F(Textures, DxtLocksOnBlockBoundaries) {
    ComRef<IDirect3DTexture9> texture;
    EXPECT_EQ(
        device->CreateTexture(6, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_SCRATCH, texture.put(), nullptr),
        D3DERR_INVALIDCALL);
    ASSERT_EQ(
        device->CreateTexture(16, 8, 0, 0, D3DFMT_DXT1, D3DPOOL_SCRATCH, texture.put(), nullptr),
        D3D_OK);
    D3DLOCKED_RECT whole{};
    ASSERT_EQ(texture->LockRect(0, &whole, nullptr, D3DLOCK_READONLY), D3D_OK);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    D3DLOCKED_RECT block{};
    const RECT aligned = {4, 4, 8, 8};
    ASSERT_EQ(texture->LockRect(0, &block, &aligned, 0), D3D_OK);
    EXPECT_EQ(static_cast<std::byte*>(block.pBits),
              static_cast<std::byte*>(whole.pBits) + whole.Pitch + 8);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    const RECT misaligned = {2, 0, 6, 4};
    EXPECT_EQ(texture->LockRect(0, &block, &misaligned, 0), D3DERR_INVALIDCALL);
    // The 2x1 level is smaller than a block: its edge counts as aligned.
    D3DLOCKED_RECT small{};
    const RECT smallRect = {0, 0, 2, 1};
    ASSERT_EQ(texture->LockRect(3, &small, &smallRect, 0), D3D_OK);
    EXPECT_EQ(small.Pitch, 8);
    ASSERT_EQ(texture->UnlockRect(3), D3D_OK);
}

TEST_F(Textures, DefaultPoolLocksOnlyWhenDynamic) {
    ComRef<IDirect3DTexture9> fixed;
    ASSERT_EQ(
        device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, fixed.put(), nullptr),
        D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(fixed->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
    ComRef<IDirect3DTexture9> dynamic;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                    dynamic.put(), nullptr),
              D3D_OK);
    ASSERT_EQ(dynamic->LockRect(0, &locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
    EXPECT_EQ(dynamic->UnlockRect(0), D3D_OK);
}

TEST_F(Textures, SurfacesShareTheirTexturesCount) {
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(
        device->CreateTexture(4, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, texture.put(), nullptr),
        D3D_OK);
    IDirect3DSurface9* level1 = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(1, &level1), D3D_OK);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(level1->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2u);
    // The texture is held by the surface: releasing our texture reference keeps both alive.
    IDirect3DTexture9* raw = texture.detach();
    EXPECT_EQ(raw->Release(), 1u);
    ComRef<IDirect3DTexture9> container;
    ASSERT_EQ(level1->GetContainer(IID_IDirect3DTexture9, container.putVoid()), D3D_OK);
    EXPECT_EQ(container.get(), raw);
    container.reset();
    EXPECT_EQ(level1->Release(), 0u);

    IDirect3DSurface9* missing = nullptr;
    ComRef<IDirect3DTexture9> other;
    ASSERT_EQ(
        device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, other.put(), nullptr),
        D3D_OK);
    EXPECT_EQ(other->GetSurfaceLevel(1, &missing), D3DERR_INVALIDCALL);
    EXPECT_EQ(missing, nullptr);
}

TEST_F(Textures, LockingThroughTheSurfaceSeesTheSameBytes) {
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, texture.put(),
                                    nullptr),
              D3D_OK);
    ComRef<IDirect3DSurface9> surface;
    ASSERT_EQ(texture->GetSurfaceLevel(0, surface.put()), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
    static_cast<std::uint32_t*>(locked.pBits)[5] = 0x00123456;
    // The level is locked, whichever object is asked.
    D3DLOCKED_RECT again{};
    EXPECT_EQ(texture->LockRect(0, &again, nullptr, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(surface->UnlockRect(), D3D_OK);
    ASSERT_EQ(texture->LockRect(0, &again, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<std::uint32_t*>(again.pBits)[5], 0x00123456u);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
}

TEST_F(Textures, CubeFacesAndVolumeSlices) {
    ComRef<IDirect3DCubeTexture9> cube;
    ASSERT_EQ(
        device->CreateCubeTexture(8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, cube.put(), nullptr),
        D3D_OK);
    EXPECT_EQ(cube->GetLevelCount(), 4u);
    ComRef<IDirect3DSurface9> face;
    ASSERT_EQ(cube->GetCubeMapSurface(D3DCUBEMAP_FACE_NEGATIVE_Z, 2, face.put()), D3D_OK);
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(face->GetDesc(&desc), D3D_OK);
    EXPECT_EQ(desc.Width, 2u);
    EXPECT_EQ(cube->GetCubeMapSurface(static_cast<D3DCUBEMAP_FACES>(6), 0, face.put()),
              D3DERR_INVALIDCALL);
    D3DLOCKED_RECT plusX{};
    D3DLOCKED_RECT minusX{};
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_POSITIVE_X, 0, &plusX, nullptr, 0), D3D_OK);
    ASSERT_EQ(cube->LockRect(D3DCUBEMAP_FACE_NEGATIVE_X, 0, &minusX, nullptr, 0), D3D_OK);
    EXPECT_NE(plusX.pBits, minusX.pBits);
    EXPECT_EQ(cube->UnlockRect(D3DCUBEMAP_FACE_POSITIVE_X, 0), D3D_OK);
    EXPECT_EQ(cube->UnlockRect(D3DCUBEMAP_FACE_NEGATIVE_X, 0), D3D_OK);
    EXPECT_EQ(cube->GetType(), D3DRTYPE_CUBETEXTURE);

    ComRef<IDirect3DVolumeTexture9> volume;
    ASSERT_EQ(device->CreateVolumeTexture(8, 4, 2, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                          volume.put(), nullptr),
              D3D_OK);
    EXPECT_EQ(volume->GetLevelCount(), 4u);
    D3DVOLUME_DESC volumeDesc{};
    ASSERT_EQ(volume->GetLevelDesc(3, &volumeDesc), D3D_OK);
    EXPECT_EQ(volumeDesc.Width, 1u);
    EXPECT_EQ(volumeDesc.Height, 1u);
    EXPECT_EQ(volumeDesc.Depth, 1u);
    D3DLOCKED_BOX whole{};
    ASSERT_EQ(volume->LockBox(0, &whole, nullptr, 0), D3D_OK);
    EXPECT_EQ(whole.RowPitch, 32);
    EXPECT_EQ(whole.SlicePitch, 128);
    ASSERT_EQ(volume->UnlockBox(0), D3D_OK);
    const D3DBOX box = {1, 2, 3, 4, 1, 2};
    D3DLOCKED_BOX part{};
    ASSERT_EQ(volume->LockBox(0, &part, &box, 0), D3D_OK);
    EXPECT_EQ(static_cast<std::byte*>(part.pBits),
              static_cast<std::byte*>(whole.pBits) + 128 + 2 * 32 + 4);
    ASSERT_EQ(volume->UnlockBox(0), D3D_OK);
    const D3DBOX tooDeep = {0, 0, 1, 1, 1, 3};
    EXPECT_EQ(volume->LockBox(0, &part, &tooDeep, 0), D3DERR_INVALIDCALL);
    ComRef<IDirect3DVolume9> level;
    ASSERT_EQ(volume->GetVolumeLevel(1, level.put()), D3D_OK);
    ASSERT_EQ(level->GetDesc(&volumeDesc), D3D_OK);
    EXPECT_EQ(volumeDesc.Width, 4u);
    EXPECT_EQ(volumeDesc.Type, D3DRTYPE_VOLUME);
}

struct TextureCase {
    const char* name;
    UINT width;
    UINT height;
    UINT levels;
    DWORD usage;
    D3DFORMAT format;
    D3DPOOL pool;
};

const TextureCase kBadTextures[] = {
    {"ZeroWidth", 0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
    {"UnknownFormat", 4, 4, 1, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED},
    {"IndexFormat", 4, 4, 1, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED},
    {"PoolOutOfRange", 4, 4, 1, 0, D3DFMT_A8R8G8B8, static_cast<D3DPOOL>(4)},
    {"DynamicManaged", 4, 4, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
    {"RenderTargetManaged", 4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
    {"AutoGenSystemMemory", 4, 4, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM},
    {"QueryBitsAtCreation", 4, 4, 1, D3DUSAGE_QUERY_FILTER, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
    {"WiderThanCaps", 16384, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED},
    {"FormatTheDeviceLacks", 4, 4, 1, 0, D3DFMT_V8U8, D3DPOOL_MANAGED},
    {"DepthFormatTexture", 4, 4, 1, 0, D3DFMT_D16, D3DPOOL_MANAGED},
};

class BadTextureCreation : public testing::TestWithParam<TextureCase> {};

TEST_P(BadTextureCreation, IsRejectedWithoutAnObject) {
    ComRef<IDirect3DDevice9> device;
    ASSERT_EQ(createNullDevice({}, device.put()), D3D_OK);
    const TextureCase& c = GetParam();
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(device->CreateTexture(c.width, c.height, c.levels, c.usage, c.format, c.pool,
                                    &texture, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Gfx, BadTextureCreation, testing::ValuesIn(kBadTextures),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(Textures, AutoGenMipmapShowsOneLevel) {
    ComRef<IDirect3DTexture9> texture;
    ASSERT_EQ(device->CreateTexture(64, 64, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8,
                                    D3DPOOL_MANAGED, texture.put(), nullptr),
              D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 1u);
    EXPECT_EQ(texture->GetAutoGenFilterType(), D3DTEXF_LINEAR);
    EXPECT_EQ(texture->SetAutoGenFilterType(D3DTEXF_NONE), D3DERR_INVALIDCALL);
    // A format that cannot be rendered into gets no automatic levels, with the success code
    // that says so.
    ComRef<IDirect3DTexture9> luminance;
    EXPECT_EQ(device->CreateTexture(64, 64, 0, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_L8, D3DPOOL_MANAGED,
                                    luminance.put(), nullptr),
              D3DOK_NOAUTOGEN);
    ASSERT_TRUE(luminance);
    EXPECT_EQ(luminance->GetLevelCount(), 1u);
}

TEST_F(Textures, SetTextureRefusesSystemMemory) {
    ComRef<IDirect3DTexture9> staging;
    ASSERT_EQ(device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, staging.put(),
                                    nullptr),
              D3D_OK);
    EXPECT_EQ(device->SetTexture(0, staging.get()), D3DERR_INVALIDCALL);
    ComRef<IDirect3DTexture9> managed;
    ASSERT_EQ(
        device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, managed.put(), nullptr),
        D3D_OK);
    EXPECT_EQ(device->SetTexture(16, managed.get()), D3DERR_INVALIDCALL);
    ASSERT_EQ(device->SetTexture(0, managed.get()), D3D_OK);
    ComRef<IDirect3DBaseTexture9> bound;
    ASSERT_EQ(device->GetTexture(0, bound.put()), D3D_OK);
    EXPECT_EQ(static_cast<void*>(bound.get()), static_cast<void*>(managed.get()));
    // A texture of another device is refused too.
    ComRef<IDirect3DDevice9> other;
    ASSERT_EQ(createNullDevice({}, other.put()), D3D_OK);
    EXPECT_EQ(other->SetTexture(0, managed.get()), D3DERR_INVALIDCALL);
}

using Copies = NullDeviceTest;

void fillLevels(IDirect3DTexture9* texture, std::uint32_t seed) {
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
        D3DSURFACE_DESC desc{};
        texture->GetLevelDesc(level, &desc);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < desc.Height; ++y) {
            auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::byte*>(locked.pBits) +
                                                         y * locked.Pitch);
            for (UINT x = 0; x < desc.Width; ++x) {
                row[x] = seed + level * 0x10000 + y * 0x100 + x;
            }
        }
        texture->UnlockRect(level);
    }
}

std::uint32_t pixelOf(IDirect3DTexture9* texture, UINT level, UINT x, UINT y) {
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const std::uint32_t value = reinterpret_cast<const std::uint32_t*>(
        static_cast<const std::byte*>(locked.pBits) + y * locked.Pitch)[x];
    texture->UnlockRect(level);
    return value;
}

TEST_F(Copies, UpdateTextureMatchesTheTopLevelToASourceLevel) {
    ComRef<IDirect3DTexture9> staging;
    ASSERT_EQ(device->CreateTexture(16, 16, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, staging.put(),
                                    nullptr),
              D3D_OK);
    fillLevels(staging.get(), 0xFF000000);
    // A dynamic default-pool texture half the size: source levels 1.. go to 0..
    ComRef<IDirect3DTexture9> target;
    ASSERT_EQ(device->CreateTexture(8, 8, 0, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                    target.put(), nullptr),
              D3D_OK);
    ASSERT_EQ(device->UpdateTexture(staging.get(), target.get()), D3D_OK);
    EXPECT_EQ(pixelOf(target.get(), 0, 3, 2), 0xFF010203u);
    EXPECT_EQ(pixelOf(target.get(), 2, 1, 1), 0xFF030101u);

    ComRef<IDirect3DTexture9> wrongPool;
    ASSERT_EQ(device->CreateTexture(8, 8, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, wrongPool.put(),
                                    nullptr),
              D3D_OK);
    EXPECT_EQ(device->UpdateTexture(staging.get(), wrongPool.get()), D3DERR_INVALIDCALL);
    ComRef<IDirect3DTexture9> noMatch;
    ASSERT_EQ(device->CreateTexture(12, 12, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                    noMatch.put(), nullptr),
              D3D_OK);
    EXPECT_EQ(device->UpdateTexture(staging.get(), noMatch.get()), D3DERR_INVALIDCALL);
    ComRef<IDirect3DTexture9> otherFormat;
    ASSERT_EQ(device->CreateTexture(16, 16, 0, D3DUSAGE_DYNAMIC, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                    otherFormat.put(), nullptr),
              D3D_OK);
    EXPECT_EQ(device->UpdateTexture(staging.get(), otherFormat.get()), D3DERR_INVALIDCALL);
}

TEST_F(Copies, UpdateSurfaceAndStretchRect) {
    ComRef<IDirect3DTexture9> staging;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, staging.put(),
                                    nullptr),
              D3D_OK);
    fillLevels(staging.get(), 0xFF000000);
    ComRef<IDirect3DTexture9> target;
    ASSERT_EQ(device->CreateTexture(8, 8, 1, D3DUSAGE_DYNAMIC, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                    target.put(), nullptr),
              D3D_OK);
    ComRef<IDirect3DSurface9> from;
    ComRef<IDirect3DSurface9> to;
    ASSERT_EQ(staging->GetSurfaceLevel(0, from.put()), D3D_OK);
    ASSERT_EQ(target->GetSurfaceLevel(0, to.put()), D3D_OK);
    const RECT part = {1, 1, 3, 4};
    const POINT at = {5, 4};
    ASSERT_EQ(device->UpdateSurface(from.get(), &part, to.get(), &at), D3D_OK);
    EXPECT_EQ(pixelOf(target.get(), 0, 5, 4), 0xFF000101u);
    EXPECT_EQ(pixelOf(target.get(), 0, 6, 6), 0xFF000302u);
    EXPECT_EQ(pixelOf(target.get(), 0, 4, 4), 0u);
    const POINT outside = {7, 7};
    EXPECT_EQ(device->UpdateSurface(from.get(), &part, to.get(), &outside), D3DERR_INVALIDCALL);
    // The source must be in system memory.
    EXPECT_EQ(device->UpdateSurface(to.get(), nullptr, from.get(), nullptr), D3DERR_INVALIDCALL);

    // StretchRect between default-pool surfaces: a 2x enlargement by point sampling.
    ComRef<IDirect3DTexture9> big;
    ASSERT_EQ(device->CreateTexture(16, 16, 1, D3DUSAGE_DYNAMIC, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT,
                                    big.put(), nullptr),
              D3D_OK);
    ComRef<IDirect3DSurface9> bigSurface;
    ASSERT_EQ(big->GetSurfaceLevel(0, bigSurface.put()), D3D_OK);
    ASSERT_EQ(device->StretchRect(to.get(), nullptr, bigSurface.get(), nullptr, D3DTEXF_POINT),
              D3D_OK);
    EXPECT_EQ(pixelOf(big.get(), 0, 11, 9), 0xFF000101u);
    EXPECT_EQ(
        device->StretchRect(to.get(), nullptr, bigSurface.get(), nullptr, D3DTEXF_ANISOTROPIC),
        D3DERR_INVALIDCALL);
    EXPECT_EQ(device->StretchRect(from.get(), nullptr, bigSurface.get(), nullptr, D3DTEXF_NONE),
              D3DERR_INVALIDCALL);
}

TEST_F(Copies, ColorFillAndOffscreenSurfaces) {
    ComRef<IDirect3DSurface9> surface;
    ASSERT_EQ(device->CreateOffscreenPlainSurface(4, 4, D3DFMT_R5G6B5, D3DPOOL_DEFAULT,
                                                  surface.put(), nullptr),
              D3D_OK);
    const RECT area = {1, 1, 3, 2};
    ASSERT_EQ(device->ColorFill(surface.get(), &area, 0xFFFF0000), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    const auto* row1 = reinterpret_cast<const std::uint16_t*>(
        static_cast<const std::byte*>(locked.pBits) + locked.Pitch);
    EXPECT_EQ(row1[0], 0u);
    EXPECT_EQ(row1[1], 0xF800u);
    EXPECT_EQ(row1[2], 0xF800u);
    EXPECT_EQ(row1[3], 0u);
    ASSERT_EQ(surface->UnlockRect(), D3D_OK);
    ComRef<IDirect3DSurface9> managed;
    EXPECT_EQ(device->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                                  managed.put(), nullptr),
              D3DERR_INVALIDCALL);
}

TEST_F(Copies, PrivateDataIsCopied) {
    ComRef<IDirect3DVertexBuffer9> buffer;
    ASSERT_EQ(device->CreateVertexBuffer(16, 0, 0, D3DPOOL_MANAGED, buffer.put(), nullptr), D3D_OK);
    const GUID key = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    int value = 42;
    ASSERT_EQ(buffer->SetPrivateData(key, &value, sizeof(value), 0), D3D_OK);
    value = 0;
    DWORD size = 0;
    EXPECT_EQ(buffer->GetPrivateData(key, nullptr, &size), D3DERR_MOREDATA);
    EXPECT_EQ(size, sizeof(int));
    int read = 0;
    ASSERT_EQ(buffer->GetPrivateData(key, &read, &size), D3D_OK);
    EXPECT_EQ(read, 42);
    ASSERT_EQ(buffer->FreePrivateData(key), D3D_OK);
    EXPECT_EQ(buffer->GetPrivateData(key, &read, &size), D3DERR_NOTFOUND);
}

} // namespace
} // namespace halv::gfx
