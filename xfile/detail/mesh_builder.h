// Turns one Mesh data object and its children into a sorted device mesh, its adjacency and its
// materials.
#pragma once

#include "base/com.h"
#include "xfile/detail/material_records.h"
#include "xfile/detail/mesh_object.h"
#include "xfile/xfile_reader.h"

#include <cstdint>
#include <vector>

namespace halv::xfile::detail {

// What one load may build in all, so that references cannot multiply a small file into an
// unbounded amount of work.
struct LoadBudget {
    static constexpr std::uint64_t kMaxVertices = 2097152;
    static constexpr std::uint64_t kMaxTriangles = 2097152;
    std::uint64_t vertices = 0;
    std::uint64_t triangles = 0;
};

struct BuiltMesh {
    base::ComRef<MeshObject> mesh;
    std::vector<DWORD> adjacency; // three entries per face
    std::vector<MaterialRecord> materials;
};

// Builds `meshObject` (a Mesh) with `options`. D3DXERR_LOADEDMESHASNODATA for a mesh without
// vertices or faces, E_OUTOFMEMORY when the budget would be exceeded, otherwise the codes of
// the mesh rules (E_FAIL for short or inconsistent data, D3DERR_INVALIDCALL for inconsistent
// child data). *built is changed only on success.
[[nodiscard]] HRESULT buildMesh(ID3DXFileData* meshObject, DWORD options, IDirect3DDevice9* device,
                                LoadBudget* budget, BuiltMesh* built);

} // namespace halv::xfile::detail
