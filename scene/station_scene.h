// The show: the station in front of the stars fires its beam at the planet, which bursts into
// glowing debris, every 45 seconds from the next of three camera shots. StationScene owns the
// device and everything drawn with it.
//
//   StationScene scene;
//   if (SUCCEEDED(scene.initialise(window, 1024, 768, true))) {
//       while (running) { scene.runFrame(); }
//   }
#pragma once

#include "base/com.h"
#include "font/font.h"
#include "gfx/device.h"
#include "math/vector_math.h"
#include "model/model_object.h"
#include "scene/debris.h"
#include "xfile/mesh.h"

#include <array>
#include <memory>
#include <span>

namespace halv::scene {

// The texture table: slot, and the PNG resource loaded into it.
inline constexpr int kTextureSlotCount = 59;
inline constexpr int kSkySlot = 0;        // 152, stars
inline constexpr int kBeamSlot = 1;       // 153, beam profile
inline constexpr int kGlowSlot = 2;       // 154, debris batches 1 and 4
inline constexpr int kFaintGlowsSlot = 3; // 155, debris batch 2
inline constexpr int kGlowsSlot = 4;      // 156, debris batch 3
inline constexpr int kFirstExplosionSlot = 5;
inline constexpr int kLastExplosionSlot = 54;
inline constexpr int kSurfaceSlot = 55; // 149, continents
inline constexpr int kCloudSlot = 56;   // 157
inline constexpr int kBurningSlot = 57; // 211, burning
inline constexpr int kVioletSlot = 58;  // 210, violet

// The resource number of each slot, in loading order.
std::array<int, kTextureSlotCount> textureResourceNumbers();

// The six booleans the timeline drives; all false at start.
struct ShowFlags {
    bool particlesActive = false;
    bool particleReset = false;
    bool planetVisible = false;
    bool coneVisible = false;
    bool beamVisible = false;
    bool explosionVisible = false;
};

// The planet's surface, one per shot.
enum class PlanetLook {
    // Continents under a separate, slower turning cloud layer.
    kContinents = 1,
    kBurning = 2,
    // Violet, its texture repeated fourfold, turning the other way.
    kViolet = 3,
};

// What the show remembers from frame to frame, besides the process-wide clocks.
struct ShowState {
    ShowFlags flags;
    // 0..2, one per cycle in turn.
    int shotIndex = 0;
    // Set from the shot.
    PlanetLook planetLook = PlanetLook::kContinents;
    // The explosion image index, 4 while no explosion shows; images are slots 5..54.
    int explosionFrame = 4;
    float fireTime = 15.0f;
    float cycleLength = 45.0f;
    // The frame timer's absolute time in seconds, read once per frame.
    float absoluteTime = 0.0f;
};

// The vertex buffers, for inspection.
enum class SceneBuffer { kSky, kPlanet, kPlanetRepeat4, kClouds, kBeam, kExplosion, kDebris };

class StationScene {
public:
    // No device yet; the model object exists but is empty. Cannot fail short of memory.
    StationScene();
    // Releases the font, the textures, the vertex buffers, the model, the cone, the device and
    // the Direct3D object, in that order.
    virtual ~StationScene();
    StationScene(const StationScene&) = delete;
    StationScene& operator=(const StationScene&) = delete;

    // Creates the device (full screen at width x height, or windowed in `window`), the fixed
    // states, the model and generated geometry, the textures, the projection and the font, and
    // starts the frame timer. Content that fails to load is reported by message box and left
    // out. 0 on success; E_FAIL when no device can be had, with nothing else created. Once per
    // process: the show's clocks are process-wide.
    HRESULT initialise(HWND window, int width, int height, bool fullScreen);

    // Advances the show, draws one frame (at most 120 a second: it sleeps for the rest) and
    // returns the result of Present. Call only after initialise succeeded.
    HRESULT runFrame();

    // The frame's steps, in the order runFrame takes them. Public so that tests and tools can
    // run them one at a time; each pass leaves the device in the base state it found.
    void updateTimeline();
    void updateCamera();
    void updateDebris();
    void setLightsAndMaterial();
    void drawSky();
    void drawStation();
    void drawPlanet();
    void drawPlanetAlt();
    void drawClouds();
    void drawFiringCone();
    void drawBeam();
    void drawDebris();
    void stepExplosion();
    void drawExplosionFrame(int slot);

