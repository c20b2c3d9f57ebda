#include "scene/show_recorder.h"

#include "base/random.h"
#include "base/timing.h"
#include "scene/detail/show_clocks.h"
#include "scene/station_scene.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace halv::scene {
namespace {

// Why the scene could not start: the headless renderer's own answer when it is missing.
HRESULT diagnoseFailedStart(const RecorderOptions& options) {
    if (options.renderer != gfx::RendererKind::kHeadless) {
        return E_FAIL;
    }
    gfx::DeviceSetup setup;
    setup.width = 8;
    setup.height = 8;
    base::ComRef<IDirect3DDevice9> probe;
    const HRESULT hr = gfx::createHeadlessDevice(setup, probe.put());
    return hr == D3DERR_NOTAVAILABLE ? hr : E_FAIL;
}

std::vector<ShowMoment> inTimeOrder(std::span<const ShowMoment> moments, double cycleLength) {
    std::vector<ShowMoment> ordered(moments.begin(), moments.end());
    for (ShowMoment& moment : ordered) {
        while (moment.seconds >= cycleLength) {
            moment.seconds -= cycleLength;
            ++moment.cycle;
        }
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](const ShowMoment& a, const ShowMoment& b) {
        return a.cycle != b.cycle ? a.cycle < b.cycle : a.seconds < b.seconds;
    });
    return ordered;
}

} // namespace

HRESULT recordShow(const RecorderOptions& options, std::span<const ShowMoment> moments,
                   const std::function<bool(const RecordedFrame&)>& onFrame) {
    if (options.width == 0 || options.height == 0 || !(options.simulationRate > 0.0)) {
        return E_INVALIDARG;
    }
    detail::resetShowClocksForTesting();
    base::srand(1);
    base::FakeClock clock(0);
    const base::ScopedClock useClock(&clock);
    gfx::Direct3DOptions direct3dOptions;
    direct3dOptions.renderer = options.renderer;
    const gfx::ScopedDirect3DOptions useRenderer(direct3dOptions);

    StationScene scene;
    if (FAILED(scene.initialise(nullptr, static_cast<int>(options.width),
                                static_cast<int>(options.height), true))) {
        return diagnoseFailedStart(options);
    }
    IDirect3DDevice9* device = scene.device();
    const std::vector<ShowMoment> ordered =
        inTimeOrder(moments, static_cast<double>(scene.show().cycleLength));
    const auto stepNanoseconds =
        static_cast<std::int64_t>(std::llround(1e9 / options.simulationRate));
    const detail::ShowClocks& clocks = detail::showClocks();

    int cycle = 0;
    std::size_t next = 0;
    while (next < ordered.size()) {
        clock.advanceNanoseconds(stepNanoseconds);
        // The cycle time this frame's timeline will see: the clock does not move before it
        // reads it.
        const double cycleSeconds = clocks.timelineStarted
                                        ? detail::elapsedSeconds(timeGetTime(), clocks.cycleStartMs)
                                        : 0.0;
        const ShowMoment& wanted = ordered[next];
        const bool draw =
            cycle > wanted.cycle || (cycle == wanted.cycle && cycleSeconds >= wanted.seconds);
        gfx::setRenderingSkipped(device, !draw);
        const int shot = scene.show().shotIndex;
        scene.runFrame();

        if (draw) {
            RecordedFrame frame;
            frame.cycleSeconds = cycleSeconds;
            frame.shotIndex = shot;
            frame.showSeconds = static_cast<double>(clock.nanoseconds()) * 1e-9;
            if (options.renderer != gfx::RendererKind::kNull) {
                const HRESULT hr = gfx::readBackBuffer(device, &frame.image);
                if (FAILED(hr)) {
                    return hr;
                }
            }
            // Moments closer together than a frame all get this one.
            while (next < ordered.size() &&
                   (cycle > ordered[next].cycle ||
                    (cycle == ordered[next].cycle && cycleSeconds >= ordered[next].seconds))) {
                frame.moment = ordered[next++];
                if (!onFrame(frame)) {
                    return S_OK;
                }
            }
        }
        if (scene.show().shotIndex != shot) {
            ++cycle;
        }
    }
    return S_OK;
}

bool writeFramePng(const std::string& path, const gfx::BackBufferImage& image) {
    if (image.width == 0 || image.height == 0 ||
        image.pixels.size() != static_cast<std::size_t>(image.width) * image.height) {
        return false;
    }
    std::vector<png_byte> rgb(image.pixels.size() * 3);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const D3DCOLOR pixel = image.pixels[i];
        rgb[i * 3 + 0] = static_cast<png_byte>(pixel >> 16);
        rgb[i * 3 + 1] = static_cast<png_byte>(pixel >> 8);
        rgb[i * 3 + 2] = static_cast<png_byte>(pixel);
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = image.width;
    png.height = image.height;
    png.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

bool readFramePng(const std::string& path, gfx::BackBufferImage* image) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        return false;
    }
    png.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr) == 0) {
        png_image_free(&png);
        return false;
    }
    image->width = png.width;
    image->height = png.height;
    image->pixels.resize(static_cast<std::size_t>(png.width) * png.height);
    for (std::size_t i = 0; i < image->pixels.size(); ++i) {
        image->pixels[i] = 0xFF000000u | (static_cast<D3DCOLOR>(rgb[i * 3]) << 16) |
                           (static_cast<D3DCOLOR>(rgb[i * 3 + 1]) << 8) | rgb[i * 3 + 2];
    }
    return true;
}

} // namespace halv::scene
