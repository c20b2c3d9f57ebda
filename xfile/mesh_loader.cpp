// The mesh loaders: the frame walker with its transforms, the merger of several meshes, and the
// D3DXLoadMeshFromX* entry points.
#include "xfile/mesh_loader.h"

#include "base/allocation_guard.h"
#include "base/bytes.h"
#include "base/debug_output.h"
#include "math/vector_math.h"
#include "xfile/detail/mesh_assembly.h"
#include "xfile/detail/parse_context.h"
#include "xfile/standard_templates.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace halv::xfile::detail {
namespace {

using base::ComRef;

// A fixed limit stopped the load: says which on the debugger channel.
HRESULT limitReached(const char* what) {
    OutputDebugStringA((std::string("D3DX: (ERROR) .x load stopped: ") + what + "\r\n").c_str());
    return E_FAIL;
}

HRESULT overBudget() {
    OutputDebugStringA("D3DX: (ERROR) .x load stopped: its meshes need more memory than a file "
                       "of this size may take\r\n");
    return E_OUTOFMEMORY;
}

constexpr std::uint64_t kPartOverhead = 2048;

class Walker {
public:
    Walker(DWORD options, IDirect3DDevice9* device, const MemoryBudget& budget,
           std::uint64_t visitLimit)
        : mOptions(options)
        , mDevice(device)
        , mBudget(budget)
        , mVisitLimit(visitLimit) {}

    // Visits `object` with `transform`, the transform of the frame it stands in.
    HRESULT walk(ID3DXFileData* object, D3DXMATRIX* transform, int depth);

    std::vector<BuiltMesh>& parts() { return mParts; }
    MemoryBudget& budget() { return mBudget; }

private:
    HRESULT addMesh(ID3DXFileData* object, const D3DXMATRIX& transform);

