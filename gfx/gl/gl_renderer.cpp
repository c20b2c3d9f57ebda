// The OpenGL 3.3 renderer: the device's own framebuffer, the fixed-function program driven by
// one uniform block, uploads of changed resources before each draw, and presenting.
#include "gfx/gl/gl_renderer.h"

#include "base/debug_output.h"
#include "gfx/detail/device.h"
#include "gfx/detail/state_tables.h"
#include "gfx/gl/gl_context.h"
#include "gfx/gl/shaders.h"

#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
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
        return true;
    case D3DFMT_X8R8G8B8:
        *out = {GL_RGB8, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, {kR, kG, kB, k1}, true};
        return true;
    case D3DFMT_A8B8G8R8:
        *out = {GL_RGBA8, GL_RGBA, GL_UNSIGNED_BYTE, {kR, kG, kB, kA}, true};
        return true;
    case D3DFMT_X8B8G8R8:
        *out = {GL_RGB8, GL_RGBA, GL_UNSIGNED_BYTE, {kR, kG, kB, k1}, true};
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
        return true;
    case D3DFMT_A2R10G10B10:
        *out = {GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV, {kR, kG, kB, kA}, true};
        return true;
    case D3DFMT_G16R16:
        *out = {GL_RG16, GL_RG, GL_UNSIGNED_SHORT, {kR, kG, k1, k1}, true};
        return true;
    case D3DFMT_A16B16G16R16:
        *out = {GL_RGBA16, GL_RGBA, GL_UNSIGNED_SHORT, {kR, kG, kB, kA}, true};
        return true;
    case D3DFMT_R16F:
        *out = {GL_R16F, GL_RED, GL_HALF_FLOAT, {kR, k1, k1, k1}, true};
        return true;
    case D3DFMT_G16R16F:
        *out = {GL_RG16F, GL_RG, GL_HALF_FLOAT, {kR, kG, k1, k1}, true};
        return true;
    case D3DFMT_A16B16G16R16F:
        *out = {GL_RGBA16F, GL_RGBA, GL_HALF_FLOAT, {kR, kG, kB, kA}, true};
        return true;
    case D3DFMT_R32F:
        *out = {GL_R32F, GL_RED, GL_FLOAT, {kR, k1, k1, k1}, true};
        return true;
    case D3DFMT_G32R32F:
        *out = {GL_RG32F, GL_RG, GL_FLOAT, {kR, kG, k1, k1}, true};
        return true;
    case D3DFMT_A32B32G32R32F:
        *out = {GL_RGBA32F, GL_RGBA, GL_FLOAT, {kR, kG, kB, kA}, true};
        return true;
    default:
        return false;
    }
}

// --- GL objects of resources ---------------------------------------------------------------

class GlBuffer final : public GpuObject {
public:
    GlBuffer(GlContext* context, GLuint bufferName)
        : mContext(context)
        , name(bufferName) {}
    ~GlBuffer() override {
        mContext->makeCurrent();
        glDeleteBuffers(1, &name);
    }

private:
    GlContext* mContext;

public:
    GLuint name;
};

class GlTexture final : public GpuObject {
public:
    GlTexture(GlContext* context, GLuint textureName, GLenum textureTarget)
        : mContext(context)
        , name(textureName)
        , target(textureTarget) {}
    ~GlTexture() override {
        mContext->makeCurrent();
        glDeleteTextures(1, &name);
    }

private:
    GlContext* mContext;

public:
    GLuint name;
    GLenum target;
    std::uint64_t version = 0;
    bool usable = false;
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

D3DMATRIX multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX result{};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) {
                sum += a.m[row][k] * b.m[k][column];
            }
            result.m[row][column] = sum;
        }
    }
    return result;
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
        const std::string line =
            std::string("gfx: GL error 0x") + std::to_string(error) + " after " + where + "\n";
        OutputDebugStringA(line.c_str());
    }
#else
    (void)where;
#endif
}

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
    HRESULT present() noexcept override;
    HRESULT readBack(BackBufferImage* image) noexcept override;

