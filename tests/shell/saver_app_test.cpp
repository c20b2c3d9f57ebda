// The whole saver run on the fake window system, the null renderer and a fake clock: modes,
// the order of window messages and hooks, the end on input, termination and host destruction.
#include "base/environment.h"
#include "base/message_box.h"
#include "base/resources.h"
#include "base/timing.h"
#include "gfx/device_factory.h"
#include "gfx/inspection.h"
#include "platform/fake_window_system.h"
#include "platform/process.h"
#include "scene/detail/show_clocks.h"
#include "shell/station_saver_app.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace halv::shell {
namespace {

using platform::FakeWindowSystem;
using platform::NativeEvent;

constexpr std::uintptr_t kHostId = 0x400002;

HWND hostHandle() {
    return reinterpret_cast<HWND>(kHostId);
}

NativeEvent keyDown() {
    NativeEvent event;
    event.type = NativeEvent::Type::kKeyDown;
    event.virtualKey = 'Q';
    return event;
}

NativeEvent mouseAt(int x, int y) {
    NativeEvent event;
    event.type = NativeEvent::Type::kMouseMove;
    event.x = x;
    event.y = y;
    return event;
}

struct HookCall {
    std::string hook;
    std::int64_t milliseconds;
};

// The saver with every hook written down (with the fake time) before the real one runs.
class RecordingSaver final : public StationSaverApp {
public:
    RecordingSaver(const base::FakeClock* clock, FakeWindowSystem* system)
        : mClock(clock)
        , mSystem(system) {}

    int initDevice() override {
        note("initDevice");
        windowVisibleAtDevice =
            mSystem->window(window()) != nullptr && mSystem->window(window())->visible;
        return StationSaverApp::initDevice();
    }
    void renderFrame() override {
        ++frames;
        StationSaverApp::renderFrame();
    }
    void onCreate() override {
        note("create");
        StationSaverApp::onCreate();
        note("create returns");
    }
    void onPreviewStart() override {
        note("previewStart");
        StationSaverApp::onPreviewStart();
    }
    void onTimer() override {
        note("timer");
        StationSaverApp::onTimer();
    }
    void onKeyDown() override {
        note("keyDown");
        StationSaverApp::onKeyDown();
    }
    void onDestroy() override {
        note("destroy");
        if (!postsNoQuit) {
            StationSaverApp::onDestroy();
        }
    }

    std::vector<std::string> hooks() const {
        std::vector<std::string> names;
        for (const HookCall& call : calls) {
            names.push_back(call.hook);
        }
        return names;
    }
    std::int64_t timeOf(const std::string& hook) const {
        for (const HookCall& call : calls) {
            if (call.hook == hook) {
                return call.milliseconds;
            }
        }
        return -1;
    }

    std::vector<HookCall> calls;
    // A destruction that posts no quit, so only the vanished window can end the preview wait.
    bool postsNoQuit = false;
    int frames = 0;
    bool windowVisibleAtDevice = false;

private:
    void note(const char* hook) {
        calls.push_back(HookCall{hook, mClock->nanoseconds() / 1000000});
    }

    const base::FakeClock* mClock;
    FakeWindowSystem* mSystem;
};

gfx::Direct3DOptions nullRenderer() {
    gfx::Direct3DOptions options;
    options.renderer = gfx::RendererKind::kNull;
    options.logCalls = true;
    return options;
}

class SaverAppTest : public testing::Test {
protected:
    SaverAppTest() {
        ScreensaverApp::mouseTracker() = MouseMoveTracker{};
        // Each run is a new show from its first frame, as in a new process.
        scene::detail::resetShowClocksForTesting();
    }

    void TearDown() override {
        mInstalled.reset();
        UnregisterClassW(u"APP", nullptr);
        UnregisterClassW(kBlankClassName, nullptr);
    }

    // Runs the saver on a thread of its own (it moves its thread to idle priority). `onPoll`
    // is called at every look at the window system, with the number of looks so far.
    int runSaver(ScreensaverApp& app, std::vector<std::string> argv,
                 std::function<void(int)> onPoll = nullptr) {
        platform::ScopedCommandLine line(std::move(argv));
        int polls = 0;
        mSystem.setPollHook([&] {
            ++polls;
            if (onPoll) {
                onPoll(polls);
            }
            if (polls == 100000) {
                ADD_FAILURE() << "the saver did not end";
                platform::requestTermination();
            }
        });
        int result = -1;
        std::thread runner([&] { result = app.run(GetModuleHandleW(nullptr), SW_SHOWDEFAULT); });
        runner.join();
        mSystem.setPollHook(nullptr);
        return result;
    }

