// The common part of the mesh loaders: walking a parsed file's frames, building and
// transforming its meshes, and merging them into one.
#pragma once

#include "base/com.h"
#include "xfile/detail/mesh_builder.h"
#include "xfile/mesh.h"
#include "xfile/xfile_reader.h"

#include <span>

namespace halv::xfile::detail {

// Limits of the frame walk: references can make the tree far larger than the file.
inline constexpr int kMaxFrameDepth = 256;
inline constexpr std::uint64_t kMaxVisitedObjects = 1048576;
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
// them), attribute tables and materials. The layout is the parts' FVF codes combined when all
// have one, else their declarations merged. D3DXERR_INVALIDDATA for no parts or a part
// without a mesh.
[[nodiscard]] HRESULT mergeMeshes(std::span<BuiltMesh> parts, IDirect3DDevice9* device,
                                  BuiltMesh* merged);

} // namespace halv::xfile::detail
