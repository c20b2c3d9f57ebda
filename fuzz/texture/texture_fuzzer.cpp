// libFuzzer target over texture creation from a file in memory: the first bytes choose the
// entry point (2D, cube, volume) and its size, level, format, pool, usage, filter and colour
// key arguments (texture_arguments.h), the rest is the file. Every level made is read back.
#include "base/com.h"
#include "fuzz/texture/texture_arguments.h"
#include "gfx/device_factory.h"
#include "texture/image_info.h"
#include "texture/pixel_codec.h"
#include "texture/texture_loader.h"

#include <bit>
#include <cstddef>
#include <cstdint>

namespace {

using halv::base::ComRef;
using namespace halv::texture::fuzzing;

// Files are decoded only up to this many pixels, and textures made only up to this many
// texels in their top level: the resampling cost grows with both, and a few header bytes (or
// size arguments) can claim any size.
constexpr std::uint64_t kMaxPixels = 1u << 16;
constexpr std::uint64_t kMaxTexels = 1u << 18;

// The size a size argument asks for against the image's (before the device's limits).
std::uint64_t requested(UINT argument, UINT image) {
    if (argument == D3DX_DEFAULT_NONPOW2 || argument == D3DX_FROM_FILE) {
        return image;
    }
    if (argument == 0 || argument == D3DX_DEFAULT) {
        return std::bit_ceil(std::uint64_t{image});
    }
    return argument;
}

// Process-wide: keeps the reads below from being optimised away.
volatile unsigned gSink = 0;

IDirect3DDevice9* device() {
    // Process-wide: one null device serves every input.
    static IDirect3DDevice9* const shared = [] {
        IDirect3DDevice9* made = nullptr;
        return SUCCEEDED(halv::gfx::createNullDevice({}, &made)) ? made : nullptr;
    }();
    return shared;
}

UINT rowsOf(D3DFORMAT format, UINT height) {
    return halv::texture::isBlockCompressed(format) ? (height + 3) / 4 : height;
}

void touch(const void* bits, INT pitch, UINT rows) {
    unsigned sum = 0;
    const auto* bytes = static_cast<const std::uint8_t*>(bits);
    for (std::size_t i = 0; i < static_cast<std::size_t>(pitch) * rows; ++i) {
        sum += bytes[i];
    }
    gSink = gSink + sum;
}

void touchTexture(IDirect3DTexture9* texture) {
    for (UINT level = 0; level < texture->GetLevelCount(); ++level) {
        D3DSURFACE_DESC desc{};
        D3DLOCKED_RECT locked{};
        if (SUCCEEDED(texture->GetLevelDesc(level, &desc)) &&
            SUCCEEDED(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY))) {
            touch(locked.pBits, locked.Pitch, rowsOf(desc.Format, desc.Height));
            texture->UnlockRect(level);
        }
    }
}

void touchCube(IDirect3DCubeTexture9* cube) {
    for (UINT face = 0; face < 6; ++face) {
        for (UINT level = 0; level < cube->GetLevelCount(); ++level) {
            const auto cubeFace = static_cast<D3DCUBEMAP_FACES>(face);
            D3DSURFACE_DESC desc{};
            D3DLOCKED_RECT locked{};
            if (SUCCEEDED(cube->GetLevelDesc(level, &desc)) &&
                SUCCEEDED(cube->LockRect(cubeFace, level, &locked, nullptr, D3DLOCK_READONLY))) {
                touch(locked.pBits, locked.Pitch, rowsOf(desc.Format, desc.Height));
                cube->UnlockRect(cubeFace, level);
            }
        }
    }
}

void touchVolume(IDirect3DVolumeTexture9* volume) {
    for (UINT level = 0; level < volume->GetLevelCount(); ++level) {
        D3DVOLUME_DESC desc{};
        D3DLOCKED_BOX locked{};
        if (SUCCEEDED(volume->GetLevelDesc(level, &desc)) &&
            SUCCEEDED(volume->LockBox(level, &locked, nullptr, D3DLOCK_READONLY))) {
            touch(locked.pBits, locked.SlicePitch, desc.Depth);
            volume->UnlockBox(level);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size <= kArgumentBytes || size - kArgumentBytes > 0xFFFFFFFFu || device() == nullptr) {
        return 0;
    }
    const Arguments arguments = decodeArguments(data);
    const std::uint8_t* file = data + kArgumentBytes;
    const auto fileSize = static_cast<UINT>(size - kArgumentBytes);
    D3DXIMAGE_INFO info{};
    if (FAILED(D3DXGetImageInfoFromFileInMemory(file, fileSize, &info)) ||
        std::uint64_t{info.Width} * info.Height * info.Depth > kMaxPixels || info.Width > 4096 ||
        info.Height > 4096) {
        return 0;
    }
    const std::uint64_t depth =
        arguments.shape == Shape::kVolume ? requested(arguments.depth, info.Depth) : 1;
    if (requested(arguments.width, info.Width) * requested(arguments.height, info.Height) * depth >
        kMaxTexels) {
        return 0;
    }
    PALETTEENTRY palette[256];
    PALETTEENTRY* const paletteOut = arguments.palette ? palette : nullptr;
    D3DXIMAGE_INFO sourceInfo{};
    switch (arguments.shape) {
    case Shape::kTexture: {
        ComRef<IDirect3DTexture9> texture;
        if (SUCCEEDED(D3DXCreateTextureFromFileInMemoryEx(
                device(), file, fileSize, arguments.width, arguments.height, arguments.levels,
                arguments.usage, arguments.format, arguments.pool, arguments.filter,
                arguments.mipFilter, arguments.colorKey, &sourceInfo, paletteOut, texture.put()))) {
            touchTexture(texture.get());
        }
        break;
    }
    case Shape::kCube: {
        ComRef<IDirect3DCubeTexture9> cube;
        if (SUCCEEDED(D3DXCreateCubeTextureFromFileInMemoryEx(
                device(), file, fileSize, arguments.width, arguments.levels, arguments.usage,
                arguments.format, arguments.pool, arguments.filter, arguments.mipFilter,
                arguments.colorKey, &sourceInfo, paletteOut, cube.put()))) {
            touchCube(cube.get());
        }
        break;
    }
    case Shape::kVolume: {
        ComRef<IDirect3DVolumeTexture9> volume;
        if (SUCCEEDED(D3DXCreateVolumeTextureFromFileInMemoryEx(
                device(), file, fileSize, arguments.width, arguments.height, arguments.depth,
                arguments.levels, arguments.usage, arguments.format, arguments.pool,
                arguments.filter, arguments.mipFilter, arguments.colorKey, &sourceInfo, paletteOut,
                volume.put()))) {
            touchVolume(volume.get());
        }
        break;
    }
    }
    return 0;
}
