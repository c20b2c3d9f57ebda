#include "gfx/detail/vertex_layout.h"

#include "base/result_codes.h"

namespace halv::gfx::detail {
namespace {

constexpr UINT kDeclTypeSizes[] = {4, 8, 12, 16, 4, 4, 4, 8, 4, 4, 8, 4, 8, 4, 4, 4, 8};

bool append(VertexLayout* layout, WORD offset, BYTE type, BYTE usage, BYTE usageIndex) {
    if (layout->count >= VertexLayout::kMaxElements) {
        return false;
    }
    layout->elements[layout->count++] = {0, offset, type, D3DDECLMETHOD_DEFAULT, usage, usageIndex};
    return true;
}

} // namespace

const D3DVERTEXELEMENT9* VertexLayout::find(BYTE usage, BYTE usageIndex) const noexcept {
    for (UINT i = 0; i < count; ++i) {
        if (elements[i].Usage == usage && elements[i].UsageIndex == usageIndex) {
            return &elements[i];
        }
    }
    return nullptr;
}

UINT declTypeSize(BYTE type) noexcept {
    return type < std::size(kDeclTypeSizes) ? kDeclTypeSizes[type] : 0;
}

HRESULT layoutFromFvf(DWORD fvf, VertexLayout* layout) noexcept {
    VertexLayout result;
    if ((fvf & (D3DFVF_RESERVED0 | D3DFVF_RESERVED2)) != 0) {
        return D3DERR_INVALIDCALL;
    }
    const UINT texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (texCount > D3DDP_MAXTEXCOORD) {
        return D3DERR_INVALIDCALL;
    }
    // Texture-format bits of sets the code does not have must be clear.
    if (texCount < 8 && (fvf >> (16 + 2 * texCount)) != 0) {
        return D3DERR_INVALIDCALL;
    }
    UINT offset = 0;
    const DWORD position = fvf & D3DFVF_POSITION_MASK;
    const DWORD lastBeta = fvf & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR);
    if (lastBeta == (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR)) {
        return D3DERR_INVALIDCALL;
    }
    switch (position) {
    case 0:
        if (lastBeta != 0) {
            return D3DERR_INVALIDCALL;
        }
        break;
    case D3DFVF_XYZRHW:
        if ((fvf & D3DFVF_NORMAL) != 0 || lastBeta != 0) {
            return D3DERR_INVALIDCALL;
        }
        append(&result, 0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
        result.pretransformed = true;
        offset = 16;
        break;
    case D3DFVF_XYZ:
    case D3DFVF_XYZB1:
    case D3DFVF_XYZB2:
    case D3DFVF_XYZB3:
    case D3DFVF_XYZB4:
    case D3DFVF_XYZB5: {
        append(&result, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
        offset = 12;
        UINT betas = (position - D3DFVF_XYZ) / 2;
        if (betas == 0 && lastBeta != 0) {
            return D3DERR_INVALIDCALL;
        }
        if (lastBeta != 0) {
            --betas;
        } else if (betas == 5) {
            return D3DERR_INVALIDCALL;
        }
        if (betas > 0) {
            append(&result, static_cast<WORD>(offset),
                   static_cast<BYTE>(D3DDECLTYPE_FLOAT1 + betas - 1), D3DDECLUSAGE_BLENDWEIGHT, 0);
            offset += 4 * betas;
        }
        if (lastBeta != 0) {
            append(&result, static_cast<WORD>(offset),
                   lastBeta == D3DFVF_LASTBETA_UBYTE4 ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_D3DCOLOR,
                   D3DDECLUSAGE_BLENDINDICES, 0);
            offset += 4;
        }
        break;
    }
    default:
        // D3DFVF_XYZW is for programmable vertex processing only.
        return D3DERR_INVALIDCALL;
    }
    if ((fvf & D3DFVF_NORMAL) != 0) {
        append(&result, static_cast<WORD>(offset), D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
        offset += 12;
    }
    if ((fvf & D3DFVF_PSIZE) != 0) {
        append(&result, static_cast<WORD>(offset), D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
        offset += 4;
    }
    if ((fvf & D3DFVF_DIFFUSE) != 0) {
        append(&result, static_cast<WORD>(offset), D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
        offset += 4;
    }
    if ((fvf & D3DFVF_SPECULAR) != 0) {
        append(&result, static_cast<WORD>(offset), D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
        offset += 4;
    }
    for (UINT set = 0; set < texCount; ++set) {
        const DWORD format = (fvf >> (16 + 2 * set)) & 3;
        // Format bits: 0 = two floats, 1 = three, 2 = four, 3 = one.
        constexpr BYTE kTypes[] = {D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT4,
                                   D3DDECLTYPE_FLOAT1};
        append(&result, static_cast<WORD>(offset), kTypes[format], D3DDECLUSAGE_TEXCOORD,
               static_cast<BYTE>(set));
        offset += declTypeSize(kTypes[format]);
    }
    result.fvfStride = offset;
    result.streamCount = result.count > 0 ? 1 : 0;
    *layout = result;
    return D3D_OK;
}

HRESULT layoutFromDeclaration(const D3DVERTEXELEMENT9* elements, VertexLayout* layout,
                              UINT* elementCount) noexcept {
    if (elements == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    VertexLayout result;
    UINT index = 0;
    for (;; ++index) {
        const D3DVERTEXELEMENT9& element = elements[index];
        if (element.Stream == 0xFF) {
            if (element.Type != D3DDECLTYPE_UNUSED) {
                return D3DERR_INVALIDCALL;
            }
            break;
        }
        if (index >= MAXD3DDECLLENGTH || element.Stream >= 16 ||
            element.Type >= D3DDECLTYPE_UNUSED || element.Method > D3DDECLMETHOD_LOOKUPPRESAMPLED ||
            element.Usage > D3DDECLUSAGE_SAMPLE || element.UsageIndex > MAXD3DDECLUSAGEINDEX ||
            (element.Offset % 4) != 0) {
            return D3DERR_INVALIDCALL;
        }
        for (UINT other = 0; other < result.count; ++other) {
            if (result.elements[other].Usage == element.Usage &&
                result.elements[other].UsageIndex == element.UsageIndex) {
                return D3DERR_INVALIDCALL;
            }
        }
        result.elements[result.count++] = element;
        if (element.Usage == D3DDECLUSAGE_POSITIONT) {
            result.pretransformed = true;
        }
        if (element.Stream + 1u > result.streamCount) {
            result.streamCount = element.Stream + 1u;
        }
    }
    // Screen-space positions cannot be mixed with a model-space one.
    if (result.pretransformed && result.find(D3DDECLUSAGE_POSITION, 0) != nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *layout = result;
    *elementCount = index + 1;
    return D3D_OK;
}

} // namespace halv::gfx::detail
