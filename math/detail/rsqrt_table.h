// The portable set's reciprocal square root: 512 straight-line pieces of 1/sqrt(m) over
// m in [0.5, 2), and the normalisation built on it.
#pragma once

#include <array>
#include <cstddef>

namespace halv::math::detail {

struct RsqrtSegment {
    float slope;
    float intercept;
};

// Entries 0-255 cover [0.5, 1) in steps of 1/512, entries 256-511 cover [1, 2) in steps of
// 1/256.
inline constexpr std::size_t kRsqrtSegmentCount = 512;
extern const std::array<RsqrtSegment, kRsqrtSegmentCount> kRsqrtTable;

// 1/sqrt(s) for a positive, normal, finite `s`, relative error about 1e-6: s = m * 4^e with
// m in [0.5, 2), the line of m's segment at m, times 2^-e.
float tableReciprocalSqrt(float s) noexcept;

// The portable normalisation of `count` (2 to 4) components; `out` may be `in`. A squared
// length of exactly 0 gives zeros; one within 1e-5 of 1 copies `in`; otherwise the components
// times tableReciprocalSqrt of the squared length.
void normalizeWithTable(float* out, const float* in, int count) noexcept;

} // namespace halv::math::detail
