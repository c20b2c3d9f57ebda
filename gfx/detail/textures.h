// Textures (2D, cube, volume) and the surfaces and volumes that hold their levels. Level
// surfaces share their texture's reference count; standalone surfaces (offscreen plain, the
// back buffer, the automatic depth buffer) count for themselves.
#pragma once

#include "gfx/detail/format_info.h"
#include "gfx/detail/object_core.h"

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace halv::gfx::detail {

class TextureBase;

enum class SurfaceRole {
    kTextureLevel,
    kOffscreen,
    kBackBuffer,
    kDepthStencil,
};

// Pixels of one level (or slice range) as the renderer reads them.
struct LevelView {
    const std::byte* bits = nullptr;
    UINT width = 0;
    UINT height = 0;
    UINT depth = 1;
    UINT rowPitch = 0;
    UINT slicePitch = 0;
};

class Surface final : public IDirect3DSurface9, public ObjectCore {
public:
    // `container` is the owning texture (null for a standalone surface). Back-buffer and
    // depth surfaces have no memory of their own.
    Surface(Device* device, ObjectId id, TextureBase* container, SurfaceRole role,
            const D3DSURFACE_DESC& desc) noexcept;
    ~Surface() override = default;

    [[nodiscard]] bool allocate() noexcept;

    ObjectKind kind() const noexcept override { return ObjectKind::kSurface; }
    ObjectId id() const noexcept override { return mId; }
    void releaseCore() noexcept override { Release(); }

    HRESULT QueryInterface(REFIID riid, void** object) noexcept override;
    ULONG AddRef() noexcept override;
    ULONG Release() noexcept override;
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
    D3DRESOURCETYPE GetType() noexcept override { return D3DRTYPE_SURFACE; }
    HRESULT GetContainer(REFIID riid, void** container) noexcept override;
    HRESULT GetDesc(D3DSURFACE_DESC* desc) noexcept override;
    HRESULT LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) noexcept override;
    HRESULT UnlockRect() noexcept override;
    HRESULT GetDC(HDC* dc) noexcept override;
    HRESULT ReleaseDC(HDC dc) noexcept override;

    const D3DSURFACE_DESC& desc() const noexcept { return mDesc; }
    SurfaceRole role() const noexcept { return mRole; }
    TextureBase* container() const noexcept { return mContainer; }
    Device* device() const noexcept { return mDevice.get(); }
    const FormatInfo& format() const noexcept { return *mFormat; }
    bool locked() const noexcept { return mLocked; }
    UINT pitch() const noexcept { return mPitch; }
    std::byte* bits() noexcept { return mBits.get(); }
    const std::byte* bits() const noexcept { return mBits.get(); }
    // After a device-side write (UpdateSurface, StretchRect, ColorFill).
    void contentChanged() noexcept;
    // Lets go of the memory (a texture level whose pixels the renderer holds).
    void releaseBits() noexcept { mBits.reset(); }

private:
    DeviceLink mDevice;
    ObjectId mId;
    TextureBase* mContainer;
    SurfaceRole mRole;
    D3DSURFACE_DESC mDesc;
    const FormatInfo* mFormat;
    UINT mPitch = 0;
    std::unique_ptr<std::byte[]> mBits;
    bool mLocked = false;
    bool mWriteLock = false;
    ULONG mRefCount = 1;
    DWORD mPriority = 0;
    PrivateData mPrivate;
};

class Volume final : public IDirect3DVolume9, public ObjectCore {
public:
    Volume(Device* device, ObjectId id, TextureBase* container,
           const D3DVOLUME_DESC& desc) noexcept;
    ~Volume() override = default;

    [[nodiscard]] bool allocate() noexcept;

    ObjectKind kind() const noexcept override { return ObjectKind::kVolume; }
    ObjectId id() const noexcept override { return mId; }
    void releaseCore() noexcept override { Release(); }

    HRESULT QueryInterface(REFIID riid, void** object) noexcept override;
    ULONG AddRef() noexcept override;
    ULONG Release() noexcept override;
    HRESULT GetDevice(IDirect3DDevice9** device) noexcept override;
    HRESULT SetPrivateData(REFGUID guid, const void* data, DWORD size,
                           DWORD flags) noexcept override {
        return mPrivate.set(guid, data, size, flags);
    }
    HRESULT GetPrivateData(REFGUID guid, void* data, DWORD* size) noexcept override {
        return mPrivate.get(guid, data, size);
    }
    HRESULT FreePrivateData(REFGUID guid) noexcept override { return mPrivate.free(guid); }
    HRESULT GetContainer(REFIID riid, void** container) noexcept override;
    HRESULT GetDesc(D3DVOLUME_DESC* desc) noexcept override;
    HRESULT LockBox(D3DLOCKED_BOX* lockedVolume, const D3DBOX* box, DWORD flags) noexcept override;
    HRESULT UnlockBox() noexcept override;

