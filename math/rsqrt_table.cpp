// The reciprocal-square-root table of the portable set and the normalisation that uses it.
#include "math/detail/rsqrt_table.h"

#include <cfloat>

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

// Components are brought into range by these powers of two, exactly.
constexpr float kScaleUp = 0x1p64f;
constexpr float kScaleDown = 0x1p-66f;

} // namespace

constexpr std::array<RsqrtSegment, kRsqrtSegmentCount> kRsqrtTable = makeRsqrtTable();

float rescaleForTable(float* v, int count, float s) noexcept {
    const float scale = s < FLT_MIN ? kScaleUp : kScaleDown;
    float rescaled = 0.0f;
    for (int i = 0; i < count; ++i) {
        v[i] *= scale;
        rescaled += v[i] * v[i];
    }
    return rescaled;
}

} // namespace halv::math::detail
