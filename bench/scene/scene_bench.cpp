// The show's figures: start-up from process start to the first Present (headless, every
// resource) beside what an empty headless GL context alone costs, the CPU time of a frame on
// the null renderer with the limiter's sleeps taken by a fake clock, and the frame rate, frame
// times and peak resident memory of the whole show drawn at 1024x768 on the headless renderer
// (Mesa's llvmpipe where there is no GPU) with the limiter off, with the rate of empty frames
// (Clear and Present only) on the same device after it. The start-up, the context and the
// whole show each run in a child process of this executable, so that process start, loading
// and peak memory are measured as the saver would see them. The children use the caches of the
// user running them (the renderer's program binaries and Mesa's shader cache): the first
// start-up child fills them, so the show is measured as every start after the first one.
#include "base/com.h"
#include "base/heap_policy.h"
#include "base/random.h"
#include "base/timing.h"
#include "gfx/device_factory.h"
#include "gfx/inspection.h"
#include "scene/detail/show_clocks.h"
#include "scene/station_scene.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using halv::scene::StationScene;
using WallClock = std::chrono::steady_clock;

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
// The whole show: three cycles, one per shot, a frame every quarter second.
constexpr double kShowSeconds = 3 * 45.0;
constexpr double kShowStepSeconds = 0.25;
// Empty frames drawn after the show, for the ratio.
constexpr int kEmptyFrames = 200;

halv::gfx::Direct3DOptions rendererOptions(halv::gfx::RendererKind kind) {
    halv::gfx::Direct3DOptions options;
    options.renderer = kind;
    return options;
}

// --- Children ------------------------------------------------------------------------------

// Starts the show on the real clock and reports when the first Present has returned.
int startupChild(int reportFd) {
    const halv::gfx::ScopedDirect3DOptions headless(
        rendererOptions(halv::gfx::RendererKind::kHeadless));
    StationScene scene;
    if (FAILED(scene.initialise(nullptr, kWidth, kHeight, true))) {
        return 1;
    }
    scene.runFrame();
    const char done = 1;
    return write(reportFd, &done, 1) == 1 ? 0 : 1;
}

// Creates what the start-up cannot do without: the headless adapter, which asks the GL driver
// for its identity on an empty context.
int contextChild(int reportFd) {
    halv::base::ComRef<IDirect3D9> direct3d(
        halv::gfx::createDirect3D(rendererOptions(halv::gfx::RendererKind::kHeadless)));
    D3DADAPTER_IDENTIFIER9 identifier{};
    if (!direct3d || FAILED(direct3d->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier)) ||
        identifier.Description[0] == '\0') {
        return 1;
    }
    const char done = 1;
    return write(reportFd, &done, 1) == 1 ? 0 : 1;
}

