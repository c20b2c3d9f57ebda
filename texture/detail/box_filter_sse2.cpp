// The SSE2 2x2 average of four-byte pixels: bytes widened to 16-bit lanes, summed, rounded
// with +2 and shifted, so the result is exactly that of the plain routine.
#include "texture/detail/box_filter.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace halv::texture::detail {

#if defined(__SSE2__)
namespace {

void boxRow8888Simd(const BYTE* upper, const BYTE* lower, BYTE* out, UINT count) noexcept {
    const __m128i zero = _mm_setzero_si128();
    const __m128i two = _mm_set1_epi16(2);
    UINT i = 0;
    // Eight source pixels per row make four destination pixels.
    for (; i + 4 <= count; i += 4) {
        const __m128i u0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + i * 8u));
        const __m128i u1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(upper + i * 8u + 16));
        const __m128i l0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + i * 8u));
        const __m128i l1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lower + i * 8u + 16));
        // Vertical sums of pixels 0-1, 2-3, 4-5, 6-7 in 16-bit lanes.
        const __m128i s01 = _mm_add_epi16(_mm_unpacklo_epi8(u0, zero), _mm_unpacklo_epi8(l0, zero));
        const __m128i s23 = _mm_add_epi16(_mm_unpackhi_epi8(u0, zero), _mm_unpackhi_epi8(l0, zero));
        const __m128i s45 = _mm_add_epi16(_mm_unpacklo_epi8(u1, zero), _mm_unpacklo_epi8(l1, zero));
        const __m128i s67 = _mm_add_epi16(_mm_unpackhi_epi8(u1, zero), _mm_unpackhi_epi8(l1, zero));
        // Horizontal pairs: the high half of each register added to its low half.
        const __m128i d0 = _mm_add_epi16(s01, _mm_srli_si128(s01, 8));
        const __m128i d1 = _mm_add_epi16(s23, _mm_srli_si128(s23, 8));
        const __m128i d2 = _mm_add_epi16(s45, _mm_srli_si128(s45, 8));
        const __m128i d3 = _mm_add_epi16(s67, _mm_srli_si128(s67, 8));
        const __m128i first = _mm_srli_epi16(_mm_add_epi16(_mm_unpacklo_epi64(d0, d1), two), 2);
        const __m128i second = _mm_srli_epi16(_mm_add_epi16(_mm_unpacklo_epi64(d2, d3), two), 2);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i * 4u), _mm_packus_epi16(first, second));
    }
    if (i < count) {
        boxRow8888Plain(upper + i * 8u, lower + i * 8u, out + i * 4u, count - i);
    }
}

} // namespace

BoxRow8888 boxRow8888Sse2() noexcept {
    return &boxRow8888Simd;
}

#else

BoxRow8888 boxRow8888Sse2() noexcept {
    return nullptr;
}

#endif

} // namespace halv::texture::detail
