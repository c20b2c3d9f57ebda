// The mesh builder: reads a Mesh and its children (normals, texture coordinates, vertex colours,
// materials, duplication indices, adjacency, extra vertex data), splits vertices whose corners
// carry different normals, triangulates the polygons as fans, and fills a device mesh.
#include "xfile/detail/mesh_builder.h"

#include "base/bytes.h"
#include "base/locale.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <span>
#include <string>

namespace halv::xfile::detail {
namespace {

using base::ComRef;
using base::fits;
using base::readLE32;
using base::readLEFloat;

constexpr DWORD kRemoved = 0xFFFFFFFF;

struct BuildVertex {
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    D3DCOLORVALUE color{1.0f, 1.0f, 1.0f, 0.0f};
    float u = 0.0f;
    float v = 0.0f;
    D3DXVECTOR3 normal{0.0f, 0.0f, 0.0f};
    DWORD representative = 0;
    DWORD ring = 0; // next copy of the same vertex; a ring closes on itself
    DWORD source = 0;
    bool assigned = false;
    WORD group = 0;
    WORD contributions = 0;
};

struct BuildTriangle {
    DWORD v[3];
    DWORD material = 0;
};

struct NormalCorner {
    DWORD triangle;
    DWORD corner;
    D3DXVECTOR3 normal;
};

// The extra per-vertex data of an FVFData child: rows of `stride` bytes, one per file vertex.
struct FvfRows {
    DWORD fvf = 0;
    std::size_t stride = 0;
    std::span<const std::byte> rows;
};

// The elements of a DeclData child and its rows.
struct DeclRows {
    std::vector<D3DVERTEXELEMENT9> elements; // offsets within a row
    std::size_t elementBytes = 0;
    std::size_t stride = 0;
    std::span<const std::byte> rows;
};

std::span<const std::byte> lockData(ID3DXFileData* object) {
    SIZE_T size = 0;
    LPCVOID data = nullptr;
    if (FAILED(object->Lock(&size, &data)) || data == nullptr) {
        return {};
    }
    object->Unlock();
    return {static_cast<const std::byte*>(data), size};
}

GUID typeOf(ID3DXFileData* object) {
    GUID type = GUID_NULL;
    object->GetType(&type);
    return type;
}

D3DXVECTOR3 readVector(std::span<const std::byte> data, std::size_t offset) {
    return {readLEFloat(data, offset), readLEFloat(data, offset + 4),
            readLEFloat(data, offset + 8)};
}

// A zero-terminated string starting at `offset`; false when there is no terminator.
bool readString(std::span<const std::byte> data, std::size_t offset, std::string* text,
                std::size_t* next) {
    if (offset > data.size()) {
        return false;
    }
    const auto* begin = reinterpret_cast<const char*>(data.data()) + offset;
    const auto* end = static_cast<const char*>(std::memchr(begin, 0, data.size() - offset));
    if (end == nullptr) {
        return false;
    }
    text->assign(begin, end);
    *next = offset + text->size() + 1;
    return true;
}

// A colour component rounded to 8 bits the way vertex colours are stored.
float quantiseColor(float value) {
    if (!(value > 0.0f)) {
        return 0.0f;
    }
    if (value >= 1.0f) {
        return 1.0f;
    }
    return static_cast<float>(static_cast<int>(value * 255.0f + 0.5f)) / 255.0f;
}

DWORD packColor(const D3DCOLORVALUE& color) {
    const auto byte = [](float value) -> DWORD {
        if (!(value > 0.0f)) {
            return 0;
        }
        return value >= 1.0f ? 255 : static_cast<DWORD>(value * 255.0f + 0.5f);
    };
    return (byte(color.a) << 24) | (byte(color.r) << 16) | (byte(color.g) << 8) | byte(color.b);
}

bool sameColor(const D3DCOLORVALUE& a, const D3DCOLORVALUE& b) {
    return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

class MeshBuilder {
public:
    MeshBuilder(DWORD options, IDirect3DDevice9* device, MemoryBudget* budget)
        : mOptions(options)
        , mDevice(device)
        , mBudget(budget) {}
    ~MeshBuilder() { mBudget->give(mScratch); }
    MeshBuilder(const MeshBuilder&) = delete;
    MeshBuilder& operator=(const MeshBuilder&) = delete;

    HRESULT build(ID3DXFileData* meshObject, BuiltMesh* built);

private:
    HRESULT readMesh(std::span<const std::byte> data);
    HRESULT readChild(ID3DXFileData* child);
    HRESULT readTextureCoords(std::span<const std::byte> data);
    HRESULT readVertexColors(std::span<const std::byte> data);
    HRESULT readNormals(std::span<const std::byte> data);
    HRESULT readMaterialList(ID3DXFileData* list);
    HRESULT readMaterial(ID3DXFileData* object, MaterialRecord* record);
    HRESULT readEffectInstance(ID3DXFileData* object, MaterialRecord* record);
    HRESULT readDuplicationIndices(std::span<const std::byte> data);
    HRESULT readFaceAdjacency(std::span<const std::byte> data);
    HRESULT readFvfData(std::span<const std::byte> data);
    HRESULT readDeclData(std::span<const std::byte> data);

    // Counts working memory against the budget until the build ends.
    bool takeScratch(std::uint64_t bytes);
    HRESULT makeLayout();
    // Both fail only when a vertex copy would pass the budget.
    bool generateNormals();
    bool assignNormals();
    bool addCopy(DWORD vertex, const D3DXVECTOR3& normal, WORD group, DWORD* index);
    HRESULT fillMesh(MeshObject* mesh, std::span<const DWORD> liveTriangles);
    HRESULT makeAdjacency(MeshObject* mesh, std::span<const DWORD> newNumber,
                          std::vector<DWORD>* adjacency);

    DWORD mOptions;
    IDirect3DDevice9* mDevice;
    MemoryBudget* mBudget;
    std::uint64_t mScratch = 0;

    DWORD mFileVertices = 0;
    std::vector<DWORD> mFaceSizes;      // indices of each polygon
    std::vector<DWORD> mFirstTriangle;  // first triangle of each polygon
    std::vector<BuildVertex> mVertices; // file vertices, then copies
    std::vector<BuildTriangle> mTriangles;
    std::vector<NormalCorner> mCorners;
    std::vector<MaterialRecord> mMaterials;
    bool mHasNormals = false;
    bool mTextured = false;
    bool mColored = false;
    bool mHasDuplicates = false;
    std::optional<std::span<const std::byte>> mFaceAdjacency; // the index words
    std::optional<FvfRows> mFvfData;
    std::optional<DeclRows> mDeclData;

    Declaration mLayout;
    // Where FVFData elements go: row offset, byte count, vertex offset.
    struct FvfCopy {
        std::size_t rowOffset;
        std::size_t bytes;
        std::size_t vertexOffset;
    };
    std::vector<FvfCopy> mFvfCopies;
    std::size_t mDeclDataOffset = 0;
};

HRESULT MeshBuilder::build(ID3DXFileData* meshObject, BuiltMesh* built) {
    // Process-wide effect: the numeric locale is "C" while a mesh is built.
    const base::ScopedNumericLocale numericLocale;

    HRESULT hr = readMesh(lockData(meshObject));
    if (FAILED(hr)) {
        return hr;
    }
    SIZE_T children = 0;
    meshObject->GetChildren(&children);
    for (SIZE_T i = 0; i < children; ++i) {
        ComRef<ID3DXFileData> child;
        hr = meshObject->GetChild(i, child.put());
        if (SUCCEEDED(hr)) {
            hr = readChild(child.get());
        }
        if (FAILED(hr)) {
            return hr;
        }
    }
    hr = makeLayout();
    if (FAILED(hr)) {
        return hr;
    }
    if (mLayout.find(D3DDECLUSAGE_NORMAL, 0) != nullptr &&
        !(mHasNormals ? assignNormals() : generateNormals())) {
        return E_OUTOFMEMORY;
    }

    // Triangles that lost their area to two equal corners are not emitted.
    std::vector<DWORD> live;
    std::vector<DWORD> newNumber(mTriangles.size(), kRemoved);
    for (std::size_t t = 0; t < mTriangles.size(); ++t) {
        const DWORD* v = mTriangles[t].v;
        if (v[0] != v[1] && v[1] != v[2] && v[0] != v[2]) {
            newNumber[t] = static_cast<DWORD>(live.size());
            live.push_back(static_cast<DWORD>(t));
        }
    }
    if (live.empty() || mVertices.empty()) {
        return D3DXERR_LOADEDMESHASNODATA;
    }
    DWORD options = mOptions;
    if (live.size() > kMaxFaces16 || mVertices.size() > kMaxVertices16) {
        options |= D3DXMESH_32BIT;
    }
    // The mesh keeps its vertices, indices, attributes and adjacency; filling, adjacency and
    // the sort need about as much again for a while.
    const std::uint64_t faces = live.size();
    const std::uint64_t kept = std::uint64_t{mVertices.size()} * mLayout.vertexSize +
                               faces * ((options & D3DXMESH_32BIT) != 0 ? 12 : 6) + faces * 16;
    if (!takeScratch(faces * 48 + std::uint64_t{mVertices.size()} * 8) || !mBudget->take(kept)) {
        return E_OUTOFMEMORY;
    }
    ComRef<MeshObject> mesh;
    hr = MeshObject::create(static_cast<DWORD>(live.size()), static_cast<DWORD>(mVertices.size()),
                            options, mLayout, mDevice, nullptr, &mesh);
    if (FAILED(hr)) {
        return hr;
    }
    hr = fillMesh(mesh.get(), live);
    if (FAILED(hr)) {
        return hr;
    }
    std::vector<DWORD> adjacency;
    hr = makeAdjacency(mesh.get(), newNumber, &adjacency);
    if (FAILED(hr)) {
        return hr;
    }
    hr = mesh->optimize(D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_IGNOREVERTS | D3DXMESHOPT_DONOTSPLIT,
                        adjacency.data(), adjacency.data(), nullptr, nullptr);
    if (FAILED(hr)) {
        return hr;
    }
    built->mesh = std::move(mesh);
    built->adjacency = std::move(adjacency);
    built->materials = std::move(mMaterials);
    return D3D_OK;
}

HRESULT MeshBuilder::readMesh(std::span<const std::byte> data) {
    // nVertices, the vertices, nFaces, then per face its index count and indices.
    if (data.size() < 4) {
        return E_FAIL;
    }
    const DWORD vertexCount = readLE32(data, 0);
    const std::uint64_t facesAt = std::uint64_t{vertexCount} * 12 + 8;
    if (data.size() < facesAt) {
        return E_FAIL;
    }
    const DWORD faceCount = readLE32(data, facesAt - 4);
    if (vertexCount == 0 || faceCount == 0) {
        return D3DXERR_LOADEDMESHASNODATA;
    }
    if (data.size() < facesAt + std::uint64_t{faceCount} * 4) {
        return E_FAIL;
    }
    std::size_t offset = static_cast<std::size_t>(facesAt);
    std::uint64_t triangleCount = 0;
    mFaceSizes.reserve(faceCount);
    for (DWORD face = 0; face < faceCount; ++face) {
        if (!fits(data.size(), offset, 4)) {
            return E_FAIL;
        }
        const DWORD size = readLE32(data, offset);
        if (size < 3 || std::uint64_t{size} * 4 > data.size() - offset - 4) {
            return E_FAIL;
        }
        mFaceSizes.push_back(size);
        triangleCount += size - 2;
        offset += 4 + std::size_t{size} * 4;
    }
    if (offset != data.size()) {
        return E_FAIL;
    }
    // The vertex and triangle records, and per triangle its new number and place in the list.
    if (!takeScratch(std::uint64_t{vertexCount} * sizeof(BuildVertex) +
                     triangleCount * (sizeof(BuildTriangle) + 8) + std::uint64_t{faceCount} * 8)) {
        return E_OUTOFMEMORY;
    }

    mFileVertices = vertexCount;
    mVertices.resize(vertexCount);
    for (DWORD v = 0; v < vertexCount; ++v) {
        BuildVertex& vertex = mVertices[v];
        vertex.position = readVector(data, 4 + std::size_t{v} * 12);
        vertex.representative = v;
        vertex.ring = v;
        vertex.source = v;
    }
    mTriangles.reserve(static_cast<std::size_t>(triangleCount));
    mFirstTriangle.reserve(faceCount);
    offset = static_cast<std::size_t>(facesAt);
    for (DWORD face = 0; face < faceCount; ++face) {
        const DWORD size = mFaceSizes[face];
        mFirstTriangle.push_back(static_cast<DWORD>(mTriangles.size()));
        const auto index = [&](DWORD k) { return readLE32(data, offset + 4 + std::size_t{k} * 4); };
        for (DWORD k = 0; k < size; ++k) {
            if (index(k) >= vertexCount) {
                return E_FAIL;
            }
        }
        // A fan from the first corner.
        for (DWORD k = 1; k + 1 < size; ++k) {
            mTriangles.push_back({{index(0), index(k), index(k + 1)}, 0});
        }
        offset += 4 + std::size_t{size} * 4;
    }
    return D3D_OK;
}

HRESULT MeshBuilder::readChild(ID3DXFileData* child) {
    const GUID type = typeOf(child);
    if (type == TID_D3DRMMeshTextureCoords) {
        return readTextureCoords(lockData(child));
    }
    if (type == TID_D3DRMMeshVertexColors) {
        return readVertexColors(lockData(child));
    }
    if (type == TID_D3DRMMeshNormals) {
        return readNormals(lockData(child));
    }
    if (type == TID_D3DRMMeshMaterialList) {
        return readMaterialList(child);
    }
    if (type == DXFILEOBJ_VertexDuplicationIndices) {
        return readDuplicationIndices(lockData(child));
    }
    if (type == DXFILEOBJ_FaceAdjacency) {
        return readFaceAdjacency(lockData(child));
    }
    if (type == DXFILEOBJ_FVFData) {
        return readFvfData(lockData(child));
    }
    if (type == DXFILEOBJ_DeclData) {
        return readDeclData(lockData(child));
    }
    // Skinning and progressive-mesh data are for loaders that return them.
    return D3D_OK;
}

HRESULT MeshBuilder::readTextureCoords(std::span<const std::byte> data) {
    if (data.size() < 4 || readLE32(data, 0) != mFileVertices ||
        data.size() < std::uint64_t{mFileVertices} * 8 + 4) {
        return E_FAIL;
    }
    for (DWORD v = 0; v < mFileVertices; ++v) {
        mVertices[v].u = readLEFloat(data, 4 + std::size_t{v} * 8);
        mVertices[v].v = readLEFloat(data, 8 + std::size_t{v} * 8);
    }
    mTextured = true;
    return D3D_OK;
}

HRESULT MeshBuilder::readVertexColors(std::span<const std::byte> data) {
    if (data.size() < 4) {
        return E_FAIL;
    }
    const DWORD count = readLE32(data, 0);
    // (index, r, g, b, a) per entry.
    if (std::uint64_t{count} * 20 > data.size() - 4) {
        return E_FAIL;
    }
    for (DWORD i = 0; i < count; ++i) {
        const std::size_t at = 4 + std::size_t{i} * 20;
        const DWORD index = readLE32(data, at);
        if (index >= mFileVertices) {
            return E_FAIL;
        }
        mVertices[index].color = {
            quantiseColor(readLEFloat(data, at + 4)), quantiseColor(readLEFloat(data, at + 8)),
            quantiseColor(readLEFloat(data, at + 12)), quantiseColor(readLEFloat(data, at + 16))};
    }
    mColored = true;
    return D3D_OK;
}

HRESULT MeshBuilder::readNormals(std::span<const std::byte> data) {
    // nNormals, the normals, nFaceNormals, then faces shaped like the mesh's.
    if (data.size() < 4) {
        return E_FAIL;
    }
    const DWORD normalCount = readLE32(data, 0);
    const std::uint64_t facesAt = std::uint64_t{normalCount} * 12 + 8;
    if (data.size() < facesAt) {
        return E_FAIL;
    }
    if (readLE32(data, facesAt - 4) != mFaceSizes.size()) {
        return E_FAIL;
    }
    std::uint64_t needed = facesAt;
    for (DWORD size : mFaceSizes) {
        needed += 4 + std::uint64_t{size} * 4;
    }
    if (data.size() < needed) {
        return E_FAIL;
    }
    mCorners.clear();
    if (mTriangles.size() * 3 > mCorners.capacity() &&
        !takeScratch(std::uint64_t{mTriangles.size() * 3 - mCorners.capacity()} *
                     sizeof(NormalCorner))) {
        return E_OUTOFMEMORY;
    }
    mCorners.reserve(mTriangles.size() * 3);
    std::size_t offset = static_cast<std::size_t>(facesAt);
    for (std::size_t face = 0; face < mFaceSizes.size(); ++face) {
        const DWORD size = readLE32(data, offset);
        if (size < 3 || size != mFaceSizes[face]) {
            return E_FAIL;
        }
        const auto normal = [&](DWORD k, D3DXVECTOR3* out) {
            const DWORD index = readLE32(data, offset + 4 + std::size_t{k} * 4);
            if (index >= normalCount) {
                return false;
            }
            *out = readVector(data, 4 + std::size_t{index} * 12);
            return true;
        };
        for (DWORD k = 1; k + 1 < size; ++k) {
            const DWORD triangle = mFirstTriangle[face] + k - 1;
            D3DXVECTOR3 n0;
            D3DXVECTOR3 n1;
            D3DXVECTOR3 n2;
            if (!normal(0, &n0) || !normal(k, &n1) || !normal(k + 1, &n2)) {
                return E_FAIL;
            }
            mCorners.push_back({triangle, 0, n0});
            mCorners.push_back({triangle, 1, n1});
            mCorners.push_back({triangle, 2, n2});
        }
        offset += 4 + std::size_t{size} * 4;
    }
    mHasNormals = true;
    return D3D_OK;
}

HRESULT MeshBuilder::readMaterialList(ID3DXFileData* list) {
    // nMaterials, nFaceIndexes, the face indexes; Material children.
    const std::span<const std::byte> data = lockData(list);
    if (data.size() < 8) {
        return E_FAIL;
    }
    const DWORD materialCount = readLE32(data, 0);
    const DWORD indexCount = readLE32(data, 4);
    if (data.size() < std::uint64_t{indexCount} * 4 + 8) {
        return E_FAIL;
    }
    for (DWORD k = 0; k < indexCount; ++k) {
        if (readLE32(data, 8 + std::size_t{k} * 4) >= materialCount) {
            return E_FAIL;
        }
    }
    for (std::size_t face = 0; face < mFaceSizes.size(); ++face) {
        const DWORD material = face < indexCount ? readLE32(data, 8 + face * 4) : 0;
        for (DWORD k = 0; k + 2 < mFaceSizes[face]; ++k) {
            mTriangles[mFirstTriangle[face] + k].material = material;
        }
    }
    std::vector<MaterialRecord> materials;
    SIZE_T children = 0;
    list->GetChildren(&children);
    for (SIZE_T i = 0; i < children; ++i) {
        ComRef<ID3DXFileData> child;
        HRESULT hr = list->GetChild(i, child.put());
        if (FAILED(hr)) {
            return hr;
        }
        if (typeOf(child.get()) != TID_D3DRMMaterial) {
            continue;
        }
        if (materials.size() >= materialCount) {
            return D3DERR_INVALIDCALL;
        }
        MaterialRecord record;
        hr = readMaterial(child.get(), &record);
        if (FAILED(hr)) {
            return hr;
        }
        materials.push_back(std::move(record));
    }
    if (materials.size() < materialCount) {
        return E_FAIL;
    }
    mMaterials = std::move(materials);
    return D3D_OK;
}

HRESULT MeshBuilder::readMaterial(ID3DXFileData* object, MaterialRecord* record) {
    // faceColor (RGBA), power, specularColor (RGB), emissiveColor (RGB).
    const std::span<const std::byte> data = lockData(object);
    if (data.size() < 44) {
        return E_FAIL;
    }
    const auto f = [&](std::size_t offset) { return readLEFloat(data, offset); };
    D3DMATERIAL9& m = record->material;
    m.Diffuse = {f(0), f(4), f(8), f(12)};
    m.Power = f(16);
    m.Specular = {f(20), f(24), f(28), 1.0f};
    m.Emissive = {f(32), f(36), f(40), 1.0f};
    m.Ambient = {0.0f, 0.0f, 0.0f, 1.0f};
    bool hasEffectInstance = false;
    SIZE_T children = 0;
    object->GetChildren(&children);
    for (SIZE_T i = 0; i < children; ++i) {
        ComRef<ID3DXFileData> child;
        HRESULT hr = object->GetChild(i, child.put());
        if (FAILED(hr)) {
            return hr;
        }
        const GUID type = typeOf(child.get());
        if (type == TID_D3DRMTextureFilename) {
            const std::span<const std::byte> name = lockData(child.get());
            std::size_t next = 0;
            if (!readString(name, 0, &record->texture, &next) || next != name.size()) {
                return E_FAIL;
            }
            record->hasTexture = true;
        } else if (type == DXFILEOBJ_EffectInstance) {
            hr = readEffectInstance(child.get(), record);
            if (FAILED(hr)) {
                return hr;
            }
            hasEffectInstance = true;
        }
    }
    if (!hasEffectInstance) {
        deriveEffectDefaults(record);
    }
    return D3D_OK;
}

HRESULT MeshBuilder::readEffectInstance(ID3DXFileData* object, MaterialRecord* record) {
    const std::span<const std::byte> data = lockData(object);
    std::size_t next = 0;
    if (data.empty() || !readString(data, 0, &record->effectFile, &next)) {
        return E_FAIL;
    }
    record->hasEffectFile = true;
    record->defaults.clear();
    SIZE_T children = 0;
    object->GetChildren(&children);
    for (SIZE_T i = 0; i < children; ++i) {
        ComRef<ID3DXFileData> child;
        const HRESULT hr = object->GetChild(i, child.put());
        if (FAILED(hr)) {
            return hr;
        }
        const GUID type = typeOf(child.get());
        if (type != DXFILEOBJ_EffectParamFloats && type != DXFILEOBJ_EffectParamString &&
            type != DXFILEOBJ_EffectParamDWord) {
            continue;
        }
        // Each starts with the parameter name.
        const std::span<const std::byte> param = lockData(child.get());
        EffectDefaultRecord value;
        std::size_t at = 0;
        if (!readString(param, 0, &value.name, &at)) {
            return E_FAIL;
        }
        if (type == DXFILEOBJ_EffectParamFloats) {
            if (!fits(param.size(), at, 4)) {
                return E_FAIL;
            }
            const DWORD count = readLE32(param, at);
            if (std::uint64_t{count} * 4 > param.size() - at - 4) {
                return E_FAIL;
            }
            value.type = D3DXEDT_FLOATS;
            value.value.assign(param.begin() + static_cast<std::ptrdiff_t>(at + 4),
                               param.begin() +
                                   static_cast<std::ptrdiff_t>(at + 4 + std::size_t{count} * 4));
        } else if (type == DXFILEOBJ_EffectParamString) {
            std::string text;
            std::size_t end = 0;
            if (!readString(param, at, &text, &end)) {
                return E_FAIL;
            }
            value.type = D3DXEDT_STRING;
            value.value.assign(param.begin() + static_cast<std::ptrdiff_t>(at),
                               param.begin() + static_cast<std::ptrdiff_t>(end));
        } else {
            if (!fits(param.size(), at, 4)) {
                return E_FAIL;
            }
            value.type = D3DXEDT_DWORD;
            value.value.assign(param.begin() + static_cast<std::ptrdiff_t>(at),
                               param.begin() + static_cast<std::ptrdiff_t>(at + 4));
        }
        record->defaults.push_back(std::move(value));
    }
    return D3D_OK;
}

HRESULT MeshBuilder::readDuplicationIndices(std::span<const std::byte> data) {
    // nIndices, nOriginalVertices, then the original vertex of each vertex.
    if (data.size() < 8) {
        return E_FAIL;
    }
    const DWORD count = readLE32(data, 0);
    const DWORD originals = readLE32(data, 4);
    if (data.size() < std::uint64_t{count} * 4 + 8) {
        return E_FAIL;
    }
    if (count != mFileVertices || originals > count) {
        return D3DERR_INVALIDCALL;
    }
    for (DWORD v = 0; v < count; ++v) {
        mVertices[v].representative = v;
        mVertices[v].ring = v;
    }
    for (DWORD v = 0; v < count; ++v) {
        const DWORD representative = readLE32(data, 8 + std::size_t{v} * 4);
        if (representative >= mFileVertices) {
            return E_FAIL;
        }
        mVertices[v].representative = representative;
        if (representative != v) {
            mVertices[v].ring = mVertices[representative].ring;
            mVertices[representative].ring = v;
        }
    }
    for (DWORD v = 0; v < count; ++v) {
        const DWORD representative = mVertices[v].representative;
        if (mVertices[representative].representative != representative) {
            return D3DERR_INVALIDCALL;
        }
    }
    mHasDuplicates = true;
    return D3D_OK;
}

HRESULT MeshBuilder::readFaceAdjacency(std::span<const std::byte> data) {
    if (data.size() < 4) {
        return E_FAIL;
    }
    const DWORD count = readLE32(data, 0);
    if (count != std::uint64_t{mTriangles.size()} * 3) {
        return D3DERR_INVALIDCALL;
    }
    if (data.size() < std::uint64_t{count} * 4 + 4) {
        return E_FAIL;
    }
    mFaceAdjacency = data.subspan(4, std::size_t{count} * 4);
    return D3D_OK;
}

HRESULT MeshBuilder::readFvfData(std::span<const std::byte> data) {
    if (data.size() < 8) {
        return E_FAIL;
    }
    const DWORD words = readLE32(data, 4);
    if (data.size() < std::uint64_t{words} * 4 + 8) {
        return E_FAIL;
    }
    FvfRows rows;
    rows.fvf = readLE32(data, 0);
    rows.stride = std::size_t{words} * 4 / mFileVertices;
    rows.rows = data.subspan(8, std::size_t{words} * 4);
    mFvfData = rows;
    return D3D_OK;
}

HRESULT MeshBuilder::readDeclData(std::span<const std::byte> data) {
    // nElements, the elements (Type, Method, Usage, UsageIndex), nDWords, the data.
    if (data.size() < 4) {
        return E_FAIL;
    }
    const DWORD count = readLE32(data, 0);
    if (count < 1 || count > MAXD3DDECLLENGTH) {
        return D3DERR_INVALIDCALL;
    }
    if (data.size() < std::size_t{count} * 16 + 4) {
        return E_FAIL;
    }
    DeclRows decl;
    bool usable = true;
    for (DWORD i = 0; i < count; ++i) {
        const std::size_t at = 4 + std::size_t{i} * 16;
        const DWORD type = readLE32(data, at);
        const DWORD method = readLE32(data, at + 4);
        const DWORD usage = readLE32(data, at + 8);
        const DWORD usageIndex = readLE32(data, at + 12);
        if (type >= D3DDECLTYPE_UNUSED) {
            return D3DERR_INVALIDCALL;
        }
        const bool duplicate =
            std::any_of(decl.elements.begin(), decl.elements.end(), [&](const auto& e) {
                return e.Usage == usage && e.UsageIndex == usageIndex;
            });
        // Data that cannot form a declaration is left out, not an error.
        if (decl.elementBytes > 255 || method > D3DDECLMETHOD_LOOKUPPRESAMPLED ||
            usage > D3DDECLUSAGE_SAMPLE || usageIndex > MAXD3DDECLUSAGEINDEX || duplicate) {
            usable = false;
        }
        decl.elements.push_back({0, static_cast<WORD>(decl.elementBytes), static_cast<BYTE>(type),
                                 static_cast<BYTE>(method), static_cast<BYTE>(usage),
                                 static_cast<BYTE>(usageIndex)});
        decl.elementBytes += declTypeSize(type);
    }
    if (!usable) {
        return D3D_OK;
    }
    const std::size_t wordsAt = 4 + std::size_t{count} * 16;
    if (!fits(data.size(), wordsAt, 4)) {
        return E_FAIL;
    }
    const DWORD words = readLE32(data, wordsAt);
    decl.stride = std::size_t{words} * 4 / mFileVertices;
    if (decl.stride < decl.elementBytes) {
        return D3DERR_INVALIDCALL;
    }
    if (std::uint64_t{words} * 4 > data.size() - wordsAt - 4) {
        return E_FAIL;
    }
    decl.rows = data.subspan(wordsAt + 4, std::size_t{words} * 4);
    mDeclData = std::move(decl);
    return D3D_OK;
}

HRESULT MeshBuilder::makeLayout() {
    DWORD fvf = mFvfData ? mFvfData->fvf : 0;
    if ((fvf & D3DFVF_POSITION_MASK) == 0) {
        fvf |= D3DFVF_XYZ;
    }
    const DWORD extraFvf = fvf;
    if (mHasNormals) {
        fvf |= D3DFVF_NORMAL;
    }
    if (mColored) {
        fvf |= D3DFVF_DIFFUSE;
    }
    if (mTextured) {
        if (fvfTextureCount(fvf) >= 8) {
            return D3DERR_INVALIDCALL;
        }
        // The file's coordinates become set 0; the other sets' format bits move up one set.
        fvf = (fvf & 0xFFFF) | ((fvf >> 16) << 18);
        fvf += D3DFVF_TEX1;
    }
    HRESULT hr = declarationFromFvf(fvf, &mLayout);
    if (FAILED(hr)) {
        return hr;
    }
    if (mFvfData) {
        // The rows hold the FVF vertex without its position.
        Declaration extra;
        hr = declarationFromFvf(extraFvf, &extra);
        if (FAILED(hr)) {
            return hr;
        }
        const D3DVERTEXELEMENT9& position = extra.elements[0];
        const std::size_t positionBytes = declTypeSize(position.Type);
        for (UINT i = 1; i < extra.length; ++i) {
            const D3DVERTEXELEMENT9& element = extra.elements[i];
            BYTE usageIndex = element.UsageIndex;
            if (element.Usage == D3DDECLUSAGE_TEXCOORD && mTextured) {
                ++usageIndex;
            }
            const D3DVERTEXELEMENT9* target = mLayout.find(element.Usage, usageIndex);
            const std::size_t rowOffset = element.Offset - positionBytes;
            const std::size_t bytes = declTypeSize(element.Type);
            if (target == nullptr || target->Type != element.Type) {
                continue;
            }
            if (rowOffset + bytes > mFvfData->stride) {
                return D3DERR_INVALIDCALL;
            }
            mFvfCopies.push_back({rowOffset, bytes, target->Offset});
        }
    }
    if (mDeclData) {
        mDeclDataOffset = mLayout.vertexSize;
        for (const D3DVERTEXELEMENT9& element : mDeclData->elements) {
            if (!appendElement(&mLayout, element.Type, element.Method, element.Usage,
                               element.UsageIndex)) {
                return D3DERR_INVALIDCALL;
            }
        }
    }
    return D3D_OK;
}

bool MeshBuilder::takeScratch(std::uint64_t bytes) {
    if (!mBudget->take(bytes)) {
        return false;
    }
    mScratch += bytes;
    return true;
}

bool MeshBuilder::addCopy(DWORD vertex, const D3DXVECTOR3& normal, WORD group, DWORD* index) {
    if (mVertices.size() == mVertices.capacity()) {
        // Doubling where the budget allows it, else an eighth more.
        const std::size_t capacity = mVertices.capacity();
        std::size_t grown = capacity * 2;
        if (!takeScratch(std::uint64_t{grown - capacity} * sizeof(BuildVertex))) {
            grown = capacity + capacity / 8 + 1;
            if (!takeScratch(std::uint64_t{grown - capacity} * sizeof(BuildVertex))) {
                return false;
            }
        }
        mVertices.reserve(grown);
    }
    BuildVertex copy = mVertices[vertex];
    copy.normal = normal;
    copy.assigned = true;
    copy.group = group;
    copy.contributions = 1;
    *index = static_cast<DWORD>(mVertices.size());
    copy.ring = mVertices[vertex].ring;
    mVertices.push_back(copy);
    mVertices[vertex].ring = *index;
    return true;
}

bool MeshBuilder::generateNormals() {
    // Every face in smoothing group 1: each vertex sums the normals of its faces.
    constexpr WORD kGroup = 1;
    for (BuildTriangle& triangle : mTriangles) {
        const D3DXVECTOR3& p0 = mVertices[triangle.v[0]].position;
        const D3DXVECTOR3& p1 = mVertices[triangle.v[1]].position;
        const D3DXVECTOR3& p2 = mVertices[triangle.v[2]].position;
        D3DXVECTOR3 a = p0 - p1;
        D3DXVECTOR3 b = p0 - p2;
        D3DXVECTOR3 normal;
        D3DXVec3Cross(&normal, &a, &b);
        D3DXVec3Normalize(&normal, &normal);
        for (DWORD& corner : triangle.v) {
            BuildVertex& vertex = mVertices[corner];
            if (!vertex.assigned) {
                vertex.normal = normal;
                vertex.assigned = true;
                vertex.group = kGroup;
                vertex.contributions = 1;
                continue;
            }
            DWORD found = kRemoved;
            DWORD w = corner;
            do {
                const BuildVertex& candidate = mVertices[w];
                if (candidate.assigned && candidate.group == kGroup) {
                    found = w;
                    break;
                }
                w = candidate.ring;
            } while (w != corner);
            if (found == kRemoved) {
                if (!addCopy(corner, normal, kGroup, &corner)) {
                    return false;
                }
            } else {
                mVertices[found].normal += normal;
                ++mVertices[found].contributions;
                corner = found;
            }
        }
    }
    for (BuildVertex& vertex : mVertices) {
        if (vertex.contributions > 1) {
            D3DXVec3Normalize(&vertex.normal, &vertex.normal);
        }
    }
    return true;
}

bool MeshBuilder::assignNormals() {
    for (const NormalCorner& corner : mCorners) {
        DWORD& slot = mTriangles[corner.triangle].v[corner.corner];
        BuildVertex& vertex = mVertices[slot];
        if (!vertex.assigned) {
            vertex.normal = corner.normal;
            vertex.assigned = true;
            continue;
        }
        if (vertex.normal == corner.normal) {
            continue;
        }
        // Another copy with this normal and the same colour and coordinates, or a new one.
        const D3DCOLORVALUE color = vertex.color;
        const float u = vertex.u;
        const float v = vertex.v;
        DWORD found = kRemoved;
        for (DWORD w = vertex.ring; w != slot; w = mVertices[w].ring) {
            const BuildVertex& candidate = mVertices[w];
            if (candidate.assigned && candidate.normal == corner.normal &&
                sameColor(candidate.color, color) && candidate.u == u && candidate.v == v) {
                found = w;
                break;
            }
        }
        if (found != kRemoved) {
            slot = found;
        } else if (!addCopy(slot, corner.normal, 0, &slot)) {
            return false;
        }
    }
    return true;
}

HRESULT MeshBuilder::fillMesh(MeshObject* mesh, std::span<const DWORD> liveTriangles) {
    const D3DVERTEXELEMENT9* position = mLayout.find(D3DDECLUSAGE_POSITION, 0);
    const D3DVERTEXELEMENT9* normal = mLayout.find(D3DDECLUSAGE_NORMAL, 0);
    const D3DVERTEXELEMENT9* color = mLayout.find(D3DDECLUSAGE_COLOR, 0);
    const D3DVERTEXELEMENT9* texture = mLayout.find(D3DDECLUSAGE_TEXCOORD, 0);
    const auto isType = [](const D3DVERTEXELEMENT9* element, BYTE type) {
        return element != nullptr && element->Type == type;
    };
    const std::size_t stride = mLayout.vertexSize;
    LPVOID locked = nullptr;
    HRESULT hr = mesh->LockVertexBuffer(0, &locked);
    if (FAILED(hr)) {
        return hr;
    }
    auto* bytes = static_cast<std::byte*>(locked);
    for (std::size_t i = 0; i < mVertices.size(); ++i) {
        const BuildVertex& vertex = mVertices[i];
        std::byte* out = bytes + i * stride;
        std::memset(out, 0, stride);
        if (isType(position, D3DDECLTYPE_FLOAT3)) {
            std::memcpy(out + position->Offset, &vertex.position, 12);
        }
        if (isType(normal, D3DDECLTYPE_FLOAT3)) {
            std::memcpy(out + normal->Offset, &vertex.normal, 12);
        }
        if (isType(color, D3DDECLTYPE_D3DCOLOR)) {
            const DWORD packed = packColor(vertex.color);
            std::memcpy(out + color->Offset, &packed, 4);
        }
        if (isType(texture, D3DDECLTYPE_FLOAT2)) {
            const float uv[2] = {vertex.u, vertex.v};
            std::memcpy(out + texture->Offset, uv, 8);
        }
        // Rows of the extra data follow the file's vertex that a copy was made from.
        if (mFvfData) {
            const std::byte* row = mFvfData->rows.data() + vertex.source * mFvfData->stride;
            for (const FvfCopy& copy : mFvfCopies) {
                std::memcpy(out + copy.vertexOffset, row + copy.rowOffset, copy.bytes);
            }
        }
        if (mDeclData) {
            const std::byte* row = mDeclData->rows.data() + vertex.source * mDeclData->stride;
            std::memcpy(out + mDeclDataOffset, row, mDeclData->elementBytes);
        }
    }
    mesh->UnlockVertexBuffer();

    std::vector<DWORD> indices;
    indices.reserve(liveTriangles.size() * 3);
    std::vector<DWORD>& attributes = mesh->attributes();
    for (std::size_t i = 0; i < liveTriangles.size(); ++i) {
        const BuildTriangle& triangle = mTriangles[liveTriangles[i]];
        indices.insert(indices.end(), triangle.v, triangle.v + 3);
        attributes[i] = triangle.material;
    }
    return mesh->writeIndices(indices);
}

HRESULT MeshBuilder::makeAdjacency(MeshObject* mesh, std::span<const DWORD> newNumber,
                                   std::vector<DWORD>* adjacency) {
    adjacency->assign(std::size_t{mesh->GetNumFaces()} * 3, kRemoved);
    if (mFaceAdjacency) {
        // The file's numbering counts every triangle; move to the emitted ones.
        const std::span<const std::byte> words = *mFaceAdjacency;
        for (std::size_t t = 0; t < newNumber.size(); ++t) {
            for (std::size_t k = 0; k < 3; ++k) {
                const DWORD neighbour = readLE32(words, (t * 3 + k) * 4);
                if (neighbour != kRemoved && neighbour >= newNumber.size()) {
                    return E_FAIL;
                }
                if (newNumber[t] != kRemoved) {
                    (*adjacency)[std::size_t{newNumber[t]} * 3 + k] =
                        neighbour == kRemoved ? kRemoved : newNumber[neighbour];
                }
            }
        }
        return D3D_OK;
    }
    if (mHasDuplicates) {
        std::vector<DWORD> reps(mVertices.size());
        for (std::size_t v = 0; v < mVertices.size(); ++v) {
            reps[v] = mVertices[v].representative;
        }
        return mesh->ConvertPointRepsToAdjacency(reps.data(), adjacency->data());
    }
    return mesh->GenerateAdjacency(0.0f, adjacency->data());
}

} // namespace

HRESULT buildMesh(ID3DXFileData* meshObject, DWORD options, IDirect3DDevice9* device,
                  MemoryBudget* budget, BuiltMesh* built) {
    MeshBuilder builder(options, device, budget);
    return builder.build(meshObject, built);
}

} // namespace halv::xfile::detail
