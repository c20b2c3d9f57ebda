#include "base/debug_output.h"

#include "base/environment.h"

#include <cstdio>

namespace halv::base {
namespace {

// Process-wide: where debugger output goes; empty means the default.
DebugOutputSink gSink;

} // namespace

DebugOutputSink installDebugOutputSink(DebugOutputSink sink) {
    DebugOutputSink previous = std::move(gSink);
    gSink = std::move(sink);
    return previous;
}

} // namespace halv::base

void OutputDebugStringA(LPCSTR text) {
    if (text == nullptr) {
        return;
    }
    if (halv::base::gSink) {
        halv::base::gSink(text);
        return;
    }
    if (halv::base::getEnvironmentVariable("HALVORINE_DEBUG")) {
        std::fputs(text, stderr);
    }
}
