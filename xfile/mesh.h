// The mesh object and its memory block: ID3DXBuffer, ID3DXBaseMesh and ID3DXMesh in their
// published slot order, the mesh option and optimisation flags, the material and
// effect-instance records a mesh load hands out, and the conversions between FVF codes and
// vertex declarations.
#pragma once

#include "base/com.h"
#include "base/result_codes.h"
#include "base/win_types.h"
#include "gfx/device.h"

#include <cstddef>

// A declaration array with room for every element and the end marker.
inline constexpr UINT MAX_FVF_DECL_SIZE = MAXD3DDECLLENGTH + 1;

// Mesh creation options.
inline constexpr DWORD D3DXMESH_32BIT = 0x001;
inline constexpr DWORD D3DXMESH_DONOTCLIP = 0x002;
inline constexpr DWORD D3DXMESH_POINTS = 0x004;
inline constexpr DWORD D3DXMESH_RTPATCHES = 0x008;
inline constexpr DWORD D3DXMESH_VB_SYSTEMMEM = 0x010;
inline constexpr DWORD D3DXMESH_VB_MANAGED = 0x020;
inline constexpr DWORD D3DXMESH_VB_WRITEONLY = 0x040;
inline constexpr DWORD D3DXMESH_VB_DYNAMIC = 0x080;
inline constexpr DWORD D3DXMESH_IB_SYSTEMMEM = 0x100;
inline constexpr DWORD D3DXMESH_IB_MANAGED = 0x200;
inline constexpr DWORD D3DXMESH_IB_WRITEONLY = 0x400;
inline constexpr DWORD D3DXMESH_IB_DYNAMIC = 0x800;
inline constexpr DWORD D3DXMESH_VB_SHARE = 0x1000;
inline constexpr DWORD D3DXMESH_USEHWONLY = 0x2000;
inline constexpr DWORD D3DXMESH_NPATCHES = 0x4000;
inline constexpr DWORD D3DXMESH_VB_SOFTWAREPROCESSING = 0x8000;
inline constexpr DWORD D3DXMESH_IB_SOFTWAREPROCESSING = 0x10000;
inline constexpr DWORD D3DXMESH_SYSTEMMEM = 0x110;
inline constexpr DWORD D3DXMESH_MANAGED = 0x220;
inline constexpr DWORD D3DXMESH_WRITEONLY = 0x440;
inline constexpr DWORD D3DXMESH_DYNAMIC = 0x880;
inline constexpr DWORD D3DXMESH_SOFTWAREPROCESSING = 0x18000;

// Optimisation flags for Optimize and OptimizeInplace.
inline constexpr DWORD D3DXMESHOPT_COMPACT = 0x01000000;
inline constexpr DWORD D3DXMESHOPT_ATTRSORT = 0x02000000;
inline constexpr DWORD D3DXMESHOPT_VERTEXCACHE = 0x04000000;
inline constexpr DWORD D3DXMESHOPT_STRIPREORDER = 0x08000000;
inline constexpr DWORD D3DXMESHOPT_IGNOREVERTS = 0x10000000;
inline constexpr DWORD D3DXMESHOPT_DONOTSPLIT = 0x20000000;
inline constexpr DWORD D3DXMESHOPT_DEVICEINDEPENDENT = 0x40000000;

// One subset: faces [FaceStart, FaceStart + FaceCount) carry AttribId and use the vertices
// [VertexStart, VertexStart + VertexCount).
struct D3DXATTRIBUTERANGE {
    DWORD AttribId;
    DWORD FaceStart;
    DWORD FaceCount;
    DWORD VertexStart;
    DWORD VertexCount;
};
static_assert(sizeof(D3DXATTRIBUTERANGE) == 20);

// A material of a loaded mesh. The texture name points into the same buffer, or is null.
struct D3DXMATERIAL {
    D3DMATERIAL9 MatD3D;
    LPSTR pTextureFilename;
};
static_assert(offsetof(D3DXMATERIAL, pTextureFilename) == (sizeof(void*) == 8 ? 72 : 68));

enum D3DXEFFECTDEFAULTTYPE : DWORD {
    D3DXEDT_STRING = 1, // zero-terminated 8-bit text; NumBytes counts the zero
    D3DXEDT_FLOATS = 2,
    D3DXEDT_DWORD = 3,
    D3DXEDT_FORCEDWORD = 0x7FFFFFFF,
};

struct D3DXEFFECTDEFAULT {
    LPSTR pParamName;
    D3DXEFFECTDEFAULTTYPE Type;
    DWORD NumBytes;
    LPVOID pValue;
};

// The effect of one material: its file (null when the material had none) and its parameter
// defaults. Everything pointed to lives in the same buffer.
struct D3DXEFFECTINSTANCE {
    LPSTR pEffectFilename;
    DWORD NumDefaults;
    D3DXEFFECTDEFAULT* pDefaults;
};

