// Nanoseconds per call of the routines the scene leans on, for every set this processor runs,
// each called through a table of its set as the published entries do; then the portable/SIMD
// ratios.
#include "math/dispatch.h"
#include "math/vector_math.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace halv::math {
namespace {

constexpr std::size_t kInputCount = 256;

struct Inputs {
    std::array<D3DXMATRIX, kInputCount> matrices;
    std::array<D3DXMATRIX, kInputCount> projections;
    std::array<D3DXVECTOR3, kInputCount> vectors;
    std::array<D3DXVECTOR3, kInputCount> angles;
};

// Varied inputs, cycled, so no branch or value is the same every call.
const Inputs& inputs() {
    static const Inputs data = [] {
        Inputs made;
        std::mt19937 random(99);
        std::uniform_real_distribution<float> value(-10.0f, 10.0f);
        for (std::size_t i = 0; i < kInputCount; ++i) {
            for (auto& row : made.matrices[i].m) {
                for (float& entry : row) {
                    entry = value(random);
                }
            }
            D3DXMatrixPerspectiveFovLH(&made.projections[i], 0.8f + 0.001f * float(i), 1.33f, 1.0f,
                                       1000.0f);
            made.vectors[i] = D3DXVECTOR3(value(random), value(random), value(random));
            made.angles[i] = D3DXVECTOR3(value(random), value(random), value(random));
        }
        return made;
    }();
    return data;
}

void multiply(benchmark::State& state, DispatchTable table) {
    const Inputs& in = inputs();
    D3DXMATRIX out;
    std::size_t i = 0;
    for (auto _ : state) {
        table.matrixMultiply(&out, &in.matrices[i], &in.matrices[(i + 1) % kInputCount]);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % kInputCount;
    }
}

void normalize(benchmark::State& state, DispatchTable table) {
    const Inputs& in = inputs();
    D3DXVECTOR3 out;
    std::size_t i = 0;
    for (auto _ : state) {
        table.vec3Normalize(&out, &in.vectors[i]);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % kInputCount;
    }
}

void transformCoord(benchmark::State& state, DispatchTable table) {
    const Inputs& in = inputs();
    D3DXVECTOR3 out;
    std::size_t i = 0;
    for (auto _ : state) {
        table.vec3TransformCoord(&out, &in.vectors[i], &in.projections[i]);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % kInputCount;
    }
}

void quaternionYawPitchRoll(benchmark::State& state, DispatchTable table) {
    const Inputs& in = inputs();
    D3DXQUATERNION out;
    std::size_t i = 0;
    for (auto _ : state) {
        const D3DXVECTOR3& a = in.angles[i];
        table.quaternionRotationYawPitchRoll(&out, a.x, a.y, a.z);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % kInputCount;
    }
}

// D3DXMatrixRotationYawPitchRoll as that set runs it: its quaternion, then the matrix.
void matrixYawPitchRoll(benchmark::State& state, DispatchTable table) {
    const Inputs& in = inputs();
    D3DXQUATERNION q;
    D3DXMATRIX out;
    std::size_t i = 0;
    for (auto _ : state) {
        const D3DXVECTOR3& a = in.angles[i];
        table.quaternionRotationYawPitchRoll(&q, a.x, a.y, a.z);
        table.matrixRotationQuaternion(&out, &q);
        benchmark::DoNotOptimize(out);
        i = (i + 1) % kInputCount;
    }
}

// Keeps each benchmark's CPU time per call, the median when runs are repeated, so the ratios
// can be printed after the table. CPU time, because the shared machine's wall clock also
// counts other processes.
class RatioReporter final : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            if (run.run_type == Run::RT_Iteration && run.repetitions <= 1) {
                mNanoseconds[run.benchmark_name()] = run.GetAdjustedCPUTime();
            } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                mNanoseconds[run.run_name.str()] = run.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double nanoseconds(const std::string& name) const {
        const auto found = mNanoseconds.find(name);
        return found == mNanoseconds.end() ? 0.0 : found->second;
    }

private:
    std::map<std::string, double> mNanoseconds;
};

struct NamedSet {
    const char* name;
    DispatchLevel level;
};

} // namespace
} // namespace halv::math

int main(int argc, char** argv) {
    using namespace halv::math;
    // Medians of five short runs unless the command line asks otherwise (later flags win).
    std::vector<char*> arguments(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=5";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    std::string minTime = "--benchmark_min_time=0.2";
    arguments.insert(arguments.begin() + 1,
                     {repetitions.data(), aggregates.data(), minTime.data()});
    int argumentCount = static_cast<int>(arguments.size());
    benchmark::Initialize(&argumentCount, arguments.data());

    std::vector<NamedSet> sets = {{"Portable", DispatchLevel::kPortable}};
    const ProcessorFeatures features = detectProcessorFeatures();
    if (features.hasSse) {
        sets.push_back({"SSE", DispatchLevel::kSse});
    }
    if (features.hasSse2) {
        sets.push_back({"SSE2", DispatchLevel::kSse2});
    }
    const struct {
        const char* name;
        void (*run)(benchmark::State&, DispatchTable);
    } operations[] = {
        {"MatrixMultiply", multiply},
        {"Vec3Normalize", normalize},
        {"Vec3TransformCoord", transformCoord},
        {"QuaternionYawPitchRoll", quaternionYawPitchRoll},
        {"MatrixYawPitchRoll", matrixYawPitchRoll},
    };
    for (const auto& operation : operations) {
        for (const NamedSet& set : sets) {
            const DispatchTable table = makeDispatchTable(set.level);
            benchmark::RegisterBenchmark(
                (std::string(operation.name) + "/" + set.name).c_str(),
                [run = operation.run, table](benchmark::State& state) { run(state, table); });
        }
    }

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nPortable CPU time / set CPU time per call (above 1: the set is faster; goal "
                "for SSE multiply and transform-coord: 1.5):\n");
    for (const auto& operation : operations) {
        const double portable = reporter.nanoseconds(std::string(operation.name) + "/Portable");
        for (const NamedSet& set : sets) {
            if (set.level == DispatchLevel::kPortable) {
                continue;
            }
            const double own = reporter.nanoseconds(std::string(operation.name) + "/" + set.name);
            if (portable > 0.0 && own > 0.0) {
                std::printf("  %-24s %-5s %5.2fx  (%.2f ns vs %.2f ns)\n", operation.name, set.name,
                            portable / own, own, portable);
            }
        }
    }
    return 0;
}
