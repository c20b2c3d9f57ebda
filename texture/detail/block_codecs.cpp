// Codecs for the formats that store pixels in groups: the DXT1-DXT5 4x4 blocks and the packed
// pair formats (UYVY, YUY2, R8G8_B8G8, G8R8_G8B8). Writing encodes whole blocks and pairs; the
// pixels of a group that lie outside the rectangle are decoded from the memory already there
// and written back with it.
#include "base/checked_math.h"
#include "texture/detail/pixel_codecs.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace halv::texture::detail {
namespace {

// --- DXTn ----------------------------------------------------------------------------------

struct Colour565 {
    float r;
    float g;
    float b;
};

Colour565 expand565(std::uint32_t value) {
    return {static_cast<float>((value >> 11) & 31) / 31.0f,
            static_cast<float>((value >> 5) & 63) / 63.0f, static_cast<float>(value & 31) / 31.0f};
}

std::uint32_t pack565(float r, float g, float b) {
    const auto channel = [](float value, float top) {
        const float scaled = std::floor(std::clamp(value, 0.0f, 1.0f) * top + 0.5f);
        return static_cast<std::uint32_t>(std::isnan(scaled) ? 0.0f : scaled);
    };
    return (channel(r, 31.0f) << 11) | (channel(g, 63.0f) << 5) | channel(b, 31.0f);
}

// The colour half of a block: two 5:6:5 end points, then 2-bit indices, pixel 0 in the low
// bits. End point 0 above end point 1 (or any DXT2-DXT5 block) selects four colours; otherwise
// three and transparent black.
void decodeColours(const BYTE* block, bool threeColourMode, Rgba* out) {
    const std::uint32_t c0 = block[0] | (block[1] << 8);
    const std::uint32_t c1 = block[2] | (block[3] << 8);
    const std::uint32_t indices = load32(block + 4);
    const Colour565 e0 = expand565(c0);
    const Colour565 e1 = expand565(c1);
    Rgba palette[4];
    palette[0] = {e0.r, e0.g, e0.b, 1.0f};
    palette[1] = {e1.r, e1.g, e1.b, 1.0f};
    if (!threeColourMode || c0 > c1) {
        palette[2] = {(2 * e0.r + e1.r) / 3, (2 * e0.g + e1.g) / 3, (2 * e0.b + e1.b) / 3, 1.0f};
        palette[3] = {(e0.r + 2 * e1.r) / 3, (e0.g + 2 * e1.g) / 3, (e0.b + 2 * e1.b) / 3, 1.0f};
    } else {
        palette[2] = {(e0.r + e1.r) / 2, (e0.g + e1.g) / 2, (e0.b + e1.b) / 2, 1.0f};
        palette[3] = {0.0f, 0.0f, 0.0f, 0.0f};
    }
    for (int i = 0; i < 16; ++i) {
        out[i] = palette[(indices >> (2 * i)) & 3];
    }
}

// The end points along the colours' principal axis, and the nearest palette index per pixel.
// `transparent` marks DXT1 pixels that take the transparent index instead.
void encodeColours(const Rgba* pixels, const bool* transparent, bool dxt1, BYTE* block) {
    float mean[3] = {0, 0, 0};
    int opaque = 0;
    for (int i = 0; i < 16; ++i) {
        if (!transparent[i]) {
            mean[0] += pixels[i].r;
            mean[1] += pixels[i].g;
            mean[2] += pixels[i].b;
            ++opaque;
        }
    }
    const bool anyTransparent = opaque < 16;
    std::uint32_t c0 = 0;
    std::uint32_t c1 = 0;
    if (opaque > 0) {
        for (float& m : mean) {
            m /= static_cast<float>(opaque);
        }
        float cov[6] = {0, 0, 0, 0, 0, 0};
        for (int i = 0; i < 16; ++i) {
            if (transparent[i]) {
                continue;
            }
            const float d[3] = {pixels[i].r - mean[0], pixels[i].g - mean[1],
                                pixels[i].b - mean[2]};
            cov[0] += d[0] * d[0];
            cov[1] += d[0] * d[1];
            cov[2] += d[0] * d[2];
            cov[3] += d[1] * d[1];
            cov[4] += d[1] * d[2];
            cov[5] += d[2] * d[2];
        }
        // A few power iterations find the dominant direction well enough for 16 pixels. They
        // start from the covariance column of largest norm, which cannot be orthogonal to it.
        const float columns[3][3] = {
            {cov[0], cov[1], cov[2]}, {cov[1], cov[3], cov[4]}, {cov[2], cov[4], cov[5]}};
        int widest = 0;
        float widestNorm = -1.0f;
        for (int c = 0; c < 3; ++c) {
            const float norm = columns[c][0] * columns[c][0] + columns[c][1] * columns[c][1] +
                               columns[c][2] * columns[c][2];
            if (norm > widestNorm) {
                widestNorm = norm;
                widest = c;
            }
        }
        float axis[3] = {columns[widest][0], columns[widest][1], columns[widest][2]};
        for (int iteration = 0; iteration < 8; ++iteration) {
            const float next[3] = {cov[0] * axis[0] + cov[1] * axis[1] + cov[2] * axis[2],
                                   cov[1] * axis[0] + cov[3] * axis[1] + cov[4] * axis[2],
                                   cov[2] * axis[0] + cov[4] * axis[1] + cov[5] * axis[2]};
            const float length =
                std::sqrt(next[0] * next[0] + next[1] * next[1] + next[2] * next[2]);
            if (!(length > 1e-12f)) {
                break;
            }
            for (int c = 0; c < 3; ++c) {
                axis[c] = next[c] / length;
            }
        }
        float lowest = 0.0f;
        float highest = 0.0f;
        int low = -1;
        int high = -1;
        for (int i = 0; i < 16; ++i) {
            if (transparent[i]) {
                continue;
            }
            const float t = (pixels[i].r - mean[0]) * axis[0] + (pixels[i].g - mean[1]) * axis[1] +
                            (pixels[i].b - mean[2]) * axis[2];
            if (low < 0 || t < lowest) {
                lowest = t;
                low = i;
            }
            if (high < 0 || t > highest) {
                highest = t;
                high = i;
            }
        }
        c0 = pack565(pixels[high].r, pixels[high].g, pixels[high].b);
        c1 = pack565(pixels[low].r, pixels[low].g, pixels[low].b);
    }
    // Four-colour blocks need c0 > c1, DXT1 blocks with transparency c0 <= c1.
    const bool threeColour = dxt1 && anyTransparent;
    if (threeColour ? c0 > c1 : c0 < c1) {
        std::swap(c0, c1);
    }
    block[0] = static_cast<BYTE>(c0);
    block[1] = static_cast<BYTE>(c0 >> 8);
    block[2] = static_cast<BYTE>(c1);
    block[3] = static_cast<BYTE>(c1 >> 8);
    // Equal DXT1 end points read as three colours as well, so index 3 must not be used.
    const bool threeChoices = dxt1 && (threeColour || c0 == c1);
    const Colour565 e0 = expand565(c0);
    const Colour565 e1 = expand565(c1);
    Rgba candidates[4];
    candidates[0] = {e0.r, e0.g, e0.b, 1.0f};
    candidates[1] = {e1.r, e1.g, e1.b, 1.0f};
    if (threeChoices) {
        candidates[2] = {(e0.r + e1.r) / 2, (e0.g + e1.g) / 2, (e0.b + e1.b) / 2, 1.0f};
    } else {
        candidates[2] = {(2 * e0.r + e1.r) / 3, (2 * e0.g + e1.g) / 3, (2 * e0.b + e1.b) / 3, 1.0f};
        candidates[3] = {(e0.r + 2 * e1.r) / 3, (e0.g + 2 * e1.g) / 3, (e0.b + 2 * e1.b) / 3, 1.0f};
    }
    const int usable = threeChoices ? 3 : 4;
    std::uint32_t indices = 0;
    for (int i = 0; i < 16; ++i) {
        std::uint32_t index = 3;
        if (!transparent[i]) {
            float best = -1.0f;
            for (int k = 0; k < usable; ++k) {
                const float dr = pixels[i].r - candidates[k].r;
                const float dg = pixels[i].g - candidates[k].g;
                const float db = pixels[i].b - candidates[k].b;
                const float distance = dr * dr + dg * dg + db * db;
                if (best < 0.0f || distance < best) {
                    best = distance;
                    index = static_cast<std::uint32_t>(k);
                }
            }
        }
        indices |= index << (2 * i);
    }
    store32(block + 4, indices);
}

// DXT4/DXT5 alpha: two 8-bit end points and 3-bit indices (48 bits, pixel 0 lowest). End point
// 0 above end point 1 interpolates six values between them; otherwise four, then 0 and 1.
void alphaPalette(unsigned a0, unsigned a1, float* out) {
    out[0] = static_cast<float>(a0) / 255.0f;
    out[1] = static_cast<float>(a1) / 255.0f;
    if (a0 > a1) {
        for (int i = 1; i <= 6; ++i) {
            out[1 + i] = static_cast<float>((7 - i) * a0 + i * a1) / (7.0f * 255.0f);
        }
    } else {
        for (int i = 1; i <= 4; ++i) {
            out[1 + i] = static_cast<float>((5 - i) * a0 + i * a1) / (5.0f * 255.0f);
        }
        out[6] = 0.0f;
        out[7] = 1.0f;
    }
}

void decodeInterpolatedAlpha(const BYTE* block, Rgba* out) {
    float palette[8];
    alphaPalette(block[0], block[1], palette);
    const std::uint64_t indices = loadWord(block + 2, 6);
    for (int i = 0; i < 16; ++i) {
        out[i].a = palette[(indices >> (3 * i)) & 7];
    }
}

void encodeInterpolatedAlpha(const Rgba* pixels, BYTE* block) {
    unsigned low = 255;
    unsigned high = 0;
    unsigned values[16];
    for (int i = 0; i < 16; ++i) {
        values[i] = toUnorm8(pixels[i].a);
        low = std::min(low, values[i]);
        high = std::max(high, values[i]);
    }
    block[0] = static_cast<BYTE>(high);
    block[1] = static_cast<BYTE>(low);
    float palette[8];
    alphaPalette(high, low, palette);
    std::uint64_t indices = 0;
    for (int i = 0; i < 16; ++i) {
        const float target = static_cast<float>(values[i]) / 255.0f;
        unsigned index = 0;
        float best = -1.0f;
        for (unsigned k = 0; k < 8; ++k) {
            const float distance = std::fabs(target - palette[k]);
            if (best < 0.0f || distance < best) {
                best = distance;
                index = k;
            }
        }
        indices |= std::uint64_t{index} << (3 * i);
    }
    storeWord(block + 2, indices, 6);
}

class DxtCodec final : public PixelCodec {
public:
    DxtCodec(const PixelView& view, const CodecFormat& format)
        : PixelCodec(view, format.kind, format.bits, false)
        , mBlockBytes(format.format == D3DFMT_DXT1 ? 8u : 16u)
        , mOffsetX(view.left & 3)
        , mOffsetY(view.top & 3) {
        mBlocksWide = (mOffsetX + mWidth + 3) / 4;
    }

