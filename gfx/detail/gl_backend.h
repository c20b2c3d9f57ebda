// What the device core needs from the GL side (gfx/gl/). The core links no GL and no window
// system, so the loaders' tests and fuzzers can use the null device anywhere; the GL side
// installs itself here when a program links it.
#pragma once

#include "gfx/detail/renderer.h"

#include <memory>

namespace halv::gfx::detail {

struct GlBackend {
    // D3DERR_NOTAVAILABLE when no context can be had.
    HRESULT(*createRenderer)
    (bool headless, const SwapSetup& swap, std::unique_ptr<Renderer>* renderer) noexcept;
    // Fills in the adapter identity from the OpenGL driver; leaves it as it is without a context.
    void (*describeAdapter)(D3DADAPTER_IDENTIFIER9* identifier) noexcept;
    // The sample counts the driver really offers for a back-buffer or depth format, bit n for
    // n samples (a driver may round a count it lacks up to the next); all bits for a format it
    // is not asked about, none without a context.
    DWORD (*sampleCounts)(D3DFORMAT format) noexcept;
    // The desktop's size and refresh rate (0 when unknown); false without a display.
    bool (*desktopDisplayMode)(D3DDISPLAYMODE* mode) noexcept;
    // Whether the handle is a platform window a GL context can draw into.
    bool (*isDrawableWindow)(HWND window) noexcept;
    // The window's client size; leaves the values as they are for unknown handles.
    void (*clientSize)(HWND window, int* width, int* height) noexcept;
};

// The installed GL side, or null when the program does not link it. Process-wide.
const GlBackend* glBackend() noexcept;
void installGlBackend(const GlBackend* backend) noexcept;

} // namespace halv::gfx::detail
