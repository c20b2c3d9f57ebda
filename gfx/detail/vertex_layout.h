// The vertex layout a draw reads: from an FVF code or a declaration, checked once, in one form
// for validation and for the renderers.
#pragma once

#include "gfx/device_types.h"

#include <array>

namespace halv::gfx::detail {

struct VertexLayout {
    static constexpr UINT kMaxElements = MAXD3DDECLLENGTH;

    std::array<D3DVERTEXELEMENT9, kMaxElements> elements{};
    UINT count = 0;
    // Position given as screen coordinates plus rhw (D3DFVF_XYZRHW, POSITIONT): no transform,
    // no lighting.
    bool pretransformed = false;
    // Bytes of one vertex of stream 0 for an FVF layout (the sum of its element sizes).
    UINT fvfStride = 0;
    // Highest stream number used + 1.
    UINT streamCount = 0;

    const D3DVERTEXELEMENT9* find(BYTE usage, BYTE usageIndex) const noexcept;
};

// Bytes of one element of a D3DDECLTYPE, 0 for UNUSED or an unknown type.
UINT declTypeSize(BYTE type) noexcept;

// D3DERR_INVALIDCALL for codes with reserved bits, XYZW, XYZB5 without indices, or more than 8
// texture sets. FVF 0 gives an empty layout.
[[nodiscard]] HRESULT layoutFromFvf(DWORD fvf, VertexLayout* layout) noexcept;

// Checks a declaration up to its end element: at most 64 elements, stream < 16, known type,
// method and usage, usage index <= 15, no usage/index pair twice, offsets 4-byte aligned.
// *elementCount receives the count including the end element.
[[nodiscard]] HRESULT layoutFromDeclaration(const D3DVERTEXELEMENT9* elements, VertexLayout* layout,
                                            UINT* elementCount) noexcept;

} // namespace halv::gfx::detail
