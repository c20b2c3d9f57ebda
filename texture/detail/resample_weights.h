// Per-axis sampling positions and weights of the resampling filters, shared by the 2D and
// volume paths.
#pragma once

#include "base/win_types.h"

#include <vector>

namespace halv::texture::detail {

// One source index and its weight.
struct Tap {
    UINT index;
    float weight;
};

// The taps of every destination index of one axis: those of destination i are
// taps[first[i]] .. taps[first[i + 1] - 1].
struct AxisTaps {
    std::vector<UINT> first;
    std::vector<Tap> taps;
    // The most taps any destination index has.
    UINT widest = 0;
};

// Triangle filter: source pixel i spreads a tent of height 1 and radius one source pixel
// around its centre; its weight into destination pixel u is the tent's integral over u's
// extent, measured in destination pixels, so each destination pixel's weights sum to 1.
// Weights of 0.00001 or less are dropped; taps of the same source index are merged. Beyond an
// edge the tents wrap round to the far side, or with `mirror` fold back onto the edge pixel.
// Returns false when memory runs out. Both sizes must be at least 1.
[[nodiscard]] bool triangleTaps(UINT sourceSize, UINT destSize, bool mirror,
                                AxisTaps* out) noexcept;

// Linear filter: destination index i samples at l = (i + 0.5) * source / dest + 0.5 between
// m - 1 (weight m + 1 - l) and m (weight l - m), m = floor(l); indices outside wrap round or,
// with `mirror`, clamp to the edge. Always two taps per index.
[[nodiscard]] bool linearTaps(UINT sourceSize, UINT destSize, bool mirror, AxisTaps* out) noexcept;

} // namespace halv::texture::detail
