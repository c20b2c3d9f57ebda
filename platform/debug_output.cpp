#include "platform/debug_output.h"

#include "platform/environment.h"

#include <cstdio>

namespace halv::platform {
namespace {

// Process-wide: where debugger output goes; empty means the default.
DebugOutputSink gSink;

} // namespace

DebugOutputSink installDebugOutputSink(DebugOutputSink sink) {
    DebugOutputSink previous = std::move(gSink);
    gSink = std::move(sink);
    return previous;
}

} // namespace halv::platform

void OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) {
        return;
    }
    if (halv::platform::gSink) {
        halv::platform::gSink(text);
        return;
    }
    if (halv::platform::getEnvironmentVariable("HALVORINE_DEBUG")) {
        std::fputs(text, stderr);
    }
}
