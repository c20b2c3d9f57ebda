#include "scene/station_scene.h"

#include "base/message_box.h"
#include "base/resources.h"
#include "gfx/inspection.h"
#include "model/texture_resource.h"
#include "scene/device_setup.h"
#include "scene/frame_timer.h"

#include <new>

namespace halv::scene {
namespace {

constexpr D3DCOLOR kClearColour = 0xFF000064;
constexpr D3DCOLOR kBaseAmbient = 0x00101010;

} // namespace

std::array<int, kTextureSlotCount> textureResourceNumbers() {
    std::array<int, kTextureSlotCount> numbers{};
    numbers[kSkySlot] = 152;
    for (int i = 0; i < 4; ++i) {
        numbers[kBeamSlot + i] = 153 + i;
    }
    for (int slot = kFirstExplosionSlot; slot <= kLastExplosionSlot; ++slot) {
        numbers[slot] = 160 + (slot - kFirstExplosionSlot);
    }
    numbers[kSurfaceSlot] = 149;
    numbers[kCloudSlot] = 157;
    numbers[kBurningSlot] = 211;
    numbers[kVioletSlot] = 210;
    return numbers;
}

StationScene::StationScene()
    : mModel(new (std::nothrow) model::ModelObject) {
    D3DXMatrixIdentity(&mWorld);
    D3DXMatrixIdentity(&mView);
    D3DXMatrixIdentity(&mProjection);
    for (DebrisParticle& particle : mDebris) {
        particle = {kDebrisLaunchPoint, D3DXVECTOR3(0.0f, 0.0f, 0.0f), 0xFFFFFFFF};
    }
}

StationScene::~StationScene() {
    mFont.reset();
    for (base::ComRef<IDirect3DTexture9>& texture : mTextures) {
        texture.reset();
    }
    mSky.reset();
    mPlanet.reset();
    mPlanetRepeat4.reset();
    mClouds.reset();
    mBeam.reset();
    mExplosion.reset();
    mDebrisPoints.reset();
    mModel.reset();
    mFiringCone.reset();
    mDevice.reset();
    mDirect3D.reset();
}

HRESULT StationScene::initialise(HWND window, int width, int height, bool fullScreen) {
    mWidth = static_cast<float>(width);
    mHeight = static_cast<float>(height);
    mAspect = mWidth / mHeight;
    if (FAILED(createDevice(window, width, height, fullScreen))) {
        return E_FAIL;
    }
    setFixedStates();
    loadSceneContent();
    loadTextures();
    // The model and every texture have been read from the executable.
    base::releaseEmbeddedResourcePages();
    setupCamera();
    prepareShow();
    shell::FrameTimer(shell::FrameTimerCommand::Start);
    return S_OK;
}

HRESULT StationScene::createDevice(HWND window, int width, int height, bool fullScreen) {
    mDirect3D.reset(Direct3DCreate9(D3D_SDK_VERSION));
    if (!mDirect3D) {
        return E_FAIL;
    }
    return createSceneDevice(mDirect3D.get(), window, width, height, fullScreen, mDevice.put(),
                             &mMultiSampleAllowed);
}

void StationScene::setFixedStates() {
    IDirect3DDevice9* device = mDevice.get();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_DITHERENABLE, TRUE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
}

void StationScene::loadSceneContent() {
    // The cone belongs to the station, so it is built only when the station is there.
    if (mModel && SUCCEEDED(mModel->load(mDevice.get(), u"VORNK", u"", 0, false))) {
        buildFiringCone();
    }
    buildCylinderStrip(0.0f, -3.0f, 0.0f, 0.75f, 20, 3, 12.0f);
    buildSphereStrip(&mPlanet, &mPlanetVertexCount, 0.0f, 0.0f, 0.0f, 1.0f, 40, 40, 1.0f);
    buildSphereStrip(&mPlanetRepeat4, &mPlanetVertexCount, 0.0f, 0.0f, 0.0f, 1.0f, 40, 40, 4.0f);
    buildSphereStrip(&mClouds, &mCloudVertexCount, 0.0f, 0.0f, 0.0f, 1.01f, 40, 40, 1.0f);
    buildBeamQuads();
    buildExplosionQuad();
    initDebris();
}

HRESULT StationScene::loadTextures() {
    const std::array<int, kTextureSlotCount> numbers = textureResourceNumbers();
    for (int slot = 0; slot < kTextureSlotCount; ++slot) {
        const HRESULT hr = model::loadTextureResource(
            mDevice.get(), u"PNG", MAKEINTRESOURCEW(static_cast<WORD>(numbers[slot])),
            mTextures[slot].put());
        if (FAILED(hr)) {
            // The rest stay empty; their passes draw untextured.
            MessageBoxW(nullptr, u"Could not find texture", u"Information", MB_OK);
            return E_FAIL;
        }
    }
    return S_OK;
}

void StationScene::prepareShow() {
    IDirect3DDevice9* device = mDevice.get();
    if (FAILED(gfx::beginPreparing(device))) {
        return;
    }
    // Every pass, every planet look and every explosion image once: the first beam, burst
    // and explosion frames then cost what later ones do. The device puts every state back.
    const ShowState show = mShow;
    if (SUCCEEDED(device->BeginScene())) {
        setLightsAndMaterial();
        drawSky();
        drawStation();
        for (const PlanetLook look :
             {PlanetLook::kContinents, PlanetLook::kBurning, PlanetLook::kViolet}) {
            mShow.planetLook = look;
            drawPlanet();
        }
        drawPlanetAlt();
        drawClouds();
        drawFiringCone();
        drawBeam();
        drawDebris();
        for (int slot = kFirstExplosionSlot; slot <= kLastExplosionSlot; ++slot) {
            drawExplosionFrame(slot);
        }
        device->EndScene();
    }
    mShow = show;
    gfx::endPreparing(device);
}

HRESULT StationScene::runFrame() {
    updateTimeline();
    updateCamera();
    updateDebris();
    IDirect3DDevice9* device = mDevice.get();
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClearColour, 1.0f, 0);
    if (SUCCEEDED(device->BeginScene())) {
        setLightsAndMaterial();
        drawSky();
        drawStation();
        if (mShow.flags.planetVisible) {
            if (mShow.planetLook == PlanetLook::kContinents) {
                drawPlanet();
                drawClouds();
            } else if (mShow.planetLook == PlanetLook::kViolet) {
                drawPlanetAlt();
            } else {
                drawPlanet();
            }
        }
        if (mShow.flags.coneVisible) {
            drawFiringCone();
        }
        if (mShow.flags.beamVisible) {
            drawBeam();
        }
        if (mShow.flags.particlesActive) {
            drawDebris();
        }
        if (mShow.flags.explosionVisible) {
            stepExplosion();
        } else {
            mShow.explosionFrame = 4;
        }
        device->EndScene();
    }
    return device->Present(nullptr, nullptr, nullptr, nullptr);
}

