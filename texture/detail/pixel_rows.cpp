#include "texture/detail/pixel_rows.h"

#include "base/processor.h"
#include "texture/detail/pixel_codecs.h"

namespace halv::texture::detail {

void decodeRow8888Plain(const BYTE* in, Rgba* out, UINT count, bool blueFirst,
                        bool hasAlpha) noexcept {
    const unsigned red = blueFirst ? 2 : 0;
    const unsigned blue = blueFirst ? 0 : 2;
    for (UINT x = 0; x < count; ++x) {
        const BYTE* p = in + static_cast<std::size_t>(x) * 4;
        out[x] = Rgba{static_cast<float>(p[red]) * kUnit8, static_cast<float>(p[1]) * kUnit8,
                      static_cast<float>(p[blue]) * kUnit8,
                      hasAlpha ? static_cast<float>(p[3]) * kUnit8 : 1.0f};
    }
}

void encodeRow8888Plain(const Rgba* in, BYTE* out, UINT count, bool blueFirst,
                        bool hasAlpha) noexcept {
    const unsigned redShift = blueFirst ? 16 : 0;
    const unsigned blueShift = blueFirst ? 0 : 16;
    for (UINT x = 0; x < count; ++x) {
        const std::uint32_t alpha = hasAlpha ? toUnorm8(in[x].a) : 0xFFu;
        store32(out + static_cast<std::size_t>(x) * 4,
                (toUnorm8(in[x].r) << redShift) | (toUnorm8(in[x].g) << 8) |
                    (toUnorm8(in[x].b) << blueShift) | (alpha << 24));
    }
}

const Rows8888& rows8888() noexcept {
    // Process-wide: the routines are chosen once, on first use.
    static const Rows8888 chosen = [] {
        const Rows8888 sse2 = rows8888Sse2();
        if (sse2.decode != nullptr && sse2.encode != nullptr &&
            IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE)) {
            return sse2;
        }
        return Rows8888{&decodeRow8888Plain, &encodeRow8888Plain};
    }();
    return chosen;
}

} // namespace halv::texture::detail