private:
    [[nodiscard]] bool buildProgram() noexcept;
    [[nodiscard]] bool buildFramebuffers() noexcept;
    GLuint bufferFor(BufferStorage& storage, bool dynamic) noexcept;
    GlTexture* textureFor(TextureBase& texture) noexcept;
    void applyFixedState(const DeviceStateSnapshot& state) noexcept;
    void applySampler(const DeviceStateSnapshot& state) noexcept;
    void fillUniforms(const DrawRequest& request, int textureKind, UniformBlock* block) noexcept;
    void bindAttributes(const DrawRequest& request) noexcept;
    // Leaves the single-sample image of the back buffer in the read framebuffer.
    GLuint resolvedFramebuffer() noexcept;
    void setEnabled(GLenum capability, bool enabled, int slot) noexcept;

    std::unique_ptr<GlContext> mContext;
    SwapSetup mSwap;
    GLuint mProgram = 0;
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
    float mMaxPointSize = 1.0f;

    // What was last handed to GL, so unchanged state costs no calls.
    UniformBlock mUniforms{};
    bool mUniformsValid = false;
    static constexpr int kCapabilitySlots = 8;
    int mEnabled[kCapabilitySlots];
    struct AppliedState {
        bool valid = false;
        DWORD cull = 0;
        DWORD fill = 0;
        DWORD zFunc = 0;
        DWORD zWrite = 0;
        DWORD colorWrite = 0;
        DWORD blend[6] = {};
        DWORD blendOpAlpha = 0;
        DWORD blendFactor = 0;
        D3DVIEWPORT9 viewport{};
        RECT scissor{};
        DWORD stencil[12] = {};
        DWORD depthBias = 0;
    } mApplied;
    std::array<DWORD, DeviceStateSnapshot::kSamplerStateCount> mSamplerState{};
    bool mSamplerValid = false;
    int mBoundKind = 0;
    GLuint mBoundTexture = 0;
};

GlRenderer::~GlRenderer() {
    if (!mContext->makeCurrent()) {
        return;
    }
    if (mFrameFence != nullptr) {
        glDeleteSync(mFrameFence);
    }
    glDeleteProgram(mProgram);
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
    std::fill(std::begin(mEnabled), std::end(mEnabled), -1);
    mMirrorClamp =
        epoxy_gl_version() >= 44 || epoxy_has_gl_extension("GL_ARB_texture_mirror_clamp_to_edge");
    GLfloat pointRange[2] = {1.0f, 1.0f};
    glGetFloatv(GL_POINT_SIZE_RANGE, pointRange);
    mMaxPointSize = pointRange[1];
    if (!buildProgram() || !buildFramebuffers()) {
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
    glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);
    checkGl("initialise");
    return D3D_OK;
}

bool GlRenderer::buildProgram() noexcept {
    const auto compile = [](GLenum kind, const char* source) -> GLuint {
        const GLuint shader = glCreateShader(kind);
        glShaderSource(shader, 1, &source, nullptr);
        glCompileShader(shader);
        GLint ok = GL_FALSE;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
        if (ok != GL_TRUE) {
            char log[2048] = {};
            glGetShaderInfoLog(shader, sizeof(log) - 1, nullptr, log);
            OutputDebugStringA("gfx: shader does not compile:\n");
            OutputDebugStringA(log);
            glDeleteShader(shader);
            return 0;
        }
        return shader;
    };
    const GLuint vertex = compile(GL_VERTEX_SHADER, kFixedFunctionVertexShader);
    const GLuint fragment = compile(GL_FRAGMENT_SHADER, kFixedFunctionFragmentShader);
    if (vertex == 0 || fragment == 0) {
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        return false;
    }
    mProgram = glCreateProgram();
    glAttachShader(mProgram, vertex);
    glAttachShader(mProgram, fragment);
    glLinkProgram(mProgram);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint ok = GL_FALSE;
    glGetProgramiv(mProgram, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        char log[2048] = {};
        glGetProgramInfoLog(mProgram, sizeof(log) - 1, nullptr, log);
        OutputDebugStringA("gfx: shader program does not link:\n");
        OutputDebugStringA(log);
        return false;
    }
    const GLuint block = glGetUniformBlockIndex(mProgram, "FixedFunction");
    GLint blockSize = 0;
    if (block == GL_INVALID_INDEX) {
        return false;
    }
    glGetActiveUniformBlockiv(mProgram, block, GL_UNIFORM_BLOCK_DATA_SIZE, &blockSize);
    // The C++ mirror must match what the compiler laid out.
    if (blockSize != static_cast<GLint>(sizeof(UniformBlock))) {
        OutputDebugStringA("gfx: uniform block layout differs from UniformBlock\n");
        return false;
    }
    glUniformBlockBinding(mProgram, block, 0);
    glGenBuffers(1, &mUniformBuffer);
    glBindBuffer(GL_UNIFORM_BUFFER, mUniformBuffer);
    glBufferData(GL_UNIFORM_BUFFER, sizeof(UniformBlock), nullptr, GL_DYNAMIC_DRAW);
    glBindBufferBase(GL_UNIFORM_BUFFER, 0, mUniformBuffer);
    glUseProgram(mProgram);
    glUniform1i(glGetUniformLocation(mProgram, "uTexture2D"), 0);
    glUniform1i(glGetUniformLocation(mProgram, "uTextureCube"), 1);
    glUniform1i(glGetUniformLocation(mProgram, "uTextureVolume"), 2);
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
    glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);
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
        glBindFramebuffer(GL_FRAMEBUFFER, mResolveFramebuffer);
        glGenRenderbuffers(1, &mResolveBuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, mResolveBuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, colorFormat, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  mResolveBuffer);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            return false;
        }
    }
    glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);
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
}

