// How the process's heap treats large blocks, set once by a long-running program's main.
#pragma once

#include <cstddef>

namespace halv::base {

// Blocks of at least this many bytes get a mapping of their own.
inline constexpr std::size_t kLargeBlockBytes = 80 * 1024;

// Large blocks go back to the system when freed instead of leaving resident holes in the heap:
// the start-up's decode and parse buffers and the renderer's upload copies are such blocks.
// The limit sits above the 64 KiB blocks a software GL driver takes and returns every frame, so
// drawing costs no extra system calls. Process-wide; call it before the first allocation that
// matters.
void returnLargeBlocksToSystem();

} // namespace halv::base
