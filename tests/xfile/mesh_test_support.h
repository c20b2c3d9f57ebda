// Shortcuts for the mesh tests: a null device, loading .x text, and reading back what a mesh
// holds.
#pragma once

#include "base/com.h"
#include "gfx/device_factory.h"
#include "gfx/inspection.h"
#include "xfile/mesh.h"
#include "xfile/mesh_loader.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace halv::xfile::fixtures {

base::ComRef<IDirect3DDevice9> makeNullDevice(bool logCalls = false);

struct LoadResult {
    HRESULT result = E_FAIL;
    base::ComRef<ID3DXMesh> mesh;
    base::ComRef<ID3DXBuffer> adjacency;
    base::ComRef<ID3DXBuffer> materials;
    base::ComRef<ID3DXBuffer> effectInstances;
    DWORD materialCount = 0;
};

// D3DXLoadMeshFromXInMemory with every output requested.
LoadResult loadText(IDirect3DDevice9* device, std::string_view text, DWORD options = 0x110);

std::vector<DWORD> indicesOf(ID3DXMesh* mesh);
std::vector<DWORD> attributesOf(ID3DXMesh* mesh);
std::vector<D3DXATTRIBUTERANGE> attributeTableOf(ID3DXMesh* mesh);
std::vector<D3DVERTEXELEMENT9> declarationOf(ID3DXMesh* mesh);
std::vector<DWORD> bufferWords(ID3DXBuffer* buffer);

// One element of every vertex as four floats (the element's expansion); empty when the mesh
// has no such element.
std::vector<std::array<float, 4>> elementValues(ID3DXMesh* mesh, BYTE usage, BYTE usageIndex = 0);

// The draw calls a subset makes: "DrawIndexedPrimitive(...)" texts from the call log.
std::vector<std::string> drawsOf(ID3DXMesh* mesh, IDirect3DDevice9* device, DWORD attribId);

// A float in .x text: always with a full stop, never with an exponent.
std::string floatText(float value);

// A Mesh object in .x text: vertices (x, y, z), polygons, and extra children verbatim.
std::string meshText(const std::vector<std::array<float, 3>>& vertices,
                     const std::vector<std::vector<DWORD>>& faces,
                     const std::string& children = "");

inline std::string xfileText(const std::string& body) {
    return "xof 0303txt 0032\n" + body;
}

} // namespace halv::xfile::fixtures
