// The reciprocal-square-root table of the portable set and the normalisation that uses it.
#include "math/detail/rsqrt_table.h"

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>

namespace halv::math::detail {
namespace {

// Square root for the table's endpoints, all in [0.5, 2]; from 1, eight Newton steps reach
// full double precision there.
constexpr double tableSqrt(double a) {
    double x = 1.0;
    for (int i = 0; i < 8; ++i) {
        x = 0.5 * (x + a / x);
    }
    return x;
}

// Each line joins the single-precision values of 1/sqrt at its segment's ends: slope from the
// two rounded values, intercept so that the line meets the first one.
constexpr std::array<RsqrtSegment, kRsqrtSegmentCount> makeRsqrtTable() {
    std::array<RsqrtSegment, kRsqrtSegmentCount> table{};
    for (std::size_t i = 0; i < kRsqrtSegmentCount; ++i) {
        const double start = i < 256 ? 0.5 + static_cast<double>(i) / 512.0
                                     : 1.0 + static_cast<double>(i - 256) / 256.0;
        const double width = i < 256 ? 1.0 / 512.0 : 1.0 / 256.0;
        const float atStart = static_cast<float>(1.0 / tableSqrt(start));
        const float atEnd = static_cast<float>(1.0 / tableSqrt(start + width));
        const float slope = static_cast<float>((static_cast<double>(atEnd) - atStart) / width);
        const float rise = static_cast<float>(static_cast<double>(slope) * start);
        table[i] = {slope, static_cast<float>(static_cast<double>(atStart) - rise)};
    }
    return table;
}

// Components are brought into range by these powers of two when the squared length is
// subnormal or overflows, where the exponent split below does not hold.
constexpr float kScaleUp = 0x1p64f;
constexpr float kScaleDown = 0x1p-66f;

float squaredLength(const float* v, int count) {
    float s = v[0] * v[0];
    for (int i = 1; i < count; ++i) {
        s += v[i] * v[i];
    }
    return s;
}

} // namespace

constexpr std::array<RsqrtSegment, kRsqrtSegmentCount> kRsqrtTable = makeRsqrtTable();

float tableReciprocalSqrt(float s) noexcept {
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

void normalizeWithTable(float* out, const float* in, int count) noexcept {
    float v[4] = {};
    for (int i = 0; i < count; ++i) {
        v[i] = in[i];
    }
    float s = squaredLength(v, count);
    if (s == 0.0f) {
        for (int i = 0; i < count; ++i) {
            out[i] = 0.0f;
        }
        return;
    }
    if (std::fabs(s - 1.0f) <= 1.0e-5f) {
        for (int i = 0; i < count; ++i) {
            out[i] = v[i];
        }
        return;
    }
    // A subnormal or infinite squared length would break the exponent split; scaling the
    // components by a power of two first keeps the direction exact.
    if (s < FLT_MIN || s > FLT_MAX) {
        const float scale = s < FLT_MIN ? kScaleUp : kScaleDown;
        for (int i = 0; i < count; ++i) {
            v[i] *= scale;
        }
        s = squaredLength(v, count);
    }
    const float r = tableReciprocalSqrt(s);
    for (int i = 0; i < count; ++i) {
        out[i] = v[i] * r;
    }
}

} // namespace halv::math::detail
