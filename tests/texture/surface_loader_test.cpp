// Loading surfaces and volumes on the null device: argument and rectangle checks, partial
// rectangles (also inside DXT blocks), the device fast paths, and a surface loaded from itself.
#include "base/environment.h"
#include "gfx/inspection.h"
#include "tests/texture/texture_test_support.h"
#include "texture/detail/debug_mute.h"
#include "texture/surface_loader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halv::texture::testing {
namespace {

struct Fixture {
    ComRef<IDirect3DDevice9> device;
    ComRef<IDirect3DTexture9> texture;
    ComRef<IDirect3DSurface9> surface;
};

Fixture makeSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool, DWORD usage = 0,
                    bool logCalls = false) {
    Fixture f;
    f.device = makeNullDevice(std::nullopt, logCalls);
    EXPECT_EQ(
        f.device->CreateTexture(width, height, 1, usage, format, pool, f.texture.put(), nullptr),
        D3D_OK);
    EXPECT_EQ(f.texture->GetSurfaceLevel(0, f.surface.put()), D3D_OK);
    return f;
}

ComRef<IDirect3DSurface9> levelOf(IDirect3DDevice9* device, UINT width, UINT height,
                                  D3DFORMAT format, D3DPOOL pool, DWORD usage,
                                  ComRef<IDirect3DTexture9>* holder) {
    EXPECT_EQ(device->CreateTexture(width, height, 1, usage, format, pool, holder->put(), nullptr),
              D3D_OK);
    ComRef<IDirect3DSurface9> surface;
    EXPECT_EQ((*holder)->GetSurfaceLevel(0, surface.put()), D3D_OK);
    return surface;
}

