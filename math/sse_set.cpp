// The SSE set: matrix product, normalisation, coordinate and normal transforms, the
// yaw-pitch-roll quaternion and the half-to-float conversion in SSE instructions. Built with
// -msse; nothing here needs more.
#include "math/detail/simd_sets.h"

#if defined(__x86_64__) || defined(__i386__)

#include "math/detail/portable.h"

#include <cfloat>
#include <cstdint>

#include <xmmintrin.h>

namespace halv::math::detail {
namespace {

// (x, y, z, 0) from an 8-byte and a 4-byte load: never reads past the vector's 12 bytes.
__m128 loadVector3(const D3DXVECTOR3* v) {
    const __m128 xy = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(&v->x));
    return _mm_movelh_ps(xy, _mm_load_ss(&v->z));
}

void storeVector3(D3DXVECTOR3* out, __m128 v) {
    _mm_storel_pi(reinterpret_cast<__m64*>(&out->x), v);
    _mm_store_ss(&out->z, _mm_movehl_ps(v, v));
}

template <int Lane>
__m128 broadcast(__m128 v) {
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(Lane, Lane, Lane, Lane));
}

// Row vector times matrix rows, summed in row order like the portable set.
__m128 rowTimes(__m128 row, __m128 b0, __m128 b1, __m128 b2, __m128 b3) {
    __m128 r = _mm_mul_ps(broadcast<0>(row), b0);
    r = _mm_add_ps(r, _mm_mul_ps(broadcast<1>(row), b1));
    r = _mm_add_ps(r, _mm_mul_ps(broadcast<2>(row), b2));
    return _mm_add_ps(r, _mm_mul_ps(broadcast<3>(row), b3));
}

D3DXMATRIX* matrixMultiply(D3DXMATRIX* out, const D3DXMATRIX* m1, const D3DXMATRIX* m2) noexcept {
    // Both inputs are read in full before `out` is written, so it may be either of them.
    const __m128 b0 = _mm_loadu_ps(m2->m[0]);
    const __m128 b1 = _mm_loadu_ps(m2->m[1]);
    const __m128 b2 = _mm_loadu_ps(m2->m[2]);
    const __m128 b3 = _mm_loadu_ps(m2->m[3]);
    const __m128 a0 = _mm_loadu_ps(m1->m[0]);
    const __m128 a1 = _mm_loadu_ps(m1->m[1]);
    const __m128 a2 = _mm_loadu_ps(m1->m[2]);
    const __m128 a3 = _mm_loadu_ps(m1->m[3]);
    _mm_storeu_ps(out->m[0], rowTimes(a0, b0, b1, b2, b3));
    _mm_storeu_ps(out->m[1], rowTimes(a1, b0, b1, b2, b3));
    _mm_storeu_ps(out->m[2], rowTimes(a2, b0, b1, b2, b3));
    _mm_storeu_ps(out->m[3], rowTimes(a3, b0, b1, b2, b3));
    return out;
}

// x^2 + y^2 + z^2 in lane 0, added in the portable set's order.
__m128 squaredLength(__m128 v) {
    const __m128 squares = _mm_mul_ps(v, v);
    const __m128 xy = _mm_add_ss(squares, broadcast<1>(squares));
    return _mm_add_ss(xy, _mm_movehl_ps(squares, squares));
}

D3DXVECTOR3* vec3Normalize(D3DXVECTOR3* out, const D3DXVECTOR3* v) noexcept {
    __m128 value = loadVector3(v);
    __m128 s = squaredLength(value);
    const float squared = _mm_cvtss_f32(s);
    // Below 2^-46 the estimate is not trusted: the vector counts as zero.
    if (squared < 0x1p-46f) {
        storeVector3(out, _mm_setzero_ps());
        return out;
    }
    // An overflowing squared length would make the refinement 0 * infinity; scaling by a power
    // of two keeps the direction exact.
    if (squared > FLT_MAX) {
        value = _mm_mul_ps(value, _mm_set1_ps(0x1p-66f));
        s = squaredLength(value);
    }
    // One Newton-Raphson step on the hardware estimate: r' = 0.5 r (3 - s r^2).
    const __m128 r = _mm_rsqrt_ss(s);
    const __m128 correction = _mm_sub_ss(_mm_set_ss(3.0f), _mm_mul_ss(_mm_mul_ss(s, r), r));
    const __m128 refined = _mm_mul_ss(_mm_mul_ss(_mm_set_ss(0.5f), r), correction);
    storeVector3(out, _mm_mul_ps(value, broadcast<0>(refined)));
    return out;
}

// (x, y, z, 1) * m. Each component is broadcast straight from memory, so the three products
// do not wait for one another.
__m128 transformPoint(const D3DXVECTOR3* v, const D3DXMATRIX* m) {
    __m128 r = _mm_mul_ps(_mm_load1_ps(&v->x), _mm_loadu_ps(m->m[0]));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_load1_ps(&v->y), _mm_loadu_ps(m->m[1])));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_load1_ps(&v->z), _mm_loadu_ps(m->m[2])));
    return _mm_add_ps(r, _mm_loadu_ps(m->m[3]));
}

