#include "texture/pixel_codec.h"

#include "base/checked_math.h"
#include "texture/detail/pixel_codecs.h"
#include "texture/image_decoder.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace halv::texture {
namespace detail {
namespace {

constexpr ValueKind kU = ValueKind::kUnsigned;
constexpr ValueKind kS2 = ValueKind::kSignedColor;
constexpr ValueKind kS3 = ValueKind::kSigned;
constexpr ValueKind kF = ValueKind::kFloat;

constexpr CodecFormat kCodecFormats[] = {
    {D3DFMT_R8G8B8, CodecFamily::kBitfield, 24, kU},
    {D3DFMT_A8R8G8B8, CodecFamily::kBitfield, 32, kU},
    {D3DFMT_X8R8G8B8, CodecFamily::kBitfield, 32, kU},
    {D3DFMT_R5G6B5, CodecFamily::kBitfield, 16, kU},
    {D3DFMT_X1R5G5B5, CodecFamily::kBitfield, 16, kU},
    {D3DFMT_A1R5G5B5, CodecFamily::kBitfield, 16, kU},
    {D3DFMT_A4R4G4B4, CodecFamily::kBitfield, 16, kU},
    {D3DFMT_R3G3B2, CodecFamily::kBitfield, 8, kU},
    {D3DFMT_A8, CodecFamily::kBitfield, 8, kU},
    {D3DFMT_A8R3G3B2, CodecFamily::kBitfield, 16, kU},
    {D3DFMT_X4R4G4B4, CodecFamily::kBitfield, 16, kU},
    {D3DFMT_A2B10G10R10, CodecFamily::kBitfield, 32, kU},
    {D3DFMT_A8B8G8R8, CodecFamily::kBitfield, 32, kU},
    {D3DFMT_X8B8G8R8, CodecFamily::kBitfield, 32, kU},
    {D3DFMT_G16R16, CodecFamily::kBitfield, 32, kU},
    {D3DFMT_A2R10G10B10, CodecFamily::kBitfield, 32, kU},
    {D3DFMT_A16B16G16R16, CodecFamily::kBitfield, 64, kU},
    {D3DFMT_A8P8, CodecFamily::kPalette, 16, kU},
    {D3DFMT_P8, CodecFamily::kPalette, 8, kU},
    {D3DFMT_L8, CodecFamily::kBitfield, 8, kU},
    {D3DFMT_A8L8, CodecFamily::kBitfield, 16, kU},
    {D3DFMT_A4L4, CodecFamily::kBitfield, 8, kU},
    {D3DFMT_L16, CodecFamily::kBitfield, 16, kU},
    {D3DFMT_V8U8, CodecFamily::kBitfield, 16, kS2},
    {D3DFMT_L6V5U5, CodecFamily::kBitfield, 16, kS2},
    {D3DFMT_X8L8V8U8, CodecFamily::kBitfield, 32, kS2},
    {D3DFMT_Q8W8V8U8, CodecFamily::kBitfield, 32, kS3},
    {D3DFMT_V16U16, CodecFamily::kBitfield, 32, kS2},
    {D3DFMT_A2W10V10U10, CodecFamily::kBitfield, 32, kS2},
    {D3DFMT_Q16W16V16U16, CodecFamily::kBitfield, 64, kS3},
    {D3DFMT_CxV8U8, CodecFamily::kBitfield, 16, kS2},
    {D3DFMT_D16_LOCKABLE, CodecFamily::kBitfield, 16, kU},
    {kFormatAL16, CodecFamily::kBitfield, 32, kU},
    {kFormatR16, CodecFamily::kBitfield, 48, kU},
    {D3DFMT_R16F, CodecFamily::kFloat, 16, kF},
    {D3DFMT_G16R16F, CodecFamily::kFloat, 32, kF},
    {D3DFMT_A16B16G16R16F, CodecFamily::kFloat, 64, kF},
    {D3DFMT_R32F, CodecFamily::kFloat, 32, kF},
    {D3DFMT_G32R32F, CodecFamily::kFloat, 64, kF},
    {D3DFMT_A32B32G32R32F, CodecFamily::kFloat, 128, kF},
    {D3DFMT_D32F_LOCKABLE, CodecFamily::kFloat, 32, kF},
    {D3DFMT_DXT1, CodecFamily::kBlock, 4, kU},
    {D3DFMT_DXT2, CodecFamily::kBlock, 8, kU},
    {D3DFMT_DXT3, CodecFamily::kBlock, 8, kU},
    {D3DFMT_DXT4, CodecFamily::kBlock, 8, kU},
    {D3DFMT_DXT5, CodecFamily::kBlock, 8, kU},
    {D3DFMT_UYVY, CodecFamily::kPair, 16, kU},
    {D3DFMT_YUY2, CodecFamily::kPair, 16, kU},
    {D3DFMT_R8G8_B8G8, CodecFamily::kPair, 16, kU},
    {D3DFMT_G8R8_G8B8, CodecFamily::kPair, 16, kU},
};

} // namespace

const CodecFormat* findCodecFormat(D3DFORMAT format) noexcept {
    const auto* found =
        std::find_if(std::begin(kCodecFormats), std::end(kCodecFormats),
                     [format](const CodecFormat& row) { return row.format == format; });
    return found == std::end(kCodecFormats) ? nullptr : found;
}

std::size_t rowBytesOf(D3DFORMAT format, UINT width) noexcept {
    const UINT unit = formatUnitBytes(format);
    if (isBlockCompressed(format)) {
        return std::size_t{(width + 3) / 4} * unit;
    }
    if (isPackedPair(format)) {
        return std::size_t{(width + 1) / 2} * unit;
    }
    return std::size_t{width} * unit;
}

} // namespace detail

