// `halvtool image FILE [--png OUT] [--texture [--out PREFIX]]`: recognises and decodes an image
// file the way the texture loader does, prints what it found, and can write the top level out as
// an 8-bit PNG. With --texture it also runs the program's own texture call on the null renderer
// and prints (and with --out writes) every mip level of the result.
#include "base/com.h"
#include "gfx/device_factory.h"
#include "texture/image_decoder.h"
#include "texture/image_info.h"
#include "texture/pixel_codec.h"
#include "texture/surface_loader.h"
#include "texture/texture_loader.h"
#include "tools/halvtool/command.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace halv::tools {
namespace {

using texture::DecodedImage;

struct FormatName {
    D3DFORMAT format;
    const char* name;
};

constexpr FormatName kFormatNames[] = {
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
    {D3DFMT_V8U8, "V8U8"},
    {D3DFMT_L6V5U5, "L6V5U5"},
    {D3DFMT_X8L8V8U8, "X8L8V8U8"},
    {D3DFMT_Q8W8V8U8, "Q8W8V8U8"},
    {D3DFMT_V16U16, "V16U16"},
    {D3DFMT_A2W10V10U10, "A2W10V10U10"},
    {D3DFMT_UYVY, "UYVY"},
    {D3DFMT_R8G8_B8G8, "R8G8_B8G8"},
    {D3DFMT_YUY2, "YUY2"},
    {D3DFMT_G8R8_G8B8, "G8R8_G8B8"},
    {D3DFMT_DXT1, "DXT1"},
    {D3DFMT_DXT2, "DXT2"},
    {D3DFMT_DXT3, "DXT3"},
    {D3DFMT_DXT4, "DXT4"},
    {D3DFMT_DXT5, "DXT5"},
    {D3DFMT_L16, "L16"},
    {D3DFMT_Q16W16V16U16, "Q16W16V16U16"},
    {D3DFMT_R16F, "R16F"},
    {D3DFMT_G16R16F, "G16R16F"},
    {D3DFMT_A16B16G16R16F, "A16B16G16R16F"},
    {D3DFMT_R32F, "R32F"},
    {D3DFMT_G32R32F, "G32R32F"},
    {D3DFMT_A32B32G32R32F, "A32B32G32R32F"},
    {D3DFMT_CxV8U8, "CxV8U8"},
    {texture::kFormatAL16, "\"AL16\""},
    {texture::kFormatR16, "\" R16\""},
};

// The name and the code: decimal for the numbered formats, hexadecimal for four-character
// codes.
std::string formatName(D3DFORMAT format) {
    char code[16];
    std::snprintf(code, sizeof code, format < 256 ? "%u" : "0x%08X", static_cast<unsigned>(format));
    for (const FormatName& entry : kFormatNames) {
        if (entry.format == format) {
            return std::string(entry.name) + " (" + code + ")";
        }
    }
    return std::string("unknown (") + code + ")";
}

const char* resourceTypeName(D3DRESOURCETYPE type) {
    switch (type) {
    case D3DRTYPE_TEXTURE:
        return "TEXTURE";
    case D3DRTYPE_VOLUMETEXTURE:
        return "VOLUMETEXTURE";
    case D3DRTYPE_CUBETEXTURE:
        return "CUBETEXTURE";
    default:
        return "other";
    }
}

const char* fileFormatName(D3DXIMAGE_FILEFORMAT format) {
    static const char* const kNames[] = {"BMP", "JPG", "TGA", "PNG", "DDS",
                                         "PPM", "DIB", "HDR", "PFM"};
    return format < std::size(kNames) ? kNames[format] : "other";
}

std::optional<std::vector<unsigned char>> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

// The top level's first slice as rows of R, G, B, A bytes: converted by the blit into
// A8R8G8B8, the way the texture levels are, so every format a reader makes can be shown and
// wide samples are rounded, not cut.
bool toRgba(const DecodedImage& image, std::vector<unsigned char>& out) {
    std::vector<unsigned char> bgra(std::size_t{image.width} * image.height * 4);
    texture::PixelView source;
    source.pixels = const_cast<BYTE*>(image.pixels);
    source.format = image.format;
    source.rowPitch = image.rowPitch;
    source.slicePitch = image.slicePitch;
    source.right = image.width;
    source.bottom = image.height;
    source.palette = image.palette;
    texture::PixelView dest;
    dest.pixels = bgra.data();
    dest.format = D3DFMT_A8R8G8B8;
    dest.rowPitch = image.width * 4;
    dest.slicePitch = dest.rowPitch * image.height;
    dest.right = image.width;
    dest.bottom = image.height;
    if (FAILED(texture::Blit(dest, source, D3DX_FILTER_NONE))) {
        return false;
    }
    out.resize(bgra.size());
    for (std::size_t i = 0; i < bgra.size(); i += 4) {
        out[i] = bgra[i + 2];
        out[i + 1] = bgra[i + 1];
        out[i + 2] = bgra[i];
        out[i + 3] = bgra[i + 3];
    }
    return true;
}

bool writePng(const std::string& path, std::uint32_t width, std::uint32_t height,
              std::vector<unsigned char>& rgba) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGBA;
    const bool written = png_image_write_to_stdio(&image, file, 0, rgba.data(), 0, nullptr) != 0;
    return std::fclose(file) == 0 && written;
}