static_assert(offsetof(D3DXEFFECTDEFAULT, NumBytes) == sizeof(void*) + 4);
static_assert(offsetof(D3DXEFFECTDEFAULT, pValue) == (sizeof(void*) == 8 ? 16 : 12));
static_assert(offsetof(D3DXEFFECTINSTANCE, pDefaults) == 2 * sizeof(void*));

struct ID3DXBuffer;
struct ID3DXBaseMesh;
struct ID3DXMesh;
using LPD3DXBUFFER = ID3DXBuffer*;
using LPD3DXBASEMESH = ID3DXBaseMesh*;
using LPD3DXMESH = ID3DXMesh*;

// No published values are used for these identifiers: they identify the interfaces within this
// library only.
inline constexpr IID IID_ID3DXBuffer = {
    0x5C7E1A20, 0x4B3D, 0x4E2A, {0x8F, 0x61, 0x2D, 0x9C, 0x47, 0x0B, 0x13, 0x01}};
inline constexpr IID IID_ID3DXBaseMesh = {
    0x5C7E1A20, 0x4B3D, 0x4E2A, {0x8F, 0x61, 0x2D, 0x9C, 0x47, 0x0B, 0x13, 0x02}};
inline constexpr IID IID_ID3DXMesh = {
    0x5C7E1A20, 0x4B3D, 0x4E2A, {0x8F, 0x61, 0x2D, 0x9C, 0x47, 0x0B, 0x13, 0x03}};

// A block of memory with its size, reference counted.
struct ID3DXBuffer : IUnknown {
    virtual LPVOID GetBufferPointer() noexcept = 0;
    virtual DWORD GetBufferSize() noexcept = 0;

protected:
    ~ID3DXBuffer() = default;
};

// An indexed triangle list in a vertex and an index buffer of one device, with one attribute
// id per face and a table of the faces of each id. The device is held for the mesh's life.
struct ID3DXBaseMesh : IUnknown {
    // Draws the faces carrying `attribId` with the mesh's declaration, vertex buffer (stream 0)
    // and index buffer: one draw when the attribute table is valid, otherwise one per run of
    // consecutive faces with that id. An id without faces draws nothing and succeeds. Returns
    // the last draw's result.
    virtual HRESULT DrawSubset(DWORD attribId) noexcept = 0;
    virtual DWORD GetNumFaces() noexcept = 0;
    virtual DWORD GetNumVertices() noexcept = 0;
    // 0 when the declaration has no FVF equivalent.
    virtual DWORD GetFVF() noexcept = 0;
    // Copies the declaration, end marker included. Null: D3DERR_INVALIDCALL.
    virtual HRESULT GetDeclaration(D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]) noexcept = 0;
    virtual DWORD GetNumBytesPerVertex() noexcept = 0;
    virtual DWORD GetOptions() noexcept = 0;
    virtual HRESULT GetDevice(IDirect3DDevice9** device) noexcept = 0;
    // CloneMesh with the declaration of an FVF code.
    virtual HRESULT CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice9* device,
                                 ID3DXMesh** cloneMesh) noexcept = 0;
    // A new mesh with the same faces, attributes and attribute table, the given options
    // (D3DXMESH_*, including D3DXMESH_VB_SHARE) and declaration (null: the mesh's own). Vertex
    // elements present in both declarations are converted element by element; others are
    // zero. D3DERR_INVALIDCALL for a bad declaration or options, a write-only source, a
    // 16-bit clone of a mesh with more than 65535 faces or vertices, or VB_SHARE with another
    // declaration or device.
    virtual HRESULT CloneMesh(DWORD options, const D3DVERTEXELEMENT9* declaration,
                              IDirect3DDevice9* device, ID3DXMesh** cloneMesh) noexcept = 0;
    // New references to the device buffers.
    virtual HRESULT GetVertexBuffer(IDirect3DVertexBuffer9** vertexBuffer) noexcept = 0;
    virtual HRESULT GetIndexBuffer(IDirect3DIndexBuffer9** indexBuffer) noexcept = 0;
    // Lock the whole buffer with `flags` | D3DLOCK_NOSYSLOCK.
    virtual HRESULT LockVertexBuffer(DWORD flags, LPVOID* data) noexcept = 0;
    virtual HRESULT UnlockVertexBuffer() noexcept = 0;
    virtual HRESULT LockIndexBuffer(DWORD flags, LPVOID* data) noexcept = 0;
    virtual HRESULT UnlockIndexBuffer() noexcept = 0;
    // Copies the table to `attribTable` (room for every record) and its length to
    // `attribTableSize`; either may be null.
    virtual HRESULT GetAttributeTable(D3DXATTRIBUTERANGE* attribTable,
                                      DWORD* attribTableSize) noexcept = 0;
    // Adjacency (three entries per face, the face across each edge or 0xFFFFFFFF) from point
    // representatives (one per vertex: the vertex standing for its position; null = each
    // vertex itself). Edges match when their corners have the same representatives.
    virtual HRESULT ConvertPointRepsToAdjacency(const DWORD* pointReps,
                                                DWORD* adjacency) noexcept = 0;
    // Point representatives from adjacency: corners that adjacent faces share along an edge
    // get the lowest vertex index among them.
    virtual HRESULT ConvertAdjacencyToPointReps(const DWORD* adjacency,
                                                DWORD* pointReps) noexcept = 0;
    // Adjacency with vertices whose positions differ by at most `epsilon` in each coordinate
    // taken as one point. A negative or NaN epsilon: D3DERR_INVALIDCALL.
    virtual HRESULT GenerateAdjacency(FLOAT epsilon, DWORD* adjacency) noexcept = 0;
    // Renames the elements of the declaration; the vertex size must stay the same.
    virtual HRESULT UpdateSemantics(D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]) noexcept = 0;

