// Pixel tests of the OpenGL renderer on a headless (EGL surfaceless) context; the expected
// colours come from the fixed-function formulas.
#include "gfx/device.h"
#include "gfx/device_factory.h"
#include "gfx/inspection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace halv::gfx {
namespace {

using base::ComRef;

constexpr UINT kSize = 32;
constexpr int kTolerance = 3;

struct Color {
    float r, g, b, a;
};

D3DCOLOR toColor(const Color& c) {
    const auto byte = [](float v) {
        return static_cast<DWORD>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f));
    };
    return (byte(c.a) << 24) | (byte(c.r) << 16) | (byte(c.g) << 8) | byte(c.b);
}

Color fromColor(D3DCOLOR c) {
    return {static_cast<float>((c >> 16) & 0xFF) / 255.0f,
            static_cast<float>((c >> 8) & 0xFF) / 255.0f, static_cast<float>(c & 0xFF) / 255.0f,
            static_cast<float>(c >> 24) / 255.0f};
}

testing::AssertionResult near(D3DCOLOR actual, D3DCOLOR expected, int tolerance = kTolerance) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = static_cast<int>((actual >> shift) & 0xFF);
        const int e = static_cast<int>((expected >> shift) & 0xFF);
        if (std::abs(a - e) > tolerance) {
            char text[64];
            std::snprintf(text, sizeof(text), "0x%08x, expected 0x%08x", actual, expected);
            return testing::AssertionFailure() << text;
        }
    }
    return testing::AssertionSuccess();
}

const D3DMATRIX kIdentity = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};

// Left-handed perspective projection (row vectors), as the math library builds it.
D3DMATRIX perspective(float fovY, float aspect, float zNear, float zFar) {
    const float yScale = 1.0f / std::tan(fovY / 2.0f);
    const float xScale = yScale / aspect;
    const float depth = zFar / (zFar - zNear);
    return {{{xScale, 0, 0, 0, 0, yScale, 0, 0, 0, 0, depth, 1, 0, 0, -zNear * depth, 0}}};
}

struct Vertex {
    float x, y, z;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kVertexFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

struct LitVertex {
    float x, y, z;
    float nx, ny, nz;
    D3DCOLOR color;
};
constexpr DWORD kLitFvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE;

class GlRender : public testing::Test {
protected:
    void SetUp() override {
        DeviceSetup setup;
        setup.width = kSize;
        setup.height = kSize;
        const HRESULT hr = createHeadlessDevice(setup, device.put());
        if (hr == D3DERR_NOTAVAILABLE) {
            GTEST_SKIP() << "no EGL surfaceless display or OpenGL 3.3 core context here";
        }
        ASSERT_EQ(hr, D3D_OK);
        // Clip space straight through, no lighting unless a test asks for it.
        device->SetTransform(D3DTS_WORLD, &kIdentity);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        clear(0xFF000000);
    }

    void clear(D3DCOLOR color) {
        ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, color, 1.0f, 0),
                  D3D_OK);
    }

    template <class T>
    void draw(D3DPRIMITIVETYPE type, DWORD fvf, const std::vector<T>& vertices, UINT primitives) {
        ASSERT_EQ(device->SetFVF(fvf), D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        EXPECT_EQ(device->DrawPrimitiveUP(type, primitives, vertices.data(), sizeof(T)), D3D_OK);
        ASSERT_EQ(device->EndScene(), D3D_OK);
    }

    // A quad over clip-space [x0, x1] x [y0, y1] at depth z, as a triangle list.
    static std::vector<Vertex> quad(float x0, float y0, float x1, float y1, float z,
                                    D3DCOLOR color) {
        return {{x0, y1, z, color, 0, 0}, {x1, y1, z, color, 1, 0}, {x0, y0, z, color, 0, 1},
                {x0, y0, z, color, 0, 1}, {x1, y1, z, color, 1, 0}, {x1, y0, z, color, 1, 1}};
    }

    BackBufferImage image() {
        BackBufferImage result;
        EXPECT_EQ(readBackBuffer(device.get(), &result), D3D_OK);
        return result;
    }

    ComRef<IDirect3DTexture9> makeTexture(UINT width, UINT height,
                                          const std::vector<D3DCOLOR>& texels) {
        ComRef<IDirect3DTexture9> texture;
        EXPECT_EQ(device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                        texture.put(), nullptr),
                  D3D_OK);
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < height; ++y) {
            std::memcpy(static_cast<std::byte*>(locked.pBits) + y * locked.Pitch,
                        texels.data() + y * width, width * 4);
        }
        EXPECT_EQ(texture->UnlockRect(0), D3D_OK);
        return texture;
    }

    ComRef<IDirect3DDevice9> device;
};

