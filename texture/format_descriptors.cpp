// The format table and the nearest-format search.
#include "base/com.h"
#include "texture/detail/debug_mute.h"
#include "texture/image_decoder.h"
#include "texture/texture_loader.h"

#include <algorithm>
#include <iterator>

namespace halv::texture {
namespace {

constexpr FormatClass kColour = FormatClass::kColor;
constexpr FormatClass kPalette = FormatClass::kPalettised;
constexpr FormatClass kLuma = FormatClass::kLuminance;
constexpr FormatClass kBump = FormatClass::kSigned;
constexpr FormatClass kDepth = FormatClass::kDepth;

// Channels: extra, alpha, red, green, blue.
constexpr FormatDescriptor kDescriptors[] = {
    {D3DFMT_R8G8B8, kColour, 24, {0, 0, 8, 8, 8}, false},
    {D3DFMT_A8R8G8B8, kColour, 32, {0, 8, 8, 8, 8}, true},
    {D3DFMT_X8R8G8B8, kColour, 32, {0, 0, 8, 8, 8}, true},
    {D3DFMT_R5G6B5, kColour, 16, {0, 0, 5, 6, 5}, true},
    {D3DFMT_X1R5G5B5, kColour, 16, {0, 0, 5, 5, 5}, true},
    {D3DFMT_A8P8, kPalette, 16, {0, 8, 8, 8, 8}, true},
    {D3DFMT_P8, kPalette, 8, {0, 8, 8, 8, 8}, true},
    {D3DFMT_A1R5G5B5, kColour, 16, {0, 1, 5, 5, 5}, true},
    {D3DFMT_A4R4G4B4, kColour, 16, {0, 4, 4, 4, 4}, true},
    {D3DFMT_R3G3B2, kColour, 8, {0, 0, 3, 3, 2}, true},
    {D3DFMT_A8, kColour, 8, {0, 8, 0, 0, 0}, true},
    {D3DFMT_A8R3G3B2, kColour, 16, {0, 8, 3, 3, 2}, true},
    {D3DFMT_X4R4G4B4, kColour, 16, {0, 0, 4, 4, 4}, true},
    {D3DFMT_A2B10G10R10, kColour, 32, {0, 2, 10, 10, 10}, true},
    {D3DFMT_A8B8G8R8, kColour, 32, {0, 8, 8, 8, 8}, true},
    {D3DFMT_X8B8G8R8, kColour, 32, {0, 0, 8, 8, 8}, true},
    {D3DFMT_G16R16, kColour, 32, {0, 0, 16, 16, 0}, true},
    {D3DFMT_A2R10G10B10, kColour, 32, {0, 2, 10, 10, 10}, true},
    {D3DFMT_A16B16G16R16, kColour, 64, {0, 16, 16, 16, 16}, true},
    {D3DFMT_L8, kLuma, 8, {0, 0, 8, 8, 8}, true},
    {D3DFMT_A8L8, kLuma, 16, {0, 8, 8, 8, 8}, true},
    {D3DFMT_A4L4, kLuma, 8, {0, 4, 4, 4, 4}, true},
    {D3DFMT_L16, kLuma, 16, {0, 0, 16, 16, 16}, true},
    {D3DFMT_V8U8, kBump, 16, {0, 0, 0, 8, 8}, true},
    {D3DFMT_L6V5U5, kBump, 16, {6, 0, 0, 5, 5}, true},
    {D3DFMT_X8L8V8U8, kBump, 32, {8, 0, 0, 8, 8}, true},
    {D3DFMT_Q8W8V8U8, kBump, 32, {0, 8, 8, 8, 8}, true},
    {D3DFMT_V16U16, kBump, 32, {0, 0, 0, 16, 16}, true},
    {D3DFMT_A2W10V10U10, kBump, 32, {2, 0, 10, 10, 10}, true},
    {D3DFMT_Q16W16V16U16, kBump, 64, {0, 16, 16, 16, 16}, true},
    {D3DFMT_CxV8U8, kBump, 16, {8, 0, 0, 8, 8}, false},
    {D3DFMT_UYVY, kColour, 16, {0, 0, 8, 8, 8}, false},
    {D3DFMT_R8G8_B8G8, kColour, 16, {0, 0, 8, 8, 8}, false},
    {D3DFMT_YUY2, kColour, 16, {0, 0, 8, 8, 8}, false},
    {D3DFMT_G8R8_G8B8, kColour, 16, {0, 0, 8, 8, 8}, false},
    {D3DFMT_DXT1, kColour, 16, {0, 1, 5, 6, 5}, false},
    {D3DFMT_DXT2, kColour, 16, {0, 4, 5, 6, 5}, false},
    {D3DFMT_DXT3, kColour, 16, {0, 4, 5, 6, 5}, false},
    {D3DFMT_DXT4, kColour, 16, {0, 8, 5, 6, 5}, false},
    {D3DFMT_DXT5, kColour, 16, {0, 8, 5, 6, 5}, false},
    {D3DFMT_D16_LOCKABLE, kDepth, 16, {1, 0, 0, 0, 16}, true},
    {D3DFMT_D32F_LOCKABLE, kDepth, 32, {1, 0, 0, 0, 32}, false},
    {D3DFMT_D32, kDepth, 32, {0, 0, 0, 0, 32}, true},
    {D3DFMT_D15S1, kDepth, 16, {0, 0, 0, 1, 15}, true},
    {D3DFMT_D24S8, kDepth, 32, {0, 0, 0, 8, 24}, true},
    {D3DFMT_D16, kDepth, 16, {0, 0, 0, 0, 16}, true},
    {D3DFMT_D24X8, kDepth, 32, {0, 0, 0, 0, 24}, true},
    {D3DFMT_D24X4S4, kDepth, 32, {0, 0, 0, 4, 24}, true},
    {D3DFMT_D24FS8, kDepth, 32, {0, 0, 0, 8, 24}, false},
    {D3DFMT_R16F, kColour, 16, {0, 0, 16, 0, 0}, false},
    {D3DFMT_G16R16F, kColour, 32, {0, 0, 16, 16, 0}, false},
    {D3DFMT_A16B16G16R16F, kColour, 64, {0, 16, 16, 16, 16}, false},
    {D3DFMT_R32F, kColour, 32, {0, 0, 32, 0, 0}, false},
    {D3DFMT_G32R32F, kColour, 64, {0, 0, 32, 32, 0}, false},
    {D3DFMT_A32B32G32R32F, kColour, 128, {0, 32, 32, 32, 32}, false},
    {kFormatAL16, kLuma, 32, {0, 16, 16, 16, 16}, false},
    {kFormatR16, kColour, 48, {0, 0, 16, 16, 16}, false},
};

constexpr FormatDescriptor kUnknownDescriptor = {
    D3DFMT_UNKNOWN, kColour, 32, {0, 8, 8, 8, 8}, false};

// The cost of turning `source` into `target`, or -1 when the target is unusable: each channel
// gained costs its extra bits (256 for a channel the source lacks), each channel narrowed
// 65536 per bit lost, each channel dropped 0x1000000. A target that drops every channel the
// source has is unusable.
long long conversionCost(const FormatDescriptor& source, const FormatDescriptor& target) {
    if (!classesCompatible(source.formatClass, target.formatClass)) {
        return -1;
    }
    long long cost = 0;
    int present = 0;
    for (int c = 0; c < 5; ++c) {
        const int s = source.channels[c];
        const int t = target.channels[c];
        if (s > 0) {
            ++present;
        }
        if (s < t) {
            cost += s == 0 ? 256 : t - s;
        } else if (t < s) {
            cost += t == 0 ? 0x1000000 : static_cast<long long>(s - t) * 65536;
        }
    }
    if (present == (cost >> 24)) {
        return -1;
    }
    return cost;
}

} // namespace

std::span<const FormatDescriptor> formatDescriptors() noexcept {
    return kDescriptors;
}

const FormatDescriptor& formatDescriptor(D3DFORMAT format) noexcept {
    const auto* found =
        std::find_if(std::begin(kDescriptors), std::end(kDescriptors),
                     [format](const FormatDescriptor& row) { return row.format == format; });
    return found == std::end(kDescriptors) ? kUnknownDescriptor : *found;
}

bool classesCompatible(FormatClass source, FormatClass target) noexcept {
    switch (source) {
    case FormatClass::kColor:
        return target == FormatClass::kColor;
    case FormatClass::kPalettised:
        return target == FormatClass::kColor || target == FormatClass::kPalettised;
    case FormatClass::kLuminance:
        return target == FormatClass::kColor || target == FormatClass::kLuminance;
    case FormatClass::kSigned:
        return target == FormatClass::kSigned;
    case FormatClass::kDepth:
        return target == FormatClass::kDepth;
    }
    return false;
}

D3DFORMAT FindClosestFormat(IDirect3DDevice9* device, DWORD usage, D3DRESOURCETYPE type,
                            const FormatDescriptor& descriptor) noexcept {
    base::ComRef<IDirect3D9> direct3d;
    D3DCAPS9 caps{};
    D3DDISPLAYMODE mode{};
    if (device != nullptr) {
        if (FAILED(device->GetDirect3D(direct3d.put())) || FAILED(device->GetDeviceCaps(&caps)) ||
            FAILED(device->GetDisplayMode(0, &mode))) {
            return D3DFMT_UNKNOWN;
        }
        D3DDEVICE_CREATION_PARAMETERS parameters{};
        if ((usage & D3DUSAGE_QUERY_VERTEXTEXTURE) != 0 &&
            SUCCEEDED(device->GetCreationParameters(&parameters)) &&
            (parameters.BehaviorFlags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) != 0) {
            usage |= D3DUSAGE_SOFTWAREPROCESSING;
        }
    }
    const detail::ScopedDebugMute mute;
    D3DFORMAT best = D3DFMT_UNKNOWN;
    long long bestCost = -1;
    unsigned bestBits = 0;
    for (const FormatDescriptor& row : kDescriptors) {
        if (direct3d && FAILED(direct3d->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType,
                                                           mode.Format, usage, type, row.format))) {
            continue;
        }
        if (row.format == descriptor.format) {
            return row.format;
        }
        if (!row.candidate) {
            continue;
        }
        const long long cost = conversionCost(descriptor, row);
        if (cost < 0) {
            continue;
        }
        if (bestCost < 0 || cost < bestCost || (cost == bestCost && row.bitsPerPixel < bestBits)) {
            best = row.format;
            bestCost = cost;
            bestBits = row.bitsPerPixel;
        }
    }
    return best;
}

} // namespace halv::texture
