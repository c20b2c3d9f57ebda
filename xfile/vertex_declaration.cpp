// D3DXDeclaratorFromFVF, D3DXFVFFromDeclarator and the declaration size helpers.
#include "xfile/detail/vertex_format.h"
#include "xfile/mesh.h"

#include <algorithm>
#include <cstring>

using halv::xfile::detail::Declaration;

HRESULT D3DXDeclaratorFromFVF(DWORD fvf, D3DVERTEXELEMENT9 declarator[MAX_FVF_DECL_SIZE]) noexcept {
    if (declarator == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    Declaration declaration;
    const HRESULT hr = halv::xfile::detail::declarationFromFvf(fvf, &declaration);
    if (FAILED(hr)) {
        return hr;
    }
    std::memcpy(declarator, declaration.data(),
                (declaration.length + 1) * sizeof(D3DVERTEXELEMENT9));
    return D3D_OK;
}

HRESULT D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* declarator, DWORD* fvf) noexcept {
    if (declarator == nullptr || fvf == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    Declaration declaration;
    if (FAILED(halv::xfile::detail::makeDeclaration(declarator, &declaration))) {
        return D3DERR_INVALIDCALL;
    }
    const DWORD code = halv::xfile::detail::fvfFromDeclaration(declaration);
    if (code == 0) {
        return D3DERR_INVALIDCALL;
    }
    *fvf = code;
    return D3D_OK;
}

UINT D3DXGetDeclLength(const D3DVERTEXELEMENT9* declaration) noexcept {
    if (declaration == nullptr) {
        return 0;
    }
    UINT length = 0;
    while (length < MAXD3DDECLLENGTH && declaration[length].Stream != 0xFF) {
        ++length;
    }
    return length;
}

UINT D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* declaration, DWORD stream) noexcept {
    const UINT length = D3DXGetDeclLength(declaration);
    UINT size = 0;
    for (UINT i = 0; i < length; ++i) {
        if (declaration[i].Stream == stream) {
            size = std::max<UINT>(size, declaration[i].Offset +
                                            halv::xfile::detail::declTypeSize(declaration[i].Type));
        }
    }
    return size;
}

UINT D3DXGetFVFVertexSize(DWORD fvf) noexcept {
    Declaration declaration;
    if (FAILED(halv::xfile::detail::declarationFromFvf(fvf, &declaration))) {
        return 0;
    }
    return declaration.vertexSize;
}
