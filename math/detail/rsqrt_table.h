// The portable set's reciprocal square root: 512 straight-line pieces of 1/sqrt(m) over
// m in [0.5, 2), and the normalisation built on it. Inline, so each vector size gets its own
// straight-line code.
#pragma once

#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace halv::math::detail {

struct RsqrtSegment {
    float slope;
    float intercept;
};

// Entries 0-255 cover [0.5, 1) in steps of 1/512, entries 256-511 cover [1, 2) in steps of
// 1/256.
inline constexpr std::size_t kRsqrtSegmentCount = 512;
extern const std::array<RsqrtSegment, kRsqrtSegmentCount> kRsqrtTable;

// 1/sqrt(s) for a positive, normal, finite `s`, relative error within 1.6e-6: s = m * 4^e with
// m in [0.5, 2), the line of m's segment at m, times 2^-e.
inline float tableReciprocalSqrt(float s) noexcept {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(s);
    const std::uint32_t exponent = (bits >> 23) & 0xFF;
    // The lowest exponent bit then the top eight mantissa bits.
    const std::uint32_t index = (bits >> 15) & 0x1FF;
    // Keeping the mantissa and the lowest exponent bit and forcing the rest of the exponent
    // to 126 gives m in [0.5, 1) for even exponents and [1, 2) for odd ones.
    const float m = std::bit_cast<float>((bits & 0x00FFFFFFu) | 0x3F000000u);
    // 2^-e, built straight into an exponent field: e = (exponent - 126 - (exponent & 1)) / 2.
    const std::uint32_t scaleField = (380u - exponent + (exponent & 1u)) / 2u;
    const float scale = std::bit_cast<float>(scaleField << 23);
    const RsqrtSegment& segment = kRsqrtTable[index];
    return (segment.slope * m + segment.intercept) * scale;
}

// Scales `v` by a power of two that brings a subnormal or infinite squared length `s` into
// the normal range, where the exponent split holds, and returns the new squared length.
float rescaleForTable(float* v, int count, float s) noexcept;

template <std::size_t N>
inline float squaredLength(const std::array<float, N>& v) noexcept {
    float s = v[0] * v[0];
    for (std::size_t i = 1; i < N; ++i) {
        s += v[i] * v[i];
    }
    return s;
}

// The portable normalisation, in place. A squared length of exactly 0 gives zeros; one within
// 1e-5 of 1 leaves the vector as it is; otherwise the components times tableReciprocalSqrt of
// the squared length, with no refinement.
template <std::size_t N>
inline void normalizeWithTable(std::array<float, N>& v) noexcept {
    float s = squaredLength(v);
    if (s == 0.0f) {
        v = {};
        return;
    }
    if (std::fabs(s - 1.0f) <= 1.0e-5f) {
        return;
    }
    if (s < FLT_MIN || s > FLT_MAX) [[unlikely]] {
        s = rescaleForTable(v.data(), static_cast<int>(N), s);
    }
    const float r = tableReciprocalSqrt(s);
    for (float& component : v) {
        component *= r;
    }
}

} // namespace halv::math::detail
