// Half-precision numbers: 1 sign bit, 5 exponent bits (bias 15), 10 mantissa bits, with no
// infinities or NaN: exponent 31 holds ordinary numbers up to 131008 (0x7FFF).
#pragma once

#include "base/win_types.h"

#include <cstddef>

// A half-precision value as stored in vertex and pixel data.
struct D3DXFLOAT16 {
    WORD value;
};
static_assert(sizeof(D3DXFLOAT16) == 2);

// Converts `count` floats to half precision, rounding to nearest with ties to even; magnitudes
// of 131040 and above, infinities and NaN saturate to 0x7FFF with their sign. The buffers must
// not overlap. Returns `out`.
D3DXFLOAT16* D3DXFloat32To16Array(D3DXFLOAT16* out, const FLOAT* in, UINT count) noexcept;

// Converts `count` half-precision values to floats exactly. The buffers must not overlap.
// Returns `out`.
FLOAT* D3DXFloat16To32Array(FLOAT* out, const D3DXFLOAT16* in, UINT count) noexcept;

namespace halv::math {

// One value each way, with the same rules as the array routines; for per-pixel code that does
// not want the dispatch.
WORD halfFromFloat(float value) noexcept;
float floatFromHalf(WORD half) noexcept;

} // namespace halv::math