std::vector<std::uint32_t> readSurface32(IDirect3DSurface9* surface) {
    D3DSURFACE_DESC desc{};
    EXPECT_EQ(surface->GetDesc(&desc), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::vector<std::uint32_t> out(std::size_t{desc.Width} * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y) {
        std::memcpy(&out[std::size_t{y} * desc.Width],
                    static_cast<const BYTE*>(locked.pBits) + std::size_t{y} * locked.Pitch,
                    std::size_t{desc.Width} * 4);
    }
    surface->UnlockRect();
    return out;
}

void writeSurface32(IDirect3DSurface9* surface, const std::vector<std::uint32_t>& pixels) {
    D3DSURFACE_DESC desc{};
    ASSERT_EQ(surface->GetDesc(&desc), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < desc.Height; ++y) {
        std::memcpy(static_cast<BYTE*>(locked.pBits) + std::size_t{y} * locked.Pitch,
                    &pixels[std::size_t{y} * desc.Width], std::size_t{desc.Width} * 4);
    }
    surface->UnlockRect();
}

TEST(LoadSurfaceFromMemory, ArgumentAndRectangleChecks) {
    Fixture f = makeSurface(8, 8, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    const std::vector<std::uint32_t> pixels(64, 0xFF112233);
    const RECT whole = {0, 0, 8, 8};
    struct Case {
        const char* name;
        bool surface;
        bool memory;
        const RECT* sourceRect;
        RECT destRect;
        bool useDestRect;
        D3DFORMAT format;
        DWORD filter;
        HRESULT expected;
    };
    const RECT inverted = {4, 0, 2, 8};
    const RECT negative = {-1, 0, 4, 4};
    const Case cases[] = {
        {"fine", true, true, &whole, {}, false, D3DFMT_A8R8G8B8, D3DX_DEFAULT, D3D_OK},
        {"no surface",
         false,
         true,
         &whole,
         {},
         false,
         D3DFMT_A8R8G8B8,
         D3DX_DEFAULT,
         D3DERR_INVALIDCALL},
        {"no pixels",
         true,
         false,
         &whole,
         {},
         false,
         D3DFMT_A8R8G8B8,
         D3DX_DEFAULT,
         D3DERR_INVALIDCALL},
        {"no source rectangle",
         true,
         true,
         nullptr,
         {},
         false,
         D3DFMT_A8R8G8B8,
         D3DX_DEFAULT,
         D3DERR_INVALIDCALL},
        {"right beyond the surface",
         true,
         true,
         &whole,
         {0, 0, 9, 8},
         true,
         D3DFMT_A8R8G8B8,
         D3DX_DEFAULT,
         D3DERR_INVALIDCALL},
        {"bottom beyond the surface",
         true,
         true,
         &whole,
         {0, 4, 8, 9},
         true,
         D3DFMT_A8R8G8B8,
         D3DX_DEFAULT,
         D3DERR_INVALIDCALL},
        {"inverted destination",
         true,
         true,
         &whole,
         {4, 0, 2, 8},
         true,
         D3DFMT_A8R8G8B8,
         D3DX_DEFAULT,
         D3DERR_INVALIDCALL},
        {"negative destination",
         true,
         true,
         &whole,
         {-1, 0, 4, 4},
         true,
         D3DFMT_A8R8G8B8,
         D3DX_DEFAULT,
         D3DERR_INVALIDCALL},
        {"inverted source",
         true,
         true,
         &inverted,
         {},
         false,
         D3DFMT_A8R8G8B8,
         D3DX_DEFAULT,
         D3DERR_INVALIDCALL},
        {"negative source",
         true,
         true,
         &negative,
         {},
         false,
         D3DFMT_A8R8G8B8,
         D3DX_DEFAULT,
         D3DERR_INVALIDCALL},
        {"filter 6", true, true, &whole, {}, false, D3DFMT_A8R8G8B8, 6, D3DERR_INVALIDCALL},
        {"filter 0x800004",
         true,
         true,
         &whole,
         {},
         false,
         D3DFMT_A8R8G8B8,
         0x800004,
         D3DERR_INVALIDCALL},
        {"source format without converter",
         true,
         true,
         &whole,
         {},
         false,
         D3DFMT_D24S8,
         D3DX_DEFAULT,
         E_FAIL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(D3DXLoadSurfaceFromMemory(c.surface ? f.surface.get() : nullptr, nullptr,
                                            c.useDestRect ? &c.destRect : nullptr,
                                            c.memory ? pixels.data() : nullptr, c.format, 32,
                                            nullptr, c.sourceRect, c.filter, 0),
                  c.expected);
    }
    // The surface is not left locked by any failure.
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(f.surface->LockRect(&locked, nullptr, 0), D3D_OK);
    f.surface->UnlockRect();
}

TEST(LoadSurfaceFromMemory, SubRectangleLeavesTheRestAlone) {
    Fixture f = makeSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    writeSurface32(f.surface.get(), std::vector<std::uint32_t>(16, 0x11111111));
    // A 3x3 image; its centre pixel goes to (2, 1).
    std::vector<std::uint32_t> image(9, 0xFF000000);
    image[4] = 0xFFABCDEF;
    const RECT source = {1, 1, 2, 2};
    const RECT dest = {2, 1, 3, 2};
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(f.surface.get(), nullptr, &dest, image.data(),
                                        D3DFMT_A8R8G8B8, 12, nullptr, &source, D3DX_FILTER_NONE, 0),
              D3D_OK);
    const std::vector<std::uint32_t> after = readSurface32(f.surface.get());
    for (UINT i = 0; i < 16; ++i) {
        EXPECT_EQ(after[i], i == 6 ? 0xFFABCDEFu : 0x11111111u) << i;
    }
}

TEST(LoadSurfaceFromMemory, DxtDestinationIsLockedInWholeBlocks) {
    // DXT1 exists as a scratch texture only; a 2x2 rectangle at (5, 1) sits in the second block.
    Fixture f = makeSurface(8, 8, D3DFMT_DXT1, D3DPOOL_SCRATCH);
    const std::vector<std::uint32_t> red(4, 0xFFFF0000);
    const RECT source = {0, 0, 2, 2};
    const RECT dest = {5, 1, 7, 3};
    ASSERT_EQ(D3DXLoadSurfaceFromMemory(f.surface.get(), nullptr, &dest, red.data(),
                                        D3DFMT_A8R8G8B8, 8, nullptr, &source, D3DX_FILTER_NONE, 0),
              D3D_OK);
    ComRef<IDirect3DTexture9> holder;
    ComRef<IDirect3DSurface9> plain =
        levelOf(f.device.get(), 8, 8, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH, 0, &holder);
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(plain.get(), nullptr, nullptr, f.surface.get(), nullptr,
                                         nullptr, D3DX_FILTER_NONE, 0),
              D3D_OK);
    const std::vector<std::uint32_t> read = readSurface32(plain.get());
    for (UINT y = 0; y < 8; ++y) {
        for (UINT x = 0; x < 8; ++x) {
            const bool inside = x >= 5 && x < 7 && y >= 1 && y < 3;
            // Untouched all-zero blocks read as opaque black.
            EXPECT_EQ(read[y * 8 + x], inside ? 0xFFFF0000u : 0xFF000000u) << x << "," << y;
        }
    }
}

std::vector<std::string> methodsCalled(IDirect3DDevice9* device) {
    std::vector<std::string> methods;
    for (const gfx::CallRecord& call : gfx::callLog(device)) {
        methods.push_back(call.method);
    }
    return methods;
}

bool called(const std::vector<std::string>& methods, const char* name) {
    return std::find(methods.begin(), methods.end(), name) != methods.end();
}

TEST(LoadSurfaceFromSurface, DeviceCopiesSameSizeRectanglesIntoTheDefaultPool) {
    auto device = makeNullDevice(std::nullopt, true);
    ComRef<IDirect3DTexture9> systemTexture;
    ComRef<IDirect3DTexture9> defaultTexture;
    ComRef<IDirect3DTexture9> otherDefault;
    ComRef<IDirect3DSurface9> system =
        levelOf(device.get(), 4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, 0, &systemTexture);
    ComRef<IDirect3DSurface9> target = levelOf(device.get(), 4, 4, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                               D3DUSAGE_DYNAMIC, &defaultTexture);
    ComRef<IDirect3DSurface9> other = levelOf(device.get(), 4, 4, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT,
                                              D3DUSAGE_DYNAMIC, &otherDefault);
    std::vector<std::uint32_t> pixels(16);
    for (UINT i = 0; i < 16; ++i) {
        pixels[i] = 0xFF000000 | i;
    }
    writeSurface32(system.get(), pixels);

    gfx::clearCallLog(device.get());
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(target.get(), nullptr, nullptr, system.get(), nullptr,
                                         nullptr, D3DX_FILTER_TRIANGLE, 0),
              D3D_OK);
    EXPECT_TRUE(called(methodsCalled(device.get()), "UpdateSurface"));
    EXPECT_EQ(readSurface32(target.get()), pixels);

    gfx::clearCallLog(device.get());
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(other.get(), nullptr, nullptr, target.get(), nullptr,
                                         nullptr, D3DX_FILTER_POINT, 0),
              D3D_OK);
    EXPECT_TRUE(called(methodsCalled(device.get()), "StretchRect"));
    EXPECT_EQ(readSurface32(other.get()), pixels);

    // A colour key (or a box filter) keeps the copy on our side.
    gfx::clearCallLog(device.get());
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(other.get(), nullptr, nullptr, system.get(), nullptr,
                                         nullptr, D3DX_FILTER_NONE, 0xFF000000),
              D3D_OK);
    const std::vector<std::string> keyed = methodsCalled(device.get());
    EXPECT_FALSE(called(keyed, "UpdateSurface"));
    EXPECT_FALSE(called(keyed, "StretchRect"));
    EXPECT_EQ(readSurface32(other.get())[0], 0u);
    EXPECT_EQ(readSurface32(other.get())[1], 0xFF000001u);
}