    // Inspection.
    ShowState& show() { return mShow; }
    const ShowState& show() const { return mShow; }
    IDirect3D9* direct3d() const { return mDirect3D.get(); }
    IDirect3DDevice9* device() const { return mDevice.get(); }
    bool multiSampleAllowed() const { return mMultiSampleAllowed; }
    IDirect3DTexture9* texture(int slot) const;
    IDirect3DVertexBuffer9* vertexBuffer(SceneBuffer which) const;
    int skyVertexCount() const { return mSkyVertexCount; }
    int planetVertexCount() const { return mPlanetVertexCount; }
    int cloudVertexCount() const { return mCloudVertexCount; }
    ID3DXMesh* firingCone() const { return mFiringCone.get(); }
    // Created with the projection and kept until teardown; nothing draws text with it.
    ID3DXFont* font() const { return mFont.get(); }
    const model::ModelObject* model() const { return mModel.get(); }
    std::span<const DebrisParticle> debris() const { return mDebris; }
    const D3DXMATRIX& viewMatrix() const { return mView; }
    const D3DXMATRIX& projectionMatrix() const { return mProjection; }
    float aspectRatio() const { return mAspect; }

private:
    HRESULT createDevice(HWND window, int width, int height, bool fullScreen);
    void setFixedStates();
    void loadSceneContent();
    HRESULT loadTextures();
    void setupCamera();
    // Runs every pass once on a preparing device (no pixels, no state left behind).
    void prepareShow();

    HRESULT buildCylinderStrip(float x, float y, float z, float radius, int slices, int segments,
                               float repeat);
    HRESULT buildSphereStrip(base::ComRef<IDirect3DVertexBuffer9>* buffer, int* vertexCount,
                             float x, float y, float z, float radius, int slices, int stacks,
                             float repeat);
    HRESULT buildBeamQuads();
    HRESULT buildExplosionQuad();
    HRESULT buildFiringCone();
    HRESULT initDebris();

    // World = yaw, pitch, roll, then the translation; loaded into D3DTS_WORLD.
    void setWorldPlacement(float yaw, float pitch, float roll, float x, float y, float z);
    // Back to the scene's identity member.
    void resetWorld();
    void drawPlanetSphere(IDirect3DVertexBuffer9* buffer, float yaw);
    // The beam and the explosion: additive, unculled quads lit by their vertex colour, that
    // leave the z-buffer as it is; with the alpha test on, only the beam's lit texels draw.
    void setGlowQuadStates(bool alphaTest);
    void restoreAfterGlowQuads();

    // Inline, so the particles need no allocation of their own.
    DebrisParticle mDebris[kDebrisCount];

    D3DXMATRIX mWorld;
    D3DXMATRIX mView;
    D3DXMATRIX mProjection;

    D3DXVECTOR3 mEye{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 mTarget{0.0f, 0.0f, 1.0f};
    float mFieldOfView = D3DX_PI / 4.0f;
    float mAspect = 1.0f;
    float mNearPlane = 0.1f;
    float mFarPlane = 1000.0f;
    float mWidth = 0.0f;
    float mHeight = 0.0f;

    base::ComRef<IDirect3D9> mDirect3D;
    base::ComRef<IDirect3DDevice9> mDevice;

    base::ComRef<IDirect3DVertexBuffer9> mSky;
    base::ComRef<IDirect3DVertexBuffer9> mPlanet;
    base::ComRef<IDirect3DVertexBuffer9> mPlanetRepeat4;
    base::ComRef<IDirect3DVertexBuffer9> mClouds;
    base::ComRef<IDirect3DVertexBuffer9> mBeam;
    base::ComRef<IDirect3DVertexBuffer9> mExplosion;
    base::ComRef<IDirect3DVertexBuffer9> mDebrisPoints;
    int mSkyVertexCount = 0;
    // Shared by both planet spheres, which are the same size.
    int mPlanetVertexCount = 0;
    int mCloudVertexCount = 0;

    std::array<base::ComRef<IDirect3DTexture9>, kTextureSlotCount> mTextures;
    std::unique_ptr<model::ModelObject> mModel;
    base::ComRef<ID3DXMesh> mFiringCone;
    base::ComRef<ID3DXFont> mFont;

    ShowState mShow;
    bool mMultiSampleAllowed = false;
};

} // namespace halv::scene
