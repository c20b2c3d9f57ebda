// Codecs for formats whose channels sit at fixed bit positions in a little-endian word of one
// to eight bytes: colour, luminance, alpha, the signed (bump) formats, D16_LOCKABLE and the
// readers' private "AL16" and " R16" layouts.
#include "base/checked_math.h"
#include "texture/detail/pixel_codecs.h"
#include "texture/detail/pixel_rows.h"
#include "texture/image_decoder.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace halv::texture::detail {
namespace {

struct Field {
    std::uint8_t shift;
    std::uint8_t bits;
    bool isSigned;
};

constexpr Field kNone = {0, 0, false};

constexpr Field u(std::uint8_t shift, std::uint8_t bits) {
    return {shift, bits, false};
}

constexpr Field s(std::uint8_t shift, std::uint8_t bits) {
    return {shift, bits, true};
}

// Signed formats map U, V, W, Q to red, green, blue, alpha; their unsigned luminance (L6V5U5,
// X8L8V8U8) travels in alpha, the unsigned channel of their value kind. Depth reads into red,
// like the single-channel float formats.
struct Layout {
    D3DFORMAT format;
    std::uint8_t bytes;
    Field red;
    Field green;
    Field blue;
    Field alpha;
    // Red holds luminance: it reads into red, green and blue and is written from their
    // luminance.
    bool luminance;
    // CxV8U8: blue is not stored but computed as sqrt(1 - U^2 - V^2).
    bool computedBlue;
    // Unused (X) bits, written as ones.
    std::uint64_t fill;
};

constexpr Layout kLayouts[] = {
    {D3DFMT_R8G8B8, 3, u(16, 8), u(8, 8), u(0, 8), kNone, false, false, 0},
    {D3DFMT_A8R8G8B8, 4, u(16, 8), u(8, 8), u(0, 8), u(24, 8), false, false, 0},
    {D3DFMT_X8R8G8B8, 4, u(16, 8), u(8, 8), u(0, 8), kNone, false, false, 0xFF000000},
    {D3DFMT_R5G6B5, 2, u(11, 5), u(5, 6), u(0, 5), kNone, false, false, 0},
    {D3DFMT_X1R5G5B5, 2, u(10, 5), u(5, 5), u(0, 5), kNone, false, false, 0x8000},
    {D3DFMT_A1R5G5B5, 2, u(10, 5), u(5, 5), u(0, 5), u(15, 1), false, false, 0},
    {D3DFMT_A4R4G4B4, 2, u(8, 4), u(4, 4), u(0, 4), u(12, 4), false, false, 0},
    {D3DFMT_R3G3B2, 1, u(5, 3), u(2, 3), u(0, 2), kNone, false, false, 0},
    {D3DFMT_A8, 1, kNone, kNone, kNone, u(0, 8), false, false, 0},
    {D3DFMT_A8R3G3B2, 2, u(5, 3), u(2, 3), u(0, 2), u(8, 8), false, false, 0},
    {D3DFMT_X4R4G4B4, 2, u(8, 4), u(4, 4), u(0, 4), kNone, false, false, 0xF000},
    {D3DFMT_A2B10G10R10, 4, u(0, 10), u(10, 10), u(20, 10), u(30, 2), false, false, 0},
    {D3DFMT_A8B8G8R8, 4, u(0, 8), u(8, 8), u(16, 8), u(24, 8), false, false, 0},
    {D3DFMT_X8B8G8R8, 4, u(0, 8), u(8, 8), u(16, 8), kNone, false, false, 0xFF000000},
    {D3DFMT_G16R16, 4, u(0, 16), u(16, 16), kNone, kNone, false, false, 0},
    {D3DFMT_A2R10G10B10, 4, u(20, 10), u(10, 10), u(0, 10), u(30, 2), false, false, 0},
    {D3DFMT_A16B16G16R16, 8, u(0, 16), u(16, 16), u(32, 16), u(48, 16), false, false, 0},
    {D3DFMT_L8, 1, u(0, 8), kNone, kNone, kNone, true, false, 0},
    {D3DFMT_A8L8, 2, u(0, 8), kNone, kNone, u(8, 8), true, false, 0},
    {D3DFMT_A4L4, 1, u(0, 4), kNone, kNone, u(4, 4), true, false, 0},
    {D3DFMT_L16, 2, u(0, 16), kNone, kNone, kNone, true, false, 0},
    {kFormatAL16, 4, u(0, 16), kNone, kNone, u(16, 16), true, false, 0},
    {kFormatR16, 6, u(32, 16), u(16, 16), u(0, 16), kNone, false, false, 0},
    {D3DFMT_V8U8, 2, s(0, 8), s(8, 8), kNone, kNone, false, false, 0},
    {D3DFMT_L6V5U5, 2, s(0, 5), s(5, 5), kNone, u(10, 6), false, false, 0},
    {D3DFMT_X8L8V8U8, 4, s(0, 8), s(8, 8), kNone, u(16, 8), false, false, 0xFF000000},
    {D3DFMT_Q8W8V8U8, 4, s(0, 8), s(8, 8), s(16, 8), s(24, 8), false, false, 0},
    {D3DFMT_V16U16, 4, s(0, 16), s(16, 16), kNone, kNone, false, false, 0},
    {D3DFMT_A2W10V10U10, 4, s(0, 10), s(10, 10), s(20, 10), u(30, 2), false, false, 0},
    {D3DFMT_Q16W16V16U16, 8, s(0, 16), s(16, 16), s(32, 16), s(48, 16), false, false, 0},
    {D3DFMT_CxV8U8, 2, s(0, 8), s(8, 8), kNone, kNone, false, true, 0},
    {D3DFMT_D16_LOCKABLE, 2, u(0, 16), kNone, kNone, kNone, false, false, 0},
};

const Layout* findLayout(D3DFORMAT format) {
    const auto* found = std::find_if(std::begin(kLayouts), std::end(kLayouts),
                                     [format](const Layout& row) { return row.format == format; });
    return found == std::end(kLayouts) ? nullptr : found;
}

// Weights that turn linear red, green and blue into luminance (they sum to 1, so grey stays
// grey).
constexpr float kLumaRed = 0.2125f;
constexpr float kLumaGreen = 0.7154f;
constexpr float kLumaBlue = 0.0721f;

class BitfieldCodec final : public PixelCodec {
public:
    BitfieldCodec(const PixelView& view, const CodecFormat& format, const Layout& layout)
        : PixelCodec(view, format.kind, format.bits, false)
        , mLayout(layout) {
        const Field* fields[4] = {&layout.red, &layout.green, &layout.blue, &layout.alpha};
        for (int c = 0; c < 4; ++c) {
            const Field& field = *fields[c];
            mFields[c] = field;
            mChannels.bits[c] = field.bits;
            mChannels.isSigned[c] = field.isSigned;
            mMask[c] = field.bits == 0 ? 0 : (std::uint64_t{1} << field.bits) - 1;
            const double top = field.bits == 0 ? 1.0
                               : field.isSigned
                                   ? static_cast<double>((std::uint64_t{1} << (field.bits - 1)) - 1)
                                   : static_cast<double>(mMask[c]);
            mTop[c] = static_cast<float>(top);
            mInverse[c] = static_cast<float>(1.0 / top);
        }
        // Byte positions for the 8-bit-per-channel layouts, which get the fast paths.
        mBytewise = (layout.bytes == 3 || layout.bytes == 4) && !layout.luminance &&
                    layout.red.bits == 8 && layout.green.bits == 8 && layout.blue.bits == 8 &&
                    !layout.red.isSigned && (layout.alpha.bits == 0 || layout.alpha.bits == 8);
        if (mBytewise) {
            mRedByte = layout.red.shift / 8u;
            mGreenByte = layout.green.shift / 8u;
            mBlueByte = layout.blue.shift / 8u;
            mAlphaByte = layout.alpha.bits == 8 ? layout.alpha.shift / 8u : 0;
        }
    }

protected:
    bool allocate() noexcept override {
        if (!PixelCodec::allocate()) {
            return false;
        }
        std::size_t count = 0;
        if (!base::checkedMul<std::size_t>(mWidth, 4, &count)) {
            return false;
        }
        mQuantized = base::allocArray<std::int32_t>(count);
        mLuminance = base::allocArray<Rgba>(mLayout.luminance ? mWidth : 0);
        return mQuantized != nullptr && (!mLayout.luminance || mLuminance != nullptr);
    }

