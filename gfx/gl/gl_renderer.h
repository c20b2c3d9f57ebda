// The OpenGL renderer behind a device, on a window's context or a headless EGL one.
#pragma once

#include "gfx/detail/renderer.h"

#include <memory>

namespace halv::gfx::detail {

// Fills in the adapter identity from the OpenGL driver (vendor, renderer string); leaves it
// as it is when no context can be had.
void describeGlAdapter(D3DADAPTER_IDENTIFIER9* identifier) noexcept;

// D3DERR_NOTAVAILABLE when no context can be had.
HRESULT createGlRenderer(bool headless, const SwapSetup& swap,
                         std::unique_ptr<Renderer>* renderer) noexcept;

} // namespace halv::gfx::detail