double seconds(WallClock::time_point from, WallClock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// The largest ratio of a frame to the median of the four frames before and the four after it:
// a hitch stands out of its neighbours, a heavy stretch of the show (the debris burst) does not.
double largestHitch(const std::vector<double>& frameSeconds) {
    constexpr std::size_t kSide = 4;
    double largest = 0.0;
    std::vector<double> around;
    for (std::size_t i = 0; i < frameSeconds.size(); ++i) {
        around.clear();
        for (std::size_t j = i >= kSide ? i - kSide : 0;
             j < std::min(frameSeconds.size(), i + kSide + 1); ++j) {
            if (j != i) {
                around.push_back(frameSeconds[j]);
            }
        }
        std::nth_element(around.begin(), around.begin() + around.size() / 2, around.end());
        largest = std::max(largest, frameSeconds[i] / around[around.size() / 2]);
    }
    return largest;
}

// Plays the whole show at 1024x768 with the limiter off (the fake clock moves more than a
// frame's interval each time) and reports the frame rate, the median and longest frame, and
// the rate of empty frames on the same device afterwards.
int showChild(int reportFd, halv::gfx::RendererKind renderer) {
    const halv::gfx::ScopedDirect3DOptions useRenderer(rendererOptions(renderer));
    halv::base::FakeClock clock(0);
    const halv::base::ScopedClock useClock(&clock);
    StationScene scene;
    if (FAILED(scene.initialise(nullptr, kWidth, kHeight, true))) {
        return 1;
    }
    const auto frames = static_cast<int>(kShowSeconds / kShowStepSeconds);
    const auto step = static_cast<std::int64_t>(kShowStepSeconds * 1e9);
    IDirect3DDevice9* device = scene.device();
    // The renderer may still be working on the last frames; reading one back waits for them.
    const auto drain = [renderer, device] {
        if (renderer != halv::gfx::RendererKind::kNull) {
            halv::gfx::BackBufferImage last;
            halv::gfx::readBackBuffer(device, &last);
        }
    };
    std::vector<double> frameSeconds(static_cast<std::size_t>(frames));
    const int sleepsBefore = clock.sleepCalls();
    const WallClock::time_point start = WallClock::now();
    WallClock::time_point frameStart = start;
    for (int i = 0; i < frames; ++i) {
        clock.advanceNanoseconds(step);
        scene.runFrame();
        // With one frame in flight, a frame's time is what the loop waits for it.
        const WallClock::time_point frameEnd = WallClock::now();
        frameSeconds[static_cast<std::size_t>(i)] = seconds(frameStart, frameEnd);
        frameStart = frameEnd;
    }
    drain();
    const double showSeconds = seconds(start, WallClock::now());
    // One interval on the first frame only: the limiter never held a later one back.
    const int sleeps = clock.sleepCalls() - sleepsBefore;

    const WallClock::time_point emptyStart = WallClock::now();
    for (int i = 0; i < kEmptyFrames; ++i) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000064, 1.0f, 0);
        device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    drain();
    const double emptySeconds = seconds(emptyStart, WallClock::now());

    const auto longestFrame = std::max_element(frameSeconds.begin(), frameSeconds.end());
    const double longest = *longestFrame;
    // Where in its 45-second cycle the longest frame was drawn, to tell a hitch from a heavy
    // stretch of the show.
    const double longestAt = std::fmod(
        static_cast<double>(longestFrame - frameSeconds.begin() + 1) * kShowStepSeconds, 45.0);
    const double hitch = largestHitch(frameSeconds);
    std::nth_element(frameSeconds.begin(), frameSeconds.begin() + frames / 2, frameSeconds.end());
    const double median = frameSeconds[static_cast<std::size_t>(frames / 2)];
    char report[256];
    const int length = std::snprintf(report, sizeof(report), "%d %.6f %d %.6f %.6f %.6f %.2f %.4f",
                                     frames, showSeconds, sleeps, median, longest,
                                     kEmptyFrames / emptySeconds, longestAt, hitch);
    return write(reportFd, report, static_cast<std::size_t>(length)) == length ? 0 : 1;
}

struct ChildResult {
    bool ok = false;
    std::string report;
    // From the first byte of the report back to the spawn.
    double secondsToReport = 0.0;
    long peakResidentKb = 0;
};

ChildResult runChild(const char* mode) {
    ChildResult result;
    int fds[2];
    if (pipe(fds) != 0) {
        return result;
    }
    const std::string fd = std::to_string(fds[1]);
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length <= 0) {
        return result;
    }
    self[length] = '\0';
    char* const argv[] = {self, const_cast<char*>(mode), const_cast<char*>(fd.c_str()), nullptr};
    const WallClock::time_point start = WallClock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self, nullptr, nullptr, argv, environ);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return result;
    }
    char buffer[256];
    ssize_t got = read(fds[0], buffer, sizeof(buffer) - 1);
    result.secondsToReport = std::chrono::duration<double>(WallClock::now() - start).count();
    while (got > 0) {
        result.report.append(buffer, static_cast<std::size_t>(got));
        got = read(fds[0], buffer, sizeof(buffer) - 1);
    }
    close(fds[0]);
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
        !result.report.empty()) {
        result.ok = true;
        result.peakResidentKb = usage.ru_maxrss;
    }
    return result;
}

// --- Benchmarks ----------------------------------------------------------------------------

