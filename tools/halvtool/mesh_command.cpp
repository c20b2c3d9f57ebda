// `halvtool mesh FILE.x|res:NAME [--obj OUT.obj]`: loads a .x file (text, binary or compressed)
// or an embedded "Data" resource the way the program loads its model (options 0x110, null
// device) and prints the mesh: counts, index width, layout, materials, attribute table and
// bounds. With --obj it also writes the loaded mesh, frame transforms applied, as Wavefront OBJ
// with the coordinates exactly as the mesh holds them (left-handed, v running down).
#include "base/com.h"
#include "gfx/device_factory.h"
#include "tools/halvtool/command.h"
#include "xfile/mesh_loader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace halv::tools {
namespace {

using base::ComRef;

constexpr DWORD kProgramOptions = D3DXMESH_SYSTEMMEM;

const char* typeName(BYTE type) {
    static const char* const kNames[] = {"FLOAT1",    "FLOAT2",   "FLOAT3",   "FLOAT4",  "D3DCOLOR",
                                         "UBYTE4",    "SHORT2",   "SHORT4",   "UBYTE4N", "SHORT2N",
                                         "SHORT4N",   "USHORT2N", "USHORT4N", "UDEC3",   "DEC3N",
                                         "FLOAT16_2", "FLOAT16_4"};
    return type < std::size(kNames) ? kNames[type] : "?";
}

const char* usageName(BYTE usage) {
    static const char* const kNames[] = {
        "POSITION", "BLENDWEIGHT", "BLENDINDICES", "NORMAL", "PSIZE", "TEXCOORD", "TANGENT",
        "BINORMAL", "TESSFACTOR",  "POSITIONT",    "COLOR",  "FOG",   "DEPTH",    "SAMPLE"};
    return usage < std::size(kNames) ? kNames[usage] : "?";
}

void printColor(const char* name, const D3DCOLORVALUE& color) {
    std::printf(" %s (%.3g, %.3g, %.3g, %.3g)", name, color.r, color.g, color.b, color.a);
}

// The FLOAT2/FLOAT3 element of `usage` in `declaration`, or null.
const D3DVERTEXELEMENT9* findFloats(const D3DVERTEXELEMENT9* declaration, BYTE usage, BYTE type) {
    for (UINT i = 0; i < D3DXGetDeclLength(declaration); ++i) {
        if (declaration[i].Usage == usage && declaration[i].UsageIndex == 0 &&
            declaration[i].Type == type) {
            return &declaration[i];
        }
    }
    return nullptr;
}

struct MeshData {
    std::vector<std::byte> vertices;
    std::vector<DWORD> indices;
    std::vector<DWORD> attributes;
    std::vector<D3DXATTRIBUTERANGE> table;
    D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE];
    DWORD stride = 0;
};

bool readMesh(ID3DXMesh* mesh, MeshData* data) {
    data->stride = mesh->GetNumBytesPerVertex();
    if (FAILED(mesh->GetDeclaration(data->declaration))) {
        return false;
    }
    void* locked = nullptr;
    if (FAILED(mesh->LockVertexBuffer(D3DLOCK_READONLY, &locked))) {
        return false;
    }
    data->vertices.resize(std::size_t{mesh->GetNumVertices()} * data->stride);
    std::memcpy(data->vertices.data(), locked, data->vertices.size());
    mesh->UnlockVertexBuffer();
    if (FAILED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &locked))) {
        return false;
    }
    const bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
    data->indices.resize(std::size_t{mesh->GetNumFaces()} * 3);
    for (std::size_t i = 0; i < data->indices.size(); ++i) {
        if (wide) {
            std::memcpy(&data->indices[i], static_cast<const char*>(locked) + i * 4, 4);
        } else {
            WORD index;
            std::memcpy(&index, static_cast<const char*>(locked) + i * 2, 2);
            data->indices[i] = index;
        }
    }
    mesh->UnlockIndexBuffer();
    DWORD* attributes = nullptr;
    if (FAILED(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes))) {
        return false;
    }
    data->attributes.assign(attributes, attributes + mesh->GetNumFaces());
    mesh->UnlockAttributeBuffer();
    DWORD count = 0;
    mesh->GetAttributeTable(nullptr, &count);
    data->table.resize(count);
    mesh->GetAttributeTable(data->table.data(), &count);
    return true;
}