namespace {

// The 4x4 Bayer matrix the ordered dither offsets come from.
constexpr int kBayer[4][4] = {{15, 7, 13, 5}, {3, 11, 1, 9}, {12, 4, 14, 6}, {0, 8, 2, 10}};

float srgbToLinear(float value) {
    if (value <= 0.04045f) {
        return value / 12.92f;
    }
    return std::pow((value + 0.055f) / 1.055f, 2.4f);
}

float linearToSrgb(float value) {
    if (value <= 0.0031308f) {
        return value * 12.92f;
    }
    return 1.055f * std::pow(value, 1.0f / 2.4f) - 0.055f;
}

bool signedColour(ValueKind kind) {
    return kind == ValueKind::kSignedColor || kind == ValueKind::kSigned;
}

} // namespace

bool isBlockCompressed(D3DFORMAT format) noexcept {
    const detail::CodecFormat* row = detail::findCodecFormat(format);
    return row != nullptr && row->family == detail::CodecFamily::kBlock;
}

bool isPackedPair(D3DFORMAT format) noexcept {
    const detail::CodecFormat* row = detail::findCodecFormat(format);
    return row != nullptr && row->family == detail::CodecFamily::kPair;
}

UINT formatUnitBytes(D3DFORMAT format) noexcept {
    const detail::CodecFormat* row = detail::findCodecFormat(format);
    if (row == nullptr) {
        return 0;
    }
    switch (row->family) {
    case detail::CodecFamily::kBlock:
        return format == D3DFMT_DXT1 ? 8 : 16;
    case detail::CodecFamily::kPair:
        return 4;
    default:
        return row->bits / 8u;
    }
}

PixelCodec::PixelCodec(const PixelView& view, ValueKind kind, UINT bitsPerPixel, bool palettised)
    : mView(view)
    , mFormat(view.format)
    , mWidth(view.right - view.left)
    , mHeight(view.bottom - view.top)
    , mDepth(view.back - view.front)
    , mBytesPerPixel(isBlockCompressed(view.format) ? 0 : bitsPerPixel / 8)
    , mKind(kind)
    , mPalettised(palettised) {
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 8; ++column) {
            mRounding[row][column] =
                view.dither ? static_cast<float>(2 * kBayer[row][column & 3] + 1) / 32.0f : 0.5f;
        }
    }
}

PixelCodec::~PixelCodec() = default;

bool PixelCodec::allocate() noexcept {
    mScratch = base::allocArray<Rgba>(mWidth);
    if (!mScratch) {
        return false;
    }
    if (mView.diffusion) {
        std::size_t count = 0;
        if (!base::checkedMul<std::size_t>(std::size_t{mWidth} + 2, 8, &count)) {
            return false;
        }
        mDiffusion = base::allocArray<float>(count);
        if (!mDiffusion) {
            return false;
        }
    }
    return true;
}

void PixelCodec::ReadRow(UINT y, UINT z, Rgba* out) noexcept {
    decodeRow(y, z, out);
    if (mHasKey) {
        for (UINT x = 0; x < mWidth; ++x) {
            Rgba& pixel = out[x];
            if (pixel.r == mKey.r && pixel.g == mKey.g && pixel.b == mKey.b && pixel.a == mKey.a) {
                pixel = Rgba{0.0f, 0.0f, 0.0f, 0.0f};
            }
        }
    }
    if (mSrgbRead) {
        for (UINT x = 0; x < mWidth; ++x) {
            out[x].r = srgbToLinear(out[x].r);
            out[x].g = srgbToLinear(out[x].g);
            out[x].b = srgbToLinear(out[x].b);
        }
    }
}