// Goal: at most 300 ms from process start to the first Present, headless, with every
// resource. Beside it, the median time a process takes to have an empty headless context
// (the GL driver's own start), of which the start-up cannot do without.
void BM_StartupToFirstPresent(benchmark::State& state) {
    std::vector<double> contextMs;
    for (auto _ : state) {
        const ChildResult child = runChild("--startup-child");
        const ChildResult context = runChild("--context-child");
        if (!child.ok || !context.ok) {
            state.SkipWithError("the headless show could not start (no EGL or OpenGL 3.3?)");
            return;
        }
        state.SetIterationTime(child.secondsToReport);
        contextMs.push_back(context.secondsToReport * 1000.0);
    }
    std::sort(contextMs.begin(), contextMs.end());
    state.counters["egl_context_ms"] = contextMs[contextMs.size() / 2];
    state.counters["goal_ms"] = 300;
}
BENCHMARK(BM_StartupToFirstPresent)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// Goals for the whole show at 1024x768 on llvmpipe: at least 60 frames a second (also given
// as a share of the rate of empty frames, Clear and Present only, on the same device), no
// frame longer than 3 times the median one, and peak resident memory at most 120 MB. With the
// null renderer: the show's own memory, without any GL driver.
void BM_WholeShow1024x768(benchmark::State& state) {
    const bool headless = state.range(0) == 1;
    for (auto _ : state) {
        const ChildResult child = runChild(headless ? "--show-child" : "--show-child-null");
        int frames = 0;
        double seconds = 0.0;
        int sleeps = 0;
        double median = 0.0;
        double longest = 0.0;
        double emptyFps = 0.0;
        double longestAt = 0.0;
        double hitch = 0.0;
        if (!child.ok ||
            std::sscanf(child.report.c_str(), "%d %lf %d %lf %lf %lf %lf %lf", &frames, &seconds,
                        &sleeps, &median, &longest, &emptyFps, &longestAt, &hitch) != 8) {
            state.SkipWithError("the headless show could not start (no EGL or OpenGL 3.3?)");
            return;
        }
        state.SetIterationTime(seconds);
        state.counters["frames"] = frames;
        if (headless) {
            const double fps = frames / seconds;
            state.counters["fps"] = fps;
            state.counters["goal_fps"] = 60;
            state.counters["of_empty"] = fps / emptyFps;
            state.counters["empty_fps"] = emptyFps;
            state.counters["median_ms"] = median * 1000.0;
            state.counters["longest_ms"] = longest * 1000.0;
            state.counters["longest_x"] = longest / median;
            state.counters["longest_at_s"] = longestAt;
            state.counters["hitch_x"] = hitch;
            state.counters["goal_x"] = 3;
        }
        state.counters["peak_RSS_MB"] = static_cast<double>(child.peakResidentKb) / 1024.0;
        state.counters["goal_RSS_MB"] = 120;
        state.counters["limiter_sleeps"] = sleeps;
    }
}
BENCHMARK(BM_WholeShow1024x768)
    ->ArgName("headless")
    ->Arg(1)
    ->Arg(0)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Goal: under 0.2 ms of CPU per frame on the null renderer. The fake clock takes the limiter's
// sleeps, so only the frame's own work counts; `phase` picks where in the show the frames lie.
void BM_RunFrameNullRenderer(benchmark::State& state) {
    const double firstSeconds = state.range(0) == 0 ? 1.0 : 16.2;
    const double lastSeconds = state.range(0) == 0 ? 14.0 : 44.0;
    halv::scene::detail::resetShowClocksForTesting();
    halv::base::srand(1);
    const halv::gfx::ScopedDirect3DOptions null(rendererOptions(halv::gfx::RendererKind::kNull));
    halv::base::FakeClock clock(0);
    const halv::base::ScopedClock useClock(&clock);
    StationScene scene;
    if (FAILED(scene.initialise(nullptr, kWidth, kHeight, true))) {
        state.SkipWithError("the scene could not start");
        return;
    }
    const auto toNanoseconds = [](double seconds) {
        return static_cast<std::int64_t>(seconds * 1e9);
    };
    // Run up to the phase as the show would, then keep to it: when the frames leave it, the
    // show's clocks are turned back by the same amount (the burst replays its flight).
    constexpr std::int64_t kStep = 10'000'000;
    while (clock.nanoseconds() < toNanoseconds(firstSeconds)) {
        clock.advanceNanoseconds(kStep);
        scene.runFrame();
    }
    halv::scene::detail::ShowClocks& clocks = halv::scene::detail::showClocks();
    const auto rewindMs = static_cast<DWORD>((lastSeconds - firstSeconds) * 1000.0);
    for (auto _ : state) {
        clock.advanceNanoseconds(kStep);
        if (halv::scene::detail::elapsedSeconds(timeGetTime(), clocks.cycleStartMs) > lastSeconds) {
            clocks.cycleStartMs += rewindMs;
            clocks.debrisLaunchMs += rewindMs;
        }
        scene.runFrame();
    }
    state.counters["goal_ms"] = 0.2;
    state.counters["debris_drawn"] = scene.show().flags.particlesActive ? 1 : 0;
}
BENCHMARK(BM_RunFrameNullRenderer)->ArgName("phase")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // The children measure the saver, whose main sets the same heap policy first.
    halv::base::returnLargeBlocksToSystem();
    if (argc == 3 && std::string_view(argv[1]) == "--startup-child") {
        return startupChild(std::atoi(argv[2]));
    }
    if (argc == 3 && std::string_view(argv[1]) == "--context-child") {
        return contextChild(std::atoi(argv[2]));
    }
    if (argc == 3 && std::string_view(argv[1]) == "--show-child") {
        return showChild(std::atoi(argv[2]), halv::gfx::RendererKind::kHeadless);
    }
    if (argc == 3 && std::string_view(argv[1]) == "--show-child-null") {
        return showChild(std::atoi(argv[2]), halv::gfx::RendererKind::kNull);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    std::printf("Machine: a noisy shared 2-core box; the headless renderer is Mesa llvmpipe unless "
                "a GPU is present.\n");
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