D3DXVECTOR3* vec3TransformCoord(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                const D3DXMATRIX* m) noexcept {
    const __m128 r = transformPoint(v, m);
    // Always divided, also for w = 1: 1/w from the estimate refined once, r' = 2r - w r^2.
    const __m128 w = broadcast<3>(r);
    const __m128 estimate = _mm_rcp_ps(w);
    const __m128 inverse =
        _mm_sub_ps(_mm_add_ps(estimate, estimate), _mm_mul_ps(_mm_mul_ps(w, estimate), estimate));
    storeVector3(out, _mm_mul_ps(r, inverse));
    return out;
}

D3DXVECTOR3* vec3TransformNormal(D3DXVECTOR3* out, const D3DXVECTOR3* v,
                                 const D3DXMATRIX* m) noexcept {
    __m128 r = _mm_mul_ps(_mm_load1_ps(&v->x), _mm_loadu_ps(m->m[0]));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_load1_ps(&v->y), _mm_loadu_ps(m->m[1])));
    r = _mm_add_ps(r, _mm_mul_ps(_mm_load1_ps(&v->z), _mm_loadu_ps(m->m[2])));
    storeVector3(out, r);
    return out;
}

// Rounds to the nearest integer (ties to even) by pushing the fraction out of the mantissa;
// valid below 2^22 in magnitude.
__m128 roundToInteger(__m128 v) {
    const __m128 shifter = _mm_set1_ps(0x1.8p23f);
    return _mm_sub_ps(_mm_add_ps(v, shifter), shifter);
}

__m128 select(__m128 mask, __m128 ifSet, __m128 ifClear) {
    return _mm_or_ps(_mm_and_ps(mask, ifSet), _mm_andnot_ps(mask, ifClear));
}

// Sine and cosine of four angles at once: reduction by pi/2 in three parts, then minimax
// polynomials on [-pi/4, pi/4]. Within 1e-7 of the true values for angles up to 1e4 radians;
// the reduction loses accuracy slowly beyond.
void sinCos(__m128 x, __m128* sine, __m128* cosine) {
    const __m128 k = roundToInteger(_mm_mul_ps(x, _mm_set1_ps(0.636619772f)));
    __m128 r = _mm_sub_ps(x, _mm_mul_ps(k, _mm_set1_ps(1.5703125f)));
    r = _mm_sub_ps(r, _mm_mul_ps(k, _mm_set1_ps(4.837512969970703125e-4f)));
    r = _mm_sub_ps(r, _mm_mul_ps(k, _mm_set1_ps(7.54978995489188216e-8f)));

    // The quadrant, k mod 4, as 0 to 3; the floor of k/4 corrects a rounding upwards.
    const __m128 quarter = _mm_mul_ps(k, _mm_set1_ps(0.25f));
    __m128 wholeTurns = roundToInteger(quarter);
    wholeTurns =
        _mm_sub_ps(wholeTurns, _mm_and_ps(_mm_cmpgt_ps(wholeTurns, quarter), _mm_set1_ps(1.0f)));
    const __m128 quadrant = _mm_sub_ps(k, _mm_mul_ps(wholeTurns, _mm_set1_ps(4.0f)));

    const __m128 z = _mm_mul_ps(r, r);
    __m128 sinePoly =
        _mm_add_ps(_mm_mul_ps(_mm_set1_ps(-1.9515295891e-4f), z), _mm_set1_ps(8.3321608736e-3f));
    sinePoly = _mm_add_ps(_mm_mul_ps(sinePoly, z), _mm_set1_ps(-1.6666654611e-1f));
    sinePoly = _mm_add_ps(_mm_mul_ps(_mm_mul_ps(sinePoly, z), r), r);
    __m128 cosinePoly = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(2.443315711809948e-5f), z),
                                   _mm_set1_ps(-1.388731625493765e-3f));
    cosinePoly = _mm_add_ps(_mm_mul_ps(cosinePoly, z), _mm_set1_ps(4.166664568298827e-2f));
    cosinePoly = _mm_mul_ps(_mm_mul_ps(cosinePoly, z), z);
    cosinePoly =
        _mm_add_ps(_mm_sub_ps(cosinePoly, _mm_mul_ps(_mm_set1_ps(0.5f), z)), _mm_set1_ps(1.0f));

    const __m128 isOne = _mm_cmpeq_ps(quadrant, _mm_set1_ps(1.0f));
    const __m128 isTwo = _mm_cmpeq_ps(quadrant, _mm_set1_ps(2.0f));
    const __m128 isThree = _mm_cmpeq_ps(quadrant, _mm_set1_ps(3.0f));
    const __m128 swap = _mm_or_ps(isOne, isThree);
    const __m128 signBit = _mm_set1_ps(-0.0f);
    const __m128 sineNegative = _mm_and_ps(_mm_or_ps(isTwo, isThree), signBit);
    const __m128 cosineNegative = _mm_and_ps(_mm_or_ps(isOne, isTwo), signBit);
    *sine = _mm_xor_ps(select(swap, cosinePoly, sinePoly), sineNegative);
    *cosine = _mm_xor_ps(select(swap, sinePoly, cosinePoly), cosineNegative);
}

