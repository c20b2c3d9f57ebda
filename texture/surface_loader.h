// Loading surfaces and volumes from memory or from other surfaces and volumes, converting
// formats, colour-keying, dithering and resampling on the way (see Blit in
// texture/pixel_codec.h for the strategies).
//
// Trusted input only: the source pointers, pitches, rectangles and palettes describe memory the
// caller owns and vouches for; nothing here can check them. Untrusted image files go through
// D3DXCreateTextureFromFileInMemoryEx (texture/texture_loader.h) instead.
#pragma once

#include "base/result_codes.h"
#include "base/win_types.h"
#include "gfx/device.h"
#include "gfx/resources.h"
#include "texture/loader_constants.h"

// Copies the rectangle pSrcRect of an image in memory into pDestRect of pDestSurface (the
// whole surface when null). pSrcMemory points at the image's top-left pixel (block or pair
// for DXTn and the packed pair formats), SrcPitch is its row pitch (per row of blocks for
// DXTn). The palettes (256 entries) serve P8 and A8P8. Filter D3DX_DEFAULT means
// D3DX_FILTER_TRIANGLE | D3DX_FILTER_DITHER. Source pixels equal to ColorKey (0xAARRGGBB,
// compared at the source format's precision; 0 for none) become transparent black.
// Returns D3D_OK; D3DERR_INVALIDCALL without a surface, source pixels or source rectangle, for
// an inverted or empty rectangle, a destination rectangle outside the surface or a bad filter
// word; E_FAIL for a format without a converter; the surface's lock failure; E_OUTOFMEMORY.
HRESULT D3DXLoadSurfaceFromMemory(IDirect3DSurface9* pDestSurface, const PALETTEENTRY* pDestPalette,
                                  const RECT* pDestRect, LPCVOID pSrcMemory, D3DFORMAT SrcFormat,
                                  UINT SrcPitch, const PALETTEENTRY* pSrcPalette,
                                  const RECT* pSrcRect, DWORD Filter, D3DCOLOR ColorKey) noexcept;

// Copies pSrcRect of pSrcSurface (whole when null) into pDestRect of pDestSurface (whole when
// null). Same-size copies without box filter, colour key or differing palettes into a
// D3DPOOL_DEFAULT surface are first tried on the device (UpdateSurface from system memory,
// StretchRect between default-pool surfaces). A surface copied onto itself is read from a
// temporary copy. Returns as D3DXLoadSurfaceFromMemory, D3DERR_INVALIDCALL without both
// surfaces, and D3DERR_DEVICELOST when a default-pool source was read into another pool while
// the device was lost.
HRESULT D3DXLoadSurfaceFromSurface(IDirect3DSurface9* pDestSurface,
                                   const PALETTEENTRY* pDestPalette, const RECT* pDestRect,
                                   IDirect3DSurface9* pSrcSurface, const PALETTEENTRY* pSrcPalette,
                                   const RECT* pSrcRect, DWORD Filter, D3DCOLOR ColorKey) noexcept;

// D3DXLoadSurfaceFromMemory for volumes: boxes instead of rectangles, and a slice pitch.
HRESULT D3DXLoadVolumeFromMemory(IDirect3DVolume9* pDestVolume, const PALETTEENTRY* pDestPalette,
                                 const D3DBOX* pDestBox, LPCVOID pSrcMemory, D3DFORMAT SrcFormat,
                                 UINT SrcRowPitch, UINT SrcSlicePitch,
                                 const PALETTEENTRY* pSrcPalette, const D3DBOX* pSrcBox,
                                 DWORD Filter, D3DCOLOR ColorKey) noexcept;

// D3DXLoadSurfaceFromSurface for volumes (there is no device fast path for volumes).
HRESULT D3DXLoadVolumeFromVolume(IDirect3DVolume9* pDestVolume, const PALETTEENTRY* pDestPalette,
                                 const D3DBOX* pDestBox, IDirect3DVolume9* pSrcVolume,
                                 const PALETTEENTRY* pSrcPalette, const D3DBOX* pSrcBox,
                                 DWORD Filter, D3DCOLOR ColorKey) noexcept;