    void decodeRow(UINT y, UINT z, Rgba* out) noexcept override {
        const BYTE* row = rowAddress(y, z);
        const unsigned bytes = mLayout.bytes;
        if (mBytewise && bytes == 4) {
            rows8888().decode(row, out, mWidth, mRedByte == 2, mLayout.alpha.bits != 0);
            return;
        }
        if (mBytewise) {
            const bool hasAlpha = mLayout.alpha.bits != 0;
            for (UINT x = 0; x < mWidth; ++x) {
                const BYTE* p = row + static_cast<std::size_t>(x) * bytes;
                out[x] = Rgba{p[mRedByte] * kUnit8, p[mGreenByte] * kUnit8, p[mBlueByte] * kUnit8,
                              hasAlpha ? p[mAlphaByte] * kUnit8 : 1.0f};
            }
            return;
        }
        for (UINT x = 0; x < mWidth; ++x) {
            out[x] = unpack(loadWord(row + static_cast<std::size_t>(x) * bytes, bytes));
        }
    }

    void encodeRow(UINT y, UINT z, const Rgba* in) noexcept override {
        BYTE* row = rowAddress(y, z);
        const unsigned bytes = mLayout.bytes;
        if (mBytewise && plainRounding() && bytes == 4) {
            rows8888().encode(in, row, mWidth, mRedByte == 2, mLayout.alpha.bits != 0);
            return;
        }
        if (mBytewise && plainRounding()) {
            const bool hasAlpha = mLayout.alpha.bits != 0;
            for (UINT x = 0; x < mWidth; ++x) {
                BYTE* p = row + static_cast<std::size_t>(x) * bytes;
                p[mRedByte] = static_cast<BYTE>(toUnorm8(in[x].r));
                p[mGreenByte] = static_cast<BYTE>(toUnorm8(in[x].g));
                p[mBlueByte] = static_cast<BYTE>(toUnorm8(in[x].b));
                // Alpha, or the unused byte, is the top byte of every 32-bit layout here.
                if (bytes == 4) {
                    p[3] = hasAlpha ? static_cast<BYTE>(toUnorm8(in[x].a)) : BYTE{0xFF};
                }
            }
            return;
        }
        const Rgba* values = in;
        if (mLayout.luminance) {
            for (UINT x = 0; x < mWidth; ++x) {
                mLuminance[x] = Rgba{luminanceOf(in[x]), 0.0f, 0.0f, in[x].a};
            }
            values = mLuminance.get();
        }
        quantizeRow(values, y, z, mChannels, mQuantized.get());
        for (UINT x = 0; x < mWidth; ++x) {
            storeWord(row + static_cast<std::size_t>(x) * bytes, pack(&mQuantized[x * 4]), bytes);
        }
    }

