// The scene's static vertex buffers, filled once at start, and the firing cone.
#include "scene/geometry.h"
#include "scene/station_scene.h"
#include "xfile/shapes.h"

#include <cstring>
#include <memory>
#include <new>

namespace halv::scene {
namespace {

constexpr D3DCOLOR kConeColour = 0xFFFFFF00;

// A default-pool buffer of `vertices`, or E_FAIL when it cannot be created or locked (the
// buffer is kept even when unfilled, as it was created).
template <class Vertex>
HRESULT fillBuffer(IDirect3DDevice9* device, std::span<const Vertex> vertices, DWORD fvf,
                   base::ComRef<IDirect3DVertexBuffer9>* buffer) {
    const auto bytes = static_cast<UINT>(vertices.size_bytes());
    if (FAILED(
            device->CreateVertexBuffer(bytes, 0, fvf, D3DPOOL_DEFAULT, buffer->put(), nullptr))) {
        return E_FAIL;
    }
    void* data = nullptr;
    if (FAILED((*buffer)->Lock(0, 0, &data, 0))) {
        return E_FAIL;
    }
    std::memcpy(data, vertices.data(), bytes);
    (*buffer)->Unlock();
    return S_OK;
}

} // namespace

HRESULT StationScene::buildCylinderStrip(float x, float y, float z, float radius, int slices,
                                         int segments, float repeat) {
    const std::size_t count = cylinderStripVertexCount(slices, segments);
    mSkyVertexCount = static_cast<int>(count);
    if (count == 0) {
        return E_FAIL;
    }
    std::unique_ptr<SurfaceVertex[]> vertices(new (std::nothrow) SurfaceVertex[count]);
    if (!vertices) {
        return E_FAIL;
    }
    const std::span<SurfaceVertex> strip(vertices.get(), count);
    writeCylinderStrip(strip, {x, y, z}, radius, slices, segments, repeat);
    return fillBuffer<SurfaceVertex>(mDevice.get(), strip, kSurfaceFvf, &mSky);
}

HRESULT StationScene::buildSphereStrip(base::ComRef<IDirect3DVertexBuffer9>* buffer,
                                       int* vertexCount, float x, float y, float z, float radius,
                                       int slices, int stacks, float repeat) {
    const std::size_t count = sphereStripVertexCount(slices, stacks);
    *vertexCount = static_cast<int>(count);
    if (count == 0) {
        return E_FAIL;
    }
    std::unique_ptr<SurfaceVertex[]> vertices(new (std::nothrow) SurfaceVertex[count]);
    if (!vertices) {
        return E_FAIL;
    }
    const std::span<SurfaceVertex> strip(vertices.get(), count);
    writeSphereStrip(strip, {x, y, z}, radius, slices, stacks, repeat);
    return fillBuffer<SurfaceVertex>(mDevice.get(), strip, kSurfaceFvf, buffer);
}

HRESULT StationScene::buildBeamQuads() {
    const std::array<QuadVertex, 12> vertices = beamQuadVertices();
    return fillBuffer<QuadVertex>(mDevice.get(), vertices, kQuadFvf, &mBeam);
}

HRESULT StationScene::buildExplosionQuad() {
    const std::array<QuadVertex, 6> vertices = explosionQuadVertices();
    return fillBuffer<QuadVertex>(mDevice.get(), vertices, kQuadFvf, &mExplosion);
}

HRESULT StationScene::buildFiringCone() {
    base::ComRef<ID3DXMesh> cylinder;
    if (FAILED(
            D3DXCreateCylinder(mDevice.get(), 0.0f, 0.3f, 0.7f, 8, 1, cylinder.put(), nullptr))) {
        return E_FAIL;
    }
    // Only positions and a colour: the cone is drawn as a wireframe lit by ambient light alone.
    if (FAILED(cylinder->CloneMeshFVF(0, kPointFvf, mDevice.get(), mFiringCone.put()))) {
        return E_FAIL;
    }
    base::ComRef<IDirect3DVertexBuffer9> vertices;
    if (SUCCEEDED(mFiringCone->GetVertexBuffer(vertices.put()))) {
        const DWORD count = mFiringCone->GetNumVertices();
        void* data = nullptr;
        if (SUCCEEDED(vertices->Lock(0, 0, &data, 0))) {
            auto* bytes = static_cast<unsigned char*>(data);
            for (DWORD i = 0; i < count; ++i) {
                std::memcpy(bytes + i * sizeof(PointVertex) + offsetof(PointVertex, diffuse),
                            &kConeColour, sizeof(kConeColour));
            }
            vertices->Unlock();
        }
    }
    return S_OK;
}

} // namespace halv::scene