TEST_F(GlRender, ClearFillsTheViewportOrItsRectangles) {
    clear(0xFF000064);
    BackBufferImage cleared = image();
    ASSERT_EQ(cleared.width, kSize);
    ASSERT_EQ(cleared.height, kSize);
    EXPECT_EQ(cleared.at(0, 0), 0xFF000064u);
    EXPECT_EQ(cleared.at(31, 31), 0xFF000064u);

    const D3DRECT rect = {2, 3, 5, 7};
    ASSERT_EQ(device->Clear(1, &rect, D3DCLEAR_TARGET, 0xFFFF0000, 1.0f, 0), D3D_OK);
    // Clears are clipped to the viewport.
    D3DVIEWPORT9 viewport = {16, 0, 16, 16, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&viewport), D3D_OK);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0), D3D_OK);
    BackBufferImage result = image();
    EXPECT_EQ(result.at(2, 3), 0xFFFF0000u);
    EXPECT_EQ(result.at(4, 6), 0xFFFF0000u);
    EXPECT_EQ(result.at(5, 6), 0xFF000064u);
    EXPECT_EQ(result.at(4, 7), 0xFF000064u);
    EXPECT_EQ(result.at(16, 0), 0xFF00FF00u);
    EXPECT_EQ(result.at(31, 15), 0xFF00FF00u);
    EXPECT_EQ(result.at(15, 0), 0xFF000064u);
    EXPECT_EQ(result.at(16, 16), 0xFF000064u);
}

TEST_F(GlRender, SkippedRenderingCountsButLeavesThePixels) {
    clear(0xFF000064);
    ASSERT_EQ(resetDrawStats(device.get()), D3D_OK);
    ASSERT_EQ(setRenderingSkipped(device.get(), true), D3D_OK);
    clear(0xFFFF0000);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.5f, 0xFFFFFFFF), 2);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    DrawStats stats;
    ASSERT_EQ(getDrawStats(device.get(), &stats), D3D_OK);
    EXPECT_EQ(stats.clears, 1u);
    EXPECT_EQ(stats.drawCalls, 1u);
    EXPECT_EQ(stats.presents, 1u);
    EXPECT_EQ(image().at(5, 5), 0xFF000064u);

    // Drawing again afterwards uses what changed meanwhile.
    ASSERT_EQ(setRenderingSkipped(device.get(), false), D3D_OK);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.5f, 0xFF00FF00), 2);
    EXPECT_EQ(image().at(5, 5), 0xFF00FF00u);
}

TEST_F(GlRender, PreparedDrawsLeaveNoPixelsAndNoState) {
    clear(0xFF000064);
    const std::vector<D3DCOLOR> texels = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    auto texture = makeTexture(2, 2, texels);
    ASSERT_EQ(resetDrawStats(device.get()), D3D_OK);
    ASSERT_EQ(beginPreparing(device.get()), D3D_OK);
    // Blended, alpha-tested, textured, depth-tested, culled: none of it may reach a pixel.
    device->SetTexture(0, texture.get());
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CW);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.5f, 0xFFFFFFFF), 2);
    clear(0xFFFF0000);
    EXPECT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    ASSERT_EQ(endPreparing(device.get()), D3D_OK);
    EXPECT_EQ(endPreparing(device.get()), D3DERR_INVALIDCALL);

    EXPECT_EQ(image().at(5, 5), 0xFF000064u);
    DrawStats stats;
    ASSERT_EQ(getDrawStats(device.get(), &stats), D3D_OK);
    EXPECT_EQ(stats.drawCalls, 0u);
    EXPECT_EQ(stats.clears, 0u);
    // The states set while preparing are gone, so the next draw is opaque, untextured and
    // not culled.
    DWORD value = 0;
    ASSERT_EQ(device->GetRenderState(D3DRS_ALPHABLENDENABLE, &value), D3D_OK);
    EXPECT_EQ(value, static_cast<DWORD>(FALSE));
    ComRef<IDirect3DBaseTexture9> bound;
    ASSERT_EQ(device->GetTexture(0, bound.put()), D3D_OK);
    EXPECT_EQ(bound.get(), nullptr);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.5f, 0xFF336699), 2);
    EXPECT_EQ(image().at(5, 5), 0xFF336699u);
}

TEST_F(GlRender, AManagedTextureReadsBackWhatTheRendererHolds) {
    // Once drawn, a managed texture's pixels live with the renderer; locking it must still
    // give them, and a change must still reach the next draw.
    const std::vector<D3DCOLOR> texels = {0xFFFF0000, 0x8000FF00, 0x400000FF, 0x00FFFFFF};
    auto texture = makeTexture(2, 2, texels);
    ASSERT_EQ(device->SetTexture(0, texture.get()), D3D_OK);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.5f, 0xFFFFFFFF), 2);
    EXPECT_TRUE(near(image().at(4, 4), 0xFFFF0000));

    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    for (UINT y = 0; y < 2; ++y) {
        for (UINT x = 0; x < 2; ++x) {
            D3DCOLOR texel = 0;
            std::memcpy(&texel,
                        static_cast<const std::byte*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
            EXPECT_EQ(texel, texels[y * 2 + x]) << x << ", " << y;
        }
    }
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);

    // A partial write keeps the rest.
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.5f, 0xFFFFFFFF), 2);
    const RECT topRight = {1, 0, 2, 1};
    ASSERT_EQ(texture->LockRect(0, &locked, &topRight, 0), D3D_OK);
    const D3DCOLOR yellow = 0xFFFFFF00;
    std::memcpy(locked.pBits, &yellow, 4);
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.5f, 0xFFFFFFFF), 2);
    BackBufferImage result = image();
    EXPECT_TRUE(near(result.at(27, 4), 0xFFFFFF00));
    EXPECT_TRUE(near(result.at(4, 4), 0xFFFF0000));
    EXPECT_TRUE(near(result.at(4, 27), 0xFF0000FF));

    // PreLoad hands a texture over before any draw; its pixels still read back.
    auto preloaded = makeTexture(2, 2, texels);
    preloaded->PreLoad();
    ASSERT_EQ(preloaded->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    D3DCOLOR last = 0;
    std::memcpy(&last, static_cast<const std::byte*>(locked.pBits) + locked.Pitch + 4, 4);
    EXPECT_EQ(last, texels[3]);
    ASSERT_EQ(preloaded->UnlockRect(0), D3D_OK);
}

