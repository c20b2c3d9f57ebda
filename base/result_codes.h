// HRESULT values shared by every module, with their published numbers.
#pragma once

#include "base/win_types.h"

inline constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
inline constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

// HRESULTs are written as unsigned hexadecimal; this keeps the table readable.
inline constexpr HRESULT halvHresult(std::uint32_t bits) {
    return static_cast<HRESULT>(bits);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT D3D_OK = 0;
inline constexpr HRESULT E_NOTIMPL = halvHresult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = halvHresult(0x80004002);
inline constexpr HRESULT E_POINTER = halvHresult(0x80004003);
inline constexpr HRESULT E_FAIL = halvHresult(0x80004005);
inline constexpr HRESULT E_OUTOFMEMORY = halvHresult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = halvHresult(0x80070057);

// Direct3D 9: facility 0x876.
inline constexpr HRESULT D3DOK_NOAUTOGEN = halvHresult(0x0876086F);
inline constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = halvHresult(0x8876017C);
inline constexpr HRESULT D3DERR_WASSTILLDRAWING = halvHresult(0x8876021C);
inline constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = halvHresult(0x88760818);
inline constexpr HRESULT D3DERR_UNSUPPORTEDCOLOROPERATION = halvHresult(0x88760819);
inline constexpr HRESULT D3DERR_UNSUPPORTEDCOLORARG = halvHresult(0x8876081A);
inline constexpr HRESULT D3DERR_UNSUPPORTEDALPHAOPERATION = halvHresult(0x8876081B);
inline constexpr HRESULT D3DERR_UNSUPPORTEDALPHAARG = halvHresult(0x8876081C);
inline constexpr HRESULT D3DERR_TOOMANYOPERATIONS = halvHresult(0x8876081D);
inline constexpr HRESULT D3DERR_CONFLICTINGTEXTUREFILTER = halvHresult(0x8876081E);
inline constexpr HRESULT D3DERR_UNSUPPORTEDFACTORVALUE = halvHresult(0x8876081F);
inline constexpr HRESULT D3DERR_CONFLICTINGRENDERSTATE = halvHresult(0x88760821);
inline constexpr HRESULT D3DERR_UNSUPPORTEDTEXTUREFILTER = halvHresult(0x88760822);
inline constexpr HRESULT D3DERR_CONFLICTINGTEXTUREPALETTE = halvHresult(0x88760826);
inline constexpr HRESULT D3DERR_DRIVERINTERNALERROR = halvHresult(0x88760827);
inline constexpr HRESULT D3DERR_NOTFOUND = halvHresult(0x88760866);
inline constexpr HRESULT D3DERR_MOREDATA = halvHresult(0x88760867);
inline constexpr HRESULT D3DERR_DEVICELOST = halvHresult(0x88760868);
inline constexpr HRESULT D3DERR_DEVICENOTRESET = halvHresult(0x88760869);
inline constexpr HRESULT D3DERR_NOTAVAILABLE = halvHresult(0x8876086A);
inline constexpr HRESULT D3DERR_INVALIDDEVICE = halvHresult(0x8876086B);
inline constexpr HRESULT D3DERR_INVALIDCALL = halvHresult(0x8876086C);
inline constexpr HRESULT D3DERR_DRIVERINVALIDCALL = halvHresult(0x8876086D);

// D3DX: the same facility, codes from 2900 in declaration order.
inline constexpr HRESULT D3DXERR_CANNOTMODIFYINDEXBUFFER = halvHresult(0x88760B54);
inline constexpr HRESULT D3DXERR_INVALIDMESH = halvHresult(0x88760B55);
inline constexpr HRESULT D3DXERR_CANNOTATTRSORT = halvHresult(0x88760B56);
inline constexpr HRESULT D3DXERR_SKINNINGNOTSUPPORTED = halvHresult(0x88760B57);
inline constexpr HRESULT D3DXERR_TOOMANYINFLUENCES = halvHresult(0x88760B58);
inline constexpr HRESULT D3DXERR_INVALIDDATA = halvHresult(0x88760B59);
inline constexpr HRESULT D3DXERR_LOADEDMESHASNODATA = halvHresult(0x88760B5A);
inline constexpr HRESULT D3DXERR_DUPLICATENAMEDFRAGMENT = halvHresult(0x88760B5B);
inline constexpr HRESULT D3DXERR_CANNOTREMOVELASTITEM = halvHresult(0x88760B5C);

// The X-file reader's codes.
inline constexpr HRESULT D3DXFERR_BADOBJECT = halvHresult(0x88760384);
inline constexpr HRESULT D3DXFERR_BADVALUE = halvHresult(0x88760385);
inline constexpr HRESULT D3DXFERR_NOTFOUND = halvHresult(0x88760387);
inline constexpr HRESULT D3DXFERR_NOTDONEYET = halvHresult(0x88760388);
inline constexpr HRESULT D3DXFERR_FILENOTFOUND = halvHresult(0x88760389);
inline constexpr HRESULT D3DXFERR_RESOURCENOTFOUND = halvHresult(0x8876038A);
inline constexpr HRESULT D3DXFERR_BADRESOURCE = halvHresult(0x8876038B);
inline constexpr HRESULT D3DXFERR_BADFILETYPE = halvHresult(0x8876038C);
inline constexpr HRESULT D3DXFERR_BADFILEVERSION = halvHresult(0x8876038D);
inline constexpr HRESULT D3DXFERR_BADFILEFLOATSIZE = halvHresult(0x8876038E);
inline constexpr HRESULT D3DXFERR_BADFILE = halvHresult(0x8876038F);
inline constexpr HRESULT D3DXFERR_PARSEERROR = halvHresult(0x88760390);
inline constexpr HRESULT D3DXFERR_BADARRAYSIZE = halvHresult(0x88760391);
inline constexpr HRESULT D3DXFERR_BADDATAREFERENCE = halvHresult(0x88760392);
inline constexpr HRESULT D3DXFERR_NOMOREOBJECTS = halvHresult(0x88760393);
inline constexpr HRESULT D3DXFERR_NOMOREDATA = halvHresult(0x88760394);
