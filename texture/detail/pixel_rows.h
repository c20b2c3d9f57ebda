// Row conversions of the four-byte, 8-bit-per-channel formats (A8R8G8B8, X8R8G8B8, A8B8G8R8,
// X8B8G8R8) between bytes and RGBA floats: the program's own formats, so they have a plain and
// an SSE2 version, chosen once. Both give exactly the results of the generic codec: byte *
// (1 / 255) when reading, trunc(value * 255 + 0.5) clamped to 0..255 (NaN to 0) when writing.
#pragma once

#include "base/win_types.h"
#include "texture/pixel_codec.h"

namespace halv::texture::detail {

// blueFirst: bytes B, G, R, A/X (the ARGB formats) rather than R, G, B, A/X. Without alpha the
// fourth byte reads as 1 and is written as 0xFF.
using DecodeRow8888 = void (*)(const BYTE* in, Rgba* out, UINT count, bool blueFirst,
                               bool hasAlpha);
using EncodeRow8888 = void (*)(const Rgba* in, BYTE* out, UINT count, bool blueFirst,
                               bool hasAlpha);

struct Rows8888 {
    DecodeRow8888 decode;
    EncodeRow8888 encode;
};

void decodeRow8888Plain(const BYTE* in, Rgba* out, UINT count, bool blueFirst,
                        bool hasAlpha) noexcept;
void encodeRow8888Plain(const Rgba* in, BYTE* out, UINT count, bool blueFirst,
                        bool hasAlpha) noexcept;

// The SSE2 routines, or nulls where they are not compiled in.
Rows8888 rows8888Sse2() noexcept;

// The routines in use: SSE2 when the processor has it, decided on first use.
const Rows8888& rows8888() noexcept;

} // namespace halv::texture::detail
