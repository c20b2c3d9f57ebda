#include "gfx/gl/gl_state_cache.h"

namespace halv::gfx::detail {
namespace {

constexpr GLenum kCapabilities[kGlCapabilityCount] = {
    GL_DEPTH_TEST,   GL_BLEND,       GL_CULL_FACE,          GL_SCISSOR_TEST,
    GL_STENCIL_TEST, GL_MULTISAMPLE, GL_POLYGON_OFFSET_FILL};

} // namespace

void GlStateCache::invalidate() noexcept {
    mValid = 0;
    mEnabled.fill(-1);
    mAttributeArray.fill(-1);
}

void GlStateCache::enable(GlCapability capability, bool enabled) noexcept {
    int& cached = mEnabled[static_cast<int>(capability)];
    if (cached == static_cast<int>(enabled)) {
        return;
    }
    cached = enabled ? 1 : 0;
    if (enabled) {
        glEnable(kCapabilities[static_cast<int>(capability)]);
    } else {
        glDisable(kCapabilities[static_cast<int>(capability)]);
    }
}

void GlStateCache::bindFramebuffer(GLuint framebuffer) noexcept {
    const bool read = changes(kReadFramebuffer, &mReadFramebuffer, framebuffer);
    const bool draw = changes(kDrawFramebuffer, &mDrawFramebuffer, framebuffer);
    if (read && draw) {
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    } else if (read) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    } else if (draw) {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
    }
}

void GlStateCache::bindReadFramebuffer(GLuint framebuffer) noexcept {
    if (changes(kReadFramebuffer, &mReadFramebuffer, framebuffer)) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    }
}

void GlStateCache::bindDrawFramebuffer(GLuint framebuffer) noexcept {
    if (changes(kDrawFramebuffer, &mDrawFramebuffer, framebuffer)) {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
    }
}

void GlStateCache::useProgram(GLuint program) noexcept {
    if (changes(kProgram, &mProgram, program)) {
        glUseProgram(program);
    }
}

void GlStateCache::bindArrayBuffer(GLuint buffer) noexcept {
    if (changes(kArrayBuffer, &mArrayBuffer, buffer)) {
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
    }
}

void GlStateCache::bindElementBuffer(GLuint buffer) noexcept {
    if (changes(kElementBuffer, &mElementBuffer, buffer)) {
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
    }
}

void GlStateCache::bindUniformBuffer(GLuint buffer) noexcept {
    if (changes(kUniformBuffer, &mUniformBuffer, buffer)) {
        glBindBuffer(GL_UNIFORM_BUFFER, buffer);
    }
}

void GlStateCache::bindTexture(GLuint unit, GLenum target, GLuint texture) noexcept {
    if (changes(kActiveUnit, &mActiveUnit, unit)) {
        glActiveTexture(GL_TEXTURE0 + unit);
    }
    const std::uint32_t bit = 1u << (kFirstTexture + unit);
    if ((mValid & bit) != 0 && mTextures[unit] == texture && mTextureTargets[unit] == target) {
        return;
    }
    mTextures[unit] = texture;
    mTextureTargets[unit] = target;
    mValid |= bit;
    glBindTexture(target, texture);
}

void GlStateCache::forgetTexture(GLuint texture) noexcept {
    for (GLuint unit = 0; unit < kTextureUnits; ++unit) {
        if (mTextures[unit] == texture) {
            mValid &= ~(1u << (kFirstTexture + unit));
        }
    }
}

void GlStateCache::forgetBuffer(GLuint buffer) noexcept {
    if (mArrayBuffer == buffer) {
        mValid &= ~(1u << kArrayBuffer);
    }
    if (mElementBuffer == buffer) {
        mValid &= ~(1u << kElementBuffer);
    }
    for (GLuint location = 0; location < kAttributeCount; ++location) {
        if (mAttributes[location].buffer == buffer) {
            mAttributeArray[location] = -1;
        }
    }
}

void GlStateCache::viewport(GLint x, GLint y, GLsizei width, GLsizei height) noexcept {
    if (changes(kViewport, &mViewport, {x, y, width, height})) {
        glViewport(x, y, width, height);
    }
}

void GlStateCache::depthRange(float nearZ, float farZ) noexcept {
    if (changes(kDepthRange, &mDepthRange, {nearZ, farZ})) {
        glDepthRange(nearZ, farZ);
    }
}