std::array<float, 3> floatsAt(const MeshData& data, DWORD vertex,
                              const D3DVERTEXELEMENT9& element) {
    std::array<float, 3> value{};
    const std::size_t count = element.Type == D3DDECLTYPE_FLOAT2 ? 2 : 3;
    std::memcpy(value.data(),
                data.vertices.data() + std::size_t{vertex} * data.stride + element.Offset,
                count * sizeof(float));
    return value;
}

bool writeObj(const std::string& path, const MeshData& data, const D3DXMATERIAL* materials,
              DWORD materialCount) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) {
        return false;
    }
    const D3DVERTEXELEMENT9* position =
        findFloats(data.declaration, D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3);
    const D3DVERTEXELEMENT9* normal =
        findFloats(data.declaration, D3DDECLUSAGE_NORMAL, D3DDECLTYPE_FLOAT3);
    const D3DVERTEXELEMENT9* texture =
        findFloats(data.declaration, D3DDECLUSAGE_TEXCOORD, D3DDECLTYPE_FLOAT2);
    const auto vertexCount = static_cast<DWORD>(data.vertices.size() / data.stride);
    std::fprintf(out, "# Written by halvtool mesh: %u vertices, %zu faces\n", vertexCount,
                 data.attributes.size());
    for (DWORD v = 0; v < vertexCount; ++v) {
        const auto p = position != nullptr ? floatsAt(data, v, *position) : std::array<float, 3>{};
        std::fprintf(out, "v %.9g %.9g %.9g\n", p[0], p[1], p[2]);
    }
    if (texture != nullptr) {
        for (DWORD v = 0; v < vertexCount; ++v) {
            const auto t = floatsAt(data, v, *texture);
            std::fprintf(out, "vt %.9g %.9g\n", t[0], t[1]);
        }
    }
    if (normal != nullptr) {
        for (DWORD v = 0; v < vertexCount; ++v) {
            const auto n = floatsAt(data, v, *normal);
            std::fprintf(out, "vn %.9g %.9g %.9g\n", n[0], n[1], n[2]);
        }
    }
    DWORD group = std::numeric_limits<DWORD>::max();
    for (std::size_t face = 0; face < data.attributes.size(); ++face) {
        if (data.attributes[face] != group) {
            group = data.attributes[face];
            std::fprintf(out, "g subset%u\n", group);
            if (group < materialCount && materials[group].pTextureFilename != nullptr) {
                std::fprintf(out, "usemtl %s\n",
                             materials[group].pTextureFilename[0] != '\0'
                                 ? materials[group].pTextureFilename
                                 : "untextured");
            }
        }
        std::fprintf(out, "f");
        for (int k = 0; k < 3; ++k) {
            const DWORD index = data.indices[face * 3 + k] + 1;
            if (texture != nullptr && normal != nullptr) {
                std::fprintf(out, " %u/%u/%u", index, index, index);
            } else if (texture != nullptr) {
                std::fprintf(out, " %u/%u", index, index);
            } else if (normal != nullptr) {
                std::fprintf(out, " %u//%u", index, index);
            } else {
                std::fprintf(out, " %u", index);
            }
        }
        std::fprintf(out, "\n");
    }
    return std::fclose(out) == 0;
}

