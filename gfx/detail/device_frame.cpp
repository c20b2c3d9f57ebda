// The device's frame calls: scenes, clears, draws (with their checks) and presenting.
#include "base/allocation_guard.h"
#include "gfx/detail/device.h"
#include "gfx/detail/state_tables.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace halv::gfx::detail {
namespace {

const char* primitiveName(D3DPRIMITIVETYPE type) {
    constexpr const char* kNames[] = {"",
                                      "D3DPT_POINTLIST",
                                      "D3DPT_LINELIST",
                                      "D3DPT_LINESTRIP",
                                      "D3DPT_TRIANGLELIST",
                                      "D3DPT_TRIANGLESTRIP",
                                      "D3DPT_TRIANGLEFAN"};
    return type >= D3DPT_POINTLIST && type <= D3DPT_TRIANGLEFAN ? kNames[type] : "";
}

// Vertices (or indices) a primitive count consumes; 0 for an unknown type.
std::uint64_t elementsFor(D3DPRIMITIVETYPE type, UINT primitives) {
    const std::uint64_t count = primitives;
    switch (type) {
    case D3DPT_POINTLIST:
        return count;
    case D3DPT_LINELIST:
        return count * 2;
    case D3DPT_LINESTRIP:
        return count + 1;
    case D3DPT_TRIANGLELIST:
        return count * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return count + 2;
    default:
        return 0;
    }
}

CallArguments primitiveArgument(D3DPRIMITIVETYPE type) {
    CallArguments arguments;
    const char* name = primitiveName(type);
    if (*name != '\0') {
        arguments.named(name, type);
    } else {
        arguments.number(type);
    }
    return arguments;
}

RECT intersect(const RECT& a, const RECT& b) {
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

bool empty(const RECT& rect) {
    return rect.left >= rect.right || rect.top >= rect.bottom;
}

// User-pointer draws go through one growing dynamic buffer of each kind.
constexpr UINT kUserBufferMinimum = 64 * 1024;

} // namespace

HRESULT Device::beginPreparing() noexcept {
    if (mPreparing) {
        return D3DERR_INVALIDCALL;
    }
    return base::guardAllocation([this] {
        auto save = std::make_unique<PreparingSave>();
        save->state = mState;
        save->textures = mTextures;
        save->streams = mStreams;
        save->indices = mIndices;
        save->declaration = mDeclaration;
        save->inScene = mInScene;
        save->stats = mStats;
        mPreparing = std::move(save);
        return D3D_OK;
    });
}

HRESULT Device::endPreparing() noexcept {
    if (!mPreparing) {
        return D3DERR_INVALIDCALL;
    }
    PreparingSave& save = *mPreparing;
    std::swap(mState, save.state);
    mTextures = save.textures;
    mStreams = save.streams;
    mIndices = save.indices;
    mDeclaration = save.declaration;
    mInScene = save.inScene;
    mStats = save.stats;
    mPreparing.reset();
    return D3D_OK;
}

HRESULT Device::BeginScene() noexcept {
    if (logging()) {
        record("BeginScene", {});
    }
    if (mInScene) {
        return D3DERR_INVALIDCALL;
    }
    mInScene = true;
    ++mStats.scenes;
    return D3D_OK;
}

HRESULT Device::EndScene() noexcept {
    if (logging()) {
        record("EndScene", {});
    }
    if (!mInScene) {
        return D3DERR_INVALIDCALL;
    }
    mInScene = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                      DWORD stencil) noexcept {
    if (logging()) {
        record("Clear",
               CallArguments().number(count).pointer(rects).hex(flags).hex(color).real(z).number(
                   stencil));
    }
    constexpr DWORD kKnown = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
    if ((count > 0 && rects == nullptr) || flags == 0 || (flags & ~kKnown) != 0) {
        return D3DERR_INVALIDCALL;
    }
    const bool hasDepth = mSwap.depthFormat != D3DFMT_UNKNOWN;
    const bool hasStencil = mSwap.depthFormat == D3DFMT_D24S8 ||
                            mSwap.depthFormat == D3DFMT_D15S1 ||
                            mSwap.depthFormat == D3DFMT_D24X4S4;
    if (((flags & D3DCLEAR_ZBUFFER) != 0 && (!hasDepth || !(z >= 0.0f && z <= 1.0f))) ||
        ((flags & D3DCLEAR_STENCIL) != 0 && !hasStencil)) {
        return D3DERR_INVALIDCALL;
    }
    const D3DVIEWPORT9& viewport = mState.viewport;
    RECT area = {static_cast<LONG>(viewport.X), static_cast<LONG>(viewport.Y),
                 static_cast<LONG>(viewport.X + viewport.Width),
                 static_cast<LONG>(viewport.Y + viewport.Height)};
    if (mState.renderStates[D3DRS_SCISSORTESTENABLE] != FALSE) {
        area = intersect(area, mState.scissorRect);
    }
    ClearRequest request;
    request.flags = flags;
    request.color = color;
    request.z = z;
    request.stencil = stencil;
    if (!base::allocationSucceeds([&] {
            if (rects == nullptr || count == 0) {
                if (!empty(area)) {
                    request.rects.push_back(area);
                }
            } else {
                for (DWORD i = 0; i < count; ++i) {
                    const RECT clipped =
                        intersect(area, {rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});
                    if (!empty(clipped)) {
                        request.rects.push_back(clipped);
                    }
                }
            }
        })) {
        return E_OUTOFMEMORY;
    }
    if (request.rects.empty()) {
        return D3D_OK;
    }
    const HRESULT hr = mSkipRendering || mPreparing ? D3D_OK : mRenderer->clear(request);
    if (SUCCEEDED(hr)) {
        ++mStats.clears;
    }
    return hr;
}

HRESULT Device::prepareDraw(D3DPRIMITIVETYPE type, UINT primitiveCount,
                            DrawRequest* request) noexcept {
    const std::uint64_t elements = elementsFor(type, primitiveCount);
    if (!mInScene || elements == 0 || primitiveCount > mCaps.MaxPrimitiveCount ||
        elements > std::numeric_limits<UINT>::max() || !mDeclaration) {
        return D3DERR_INVALIDCALL;
    }
    const VertexLayout& layout = mDeclaration->layout();
    if (layout.find(D3DDECLUSAGE_POSITION, 0) == nullptr &&
        layout.find(D3DDECLUSAGE_POSITIONT, 0) == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    request->type = type;
    request->primitiveCount = primitiveCount;
    request->elementCount = static_cast<UINT>(elements);
    request->layout = &layout;
    request->state = &mState;
    request->capsMaxPointSize = mCaps.MaxPointSize;
    for (UINT i = 0; i < layout.count; ++i) {
        const D3DVERTEXELEMENT9& element = layout.elements[i];
        VertexBuffer* buffer = mStreams[element.Stream].get();
        const StreamSnapshot& stream = mState.streams[element.Stream];
        if (buffer == nullptr || buffer->storage.locked() || stream.stride == 0 ||
            element.Offset + declTypeSize(element.Type) > stream.stride) {
            return D3DERR_INVALIDCALL;
        }
        request->streams[element.Stream] = {buffer, stream.offset, stream.stride};
    }
    for (std::size_t stage = 0; stage < request->textures.size(); ++stage) {
        request->textures[stage] = textureOf(mTextures[stage].get());
    }
    return D3D_OK;
}

// Every stream the layout reads must hold vertex `last` entirely.
static bool streamsHold(const DrawRequest& request, std::uint64_t last) {
    const VertexLayout& layout = *request.layout;
    for (UINT i = 0; i < layout.count; ++i) {
        const D3DVERTEXELEMENT9& element = layout.elements[i];
        const StreamBinding& stream = request.streams[element.Stream];
        const std::uint64_t end =
            stream.offset + last * stream.stride + element.Offset + declTypeSize(element.Type);
        if (end > stream.buffer->storage.length()) {
            return false;
        }
    }
    return true;
}

HRESULT Device::submitDraw(DrawRequest& request) noexcept {
    if (mPreparing) {
        return mSkipRendering ? D3D_OK : mRenderer->prepare(request);
    }
    const HRESULT hr = mSkipRendering ? D3D_OK : mRenderer->draw(request);
    if (SUCCEEDED(hr)) {
        ++mStats.drawCalls;
        if (request.indexed) {
            ++mStats.indexedDrawCalls;
        }
        mStats.primitives += request.primitiveCount;
        mStats.primitivesByType[request.type] += request.primitiveCount;
        mStats.vertices += request.elementCount;
    }
    return hr;
}

HRESULT Device::DrawPrimitive(D3DPRIMITIVETYPE primitiveType, UINT startVertex,
                              UINT primitiveCount) noexcept {
    if (logging()) {
        record("DrawPrimitive",
               primitiveArgument(primitiveType).number(startVertex).number(primitiveCount));
    }
    DrawRequest request;
    const HRESULT hr = prepareDraw(primitiveType, primitiveCount, &request);
    if (FAILED(hr)) {
        return hr;
    }
    request.startVertex = startVertex;
    if (!streamsHold(request, std::uint64_t{startVertex} + request.elementCount - 1)) {
        return D3DERR_INVALIDCALL;
    }
    return submitDraw(request);
}

HRESULT Device::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, INT baseVertexIndex,
                                     UINT minVertexIndex, UINT numVertices, UINT startIndex,
                                     UINT primitiveCount) noexcept {
    if (logging()) {
        record("DrawIndexedPrimitive", primitiveArgument(type)
                                           .signedNumber(baseVertexIndex)
                                           .number(minVertexIndex)
                                           .number(numVertices)
                                           .number(startIndex)
                                           .number(primitiveCount));
    }
    // Points cannot be drawn indexed.
    if (type == D3DPT_POINTLIST || numVertices == 0) {
        return D3DERR_INVALIDCALL;
    }
    DrawRequest request;
    HRESULT hr = prepareDraw(type, primitiveCount, &request);
    if (FAILED(hr)) {
        return hr;
    }
    IndexBuffer* indices = mIndices.get();
    if (indices == nullptr || indices->storage.locked()) {
        return D3DERR_INVALIDCALL;
    }
    const std::uint64_t indexEnd = std::uint64_t{startIndex} + request.elementCount;
    if (indexEnd > indices->storage.length() / indices->indexSize()) {
        return D3DERR_INVALIDCALL;
    }
    // Every index must lie in the range the caller declared, and every vertex it fetches
    // inside the bound streams.
    const UINT low = indices->minIndex(startIndex, request.elementCount);
    const UINT high = indices->maxIndex(startIndex, request.elementCount);
    const std::int64_t first = std::int64_t{baseVertexIndex} + low;
    const std::int64_t last = std::int64_t{baseVertexIndex} + high;
    if (low < minVertexIndex ||
        std::uint64_t{high} >= std::uint64_t{minVertexIndex} + numVertices || first < 0 ||
        !streamsHold(request, static_cast<std::uint64_t>(last))) {
        return D3DERR_INVALIDCALL;
    }
    request.indexed = true;
    request.indices = indices;
    request.baseVertex = baseVertexIndex;
    request.startIndex = startIndex;
    request.minVertex = static_cast<UINT>(first);
    request.maxVertex = static_cast<UINT>(last);
    return submitDraw(request);
}

HRESULT Device::drawUser(D3DPRIMITIVETYPE type, UINT minVertex, UINT numVertices,
                         UINT primitiveCount, const void* indices, D3DFORMAT indexFormat,
                         const void* vertices, UINT stride) noexcept {
    const std::uint64_t elements = elementsFor(type, primitiveCount);
    if (vertices == nullptr || stride == 0 || stride > mCaps.MaxStreamStride || elements == 0 ||
        elements > std::numeric_limits<UINT>::max()) {
        return D3DERR_INVALIDCALL;
    }
    const bool indexed = indices != nullptr;
    if (indexed && indexFormat != D3DFMT_INDEX16 && indexFormat != D3DFMT_INDEX32) {
        return D3DERR_INVALIDCALL;
    }
    const UINT indexSize = indexFormat == D3DFMT_INDEX32 ? 4 : 2;
    const std::uint64_t vertexCount = indexed ? std::uint64_t{minVertex} + numVertices : elements;
    const std::uint64_t vertexBytes = vertexCount * stride;
    const std::uint64_t indexBytes = indexed ? elements * indexSize : 0;
    if (vertexBytes == 0 || vertexBytes > 0x7FFFFFFF || indexBytes > 0x7FFFFFFF) {
        return D3DERR_INVALIDCALL;
    }
    if (!mUserVertices || mUserVertices->storage.length() < vertexBytes) {
        mUserVertices.reset(new (std::nothrow) VertexBuffer(
            this, nextObjectId(), D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, D3DPOOL_DEFAULT, 0));
        if (!mUserVertices || !mUserVertices->storage.allocate(
                                  std::max(static_cast<UINT>(vertexBytes), kUserBufferMinimum))) {
            mUserVertices.reset();
            return E_OUTOFMEMORY;
        }
    }
    if (indexed && (!mUserIndices || mUserIndices->format() != indexFormat ||
                    mUserIndices->storage.length() < indexBytes)) {
        mUserIndices.reset(new (std::nothrow) IndexBuffer(this, nextObjectId(),
                                                          D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                                          D3DPOOL_DEFAULT, indexFormat));
        if (!mUserIndices || !mUserIndices->storage.allocate(
                                 std::max(static_cast<UINT>(indexBytes), kUserBufferMinimum))) {
            mUserIndices.reset();
            return E_OUTOFMEMORY;
        }
    }
    void* locked = nullptr;
    mUserVertices->storage.lock(0, static_cast<UINT>(vertexBytes), &locked, D3DLOCK_DISCARD, true);
    std::memcpy(locked, vertices, static_cast<std::size_t>(vertexBytes));
    mUserVertices->storage.unlock();
    mStreams[0] = mUserVertices;
    mState.streams[0] = {mUserVertices->id(), 0, stride, 1};
    HRESULT hr = D3D_OK;
    if (indexed) {
        mUserIndices->storage.lock(0, static_cast<UINT>(indexBytes), &locked, D3DLOCK_DISCARD,
                                   true);
        std::memcpy(locked, indices, static_cast<std::size_t>(indexBytes));
        mUserIndices->storage.unlock();
        mIndices = mUserIndices;
        mState.indices = mUserIndices->id();
        // DrawIndexedPrimitive does the checks; it must not log a second call.
        const bool wasLogging = std::exchange(mLogging, false);
        hr = DrawIndexedPrimitive(type, 0, minVertex, numVertices, 0, primitiveCount);
        mLogging = wasLogging;
    } else {
        DrawRequest request;
        hr = prepareDraw(type, primitiveCount, &request);
        if (SUCCEEDED(hr)) {
            hr = submitDraw(request);
        }
    }
    // As published: stream 0 and the indices are unset afterwards.
    mStreams[0].reset();
    mState.streams[0] = {};
    mIndices.reset();
    mState.indices = 0;
    return hr;
}

HRESULT Device::DrawPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT primitiveCount,
                                const void* vertexStreamZeroData,
                                UINT vertexStreamZeroStride) noexcept {
    if (logging()) {
        record("DrawPrimitiveUP", primitiveArgument(primitiveType)
                                      .number(primitiveCount)
                                      .pointer(vertexStreamZeroData)
                                      .number(vertexStreamZeroStride));
    }
    return drawUser(primitiveType, 0, 0, primitiveCount, nullptr, D3DFMT_UNKNOWN,
                    vertexStreamZeroData, vertexStreamZeroStride);
}

