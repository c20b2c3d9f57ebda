// Codecs for the floating-point formats (16-bit through the half-float routines, 32-bit as
// stored) and the palettised formats P8 and A8P8.
#include "base/checked_math.h"
#include "math/half_float.h"
#include "texture/detail/pixel_codecs.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace halv::texture::detail {
namespace {

class FloatCodec final : public PixelCodec {
public:
    FloatCodec(const PixelView& view, const CodecFormat& format)
        : PixelCodec(view, format.kind, format.bits, false) {
        switch (format.format) {
        case D3DFMT_R16F:
            mChannels = 1;
            mHalf = true;
            break;
        case D3DFMT_G16R16F:
            mChannels = 2;
            mHalf = true;
            break;
        case D3DFMT_A16B16G16R16F:
            mChannels = 4;
            mHalf = true;
            break;
        case D3DFMT_G32R32F:
            mChannels = 2;
            break;
        case D3DFMT_A32B32G32R32F:
            mChannels = 4;
            break;
        default:
            // R32F and D32F_LOCKABLE.
            mChannels = 1;
            break;
        }
    }

protected:
    bool allocate() noexcept override {
        std::size_t count = 0;
        if (!PixelCodec::allocate() || !base::checkedMul<std::size_t>(mWidth, mChannels, &count)) {
            return false;
        }
        mFloats = base::allocArray<float>(count);
        mHalves = base::allocArray<D3DXFLOAT16>(mHalf ? count : 0);
        return mFloats != nullptr && (!mHalf || mHalves != nullptr);
    }

    void decodeRow(UINT y, UINT z, Rgba* out) noexcept override {
        const BYTE* row = rowAddress(y, z);
        const UINT count = mWidth * mChannels;
        if (mHalf) {
            std::memcpy(mHalves.get(), row, std::size_t{count} * sizeof(D3DXFLOAT16));
            D3DXFloat16To32Array(mFloats.get(), mHalves.get(), count);
        } else {
            std::memcpy(mFloats.get(), row, std::size_t{count} * sizeof(float));
        }
        const float* values = mFloats.get();
        for (UINT x = 0; x < mWidth; ++x) {
            const float* p = values + static_cast<std::size_t>(x) * mChannels;
            out[x] = Rgba{p[0], mChannels > 1 ? p[1] : 0.0f, mChannels > 2 ? p[2] : 0.0f,
                          mChannels > 3 ? p[3] : 1.0f};
        }
    }

    void encodeRow(UINT y, UINT z, const Rgba* in) noexcept override {
        BYTE* row = rowAddress(y, z);
        float* values = mFloats.get();
        for (UINT x = 0; x < mWidth; ++x) {
            const float pixel[4] = {in[x].r, in[x].g, in[x].b, in[x].a};
            std::memcpy(values + static_cast<std::size_t>(x) * mChannels, pixel,
                        mChannels * sizeof(float));
        }
        const UINT count = mWidth * mChannels;
        if (mHalf) {
            D3DXFloat32To16Array(mHalves.get(), values, count);
            std::memcpy(row, mHalves.get(), std::size_t{count} * sizeof(D3DXFLOAT16));
        } else {
            std::memcpy(row, values, std::size_t{count} * sizeof(float));
        }
    }

    Rgba throughFormat(const Rgba& value) noexcept override {
        const float in[4] = {value.r, value.g, value.b, value.a};
        float out[4] = {0.0f, 0.0f, 0.0f, 1.0f};
        for (unsigned c = 0; c < mChannels; ++c) {
            out[c] = mHalf ? math::floatFromHalf(math::halfFromFloat(in[c])) : in[c];
        }
        return Rgba{out[0], out[1], out[2], out[3]};
    }

private:
    unsigned mChannels = 1;
    bool mHalf = false;
    std::unique_ptr<float[]> mFloats;
    std::unique_ptr<D3DXFLOAT16[]> mHalves;
};

// P8 (one index byte) and A8P8 (index in the low byte, alpha in the high byte). Colours come
// from the view's palette; without one every entry reads as opaque white. Writing picks the
// nearest palette entry (red, green, blue and, for P8, alpha).
class PaletteCodec final : public PixelCodec {
public:
    PaletteCodec(const PixelView& view, const CodecFormat& format)
        : PixelCodec(view, format.kind, format.bits, true)
        , mWithAlpha(format.format == D3DFMT_A8P8) {}

protected:
    bool allocate() noexcept override {
        std::size_t count = 0;
        if (!PixelCodec::allocate() || !base::checkedMul<std::size_t>(mWidth, 4, &count)) {
            return false;
        }
        mQuantized = base::allocArray<std::int32_t>(count);
        return mQuantized != nullptr;
    }

