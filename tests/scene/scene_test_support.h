// A fresh show for each test: the show's process-wide clocks and the random generator back at
// their start, a fake clock, the null renderer with its call log, and message boxes captured.
#pragma once

#include "base/message_box.h"
#include "base/random.h"
#include "base/timing.h"
#include "gfx/device_factory.h"
#include "gfx/inspection.h"
#include "scene/detail/show_clocks.h"
#include "scene/station_scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace halv::scene::testing {

inline gfx::Direct3DOptions nullRendererOptions() {
    gfx::Direct3DOptions options;
    options.renderer = gfx::RendererKind::kNull;
    return options;
}

// Not zero, so that the millisecond timer has a past.
inline constexpr std::int64_t kStartNanoseconds = 1'000'000'000'000;

class FreshShow : public ::testing::Test {
protected:
    FreshShow() {
        detail::resetShowClocksForTesting();
        base::srand(1);
    }

    // Full screen at 1024 x 768 on the null renderer.
    void initialise(StationScene* scene) {
        ASSERT_EQ(scene->initialise(nullptr, 1024, 768, true), S_OK);
    }

    // Moves the fake clock to `seconds` after the test began.
    void setTime(double seconds) {
        mClock.setNanoseconds(kStartNanoseconds + std::llround(seconds * 1e9));
    }

    // The cycle time the next frame will see.
    double nextCycleSeconds() const {
        const detail::ShowClocks& clocks = detail::showClocks();
        return detail::elapsedSeconds(timeGetTime(), clocks.cycleStartMs);
    }

    base::FakeClock mClock{kStartNanoseconds};
    base::ScopedClock mUseClock{&mClock};
    gfx::ScopedDirect3DOptions mUseRenderer{nullRendererOptions()};
    base::ScopedMessageBoxCapture mMessages;
};

// One draw of a frame with what was bound for it.
struct DrawRecord {
    std::string method;
    DWORD primitiveType = 0;
    UINT first = 0;
    UINT count = 0;
    gfx::ObjectId stream = 0;
    gfx::ObjectId texture = 0;
};

// The draws in a call log, each with the stream 0 buffer and stage 0 texture bound at the time.
inline std::vector<DrawRecord> drawsIn(const std::vector<gfx::CallRecord>& log) {
    std::vector<DrawRecord> draws;
    gfx::ObjectId stream = 0;
    gfx::ObjectId texture = 0;
    for (const gfx::CallRecord& call : log) {
        if (call.method == "SetStreamSource" && call.values.at(0) == 0) {
            stream = call.values.at(1);
        } else if (call.method == "SetTexture" && call.values.at(0) == 0) {
            texture = call.values.at(1);
        } else if (call.method == "DrawPrimitive") {
            draws.push_back({call.method, static_cast<DWORD>(call.values.at(0)),
                             static_cast<UINT>(call.values.at(1)),
                             static_cast<UINT>(call.values.at(2)), stream, texture});
        } else if (call.method == "DrawIndexedPrimitive") {
            draws.push_back({call.method, static_cast<DWORD>(call.values.at(0)), 0,
                             static_cast<UINT>(call.values.at(5)), stream, texture});
        }
    }
    return draws;
}

// The passes a list of draws belongs to, told apart by their vertex buffers; a pass of several
// draws (the station's subsets, the debris batches) counts once.
inline std::vector<std::string> passesOf(const StationScene& scene,
                                         const std::vector<DrawRecord>& draws) {
    const std::pair<SceneBuffer, const char*> kNames[] = {
        {SceneBuffer::kSky, "sky"},
        {SceneBuffer::kPlanet, "planet"},
        {SceneBuffer::kPlanetRepeat4, "planetAlt"},
        {SceneBuffer::kClouds, "clouds"},
        {SceneBuffer::kBeam, "beam"},
        {SceneBuffer::kExplosion, "explosion"},
        {SceneBuffer::kDebris, "debris"},
    };
    base::ComRef<IDirect3DVertexBuffer9> cone;
    if (scene.firingCone() != nullptr) {
        scene.firingCone()->GetVertexBuffer(cone.put());
    }
    std::vector<std::string> passes;
    for (const DrawRecord& draw : draws) {
        std::string name = draw.stream == gfx::objectIdOf(cone.get()) ? "cone" : "station";
        for (const auto& [buffer, bufferName] : kNames) {
            if (draw.stream == gfx::objectIdOf(scene.vertexBuffer(buffer))) {
                name = bufferName;
            }
        }
        if (passes.empty() || passes.back() != name) {
            passes.push_back(name);
        }
    }
    return passes;
}

inline std::vector<gfx::CallRecord> frameLog(StationScene* scene) {
    IDirect3DDevice9* device = scene->device();
    gfx::setCallLogging(device, true);
    gfx::clearCallLog(device);
    scene->runFrame();
    gfx::setCallLogging(device, false);
    return gfx::callLog(device);
}

} // namespace halv::scene::testing
