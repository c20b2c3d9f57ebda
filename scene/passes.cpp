// The render passes. Each sets what it needs and restores what it changed, so every pass
// starts from the base state: lighting on, culling counter-clockwise, z-buffering and z-writes
// on, no blending, no alpha test, no vertex colour, emissive from the material, solid fill,
// identity world.
#include "scene/detail/show_clocks.h"
#include "scene/geometry.h"
#include "scene/station_scene.h"

namespace halv::scene {
namespace {

constexpr D3DCOLOR kBaseAmbient = 0x00101010;
constexpr D3DCOLOR kConeAmbient = 0x0000FF00;

// The planet's centre; both spheres and the clouds sit there.
constexpr float kPlanetX = -2.0f;
constexpr float kPlanetY = -1.0f;
constexpr float kPlanetZ = 10.0f;
// Turning rates in radians per second of the frame timer.
constexpr float kPlanetTurn = 0.05f;
constexpr float kCloudTurn = 0.05882353f;

const D3DXVECTOR3 kStationPosition(9.5f, 3.5f, 38.8f);
const D3DXVECTOR3 kStationRotation(0.5f, 0.0f, 0.0f);

} // namespace

void StationScene::setWorldPlacement(float yaw, float pitch, float roll, float x, float y,
                                     float z) {
    D3DXMATRIX turn;
    D3DXMATRIX move;
    D3DXMatrixRotationYawPitchRoll(&turn, yaw, pitch, roll);
    D3DXMatrixTranslation(&move, x, y, z);
    D3DXMATRIX world;
    D3DXMatrixMultiply(&world, &turn, &move);
    mDevice->SetTransform(D3DTS_WORLD, &world);
}

void StationScene::resetWorld() {
    D3DXMatrixIdentity(&mWorld);
    mDevice->SetTransform(D3DTS_WORLD, &mWorld);
}

void StationScene::drawSky() {
    IDirect3DDevice9* device = mDevice.get();
    // Without the view's translation the stars stay at infinity whatever the shot's eye.
    D3DXMATRIX view;
    device->GetTransform(D3DTS_VIEW, &view);
    view._41 = 0.0f;
    view._42 = 0.0f;
    view._43 = 0.0f;
    device->SetTransform(D3DTS_VIEW, &view);

    device->SetTransform(D3DTS_WORLD, &mWorld);
    device->SetTexture(0, mTextures[kSkySlot].get());
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_DISABLE);
    device->SetStreamSource(0, mSky.get(), 0, sizeof(SurfaceVertex));
    device->SetFVF(kSurfaceFvf);
    // The white vertex colour as emissive light shows the stars at full brightness.
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_COLORVERTEX, TRUE);
    device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR1);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, static_cast<UINT>(mSkyVertexCount - 2));

    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_ZENABLE, TRUE);
    device->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetTransform(D3DTS_VIEW, &mView);
}

void StationScene::drawStation() {
    if (!mModel) {
        return;
    }
    mModel->setPlacement(kStationPosition, kStationRotation);
    mDevice->SetTransform(D3DTS_WORLD, &mModel->world());
    mModel->draw(mDevice.get());
    resetWorld();
}

void StationScene::drawPlanetSphere(IDirect3DVertexBuffer9* buffer, float yaw) {
    IDirect3DDevice9* device = mDevice.get();
    setWorldPlacement(yaw, 0.0f, 0.0f, kPlanetX, kPlanetY, kPlanetZ);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    const int slot = mShow.planetLook == PlanetLook::kContinents ? kSurfaceSlot
                     : mShow.planetLook == PlanetLook::kBurning  ? kBurningSlot
                                                                 : kVioletSlot;
    device->SetTexture(0, mTextures[slot].get());
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetStreamSource(0, buffer, 0, sizeof(SurfaceVertex));
    device->SetFVF(kSurfaceFvf);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, static_cast<UINT>(mPlanetVertexCount - 2));

    device->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    resetWorld();
}

void StationScene::drawPlanet() {
    drawPlanetSphere(mPlanet.get(), -(mShow.absoluteTime * kPlanetTurn));
}