void PixelCodec::WriteRow(UINT y, UINT z, const Rgba* in) noexcept {
    if (mConversion == Conversion::kNone && !mSrgbWrite) {
        encodeRow(y, z, in);
        return;
    }
    Rgba* values = mScratch.get();
    for (UINT x = 0; x < mWidth; ++x) {
        Rgba pixel = in[x];
        switch (mConversion) {
        case Conversion::kNone:
            break;
        case Conversion::kSignedToUnsigned:
            pixel.r = (pixel.r + 1.0f) * 0.5f;
            pixel.g = (pixel.g + 1.0f) * 0.5f;
            pixel.b = (pixel.b + 1.0f) * 0.5f;
            if (mConvertAlpha) {
                pixel.a = (pixel.a + 1.0f) * 0.5f;
            }
            break;
        case Conversion::kUnsignedToSigned:
            pixel.r = pixel.r * 2.0f - 1.0f;
            pixel.g = pixel.g * 2.0f - 1.0f;
            pixel.b = pixel.b * 2.0f - 1.0f;
            if (mConvertAlpha) {
                pixel.a = pixel.a * 2.0f - 1.0f;
            }
            break;
        case Conversion::kClampUnit:
            pixel.r = std::clamp(pixel.r, 0.0f, 1.0f);
            pixel.g = std::clamp(pixel.g, 0.0f, 1.0f);
            pixel.b = std::clamp(pixel.b, 0.0f, 1.0f);
            pixel.a = std::clamp(pixel.a, 0.0f, 1.0f);
            break;
        case Conversion::kClampSigned:
            pixel.r = std::clamp(pixel.r, -1.0f, 1.0f);
            pixel.g = std::clamp(pixel.g, -1.0f, 1.0f);
            pixel.b = std::clamp(pixel.b, -1.0f, 1.0f);
            pixel.a = std::clamp(pixel.a, -1.0f, 1.0f);
            break;
        }
        if (mSrgbWrite) {
            pixel.r = linearToSrgb(pixel.r);
            pixel.g = linearToSrgb(pixel.g);
            pixel.b = linearToSrgb(pixel.b);
        }
        values[x] = pixel;
    }
    encodeRow(y, z, values);
}

void PixelCodec::PrepareColorKey() noexcept {
    const D3DCOLOR key = mView.colorKey;
    mHasKey = key != 0;
    if (!mHasKey) {
        return;
    }
    const Rgba floats = {static_cast<float>((key >> 16) & 0xFF) * detail::kUnit8,
                         static_cast<float>((key >> 8) & 0xFF) * detail::kUnit8,
                         static_cast<float>(key & 0xFF) * detail::kUnit8,
                         static_cast<float>(key >> 24) * detail::kUnit8};
    mKey = throughFormat(floats);
}

void PixelCodec::prepareWrite(ValueKind sourceKind, bool encodeSrgb) noexcept {
    mSrgbWrite = encodeSrgb;
    mConversion = Conversion::kNone;
    mConvertAlpha = false;
    if (sourceKind == mKind || mKind == ValueKind::kFloat) {
        return;
    }
    if (sourceKind == ValueKind::kFloat) {
        mConversion =
            mKind == ValueKind::kUnsigned ? Conversion::kClampUnit : Conversion::kClampSigned;
        return;
    }
    if (signedColour(sourceKind) != signedColour(mKind)) {
        mConversion = signedColour(sourceKind) ? Conversion::kSignedToUnsigned
                                               : Conversion::kUnsignedToSigned;
        // The unsigned alpha (or luminance) of a signed-colour format is never converted.
        mConvertAlpha = sourceKind != ValueKind::kSignedColor && mKind != ValueKind::kSignedColor;
    }
}