    DWORD mOptions;
    IDirect3DDevice9* mDevice;
    MemoryBudget mBudget;
    std::uint64_t mVisitLimit;
    std::uint64_t mVisits = 0;
    std::vector<BuiltMesh> mParts;
};

HRESULT Walker::walk(ID3DXFileData* object, D3DXMATRIX* transform, int depth) {
    if (depth > kMaxFrameDepth) {
        return limitReached("frames nest deeper than 256 levels");
    }
    if (++mVisits > mVisitLimit) {
        return limitReached("references repeat objects more than 65,536 times plus 256 times "
                            "per object of the file (at most 1,048,576)");
    }
    GUID type = GUID_NULL;
    object->GetType(&type);
    if (type == TID_D3DRMFrame) {
        // A frame's matrix applies to the children that follow it.
        D3DXMATRIX frame = *transform;
        SIZE_T count = 0;
        object->GetChildren(&count);
        for (SIZE_T i = 0; i < count; ++i) {
            ComRef<ID3DXFileData> child;
            HRESULT hr = object->GetChild(i, child.put());
            if (SUCCEEDED(hr)) {
                hr = walk(child.get(), &frame, depth + 1);
            }
            if (FAILED(hr)) {
                return hr;
            }
        }
        return D3D_OK;
    }
    if (type == TID_D3DRMFrameTransformMatrix) {
        SIZE_T size = 0;
        LPCVOID data = nullptr;
        if (FAILED(object->Lock(&size, &data)) || size < 64) {
            return E_FAIL;
        }
        const std::span<const std::byte> bytes(static_cast<const std::byte*>(data), size);
        D3DXMATRIX local;
        for (int i = 0; i < 16; ++i) {
            local.m[i / 4][i % 4] = base::readLEFloat(bytes, static_cast<std::size_t>(i) * 4);
        }
        object->Unlock();
        // The child's own matrix first, then what the parents add.
        D3DXMatrixMultiply(transform, &local, transform);
        return D3D_OK;
    }
    if (type == TID_D3DRMMesh) {
        return addMesh(object, *transform);
    }
    return D3D_OK;
}

HRESULT Walker::addMesh(ID3DXFileData* object, const D3DXMATRIX& transform) {
    if (mParts.size() >= kMaxMeshes) {
        return limitReached("more than 16384 meshes");
    }
    // What every kept part costs besides its arrays: the mesh object, its device buffers and
    // declaration, and its lists.
    if (!mBudget.take(kPartOverhead)) {
        return overBudget();
    }
    BuiltMesh part;
    HRESULT hr = buildMesh(object, mOptions, mDevice, &mBudget, &part);
    if (hr == E_OUTOFMEMORY) {
        return overBudget();
    }
    if (hr == D3DXERR_LOADEDMESHASNODATA) {
        mBudget.give(kPartOverhead);
        return D3D_OK;
    }
    if (FAILED(hr)) {
        return hr;
    }
    // Positions as points, normals as directions (renormalised); other elements as they are.
    const Declaration& layout = part.mesh->declaration();
    const D3DVERTEXELEMENT9* position = layout.find(D3DDECLUSAGE_POSITION, 0);
    const D3DVERTEXELEMENT9* normal = layout.find(D3DDECLUSAGE_NORMAL, 0);
    if (position != nullptr && position->Type != D3DDECLTYPE_FLOAT3) {
        position = nullptr;
    }
    if (normal != nullptr && normal->Type != D3DDECLTYPE_FLOAT3) {
        normal = nullptr;
    }
    LPVOID locked = nullptr;
    hr = part.mesh->LockVertexBuffer(D3DLOCK_NOSYSLOCK, &locked);
    if (FAILED(hr)) {
        return hr;
    }
    auto* bytes = static_cast<std::byte*>(locked);
    for (DWORD v = 0; v < part.mesh->GetNumVertices(); ++v) {
        std::byte* vertex = bytes + std::size_t{v} * layout.vertexSize;
        D3DXVECTOR3 value;
        if (position != nullptr) {
            std::memcpy(&value, vertex + position->Offset, sizeof value);
            D3DXVec3TransformCoord(&value, &value, &transform);
            std::memcpy(vertex + position->Offset, &value, sizeof value);
        }
        if (normal != nullptr) {
            std::memcpy(&value, vertex + normal->Offset, sizeof value);
            D3DXVec3TransformNormal(&value, &value, &transform);
            D3DXVec3Normalize(&value, &value);
            std::memcpy(vertex + normal->Offset, &value, sizeof value);
        }
    }
    part.mesh->UnlockVertexBuffer();
    mParts.push_back(std::move(part));
    return D3D_OK;
}

// Two FVF codes as one: the larger blend count, every component either has, the larger
// texture set count with each set as wide as the wider of the two.
DWORD combineFvf(DWORD a, DWORD b) {
    constexpr DWORD kComponents = D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                                  D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR;
    DWORD result = std::max(a & D3DFVF_POSITION_MASK, b & D3DFVF_POSITION_MASK);
    result |= (a | b) & kComponents;
    const UINT setsA = fvfTextureCount(a);
    const UINT setsB = fvfTextureCount(b);
    const UINT sets = std::max(setsA, setsB);
    for (UINT set = 0; set < sets && set < 8; ++set) {
        const UINT floats = std::max(set < setsA ? fvfTextureFloats(a, set) : 0,
                                     set < setsB ? fvfTextureFloats(b, set) : 0);
        constexpr DWORD kFormat[] = {0, D3DFVF_TEXTUREFORMAT1, D3DFVF_TEXTUREFORMAT2,
                                     D3DFVF_TEXTUREFORMAT3, D3DFVF_TEXTUREFORMAT4};
        result |= kFormat[floats] << (16 + 2 * set);
    }
    return result | (sets << D3DFVF_TEXCOUNT_SHIFT);
}

// A's elements, then those of B that A lacks.
HRESULT mergeDeclarations(const Declaration& a, const Declaration& b, Declaration* merged) {
    Declaration result = a;
    for (UINT i = 0; i < b.length; ++i) {
        const D3DVERTEXELEMENT9& element = b.elements[i];
        if (result.find(element.Usage, element.UsageIndex) != nullptr) {
            continue;
        }
        if (!appendElement(&result, element.Type, element.Method, element.Usage,
                           element.UsageIndex)) {
            return D3DERR_INVALIDCALL;
        }
    }
    *merged = result;
    return D3D_OK;
}

} // namespace

std::uint64_t visitLimit(ID3DXFileEnumObject* file) {
    const std::uint64_t objects = objectCount(file);
    if (objects == 0) {
        return kMaxVisitedObjects;
    }
    return std::min(kMaxVisitedObjects, kBaseVisitedObjects + kVisitsPerObject * objects);
}

