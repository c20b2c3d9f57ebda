// OptimizeInplace and Optimize: dropping unused faces, the stable attribute sort with its table,
// the vertex reordering that goes with it, and moving adjacency along with the faces.
#include "base/allocation_guard.h"
#include "xfile/detail/adjacency.h"
#include "xfile/detail/mesh_object.h"

#include <algorithm>
#include <cstring>

namespace halv::xfile::detail {
namespace {

using base::ComRef;

constexpr DWORD kFaceOrderFlags =
    D3DXMESHOPT_ATTRSORT | D3DXMESHOPT_VERTEXCACHE | D3DXMESHOPT_STRIPREORDER;

} // namespace

HRESULT MeshObject::optimize(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                             DWORD* faceRemap, ID3DXBuffer** vertexRemap) {
    if ((flags & ~kOptimizeFlags) != 0 ||
        ((flags & D3DXMESHOPT_VERTEXCACHE) != 0 && (flags & D3DXMESHOPT_STRIPREORDER) != 0) ||
        (adjacencyOut != nullptr && adjacencyIn == nullptr)) {
        return D3DERR_INVALIDCALL;
    }
    const bool sort = (flags & kFaceOrderFlags) != 0;
    const bool moveVertices = (flags & D3DXMESHOPT_IGNOREVERTS) == 0 &&
                              (flags & (kFaceOrderFlags | D3DXMESHOPT_COMPACT)) != 0;
    // Another mesh draws from a shared vertex buffer; its vertices cannot move.
    if (moveVertices && (mOptions & D3DXMESH_VB_SHARE) != 0) {
        return D3DERR_INVALIDCALL;
    }
    std::vector<DWORD> indices;
    HRESULT hr = readIndices(&indices);
    if (FAILED(hr)) {
        return hr;
    }
    if (adjacencyIn != nullptr) {
        for (std::size_t i = 0; i < indices.size(); ++i) {
            if (adjacencyIn[i] != kNoNeighbour && adjacencyIn[i] >= mNumFaces) {
                return D3DERR_INVALIDCALL;
            }
        }
    }

    // Faces that are still in use, in their current order.
    std::vector<DWORD> order;
    order.reserve(mNumFaces);
    for (DWORD face = 0; face < mNumFaces; ++face) {
        if (indices[std::size_t{face} * 3] != unusedIndex()) {
            order.push_back(face);
        }
    }
    if (order.empty() || mNumVertices == 0) {
        return D3DXERR_LOADEDMESHASNODATA;
    }

    // Stable counting sort by attribute id: each face takes the next free slot of its id.
    std::vector<DWORD> ids;
    std::vector<DWORD> groupStart;
    std::vector<DWORD> groupOfFace(order.size(), 0);
    if (sort) {
        ids.reserve(order.size());
        for (DWORD face : order) {
            ids.push_back(mAttributes[face]);
        }
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        std::vector<DWORD> next(ids.size() + 1, 0);
        std::vector<DWORD> groupOfOld(order.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            const auto group = static_cast<DWORD>(
                std::lower_bound(ids.begin(), ids.end(), mAttributes[order[i]]) - ids.begin());
            groupOfOld[i] = group;
            ++next[group + 1];
        }
        for (std::size_t g = 1; g < next.size(); ++g) {
            next[g] += next[g - 1];
        }
        groupStart = next;
        std::vector<DWORD> sorted(order.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            const DWORD slot = next[groupOfOld[i]]++;
            sorted[slot] = order[i];
            groupOfFace[slot] = groupOfOld[i];
        }
        order = std::move(sorted);
    }
    const auto newFaces = static_cast<DWORD>(order.size());

    // Vertices: in first-use order (each id gets its own copies unless DONOTSPLIT), unused ones
    // after them unless COMPACT; or left as they are.
    std::vector<DWORD> newIndices(std::size_t{newFaces} * 3);
    std::vector<DWORD> vertexSource;
    if (!moveVertices) {
        for (DWORD f = 0; f < newFaces; ++f) {
            std::memcpy(&newIndices[std::size_t{f} * 3], &indices[std::size_t{order[f]} * 3],
                        3 * sizeof(DWORD));
        }
        vertexSource.resize(mNumVertices);
        for (DWORD v = 0; v < mNumVertices; ++v) {
            vertexSource[v] = v;
        }
    } else {
        const bool split = sort && (flags & D3DXMESHOPT_DONOTSPLIT) == 0;
        std::vector<DWORD> newOf(mNumVertices, kNoNeighbour);
        std::vector<DWORD> groupOf(mNumVertices, kNoNeighbour);
        for (DWORD f = 0; f < newFaces; ++f) {
            for (std::size_t k = 0; k < 3; ++k) {
                const DWORD old = indices[std::size_t{order[f]} * 3 + k];
                if (old >= mNumVertices) {
                    return D3DERR_INVALIDCALL;
                }
                const DWORD group = split ? groupOfFace[f] : 0;
                if (newOf[old] == kNoNeighbour || groupOf[old] != group) {
                    newOf[old] = static_cast<DWORD>(vertexSource.size());
                    groupOf[old] = group;
                    vertexSource.push_back(old);
                }
                newIndices[std::size_t{f} * 3 + k] = newOf[old];
            }
        }
        if ((flags & D3DXMESHOPT_COMPACT) == 0) {
            for (DWORD v = 0; v < mNumVertices; ++v) {
                if (newOf[v] == kNoNeighbour) {
                    vertexSource.push_back(v);
                }
            }
        }
        if (!index32() && vertexSource.size() > kMaxVertices16) {
            return D3DERR_INVALIDCALL;
        }
    }
    const auto newVertices = static_cast<DWORD>(vertexSource.size());

    std::vector<D3DXATTRIBUTERANGE> table;
    for (std::size_t g = 0; g < ids.size(); ++g) {
        D3DXATTRIBUTERANGE record{ids[g], groupStart[g], groupStart[g + 1] - groupStart[g], 0, 0};
        DWORD low = 0xFFFFFFFF;
        DWORD high = 0;
        for (std::size_t i = std::size_t{record.FaceStart} * 3;
             i < std::size_t{record.FaceStart + record.FaceCount} * 3; ++i) {
            low = std::min(low, newIndices[i]);
            high = std::max(high, newIndices[i]);
        }
        record.VertexStart = low;
        record.VertexCount = high - low + 1;
        table.push_back(record);
    }

    ComRef<ID3DXBuffer> remapBuffer;
    if (vertexRemap != nullptr) {
        hr = D3DXCreateBuffer(newVertices * static_cast<DWORD>(sizeof(DWORD)), remapBuffer.put());
        if (FAILED(hr)) {
            return hr;
        }
        std::memcpy(remapBuffer->GetBufferPointer(), vertexSource.data(),
                    vertexSource.size() * sizeof(DWORD));
    }

    std::vector<std::byte> oldVertices;
    if (moveVertices) {
        const std::size_t stride = mDeclaration.vertexSize;
        oldVertices.resize(std::size_t{mNumVertices} * stride);
        void* data = nullptr;
        hr = mVertexBuffer->Lock(0, 0, &data, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK);
        if (FAILED(hr)) {
            return hr;
        }
        std::memcpy(oldVertices.data(), data, oldVertices.size());
        mVertexBuffer->Unlock();
    }
    std::vector<DWORD> newAttributes(newFaces);
    for (DWORD f = 0; f < newFaces; ++f) {
        newAttributes[f] = mAttributes[order[f]];
    }
    const DWORD oldFaces = mNumFaces;
    hr = replaceBuffers(newFaces, newVertices);
    if (FAILED(hr)) {
        return hr;
    }
    if (moveVertices) {
        const std::size_t stride = mDeclaration.vertexSize;
        void* data = nullptr;
        hr = mVertexBuffer->Lock(0, 0, &data, D3DLOCK_NOSYSLOCK);
        if (FAILED(hr)) {
            return hr;
        }
        for (DWORD v = 0; v < newVertices; ++v) {
            std::memcpy(static_cast<std::byte*>(data) + v * stride,
                        oldVertices.data() + vertexSource[v] * stride, stride);
        }
        mVertexBuffer->Unlock();
    }
    hr = writeIndices(newIndices);
    if (FAILED(hr)) {
        return hr;
    }
    mAttributes = std::move(newAttributes);
    if (sort) {
        mTable = std::move(table);
        mTableValid = true;
    } else if (newFaces != oldFaces || moveVertices) {
        mTable.clear();
        mTableValid = false;
    }

    if (adjacencyOut != nullptr) {
        std::vector<DWORD> newFaceOf(oldFaces, kNoNeighbour);
        for (DWORD f = 0; f < newFaces; ++f) {
            newFaceOf[order[f]] = f;
        }
        const std::vector<DWORD> oldAdjacency(adjacencyIn, adjacencyIn + std::size_t{oldFaces} * 3);
        std::fill(adjacencyOut, adjacencyOut + std::size_t{oldFaces} * 3, kNoNeighbour);
        for (DWORD f = 0; f < newFaces; ++f) {
            for (std::size_t k = 0; k < 3; ++k) {
                const DWORD neighbour = oldAdjacency[std::size_t{order[f]} * 3 + k];
                adjacencyOut[std::size_t{f} * 3 + k] =
                    neighbour == kNoNeighbour ? kNoNeighbour : newFaceOf[neighbour];
            }
        }
    }
    if (faceRemap != nullptr) {
        std::copy(order.begin(), order.end(), faceRemap);
    }
    if (vertexRemap != nullptr) {
        *vertexRemap = remapBuffer.detach();
    }
    return D3D_OK;
}

HRESULT MeshObject::OptimizeInplace(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                                    DWORD* faceRemap, ID3DXBuffer** vertexRemap) noexcept {
    if ((flags & ~kOptimizeFlags) != 0 ||
        (mOptions & (D3DXMESH_IB_WRITEONLY | D3DXMESH_VB_WRITEONLY)) != 0) {
        return D3DERR_INVALIDCALL;
    }
    return halv::base::guardAllocation(
        [&] { return optimize(flags, adjacencyIn, adjacencyOut, faceRemap, vertexRemap); });
}

HRESULT MeshObject::Optimize(DWORD flags, const DWORD* adjacencyIn, DWORD* adjacencyOut,
                             DWORD* faceRemap, ID3DXBuffer** vertexRemap,
                             ID3DXMesh** optMesh) noexcept {
    const DWORD options = flags & ~kOptimizeFlags;
    if (optMesh == nullptr || (options & ~kCloneOptions) != 0 ||
        (mOptions & (D3DXMESH_IB_WRITEONLY | D3DXMESH_VB_WRITEONLY)) != 0) {
        return D3DERR_INVALIDCALL;
    }
    return halv::base::guardAllocation([&] {
        ComRef<MeshObject> copy;
        HRESULT hr = clone(options, mDeclaration, mDevice.get(), &copy);
        if (SUCCEEDED(hr)) {
            hr = copy->optimize(flags & kOptimizeFlags, adjacencyIn, adjacencyOut, faceRemap,
                                vertexRemap);
        }
        if (SUCCEEDED(hr)) {
            *optMesh = copy.detach();
        }
        return hr;
    });
}

} // namespace halv::xfile::detail
