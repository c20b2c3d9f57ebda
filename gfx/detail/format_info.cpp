#include "gfx/detail/format_info.h"

#include "base/checked_math.h"

#include <algorithm>
#include <iterator>

namespace halv::gfx::detail {
namespace {

constexpr FormatInfo kFormats[] = {
    {D3DFMT_R8G8B8, 24, FormatKind::kColor, 0},
    {D3DFMT_A8R8G8B8, 32, FormatKind::kColor, 0},
    {D3DFMT_X8R8G8B8, 32, FormatKind::kColor, 0},
    {D3DFMT_R5G6B5, 16, FormatKind::kColor, 0},
    {D3DFMT_X1R5G5B5, 16, FormatKind::kColor, 0},
    {D3DFMT_A1R5G5B5, 16, FormatKind::kColor, 0},
    {D3DFMT_A4R4G4B4, 16, FormatKind::kColor, 0},
    {D3DFMT_R3G3B2, 8, FormatKind::kColor, 0},
    {D3DFMT_A8, 8, FormatKind::kColor, 0},
    {D3DFMT_A8R3G3B2, 16, FormatKind::kColor, 0},
    {D3DFMT_X4R4G4B4, 16, FormatKind::kColor, 0},
    {D3DFMT_A2B10G10R10, 32, FormatKind::kColor, 0},
    {D3DFMT_A8B8G8R8, 32, FormatKind::kColor, 0},
    {D3DFMT_X8B8G8R8, 32, FormatKind::kColor, 0},
    {D3DFMT_G16R16, 32, FormatKind::kColor, 0},
    {D3DFMT_A2R10G10B10, 32, FormatKind::kColor, 0},
    {D3DFMT_A16B16G16R16, 64, FormatKind::kColor, 0},
    {D3DFMT_A8P8, 16, FormatKind::kColor, 0},
    {D3DFMT_P8, 8, FormatKind::kColor, 0},
    {D3DFMT_L8, 8, FormatKind::kColor, 0},
    {D3DFMT_A8L8, 16, FormatKind::kColor, 0},
    {D3DFMT_A4L4, 8, FormatKind::kColor, 0},
    {D3DFMT_V8U8, 16, FormatKind::kColor, 0},
    {D3DFMT_L6V5U5, 16, FormatKind::kColor, 0},
    {D3DFMT_X8L8V8U8, 32, FormatKind::kColor, 0},
    {D3DFMT_Q8W8V8U8, 32, FormatKind::kColor, 0},
    {D3DFMT_V16U16, 32, FormatKind::kColor, 0},
    {D3DFMT_A2W10V10U10, 32, FormatKind::kColor, 0},
    {D3DFMT_UYVY, 16, FormatKind::kPacked, 4},
    {D3DFMT_R8G8_B8G8, 16, FormatKind::kPacked, 4},
    {D3DFMT_YUY2, 16, FormatKind::kPacked, 4},
    {D3DFMT_G8R8_G8B8, 16, FormatKind::kPacked, 4},
    {D3DFMT_DXT1, 4, FormatKind::kBlock, 8},
    {D3DFMT_DXT2, 8, FormatKind::kBlock, 16},
    {D3DFMT_DXT3, 8, FormatKind::kBlock, 16},
    {D3DFMT_DXT4, 8, FormatKind::kBlock, 16},
    {D3DFMT_DXT5, 8, FormatKind::kBlock, 16},
    {D3DFMT_D16_LOCKABLE, 16, FormatKind::kDepth, 0},
    {D3DFMT_D32, 32, FormatKind::kDepth, 0},
    {D3DFMT_D15S1, 16, FormatKind::kDepth, 0},
    {D3DFMT_D24S8, 32, FormatKind::kDepth, 0},
    {D3DFMT_D24X8, 32, FormatKind::kDepth, 0},
    {D3DFMT_D24X4S4, 32, FormatKind::kDepth, 0},
    {D3DFMT_D16, 16, FormatKind::kDepth, 0},
    {D3DFMT_L16, 16, FormatKind::kColor, 0},
    {D3DFMT_D32F_LOCKABLE, 32, FormatKind::kDepth, 0},
    {D3DFMT_D24FS8, 32, FormatKind::kDepth, 0},
    {D3DFMT_D32_LOCKABLE, 32, FormatKind::kDepth, 0},
    {D3DFMT_S8_LOCKABLE, 8, FormatKind::kDepth, 0},
    {D3DFMT_Q16W16V16U16, 64, FormatKind::kColor, 0},
    {D3DFMT_R16F, 16, FormatKind::kColor, 0},
    {D3DFMT_G16R16F, 32, FormatKind::kColor, 0},
    {D3DFMT_A16B16G16R16F, 64, FormatKind::kColor, 0},
    {D3DFMT_R32F, 32, FormatKind::kColor, 0},
    {D3DFMT_G32R32F, 64, FormatKind::kColor, 0},
    {D3DFMT_A32B32G32R32F, 128, FormatKind::kColor, 0},
    {D3DFMT_CxV8U8, 16, FormatKind::kColor, 0},
};

} // namespace

const FormatInfo* findFormat(D3DFORMAT format) noexcept {
    const auto* found =
        std::find_if(std::begin(kFormats), std::end(kFormats),
                     [format](const FormatInfo& info) { return info.format == format; });
    return found == std::end(kFormats) ? nullptr : found;
}

bool isDepthFormat(D3DFORMAT format) noexcept {
    const FormatInfo* info = findFormat(format);
    return info != nullptr && info->kind == FormatKind::kDepth;
}

bool isBlockFormat(D3DFORMAT format) noexcept {
    const FormatInfo* info = findFormat(format);
    return info != nullptr && info->kind == FormatKind::kBlock;
}

UINT rowPitch(const FormatInfo& info, UINT width) noexcept {
    switch (info.kind) {
    case FormatKind::kBlock:
        return ((width + 3) / 4) * info.blockBytes;
    case FormatKind::kPacked:
        return ((width + 1) / 2) * info.blockBytes;
    default:
        break;
    }
    const std::uint64_t bytes = (static_cast<std::uint64_t>(width) * info.bitsPerPixel + 7) / 8;
    const std::uint64_t padded = (bytes + 3) & ~std::uint64_t{3};
    return padded > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<UINT>(padded);
}

UINT rowCount(const FormatInfo& info, UINT height) noexcept {
    return info.kind == FormatKind::kBlock ? (height + 3) / 4 : height;
}

bool levelBytes(const FormatInfo& info, UINT width, UINT height, UINT depth,
                std::size_t* bytes) noexcept {
    std::uint64_t total = 0;
    const std::uint64_t pitch = rowPitch(info, width);
    if (!base::checkedMul<std::uint64_t>(pitch, rowCount(info, height), &total) ||
        !base::checkedMul<std::uint64_t>(total, depth, &total) || total > 0x7FFFFFFFu) {
        return false;
    }
    *bytes = static_cast<std::size_t>(total);
    return true;
}

UINT fullLevelCount(UINT width, UINT height, UINT depth) noexcept {
    UINT largest = std::max({width, height, depth});
    UINT levels = 1;
    while (largest > 1) {
        largest >>= 1;
        ++levels;
    }
    return levels;
}

} // namespace halv::gfx::detail