HRESULT mergeMeshes(std::span<BuiltMesh> parts, IDirect3DDevice9* device, MemoryBudget* budget,
                    BuiltMesh* merged) {
    if (parts.empty() || device == nullptr || budget == nullptr ||
        std::any_of(parts.begin(), parts.end(), [](const BuiltMesh& part) { return !part.mesh; })) {
        return D3DXERR_INVALIDDATA;
    }
    if (parts.size() == 1) {
        *merged = std::move(parts[0]);
        return D3D_OK;
    }
    // The layout, options and sizes the meshes come to when merged one after another.
    Declaration layout = parts[0].mesh->declaration();
    DWORD fvf = parts[0].mesh->GetFVF();
    DWORD options = parts[0].mesh->GetOptions();
    std::uint64_t faces = 0;
    std::uint64_t vertices = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        MeshObject& part = *parts[i].mesh.get();
        faces += part.GetNumFaces();
        vertices += part.GetNumVertices();
        options |= part.GetOptions() & D3DXMESH_32BIT;
        if (i == 0) {
            continue;
        }
        const DWORD partFvf = part.GetFVF();
        HRESULT hr = D3D_OK;
        if (fvf != 0 && partFvf != 0) {
            fvf = combineFvf(fvf, partFvf);
            hr = declarationFromFvf(fvf, &layout);
        } else if (!(layout == part.declaration())) {
            hr = mergeDeclarations(layout, part.declaration(), &layout);
            fvf = fvfFromDeclaration(layout);
        }
        if (FAILED(hr)) {
            return hr;
        }
    }
    if (faces > 0xFFFFFFFFu || vertices > 0xFFFFFFFFu) {
        limitReached("the meshes together hold more than 2^32 - 1 faces or vertices");
        return D3DXERR_INVALIDDATA;
    }
    if (faces > kMaxFaces16 || vertices > kMaxVertices16) {
        options |= D3DXMESH_32BIT;
    }
    // The merged mesh next to its parts, and the index and adjacency lists that fill it.
    if (!budget->take(vertices * layout.vertexSize + faces * (12 + 4 + 12 + 12))) {
        return overBudget();
    }

    ComRef<MeshObject> result;
    HRESULT hr = MeshObject::create(static_cast<DWORD>(faces), static_cast<DWORD>(vertices),
                                    options, layout, device, nullptr, &result);
    if (FAILED(hr)) {
        return hr;
    }
    std::vector<DWORD> indices;
    indices.reserve(static_cast<std::size_t>(faces) * 3);
    std::vector<DWORD> adjacency;
    adjacency.reserve(static_cast<std::size_t>(faces) * 3);
    std::vector<D3DXATTRIBUTERANGE> table;
    bool tableValid = true;
    std::vector<MaterialRecord> materials;
    // Each part's ids name its own materials, after those of the parts before it. Where some
    // part has materials, a part without gets the default one, so that its ids name a material
    // of its own instead of the next part's first or none at all. Where none has, every face
    // keeps id 0 and the one default material the loader adds.
    const bool anyMaterials = std::any_of(
        parts.begin(), parts.end(), [](const BuiltMesh& part) { return !part.materials.empty(); });
    for (BuiltMesh& part : parts) {
        if (anyMaterials && part.materials.empty()) {
            part.materials.push_back(defaultMaterial());
        }
    }
    std::vector<DWORD>& attributes = result->attributes();

    LPVOID locked = nullptr;
    hr = result->LockVertexBuffer(0, &locked);
    if (FAILED(hr)) {
        return hr;
    }
    DWORD faceBase = 0;
    DWORD vertexBase = 0;
    DWORD materialBase = 0;
    for (BuiltMesh& part : parts) {
        MeshObject& mesh = *part.mesh.get();
        LPVOID source = nullptr;
        hr = mesh.LockVertexBuffer(D3DLOCK_READONLY, &source);
        if (FAILED(hr)) {
            break;
        }
        const VertexConverter converter(mesh.declaration(), layout);
        for (DWORD v = 0; v < mesh.GetNumVertices(); ++v) {
            converter.convert(static_cast<const std::byte*>(source) +
                                  std::size_t{v} * mesh.declaration().vertexSize,
                              static_cast<std::byte*>(locked) +
                                  std::size_t{vertexBase + v} * layout.vertexSize);
        }
        mesh.UnlockVertexBuffer();
        std::vector<DWORD> partIndices;
        hr = mesh.readIndices(&partIndices);
        if (FAILED(hr)) {
            break;
        }
        for (DWORD index : partIndices) {
            indices.push_back(index + vertexBase);
        }
        for (std::size_t f = 0; f < mesh.GetNumFaces(); ++f) {
            attributes[faceBase + f] = mesh.attributes()[f] + materialBase;
        }
        for (std::size_t i = 0; i < std::size_t{mesh.GetNumFaces()} * 3; ++i) {
            const DWORD neighbour = i < part.adjacency.size() ? part.adjacency[i] : 0xFFFFFFFF;
            adjacency.push_back(neighbour == 0xFFFFFFFF ? neighbour : neighbour + faceBase);
        }
        // Each part is sorted and its ids come after the previous parts' ids, so the tables
        // line up one after another, one record per id.
        tableValid = tableValid && mesh.attributeTableValid();
        for (const D3DXATTRIBUTERANGE& record : mesh.attributeTable()) {
            const D3DXATTRIBUTERANGE moved{record.AttribId + materialBase,
                                           record.FaceStart + faceBase, record.FaceCount,
                                           record.VertexStart + vertexBase, record.VertexCount};
            if (table.empty() || moved.AttribId > table.back().AttribId) {
                table.push_back(moved);
                continue;
            }
            D3DXATTRIBUTERANGE& last = table.back();
            if (moved.AttribId == last.AttribId &&
                moved.FaceStart == last.FaceStart + last.FaceCount) {
                // Parts without materials one after another: their faces form one range.
                const DWORD vertexEnd = std::max(last.VertexStart + last.VertexCount,
                                                 moved.VertexStart + moved.VertexCount);
                last.VertexStart = std::min(last.VertexStart, moved.VertexStart);
                last.VertexCount = vertexEnd - last.VertexStart;
                last.FaceCount += moved.FaceCount;
            } else {
                // One record per id or none: without a table each subset is drawn run by run.
                tableValid = false;
            }
        }
        materials.insert(materials.end(), std::make_move_iterator(part.materials.begin()),
                         std::make_move_iterator(part.materials.end()));
        faceBase += mesh.GetNumFaces();
        vertexBase += mesh.GetNumVertices();
        materialBase += static_cast<DWORD>(part.materials.size());
    }
    result->UnlockVertexBuffer();
    if (FAILED(hr)) {
        return hr;
    }
    hr = result->writeIndices(indices);
    if (FAILED(hr)) {
        return hr;
    }
    if (tableValid) {
        result->attributeTable() = std::move(table);
        result->setAttributeTableValid(true);
    }
    merged->mesh = std::move(result);
    merged->adjacency = std::move(adjacency);
    merged->materials = std::move(materials);
    return D3D_OK;
}

