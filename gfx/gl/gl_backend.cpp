// Installs the GL renderers and the window queries into the device core when the GL side is
// linked into a program.
#include "gfx/detail/gl_backend.h"

#include "gfx/gl/gl_context.h"
#include "gfx/gl/gl_renderer.h"
#include "platform/window.h"

namespace halv::gfx::detail {
namespace {

bool desktopDisplayMode(D3DDISPLAYMODE* mode) noexcept {
    platform::DisplayMode desktop;
    if (!platform::desktopDisplayMode(&desktop)) {
        return false;
    }
    mode->Width = static_cast<UINT>(desktop.width);
    mode->Height = static_cast<UINT>(desktop.height);
    mode->RefreshRate = static_cast<UINT>(desktop.refreshHz);
    return true;
}

DWORD sampleCounts(D3DFORMAT format) noexcept {
    // The renderbuffer formats the renderer makes for these.
    GLenum internal = 0;
    switch (format) {
    case D3DFMT_A8R8G8B8:
        internal = GL_RGBA8;
        break;
    case D3DFMT_X8R8G8B8:
        internal = GL_RGB8;
        break;
    case D3DFMT_D16:
        internal = GL_DEPTH_COMPONENT16;
        break;
    case D3DFMT_D24X8:
    case D3DFMT_D32:
        internal = GL_DEPTH_COMPONENT24;
        break;
    case D3DFMT_D24S8:
    case D3DFMT_D15S1:
    case D3DFMT_D24X4S4:
        internal = GL_DEPTH24_STENCIL8;
        break;
    default:
        return ~DWORD{0};
    }
    return headlessSampleCounts(internal);
}

bool isDrawableWindow(HWND window) noexcept {
    return platform::sdlWindow(window) != nullptr;
}

void clientSize(HWND window, int* width, int* height) noexcept {
    platform::clientSize(window, width, height);
}

constexpr GlBackend kBackend = {createGlRenderer,   describeGlAdapter, sampleCounts,
                                desktopDisplayMode, isDrawableWindow,  clientSize};

struct Registration {
    Registration() { installGlBackend(&kBackend); }
};
const Registration kRegistration;

} // namespace
} // namespace halv::gfx::detail

// Named by the GL library's link options, so every program that links the library keeps this
// file and with it the registration above.
extern "C" const int halv_gfx_gl_backend = 1;