TEST_F(GlRender, HeadlessPresentsFollowOneAnother) {
    // Each Present waits for the frame before it; the frames stay in order.
    const D3DCOLOR kColours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF123456};
    for (D3DCOLOR colour : kColours) {
        clear(colour);
        ASSERT_EQ(device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    }
    EXPECT_EQ(image().at(3, 3), 0xFF123456u);
}

TEST_F(GlRender, PixelCentresSitOnIntegerCoordinates) {
    // Edges at screen x 0.5 and 4.5 (y 2.5 and 6.5): the pixels whose centres 1..4 (3..6)
    // lie inside are covered, the ones with centres on no edge outside are not.
    const auto clipX = [](float screen) { return screen / (kSize / 2.0f) - 1.0f; };
    const auto clipY = [](float screen) { return 1.0f - screen / (kSize / 2.0f); };
    draw(D3DPT_TRIANGLELIST, kVertexFvf,
         quad(clipX(0.5f), clipY(6.5f), clipX(4.5f), clipY(2.5f), 0.5f, 0xFFFFFFFF), 2);
    const BackBufferImage result = image();
    for (UINT y = 0; y < 9; ++y) {
        for (UINT x = 0; x < 7; ++x) {
            const bool inside = x >= 1 && x <= 4 && y >= 3 && y <= 6;
            EXPECT_EQ(result.at(x, y), inside ? 0xFFFFFFFFu : 0xFF000000u)
                << "pixel " << x << ", " << y;
        }
    }
}

// The lit colour by the documented vertex lighting, for one directional light.
struct LightingCase {
    const char* name;
    DWORD fvf;
    BOOL colorVertex;
    D3DMATERIALCOLORSOURCE diffuseSource;
    D3DMATERIALCOLORSOURCE emissiveSource;
    bool lighting;
};

const LightingCase kLightingCases[] = {
    {"DiffuseFromVertexColour", kLitFvf, TRUE, D3DMCS_COLOR1, D3DMCS_MATERIAL, true},
    {"EmissiveFromVertexColour", kLitFvf, TRUE, D3DMCS_COLOR1, D3DMCS_COLOR1, true},
    {"ColorVertexOffUsesMaterial", kLitFvf, FALSE, D3DMCS_COLOR1, D3DMCS_COLOR1, true},
    {"MaterialSourceMaterial", kLitFvf, TRUE, D3DMCS_MATERIAL, D3DMCS_MATERIAL, true},
    // Without a normal only the emissive and ambient terms remain.
    {"NoNormal", D3DFVF_XYZ | D3DFVF_DIFFUSE, TRUE, D3DMCS_COLOR1, D3DMCS_MATERIAL, true},
    {"NoNormalEmissiveFromVertex", D3DFVF_XYZ | D3DFVF_DIFFUSE, TRUE, D3DMCS_MATERIAL,
     D3DMCS_COLOR1, true},
    {"LightingOffShowsVertexColour", kLitFvf, TRUE, D3DMCS_COLOR1, D3DMCS_MATERIAL, false},
};

class GlLighting : public GlRender, public testing::WithParamInterface<LightingCase> {};

