// Device capabilities: D3DCAPS9 and its flag bits.
#pragma once

#include "gfx/device_types.h"

// TextureCaps.
inline constexpr DWORD D3DPTEXTURECAPS_PERSPECTIVE = 0x00000001;
inline constexpr DWORD D3DPTEXTURECAPS_POW2 = 0x00000002;
inline constexpr DWORD D3DPTEXTURECAPS_ALPHA = 0x00000004;
inline constexpr DWORD D3DPTEXTURECAPS_SQUAREONLY = 0x00000020;
inline constexpr DWORD D3DPTEXTURECAPS_TEXREPEATNOTSCALEDBYSIZE = 0x00000040;
inline constexpr DWORD D3DPTEXTURECAPS_ALPHAPALETTE = 0x00000080;
inline constexpr DWORD D3DPTEXTURECAPS_NONPOW2CONDITIONAL = 0x00000100;
inline constexpr DWORD D3DPTEXTURECAPS_PROJECTED = 0x00000400;
inline constexpr DWORD D3DPTEXTURECAPS_CUBEMAP = 0x00000800;
inline constexpr DWORD D3DPTEXTURECAPS_VOLUMEMAP = 0x00002000;
inline constexpr DWORD D3DPTEXTURECAPS_MIPMAP = 0x00004000;
inline constexpr DWORD D3DPTEXTURECAPS_MIPVOLUMEMAP = 0x00008000;
inline constexpr DWORD D3DPTEXTURECAPS_MIPCUBEMAP = 0x00010000;
inline constexpr DWORD D3DPTEXTURECAPS_CUBEMAP_POW2 = 0x00020000;
inline constexpr DWORD D3DPTEXTURECAPS_VOLUMEMAP_POW2 = 0x00040000;
inline constexpr DWORD D3DPTEXTURECAPS_NOPROJECTEDBUMPENV = 0x00200000;

// Caps2.
inline constexpr DWORD D3DCAPS2_FULLSCREENGAMMA = 0x00020000;
inline constexpr DWORD D3DCAPS2_CANCALIBRATEGAMMA = 0x00100000;
inline constexpr DWORD D3DCAPS2_RESERVED = 0x02000000;
inline constexpr DWORD D3DCAPS2_CANMANAGERESOURCE = 0x10000000;
inline constexpr DWORD D3DCAPS2_DYNAMICTEXTURES = 0x20000000;
inline constexpr DWORD D3DCAPS2_CANAUTOGENMIPMAP = 0x40000000;
inline constexpr DWORD D3DCAPS2_CANSHARERESOURCE = 0x80000000;

// FVFCaps.
inline constexpr DWORD D3DFVFCAPS_TEXCOORDCOUNTMASK = 0x0000FFFF;
inline constexpr DWORD D3DFVFCAPS_DONOTSTRIPELEMENTS = 0x00080000;
inline constexpr DWORD D3DFVFCAPS_PSIZE = 0x00100000;

inline constexpr DWORD D3DPMISCCAPS_PERSTAGECONSTANT = 0x00008000;
inline constexpr DWORD D3DTEXOPCAPS_BUMPENVMAP = 0x00200000;

struct D3DVSHADERCAPS2_0 {
    DWORD Caps;
    INT DynamicFlowControlDepth;
    INT NumTemps;
    INT StaticFlowControlDepth;
};

struct D3DPSHADERCAPS2_0 {
    DWORD Caps;
    INT DynamicFlowControlDepth;
    INT NumTemps;
    INT StaticFlowControlDepth;
    INT NumInstructionSlots;
};

// Fields in the published order. The bit meanings of the fields whose flag names are not
// declared above (RasterCaps, ZCmpCaps, ...) are not part of this layer; they read as 0.
struct D3DCAPS9 {
    D3DDEVTYPE DeviceType;
    UINT AdapterOrdinal;
    DWORD Caps;
    DWORD Caps2;
    DWORD Caps3;
    DWORD PresentationIntervals;
    DWORD CursorCaps;
    DWORD DevCaps;
    DWORD PrimitiveMiscCaps;
    DWORD RasterCaps;
    DWORD ZCmpCaps;
    DWORD SrcBlendCaps;
    DWORD DestBlendCaps;
    DWORD AlphaCmpCaps;
    DWORD ShadeCaps;
    DWORD TextureCaps;
    DWORD TextureFilterCaps;
    DWORD CubeTextureFilterCaps;
    DWORD VolumeTextureFilterCaps;
    DWORD TextureAddressCaps;
    DWORD VolumeTextureAddressCaps;
    DWORD LineCaps;
    DWORD MaxTextureWidth;
    DWORD MaxTextureHeight;
    DWORD MaxVolumeExtent;
    DWORD MaxTextureRepeat;
    DWORD MaxTextureAspectRatio;
    DWORD MaxAnisotropy;
    float MaxVertexW;
    float GuardBandLeft;
    float GuardBandTop;
    float GuardBandRight;
    float GuardBandBottom;
    float ExtentsAdjust;
    DWORD StencilCaps;
    DWORD FVFCaps;
    DWORD TextureOpCaps;
    DWORD MaxTextureBlendStages;
    DWORD MaxSimultaneousTextures;
    DWORD VertexProcessingCaps;
    DWORD MaxActiveLights;
    DWORD MaxUserClipPlanes;
    DWORD MaxVertexBlendMatrices;
    DWORD MaxVertexBlendMatrixIndex;
    float MaxPointSize;
    DWORD MaxPrimitiveCount;
    DWORD MaxVertexIndex;
    DWORD MaxStreams;
    DWORD MaxStreamStride;
    DWORD VertexShaderVersion;
    DWORD MaxVertexShaderConst;
    DWORD PixelShaderVersion;
    float PixelShader1xMaxValue;
    DWORD DevCaps2;
    UINT MasterAdapterOrdinal;
    UINT AdapterOrdinalInGroup;
    UINT NumberOfAdaptersInGroup;
    DWORD DeclTypes;
    DWORD NumSimultaneousRTs;
    DWORD StretchRectFilterCaps;
    D3DVSHADERCAPS2_0 VS20Caps;
    D3DPSHADERCAPS2_0 PS20Caps;
    DWORD VertexTextureFilterCaps;
    DWORD MaxVShaderInstructionsExecuted;
    DWORD MaxPShaderInstructionsExecuted;
    DWORD MaxVertexShader30InstructionSlots;
    DWORD MaxPixelShader30InstructionSlots;
};