    Rgba throughFormat(const Rgba& value) noexcept override {
        Rgba source = value;
        if (mLayout.luminance) {
            source.r = luminanceOf(value);
        }
        std::int32_t quantized[4];
        const float values[4] = {source.r, source.g, source.b, source.a};
        for (int c = 0; c < 4; ++c) {
            quantized[c] = 0;
            if (mFields[c].bits == 0) {
                continue;
            }
            const float top = mTop[c];
            const float scaled = std::floor(values[c] * top + 0.5f);
            const float low = mFields[c].isSigned ? -top : 0.0f;
            quantized[c] =
                static_cast<std::int32_t>(std::isnan(scaled) ? low : std::clamp(scaled, low, top));
        }
        return unpack(pack(quantized));
    }

private:
    static float luminanceOf(const Rgba& pixel) {
        return pixel.r * kLumaRed + pixel.g * kLumaGreen + pixel.b * kLumaBlue;
    }

    float channel(std::uint64_t word, int c) const {
        const std::uint64_t raw = (word >> mFields[c].shift) & mMask[c];
        if (!mFields[c].isSigned) {
            return static_cast<float>(raw) * mInverse[c];
        }
        // Two's complement; the most negative code reads as -1 like its neighbour.
        const std::int64_t value =
            (raw & (std::uint64_t{1} << (mFields[c].bits - 1))) != 0
                ? static_cast<std::int64_t>(raw) - static_cast<std::int64_t>(mMask[c]) - 1
                : static_cast<std::int64_t>(raw);
        return std::max(static_cast<float>(value) * mInverse[c], -1.0f);
    }

    Rgba unpack(std::uint64_t word) const {
        Rgba pixel = {0.0f, 0.0f, 0.0f, 1.0f};
        if (mFields[0].bits != 0) {
            pixel.r = channel(word, 0);
        }
        if (mFields[1].bits != 0) {
            pixel.g = channel(word, 1);
        }
        if (mFields[2].bits != 0) {
            pixel.b = channel(word, 2);
        }
        if (mFields[3].bits != 0) {
            pixel.a = channel(word, 3);
        }
        if (mLayout.luminance) {
            pixel.g = pixel.r;
            pixel.b = pixel.r;
        }
        if (mLayout.computedBlue) {
            pixel.b = std::sqrt(std::max(0.0f, 1.0f - pixel.r * pixel.r - pixel.g * pixel.g));
        }
        return pixel;
    }

    std::uint64_t pack(const std::int32_t* quantized) const {
        std::uint64_t word = mLayout.fill;
        for (int c = 0; c < 4; ++c) {
            if (mFields[c].bits != 0) {
                word |=
                    (static_cast<std::uint64_t>(static_cast<std::int64_t>(quantized[c])) & mMask[c])
                    << mFields[c].shift;
            }
        }
        return word;
    }

    const Layout& mLayout;
    Field mFields[4];
    ChannelBits mChannels{};
    std::uint64_t mMask[4];
    // The largest code of each channel, and its inverse (the scale of one step).
    float mTop[4];
    float mInverse[4];
    bool mBytewise = false;
    unsigned mRedByte = 0;
    unsigned mGreenByte = 0;
    unsigned mBlueByte = 0;
    unsigned mAlphaByte = 0;
    std::unique_ptr<std::int32_t[]> mQuantized;
    std::unique_ptr<Rgba[]> mLuminance;
};

} // namespace

std::unique_ptr<PixelCodec> makeBitfieldCodec(const PixelView& view, const CodecFormat& format) {
    const Layout* layout = findLayout(format.format);
    if (layout == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<PixelCodec>(new (std::nothrow) BitfieldCodec(view, format, *layout));
}

} // namespace halv::texture::detail
