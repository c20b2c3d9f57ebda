// Feeds arbitrary bytes to D3DXLoadMeshFromXInMemory on a null device and checks what a
// successful load hands out: buffers whose pointers stay inside themselves, indices inside the
// vertices, an attribute table that describes the faces with one record per material, so that
// drawing subsets 0 to count - 1 draws every face once, adjacency naming real faces, and
// subsets that draw. Then clones, sorts and regenerates adjacency on the result.
#include "base/com.h"
#include "base/environment.h"
#include "gfx/device_factory.h"
#include "xfile/mesh_loader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using halv::base::ComRef;

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

IDirect3DDevice9* nullDevice() {
    // Process-wide: one device for every input.
    static IDirect3DDevice9* device = [] {
        IDirect3DDevice9* created = nullptr;
        check(SUCCEEDED(halv::gfx::createNullDevice({}, &created)));
        return created;
    }();
    return device;
}

bool inside(ID3DXBuffer* buffer, const void* pointer, std::size_t bytes) {
    const auto* begin = static_cast<const char*>(buffer->GetBufferPointer());
    const auto* at = static_cast<const char*>(pointer);
    return at >= begin && bytes <= buffer->GetBufferSize() &&
           at - begin <= static_cast<std::ptrdiff_t>(buffer->GetBufferSize() - bytes);
}

bool terminatedInside(ID3DXBuffer* buffer, const char* text) {
    if (!inside(buffer, text, 1)) {
        return false;
    }
    const auto* end =
        static_cast<const char*>(buffer->GetBufferPointer()) + buffer->GetBufferSize();
    return std::memchr(text, 0, static_cast<std::size_t>(end - text)) != nullptr;
}

void checkMaterials(ID3DXBuffer* materials, ID3DXBuffer* effects, DWORD count) {
    check(count >= 1);
    check(materials->GetBufferSize() >= count * sizeof(D3DXMATERIAL));
    check(effects->GetBufferSize() >= count * sizeof(D3DXEFFECTINSTANCE));
    const auto* records = static_cast<const D3DXMATERIAL*>(materials->GetBufferPointer());
    const auto* instances = static_cast<const D3DXEFFECTINSTANCE*>(effects->GetBufferPointer());
    for (DWORD i = 0; i < count; ++i) {
        check(records[i].pTextureFilename == nullptr ||
              terminatedInside(materials, records[i].pTextureFilename));
        const D3DXEFFECTINSTANCE& instance = instances[i];
        check(instance.pEffectFilename == nullptr ||
              terminatedInside(effects, instance.pEffectFilename));
        check(
            instance.NumDefaults == 0 ||
            inside(effects, instance.pDefaults, instance.NumDefaults * sizeof(D3DXEFFECTDEFAULT)));
        for (DWORD d = 0; d < instance.NumDefaults; ++d) {
            const D3DXEFFECTDEFAULT& value = instance.pDefaults[d];
            check(terminatedInside(effects, value.pParamName));
            check(value.NumBytes == 0 || inside(effects, value.pValue, value.NumBytes));
        }
    }
}

