// Vertex layouts inside the mesh code: a checked copy of a declaration, the FVF conversions,
// and reading and writing one element in any declaration type.
#pragma once

#include "xfile/mesh.h"

#include <array>
#include <cstddef>
#include <vector>

namespace halv::xfile::detail {

// Bytes of a declaration type; 0 for D3DDECLTYPE_UNUSED and anything above it.
UINT declTypeSize(DWORD type) noexcept;

// A declaration that passed the mesh's checks: elements in stream 0 with known types, methods
// and usages, usage indices up to 15, no usage and index twice, at most 64 elements, and a
// vertex of at least one byte.
struct Declaration {
    std::array<D3DVERTEXELEMENT9, MAX_FVF_DECL_SIZE> elements{};
    UINT length = 0; // elements before the end marker
    UINT vertexSize = 0;

    const D3DVERTEXELEMENT9* data() const { return elements.data(); }
    const D3DVERTEXELEMENT9* find(BYTE usage, BYTE usageIndex) const;
    bool operator==(const Declaration& other) const;
};

// D3DERR_INVALIDCALL when `elements` is null or fails the checks above.
[[nodiscard]] HRESULT makeDeclaration(const D3DVERTEXELEMENT9* elements, Declaration* out);

// Appends an element at the end of the vertex; false when it would make the declaration
// invalid (usage and index already present, too many elements, offset past 0xFFFF).
[[nodiscard]] bool appendElement(Declaration* declaration, BYTE type, BYTE method, BYTE usage,
                                 BYTE usageIndex);

// The published FVF-to-declaration rules; D3DERR_INVALIDCALL for codes without one.
[[nodiscard]] HRESULT declarationFromFvf(DWORD fvf, Declaration* out);

// The FVF code with exactly this declaration, or 0 when there is none.
DWORD fvfFromDeclaration(const Declaration& declaration);

// The number of texture sets of an FVF code and the number of floats of set `set`.
inline UINT fvfTextureCount(DWORD fvf) {
    return (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
}
UINT fvfTextureFloats(DWORD fvf, UINT set);

// Reads one element as four floats, expanded the way the pipeline expands it (missing
// components 0, a missing fourth 1). Blend weights with fewer than four components get one
// more weight: 1 minus the sum of the others.
void readElement(const D3DVERTEXELEMENT9& element, const std::byte* vertex, float out[4]);
// Writes four floats as one element of its type, clamping and rounding to integer types.
void writeElement(const D3DVERTEXELEMENT9& element, const float in[4], std::byte* vertex);

// Copies vertices between two declarations: the elements both have (same usage and index)
// are converted, the rest of each destination vertex is zero. Equal declarations copy bytes.
class VertexConverter {
public:
    VertexConverter(const Declaration& source, const Declaration& destination);

    void convert(const std::byte* source, std::byte* destination) const;
    bool identical() const { return mIdentical; }

private:
    struct Pair {
        D3DVERTEXELEMENT9 source;
        D3DVERTEXELEMENT9 destination;
    };
    std::vector<Pair> mPairs;
    UINT mSourceSize;
    UINT mDestinationSize;
    bool mIdentical;
};

} // namespace halv::xfile::detail
