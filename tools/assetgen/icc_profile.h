// A small ICC version 2 display profile (sRGB primaries, D50-adapted, gamma 2.2 curves) built
// from its colorimetry, for the textures that carry an iCCP chunk.
#pragma once

#include <cstdint>
#include <vector>

namespace halv::assetgen {

std::vector<std::uint8_t> makeIccProfile();

} // namespace halv::assetgen