void printMesh(ID3DXMesh* mesh, const MeshData& data, const D3DXMATERIAL* materials,
               DWORD materialCount) {
    std::printf("vertices: %u\nfaces: %u\nindices: %s\nbytes per vertex: %u\n",
                mesh->GetNumVertices(), mesh->GetNumFaces(),
                (mesh->GetOptions() & D3DXMESH_32BIT) != 0 ? "32-bit" : "16-bit",
                mesh->GetNumBytesPerVertex());
    if (mesh->GetFVF() != 0) {
        std::printf("fvf: 0x%08X\n", mesh->GetFVF());
    } else {
        std::printf("fvf: none (declaration only)\n");
    }
    std::printf("declaration:\n");
    for (UINT i = 0; i < D3DXGetDeclLength(data.declaration); ++i) {
        const D3DVERTEXELEMENT9& e = data.declaration[i];
        std::printf("  offset %2u  %-9s %s%u\n", e.Offset, typeName(e.Type), usageName(e.Usage),
                    e.UsageIndex);
    }
    std::printf("materials: %u\n", materialCount);
    for (DWORD i = 0; i < materialCount; ++i) {
        const D3DMATERIAL9& m = materials[i].MatD3D;
        std::printf("  %u:", i);
        printColor("diffuse", m.Diffuse);
        printColor("ambient", m.Ambient);
        printColor("specular", m.Specular);
        printColor("emissive", m.Emissive);
        std::printf(" power %.3g texture ", m.Power);
        if (materials[i].pTextureFilename != nullptr) {
            std::printf("\"%s\"\n", materials[i].pTextureFilename);
        } else {
            std::printf("none\n");
        }
    }
    std::printf("attribute table:%s\n", data.table.empty() ? " none" : "");
    for (const D3DXATTRIBUTERANGE& r : data.table) {
        std::printf("  id %u: faces %u..%u (%u), vertices %u..%u (%u)\n", r.AttribId, r.FaceStart,
                    r.FaceStart + r.FaceCount - 1, r.FaceCount, r.VertexStart,
                    r.VertexStart + r.VertexCount - 1, r.VertexCount);
    }
    const D3DVERTEXELEMENT9* position =
        findFloats(data.declaration, D3DDECLUSAGE_POSITION, D3DDECLTYPE_FLOAT3);
    if (position != nullptr && mesh->GetNumVertices() > 0) {
        std::array<float, 3> low = floatsAt(data, 0, *position);
        std::array<float, 3> high = low;
        for (DWORD v = 1; v < mesh->GetNumVertices(); ++v) {
            const auto p = floatsAt(data, v, *position);
            for (int c = 0; c < 3; ++c) {
                low[c] = std::min(low[c], p[c]);
                high[c] = std::max(high[c], p[c]);
            }
        }
        std::printf("bounds: (%.6g, %.6g, %.6g) .. (%.6g, %.6g, %.6g)\n", low[0], low[1], low[2],
                    high[0], high[1], high[2]);
    }
}

int run(std::span<const std::string_view> arguments) {
    std::string source;
    std::string objPath;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--obj" && i + 1 < arguments.size()) {
            objPath = arguments[++i];
        } else if (source.empty() && !arguments[i].starts_with("--")) {
            source = arguments[i];
        } else {
            source.clear();
            break;
        }
    }
    if (source.empty()) {
        std::fprintf(stderr, "usage: halvtool mesh FILE.x|res:NAME [--obj OUT.obj]\n");
        return 2;
    }
    ComRef<IDirect3DDevice9> device;
    if (FAILED(gfx::createNullDevice({}, device.put()))) {
        std::fprintf(stderr, "halvtool mesh: no device\n");
        return 1;
    }
    ComRef<ID3DXMesh> mesh;
    ComRef<ID3DXBuffer> materials;
    DWORD materialCount = 0;
    HRESULT hr = E_FAIL;
    if (source.starts_with("res:")) {
        hr = D3DXLoadMeshFromXResource(nullptr, source.c_str() + 4, "Data", kProgramOptions,
                                       device.get(), nullptr, materials.put(), nullptr,
                                       &materialCount, mesh.put());
    } else {
        hr = D3DXLoadMeshFromXA(source.c_str(), kProgramOptions, device.get(), nullptr,
                                materials.put(), nullptr, &materialCount, mesh.put());
    }
    if (FAILED(hr)) {
        std::fprintf(stderr, "halvtool mesh: %s: error 0x%08X\n", source.c_str(),
                     static_cast<unsigned>(hr));
        return 1;
    }
    MeshData data;
    if (!readMesh(mesh.get(), &data)) {
        std::fprintf(stderr, "halvtool mesh: %s: cannot read the mesh back\n", source.c_str());
        return 1;
    }
    const auto* materialRecords = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
    std::printf("mesh: %s\n", source.c_str());
    printMesh(mesh.get(), data, materialRecords, materialCount);
    if (!objPath.empty()) {
        if (!writeObj(objPath, data, materialRecords, materialCount)) {
            std::fprintf(stderr, "halvtool mesh: cannot write %s\n", objPath.c_str());
            return 1;
        }
        std::printf("wrote %s\n", objPath.c_str());
    }
    return 0;
}

const CommandRegistration kRegistration({
    "mesh",
    "FILE.x|res:NAME [--obj OUT.obj]  load a model as the program does and describe it",
    run,
});

} // namespace
} // namespace halv::tools