void GlStateCache::scissor(GLint x, GLint y, GLsizei width, GLsizei height) noexcept {
    if (changes(kScissor, &mScissor, {x, y, width, height})) {
        glScissor(x, y, width, height);
    }
}

void GlStateCache::frontFace(GLenum mode) noexcept {
    if (changes(kFrontFace, &mFrontFace, mode)) {
        glFrontFace(mode);
    }
}

void GlStateCache::polygonMode(GLenum mode) noexcept {
    if (changes(kPolygonMode, &mPolygonMode, mode)) {
        glPolygonMode(GL_FRONT_AND_BACK, mode);
    }
}

void GlStateCache::depthFunc(GLenum function) noexcept {
    if (changes(kDepthFunc, &mDepthFunc, function)) {
        glDepthFunc(function);
    }
}

void GlStateCache::depthMask(bool write) noexcept {
    if (changes(kDepthMask, &mDepthMask, write)) {
        glDepthMask(write ? GL_TRUE : GL_FALSE);
    }
}

void GlStateCache::colorMask(bool red, bool green, bool blue, bool alpha) noexcept {
    if (changes(kColorMask, &mColorMask, {red, green, blue, alpha})) {
        glColorMask(red, green, blue, alpha);
    }
}

void GlStateCache::stencilMask(GLuint mask) noexcept {
    if (changes(kStencilMask, &mStencilMask, mask)) {
        glStencilMask(mask);
    }
}

void GlStateCache::blend(const GlBlend& blend) noexcept {
    if (changes(kBlend, &mBlend, blend)) {
        glBlendFuncSeparate(blend.source, blend.destination, blend.alphaSource,
                            blend.alphaDestination);
        glBlendEquationSeparate(blend.equation, blend.alphaEquation);
        glBlendColor(blend.color[0], blend.color[1], blend.color[2], blend.color[3]);
    }
}

void GlStateCache::polygonOffset(float factor, float units) noexcept {
    if (changes(kPolygonOffset, &mPolygonOffset, {factor, units})) {
        glPolygonOffset(factor, units);
    }
}

void GlStateCache::stencil(const GlStencilFace& front, const GlStencilFace& back) noexcept {
    const bool frontChanged = (mValid & (1u << kStencil)) == 0 || !(mStencilFront == front);
    const bool backChanged = (mValid & (1u << kStencil)) == 0 || !(mStencilBack == back);
    mValid |= 1u << kStencil;
    // Clockwise triangles are the front faces (see the cull set-up).
    if (frontChanged) {
        mStencilFront = front;
        glStencilFuncSeparate(GL_FRONT, front.function, front.reference, front.mask);
        glStencilOpSeparate(GL_FRONT, front.fail, front.depthFail, front.pass);
    }
    if (backChanged) {
        mStencilBack = back;
        glStencilFuncSeparate(GL_BACK, back.function, back.reference, back.mask);
        glStencilOpSeparate(GL_BACK, back.fail, back.depthFail, back.pass);
    }
}

void GlStateCache::clearColor(const std::array<float, 4>& color) noexcept {
    if (changes(kClearColor, &mClearColor, color)) {
        glClearColor(color[0], color[1], color[2], color[3]);
    }
}

void GlStateCache::clearDepth(double depth) noexcept {
    if (changes(kClearDepth, &mClearDepth, depth)) {
        glClearDepth(depth);
    }
}

void GlStateCache::clearStencil(GLint stencil) noexcept {
    if (changes(kClearStencil, &mClearStencil, stencil)) {
        glClearStencil(stencil);
    }
}

void GlStateCache::attribute(GLuint location, const GlAttributeSource& source) noexcept {
    if (mAttributeArray[location] == 1 && mAttributes[location] == source) {
        return;
    }
    bindArrayBuffer(source.buffer);
    glVertexAttribPointer(location, source.size, source.type, source.normalised, source.stride,
                          reinterpret_cast<const void*>(source.offset));
    if (mAttributeArray[location] != 1) {
        glEnableVertexAttribArray(location);
    }
    mAttributeArray[location] = 1;
    mAttributes[location] = source;
}

void GlStateCache::constantAttribute(GLuint location) noexcept {
    if (mAttributeArray[location] == 0) {
        return;
    }
    glDisableVertexAttribArray(location);
    // A missing texture coordinate set reads (0, 0); a missing normal is zero.
    glVertexAttrib4f(location, 0.0f, 0.0f, 0.0f, 1.0f);
    mAttributeArray[location] = 0;
}

} // namespace halv::gfx::detail
