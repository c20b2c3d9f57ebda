// The codec families behind createPixelCodec, and the little-endian word access they share.
#pragma once

#include "texture/pixel_codec.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

namespace halv::texture::detail {

enum class CodecFamily {
    kNone,
    // Channels at fixed bit positions in a 1- to 8-byte word: colour, luminance, alpha,
    // signed, integer depth and the two private 16-bit layouts.
    kBitfield,
    // 16- and 32-bit floating-point channels, and D32F_LOCKABLE.
    kFloat,
    // P8 and A8P8.
    kPalette,
    // DXT1-DXT5.
    kBlock,
    // UYVY, YUY2, R8G8_B8G8, G8R8_G8B8.
    kPair,
};

struct CodecFormat {
    D3DFORMAT format;
    CodecFamily family;
    // Bits per pixel (16 for the pair formats, 4 or 8 for DXTn).
    std::uint8_t bits;
    ValueKind kind;
};

// A filter word Blit accepts: kind 1 to 5 in the low 16 bits, no bit at or above 0x800000.
constexpr bool filterWordValid(DWORD filter) {
    const DWORD kind = filter & 0xFFFF;
    return kind >= 1 && kind <= 5 && (filter & 0xFF800000) == 0;
}

// Bytes of one row of `width` pixels (of width / 4 blocks, or of pixel pairs), 0 for a format
// without a codec.
std::size_t rowBytesOf(D3DFORMAT format, UINT width) noexcept;

// The codec table row for a format, or null.
const CodecFormat* findCodecFormat(D3DFORMAT format) noexcept;

// Each maker builds its family's codec for the view (whose format belongs to the family), or
// returns null when memory runs out.
std::unique_ptr<PixelCodec> makeBitfieldCodec(const PixelView& view, const CodecFormat& format);
std::unique_ptr<PixelCodec> makeFloatCodec(const PixelView& view, const CodecFormat& format);
std::unique_ptr<PixelCodec> makePaletteCodec(const PixelView& view, const CodecFormat& format);
std::unique_ptr<PixelCodec> makeBlockCodec(const PixelView& view, const CodecFormat& format);
std::unique_ptr<PixelCodec> makePairCodec(const PixelView& view, const CodecFormat& format);

// Little-endian words of 1 to 8 bytes.
inline std::uint64_t loadWord(const BYTE* p, unsigned bytes) noexcept {
    std::uint64_t value = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, p, bytes);
    } else {
        for (unsigned i = 0; i < bytes; ++i) {
            value |= std::uint64_t{p[i]} << (8 * i);
        }
    }
    return value;
}

inline void storeWord(BYTE* p, std::uint64_t value, unsigned bytes) noexcept {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(p, &value, bytes);
    } else {
        for (unsigned i = 0; i < bytes; ++i) {
            p[i] = static_cast<BYTE>(value >> (8 * i));
        }
    }
}

inline std::uint32_t load32(const BYTE* p) noexcept {
    return static_cast<std::uint32_t>(loadWord(p, 4));
}

inline void store32(BYTE* p, std::uint32_t value) noexcept {
    storeWord(p, value, 4);
}

// 8-bit channel to float, as every 8-bit codec reads it.
inline constexpr float kUnit8 = 1.0f / 255.0f;

// Round-to-nearest quantisation to 0..255, NaN and negatives to 0. Written as max/min (in that
// operand order, which sends NaN to 0) so that it compiles without branches.
inline std::uint32_t toUnorm8(float value) noexcept {
    const float scaled = value * 255.0f + 0.5f;
    return static_cast<std::uint32_t>(std::min(std::max(0.0f, scaled), 255.0f));
}

} // namespace halv::texture::detail
