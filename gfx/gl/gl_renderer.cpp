// The OpenGL 3.3 renderer: the device's own framebuffer, the fixed-function program driven by
// one uniform block, uploads of changed resources before each draw, and presenting.
#include "gfx/gl/gl_renderer.h"

#include "base/debug_output.h"
#include "gfx/detail/device.h"
#include "gfx/detail/state_tables.h"
#include "gfx/gl/gl_context.h"
#include "gfx/gl/gl_program_cache.h"
#include "gfx/gl/gl_state_cache.h"
#include "gfx/gl/program_binary_file.h"
#include "gfx/gl/shaders.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace halv::gfx::detail {
namespace {

// --- Formats -------------------------------------------------------------------------------

struct GlFormat {
    GLenum internal;
    GLenum format;
    GLenum type;
    GLint swizzle[4];
    // glGenerateMipmap can fill its levels (it must be colour-renderable).
    bool renderable;
    // GL keeps every bit of the texture's memory, so that reading it back gives it again.
    bool exact = false;
};

constexpr GLint kR = GL_RED;
constexpr GLint kG = GL_GREEN;
constexpr GLint kB = GL_BLUE;
constexpr GLint kA = GL_ALPHA;
constexpr GLint k0 = GL_ZERO;
constexpr GLint k1 = GL_ONE;

// How each texture format is handed to GL. Channels a format lacks read as 1 (alpha and
// colour alike); A8 reads black.
bool glFormatFor(D3DFORMAT format, GlFormat* out) {
    switch (format) {
    case D3DFMT_A8R8G8B8:
        *out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {kR, kG, kB, kA}, true};
        out->exact = true;
        return true;
    case D3DFMT_X8R8G8B8:
        // Four bytes kept, the fourth read as 1: the texture can be read back whole.
        *out = {GL_RGBA8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {kR, kG, kB, k1}, true};
        out->exact = true;
        return true;
    case D3DFMT_A8B8G8R8:
        *out = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {kR, kG, kB, kA}, true};
        out->exact = true;
        return true;
    case D3DFMT_X8B8G8R8:
        *out = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {kR, kG, kB, k1}, true};
        out->exact = true;
        return true;
    case D3DFMT_R5G6B5:
        *out = {GL_RGB5, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, {kR, kG, kB, k1}, false};
        return true;
    case D3DFMT_A1R5G5B5:
        *out = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {kR, kG, kB, kA}, false};
        return true;
    case D3DFMT_X1R5G5B5:
        *out = {GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, {kR, kG, kB, k1}, false};
        return true;
    case D3DFMT_A4R4G4B4:
        *out = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {kR, kG, kB, kA}, false};
        return true;
    case D3DFMT_X4R4G4B4:
        *out = {GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, {kR, kG, kB, k1}, false};
        return true;
    case D3DFMT_R3G3B2:
        *out = {GL_R3_G3_B2, GL_RGB, GL_UNSIGNED_BYTE_3_3_2, {kR, kG, kB, k1}, false};
        return true;
    case D3DFMT_A8:
        *out = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, {k0, k0, k0, kR}, false};
        return true;
    case D3DFMT_L8:
        *out = {GL_R8, GL_RED, GL_UNSIGNED_BYTE, {kR, kR, kR, k1}, false};
        return true;
    case D3DFMT_A8L8:
        *out = {GL_RG8, GL_RG, GL_UNSIGNED_BYTE, {kR, kR, kR, kG}, false};
        return true;
    case D3DFMT_L16:
        *out = {GL_R16, GL_RED, GL_UNSIGNED_SHORT, {kR, kR, kR, k1}, false};
        return true;
    case D3DFMT_A2B10G10R10:
        *out = {GL_RGB10_A2, GL_RGBA, GL_UNSIGNED_INT_2_10_10_10_REV, {kR, kG, kB, kA}, true};
        out->exact = true;
        return true;
    case D3DFMT_A2R10G10B10:
        *out = {GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV, {kR, kG, kB, kA}, true};
        out->exact = true;
        return true;
    case D3DFMT_G16R16:
        *out = {GL_RG16, GL_RG, GL_UNSIGNED_SHORT, {kR, kG, k1, k1}, true};
        out->exact = true;
        return true;
    case D3DFMT_A16B16G16R16:
        *out = {GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, {kR, kG, kB, kA}, true};
        out->exact = true;
        return true;
    case D3DFMT_R16F:
        *out = {GL_R16F, GL_RED, GL_HALF_FLOAT, {kR, k1, k1, k1}, true};
        return true;
    case D3DFMT_G16R16F:
        *out = {GL_RG16F, GL_RG, GL_HALF_FLOAT, {kR, kG, k1, k1}, true};
        out->exact = true;
        return true;
    case D3DFMT_A16B16G16R16F:
        *out = {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, {kR, kG, kB, kA}, true};
        out->exact = true;
        return true;
    case D3DFMT_R32F:
        *out = {GL_R32F, GL_RED, GL_FLOAT, {kR, k1, k1, k1}, true};
        out->exact = true;
        return true;
    case D3DFMT_G32R32F:
        *out = {GL_RG32F, GL_RG, GL_FLOAT, {kR, kG, k1, k1}, true};
        out->exact = true;
        return true;
    case D3DFMT_A32B32G32R32F:
        *out = {GL_RGBA32F, GL_RGBA, GL_FLOAT, {kR, kG, kB, kA}, true};
        out->exact = true;
        return true;
    default:
        return false;
    }
}

// --- GL objects of resources ---------------------------------------------------------------

class GlBuffer final : public GpuObject {
public:
    GlBuffer(GlContext* context, GlStateCache* cache, GLuint bufferName)
        : mContext(context)
        , mCache(cache)
        , name(bufferName) {}
    ~GlBuffer() override {
        mContext->makeCurrent();
        glDeleteBuffers(1, &name);
        mCache->forgetBuffer(name);
    }

private:
    GlContext* mContext;
    GlStateCache* mCache;

public:
    GLuint name;
};

class GlTexture final : public GpuObject {
public:
    GlTexture(GlContext* context, GlStateCache* cache, GLuint textureName, GLenum textureTarget)
        : mContext(context)
        , mCache(cache)
        , name(textureName)
        , target(textureTarget) {}
    ~GlTexture() override {
        mContext->makeCurrent();
        glDeleteTextures(1, &name);
        mCache->forgetTexture(name);
    }

private:
    GlContext* mContext;
    GlStateCache* mCache;

public:
    GLuint name;
    GLenum target;
    std::uint64_t version = 0;
    bool usable = false;
    // Storage for every level was allocated at once; uploads only fill it.
    bool immutable = false;
};

// --- The uniform block ---------------------------------------------------------------------

struct LightBlock {
    float diffuse[4];
    float specular[4];
    float ambient[4];
    float position[4];
    float direction[4];
    float params[4];
    float cone[4];
};

// Mirrors the std140 block FixedFunction in gfx/shaders/fixed_function_common.glsl.
struct UniformBlock {
    float worldView[16];
    float projection[16];
    float normalMatrix[16];
    float materialDiffuse[4];
    float materialAmbient[4];
    float materialSpecular[4];
    float materialEmissive[4];
    float globalAmbient[4];
    float materialPower[4];
    GLint colorSources[4];
    GLint lighting[4];
    GLint vertexHas[4];
    GLint vertexMode[4];
    float point[4];
    float pointScale[4];
    float viewport[4];
    float target[4];
    LightBlock lights[8];
    GLint colorStage[4];
    GLint alphaStage[4];
    GLint pixel[4];
    float textureFactor[4];
    float stageConstant[4];
};
static_assert(sizeof(LightBlock) == 112);
static_assert(offsetof(UniformBlock, lights) == 416);
static_assert(sizeof(UniformBlock) == 1392);

// Attribute locations of the program.
enum Attribute : GLuint {
    kPosition = 0,
    kNormal = 1,
    kDiffuse = 2,
    kSpecular = 3,
    kTexCoord = 4,
    kPointSize = 5,
    kAttributeCount = 6,
};

// --- Small helpers -------------------------------------------------------------------------