D3DXQUATERNION* quaternionRotationYawPitchRoll(D3DXQUATERNION* out, FLOAT yaw, FLOAT pitch,
                                               FLOAT roll) noexcept {
    const __m128 halfAngles = _mm_mul_ps(_mm_setr_ps(yaw, pitch, roll, 0.0f), _mm_set1_ps(0.5f));
    __m128 s;
    __m128 c;
    sinCos(halfAngles, &s, &c);
    // yawPitch = (cy, sy, cp, sp), rollPair = (cr, sr, _, _).
    const __m128 yawPitch = _mm_unpacklo_ps(c, s);
    const __m128 rollPair = _mm_unpackhi_ps(c, s);
    // x = cy sp cr + sy cp sr, y = sy cp cr - cy sp sr, z = cy cp sr - sy sp cr,
    // w = cy cp cr + sy sp sr: lane by lane, a1 b1 c1 +/- a2 b2 c2.
    const __m128 a1 = _mm_shuffle_ps(yawPitch, yawPitch, _MM_SHUFFLE(0, 0, 1, 0));
    const __m128 b1 = _mm_shuffle_ps(yawPitch, yawPitch, _MM_SHUFFLE(2, 2, 2, 3));
    const __m128 c1 = _mm_shuffle_ps(rollPair, rollPair, _MM_SHUFFLE(0, 1, 0, 0));
    const __m128 a2 = _mm_shuffle_ps(yawPitch, yawPitch, _MM_SHUFFLE(1, 1, 0, 1));
    const __m128 b2 = _mm_shuffle_ps(yawPitch, yawPitch, _MM_SHUFFLE(3, 3, 3, 2));
    const __m128 c2 = _mm_shuffle_ps(rollPair, rollPair, _MM_SHUFFLE(1, 0, 1, 1));
    const __m128 first = _mm_mul_ps(_mm_mul_ps(a1, b1), c1);
    const __m128 second = _mm_mul_ps(_mm_mul_ps(a2, b2), c2);
    const __m128 signs = _mm_setr_ps(0.0f, -0.0f, -0.0f, 0.0f);
    _mm_storeu_ps(&out->x, _mm_add_ps(first, _mm_xor_ps(second, signs)));
    return out;
}

FLOAT* float16To32Array(FLOAT* out, const D3DXFLOAT16* in, UINT count) noexcept {
    // The bit patterns are put together in integer registers (SSE has no integer vectors),
    // four at a time. Subnormal halves become 2^-14 (1 + m/1024) and lose 2^-14 again, so no
    // subnormal float is ever an operand and a denormals-are-zero mode cannot spoil them.
    const __m128 subnormalBias = _mm_set1_ps(0x1p-14f);
    UINT i = 0;
    for (; count - i >= 4; i += 4) {
        alignas(16) std::uint32_t bits[4];
        alignas(16) std::uint32_t subnormal[4];
        alignas(16) std::uint32_t sign[4];
        for (UINT lane = 0; lane < 4; ++lane) {
            const std::uint32_t half = in[i + lane].value;
            const bool isSubnormal = (half & 0x7C00u) == 0;
            bits[lane] = ((half & 0x7FFFu) << 13) + ((isSubnormal ? 113u : 112u) << 23);
            subnormal[lane] = isSubnormal ? 0xFFFFFFFFu : 0u;
            sign[lane] = (half & 0x8000u) << 16;
        }
        const __m128 value = _mm_load_ps(reinterpret_cast<const float*>(bits));
        const __m128 bias =
            _mm_and_ps(_mm_load_ps(reinterpret_cast<const float*>(subnormal)), subnormalBias);
        const __m128 result =
            _mm_or_ps(_mm_sub_ps(value, bias), _mm_load_ps(reinterpret_cast<const float*>(sign)));
        _mm_storeu_ps(out + i, result);
    }
    for (; i < count; ++i) {
        out[i] = floatFromHalf(in[i].value);
    }
    return out;
}

} // namespace

void installSseSet(DispatchTable& table) noexcept {
    table.matrixMultiply = matrixMultiply;
    table.vec3Normalize = vec3Normalize;
    table.vec3TransformCoord = vec3TransformCoord;
    table.vec3TransformNormal = vec3TransformNormal;
    table.quaternionRotationYawPitchRoll = quaternionRotationYawPitchRoll;
    table.float16To32Array = float16To32Array;
}

} // namespace halv::math::detail

#endif
