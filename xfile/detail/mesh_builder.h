// Turns one Mesh data object and its children into a sorted device mesh, its adjacency and its
// materials.
#pragma once

#include "base/com.h"
#include "xfile/detail/material_records.h"
#include "xfile/detail/memory_budget.h"
#include "xfile/detail/mesh_object.h"
#include "xfile/xfile_reader.h"

#include <cstdint>
#include <vector>

namespace halv::xfile::detail {

struct BuiltMesh {
    base::ComRef<MeshObject> mesh;
    std::vector<DWORD> adjacency; // three entries per face
    std::vector<MaterialRecord> materials;
};

// Builds `meshObject` (a Mesh) with `options`. D3DXERR_LOADEDMESHASNODATA for a mesh without
// vertices or faces, E_OUTOFMEMORY when the memory would pass `budget`, otherwise the codes of
// the mesh rules (E_FAIL for short or inconsistent data, D3DERR_INVALIDCALL for inconsistent
// child data). *built is changed only on success. What the built mesh holds stays counted in
// `budget`; the working arrays are given back.
[[nodiscard]] HRESULT buildMesh(ID3DXFileData* meshObject, DWORD options, IDirect3DDevice9* device,
                                MemoryBudget* budget, BuiltMesh* built);

} // namespace halv::xfile::detail