    void decodeRow(UINT y, UINT z, Rgba* out) noexcept override {
        const BYTE* row = rowAddress(y, z);
        for (UINT x = 0; x < mWidth; ++x) {
            const BYTE index = mWithAlpha ? row[x * 2] : row[x];
            Rgba pixel = entryColour(index);
            if (mWithAlpha) {
                pixel.a = row[x * 2 + 1] * kUnit8;
            }
            out[x] = pixel;
        }
    }

    void encodeRow(UINT y, UINT z, const Rgba* in) noexcept override {
        BYTE* row = rowAddress(y, z);
        const ChannelBits channels = {{8, 8, 8, 8}, {false, false, false, false}};
        quantizeRow(in, y, z, channels, mQuantized.get());
        for (UINT x = 0; x < mWidth; ++x) {
            const std::int32_t* q = &mQuantized[x * 4];
            const BYTE index = nearestEntry(q);
            if (mWithAlpha) {
                row[x * 2] = index;
                row[x * 2 + 1] = static_cast<BYTE>(q[3]);
            } else {
                row[x] = index;
            }
        }
    }

    Rgba throughFormat(const Rgba& value) noexcept override {
        const std::int32_t q[4] = {
            static_cast<std::int32_t>(toUnorm8(value.r)),
            static_cast<std::int32_t>(toUnorm8(value.g)),
            static_cast<std::int32_t>(toUnorm8(value.b)),
            static_cast<std::int32_t>(toUnorm8(value.a)),
        };
        Rgba pixel = entryColour(nearestEntry(q));
        if (mWithAlpha) {
            pixel.a = static_cast<float>(q[3]) * kUnit8;
        }
        return pixel;
    }

private:
    Rgba entryColour(BYTE index) const {
        const PALETTEENTRY* palette = mView.palette;
        if (palette == nullptr) {
            return Rgba{1.0f, 1.0f, 1.0f, 1.0f};
        }
        const PALETTEENTRY& entry = palette[index];
        return Rgba{entry.peRed * kUnit8, entry.peGreen * kUnit8, entry.peBlue * kUnit8,
                    entry.peFlags * kUnit8};
    }

    BYTE nearestEntry(const std::int32_t* q) {
        const PALETTEENTRY* palette = mView.palette;
        if (palette == nullptr) {
            return 0;
        }
        if (mHaveLast && std::equal(q, q + 4, mLastColour)) {
            return mLastIndex;
        }
        long best = -1;
        BYTE bestIndex = 0;
        for (int i = 0; i < 256; ++i) {
            const PALETTEENTRY& entry = palette[i];
            const long dr = q[0] - entry.peRed;
            const long dg = q[1] - entry.peGreen;
            const long db = q[2] - entry.peBlue;
            const long da = mWithAlpha ? 0 : q[3] - entry.peFlags;
            const long distance = dr * dr + dg * dg + db * db + da * da;
            if (best < 0 || distance < best) {
                best = distance;
                bestIndex = static_cast<BYTE>(i);
            }
        }
        std::copy(q, q + 4, mLastColour);
        mLastIndex = bestIndex;
        mHaveLast = true;
        return bestIndex;
    }

    bool mWithAlpha;
    std::unique_ptr<std::int32_t[]> mQuantized;
    bool mHaveLast = false;
    std::int32_t mLastColour[4] = {};
    BYTE mLastIndex = 0;
};

} // namespace

std::unique_ptr<PixelCodec> makeFloatCodec(const PixelView& view, const CodecFormat& format) {
    return std::unique_ptr<PixelCodec>(new (std::nothrow) FloatCodec(view, format));
}

std::unique_ptr<PixelCodec> makePaletteCodec(const PixelView& view, const CodecFormat& format) {
    return std::unique_ptr<PixelCodec>(new (std::nothrow) PaletteCodec(view, format));
}

} // namespace halv::texture::detail