    ~DxtCodec() override { flush(); }

protected:
    bool allocate() noexcept override {
        std::size_t count = 0;
        if (!PixelCodec::allocate() ||
            !base::checkedMul<std::size_t>(std::size_t{mBlocksWide} * 4, 4, &count)) {
            return false;
        }
        mRows = base::allocArray<Rgba>(count);
        return mRows != nullptr;
    }

    void decodeRow(UINT y, UINT z, Rgba* out) noexcept override {
        const UINT pixelRow = mOffsetY + y;
        loadBlockRow(pixelRow / 4, z);
        const Rgba* row = mRows.get() + static_cast<std::size_t>(pixelRow & 3) * rowStride();
        std::copy(row + mOffsetX, row + mOffsetX + mWidth, out);
    }

    void encodeRow(UINT y, UINT z, const Rgba* in) noexcept override {
        const UINT pixelRow = mOffsetY + y;
        loadBlockRow(pixelRow / 4, z);
        Rgba* row = mRows.get() + static_cast<std::size_t>(pixelRow & 3) * rowStride();
        std::copy(in, in + mWidth, row + mOffsetX);
        mDirty = true;
        if ((pixelRow & 3) == 3 || y + 1 == mHeight) {
            flush();
        }
    }

    Rgba throughFormat(const Rgba& value) noexcept override {
        Rgba pixels[16];
        std::fill(pixels, pixels + 16, value);
        BYTE block[16];
        encodeBlock(pixels, block);
        decodeBlock(block, pixels);
        return pixels[0];
    }

private:
    std::size_t rowStride() const { return std::size_t{mBlocksWide} * 4; }

