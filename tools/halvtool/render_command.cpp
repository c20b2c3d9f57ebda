// `halvtool render --time T[,T...] [--shot N[,N...]] [--size WxH] [--frames K --fps F]
// [--rate R] OUT`: plays the real show headless from its start under a fake clock (R frames per
// second, default 120) and writes the frames seen at cycle time T of shot N (the N-th cycle) as
// PNG. One frame goes to OUT when it ends in .png; otherwise OUT is a prefix and each frame is
// written as OUT + "shot<N>-<seconds>.png". --frames writes K frames from T on, F per second.
#include "scene/show_recorder.h"
#include "tools/halvtool/command.h"

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

namespace halv::tools {
namespace {

struct RenderArguments {
    std::vector<double> times;
    std::vector<int> shots{0};
    UINT width = 640;
    UINT height = 480;
    int frames = 1;
    double fps = 30.0;
    double rate = 120.0;
    std::string out;
};

template <class T>
bool parseNumber(std::string_view text, T* value) {
    const char* end = text.data() + text.size();
    const auto [pointer, error] = std::from_chars(text.data(), end, *value);
    return error == std::errc() && pointer == end;
}

template <class T>
bool parseList(std::string_view text, std::vector<T>* values) {
    values->clear();
    while (true) {
        const std::size_t comma = text.find(',');
        T value{};
        if (!parseNumber(text.substr(0, comma), &value)) {
            return false;
        }
        values->push_back(value);
        if (comma == std::string_view::npos) {
            return true;
        }
        text.remove_prefix(comma + 1);
    }
}

bool parseSize(std::string_view text, UINT* width, UINT* height) {
    const std::size_t x = text.find('x');
    return x != std::string_view::npos && parseNumber(text.substr(0, x), width) &&
           parseNumber(text.substr(x + 1), height) && *width > 0 && *height > 0 && *width <= 8192 &&
           *height <= 8192;
}

bool parseArguments(std::span<const std::string_view> arguments, RenderArguments* parsed) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        bool ok = true;
        if (argument == "--time" && hasValue) {
            ok = parseList(arguments[++i], &parsed->times);
        } else if (argument == "--shot" && hasValue) {
            ok = parseList(arguments[++i], &parsed->shots);
        } else if (argument == "--size" && hasValue) {
            ok = parseSize(arguments[++i], &parsed->width, &parsed->height);
        } else if (argument == "--frames" && hasValue) {
            ok = parseNumber(arguments[++i], &parsed->frames) && parsed->frames > 0;
        } else if (argument == "--fps" && hasValue) {
            ok = parseNumber(arguments[++i], &parsed->fps) && parsed->fps > 0.0;
        } else if (argument == "--rate" && hasValue) {
            ok = parseNumber(arguments[++i], &parsed->rate) && parsed->rate > 0.0;
        } else if (!argument.starts_with("--") && parsed->out.empty()) {
            parsed->out = argument;
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "halvtool render: bad argument '%.*s'\n",
                         static_cast<int>(argument.size()), argument.data());
            return false;
        }
    }
    for (double time : parsed->times) {
        if (time < 0.0) {
            return false;
        }
    }
    for (int shot : parsed->shots) {
        if (shot < 0) {
            return false;
        }
    }
    return !parsed->times.empty() && !parsed->out.empty();
}

std::string framePath(const RenderArguments& arguments, const scene::ShowMoment& moment,
                      std::size_t frameCount) {
    if (frameCount == 1 && arguments.out.ends_with(".png")) {
        return arguments.out;
    }
    char name[64];
    std::snprintf(name, sizeof(name), "shot%d-%06.3f.png", moment.cycle, moment.seconds);
    return arguments.out + name;
}

int runRender(std::span<const std::string_view> arguments) {
    RenderArguments parsed;
    if (!parseArguments(arguments, &parsed)) {
        std::fprintf(stderr, "usage: halvtool render --time T[,T...] [--shot N[,N...]] "
                             "[--size WxH] [--frames K --fps F] [--rate R] OUT\n");
        return 2;
    }
    std::vector<scene::ShowMoment> moments;
    for (int shot : parsed.shots) {
        for (double time : parsed.times) {
            for (int k = 0; k < parsed.frames; ++k) {
                moments.push_back({shot, time + k / parsed.fps});
            }
        }
    }

    scene::RecorderOptions options;
    options.width = parsed.width;
    options.height = parsed.height;
    options.simulationRate = parsed.rate;
    int failures = 0;
    const HRESULT hr = scene::recordShow(options, moments, [&](const scene::RecordedFrame& frame) {
        const std::string path = framePath(parsed, frame.moment, moments.size());
        if (!scene::writeFramePng(path, frame.image)) {
            std::fprintf(stderr, "halvtool render: cannot write %s\n", path.c_str());
            ++failures;
            return false;
        }
        std::printf("%s  shot %d, cycle time %.3f s (asked %.3f s), show time %.3f s\n",
                    path.c_str(), frame.shotIndex, frame.cycleSeconds, frame.moment.seconds,
                    frame.showSeconds);
        return true;
    });
    if (hr == D3DERR_NOTAVAILABLE) {
        std::fprintf(stderr, "halvtool render: no EGL display or OpenGL 3.3 context here\n");
        return 1;
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "halvtool render: the show could not start (0x%08X)\n",
                     static_cast<unsigned>(hr));
        return 1;
    }
    return failures == 0 ? 0 : 1;
}

const CommandRegistration kRegistration({
    "render",
    "--time T[,T..] [--shot N[,N..]] [--size WxH] [--frames K --fps F] [--rate R] OUT: "
    "record the show headless to PNG",
    runRender,
});

} // namespace
} // namespace halv::tools