void StationScene::drawPlanetAlt() {
    drawPlanetSphere(mPlanetRepeat4.get(), mShow.absoluteTime * kPlanetTurn);
}

void StationScene::drawClouds() {
    IDirect3DDevice9* device = mDevice.get();
    setWorldPlacement(-(mShow.absoluteTime * kCloudTurn), 0.0f, 0.0f, kPlanetX, kPlanetY, kPlanetZ);
    device->SetTexture(0, mTextures[kCloudSlot].get());
    // The source factor stays at its default of one: the clouds add their light.
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetStreamSource(0, mClouds.get(), 0, sizeof(SurfaceVertex));
    device->SetFVF(kSurfaceFvf);
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, static_cast<UINT>(mCloudVertexCount - 2));

    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    resetWorld();
}

void StationScene::drawFiringCone() {
    IDirect3DDevice9* device = mDevice.get();
    D3DXMATRIX turn;
    D3DXMATRIX move;
    D3DXMatrixRotationYawPitchRoll(&turn, 0.5f, 0.3f, -0.4f);
    D3DXMatrixTranslation(&move, 9.0f, 3.95f, 37.9f);
    D3DXMATRIX world;
    D3DXMatrixMultiply(&world, &turn, &move);
    // Without normals only the ambient term lights the cone: green from the ambient colour.
    device->SetRenderState(D3DRS_AMBIENT, kConeAmbient);
    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_WIREFRAME);
    device->SetRenderState(D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetTransform(D3DTS_WORLD, &world);
    device->SetTexture(0, nullptr);
    if (mFiringCone) {
        mFiringCone->DrawSubset(0);
    }

    device->SetRenderState(D3DRS_FILLMODE, D3DFILL_SOLID);
    resetWorld();
    device->SetRenderState(D3DRS_AMBIENT, kBaseAmbient);
}

void StationScene::drawBeam() {
    IDirect3DDevice9* device = mDevice.get();
    device->SetTexture(0, mTextures[kBeamSlot].get());
    device->SetStreamSource(0, mBeam.get(), 0, sizeof(QuadVertex));
    device->SetFVF(kQuadFvf);
    setGlowQuadStates(true);
    device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 4);
    restoreAfterGlowQuads();
}

void StationScene::drawExplosionFrame(int slot) {
    IDirect3DDevice9* device = mDevice.get();
    device->SetTexture(0, texture(slot));
    device->SetStreamSource(0, mExplosion.get(), 0, sizeof(QuadVertex));
    device->SetFVF(kQuadFvf);
    setGlowQuadStates(false);
    device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 2);
    restoreAfterGlowQuads();
}

void StationScene::setGlowQuadStates(bool alphaTest) {
    IDirect3DDevice9* device = mDevice.get();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_COLOR1);
    if (alphaTest) {
        device->SetRenderState(D3DRS_ALPHAREF, 1);
        device->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
        device->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_ALWAYS);
    }
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_COLORVERTEX, TRUE);
}

void StationScene::restoreAfterGlowQuads() {
    // The alpha test goes off after either pass; the explosion never set it, which costs nothing.
    IDirect3DDevice9* device = mDevice.get();
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL);
    device->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_COLORVERTEX, FALSE);
}

void StationScene::stepExplosion() {
    int& step = detail::showClocks().explosionStep;
    int& frame = mShow.explosionFrame;
    frame = frame < kFirstExplosionSlot - 1 ? kFirstExplosionSlot - 1
            : frame > kLastExplosionSlot    ? kLastExplosionSlot
                                            : frame;
    frame += step;
    if (frame > kFirstExplosionSlot - 1 && frame < kLastExplosionSlot + 1) {
        drawExplosionFrame(frame);
    }
    // Back at the first image on the way down: the showing ends for the rest of this frame,
    // and the step keeps its sign for the next one.
    if (frame == kFirstExplosionSlot && step == -1 && mShow.flags.explosionVisible) {
        mShow.flags.explosionVisible = false;
        return;
    }
    if (frame < kFirstExplosionSlot || frame >= kLastExplosionSlot) {
        step = -step;
    }
}

} // namespace halv::scene