HRESULT assembleMesh(ID3DXFileEnumObject* file, DWORD options, IDirect3DDevice9* device,
                     const LoadRequest& request, LoadedMesh* loaded) {
    Walker walker(options, device, remainingBudget(file), visitLimit(file));
    SIZE_T count = 0;
    file->GetChildren(&count);
    for (SIZE_T i = 0; i < count; ++i) {
        ComRef<ID3DXFileData> object;
        HRESULT hr = file->GetChild(i, object.put());
        if (FAILED(hr)) {
            return hr;
        }
        D3DXMATRIX transform;
        D3DXMatrixIdentity(&transform);
        hr = walker.walk(object.get(), &transform, 0);
        if (FAILED(hr)) {
            return hr;
        }
    }
    if (walker.parts().empty()) {
        return E_FAIL;
    }
    BuiltMesh merged;
    HRESULT hr = mergeMeshes(walker.parts(), device, &walker.budget(), &merged);
    if (FAILED(hr)) {
        return hr;
    }
    if (merged.materials.empty()) {
        merged.materials.push_back(defaultMaterial());
    }
    LoadedMesh result;
    result.materialCount = static_cast<DWORD>(merged.materials.size());
    if (request.adjacency) {
        hr = D3DXCreateBuffer(static_cast<DWORD>(merged.adjacency.size() * sizeof(DWORD)),
                              result.adjacency.put());
        if (FAILED(hr)) {
            return hr;
        }
        std::memcpy(result.adjacency->GetBufferPointer(), merged.adjacency.data(),
                    merged.adjacency.size() * sizeof(DWORD));
    }
    if (request.materials) {
        hr = makeMaterialBuffer(merged.materials, result.materials.put());
        if (FAILED(hr)) {
            return hr;
        }
    }
    if (request.effectInstances) {
        hr = makeEffectInstanceBuffer(merged.materials, result.effectInstances.put());
        if (FAILED(hr)) {
            return hr;
        }
    }
    result.mesh = ComRef<ID3DXMesh>(merged.mesh.detach());
    *loaded = std::move(result);
    return D3D_OK;
}

} // namespace halv::xfile::detail