    const D3DVOLUME_DESC& desc() const noexcept { return mDesc; }
    UINT rowPitch() const noexcept { return mRowPitch; }
    UINT slicePitch() const noexcept { return mSlicePitch; }
    std::byte* bits() noexcept { return mBits.get(); }
    const std::byte* bits() const noexcept { return mBits.get(); }

private:
    DeviceLink mDevice;
    ObjectId mId;
    TextureBase* mContainer;
    D3DVOLUME_DESC mDesc;
    const FormatInfo* mFormat;
    UINT mRowPitch = 0;
    UINT mSlicePitch = 0;
    std::unique_ptr<std::byte[]> mBits;
    bool mLocked = false;
    bool mWriteLock = false;
    PrivateData mPrivate;
};

// What the three texture kinds share; the renderer reads textures through it.
class TextureBase {
public:
    virtual ~TextureBase() = default;

    virtual IDirect3DBaseTexture9* asBaseTexture() noexcept = 0;
    virtual ObjectKind textureKind() const noexcept = 0;
    virtual Device* owner() const noexcept = 0;
    // Level `level` of face `face` (0 except for cubes).
    virtual LevelView levelView(UINT face, UINT level) const noexcept = 0;

    D3DFORMAT format() const noexcept { return mFormat; }
    DWORD usage() const noexcept { return mUsage; }
    D3DPOOL pool() const noexcept { return mPool; }
    UINT width() const noexcept { return mWidth; }
    UINT height() const noexcept { return mHeight; }
    UINT depth() const noexcept { return mDepth; }
    // The levels that hold memory (1 for AUTOGENMIPMAP).
    UINT levels() const noexcept { return mLevels; }
    UINT faces() const noexcept { return mFaces; }
    bool autoGenMipmap() const noexcept { return (mUsage & D3DUSAGE_AUTOGENMIPMAP) != 0; }

    // Moves whenever a level may have changed; the renderer re-uploads on a change.
    std::uint64_t contentVersion() const noexcept { return mContentVersion; }
    void contentChanged() noexcept { ++mContentVersion; }

    // A managed texture whose pixels the renderer holds (uploaded, unchanged since) may let go
    // of its levels' memory; the first access after that (a lock, a change) reads them back
    // from the renderer. False, with nothing let go, for other pools and kinds and while a
    // level is locked.
    virtual bool releaseSystemCopy() noexcept { return false; }
    // True when the levels' memory is there again (or was never let go).
    virtual bool restoreSystemCopy() noexcept { return true; }
    bool systemCopyReleased() const noexcept { return mReleased; }

    std::unique_ptr<GpuObject> gpu;

protected:
    TextureBase(D3DFORMAT format, DWORD usage, D3DPOOL pool, UINT width, UINT height, UINT depth,
                UINT levels, UINT faces) noexcept
        : mFormat(format)
        , mUsage(usage)
        , mPool(pool)
        , mWidth(width)
        , mHeight(height)
        , mDepth(depth)
        , mLevels(levels)
        , mFaces(faces) {}

    D3DFORMAT mFormat;
    DWORD mUsage;
    D3DPOOL mPool;
    UINT mWidth;
    UINT mHeight;
    UINT mDepth;
    UINT mLevels;
    UINT mFaces;
    std::uint64_t mContentVersion = 1;
    bool mReleased = false;
};

// Resource and base-texture methods for one texture interface.
template <class Interface, ObjectKind kKind>
class TextureObject : public Interface, public ObjectCore, public TextureBase {
public:
    ObjectKind kind() const noexcept override { return kKind; }
    ObjectKind textureKind() const noexcept override { return kKind; }
    ObjectId id() const noexcept override { return mId; }
    void releaseCore() noexcept override { Release(); }
    IDirect3DBaseTexture9* asBaseTexture() noexcept override { return this; }
    Device* owner() const noexcept override { return mDevice.get(); }

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
    // A managed texture goes to the renderer now rather than at its first draw.
    void PreLoad() noexcept override;

    // Only managed textures have a level of detail; the others answer 0.
    DWORD SetLOD(DWORD lod) noexcept override {
        if (mPool != D3DPOOL_MANAGED) {
            return 0;
        }
        const DWORD previous = mLod;
        mLod = lod < mLevels ? lod : mLevels - 1;
        return previous;
    }
    DWORD GetLOD() noexcept override { return mLod; }
    DWORD GetLevelCount() noexcept override { return mLevels; }
    HRESULT SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filterType) noexcept override {
        if (filterType != D3DTEXF_POINT && filterType != D3DTEXF_LINEAR) {
            return D3DERR_INVALIDCALL;
        }
        mAutoGenFilter = filterType;
        return D3D_OK;
    }
    D3DTEXTUREFILTERTYPE GetAutoGenFilterType() noexcept override { return mAutoGenFilter; }
    void GenerateMipSubLevels() noexcept override {
        // The renderer re-uploads the levels, so they must be here.
        if (restoreSystemCopy()) {
            contentChanged();
        }
    }

    Device* device() const noexcept { return mDevice.get(); }

