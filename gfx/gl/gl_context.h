// An OpenGL 3.3 core context: on a platform window (SDL) or headless (EGL surfaceless).
#pragma once

#include "base/result_codes.h"
#include "base/win_types.h"

#include <epoxy/gl.h>

#include <cstdint>
#include <memory>
#include <string>

namespace halv::gfx::detail {

class GlContext {
public:
    virtual ~GlContext() = default;

    // Makes the context current on this thread (skipped when it already is).
    virtual bool makeCurrent() noexcept = 0;
    // Shows the default framebuffer of a window context; nothing headless.
    virtual void swapBuffers() noexcept = 0;
    // The window's drawable size in pixels; false headless.
    virtual bool drawableSize(int* width, int* height) const noexcept = 0;
    virtual bool windowed() const noexcept = 0;
};

// D3DERR_NOTAVAILABLE when no EGL display with surfaceless contexts, or no OpenGL 3.3 core
// context, can be had.
HRESULT createHeadlessContext(std::unique_ptr<GlContext>* context) noexcept;

// A context on the window named by `window`; swap interval 0 (immediate) or 1 (vertical
// retrace). D3DERR_NOTAVAILABLE when the window has no GL or the version is too old.
HRESULT createWindowContext(HWND window, int swapInterval,
                            std::unique_ptr<GlContext>* context) noexcept;

struct GlDriverStrings {
    std::string vendor;
    std::string renderer;
    std::string version;
};

// The driver behind headless contexts, asked once per process; false without GL. The context
// that asked is kept for the next createHeadlessContext: a context is costly to make.
bool headlessDriverStrings(GlDriverStrings* strings) noexcept;

// The sample counts the headless driver offers for a renderbuffer of `internalFormat`
// (glGetInternalformativ), as a mask with bit n set for n samples; 0 without GL. Asked once
// per format and process.
std::uint32_t headlessSampleCounts(GLenum internalFormat) noexcept;

} // namespace halv::gfx::detail
