// The published description of an image file (D3DXIMAGE_INFO) and the query that fills it
// without decoding pixels.
//
// Untrusted input: image files of any content may be described or decoded. The readers never
// read past the given bytes and end malformed or truncated data with a result code (they are
// fuzzed). The pixels of one decoded surface may take at most 1 GiB; a larger image fails
// before its pixels are allocated, and so does a header claiming far more than its data can
// hold, so memory and decoding time stay in proportion to the file's size (a JPEG may also
// have at most 1000 scans). Texture sizes are further capped by the device's limits
// (8192 x 8192 on the null device's default profile).
#pragma once

#include "base/result_codes.h"
#include "base/value_types.h"
#include "base/win_types.h"

#include <cstddef>

// Which reader recognised the file.
enum D3DXIMAGE_FILEFORMAT : DWORD {
    D3DXIFF_BMP = 0,
    D3DXIFF_JPG = 1,
    D3DXIFF_TGA = 2,
    D3DXIFF_PNG = 3,
    D3DXIFF_DDS = 4,
    D3DXIFF_PPM = 5,
    D3DXIFF_DIB = 6,
    D3DXIFF_HDR = 7,
    D3DXIFF_PFM = 8,
    D3DXIFF_FORCE_DWORD = 0x7FFFFFFF,
};

// Size, level count and format of the first surface of an image file. MipLevels counts the
// levels stored in the file (1 for everything but DDS). Format is the reported format: the
// readers' private 16-bit layouts appear as D3DFMT_A8L8 and D3DFMT_A16B16G16R16.
struct D3DXIMAGE_INFO {
    UINT Width;
    UINT Height;
    UINT Depth;
    UINT MipLevels;
    D3DFORMAT Format;
    D3DRESOURCETYPE ResourceType;
    D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

static_assert(sizeof(D3DXIMAGE_INFO) == 28);
static_assert(offsetof(D3DXIMAGE_INFO, Width) == 0);
static_assert(offsetof(D3DXIMAGE_INFO, Height) == 4);
static_assert(offsetof(D3DXIMAGE_INFO, Depth) == 8);
static_assert(offsetof(D3DXIMAGE_INFO, MipLevels) == 12);
static_assert(offsetof(D3DXIMAGE_INFO, Format) == 16);
static_assert(offsetof(D3DXIMAGE_INFO, ResourceType) == 20);
static_assert(offsetof(D3DXIMAGE_INFO, ImageFileFormat) == 24);

// Recognises the image file in pSrcData[0, SrcDataSize) and describes it in *pSrcInfo without
// keeping any pixels. Returns D3D_OK; D3DERR_INVALIDCALL when pSrcData is null or SrcDataSize
// is 0; D3DXERR_INVALIDDATA when no reader accepts the data. A null pSrcInfo asks for nothing
// and returns D3D_OK at once. *pSrcInfo is written only on success.
HRESULT D3DXGetImageInfoFromFileInMemory(LPCVOID pSrcData, UINT SrcDataSize,
                                         D3DXIMAGE_INFO* pSrcInfo) noexcept;
