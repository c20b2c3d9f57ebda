// The debris particles: drawn at start, launched by the timeline, moved every frame, and drawn
// as four batches of textured point sprites.
#include "scene/debris.h"

#include "base/random.h"
#include "base/timing.h"
#include "scene/detail/show_clocks.h"
#include "scene/geometry.h"
#include "scene/station_scene.h"

#include <bit>
#include <cmath>

namespace halv::scene {
namespace {

constexpr float kRandomScale = 3.0518509e-05f; // 1/32767
constexpr UINT kDebrisBytes = kDebrisCount * sizeof(PointVertex);
constexpr DWORD kDebrisUsage = D3DUSAGE_WRITEONLY | D3DUSAGE_DYNAMIC | D3DUSAGE_POINTS;
static_assert(kDebrisBytes == 48000 && kDebrisUsage == 0x248);

struct DebrisBatch {
    float size;
    float sizeMin;
    float scaleA;
    float scaleB;
    float scaleC;
    int slot;
    UINT first;
    UINT count;
};

constexpr DebrisBatch kBatches[] = {
    {0.1f, 0.1f, 0.0f, 0.0f, 0.1f, kGlowSlot, 0, 1000},
    {0.5f, 0.5f, 0.0f, 0.0f, 0.5f, kFaintGlowsSlot, 1000, 1000},
    {0.2f, 0.2f, 0.0f, 0.0f, 0.2f, kGlowsSlot, 2000, 500},
    {0.1f, 0.1f, 0.0f, 0.1f, 0.1f, kGlowSlot, 2500, 500},
};

DWORD floatState(float value) {
    return std::bit_cast<DWORD>(value);
}

} // namespace

float unitRandom() {
    return static_cast<float>(base::rand()) * kRandomScale;
}

D3DXVECTOR3 randomUnitVector() {
    const float z = 2.0f * unitRandom() - 1.0f;
    // The largest draw scales to exactly 1 in single precision, so z stays within [-1, 1].
    const float rho = std::sqrt(1.0f - z * z);
    const float theta = unitRandom() * (2.0f * D3DX_PI) - D3DX_PI;
    return {std::cos(theta) * rho, std::sin(theta) * rho, z};
}

void scatterDebris(DebrisParticle* particles, int count) {
    for (int i = 0; i < count; ++i) {
        DebrisParticle& particle = particles[i];
        particle.position = kDebrisLaunchPoint;
        particle.colour = 0xFFFFFFFF;
        // The speed's draw comes before the direction's two.
        const float speed = unitRandom() * 4.5f + kDebrisMinSpeed;
        const D3DXVECTOR3 direction = randomUnitVector();
        particle.velocity = direction * speed;
    }
}

HRESULT StationScene::initDebris() {
    IDirect3DDevice9* device = mDevice.get();
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    // Without the buffer the particles still move; their pass draws nothing.
    device->CreateVertexBuffer(kDebrisBytes, kDebrisUsage, kPointFvf, D3DPOOL_DEFAULT,
                               mDebrisPoints.put(), nullptr);
    scatterDebris(mDebris, kDebrisCount);
    return S_OK;
}

void StationScene::updateDebris() {
    detail::ShowClocks& clocks = detail::showClocks();
    const DWORD t1 = timeGetTime();
    const DWORD t2 = timeGetTime();
    if (!clocks.debrisStarted) {
        clocks.debrisStarted = true;
        clocks.debrisLaunchMs = t1;
        clocks.lastDebrisUpdateMs = t1;
    }
    const DWORD previousMs = clocks.lastDebrisUpdateMs;
    clocks.lastDebrisUpdateMs = t2;

    // A launch counts as a burst older than any limit, so it always starts afresh.
    const float lifetime = mShow.cycleLength - mShow.fireTime;
    float age = lifetime;
    if (mShow.flags.particleReset) {
        mShow.flags.particleReset = false;
    } else {
        age = static_cast<float>(detail::elapsedSeconds(t1, clocks.debrisLaunchMs));
    }
    if (age >= lifetime - 1.0f) {
        for (DebrisParticle& particle : mDebris) {
            particle.position = kDebrisLaunchPoint;
        }
        mShow.flags.particlesActive = false;
        clocks.debrisLaunchMs = timeGetTime();
    }

    // Hidden particles move too; a launch puts them back first.
    const auto dt = static_cast<float>(detail::elapsedSeconds(t2, previousMs));
    for (DebrisParticle& particle : mDebris) {
        particle.position += particle.velocity * dt;
    }
}

void StationScene::drawDebris() {
    IDirect3DDevice9* device = mDevice.get();
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    device->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_POINTSCALEENABLE, TRUE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);

    void* data = nullptr;
    if (mDebrisPoints && SUCCEEDED(mDebrisPoints->Lock(0, kDebrisBytes, &data, D3DLOCK_DISCARD))) {
        auto* points = static_cast<PointVertex*>(data);
        for (int i = 0; i < kDebrisCount; ++i) {
            const DebrisParticle& particle = mDebris[i];
            points[i] = {particle.position.x, particle.position.y, particle.position.z,
                         particle.colour};
        }
        mDebrisPoints->Unlock();
    }
    device->SetStreamSource(0, mDebrisPoints.get(), 0, sizeof(PointVertex));
    device->SetFVF(kPointFvf);

    for (const DebrisBatch& batch : kBatches) {
        device->SetRenderState(D3DRS_POINTSIZE, floatState(batch.size));
        device->SetRenderState(D3DRS_POINTSIZE_MIN, floatState(batch.sizeMin));
        device->SetRenderState(D3DRS_POINTSCALE_A, floatState(batch.scaleA));
        device->SetRenderState(D3DRS_POINTSCALE_B, floatState(batch.scaleB));
        device->SetRenderState(D3DRS_POINTSCALE_C, floatState(batch.scaleC));
        device->SetTexture(0, mTextures[batch.slot].get());
        device->DrawPrimitive(D3DPT_POINTLIST, batch.first, batch.count);
    }

    device->SetRenderState(D3DRS_POINTSPRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_POINTSCALEENABLE, FALSE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
}

} // namespace halv::scene