    // What the fake window system made, the only window the saver should have.
    const FakeWindowSystem::Window* onlyWindow() {
        EXPECT_EQ(mSystem.created().size(), 1u);
        return mSystem.created().empty() ? nullptr : mSystem.window(mSystem.created().front());
    }

    base::FakeClock mClock;
    base::ScopedClock mScopedClock{&mClock};
    FakeWindowSystem mSystem;
    std::optional<platform::ScopedWindowSystem> mInstalled{std::in_place, &mSystem};
    gfx::ScopedDirect3DOptions mRenderer{nullRenderer()};
    base::ScopedMessageBoxCapture mBoxes;
};

TEST_F(SaverAppTest, TestModeOpensACentredWindowAndEndsOnAKey) {
    RecordingSaver saver(&mClock, &mSystem);
    bool cursorHiddenWhileRunning = false;
    const int result = runSaver(saver, {"halvorine", "/t"}, [&](int polls) {
        if (polls == 10) {
            cursorHiddenWhileRunning = !mSystem.cursorVisible();
            mSystem.queueEvent(keyDown());
        }
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(saver.hooks(), (std::vector<std::string>{"create", "create returns", "initDevice",
                                                       "keyDown", "destroy"}));
    const FakeWindowSystem::Window* window = onlyWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->request.kind, platform::NativeWindowKind::kOverlapped);
    EXPECT_EQ(window->request.title, "QLX Halvorine");
    EXPECT_EQ(window->request.x, (1280 - 1024) / 2);
    EXPECT_EQ(window->request.y, (1024 - 768) / 2);
    EXPECT_EQ(window->request.width, 1024);
    EXPECT_EQ(window->request.height, 768);
    ASSERT_NE(window->request.icon, nullptr);
    EXPECT_EQ(window->request.icon->width, 48);
    EXPECT_TRUE(saver.windowVisibleAtDevice);
    EXPECT_TRUE(window->retired);
    EXPECT_TRUE(cursorHiddenWhileRunning);
    EXPECT_TRUE(mSystem.cursorVisible());
    EXPECT_FALSE(saver.settings().fullScreen);
    EXPECT_EQ(saver.settings().width, 1024);
    EXPECT_EQ(saver.settings().height, 768);
    EXPECT_TRUE(mBoxes.shown().empty());

    // Every frame cleared to the dark blue and presented, and the loop drew until the key.
    ASSERT_NE(saver.scene()->device(), nullptr);
    int clears = 0;
    for (const gfx::CallRecord& call : gfx::callLog(saver.scene()->device())) {
        if (call.method == "Clear") {
            ++clears;
            EXPECT_EQ(call.values.at(3), 0xFF000064u);
        }
    }
    gfx::DrawStats stats;
    ASSERT_EQ(gfx::getDrawStats(saver.scene()->device(), &stats), D3D_OK);
    EXPECT_GE(saver.frames, 8);
    EXPECT_EQ(clears, saver.frames);
    EXPECT_EQ(stats.presents, static_cast<std::uint64_t>(saver.frames));
}

TEST_F(SaverAppTest, TestModeOnANarrowScreenStartsLeftOfIt) {
    mSystem.setScreenSize(800, 600);
    RecordingSaver saver(&mClock, &mSystem);
    runSaver(saver, {"halvorine", "/T"}, [&](int polls) {
        if (polls == 3) {
            mSystem.queueEvent(keyDown());
        }
    });
    const FakeWindowSystem::Window* window = onlyWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->request.x, -112);
    EXPECT_EQ(window->request.y, -84);
}

TEST_F(SaverAppTest, FullScreenCoversTheScreenAndSaysASaverRuns) {
    mSystem.setScreenSize(800, 600);
    RecordingSaver saver(&mClock, &mSystem);
    BOOL runningDuringFrames = FALSE;
    const int result = runSaver(saver, {"halvorine", "/s"}, [&](int polls) {
        if (polls == 5) {
            SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING, 0, &runningDuringFrames, 0);
            mSystem.queueEvent(keyDown());
        }
    });
    EXPECT_EQ(result, 0);
    const FakeWindowSystem::Window* window = onlyWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->request.kind, platform::NativeWindowKind::kPopup);
    EXPECT_TRUE(window->request.fullScreen);
    EXPECT_TRUE(window->request.topmost);
    EXPECT_EQ(window->request.width, 800);
    EXPECT_EQ(window->request.height, 600);
    EXPECT_TRUE(saver.settings().fullScreen);
    EXPECT_EQ(saver.settings().width, 800);
    EXPECT_EQ(saver.settings().height, 600);
    EXPECT_EQ(runningDuringFrames, TRUE);
    BOOL runningAfter = TRUE;
    SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING, 0, &runningAfter, 0);
    EXPECT_EQ(runningAfter, FALSE);
    EXPECT_TRUE(mSystem.cursorVisible());
}