constexpr const char* kUsage =
    "usage: halvtool image FILE [--png OUT] [--texture [--out PREFIX]]\n";

// One level of a texture as rows of R, G, B, A bytes: converted on our side into a scratch
// A8R8G8B8 surface, whatever the texture's format.
bool levelToRgba(IDirect3DDevice9* device, IDirect3DTexture9* texture, UINT level, UINT width,
                 UINT height, std::vector<unsigned char>& rgba) {
    base::ComRef<IDirect3DSurface9> source;
    base::ComRef<IDirect3DTexture9> scratch;
    base::ComRef<IDirect3DSurface9> converted;
    if (FAILED(texture->GetSurfaceLevel(level, source.put())) ||
        FAILED(device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_SCRATCH,
                                     scratch.put(), nullptr)) ||
        FAILED(scratch->GetSurfaceLevel(0, converted.put())) ||
        FAILED(D3DXLoadSurfaceFromSurface(converted.get(), nullptr, nullptr, source.get(), nullptr,
                                          nullptr, D3DX_FILTER_NONE, 0))) {
        return false;
    }
    D3DLOCKED_RECT locked{};
    if (FAILED(converted->LockRect(&locked, nullptr, D3DLOCK_READONLY))) {
        return false;
    }
    rgba.resize(std::size_t{width} * height * 4);
    for (UINT y = 0; y < height; ++y) {
        const BYTE* row = static_cast<const BYTE*>(locked.pBits) + std::size_t{y} * locked.Pitch;
        for (UINT x = 0; x < width; ++x) {
            unsigned char* out = rgba.data() + (std::size_t{y} * width + x) * 4;
            out[0] = row[x * 4 + 2];
            out[1] = row[x * 4 + 1];
            out[2] = row[x * 4];
            out[3] = row[x * 4 + 3];
        }
    }
    converted->UnlockRect();
    return true;
}

// The texture call the model object and the scene make for every PNG resource.
int runTextureCall(const std::string& input, const std::vector<unsigned char>& data,
                   const std::optional<std::string>& prefix) {
    base::ComRef<IDirect3DDevice9> device;
    if (FAILED(gfx::createNullDevice({}, device.put()))) {
        std::fprintf(stderr, "halvtool image: no null device\n");
        return 1;
    }
    base::ComRef<IDirect3DTexture9> texture;
    const HRESULT result = D3DXCreateTextureFromFileInMemoryEx(
        device.get(), data.data(), static_cast<UINT>(data.size()), D3DX_DEFAULT, D3DX_DEFAULT, 0, 0,
        D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_FILTER_TRIANGLE, D3DX_FILTER_BOX, 0xFF000000, nullptr,
        nullptr, texture.put());
    if (FAILED(result)) {
        std::fprintf(stderr, "halvtool image: %s: no texture (HRESULT 0x%08X)\n", input.c_str(),
                     static_cast<unsigned>(result));
        return 1;
    }
    D3DSURFACE_DESC top{};
    texture->GetLevelDesc(0, &top);
    const UINT levels = texture->GetLevelCount();
    std::printf("texture (program's call, null renderer): %ux%u %s, %u level(s)\n", top.Width,
                top.Height, formatName(top.Format).c_str(), levels);
    for (UINT level = 0; level < levels; ++level) {
        D3DSURFACE_DESC desc{};
        texture->GetLevelDesc(level, &desc);
        std::printf("  level %u: %ux%u", level, desc.Width, desc.Height);
        if (prefix) {
            std::vector<unsigned char> rgba;
            const std::string path = *prefix + "-" + std::to_string(level) + ".png";
            if (!levelToRgba(device.get(), texture.get(), level, desc.Width, desc.Height, rgba) ||
                !writePng(path, desc.Width, desc.Height, rgba)) {
                std::printf("\n");
                std::fprintf(stderr, "halvtool image: cannot write %s\n", path.c_str());
                return 1;
            }
            std::printf(" -> %s", path.c_str());
        }
        std::printf("\n");
    }
    return 0;
}

