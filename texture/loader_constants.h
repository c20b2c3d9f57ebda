// The special size, level and format values and the filter words shared by the texture
// creation and surface loading entry points.
#pragma once

#include "base/value_types.h"
#include "base/win_types.h"

// Size and level arguments: next power of two at or above the image's (sizes), a full chain
// (levels); as a filter word, the entry point's own default.
inline constexpr UINT D3DX_DEFAULT = 0xFFFFFFFF;
// Size arguments: the image's own size, not rounded (when the device allows it).
inline constexpr UINT D3DX_DEFAULT_NONPOW2 = 0xFFFFFFFE;
// Size, level and format arguments: exactly as in the file, or fail.
inline constexpr UINT D3DX_FROM_FILE = 0xFFFFFFFD;
inline constexpr D3DFORMAT D3DFMT_FROM_FILE = static_cast<D3DFORMAT>(0xFFFFFFFD);

// Filter words: the low byte is the filter kind, the flags above it modify it.
inline constexpr DWORD D3DX_FILTER_NONE = 1;
inline constexpr DWORD D3DX_FILTER_POINT = 2;
inline constexpr DWORD D3DX_FILTER_LINEAR = 3;
inline constexpr DWORD D3DX_FILTER_TRIANGLE = 4;
inline constexpr DWORD D3DX_FILTER_BOX = 5;
inline constexpr DWORD D3DX_FILTER_MIRROR_U = 0x00010000;
inline constexpr DWORD D3DX_FILTER_MIRROR_V = 0x00020000;
inline constexpr DWORD D3DX_FILTER_MIRROR_W = 0x00040000;
inline constexpr DWORD D3DX_FILTER_MIRROR = 0x00070000;
inline constexpr DWORD D3DX_FILTER_DITHER = 0x00080000;
inline constexpr DWORD D3DX_FILTER_DITHER_DIFFUSION = 0x00100000;
inline constexpr DWORD D3DX_FILTER_SRGB_IN = 0x00200000;
inline constexpr DWORD D3DX_FILTER_SRGB_OUT = 0x00400000;
inline constexpr DWORD D3DX_FILTER_SRGB = 0x00600000;

static_assert(D3DX_FILTER_MIRROR ==
              (D3DX_FILTER_MIRROR_U | D3DX_FILTER_MIRROR_V | D3DX_FILTER_MIRROR_W));
static_assert(D3DX_FILTER_SRGB == (D3DX_FILTER_SRGB_IN | D3DX_FILTER_SRGB_OUT));