protected:
    ~ID3DXBaseMesh() = default;
};

struct ID3DXMesh : ID3DXBaseMesh {
    // The attribute ids, one per face, in system memory. Without D3DLOCK_READONLY in `flags`
    // the attribute table becomes invalid until the next sort or SetAttributeTable.
    virtual HRESULT LockAttributeBuffer(DWORD flags, DWORD** data) noexcept = 0;
    virtual HRESULT UnlockAttributeBuffer() noexcept = 0;
    // OptimizeInplace on a clone made with the D3DXMESH_* bits of `flags`; the source is left
    // as it is.
    virtual HRESULT Optimize(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                             DWORD* faceRemap, ID3DXBuffer** vertexRemap,
                             ID3DXMesh** optMesh) noexcept = 0;
    // D3DXMESHOPT_* only. Drops faces whose first index is the unused marker (0xFFFF or
    // 0xFFFFFFFF); ATTRSORT (implied by VERTEXCACHE and STRIPREORDER, which keep the order
    // within each id) sorts the faces by attribute id, stably, and builds the table. Without
    // IGNOREVERTS the vertices are reordered by first use, split between ids unless
    // DONOTSPLIT, and unused ones dropped with COMPACT. Adjacency moves with the faces
    // (`adjacencyIn` may be `adjacencyOut`). `faceRemap` receives the old number of each new
    // face, `vertexRemap` the old number of each new vertex. D3DERR_INVALIDCALL for other
    // flags, VERTEXCACHE with STRIPREORDER, or a write-only mesh;
    // D3DXERR_LOADEDMESHASNODATA when no face remains.
    virtual HRESULT OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                                    DWORD* faceRemap, ID3DXBuffer** vertexRemap) noexcept = 0;
    // Replaces the table and marks it valid; (null, 0) clears it. A record reaching past the
    // faces or vertices, or a table with a count of 0: D3DERR_INVALIDCALL.
    virtual HRESULT SetAttributeTable(const D3DXATTRIBUTERANGE* attribTable,
                                      DWORD attribTableSize) noexcept = 0;

protected:
    ~ID3DXMesh() = default;
};

// A zeroed buffer of `numBytes` bytes, count 1. Null out-pointer: D3DERR_INVALIDCALL.
HRESULT D3DXCreateBuffer(DWORD numBytes, ID3DXBuffer** buffer) noexcept;

// A mesh of `numFaces` triangles and `numVertices` vertices on `device`, with the buffers'
// pools and usages taken from `options`, zeroed indices and attributes, and no attribute
// table. D3DERR_INVALIDCALL for options outside 0x1CFFF, a null device or out-pointer, an
// invalid declaration (elements in stream 0 only), zero counts, or more than 65534 faces or
// vertices without D3DXMESH_32BIT. Device failures are passed on.
HRESULT D3DXCreateMesh(DWORD numFaces, DWORD numVertices, DWORD options,
                       const D3DVERTEXELEMENT9* declaration, IDirect3DDevice9* device,
                       ID3DXMesh** mesh) noexcept;
HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf,
                          IDirect3DDevice9* device, ID3DXMesh** mesh) noexcept;

// The declaration of an FVF code, elements packed in FVF order in stream 0, ended by
// D3DDECL_END(). D3DERR_INVALIDCALL for the bits 0x1, 0x2000 or 0x4000, more than 8 texture
// sets, XYZB5 without a last-beta flag, or a null array.
HRESULT D3DXDeclaratorFromFVF(DWORD fvf, D3DVERTEXELEMENT9 declarator[MAX_FVF_DECL_SIZE]) noexcept;
// The FVF code whose declaration is exactly `declarator` (same elements, offsets and order);
// D3DERR_INVALIDCALL when there is none.
HRESULT D3DXFVFFromDeclarator(const D3DVERTEXELEMENT9* declarator, DWORD* fvf) noexcept;
// The size of a vertex of `stream`: the end of its farthest element. 0 for a null array.
UINT D3DXGetDeclVertexSize(const D3DVERTEXELEMENT9* declaration, DWORD stream) noexcept;
// The number of elements before the end marker (at most MAXD3DDECLLENGTH are looked at).
UINT D3DXGetDeclLength(const D3DVERTEXELEMENT9* declaration) noexcept;
// The size of a vertex of an FVF code; 0 for a code without a declaration.
UINT D3DXGetFVFVertexSize(DWORD fvf) noexcept;