// The primary monitor right of a smaller one and lower, and a third below both.
const std::vector<platform::MonitorArea> kThreeMonitors = {
    {640, 100, 800, 600}, {0, 0, 640, 480}, {0, 700, 1024, 768}};

TEST_F(SaverAppTest, FullScreenShowsOnThePrimaryMonitorAndBlacksOutTheOthers) {
    mSystem.setMonitors(kThreeMonitors);
    RecordingSaver saver(&mClock, &mSystem);
    std::vector<HWND> blanksWhileRunning;
    std::vector<bool> visibleWhileRunning;
    const int result = runSaver(saver, {"halvorine", "/s"}, [&](int polls) {
        if (polls == 5) {
            blanksWhileRunning = saver.blankWindows();
            for (HWND blank : blanksWhileRunning) {
                visibleWhileRunning.push_back(mSystem.window(blank)->visible);
            }
            mSystem.queueEvent(keyDown());
        }
    });
    EXPECT_EQ(result, 0);
    // The black windows come first so that the show stacks above them where monitors overlap.
    ASSERT_EQ(mSystem.created().size(), 3u);
    const FakeWindowSystem::Window* show = mSystem.window(mSystem.created().back());
    EXPECT_EQ(show->request.x, 640);
    EXPECT_EQ(show->request.y, 100);
    EXPECT_EQ(show->request.width, 800);
    EXPECT_EQ(show->request.height, 600);
    EXPECT_TRUE(show->request.fullScreen);
    EXPECT_FALSE(show->request.blank);
    EXPECT_EQ(saver.settings().width, 800);
    EXPECT_EQ(saver.settings().height, 600);
    ASSERT_EQ(blanksWhileRunning.size(), 2u);
    EXPECT_EQ(blanksWhileRunning, (std::vector<HWND>{mSystem.created()[0], mSystem.created()[1]}));
    EXPECT_EQ(visibleWhileRunning, (std::vector<bool>{true, true}));
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const FakeWindowSystem::Window* blank = mSystem.window(blanksWhileRunning[i]);
        EXPECT_EQ(blank->request.kind, platform::NativeWindowKind::kPopup);
        EXPECT_TRUE(blank->request.blank);
        EXPECT_TRUE(blank->request.fullScreen);
        EXPECT_TRUE(blank->request.topmost);
        EXPECT_EQ(blank->request.x, kThreeMonitors[i + 1].x);
        EXPECT_EQ(blank->request.y, kThreeMonitors[i + 1].y);
        EXPECT_EQ(blank->request.width, kThreeMonitors[i + 1].width);
        EXPECT_EQ(blank->request.height, kThreeMonitors[i + 1].height);
        // They go with the show, and the exit watcher ends the saver on them as on the show.
        EXPECT_TRUE(blank->retired);
        ASSERT_TRUE(blank->exitTriggers.has_value());
        EXPECT_TRUE(blank->exitTriggers->keyPress);
        EXPECT_EQ(blank->exitTriggers->motionChanges, 6);
        EXPECT_TRUE(blank->exitTriggers->destroyed);
    }
    EXPECT_TRUE(saver.blankWindows().empty());
    EXPECT_TRUE(mSystem.cursorVisible());
}