TEST_P(GlLighting, MatchesTheLightingFormula) {
    const LightingCase& c = GetParam();
    const D3DCOLOR vertexColor = 0xC0806040;
    D3DMATERIAL9 material{};
    material.Diffuse = {0.5f, 0.25f, 1.0f, 0.75f};
    material.Ambient = {0.2f, 0.4f, 0.6f, 1.0f};
    material.Emissive = {0.1f, 0.0f, 0.05f, 0.0f};
    ASSERT_EQ(device->SetMaterial(&material), D3D_OK);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {0.9f, 0.8f, 0.7f, 1.0f};
    light.Ambient = {0.1f, 0.1f, 0.2f, 1.0f};
    // Shining into the screen at 60 degrees from the normal: N.L = 0.5.
    light.Direction = {0.0f, -std::sqrt(3.0f), 1.0f};
    ASSERT_EQ(device->SetLight(0, &light), D3D_OK);
    ASSERT_EQ(device->LightEnable(0, TRUE), D3D_OK);
    device->SetRenderState(D3DRS_LIGHTING, c.lighting ? TRUE : FALSE);
    device->SetRenderState(D3DRS_AMBIENT, 0x00402010);
    device->SetRenderState(D3DRS_COLORVERTEX, c.colorVertex);
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, c.diffuseSource);
    device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, c.emissiveSource);

    const bool hasNormal = (c.fvf & D3DFVF_NORMAL) != 0;
    const Color vertex = fromColor(vertexColor);
    const auto source = [&](D3DMATERIALCOLORSOURCE which, const D3DCOLORVALUE& own) {
        if (c.colorVertex && which == D3DMCS_COLOR1) {
            return vertex;
        }
        return Color{own.r, own.g, own.b, own.a};
    };
    const Color cd = source(c.diffuseSource, material.Diffuse);
    const Color ce = source(c.emissiveSource, material.Emissive);
    const Color ca = source(D3DMCS_MATERIAL, material.Ambient);
    const Color ga = fromColor(0x00402010);
    const float nDotL = hasNormal ? 0.5f : 0.0f;
    Color expected{};
    if (c.lighting) {
        expected.r = ce.r + ca.r * (ga.r + light.Ambient.r) + cd.r * light.Diffuse.r * nDotL;
        expected.g = ce.g + ca.g * (ga.g + light.Ambient.g) + cd.g * light.Diffuse.g * nDotL;
        expected.b = ce.b + ca.b * (ga.b + light.Ambient.b) + cd.b * light.Diffuse.b * nDotL;
        expected.a = cd.a;
    } else {
        expected = vertex;
    }
    // No texture: the stage reads white, so the result is the lit diffuse colour; the alpha
    // comes from the texture argument (white).
    expected.a = 1.0f;

    if (hasNormal) {
        const std::vector<LitVertex> triangle = {{-1, -1, 0.5f, 0, 0, -1, vertexColor},
                                                 {-1, 3, 0.5f, 0, 0, -1, vertexColor},
                                                 {3, -1, 0.5f, 0, 0, -1, vertexColor}};
        draw(D3DPT_TRIANGLELIST, c.fvf, triangle, 1);
    } else {
        struct Plain {
            float x, y, z;
            D3DCOLOR color;
        };
        const std::vector<Plain> triangle = {
            {-1, -1, 0.5f, vertexColor}, {-1, 3, 0.5f, vertexColor}, {3, -1, 0.5f, vertexColor}};
        draw(D3DPT_TRIANGLELIST, c.fvf, triangle, 1);
    }
    EXPECT_TRUE(near(image().at(kSize / 2, kSize / 2), toColor(expected)));
}

INSTANTIATE_TEST_SUITE_P(Gfx, GlLighting, testing::ValuesIn(kLightingCases),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(GlRender, ModulatesTheTextureWithTheDiffuseColour) {
    // 2x2 texels, point-sampled over the whole target: one colour per quadrant.
    const std::vector<D3DCOLOR> texels = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0x80FFFFFF};
    auto texture = makeTexture(2, 2, texels);
    ASSERT_EQ(device->SetTexture(0, texture.get()), D3D_OK);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.5f, 0xFF808080), 2);
    BackBufferImage result = image();
    // Texel (0, 0) is the top-left one; alpha is the texture's (SELECTARG1), shown opaque
    // by the X8R8G8B8 back buffer.
    EXPECT_TRUE(near(result.at(4, 4), 0xFF800000));
    EXPECT_TRUE(near(result.at(27, 4), 0xFF008000));
    EXPECT_TRUE(near(result.at(4, 27), 0xFF000080));
    EXPECT_TRUE(near(result.at(27, 27), 0xFF808080));

    // SELECTARG1 of the texture ignores the vertex colour.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.5f, 0xFF808080), 2);
    EXPECT_TRUE(near(image().at(27, 4), 0xFF00FF00));

    // SELECTARG2 takes the diffuse colour; DISABLE too.
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.5f, 0xFF204060), 2);
    EXPECT_TRUE(near(image().at(4, 4), 0xFF204060));
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.5f, 0xFF604020), 2);
    EXPECT_TRUE(near(image().at(27, 27), 0xFF604020));
}

TEST_F(GlRender, AStageWithoutATextureReadsWhite) {
    ASSERT_EQ(device->SetTexture(0, nullptr), D3D_OK);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.5f, 0xFF336699), 2);
    EXPECT_TRUE(near(image().at(10, 20), 0xFF336699));
}

TEST_F(GlRender, LinearFilteringAndWrapping) {
    const std::vector<D3DCOLOR> texels = {0xFF000000, 0xFFFFFFFF};
    auto texture = makeTexture(2, 1, texels);
    ASSERT_EQ(device->SetTexture(0, texture.get()), D3D_OK);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    // u from 0.25 to 0.75 across the target: linear runs from black to white.
    std::vector<Vertex> vertices = quad(-1, -1, 1, 1, 0.5f, 0xFFFFFFFF);
    for (Vertex& v : vertices) {
        v.u = v.u == 0 ? 0.25f : 0.75f;
    }
    draw(D3DPT_TRIANGLELIST, kVertexFvf, vertices, 2);
    BackBufferImage result = image();
    EXPECT_LT(result.at(0, 16) & 0xFF, 0x10u);
    EXPECT_GT(result.at(31, 16) & 0xFF, 0xF0u);
    EXPECT_TRUE(near(result.at(16, 16), 0xFF808080, 10));

    // Point sampling with WRAP: u 1.25 reads texel 0 again.
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    for (Vertex& v : vertices) {
        v.u = v.u < 0.5f ? 1.0f : 1.5f;
    }
    draw(D3DPT_TRIANGLELIST, kVertexFvf, vertices, 2);
    EXPECT_EQ(image().at(4, 16), 0xFF000000u);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, vertices, 2);
    EXPECT_EQ(image().at(4, 16), 0xFFFFFFFFu);
}

