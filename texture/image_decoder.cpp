#include "texture/image_decoder.h"

#include "base/locale.h"
#include "texture/detail/image_readers.h"

#include <cstring>
#include <span>

namespace halv::texture {
namespace {

struct ReaderEntry {
    D3DXIMAGE_FILEFORMAT fileFormat;
    detail::ImageReader read;
};

// Recognition order: the cheap signature checks first; TGA and DIB have no real signature and
// would take almost anything, so they come last.
constexpr ReaderEntry kReaders[] = {
    {D3DXIFF_BMP, detail::readBmp}, {D3DXIFF_PPM, detail::readPpm}, {D3DXIFF_DDS, detail::readDds},
    {D3DXIFF_JPG, detail::readJpg}, {D3DXIFF_PNG, detail::readPng}, {D3DXIFF_PFM, detail::readPfm},
    {D3DXIFF_HDR, detail::readHdr}, {D3DXIFF_TGA, detail::readTga}, {D3DXIFF_DIB, detail::readDib},
};

void setWholeRegion(DecodedImage& image) {
    for (DecodedImage* face = &image; face != nullptr; face = face->nextFace.get()) {
        for (DecodedImage* level = face; level != nullptr; level = level->nextMip.get()) {
            level->left = 0;
            level->top = 0;
            level->front = 0;
            level->right = level->width;
            level->bottom = level->height;
            level->back = level->depth;
        }
    }
}

} // namespace

void DecodedImage::release() noexcept {
    const bool keepLoadPixels = loadPixels;
    *this = DecodedImage();
    loadPixels = keepLoadPixels;
}

UINT DecodedImage::levelCount() const noexcept {
    UINT count = 1;
    for (const DecodedImage* level = nextMip.get(); level != nullptr;
         level = level->nextMip.get()) {
        ++count;
    }
    return count;
}

UINT DecodedImage::faceCount() const noexcept {
    UINT count = 1;
    for (const DecodedImage* face = nextFace.get(); face != nullptr; face = face->nextFace.get()) {
        ++count;
    }
    return count;
}

HRESULT LoadImageFromMemory(DecodedImage* image, const void* data, UINT size, D3DXIMAGE_INFO* info,
                            bool loadPixels) noexcept {
    if (image == nullptr || data == nullptr || size == 0) {
        return D3DERR_INVALIDCALL;
    }
    if (info == nullptr && !loadPixels) {
        return S_OK;
    }
    image->release();

    // Text headers are parsed with locale-independent conversions, but the switch keeps any
    // library call underneath on the "C" rules as well.
    const base::ScopedNumericLocale numericLocale;

    const std::span<const std::byte> bytes(static_cast<const std::byte*>(data), size);
    bool accepted = false;
    for (const ReaderEntry& reader : kReaders) {
        image->loadPixels = loadPixels;
        image->resourceType = D3DRTYPE_TEXTURE;
        image->fileFormat = reader.fileFormat;
        // Any failure, out-of-memory included, moves on to the next reader.
        if (SUCCEEDED(detail::toHresult(reader.read(*image, bytes)))) {
            accepted = true;
            break;
        }
        image->release();
    }
    if (!accepted) {
        return D3DXERR_INVALIDDATA;
    }

    if (info != nullptr) {
        std::memset(info, 0, sizeof *info);
        info->Width = image->width;
        info->Height = image->height;
        info->Depth = image->depth;
        info->MipLevels = image->levelCount();
        info->Format = reportedFormat(image->format);
        info->ResourceType = image->resourceType;
        info->ImageFileFormat = image->fileFormat;
    }
    setWholeRegion(*image);
    return S_OK;
}

} // namespace halv::texture