    bool premultiplied() const { return mFormat == D3DFMT_DXT2 || mFormat == D3DFMT_DXT4; }

    void decodeBlock(const BYTE* block, Rgba* out) const {
        if (mFormat == D3DFMT_DXT1) {
            decodeColours(block, true, out);
            return;
        }
        decodeColours(block + 8, false, out);
        if (mFormat == D3DFMT_DXT2 || mFormat == D3DFMT_DXT3) {
            const std::uint64_t alpha = loadWord(block, 8);
            for (int i = 0; i < 16; ++i) {
                out[i].a = static_cast<float>((alpha >> (4 * i)) & 15) / 15.0f;
            }
        } else {
            decodeInterpolatedAlpha(block, out);
        }
        if (premultiplied()) {
            for (int i = 0; i < 16; ++i) {
                if (out[i].a > 0.0f) {
                    out[i].r = std::min(out[i].r / out[i].a, 1.0f);
                    out[i].g = std::min(out[i].g / out[i].a, 1.0f);
                    out[i].b = std::min(out[i].b / out[i].a, 1.0f);
                }
            }
        }
    }

    void encodeBlock(const Rgba* in, BYTE* block) const {
        Rgba pixels[16];
        bool transparent[16];
        for (int i = 0; i < 16; ++i) {
            pixels[i] = in[i];
            transparent[i] = mFormat == D3DFMT_DXT1 && !(in[i].a >= 0.5f);
            if (premultiplied()) {
                const float a = std::clamp(in[i].a, 0.0f, 1.0f);
                pixels[i].r *= a;
                pixels[i].g *= a;
                pixels[i].b *= a;
            }
        }
        if (mFormat == D3DFMT_DXT1) {
            encodeColours(pixels, transparent, true, block);
            return;
        }
        if (mFormat == D3DFMT_DXT2 || mFormat == D3DFMT_DXT3) {
            std::uint64_t alpha = 0;
            for (int i = 0; i < 16; ++i) {
                const float scaled = std::floor(std::clamp(in[i].a, 0.0f, 1.0f) * 15.0f + 0.5f);
                const std::uint64_t value =
                    std::isnan(scaled) ? 0 : static_cast<std::uint64_t>(scaled);
                alpha |= value << (4 * i);
            }
            storeWord(block, alpha, 8);
        } else {
            encodeInterpolatedAlpha(in, block);
        }
        encodeColours(pixels, transparent, false, block + 8);
    }

