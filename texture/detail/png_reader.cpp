// PNG through libpng: the header decides the format, libpng's transforms bring the rows into
// that format, and the rows are decoded straight into the final pixel block.
#include "base/bytes.h"
#include "base/checked_math.h"
#include "texture/detail/image_readers.h"
#include "texture/detail/pixel_block.h"

#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>

namespace halv::texture::detail {
namespace {

constexpr double kScreenGamma = 2.2;

// Deflate turns at most 258 bytes into 2 bits: no compressed data inflates to more than 1032
// times its size.
constexpr std::size_t kMaxInflateRatio = 1032;

// Everything that must outlive a long jump out of libpng lives here, outside the frame that
// calls setjmp, and is released by the destructor on every path.
struct PngSession {
    png_structp png = nullptr;
    png_infop info = nullptr;
    const std::byte* cursor = nullptr;
    std::size_t remaining = 0;
    // The whole file's size.
    std::size_t size = 0;
    std::unique_ptr<png_bytep[]> rows;
    // PLTE and tRNS as the file has them, taken before libpng's transforms touch its copy.
    png_color colours[256] = {};
    int colourCount = 0;
    png_byte alphas[256] = {};
    int alphaCount = 0;

    ~PngSession() {
        if (png != nullptr) {
            png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr);
        }
    }
};

[[noreturn]] void onPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

void readFromMemory(png_structp png, png_bytep out, png_size_t length) {
    auto* session = static_cast<PngSession*>(png_get_io_ptr(png));
    if (length > session->remaining) {
        png_error(png, "read error");
    }
    std::memcpy(out, session->cursor, length);
    session->cursor += length;
    session->remaining -= length;
}

unsigned channelsOf(D3DFORMAT format) {
    switch (format) {
    case D3DFMT_R8G8B8:
        return 3;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_A16B16G16R16:
        return 4;
    case D3DFMT_A8L8:
        return 2;
    case D3DFMT_P8:
    case D3DFMT_L8:
    case D3DFMT_L16:
        return 1;
    default:
        if (format == kFormatR16) {
            return 3;
        }
        if (format == kFormatAL16) {
            return 2;
        }
        return 0;
    }
}

void keepPalette(PngSession& session) {
    png_colorp colours = nullptr;
    int colourCount = 0;
    if (png_get_PLTE(session.png, session.info, &colours, &colourCount) != 0 &&
        colours != nullptr) {
        session.colourCount = std::clamp(colourCount, 0, 256);
        std::copy_n(colours, session.colourCount, session.colours);
    }
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    if (png_get_tRNS(session.png, session.info, &alphas, &alphaCount, nullptr) != 0 &&
        alphas != nullptr) {
        session.alphaCount = std::clamp(alphaCount, 0, 256);
        std::copy_n(alphas, session.alphaCount, session.alphas);
    }
}

// The palette of a P8 image: colours through the gamma table of the requested correction,
// alpha from tRNS, entries past PLTE opaque white.
ReadFailure buildPalette(DecodedImage& image, const PngSession& session, double fileGamma) {
    PALETTEENTRY* palette = allocatePalette(image);
    if (palette == nullptr) {
        return ReadFailure::kOutOfMemory;
    }
    BYTE gamma[256];
    const bool correct = fileGamma > 1e-6;
    for (int i = 0; i < 256; ++i) {
        gamma[i] = correct
                       ? static_cast<BYTE>(std::floor(
                             255.0 * std::pow(i / 255.0, 1.0 / (kScreenGamma * fileGamma)) + 0.5))
                       : static_cast<BYTE>(i);
    }
    for (int i = 0; i < session.colourCount; ++i) {
        palette[i].peRed = gamma[session.colours[i].red];
        palette[i].peGreen = gamma[session.colours[i].green];
        palette[i].peBlue = gamma[session.colours[i].blue];
        palette[i].peFlags = i < session.alphaCount ? session.alphas[i] : 255;
    }
    return ReadFailure::kNone;
}

// Runs libpng over the session. Keeps no object with a destructor in this frame: libpng's
// errors long-jump back to the setjmp here.
ReadFailure decode(PngSession& session, DecodedImage& image) {
    png_structp png = session.png;
    png_infop info = session.info;
    if (setjmp(png_jmpbuf(png)) != 0) {
        return ReadFailure::kDecoderError;
    }

    png_read_info(png, info);
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);

    // A header claiming more rows (each its filter byte and samples) than the data can
    // inflate to is cut off or lying, and is refused before the block is allocated.
    std::size_t rawBytes = 0;
    if (!base::checkedMul(png_get_rowbytes(png, info) + 1, std::size_t{height}, &rawBytes) ||
        rawBytes / kMaxInflateRatio > session.size) {
        return ReadFailure::kTruncated;
    }

