#include "texture/detail/box_filter.h"

#include "base/processor.h"
#include "texture/detail/pixel_codecs.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace halv::texture::detail {
namespace {

struct BoxField {
    std::uint8_t shift;
    std::uint8_t bits;
};

struct BoxLayout {
    D3DFORMAT format;
    std::uint8_t bytes;
    std::uint8_t fieldCount;
    BoxField fields[4];
};

// The X bits of the X formats are averaged like a channel; they are not meaningful.
constexpr BoxLayout kBoxLayouts[] = {
    {D3DFMT_R5G6B5, 2, 3, {{11, 5}, {5, 6}, {0, 5}, {}}},
    {D3DFMT_X1R5G5B5, 2, 4, {{15, 1}, {10, 5}, {5, 5}, {0, 5}}},
    {D3DFMT_A1R5G5B5, 2, 4, {{15, 1}, {10, 5}, {5, 5}, {0, 5}}},
    {D3DFMT_A4R4G4B4, 2, 4, {{12, 4}, {8, 4}, {4, 4}, {0, 4}}},
    {D3DFMT_X4R4G4B4, 2, 4, {{12, 4}, {8, 4}, {4, 4}, {0, 4}}},
    {D3DFMT_R3G3B2, 1, 3, {{5, 3}, {2, 3}, {0, 2}, {}}},
    {D3DFMT_A8, 1, 1, {{0, 8}, {}, {}, {}}},
    {D3DFMT_L8, 1, 1, {{0, 8}, {}, {}, {}}},
    {D3DFMT_A8R3G3B2, 2, 4, {{8, 8}, {5, 3}, {2, 3}, {0, 2}}},
    {D3DFMT_A8L8, 2, 2, {{8, 8}, {0, 8}, {}, {}}},
    {D3DFMT_A4L4, 1, 2, {{4, 4}, {0, 4}, {}, {}}},
};

const BoxLayout* findBoxLayout(D3DFORMAT format) {
    const auto* found =
        std::find_if(std::begin(kBoxLayouts), std::end(kBoxLayouts),
                     [format](const BoxLayout& row) { return row.format == format; });
    return found == std::end(kBoxLayouts) ? nullptr : found;
}

bool is8888(D3DFORMAT format) {
    return format == D3DFMT_A8R8G8B8 || format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8B8G8R8 ||
           format == D3DFMT_X8B8G8R8;
}

} // namespace

void boxRow8888Plain(const BYTE* upper, const BYTE* lower, BYTE* out, UINT count) noexcept {
    // Two bytes per 16-bit lane: 4 * 255 + 2 still fits, so one pass averages half the
    // channels of two pixels at once.
    constexpr std::uint64_t kLanes = 0x00FF00FF00FF00FFull;
    constexpr std::uint64_t kTwo = 0x0002000200020002ull;
    for (UINT i = 0; i < count; ++i) {
        const std::uint64_t a = load32(upper + i * 8u);
        const std::uint64_t b = load32(upper + i * 8u + 4);
        const std::uint64_t c = load32(lower + i * 8u);
        const std::uint64_t d = load32(lower + i * 8u + 4);
        // Spread the four bytes of each pixel into four 16-bit lanes.
        const auto spread = [](std::uint64_t p) {
            p = (p | (p << 16)) & 0x0000FFFF0000FFFFull;
            return (p | (p << 8)) & kLanes;
        };
        const std::uint64_t sum = spread(a) + spread(b) + spread(c) + spread(d) + kTwo;
        std::uint64_t q = (sum >> 2) & kLanes;
        q = (q | (q >> 8)) & 0x0000FFFF0000FFFFull;
        q = (q | (q >> 16)) & 0xFFFFFFFFull;
        store32(out + i * 4u, static_cast<std::uint32_t>(q));
    }
}

BoxRow8888 boxRow8888() noexcept {
    // Process-wide: the routine is chosen once, on first use.
    static const BoxRow8888 chosen = [] {
        const BoxRow8888 sse2 = boxRow8888Sse2();
        return sse2 != nullptr && IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE)
                   ? sse2
                   : &boxRow8888Plain;
    }();
    return chosen;
}

bool integerBoxFormat(D3DFORMAT format) noexcept {
    return is8888(format) || findBoxLayout(format) != nullptr;
}

void boxRowInteger(D3DFORMAT format, const BYTE* upper, const BYTE* lower, BYTE* out,
                   UINT count) noexcept {
    if (is8888(format)) {
        boxRow8888()(upper, lower, out, count);
        return;
    }
    const BoxLayout* layout = findBoxLayout(format);
    if (layout == nullptr) {
        return;
    }
    const unsigned bytes = layout->bytes;
    for (UINT i = 0; i < count; ++i) {
        const std::uint32_t a = static_cast<std::uint32_t>(loadWord(upper + i * 2u * bytes, bytes));
        const std::uint32_t b =
            static_cast<std::uint32_t>(loadWord(upper + (i * 2u + 1) * bytes, bytes));
        const std::uint32_t c = static_cast<std::uint32_t>(loadWord(lower + i * 2u * bytes, bytes));
        const std::uint32_t d =
            static_cast<std::uint32_t>(loadWord(lower + (i * 2u + 1) * bytes, bytes));
        std::uint32_t result = 0;
        for (unsigned f = 0; f < layout->fieldCount; ++f) {
            const BoxField field = layout->fields[f];
            const std::uint32_t mask = (1u << field.bits) - 1;
            const std::uint32_t sum = ((a >> field.shift) & mask) + ((b >> field.shift) & mask) +
                                      ((c >> field.shift) & mask) + ((d >> field.shift) & mask);
            result |= (((sum + 2) >> 2) & mask) << field.shift;
        }
        storeWord(out + i * bytes, result, bytes);
    }
}

} // namespace halv::texture::detail