TEST(LoadSurfaceFromSurface, ASurfaceLoadedFromItselfReadsACopy) {
    Fixture f = makeSurface(4, 1, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 0, true);
    writeSurface32(f.surface.get(), {0xFF000001, 0xFF000002, 0xFF000003, 0xFF000004});
    gfx::clearCallLog(f.device.get());
    const RECT source = {0, 0, 3, 1};
    const RECT dest = {1, 0, 4, 1};
    ASSERT_EQ(D3DXLoadSurfaceFromSurface(f.surface.get(), nullptr, &dest, f.surface.get(), nullptr,
                                         &source, D3DX_FILTER_NONE, 0),
              D3D_OK);
    // Shifted by one without smearing the first pixel along.
    EXPECT_EQ(readSurface32(f.surface.get()),
              (std::vector<std::uint32_t>{0xFF000001, 0xFF000001, 0xFF000002, 0xFF000003}));
    bool temporary = false;
    for (const gfx::CallRecord& call : gfx::callLog(f.device.get())) {
        if (call.method == "CreateTexture" && call.values.size() >= 6 &&
            call.values[5] == D3DPOOL_SYSTEMMEM) {
            temporary = true;
        }
    }
    EXPECT_TRUE(temporary);
}

TEST(LoadSurfaceFromSurface, RectanglesAreChecked) {
    Fixture f = makeSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED);
    ComRef<IDirect3DTexture9> holder;
    ComRef<IDirect3DSurface9> other =
        levelOf(f.device.get(), 4, 4, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, 0, &holder);
    const RECT outside = {0, 0, 5, 4};
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(f.surface.get(), nullptr, nullptr, other.get(), nullptr,
                                         &outside, D3DX_DEFAULT, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(f.surface.get(), nullptr, &outside, other.get(), nullptr,
                                         nullptr, D3DX_DEFAULT, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(nullptr, nullptr, nullptr, other.get(), nullptr, nullptr,
                                         D3DX_DEFAULT, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadSurfaceFromSurface(f.surface.get(), nullptr, nullptr, nullptr, nullptr,
                                         nullptr, D3DX_DEFAULT, 0),
              D3DERR_INVALIDCALL);
}

TEST(LoadVolume, FromMemoryIntoABoxAndFromAnotherVolume) {
    auto device = makeNullDevice();
    ComRef<IDirect3DVolumeTexture9> texture;
    ASSERT_EQ(device->CreateVolumeTexture(2, 2, 3, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                          texture.put(), nullptr),
              D3D_OK);
    ComRef<IDirect3DVolume9> volume;
    ASSERT_EQ(texture->GetVolumeLevel(0, volume.put()), D3D_OK);
    // One pixel into the middle slice's bottom-right corner.
    const std::uint32_t pixel = 0xFF445566;
    const D3DBOX source = {0, 0, 1, 1, 0, 1};
    const D3DBOX dest = {1, 1, 2, 2, 1, 2};
    ASSERT_EQ(D3DXLoadVolumeFromMemory(volume.get(), nullptr, &dest, &pixel, D3DFMT_A8R8G8B8, 4, 4,
                                       nullptr, &source, D3DX_FILTER_NONE, 0),
              D3D_OK);
    const D3DBOX outside = {0, 0, 2, 2, 0, 4};
    EXPECT_EQ(D3DXLoadVolumeFromMemory(volume.get(), nullptr, &outside, &pixel, D3DFMT_A8R8G8B8, 4,
                                       4, nullptr, &source, D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DXLoadVolumeFromMemory(volume.get(), nullptr, nullptr, &pixel, D3DFMT_A8R8G8B8, 4,
                                       4, nullptr, nullptr, D3DX_FILTER_NONE, 0),
              D3DERR_INVALIDCALL);

    // Copy it whole into an X8R8G8B8 volume and look at the slices there.
    ComRef<IDirect3DVolumeTexture9> copyTexture;
    ASSERT_EQ(device->CreateVolumeTexture(2, 2, 3, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED,
                                          copyTexture.put(), nullptr),
              D3D_OK);
    ComRef<IDirect3DVolume9> copy;
    ASSERT_EQ(copyTexture->GetVolumeLevel(0, copy.put()), D3D_OK);
    ASSERT_EQ(D3DXLoadVolumeFromVolume(copy.get(), nullptr, nullptr, volume.get(), nullptr, nullptr,
                                       D3DX_DEFAULT, 0),
              D3D_OK);
    D3DLOCKED_BOX locked{};
    ASSERT_EQ(copy->LockBox(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (UINT z = 0; z < 3; ++z) {
        for (UINT y = 0; y < 2; ++y) {
            for (UINT x = 0; x < 2; ++x) {
                std::uint32_t value = 0;
                std::memcpy(&value,
                            static_cast<const BYTE*>(locked.pBits) +
                                std::size_t{z} * locked.SlicePitch +
                                std::size_t{y} * locked.RowPitch + x * 4u,
                            4);
                const bool target = x == 1 && y == 1 && z == 1;
                EXPECT_EQ(value & 0xFFFFFF, target ? 0x445566u : 0u) << x << y << z;
            }
        }
    }
    copy->UnlockBox();
}

TEST(DebugMute, RegistryValueOptsOut) {
    const struct {
        const char* text;
        bool optOut;
    } cases[] = {{"1", true}, {"0x10", true}, {"0", false}, {"yes", false}};
    for (const auto& c : cases) {
        base::MapEnvironment environment{{"D3DXDoNotMute", c.text}};
        base::ScopedEnvironment scope(&environment);
        EXPECT_EQ(detail::readDoNotMute(), c.optOut) << c.text;
    }
    base::MapEnvironment empty;
    base::ScopedEnvironment scope(&empty);
    EXPECT_FALSE(detail::readDoNotMute());
}

} // namespace
} // namespace halv::texture::testing
