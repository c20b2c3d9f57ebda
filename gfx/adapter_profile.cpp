// The default adapter profile: what the OpenGL 3.3 renderer creates, samples and renders.
#include "gfx/adapter_profile.h"

#include <cstring>

namespace halv::gfx {
namespace {

constexpr DWORD kTexture2d = resourceTypeBit(D3DRTYPE_TEXTURE);
constexpr DWORD kCube = resourceTypeBit(D3DRTYPE_CUBETEXTURE);
constexpr DWORD kVolume = resourceTypeBit(D3DRTYPE_VOLUMETEXTURE);
constexpr DWORD kSurface = resourceTypeBit(D3DRTYPE_SURFACE);
constexpr DWORD kAllTextures = kTexture2d | kCube | kVolume | kSurface;

// Usage every sampled format has: dynamic textures, filtering other than POINT, wrapping
// with mipmaps, and blending when it is drawn into.
constexpr DWORD kSampled = D3DUSAGE_DYNAMIC | D3DUSAGE_QUERY_FILTER | D3DUSAGE_QUERY_WRAPANDMIP;
// Formats OpenGL 3.3 must be able to render into, so glGenerateMipmap can fill their levels.
constexpr DWORD kRenderable = kSampled | D3DUSAGE_AUTOGENMIPMAP;

} // namespace

AdapterProfile defaultAdapterProfile() {
    AdapterProfile profile{};

    D3DADAPTER_IDENTIFIER9& id = profile.identifier;
    std::strncpy(id.Driver, "halvorine-gl", sizeof(id.Driver) - 1);
    std::strncpy(id.Description, "Halvorine OpenGL 3.3 adapter", sizeof(id.Description) - 1);
    std::strncpy(id.DeviceName, "\\\\.\\DISPLAY1", sizeof(id.DeviceName) - 1);
    // Version 9.0.0.1: product 9, version 0, subversion 0, build 1.
    id.DriverVersionHighPart = (9u << 16);
    id.DriverVersionLowPart = 1;
    id.DriverVersion.u.HighPart = static_cast<LONG>(id.DriverVersionHighPart);
    id.DriverVersion.u.LowPart = id.DriverVersionLowPart;
    id.DeviceIdentifier = {
        0x6A1B3C5D, 0x2E4F, 0x4A60, {0x8B, 0x71, 0x93, 0xA2, 0xB4, 0xC6, 0xD8, 0x01}};

    profile.displayMode = {1024, 768, 60, D3DFMT_X8R8G8B8};
    profile.useDesktopMode = false;

    D3DCAPS9& caps = profile.caps;
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.AdapterOrdinal = 0;
    caps.Caps2 = D3DCAPS2_CANMANAGERESOURCE | D3DCAPS2_DYNAMICTEXTURES | D3DCAPS2_CANAUTOGENMIPMAP;
    caps.PresentationIntervals = D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_IMMEDIATE;
    // Any size up to the limit, square or not, with full mip chains on every texture kind.
    caps.TextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_ALPHA |
                       D3DPTEXTURECAPS_CUBEMAP | D3DPTEXTURECAPS_VOLUMEMAP |
                       D3DPTEXTURECAPS_MIPMAP | D3DPTEXTURECAPS_MIPVOLUMEMAP |
                       D3DPTEXTURECAPS_MIPCUBEMAP;
    caps.MaxTextureWidth = 8192;
    caps.MaxTextureHeight = 8192;
    caps.MaxVolumeExtent = 2048;
    caps.MaxTextureRepeat = 8192;
    caps.MaxTextureAspectRatio = 8192;
    caps.MaxAnisotropy = 1;
    caps.MaxVertexW = 1e10f;
    // One texture stage, one texture coordinate set read by it, point sizes per vertex.
    caps.FVFCaps = 8 | D3DFVFCAPS_PSIZE;
    caps.MaxTextureBlendStages = 1;
    caps.MaxSimultaneousTextures = 1;
    caps.MaxActiveLights = 8;
    caps.MaxUserClipPlanes = 0;
    caps.MaxVertexBlendMatrices = 0;
    caps.MaxVertexBlendMatrixIndex = 0;
    caps.MaxPointSize = 256.0f;
    caps.MaxPrimitiveCount = 0xFFFFF;
    caps.MaxVertexIndex = 0xFFFFFF;
    caps.MaxStreams = 16;
    caps.MaxStreamStride = 255;
    caps.VertexShaderVersion = 0;
    caps.MaxVertexShaderConst = 256;
    caps.PixelShaderVersion = 0;
    caps.MasterAdapterOrdinal = 0;
    caps.AdapterOrdinalInGroup = 0;
    caps.NumberOfAdaptersInGroup = 1;
    caps.NumSimultaneousRTs = 1;

    profile.formats = {
        {D3DFMT_A8R8G8B8, kAllTextures, kRenderable | D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING},
        {D3DFMT_X8R8G8B8, kAllTextures, kRenderable | D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING},
        {D3DFMT_A8R8G8B8, kSurface, D3DUSAGE_RENDERTARGET},
        {D3DFMT_X8R8G8B8, kSurface, D3DUSAGE_RENDERTARGET},
        {D3DFMT_R5G6B5, kAllTextures, kSampled},
        {D3DFMT_X1R5G5B5, kAllTextures, kSampled},
        {D3DFMT_A1R5G5B5, kAllTextures, kSampled},
        {D3DFMT_A4R4G4B4, kAllTextures, kSampled},
        {D3DFMT_X4R4G4B4, kAllTextures, kSampled},
        {D3DFMT_R3G3B2, kAllTextures, kSampled},
        {D3DFMT_A8, kAllTextures, kSampled},
        {D3DFMT_A8B8G8R8, kAllTextures, kRenderable},
        {D3DFMT_X8B8G8R8, kAllTextures, kRenderable},
        {D3DFMT_A2B10G10R10, kAllTextures, kRenderable},
        {D3DFMT_A2R10G10B10, kAllTextures, kRenderable},
        {D3DFMT_G16R16, kAllTextures, kRenderable},
        {D3DFMT_A16B16G16R16, kAllTextures, kRenderable},
        {D3DFMT_L8, kAllTextures, kSampled},
        {D3DFMT_A8L8, kAllTextures, kSampled},
        {D3DFMT_L16, kAllTextures, kSampled},
        {D3DFMT_R16F, kAllTextures, kRenderable},
        {D3DFMT_G16R16F, kAllTextures, kRenderable},
        {D3DFMT_A16B16G16R16F, kAllTextures, kRenderable},
        // 32-bit float textures are not filterable in every OpenGL 3.3 implementation.
        {D3DFMT_R32F, kAllTextures, D3DUSAGE_DYNAMIC},
        {D3DFMT_G32R32F, kAllTextures, D3DUSAGE_DYNAMIC},
        {D3DFMT_A32B32G32R32F, kAllTextures, D3DUSAGE_DYNAMIC},
        {D3DFMT_D16, kSurface, D3DUSAGE_DEPTHSTENCIL},
        {D3DFMT_D24X8, kSurface, D3DUSAGE_DEPTHSTENCIL},
        {D3DFMT_D24S8, kSurface, D3DUSAGE_DEPTHSTENCIL},
        {D3DFMT_D32, kSurface, D3DUSAGE_DEPTHSTENCIL},
    };
    // Twofold and fourfold multisampling (OpenGL 3.3 guarantees at least four samples).
    profile.multiSampleTypes = (1u << D3DMULTISAMPLE_NONE) | (1u << D3DMULTISAMPLE_2_SAMPLES) |
                               (1u << D3DMULTISAMPLE_4_SAMPLES);
    return profile;
}

} // namespace halv::gfx