TEST_F(SaverAppTest, InputOnABlackWindowOrItsDestructionEndsTheSaver) {
    struct Case {
        const char* name;
        std::function<void(FakeWindowSystem&, HWND blank)> end;
    };
    const Case cases[] = {
        {"Key",
         [](FakeWindowSystem& system, HWND blank) {
             NativeEvent event = keyDown();
             event.window = blank;
             system.queueEvent(event);
         }},
        {"SixMoves",
         [](FakeWindowSystem& system, HWND blank) {
             for (int i = 0; i < 6; ++i) {
                 NativeEvent event = mouseAt(i, 0);
                 event.window = blank;
                 system.queueEvent(event);
             }
         }},
        {"DestroyedFromOutside",
         [](FakeWindowSystem& system, HWND blank) { system.destroyFromOutside(blank); }},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ScreensaverApp::mouseTracker() = MouseMoveTracker{};
        mSystem.setMonitors({{0, 0, 1280, 1024}, {1280, 0, 1024, 768}});
        RecordingSaver saver(&mClock, &mSystem);
        int framesAtEnd = -1;
        const int result = runSaver(saver, {"halvorine", "/s"}, [&](int polls) {
            if (polls == 5) {
                framesAtEnd = saver.frames;
                ASSERT_EQ(saver.blankWindows().size(), 1u);
                testCase.end(mSystem, saver.blankWindows().front());
            }
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(saver.hooks().back(), "destroy");
        EXPECT_LE(saver.frames, framesAtEnd + 1);
        for (HWND window : mSystem.created()) {
            EXPECT_EQ(IsWindow(window), FALSE);
        }
    }
}

TEST_F(SaverAppTest, TheShowsWindowDestroyedFromOutsideEndsTheSaver) {
    for (const char* mode : {"/t", "/s"}) {
        SCOPED_TRACE(mode);
        RecordingSaver saver(&mClock, &mSystem);
        const int result = runSaver(saver, {"halvorine", mode}, [&](int polls) {
            if (polls == 5) {
                mSystem.destroyFromOutside(saver.window());
            }
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(saver.hooks().back(), "destroy");
        EXPECT_TRUE(mSystem.cursorVisible());
    }
}

TEST_F(SaverAppTest, TheExitWatcherWatchesWhatEndsTheSaverInEachMode) {
    mSystem.addForeignWindow(hostHandle(), 320, 240);
    struct Case {
        const char* name;
        std::vector<std::string> argv;
        int motionChanges;
    };
    const Case cases[] = {
        {"Test", {"halvorine", "/t"}, 6},
        {"FullScreen", {"halvorine", "/s"}, 6},
        {"PreviewIgnoresMovement", {"halvorine", "/p", std::to_string(kHostId)}, 0},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        RecordingSaver saver(&mClock, &mSystem);
        runSaver(saver, testCase.argv, [&](int) {
            if (saver.frames == 3) {
                platform::requestTermination();
            }
        });
        ASSERT_FALSE(mSystem.created().empty());
        const FakeWindowSystem::Window* window = mSystem.window(mSystem.created().back());
        ASSERT_TRUE(window->exitTriggers.has_value());
        EXPECT_TRUE(window->exitTriggers->keyPress);
        EXPECT_EQ(window->exitTriggers->motionChanges, testCase.motionChanges);
        EXPECT_TRUE(window->exitTriggers->destroyed);
    }
}

TEST_F(SaverAppTest, PreviewWaitsHalfASecondInsideTheHostThenEndsWithIt) {
    mSystem.addForeignWindow(hostHandle(), 320, 240);
    RecordingSaver saver(&mClock, &mSystem);
    int framesAtMoves = -1;
    const int result =
        runSaver(saver, {"halvorine", "/p", std::to_string(kHostId)}, [&](int polls) {
            // Mouse movement never ends a preview.
            if (saver.frames == 5 && framesAtMoves < 0) {
                framesAtMoves = saver.frames;
                for (int i = 0; i < 10; ++i) {
                    mSystem.queueEvent(mouseAt(i, 2 * i));
                }
            }
            if (polls > 0 && saver.frames == 20) {
                mSystem.removeForeignWindow(hostHandle());
            }
        });
    EXPECT_EQ(result, 0);
    // WM_CREATE posts the start message, which starts the timer; its first tick ends the wait,
    // window creation returns, and only then does the device start.
    EXPECT_EQ(saver.hooks(), (std::vector<std::string>{"create", "previewStart", "timer",
                                                       "create returns", "initDevice", "destroy"}));
    EXPECT_GE(saver.timeOf("timer") - saver.timeOf("create"), 500);
    EXPECT_LT(saver.timeOf("timer") - saver.timeOf("create"), 520);
    EXPECT_TRUE(saver.windowVisibleAtDevice);
    EXPECT_FALSE(saver.previewWaiting());
    const FakeWindowSystem::Window* window = onlyWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->request.kind, platform::NativeWindowKind::kChild);
    EXPECT_EQ(window->request.parent, hostHandle());
    EXPECT_EQ(window->request.x, 0);
    EXPECT_EQ(window->request.y, 0);
    EXPECT_EQ(window->request.width, 320);
    EXPECT_EQ(window->request.height, 240);
    // The device gets the settings' 1024 x 768 and draws windowed.
    EXPECT_FALSE(saver.settings().fullScreen);
    EXPECT_TRUE(saver.settings().isPreview);
    EXPECT_EQ(saver.settings().width, 1024);
    EXPECT_TRUE(mSystem.cursorVisible());
    EXPECT_GE(saver.frames, 20);
}

TEST_F(SaverAppTest, PreviewHostDestroyedDuringTheDelayEndsWithoutADevice) {
    mSystem.addForeignWindow(hostHandle(), 320, 240);
    RecordingSaver saver(&mClock, &mSystem);
    const int result =
        runSaver(saver, {"halvorine", "/p", std::to_string(kHostId)}, [&](int polls) {
            if (polls == 2) {
                mSystem.removeForeignWindow(hostHandle());
            }
        });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(saver.hooks(),
              (std::vector<std::string>{"create", "previewStart", "destroy", "create returns"}));
    EXPECT_EQ(saver.frames, 0);
}

TEST_F(SaverAppTest, PreviewWaitEndsWhenTheWindowVanishesWithoutAQuit) {
    mSystem.addForeignWindow(hostHandle(), 320, 240);
    RecordingSaver saver(&mClock, &mSystem);
    saver.postsNoQuit = true;
    const int result =
        runSaver(saver, {"halvorine", "/p", std::to_string(kHostId)}, [&](int polls) {
            if (polls == 2) {
                mSystem.removeForeignWindow(hostHandle());
            }
        });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(saver.hooks(),
              (std::vector<std::string>{"create", "previewStart", "destroy", "create returns"}));
    EXPECT_TRUE(saver.previewWaiting());
    EXPECT_LT(mClock.nanoseconds() / 1000000, 500);
}

TEST_F(SaverAppTest, NoWindowMeansAQuietEnd) {
    struct Case {
        const char* name;
        std::vector<std::string> argv;
        bool display;
    };
    const Case cases[] = {
        {"PreviewWithoutHost", {"halvorine", "/p"}, true},
        {"PreviewOfNoWindow", {"halvorine", "/p", "999"}, true},
        {"ChangePassword", {"halvorine", "/a", "1234"}, true},
        {"TestWithoutDisplay", {"halvorine", "/t"}, false},
        {"FullScreenWithoutDisplay", {"halvorine", "/s"}, false},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        mSystem.setDisplay(testCase.display);
        RecordingSaver saver(&mClock, &mSystem);
        EXPECT_EQ(runSaver(saver, testCase.argv), 0);
        EXPECT_TRUE(mSystem.created().empty());
        EXPECT_EQ(saver.timeOf("initDevice"), -1);
        EXPECT_EQ(saver.frames, 0);
    }
    EXPECT_TRUE(mBoxes.shown().empty());
}

TEST_F(SaverAppTest, ConfigureShowsTheBoxInTheUsersLanguage) {
    const std::u16string german =
        u"Der Bildschirmschoner verfügt über keine einstellbaren Optionen.";
    const std::u16string english = u"This screen saver has no options that you can set.";
    struct Case {
        const char* name;
        std::vector<std::string> argv;
        const char* lang;
        const std::u16string* text;
    };
    const Case cases[] = {
        {"NoArguments", {"halvorine"}, "en_US.UTF-8", &english},
        {"SlashC", {"halvorine", "/c"}, "de_DE.UTF-8", &german},
        {"WithHost", {"halvorine", "/C:123"}, "de_CH.UTF-8", &german},
        {"DashWithHost", {"halvorine", "-c", "123"}, "de_AT", &german},
        {"French", {"halvorine", "/c"}, "fr_FR.UTF-8", &english},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        base::MapEnvironment environment{{"LANG", testCase.lang}};
        base::ScopedEnvironment installedEnvironment(&environment);
        base::ScopedMessageBoxCapture boxes;
        RecordingSaver saver(&mClock, &mSystem);
        EXPECT_EQ(runSaver(saver, testCase.argv), 0);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_EQ(boxes.shown()[0].text, *testCase.text);
        EXPECT_EQ(boxes.shown()[0].caption, u"Screen Saver Settings");
        EXPECT_EQ(boxes.shown()[0].type, MB_ICONINFORMATION);
        EXPECT_EQ(boxes.shown()[0].owner, nullptr);
        EXPECT_TRUE(mSystem.created().empty());
    }
}

TEST_F(SaverAppTest, SixthMousePositionChangeEndsTheSaver) {
    RecordingSaver saver(&mClock, &mSystem);
    int framesAfterFifthChange = -1;
    const int result = runSaver(saver, {"halvorine", "/t"}, [&](int polls) {
        if (polls == 5) {
            // Five changes, with repeats of the same position in between.
            for (const auto& [x, y] : std::vector<std::pair<int, int>>{{10, 10},
                                                                       {10, 10},
                                                                       {10, 10},
                                                                       {11, 10},
                                                                       {12, 10},
                                                                       {12, 10},
                                                                       {12, 11},
                                                                       {13, 11}}) {
                mSystem.queueEvent(mouseAt(x, y));
            }
        }
        if (polls == 30) {
            framesAfterFifthChange = saver.frames;
            mSystem.queueEvent(mouseAt(13, 11));
            mSystem.queueEvent(mouseAt(13, 11));
        }
        if (polls == 40) {
            mSystem.queueEvent(mouseAt(-3, 11));
        }
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(saver.hooks().back(), "destroy");
    EXPECT_EQ(ScreensaverApp::mouseTracker().changes(), 6);
    // Still drawing after five changes and the repeats; ended right after the sixth.
    EXPECT_GT(saver.frames, framesAfterFifthChange + 5);
    EXPECT_LT(saver.frames, 40);
}

TEST_F(SaverAppTest, TerminationAndWindowCloseEndTheSaver) {
    struct Case {
        const char* name;
        std::function<void(FakeWindowSystem&)> end;
    };
    const Case cases[] = {
        {"Termination", [](FakeWindowSystem&) { platform::requestTermination(); }},
        {"Close",
         [](FakeWindowSystem& system) {
             NativeEvent close;
             close.type = NativeEvent::Type::kClose;
             system.queueEvent(close);
         }},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        RecordingSaver saver(&mClock, &mSystem);
        EXPECT_EQ(runSaver(saver, {"halvorine", "/s"},
                           [&](int polls) {
                               if (polls == 4) {
                                   testCase.end(mSystem);
                               }
                           }),
                  0);
        EXPECT_EQ(saver.hooks().back(), "destroy");
        EXPECT_TRUE(mSystem.cursorVisible());
        BOOL running = TRUE;
        SystemParametersInfoW(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
        EXPECT_EQ(running, FALSE);
    }
}

TEST_F(SaverAppTest, DeviceFailureEndsQuietly) {
    // A window renderer cannot start on a window of the fake system.
    gfx::Direct3DOptions options;
    options.renderer = gfx::RendererKind::kWindow;
    options.profile = gfx::defaultAdapterProfile();
    gfx::ScopedDirect3DOptions windowRenderer(options);
    RecordingSaver saver(&mClock, &mSystem);
    EXPECT_EQ(runSaver(saver, {"halvorine", "/t"}), 0);
    EXPECT_EQ(saver.hooks(), (std::vector<std::string>{"create", "create returns", "initDevice"}));
    EXPECT_EQ(saver.frames, 0);
    EXPECT_EQ(saver.scene()->device(), nullptr);
    EXPECT_TRUE(mBoxes.shown().empty());
}

TEST_F(SaverAppTest, EntryPointReturnsZero) {
    platform::ScopedCommandLine line({"halvorine", "/c"});
    EXPECT_EQ(saverMain(GetModuleHandleW(nullptr), SW_SHOWDEFAULT), 0);
    EXPECT_EQ(mBoxes.shown().size(), 1u);
    EXPECT_EQ(ScreensaverApp::current(), nullptr);
}

} // namespace
} // namespace halv::shell
