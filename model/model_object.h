// The station model: loaded from the executable's .x resource with one material and one
// texture per subset, placed in the world, and drawn subset by subset.
#pragma once

#include "base/com.h"
#include "gfx/device.h"
#include "math/vector_math.h"
#include "xfile/mesh.h"

#include <memory>
#include <string_view>

namespace halv::model {

class ModelObject {
public:
    ModelObject() = default;
    virtual ~ModelObject();
    ModelObject(const ModelObject&) = delete;
    ModelObject& operator=(const ModelObject&) = delete;

    // Loads the mesh from the "Data" resource `resourceName` with its buffers in system memory,
    // and for every material the PNG resource its texture file name gives as a decimal number
    // (or `overrideNumber` for every textured material when `useOverride` is set). A missing
    // model shows "Could not find .x" and returns E_FAIL, leaving the object empty; a texture
    // that cannot be made shows "Could not find texture map" (caption: `captionPrefix` and the
    // file name) and leaves that subset untextured. Call once.
    HRESULT load(IDirect3DDevice9* device, LPCWSTR resourceName, LPCWSTR captionPrefix,
                 int overrideNumber, bool useOverride);

    // Stores the placement; world = rotation (yaw x, pitch y, roll z) then translation.
    void setPlacement(const D3DXVECTOR3& position, const D3DXVECTOR3& rotation);

    // Sets each subset's material and texture (null leaves stage 0 empty) and draws it. The
    // caller has loaded the world transform and every other state.
    void draw(IDirect3DDevice9* device) const;

    const D3DXMATRIX& world() const { return mWorld; }
    const D3DXVECTOR3& position() const { return mPosition; }
    const D3DXVECTOR3& rotation() const { return mRotation; }
    ID3DXMesh* mesh() const { return mMesh.get(); }
    DWORD materialCount() const { return mMaterialCount; }
    const D3DMATERIAL9& material(DWORD index) const { return mMaterials[index]; }
    IDirect3DTexture9* texture(DWORD index) const { return mTextures[index].get(); }

private:
    void loadMaterialTexture(IDirect3DDevice9* device, DWORD index, const char* fileName,
                             std::u16string_view captionPrefix, int overrideNumber,
                             bool useOverride);

    D3DXVECTOR3 mPosition{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 mRotation{0.0f, 0.0f, 0.0f};
    alignas(16) D3DXMATRIX mWorld{};
    base::ComRef<ID3DXMesh> mMesh;
    std::unique_ptr<D3DMATERIAL9[]> mMaterials;
    std::unique_ptr<base::ComRef<IDirect3DTexture9>[]> mTextures;
    DWORD mMaterialCount = 0;
};

} // namespace halv::model
