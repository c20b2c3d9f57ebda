// The SSE2 set: the SSE set's routines, with the half-to-float conversion done eight at a
// time in SSE2 integer arithmetic. Built with -msse2.
#include "math/detail/simd_sets.h"

#if defined(__x86_64__) || defined(__i386__)

#include <emmintrin.h>

namespace halv::math::detail {
namespace {

// Four halves, one in the low 16 bits of each lane, to floats. Subnormal halves become
// 2^-14 (1 + m/1024) and lose 2^-14 again, so no subnormal float is ever an operand.
__m128 halvesToFloats(__m128i halves) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i sign = _mm_slli_epi32(_mm_and_si128(halves, _mm_set1_epi32(0x8000)), 16);
    const __m128i magnitude = _mm_slli_epi32(_mm_and_si128(halves, _mm_set1_epi32(0x7FFF)), 13);
    const __m128i subnormal = _mm_cmpeq_epi32(_mm_and_si128(halves, _mm_set1_epi32(0x7C00)), zero);
    // Exponent + 112 rebiases; subnormals take one more and the bias comes off below.
    const __m128i rebias =
        _mm_add_epi32(_mm_set1_epi32(112 << 23), _mm_and_si128(subnormal, _mm_set1_epi32(1 << 23)));
    const __m128 value = _mm_castsi128_ps(_mm_add_epi32(magnitude, rebias));
    const __m128 bias = _mm_and_ps(_mm_castsi128_ps(subnormal), _mm_set1_ps(0x1p-14f));
    return _mm_or_ps(_mm_sub_ps(value, bias), _mm_castsi128_ps(sign));
}

FLOAT* float16To32Array(FLOAT* out, const D3DXFLOAT16* in, UINT count) noexcept {
    const __m128i zero = _mm_setzero_si128();
    UINT i = 0;
    for (; count - i >= 8; i += 8) {
        const __m128i halves = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_ps(out + i, halvesToFloats(_mm_unpacklo_epi16(halves, zero)));
        _mm_storeu_ps(out + i + 4, halvesToFloats(_mm_unpackhi_epi16(halves, zero)));
    }
    for (; i < count; ++i) {
        out[i] = floatFromHalf(in[i].value);
    }
    return out;
}

} // namespace

void installSse2Set(DispatchTable& table) noexcept {
    // Multiply, normalise, the transforms and the yaw-pitch-roll quaternion are the SSE
    // set's own; SSE2 adds nothing they could use.
    installSseSet(table);
    table.float16To32Array = float16To32Array;
}

} // namespace halv::math::detail

#endif
