// The Direct3D 9 resource interfaces in their published slot order: buffers, textures,
// surfaces, volumes and vertex declarations. Every resource keeps its bytes in system memory
// whatever its pool; the renderer uploads what changed before it draws.
#pragma once

#include "base/com.h"
#include "gfx/device_types.h"

struct IDirect3DDevice9;

// Interface identifiers for QueryInterface and GetContainer. Not the published values: they
// identify the interfaces within this layer only.
inline constexpr IID IID_IDirect3DResource9 = {
    0x48A1C0D2, 0x7E35, 0x4B6C, {0x9A, 0x01, 0x5D, 0x3E, 0x8B, 0x11, 0x00, 0x01}};
inline constexpr IID IID_IDirect3DBaseTexture9 = {
    0x48A1C0D2, 0x7E35, 0x4B6C, {0x9A, 0x01, 0x5D, 0x3E, 0x8B, 0x11, 0x00, 0x02}};
inline constexpr IID IID_IDirect3DTexture9 = {
    0x48A1C0D2, 0x7E35, 0x4B6C, {0x9A, 0x01, 0x5D, 0x3E, 0x8B, 0x11, 0x00, 0x03}};
inline constexpr IID IID_IDirect3DCubeTexture9 = {
    0x48A1C0D2, 0x7E35, 0x4B6C, {0x9A, 0x01, 0x5D, 0x3E, 0x8B, 0x11, 0x00, 0x04}};
inline constexpr IID IID_IDirect3DVolumeTexture9 = {
    0x48A1C0D2, 0x7E35, 0x4B6C, {0x9A, 0x01, 0x5D, 0x3E, 0x8B, 0x11, 0x00, 0x05}};
inline constexpr IID IID_IDirect3DSurface9 = {
    0x48A1C0D2, 0x7E35, 0x4B6C, {0x9A, 0x01, 0x5D, 0x3E, 0x8B, 0x11, 0x00, 0x06}};
inline constexpr IID IID_IDirect3DVolume9 = {
    0x48A1C0D2, 0x7E35, 0x4B6C, {0x9A, 0x01, 0x5D, 0x3E, 0x8B, 0x11, 0x00, 0x07}};
inline constexpr IID IID_IDirect3DVertexBuffer9 = {
    0x48A1C0D2, 0x7E35, 0x4B6C, {0x9A, 0x01, 0x5D, 0x3E, 0x8B, 0x11, 0x00, 0x08}};
inline constexpr IID IID_IDirect3DIndexBuffer9 = {
    0x48A1C0D2, 0x7E35, 0x4B6C, {0x9A, 0x01, 0x5D, 0x3E, 0x8B, 0x11, 0x00, 0x09}};
inline constexpr IID IID_IDirect3DVertexDeclaration9 = {
    0x48A1C0D2, 0x7E35, 0x4B6C, {0x9A, 0x01, 0x5D, 0x3E, 0x8B, 0x11, 0x00, 0x0A}};

// Common to buffers, textures and surfaces. GetDevice hands out a device reference. Private
// data is stored per GUID (Flags must be 0: the data is copied). Priority and PreLoad are kept
// for the interface only.
struct IDirect3DResource9 : IUnknown {
    virtual HRESULT GetDevice(IDirect3DDevice9** device) noexcept = 0;
    virtual HRESULT SetPrivateData(REFGUID guid, const void* data, DWORD sizeOfData,
                                   DWORD flags) noexcept = 0;
    // D3DERR_NOTFOUND for an unknown GUID; D3DERR_MOREDATA (with the size written) when the
    // buffer is too small or null.
    virtual HRESULT GetPrivateData(REFGUID guid, void* data, DWORD* sizeOfData) noexcept = 0;
    virtual HRESULT FreePrivateData(REFGUID guid) noexcept = 0;
    virtual DWORD SetPriority(DWORD priority) noexcept = 0;
    virtual DWORD GetPriority() noexcept = 0;
    virtual void PreLoad() noexcept = 0;
    virtual D3DRESOURCETYPE GetType() noexcept = 0;
};

// Levels of a texture. A D3DUSAGE_AUTOGENMIPMAP texture shows one level; the renderer makes
// the rest.
struct IDirect3DBaseTexture9 : IDirect3DResource9 {
    virtual DWORD SetLOD(DWORD lod) noexcept = 0;
    virtual DWORD GetLOD() noexcept = 0;
    virtual DWORD GetLevelCount() noexcept = 0;
    virtual HRESULT SetAutoGenFilterType(D3DTEXTUREFILTERTYPE filterType) noexcept = 0;
    virtual D3DTEXTUREFILTERTYPE GetAutoGenFilterType() noexcept = 0;
    virtual void GenerateMipSubLevels() noexcept = 0;
};

