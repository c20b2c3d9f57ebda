// The one file that talks to SDL and EGL: it obtains OpenGL contexts.
#include "gfx/gl/gl_context.h"

#include "platform/window.h"

#include <SDL.h>
#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>
#include <utility>

namespace halv::gfx::detail {
namespace {

// 33 in epoxy's numbering: OpenGL 3.3.
constexpr int kRequiredGlVersion = 33;

// Process-wide: the context made current last, so switching is done only when needed.
const GlContext* gCurrent = nullptr;

// Process-wide: a headless context that answered the driver questions before any device was
// made, kept for the first headless device instead of making a second one. Never destroyed
// at exit, when the driver may already be gone, as the display is not.
GlContext* gSpareHeadless = nullptr;

void keepSpare(std::unique_ptr<GlContext> context) {
    if (gSpareHeadless == nullptr) {
        gSpareHeadless = context.release();
    }
}

struct EglDisplay {
    EGLDisplay display = EGL_NO_DISPLAY;
    bool tried = false;
};

// Process-wide: one surfaceless EGL display, opened on first use and kept for the process
// (terminating it unloads the driver, which loses allocations Mesa still tracks).
EGLDisplay surfacelessDisplay() {
    static EglDisplay cached;
    if (cached.tried) {
        return cached.display;
    }
    cached.tried = true;
    if (!epoxy_has_egl()) {
        return EGL_NO_DISPLAY;
    }
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (clientExtensions == nullptr ||
        std::strstr(clientExtensions, "EGL_MESA_platform_surfaceless") == nullptr ||
        std::strstr(clientExtensions, "EGL_EXT_platform_base") == nullptr) {
        return EGL_NO_DISPLAY;
    }
    EGLDisplay display =
        eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    EGLint major = 0;
    EGLint minor = 0;
    if (display == EGL_NO_DISPLAY || eglInitialize(display, &major, &minor) != EGL_TRUE) {
        return EGL_NO_DISPLAY;
    }
    if (!epoxy_has_egl_extension(display, "EGL_KHR_surfaceless_context") ||
        !epoxy_has_egl_extension(display, "EGL_KHR_no_config_context") ||
        eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        return EGL_NO_DISPLAY;
    }
    cached.display = display;
    return display;
}

class HeadlessContext final : public GlContext {
public:
    HeadlessContext(EGLDisplay display, EGLContext context)
        : mDisplay(display)
        , mContext(context) {}
    ~HeadlessContext() override {
        if (gCurrent == this) {
            eglMakeCurrent(mDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            gCurrent = nullptr;
        }
        eglDestroyContext(mDisplay, mContext);
    }

    bool makeCurrent() noexcept override {
        if (gCurrent == this) {
            return true;
        }
        if (eglMakeCurrent(mDisplay, EGL_NO_SURFACE, EGL_NO_SURFACE, mContext) != EGL_TRUE) {
            return false;
        }
        gCurrent = this;
        return true;
    }
    void swapBuffers() noexcept override { glFlush(); }
    bool drawableSize(int* /*width*/, int* /*height*/) const noexcept override { return false; }
    bool windowed() const noexcept override { return false; }

private:
    EGLDisplay mDisplay;
    EGLContext mContext;
};

class WindowContext final : public GlContext {
public:
    WindowContext(SDL_Window* window, SDL_GLContext context)
        : mWindow(window)
        , mContext(context) {}
    // The window is pinned: it outlives the context even when its owner destroys it first.
    ~WindowContext() override {
        if (gCurrent == this) {
            SDL_GL_MakeCurrent(mWindow, nullptr);
            gCurrent = nullptr;
        }
        SDL_GL_DeleteContext(mContext);
        platform::unpinWindow(mWindow);
    }

    bool makeCurrent() noexcept override {
        if (gCurrent == this) {
            return true;
        }
        if (SDL_GL_MakeCurrent(mWindow, mContext) != 0) {
            return false;
        }
        gCurrent = this;
        return true;
    }
    void swapBuffers() noexcept override { SDL_GL_SwapWindow(mWindow); }
    bool drawableSize(int* width, int* height) const noexcept override {
        SDL_GL_GetDrawableSize(mWindow, width, height);
        return true;
    }
    bool windowed() const noexcept override { return true; }

private:
    SDL_Window* mWindow;
    SDL_GLContext mContext;
};

} // namespace

HRESULT createHeadlessContext(std::unique_ptr<GlContext>* context) noexcept {
    if (gSpareHeadless != nullptr) {
        context->reset(std::exchange(gSpareHeadless, nullptr));
        return (*context)->makeCurrent() ? D3D_OK : D3DERR_NOTAVAILABLE;
    }
    EGLDisplay display = surfacelessDisplay();
    if (display == EGL_NO_DISPLAY) {
        return D3DERR_NOTAVAILABLE;
    }
    const EGLint attributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                 3,
                                 EGL_CONTEXT_MINOR_VERSION,
                                 3,
                                 EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                 EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                 EGL_NONE};
    EGLContext created = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, attributes);
    if (created == EGL_NO_CONTEXT) {
        return D3DERR_NOTAVAILABLE;
    }
    std::unique_ptr<HeadlessContext> result(new (std::nothrow) HeadlessContext(display, created));
    if (result == nullptr) {
        eglDestroyContext(display, created);
        return E_OUTOFMEMORY;
    }
    if (!result->makeCurrent() || epoxy_gl_version() < kRequiredGlVersion) {
        return D3DERR_NOTAVAILABLE;
    }
    *context = std::move(result);
    return D3D_OK;
}

