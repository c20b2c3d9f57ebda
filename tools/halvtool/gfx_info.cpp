// halvtool gfx-info: the adapter's identity, display mode, capabilities and formats, and the
// renderer a device gets.
#include "gfx/caps.h"
#include "gfx/device.h"
#include "gfx/device_factory.h"
#include "gfx/inspection.h"
#include "tools/halvtool/command.h"

#include <cstdio>
#include <string>

namespace halv::tools {
namespace {

using base::ComRef;

const char* formatName(D3DFORMAT format) {
    struct Name {
        D3DFORMAT format;
        const char* name;
    };
    static constexpr Name kNames[] = {
        {D3DFMT_R8G8B8, "R8G8B8"},
        {D3DFMT_A8R8G8B8, "A8R8G8B8"},
        {D3DFMT_X8R8G8B8, "X8R8G8B8"},
        {D3DFMT_R5G6B5, "R5G6B5"},
        {D3DFMT_X1R5G5B5, "X1R5G5B5"},
        {D3DFMT_A1R5G5B5, "A1R5G5B5"},
        {D3DFMT_A4R4G4B4, "A4R4G4B4"},
        {D3DFMT_R3G3B2, "R3G3B2"},
        {D3DFMT_A8, "A8"},
        {D3DFMT_A8R3G3B2, "A8R3G3B2"},
        {D3DFMT_X4R4G4B4, "X4R4G4B4"},
        {D3DFMT_A2B10G10R10, "A2B10G10R10"},
        {D3DFMT_A8B8G8R8, "A8B8G8R8"},
        {D3DFMT_X8B8G8R8, "X8B8G8R8"},
        {D3DFMT_G16R16, "G16R16"},
        {D3DFMT_A2R10G10B10, "A2R10G10B10"},
        {D3DFMT_A16B16G16R16, "A16B16G16R16"},
        {D3DFMT_A8P8, "A8P8"},
        {D3DFMT_P8, "P8"},
        {D3DFMT_L8, "L8"},
        {D3DFMT_A8L8, "A8L8"},
        {D3DFMT_A4L4, "A4L4"},
        {D3DFMT_L16, "L16"},
        {D3DFMT_DXT1, "DXT1"},
        {D3DFMT_DXT3, "DXT3"},
        {D3DFMT_DXT5, "DXT5"},
        {D3DFMT_D16, "D16"},
        {D3DFMT_D24X8, "D24X8"},
        {D3DFMT_D24S8, "D24S8"},
        {D3DFMT_D32, "D32"},
        {D3DFMT_R16F, "R16F"},
        {D3DFMT_G16R16F, "G16R16F"},
        {D3DFMT_A16B16G16R16F, "A16B16G16R16F"},
        {D3DFMT_R32F, "R32F"},
        {D3DFMT_G32R32F, "G32R32F"},
        {D3DFMT_A32B32G32R32F, "A32B32G32R32F"},
    };
    for (const Name& entry : kNames) {
        if (entry.format == format) {
            return entry.name;
        }
    }
    return "?";
}

std::string textureCapsText(DWORD caps) {
    struct Bit {
        DWORD bit;
        const char* name;
    };
    static constexpr Bit kBits[] = {
        {D3DPTEXTURECAPS_POW2, "POW2"},
        {D3DPTEXTURECAPS_NONPOW2CONDITIONAL, "NONPOW2CONDITIONAL"},
        {D3DPTEXTURECAPS_SQUAREONLY, "SQUAREONLY"},
        {D3DPTEXTURECAPS_ALPHA, "ALPHA"},
        {D3DPTEXTURECAPS_MIPMAP, "MIPMAP"},
        {D3DPTEXTURECAPS_CUBEMAP, "CUBEMAP"},
        {D3DPTEXTURECAPS_MIPCUBEMAP, "MIPCUBEMAP"},
        {D3DPTEXTURECAPS_VOLUMEMAP, "VOLUMEMAP"},
        {D3DPTEXTURECAPS_MIPVOLUMEMAP, "MIPVOLUMEMAP"},
    };
    std::string text;
    for (const Bit& bit : kBits) {
        if ((caps & bit.bit) != 0) {
            text += text.empty() ? "" : " ";
            text += bit.name;
        }
    }
    return text;
}

std::string usageText(DWORD usage) {
    struct Bit {
        DWORD bit;
        const char* name;
    };
    static constexpr Bit kBits[] = {
        {D3DUSAGE_RENDERTARGET, "rendertarget"},
        {D3DUSAGE_DEPTHSTENCIL, "depthstencil"},
        {D3DUSAGE_DYNAMIC, "dynamic"},
        {D3DUSAGE_AUTOGENMIPMAP, "autogenmipmap"},
        {D3DUSAGE_QUERY_FILTER, "filter"},
        {D3DUSAGE_QUERY_WRAPANDMIP, "wrapandmip"},
        {D3DUSAGE_QUERY_POSTPIXELSHADER_BLENDING, "blending"},
    };
    std::string text;
    for (const Bit& bit : kBits) {
        if ((usage & bit.bit) != 0) {
            text += text.empty() ? "" : " ";
            text += bit.name;
        }
    }
    return text.empty() ? "-" : text;
}

std::string typesText(DWORD types) {
    std::string text;
    const auto add = [&](D3DRESOURCETYPE type, const char* name) {
        if ((types & gfx::resourceTypeBit(type)) != 0) {
            text += text.empty() ? "" : ",";
            text += name;
        }
    };
    add(D3DRTYPE_TEXTURE, "texture");
    add(D3DRTYPE_CUBETEXTURE, "cube");
    add(D3DRTYPE_VOLUMETEXTURE, "volume");
    add(D3DRTYPE_SURFACE, "surface");
    return text;
}

int run(std::span<const std::string_view> arguments) {
    gfx::RendererKind renderer = gfx::RendererKind::kHeadless;
    for (const std::string_view argument : arguments) {
        if (argument == "--null") {
            renderer = gfx::RendererKind::kNull;
        } else if (argument == "--headless") {
            renderer = gfx::RendererKind::kHeadless;
        } else {
            std::fprintf(stderr, "halvtool gfx-info: unknown argument '%.*s'\n",
                         static_cast<int>(argument.size()), argument.data());
            return 2;
        }
    }
    // The adapter as Direct3DCreate9 reports it to the saver.
    gfx::Direct3DOptions options;
    options.renderer = renderer == gfx::RendererKind::kNull ? renderer : gfx::RendererKind::kAuto;
    ComRef<IDirect3D9> d3d(gfx::createDirect3D(options));
    if (!d3d) {
        std::fprintf(stderr, "halvtool gfx-info: out of memory\n");
        return 1;
    }
    D3DADAPTER_IDENTIFIER9 identifier{};
    D3DDISPLAYMODE mode{};
    D3DCAPS9 caps{};
    d3d->GetAdapterIdentifier(D3DADAPTER_DEFAULT, 0, &identifier);
    d3d->GetAdapterDisplayMode(D3DADAPTER_DEFAULT, &mode);
    d3d->GetDeviceCaps(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, &caps);

    std::printf("Adapter:        %s\n", identifier.Description);
    std::printf("Driver:         %s\n", identifier.Driver);
    std::printf("Vendor/device:  0x%04X / 0x%04X\n", identifier.VendorId, identifier.DeviceId);
    std::printf("Display mode:   %ux%u, %u Hz, %s\n", mode.Width, mode.Height, mode.RefreshRate,
                formatName(mode.Format));
    std::printf("Caps:\n");
    std::printf("  TextureCaps            %s\n", textureCapsText(caps.TextureCaps).c_str());
    std::printf("  MaxTextureWidth/Height %u x %u\n", caps.MaxTextureWidth, caps.MaxTextureHeight);
    std::printf("  MaxTextureAspectRatio  %u\n", caps.MaxTextureAspectRatio);
    std::printf("  MaxVolumeExtent        %u\n", caps.MaxVolumeExtent);
    std::printf("  MaxPointSize           %g\n", static_cast<double>(caps.MaxPointSize));
    std::printf("  MaxActiveLights        %u\n", caps.MaxActiveLights);
    std::printf("  MaxTextureBlendStages  %u\n", caps.MaxTextureBlendStages);
    std::printf("  MaxPrimitiveCount      %u\n", caps.MaxPrimitiveCount);
    std::printf("  MaxStreams, stride     %u, %u\n", caps.MaxStreams, caps.MaxStreamStride);
    std::printf("  Multisampling         ");
    for (DWORD samples = 2; samples <= 16; ++samples) {
        if (SUCCEEDED(d3d->CheckDeviceMultiSampleType(
                D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE,
                static_cast<D3DMULTISAMPLE_TYPE>(samples), nullptr))) {
            std::printf(" %ux", samples);
        }
    }
    std::printf("\nFormats:\n");
    const gfx::AdapterProfile profile = gfx::defaultAdapterProfile();
    for (const gfx::FormatSupport& row : profile.formats) {
        std::printf("  %-14s %-28s %s\n", formatName(row.format),
                    typesText(row.resourceTypes).c_str(), usageText(row.usage).c_str());
    }

    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = 64;
    parameters.BackBufferHeight = 64;
    parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
    parameters.Windowed = TRUE;
    ComRef<IDirect3D9> deviceAdapter(gfx::createDirect3D({renderer, std::nullopt, false}));
    ComRef<IDirect3DDevice9> device;
    const HRESULT hr =
        deviceAdapter->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr,
                                    D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters, device.put());
    if (FAILED(hr)) {
        std::printf("Renderer:       none (CreateDevice failed: 0x%08X)\n",
                    static_cast<unsigned>(hr));
        return 1;
    }
    gfx::RendererInfo info;
    gfx::getRendererInfo(device.get(), &info);
    std::printf("Renderer:       %s\n", info.kind.c_str());
    if (!info.glRenderer.empty()) {
        std::printf("GL vendor:      %s\n", info.glVendor.c_str());
        std::printf("GL renderer:    %s\n", info.glRenderer.c_str());
        std::printf("GL version:     %s\n", info.glVersion.c_str());
        std::printf("GLSL version:   %s\n", info.glslVersion.c_str());
    }
    return 0;
}

const CommandRegistration kRegistration({
    "gfx-info",
    "[--headless|--null]  print the adapter, its caps and formats, and the GL renderer",
    run,
});

} // namespace
} // namespace halv::tools