protected:
    TextureObject(Device* device, ObjectId id, D3DFORMAT format, DWORD usage, D3DPOOL pool,
                  UINT width, UINT height, UINT depth, UINT levels, UINT faces) noexcept
        : TextureBase(format, usage, pool, width, height, depth, levels, faces)
        , mDevice(device)
        , mId(id) {}
    // The GPU object needs the device, whose link is destroyed before the base part.
    virtual ~TextureObject() { gpu.reset(); }

    DeviceLink mDevice;
    ObjectId mId;

private:
    ULONG mRefCount = 1;
    DWORD mPriority = 0;
    DWORD mLod = 0;
    D3DTEXTUREFILTERTYPE mAutoGenFilter = D3DTEXF_LINEAR;
    PrivateData mPrivate;
};

// 2D and cube textures: one surface per face and level.
template <class Interface, ObjectKind kKind>
class SurfaceTexture : public TextureObject<Interface, kKind> {
public:
    LevelView levelView(UINT face, UINT level) const noexcept override;
    bool releaseSystemCopy() noexcept override;
    bool restoreSystemCopy() noexcept override;
    Surface* surface(UINT face, UINT level) const noexcept {
        return face < this->mFaces && level < this->mLevels
                   ? mSurfaces[face * this->mLevels + level].get()
                   : nullptr;
    }
    // Makes the surfaces; false when memory runs out.
    [[nodiscard]] bool createSurfaces(Device* device) noexcept;

protected:
    using TextureObject<Interface, kKind>::TextureObject;
    // Surfaces go before the texture's own device link.
    ~SurfaceTexture() override { mSurfaces.clear(); }

    std::vector<std::unique_ptr<Surface>> mSurfaces;
};

class Texture final : public SurfaceTexture<IDirect3DTexture9, ObjectKind::kTexture> {
public:
    Texture(Device* device, ObjectId id, D3DFORMAT format, DWORD usage, D3DPOOL pool, UINT width,
            UINT height, UINT levels) noexcept
        : SurfaceTexture(device, id, format, usage, pool, width, height, 1, levels, 1) {}

    HRESULT QueryInterface(REFIID riid, void** object) noexcept override;
    D3DRESOURCETYPE GetType() noexcept override { return D3DRTYPE_TEXTURE; }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) noexcept override;
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surfaceLevel) noexcept override;
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                     DWORD flags) noexcept override;
    HRESULT UnlockRect(UINT level) noexcept override;
    HRESULT AddDirtyRect(const RECT* dirtyRect) noexcept override;
};

class CubeTexture final : public SurfaceTexture<IDirect3DCubeTexture9, ObjectKind::kCubeTexture> {
public:
    CubeTexture(Device* device, ObjectId id, D3DFORMAT format, DWORD usage, D3DPOOL pool, UINT edge,
                UINT levels) noexcept
        : SurfaceTexture(device, id, format, usage, pool, edge, edge, 1, levels, 6) {}

    HRESULT QueryInterface(REFIID riid, void** object) noexcept override;
    D3DRESOURCETYPE GetType() noexcept override { return D3DRTYPE_CUBETEXTURE; }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) noexcept override;
    HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level,
                              IDirect3DSurface9** cubeMapSurface) noexcept override;
    HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* lockedRect,
                     const RECT* rect, DWORD flags) noexcept override;
    HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) noexcept override;
    HRESULT AddDirtyRect(D3DCUBEMAP_FACES face, const RECT* dirtyRect) noexcept override;
};

class VolumeTexture final
    : public TextureObject<IDirect3DVolumeTexture9, ObjectKind::kVolumeTexture> {
public:
    VolumeTexture(Device* device, ObjectId id, D3DFORMAT format, DWORD usage, D3DPOOL pool,
                  UINT width, UINT height, UINT depth, UINT levels) noexcept
        : TextureObject(device, id, format, usage, pool, width, height, depth, levels, 1) {}

    [[nodiscard]] bool createVolumes(Device* device) noexcept;
    Volume* volume(UINT level) const noexcept {
        return level < mLevels ? mVolumes[level].get() : nullptr;
    }

    HRESULT QueryInterface(REFIID riid, void** object) noexcept override;
    D3DRESOURCETYPE GetType() noexcept override { return D3DRTYPE_VOLUMETEXTURE; }
    LevelView levelView(UINT face, UINT level) const noexcept override;
    HRESULT GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) noexcept override;
    HRESULT GetVolumeLevel(UINT level, IDirect3DVolume9** volumeLevel) noexcept override;
    HRESULT LockBox(UINT level, D3DLOCKED_BOX* lockedVolume, const D3DBOX* box,
                    DWORD flags) noexcept override;
    HRESULT UnlockBox(UINT level) noexcept override;
    HRESULT AddDirtyBox(const D3DBOX* dirtyBox) noexcept override;

private:
    ~VolumeTexture() override { mVolumes.clear(); }

    std::vector<std::unique_ptr<Volume>> mVolumes;
};

// Our texture behind a published base-texture pointer, or null.
TextureBase* textureOf(IDirect3DBaseTexture9* texture) noexcept;

} // namespace halv::gfx::detail