    BYTE* blockAddress(UINT blockRow, UINT blockColumn, UINT z) const {
        return rowAddress(blockRow, z) + static_cast<std::size_t>(blockColumn) * mBlockBytes;
    }

    // Makes the given block row the one held in mRows, writing back a changed one first.
    void loadBlockRow(UINT blockRow, UINT z) {
        if (mHaveRow && blockRow == mBlockRow && z == mSlice) {
            return;
        }
        flush();
        Rgba block[16];
        for (UINT column = 0; column < mBlocksWide; ++column) {
            decodeBlock(blockAddress(blockRow, column, z), block);
            for (int i = 0; i < 16; ++i) {
                mRows[static_cast<std::size_t>(i / 4) * rowStride() + column * 4 + (i & 3)] =
                    block[i];
            }
        }
        mBlockRow = blockRow;
        mSlice = z;
        mHaveRow = true;
    }

    void flush() {
        if (!mHaveRow || !mDirty) {
            return;
        }
        Rgba block[16];
        for (UINT column = 0; column < mBlocksWide; ++column) {
            for (int i = 0; i < 16; ++i) {
                block[i] =
                    mRows[static_cast<std::size_t>(i / 4) * rowStride() + column * 4 + (i & 3)];
            }
            encodeBlock(block, blockAddress(mBlockRow, column, mSlice));
        }
        mDirty = false;
    }

