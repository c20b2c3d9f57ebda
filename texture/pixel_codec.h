// Pixel conversion for the texture loader: PixelView (one side of a copy), PixelCodec (a
// format's rows to and from RGBA floats, with colour key, sRGB, kind conversion, ordered
// dithering and error diffusion), and Blit, which copies one view into another, converting and
// resampling on the way.
//
//   PixelView source{...}, dest{...};
//   HRESULT hr = halv::texture::Blit(dest, source, D3DX_FILTER_TRIANGLE);
#pragma once

#include "base/result_codes.h"
#include "base/value_types.h"
#include "base/win_types.h"

#include <cstdint>
#include <memory>

namespace halv::texture {

// One pixel as floats: red, green, blue, alpha.
struct Rgba {
    float r;
    float g;
    float b;
    float a;
};
static_assert(sizeof(Rgba) == 16);

// One side of a copy.
//
// `pixels` points at the rectangle's first pixel: the pixel (left, top) of slice `front`. For
// the block-compressed formats (DXT1-DXT5) it points at the 4x4 block holding that pixel and
// rowPitch is the distance between block rows; for the packed pair formats (UYVY, YUY2,
// R8G8_B8G8, G8R8_G8B8) it points at the pixel pair holding it. Only the rectangle's size and
// the position of left/top inside their block or pair are taken from the coordinates, so they
// may be relative to any origin that keeps that alignment.
//
// A source view is only read; its pixels stay the caller's.
struct PixelView {
    BYTE* pixels = nullptr;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    UINT rowPitch = 0;
    UINT slicePitch = 0;
    UINT left = 0;
    UINT top = 0;
    UINT right = 0;
    UINT bottom = 0;
    UINT front = 0;
    UINT back = 1;
    // 256 entries (red, green, blue, alpha) for P8 and A8P8, or null.
    const PALETTEENTRY* palette = nullptr;
    // 0xAARRGGBB; 0 is no key. Source side only: pixels equal to it read as (0, 0, 0, 0).
    D3DCOLOR colorKey = 0;
    // The pixels are sRGB-encoded (source: linearised on reading; destination: encoded on
    // writing).
    bool srgb = false;
    // Destination only: 4x4 ordered dithering.
    bool dither = false;
    // Destination only: error diffusion (serpentine).
    bool diffusion = false;
};

// How a format's channels hold values.
enum class ValueKind {
    // Unsigned normalised, 0 to 1: colour, luminance, palettised, alpha, integer depth.
    kUnsigned = 1,
    // Signed colour (-1 to 1) with unsigned alpha or luminance: V8U8, L6V5U5, X8L8V8U8,
    // V16U16, A2W10V10U10, CxV8U8.
    kSignedColor = 2,
    // Signed in all four channels: Q8W8V8U8, Q16W16V16U16.
    kSigned = 3,
    // Floating point, unclamped.
    kFloat = 4,
};

// True for DXT1-DXT5.
bool isBlockCompressed(D3DFORMAT format) noexcept;
// True for UYVY, YUY2, R8G8_B8G8 and G8R8_G8B8, which share values between pixel pairs.
bool isPackedPair(D3DFORMAT format) noexcept;
// Bytes per 4x4 block (DXTn), per pixel pair (packed pairs) or per pixel; 0 for a format
// without a codec.
UINT formatUnitBytes(D3DFORMAT format) noexcept;

// A format's rows as RGBA floats. Made by createPixelCodec for one view and one copy; rows are
// numbered from the rectangle's top row (y) and front slice (z).
//
// Reading decodes each pixel (channels a format lacks read 0, alpha 1; luminance fills red,
// green and blue; P8/A8P8 read through the palette), turns pixels equal to the prepared colour
// key into (0, 0, 0, 0) and linearises sRGB colour. Writing converts the value kind when the
// copy asked for it, encodes sRGB, and quantises each channel of n bits to
// trunc(value * (2^n - 1) + t), clamped, where t is 0.5 or the ordered-dither entry for the
// pixel; with error diffusion the quantisation error is carried to the neighbours.
//
// Block and pair codecs write whole blocks and pairs, merging what lies outside the rectangle
// from the memory already there; rows must then be written top to bottom.
class PixelCodec {
public:
    virtual ~PixelCodec();
    // Decodes row y of slice z into width() pixels.
    virtual void ReadRow(UINT y, UINT z, Rgba* out) noexcept;
    // Encodes width() pixels into row y of slice z.
    virtual void WriteRow(UINT y, UINT z, const Rgba* in) noexcept;
    // Turns the view's colour key into the floats that reading compares against: the key is
    // written through this format and read back, so it matches at the format's precision.
    virtual void PrepareColorKey() noexcept;

    // Before writing: the kind of the values that will be handed to WriteRow (a conversion
    // is applied when it differs and this format is not floating point), and whether to
    // encode sRGB.
    void prepareWrite(ValueKind sourceKind, bool encodeSrgb) noexcept;
    // Whether reading linearises sRGB (cleared when both sides of a copy are sRGB).
    void setReadSrgb(bool linearise) noexcept { mSrgbRead = linearise; }

