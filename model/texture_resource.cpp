#include "model/texture_resource.h"

#include "base/resources.h"
#include "texture/texture_loader.h"

namespace halv::model {

HRESULT loadTextureResource(IDirect3DDevice9* device, LPCWSTR type, LPCWSTR name,
                            IDirect3DTexture9** texture) noexcept {
    if (texture == nullptr) {
        return E_FAIL;
    }
    HRSRC resource = FindResourceW(nullptr, name, type);
    const DWORD size = SizeofResource(nullptr, resource);
    HGLOBAL loaded = resource != nullptr && size != 0 ? LoadResource(nullptr, resource) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes != nullptr) {
        // The resource stays mapped with the executable; nothing to free.
        const HRESULT hr = D3DXCreateTextureFromFileInMemoryEx(
            device, bytes, size, D3DX_DEFAULT, D3DX_DEFAULT, 0, 0, D3DFMT_UNKNOWN, D3DPOOL_MANAGED,
            D3DX_FILTER_TRIANGLE, D3DX_FILTER_BOX, 0xFF000000, nullptr, nullptr, texture);
        if (FAILED(hr)) {
            return hr;
        }
        // To the renderer at once, while nothing else is being loaded: a renderer that keeps
        // its own copy lets the texture's go before the next image is decoded.
        (*texture)->PreLoad();
    }
    return *texture != nullptr ? S_OK : E_FAIL;
}

} // namespace halv::model
