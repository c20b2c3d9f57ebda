// JPEG through libjpeg from memory: grey files to L8, colour files to X8R8G8B8. The library's
// errors, and its warnings that mean the data is cut short or corrupt, abandon the attempt.
#include "texture/detail/image_readers.h"
#include "texture/detail/pixel_block.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <csetjmp>

namespace halv::texture::detail {
namespace {

// Budget for libjpeg's own buffers (progressive files keep every coefficient of the image).
constexpr long kJpegMemoryLimit = 1L << 31;

struct JpegSession {
    jpeg_decompress_struct decompress{};
    jpeg_error_mgr errors{};
    std::jmp_buf escape{};
    bool created = false;

    ~JpegSession() {
        if (created) {
            jpeg_destroy_decompress(&decompress);
        }
    }
};

JpegSession& sessionOf(j_common_ptr common) {
    // The error manager is the session's own, so its client_data leads back to the session.
    return *static_cast<JpegSession*>(common->client_data);
}

[[noreturn]] void onJpegError(j_common_ptr common) {
    std::longjmp(sessionOf(common).escape, 1);
}

// Never print; turn the warnings that stand for missing or damaged data into errors, since
// libjpeg would otherwise fill the rest of the image with grey and report success.
void onJpegMessage(j_common_ptr common, int level) {
    if (level != -1) {
        return;
    }
    switch (common->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
        std::longjmp(sessionOf(common).escape, 1);
    default:
        break;
    }
}

void stayQuiet(j_common_ptr) {}

// Keeps no object with a destructor in this frame: libjpeg's errors long-jump back here.
ReadFailure decode(JpegSession& session, DecodedImage& image, std::span<const std::byte> data) {
    jpeg_decompress_struct& decompress = session.decompress;
    if (setjmp(session.escape) != 0) {
        return ReadFailure::kDecoderError;
    }
    // Destroying a half-created object is safe: its memory manager pointer starts null.
    session.created = true;
    jpeg_create_decompress(&decompress);
    decompress.client_data = &session;
    decompress.mem->max_memory_to_use = kJpegMemoryLimit;
    jpeg_mem_src(&decompress, reinterpret_cast<const unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&decompress, TRUE) != JPEG_HEADER_OK) {
        return ReadFailure::kTruncated;
    }

    D3DFORMAT format = D3DFMT_UNKNOWN;
    std::size_t bytesPerPixel = 0;
    if (decompress.num_components == 1) {
        decompress.out_color_space = JCS_GRAYSCALE;
        format = D3DFMT_L8;
        bytesPerPixel = 1;
    } else if (decompress.num_components == 3) {
        // BGRA rather than BGRX: only the alpha layouts promise 0xFF in the fourth byte.
        decompress.out_color_space = JCS_EXT_BGRA;
        format = D3DFMT_X8R8G8B8;
        bytesPerPixel = 4;
    } else {
        return ReadFailure::kUnsupported;
    }
    const ReadFailure sized =
        setSurface(image, format, decompress.image_width, decompress.image_height, bytesPerPixel);
    if (sized != ReadFailure::kNone || !image.loadPixels) {
        return sized;
    }

    BYTE* pixels = allocatePixels(image, image.slicePitch, false);
    if (pixels == nullptr) {
        return ReadFailure::kOutOfMemory;
    }
    jpeg_start_decompress(&decompress);
    if (decompress.output_width != image.width || decompress.output_height != image.height ||
        static_cast<std::size_t>(decompress.output_components) != bytesPerPixel) {
        return ReadFailure::kDecoderError;
    }
    while (decompress.output_scanline < decompress.output_height) {
        JSAMPROW row = pixels + std::size_t{decompress.output_scanline} * image.rowPitch;
        if (jpeg_read_scanlines(&decompress, &row, 1) != 1) {
            return ReadFailure::kTruncated;
        }
    }
    jpeg_finish_decompress(&decompress);
    return ReadFailure::kNone;
}

} // namespace

ReadFailure readJpg(DecodedImage& image, std::span<const std::byte> data) {
    // Every JPEG file starts with the SOI marker; checking it here spares setting up libjpeg
    // for the other formats.
    if (data.size() < 4 || data[0] != std::byte{0xFF} || data[1] != std::byte{0xD8}) {
        return ReadFailure::kNotThisFormat;
    }
    JpegSession session;
    session.decompress.err = jpeg_std_error(&session.errors);
    session.errors.error_exit = onJpegError;
    session.errors.emit_message = onJpegMessage;
    session.errors.output_message = stayQuiet;
    session.decompress.client_data = &session;
    return decode(session, image, data);
}

} // namespace halv::texture::detail