    UINT mBlockBytes;
    UINT mOffsetX;
    UINT mOffsetY;
    UINT mBlocksWide = 0;
    std::unique_ptr<Rgba[]> mRows;
    bool mHaveRow = false;
    bool mDirty = false;
    UINT mBlockRow = 0;
    UINT mSlice = 0;
};

// --- Pixel pairs ---------------------------------------------------------------------------

// Byte positions of the shared and the per-pixel values inside a 4-byte pair.
struct PairLayout {
    bool yuv;
    // YUV: Y0, U, Y1, V; RGB: G0, R, G1, B.
    unsigned first;
    unsigned shared0;
    unsigned second;
    unsigned shared1;
};

PairLayout pairLayout(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_UYVY:
        return {true, 1, 0, 3, 2};
    case D3DFMT_YUY2:
        return {true, 0, 1, 2, 3};
    case D3DFMT_R8G8_B8G8:
        return {false, 1, 0, 3, 2};
    default:
        // G8R8_G8B8.
        return {false, 0, 1, 2, 3};
    }
}

// Studio-range BT.601, as Direct3D's YUV formats are defined.
Rgba yuvToRgb(float y, float u, float v) {
    const float c = y - 16.0f;
    const float d = u - 128.0f;
    const float e = v - 128.0f;
    const float r = (1.164383f * c + 1.596027f * e) / 255.0f;
    const float g = (1.164383f * c - 0.391762f * d - 0.812968f * e) / 255.0f;
    const float b = (1.164383f * c + 2.017232f * d) / 255.0f;
    return {std::clamp(r, 0.0f, 1.0f), std::clamp(g, 0.0f, 1.0f), std::clamp(b, 0.0f, 1.0f), 1.0f};
}

void rgbToYuv(const Rgba& pixel, float* y, float* u, float* v) {
    const float r = std::clamp(pixel.r, 0.0f, 1.0f);
    const float g = std::clamp(pixel.g, 0.0f, 1.0f);
    const float b = std::clamp(pixel.b, 0.0f, 1.0f);
    *y = 16.0f + 65.481f * r + 128.553f * g + 24.966f * b;
    *u = 128.0f - 37.797f * r - 74.203f * g + 112.0f * b;
    *v = 128.0f + 112.0f * r - 93.786f * g - 18.214f * b;
}

BYTE byteOf(float value) {
    const float scaled = std::floor(value + 0.5f);
    return static_cast<BYTE>(std::isnan(scaled) ? 0.0f : std::clamp(scaled, 0.0f, 255.0f));
}

