// Helpers shared by the texture creation, surface loading and conversion tests: null devices
// with a chosen adapter profile, generated RGB PNGs, and reading levels back.
#pragma once

#include "base/com.h"
#include "gfx/device_factory.h"
#include "tests/texture/image_writers.h"
#include "texture/pixel_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <optional>
#include <vector>

namespace halv::texture::testing {

using base::ComRef;

inline ComRef<IDirect3DDevice9> makeNullDevice(std::optional<gfx::AdapterProfile> profile = {},
                                               bool logCalls = false) {
    gfx::DeviceSetup setup;
    setup.profile = std::move(profile);
    setup.logCalls = logCalls;
    ComRef<IDirect3DDevice9> device;
    EXPECT_EQ(gfx::createNullDevice(setup, device.put()), D3D_OK);
    return device;
}

using RgbFunction = std::function<std::array<std::uint8_t, 3>(std::uint32_t, std::uint32_t)>;

// An 8-bit RGB PNG whose pixel (x, y) is colour(x, y).
inline Bytes rgbPng(std::uint32_t width, std::uint32_t height, const RgbFunction& colour) {
    PngOptions options;
    options.width = width;
    options.height = height;
    options.samples.resize(std::size_t{width} * height * 3);
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            const auto rgb = colour(x, y);
            std::memcpy(&options.samples[(std::size_t{y} * width + x) * 3], rgb.data(), 3);
        }
    }
    return writePng(options);
}

// The texture-like pattern, with every 7th pixel (in a diagonal pattern) opaque black.
inline std::array<std::uint8_t, 3> patternWithBlack(std::uint32_t x, std::uint32_t y) {
    if ((x + 3 * y) % 7 == 0) {
        return {0, 0, 0};
    }
    // Never black otherwise: the red channel is at least 1.
    return {static_cast<std::uint8_t>(patternSample(x, y, 0) | 1), patternSample(x, y, 1),
            patternSample(x, y, 2)};
}

// A level of 32-bit pixels read back through a lock, row by row.
struct Level32 {
    UINT width = 0;
    UINT height = 0;
    std::vector<std::uint32_t> pixels;

    std::uint32_t at(UINT x, UINT y) const { return pixels[std::size_t{y} * width + x]; }
};

inline Level32 readLevel32(IDirect3DTexture9* texture, UINT level) {
    Level32 out;
    D3DSURFACE_DESC desc{};
    EXPECT_EQ(texture->GetLevelDesc(level, &desc), D3D_OK);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->LockRect(level, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    out.width = desc.Width;
    out.height = desc.Height;
    out.pixels.resize(std::size_t{desc.Width} * desc.Height);
    for (UINT y = 0; y < desc.Height; ++y) {
        std::memcpy(&out.pixels[std::size_t{y} * desc.Width],
                    static_cast<const BYTE*>(locked.pBits) + std::size_t{y} * locked.Pitch,
                    std::size_t{desc.Width} * 4);
    }
    texture->UnlockRect(level);
    return out;
}

// (a + b + c + d + 2) >> 2 in every byte.
inline std::uint32_t boxAverage(std::uint32_t a, std::uint32_t b, std::uint32_t c,
                                std::uint32_t d) {
    std::uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t sum = ((a >> shift) & 0xFF) + ((b >> shift) & 0xFF) +
                                  ((c >> shift) & 0xFF) + ((d >> shift) & 0xFF);
        result |= ((sum + 2) >> 2) << shift;
    }
    return result;
}

// A view over a tightly packed 2D block of pixels.
inline PixelView packedView(void* pixels, D3DFORMAT format, UINT width, UINT height,
                            UINT bytesPerPixel, const PALETTEENTRY* palette = nullptr) {
    PixelView view;
    view.pixels = static_cast<BYTE*>(pixels);
    view.format = format;
    view.rowPitch = width * bytesPerPixel;
    view.slicePitch = view.rowPitch * height;
    view.right = width;
    view.bottom = height;
    view.palette = palette;
    return view;
}

} // namespace halv::texture::testing
