// Texture creation on the null renderer: the program's own call over every PNG it ships, the
// same work split into decode, top-level resample and mip chain, and the two resampling goals
// (triangle 800x800 -> 1024x1024, integer box mip chain of 1024x1024).
#include "base/com.h"
#include "gfx/device_factory.h"
#include "tests/texture/image_writers.h"
#include "texture/detail/box_filter.h"
#include "texture/image_decoder.h"
#include "texture/surface_loader.h"
#include "texture/texture_loader.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using halv::base::ComRef;
using Clock = std::chrono::steady_clock;

struct ShippedTexture {
    std::string name;
    std::vector<unsigned char> bytes;
};

// The PNG resources of the source tree (149-157, 160-211), read once.
const std::vector<ShippedTexture>& shippedTextures() {
    // Process-wide: the files are read once and shared by every benchmark.
    static const std::vector<ShippedTexture> files = [] {
        std::vector<ShippedTexture> out;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(HALV_TEXTURE_DIR, error)) {
            if (entry.path().extension() != ".png") {
                continue;
            }
            std::ifstream in(entry.path(), std::ios::binary);
            out.push_back({entry.path().filename().string(),
                           std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                                      std::istreambuf_iterator<char>())});
        }
        std::sort(out.begin(), out.end(),
                  [](const ShippedTexture& a, const ShippedTexture& b) { return a.name < b.name; });
        return out;
    }();
    return files;
}

ComRef<IDirect3DDevice9> nullDevice() {
    ComRef<IDirect3DDevice9> device;
    if (FAILED(halv::gfx::createNullDevice({}, device.put()))) {
        return {};
    }
    return device;
}

HRESULT programCall(IDirect3DDevice9* device, const std::vector<unsigned char>& file,
                    IDirect3DTexture9** texture) {
    return D3DXCreateTextureFromFileInMemoryEx(
        device, file.data(), static_cast<UINT>(file.size()), D3DX_DEFAULT, D3DX_DEFAULT, 0, 0,
        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE, D3DX_FILTER_BOX, 0xFF000000, nullptr,
        nullptr, texture);
}

bool haveTextures(benchmark::State& state) {
    if (shippedTextures().empty()) {
        state.SkipWithError("no PNG files under " HALV_TEXTURE_DIR);
        return false;
    }
    return true;
}

// The whole call, as the model object and the scene make it, on every shipped PNG.
void BM_ProgramCallAllShipped(benchmark::State& state) {
    auto device = nullDevice();
    if (!device || !haveTextures(state)) {
        return;
    }
    for (auto _ : state) {
        for (const ShippedTexture& file : shippedTextures()) {
            ComRef<IDirect3DTexture9> texture;
            if (FAILED(programCall(device.get(), file.bytes, texture.put()))) {
                state.SkipWithError(("texture call failed on " + file.name).c_str());
                return;
            }
        }
    }
    state.counters["files"] = static_cast<double>(shippedTextures().size());
}
BENCHMARK(BM_ProgramCallAllShipped)->Unit(benchmark::kMillisecond);

// The same work in its three phases, each timed on its own: decoding, creating the texture and
// loading its top level (colour key, and the triangle resample for non-power-of-two images),
// and the box mip chain. The counters give each phase's share of their sum.
void BM_ProgramCallPhases(benchmark::State& state) {
    auto device = nullDevice();
    if (!device || !haveTextures(state)) {
        return;
    }
    double decodeSeconds = 0;
    double topSeconds = 0;
    double mipSeconds = 0;
    for (auto _ : state) {
        for (const ShippedTexture& file : shippedTextures()) {
            const auto start = Clock::now();
            halv::texture::DecodedImage image;
            if (FAILED(halv::texture::LoadImageFromMemory(&image, file.bytes.data(),
                                                          static_cast<UINT>(file.bytes.size()),
                                                          nullptr, true))) {
                state.SkipWithError(("decode failed on " + file.name).c_str());
                return;
            }
            const auto decoded = Clock::now();
            const UINT width = std::bit_ceil(image.width);
            const UINT height = std::bit_ceil(image.height);
            ComRef<IDirect3DTexture9> texture;
            ComRef<IDirect3DSurface9> top;
            const RECT rect = {0, 0, static_cast<LONG>(image.width),
                               static_cast<LONG>(image.height)};
            if (FAILED(device->CreateTexture(width, height, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                             texture.put(), nullptr)) ||
                FAILED(texture->GetSurfaceLevel(0, top.put())) ||
                FAILED(D3DXLoadSurfaceFromMemory(top.get(), nullptr, nullptr, image.pixels,
                                                 image.format, image.rowPitch, nullptr, &rect,
                                                 D3DX_FILTER_TRIANGLE, 0xFF000000))) {
                state.SkipWithError(("top level failed on " + file.name).c_str());
                return;
            }
            const auto loaded = Clock::now();
            if (FAILED(D3DXFilterTexture(texture.get(), nullptr, 0, D3DX_FILTER_BOX))) {
                state.SkipWithError(("mip chain failed on " + file.name).c_str());
                return;
            }
            const auto filtered = Clock::now();
            decodeSeconds += std::chrono::duration<double>(decoded - start).count();
            topSeconds += std::chrono::duration<double>(loaded - decoded).count();
            mipSeconds += std::chrono::duration<double>(filtered - loaded).count();
        }
    }
    const double total = decodeSeconds + topSeconds + mipSeconds;
    if (total > 0) {
        state.counters["decode%"] = 100.0 * decodeSeconds / total;
        state.counters["resample%"] = 100.0 * topSeconds / total;
        state.counters["mips%"] = 100.0 * mipSeconds / total;
    }
}
BENCHMARK(BM_ProgramCallPhases)->Unit(benchmark::kMillisecond);

