// Draw-call rate and the dynamic-buffer refill cycle on the headless GL renderer (and the
// device's own cost on the null renderer).
#include "gfx/device.h"
#include "gfx/device_factory.h"
#include "gfx/inspection.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace halv::gfx {
namespace {

using base::ComRef;

struct PointVertex {
    float x, y, z;
    D3DCOLOR color;
};

const D3DMATRIX kIdentity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

// Draws between presents, so the renderer's queue stays bounded as in a frame.
constexpr int kDrawsPerFrame = 256;
constexpr UINT kTriangles = 100;

bool makeDevice(benchmark::State& state, bool headless, ComRef<IDirect3DDevice9>* device) {
    DeviceSetup setup;
    setup.width = 128;
    setup.height = 128;
    const HRESULT hr = headless ? createHeadlessDevice(setup, device->put())
                                : createNullDevice(setup, device->put());
    if (FAILED(hr)) {
        state.SkipWithError("no EGL surfaceless display or OpenGL 3.3 context");
        return false;
    }
    (*device)->SetTransform(D3DTS_WORLD, &kIdentity);
    (*device)->SetRenderState(D3DRS_LIGHTING, FALSE);
    return true;
}

// Waits until the renderer has drawn everything (a read-back cannot finish earlier).
void drain(IDirect3DDevice9* device) {
    BackBufferImage image;
    readBackBuffer(device, &image);
}

// 100 small triangles spread over the target.
std::vector<PointVertex> triangles() {
    std::vector<PointVertex> vertices;
    for (int i = 0; i < 100; ++i) {
        const float x = -0.9f + 0.18f * static_cast<float>(i % 10);
        const float y = -0.9f + 0.18f * static_cast<float>(i / 10);
        vertices.push_back({x, y, 0.5f, 0xFF80C040});
        vertices.push_back({x, y + 0.15f, 0.5f, 0xFF80C040});
        vertices.push_back({x + 0.15f, y, 0.5f, 0xFF80C040});
    }
    return vertices;
}

void drawCalls(benchmark::State& state, bool headless) {
    ComRef<IDirect3DDevice9> device;
    if (!makeDevice(state, headless, &device)) {
        return;
    }
    const std::vector<PointVertex> vertices = triangles();
    const UINT bytes = static_cast<UINT>(vertices.size() * sizeof(PointVertex));
    ComRef<IDirect3DVertexBuffer9> buffer;
    device->CreateVertexBuffer(bytes, D3DUSAGE_WRITEONLY, D3DFVF_XYZ | D3DFVF_DIFFUSE,
                               D3DPOOL_MANAGED, buffer.put(), nullptr);
    void* data = nullptr;
    buffer->Lock(0, 0, &data, 0);
    std::memcpy(data, vertices.data(), bytes);
    buffer->Unlock();
    device->SetStreamSource(0, buffer.get(), 0, sizeof(PointVertex));
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->BeginScene();
    // The first draws build the driver's shader variants; they are not what is measured.
    for (const D3DCULL cull : {D3DCULL_NONE, D3DCULL_CCW}) {
        device->SetRenderState(D3DRS_CULLMODE, cull);
        device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, kTriangles);
    }
    drain(device.get());
    int draws = 0;
    for (auto _ : state) {
        // One state change per draw, as the scene's passes do.
        device->SetRenderState(D3DRS_CULLMODE, (draws & 1) != 0 ? D3DCULL_NONE : D3DCULL_CCW);
        device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, kTriangles);
        if (++draws % kDrawsPerFrame == 0) {
            device->EndScene();
            device->Present(nullptr, nullptr, nullptr, nullptr);
            device->BeginScene();
        }
    }
    device->EndScene();
    drain(device.get());
    state.SetItemsProcessed(state.iterations());
    state.counters["draws_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void dynamicBufferCycle(benchmark::State& state, bool headless) {
    ComRef<IDirect3DDevice9> device;
    if (!makeDevice(state, headless, &device)) {
        return;
    }
    // The debris buffer: 3000 points of 16 bytes.
    constexpr UINT kPoints = 3000;
    constexpr UINT kBytes = kPoints * sizeof(PointVertex);
    ComRef<IDirect3DVertexBuffer9> buffer;
    device->CreateVertexBuffer(kBytes, D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC | D3DUSAGE_POINTS,
                               D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPOOL_DEFAULT, buffer.put(), nullptr);
    device->SetStreamSource(0, buffer.get(), 0, sizeof(PointVertex));
    device->SetFVF(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    device->BeginScene();
    void* warm = nullptr;
    buffer->Lock(0, 0, &warm, D3DLOCK_DISCARD);
    std::memset(warm, 0, kBytes);
    buffer->Unlock();
    device->DrawPrimitive(D3DPT_POINTLIST, 0, kPoints);
    drain(device.get());
    float phase = 0.0f;
    int cycles = 0;
    for (auto _ : state) {
        void* data = nullptr;
        buffer->Lock(0, kBytes, &data, D3DLOCK_DISCARD);
        auto* points = static_cast<PointVertex*>(data);
        for (UINT i = 0; i < kPoints; ++i) {
            const float angle = static_cast<float>(i) * 0.002f + phase;
            points[i] = {std::cos(angle) * 0.8f, std::sin(angle) * 0.8f, 0.5f, 0xFFFFFFFF};
        }
        buffer->Unlock();
        device->DrawPrimitive(D3DPT_POINTLIST, 0, kPoints);
        phase += 0.01f;
        if (++cycles % 16 == 0) {
            device->EndScene();
            device->Present(nullptr, nullptr, nullptr, nullptr);
            device->BeginScene();
        }
    }
    device->EndScene();
    drain(device.get());
    state.SetBytesProcessed(state.iterations() * kBytes);
    state.counters["cycles_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DrawCallsHeadless(benchmark::State& state) {
    drawCalls(state, true);
}
void BM_DrawCallsNullRenderer(benchmark::State& state) {
    drawCalls(state, false);
}
void BM_DynamicBufferCycleHeadless(benchmark::State& state) {
    dynamicBufferCycle(state, true);
}
void BM_DynamicBufferCycleNullRenderer(benchmark::State& state) {
    dynamicBufferCycle(state, false);
}

BENCHMARK(BM_DrawCallsHeadless)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_DrawCallsNullRenderer)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DynamicBufferCycleHeadless)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_DynamicBufferCycleNullRenderer)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace halv::gfx

BENCHMARK_MAIN();
