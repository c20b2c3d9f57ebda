// The mesh object: creation, accessors, locks, the attribute buffer and table, drawing a
// subset, adjacency and cloning. Optimisation is in mesh_optimize.cpp.
#include "xfile/mesh.h"

#include "base/allocation_guard.h"
#include "base/checked_math.h"
#include "xfile/detail/adjacency.h"
#include "xfile/detail/mesh_object.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace halv::xfile::detail {
namespace {

using base::ComRef;

constexpr DWORD kReadLock = D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK;

// Usages both buffers take from the options.
DWORD sharedUsage(DWORD options) {
    DWORD usage = 0;
    if ((options & D3DXMESH_DONOTCLIP) != 0) {
        usage |= D3DUSAGE_DONOTCLIP;
    }
    if ((options & D3DXMESH_POINTS) != 0) {
        usage |= D3DUSAGE_POINTS;
    }
    if ((options & D3DXMESH_RTPATCHES) != 0) {
        usage |= D3DUSAGE_RTPATCHES;
    }
    if ((options & D3DXMESH_NPATCHES) != 0) {
        usage |= D3DUSAGE_NPATCHES;
    }
    return usage;
}

// Unlocks a buffer when it goes out of scope.
template <class Buffer>
class ScopedLock {
public:
    ScopedLock(Buffer* buffer, DWORD flags)
        : mBuffer(buffer) {
        mResult = buffer->Lock(0, 0, &mData, flags);
    }
    ~ScopedLock() {
        if (SUCCEEDED(mResult)) {
            mBuffer->Unlock();
        }
    }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

    HRESULT result() const { return mResult; }
    std::byte* bytes() const { return static_cast<std::byte*>(mData); }

private:
    Buffer* mBuffer;
    void* mData = nullptr;
    HRESULT mResult;
};

} // namespace

D3DPOOL vertexPool(DWORD options) {
    if ((options & D3DXMESH_VB_SYSTEMMEM) != 0) {
        return D3DPOOL_SYSTEMMEM;
    }
    return (options & D3DXMESH_VB_MANAGED) != 0 ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT;
}

D3DPOOL indexPool(DWORD options) {
    if ((options & D3DXMESH_IB_SYSTEMMEM) != 0) {
        return D3DPOOL_SYSTEMMEM;
    }
    return (options & D3DXMESH_IB_MANAGED) != 0 ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT;
}

DWORD vertexUsage(DWORD options) {
    DWORD usage = sharedUsage(options);
    if ((options & D3DXMESH_VB_WRITEONLY) != 0) {
        usage |= D3DUSAGE_WRITEONLY;
    }
    if ((options & D3DXMESH_VB_DYNAMIC) != 0) {
        usage |= D3DUSAGE_DYNAMIC;
    }
    if ((options & D3DXMESH_VB_SOFTWAREPROCESSING) != 0) {
        usage |= D3DUSAGE_SOFTWAREPROCESSING;
    }
    return usage;
}

DWORD indexUsage(DWORD options) {
    DWORD usage = sharedUsage(options);
    if ((options & D3DXMESH_IB_WRITEONLY) != 0) {
        usage |= D3DUSAGE_WRITEONLY;
    }
    if ((options & D3DXMESH_IB_DYNAMIC) != 0) {
        usage |= D3DUSAGE_DYNAMIC;
    }
    if ((options & D3DXMESH_IB_SOFTWAREPROCESSING) != 0) {
        usage |= D3DUSAGE_SOFTWAREPROCESSING;
    }
    return usage;
}

