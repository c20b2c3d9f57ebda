#include "model/model_object.h"

#include "base/message_box.h"
#include "base/text_conversion.h"
#include "model/texture_resource.h"
#include "xfile/mesh_loader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

namespace halv::model {
namespace {

// The 8-bit resource name buffer: 79 characters and the terminator.
constexpr int kResourceNameBytes = 80;
// A material's file name: 259 bytes are copied; at most 256 characters are converted, so the
// wide name and its terminator fit 257 characters.
constexpr std::size_t kFileNameBytes = 260;
constexpr std::size_t kWideNameCharacters = 257;
// The caption of the texture message, terminator included.
constexpr std::size_t kCaptionCharacters = 257;

} // namespace

ModelObject::~ModelObject() = default;

HRESULT ModelObject::load(IDirect3DDevice9* device, LPCWSTR resourceName, LPCWSTR captionPrefix,
                          int overrideNumber, bool useOverride) {
    // A name that does not fit the buffer converts to nothing, and then no model is found.
    char nameAnsi[kResourceNameBytes] = {};
    if (resourceName == nullptr || WideCharToMultiByte(CP_ACP, 0, resourceName, -1, nameAnsi,
                                                       kResourceNameBytes, nullptr, nullptr) == 0) {
        nameAnsi[0] = '\0';
    }

    base::ComRef<ID3DXBuffer> materialBuffer;
    base::ComRef<ID3DXMesh> mesh;
    DWORD count = 0;
    HRESULT hr = D3DERR_INVALIDCALL;
    if (nameAnsi[0] != '\0') {
        hr = D3DXLoadMeshFromXResource(nullptr, nameAnsi, "Data", D3DXMESH_SYSTEMMEM, device,
                                       nullptr, materialBuffer.put(), nullptr, &count, mesh.put());
    }
    if (FAILED(hr)) {
        MessageBoxW(nullptr, u"Could not find .x", u"Information", MB_OK);
        return E_FAIL;
    }

    // Running out of memory here counts as a failed load: the object stays empty.
    std::unique_ptr<D3DMATERIAL9[]> materials(new (std::nothrow) D3DMATERIAL9[count]);
    std::unique_ptr<base::ComRef<IDirect3DTexture9>[]> textures(
        new (std::nothrow) base::ComRef<IDirect3DTexture9>[count]);
    if (count == 0 || materialBuffer.get() == nullptr || !materials || !textures) {
        MessageBoxW(nullptr, u"Could not find .x", u"Information", MB_OK);
        return E_FAIL;
    }
    mMesh = std::move(mesh);
    mMaterials = std::move(materials);
    mTextures = std::move(textures);
    mMaterialCount = count;

    const auto* loaded = static_cast<const D3DXMATERIAL*>(materialBuffer->GetBufferPointer());
    const std::u16string_view prefix =
        captionPrefix != nullptr ? std::u16string_view(captionPrefix) : std::u16string_view();
    for (DWORD i = 0; i < count; ++i) {
        mMaterials[i] = loaded[i].MatD3D;
        mMaterials[i].Ambient = mMaterials[i].Diffuse;
        if (loaded[i].pTextureFilename != nullptr) {
            loadMaterialTexture(device, i, loaded[i].pTextureFilename, prefix, overrideNumber,
                                useOverride);
        }
    }
    return S_OK;
}

void ModelObject::loadMaterialTexture(IDirect3DDevice9* device, DWORD index, const char* fileName,
                                      std::u16string_view captionPrefix, int overrideNumber,
                                      bool useOverride) {
    // Over-long names are cut to what the buffers hold rather than overflowing them.
    char nameAnsi[kFileNameBytes] = {};
    std::strncpy(nameAnsi, fileName, kWideNameCharacters - 1);
    WCHAR nameWide[kWideNameCharacters] = {};
    if (MultiByteToWideChar(CP_ACP, 0, nameAnsi, -1, nameWide, kWideNameCharacters) == 0) {
        return;
    }
    std::u16string caption(captionPrefix);
    caption += nameWide;
    caption.resize(std::min(caption.size(), kCaptionCharacters - 1));
    if (nameWide[0] == 0) {
        return;
    }

    const LONG number = base::wideToLong(nameWide, nullptr, 10);
    const auto resourceNumber = static_cast<WORD>((useOverride ? overrideNumber : number) & 0xFFFF);
    const HRESULT hr = loadTextureResource(device, u"PNG", MAKEINTRESOURCEW(resourceNumber),
                                           mTextures[index].put());
    if (FAILED(hr)) {
        MessageBoxW(nullptr, u"Could not find texture map", caption.c_str(), MB_OK);
    }
}

void ModelObject::setPlacement(const D3DXVECTOR3& position, const D3DXVECTOR3& rotation) {
    mPosition = position;
    mRotation = rotation;
    D3DXMATRIX turn;
    D3DXMATRIX move;
    D3DXMatrixRotationYawPitchRoll(&turn, rotation.x, rotation.y, rotation.z);
    D3DXMatrixTranslation(&move, position.x, position.y, position.z);
    D3DXMatrixMultiply(&mWorld, &turn, &move);
}

void ModelObject::draw(IDirect3DDevice9* device) const {
    for (DWORD i = 0; i < mMaterialCount; ++i) {
        device->SetMaterial(&mMaterials[i]);
        device->SetTexture(0, mTextures[i].get());
        mMesh->DrawSubset(i);
    }
}

} // namespace halv::model