TEST_F(GlRender, MinifiedDrawsReadTheirMipLevel) {
    // A quad over the whole target with texture coordinates 0..2^lod shows the texture
    // minified 2^lod times, so it reads level lod.
    const auto drawAtLevel = [this](UINT lod) {
        std::vector<Vertex> vertices = quad(-1, -1, 1, 1, 0.5f, 0xFFFFFFFF);
        for (Vertex& v : vertices) {
            v.u *= static_cast<float>(1u << lod);
            v.v *= static_cast<float>(1u << lod);
        }
        draw(D3DPT_TRIANGLELIST, kVertexFvf, vertices, 2);
        return image().at(kSize / 2 + 1, kSize / 2 + 1);
    };
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);

    // Every level written by hand keeps its own colour.
    const D3DCOLOR levelColours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00};
    ComRef<IDirect3DTexture9> chain;
    ASSERT_EQ(device->CreateTexture(kSize, kSize, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                    chain.put(), nullptr),
              D3D_OK);
    ASSERT_EQ(chain->GetLevelCount(), 6u);
    for (UINT level = 0; level < chain->GetLevelCount(); ++level) {
        const UINT side = kSize >> level;
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(chain->LockRect(level, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < side; ++y) {
            auto* row = reinterpret_cast<D3DCOLOR*>(static_cast<std::byte*>(locked.pBits) +
                                                    y * locked.Pitch);
            std::fill(row, row + side, levelColours[level % 4]);
        }
        ASSERT_EQ(chain->UnlockRect(level), D3D_OK);
    }
    ASSERT_EQ(device->SetTexture(0, chain.get()), D3D_OK);
    for (UINT lod = 0; lod < 4; ++lod) {
        SCOPED_TRACE(lod);
        EXPECT_TRUE(near(drawAtLevel(lod), levelColours[lod]));
    }

    // Levels the driver generates: one-texel black and white stripes average to grey.
    ComRef<IDirect3DTexture9> generated;
    ASSERT_EQ(device->CreateTexture(kSize, kSize, 1, D3DUSAGE_AUTOGENMIPMAP, D3DFMT_A8R8G8B8,
                                    D3DPOOL_MANAGED, generated.put(), nullptr),
              D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(generated->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (UINT y = 0; y < kSize; ++y) {
        auto* row =
            reinterpret_cast<D3DCOLOR*>(static_cast<std::byte*>(locked.pBits) + y * locked.Pitch);
        for (UINT x = 0; x < kSize; ++x) {
            row[x] = x % 2 == 0 ? 0xFF000000 : 0xFFFFFFFF;
        }
    }
    ASSERT_EQ(generated->UnlockRect(0), D3D_OK);
    ASSERT_EQ(device->SetTexture(0, generated.get()), D3D_OK);
    EXPECT_TRUE(near(drawAtLevel(2), 0xFF808080, 8));
    const D3DCOLOR full = drawAtLevel(0);
    EXPECT_TRUE(full == 0xFF000000 || full == 0xFFFFFFFF);
}

TEST_F(GlRender, AdditiveBlending) {
    clear(0xFF204060);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 0, 1, 0.5f, 0x00102030), 2);
    // Source factor ONE (its default), destination ONE: the colours add up and saturate.
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(0, -1, 1, 1, 0.5f, 0xFFF0F0F0), 2);
    BackBufferImage result = image();
    EXPECT_TRUE(near(result.at(8, 16), 0xFF306090));
    EXPECT_TRUE(near(result.at(24, 16), 0xFFFFFFFF));

    // Transparency: SRCALPHA / INVSRCALPHA with alpha from the diffuse colour.
    clear(0xFF000000);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.5f, 0x80FF0000), 2);
    EXPECT_TRUE(near(image().at(16, 16), 0xFF800000));
}

TEST_F(GlRender, AlphaTestDiscardsFailingPixels) {
    clear(0xFF000000);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHAREF, 0x80);
    device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 0, 1, 0.5f, 0x7FFF0000), 2);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(0, -1, 1, 1, 0.5f, 0x80FF0000), 2);
    BackBufferImage result = image();
    EXPECT_EQ(result.at(8, 16), 0xFF000000u);
    EXPECT_TRUE(near(result.at(24, 16), 0xFFFF0000));
    // A discarded pixel writes no depth either.
    device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.7f, 0xFF00FF00), 2);
    result = image();
    EXPECT_TRUE(near(result.at(8, 16), 0xFF00FF00));
    EXPECT_TRUE(near(result.at(24, 16), 0xFFFF0000));
}

struct CullCase {
    const char* name;
    D3DCULL mode;
    bool clockwiseShown;
    bool counterClockwiseShown;
};

const CullCase kCullCases[] = {
    {"CullCounterClockwise", D3DCULL_CCW, true, false},
    {"CullClockwise", D3DCULL_CW, false, true},
    {"CullNone", D3DCULL_NONE, true, true},
};

class GlCulling : public GlRender, public testing::WithParamInterface<CullCase> {};