class PairCodec final : public PixelCodec {
public:
    PairCodec(const PixelView& view, const CodecFormat& format)
        : PixelCodec(view, format.kind, format.bits, false)
        , mLayout(pairLayout(format.format))
        , mOffsetX(view.left & 1) {}

protected:
    void decodeRow(UINT y, UINT z, Rgba* out) noexcept override {
        const BYTE* row = rowAddress(y, z);
        for (UINT x = 0; x < mWidth; ++x) {
            const UINT position = mOffsetX + x;
            out[x] = decodePixel(row + (position / 2) * 4u, position & 1);
        }
    }

    void encodeRow(UINT y, UINT z, const Rgba* in) noexcept override {
        BYTE* row = rowAddress(y, z);
        const UINT end = mOffsetX + mWidth;
        for (UINT pair = 0; pair * 2 < end; ++pair) {
            BYTE* p = row + static_cast<std::size_t>(pair) * 4;
            const UINT firstX = pair * 2;
            const bool haveFirst = firstX >= mOffsetX && firstX < end;
            const bool haveSecond = firstX + 1 >= mOffsetX && firstX + 1 < end;
            const Rgba* first = haveFirst ? &in[firstX - mOffsetX] : nullptr;
            const Rgba* second = haveSecond ? &in[firstX + 1 - mOffsetX] : nullptr;
            encodePair(p, first, second);
        }
    }

    Rgba throughFormat(const Rgba& value) noexcept override {
        BYTE pair[4] = {0, 0, 0, 0};
        encodePair(pair, &value, &value);
        return decodePixel(pair, 0);
    }

private:
    Rgba decodePixel(const BYTE* pair, unsigned which) const {
        const float own = pair[which == 0 ? mLayout.first : mLayout.second];
        const float shared0 = pair[mLayout.shared0];
        const float shared1 = pair[mLayout.shared1];
        if (mLayout.yuv) {
            return yuvToRgb(own, shared0, shared1);
        }
        return {shared0 * kUnit8, own * kUnit8, shared1 * kUnit8, 1.0f};
    }

    // Either pixel may be missing (outside the rectangle): its own value stays, and the
    // shared values blend the written pixel with what was there.
    void encodePair(BYTE* pair, const Rgba* first, const Rgba* second) const {
        float own[2];
        float shared0[2];
        float shared1[2];
        const Rgba* pixels[2] = {first, second};
        int count = 0;
        for (int i = 0; i < 2; ++i) {
            if (pixels[i] == nullptr) {
                continue;
            }
            if (mLayout.yuv) {
                rgbToYuv(*pixels[i], &own[i], &shared0[count], &shared1[count]);
            } else {
                own[i] = std::clamp(pixels[i]->g, 0.0f, 1.0f) * 255.0f;
                shared0[count] = std::clamp(pixels[i]->r, 0.0f, 1.0f) * 255.0f;
                shared1[count] = std::clamp(pixels[i]->b, 0.0f, 1.0f) * 255.0f;
            }
            ++count;
        }
        if (count == 0) {
            return;
        }
        if (count == 1) {
            shared0[1] = pair[mLayout.shared0];
            shared1[1] = pair[mLayout.shared1];
        }
        if (first != nullptr) {
            pair[mLayout.first] = byteOf(own[0]);
        }
        if (second != nullptr) {
            pair[mLayout.second] = byteOf(own[1]);
        }
        pair[mLayout.shared0] = byteOf((shared0[0] + shared0[1]) * 0.5f);
        pair[mLayout.shared1] = byteOf((shared1[0] + shared1[1]) * 0.5f);
    }

    PairLayout mLayout;
    UINT mOffsetX;
};

} // namespace

std::unique_ptr<PixelCodec> makeBlockCodec(const PixelView& view, const CodecFormat& format) {
    return std::unique_ptr<PixelCodec>(new (std::nothrow) DxtCodec(view, format));
}

std::unique_ptr<PixelCodec> makePairCodec(const PixelView& view, const CodecFormat& format) {
    return std::unique_ptr<PixelCodec>(new (std::nothrow) PairCodec(view, format));
}

} // namespace halv::texture::detail