    D3DFORMAT format() const noexcept { return mFormat; }
    UINT width() const noexcept { return mWidth; }
    UINT height() const noexcept { return mHeight; }
    UINT depth() const noexcept { return mDepth; }
    // Bits per pixel / 8; 0 for the block-compressed formats.
    UINT bytesPerPixel() const noexcept { return mBytesPerPixel; }
    ValueKind valueKind() const noexcept { return mKind; }
    bool palettised() const noexcept { return mPalettised; }
    bool hasColorKey() const noexcept { return mHasKey; }
    const Rgba& colorKey() const noexcept { return mKey; }
    const PixelView& view() const noexcept { return mView; }
    // The rounding offset added before truncation at row y, column x, slice z.
    float roundingAt(UINT x, UINT y, UINT z) const noexcept {
        return mRounding[y & 3][(x + z) & 3];
    }

protected:
    PixelCodec(const PixelView& view, ValueKind kind, UINT bitsPerPixel, bool palettised);

    // Second construction step for the buffers; false when memory runs out.
    [[nodiscard]] virtual bool allocate() noexcept;

    // The format's own decoding and encoding of row y of slice z (values already converted).
    virtual void decodeRow(UINT y, UINT z, Rgba* out) noexcept = 0;
    virtual void encodeRow(UINT y, UINT z, const Rgba* in) noexcept = 0;
    // One pixel written through the format and read back.
    virtual Rgba throughFormat(const Rgba& value) noexcept = 0;

    // Quantisation of one row: for each of the four channels (red, green, blue, alpha) its
    // width in bits (0 when absent) and whether it is signed. Writes four integers per pixel
    // (absent channels 0), applying the rounding table and, when enabled, error diffusion.
    struct ChannelBits {
        std::uint8_t bits[4];
        bool isSigned[4];
    };
    void quantizeRow(const Rgba* in, UINT y, UINT z, const ChannelBits& channels,
                     std::int32_t* out) noexcept;
    // True when every pixel is rounded with 0.5 and no error is carried (the fast paths).
    bool plainRounding() const noexcept { return !mView.dither && !mView.diffusion; }

    // Address of the first byte of row y (of pixels, blocks rows or pairs) of slice z.
    BYTE* rowAddress(UINT row, UINT z) const noexcept {
        return mView.pixels + static_cast<std::size_t>(z) * mView.slicePitch +
               static_cast<std::size_t>(row) * mView.rowPitch;
    }

    PixelView mView;
    D3DFORMAT mFormat;
    UINT mWidth;
    UINT mHeight;
    UINT mDepth;
    UINT mBytesPerPixel;
    ValueKind mKind;
    bool mPalettised;

private:
    friend HRESULT createPixelCodec(const PixelView& view,
                                    std::unique_ptr<PixelCodec>* codec) noexcept;

    enum class Conversion { kNone, kSignedToUnsigned, kUnsignedToSigned, kClampUnit, kClampSigned };

    bool mHasKey = false;
    Rgba mKey{};
    bool mSrgbRead = false;
    bool mSrgbWrite = false;
    Conversion mConversion = Conversion::kNone;
    // Whether the alpha channel takes part in a signed/unsigned conversion.
    bool mConvertAlpha = false;
    // Four rows of eight (the four Bayer columns twice); 0.5 everywhere without dithering.
    float mRounding[4][8];
    // One row of converted values handed to encodeRow.
    std::unique_ptr<Rgba[]> mScratch;
    // Error diffusion: the errors carried into the current and the next row, per channel, with
    // one guard pixel on each side.
    std::unique_ptr<float[]> mDiffusion;
    UINT mLastDiffusedRow = 0xFFFFFFFF;
    UINT mLastDiffusedSlice = 0xFFFFFFFF;
};

// A codec for the view's format. Returns S_OK, E_FAIL for a format without a codec,
// D3DERR_INVALIDCALL for a view without pixels or with an inverted or empty rectangle, or
// E_OUTOFMEMORY.
[[nodiscard]] HRESULT createPixelCodec(const PixelView& view,
                                       std::unique_ptr<PixelCodec>* codec) noexcept;

// Copies `source` into `dest`, converting formats and resampling to the destination size.
// The filter word's low 16 bits are the kind (D3DX_FILTER_NONE to D3DX_FILTER_BOX); the
// mirror, dither, diffusion and sRGB flags apply as named. The first strategy that applies
// copies: exact copy, same size, NONE, POINT, BOX 2D halving, BOX volume halving, LINEAR,
// TRIANGLE (which also takes BOX requests that are not exact halvings).
// Returns S_OK; D3DERR_INVALIDCALL for a bad filter word or view; E_FAIL for a format without
// a codec or a copy no strategy takes; E_OUTOFMEMORY.
[[nodiscard]] HRESULT Blit(const PixelView& dest, const PixelView& source, DWORD filter) noexcept;

} // namespace halv::texture