// An 800x800 X8R8G8B8 image with opaque black in it, as the 800x800 resource decodes.
const std::vector<std::uint32_t>& image800() {
    // Process-wide: made once.
    static const std::vector<std::uint32_t> pixels = [] {
        std::vector<std::uint32_t> out(800 * 800);
        for (std::uint32_t y = 0; y < 800; ++y) {
            for (std::uint32_t x = 0; x < 800; ++x) {
                const bool black = (x * 7 + y * 13) % 11 == 0;
                out[y * 800 + x] =
                    black
                        ? 0xFF000000u
                        : 0xFF000000u |
                              (std::uint32_t{halv::texture::testing::patternSample(x, y, 0)}
                               << 16) |
                              (std::uint32_t{halv::texture::testing::patternSample(x, y, 1)} << 8) |
                              halv::texture::testing::patternSample(x, y, 2);
            }
        }
        return out;
    }();
    return pixels;
}

// Goal: under 15 ms. The program's top-level load of its 800x800 image.
void BM_Triangle800To1024(benchmark::State& state) {
    auto device = nullDevice();
    ComRef<IDirect3DTexture9> texture;
    ComRef<IDirect3DSurface9> top;
    if (!device ||
        FAILED(device->CreateTexture(1024, 1024, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                     texture.put(), nullptr)) ||
        FAILED(texture->GetSurfaceLevel(0, top.put()))) {
        state.SkipWithError("no texture");
        return;
    }
    const RECT rect = {0, 0, 800, 800};
    for (auto _ : state) {
        if (FAILED(D3DXLoadSurfaceFromMemory(top.get(), nullptr, nullptr, image800().data(),
                                             D3DFMT_X8R8G8B8, 800 * 4, nullptr, &rect,
                                             D3DX_FILTER_TRIANGLE, 0xFF000000))) {
            state.SkipWithError("load failed");
            return;
        }
    }
    state.counters["goal_ms"] = 15;
}
BENCHMARK(BM_Triangle800To1024)->Unit(benchmark::kMillisecond);

// Goal: under 3 ms. The 1024x1024 A8R8G8B8 mip chain (10 levels below the top) with the
// integer box average.
void BM_BoxMipChain1024(benchmark::State& state) {
    auto device = nullDevice();
    ComRef<IDirect3DTexture9> texture;
    D3DLOCKED_RECT locked{};
    if (!device ||
        FAILED(device->CreateTexture(1024, 1024, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                     texture.put(), nullptr)) ||
        FAILED(texture->LockRect(0, &locked, nullptr, 0))) {
        state.SkipWithError("no texture");
        return;
    }
    for (UINT y = 0; y < 1024; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<BYTE*>(locked.pBits) +
                                                     std::size_t{y} * locked.Pitch);
        for (UINT x = 0; x < 1024; ++x) {
            row[x] = 0xFF000000u | ((x * 2654435761u >> 8) ^ (y * 40503u));
        }
    }
    texture->UnlockRect(0);
    for (auto _ : state) {
        if (FAILED(D3DXFilterTexture(texture.get(), nullptr, 0, D3DX_FILTER_BOX))) {
            state.SkipWithError("filter failed");
            return;
        }
    }
    state.counters["goal_ms"] = 3;
}
BENCHMARK(BM_BoxMipChain1024)->Unit(benchmark::kMillisecond);

// The 2x2 averages alone over a 1024x1024 chain, plain against SSE2 (arg 1), both exact.
void BM_BoxAverageRoutine(benchmark::State& state) {
    const halv::texture::detail::BoxRow8888 routine = state.range(0) == 0
                                                          ? &halv::texture::detail::boxRow8888Plain
                                                          : halv::texture::detail::boxRow8888Sse2();
    if (routine == nullptr) {
        state.SkipWithError("no SSE2 routine on this processor");
        return;
    }
    // One buffer per level, 1024x1024 down to 1x1.
    std::vector<std::vector<BYTE>> levels;
    for (UINT size = 1024; size >= 1; size /= 2) {
        levels.emplace_back(std::size_t{size} * size * 4);
    }
    for (std::size_t i = 0; i < levels[0].size(); ++i) {
        levels[0][i] = static_cast<BYTE>(i * 2654435761u >> 13);
    }
    for (auto _ : state) {
        UINT size = 1024;
        for (std::size_t level = 1; level < levels.size(); ++level, size /= 2) {
            const UINT half = size / 2;
            const BYTE* from = levels[level - 1].data();
            BYTE* to = levels[level].data();
            for (UINT y = 0; y < half; ++y) {
                const BYTE* upper = from + std::size_t{2 * y} * size * 4;
                routine(upper, upper + std::size_t{size} * 4, to + std::size_t{y} * half * 4, half);
            }
        }
        benchmark::DoNotOptimize(levels.back().data());
    }
    state.SetLabel(state.range(0) == 0 ? "plain" : "sse2");
}
BENCHMARK(BM_BoxAverageRoutine)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
