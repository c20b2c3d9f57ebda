#include "gfx/detail/buffers.h"

#include "base/allocation_guard.h"
#include "gfx/detail/device.h"

#include <algorithm>
#include <limits>
#include <new>

namespace halv::gfx::detail {
namespace {

constexpr DWORD kBufferLockFlags = D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK | D3DLOCK_NOOVERWRITE |
                                   D3DLOCK_DISCARD | D3DLOCK_DONOTWAIT | D3DLOCK_NO_DIRTY_UPDATE;

} // namespace

bool BufferStorage::allocate(UINT length) noexcept {
    mBytes.reset(new (std::nothrow) std::byte[length]());
    mLength = mBytes != nullptr ? length : 0;
    return mBytes != nullptr;
}

HRESULT BufferStorage::lock(UINT offset, UINT size, void** data, DWORD flags,
                            bool dynamic) noexcept {
    if (data == nullptr || (flags & ~kBufferLockFlags) != 0 || offset > mLength) {
        return D3DERR_INVALIDCALL;
    }
    if ((flags & D3DLOCK_READONLY) != 0 && (flags & (D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE)) != 0) {
        return D3DERR_INVALIDCALL;
    }
    if (size == 0) {
        size = mLength - offset;
    }
    if (size > mLength - offset) {
        return D3DERR_INVALIDCALL;
    }
    if ((flags & D3DLOCK_READONLY) == 0) {
        if (!mWriteLock) {
            mPendingBegin = offset;
            mPendingEnd = offset + size;
        } else {
            mPendingBegin = std::min(mPendingBegin, offset);
            mPendingEnd = std::max(mPendingEnd, offset + size);
        }
        mWriteLock = true;
        // Discarding is for dynamic buffers; elsewhere the flag is ignored, as published.
        if (dynamic && (flags & D3DLOCK_DISCARD) != 0) {
            mDiscarded = true;
        }
    }
    ++mLockCount;
    *data = mBytes.get() + offset;
    return D3D_OK;
}

HRESULT BufferStorage::unlock() noexcept {
    if (mLockCount == 0) {
        return D3DERR_INVALIDCALL;
    }
    if (--mLockCount == 0 && mWriteLock) {
        mWriteLock = false;
        if (mDirtyEnd == mDirtyBegin) {
            mDirtyBegin = mPendingBegin;
            mDirtyEnd = mPendingEnd;
        } else {
            mDirtyBegin = std::min(mDirtyBegin, mPendingBegin);
            mDirtyEnd = std::max(mDirtyEnd, mPendingEnd);
        }
        ++mVersion;
    }
    return D3D_OK;
}

bool BufferStorage::takeDirtyRange(UINT* begin, UINT* end, bool* discarded) noexcept {
    if (mDirtyEnd == mDirtyBegin && !mDiscarded) {
        return false;
    }
    *begin = mDiscarded ? 0 : mDirtyBegin;
    *end = mDiscarded ? mLength : mDirtyEnd;
    *discarded = mDiscarded;
    mDirtyBegin = mDirtyEnd = 0;
    mDiscarded = false;
    return true;
}

template <class Interface, ObjectKind kKind>
HRESULT BufferBase<Interface, kKind>::GetDevice(IDirect3DDevice9** device) noexcept {
    if (device == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    mDevice->AddRef();
    *device = mDevice.get();
    return D3D_OK;
}

template class BufferBase<IDirect3DVertexBuffer9, ObjectKind::kVertexBuffer>;
template class BufferBase<IDirect3DIndexBuffer9, ObjectKind::kIndexBuffer>;

HRESULT VertexBuffer::QueryInterface(REFIID riid, void** object) noexcept {
    return answerQuery<IDirect3DVertexBuffer9>(
        riid, object, this, this, {&IID_IDirect3DResource9, &IID_IDirect3DVertexBuffer9});
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) noexcept {
    if (desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *desc = {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, mUsage, mPool, storage.length(), mFvf};
    return D3D_OK;
}

HRESULT IndexBuffer::QueryInterface(REFIID riid, void** object) noexcept {
    return answerQuery<IDirect3DIndexBuffer9>(
        riid, object, this, this, {&IID_IDirect3DResource9, &IID_IDirect3DIndexBuffer9});
}

HRESULT IndexBuffer::GetDesc(D3DINDEXBUFFER_DESC* desc) noexcept {
    if (desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *desc = {mFormat, D3DRTYPE_INDEXBUFFER, mUsage, mPool, storage.length()};
    return D3D_OK;
}

void IndexBuffer::scan(UINT start, UINT count) noexcept {
    if (mScanVersion == storage.version() && mScanStart == start && mScanCount == count) {
        return;
    }
    UINT low = std::numeric_limits<UINT>::max();
    UINT high = 0;
    const std::byte* bytes = storage.bytes();
    for (UINT i = 0; i < count; ++i) {
        UINT index;
        const std::size_t at = static_cast<std::size_t>(start + i) * indexSize();
        if (mFormat == D3DFMT_INDEX32) {
            index = static_cast<UINT>(bytes[at]) | (static_cast<UINT>(bytes[at + 1]) << 8) |
                    (static_cast<UINT>(bytes[at + 2]) << 16) |
                    (static_cast<UINT>(bytes[at + 3]) << 24);
        } else {
            index = static_cast<UINT>(bytes[at]) | (static_cast<UINT>(bytes[at + 1]) << 8);
        }
        low = std::min(low, index);
        high = std::max(high, index);
    }
    mScanVersion = storage.version();
    mScanStart = start;
    mScanCount = count;
    mScanMin = count > 0 ? low : 0;
    mScanMax = high;
}

UINT IndexBuffer::maxIndex(UINT start, UINT count) noexcept {
    scan(start, count);
    return mScanMax;
}

UINT IndexBuffer::minIndex(UINT start, UINT count) noexcept {
    scan(start, count);
    return mScanMin;
}

VertexDeclaration::VertexDeclaration(Device* device, ObjectId id, const VertexLayout& layout,
                                     UINT elementCount, const D3DVERTEXELEMENT9* elements) noexcept
    : mDevice(device)
    , mId(id)
    , mLayout(layout)
    , mElementCount(elementCount) {
    // The caller checked the array; a failed copy leaves GetDeclaration answering from the
    // layout alone.
    if (!base::allocationSucceeds([&] { mElements.assign(elements, elements + elementCount); })) {
        mElements.clear();
    }
}

HRESULT VertexDeclaration::QueryInterface(REFIID riid, void** object) noexcept {
    return answerQuery<IDirect3DVertexDeclaration9>(riid, object, this, this,
                                                    {&IID_IDirect3DVertexDeclaration9});
}

ULONG VertexDeclaration::Release() noexcept {
    const ULONG remaining = --mRefCount;
    if (remaining == 0) {
        delete this;
    }
    return remaining;
}

HRESULT VertexDeclaration::GetDevice(IDirect3DDevice9** device) noexcept {
    if (device == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    mDevice->AddRef();
    *device = mDevice.get();
    return D3D_OK;
}

HRESULT VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* numElements) noexcept {
    if (numElements == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    if (elements != nullptr) {
        if (mElements.size() == mElementCount) {
            std::copy(mElements.begin(), mElements.end(), elements);
        } else {
            std::copy(mLayout.elements.begin(), mLayout.elements.begin() + mLayout.count, elements);
            elements[mLayout.count] = D3DDECL_END();
        }
    }
    *numElements = mElementCount;
    return D3D_OK;
}

} // namespace halv::gfx::detail
