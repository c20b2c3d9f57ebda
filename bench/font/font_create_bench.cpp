// The program's font creation on a null device: the face match, opening and sizing the face,
// the metrics and the cache check, then the release.
#include "font/font.h"
#include "gfx/device_factory.h"

#include <benchmark/benchmark.h>

namespace {

using halv::base::ComRef;

void BM_ProgramFont(benchmark::State& state) {
    ComRef<IDirect3DDevice9> device;
    if (FAILED(halv::gfx::createNullDevice({}, device.put()))) {
        state.SkipWithError("no null device");
        return;
    }
    for (auto _ : state) {
        ComRef<ID3DXFont> font;
        const HRESULT hr = D3DXCreateFontW(device.get(), 15, 0, 700, 1, FALSE, DEFAULT_CHARSET, 0,
                                           0, 0, u"Arial", font.put());
        if (FAILED(hr)) {
            state.SkipWithError("no face for Arial");
            return;
        }
        benchmark::DoNotOptimize(font.get());
    }
}
BENCHMARK(BM_ProgramFont)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