// One level of a texture, a cube face level, an offscreen surface or the back buffer. A level
// surface shares its texture's reference count: holding the surface keeps the texture alive.
// Only one lock at a time; a rectangle must lie inside the surface (4x4-block aligned for
// DXTn). Surfaces of D3DPOOL_DEFAULT textures without D3DUSAGE_DYNAMIC, and the back buffer,
// cannot be locked.
struct IDirect3DSurface9 : IDirect3DResource9 {
    // The texture for a level surface, the device for a standalone one.
    virtual HRESULT GetContainer(REFIID riid, void** container) noexcept = 0;
    virtual HRESULT GetDesc(D3DSURFACE_DESC* desc) noexcept = 0;
    virtual HRESULT LockRect(D3DLOCKED_RECT* lockedRect, const RECT* rect,
                             DWORD flags) noexcept = 0;
    virtual HRESULT UnlockRect() noexcept = 0;
    // No GDI: both answer D3DERR_INVALIDCALL.
    virtual HRESULT GetDC(HDC* dc) noexcept = 0;
    virtual HRESULT ReleaseDC(HDC dc) noexcept = 0;
};

// One level of a volume texture; derives from IUnknown directly, as published.
struct IDirect3DVolume9 : IUnknown {
    virtual HRESULT GetDevice(IDirect3DDevice9** device) noexcept = 0;
    virtual HRESULT SetPrivateData(REFGUID guid, const void* data, DWORD sizeOfData,
                                   DWORD flags) noexcept = 0;
    virtual HRESULT GetPrivateData(REFGUID guid, void* data, DWORD* sizeOfData) noexcept = 0;
    virtual HRESULT FreePrivateData(REFGUID guid) noexcept = 0;
    virtual HRESULT GetContainer(REFIID riid, void** container) noexcept = 0;
    virtual HRESULT GetDesc(D3DVOLUME_DESC* desc) noexcept = 0;
    virtual HRESULT LockBox(D3DLOCKED_BOX* lockedVolume, const D3DBOX* box,
                            DWORD flags) noexcept = 0;
    virtual HRESULT UnlockBox() noexcept = 0;
};

// Level numbers run from 0 (largest). GetSurfaceLevel hands out a reference; LockRect and
// UnlockRect act on that level's surface. AddDirtyRect is accepted (every unlock already
// marks its level for upload).
struct IDirect3DTexture9 : IDirect3DBaseTexture9 {
    virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) noexcept = 0;
    virtual HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface9** surfaceLevel) noexcept = 0;
    virtual HRESULT LockRect(UINT level, D3DLOCKED_RECT* lockedRect, const RECT* rect,
                             DWORD flags) noexcept = 0;
    virtual HRESULT UnlockRect(UINT level) noexcept = 0;
    virtual HRESULT AddDirtyRect(const RECT* dirtyRect) noexcept = 0;
};

struct IDirect3DCubeTexture9 : IDirect3DBaseTexture9 {
    virtual HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) noexcept = 0;
    virtual HRESULT GetCubeMapSurface(D3DCUBEMAP_FACES face, UINT level,
                                      IDirect3DSurface9** cubeMapSurface) noexcept = 0;
    virtual HRESULT LockRect(D3DCUBEMAP_FACES face, UINT level, D3DLOCKED_RECT* lockedRect,
                             const RECT* rect, DWORD flags) noexcept = 0;
    virtual HRESULT UnlockRect(D3DCUBEMAP_FACES face, UINT level) noexcept = 0;
    virtual HRESULT AddDirtyRect(D3DCUBEMAP_FACES face, const RECT* dirtyRect) noexcept = 0;
};

struct IDirect3DVolumeTexture9 : IDirect3DBaseTexture9 {
    virtual HRESULT GetLevelDesc(UINT level, D3DVOLUME_DESC* desc) noexcept = 0;
    virtual HRESULT GetVolumeLevel(UINT level, IDirect3DVolume9** volumeLevel) noexcept = 0;
    virtual HRESULT LockBox(UINT level, D3DLOCKED_BOX* lockedVolume, const D3DBOX* box,
                            DWORD flags) noexcept = 0;
    virtual HRESULT UnlockBox(UINT level) noexcept = 0;
    virtual HRESULT AddDirtyBox(const D3DBOX* dirtyBox) noexcept = 0;
};

// Offset 0 and size 0 lock the whole buffer; size 0 with an offset locks to the end. Locks
// nest (each Lock needs an Unlock). D3DLOCK_DISCARD may hand out the same memory again: its
// old contents are then simply overwritten by the caller. Drawing from a buffer that is
// still locked fails with D3DERR_INVALIDCALL.
struct IDirect3DVertexBuffer9 : IDirect3DResource9 {
    virtual HRESULT Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags) noexcept = 0;
    virtual HRESULT Unlock() noexcept = 0;
    virtual HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) noexcept = 0;
};

struct IDirect3DIndexBuffer9 : IDirect3DResource9 {
    virtual HRESULT Lock(UINT offsetToLock, UINT sizeToLock, void** data, DWORD flags) noexcept = 0;
    virtual HRESULT Unlock() noexcept = 0;
    virtual HRESULT GetDesc(D3DINDEXBUFFER_DESC* desc) noexcept = 0;
};

// GetDeclaration: the count includes the end element; a null element array asks for the
// count only.
struct IDirect3DVertexDeclaration9 : IUnknown {
    virtual HRESULT GetDevice(IDirect3DDevice9** device) noexcept = 0;
    virtual HRESULT GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* numElements) noexcept = 0;
};
