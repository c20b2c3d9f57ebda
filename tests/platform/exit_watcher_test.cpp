#include "platform/exit_watcher.h"

#include <gtest/gtest.h>

#include <functional>

namespace halv::platform {
namespace {

constexpr XWindowId kShow = 0x200006;
constexpr XWindowId kBlank = 0x200010;
constexpr XWindowId kHost = 0x400002;
constexpr XWindowId kStranger = 0x500000;

ExitTriggers saverWindow() {
    ExitTriggers triggers;
    triggers.keyPress = true;
    triggers.motionChanges = 6;
    triggers.destroyed = true;
    return triggers;
}

ExitTriggers destroyedOnly() {
    ExitTriggers triggers;
    triggers.destroyed = true;
    return triggers;
}

// The show's window and a black one end on input; XScreenSaver's window only on its
// destruction and is not taken off the screen.
ExitRules desktopRules() {
    ExitRules rules;
    rules.watch(kShow, saverWindow(), true);
    rules.watch(kHost, destroyedOnly(), false);
    rules.watch(kBlank, saverWindow(), true);
    return rules;
}

TEST(ExitRules, KeysAndDestructionEndOnlyWhereWatched) {
    struct Case {
        const char* name;
        std::function<bool(ExitRules&)> event;
        bool ends;
    };
    const Case cases[] = {
        {"KeyOnTheShow", [](ExitRules& rules) { return rules.keyPressed(kShow); }, true},
        {"KeyOnABlankWindow", [](ExitRules& rules) { return rules.keyPressed(kBlank); }, true},
        {"KeyOnTheHost", [](ExitRules& rules) { return rules.keyPressed(kHost); }, false},
        {"KeyElsewhere", [](ExitRules& rules) { return rules.keyPressed(kStranger); }, false},
        {"ShowDestroyed", [](ExitRules& rules) { return rules.destroyed(kShow); }, true},
        {"HostDestroyed", [](ExitRules& rules) { return rules.destroyed(kHost); }, true},
        {"OtherDestroyed", [](ExitRules& rules) { return rules.destroyed(kStranger); }, false},
        {"MoveOnTheHost", [](ExitRules& rules) { return rules.pointerMoved(kHost, 1, 1); }, false},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        ExitRules rules = desktopRules();
        EXPECT_EQ(testCase.event(rules), testCase.ends);
    }
}

TEST(ExitRules, SixthPositionChangeOverAllWindowsEnds) {
    ExitRules rules = desktopRules();
    // Repeats do not count; moves on the host do not count; changes on both saver windows do.
    EXPECT_FALSE(rules.pointerMoved(kShow, 10, 10));
    EXPECT_FALSE(rules.pointerMoved(kShow, 10, 10));
    EXPECT_FALSE(rules.pointerMoved(kHost, 50, 50));
    EXPECT_FALSE(rules.pointerMoved(kBlank, 11, 10));
    EXPECT_FALSE(rules.pointerMoved(kStranger, 70, 70));
    EXPECT_FALSE(rules.pointerMoved(kShow, 12, 10));
    EXPECT_FALSE(rules.pointerMoved(kShow, 12, 10));
    EXPECT_FALSE(rules.pointerMoved(kBlank, 12, 11));
    EXPECT_FALSE(rules.pointerMoved(kShow, 13, 11));
    EXPECT_TRUE(rules.pointerMoved(kShow, 13, 12));
    // And any change after it.
    EXPECT_TRUE(rules.pointerMoved(kBlank, 0, 0));
}

TEST(ExitRules, FirstReportCountsAndAPreviewNeverEndsOnMovement) {
    ExitRules preview;
    ExitTriggers triggers = saverWindow();
    triggers.motionChanges = 0;
    preview.watch(kShow, triggers, true);
    for (int i = 0; i < 20; ++i) {
        EXPECT_FALSE(preview.pointerMoved(kShow, i, i));
    }
    ExitRules firstEnds;
    triggers.motionChanges = 1;
    firstEnds.watch(kShow, triggers, true);
    EXPECT_TRUE(firstEnds.pointerMoved(kShow, -1, 0));
}

TEST(ExitRules, WindowsToHideAreTheOwnOnesInWatchOrder) {
    ExitRules rules = desktopRules();
    EXPECT_EQ(rules.windowsToHide(), (std::vector<XWindowId>{kShow, kBlank}));
    // Watching again replaces the triggers and keeps the place.
    rules.watch(kShow, destroyedOnly(), true);
    EXPECT_FALSE(rules.keyPressed(kShow));
    EXPECT_EQ(rules.windowsToHide(), (std::vector<XWindowId>{kShow, kBlank}));
    EXPECT_TRUE(ExitRules().windowsToHide().empty());
}

TEST(ExitWatcher, NoneRunsInAProcessThatDidNotStartOne) {
    EXPECT_FALSE(exitWatcherRunning());
    // Nowhere to send it: nothing happens.
    watchWindowForExit(kShow, saverWindow(), true);
}

} // namespace
} // namespace halv::platform
