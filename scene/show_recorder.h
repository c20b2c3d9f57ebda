// Recording the show without a display: the real scene on the headless renderer, run from the
// start of a fresh show under a fake clock, with only the frames asked for drawn and read back.
//
//   const ShowMoment moments[] = {{0, 5.0}, {1, 16.05}};
//   RecorderOptions options;
//   options.width = 320; options.height = 240;
//   HRESULT hr = recordShow(options, moments, [](const RecordedFrame& frame) {
//       writeFramePng("out.png", frame.image);
//       return true;
//   });
#pragma once

#include "gfx/device_factory.h"
#include "gfx/inspection.h"

#include <functional>
#include <span>
#include <string>

namespace halv::scene {

// A moment of the show: the cycle (0 is the first, seen from shot 0; cycle n is seen from
// shot n mod 3) and the seconds into it.
struct ShowMoment {
    int cycle = 0;
    double seconds = 0.0;
};

struct RecorderOptions {
    UINT width = 640;
    UINT height = 480;
    // kHeadless draws; kNull runs the same frames without pixels (for timing and tests).
    gfx::RendererKind renderer = gfx::RendererKind::kHeadless;
    // The fake clock moves 1/simulationRate seconds per frame before the scene runs it; the
    // scene's own limiter may add its 1 ms sleeps on top, as in the saver.
    double simulationRate = 120.0;
};

struct RecordedFrame {
    ShowMoment moment;
    // Where the drawn frame actually fell: its cycle time (the first frame at or after the
    // moment) and the shot it was seen from.
    double cycleSeconds = 0.0;
    int shotIndex = 0;
    // Seconds of fake time since the show started.
    double showSeconds = 0.0;
    // Empty with the null renderer.
    gfx::BackBufferImage image;
};

// Starts a fresh show (process-wide clocks, explosion step and random generator back at their
// start, fake clock at 0 while it runs) and runs its frames until every moment, taken in order
// of time, has been drawn and handed to `onFrame`; `onFrame` returns false to stop early.
// Moments whose seconds exceed a cycle count into the next one. Message boxes of the scene go
// where they always go. D3DERR_NOTAVAILABLE when the headless renderer cannot start here,
// E_FAIL when the scene cannot be initialised, E_INVALIDARG for a zero size or rate.
HRESULT recordShow(const RecorderOptions& options, std::span<const ShowMoment> moments,
                   const std::function<bool(const RecordedFrame&)>& onFrame);

// Writes the image as an 8-bit RGB PNG; false when the file cannot be written.
bool writeFramePng(const std::string& path, const gfx::BackBufferImage& image);

// Reads any PNG into opaque A8R8G8B8 pixels; false when the file is missing or unreadable.
bool readFramePng(const std::string& path, gfx::BackBufferImage* image);

} // namespace halv::scene