namespace {

using halv::base::ComRef;

HRESULT loadMesh(LPCVOID source, D3DXF_FILELOADOPTIONS loadType, DWORD options,
                 IDirect3DDevice9* device, ID3DXBuffer** adjacency, ID3DXBuffer** materials,
                 ID3DXBuffer** effectInstances, DWORD* numMaterials, ID3DXMesh** mesh) noexcept {
    if (mesh == nullptr || device == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return halv::base::guardAllocation([&] {
        ComRef<ID3DXFile> reader;
        HRESULT hr = D3DXFileCreate(reader.put());
        if (SUCCEEDED(hr)) {
            hr = halv::xfile::registerStandardTemplates(reader.get());
        }
        ComRef<ID3DXFileEnumObject> file;
        if (SUCCEEDED(hr)) {
            hr = reader->CreateEnumObject(source, loadType, file.put());
        }
        if (FAILED(hr)) {
            return hr;
        }
        halv::xfile::detail::LoadRequest request;
        request.adjacency = adjacency != nullptr;
        request.materials = materials != nullptr;
        request.effectInstances = effectInstances != nullptr;
        halv::xfile::detail::LoadedMesh loaded;
        hr = halv::xfile::detail::assembleMesh(file.get(), options, device, request, &loaded);
        if (FAILED(hr)) {
            return hr;
        }
        if (adjacency != nullptr) {
            *adjacency = loaded.adjacency.detach();
        }
        if (materials != nullptr) {
            *materials = loaded.materials.detach();
        }
        if (effectInstances != nullptr) {
            *effectInstances = loaded.effectInstances.detach();
        }
        if (numMaterials != nullptr) {
            *numMaterials = loaded.materialCount;
        }
        *mesh = loaded.mesh.detach();
        return D3D_OK;
    });
}

} // namespace

HRESULT D3DXLoadMeshFromXResource(HMODULE module, LPCSTR name, LPCSTR type, DWORD options,
                                  IDirect3DDevice9* device, ID3DXBuffer** adjacency,
                                  ID3DXBuffer** materials, ID3DXBuffer** effectInstances,
                                  DWORD* numMaterials, ID3DXMesh** mesh) noexcept {
    if (mesh == nullptr || name == nullptr || type == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const D3DXF_FILELOADRESOURCE source{module, name, type};
    return loadMesh(&source, D3DXF_FILELOAD_FROMRESOURCE, options, device, adjacency, materials,
                    effectInstances, numMaterials, mesh);
}

HRESULT D3DXLoadMeshFromXInMemory(LPCVOID memory, DWORD sizeOfMemory, DWORD options,
                                  IDirect3DDevice9* device, ID3DXBuffer** adjacency,
                                  ID3DXBuffer** materials, ID3DXBuffer** effectInstances,
                                  DWORD* numMaterials, ID3DXMesh** mesh) noexcept {
    if (memory == nullptr || sizeOfMemory == 0) {
        return D3DERR_INVALIDCALL;
    }
    const D3DXF_FILELOADMEMORY source{memory, sizeOfMemory};
    return loadMesh(&source, D3DXF_FILELOAD_FROMMEMORY, options, device, adjacency, materials,
                    effectInstances, numMaterials, mesh);
}

HRESULT D3DXLoadMeshFromXA(LPCSTR filename, DWORD options, IDirect3DDevice9* device,
                           ID3DXBuffer** adjacency, ID3DXBuffer** materials,
                           ID3DXBuffer** effectInstances, DWORD* numMaterials,
                           ID3DXMesh** mesh) noexcept {
    if (filename == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return loadMesh(filename, D3DXF_FILELOAD_FROMFILE, options, device, adjacency, materials,
                    effectInstances, numMaterials, mesh);
}

HRESULT D3DXLoadMeshFromXW(LPCWSTR filename, DWORD options, IDirect3DDevice9* device,
                           ID3DXBuffer** adjacency, ID3DXBuffer** materials,
                           ID3DXBuffer** effectInstances, DWORD* numMaterials,
                           ID3DXMesh** mesh) noexcept {
    if (filename == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return loadMesh(filename, D3DXF_FILELOAD_FROMWFILE, options, device, adjacency, materials,
                    effectInstances, numMaterials, mesh);
}