void StationScene::setLightsAndMaterial() {
    IDirect3DDevice9* device = mDevice.get();
    D3DMATERIAL9 material{};
    material.Diffuse = {0.7f, 0.7f, 1.0f, 1.0f};
    material.Ambient = material.Diffuse;
    device->SetMaterial(&material);

    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    const D3DXVECTOR3 direction(-1.0f, -1.0f, 0.7f);
    D3DXVECTOR3 unit;
    D3DXVec3Normalize(&unit, &direction);
    light.Direction = unit;
    light.Range = 1000.0f;
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);

    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetRenderState(D3DRS_AMBIENT, kBaseAmbient);
}

IDirect3DTexture9* StationScene::texture(int slot) const {
    return slot >= 0 && slot < kTextureSlotCount ? mTextures[static_cast<std::size_t>(slot)].get()
                                                 : nullptr;
}

IDirect3DVertexBuffer9* StationScene::vertexBuffer(SceneBuffer which) const {
    switch (which) {
    case SceneBuffer::kSky:
        return mSky.get();
    case SceneBuffer::kPlanet:
        return mPlanet.get();
    case SceneBuffer::kPlanetRepeat4:
        return mPlanetRepeat4.get();
    case SceneBuffer::kClouds:
        return mClouds.get();
    case SceneBuffer::kBeam:
        return mBeam.get();
    case SceneBuffer::kExplosion:
        return mExplosion.get();
    case SceneBuffer::kDebris:
        return mDebrisPoints.get();
    }
    return nullptr;
}

} // namespace halv::scene
