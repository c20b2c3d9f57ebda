// Recognising an image file in memory and decoding it into DecodedImage records: one record per
// surface (mip level of a face or of a volume), chained into the tree the texture builder copies.
#pragma once

#include "base/result_codes.h"
#include "base/value_types.h"
#include "base/win_types.h"
#include "texture/image_info.h"

#include <cstddef>
#include <memory>

namespace halv::texture {

// Private pixel layouts that travel only between the readers and the pixel converters. Both are
// four-character codes stored little-endian; neither is ever reported outside the loader (see
// reportedFormat).
// "AL16": 16-bit luminance, then 16-bit alpha; 32 bits per pixel, little-endian words.
inline constexpr D3DFORMAT kFormatAL16 = static_cast<D3DFORMAT>(MAKEFOURCC('A', 'L', '1', '6'));
// " R16": three 16-bit channels, blue first; 48 bits per pixel, little-endian words.
inline constexpr D3DFORMAT kFormatR16 = static_cast<D3DFORMAT>(MAKEFOURCC(' ', 'R', '1', '6'));

static_assert(kFormatAL16 == 0x36314C41 && kFormatR16 == 0x36315220);

// The format shown to callers for a decoded format: "AL16" as D3DFMT_A8L8, " R16" as
// D3DFMT_A16B16G16R16, every other code unchanged.
constexpr D3DFORMAT reportedFormat(D3DFORMAT format) {
    if (format == kFormatAL16) {
        return D3DFMT_A8L8;
    }
    if (format == kFormatR16) {
        return D3DFMT_A16B16G16R16;
    }
    return format;
}

// One decoded surface and, through nextMip/nextFace, the rest of the file's surfaces.
//
// Layout of the pixel block: `height` rows per slice, top row first, each row left to right;
// row r of slice z starts at pixels + z * slicePitch + r * rowPitch. Rows are packed in the
// format's own memory order (little-endian words; X8R8G8B8 is bytes B, G, R, X, with X 0xFF
// from PNG and JPEG and as stored from BMP). For
// block-compressed formats (DXT1-DXT5) a "row" is one row of 4x4 blocks and there are
// (height + 3) / 4 of them. slicePitch is the distance between depth slices of a volume; 2D
// readers set it to rowPitch * height, except PNG, which leaves it 0.
//
// palette, when not null, has exactly 256 entries in red, green, blue, alpha byte order; it is
// set for D3DFMT_P8 and D3DFMT_A8P8 images.
//
// Ownership: the record owns its nextMip and nextFace chains and the blocks held in pixelBlock
// and paletteBlock; destroying (or release()-ing) the head frees the whole tree. pixels and
// palette point at those blocks, or, when no block is held, into the caller's file data (DDS
// surfaces are not copied; a DDS palette is the head's, shared by every level), which stays
// valid only as long as that data does. With loadPixels clear no pixel or palette block exists
// (both stay null); DDS still builds its mip and face records so their count is known.
//
// The chains: the head is level 0 of the first face (or of the volume). nextMip of a level is
// the next smaller level of the same face; nextFace is set only on the level-0 record of each
// face and leads to level 0 of the next cube face (+X, -X, +Y, -Y, +Z, -Z).
struct DecodedImage {
    D3DFORMAT format = D3DFMT_UNKNOWN;
    const BYTE* pixels = nullptr;
    const PALETTEENTRY* palette = nullptr;
    UINT width = 0;
    UINT height = 0;
    UINT depth = 0;
    // Region of interest inside the pixel block; LoadImageFromMemory sets it to the whole
    // surface on every record.
    UINT left = 0;
    UINT top = 0;
    UINT right = 0;
    UINT bottom = 0;
    UINT front = 0;
    UINT back = 0;
    UINT rowPitch = 0;
    UINT slicePitch = 0;
    // Set by the caller: when false a reader fills only the header fields and allocates no
    // pixel or palette block.
    bool loadPixels = false;
    D3DRESOURCETYPE resourceType = D3DRTYPE_TEXTURE;
    D3DXIMAGE_FILEFORMAT fileFormat = D3DXIFF_BMP;
    std::unique_ptr<DecodedImage> nextMip;
    std::unique_ptr<DecodedImage> nextFace;
    // The blocks this record owns; pixels and palette point at them when they are set.
    std::unique_ptr<BYTE[]> pixelBlock;
    std::unique_ptr<PALETTEENTRY[]> paletteBlock;

    DecodedImage() = default;
    DecodedImage(const DecodedImage&) = delete;
    DecodedImage& operator=(const DecodedImage&) = delete;
    DecodedImage(DecodedImage&&) noexcept = default;
    DecodedImage& operator=(DecodedImage&&) noexcept = default;
    ~DecodedImage() = default;

    // Whether destroying the record frees the block that pixels / palette point at.
    bool ownsPixels() const noexcept { return pixelBlock != nullptr && pixels == pixelBlock.get(); }
    bool ownsPalette() const noexcept {
        return paletteBlock != nullptr && palette == paletteBlock.get();
    }

    // Frees the owned blocks and both chains and returns every field to its initial value,
    // except loadPixels, which the caller set.
    void release() noexcept;

    // 1 + the length of the nextMip chain.
    UINT levelCount() const noexcept;
    // 1 + the length of the nextFace chain.
    UINT faceCount() const noexcept;
};

// Decodes the image file data[0, size) into *image, which must be empty (fresh or
// released). The readers are tried in the order BMP, PPM, DDS, JPG, PNG, PFM, HDR, TGA, DIB;
// the first that accepts the data wins, and whatever a failed attempt attached is freed before
// the next. With loadPixels the pixel blocks are decoded, otherwise only sizes and formats.
// When info is not null it is cleared and filled from the result.
//
// Returns S_OK; D3DERR_INVALIDCALL when image or data is null or size is 0; S_OK at once,
// touching nothing, when info is null and loadPixels is false; D3DXERR_INVALIDDATA when no
// reader accepts the data (a reader running out of memory also counts as not accepting). On
// failure *image is left empty and *info untouched. The caller destroys the record when done.
//
// Switches the calling thread's numeric locale to "C" for the duration of the call.
HRESULT LoadImageFromMemory(DecodedImage* image, const void* data, UINT size, D3DXIMAGE_INFO* info,
                            bool loadPixels) noexcept;

} // namespace halv::texture
