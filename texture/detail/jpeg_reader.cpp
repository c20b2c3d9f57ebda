// JPEG through libjpeg from memory: grey files to L8, colour files to X8R8G8B8. The library's
// errors, and its warnings that mean the data is cut short, corrupt or out of order, abandon
// the attempt; a file that lacks only its end marker is read.
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

// Every scan of a progressive file works over the whole image, so thousands of them keep the
// decoder busy for seconds. A legal progression can run to one scan per bit of each
// coefficient (896 a component), but real encoders write about ten; past this the file is
// refused.
constexpr int kMaxScans = 1000;

// Huffman coding spends at least one bit on every 8 x 8 block of a component (the DC
// difference); a header claiming more blocks than the data has bits is missing its data.
// Arithmetic coding can code a flat block in a fraction of a bit, so it gets 8 times more
// room: enough for any picture with some detail, while a few kilobytes still cannot make
// libjpeg hold hundreds of megabytes of coefficients.
constexpr std::size_t kHuffmanBlocksPerByte = 8;
constexpr std::size_t kArithmeticBlocksPerByte = 8 * 8;

// Each scan visits every block of its components, whether its data is a few bytes of
// end-of-band runs or not. A standard ten-scan progression visits each block at most ten
// times, so even at the densest Huffman coding it stays under 80 visits a byte; past this
// budget the scans are out of all proportion to the data.
constexpr std::size_t kBlockVisitsPerByte = 256;

struct JpegSession {
    jpeg_decompress_struct decompress{};
    jpeg_error_mgr errors{};
    jpeg_progress_mgr progress{};
    std::jmp_buf escape{};
    bool created = false;
    // The data ran out before the end-of-image marker (libjpeg then supplies one itself).
    bool endMissing = false;
    // Bit c set once a scan has carried component c.
    unsigned scannedComponents = 0;
    // The scan last counted, and the blocks all scans so far have visited.
    int countedScan = 0;
    std::size_t blockVisits = 0;
    std::size_t dataBytes = 0;

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

// Never print; turn the warnings that stand for damaged or out-of-order data into errors,
// since libjpeg would otherwise fill the rest of the image with grey (or decode the same scan
// over and over) and report success. Running out of data is only noted: a decoder that needs
// bits past the end says so with JWRN_HIT_MARKER, and decode() judges the rest.
void onJpegMessage(j_common_ptr common, int level) {
    if (level != -1) {
        return;
    }
    switch (common->err->msg_code) {
    case JWRN_JPEG_EOF:
        sessionOf(common).endMissing = true;
        break;
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_BOGUS_PROGRESSION:
        std::longjmp(sessionOf(common).escape, 1);
    default:
        break;
    }
}

// Records the current scan's components and visits, once per scan; false when the scans
// exceed their count or their budget.
bool noteScan(JpegSession& session) {
    const jpeg_decompress_struct& decompress = session.decompress;
    if (decompress.input_scan_number == session.countedScan) {
        return true;
    }
    session.countedScan = decompress.input_scan_number;
    for (int i = 0; i < decompress.comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i) {
        const jpeg_component_info& component = *decompress.cur_comp_info[i];
        session.scannedComponents |= 1u << component.component_index;
        session.blockVisits += std::size_t{component.width_in_blocks} * component.height_in_blocks;
    }
    return decompress.input_scan_number <= kMaxScans &&
           session.blockVisits / kBlockVisitsPerByte <= session.dataBytes;
}

// Called before each step of reading a multi-scan file, so it sees every scan.
void onJpegProgress(j_common_ptr common) {
    JpegSession& session = sessionOf(common);
    if (!noteScan(session)) {
        std::longjmp(session.escape, 1);
    }
}

bool inProportion(const jpeg_decompress_struct& decompress, std::size_t dataBytes) {
    std::size_t blocks = 0;
    for (int c = 0; c < decompress.num_components; ++c) {
        const jpeg_component_info& component = decompress.comp_info[c];
        blocks += std::size_t{component.width_in_blocks} * component.height_in_blocks;
    }
    const std::size_t perByte =
        decompress.arith_code ? kArithmeticBlocksPerByte : kHuffmanBlocksPerByte;
    return blocks / perByte <= dataBytes;
}

// Without its end marker a file is whole only if nothing else can be missing: every
// component was scanned and, in a progressive file, every bit of every coefficient arrived.
// An arithmetic-coded scan cut short decodes zeros without a warning, so those files must end
// properly.
bool completeWithoutEnd(const JpegSession& session) {
    const jpeg_decompress_struct& decompress = session.decompress;
    if (decompress.arith_code ||
        session.scannedComponents != (1u << decompress.num_components) - 1) {
        return false;
    }
    if (decompress.progressive_mode) {
        for (int c = 0; c < decompress.num_components; ++c) {
            for (int k = 0; k < DCTSIZE2; ++k) {
                if (decompress.coef_bits[c][k] != 0) {
                    return false;
                }
            }
        }
    }
    return true;
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
    decompress.progress = &session.progress;
    decompress.mem->max_memory_to_use = kJpegMemoryLimit;
    jpeg_mem_src(&decompress, reinterpret_cast<const unsigned char*>(data.data()),
                 static_cast<unsigned long>(data.size()));
    if (jpeg_read_header(&decompress, TRUE) != JPEG_HEADER_OK) {
        return ReadFailure::kTruncated;
    }
    session.dataBytes = data.size();
    if (!inProportion(decompress, data.size()) || !noteScan(session)) {
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
    // Judged before finishing: that frees the progression record.
    const bool whole = completeWithoutEnd(session);
    jpeg_finish_decompress(&decompress);
    if (session.endMissing && !whole) {
        return ReadFailure::kTruncated;
    }
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
    session.progress.progress_monitor = onJpegProgress;
    session.decompress.client_data = &session;
    return decode(session, image, data);
}

} // namespace halv::texture::detail
