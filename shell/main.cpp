// The halvorine executable: process set-up around the saver's entry point.
#include "base/environment.h"
#include "base/message_box.h"
#include "base/resources.h"
#include "gfx/device_factory.h"
#include "platform/process.h"
#include "platform/window.h"
#include "shell/station_saver_app.h"

int main(int argc, char** argv) {
    halv::platform::setProcessArguments(argc, argv);
    halv::platform::installTerminationHandlers();
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