TEST_P(GlCulling, KeepsTheWindingThatIsNotCulled) {
    device->SetRenderState(D3DRS_CULLMODE, GetParam().mode);
    // Left half: clockwise as seen on screen (y up in clip space: top, right, bottom).
    const std::vector<Vertex> clockwise = {{-1, 1, 0.5f, 0xFFFF0000, 0, 0},
                                           {0, -1, 0.5f, 0xFFFF0000, 0, 0},
                                           {-1, -1, 0.5f, 0xFFFF0000, 0, 0}};
    // Right half: the same shape wound the other way.
    const std::vector<Vertex> counterClockwise = {{1, 1, 0.5f, 0xFF0000FF, 0, 0},
                                                  {0, -1, 0.5f, 0xFF0000FF, 0, 0},
                                                  {1, -1, 0.5f, 0xFF0000FF, 0, 0}};
    draw(D3DPT_TRIANGLELIST, kVertexFvf, clockwise, 1);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, counterClockwise, 1);
    BackBufferImage result = image();
    EXPECT_EQ(result.at(4, 28), GetParam().clockwiseShown ? 0xFFFF0000u : 0xFF000000u);
    EXPECT_EQ(result.at(28, 28), GetParam().counterClockwiseShown ? 0xFF0000FFu : 0xFF000000u);
}

INSTANTIATE_TEST_SUITE_P(Gfx, GlCulling, testing::ValuesIn(kCullCases),
                         [](const auto& paramInfo) { return std::string(paramInfo.param.name); });

TEST_F(GlRender, WireframeDrawsOnlyEdges) {
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    const std::vector<Vertex> triangle = {{-0.75f, -0.75f, 0.5f, 0xFF00FF00, 0, 0},
                                          {-0.75f, 0.75f, 0.5f, 0xFF00FF00, 0, 0},
                                          {0.75f, -0.75f, 0.5f, 0xFF00FF00, 0, 0}};
    draw(D3DPT_TRIANGLELIST, kVertexFvf, triangle, 1);
    BackBufferImage result = image();
    // Inside stays clear; the left edge (screen x 4) is drawn somewhere along its length.
    EXPECT_EQ(result.at(10, 20), 0xFF000000u);
    int edgePixels = 0;
    for (UINT y = 8; y < 24; ++y) {
        for (UINT x = 3; x <= 5; ++x) {
            edgePixels += result.at(x, y) == 0xFF00FF00u ? 1 : 0;
        }
    }
    EXPECT_GE(edgePixels, 14);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, triangle, 1);
    EXPECT_EQ(image().at(10, 20), 0xFF00FF00u);
}

TEST_F(GlRender, DepthTestAndDepthWrites) {
    // z runs 0 (near) to 1 (far); LESSEQUAL keeps the nearer quad.
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.2f, 0xFFFF0000), 2);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.8f, 0xFF00FF00), 2);
    EXPECT_EQ(image().at(16, 16), 0xFFFF0000u);
    // GREATER lets the farther one through.
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_GREATER);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 0, 1, 0.8f, 0xFF00FF00), 2);
    device->SetRenderState(D3DRS_ZFUNC, D3DCMP_LESSEQUAL);
    EXPECT_EQ(image().at(8, 16), 0xFF00FF00u);
    // Without depth writes a near quad shows but leaves the buffer as it was.
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(0, -1, 1, 1, 0.1f, 0xFF0000FF), 2);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(0, -1, 1, 1, 0.15f, 0xFFFFFFFF), 2);
    EXPECT_EQ(image().at(24, 16), 0xFFFFFFFFu);
    // ZENABLE FALSE: no test at all.
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    draw(D3DPT_TRIANGLELIST, kVertexFvf, quad(-1, -1, 1, 1, 0.9f, 0xFF123456), 2);
    EXPECT_EQ(image().at(16, 16), 0xFF123456u);
}

