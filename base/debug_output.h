// The debugger output channel: stderr, only when HALVORINE_DEBUG is set.
#pragma once

#include "base/win_types.h"

#include <functional>
#include <string_view>

void OutputDebugStringA(LPCSTR text);

namespace halv::base {

using DebugOutputSink = std::function<void(std::string_view)>;

// Sends debugger output to `sink` instead and returns the previous sink; an empty function
// restores the default. Process-wide.
DebugOutputSink installDebugOutputSink(DebugOutputSink sink);

} // namespace halv::base