void GlRenderer::setEnabled(GLenum capability, bool enabled, int slot) noexcept {
    if (mEnabled[slot] != static_cast<int>(enabled)) {
        mEnabled[slot] = enabled ? 1 : 0;
        if (enabled) {
            glEnable(capability);
        } else {
            glDisable(capability);
        }
    }
}

HRESULT GlRenderer::clear(const ClearRequest& request) noexcept {
    if (!mContext->makeCurrent()) {
        return D3DERR_DEVICELOST;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);
    GLbitfield mask = 0;
    if ((request.flags & D3DCLEAR_TARGET) != 0) {
        float color[4];
        colorToFloats(request.color, color);
        glClearColor(color[0], color[1], color[2], color[3]);
        // The colour write mask does not apply to clears.
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        mask |= GL_COLOR_BUFFER_BIT;
    }
    if ((request.flags & D3DCLEAR_ZBUFFER) != 0) {
        glClearDepth(request.z);
        glDepthMask(GL_TRUE);
        mask |= GL_DEPTH_BUFFER_BIT;
    }
    if ((request.flags & D3DCLEAR_STENCIL) != 0 && mHasStencil) {
        glClearStencil(static_cast<GLint>(request.stencil));
        glStencilMask(0xFFFFFFFF);
        mask |= GL_STENCIL_BUFFER_BIT;
    }
    setEnabled(GL_SCISSOR_TEST, true, 3);
    for (const RECT& rect : request.rects) {
        glScissor(rect.left, static_cast<GLint>(mSwap.height) - rect.bottom, rect.right - rect.left,
                  rect.bottom - rect.top);
        glClear(mask);
    }
    // Masks and scissor are the draws' again.
    mApplied.valid = false;
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
        gpu = new (std::nothrow) GlBuffer(mContext.get(), name);
        if (gpu == nullptr) {
            glDeleteBuffers(1, &name);
            return 0;
        }
        storage.gpu.reset(gpu);
        glBindBuffer(GL_ARRAY_BUFFER, name);
        glBufferData(GL_ARRAY_BUFFER, storage.length(), storage.bytes(),
                     dynamic ? GL_STREAM_DRAW : GL_STATIC_DRAW);
        storage.takeDirtyRange(&begin, &end, &discarded);
        return name;
    }
    if (storage.takeDirtyRange(&begin, &end, &discarded)) {
        glBindBuffer(GL_ARRAY_BUFFER, gpu->name);
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
        gpu = new (std::nothrow) GlTexture(mContext.get(), name, target);
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
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(gpu->target, gpu->name);
    mBoundTexture = 0;
    mBoundKind = 0;
    glTexParameteriv(gpu->target, GL_TEXTURE_SWIZZLE_RGBA, format.swizzle);
    for (UINT face = 0; face < texture.faces(); ++face) {
        for (UINT level = 0; level < texture.levels(); ++level) {
            const LevelView view = texture.levelView(face, level);
            const auto w = static_cast<GLsizei>(view.width);
            const auto h = static_cast<GLsizei>(view.height);
            if (gpu->target == GL_TEXTURE_3D) {
                glTexImage3D(
                    gpu->target, static_cast<GLint>(level), static_cast<GLint>(format.internal), w,
                    h, static_cast<GLsizei>(view.depth), 0, format.format, format.type, view.bits);
            } else {
                const GLenum faceTarget = gpu->target == GL_TEXTURE_CUBE_MAP
                                              ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + face
                                              : GL_TEXTURE_2D;
                glTexImage2D(faceTarget, static_cast<GLint>(level),
                             static_cast<GLint>(format.internal), w, h, 0, format.format,
                             format.type, view.bits);
            }
        }
    }
    GLint lastLevel = static_cast<GLint>(texture.levels()) - 1;
    if (texture.autoGenMipmap() && format.renderable) {
        glGenerateMipmap(gpu->target);
        lastLevel =
            static_cast<GLint>(fullLevelCount(texture.width(), texture.height(), texture.depth())) -
            1;
    }
    glTexParameteri(gpu->target, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(gpu->target, GL_TEXTURE_MAX_LEVEL, lastLevel);
    checkGl("texture upload");
    return gpu;
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
    setEnabled(GL_DEPTH_TEST, rs[D3DRS_ZENABLE] != D3DZB_FALSE && mDepthBuffer != 0, 0);
    setEnabled(GL_BLEND, rs[D3DRS_ALPHABLENDENABLE] != FALSE, 1);
    setEnabled(GL_CULL_FACE, rs[D3DRS_CULLMODE] != D3DCULL_NONE, 2);
    setEnabled(GL_SCISSOR_TEST, rs[D3DRS_SCISSORTESTENABLE] != FALSE, 3);
    setEnabled(GL_STENCIL_TEST, rs[D3DRS_STENCILENABLE] != FALSE && mHasStencil, 4);
    setEnabled(GL_MULTISAMPLE, rs[D3DRS_MULTISAMPLEANTIALIAS] != FALSE, 5);
    const bool biased = rs[D3DRS_DEPTHBIAS] != 0 || rs[D3DRS_SLOPESCALEDEPTHBIAS] != 0;
    setEnabled(GL_POLYGON_OFFSET_FILL, biased, 6);

    AppliedState& applied = mApplied;
    const bool all = !applied.valid;
    applied.valid = true;
    if (all || applied.cull != rs[D3DRS_CULLMODE]) {
        applied.cull = rs[D3DRS_CULLMODE];
        // Counter-clockwise culling keeps clockwise triangles: they are the front faces.
        glFrontFace(applied.cull == D3DCULL_CW ? GL_CCW : GL_CW);
        glCullFace(GL_BACK);
    }
    if (all || applied.fill != rs[D3DRS_FILLMODE]) {
        applied.fill = rs[D3DRS_FILLMODE];
        const GLenum mode = applied.fill == D3DFILL_POINT       ? GL_POINT
                            : applied.fill == D3DFILL_WIREFRAME ? GL_LINE
                                                                : GL_FILL;
        glPolygonMode(GL_FRONT_AND_BACK, mode);
    }
    if (all || applied.zFunc != rs[D3DRS_ZFUNC]) {
        applied.zFunc = rs[D3DRS_ZFUNC];
        glDepthFunc(compareFunction(applied.zFunc));
    }
    if (all || applied.zWrite != rs[D3DRS_ZWRITEENABLE]) {
        applied.zWrite = rs[D3DRS_ZWRITEENABLE];
        glDepthMask(applied.zWrite != FALSE ? GL_TRUE : GL_FALSE);
    }
    if (all || applied.colorWrite != rs[D3DRS_COLORWRITEENABLE]) {
        applied.colorWrite = rs[D3DRS_COLORWRITEENABLE];
        const DWORD bits = applied.colorWrite;
        glColorMask((bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0);
    }
    const DWORD blend[6] = {rs[D3DRS_SRCBLEND],      rs[D3DRS_DESTBLEND],
                            rs[D3DRS_BLENDOP],       rs[D3DRS_SEPARATEALPHABLENDENABLE],
                            rs[D3DRS_SRCBLENDALPHA], rs[D3DRS_DESTBLENDALPHA]};
    const DWORD blendOpAlpha = rs[D3DRS_BLENDOPALPHA];
    if (all || !std::equal(std::begin(blend), std::end(blend), std::begin(applied.blend)) ||
        applied.blendFactor != rs[D3DRS_BLENDFACTOR] || applied.blendOpAlpha != blendOpAlpha) {
        std::copy(std::begin(blend), std::end(blend), std::begin(applied.blend));
        applied.blendFactor = rs[D3DRS_BLENDFACTOR];
        applied.blendOpAlpha = blendOpAlpha;
        GLenum source = GL_ONE;
        GLenum destination = GL_ZERO;
        blendFactors(blend[0], blend[1], &source, &destination);
        GLenum alphaSource = source;
        GLenum alphaDestination = destination;
        GLenum alphaEquation = blendEquation(blend[2]);
        if (blend[3] != FALSE) {
            blendFactors(blend[4], blend[5], &alphaSource, &alphaDestination);
            alphaEquation = blendEquation(blendOpAlpha);
        }
        glBlendFuncSeparate(source, destination, alphaSource, alphaDestination);
        glBlendEquationSeparate(blendEquation(blend[2]), alphaEquation);
        float factor[4];
        colorToFloats(applied.blendFactor, factor);
        glBlendColor(factor[0], factor[1], factor[2], factor[3]);
    }
    if (biased && (all || applied.depthBias != rs[D3DRS_DEPTHBIAS])) {
        applied.depthBias = rs[D3DRS_DEPTHBIAS];
        // DEPTHBIAS is in depth-range units; GL counts in steps of the 16-bit buffer.
        glPolygonOffset(floatFromBits(rs[D3DRS_SLOPESCALEDEPTHBIAS]),
                        floatFromBits(rs[D3DRS_DEPTHBIAS]) * 65535.0f);
    }
    const D3DVIEWPORT9& viewport = state.viewport;
    if (all || std::memcmp(&applied.viewport, &viewport, sizeof(viewport)) != 0) {
        applied.viewport = viewport;
        glViewport(static_cast<GLint>(viewport.X),
                   static_cast<GLint>(mSwap.height - viewport.Y - viewport.Height),
                   static_cast<GLsizei>(viewport.Width), static_cast<GLsizei>(viewport.Height));
        glDepthRange(viewport.MinZ, viewport.MaxZ);
    }
    if (rs[D3DRS_SCISSORTESTENABLE] != FALSE &&
        (all || std::memcmp(&applied.scissor, &state.scissorRect, sizeof(RECT)) != 0)) {
        applied.scissor = state.scissorRect;
        const RECT& r = state.scissorRect;
        glScissor(r.left, static_cast<GLint>(mSwap.height) - r.bottom, r.right - r.left,
                  r.bottom - r.top);
    }
    if (mHasStencil && rs[D3DRS_STENCILENABLE] != FALSE) {
        const DWORD stencil[12] = {
            rs[D3DRS_STENCILFUNC],      rs[D3DRS_STENCILREF],          rs[D3DRS_STENCILMASK],
            rs[D3DRS_STENCILFAIL],      rs[D3DRS_STENCILZFAIL],        rs[D3DRS_STENCILPASS],
            rs[D3DRS_STENCILWRITEMASK], rs[D3DRS_TWOSIDEDSTENCILMODE], rs[D3DRS_CCW_STENCILFUNC],
            rs[D3DRS_CCW_STENCILFAIL],  rs[D3DRS_CCW_STENCILZFAIL],    rs[D3DRS_CCW_STENCILPASS]};
        if (all ||
            !std::equal(std::begin(stencil), std::end(stencil), std::begin(applied.stencil))) {
            std::copy(std::begin(stencil), std::end(stencil), std::begin(applied.stencil));
            const auto reference = static_cast<GLint>(stencil[1]);
            // Clockwise triangles are the front faces (see the cull setup).
            glStencilFuncSeparate(GL_FRONT, compareFunction(stencil[0]), reference, stencil[2]);
            glStencilOpSeparate(GL_FRONT, stencilOperation(stencil[3]),
                                stencilOperation(stencil[4]), stencilOperation(stencil[5]));
            const bool twoSided = stencil[7] != FALSE;
            glStencilFuncSeparate(GL_BACK, compareFunction(twoSided ? stencil[8] : stencil[0]),
                                  reference, stencil[2]);
            glStencilOpSeparate(GL_BACK, stencilOperation(twoSided ? stencil[9] : stencil[3]),
                                stencilOperation(twoSided ? stencil[10] : stencil[4]),
                                stencilOperation(twoSided ? stencil[11] : stencil[5]));
            glStencilMask(stencil[6]);
        }
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
    for (GLuint location = 0; location < kAttributeCount; ++location) {
        const D3DVERTEXELEMENT9* element = byLocation[location];
        if (element == nullptr) {
            glDisableVertexAttribArray(location);
            // A missing texture coordinate set reads (0, 0); a missing normal is zero.
            glVertexAttrib4f(location, 0.0f, 0.0f, 0.0f, 1.0f);
            continue;
        }
        const StreamBinding& stream = request.streams[element->Stream];
        const GLuint buffer =
            bufferFor(stream.buffer->storage, (stream.buffer->usage() & D3DUSAGE_DYNAMIC) != 0);
        glBindBuffer(GL_ARRAY_BUFFER, buffer);
        const auto* offset = reinterpret_cast<const void*>(
            static_cast<std::uintptr_t>(stream.offset) + element->Offset);
        const auto stride = static_cast<GLsizei>(stream.stride);
        switch (element->Type) {
        case D3DDECLTYPE_FLOAT1:
        case D3DDECLTYPE_FLOAT2:
        case D3DDECLTYPE_FLOAT3:
        case D3DDECLTYPE_FLOAT4:
            glVertexAttribPointer(location, element->Type - D3DDECLTYPE_FLOAT1 + 1, GL_FLOAT,
                                  GL_FALSE, stride, offset);
            break;
        case D3DDECLTYPE_D3DCOLOR:
            // Bytes B, G, R, A: GL's BGRA size gives them back as red, green, blue, alpha.
            glVertexAttribPointer(location, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride, offset);
            break;
        case D3DDECLTYPE_UBYTE4:
        case D3DDECLTYPE_UBYTE4N:
            glVertexAttribPointer(location, 4, GL_UNSIGNED_BYTE,
                                  element->Type == D3DDECLTYPE_UBYTE4N, stride, offset);
            break;
        case D3DDECLTYPE_SHORT2:
        case D3DDECLTYPE_SHORT4:
        case D3DDECLTYPE_SHORT2N:
        case D3DDECLTYPE_SHORT4N: {
            const bool four =
                element->Type == D3DDECLTYPE_SHORT4 || element->Type == D3DDECLTYPE_SHORT4N;
            const bool normalised =
                element->Type == D3DDECLTYPE_SHORT2N || element->Type == D3DDECLTYPE_SHORT4N;
            glVertexAttribPointer(location, four ? 4 : 2, GL_SHORT, normalised, stride, offset);
            break;
        }
        case D3DDECLTYPE_USHORT2N:
        case D3DDECLTYPE_USHORT4N:
            glVertexAttribPointer(location, element->Type == D3DDECLTYPE_USHORT4N ? 4 : 2,
                                  GL_UNSIGNED_SHORT, GL_TRUE, stride, offset);
            break;
        case D3DDECLTYPE_UDEC3:
            glVertexAttribPointer(location, 4, GL_UNSIGNED_INT_2_10_10_10_REV, GL_FALSE, stride,
                                  offset);
            break;
        case D3DDECLTYPE_DEC3N:
            glVertexAttribPointer(location, 4, GL_INT_2_10_10_10_REV, GL_TRUE, stride, offset);
            break;
        case D3DDECLTYPE_FLOAT16_2:
        case D3DDECLTYPE_FLOAT16_4:
            glVertexAttribPointer(location, element->Type == D3DDECLTYPE_FLOAT16_4 ? 4 : 2,
                                  GL_HALF_FLOAT, GL_FALSE, stride, offset);
            break;
        default:
            glDisableVertexAttribArray(location);
            continue;
        }
        glEnableVertexAttribArray(location);
    }
}

HRESULT GlRenderer::draw(const DrawRequest& request) noexcept {
    if (!mContext->makeCurrent()) {
        return D3DERR_DEVICELOST;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);

    int textureKind = 0;
    if (TextureBase* texture = request.textures[0]; texture != nullptr) {
        GlTexture* gpu = textureFor(*texture);
        if (gpu != nullptr && gpu->usable) {
            textureKind = gpu->target == GL_TEXTURE_2D         ? 1
                          : gpu->target == GL_TEXTURE_CUBE_MAP ? 2
                                                               : 3;
            if (mBoundKind != textureKind || mBoundTexture != gpu->name) {
                glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(textureKind - 1));
                glBindTexture(gpu->target, gpu->name);
                mBoundKind = textureKind;
                mBoundTexture = gpu->name;
            }
            applySampler(*request.state);
        }
    }
    applyFixedState(*request.state);

    UniformBlock block;
    fillUniforms(request, textureKind, &block);
    if (!mUniformsValid || std::memcmp(&block, &mUniforms, sizeof(block)) != 0) {
        mUniforms = block;
        mUniformsValid = true;
        glBindBuffer(GL_UNIFORM_BUFFER, mUniformBuffer);
        glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(block), &block);
    }

    bindAttributes(request);
    const GLenum mode = primitiveMode(request.type);
    const auto count = static_cast<GLsizei>(request.elementCount);
    if (request.indexed) {
        IndexBuffer* indices = request.indices;
        const GLuint buffer =
            bufferFor(indices->storage, (indices->usage() & D3DUSAGE_DYNAMIC) != 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffer);
        const GLenum type = indices->indexSize() == 4 ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT;
        const auto* offset = reinterpret_cast<const void*>(
            static_cast<std::uintptr_t>(request.startIndex) * indices->indexSize());
        glDrawRangeElementsBaseVertex(mode, request.minVertex - request.baseVertex,
                                      request.maxVertex - request.baseVertex, count, type, offset,
                                      request.baseVertex);
    } else {
        glDrawArrays(mode, static_cast<GLint>(request.startVertex), count);
    }
    checkGl("draw");
    return D3D_OK;
}

GLuint GlRenderer::resolvedFramebuffer() noexcept {
    if (mSamples == 0) {
        return mFramebuffer;
    }
    const auto width = static_cast<GLint>(mSwap.width);
    const auto height = static_cast<GLint>(mSwap.height);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, mFramebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, mResolveFramebuffer);
    glDisable(GL_SCISSOR_TEST);
    mEnabled[3] = 0;
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
        glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glDisable(GL_SCISSOR_TEST);
        mEnabled[3] = 0;
        // The back buffer is stretched over the client area, as a windowed present does.
        glBlitFramebuffer(0, 0, width, height, 0, 0, windowWidth, windowHeight, GL_COLOR_BUFFER_BIT,
                          windowWidth == width && windowHeight == height ? GL_NEAREST : GL_LINEAR);
        mContext->swapBuffers();
        glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);
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
    std::vector<D3DCOLOR> rows;
    try {
        rows.resize(static_cast<std::size_t>(width) * height);
        image->pixels.resize(rows.size());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, resolvedFramebuffer());
    // 8_8_8_8_REV with BGRA puts blue in the low byte: each pixel reads as 0xAARRGGBB.
    glReadPixels(0, 0, static_cast<GLsizei>(width), static_cast<GLsizei>(height), GL_BGRA,
                 GL_UNSIGNED_INT_8_8_8_8_REV, rows.data());
    glBindFramebuffer(GL_FRAMEBUFFER, mFramebuffer);
    // GL's first row is the bottom one.
    for (UINT y = 0; y < height; ++y) {
        std::copy_n(rows.data() + static_cast<std::size_t>(height - 1 - y) * width, width,
                    image->pixels.data() + static_cast<std::size_t>(y) * width);
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
