#include "gfx/detail/textures.h"

#include "base/allocation_guard.h"
#include "gfx/detail/device.h"

#include <algorithm>
#include <new>

namespace halv::gfx::detail {
namespace {

constexpr DWORD kSurfaceLockFlags = D3DLOCK_READONLY | D3DLOCK_DISCARD | D3DLOCK_NOSYSLOCK |
                                    D3DLOCK_DONOTWAIT | D3DLOCK_NO_DIRTY_UPDATE;

// A lock's flags: known ones only; DISCARD needs a dynamic resource and cannot be read-only.
bool lockFlagsValid(DWORD flags, DWORD usage) {
    if ((flags & ~kSurfaceLockFlags) != 0) {
        return false;
    }
    if ((flags & D3DLOCK_DISCARD) != 0 &&
        ((usage & D3DUSAGE_DYNAMIC) == 0 || (flags & D3DLOCK_READONLY) != 0)) {
        return false;
    }
    return true;
}

// Left/top inclusive, right/bottom exclusive, inside the level; block formats on 4-pixel
// boundaries (or the level's edge), packed formats on pixel pairs.
bool spanValid(LONG begin, LONG end, UINT size, const FormatInfo& format) {
    if (begin < 0 || begin >= end || static_cast<UINT>(end) > size) {
        return false;
    }
    if (format.kind == FormatKind::kBlock) {
        return begin % 4 == 0 && (end % 4 == 0 || static_cast<UINT>(end) == size);
    }
    return true;
}

std::size_t columnOffset(const FormatInfo& format, UINT left) {
    switch (format.kind) {
    case FormatKind::kBlock:
        return static_cast<std::size_t>(left / 4) * format.blockBytes;
    case FormatKind::kPacked:
        return static_cast<std::size_t>(left / 2) * format.blockBytes;
    default:
        return static_cast<std::size_t>(left) * (format.bitsPerPixel / 8);
    }
}

std::size_t rowOffset(const FormatInfo& format, UINT top, UINT pitch) {
    return static_cast<std::size_t>(format.kind == FormatKind::kBlock ? top / 4 : top) * pitch;
}

bool lockable(D3DPOOL pool, DWORD usage) {
    return pool != D3DPOOL_DEFAULT || (usage & D3DUSAGE_DYNAMIC) != 0;
}

HRESULT handOutDevice(Device* device, IDirect3DDevice9** out) noexcept {
    if (out == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    device->AddRef();
    *out = device;
    return D3D_OK;
}

} // namespace

// --- Surface -------------------------------------------------------------------------------

Surface::Surface(Device* device, ObjectId id, TextureBase* container, SurfaceRole role,
                 const D3DSURFACE_DESC& desc) noexcept
    : mDevice(device)
    , mId(id)
    , mContainer(container)
    , mRole(role)
    , mDesc(desc)
    , mFormat(findFormat(desc.Format)) {}

bool Surface::allocate() noexcept {
    if (mFormat == nullptr) {
        return false;
    }
    mPitch = rowPitch(*mFormat, mDesc.Width);
    if (mRole == SurfaceRole::kBackBuffer || mRole == SurfaceRole::kDepthStencil) {
        return true;
    }
    std::size_t bytes = 0;
    if (!levelBytes(*mFormat, mDesc.Width, mDesc.Height, 1, &bytes)) {
        return false;
    }
    mBits.reset(new (std::nothrow) std::byte[bytes]());
    return mBits != nullptr;
}

HRESULT Surface::QueryInterface(REFIID riid, void** object) noexcept {
    return answerQuery<IDirect3DSurface9>(riid, object, this, this,
                                          {&IID_IDirect3DResource9, &IID_IDirect3DSurface9});
}

ULONG Surface::AddRef() noexcept {
    if (mContainer != nullptr) {
        return mContainer->asBaseTexture()->AddRef();
    }
    return ++mRefCount;
}

ULONG Surface::Release() noexcept {
    if (mContainer != nullptr) {
        return mContainer->asBaseTexture()->Release();
    }
    const ULONG remaining = --mRefCount;
    if (remaining == 0) {
        delete this;
    }
    return remaining;
}

HRESULT Surface::GetDevice(IDirect3DDevice9** device) noexcept {
    return handOutDevice(mDevice.get(), device);
}

HRESULT Surface::GetContainer(REFIID riid, void** container) noexcept {
    if (container == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    IUnknown* owner = mContainer != nullptr ? static_cast<IUnknown*>(mContainer->asBaseTexture())
                                            : static_cast<IUnknown*>(mDevice.get());
    const HRESULT hr = owner->QueryInterface(riid, container);
    return FAILED(hr) ? E_NOINTERFACE : hr;
}

HRESULT Surface::GetDesc(D3DSURFACE_DESC* desc) noexcept {
    if (desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *desc = mDesc;
    return D3D_OK;
}

HRESULT Surface::LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect, DWORD flags) noexcept {
    if (lockedRect != nullptr && !mLocked && mContainer != nullptr &&
        !mContainer->restoreSystemCopy()) {
        return E_OUTOFMEMORY;
    }
    if (lockedRect == nullptr || mLocked || mBits == nullptr ||
        !lockFlagsValid(flags, mDesc.Usage)) {
        return D3DERR_INVALIDCALL;
    }
    if (mRole == SurfaceRole::kTextureLevel && !lockable(mDesc.Pool, mDesc.Usage)) {
        return D3DERR_INVALIDCALL;
    }
    std::size_t offset = 0;
    if (rect != nullptr) {
        if (!spanValid(rect->left, rect->right, mDesc.Width, *mFormat) ||
            !spanValid(rect->top, rect->bottom, mDesc.Height, *mFormat) ||
            (mFormat->kind == FormatKind::kPacked && rect->left % 2 != 0)) {
            return D3DERR_INVALIDCALL;
        }
        offset = rowOffset(*mFormat, static_cast<UINT>(rect->top), mPitch) +
                 columnOffset(*mFormat, static_cast<UINT>(rect->left));
    }
    mLocked = true;
    mWriteLock = (flags & D3DLOCK_READONLY) == 0;
    lockedRect->Pitch = static_cast<INT>(mPitch);
    lockedRect->pBits = mBits.get() + offset;
    return D3D_OK;
}

HRESULT Surface::UnlockRect() noexcept {
    if (!mLocked) {
        return D3DERR_INVALIDCALL;
    }
    mLocked = false;
    if (mWriteLock) {
        contentChanged();
    }
    return D3D_OK;
}

void Surface::contentChanged() noexcept {
    if (mContainer != nullptr) {
        mContainer->contentChanged();
    }
}

HRESULT Surface::GetDC(HDC* /*dc*/) noexcept {
    return D3DERR_INVALIDCALL;
}

HRESULT Surface::ReleaseDC(HDC /*dc*/) noexcept {
    return D3DERR_INVALIDCALL;
}

// --- Volume --------------------------------------------------------------------------------

Volume::Volume(Device* device, ObjectId id, TextureBase* container,
               const D3DVOLUME_DESC& desc) noexcept
    : mDevice(device)
    , mId(id)
    , mContainer(container)
    , mDesc(desc)
    , mFormat(findFormat(desc.Format)) {}

bool Volume::allocate() noexcept {
    if (mFormat == nullptr) {
        return false;
    }
    std::size_t bytes = 0;
    if (!levelBytes(*mFormat, mDesc.Width, mDesc.Height, mDesc.Depth, &bytes)) {
        return false;
    }
    mRowPitch = detail::rowPitch(*mFormat, mDesc.Width);
    mSlicePitch = mRowPitch * rowCount(*mFormat, mDesc.Height);
    mBits.reset(new (std::nothrow) std::byte[bytes]());
    return mBits != nullptr;
}

HRESULT Volume::QueryInterface(REFIID riid, void** object) noexcept {
    return answerQuery<IDirect3DVolume9>(riid, object, this, this, {&IID_IDirect3DVolume9});
}

// A volume always belongs to a volume texture and shares its count.
ULONG Volume::AddRef() noexcept {
    return mContainer->asBaseTexture()->AddRef();
}

ULONG Volume::Release() noexcept {
    return mContainer->asBaseTexture()->Release();
}

HRESULT Volume::GetDevice(IDirect3DDevice9** device) noexcept {
    return handOutDevice(mDevice.get(), device);
}

HRESULT Volume::GetContainer(REFIID riid, void** container) noexcept {
    if (container == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    const HRESULT hr = mContainer->asBaseTexture()->QueryInterface(riid, container);
    return FAILED(hr) ? E_NOINTERFACE : hr;
}

HRESULT Volume::GetDesc(D3DVOLUME_DESC* desc) noexcept {
    if (desc == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    *desc = mDesc;
    return D3D_OK;
}

HRESULT Volume::LockBox(D3DLOCKED_BOX* lockedVolume, const D3DBOX* box, DWORD flags) noexcept {
    if (lockedVolume == nullptr || mLocked || mBits == nullptr ||
        !lockFlagsValid(flags, mDesc.Usage) || !lockable(mDesc.Pool, mDesc.Usage)) {
        return D3DERR_INVALIDCALL;
    }
    std::size_t offset = 0;
    if (box != nullptr) {
        const auto asLong = [](UINT value) {
            return value > 0x7FFFFFFFu ? LONG{-1} : static_cast<LONG>(value);
        };
        if (!spanValid(asLong(box->Left), asLong(box->Right), mDesc.Width, *mFormat) ||
            !spanValid(asLong(box->Top), asLong(box->Bottom), mDesc.Height, *mFormat) ||
            box->Front >= box->Back || box->Back > mDesc.Depth) {
            return D3DERR_INVALIDCALL;
        }
        offset = static_cast<std::size_t>(box->Front) * mSlicePitch +
                 rowOffset(*mFormat, box->Top, mRowPitch) + columnOffset(*mFormat, box->Left);
    }
    mLocked = true;
    mWriteLock = (flags & D3DLOCK_READONLY) == 0;
    lockedVolume->RowPitch = static_cast<INT>(mRowPitch);
    lockedVolume->SlicePitch = static_cast<INT>(mSlicePitch);
    lockedVolume->pBits = mBits.get() + offset;
    return D3D_OK;
}

HRESULT Volume::UnlockBox() noexcept {
    if (!mLocked) {
        return D3DERR_INVALIDCALL;
    }
    mLocked = false;
    if (mWriteLock) {
        mContainer->contentChanged();
    }
    return D3D_OK;
}

// --- Textures ------------------------------------------------------------------------------

template <class Interface, ObjectKind kKind>
HRESULT TextureObject<Interface, kKind>::GetDevice(IDirect3DDevice9** device) noexcept {
    return handOutDevice(mDevice.get(), device);
}

template <class Interface, ObjectKind kKind>
bool SurfaceTexture<Interface, kKind>::createSurfaces(Device* device) noexcept {
    if (!base::allocationSucceeds(
            [&] { mSurfaces.reserve(static_cast<std::size_t>(this->mFaces) * this->mLevels); })) {
        return false;
    }
    for (UINT face = 0; face < this->mFaces; ++face) {
        for (UINT level = 0; level < this->mLevels; ++level) {
            const D3DSURFACE_DESC desc = {this->mFormat,
                                          D3DRTYPE_SURFACE,
                                          this->mUsage,
                                          this->mPool,
                                          D3DMULTISAMPLE_NONE,
                                          0,
                                          levelSize(this->mWidth, level),
                                          levelSize(this->mHeight, level)};
            std::unique_ptr<Surface> surface(new (std::nothrow) Surface(
                device, device->nextObjectId(), this, SurfaceRole::kTextureLevel, desc));
            if (surface == nullptr || !surface->allocate()) {
                return false;
            }
            mSurfaces.push_back(std::move(surface));
        }
    }
    return true;
}

template <class Interface, ObjectKind kKind>
LevelView SurfaceTexture<Interface, kKind>::levelView(UINT face, UINT level) const noexcept {
    const Surface* level0 = surface(face, level);
    if (level0 == nullptr) {
        return {};
    }
    return {level0->bits(), level0->desc().Width, level0->desc().Height, 1, level0->pitch(), 0};
}

template <class Interface, ObjectKind kKind>
void TextureObject<Interface, kKind>::PreLoad() noexcept {
    if (this->mPool == D3DPOOL_MANAGED) {
        mDevice.get()->renderer().preload(*this);
    }
}

template <class Interface, ObjectKind kKind>
bool SurfaceTexture<Interface, kKind>::releaseSystemCopy() noexcept {
    if (this->mPool != D3DPOOL_MANAGED || this->mReleased) {
        return false;
    }
    for (const std::unique_ptr<Surface>& level : mSurfaces) {
        if (level->locked()) {
            return false;
        }
    }
    for (const std::unique_ptr<Surface>& level : mSurfaces) {
        level->releaseBits();
    }
    this->mReleased = true;
    return true;
}

template <class Interface, ObjectKind kKind>
bool SurfaceTexture<Interface, kKind>::restoreSystemCopy() noexcept {
    if (!this->mReleased) {
        return true;
    }
    Renderer& renderer = this->mDevice.get()->renderer();
    for (std::size_t i = 0; i < mSurfaces.size(); ++i) {
        Surface& level = *mSurfaces[i];
        const auto face = static_cast<UINT>(i / this->mLevels);
        const auto index = static_cast<UINT>(i % this->mLevels);
        if (!level.allocate() ||
            FAILED(renderer.readTextureLevel(*this, face, index, level.bits()))) {
            // All or nothing: the renderer still holds every level.
            for (const std::unique_ptr<Surface>& other : mSurfaces) {
                other->releaseBits();
            }
            return false;
        }
    }
    this->mReleased = false;
    return true;
}

template class TextureObject<IDirect3DTexture9, ObjectKind::kTexture>;
template class TextureObject<IDirect3DCubeTexture9, ObjectKind::kCubeTexture>;
template class TextureObject<IDirect3DVolumeTexture9, ObjectKind::kVolumeTexture>;
template class SurfaceTexture<IDirect3DTexture9, ObjectKind::kTexture>;
template class SurfaceTexture<IDirect3DCubeTexture9, ObjectKind::kCubeTexture>;

HRESULT Texture::QueryInterface(REFIID riid, void** object) noexcept {
    return answerQuery<IDirect3DTexture9>(
        riid, object, this, this,
        {&IID_IDirect3DResource9, &IID_IDirect3DBaseTexture9, &IID_IDirect3DTexture9});
}

HRESULT Texture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) noexcept {
    Surface* found = surface(0, level);
    return found != nullptr ? found->GetDesc(desc) : D3DERR_INVALIDCALL;
}

HRESULT Texture::GetSurfaceLevel(UINT level, IDirect3DSurface9** surfaceLevel) noexcept {
    Surface* found = surface(0, level);
    if (found == nullptr || surfaceLevel == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    found->AddRef();
    *surfaceLevel = found;
    return D3D_OK;
}

HRESULT Texture::LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                          DWORD flags) noexcept {
    Surface* found = surface(0, level);
    return found != nullptr ? found->LockRect(lockedRect, rect, flags) : D3DERR_INVALIDCALL;
}

HRESULT Texture::UnlockRect(UINT level) noexcept {
    Surface* found = surface(0, level);
    return found != nullptr ? found->UnlockRect() : D3DERR_INVALIDCALL;
}

HRESULT Texture::AddDirtyRect(const RECT* dirtyRect) noexcept {
    if (dirtyRect != nullptr &&
        (dirtyRect->left < 0 || dirtyRect->top < 0 || dirtyRect->left > dirtyRect->right ||
         dirtyRect->top > dirtyRect->bottom || static_cast<UINT>(dirtyRect->right) > mWidth ||
         static_cast<UINT>(dirtyRect->bottom) > mHeight)) {
        return D3DERR_INVALIDCALL;
    }
    contentChanged();
    return D3D_OK;
}

HRESULT CubeTexture::QueryInterface(REFIID riid, void** object) noexcept {
    return answerQuery<IDirect3DCubeTexture9>(
        riid, object, this, this,
        {&IID_IDirect3DResource9, &IID_IDirect3DBaseTexture9, &IID_IDirect3DCubeTexture9});
}

HRESULT CubeTexture::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) noexcept {
    Surface* found = surface(0, level);
    return found != nullptr ? found->GetDesc(desc) : D3DERR_INVALIDCALL;
}

HRESULT CubeTexture::GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level,
                                       IDirect3DSurface9** cubeMapSurface) noexcept {
    Surface* found = surface(face, level);
    if (found == nullptr || cubeMapSurface == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    found->AddRef();
    *cubeMapSurface = found;
    return D3D_OK;
}

HRESULT CubeTexture::LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* lockedRect,
                              const RECT* rect, DWORD flags) noexcept {
    Surface* found = surface(face, level);
    return found != nullptr ? found->LockRect(lockedRect, rect, flags) : D3DERR_INVALIDCALL;
}

HRESULT CubeTexture::UnlockRect(D3DCUBEMAP_FACES face, UINT level) noexcept {
    Surface* found = surface(face, level);
    return found != nullptr ? found->UnlockRect() : D3DERR_INVALIDCALL;
}

HRESULT CubeTexture::AddDirtyRect(D3DCUBEMAP_FACES face, const RECT* dirtyRect) noexcept {
    if (face > D3DCUBEMAP_FACE_NEGATIVE_Z) {
        return D3DERR_INVALIDCALL;
    }
    if (dirtyRect != nullptr &&
        (dirtyRect->left < 0 || dirtyRect->top < 0 || dirtyRect->left > dirtyRect->right ||
         dirtyRect->top > dirtyRect->bottom || static_cast<UINT>(dirtyRect->right) > mWidth ||
         static_cast<UINT>(dirtyRect->bottom) > mHeight)) {
        return D3DERR_INVALIDCALL;
    }
    contentChanged();
    return D3D_OK;
}

bool VolumeTexture::createVolumes(Device* device) noexcept {
    if (!base::allocationSucceeds([&] { mVolumes.reserve(mLevels); })) {
        return false;
    }
    for (UINT level = 0; level < mLevels; ++level) {
        const D3DVOLUME_DESC desc = {mFormat,
                                     D3DRTYPE_VOLUME,
                                     mUsage,
                                     mPool,
                                     levelSize(mWidth, level),
                                     levelSize(mHeight, level),
                                     levelSize(mDepth, level)};
        std::unique_ptr<Volume> volume(new (std::nothrow)
                                           Volume(device, device->nextObjectId(), this, desc));
        if (volume == nullptr || !volume->allocate()) {
            return false;
        }
        mVolumes.push_back(std::move(volume));
    }
    return true;
}

HRESULT VolumeTexture::QueryInterface(REFIID riid, void** object) noexcept {
    return answerQuery<IDirect3DVolumeTexture9>(
        riid, object, this, this,
        {&IID_IDirect3DResource9, &IID_IDirect3DBaseTexture9, &IID_IDirect3DVolumeTexture9});
}

LevelView VolumeTexture::levelView(UINT /*face*/, UINT level) const noexcept {
    const Volume* found = volume(level);
    if (found == nullptr) {
        return {};
    }
    return {found->bits(),       found->desc().Width, found->desc().Height,
            found->desc().Depth, found->rowPitch(),   found->slicePitch()};
}

HRESULT VolumeTexture::GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) noexcept {
    Volume* found = volume(level);
    return found != nullptr ? found->GetDesc(desc) : D3DERR_INVALIDCALL;
}

HRESULT VolumeTexture::GetVolumeLevel(UINT level, IDirect3DVolume9** volumeLevel) noexcept {
    Volume* found = volume(level);
    if (found == nullptr || volumeLevel == nullptr) {
        return D3DERR_INVALIDCALL;
    }
    found->AddRef();
    *volumeLevel = found;
    return D3D_OK;
}

HRESULT VolumeTexture::LockBox(UINT level, D3DLOCKED_BOX* lockedVolume, const D3DBOX* box,
                               DWORD flags) noexcept {
    Volume* found = volume(level);
    return found != nullptr ? found->LockBox(lockedVolume, box, flags) : D3DERR_INVALIDCALL;
}

HRESULT VolumeTexture::UnlockBox(UINT level) noexcept {
    Volume* found = volume(level);
    return found != nullptr ? found->UnlockBox() : D3DERR_INVALIDCALL;
}

HRESULT VolumeTexture::AddDirtyBox(const D3DBOX* dirtyBox) noexcept {
    if (dirtyBox != nullptr &&
        (dirtyBox->Left > dirtyBox->Right || dirtyBox->Top > dirtyBox->Bottom ||
         dirtyBox->Front > dirtyBox->Back || dirtyBox->Right > mWidth ||
         dirtyBox->Bottom > mHeight || dirtyBox->Back > mDepth)) {
        return D3DERR_INVALIDCALL;
    }
    contentChanged();
    return D3D_OK;
}

TextureBase* textureOf(IDirect3DBaseTexture9* texture) noexcept {
    ObjectCore* core = coreOf(texture);
    if (core == nullptr) {
        return nullptr;
    }
    switch (core->kind()) {
    case ObjectKind::kTexture:
        return static_cast<Texture*>(core);
    case ObjectKind::kCubeTexture:
        return static_cast<CubeTexture*>(core);
    case ObjectKind::kVolumeTexture:
        return static_cast<VolumeTexture*>(core);
    default:
        return nullptr;
    }
}

} // namespace halv::gfx::detail
