// What tests and tools can see inside a device of this layer: the call log, draw counters, a
// snapshot of every state (for "each pass restores the base state" checks), the back buffer's
// pixels and the renderer's description. Every function takes any IDirect3DDevice9 and
// answers D3DERR_INVALIDCALL (or an empty result) for one that is not ours.
//
//   halv::gfx::setCallLogging(device, true);
//   drawSky();
//   for (const CallRecord& call : halv::gfx::callLog(device)) { ... call.text() ... }
//
//   DeviceStateSnapshot before, after;
//   captureState(device, &before);  drawBeam();  captureState(device, &after);
//   EXPECT_THAT(stateDifferences(before, after), testing::IsEmpty());
#pragma once

#include "gfx/device.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace halv::gfx {

// Resources are numbered per device in creation order from 1; 0 is "none".
using ObjectId = std::uint64_t;

// The number of a resource of ours, 0 for null or a foreign object.
ObjectId objectIdOf(IUnknown* object) noexcept;

// "Texture#3", "VertexBuffer#7", "NULL": the name the call log uses for an object.
std::string objectName(IUnknown* object);

// One device call. `arguments` is the text between the parentheses: enumerations by name
// where they have one ("D3DRS_CULLMODE, D3DCULL_NONE"), float states as floats ("0.1"),
// objects by objectName, matrices as their 16 floats in brackets. `values` holds the raw
// arguments in order (floats as their bit patterns, objects as ObjectIds, pointers to
// structures as 0/1 for null/non-null).
struct CallRecord {
    std::string method;
    std::string arguments;
    std::vector<std::uint64_t> values;

    // "SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE)".
    std::string text() const { return method + "(" + arguments + ")"; }
};

// Starts or stops recording IDirect3DDevice9 calls (every method, getters included). Turning
// it on keeps what is already recorded.
HRESULT setCallLogging(IDirect3DDevice9* device, bool enabled) noexcept;
std::vector<CallRecord> callLog(IDirect3DDevice9* device);
HRESULT clearCallLog(IDirect3DDevice9* device) noexcept;

// Counters since creation (or the last resetDrawStats). Only successful calls count.
struct DrawStats {
    std::uint64_t drawCalls = 0;
    std::uint64_t indexedDrawCalls = 0;
    std::uint64_t primitives = 0;
    std::uint64_t vertices = 0;
    // Indexed by D3DPRIMITIVETYPE (1..6).
    std::array<std::uint64_t, 7> primitivesByType{};
    std::uint64_t clears = 0;
    std::uint64_t scenes = 0;
    std::uint64_t presents = 0;
};
HRESULT getDrawStats(IDirect3DDevice9* device, DrawStats* stats) noexcept;
HRESULT resetDrawStats(IDirect3DDevice9* device) noexcept;

// While skipped, Clear, draws and Present are checked, logged and counted as usual, but the
// renderer carries none of them out: a recorder runs a show quickly up to the frames it wants
// drawn, with every resource and state evolving as when drawn. Off for a new device.
HRESULT setRenderingSkipped(IDirect3DDevice9* device, bool skipped) noexcept;

// Between these, draws are checked and handed to the renderer to get ready for them (their
// resources uploaded, their shader programs built, whatever the driver derives from their
// state), but they draw nothing and count nowhere; Clear and Present do nothing. The end
// restores every state and binding to what it was at the beginning. A program runs its passes
// once so at start-up, so that no first frame of a pass pays for that work.
HRESULT beginPreparing(IDirect3DDevice9* device) noexcept;
HRESULT endPreparing(IDirect3DDevice9* device) noexcept;

struct LightSnapshot {
    D3DLIGHT9 light;
    bool enabled;
};

struct StreamSnapshot {
    ObjectId buffer = 0;
    UINT offset = 0;
    UINT stride = 0;
    UINT frequency = 1;
};

// Every piece of device state, by value; bound objects by number.
struct DeviceStateSnapshot {
    static constexpr DWORD kRenderStateCount = 210;
    static constexpr DWORD kSamplerCount = 21; // 0..15, then D3DDMAPSAMPLER and vertex 0..3
    static constexpr DWORD kSamplerStateCount = 14;
    static constexpr DWORD kStageCount = 8;
    static constexpr DWORD kStageStateCount = 33;
    static constexpr DWORD kWorldMatrixCount = 256;

    // Indexed by D3DRENDERSTATETYPE; numbers that are not render states stay 0.
    std::array<DWORD, kRenderStateCount> renderStates{};
    std::array<std::array<DWORD, kSamplerStateCount>, kSamplerCount> samplerStates{};
    std::array<std::array<DWORD, kStageStateCount>, kStageCount> stageStates{};
    std::array<D3DMATRIX, kWorldMatrixCount> world{};
    D3DMATRIX view{};
    D3DMATRIX projection{};
    std::array<D3DMATRIX, 8> textureTransforms{};
    D3DMATERIAL9 material{};
    D3DVIEWPORT9 viewport{};
    RECT scissorRect{};
    std::map<DWORD, LightSnapshot> lights;
    std::array<ObjectId, kSamplerCount> textures{};
    std::array<StreamSnapshot, 16> streams{};
    ObjectId indices = 0;
    DWORD fvf = 0;
    // The declaration set with SetVertexDeclaration (0 after SetFVF).
    ObjectId declaration = 0;
    UINT currentTexturePalette = 0;
    BOOL softwareVertexProcessing = FALSE;
    float nPatchMode = 0;
};

HRESULT captureState(IDirect3DDevice9* device, DeviceStateSnapshot* snapshot) noexcept;

// One line per difference, "D3DRS_CULLMODE: D3DCULL_CCW -> D3DCULL_NONE",
// "D3DTS_WORLD: [...] -> [...]", "SetTexture(0): Texture#4 -> NULL"; empty when equal.
std::vector<std::string> stateDifferences(const DeviceStateSnapshot& before,
                                          const DeviceStateSnapshot& after);

// The back buffer after the last draw, as A8R8G8B8 pixels (0xAARRGGBB), top row first.
// A multisampled buffer is resolved first. D3DERR_NOTAVAILABLE on the null renderer.
struct BackBufferImage {
    UINT width = 0;
    UINT height = 0;
    std::vector<D3DCOLOR> pixels;

    D3DCOLOR at(UINT x, UINT y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};
HRESULT readBackBuffer(IDirect3DDevice9* device, BackBufferImage* image);

struct RendererInfo {
    // "null", "opengl-window" or "opengl-headless".
    std::string kind;
    // GL_VENDOR, GL_RENDERER, GL_VERSION, GL_SHADING_LANGUAGE_VERSION (empty for null).
    std::string glVendor;
    std::string glRenderer;
    std::string glVersion;
    std::string glslVersion;
    // Fixed-function programs this renderer compiled from source, and those it linked from the
    // binaries a previous run kept on disk.
    int programsCompiled = 0;
    int programsFromCache = 0;
};
HRESULT getRendererInfo(IDirect3DDevice9* device, RendererInfo* info);

} // namespace halv::gfx
