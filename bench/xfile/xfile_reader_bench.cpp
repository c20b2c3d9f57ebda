// Reading the station-shaped model: CreateEnumObject and a walk of every object with Lock,
// from text, binary-free compressed text, and with the reader's creation included.
#include "tests/xfile/support/station_model_text.h"
#include "tests/xfile/support/xfile_test_support.h"
#include "xfile/standard_templates.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

namespace halv::xfile::fixtures {
namespace {

using base::ComRef;

// Visits every object below `object`, locking each; returns the bytes seen.
std::size_t walk(ID3DXFileData* object) {
    SIZE_T size = 0;
    LPCVOID data = nullptr;
    object->Lock(&size, &data);
    object->Unlock();
    std::size_t total = size;
    SIZE_T children = 0;
    object->GetChildren(&children);
    for (SIZE_T i = 0; i < children; ++i) {
        ComRef<ID3DXFileData> nested;
        if (SUCCEEDED(object->GetChild(i, nested.put()))) {
            total += walk(nested.get());
        }
    }
    return total;
}

std::size_t parseAndWalk(ID3DXFile* reader, std::span<const std::byte> file) {
    ComRef<ID3DXFileEnumObject> parsed;
    if (FAILED(parseMemory(reader, file, &parsed))) {
        std::abort();
    }
    SIZE_T count = 0;
    parsed->GetChildren(&count);
    std::size_t total = 0;
    for (SIZE_T i = 0; i < count; ++i) {
        ComRef<ID3DXFileData> object;
        parsed->GetChild(i, object.put());
        total += walk(object.get());
    }
    return total;
}

const std::vector<std::byte>& stationText() {
    static const std::vector<std::byte> text = toBytes(makeStationModelText());
    return text;
}

void BM_StationTextParseAndWalk(benchmark::State& state) {
    const std::vector<std::byte>& file = stationText();
    ComRef<ID3DXFile> reader = makeReader();
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseAndWalk(reader.get(), file));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
    state.counters["file_MB"] = static_cast<double>(file.size()) / 1e6;
}
BENCHMARK(BM_StationTextParseAndWalk)->Unit(benchmark::kMillisecond);

// What a mesh load pays: a new reader, the three template sets, then the model.
void BM_StationTextWithTemplateRegistration(benchmark::State& state) {
    const std::vector<std::byte>& file = stationText();
    for (auto _ : state) {
        ComRef<ID3DXFile> reader = makeReader();
        benchmark::DoNotOptimize(parseAndWalk(reader.get(), file));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * file.size()));
}
BENCHMARK(BM_StationTextWithTemplateRegistration)->Unit(benchmark::kMillisecond);

void BM_StationCompressedParseAndWalk(benchmark::State& state) {
    static const std::vector<std::byte> file = compressXFile(stationText());
    ComRef<ID3DXFile> reader = makeReader();
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseAndWalk(reader.get(), file));
    }
    // Throughput in expanded bytes, comparable with the text figure.
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * stationText().size()));
    state.counters["file_MB"] = static_cast<double>(file.size()) / 1e6;
}
BENCHMARK(BM_StationCompressedParseAndWalk)->Unit(benchmark::kMillisecond);

// 60,000 templates whose names hold bytes above 0x7F (binary files may name them so), each
// then named by an object: every lookup goes through the name index.
void BM_NonAsciiTemplateNames(benchmark::State& state) {
    static const std::vector<std::byte> file = [] {
        constexpr std::uint32_t kTemplates = 60000;
        BinaryWriter w;
        for (std::uint32_t i = 0; i < kTemplates; ++i) {
            const GUID guid{i + 1, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
            w.token(31).name("\xE9T" + std::to_string(i)).token(10).guid(guid);
            w.token(41).name("a").token(20).token(11);
        }
        for (std::uint32_t i = 0; i < kTemplates; ++i) {
            w.name("\xC9t" + std::to_string(i)).token(10).integerList({i}).token(11);
        }
        return w.bytes();
    }();
    ComRef<ID3DXFile> reader = makeReader(false);
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseAndWalk(reader.get(), file));
    }
}
BENCHMARK(BM_NonAsciiTemplateNames)->Unit(benchmark::kMillisecond);

void BM_RegisterStandardTemplates(benchmark::State& state) {
    for (auto _ : state) {
        ComRef<ID3DXFile> reader = makeReader();
        benchmark::DoNotOptimize(reader.get());
    }
}
BENCHMARK(BM_RegisterStandardTemplates)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace halv::xfile::fixtures

BENCHMARK_MAIN();
