// The timeline under a fake clock: the flag rules, a whole cycle and the start of the next, the
// order of the shots and their cameras, the frame limiter, and the explosion's image steps.
#include "tests/scene/scene_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace halv::scene {
namespace {

using testing::drawsIn;
using testing::frameLog;

std::string describe(const ShowFlags& flags) {
    std::string text;
    const std::pair<bool, const char*> kNames[] = {
        {flags.particlesActive, "active"}, {flags.particleReset, "reset"},
        {flags.planetVisible, "planet"},   {flags.coneVisible, "cone"},
        {flags.beamVisible, "beam"},       {flags.explosionVisible, "explosion"},
    };
    for (const auto& [set, name] : kNames) {
        if (set) {
            text += text.empty() ? name : std::string(" ") + name;
        }
    }
    return text;
}

struct FlagCase {
    const char* name;
    double seconds;
    // Whether debris is flying when the frame begins.
    bool active;
    const char* flags;
};

const FlagCase kFlagCases[] = {
    {"FirstFrame", 0.0, false, "reset planet"},
    {"Fire", 15.0, false, "reset planet cone"},
    {"Beam", 15.5, false, "reset planet cone beam"},
    {"Explosion", 15.8, false, "reset planet cone beam explosion"},
    // The launch at fire + 1 s sets the reset; its release at fire + 1.1 s is not due yet.
    {"Launch", 16.05, false, "active reset planet cone beam explosion"},
    // The release takes back in the same frame the reset that the launch set.
    {"FlyingFree", 16.2, true, "active explosion"},
    {"PlanetGone", 16.5, true, "active explosion"},
    {"ExplosionOver", 17.0, true, "active"},
    // The explosion's flag has no guard: it shows while debris flies.
    {"ExplosionWhileActive", 15.9, true, "active explosion"},
    // While debris flies, the planet, cone and beam flags are not set again.
    {"PlanetHiddenWhileActive", 5.0, true, "active"},
};

class TimelineFlags : public testing::FreshShow, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(TimelineFlags, FollowTheRulesInOrder) {
    StationScene scene;
    setTime(0.0);
    scene.updateTimeline();
    scene.show().flags = {};
    scene.show().flags.particlesActive = GetParam().active;
    setTime(GetParam().seconds);
    scene.updateTimeline();
    EXPECT_EQ(describe(scene.show().flags), GetParam().flags);
    EXPECT_EQ(scene.show().shotIndex, 0);
}

INSTANTIATE_TEST_SUITE_P(Scene, TimelineFlags, ::testing::ValuesIn(kFlagCases),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

class Timeline : public testing::FreshShow {};

TEST_F(Timeline, AWholeCycleAndTheStartOfTheNext) {
    StationScene scene;
    initialise(&scene);
    struct Seen {
        double cycleSeconds;
        int shot;
        ShowFlags flags;
    };
    std::vector<Seen> frames;
    // Frames every 10 ms (the limiter lets them through), from the start to 1 s past the cycle,
    // half a step off the rules' boundaries.
    for (int i = 0; i <= 4610; ++i) {
        setTime(i == 0 ? 0.0 : i * 0.01 + 0.005);
        const double cycleSeconds = i == 0 ? 0.0 : nextCycleSeconds();
        const int shot = scene.show().shotIndex;
        scene.runFrame();
        frames.push_back({cycleSeconds, shot, scene.show().flags});
    }
    double retired = -1.0;
    for (const Seen& frame : frames) {
        SCOPED_TRACE(frame.cycleSeconds);
        const double e = frame.cycleSeconds;
        const ShowFlags& flags = frame.flags;
        if (frame.shot == 1) {
            // The next cycle: the debris retires about 29 s after its last launch at 16.1 s,
            // and the planet comes back on the frame after.
            if (!flags.particlesActive && retired < 0.0) {
                retired = e;
            }
            EXPECT_EQ(flags.planetVisible, retired >= 0.0 && e > retired);
            continue;
        }
        EXPECT_EQ(flags.planetVisible, e < 16.5);
        EXPECT_EQ(flags.coneVisible, e >= 15.0 && e < 16.5);
        EXPECT_EQ(flags.beamVisible, e >= 15.5 && e < 16.5);
        // Between 15.8 and 17.0 the explosion is shown until its images have run up and down
        // again; a frame that ends a run hides it for the rest of that frame.
        if (e < 15.8 || e >= 17.0) {
            EXPECT_FALSE(flags.explosionVisible);
        }
        // Launched again on every frame up to 16.1 s, and drawn from then on until it retires
        // early in the next cycle.
        EXPECT_EQ(flags.particlesActive, e >= 16.1);
        EXPECT_FALSE(flags.particleReset);
    }
    EXPECT_GT(retired, 0.05);
    EXPECT_LT(retired, 0.15);
    EXPECT_EQ(frames.back().shot, 1);
}

TEST_F(Timeline, ShotsFollowInTurnWithTheirCameras) {
    StationScene scene;
    initialise(&scene);
    setTime(0.0);
    scene.runFrame();
    struct Camera {
        PlanetLook look;
        D3DXVECTOR3 eye;
        D3DXVECTOR3 target;
    };
    const Camera kCameras[] = {
        {PlanetLook::kContinents, {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f}},
        {PlanetLook::kBurning, {16.041f, 5.598f, 41.914f}, {15.289f, 5.293f, 41.316f}},
        {PlanetLook::kViolet, {-0.945f, -6.011f, 4.448f}, {-0.911f, -5.489f, 5.3f}},
    };
    std::vector<int> shots;
    double cycleStart = 0.0;
    for (int cycle = 0; cycle < 4; ++cycle) {
        // The frame at 45 s ends the cycle and already shows the next shot.
        cycleStart += 45.0;
        setTime(cycleStart);
        scene.runFrame();
        shots.push_back(scene.show().shotIndex);
        const Camera& camera = kCameras[scene.show().shotIndex];
        EXPECT_EQ(scene.show().planetLook, camera.look);
        D3DXMATRIX expected;
        const D3DXVECTOR3 up(0.0f, 1.0f, 0.0f);
        D3DXMatrixLookAtLH(&expected, &camera.eye, &camera.target, &up);
        D3DMATRIX view{};
        ASSERT_EQ(scene.device()->GetTransform(D3DTS_VIEW, &view), D3D_OK);
        EXPECT_EQ(0, std::memcmp(&view, &expected, sizeof(view)));
        // A new cycle starts with the frame after.
        EXPECT_NEAR(nextCycleSeconds(), 0.0, 0.01);
        cycleStart += 0.01;
    }
    EXPECT_THAT(shots, ::testing::ElementsAre(1, 2, 0, 1));
}

TEST_F(Timeline, LimiterSleepsOnlyWhileAFrameIsTooShort) {
    StationScene scene;
    // The first frame counts from itself: one whole interval (9 whole milliseconds).
    scene.updateTimeline();
    EXPECT_EQ(mClock.sleepCalls(), 9);
    EXPECT_EQ(mClock.sleptMilliseconds(), 9u);

    struct LimiterCase {
        double afterMs;
        int sleeps;
    };
    const LimiterCase kCases[] = {{2.0, 7}, {8.0, 1}, {9.0, 0}, {25.0, 0}, {0.0, 9}};
    for (const LimiterCase& limiter : kCases) {
        SCOPED_TRACE(limiter.afterMs);
        const int before = mClock.sleepCalls();
        mClock.advanceMilliseconds(limiter.afterMs);
        scene.updateTimeline();
        EXPECT_EQ(mClock.sleepCalls() - before, limiter.sleeps);
    }
}

TEST_F(Timeline, KeepsRunningAcrossTheMillisecondWrap) {
    // The 32-bit millisecond timer wraps 2 s into the show.
    mClock.setMillisecondOffset(0xFFFFFFFFu - 2000u - 999'999u);
    StationScene scene;
    setTime(0.0);
    scene.updateTimeline();
    for (double seconds : {1.0, 2.5, 5.0}) {
        setTime(seconds);
        const int before = mClock.sleepCalls();
        scene.updateTimeline();
        EXPECT_EQ(mClock.sleepCalls(), before);
        EXPECT_NEAR(nextCycleSeconds(), seconds, 0.02);
    }
    EXPECT_TRUE(scene.show().flags.planetVisible);
}

TEST_F(Timeline, AspectComesFromTheSizeGivenEvenWhenWindowed) {
    StationScene scene;
    // Windowed without a window: the back buffer takes its own default size.
    ASSERT_EQ(scene.initialise(nullptr, 1024, 768, false), S_OK);
    EXPECT_FLOAT_EQ(scene.aspectRatio(), 1024.0f / 768.0f);
    D3DXMATRIX expected;
    D3DXMatrixPerspectiveFovLH(&expected, D3DX_PI / 4.0f, 1024.0f / 768.0f, 0.1f, 1000.0f);
    D3DMATRIX projection{};
    ASSERT_EQ(scene.device()->GetTransform(D3DTS_PROJECTION, &projection), D3D_OK);
    EXPECT_EQ(0, std::memcmp(&projection, &expected, sizeof(projection)));
}

// --- Explosion images ----------------------------------------------------------------------

class Explosion : public testing::FreshShow {
protected:
    void SetUp() override {
        initialise(&scene);
        ASSERT_EQ(scene.device()->BeginScene(), D3D_OK);
    }
    void TearDown() override { scene.device()->EndScene(); }

    // One step with the explosion showing: the slot it drew (0 for none).
    int step() {
        scene.show().flags.explosionVisible = true;
        IDirect3DDevice9* device = scene.device();
        gfx::setCallLogging(device, true);
        gfx::clearCallLog(device);
        scene.stepExplosion();
        gfx::setCallLogging(device, false);
        const std::vector<testing::DrawRecord> draws = drawsIn(gfx::callLog(device));
        if (draws.empty()) {
            return 0;
        }
        for (int slot = kFirstExplosionSlot; slot <= kLastExplosionSlot; ++slot) {
            if (gfx::objectIdOf(scene.texture(slot)) == draws.front().texture) {
                return slot;
            }
        }
        return -1;
    }

    StationScene scene;
};

TEST_F(Explosion, PlaysUpAndDownAndEndsOnTheFirstImage) {
    std::vector<int> drawn;
    bool ended = false;
    while (!ended && drawn.size() < 200) {
        drawn.push_back(step());
        ended = !scene.show().flags.explosionVisible;
    }
    std::vector<int> expected;
    for (int slot = 5; slot <= 54; ++slot) {
        expected.push_back(slot);
    }
    for (int slot = 53; slot >= 5; --slot) {
        expected.push_back(slot);
    }
    EXPECT_EQ(drawn, expected);
    EXPECT_EQ(detail::showClocks().explosionStep, -1);

    // Still within the explosion's time: nothing at index 4, then up again.
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(scene.show().explosionFrame, 4);
    EXPECT_EQ(step(), 5);
    EXPECT_EQ(step(), 6);
}

TEST_F(Explosion, ALeftOverDownStepCostsTheNextShowingOneFrame) {
    detail::showClocks().explosionStep = -1;
    scene.show().explosionFrame = 4;
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(scene.show().explosionFrame, 3);
    EXPECT_EQ(detail::showClocks().explosionStep, 1);
    EXPECT_EQ(step(), 5);
}

TEST_F(Explosion, OutOfRangeIndicesAreClampedFirst) {
    scene.show().explosionFrame = 90;
    EXPECT_EQ(step(), 0);
    EXPECT_EQ(scene.show().explosionFrame, 55);
    EXPECT_EQ(detail::showClocks().explosionStep, -1);
    EXPECT_EQ(step(), 53);
}

} // namespace
} // namespace halv::scene