void checkMesh(ID3DXMesh* mesh, ID3DXBuffer* adjacency, DWORD materialCount) {
    const DWORD faces = mesh->GetNumFaces();
    const DWORD vertices = mesh->GetNumVertices();
    check(faces > 0 && vertices > 0);
    check(adjacency->GetBufferSize() == faces * 12);
    const auto* neighbours = static_cast<const DWORD*>(adjacency->GetBufferPointer());
    for (DWORD i = 0; i < faces * 3; ++i) {
        check(neighbours[i] == 0xFFFFFFFF || neighbours[i] < faces);
    }
    void* data = nullptr;
    check(SUCCEEDED(mesh->LockIndexBuffer(D3DLOCK_READONLY, &data)));
    const bool wide = (mesh->GetOptions() & D3DXMESH_32BIT) != 0;
    for (DWORD i = 0; i < faces * 3; ++i) {
        DWORD index = 0;
        std::memcpy(&index, static_cast<const char*>(data) + i * (wide ? 4 : 2), wide ? 4 : 2);
        check(index < vertices);
    }
    mesh->UnlockIndexBuffer();

    DWORD* attributes = nullptr;
    check(SUCCEEDED(mesh->LockAttributeBuffer(D3DLOCK_READONLY, &attributes)));
    DWORD count = 0;
    mesh->GetAttributeTable(nullptr, &count);
    check(count > 0);
    std::vector<D3DXATTRIBUTERANGE> table(count);
    mesh->GetAttributeTable(table.data(), &count);
    DWORD next = 0;
    for (const D3DXATTRIBUTERANGE& range : table) {
        check(range.FaceStart == next && range.FaceCount > 0);
        check(range.AttribId < materialCount);
        check(&range == table.data() || (&range)[-1].AttribId < range.AttribId);
        for (DWORD f = range.FaceStart; f < range.FaceStart + range.FaceCount; ++f) {
            check(attributes[f] == range.AttribId);
        }
        next += range.FaceCount;
    }
    check(next == faces);

    IDirect3DDevice9* device = nullDevice();
    check(SUCCEEDED(device->BeginScene()));
    for (const D3DXATTRIBUTERANGE& range : table) {
        check(SUCCEEDED(mesh->DrawSubset(range.AttribId)));
    }
    device->EndScene();
}

void exercise(ID3DXMesh* mesh) {
    const DWORD faces = mesh->GetNumFaces();
    std::vector<DWORD> adjacency(std::size_t{faces} * 3);
    check(SUCCEEDED(mesh->GenerateAdjacency(0.001f, adjacency.data())));
    std::vector<DWORD> reps(mesh->GetNumVertices());
    check(SUCCEEDED(mesh->ConvertAdjacencyToPointReps(adjacency.data(), reps.data())));
    ComRef<ID3DXMesh> clone;
    check(SUCCEEDED(mesh->CloneMeshFVF(D3DXMESH_32BIT | D3DXMESH_SYSTEMMEM,
                                       D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, nullDevice(),
                                       clone.put())));
    ComRef<ID3DXMesh> split;
    const HRESULT hr = clone->Optimize(D3DXMESHOPT_ATTRSORT | D3DXMESH_32BIT, adjacency.data(),
                                       adjacency.data(), nullptr, nullptr, split.put());
    check(SUCCEEDED(hr));
}

} // namespace

// A file whose references repeat frames a million times frees a million small objects per
// input; AddressSanitizer's default quarantine of 256 MiB of freed blocks then fills the RSS
// limit by itself. A smaller one still catches uses after free within an input.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=64";
}

// Each input may take a load's whole memory budget; under AddressSanitizer the many small
// blocks of a file of thousands of meshes cost several times what they do in a plain build. A
// ceiling of 16 MiB keeps a run inside its RSS limit and reaches the budget's failure paths
// more often.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static const halv::base::MapEnvironment registry{{"D3DXFileMemoryCeilingMB", "16"}};
    halv::base::installEnvironment(&registry);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 0xFFFFFFFFu) {
        return 0;
    }
    ComRef<ID3DXMesh> mesh;
    ComRef<ID3DXBuffer> adjacency;
    ComRef<ID3DXBuffer> materials;
    ComRef<ID3DXBuffer> effects;
    DWORD count = 0;
    const HRESULT hr = D3DXLoadMeshFromXInMemory(data, static_cast<DWORD>(size), D3DXMESH_SYSTEMMEM,
                                                 nullDevice(), adjacency.put(), materials.put(),
                                                 effects.put(), &count, mesh.put());
    if (FAILED(hr)) {
        check(!mesh && !adjacency && !materials && !effects && count == 0);
        return 0;
    }
    checkMaterials(materials.get(), effects.get(), count);
    checkMesh(mesh.get(), adjacency.get(), count);
    exercise(mesh.get());
    return 0;
}