void colorToFloats(D3DCOLOR color, float out[4]) {
    out[0] = static_cast<float>((color >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((color >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(color & 0xFF) / 255.0f;
    out[3] = static_cast<float>(color >> 24) / 255.0f;
}

void copyColor(const D3DCOLORVALUE& color, float out[4]) {
    out[0] = color.r;
    out[1] = color.g;
    out[2] = color.b;
    out[3] = color.a;
}

// Normals go to camera space by the inverse transpose of the 3x3 part, which is the cofactor
// matrix over the determinant; a singular matrix flattens every normal.
void normalMatrix(const D3DMATRIX& m, float out[16]) {
    const float a = m._11, b = m._12, c = m._13;
    const float d = m._21, e = m._22, f = m._23;
    const float g = m._31, h = m._32, i = m._33;
    const float cofactors[9] = {e * i - f * h, f * g - d * i, d * h - e * g,
                                c * h - b * i, a * i - c * g, b * g - a * h,
                                b * f - c * e, c * d - a * f, a * e - b * d};
    const float determinant = a * cofactors[0] + b * cofactors[1] + c * cofactors[2];
    const float scale = determinant != 0.0f ? 1.0f / determinant : 0.0f;
    std::fill(out, out + 16, 0.0f);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 3; ++column) {
            out[row * 4 + column] = cofactors[row * 3 + column] * scale;
        }
    }
    out[15] = 1.0f;
}

GLenum primitiveMode(D3DPRIMITIVETYPE type) {
    switch (type) {
    case D3DPT_POINTLIST:
        return GL_POINTS;
    case D3DPT_LINELIST:
        return GL_LINES;
    case D3DPT_LINESTRIP:
        return GL_LINE_STRIP;
    case D3DPT_TRIANGLESTRIP:
        return GL_TRIANGLE_STRIP;
    case D3DPT_TRIANGLEFAN:
        return GL_TRIANGLE_FAN;
    default:
        return GL_TRIANGLES;
    }
}

GLenum compareFunction(DWORD function) {
    constexpr GLenum kFunctions[] = {GL_ALWAYS,  GL_NEVER,    GL_LESS,   GL_EQUAL, GL_LEQUAL,
                                     GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return function < std::size(kFunctions) ? kFunctions[function] : GL_ALWAYS;
}

GLenum blendFactor(DWORD blend) {
    switch (blend) {
    case D3DBLEND_ZERO:
        return GL_ZERO;
    case D3DBLEND_SRCCOLOR:
        return GL_SRC_COLOR;
    case D3DBLEND_INVSRCCOLOR:
        return GL_ONE_MINUS_SRC_COLOR;
    case D3DBLEND_SRCALPHA:
        return GL_SRC_ALPHA;
    case D3DBLEND_INVSRCALPHA:
        return GL_ONE_MINUS_SRC_ALPHA;
    case D3DBLEND_DESTALPHA:
        return GL_DST_ALPHA;
    case D3DBLEND_INVDESTALPHA:
        return GL_ONE_MINUS_DST_ALPHA;
    case D3DBLEND_DESTCOLOR:
        return GL_DST_COLOR;
    case D3DBLEND_INVDESTCOLOR:
        return GL_ONE_MINUS_DST_COLOR;
    case D3DBLEND_SRCALPHASAT:
        return GL_SRC_ALPHA_SATURATE;
    case D3DBLEND_BLENDFACTOR:
        return GL_CONSTANT_COLOR;
    case D3DBLEND_INVBLENDFACTOR:
        return GL_ONE_MINUS_CONSTANT_COLOR;
    default:
        return GL_ONE;
    }
}

// The source and destination factors; the BOTH* modes set both from the source state.
void blendFactors(DWORD source, DWORD destination, GLenum* glSource, GLenum* glDestination) {
    if (source == D3DBLEND_BOTHSRCALPHA) {
        *glSource = GL_SRC_ALPHA;
        *glDestination = GL_ONE_MINUS_SRC_ALPHA;
    } else if (source == D3DBLEND_BOTHINVSRCALPHA) {
        *glSource = GL_ONE_MINUS_SRC_ALPHA;
        *glDestination = GL_SRC_ALPHA;
    } else {
        *glSource = blendFactor(source);
        *glDestination = blendFactor(destination);
    }
}

GLenum blendEquation(DWORD op) {
    switch (op) {
    case D3DBLENDOP_SUBTRACT:
        return GL_FUNC_SUBTRACT;
    case D3DBLENDOP_REVSUBTRACT:
        return GL_FUNC_REVERSE_SUBTRACT;
    case D3DBLENDOP_MIN:
        return GL_MIN;
    case D3DBLENDOP_MAX:
        return GL_MAX;
    default:
        return GL_FUNC_ADD;
    }
}

GLenum stencilOperation(DWORD op) {
    constexpr GLenum kOps[] = {GL_KEEP, GL_KEEP,   GL_ZERO,      GL_REPLACE,  GL_INCR,
                               GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return op < std::size(kOps) ? kOps[op] : GL_KEEP;
}

GLint addressMode(DWORD address, bool mirrorClamp) {
    switch (address) {
    case D3DTADDRESS_MIRROR:
        return GL_MIRRORED_REPEAT;
    case D3DTADDRESS_CLAMP:
        return GL_CLAMP_TO_EDGE;
    case D3DTADDRESS_BORDER:
        return GL_CLAMP_TO_BORDER;
    case D3DTADDRESS_MIRRORONCE:
        return mirrorClamp ? GL_MIRROR_CLAMP_TO_EDGE : GL_MIRRORED_REPEAT;
    default:
        return GL_REPEAT;
    }
}

#ifndef NDEBUG
void GLAPIENTRY logDebugMessage(GLenum /*source*/, GLenum /*type*/, GLuint /*id*/, GLenum severity,
                                GLsizei /*length*/, const GLchar* message, const void* /*user*/) {
    if (severity != GL_DEBUG_SEVERITY_NOTIFICATION) {
        OutputDebugStringA((std::string("gfx: GL says: ") + message + "\n").c_str());
    }
}
#endif

void checkGl(const char* where) {
#ifndef NDEBUG
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError()) {
        char line[160];
        std::snprintf(line, sizeof(line), "gfx: GL error 0x%04X after %s\n",
                      static_cast<unsigned>(error), where);
        OutputDebugStringA(line);
    }
#else
    (void)where;
#endif
}

// --- Program variants ----------------------------------------------------------------------

// The switches of the uniform block that pick code paths, compiled into a program as KEY_*
// constants. Values past what the shaders tell apart are folded together.
struct ProgramKey {
    std::uint8_t colorSources[4];
    std::uint8_t lighting[4];
    std::uint8_t vertexHas[4];
    std::uint8_t vertexMode[4];
    std::uint8_t colorStage[4];
    std::uint8_t alphaStage[4];
    std::uint8_t pixel[4];

    bool operator==(const ProgramKey&) const = default;
};

std::uint8_t narrow(GLint value, GLint limit) {
    return static_cast<std::uint8_t>(value < 0 || value > limit ? limit : value);
}

// From the uniform block of the draw, so the program and the block never disagree.
ProgramKey programKeyOf(const UniformBlock& block) {
    ProgramKey key{};
    for (int i = 0; i < 4; ++i) {
        // Sources above 2 read the material, as 0 does.
        key.colorSources[i] = narrow(block.colorSources[i], 3);
        key.lighting[i] = narrow(block.lighting[i], 1);
        key.vertexHas[i] = narrow(block.vertexHas[i], 1);
        // Operations past the last one and selectors' unused bits fall to the defaults.
        const bool operation = i == 0;
        key.colorStage[i] = operation ? narrow(block.colorStage[i], 27)
                                      : static_cast<std::uint8_t>(block.colorStage[i] & 63);
        key.alphaStage[i] = operation ? narrow(block.alphaStage[i], 27)
                                      : static_cast<std::uint8_t>(block.alphaStage[i] & 63);
    }
    key.vertexMode[0] = narrow(block.vertexMode[0], 1);
    key.vertexMode[1] = narrow(block.vertexMode[1], 8);
    key.vertexMode[2] = narrow(block.vertexMode[2], 1);
    key.vertexMode[3] = narrow(block.vertexMode[3], 1);
    key.pixel[0] = narrow(block.pixel[0], 3);
    key.pixel[1] = narrow(block.pixel[1], 1);
    key.pixel[2] = narrow(block.pixel[2], 8);
    key.pixel[3] = block.target[3] != 0.0f ? 1 : 0;
    return key;
}

std::string keyDefinitions(const ProgramKey& key) {
    std::string text;
    const auto define = [&text](const char* name, const std::uint8_t(&values)[4]) {
        char line[96];
        std::snprintf(line, sizeof(line), "#define %s %d, %d, %d, %d\n", name, values[0], values[1],
                      values[2], values[3]);
        text += line;
    };
    define("KEY_COLOR_SOURCES", key.colorSources);
    define("KEY_LIGHTING", key.lighting);
    define("KEY_VERTEX_HAS", key.vertexHas);
    define("KEY_VERTEX_MODE", key.vertexMode);
    define("KEY_COLOR_STAGE", key.colorStage);
    define("KEY_ALPHA_STAGE", key.alphaStage);
    define("KEY_PIXEL", key.pixel);
    return text;
}

// One linked program of the fixed-function shaders, checked by `finish` before its first use.
struct Program {
    ProgramKey key{};
    GLuint name = 0;
    bool finished = false;
    bool linked = false;
    bool fromCache = false;
    // Both shaders' text, kept from compiling until the linked binary has been stored.
    std::string source;
};

// --- The renderer --------------------------------------------------------------------------

class GlRenderer final : public Renderer {
public:
    GlRenderer(std::unique_ptr<GlContext> context, const SwapSetup& swap)
        : mContext(std::move(context))
        , mSwap(swap) {}
    ~GlRenderer() override;

    [[nodiscard]] HRESULT initialise() noexcept;

    void describe(RendererInfo* info) const override;
    float maxPointSize() const noexcept override { return mMaxPointSize; }
    HRESULT clear(const ClearRequest& request) noexcept override;
    HRESULT draw(const DrawRequest& request) noexcept override;
    HRESULT prepare(const DrawRequest& request) noexcept override;
    HRESULT present() noexcept override;
    void preload(TextureBase& texture) noexcept override;
    HRESULT readTextureLevel(TextureBase& texture, UINT face, UINT level,
                             std::byte* pixels) noexcept override;
    HRESULT readBack(BackBufferImage* image) noexcept override;

private:
    [[nodiscard]] bool buildUniformBuffer() noexcept;
    [[nodiscard]] bool buildFramebuffers() noexcept;
    // The program of `key`, started when new; null when it cannot be had.
    Program* programFor(const ProgramKey& key) noexcept;
    [[nodiscard]] bool finish(Program& program) noexcept;
    GLuint bufferFor(BufferStorage& storage, bool dynamic) noexcept;
    GlTexture* textureFor(TextureBase& texture) noexcept;
    void applyFixedState(const DeviceStateSnapshot& state) noexcept;
    void applySampler(const DeviceStateSnapshot& state) noexcept;
    void fillUniforms(const DrawRequest& request, int textureKind, UniformBlock* block) noexcept;
    void bindAttributes(const DrawRequest& request) noexcept;
    // Binds everything the draw reads; false when its program cannot be had.
    [[nodiscard]] bool bindDraw(const DrawRequest& request) noexcept;
    void submit(const DrawRequest& request) noexcept;
    // Leaves the single-sample image of the back buffer in the read framebuffer.
    GLuint resolvedFramebuffer() noexcept;

    std::unique_ptr<GlContext> mContext;
    SwapSetup mSwap;
    GlStateCache mState;
    // Few: one per combination of switches the program's user draws with.
    std::vector<Program> mPrograms;
    std::size_t mLastProgram = 0;
    GlProgramCache mProgramCache;
    int mProgramsCompiled = 0;
    int mProgramsFromCache = 0;
    GLuint mUniformBuffer = 0;
    GLuint mVertexArray = 0;
    GLuint mSampler = 0;
    GLuint mFramebuffer = 0;
    GLuint mColorBuffer = 0;
    GLuint mDepthBuffer = 0;
    GLuint mResolveFramebuffer = 0;
    GLuint mResolveBuffer = 0;
    GLint mSamples = 0;
    // Headless: the fence of the last presented frame, waited for at the next Present.
    GLsync mFrameFence = nullptr;
    bool mHasStencil = false;
    bool mMirrorClamp = false;
    bool mTextureStorage = false;
    float mMaxPointSize = 1.0f;

    // What was last handed to GL, so unchanged state costs no calls.
    UniformBlock mUniforms{};
    bool mUniformsValid = false;
    std::array<DWORD, DeviceStateSnapshot::kSamplerStateCount> mSamplerState{};
    bool mSamplerValid = false;
};

GlRenderer::~GlRenderer() {
    if (!mContext->makeCurrent()) {
        return;
    }
    if (mFrameFence != nullptr) {
        glDeleteSync(mFrameFence);
    }
    for (const Program& program : mPrograms) {
        glDeleteProgram(program.name);
    }
    glDeleteBuffers(1, &mUniformBuffer);
    glDeleteVertexArrays(1, &mVertexArray);
    glDeleteSamplers(1, &mSampler);
    glDeleteFramebuffers(1, &mFramebuffer);
    glDeleteFramebuffers(1, &mResolveFramebuffer);
    glDeleteRenderbuffers(1, &mColorBuffer);
    glDeleteRenderbuffers(1, &mDepthBuffer);
    glDeleteRenderbuffers(1, &mResolveBuffer);
}

HRESULT GlRenderer::initialise() noexcept {
    if (!mContext->makeCurrent()) {
        return D3DERR_NOTAVAILABLE;
    }
    mMirrorClamp =
        epoxy_gl_version() >= 44 || epoxy_has_gl_extension("GL_ARB_texture_mirror_clamp_to_edge");
    mTextureStorage = epoxy_gl_version() >= 42 || epoxy_has_gl_extension("GL_ARB_texture_storage");
    GLfloat pointRange[2] = {1.0f, 1.0f};
    glGetFloatv(GL_POINT_SIZE_RANGE, pointRange);
    mMaxPointSize = pointRange[1];
    if (!buildUniformBuffer() || !buildFramebuffers()) {
        return D3DERR_NOTAVAILABLE;
    }
    try {
        mProgramCache.open(programCacheDirectory());
    } catch (const std::bad_alloc&) {
        // Without the path the programs are compiled, as without a cache.
    }
    // The program of a fresh device's states: it proves that the shaders compile here and that
    // the block's layout is ours.
    ProgramKey first{};
    first.lighting[0] = 1;
    first.colorStage[0] = D3DTOP_MODULATE;
    first.colorStage[1] = D3DTA_TEXTURE;
    first.colorStage[3] = D3DTA_CURRENT;
    first.alphaStage[0] = D3DTOP_SELECTARG1;
    first.alphaStage[1] = D3DTA_TEXTURE;
    first.alphaStage[3] = D3DTA_CURRENT;
    Program* program = programFor(first);
    if (program == nullptr || !finish(*program)) {
        return D3DERR_NOTAVAILABLE;
    }
    glGenVertexArrays(1, &mVertexArray);
    glBindVertexArray(mVertexArray);
    glGenSamplers(1, &mSampler);
    for (GLuint unit = 0; unit < 3; ++unit) {
        glBindSampler(unit, mSampler);
    }
#ifndef NDEBUG
    if (epoxy_gl_version() >= 43 || epoxy_has_gl_extension("GL_KHR_debug")) {
        glEnable(GL_DEBUG_OUTPUT);
        glDebugMessageCallback(logDebugMessage, nullptr);
    }
#endif
    glEnable(GL_PROGRAM_POINT_SIZE);
    // Flat shading takes the first vertex of each primitive, as in the fixed pipeline.
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    mState.bindFramebuffer(mFramebuffer);
    checkGl("initialise");
    return D3D_OK;
}

bool GlRenderer::buildUniformBuffer() noexcept {
    glGenBuffers(1, &mUniformBuffer);
    mState.bindUniformBuffer(mUniformBuffer);
    glBufferData(GL_UNIFORM_BUFFER, sizeof(UniformBlock), nullptr, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, mUniformBuffer);
    return mUniformBuffer != 0;
}

Program* GlRenderer::programFor(const ProgramKey& key) noexcept {
    if (mLastProgram < mPrograms.size() && mPrograms[mLastProgram].key == key) {
        return &mPrograms[mLastProgram];
    }
    for (std::size_t i = 0; i < mPrograms.size(); ++i) {
        if (mPrograms[i].key == key) {
            mLastProgram = i;
            return &mPrograms[i];
        }
    }
    // The text differs only in its definitions, so the driver's shader cache and ours keep one
    // entry per variant from run to run.
    constexpr const char* kVersion = "#version 330 core\n";
    Program program;
    program.key = key;
    std::string definitions;
    try {
        definitions = keyDefinitions(key);
        if (mProgramCache.enabled()) {
            for (const char* part : {kVersion, definitions.c_str(), kFixedFunctionCommon,
                                     kFixedFunctionVertexShader, kVersion, definitions.c_str(),
                                     kFixedFunctionCommon, kFixedFunctionFragmentShader}) {
                program.source += part;
            }
        }
        mPrograms.reserve(mPrograms.size() + 1);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    program.name = glCreateProgram();
    program.fromCache = mProgramCache.load(program.name, program.source);
    if (program.fromCache) {
        ++mProgramsFromCache;
        std::string().swap(program.source);
    } else {
        if (mProgramCache.enabled()) {
            // A refused binary leaves a program that failed to link; compile into a fresh one.
            glDeleteProgram(program.name);
            program.name = glCreateProgram();
        }
        const auto compile = [&definitions](GLenum kind, const char* body) {
            const GLuint shader = glCreateShader(kind);
            const char* parts[] = {kVersion, definitions.c_str(), kFixedFunctionCommon, body};
            glShaderSource(shader, 4, parts, nullptr);
            glCompileShader(shader);
            return shader;
        };
        const GLuint vertex = compile(GL_VERTEX_SHADER, kFixedFunctionVertexShader);
        const GLuint fragment = compile(GL_FRAGMENT_SHADER, kFixedFunctionFragmentShader);
        glAttachShader(program.name, vertex);
        glAttachShader(program.name, fragment);
        if (mProgramCache.enabled()) {
            glProgramParameteri(program.name, GL_PROGRAM_BINARY_RETRIEVABLE_HINT, GL_TRUE);
        }
        glLinkProgram(program.name);
        // Flagged for deletion; they go with the program.
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        ++mProgramsCompiled;
    }
    mPrograms.push_back(std::move(program));
    mLastProgram = mPrograms.size() - 1;
    return &mPrograms.back();
}

bool GlRenderer::finish(Program& program) noexcept {
    if (program.finished) {
        return program.linked;
    }
    program.finished = true;
    GLint ok = GL_FALSE;
    glGetProgramiv(program.name, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        char log[2048] = {};
        glGetProgramInfoLog(program.name, sizeof(log) - 1, nullptr, log);
        OutputDebugStringA("gfx: shader program does not link:\n");
        OutputDebugStringA(log);
        return false;
    }
    const GLuint block = glGetUniformBlockIndex(program.name, "FixedFunction");
    if (block == GL_INVALID_INDEX) {
        return false;
    }
    GLint blockSize = 0;
    glGetActiveUniformBlockiv(program.name, block, GL_UNIFORM_BLOCK_DATA_SIZE, &blockSize);
    // The C++ mirror must match what the compiler laid out.
    if (blockSize != static_cast<GLint>(sizeof(UniformBlock))) {
        OutputDebugStringA("gfx: uniform block layout differs from UniformBlock\n");
        return false;
    }
    glUniformBlockBinding(program.name, block, 0);
    mState.useProgram(program.name);
    // Unused samplers are compiled out of a variant: their locations are -1, which GL skips.
    glUniform1i(glGetUniformLocation(program.name, "uTexture2D"), 0);
    glUniform1i(glGetUniformLocation(program.name, "uTextureCube"), 1);
    glUniform1i(glGetUniformLocation(program.name, "uTextureVolume"), 2);
    program.linked = true;
    if (!program.fromCache) {
        mProgramCache.store(program.name, program.source);
    }
    std::string().swap(program.source);
    return true;
}

bool GlRenderer::buildFramebuffers() noexcept {
    const GLenum colorFormat = mSwap.format == D3DFMT_A8R8G8B8 ? GL_RGBA8 : GL_RGB8;
    GLint maxSamples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    mSamples = mSwap.multiSample >= D3DMULTISAMPLE_2_SAMPLES
                   ? std::min(static_cast<GLint>(mSwap.multiSample), maxSamples)
                   : 0;
    const auto width = static_cast<GLsizei>(mSwap.width);
    const auto height = static_cast<GLsizei>(mSwap.height);

    glGenFramebuffers(1, &mFramebuffer);
    mState.bindFramebuffer(mFramebuffer);
    glGenRenderbuffers(1, &mColorBuffer);
    glBindRenderbuffer(GL_RENDERBUFFER, mColorBuffer);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, mSamples, colorFormat, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, mColorBuffer);
    if (mSwap.depthFormat != D3DFMT_UNKNOWN) {
        GLenum depthFormat = GL_DEPTH_COMPONENT16;
        GLenum attachment = GL_DEPTH_ATTACHMENT;
        switch (mSwap.depthFormat) {
        case D3DFMT_D24S8:
        case D3DFMT_D15S1:
        case D3DFMT_D24X4S4:
            depthFormat = GL_DEPTH24_STENCIL8;
            attachment = GL_DEPTH_STENCIL_ATTACHMENT;
            mHasStencil = true;
            break;
        case D3DFMT_D24X8:
        case D3DFMT_D32:
            depthFormat = GL_DEPTH_COMPONENT24;
            break;
        default:
            break;
        }
        glGenRenderbuffers(1, &mDepthBuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, mDepthBuffer);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, mSamples, depthFormat, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, attachment, GL_RENDERBUFFER, mDepthBuffer);
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        return false;
    }
    if (mSamples > 0) {
        glGenFramebuffers(1, &mResolveFramebuffer);
        mState.bindFramebuffer(mResolveFramebuffer);
        glGenRenderbuffers(1, &mResolveBuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, mResolveBuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, colorFormat, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  mResolveBuffer);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            return false;
        }
    }
    mState.bindFramebuffer(mFramebuffer);
    return true;
}

void GlRenderer::describe(RendererInfo* info) const {
    info->kind = mContext->windowed() ? "opengl-window" : "opengl-headless";
    if (!mContext->makeCurrent()) {
        return;
    }
    const auto text = [](GLenum name) {
        const auto* value = reinterpret_cast<const char*>(glGetString(name));
        return std::string(value != nullptr ? value : "");
    };
    info->glVendor = text(GL_VENDOR);
    info->glRenderer = text(GL_RENDERER);
    info->glVersion = text(GL_VERSION);
    info->glslVersion = text(GL_SHADING_LANGUAGE_VERSION);
    info->programsCompiled = mProgramsCompiled;
    info->programsFromCache = mProgramsFromCache;
}

HRESULT GlRenderer::clear(const ClearRequest& request) noexcept {
    if (!mContext->makeCurrent()) {
        return D3DERR_DEVICELOST;
    }
    mState.bindFramebuffer(mFramebuffer);
    GLbitfield mask = 0;
    if ((request.flags & D3DCLEAR_TARGET) != 0) {
        std::array<float, 4> color;
        colorToFloats(request.color, color.data());
        mState.clearColor(color);
        // The colour write mask does not apply to clears.
        mState.colorMask(true, true, true, true);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if ((request.flags & D3DCLEAR_ZBUFFER) != 0) {
        mState.clearDepth(request.z);
        mState.depthMask(true);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if ((request.flags & D3DCLEAR_STENCIL) != 0 && mHasStencil) {
        mState.clearStencil(static_cast<GLint>(request.stencil));
        mState.stencilMask(0xFFFFFFFF);
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    // A clear of the whole target needs no scissor, which lets the driver clear it outright.
    const bool whole = request.rects.size() == 1 && request.rects[0].left == 0 &&
                       request.rects[0].top == 0 &&
                       request.rects[0].right == static_cast<LONG>(mSwap.width) &&
                       request.rects[0].bottom == static_cast<LONG>(mSwap.height);
    mState.enable(GlCapability::kScissorTest, !whole);
    for (const RECT& rect : request.rects) {
        if (!whole) {
            mState.scissor(rect.left, static_cast<GLint>(mSwap.height) - rect.bottom,
                           rect.right - rect.left, rect.bottom - rect.top);
        }
        glClear(mask);
    }
    checkGl("clear");
    return D3D_OK;
}

GLuint GlRenderer::bufferFor(BufferStorage& storage, bool dynamic) noexcept {
    auto* gpu = static_cast<GlBuffer*>(storage.gpu.get());
    UINT begin = 0;
    UINT end = 0;
    bool discarded = false;
    if (gpu == nullptr) {
        GLuint name = 0;
        glGenBuffers(1, &name);
        gpu = new (std::nothrow) GlBuffer(mContext.get(), &mState, name);
        if (gpu == nullptr) {
            glDeleteBuffers(1, &name);
            return 0;
        }
        storage.gpu.reset(gpu);
        mState.bindArrayBuffer(name);
        glBufferData(GL_ARRAY_BUFFER, storage.length(), storage.bytes(),
                     dynamic ? GL_STREAM_DRAW : GL_STATIC_DRAW);
        storage.takeDirtyRange(&begin, &end, &discarded);
        return name;
    }
    if (storage.takeDirtyRange(&begin, &end, &discarded)) {
        mState.bindArrayBuffer(gpu->name);
        if (discarded || (begin == 0 && end == storage.length())) {
            // A fresh store lets the driver keep the old one for draws still in flight.
            glBufferData(GL_ARRAY_BUFFER, storage.length(), storage.bytes(),
                         dynamic ? GL_STREAM_DRAW : GL_STATIC_DRAW);
        } else {
            glBufferSubData(GL_ARRAY_BUFFER, begin, end - begin, storage.bytes() + begin);
        }
    }
    return gpu->name;
}

GlTexture* GlRenderer::textureFor(TextureBase& texture) noexcept {
    auto* gpu = static_cast<GlTexture*>(texture.gpu.get());
    if (gpu == nullptr) {
        GLenum target = GL_TEXTURE_2D;
        if (texture.textureKind() == ObjectKind::kCubeTexture) {
            target = GL_TEXTURE_CUBE_MAP;
        } else if (texture.textureKind() == ObjectKind::kVolumeTexture) {
            target = GL_TEXTURE_3D;
        }
        GLuint name = 0;
        glGenTextures(1, &name);
        gpu = new (std::nothrow) GlTexture(mContext.get(), &mState, name, target);
        if (gpu == nullptr) {
            glDeleteTextures(1, &name);
            return nullptr;
        }
        texture.gpu.reset(gpu);
    }
    if (gpu->version == texture.contentVersion()) {
        return gpu;
    }
    gpu->version = texture.contentVersion();
    GlFormat format;
    gpu->usable = glFormatFor(texture.format(), &format);
    if (!gpu->usable) {
        return gpu;
    }
    // Uploads use the unit of the texture's kind, where a draw binds it next anyway.
    const GLuint unit = gpu->target == GL_TEXTURE_2D         ? 0
                        : gpu->target == GL_TEXTURE_CUBE_MAP ? 1
                                                             : 2;
    mState.bindTexture(unit, gpu->target, gpu->name);
    glTexParameteriv(gpu->target, GL_TEXTURE_SWIZZLE_RGBA, format.swizzle);
    const bool generated = texture.autoGenMipmap() && format.renderable;
    if (mTextureStorage && !gpu->immutable) {
        // One allocation of the exact chain: level by level, the driver would guess a chain at
        // the first level and copy everything into the real one at the first draw.
        const auto levels = static_cast<GLsizei>(
            generated ? fullLevelCount(texture.width(), texture.height(), texture.depth())
                      : texture.levels());
        const auto w = static_cast<GLsizei>(texture.width());
        const auto h = static_cast<GLsizei>(texture.height());
        if (gpu->target == GL_TEXTURE_3D) {
            glTexStorage3D(gpu->target, levels, format.internal, w, h,
                           static_cast<GLsizei>(texture.depth()));
        } else {
            glTexStorage2D(gpu->target, levels, format.internal, w, h);
        }
        gpu->immutable = true;
    }
    for (UINT face = 0; face < texture.faces(); ++face) {
        for (UINT level = 0; level < texture.levels(); ++level) {
            const LevelView view = texture.levelView(face, level);
            if (gpu->immutable && view.bits == nullptr) {
                continue; // storage without contents yet
            }
            const auto w = static_cast<GLsizei>(view.width);
            const auto h = static_cast<GLsizei>(view.height);
            const auto glLevel = static_cast<GLint>(level);
            if (gpu->target == GL_TEXTURE_3D) {
                const auto d = static_cast<GLsizei>(view.depth);
                if (gpu->immutable) {
                    glTexSubImage3D(gpu->target, glLevel, 0, 0, 0, w, h, d, format.format,
                                    format.type, view.bits);
                } else {
                    glTexImage3D(gpu->target, glLevel, static_cast<GLint>(format.internal), w, h, d,
                                 0, format.format, format.type, view.bits);
                }
            } else {
                const GLenum faceTarget = gpu->target == GL_TEXTURE_CUBE_MAP
                                              ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face
                                              : GL_TEXTURE_2D;
                if (gpu->immutable) {
                    glTexSubImage2D(faceTarget, glLevel, 0, 0, w, h, format.format, format.type,
                                    view.bits);
                } else {
                    glTexImage2D(faceTarget, glLevel, static_cast<GLint>(format.internal), w, h, 0,
                                 format.format, format.type, view.bits);
                }
            }
        }
    }
    GLint lastLevel = static_cast<GLint>(texture.levels()) - 1;
    if (generated) {
        glGenerateMipmap(gpu->target);
        lastLevel =
            static_cast<GLint>(fullLevelCount(texture.width(), texture.height(), texture.depth())) -
            1;
    }
    glTexParameteri(gpu->target, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(gpu->target, GL_TEXTURE_MAX_LEVEL, lastLevel);
    checkGl("texture upload");
    // The driver holds the pixels now; a managed texture's own copy would only double them.
    if (format.exact && gpu->target != GL_TEXTURE_3D) {
        texture.releaseSystemCopy();
    }
    return gpu;
}

void GlRenderer::preload(TextureBase& texture) noexcept {
    if (mContext->makeCurrent()) {
        textureFor(texture);
    }
}

HRESULT GlRenderer::readTextureLevel(TextureBase& texture, UINT face, UINT level,
                                     std::byte* pixels) noexcept {
    if (!mContext->makeCurrent()) {
        return D3DERR_DEVICELOST;
    }
    auto* gpu = static_cast<GlTexture*>(texture.gpu.get());
    GlFormat format;
    if (gpu == nullptr || !gpu->usable || gpu->version != texture.contentVersion() ||
        !glFormatFor(texture.format(), &format) || !format.exact) {
        return D3DERR_NOTAVAILABLE;
    }
    const GLuint unit = gpu->target == GL_TEXTURE_2D ? 0 : 1;
    mState.bindTexture(unit, gpu->target, gpu->name);
    const GLenum target =
        gpu->target == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face : gpu->target;
    glGetTexImage(target, static_cast<GLint>(level), format.format, format.type, pixels);
    checkGl("texture read back");
    return D3D_OK;
}

void GlRenderer::applySampler(const DeviceStateSnapshot& state) noexcept {
    const auto& sampler = state.samplerStates[0];
    if (mSamplerValid && sampler == mSamplerState) {
        return;
    }
    mSamplerState = sampler;
    mSamplerValid = true;
    const bool linearMin = sampler[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
    const DWORD mip = sampler[D3DSAMP_MIPFILTER];
    GLint minFilter = linearMin ? GL_LINEAR : GL_NEAREST;
    if (mip == D3DTEXF_POINT) {
        minFilter = linearMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    } else if (mip >= D3DTEXF_LINEAR) {
        minFilter = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    }
    glSamplerParameteri(mSampler, GL_TEXTURE_MIN_FILTER, minFilter);
    glSamplerParameteri(mSampler, GL_TEXTURE_MAG_FILTER,
                        sampler[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    glSamplerParameteri(mSampler, GL_TEXTURE_WRAP_S,
                        addressMode(sampler[D3DSAMP_ADDRESSU], mMirrorClamp));
    glSamplerParameteri(mSampler, GL_TEXTURE_WRAP_T,
                        addressMode(sampler[D3DSAMP_ADDRESSV], mMirrorClamp));
    glSamplerParameteri(mSampler, GL_TEXTURE_WRAP_R,
                        addressMode(sampler[D3DSAMP_ADDRESSW], mMirrorClamp));
    float border[4];
    colorToFloats(sampler[D3DSAMP_BORDERCOLOR], border);
    glSamplerParameterfv(mSampler, GL_TEXTURE_BORDER_COLOR, border);
    glSamplerParameterf(mSampler, GL_TEXTURE_LOD_BIAS,
                        floatFromBits(sampler[D3DSAMP_MIPMAPLODBIAS]));
    // The most detailed level a draw may use.
    glSamplerParameterf(mSampler, GL_TEXTURE_MIN_LOD,
                        static_cast<float>(sampler[D3DSAMP_MAXMIPLEVEL]));
}

void GlRenderer::applyFixedState(const DeviceStateSnapshot& state) noexcept {
    const auto& rs = state.renderStates;
    mState.enable(GlCapability::kDepthTest, rs[D3DRS_ZENABLE] != D3DZB_FALSE && mDepthBuffer != 0);
    mState.enable(GlCapability::kBlend, rs[D3DRS_ALPHABLENDENABLE] != FALSE);
    mState.enable(GlCapability::kCullFace, rs[D3DRS_CULLMODE] != D3DCULL_NONE);
    mState.enable(GlCapability::kScissorTest, rs[D3DRS_SCISSORTESTENABLE] != FALSE);
    mState.enable(GlCapability::kStencilTest, rs[D3DRS_STENCILENABLE] != FALSE && mHasStencil);
    mState.enable(GlCapability::kMultisample, rs[D3DRS_MULTISAMPLEANTIALIAS] != FALSE);
    const bool biased = rs[D3DRS_DEPTHBIAS] != 0 || rs[D3DRS_SLOPESCALEDEPTHBIAS] != 0;
    mState.enable(GlCapability::kPolygonOffsetFill, biased);

    // Counter-clockwise culling keeps clockwise triangles: they are the front faces (GL culls
    // its back faces, the default).
    mState.frontFace(rs[D3DRS_CULLMODE] == D3DCULL_CW ? GL_CCW : GL_CW);
    const DWORD fill = rs[D3DRS_FILLMODE];
    mState.polygonMode(fill == D3DFILL_POINT       ? GL_POINT
                       : fill == D3DFILL_WIREFRAME ? GL_LINE
                                                   : GL_FILL);
    mState.depthFunc(compareFunction(rs[D3DRS_ZFUNC]));
    mState.depthMask(rs[D3DRS_ZWRITEENABLE] != FALSE);
    const DWORD bits = rs[D3DRS_COLORWRITEENABLE];
    mState.colorMask((bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0);

    if (rs[D3DRS_ALPHABLENDENABLE] != FALSE) {
        GlBlend blend;
        blendFactors(rs[D3DRS_SRCBLEND], rs[D3DRS_DESTBLEND], &blend.source, &blend.destination);
        blend.alphaSource = blend.source;
        blend.alphaDestination = blend.destination;
        blend.equation = blendEquation(rs[D3DRS_BLENDOP]);
        blend.alphaEquation = blend.equation;
        if (rs[D3DRS_SEPARATEALPHABLENDENABLE] != FALSE) {
            blendFactors(rs[D3DRS_SRCBLENDALPHA], rs[D3DRS_DESTBLENDALPHA], &blend.alphaSource,
                         &blend.alphaDestination);
            blend.alphaEquation = blendEquation(rs[D3DRS_BLENDOPALPHA]);
        }
        colorToFloats(rs[D3DRS_BLENDFACTOR], blend.color.data());
        mState.blend(blend);
    }
    if (biased) {
        // DEPTHBIAS is in depth-range units; GL counts in steps of the 16-bit buffer.
        mState.polygonOffset(floatFromBits(rs[D3DRS_SLOPESCALEDEPTHBIAS]),
                             floatFromBits(rs[D3DRS_DEPTHBIAS]) * 65535.0f);
    }
    const D3DVIEWPORT9& viewport = state.viewport;
    mState.viewport(static_cast<GLint>(viewport.X),
                    static_cast<GLint>(mSwap.height - viewport.Y - viewport.Height),
                    static_cast<GLsizei>(viewport.Width), static_cast<GLsizei>(viewport.Height));
    mState.depthRange(viewport.MinZ, viewport.MaxZ);
    if (rs[D3DRS_SCISSORTESTENABLE] != FALSE) {
        const RECT& r = state.scissorRect;
        mState.scissor(r.left, static_cast<GLint>(mSwap.height) - r.bottom, r.right - r.left,
                       r.bottom - r.top);
    }
    if (mHasStencil && rs[D3DRS_STENCILENABLE] != FALSE) {
        const auto reference = static_cast<GLint>(rs[D3DRS_STENCILREF]);
        const GLuint mask = rs[D3DRS_STENCILMASK];
        const GlStencilFace front = {compareFunction(rs[D3DRS_STENCILFUNC]),
                                     reference,
                                     mask,
                                     stencilOperation(rs[D3DRS_STENCILFAIL]),
                                     stencilOperation(rs[D3DRS_STENCILZFAIL]),
                                     stencilOperation(rs[D3DRS_STENCILPASS])};
        GlStencilFace back = front;
        if (rs[D3DRS_TWOSIDEDSTENCILMODE] != FALSE) {
            back.function = compareFunction(rs[D3DRS_CCW_STENCILFUNC]);
            back.fail = stencilOperation(rs[D3DRS_CCW_STENCILFAIL]);
            back.depthFail = stencilOperation(rs[D3DRS_CCW_STENCILZFAIL]);
            back.pass = stencilOperation(rs[D3DRS_CCW_STENCILPASS]);
        }
        mState.stencil(front, back);
        mState.stencilMask(rs[D3DRS_STENCILWRITEMASK]);
    }
}

void GlRenderer::fillUniforms(const DrawRequest& request, int textureKind,
                              UniformBlock* block) noexcept {
    const DeviceStateSnapshot& state = *request.state;
    const auto& rs = state.renderStates;
    const VertexLayout& layout = *request.layout;
    *block = UniformBlock{};

    const D3DMATRIX worldView = multiply(state.world[0], state.view);
    std::memcpy(block->worldView, &worldView, sizeof(block->worldView));
    std::memcpy(block->projection, &state.projection, sizeof(block->projection));
    normalMatrix(worldView, block->normalMatrix);

    copyColor(state.material.Diffuse, block->materialDiffuse);
    copyColor(state.material.Ambient, block->materialAmbient);
    copyColor(state.material.Specular, block->materialSpecular);
    copyColor(state.material.Emissive, block->materialEmissive);
    colorToFloats(rs[D3DRS_AMBIENT], block->globalAmbient);
    block->materialPower[0] = state.material.Power;

    // Material colour sources count only while vertex colours are on.
    const bool colorVertex = rs[D3DRS_COLORVERTEX] != FALSE;
    block->colorSources[0] = colorVertex ? static_cast<GLint>(rs[D3DRS_DIFFUSEMATERIALSOURCE]) : 0;
    block->colorSources[1] = colorVertex ? static_cast<GLint>(rs[D3DRS_AMBIENTMATERIALSOURCE]) : 0;
    block->colorSources[2] = colorVertex ? static_cast<GLint>(rs[D3DRS_SPECULARMATERIALSOURCE]) : 0;
    block->colorSources[3] = colorVertex ? static_cast<GLint>(rs[D3DRS_EMISSIVEMATERIALSOURCE]) : 0;

    block->lighting[0] = rs[D3DRS_LIGHTING] != FALSE ? 1 : 0;
    block->lighting[1] = rs[D3DRS_SPECULARENABLE] != FALSE ? 1 : 0;
    block->lighting[2] = rs[D3DRS_NORMALIZENORMALS] != FALSE ? 1 : 0;
    block->lighting[3] = rs[D3DRS_LOCALVIEWER] != FALSE ? 1 : 0;

    block->vertexHas[0] = layout.find(D3DDECLUSAGE_COLOR, 0) != nullptr ? 1 : 0;
    block->vertexHas[1] = layout.find(D3DDECLUSAGE_COLOR, 1) != nullptr ? 1 : 0;
    block->vertexHas[2] = layout.find(D3DDECLUSAGE_NORMAL, 0) != nullptr ? 1 : 0;
    block->vertexHas[3] = layout.find(D3DDECLUSAGE_PSIZE, 0) != nullptr ? 1 : 0;

    // Lights go to camera space here, once per draw, rather than per vertex.
    int lightCount = 0;
    const D3DMATRIX& view = state.view;
    for (const auto& [index, slot] : state.lights) {
        if (!slot.enabled || lightCount == 8) {
            continue;
        }
        const D3DLIGHT9& light = slot.light;
        LightBlock& out = block->lights[lightCount++];
        copyColor(light.Diffuse, out.diffuse);
        copyColor(light.Specular, out.specular);
        copyColor(light.Ambient, out.ambient);
        const float p[3] = {light.Position.x, light.Position.y, light.Position.z};
        const float d[3] = {light.Direction.x, light.Direction.y, light.Direction.z};
        float direction[3];
        for (int j = 0; j < 3; ++j) {
            out.position[j] =
                p[0] * view.m[0][j] + p[1] * view.m[1][j] + p[2] * view.m[2][j] + view.m[3][j];
            direction[j] = d[0] * view.m[0][j] + d[1] * view.m[1][j] + d[2] * view.m[2][j];
        }
        const float length = std::sqrt(direction[0] * direction[0] + direction[1] * direction[1] +
                                       direction[2] * direction[2]);
        for (int j = 0; j < 3; ++j) {
            out.direction[j] = length > 0.0f ? direction[j] / length : 0.0f;
        }
        out.position[3] = light.Range;
        out.direction[3] = light.Falloff;
        out.params[0] = light.Attenuation0;
        out.params[1] = light.Attenuation1;
        out.params[2] = light.Attenuation2;
        out.params[3] = static_cast<float>(light.Type);
        out.cone[0] = std::cos(light.Theta * 0.5f);
        out.cone[1] = std::cos(light.Phi * 0.5f);
    }

    const bool points = request.type == D3DPT_POINTLIST;
    block->vertexMode[0] = layout.pretransformed ? 1 : 0;
    block->vertexMode[1] = lightCount;
    block->vertexMode[2] = rs[D3DRS_POINTSCALEENABLE] != FALSE ? 1 : 0;
    block->vertexMode[3] = points && rs[D3DRS_POINTSPRITEENABLE] != FALSE ? 1 : 0;

    const D3DVIEWPORT9& viewport = state.viewport;
    block->point[0] = floatFromBits(rs[D3DRS_POINTSIZE]);
    block->point[1] = floatFromBits(rs[D3DRS_POINTSIZE_MIN]);
    block->point[2] =
        std::min({request.capsMaxPointSize, floatFromBits(rs[D3DRS_POINTSIZE_MAX]), mMaxPointSize});
    block->point[3] = static_cast<float>(viewport.Height);
    block->pointScale[0] = floatFromBits(rs[D3DRS_POINTSCALE_A]);
    block->pointScale[1] = floatFromBits(rs[D3DRS_POINTSCALE_B]);
    block->pointScale[2] = floatFromBits(rs[D3DRS_POINTSCALE_C]);
    block->viewport[0] = static_cast<float>(viewport.X);
    block->viewport[1] = static_cast<float>(viewport.Y);
    block->viewport[2] = static_cast<float>(viewport.Width);
    block->viewport[3] = static_cast<float>(viewport.Height);
    block->target[0] = static_cast<float>(mSwap.height);
    // Pixel centres sit on integer coordinates: half a pixel right and down of GL's.
    block->target[1] = 1.0f / static_cast<float>(viewport.Width);
    block->target[2] = -1.0f / static_cast<float>(viewport.Height);
    block->target[3] = points ? 1.0f : 0.0f;

    const auto& stage = state.stageStates[0];
    block->colorStage[0] = static_cast<GLint>(stage[D3DTSS_COLOROP]);
    block->colorStage[1] = static_cast<GLint>(stage[D3DTSS_COLORARG1]);
    block->colorStage[2] = static_cast<GLint>(stage[D3DTSS_COLORARG2]);
    block->colorStage[3] = static_cast<GLint>(stage[D3DTSS_COLORARG0]);
    block->alphaStage[0] = static_cast<GLint>(stage[D3DTSS_ALPHAOP]);
    block->alphaStage[1] = static_cast<GLint>(stage[D3DTSS_ALPHAARG1]);
    block->alphaStage[2] = static_cast<GLint>(stage[D3DTSS_ALPHAARG2]);
    block->alphaStage[3] = static_cast<GLint>(stage[D3DTSS_ALPHAARG0]);
    block->pixel[0] = textureKind;
    block->pixel[1] = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT ? 1 : 0;
    block->pixel[2] =
        rs[D3DRS_ALPHATESTENABLE] != FALSE ? static_cast<GLint>(rs[D3DRS_ALPHAFUNC]) : 0;
    block->pixel[3] = static_cast<GLint>(rs[D3DRS_ALPHAREF] & 0xFF);
    colorToFloats(rs[D3DRS_TEXTUREFACTOR], block->textureFactor);
    colorToFloats(stage[D3DTSS_CONSTANT], block->stageConstant);
}

// How GL reads one declared vertex element; false for types it has no reading of.
bool attributeFormat(BYTE type, GlAttributeSource* source) {
    switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
        source->size = type - D3DDECLTYPE_FLOAT1 + 1;
        source->type = GL_FLOAT;
        return true;
    case D3DDECLTYPE_D3DCOLOR:
        // Bytes B, G, R, A: GL's BGRA size gives them back as red, green, blue, alpha.
        source->size = GL_BGRA;
        source->type = GL_UNSIGNED_BYTE;
        source->normalised = GL_TRUE;
        return true;
    case D3DDECLTYPE_UBYTE4:
    case D3DDECLTYPE_UBYTE4N:
        source->size = 4;
        source->type = GL_UNSIGNED_BYTE;
        source->normalised = type == D3DDECLTYPE_UBYTE4N;
        return true;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_SHORT4N:
        source->size = type == D3DDECLTYPE_SHORT4 || type == D3DDECLTYPE_SHORT4N ? 4 : 2;
        source->type = GL_SHORT;
        source->normalised = type == D3DDECLTYPE_SHORT2N || type == D3DDECLTYPE_SHORT4N;
        return true;
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_USHORT4N:
        source->size = type == D3DDECLTYPE_USHORT4N ? 4 : 2;
        source->type = GL_UNSIGNED_SHORT;
        source->normalised = GL_TRUE;
        return true;
    case D3DDECLTYPE_UDEC3:
        source->size = 4;
        source->type = GL_UNSIGNED_INT_2_10_10_10_REV;
        return true;
    case D3DDECLTYPE_DEC3N:
        source->size = 4;
        source->type = GL_INT_2_10_10_10_REV;
        source->normalised = GL_TRUE;
        return true;
    case D3DDECLTYPE_FLOAT16_2:
    case D3DDECLTYPE_FLOAT16_4:
        source->size = type == D3DDECLTYPE_FLOAT16_4 ? 4 : 2;
        source->type = GL_HALF_FLOAT;
        return true;
    default:
        return false;
    }
}

void GlRenderer::bindAttributes(const DrawRequest& request) noexcept {
    const VertexLayout& layout = *request.layout;
    const DWORD texCoordSet = request.state->stageStates[0][D3DTSS_TEXCOORDINDEX] & 0xFFFF;
    const D3DVERTEXELEMENT9* byLocation[kAttributeCount] = {
        layout.find(layout.pretransformed ? D3DDECLUSAGE_POSITIONT : D3DDECLUSAGE_POSITION, 0),
        layout.find(D3DDECLUSAGE_NORMAL, 0),
        layout.find(D3DDECLUSAGE_COLOR, 0),
        layout.find(D3DDECLUSAGE_COLOR, 1),
        layout.find(D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(std::min<DWORD>(texCoordSet, 15))),
        layout.find(D3DDECLUSAGE_PSIZE, 0)};
    static_assert(kAttributeCount == GlStateCache::kAttributeCount);
    for (GLuint location = 0; location < kAttributeCount; ++location) {
        const D3DVERTEXELEMENT9* element = byLocation[location];
        GlAttributeSource source;
        if (element == nullptr || !attributeFormat(element->Type, &source)) {
            mState.constantAttribute(location);
            continue;
        }
        const StreamBinding& stream = request.streams[element->Stream];
        source.buffer =
            bufferFor(stream.buffer->storage, (stream.buffer->usage() & D3DUSAGE_DYNAMIC) != 0);
        source.stride = static_cast<GLsizei>(stream.stride);
        source.offset = static_cast<std::uintptr_t>(stream.offset) + element->Offset;
        mState.attribute(location, source);
    }
}

bool GlRenderer::bindDraw(const DrawRequest& request) noexcept {
    mState.bindFramebuffer(mFramebuffer);
    int textureKind = 0;
    if (TextureBase* texture = request.textures[0]; texture != nullptr) {
        GlTexture* gpu = textureFor(*texture);
        if (gpu != nullptr && gpu->usable) {
            textureKind = gpu->target == GL_TEXTURE_2D         ? 1
                          : gpu->target == GL_TEXTURE_CUBE_MAP ? 2
                                                               : 3;
            mState.bindTexture(static_cast<GLuint>(textureKind - 1), gpu->target, gpu->name);
            applySampler(*request.state);
        }
    }
    applyFixedState(*request.state);

    UniformBlock block;
    fillUniforms(request, textureKind, &block);
    Program* program = programFor(programKeyOf(block));
    if (program == nullptr || !finish(*program)) {
        return false;
    }
    mState.useProgram(program->name);
    if (!mUniformsValid || std::memcmp(&block, &mUniforms, sizeof(block)) != 0) {
        mUniforms = block;
        mUniformsValid = true;
        mState.bindUniformBuffer(mUniformBuffer);
        glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(block), &block);
    }
    bindAttributes(request);
    if (request.indexed) {
        IndexBuffer* indices = request.indices;
        mState.bindElementBuffer(
            bufferFor(indices->storage, (indices->usage() & D3DUSAGE_DYNAMIC) != 0));
    }
    return true;
}

void GlRenderer::submit(const DrawRequest& request) noexcept {
    const GLenum mode = primitiveMode(request.type);
    const auto count = static_cast<GLsizei>(request.elementCount);
    if (request.indexed) {
        IndexBuffer* indices = request.indices;
        const GLenum type = indices->indexSize() == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
        const auto* offset = reinterpret_cast<const void*>(
            static_cast<std::uintptr_t>(request.startIndex) * indices->indexSize());
        glDrawRangeElementsBaseVertex(mode, request.minVertex - request.baseVertex,
                                      request.maxVertex - request.baseVertex, count, type, offset,
                                      request.baseVertex);
    } else {
        glDrawArrays(mode, static_cast<GLint>(request.startVertex), count);
    }
}

HRESULT GlRenderer::draw(const DrawRequest& request) noexcept {
    if (!mContext->makeCurrent()) {
        return D3DERR_DEVICELOST;
    }
    if (bindDraw(request)) {
        submit(request);
    }
    checkGl("draw");
    return D3D_OK;
}

HRESULT GlRenderer::prepare(const DrawRequest& request) noexcept {
    if (!mContext->makeCurrent()) {
        return D3DERR_DEVICELOST;
    }
    // Everything a real draw sets up: uploads, the program, and (through a draw that the
    // scissor test keeps off every pixel) whatever the driver derives from the state, such as
    // the code a software rasteriser generates for it. The first real draw then costs what
    // later ones do.
    if (bindDraw(request)) {
        mState.enable(GlCapability::kScissorTest, true);
        mState.scissor(0, 0, 0, 0);
        submit(request);
    }
    checkGl("prepare");
    return D3D_OK;
}

GLuint GlRenderer::resolvedFramebuffer() noexcept {
    if (mSamples == 0) {
        return mFramebuffer;
    }
    const auto width = static_cast<GLint>(mSwap.width);
    const auto height = static_cast<GLint>(mSwap.height);
    mState.bindReadFramebuffer(mFramebuffer);
    mState.bindDrawFramebuffer(mResolveFramebuffer);
    mState.enable(GlCapability::kScissorTest, false);
    glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    return mResolveFramebuffer;
}

HRESULT GlRenderer::present() noexcept {
    if (!mContext->makeCurrent()) {
        return D3DERR_DEVICELOST;
    }
    if (mContext->windowed()) {
        int windowWidth = 0;
        int windowHeight = 0;
        mContext->drawableSize(&windowWidth, &windowHeight);
        const GLuint source = resolvedFramebuffer();
        const auto width = static_cast<GLint>(mSwap.width);
        const auto height = static_cast<GLint>(mSwap.height);
        mState.bindReadFramebuffer(source);
        mState.bindDrawFramebuffer(0);
        mState.enable(GlCapability::kScissorTest, false);
        // The back buffer is stretched over the client area, as a windowed present does.
        glBlitFramebuffer(0, 0, width, height, 0, 0, windowWidth, windowHeight, GL_COLOR_BUFFER_BIT,
                          windowWidth == width && windowHeight == height ? GL_NEAREST : GL_LINEAR);
        mContext->swapBuffers();
    } else {
        // Without a window nothing paces the frames, and a software rasteriser would queue
        // them (and their memory) without bound. As a swap chain does, keep one frame in
        // flight: wait for the previous one before handing this one over.
        constexpr GLuint64 kWaitForever = ~GLuint64{0};
        if (mFrameFence != nullptr) {
            glClientWaitSync(mFrameFence, GL_SYNC_FLUSH_COMMANDS_BIT, kWaitForever);
            glDeleteSync(mFrameFence);
        }
        mFrameFence = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
        mContext->swapBuffers();
    }
    checkGl("present");
    return D3D_OK;
}

HRESULT GlRenderer::readBack(BackBufferImage* image) noexcept {
    if (!mContext->makeCurrent()) {
        return D3DERR_DEVICELOST;
    }
    const UINT width = mSwap.width;
    const UINT height = mSwap.height;
    try {
        image->pixels.resize(static_cast<std::size_t>(width) * height);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    mState.bindReadFramebuffer(resolvedFramebuffer());
    // 8_8_8_8_REV with BGRA puts blue in the low byte: each pixel reads as 0xAARRGGBB.
    glReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, image->pixels.data());
    // GL's first row is the bottom one; turned over in place, without a second image.
    D3DCOLOR* const pixels = image->pixels.data();
    for (UINT y = 0; y < height / 2; ++y) {
        D3DCOLOR* const top = pixels + static_cast<std::size_t>(y) * width;
        std::swap_ranges(top, top + width,
                         pixels + static_cast<std::size_t>(height - 1 - y) * width);
    }
    if (mSwap.format == D3DFMT_X8R8G8B8) {
        for (D3DCOLOR& pixel : image->pixels) {
            pixel |= 0xFF000000u;
        }
    }
    image->width = width;
    image->height = height;
    checkGl("read back");
    return D3D_OK;
}

} // namespace

void describeGlAdapter(D3DADAPTER_IDENTIFIER9* identifier) noexcept {
    GlDriverStrings strings;
    if (!headlessDriverStrings(&strings)) {
        return;
    }
    std::strncpy(identifier->Description, strings.renderer.c_str(),
                 sizeof(identifier->Description) - 1);
    std::strncpy(identifier->Driver, strings.version.c_str(), sizeof(identifier->Driver) - 1);
    // PCI vendor numbers of the usual GL vendors; software renderers have none.
    struct Vendor {
        const char* name;
        DWORD id;
    };
    constexpr Vendor kVendors[] = {
        {"NVIDIA", 0x10DE}, {"AMD", 0x1002}, {"ATI", 0x1002}, {"Intel", 0x8086}};
    identifier->VendorId = 0;
    for (const Vendor& vendor : kVendors) {
        if (strings.vendor.find(vendor.name) != std::string::npos ||
            strings.renderer.find(vendor.name) != std::string::npos) {
            identifier->VendorId = vendor.id;
            break;
        }
    }
}

HRESULT createGlRenderer(bool headless, const SwapSetup& swap,
                         std::unique_ptr<Renderer>* renderer) noexcept {
    std::unique_ptr<GlContext> context;
    const int interval = swap.presentationInterval == D3DPRESENT_INTERVAL_IMMEDIATE ? 0 : 1;
    const HRESULT hr = headless ? createHeadlessContext(&context)
                                : createWindowContext(swap.window, interval, &context);
    if (FAILED(hr)) {
        return hr;
    }
    std::unique_ptr<GlRenderer> created(new (std::nothrow) GlRenderer(std::move(context), swap));
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    const HRESULT ready = created->initialise();
    if (FAILED(ready)) {
        return ready;
    }
    *renderer = std::move(created);
    return D3D_OK;
}

} // namespace halv::gfx::detail