int run(std::span<const std::string_view> arguments) {
    std::optional<std::string> input;
    std::optional<std::string> pngOut;
    std::optional<std::string> levelPrefix;
    bool texture = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--png" && i + 1 < arguments.size()) {
            pngOut = std::string(arguments[++i]);
        } else if (arguments[i] == "--texture") {
            texture = true;
        } else if (arguments[i] == "--out" && i + 1 < arguments.size()) {
            levelPrefix = std::string(arguments[++i]);
        } else if (!input && !arguments[i].starts_with("--")) {
            input = std::string(arguments[i]);
        } else {
            std::fprintf(stderr, "%s", kUsage);
            return 2;
        }
    }
    if (!input || (levelPrefix && !texture)) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    const std::optional<std::vector<unsigned char>> data = readFile(*input);
    if (!data || data->size() > 0xFFFFFFFFu) {
        std::fprintf(stderr, "halvtool image: cannot read %s\n", input->c_str());
        return 1;
    }

    DecodedImage image;
    D3DXIMAGE_INFO info{};
    const HRESULT result = texture::LoadImageFromMemory(
        &image, data->data(), static_cast<UINT>(data->size()), &info, true);
    if (FAILED(result)) {
        std::fprintf(stderr, "halvtool image: %s: not decoded (HRESULT 0x%08X)\n", input->c_str(),
                     static_cast<unsigned>(result));
        return 1;
    }

    std::printf("%s: %zu bytes\n", input->c_str(), data->size());
    std::printf("D3DXIMAGE_INFO\n");
    std::printf("  Width            %u\n", info.Width);
    std::printf("  Height           %u\n", info.Height);
    std::printf("  Depth            %u\n", info.Depth);
    std::printf("  MipLevels        %u\n", info.MipLevels);
    std::printf("  Format           %s\n", formatName(info.Format).c_str());
    std::printf("  ResourceType     %s (%u)\n", resourceTypeName(info.ResourceType),
                static_cast<unsigned>(info.ResourceType));
    std::printf("  ImageFileFormat  %s (%u)\n", fileFormatName(info.ImageFileFormat),
                static_cast<unsigned>(info.ImageFileFormat));
    std::printf("decoded: %u face(s), %u level(s)\n", image.faceCount(), image.levelCount());
    unsigned faceIndex = 0;
    for (const DecodedImage* face = &image; face != nullptr; face = face->nextFace.get()) {
        unsigned levelIndex = 0;
        for (const DecodedImage* level = face; level != nullptr; level = level->nextMip.get()) {
            std::printf("  face %u level %u: %ux%ux%u %s rowPitch %u slicePitch %u pixels %s "
                        "palette %s\n",
                        faceIndex, levelIndex, level->width, level->height, level->depth,
                        formatName(level->format).c_str(), level->rowPitch, level->slicePitch,
                        level->ownsPixels() ? "owned" : "in file",
                        level->palette == nullptr ? "none"
                                                  : (level->ownsPalette() ? "owned" : "shared"));
            ++levelIndex;
        }
        ++faceIndex;
    }

    if (pngOut) {
        std::vector<unsigned char> rgba;
        if (!toRgba(image, rgba)) {
            std::fprintf(stderr, "halvtool image: no PNG view of %s pixels\n",
                         formatName(image.format).c_str());
            return 1;
        }
        if (!writePng(*pngOut, image.width, image.height, rgba)) {
            std::fprintf(stderr, "halvtool image: cannot write %s\n", pngOut->c_str());
            return 1;
        }
        std::printf("wrote %s\n", pngOut->c_str());
    }
    if (texture) {
        return runTextureCall(*input, *data, levelPrefix);
    }
    return 0;
}

const CommandRegistration kRegistration({"image",
                                         "FILE [--png OUT] [--texture [--out PREFIX]]: decode an "
                                         "image file, print its description; --texture makes the "
                                         "program's texture from it and writes PREFIX-<level>.png",
                                         run});

} // namespace
} // namespace halv::tools