HRESULT MeshObject::create(DWORD numFaces, DWORD numVertices, DWORD options,
                           const Declaration& declaration, IDirect3DDevice9* device,
                           IDirect3DVertexBuffer9* sharedVertices, ComRef<MeshObject>* mesh) {
    const DWORD allowed = kCreateOptions | (sharedVertices != nullptr ? D3DXMESH_VB_SHARE : 0);
    if ((options & ~allowed) != 0 || device == nullptr || numFaces == 0 || numVertices == 0) {
        return D3DERR_INVALIDCALL;
    }
    const bool wide = (options & D3DXMESH_32BIT) != 0;
    if (!wide && (numFaces > kMaxFaces16 || numVertices > kMaxVertices16)) {
        return D3DERR_INVALIDCALL;
    }
    UINT indexBytes = 0;
    UINT vertexBytes = 0;
    if (!base::checkedMul<UINT>(numFaces, wide ? 12u : 6u, &indexBytes) ||
        !base::checkedMul<UINT>(numVertices, declaration.vertexSize, &vertexBytes)) {
        return D3DERR_INVALIDCALL;
    }
    ComRef<MeshObject> created(new (std::nothrow) MeshObject());
    if (!created) {
        return E_OUTOFMEMORY;
    }
    created->mDevice = ComRef<IDirect3DDevice9>::retain(device);
    created->mOptions = options;
    created->mDeclaration = declaration;
    created->mFvf = fvfFromDeclaration(declaration);
    created->mNumFaces = numFaces;
    created->mNumVertices = numVertices;
    HRESULT hr =
        device->CreateVertexDeclaration(declaration.data(), created->mVertexDeclaration.put());
    if (FAILED(hr)) {
        return hr;
    }
    hr = device->CreateIndexBuffer(indexBytes, indexUsage(options),
                                   wide ? D3DFMT_INDEX32 : D3DFMT_INDEX16, indexPool(options),
                                   created->mIndexBuffer.put(), nullptr);
    if (FAILED(hr)) {
        return hr;
    }
    if (sharedVertices != nullptr) {
        created->mVertexBuffer = ComRef<IDirect3DVertexBuffer9>::retain(sharedVertices);
    } else {
        hr = device->CreateVertexBuffer(vertexBytes, vertexUsage(options), created->mFvf,
                                        vertexPool(options), created->mVertexBuffer.put(), nullptr);
        if (FAILED(hr)) {
            return hr;
        }
    }
    created->mAttributes.assign(numFaces, 0);
    *mesh = std::move(created);
    return D3D_OK;
}

HRESULT MeshObject::DrawSubset(DWORD attribId) noexcept {
    if (!mVertexBuffer) {
        return D3D_OK;
    }
    HRESULT hr = mDevice->SetVertexDeclaration(mVertexDeclaration.get());
    if (SUCCEEDED(hr)) {
        hr = mDevice->SetStreamSource(0, mVertexBuffer.get(), 0, mDeclaration.vertexSize);
    }
    if (SUCCEEDED(hr)) {
        hr = mDevice->SetIndices(mIndexBuffer.get());
    }
    if (FAILED(hr)) {
        return hr;
    }
    if (mTableValid) {
        // Ids usually number their own records, so try that slot first.
        const D3DXATTRIBUTERANGE* range = nullptr;
        if (attribId < mTable.size() && mTable[attribId].AttribId == attribId) {
            range = &mTable[attribId];
        } else {
            const auto found =
                std::find_if(mTable.begin(), mTable.end(), [attribId](const auto& record) {
                    return record.AttribId == attribId;
                });
            range = found != mTable.end() ? &*found : nullptr;
        }
        if (range == nullptr || range->FaceCount == 0) {
            return D3D_OK;
        }
        return mDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, range->VertexStart,
                                             range->VertexCount, range->FaceStart * 3,
                                             range->FaceCount);
    }
    hr = D3D_OK;
    for (DWORD face = 0; face < mNumFaces;) {
        if (mAttributes[face] != attribId) {
            ++face;
            continue;
        }
        DWORD end = face + 1;
        while (end < mNumFaces && mAttributes[end] == attribId) {
            ++end;
        }
        hr = mDevice->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, mNumVertices, face * 3,
                                           end - face);
        face = end;
    }
    return hr;
}

