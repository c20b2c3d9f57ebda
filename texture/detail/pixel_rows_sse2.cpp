// The SSE2 row conversions of the four-byte 8-bit formats: four pixels at a time, with the
// same multiplications, additions and clamps as the plain routines, so the results are equal.
#include "texture/detail/pixel_rows.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace halv::texture::detail {

#if defined(__SSE2__)
namespace {

// Swaps the first and third 16-bit lanes of each pixel (red and blue) in both halves.
__m128i swapRedBlue(__m128i lanes) {
    lanes = _mm_shufflelo_epi16(lanes, _MM_SHUFFLE(3, 0, 1, 2));
    return _mm_shufflehi_epi16(lanes, _MM_SHUFFLE(3, 0, 1, 2));
}

void decodeSimd(const BYTE* in, Rgba* out, UINT count, bool blueFirst, bool hasAlpha) noexcept {
    const __m128i zero = _mm_setzero_si128();
    const __m128 unit = _mm_set1_ps(1.0f / 255.0f);
    // Lanes forced to 1.0 for the alpha of formats without alpha.
    const __m128 alphaMask = _mm_castsi128_ps(_mm_set_epi32(-1, 0, 0, 0));
    const __m128 one = _mm_set1_ps(1.0f);
    UINT x = 0;
    for (; x + 4 <= count; x += 4) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x * 4u));
        __m128i low = _mm_unpacklo_epi8(bytes, zero);
        __m128i high = _mm_unpackhi_epi8(bytes, zero);
        if (blueFirst) {
            low = swapRedBlue(low);
            high = swapRedBlue(high);
        }
        __m128 pixels[4] = {
            _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(low, zero)), unit),
            _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(low, zero)), unit),
            _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpacklo_epi16(high, zero)), unit),
            _mm_mul_ps(_mm_cvtepi32_ps(_mm_unpackhi_epi16(high, zero)), unit),
        };
        for (int i = 0; i < 4; ++i) {
            if (!hasAlpha) {
                pixels[i] =
                    _mm_or_ps(_mm_andnot_ps(alphaMask, pixels[i]), _mm_and_ps(alphaMask, one));
            }
            _mm_storeu_ps(&out[x + i].r, pixels[i]);
        }
    }
    if (x < count) {
        decodeRow8888Plain(in + x * 4u, out + x, count - x, blueFirst, hasAlpha);
    }
}

void encodeSimd(const Rgba* in, BYTE* out, UINT count, bool blueFirst, bool hasAlpha) noexcept {
    const __m128 scale = _mm_set1_ps(255.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 zero = _mm_setzero_ps();
    const __m128 top = _mm_set1_ps(255.0f);
    const __m128i opaque = _mm_set1_epi32(hasAlpha ? 0 : static_cast<int>(0xFF000000u));
    UINT x = 0;
    for (; x + 4 <= count; x += 4) {
        __m128i values[4];
        for (int i = 0; i < 4; ++i) {
            const __m128 scaled = _mm_add_ps(_mm_mul_ps(_mm_loadu_ps(&in[x + i].r), scale), half);
            // max(scaled, 0) answers 0 for NaN, as the plain routine does.
            values[i] = _mm_cvttps_epi32(_mm_min_ps(_mm_max_ps(scaled, zero), top));
        }
        __m128i low = _mm_packs_epi32(values[0], values[1]);
        __m128i high = _mm_packs_epi32(values[2], values[3]);
        if (blueFirst) {
            low = swapRedBlue(low);
            high = swapRedBlue(high);
        }
        const __m128i bytes = _mm_or_si128(_mm_packus_epi16(low, high), opaque);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x * 4u), bytes);
    }
    if (x < count) {
        encodeRow8888Plain(in + x, out + x * 4u, count - x, blueFirst, hasAlpha);
    }
}

} // namespace

Rows8888 rows8888Sse2() noexcept {
    return {&decodeSimd, &encodeSimd};
}

#else

Rows8888 rows8888Sse2() noexcept {
    return {nullptr, nullptr};
}

#endif

} // namespace halv::texture::detail