void PixelCodec::quantizeRow(const Rgba* in, UINT y, UINT z, const ChannelBits& channels,
                             std::int32_t* out) noexcept {
    float scale[4];
    float low[4];
    float high[4];
    for (int c = 0; c < 4; ++c) {
        const unsigned bits = channels.bits[c];
        const double top = bits == 0 ? 0.0
                           : channels.isSigned[c]
                               ? static_cast<double>((std::uint64_t{1} << (bits - 1)) - 1)
                               : static_cast<double>((std::uint64_t{1} << bits) - 1);
        scale[c] = static_cast<float>(top);
        high[c] = static_cast<float>(top);
        low[c] = channels.isSigned[c] ? -static_cast<float>(top) : 0.0f;
    }
    // Rounds f (already scaled and offset) down to an integer inside [low, high].
    auto quantise = [&](float f, int c) -> std::int32_t {
        if (!(f > low[c])) {
            return static_cast<std::int32_t>(low[c]);
        }
        if (f >= high[c]) {
            return static_cast<std::int32_t>(high[c]);
        }
        return static_cast<std::int32_t>(std::floor(f));
    };
    const float* rounding = mRounding[y & 3];

    if (!mView.diffusion) {
        for (UINT x = 0; x < mWidth; ++x) {
            const float t = rounding[(x + z) & 3];
            const float values[4] = {in[x].r, in[x].g, in[x].b, in[x].a};
            for (int c = 0; c < 4; ++c) {
                out[x * 4 + c] = channels.bits[c] == 0 ? 0 : quantise(values[c] * scale[c] + t, c);
            }
        }
        return;
    }

    // Error diffusion: rows in sequence carry their errors on; any other row starts afresh.
    const std::size_t stride = (std::size_t{mWidth} + 2) * 4;
    float* current = mDiffusion.get();
    float* next = current + stride;
    const bool continues = z == mLastDiffusedSlice && y == mLastDiffusedRow + 1;
    if (continues) {
        std::swap_ranges(current, current + stride, next);
        std::fill(next, next + stride, 0.0f);
    } else {
        std::fill(current, current + 2 * stride, 0.0f);
    }
    mLastDiffusedRow = y;
    mLastDiffusedSlice = z;

    // Even rows run left to right, odd rows right to left.
    const bool forward = (y & 1) == 0;
    const long step = forward ? 1 : -1;
    for (UINT i = 0; i < mWidth; ++i) {
        const UINT x = forward ? i : mWidth - 1 - i;
        const float t = rounding[(x + z) & 3];
        const float values[4] = {in[x].r, in[x].g, in[x].b, in[x].a};
        // Guard pixels sit at index 0 and width + 1.
        const std::size_t here = (static_cast<std::size_t>(x) + 1) * 4;
        const std::size_t ahead = static_cast<std::size_t>(static_cast<long>(here) + step * 4);
        const std::size_t behind = static_cast<std::size_t>(static_cast<long>(here) - step * 4);
        for (int c = 0; c < 4; ++c) {
            if (channels.bits[c] == 0) {
                out[x * 4 + c] = 0;
                continue;
            }
            const float value = values[c] + current[here + c];
            const std::int32_t q = quantise(value * scale[c] + t, c);
            out[x * 4 + c] = q;
            float error = value - static_cast<float>(q) / scale[c];
            if (!std::isfinite(error)) {
                error = 0.0f;
            }
            current[ahead + c] += error * (7.0f / 16.0f);
            next[behind + c] += error * (3.0f / 16.0f);
            next[here + c] += error * (5.0f / 16.0f);
            next[ahead + c] += error * (1.0f / 16.0f);
        }
    }
}

HRESULT createPixelCodec(const PixelView& view, std::unique_ptr<PixelCodec>* codec) noexcept {
    if (codec == nullptr || view.pixels == nullptr || view.right <= view.left ||
        view.bottom <= view.top || view.back <= view.front) {
        return D3DERR_INVALIDCALL;
    }
    const detail::CodecFormat* format = detail::findCodecFormat(view.format);
    if (format == nullptr) {
        return E_FAIL;
    }
    std::unique_ptr<PixelCodec> made;
    switch (format->family) {
    case detail::CodecFamily::kBitfield:
        made = detail::makeBitfieldCodec(view, *format);
        break;
    case detail::CodecFamily::kFloat:
        made = detail::makeFloatCodec(view, *format);
        break;
    case detail::CodecFamily::kPalette:
        made = detail::makePaletteCodec(view, *format);
        break;
    case detail::CodecFamily::kBlock:
        made = detail::makeBlockCodec(view, *format);
        break;
    case detail::CodecFamily::kPair:
        made = detail::makePairCodec(view, *format);
        break;
    case detail::CodecFamily::kNone:
        return E_FAIL;
    }
    if (!made || !made->allocate()) {
        return E_OUTOFMEMORY;
    }
    made->PrepareColorKey();
    made->setReadSrgb(view.srgb);
    made->prepareWrite(made->valueKind(), view.srgb);
    *codec = std::move(made);
    return S_OK;
}

} // namespace halv::texture
