// The common part of the mesh loaders: walking a parsed file's frames, building and
// transforming its meshes, and merging them into one.
#pragma once

#include "base/com.h"
#include "xfile/detail/mesh_builder.h"
#include "xfile/mesh.h"
#include "xfile/xfile_reader.h"

#include <span>

namespace halv::xfile::detail {

// Limits of the frame walk: references can make the tree far larger than the file. Memory is
// bounded by the load's budget; these bound the work and the stack.
inline constexpr int kMaxFrameDepth = 256;
// The walk visits at most 65,536 objects plus 256 per object of the file, and never more than
// 1,048,576.
inline constexpr std::uint64_t kMaxVisitedObjects = 1048576;
inline constexpr std::uint64_t kBaseVisitedObjects = 65536;
inline constexpr std::uint64_t kVisitsPerObject = 256;

// The visits the walk of `file` may make.
std::uint64_t visitLimit(ID3DXFileEnumObject* file);
inline constexpr std::size_t kMaxMeshes = 16384;

struct LoadedMesh {
    base::ComRef<ID3DXMesh> mesh;
    base::ComRef<ID3DXBuffer> adjacency;
    base::ComRef<ID3DXBuffer> materials;
    base::ComRef<ID3DXBuffer> effectInstances;
    DWORD materialCount = 0;
};

// What the caller asked for besides the mesh; buffers nobody wants are not made.
struct LoadRequest {
    bool adjacency = true;
    bool materials = true;
    bool effectInstances = true;
};

// Walks every top-level object of `file` and assembles the result. E_FAIL when the file holds
// no mesh with faces; otherwise the first failure of the walk, the builder or the merger.
[[nodiscard]] HRESULT assembleMesh(ID3DXFileEnumObject* file, DWORD options,
                                   IDirect3DDevice9* device, const LoadRequest& request,
                                   LoadedMesh* loaded);

// Merges `parts` in order: vertices, faces (indices offset by the vertices before them),
// attribute ids (offset by the materials before them), adjacency (offset by the faces before
// them), attribute tables and materials. With two parts or more, a part without materials
// brings the default material, so every id names a material and none is shared between
// parts. The layout is the parts' FVF codes combined when all have one, else their
// declarations merged. The merged mesh is counted in `budget` (E_OUTOFMEMORY when it does not
// fit). D3DXERR_INVALIDDATA for no parts, a part without a mesh, or more faces or vertices
// than 32 bits count.
[[nodiscard]] HRESULT mergeMeshes(std::span<BuiltMesh> parts, IDirect3DDevice9* device,
                                  MemoryBudget* budget, BuiltMesh* merged);

} // namespace halv::xfile::detail