TEST_F(GlRender, PointSpriteSizeFollowsTheScaleFormula) {
    struct Point {
        float x, y, z;
        D3DCOLOR color;
    };
    const float fov = 1.5707964f;
    const D3DMATRIX projection = perspective(fov, 1.0f, 0.1f, 100.0f);
    ASSERT_EQ(device->SetTransform(D3DTS_PROJECTION, &projection), D3D_OK);
    const std::vector<D3DCOLOR> texels = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
    auto texture = makeTexture(2, 2, texels);
    ASSERT_EQ(device->SetTexture(0, texture.get()), D3D_OK);
    device->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
    device->SetRenderState(D3DRS_POINTSIZE, std::bit_cast<DWORD>(1.0f));
    device->SetRenderState(D3DRS_POINTSIZE_MIN, std::bit_cast<DWORD>(0.0f));
    device->SetRenderState(D3DRS_POINTSCALE_A, std::bit_cast<DWORD>(0.0f));
    device->SetRenderState(D3DRS_POINTSCALE_B, std::bit_cast<DWORD>(0.0f));
    device->SetRenderState(D3DRS_POINTSCALE_C, std::bit_cast<DWORD>(1.0f));

    // Size = viewport height x 1 x sqrt(1 / (C x distance^2)): 32 / 4 = 8 and 32 / 8 = 4.
    struct DistanceCase {
        float distance;
        int size;
    };
    for (const DistanceCase c : {DistanceCase{4.0f, 8}, DistanceCase{8.0f, 4}}) {
        SCOPED_TRACE(c.distance);
        clear(0xFF000000);
        draw(D3DPT_POINTLIST, D3DFVF_XYZ | D3DFVF_DIFFUSE,
             std::vector<Point>{{0, 0, c.distance, 0xFFFFFFFF}}, 1);
        const BackBufferImage result = image();
        int width = 0;
        int height = 0;
        for (UINT i = 0; i < kSize; ++i) {
            width += result.at(i, kSize / 2 - 1) != 0xFF000000u ? 1 : 0;
            height += result.at(kSize / 2 - 1, i) != 0xFF000000u ? 1 : 0;
        }
        EXPECT_EQ(width, c.size);
        EXPECT_EQ(height, c.size);
        // The sprite shows the whole texture, texel (0, 0) at its top-left corner.
        const UINT half = static_cast<UINT>(c.size / 2);
        EXPECT_TRUE(near(result.at(kSize / 2 - half, kSize / 2 - half), 0xFFFF0000));
        EXPECT_TRUE(near(result.at(kSize / 2 + half - 1, kSize / 2 + half - 1), 0xFFFFFFFF));
    }

    // The maximum clamps the size.
    clear(0xFF000000);
    device->SetRenderState(D3DRS_POINTSIZE_MAX, std::bit_cast<DWORD>(2.0f));
    draw(D3DPT_POINTLIST, D3DFVF_XYZ | D3DFVF_DIFFUSE, std::vector<Point>{{0, 0, 4.0f, 0xFFFFFFFF}},
         1);
    const BackBufferImage clamped = image();
    int lit = 0;
    for (D3DCOLOR pixel : clamped.pixels) {
        lit += pixel != 0xFF000000u ? 1 : 0;
    }
    EXPECT_EQ(lit, 4);
}

TEST_F(GlRender, IndexedDrawsAndDeclarations) {
    // A vertex buffer with a declaration whose colour comes first, 32-bit indices, base vertex.
    struct ColorFirst {
        D3DCOLOR color;
        float x, y, z;
    };
    const D3DVERTEXELEMENT9 elements[] = {
        {0, 4, D3DDECLTYPE_FLOAT3, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
        {0, 0, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
        D3DDECL_END(),
    };
    ComRef<IDirect3DVertexDeclaration9> declaration;
    ASSERT_EQ(device->CreateVertexDeclaration(elements, declaration.put()), D3D_OK);
    const ColorFirst vertices[] = {{0, 0, 0, 0},
                                   {0xFF00FFFF, -1, -1, 0.5f},
                                   {0xFF00FFFF, -1, 1, 0.5f},
                                   {0xFF00FFFF, 1, 1, 0.5f},
                                   {0xFF00FFFF, 1, -1, 0.5f}};
    ComRef<IDirect3DVertexBuffer9> buffer;
    ASSERT_EQ(device->CreateVertexBuffer(sizeof(vertices), D3DUSAGE_WRITEONLY, 0, D3DPOOL_DEFAULT,
                                         buffer.put(), nullptr),
              D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, vertices, sizeof(vertices));
    ASSERT_EQ(buffer->Unlock(), D3D_OK);
    const std::uint32_t indices[] = {0, 1, 2, 0, 2, 3};
    ComRef<IDirect3DIndexBuffer9> indexBuffer;
    ASSERT_EQ(device->CreateIndexBuffer(sizeof(indices), 0, D3DFMT_INDEX32, D3DPOOL_MANAGED,
                                        indexBuffer.put(), nullptr),
              D3D_OK);
    ASSERT_EQ(indexBuffer->Lock(0, 0, &data, 0), D3D_OK);
    std::memcpy(data, indices, sizeof(indices));
    ASSERT_EQ(indexBuffer->Unlock(), D3D_OK);

    ASSERT_EQ(device->SetVertexDeclaration(declaration.get()), D3D_OK);
    ASSERT_EQ(device->SetStreamSource(0, buffer.get(), 0, sizeof(ColorFirst)), D3D_OK);
    ASSERT_EQ(device->SetIndices(indexBuffer.get()), D3D_OK);
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    BackBufferImage result = image();
    EXPECT_EQ(result.at(2, 2), 0xFF00FFFFu);
    EXPECT_EQ(result.at(29, 29), 0xFF00FFFFu);

    // A rewrite of the buffer shows in the next draw (DISCARD on a dynamic buffer too).
    ComRef<IDirect3DVertexBuffer9> dynamic;
    ASSERT_EQ(device->CreateVertexBuffer(sizeof(vertices), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, 0,
                                         D3DPOOL_DEFAULT, dynamic.put(), nullptr),
              D3D_OK);
    for (const D3DCOLOR color : {0xFFFF0000u, 0xFF0000FFu}) {
        ASSERT_EQ(dynamic->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
        std::memcpy(data, vertices, sizeof(vertices));
        for (UINT i = 1; i < 5; ++i) {
            static_cast<ColorFirst*>(data)[i].color = color;
        }
        ASSERT_EQ(dynamic->Unlock(), D3D_OK);
        ASSERT_EQ(device->SetStreamSource(0, dynamic.get(), 0, sizeof(ColorFirst)), D3D_OK);
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 1, 0, 4, 0, 2), D3D_OK);
        ASSERT_EQ(device->EndScene(), D3D_OK);
        EXPECT_EQ(image().at(16, 16), color);
    }
}

// The fewest samples the driver offers for the back buffer and its depth buffer.
D3DMULTISAMPLE_TYPE fewestOfferedSamples(D3DFORMAT backBufferFormat) {
    ComRef<IDirect3D9> d3d(createDirect3D({RendererKind::kHeadless, std::nullopt, false}));
    for (int samples = 2; samples <= 16; ++samples) {
        const auto type = static_cast<D3DMULTISAMPLE_TYPE>(samples);
        if (SUCCEEDED(d3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                      backBufferFormat, TRUE, type, nullptr)) &&
            SUCCEEDED(d3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL,
                                                      D3DFMT_D16, TRUE, type, nullptr))) {
            return type;
        }
    }
    return D3DMULTISAMPLE_NONE;
}

