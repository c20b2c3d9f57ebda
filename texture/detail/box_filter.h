// The integer 2x2 averages of the box filter: each channel becomes (a + b + c + d + 2) >> 2.
// Four-byte pixels with 8-bit channels have a plain and an SSE2 routine, chosen once; the
// other integer formats share one routine driven by their channel fields.
#pragma once

#include "base/value_types.h"
#include "base/win_types.h"

namespace halv::texture::detail {

// Averages 2x2 blocks of four-byte pixels from rows `upper` and `lower` (2 * count pixels
// each) into `count` pixels, byte by byte.
using BoxRow8888 = void (*)(const BYTE* upper, const BYTE* lower, BYTE* out, UINT count);

void boxRow8888Plain(const BYTE* upper, const BYTE* lower, BYTE* out, UINT count) noexcept;
// The SSE2 routine, or null where it is not compiled in (other processors).
BoxRow8888 boxRow8888Sse2() noexcept;
// The routine in use: SSE2 when the processor has it, decided on first use.
BoxRow8888 boxRow8888() noexcept;

// Whether the format is averaged in integers (given equal formats, no dithering, no sRGB and a
// source of at least 2x2).
bool integerBoxFormat(D3DFORMAT format) noexcept;

// Averages one destination row of an integer box format (2 * count source pixels per row).
void boxRowInteger(D3DFORMAT format, const BYTE* upper, const BYTE* lower, BYTE* out,
                   UINT count) noexcept;

} // namespace halv::texture::detail
