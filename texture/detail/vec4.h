// Four floats handled as one value, for the resampling loops: the compiler's vector extension
// maps it onto the processor's 4-wide registers where there are some and onto scalars elsewhere.
#pragma once

#include "texture/pixel_codec.h"

#include <cstring>

namespace halv::texture::detail {

using Vec4 = float __attribute__((vector_size(16)));

inline Vec4 load(const Rgba& pixel) noexcept {
    Vec4 value;
    std::memcpy(&value, &pixel, sizeof value);
    return value;
}

inline void store(Rgba& pixel, Vec4 value) noexcept {
    std::memcpy(&pixel, &value, sizeof value);
}

inline Vec4 splat(float value) noexcept {
    return Vec4{value, value, value, value};
}

} // namespace halv::texture::detail
