// What the renderer last handed to GL, so that a draw repeating the state of the one before
// costs no GL calls: Mesa re-validates (and a software rasteriser may re-derive its pipeline)
// after any state call, even one that changes nothing. One cache per context; everything the
// renderer changes goes through it.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <cstdint>

namespace halv::gfx::detail {

enum class GlCapability {
    kDepthTest,
    kBlend,
    kCullFace,
    kScissorTest,
    kStencilTest,
    kMultisample,
    kPolygonOffsetFill,
};
inline constexpr int kGlCapabilityCount = 7;

// Where one vertex attribute reads from.
struct GlAttributeSource {
    GLuint buffer = 0;
    GLint size = 0;
    GLenum type = 0;
    GLboolean normalised = GL_FALSE;
    GLsizei stride = 0;
    std::uintptr_t offset = 0;

    bool operator==(const GlAttributeSource&) const = default;
};

struct GlBlend {
    GLenum source = GL_ONE;
    GLenum destination = GL_ZERO;
    GLenum alphaSource = GL_ONE;
    GLenum alphaDestination = GL_ZERO;
    GLenum equation = GL_FUNC_ADD;
    GLenum alphaEquation = GL_FUNC_ADD;
    std::array<float, 4> color{};

    bool operator==(const GlBlend&) const = default;
};

struct GlStencilFace {
    GLenum function = GL_ALWAYS;
    GLint reference = 0;
    GLuint mask = ~0u;
    GLenum fail = GL_KEEP;
    GLenum depthFail = GL_KEEP;
    GLenum pass = GL_KEEP;

    bool operator==(const GlStencilFace&) const = default;
};

class GlStateCache {
public:
    static constexpr GLuint kAttributeCount = 6;
    static constexpr GLuint kTextureUnits = 3;

    GlStateCache() { invalidate(); }

    // Forgets everything: the next request of each piece of state reaches GL.
    void invalidate() noexcept;

    void enable(GlCapability capability, bool enabled) noexcept;

    void bindFramebuffer(GLuint framebuffer) noexcept;
    void bindReadFramebuffer(GLuint framebuffer) noexcept;
    void bindDrawFramebuffer(GLuint framebuffer) noexcept;
    void useProgram(GLuint program) noexcept;
    void bindArrayBuffer(GLuint buffer) noexcept;
    // The vertex array's index buffer (the renderer uses one vertex array).
    void bindElementBuffer(GLuint buffer) noexcept;
    void bindUniformBuffer(GLuint buffer) noexcept;
    // Makes `unit` active and binds the texture there.
    void bindTexture(GLuint unit, GLenum target, GLuint texture) noexcept;
    // After the texture's name is deleted (GL unbinds it everywhere).
    void forgetTexture(GLuint texture) noexcept;
    void forgetBuffer(GLuint buffer) noexcept;

    void viewport(GLint x, GLint y, GLsizei width, GLsizei height) noexcept;
    void depthRange(float nearZ, float farZ) noexcept;
    void scissor(GLint x, GLint y, GLsizei width, GLsizei height) noexcept;
    void frontFace(GLenum mode) noexcept;
    void polygonMode(GLenum mode) noexcept;
    void depthFunc(GLenum function) noexcept;
    void depthMask(bool write) noexcept;
    void colorMask(bool red, bool green, bool blue, bool alpha) noexcept;
    void stencilMask(GLuint mask) noexcept;
    void blend(const GlBlend& blend) noexcept;
    void polygonOffset(float factor, float units) noexcept;
    void stencil(const GlStencilFace& front, const GlStencilFace& back) noexcept;
    void clearColor(const std::array<float, 4>& color) noexcept;
    void clearDepth(double depth) noexcept;
    void clearStencil(GLint stencil) noexcept;

    // Attribute `location` reads `source` (its buffer is bound to GL_ARRAY_BUFFER to say so).
    void attribute(GLuint location, const GlAttributeSource& source) noexcept;
    // Attribute `location` reads the constant (0, 0, 0, 1).
    void constantAttribute(GLuint location) noexcept;

private:
    // The values below that hold what GL has, one bit each; the rest are unknown.
    enum Item : std::uint32_t {
        kReadFramebuffer,
        kDrawFramebuffer,
        kProgram,
        kArrayBuffer,
        kElementBuffer,
        kUniformBuffer,
        kActiveUnit,
        kViewport,
        kDepthRange,
        kScissor,
        kFrontFace,
        kPolygonMode,
        kDepthFunc,
        kDepthMask,
        kColorMask,
        kStencilMask,
        kBlend,
        kPolygonOffset,
        kStencil,
        kClearColor,
        kClearDepth,
        kClearStencil,
        kFirstTexture,
    };
    static_assert(kFirstTexture + kTextureUnits <= 32);

    // True (and the value taken) when `value` differs from the cached one or that is unknown.
    template <class T>
    bool changes(std::uint32_t item, T* cached, const T& value) noexcept {
        const std::uint32_t bit = 1u << item;
        if ((mValid & bit) != 0 && *cached == value) {
            return false;
        }
        *cached = value;
        mValid |= bit;
        return true;
    }

    std::uint32_t mValid = 0;
    // -1: unknown; otherwise 0 or 1.
    std::array<int, kGlCapabilityCount> mEnabled{};
    GLuint mReadFramebuffer = 0;
    GLuint mDrawFramebuffer = 0;
    GLuint mProgram = 0;
    GLuint mArrayBuffer = 0;
    GLuint mElementBuffer = 0;
    GLuint mUniformBuffer = 0;
    GLuint mActiveUnit = 0;
    std::array<GLuint, kTextureUnits> mTextures{};
    std::array<GLenum, kTextureUnits> mTextureTargets{};
    std::array<GLint, 4> mViewport{};
    std::array<float, 2> mDepthRange{};
    std::array<GLint, 4> mScissor{};
    GLenum mFrontFace = 0;
    GLenum mPolygonMode = 0;
    GLenum mDepthFunc = 0;
    bool mDepthMask = false;
    std::array<bool, 4> mColorMask{};
    GLuint mStencilMask = 0;
    GlBlend mBlend;
    std::array<float, 2> mPolygonOffset{};
    GlStencilFace mStencilFront;
    GlStencilFace mStencilBack;
    std::array<float, 4> mClearColor{};
    double mClearDepth = 0.0;
    GLint mClearStencil = 0;
    // Per attribute: -1 unknown, 0 constant, 1 array.
    std::array<int, kAttributeCount> mAttributeArray{};
    std::array<GlAttributeSource, kAttributeCount> mAttributes{};
};

} // namespace halv::gfx::detail
