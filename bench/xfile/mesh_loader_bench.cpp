// Loading the station model with D3DXLoadMeshFromXInMemory on the null device, whole and split
// into reading (the parse) and building (frames, mesh assembly, sort): the station-shaped text of
// the reader's benchmark and the real resources/VORNK.x. Also the program's firing cone.
#include "gfx/device_factory.h"
#include "tests/xfile/support/station_model_text.h"
#include "tests/xfile/support/xfile_test_support.h"
#include "xfile/detail/mesh_assembly.h"
#include "xfile/mesh_loader.h"
#include "xfile/shapes.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace halv::xfile::fixtures {
namespace {

using base::ComRef;

const std::string& stationText() {
    static const std::string text = makeStationModelText();
    return text;
}

const std::string& vornkText() {
    static const std::string text = [] {
        std::ifstream in(HALV_RESOURCE_DIR "/VORNK.x", std::ios::binary);
        std::string contents((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
        if (contents.empty()) {
            std::abort();
        }
        return contents;
    }();
    return text;
}

IDirect3DDevice9* device() {
    // Process-wide: one null device for every benchmark.
    static IDirect3DDevice9* created = [] {
        IDirect3DDevice9* made = nullptr;
        if (FAILED(gfx::createNullDevice({}, &made))) {
            std::abort();
        }
        return made;
    }();
    return created;
}

// What the model object asks for: materials, their count and the mesh.
void wholeLoad(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        ComRef<ID3DXMesh> mesh;
        ComRef<ID3DXBuffer> materials;
        DWORD count = 0;
        if (FAILED(D3DXLoadMeshFromXInMemory(text.data(), static_cast<DWORD>(text.size()),
                                             D3DXMESH_SYSTEMMEM, device(), nullptr, materials.put(),
                                             nullptr, &count, mesh.put()))) {
            std::abort();
        }
        benchmark::DoNotOptimize(mesh.get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["file_MB"] = static_cast<double>(text.size()) / 1e6;
}

ComRef<ID3DXFileEnumObject> read(const std::string& text) {
    ComRef<ID3DXFile> reader = makeReader();
    ComRef<ID3DXFileEnumObject> parsed;
    if (FAILED(parseText(reader.get(), text, &parsed))) {
        std::abort();
    }
    return parsed;
}

// The reader's share: a new reader, the three template sets and the parse.
void readOnly(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(read(text).get());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

// The assembly's share, from an already parsed file.
void buildOnly(benchmark::State& state, const std::string& text) {
    ComRef<ID3DXFileEnumObject> parsed = read(text);
    detail::LoadRequest request;
    request.adjacency = false;
    request.effectInstances = false;
    DWORD faces = 0;
    for (auto _ : state) {
        detail::LoadedMesh loaded;
        if (FAILED(detail::assembleMesh(parsed.get(), D3DXMESH_SYSTEMMEM, device(), request,
                                        &loaded))) {
            std::abort();
        }
        faces = loaded.mesh->GetNumFaces();
    }
    state.counters["faces"] = faces;
}

void BM_StationTextLoad(benchmark::State& state) {
    wholeLoad(state, stationText());
}
BENCHMARK(BM_StationTextLoad)->Unit(benchmark::kMillisecond);

void BM_StationTextRead(benchmark::State& state) {
    readOnly(state, stationText());
}
BENCHMARK(BM_StationTextRead)->Unit(benchmark::kMillisecond);

void BM_StationTextBuild(benchmark::State& state) {
    buildOnly(state, stationText());
}
BENCHMARK(BM_StationTextBuild)->Unit(benchmark::kMillisecond);

void BM_VornkLoad(benchmark::State& state) {
    wholeLoad(state, vornkText());
}
BENCHMARK(BM_VornkLoad)->Unit(benchmark::kMillisecond);

void BM_VornkRead(benchmark::State& state) {
    readOnly(state, vornkText());
}
BENCHMARK(BM_VornkRead)->Unit(benchmark::kMillisecond);

void BM_VornkBuild(benchmark::State& state) {
    buildOnly(state, vornkText());
}
BENCHMARK(BM_VornkBuild)->Unit(benchmark::kMillisecond);

void BM_ProgramCone(benchmark::State& state) {
    for (auto _ : state) {
        ComRef<ID3DXMesh> cone;
        if (FAILED(D3DXCreateCylinder(device(), 0.0f, 0.3f, 0.7f, 8, 1, cone.put(), nullptr))) {
            std::abort();
        }
        benchmark::DoNotOptimize(cone.get());
    }
}
BENCHMARK(BM_ProgramCone)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace halv::xfile::fixtures

BENCHMARK_MAIN();
