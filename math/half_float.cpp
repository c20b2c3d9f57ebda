// Half-precision conversions of the portable set.
#include "math/half_float.h"

#include "math/detail/portable.h"

#include <bit>
#include <cstdint>

namespace halv::math {

WORD halfFromFloat(float value) noexcept {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const std::uint32_t sign = (bits >> 16) & 0x8000u;
    const std::uint32_t magnitude = bits & 0x7FFFFFFFu;
    // Without infinities, everything from 131040 up (where rounding would carry past the top
    // exponent) saturates, infinities and NaN too.
    if (magnitude > 0x47FFEFFFu) {
        return static_cast<WORD>(sign | 0x7FFFu);
    }
    // 0xFFF plus the lowest kept bit rounds to nearest with ties to even.
    if (magnitude >= 0x38800000u) {
        const std::uint32_t rebiased = magnitude - 0x38000000u;
        return static_cast<WORD>(sign | ((rebiased + 0xFFFu + ((rebiased >> 13) & 1u)) >> 13));
    }
    // Below 2^-14 the result is subnormal: line the mantissa, with its leading one, up with
    // half precision's fixed exponent before rounding.
    const std::uint32_t shift = 113u - (magnitude >> 23);
    const std::uint32_t mantissa =
        shift > 31u ? 0u : ((magnitude & 0x7FFFFFu) | 0x800000u) >> shift;
    return static_cast<WORD>(sign | ((mantissa + 0xFFFu + ((mantissa >> 13) & 1u)) >> 13));
}

float floatFromHalf(WORD half) noexcept {
    const std::uint32_t sign = (static_cast<std::uint32_t>(half) & 0x8000u) << 16;
    const std::uint32_t exponent = (half >> 10) & 0x1Fu;
    std::uint32_t mantissa = half & 0x3FFu;
    if (exponent != 0) {
        return std::bit_cast<float>(sign | ((exponent + 112u) << 23) | (mantissa << 13));
    }
    if (mantissa == 0) {
        return std::bit_cast<float>(sign);
    }
    // Subnormal: shift the leading one up to bit 10, then drop it as the implicit bit.
    int unbiased = -14;
    while ((mantissa & 0x400u) == 0) {
        mantissa <<= 1;
        --unbiased;
    }
    mantissa &= 0x3FFu;
    const auto biased = static_cast<std::uint32_t>(unbiased + 127);
    return std::bit_cast<float>(sign | (biased << 23) | (mantissa << 13));
}

namespace portable {

D3DXFLOAT16* float32To16Array(D3DXFLOAT16* out, const FLOAT* in, UINT count) noexcept {
    for (UINT i = 0; i < count; ++i) {
        out[i].value = halfFromFloat(in[i]);
    }
    return out;
}

FLOAT* float16To32Array(FLOAT* out, const D3DXFLOAT16* in, UINT count) noexcept {
    for (UINT i = 0; i < count; ++i) {
        out[i] = floatFromHalf(in[i].value);
    }
    return out;
}

} // namespace portable
} // namespace halv::math