HRESULT createWindowContext(HWND window, int swapInterval,
                            std::unique_ptr<GlContext>* context) noexcept {
    SDL_Window* sdl = platform::pinWindow(window);
    if (sdl == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    // A device on a window has no use for the headless context of the driver questions.
    delete std::exchange(gSpareHeadless, nullptr);
    // Every failure below lets go of the window again.
    struct Pin {
        SDL_Window* window;
        ~Pin() {
            if (window != nullptr) {
                platform::unpinWindow(window);
            }
        }
    } pin{sdl};
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    // The device draws into its own framebuffer; the window's needs no depth.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GLContext created = SDL_GL_CreateContext(sdl);
    if (created == nullptr) {
        return D3DERR_NOTAVAILABLE;
    }
    std::unique_ptr<WindowContext> result(new (std::nothrow) WindowContext(sdl, created));
    if (result == nullptr) {
        SDL_GL_DeleteContext(created);
        return E_OUTOFMEMORY;
    }
    // The context holds the pin from here on.
    pin.window = nullptr;
    // SDL made the new context current behind our back.
    gCurrent = nullptr;
    if (!result->makeCurrent() || epoxy_gl_version() < kRequiredGlVersion) {
        return D3DERR_NOTAVAILABLE;
    }
    SDL_GL_SetSwapInterval(swapInterval);
    *context = std::move(result);
    return D3D_OK;
}

bool headlessDriverStrings(GlDriverStrings* strings) noexcept {
    struct Probe {
        bool done = false;
        bool available = false;
        GlDriverStrings strings;
    };
    // Process-wide: the driver strings, asked once.
    static Probe probe;
    if (!probe.done) {
        probe.done = true;
        std::unique_ptr<GlContext> context;
        if (SUCCEEDED(createHeadlessContext(&context))) {
            const auto text = [](GLenum name) {
                const auto* value = reinterpret_cast<const char*>(glGetString(name));
                return std::string(value != nullptr ? value : "");
            };
            try {
                probe.strings = {text(GL_VENDOR), text(GL_RENDERER), text(GL_VERSION)};
                probe.available = true;
            } catch (const std::bad_alloc&) {
                probe.available = false;
            }
            keepSpare(std::move(context));
        }
    }
    if (!probe.available) {
        return false;
    }
    try {
        *strings = probe.strings;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

std::uint32_t headlessSampleCounts(GLenum internalFormat) noexcept {
    struct Answer {
        GLenum format;
        std::uint32_t counts;
    };
    // Process-wide: the few formats asked about, each asked once.
    static Answer answers[8];
    static int answered = 0;
    for (int i = 0; i < answered; ++i) {
        if (answers[i].format == internalFormat) {
            return answers[i].counts;
        }
    }
    std::unique_ptr<GlContext> context;
    if (FAILED(createHeadlessContext(&context))) {
        return 0;
    }
    std::uint32_t counts = 0;
    if (epoxy_gl_version() >= 42 || epoxy_has_gl_extension("GL_ARB_internalformat_query")) {
        GLint number = 0;
        glGetInternalformativ(GL_RENDERBUFFER, internalFormat, GL_NUM_SAMPLE_COUNTS, 1, &number);
        GLint samples[32] = {};
        number = std::min(number, static_cast<GLint>(std::size(samples)));
        if (number > 0) {
            glGetInternalformativ(GL_RENDERBUFFER, internalFormat, GL_SAMPLES, number, samples);
        }
        for (GLint i = 0; i < number; ++i) {
            if (samples[i] > 1 && samples[i] < 32) {
                counts |= 1u << samples[i];
            }
        }
    } else {
        // Without the query every count up to the maximum is taken as offered.
        GLint maxSamples = 0;
        glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
        for (GLint n = 2; n <= std::min(maxSamples, 16); ++n) {
            counts |= 1u << n;
        }
    }
    keepSpare(std::move(context));
    if (answered < static_cast<int>(std::size(answers))) {
        answers[answered++] = {internalFormat, counts};
    }
    return counts;
}

} // namespace halv::gfx::detail