    D3DFORMAT format = D3DFMT_UNKNOWN;
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
        format = D3DFMT_L8;
        break;
    case PNG_COLOR_TYPE_RGB:
        format = D3DFMT_R8G8B8;
        break;
    case PNG_COLOR_TYPE_PALETTE:
        format = D3DFMT_P8;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        format = D3DFMT_A8L8;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        format = D3DFMT_A8R8G8B8;
        break;
    default:
        return ReadFailure::kUnsupported;
    }
    if (format == D3DFMT_P8) {
        keepPalette(session);
    }

    if (bitDepth == 16) {
        // Samples are stored big-endian; the 16-bit formats are little-endian words.
        png_set_swap(png);
        switch (format) {
        case D3DFMT_R8G8B8:
            format = kFormatR16;
            break;
        case D3DFMT_A8R8G8B8:
            format = D3DFMT_A16B16G16R16;
            break;
        case D3DFMT_L8:
            format = D3DFMT_L16;
            break;
        case D3DFMT_A8L8:
            format = kFormatAL16;
            break;
        default:
            return ReadFailure::kUnsupported;
        }
    } else if (bitDepth < 8) {
        png_set_packing(png);
        if (format == D3DFMT_L8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
    }

    // An sRGB chunk means the samples are already display-ready; only a bare gAMA asks for
    // correction (libpng skips it when screen x file gamma is within 5% of 1).
    double fileGamma = 0.0;
    if (png_get_valid(png, info, PNG_INFO_sRGB) != 0) {
        int intent = 0;
        png_get_sRGB(png, info, &intent);
        png_set_sRGB(png, info, intent);
    } else if (png_get_valid(png, info, PNG_INFO_gAMA) != 0 &&
               png_get_gAMA(png, info, &fileGamma) != 0) {
        png_set_gamma(png, kScreenGamma, fileGamma);
    } else {
        fileGamma = 0.0;
    }

    if (format != D3DFMT_P8 && png_get_valid(png, info, PNG_INFO_tRNS) != 0) {
        // The transparent colour becomes an alpha channel.
        png_set_expand(png);
        if (format == D3DFMT_R8G8B8) {
            format = D3DFMT_A8R8G8B8;
        } else if (format == D3DFMT_L8) {
            format = D3DFMT_A8L8;
        } else if (format == D3DFMT_L16) {
            format = kFormatAL16;
        } else if (format == kFormatR16) {
            format = D3DFMT_A16B16G16R16;
        }
    }

    if (format == D3DFMT_R8G8B8 || format == D3DFMT_A8R8G8B8 || format == kFormatR16) {
        png_set_bgr(png);
    }
    if (format == D3DFMT_R8G8B8) {
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        format = D3DFMT_X8R8G8B8;
    }

    png_read_update_info(png, info);
    if (png_get_channels(png, info) != channelsOf(format)) {
        return ReadFailure::kUnsupported;
    }

    const std::size_t rowBytes = png_get_rowbytes(png, info);
    if (rowBytes == 0 || height == 0 || rowBytes > kMaxPixelBlockBytes / height) {
        return ReadFailure::kTooLarge;
    }
    image.format = format;
    image.width = width;
    image.height = height;
    image.depth = 1;
    image.rowPitch = static_cast<UINT>(rowBytes);
    image.slicePitch = 0;
    if (!image.loadPixels) {
        return ReadFailure::kNone;
    }

    BYTE* pixels = allocatePixels(image, rowBytes * height, false);
    session.rows.reset(new (std::nothrow) png_bytep[height]);
    if (pixels == nullptr || session.rows == nullptr) {
        return ReadFailure::kOutOfMemory;
    }
    for (png_uint_32 y = 0; y < height; ++y) {
        session.rows[y] = pixels + y * rowBytes;
    }
    png_read_image(png, session.rows.get());

    if (format == D3DFMT_P8) {
        return buildPalette(image, session, fileGamma);
    }
    return ReadFailure::kNone;
}

// libpng allocates some chunks' buffers (sPLT, text) from their length fields before reading
// them, so a few bytes could ask for gigabytes. A chunk ahead of the image data that runs past
// the end of the file would fail to read anyway; it is refused before libpng sees it. Chunks
// from the first IDAT on are read piecewise and need no such check.
bool chunksFitBeforeImageData(std::span<const std::byte> data) {
    constexpr std::size_t kSignatureBytes = 8;
    constexpr std::size_t kChunkOverhead = 12; // length, type, CRC
    std::size_t offset = kSignatureBytes;
    while (kChunkOverhead <= data.size() - std::min(offset, data.size())) {
        const std::size_t length = base::readBE32(data, offset);
        if (base::readBE32(data, offset + 4) == 0x49444154) { // "IDAT"
            return true;
        }
        if (length > data.size() - offset - kChunkOverhead) {
            return false;
        }
        offset += kChunkOverhead + length;
    }
    return true;
}

} // namespace

ReadFailure readPng(DecodedImage& image, std::span<const std::byte> data) {
    // Only as many signature bytes as there are: a short prefix of the signature passes here
    // and fails in the decoder.
    if (png_sig_cmp(reinterpret_cast<png_const_bytep>(data.data()), 0, data.size()) != 0) {
        return ReadFailure::kNotThisFormat;
    }
    if (!chunksFitBeforeImageData(data)) {
        return ReadFailure::kTruncated;
    }
    PngSession session;
    // The library's own version string: libpng refuses to run for an application built
    // against another minor release.
    session.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onPngError, onPngWarning);
    if (session.png == nullptr) {
        return ReadFailure::kOutOfMemory;
    }
    session.info = png_create_info_struct(session.png);
    if (session.info == nullptr) {
        return ReadFailure::kOutOfMemory;
    }
    session.cursor = data.data();
    session.remaining = data.size();
    session.size = data.size();
    png_set_read_fn(session.png, &session, readFromMemory);
    // Compressed text and ICC profiles inflate to no more than the deflate ratio allows.
    png_set_chunk_malloc_max(session.png, (data.size() + 1) * kMaxInflateRatio);
    return decode(session, image);
}

} // namespace halv::texture::detail
