#include "texture/detail/resample_weights.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace halv::texture::detail {
namespace {

// Integral of the tent centred at `centre` from minus infinity to x.
double tentIntegral(double x, double centre) {
    const double d = x - centre;
    if (d <= -1.0) {
        return 0.0;
    }
    if (d <= 0.0) {
        return (1.0 + d) * (1.0 + d) * 0.5;
    }
    if (d < 1.0) {
        return 1.0 - (1.0 - d) * (1.0 - d) * 0.5;
    }
    return 1.0;
}

// A source index outside [0, size) brought back inside: wrapped round, or reflected at the
// edge.
UINT edgeIndex(long long index, UINT size, bool mirror) {
    const long long n = size;
    if (index >= 0 && index < n) {
        return static_cast<UINT>(index);
    }
    if (mirror) {
        long long reflected = index < 0 ? -1 - index : 2 * n - 1 - index;
        return static_cast<UINT>(std::clamp<long long>(reflected, 0, n - 1));
    }
    return static_cast<UINT>(((index % n) + n) % n);
}

} // namespace

bool triangleTaps(UINT sourceSize, UINT destSize, bool mirror, AxisTaps* out) noexcept {
    try {
        out->first.assign(std::size_t{destSize} + 1, 0);
        out->taps.clear();
        out->widest = 0;
        const double scale = static_cast<double>(destSize) / sourceSize;
        std::vector<Tap> row;
        for (UINT u = 0; u < destSize; ++u) {
            // Destination pixel u covers [low, high) in source pixels.
            const double low = static_cast<double>(u) * sourceSize / destSize;
            const double high = static_cast<double>(u + 1) * sourceSize / destSize;
            // Tent i covers (i - 0.5, i + 1.5).
            const auto firstIndex = static_cast<long long>(std::floor(low - 1.5));
            const auto lastIndex = static_cast<long long>(std::ceil(high + 0.5));
            row.clear();
            for (long long i = firstIndex; i <= lastIndex; ++i) {
                const double centre = static_cast<double>(i) + 0.5;
                const double weight =
                    scale * (tentIntegral(high, centre) - tentIntegral(low, centre));
                if (weight <= 0.00001) {
                    continue;
                }
                const UINT index = edgeIndex(i, sourceSize, mirror);
                const auto same = std::find_if(
                    row.begin(), row.end(), [index](const Tap& tap) { return tap.index == index; });
                if (same != row.end()) {
                    same->weight += static_cast<float>(weight);
                } else {
                    row.push_back({index, static_cast<float>(weight)});
                }
            }
            out->taps.insert(out->taps.end(), row.begin(), row.end());
            out->first[u + 1] = static_cast<UINT>(out->taps.size());
            out->widest = std::max(out->widest, static_cast<UINT>(row.size()));
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool linearTaps(UINT sourceSize, UINT destSize, bool mirror, AxisTaps* out) noexcept {
    try {
        out->first.assign(std::size_t{destSize} + 1, 0);
        out->taps.assign(std::size_t{destSize} * 2, Tap{0, 0.0f});
        out->widest = 2;
        const double ratio = static_cast<double>(sourceSize) / destSize;
        for (UINT i = 0; i < destSize; ++i) {
            const double l = (static_cast<double>(i) + 0.5) * ratio + 0.5;
            const double m = std::floor(l);
            const auto index = static_cast<long long>(m);
            out->taps[i * 2u] = {edgeIndex(index - 1, sourceSize, mirror),
                                 static_cast<float>(m + 1.0 - l)};
            out->taps[i * 2u + 1] = {edgeIndex(index, sourceSize, mirror),
                                     static_cast<float>(l - m)};
            out->first[i + 1] = (i + 1) * 2;
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

} // namespace halv::texture::detail
