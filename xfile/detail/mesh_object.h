// The ID3DXMesh implementation, shared by creation, cloning, optimisation, the mesh loader and
// the generated shapes. Both index widths are one class; the width is fixed at creation.
#pragma once

#include "base/com.h"
#include "math/vector_math.h"
#include "xfile/detail/vertex_format.h"
#include "xfile/mesh.h"

#include <span>
#include <vector>

namespace halv::xfile::detail {

// Options a mesh can be created with.
inline constexpr DWORD kCreateOptions = 0x1CFFF;
// Options a clone may ask for (creation options and D3DXMESH_VB_SHARE).
inline constexpr DWORD kCloneOptions = 0x1DFFF;
inline constexpr DWORD kOptimizeFlags = 0x7F000000;
inline constexpr DWORD kMaxFaces16 = 0xFFFE;
inline constexpr DWORD kMaxVertices16 = 0xFFFE;
inline constexpr DWORD kUnused32 = 0xFFFFFFFF;

class MeshObject final
    : public base::ComObject<MeshObject, ID3DXMesh, IID_ID3DXBaseMesh, IID_ID3DXMesh> {
public:
    // Checks the counts and options and makes the device objects. With `sharedVertices` the
    // mesh uses that vertex buffer instead of making one.
    [[nodiscard]] static HRESULT create(DWORD numFaces, DWORD numVertices, DWORD options,
                                        const Declaration& declaration, IDirect3DDevice9* device,
                                        IDirect3DVertexBuffer9* sharedVertices,
                                        base::ComRef<MeshObject>* mesh);

    HRESULT DrawSubset(DWORD attribId) noexcept override;
    DWORD GetNumFaces() noexcept override { return mNumFaces; }
    DWORD GetNumVertices() noexcept override { return mNumVertices; }
    DWORD GetFVF() noexcept override { return mFvf; }
    HRESULT GetDeclaration(D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]) noexcept override;
    DWORD GetNumBytesPerVertex() noexcept override { return mDeclaration.vertexSize; }
    DWORD GetOptions() noexcept override { return mOptions; }
    HRESULT GetDevice(IDirect3DDevice9** device) noexcept override;
    HRESULT CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice9* device,
                         ID3DXMesh** cloneMesh) noexcept override;
    HRESULT CloneMesh(DWORD options, const D3DVERTEXELEMENT9* declaration, IDirect3DDevice9* device,
                      ID3DXMesh** cloneMesh) noexcept override;
    HRESULT GetVertexBuffer(IDirect3DVertexBuffer9** vertexBuffer) noexcept override;
    HRESULT GetIndexBuffer(IDirect3DIndexBuffer9** indexBuffer) noexcept override;
    HRESULT LockVertexBuffer(DWORD flags, LPVOID* data) noexcept override;
    HRESULT UnlockVertexBuffer() noexcept override;
    HRESULT LockIndexBuffer(DWORD flags, LPVOID* data) noexcept override;
    HRESULT UnlockIndexBuffer() noexcept override;
    HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* attribTable,
                              DWORD* attribTableSize) noexcept override;
    HRESULT ConvertPointRepsToAdjacency(const DWORD* pointReps, DWORD* adjacency) noexcept override;
    HRESULT ConvertAdjacencyToPointReps(const DWORD* adjacency, DWORD* pointReps) noexcept override;
    HRESULT GenerateAdjacency(FLOAT epsilon, DWORD* adjacency) noexcept override;
    HRESULT UpdateSemantics(D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]) noexcept override;
    HRESULT LockAttributeBuffer(DWORD flags, DWORD** data) noexcept override;
    HRESULT UnlockAttributeBuffer() noexcept override { return D3D_OK; }
    HRESULT Optimize(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut, DWORD* faceRemap,
                     ID3DXBuffer** vertexRemap, ID3DXMesh** optMesh) noexcept override;
    HRESULT OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                            DWORD* faceRemap, ID3DXBuffer** vertexRemap) noexcept override;
    HRESULT SetAttributeTable(const D3DXATTRIBUTERANGE* attribTable,
                              DWORD attribTableSize) noexcept override;

    // For the library's own use: the same operations without the write-only checks (our
    // buffers are readable whatever their usage), and direct access to the arrays.
    [[nodiscard]] HRESULT clone(DWORD options, const Declaration& declaration,
                                IDirect3DDevice9* device, base::ComRef<MeshObject>* out);
    [[nodiscard]] HRESULT optimize(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                                   DWORD* faceRemap, ID3DXBuffer** vertexRemap);
    // All indices, widened to 32 bits (3 per face).
    [[nodiscard]] HRESULT readIndices(std::vector<DWORD>* indices);
    // Replaces the indices (3 per face, narrowed for a 16-bit mesh).
    [[nodiscard]] HRESULT writeIndices(std::span<const DWORD> indices);
    // Positions of all vertices (zero when the declaration has none).
    [[nodiscard]] HRESULT readPositions(std::vector<D3DXVECTOR3>* positions);

    bool index32() const { return (mOptions & D3DXMESH_32BIT) != 0; }
    DWORD unusedIndex() const { return index32() ? kUnused32 : 0xFFFF; }
    const Declaration& declaration() const { return mDeclaration; }
    std::vector<DWORD>& attributes() { return mAttributes; }
    std::vector<D3DXATTRIBUTERANGE>& attributeTable() { return mTable; }
    bool attributeTableValid() const { return mTableValid; }
    void setAttributeTableValid(bool valid) { mTableValid = valid; }

private:
    MeshObject() = default;

    [[nodiscard]] HRESULT adjacencyFromReps(std::span<const DWORD> reps, DWORD* adjacency);
    [[nodiscard]] HRESULT replaceBuffers(DWORD numFaces, DWORD numVertices);

    base::ComRef<IDirect3DDevice9> mDevice;
    DWORD mOptions = 0;
    Declaration mDeclaration;
    DWORD mFvf = 0;
    base::ComRef<IDirect3DVertexDeclaration9> mVertexDeclaration;
    base::ComRef<IDirect3DVertexBuffer9> mVertexBuffer;
    base::ComRef<IDirect3DIndexBuffer9> mIndexBuffer;
    DWORD mNumFaces = 0;
    DWORD mNumVertices = 0;
    std::vector<DWORD> mAttributes;
    std::vector<D3DXATTRIBUTERANGE> mTable;
    bool mTableValid = false;
};

// The device pools and usages of the mesh options.
D3DPOOL vertexPool(DWORD options);
D3DPOOL indexPool(DWORD options);
DWORD vertexUsage(DWORD options);
DWORD indexUsage(DWORD options);

} // namespace halv::xfile::detail
