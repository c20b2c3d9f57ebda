// The halvorine executable: process set-up around the saver's entry point.
#include "base/environment.h"
#include "base/heap_policy.h"
#include "base/message_box.h"
#include "base/resources.h"
#include "gfx/device_factory.h"
#include "platform/exit_watcher.h"
#include "platform/process.h"
#include "platform/window.h"
#include "shell/station_saver_app.h"

namespace {

// How long the orderly end may take once the saver should end, before the exit watcher kills it:
// the saver finishes well within it on an idle machine, and a busy one must still see it gone
// within a second.
constexpr std::chrono::milliseconds kOrderlyEndGrace{200};

} // namespace

int main(int argc, char** argv) {
    halv::base::returnLargeBlocksToSystem();
    halv::platform::setProcessArguments(argc, argv);
    halv::platform::installTerminationHandlers();
    // The rest runs in the saver process; this one watches it, at the priority it started with.
    halv::platform::startExitWatcher(kOrderlyEndGrace);
    halv::base::installMessageBoxPresenter(halv::platform::desktopMessageBoxPresenter());
    // HALVORINE_RENDERER=null runs the saver without OpenGL (windows and input work, nothing is
    // drawn): for checking the window handling on machines without a GL driver.
    if (halv::base::getEnvironmentVariable("HALVORINE_RENDERER") == "null") {
        halv::gfx::Direct3DOptions options;
        options.renderer = halv::gfx::RendererKind::kNull;
        halv::gfx::installDirect3DOptions(options);
    }
    return halv::shell::saverMain(GetModuleHandleW(nullptr), SW_SHOWDEFAULT);
}
