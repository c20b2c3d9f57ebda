// Vertex buffers, index buffers and vertex declarations: bytes in system memory, a version
// that moves on every write, and the dirty range the renderer uploads.
#pragma once

#include "gfx/detail/object_core.h"
#include "gfx/detail/vertex_layout.h"

#include <cstdint>
#include <memory>
#include <utility>

namespace halv::gfx::detail {

// The storage and lock rules shared by both buffer kinds.
class BufferStorage {
public:
    [[nodiscard]] bool allocate(UINT length) noexcept;

    HRESULT lock(UINT offset, UINT size, void** data, DWORD flags, bool dynamic) noexcept;
    HRESULT unlock() noexcept;

    UINT length() const noexcept { return mLength; }
    const std::byte* bytes() const noexcept { return mBytes.get(); }
    bool locked() const noexcept { return mLockCount > 0; }

    // Moves on every unlock that may have written.
    std::uint64_t version() const noexcept { return mVersion; }
    // The byte range written since the renderer last took it; whole after a DISCARD.
    bool takeDirtyRange(UINT* begin, UINT* end, bool* discarded) noexcept;

    std::unique_ptr<GpuObject> gpu;

private:
    std::unique_ptr<std::byte[]> mBytes;
    UINT mLength = 0;
    UINT mLockCount = 0;
    bool mWriteLock = false;
    UINT mPendingBegin = 0;
    UINT mPendingEnd = 0;
    UINT mDirtyBegin = 0;
    UINT mDirtyEnd = 0;
    bool mDiscarded = false;
    std::uint64_t mVersion = 1;
};

template <class Interface, ObjectKind kKind>
class BufferBase : public Interface, public ObjectCore {
public:
    ObjectKind kind() const noexcept override { return kKind; }
    ObjectId id() const noexcept override { return mId; }
    void releaseCore() noexcept override { Release(); }

    ULONG AddRef() noexcept override { return ++mRefCount; }
    ULONG Release() noexcept override {
        const ULONG remaining = --mRefCount;
        if (remaining == 0) {
            delete this;
        }
        return remaining;
    }

    HRESULT GetDevice(IDirect3DDevice9** device) noexcept override;
    HRESULT SetPrivateData(REFGUID guid, const void* data, DWORD size,
                           DWORD flags) noexcept override {
        return mPrivate.set(guid, data, size, flags);
    }
    HRESULT GetPrivateData(REFGUID guid, void* data, DWORD* size) noexcept override {
        return mPrivate.get(guid, data, size);
    }
    HRESULT FreePrivateData(REFGUID guid) noexcept override { return mPrivate.free(guid); }
    DWORD SetPriority(DWORD priority) noexcept override {
        return std::exchange(mPriority, priority);
    }
    DWORD GetPriority() noexcept override { return mPriority; }
    void PreLoad() noexcept override {}

    HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) noexcept override {
        return storage.lock(offset, size, data, flags, (mUsage & D3DUSAGE_DYNAMIC) != 0);
    }
    HRESULT Unlock() noexcept override { return storage.unlock(); }

    Device* device() const noexcept { return mDevice.get(); }
    DWORD usage() const noexcept { return mUsage; }
    D3DPOOL pool() const noexcept { return mPool; }

protected:
    BufferBase(Device* device, ObjectId id, DWORD usage, D3DPOOL pool) noexcept
        : mDevice(device)
        , mId(id)
        , mUsage(usage)
        , mPool(pool) {}
    virtual ~BufferBase() = default;

    DeviceLink mDevice;
    ObjectId mId;
    DWORD mUsage;
    D3DPOOL mPool;

private:
    ULONG mRefCount = 1;
    DWORD mPriority = 0;
    PrivateData mPrivate;

public:
    // Declared after the device link so that its GPU object goes first.
    BufferStorage storage;
};

class VertexBuffer final : public BufferBase<IDirect3DVertexBuffer9, ObjectKind::kVertexBuffer> {
public:
    VertexBuffer(Device* device, ObjectId id, DWORD usage, D3DPOOL pool, DWORD fvf) noexcept
        : BufferBase(device, id, usage, pool)
        , mFvf(fvf) {}

    HRESULT QueryInterface(REFIID riid, void** object) noexcept override;
    D3DRESOURCETYPE GetType() noexcept override { return D3DRTYPE_VERTEXBUFFER; }
    HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) noexcept override;

private:
    DWORD mFvf;
};

class IndexBuffer final : public BufferBase<IDirect3DIndexBuffer9, ObjectKind::kIndexBuffer> {
public:
    IndexBuffer(Device* device, ObjectId id, DWORD usage, D3DPOOL pool, D3DFORMAT format) noexcept
        : BufferBase(device, id, usage, pool)
        , mFormat(format) {}

    HRESULT QueryInterface(REFIID riid, void** object) noexcept override;
    D3DRESOURCETYPE GetType() noexcept override { return D3DRTYPE_INDEXBUFFER; }
    HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) noexcept override;

    D3DFORMAT format() const noexcept { return mFormat; }
    UINT indexSize() const noexcept { return mFormat == D3DFMT_INDEX32 ? 4 : 2; }

    // Largest index in [start, start + count), cached per buffer version.
    UINT maxIndex(UINT start, UINT count) noexcept;
    UINT minIndex(UINT start, UINT count) noexcept;

private:
    void scan(UINT start, UINT count) noexcept;

    D3DFORMAT mFormat;
    std::uint64_t mScanVersion = 0;
    UINT mScanStart = 0;
    UINT mScanCount = 0;
    UINT mScanMin = 0;
    UINT mScanMax = 0;
};

class VertexDeclaration final : public IDirect3DVertexDeclaration9, public ObjectCore {
public:
    VertexDeclaration(Device* device, ObjectId id, const VertexLayout& layout, UINT elementCount,
                      const D3DVERTEXELEMENT9* elements) noexcept;

    ObjectKind kind() const noexcept override { return ObjectKind::kVertexDeclaration; }
    ObjectId id() const noexcept override { return mId; }
    void releaseCore() noexcept override { Release(); }

    HRESULT QueryInterface(REFIID riid, void** object) noexcept override;
    ULONG AddRef() noexcept override { return ++mRefCount; }
    ULONG Release() noexcept override;
    HRESULT GetDevice(IDirect3DDevice9** device) noexcept override;
    HRESULT GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* numElements) noexcept override;

    const VertexLayout& layout() const noexcept { return mLayout; }

private:
    ~VertexDeclaration() = default;

    DeviceLink mDevice;
    ObjectId mId;
    ULONG mRefCount = 1;
    VertexLayout mLayout;
    UINT mElementCount;
    std::vector<D3DVERTEXELEMENT9> mElements;
};

} // namespace halv::gfx::detail