TEST_F(GlRender, MultisampledBackBufferResolvesOnReadBack) {
    DeviceSetup setup;
    setup.width = kSize;
    setup.height = kSize;
    setup.multiSample = fewestOfferedSamples(D3DFMT_A8R8G8B8);
    setup.backBufferFormat = D3DFMT_A8R8G8B8;
    if (setup.multiSample == D3DMULTISAMPLE_NONE) {
        GTEST_SKIP() << "the driver offers no multisampling";
    }
    ComRef<IDirect3DDevice9> multisampled;
    ASSERT_EQ(createHeadlessDevice(setup, multisampled.put()), D3D_OK);
    ASSERT_EQ(multisampled->Clear(0, nullptr, D3DCLEAR_TARGET, 0x80102030, 1.0f, 0), D3D_OK);
    ASSERT_EQ(multisampled->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    BackBufferImage result;
    ASSERT_EQ(readBackBuffer(multisampled.get(), &result), D3D_OK);
    // An A8R8G8B8 back buffer keeps its alpha.
    EXPECT_EQ(result.at(5, 5), 0x80102030u);
    // GetRenderTargetData gives the same pixels through the published interface.
    ComRef<IDirect3DSurface9> backBuffer;
    ASSERT_EQ(multisampled->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE{}, backBuffer.put()), D3D_OK);
    ComRef<IDirect3DSurface9> copy;
    ASSERT_EQ(multisampled->CreateOffscreenPlainSurface(kSize, kSize, D3DFMT_A8R8G8B8,
                                                        D3DPOOL_SYSTEMMEM, copy.put(), nullptr),
              D3D_OK);
    ASSERT_EQ(multisampled->GetRenderTargetData(backBuffer.get(), copy.get()), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<const std::uint32_t*>(locked.pBits)[0], 0x80102030u);
    ASSERT_EQ(copy->UnlockRect(), D3D_OK);
}

TEST_F(GlRender, DescribesItsDriver) {
    RendererInfo info;
    ASSERT_EQ(getRendererInfo(device.get(), &info), D3D_OK);
    EXPECT_EQ(info.kind, "opengl-headless");
    EXPECT_FALSE(info.glRenderer.empty());
    EXPECT_FALSE(info.glVersion.empty());
    // The adapter of a GL renderer names the GL driver; headless, its mode is the fixed one.
    ComRef<IDirect3D9> d3d(createDirect3D({RendererKind::kHeadless, std::nullopt, false}));
    D3DADAPTER_IDENTIFIER9 identifier{};
    ASSERT_EQ(d3d->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier), D3D_OK);
    EXPECT_EQ(std::string(identifier.Description), info.glRenderer);
    D3DDISPLAYMODE mode{};
    ASSERT_EQ(d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, defaultAdapterProfile().displayMode.Width);
}

// Mesa's software rasteriser has no two-sample mode and would draw four samples when asked for
// two: the adapter must not offer two, so the show runs without multisampling there.
TEST_F(GlRender, OffersOnlySampleCountsTheDriverHas) {
    RendererInfo info;
    ASSERT_EQ(getRendererInfo(device.get(), &info), D3D_OK);
    if (info.glRenderer.find("llvmpipe") == std::string::npos) {
        GTEST_SKIP() << "the sample counts of " << info.glRenderer << " are not known here";
    }
    ComRef<IDirect3D9> d3d(createDirect3D({RendererKind::kHeadless, std::nullopt, false}));
    for (const D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_D16}) {
        SCOPED_TRACE(format);
        EXPECT_EQ(d3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, format, TRUE,
                                                  D3DMULTISAMPLE_2_SAMPLES, nullptr),
                  D3DERR_NOTAVAILABLE);
        EXPECT_EQ(d3d->CheckDeviceMultiSampleType(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, format, TRUE,
                                                  D3DMULTISAMPLE_4_SAMPLES, nullptr),
                  D3D_OK);
    }
    DeviceSetup setup;
    setup.multiSample = D3DMULTISAMPLE_2_SAMPLES;
    ComRef<IDirect3DDevice9> refused;
    EXPECT_EQ(createHeadlessDevice(setup, refused.put()), D3DERR_INVALIDCALL);
}

} // namespace
} // namespace halv::gfx