HRESULT Device::DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE primitiveType, UINT minVertexIndex,
                                       UINT numVertices, UINT primitiveCount, const void* indexData,
                                       D3DFORMAT indexDataFormat, const void* vertexStreamZeroData,
                                       UINT vertexStreamZeroStride) noexcept {
    if (logging()) {
        record("DrawIndexedPrimitiveUP", primitiveArgument(primitiveType)
                                             .number(minVertexIndex)
                                             .number(numVertices)
                                             .number(primitiveCount)
                                             .pointer(indexData)
                                             .number(indexDataFormat)
                                             .pointer(vertexStreamZeroData)
                                             .number(vertexStreamZeroStride));
    }
    if (indexData == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    return drawUser(primitiveType, minVertexIndex, numVertices, primitiveCount, indexData,
                    indexDataFormat, vertexStreamZeroData, vertexStreamZeroStride);
}

HRESULT Device::ProcessVertices(UINT srcStartIndex, UINT destIndex, UINT vertexCount,
                                IDirect3DVertexBuffer9* destBuffer,
                                IDirect3DVertexDeclaration9* vertexDecl, DWORD flags) noexcept {
    if (logging()) {
        record("ProcessVertices", CallArguments()
                                      .number(srcStartIndex)
                                      .number(destIndex)
                                      .number(vertexCount)
                                      .object(destBuffer)
                                      .object(vertexDecl)
                                      .hex(flags));
    }
    return destBuffer == nullptr ? D3DERR_INVALIDCALL : D3DERR_NOTAVAILABLE;
}

HRESULT Device::DrawRectPatch(UINT handle, const float* numSegs,
                              const D3DRECTPATCH_INFO* rectPatchInfo) noexcept {
    if (logging()) {
        record("DrawRectPatch",
               CallArguments().number(handle).pointer(numSegs).pointer(rectPatchInfo));
    }
    return D3DERR_INVALIDCALL;
}

HRESULT Device::DrawTriPatch(UINT handle, const float* numSegs,
                             const D3DTRIPATCH_INFO* triPatchInfo) noexcept {
    if (logging()) {
        record("DrawTriPatch",
               CallArguments().number(handle).pointer(numSegs).pointer(triPatchInfo));
    }
    return D3DERR_INVALIDCALL;
}

HRESULT Device::DeletePatch(UINT handle) noexcept {
    if (logging()) {
        record("DeletePatch", CallArguments().number(handle));
    }
    return D3DERR_INVALIDCALL;
}

HRESULT Device::CreateQuery(D3DQUERYTYPE type, IDirect3DQuery9** query) noexcept {
    if (logging()) {
        record("CreateQuery", CallArguments().number(type).pointer(query));
    }
    return D3DERR_NOTAVAILABLE;
}

HRESULT Device::Present(const RECT* sourceRect, const RECT* destRect, HWND destWindowOverride,
                        const RGNDATA* dirtyRegion) noexcept {
    if (logging()) {
        record("Present", CallArguments()
                              .rect(sourceRect)
                              .rect(destRect)
                              .pointer(destWindowOverride)
                              .pointer(dirtyRegion));
    }
    if (mInScene) {
        return D3DERR_INVALIDCALL;
    }
    // Rectangles need the COPY swap effect; the whole buffer is presented either way.
    if ((sourceRect != nullptr || destRect != nullptr) &&
        mParameters.SwapEffect != D3DSWAPEFFECT_COPY) {
        return D3DERR_INVALIDCALL;
    }
    if (destWindowOverride != nullptr && destWindowOverride != mSwap.window) {
        return D3DERR_INVALIDCALL;
    }
    const HRESULT hr = mSkipRendering || mPreparing ? D3D_OK : mRenderer->present();
    if (SUCCEEDED(hr)) {
        ++mStats.presents;
    }
    return hr;
}

} // namespace halv::gfx::detail