HRESULT MeshObject::GetDeclaration(D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]) noexcept {
    if (declaration == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    std::memcpy(declaration, mDeclaration.data(),
                (mDeclaration.length + 1) * sizeof(D3DVERTEXELEMENT9));
    return D3D_OK;
}

HRESULT MeshObject::GetDevice(IDirect3DDevice9** device) noexcept {
    if (device == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *device = ComRef<IDirect3DDevice9>::retain(mDevice.get()).detach();
    return D3D_OK;
}

HRESULT MeshObject::GetVertexBuffer(IDirect3DVertexBuffer9** vertexBuffer) noexcept {
    if (vertexBuffer == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *vertexBuffer = ComRef<IDirect3DVertexBuffer9>::retain(mVertexBuffer.get()).detach();
    return D3D_OK;
}

HRESULT MeshObject::GetIndexBuffer(IDirect3DIndexBuffer9** indexBuffer) noexcept {
    if (indexBuffer == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *indexBuffer = ComRef<IDirect3DIndexBuffer9>::retain(mIndexBuffer.get()).detach();
    return D3D_OK;
}

HRESULT MeshObject::LockVertexBuffer(DWORD flags, LPVOID* data) noexcept {
    if (data == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return mVertexBuffer->Lock(0, 0, data, flags | D3DLOCK_NOSYSLOCK);
}

HRESULT MeshObject::UnlockVertexBuffer() noexcept {
    return mVertexBuffer->Unlock();
}

HRESULT MeshObject::LockIndexBuffer(DWORD flags, LPVOID* data) noexcept {
    if (data == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return mIndexBuffer->Lock(0, 0, data, flags | D3DLOCK_NOSYSLOCK);
}

HRESULT MeshObject::UnlockIndexBuffer() noexcept {
    return mIndexBuffer->Unlock();
}

HRESULT MeshObject::GetAttributeTable(D3DXATTRIBUTERANGE* attribTable,
                                      DWORD* attribTableSize) noexcept {
    if (attribTable != nullptr && !mTable.empty()) {
        std::memcpy(attribTable, mTable.data(), mTable.size() * sizeof(D3DXATTRIBUTERANGE));
    }
    if (attribTableSize != nullptr) {
        *attribTableSize = static_cast<DWORD>(mTable.size());
    }
    return D3D_OK;
}

HRESULT MeshObject::SetAttributeTable(const D3DXATTRIBUTERANGE* attribTable,
                                      DWORD attribTableSize) noexcept {
    if ((attribTable == nullptr) != (attribTableSize == 0)) {
        return D3DERR_INVALIDCALL;
    }
    for (DWORD i = 0; i < attribTableSize; ++i) {
        const D3DXATTRIBUTERANGE& record = attribTable[i];
        if (std::uint64_t{record.FaceStart} + record.FaceCount > mNumFaces ||
            std::uint64_t{record.VertexStart} + record.VertexCount > mNumVertices) {
            return D3DERR_INVALIDCALL;
        }
    }
    return halv::base::guardAllocation([&] {
        mTable.assign(attribTable, attribTable + attribTableSize);
        mTableValid = attribTableSize != 0;
        return D3D_OK;
    });
}

HRESULT MeshObject::LockAttributeBuffer(DWORD flags, DWORD** data) noexcept {
    if (data == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if ((flags & D3DLOCK_READONLY) == 0) {
        // The caller may change ids, so the table no longer describes the faces.
        mTable.clear();
        mTableValid = false;
    }
    *data = mAttributes.data();
    return D3D_OK;
}

HRESULT MeshObject::readIndices(std::vector<DWORD>* indices) {
    const std::size_t count = std::size_t{mNumFaces} * 3;
    ScopedLock lock(mIndexBuffer.get(), kReadLock);
    if (FAILED(lock.result())) {
        return lock.result();
    }
    indices->resize(count);
    if (index32()) {
        std::memcpy(indices->data(), lock.bytes(), count * 4);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            std::uint16_t value;
            std::memcpy(&value, lock.bytes() + i * 2, 2);
            (*indices)[i] = value;
        }
    }
    return D3D_OK;
}

HRESULT MeshObject::writeIndices(std::span<const DWORD> indices) {
    const std::size_t count = std::min<std::size_t>(indices.size(), std::size_t{mNumFaces} * 3);
    ScopedLock lock(mIndexBuffer.get(), D3DLOCK_NOSYSLOCK);
    if (FAILED(lock.result())) {
        return lock.result();
    }
    if (index32()) {
        std::memcpy(lock.bytes(), indices.data(), count * 4);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            const auto value = static_cast<std::uint16_t>(indices[i]);
            std::memcpy(lock.bytes() + i * 2, &value, 2);
        }
    }
    return D3D_OK;
}

HRESULT MeshObject::readPositions(std::vector<D3DXVECTOR3>* positions) {
    positions->assign(mNumVertices, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    const D3DVERTEXELEMENT9* element = mDeclaration.find(D3DDECLUSAGE_POSITION, 0);
    if (element == nullptr) {
        element = mDeclaration.find(D3DDECLUSAGE_POSITIONT, 0);
    }
    if (element == nullptr) {
        return D3D_OK;
    }
    ScopedLock lock(mVertexBuffer.get(), kReadLock);
    if (FAILED(lock.result())) {
        return lock.result();
    }
    for (DWORD v = 0; v < mNumVertices; ++v) {
        float value[4];
        readElement(*element, lock.bytes() + std::size_t{v} * mDeclaration.vertexSize, value);
        (*positions)[v] = D3DXVECTOR3(value[0], value[1], value[2]);
    }
    return D3D_OK;
}

HRESULT MeshObject::adjacencyFromReps(std::span<const DWORD> reps, DWORD* adjacency) {
    std::vector<DWORD> indices;
    const HRESULT hr = readIndices(&indices);
    if (FAILED(hr)) {
        return hr;
    }
    adjacencyFromPointReps(indices, reps, adjacency);
    return D3D_OK;
}

HRESULT MeshObject::ConvertPointRepsToAdjacency(const DWORD* pointReps, DWORD* adjacency) noexcept {
    if (adjacency == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return halv::base::guardAllocation([&] {
        std::vector<DWORD> reps(mNumVertices);
        for (DWORD v = 0; v < mNumVertices; ++v) {
            reps[v] = pointReps != nullptr ? pointReps[v] : v;
            if (reps[v] >= mNumVertices) {
                return D3DERR_INVALIDCALL;
            }
        }
        return adjacencyFromReps(reps, adjacency);
    });
}

HRESULT MeshObject::ConvertAdjacencyToPointReps(const DWORD* adjacency, DWORD* pointReps) noexcept {
    if (adjacency == nullptr || pointReps == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return halv::base::guardAllocation([&] {
        std::vector<DWORD> indices;
        const HRESULT hr = readIndices(&indices);
        if (FAILED(hr)) {
            return hr;
        }
        return pointRepsFromAdjacency(indices, mNumVertices, adjacency, pointReps)
                   ? D3D_OK
                   : D3DERR_INVALIDCALL;
    });
}

HRESULT MeshObject::GenerateAdjacency(FLOAT epsilon, DWORD* adjacency) noexcept {
    if (adjacency == nullptr || !(epsilon >= 0.0f)) {
        return D3DERR_INVALIDCALL;
    }
    return halv::base::guardAllocation([&] {
        std::vector<D3DXVECTOR3> positions;
        const HRESULT hr = readPositions(&positions);
        if (FAILED(hr)) {
            return hr;
        }
        return adjacencyFromReps(pointRepsFromPositions(positions, epsilon), adjacency);
    });
}

HRESULT MeshObject::UpdateSemantics(D3DVERTEXELEMENT9 declaration[MAX_FVF_DECL_SIZE]) noexcept {
    Declaration updated;
    HRESULT hr = makeDeclaration(declaration, &updated);
    if (FAILED(hr) || updated.vertexSize != mDeclaration.vertexSize) {
        return D3DERR_INVALIDCALL;
    }
    ComRef<IDirect3DVertexDeclaration9> deviceDeclaration;
    hr = mDevice->CreateVertexDeclaration(updated.data(), deviceDeclaration.put());
    if (FAILED(hr)) {
        return hr;
    }
    mDeclaration = updated;
    mFvf = fvfFromDeclaration(updated);
    mVertexDeclaration = std::move(deviceDeclaration);
    return D3D_OK;
}

HRESULT MeshObject::clone(DWORD options, const Declaration& declaration, IDirect3DDevice9* device,
                          ComRef<MeshObject>* out) {
    const bool share = (options & D3DXMESH_VB_SHARE) != 0;
    if ((options & ~kCloneOptions) != 0 || device == nullptr ||
        (share && (!(declaration == mDeclaration) || device != mDevice.get()))) {
        return D3DERR_INVALIDCALL;
    }
    if ((options & D3DXMESH_32BIT) == 0 && (mNumFaces > 0xFFFF || mNumVertices > 0xFFFF)) {
        return D3DERR_INVALIDCALL;
    }
    ComRef<MeshObject> result;
    HRESULT hr = create(mNumFaces, mNumVertices, options, declaration, device,
                        share ? mVertexBuffer.get() : nullptr, &result);
    if (FAILED(hr)) {
        return hr;
    }
    std::vector<DWORD> indices;
    hr = readIndices(&indices);
    if (SUCCEEDED(hr)) {
        hr = result->writeIndices(indices);
    }
    if (FAILED(hr)) {
        return hr;
    }
    result->mAttributes = mAttributes;
    result->mTable = mTable;
    result->mTableValid = mTableValid;
    if (!share) {
        ScopedLock source(mVertexBuffer.get(), kReadLock);
        if (FAILED(source.result())) {
            return source.result();
        }
        ScopedLock destination(result->mVertexBuffer.get(), D3DLOCK_NOSYSLOCK);
        if (FAILED(destination.result())) {
            return destination.result();
        }
        const VertexConverter converter(mDeclaration, declaration);
        for (DWORD v = 0; v < mNumVertices; ++v) {
            converter.convert(source.bytes() + std::size_t{v} * mDeclaration.vertexSize,
                              destination.bytes() + std::size_t{v} * declaration.vertexSize);
        }
    }
    *out = std::move(result);
    return D3D_OK;
}

HRESULT MeshObject::CloneMesh(DWORD options, const D3DVERTEXELEMENT9* declaration,
                              IDirect3DDevice9* device, ID3DXMesh** cloneMesh) noexcept {
    if (cloneMesh == nullptr || (options & 0xFFFE2000) != 0) {
        return D3DERR_INVALIDCALL;
    }
    Declaration target = mDeclaration;
    if (declaration != nullptr && FAILED(makeDeclaration(declaration, &target))) {
        return D3DERR_INVALIDCALL;
    }
    if ((mOptions & (D3DXMESH_IB_WRITEONLY | D3DXMESH_VB_WRITEONLY)) != 0) {
        return D3DERR_INVALIDCALL;
    }
    return halv::base::guardAllocation([&] {
        ComRef<MeshObject> result;
        const HRESULT hr = clone(options, target, device, &result);
        if (SUCCEEDED(hr)) {
            *cloneMesh = result.detach();
        }
        return hr;
    });
}

HRESULT MeshObject::CloneMeshFVF(DWORD options, DWORD fvf, IDirect3DDevice9* device,
                                 ID3DXMesh** cloneMesh) noexcept {
    Declaration declaration;
    const HRESULT hr = declarationFromFvf(fvf, &declaration);
    if (FAILED(hr)) {
        return hr;
    }
    return CloneMesh(options, declaration.data(), device, cloneMesh);
}

HRESULT MeshObject::replaceBuffers(DWORD numFaces, DWORD numVertices) {
    UINT indexBytes = 0;
    UINT vertexBytes = 0;
    if (!base::checkedMul<UINT>(numFaces, index32() ? 12u : 6u, &indexBytes) ||
        !base::checkedMul<UINT>(numVertices, mDeclaration.vertexSize, &vertexBytes)) {
        return D3DERR_INVALIDCALL;
    }
    if (numFaces != mNumFaces) {
        ComRef<IDirect3DIndexBuffer9> indices;
        const HRESULT hr = mDevice->CreateIndexBuffer(indexBytes, indexUsage(mOptions),
                                                      index32() ? D3DFMT_INDEX32 : D3DFMT_INDEX16,
                                                      indexPool(mOptions), indices.put(), nullptr);
        if (FAILED(hr)) {
            return hr;
        }
        mIndexBuffer = std::move(indices);
    }
    if (numVertices != mNumVertices) {
        ComRef<IDirect3DVertexBuffer9> vertices;
        const HRESULT hr =
            mDevice->CreateVertexBuffer(vertexBytes, vertexUsage(mOptions), mFvf,
                                        vertexPool(mOptions), vertices.put(), nullptr);
        if (FAILED(hr)) {
            return hr;
        }
        mVertexBuffer = std::move(vertices);
    }
    mNumFaces = numFaces;
    mNumVertices = numVertices;
    mAttributes.resize(numFaces);
    return D3D_OK;
}

} // namespace halv::xfile::detail

using halv::base::ComRef;
using halv::xfile::detail::Declaration;
using halv::xfile::detail::MeshObject;

HRESULT D3DXCreateMesh(DWORD numFaces, DWORD numVertices, DWORD options,
                       const D3DVERTEXELEMENT9* declaration, IDirect3DDevice9* device,
                       ID3DXMesh** mesh) noexcept {
    if (mesh == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    Declaration checked;
    if (FAILED(halv::xfile::detail::makeDeclaration(declaration, &checked))) {
        return D3DERR_INVALIDCALL;
    }
    return halv::base::guardAllocation([&] {
        ComRef<MeshObject> created;
        const HRESULT hr =
            MeshObject::create(numFaces, numVertices, options, checked, device, nullptr, &created);
        if (SUCCEEDED(hr)) {
            *mesh = created.detach();
        }
        return hr;
    });
}

HRESULT D3DXCreateMeshFVF(DWORD numFaces, DWORD numVertices, DWORD options, DWORD fvf,
                          IDirect3DDevice9* device, ID3DXMesh** mesh) noexcept {
    Declaration declaration;
    if (FAILED(halv::xfile::detail::declarationFromFvf(fvf, &declaration))) {
        return D3DERR_INVALIDCALL;
    }
    return D3DXCreateMesh(numFaces, numVertices, options, declaration.data(), device, mesh);
}
