// D3DXCreateCylinder: vertices and triangles written straight into the locked buffers, in the
// published order, with one sine and cosine per slice.
#include "base/checked_math.h"
#include "base/com.h"
#include "xfile/shapes.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

using halv::base::ComRef;

// The sine and cosine tables hold this many slices.
constexpr UINT kTableSize = 240;
constexpr UINT kMaxSlices = kTableSize - 1;
constexpr std::uint64_t kMaxElements16 = 0xFFFE;

struct Vertex {
    float position[3];
    float normal[3];
};
static_assert(sizeof(Vertex) == 24);

FLOAT orDefault(FLOAT value) {
    return value == std::numeric_limits<float>::max() ? 1.0f : value;
}

UINT orDefault(UINT value) {
    return value == 0xFFFFFFFFu ? 8u : value;
}

} // namespace

HRESULT D3DXCreateCylinder(IDirect3DDevice9* device, FLOAT radius1, FLOAT radius2, FLOAT length,
                           UINT slices, UINT stacks, ID3DXMesh** mesh,
                           ID3DXBuffer** adjacency) noexcept {
    radius1 = orDefault(radius1);
    radius2 = orDefault(radius2);
    length = orDefault(length);
    slices = orDefault(slices);
    stacks = orDefault(stacks);
    // NaN passes, as published.
    if (device == nullptr || mesh == nullptr || radius1 < 0.0f || radius2 < 0.0f || length < 0.0f ||
        slices < 2 || stacks < 1) {
        return D3DERR_INVALIDCALL;
    }
    if (slices > kMaxSlices) {
        slices = kMaxSlices;
    }
    const UINT n = slices;
    const std::uint64_t k = stacks;
    const std::uint64_t vertexCount = n * (k + 3) + 2;
    const std::uint64_t faceCount = 2 * n * (k + 1);
    if (vertexCount > kMaxElements16 || faceCount > kMaxElements16) {
        return D3DERR_INVALIDCALL;
    }
    ComRef<ID3DXMesh> created;
    HRESULT hr =
        D3DXCreateMeshFVF(static_cast<DWORD>(faceCount), static_cast<DWORD>(vertexCount),
                          D3DXMESH_MANAGED, D3DFVF_XYZ | D3DFVF_NORMAL, device, created.put());
    if (FAILED(hr)) {
        return hr;
    }
    LPVOID vertexData = nullptr;
    hr = created->LockVertexBuffer(0, &vertexData);
    if (FAILED(hr)) {
        return hr;
    }
    LPVOID indexData = nullptr;
    hr = created->LockIndexBuffer(0, &indexData);
    if (FAILED(hr)) {
        created->UnlockVertexBuffer();
        return hr;
    }
    std::unique_ptr<DWORD[]> reps;
    if (adjacency != nullptr) {
        reps = halv::base::allocArray<DWORD>(static_cast<std::size_t>(vertexCount));
        if (!reps) {
            created->UnlockIndexBuffer();
            created->UnlockVertexBuffer();
            return E_OUTOFMEMORY;
        }
    }

    float sines[kTableSize];
    float cosines[kTableSize];
    for (UINT i = 0; i < n; ++i) {
        const auto theta = static_cast<float>(static_cast<double>(i) * 6.2831855 / n);
        sines[i] = std::sin(theta);
        cosines[i] = std::cos(theta);
    }
    const float delta = radius2 - radius1;
    const float slant = std::sqrt(delta * delta + length * length);
    float a = 1.0f;
    float b = 0.0f;
    if (slant > 0.00001f) {
        a = length / slant;
        b = -delta / slant;
    }
    const float bottom = -length / 2;
    const float top = length / 2;

    auto* vertices = static_cast<Vertex*>(vertexData);
    std::size_t next = 0;
    vertices[next++] = {{0.0f, 0.0f, bottom}, {0.0f, 0.0f, -1.0f}};
    for (UINT i = 0; i < n; ++i) {
        vertices[next++] = {{radius1 * sines[i], radius1 * cosines[i], bottom},
                            {0.0f, 0.0f, -1.0f}};
    }
    for (std::uint64_t s = 0; s <= k; ++s) {
        const auto t = static_cast<float>(static_cast<double>(s) / static_cast<double>(k));
        const float radius = radius1 + t * delta;
        const float z = (t - 0.5f) * length;
        for (UINT i = 0; i < n; ++i) {
            vertices[next++] = {{radius * sines[i], radius * cosines[i], z},
                                {a * sines[i], a * cosines[i], b}};
        }
    }
    for (UINT i = 0; i < n; ++i) {
        vertices[next++] = {{radius2 * sines[i], radius2 * cosines[i], top}, {0.0f, 0.0f, 1.0f}};
    }
    vertices[next++] = {{0.0f, 0.0f, top}, {0.0f, 0.0f, 1.0f}};

    auto* indices = static_cast<WORD*>(indexData);
    std::size_t at = 0;
    const auto triangle = [&](std::uint64_t i0, std::uint64_t i1, std::uint64_t i2) {
        indices[at++] = static_cast<WORD>(i0);
        indices[at++] = static_cast<WORD>(i1);
        indices[at++] = static_cast<WORD>(i2);
    };
    for (UINT i = 0; i + 1 < n; ++i) {
        triangle(0, i + 1, i + 2);
    }
    triangle(0, n, 1);
    for (std::uint64_t s = 0; s < k; ++s) {
        const std::uint64_t g = n + 1 + s * n;
        const std::uint64_t h = g + n;
        for (UINT j = 0; j + 1 < n; ++j) {
            triangle(g + j, h + j, g + j + 1);
            triangle(g + j + 1, h + j, h + j + 1);
        }
        triangle(g + n - 1, h + n - 1, g);
        triangle(g, h + n - 1, h);
    }
    const std::uint64_t d = n * (k + 2) + 1;
    const std::uint64_t e = d + n;
    for (UINT j = 0; j + 1 < n; ++j) {
        triangle(d + j, e, d + j + 1);
    }
    triangle(d + n - 1, e, d);

    if (reps) {
        // The rims stand on the first and last side rings.
        for (std::uint64_t v = 0; v < vertexCount; ++v) {
            reps[v] = static_cast<DWORD>(v);
        }
        for (UINT i = 0; i < n; ++i) {
            reps[1 + i] = n + 1 + i;
            reps[d + i] = static_cast<DWORD>(n + 1 + k * n + i);
        }
    }
    created->UnlockIndexBuffer();
    created->UnlockVertexBuffer();

    if (adjacency != nullptr) {
        ComRef<ID3DXBuffer> buffer;
        hr = D3DXCreateBuffer(static_cast<DWORD>(faceCount * 12), buffer.put());
        if (SUCCEEDED(hr)) {
            hr = created->ConvertPointRepsToAdjacency(
                reps.get(), static_cast<DWORD*>(buffer->GetBufferPointer()));
        }
        if (FAILED(hr)) {
            return hr;
        }
        *adjacency = buffer.detach();
    }
    *mesh = created.detach();
    return D3D_OK;
}
